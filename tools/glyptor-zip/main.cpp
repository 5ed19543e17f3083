// glyptor-zip: a command-line view of theme archives through the program's own ZIP component,
// for theme authors and for checks. Usage: glyptor-zip [-P PASSWORD] COMMAND ARCHIVE [NAME].
#include "Commands.h"
#include "StandardOutput.h"

#include <csignal>
#include <iostream>
#include <map>

namespace {

void PrintUsage(std::ostream& out) {
    out << "usage: glyptor-zip [-P PASSWORD] COMMAND ARCHIVE [NAME...]\n"
           "  l ARCHIVE                list the entries: name, method, sizes, CRC, date\n"
           "  t ARCHIVE                extract every entry to memory and check its CRC\n"
           "  p ARCHIVE NAME           write the matching entries to standard output\n"
           "  a [-0..-9] ARCHIVE NAME [FILE|-]\n"
           "                           add or replace an entry from a file or standard input\n"
           "  d ARCHIVE PATTERN...     delete the matching entries\n"
           "  check-theme ARCHIVE      check a theme's layout keys and pictures\n"
           "  -P PASSWORD              password of encrypted entries (t, p, a)\n"
           "Exit status: 0 success, 1 an archive or file could not be read or the output not\n"
           "written, 2 bad usage.\n";
}

int Usage() {
    PrintUsage(std::cerr);
    return 2;
}

int Run(std::vector<std::string> args) {
    using Command = int (*)(std::vector<std::string>);
    static const std::map<std::string, Command> readCommands = {
        {"l", glyptor::tools::RunList},
        {"t", glyptor::tools::RunTest},
        {"p", glyptor::tools::RunPrint},
    };
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        PrintUsage(std::cout);
        return 0;
    }
    // The command is the first word that is not an option or an option's value.
    size_t at = 0;
    while (at < args.size() && args[at] == "-P")
        at += 2;
    if (at >= args.size())
        return Usage();
    std::string command = args[at];
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(at));

    auto found = readCommands.find(command);
    if (found != readCommands.end())
        return found->second(std::move(args));
    int result = glyptor::tools::RunUpdateCommand(command, std::move(args));
    if (result == -1) {
        std::cerr << "glyptor-zip: unknown command '" << command << "'\n";
        return Usage();
    }
    return result;
}

} // namespace

int main(int argc, char** argv) {
    // Over a file size limit a write should fail and be reported rather than the signal ending
    // the program halfway, its output cut short or a temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    return glyptor::tools::StatusAfterOutput("glyptor-zip",
                                             Run(std::vector<std::string>(argv + 1, argv + argc)));
}

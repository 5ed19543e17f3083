// The shared command line of glyptor-icons and glyptor-icons-decode, so that both answer a
// command line alike whichever of them reads it.
#include "CommandLine.h"

#include "Counting.h"
#include "StandardOutput.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <iostream>

namespace glyptor::tools {

namespace {

const char* const kHelp =
    R"(Usage: glyptor-icons COMMAND [OPTIONS] ARGUMENTS

Commands:
  count [-j N] [--index] FILE...
                       print COUNT<TAB>PATH for each file (0 when it holds no icons);
                       with "-" the paths are read from standard input, one per line
  count -r [-a] [-j N] [--index] FOLDER...
                       count every file below the folders as the program's scanner walks
                       them (hidden folders, links to folders and special files skipped),
                       one line per file that holds icons, or per file with -a
                       -j N counts with N reader threads (default: from the cores, and
                       more while reads wait for the disk; -j 1 reads one file at a time),
                       in input order all the same; --index takes the counts of
                       unchanged files from the program's scan index and records the others
  list [-r] [-v] [-j N] [--mask .DLL.EXE...] PATH...
                       print PATH<TAB>INDEX<TAB>WIDTHxHEIGHT<TAB>BITS for every icon of the
                       files and folders given; -r descends into subfolders; --mask keeps
                       files whose upper-cased extension occurs in the mask, as the
                       program's type filter does (.CUR and .ANI files are never read);
                       -v prints PATH<TAB>no icons: REASON at offset N for files without
                       icons; -j N reads with N threads (default: from the cores), in order
  list -l [-r] [--mask ...] PATH...
                       one line per image of each icon's group:
                       PATH<TAB>INDEX<TAB>WIDTHxHEIGHT<TAB>BITS<TAB>PNG|DIB<TAB>BYTES
  extract [--size N | --all-sizes] [--depth N] FILE INDEX OUT
                       write icon INDEX (from 0) of FILE as a 32 x 32 picture; --size N
                       writes the icon's own N x N image instead (for a .png OUT: the
                       N x N image, else the nearest larger one scaled, with alpha),
                       --all-sizes each of its images as OUT_WxH_BITS with OUT's
                       extension (OUT_WxH_BITS_2 ... for a further image of the same size
                       and depth); --depth 32 writes an .ico with alpha. A negative
                       INDEX names a resource id, as in "shell32.dll,-16"
  extract --group FILE INDEX OUT.ico
                       write the icon's whole group, every image as the file stores it
  export [-r] [--mask ...] [--png SIZE | --group] DIR PATH...
                       write every icon of the files and folders into DIR as
                       FILE_INDEX.ico (groups, the default) or FILE_INDEX.png (SIZE x SIZE,
                       0 for each icon's largest image); existing files are never
                       replaced, a taken name becomes NAME (2).EXT and so on; exit
                       status 1 when any icon failed
  --help               show this text

Exit status: 0 on success, 1 when a file could not be read or has no such icon or
the output could not be written, 2 on bad usage.
)";

} // namespace

int Usage(const std::string& message) {
    std::cerr << "glyptor-icons: " << message << "\nTry 'glyptor-icons --help'.\n";
    return kExitUsage;
}

void AppendPrintable(std::string& out, std::string_view name) {
    static const char digits[] = "0123456789abcdef";
    const auto escape = [&](unsigned char byte) {
        out += "\\x";
        out += digits[byte >> 4];
        out += digits[byte & 15];
    };
    // Names are nearly all plain: they go out in runs, not a byte at a time (a count prints a
    // line for every file that holds icons).
    std::size_t plain = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        // One test for the plain byte, without a branch for each kind of special one.
        if (!((byte < 0x20) | (byte == 0x7f) | (byte == '\\') | (byte == 0xc2)))
            continue;
        const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        const bool c1 = byte == 0xc2 && next >= 0x80 && next <= 0x9f;
        if (byte == 0xc2 && !c1)
            continue;
        out.append(name, plain, i - plain);
        if (byte == '\\') {
            out += "\\\\";
        } else if (c1) {
            escape(byte);
            escape(next);
            ++i;
        } else {
            escape(byte);
        }
        plain = i + 1;
    }
    out.append(name, plain);
}

std::string Printable(const std::string& name) {
    std::string out;
    out.reserve(name.size());
    AppendPrintable(out, name);
    return out;
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) {
        return static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
    });
    return text;
}

std::optional<int> ParseNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<int> ThreadsOption(const std::vector<std::string>& arguments, std::size_t& i) {
    const auto value = i + 1 < arguments.size() ? ParseNumber(arguments[++i]) : std::nullopt;
    return value && *value >= 1 ? value : std::nullopt;
}

bool IsPictureCommand(const std::string& command) {
    return command == "list" || command == "extract" || command == "export";
}

namespace {

int RunCommand(int argc, char** argv,
               const std::function<int(const std::string& command,
                                       const std::vector<std::string>& arguments)>& pictures) {
    try {
        std::vector<std::string> arguments(argv + 1, argv + argc);
        if (arguments.empty()) {
            return Usage("no command given");
        }
        const std::string command = arguments.front();
        arguments.erase(arguments.begin());
        if (command == "--help" || command == "-h" || command == "help") {
            std::cout << kHelp;
            return kExitOk;
        }
        if (std::find(arguments.begin(), arguments.end(), "--help") != arguments.end()) {
            std::cout << kHelp;
            return kExitOk;
        }
        if (command == "count") {
            return Count(arguments);
        }
        if (IsPictureCommand(command)) {
            return pictures(command, arguments);
        }
        return Usage("unknown command '" + command + "'");
    } catch (const std::exception& e) {
        std::cerr << "glyptor-icons: " << e.what() << "\n";
        return kExitUnreadable;
    }
}

} // namespace

int RunCommandLine(int argc, char** argv,
                   const std::function<int(const std::string& command,
                                           const std::vector<std::string>& arguments)>& pictures) {
    return StatusAfterOutput("glyptor-icons", RunCommand(argc, argv, pictures));
}

} // namespace glyptor::tools

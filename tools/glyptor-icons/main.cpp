// glyptor-icons: the icon source on the command line, for batch work and scripts. It counts,
// lists and extracts icons with exactly the code the program's scanner and grid use.
//
// This program is the lean half: it counts without loading any toolkit library, since a count
// of a few hundred files costs less than loading Qt Gui would. The commands that decode
// pictures (list, extract, export) run in glyptor-icons-decode, which this program becomes
// (execv, same arguments, same standard input and output) before it reads anything.
#include "CommandLine.h"
#include "platform/core/Allocator.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace glyptor;

constexpr const char* kDecodeProgram = "glyptor-icons-decode";

// The folder of the running program, from the kernel rather than argv[0], which a caller may
// set to anything.
std::string OwnFolder() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
        return {};
    }
    path.resize(static_cast<std::size_t>(length));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
}

// The places glyptor-icons-decode may be, in the order they are tried: beside this program
// (the build tree, and the tests), then where installing puts it relative to this program's
// folder. Both follow the running program rather than a folder fixed at build time, so that
// the package (installed under /usr) and an install under any other prefix find it alike.
std::vector<std::string> DecodeCandidates() {
    const std::string own = OwnFolder();
    if (own.empty()) {
        return {};
    }
    const std::string base = own == "/" ? "" : own;
    return {base + "/" + kDecodeProgram, base + "/" GLYPTOR_DECODE_FROM_BIN "/" + kDecodeProgram};
}

// Runs the picture commands in glyptor-icons-decode; returns only when that failed.
int RunDecoder(char** argv) {
    struct stat self {};
    const bool knowSelf = ::stat("/proc/self/exe", &self) == 0;
    const auto candidates = DecodeCandidates();
    for (const auto& candidate : candidates) {
        struct stat info {};
        if (::stat(candidate.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        // A decode program that is this program again (a link or a copy put in its place)
        // would start itself for ever.
        if (knowSelf && info.st_dev == self.st_dev && info.st_ino == self.st_ino) {
            std::cerr << "glyptor-icons: " << tools::Printable(candidate)
                      << " is glyptor-icons itself, not " << kDecodeProgram << "\n";
            return tools::kExitUnreadable;
        }
        ::execv(candidate.c_str(), argv);
        std::cerr << "glyptor-icons: cannot run " << tools::Printable(candidate) << ": "
                  << std::strerror(errno) << "\n";
        return tools::kExitUnreadable;
    }
    std::cerr << "glyptor-icons: " << kDecodeProgram
              << ", which list, extract and export need, is missing; looked for:";
    for (const auto& candidate : candidates) {
        std::cerr << "\n  " << tools::Printable(candidate);
    }
    std::cerr << "\n";
    return tools::kExitUnreadable;
}

} // namespace

int main(int argc, char** argv) {
    // Over a file size limit a write should fail and be reported (the output, the scan index
    // of --index) rather than the signal ending the count unseen, its output half written.
    std::signal(SIGXFSZ, SIG_IGN);
    platform::KeepFreedMemory();
    return tools::RunCommandLine(
        argc, argv,
        [argv](const std::string&, const std::vector<std::string>&) { return RunDecoder(argv); });
}

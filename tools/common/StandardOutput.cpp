#include "StandardOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace glyptor::tools {

int StatusAfterOutput(const char* program, int status) {
    // The standard streams share standard output's buffer: its flush is theirs, and its error
    // number the reason. A write that failed earlier left its reason behind the calls since.
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int reason = flushed ? 0 : errno;
    std::cout.flush();
    if (std::cout.good() && flushed && !std::ferror(stdout)) {
        return status;
    }
    std::cerr << program << ": cannot write the output"
              << (reason != 0 ? std::string(": ") + std::strerror(reason) : "") << "\n";
    return status == 0 ? 1 : status;
}

} // namespace glyptor::tools

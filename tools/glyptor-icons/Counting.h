// glyptor-icons count: the program's scanner pool on the command line. It needs no toolkit, so
// that a count costs little more than the scan it shares its code with.
#pragma once

#include <string>
#include <vector>

namespace glyptor::tools {

// count [-r] [-a] [-j N] [--index] PATH... (or "-" for paths on standard input); the exit
// status.
int Count(const std::vector<std::string>& arguments);

} // namespace glyptor::tools

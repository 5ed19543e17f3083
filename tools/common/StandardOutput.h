// What the command-line tools share about their standard output.
#pragma once

namespace glyptor::tools {

// Flushes standard output. When anything written to it was lost (a full disk, a file size
// limit), says so on standard error in `program`'s name and turns a successful `status` into
// 1: a script reads the exit status, not the end of the output.
int StatusAfterOutput(const char* program, int status);

} // namespace glyptor::tools

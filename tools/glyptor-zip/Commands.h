// Commands of glyptor-zip. main() looks a command word up in its table of reading commands and
// passes anything else to RunUpdateCommand, which the archive-update side of the tool provides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glyptor::tools {

// Each command gets the arguments after its command word and returns the exit code.
int RunList(std::vector<std::string> args);
int RunTest(std::vector<std::string> args);
int RunPrint(std::vector<std::string> args);

// Runs an update command (a, d, check-theme ...); returns its exit code, or -1 when cmd is not
// one of them.
int RunUpdateCommand(const std::string& cmd, std::vector<std::string> args);

// Removes every "-P PASSWORD" pair from args; the last password given wins. Returns whether
// one was present.
bool TakePasswordOption(std::vector<std::string>& args, std::string& password);
// Largest archive or source file the tool reads into memory.
inline constexpr int64_t MaxInputSize = int64_t{256} * 1024 * 1024;

// Whole-file helpers; both raise std::runtime_error with the path on failure. Reading takes
// regular files only (no FIFO, socket or device, before or after the open) of at most
// MaxInputSize bytes.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
// Reads fd to its end, refusing more than MaxInputSize bytes.
std::vector<uint8_t> ReadCapped(int fd, const std::string& shownName);
// name with control characters shown as escapes, safe to print on a terminal.
std::string Printable(const std::string& name);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace glyptor::tools

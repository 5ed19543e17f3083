// What both programs behind glyptor-icons share: the command line's dispatch, help and usage
// texts, exit codes and the small parsers. glyptor-icons itself counts (no toolkit loaded);
// the commands that decode pictures run in glyptor-icons-decode, which it starts in its place.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace glyptor::tools {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUnreadable = 1;
inline constexpr int kExitUsage = 2;

// Prints the message and the hint to --help on standard error; returns kExitUsage.
int Usage(const std::string& message);

// A name as the tool prints it: control characters become \xHH and a backslash \\, so that a
// hostile file name can neither drive the terminal nor break the tab-separated lines.
std::string Printable(const std::string& name);
// The same, added to the end of `out`.
void AppendPrintable(std::string& out, std::string_view name);

// ASCII letters in upper case, as the type filter compares extensions.
std::string Upper(std::string text);
// A whole decimal number from 0, or nothing.
std::optional<int> ParseNumber(const std::string& text);
// The thread count after "-j" at arguments[i] (i moves onto it); none when it is missing or
// below 1.
std::optional<int> ThreadsOption(const std::vector<std::string>& arguments, std::size_t& i);

// The commands that decode pictures, which glyptor-icons hands to glyptor-icons-decode.
bool IsPictureCommand(const std::string& command);

// Runs glyptor-icons with `argv`: usage errors, --help and count here; list, extract and
// export through `pictures`. Any exception becomes a message and exit status 1, and so does
// standard output that could not be written.
int RunCommandLine(int argc, char** argv,
                   const std::function<int(const std::string& command,
                                           const std::vector<std::string>& arguments)>& pictures);

} // namespace glyptor::tools

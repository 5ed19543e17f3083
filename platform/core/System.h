// Small facts about the running system: the machine's name and the millisecond tick.
#pragma once

#include <cstdint>
#include <string>

namespace glyptor::platform {

// The host name, as the folder tree's status line shows it.
std::string ComputerName();

// Milliseconds since an arbitrary start, from a monotonic clock, as a 32-bit value that wraps
// around after about 49.7 days; differences must be taken as unsigned.
std::uint32_t TickCount();

} // namespace glyptor::platform

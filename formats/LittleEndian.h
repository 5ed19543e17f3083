// Little-endian loads and stores: every Windows and ZIP structure stores its integers low byte
// first, whatever the host does. Readers of untrusted bytes go through ByteCursor, which checks
// the length; these are for buffers whose size the caller has already made sure of.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace glyptor::formats {

inline std::uint16_t LoadLe16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
           std::uint32_t{p[3]} << 24;
}

inline std::uint64_t LoadLe64(const std::uint8_t* p) {
    return std::uint64_t{LoadLe32(p)} | std::uint64_t{LoadLe32(p + 4)} << 32;
}

inline void StoreLe16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

} // namespace glyptor::formats

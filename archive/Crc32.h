// CRC-32 of the ZIP format (reflected polynomial 0xEDB88320). The accumulator starts at
// 0xFFFFFFFF and is inverted at the end; UpdateCrc32 works on the raw accumulator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glyptor::archive {

uint32_t UpdateCrc32(uint32_t accumulator, const uint8_t* data, size_t count);
// One table step, as traditional encryption uses it.
uint32_t Crc32Byte(uint32_t accumulator, uint8_t byte);
// The finished CRC-32 of a block.
inline uint32_t Crc32Of(const uint8_t* data, size_t count) {
    return ~UpdateCrc32(0xFFFFFFFF, data, count);
}

} // namespace glyptor::archive

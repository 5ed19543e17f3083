// CRC-32 by slicing eight bytes at a time; every extracted byte runs through it, so it is worth
// the seven extra tables.
#include "archive/Crc32.h"

#include "formats/LittleEndian.h"

#include <array>

namespace glyptor::archive {

namespace {

using TCrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr TCrcTables BuildTables() {
    TCrcTables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
        for (int s = 1; s < 8; ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr TCrcTables Tables = BuildTables();
static_assert(Tables[0][1] == 0x77073096u, "CRC-32 table of the reflected polynomial");

} // namespace

uint32_t Crc32Byte(uint32_t accumulator, uint8_t byte) {
    return Tables[0][(accumulator ^ byte) & 0xFF] ^ (accumulator >> 8);
}

uint32_t UpdateCrc32(uint32_t c, const uint8_t* data, size_t count) {
    while (count >= 8) {
        uint32_t lo = c ^ formats::LoadLe32(data);
        uint32_t hi = formats::LoadLe32(data + 4);
        c = Tables[7][lo & 0xFF] ^ Tables[6][(lo >> 8) & 0xFF] ^ Tables[5][(lo >> 16) & 0xFF] ^
            Tables[4][lo >> 24] ^ Tables[3][hi & 0xFF] ^ Tables[2][(hi >> 8) & 0xFF] ^
            Tables[1][(hi >> 16) & 0xFF] ^ Tables[0][hi >> 24];
        data += 8;
        count -= 8;
    }
    while (count-- > 0)
        c = Crc32Byte(c, *data++);
    return c;
}

} // namespace glyptor::archive

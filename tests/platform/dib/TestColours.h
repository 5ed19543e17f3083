// Test colours and the colour each depth must turn them into, shared by the BMP and icon file
// tests that read our files back through independent readers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>

namespace glyptor::testing {

// Expectations worked out by hand against the VGA colours and the fixed table (cube levels 0,
// 51 ... 255, greys 8, 18 ... 238), not by the code under test.
struct ColourCase {
    std::uint32_t input;
    std::uint32_t at4;
    std::uint32_t at8;
};
inline const ColourCase kColours[] = {
    {0xFF0000, 0xFF0000, 0xFF0000}, {0x7A0505, 0x800000, 0x800000}, {0xC8C8C8, 0xC0C0C0, 0xC6C6C6},
    {0x33CC66, 0x008080, 0x33CC66}, {0x1E90FF, 0x00FFFF, 0x3399FF}, {0x000000, 0x000000, 0x000000},
    {0xFFFFFF, 0xFFFFFF, 0xFFFFFF}, {0x808000, 0x808000, 0x808000}, {0xE0E000, 0xFFFF00, 0xCCCC00},
    {0x202020, 0x000000, 0x1C1C1C},
};
// 0x202020 at 8 bits: greys 28 (distance 3 x 16) beats cube 51 and VGA black.

// What a reader must show for an opaque input pixel at an indexed depth (1, 4 or 8 bits).
inline std::uint32_t Expected(std::uint32_t input, unsigned bits) {
    const std::uint32_t rgb = input & 0xFFFFFF;
    if (bits == 1) {
        long toBlack = 0;
        long toWhite = 0;
        for (int shift : {0, 8, 16}) {
            const long channel = (rgb >> shift) & 0xFF;
            toBlack += channel * channel;
            toWhite += (255 - channel) * (255 - channel);
        }
        return toWhite < toBlack ? 0xFFFFFF : 0;
    }
    for (const ColourCase& c : kColours) {
        if (c.input == rgb) {
            return bits == 4 ? c.at4 : c.at8;
        }
    }
    ADD_FAILURE() << "no expectation for " << std::hex << rgb;
    return 0;
}

} // namespace glyptor::testing

// The constants of the Deflate format (RFC 1951) that the decoder and the compressor both need:
// the length and distance code tables, the order of the code-length code lengths, and the fixed
// Huffman code. One copy, so the two sides cannot disagree about a base or an extra-bit count.
#pragma once

#include <array>
#include <cstdint>

namespace glyptor::archive::deflate {

constexpr int MinMatch = 3;
constexpr int MaxMatch = 258;
// The history a decoder keeps; no distance reaches further back.
constexpr int WindowSize = 32768;

constexpr int EndOfBlockSymbol = 256;
// Literal/length symbols a block may use (286 and 287 exist only in the fixed code).
constexpr int LiteralLengthCodes = 286;
constexpr int FixedLiteralLengthCodes = 288;
constexpr int LengthCodes = 29;
// Distance symbols a block may use (30 and 31 exist only in the fixed code).
constexpr int DistanceCodes = 30;
constexpr int FixedDistanceCodes = 32;
constexpr int CodeLengthCodes = 19;
constexpr int MaxCodeLength = 15;
constexpr int MaxCodeLengthCodeLength = 7;

// Match length of symbol 257 + i is LengthBase[i] plus LengthExtra[i] extra bits.
constexpr std::array<uint16_t, LengthCodes> LengthBase = {
    3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, LengthCodes> LengthExtra = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance of symbol i is DistanceBase[i] plus DistanceExtra[i] extra bits.
constexpr std::array<uint16_t, DistanceCodes> DistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<uint8_t, DistanceCodes> DistanceExtra = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                              4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                              9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Symbol 284 with all extra bits set also means 258; encoders use 285 for it.
static_assert(LengthBase[0] == MinMatch && LengthBase[LengthCodes - 1] == MaxMatch &&
                  LengthBase[LengthCodes - 2] + (1 << LengthExtra[LengthCodes - 2]) - 1 == MaxMatch,
              "the length codes cover 3..258");
static_assert(DistanceBase[DistanceCodes - 1] + (1 << DistanceExtra[DistanceCodes - 1]) - 1 ==
                  WindowSize,
              "the distance codes reach the whole window");

// The order in which a dynamic block header lists the code-length code lengths.
constexpr std::array<uint8_t, CodeLengthCodes> CodeLengthOrder = {
    16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
// Extra bits after code-length symbols 16 (repeat previous), 17 and 18 (repeat zero).
constexpr std::array<uint8_t, CodeLengthCodes> CodeLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                  0, 0, 0, 0, 0, 0, 2, 3, 7};

// Code lengths of the fixed literal/length code; every fixed distance code is 5 bits long.
constexpr std::array<uint8_t, FixedLiteralLengthCodes> FixedLiteralLengths = [] {
    std::array<uint8_t, FixedLiteralLengthCodes> lengths{};
    for (int symbol = 0; symbol < FixedLiteralLengthCodes; ++symbol)
        lengths[static_cast<size_t>(symbol)] = symbol < 144   ? 8
                                               : symbol < 256 ? 9
                                               : symbol < 280 ? 7
                                                              : 8;
    return lengths;
}();
constexpr uint8_t FixedDistanceLength = 5;

} // namespace glyptor::archive::deflate

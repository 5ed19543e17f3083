// Implode decoding. Each tree arrives as run-length coded bit lengths; codes are assigned the
// Shannon-Fano way (longest codes first, counting up) and appear in the data first bit first.
// Decoding looks the next 16 bits up in a direct table.
#include "archive/Explode.h"

#include "archive/SlidingWindow.h"

#include <algorithm>
#include <numeric>

namespace glyptor::archive {

namespace {

constexpr unsigned MaxCodeBits = 16;

// Direct look-up over the next MaxBits input bits: symbol in the low 9 bits, code length above;
// a zero length marks bit patterns no code has.
struct TSfTable {
    std::vector<uint16_t> Entries;
    unsigned MaxBits = 0;
};

// Reads one tree of count codes; false when the lengths do not describe exactly count codes or
// the codes overflow 16 bits.
bool ReadTree(TBitReader& in, unsigned count, TSfTable& table) {
    std::vector<uint8_t> lengths;
    lengths.reserve(count);
    unsigned bytes = in.Bits(8) + 1;
    for (unsigned i = 0; i < bytes; ++i) {
        unsigned b = in.Bits(8);
        unsigned repeat = (b >> 4) + 1;
        unsigned length = (b & 15) + 1;
        if (lengths.size() + repeat > count)
            return false;
        lengths.insert(lengths.end(), repeat, static_cast<uint8_t>(length));
    }
    if (lengths.size() != count || in.Overrun())
        return false;

    // Stable sort by length; codes count up from the longest (last) entry.
    std::vector<unsigned> order(count);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](unsigned a, unsigned b) { return lengths[a] < lengths[b]; });
    std::vector<uint32_t> codes(count);
    uint32_t code = 0;
    uint32_t increment = 0;
    unsigned lastLength = 0;
    for (size_t k = count; k-- > 0;) {
        unsigned symbol = order[k];
        code += increment;
        if (code > 0xFFFF)
            return false;
        if (lengths[symbol] != lastLength) {
            lastLength = lengths[symbol];
            increment = 1u << (MaxCodeBits - lastLength);
        }
        codes[symbol] = code;
    }

    table.MaxBits = *std::max_element(lengths.begin(), lengths.end());
    table.Entries.assign(size_t{1} << table.MaxBits, 0);
    for (unsigned symbol = 0; symbol < count; ++symbol) {
        unsigned len = lengths[symbol];
        // The stream carries the code's top len bits, most significant first.
        uint32_t bits = (codes[symbol] >> (MaxCodeBits - len)) & ((1u << len) - 1);
        uint32_t reversed = 0;
        for (unsigned i = 0; i < len; ++i)
            reversed |= ((bits >> i) & 1u) << (len - 1 - i);
        for (uint32_t k = reversed; k < table.Entries.size(); k += 1u << len)
            table.Entries[k] = static_cast<uint16_t>(len << 9 | symbol);
    }
    return true;
}

// Decodes one symbol, or returns -1 for a bit pattern without a code.
int Decode(TBitReader& in, const TSfTable& table) {
    in.Ensure(table.MaxBits);
    uint16_t e = table.Entries[in.Peek(table.MaxBits)];
    if ((e >> 9) == 0)
        return -1;
    in.Drop(e >> 9);
    return e & 0x1FF;
}

} // namespace

TDecodeResult Explode(TBitReader& in, TByteSink& out, bool dictionary8K, bool literalTree,
                      uint64_t uncompressedSize) {
    TSfTable literals, lengths, distances;
    if (literalTree && !ReadTree(in, 256, literals))
        return in.Overrun() ? TDecodeResult::InputEnded : TDecodeResult::Corrupt;
    if (!ReadTree(in, 64, lengths) || !ReadTree(in, 64, distances))
        return in.Overrun() ? TDecodeResult::InputEnded : TDecodeResult::Corrupt;

    const unsigned lowDistanceBits = dictionary8K ? 7 : 6;
    const unsigned minimumMatch = literalTree ? 3 : 2;
    TSlidingWindow window(out);
    while (window.Produced < uncompressedSize) {
        bool taken;
        if (in.Bits(1) == 1) {
            int literal = literalTree ? Decode(in, literals) : static_cast<int>(in.Bits(8));
            if (literal < 0)
                return TDecodeResult::Corrupt;
            taken = window.PutByte(static_cast<uint8_t>(literal));
        } else {
            unsigned low = in.Bits(lowDistanceBits);
            int high = Decode(in, distances);
            if (high < 0)
                return TDecodeResult::Corrupt;
            size_t distance = ((static_cast<size_t>(high) << lowDistanceBits) | low) + 1;
            int code = Decode(in, lengths);
            if (code < 0)
                return TDecodeResult::Corrupt;
            uint64_t length = static_cast<unsigned>(code);
            if (length == 63)
                length += in.Bits(8);
            length += minimumMatch;
            length = std::min(length, uncompressedSize - window.Produced);
            taken = window.Copy(distance, static_cast<size_t>(length));
        }
        if (!taken)
            return TDecodeResult::OutputFull;
        if (in.Overrun())
            return window.Flush() ? TDecodeResult::InputEnded : TDecodeResult::OutputFull;
    }
    return window.Flush() ? TDecodeResult::Done : TDecodeResult::OutputFull;
}

} // namespace glyptor::archive

// Shrink decoding. Codes 0-255 are bytes, 256 announces a control subcode, codes from 257 are
// strings made of an earlier code (the parent) plus one byte. A partial clear frees every string
// that no other string extends; new strings take the lowest free slot.
#include "archive/Unshrink.h"

#include <cstdint>
#include <vector>

namespace glyptor::archive {

namespace {

constexpr unsigned MinCodeBits = 9;
constexpr unsigned MaxCodeBits = 13;
constexpr unsigned TableSize = 1u << MaxCodeBits;
constexpr unsigned ControlCode = 256;
constexpr unsigned FirstFreeCode = 257;
constexpr uint16_t Free = 0xFFFF;
constexpr uint16_t Root = 0xFFFE;

struct TShrinkTable {
    std::vector<uint16_t> Parent = std::vector<uint16_t>(TableSize, Free);
    std::vector<uint8_t> Value = std::vector<uint8_t>(TableSize, 0);

    TShrinkTable() {
        for (unsigned c = 0; c < 256; ++c) {
            Parent[c] = Root;
            Value[c] = static_cast<uint8_t>(c);
        }
    }

    void PartialClear() {
        std::vector<bool> hasChild(TableSize, false);
        for (unsigned c = FirstFreeCode; c < TableSize; ++c)
            if (Parent[c] != Free && Parent[c] != Root)
                hasChild[Parent[c]] = true;
        for (unsigned c = FirstFreeCode; c < TableSize; ++c)
            if (!hasChild[c])
                Parent[c] = Free;
    }

    // Writes the string of code into the end of buffer; returns its start, or -1 when the
    // chain is broken (a freed parent) or longer than any real string (a cycle).
    long Spell(unsigned code, std::vector<uint8_t>& buffer) const {
        size_t at = buffer.size();
        for (unsigned steps = 0; steps < TableSize; ++steps) {
            if (Parent[code] == Free)
                return -1;
            buffer[--at] = Value[code];
            if (Parent[code] == Root)
                return static_cast<long>(at);
            code = Parent[code];
        }
        return -1;
    }
};

} // namespace

TDecodeResult Unshrink(TBitReader& in, TByteSink& out) {
    TShrinkTable table;
    std::vector<uint8_t> buffer(TableSize + 1);
    unsigned codeBits = MinCodeBits;

    unsigned previous = in.Bits(codeBits);
    if (in.Overrun())
        return TDecodeResult::Done; // no data at all: an empty entry
    if (previous >= 256)
        return TDecodeResult::Corrupt;
    uint8_t first = static_cast<uint8_t>(previous);
    if (!out.Put(&first, 1))
        return TDecodeResult::OutputFull;
    unsigned nextFree = FirstFreeCode;

    for (;;) {
        unsigned code = in.Bits(codeBits);
        if (in.Overrun())
            return TDecodeResult::Done; // the data end when too few bits remain for a code
        if (code == ControlCode) {
            unsigned sub = in.Bits(codeBits);
            if (in.Overrun())
                return TDecodeResult::Done;
            if (sub == 1) {
                if (++codeBits > MaxCodeBits)
                    return TDecodeResult::Corrupt;
            } else if (sub == 2) {
                table.PartialClear();
                nextFree = FirstFreeCode;
            } else {
                return TDecodeResult::Corrupt;
            }
            continue;
        }

        // A code that is not in the table yet (the encoder used the string it was just making)
        // spells the previous string plus that string's first byte.
        bool pending = table.Parent[code] == Free;
        long start = table.Spell(pending ? previous : code, buffer);
        if (start < 0)
            return TDecodeResult::Corrupt;
        size_t length = buffer.size() - static_cast<size_t>(start);
        uint8_t head = buffer[static_cast<size_t>(start)];
        if (!out.Put(buffer.data() + start, length))
            return TDecodeResult::OutputFull;
        if (pending && !out.Put(&head, 1))
            return TDecodeResult::OutputFull;

        while (nextFree < TableSize && table.Parent[nextFree] != Free)
            ++nextFree;
        // A full table takes no new strings until the encoder clears it.
        if (nextFree < TableSize) {
            table.Parent[nextFree] = static_cast<uint16_t>(previous);
            table.Value[nextFree] = head;
            ++nextFree;
        }
        previous = code;
    }
}

} // namespace glyptor::archive

// Shrink decoding. Codes 0-255 are bytes, 256 announces a control subcode, codes from 257 are
// strings made of an earlier code (the parent) plus one byte. A partial clear frees every string
// that no other string extends; new strings take the lowest free slot.
#include "archive/Unshrink.h"

#include <algorithm>
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

// The string table. A partial clear frees exactly the strings that were leaves at that moment,
// so the table keeps its leaves in a list and a clear costs what it frees, not a pass over all
// 8192 slots: a stream made of nothing but clears must not cost more than its length.
struct TShrinkTable {
    static constexpr unsigned Words = TableSize / 64;
    std::vector<uint16_t> Parent = std::vector<uint16_t>(TableSize, Free);
    std::vector<uint8_t> Value = std::vector<uint8_t>(TableSize, 0);
    std::vector<uint16_t> Children = std::vector<uint16_t>(TableSize, 0);
    std::vector<uint16_t> Leaves; // live strings without a child
    std::vector<uint16_t> LeafAt = std::vector<uint16_t>(TableSize, Free); // index in Leaves
    uint64_t FreeSlots[Words] = {};                                        // bit set: slot is free
    unsigned FirstFreeWord = FirstFreeCode / 64;                           // no free slot below it

    TShrinkTable() {
        for (unsigned c = 0; c < 256; ++c) {
            Parent[c] = Root;
            Value[c] = static_cast<uint8_t>(c);
        }
        for (unsigned c = FirstFreeCode; c < TableSize; ++c)
            FreeSlots[c / 64] |= uint64_t{1} << (c % 64);
    }

    static bool IsString(unsigned code) { return code >= FirstFreeCode && code < TableSize; }

    void AddLeaf(unsigned code) {
        LeafAt[code] = static_cast<uint16_t>(Leaves.size());
        Leaves.push_back(static_cast<uint16_t>(code));
    }
    void RemoveLeaf(unsigned code) {
        const uint16_t at = LeafAt[code];
        if (at == Free)
            return;
        const uint16_t last = Leaves.back();
        Leaves[at] = last;
        LeafAt[last] = at;
        Leaves.pop_back();
        LeafAt[code] = Free;
    }

    // The lowest free slot from 257 on, or TableSize when the table is full.
    unsigned LowestFree() {
        for (; FirstFreeWord < Words; ++FirstFreeWord)
            if (FreeSlots[FirstFreeWord] != 0)
                return FirstFreeWord * 64 +
                       static_cast<unsigned>(__builtin_ctzll(FreeSlots[FirstFreeWord]));
        return TableSize;
    }

    void Add(unsigned code, unsigned parent, uint8_t value) {
        Parent[code] = static_cast<uint16_t>(parent);
        Value[code] = value;
        FreeSlots[code / 64] &= ~(uint64_t{1} << (code % 64));
        if (IsString(parent) && Children[parent]++ == 0)
            RemoveLeaf(parent);
        if (Children[code] == 0)
            AddLeaf(code);
    }

    void PartialClear() {
        std::vector<uint16_t> freed;
        freed.swap(Leaves);
        for (uint16_t code : freed) {
            LeafAt[code] = Free;
            const unsigned parent = Parent[code];
            Parent[code] = Free;
            FreeSlots[code / 64] |= uint64_t{1} << (code % 64);
            FirstFreeWord = std::min(FirstFreeWord, code / 64u);
            // A parent left without children becomes a leaf for the next clear, not this one.
            if (IsString(parent) && --Children[parent] == 0 && Parent[parent] != Free)
                AddLeaf(parent);
        }
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

        // New strings take the lowest free slot; a full table takes none until the encoder
        // clears it.
        const unsigned slot = table.LowestFree();
        if (slot < TableSize)
            table.Add(slot, previous, head);
        previous = code;
    }
}

} // namespace glyptor::archive

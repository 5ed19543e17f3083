// Table-driven Deflate decoding. A 10-bit (literal/length) or 8-bit (distance) primary table
// resolves short codes in one look-up; longer codes go through one sub-table. Every table entry
// that no code reaches is marked invalid, so any bit pattern decodes to something checked.
#include "archive/Inflate.h"

#include "archive/DeflateTables.h"

#include <algorithm>
#include <array>

namespace glyptor::archive {

namespace {

using namespace deflate;

constexpr size_t HistorySize = deflate::WindowSize;
constexpr size_t FlushSize = 65536;
constexpr size_t Slack = MaxMatch + 8; // longest match plus the 8-byte copy overrun
constexpr size_t WindowBufferSize = HistorySize + FlushSize + Slack;

// Table entry: bits 0-4 length to drop, 5-7 kind, 8-12 extra bits (or sub-table index bits),
// 16-31 value (literal, base, or sub-table offset).
enum TKind : uint32_t { Literal = 0, Base = 1, EndOfBlock = 2, SubTable = 3, Invalid = 4 };
constexpr uint32_t MakeEntry(uint32_t length, TKind kind, uint32_t extra, uint32_t value) {
    return length | (uint32_t(kind) << 5) | (extra << 8) | (value << 16);
}
constexpr unsigned EntryLength(uint32_t e) {
    return e & 31;
}
constexpr unsigned EntryKind(uint32_t e) {
    return (e >> 5) & 7;
}
constexpr unsigned EntryExtra(uint32_t e) {
    return (e >> 8) & 31;
}
constexpr unsigned EntryValue(uint32_t e) {
    return e >> 16;
}

constexpr unsigned LitPrimary = 10, DistPrimary = 8, CodeLenPrimary = 7;
// Sizes: primary table plus one sub-table per symbol at most, each of the largest size.
constexpr size_t LitTableSize =
    (1u << LitPrimary) + FixedLiteralLengthCodes * (1u << (MaxCodeLength - LitPrimary));
constexpr size_t DistTableSize =
    (1u << DistPrimary) + FixedDistanceCodes * (1u << (MaxCodeLength - DistPrimary));
static_assert(LitTableSize < (1u << 16) && DistTableSize < (1u << 16),
              "sub-table offsets fit the 16-bit value field");

// Entry for symbol s of the literal/length (isLit) or distance alphabet.
uint32_t SymbolEntry(bool isLit, unsigned s, unsigned length) {
    if (isLit) {
        if (s < EndOfBlockSymbol)
            return MakeEntry(length, Literal, 0, s);
        if (s == EndOfBlockSymbol)
            return MakeEntry(length, EndOfBlock, 0, 0);
        if (s < LiteralLengthCodes)
            return MakeEntry(length, Base, LengthExtra[s - 257], LengthBase[s - 257]);
        return MakeEntry(length, Invalid, 0, 0);
    }
    if (s < DistanceCodes)
        return MakeEntry(length, Base, DistanceExtra[s], DistanceBase[s]);
    return MakeEntry(length, Invalid, 0, 0);
}

enum class TAlphabet { LitLen, Dist, CodeLength };

// Builds a canonical Huffman table. Over-subscribed code lengths are rejected; an incomplete set
// is accepted, its unused bit patterns decode as invalid.
bool BuildTable(TInflater::TTable& table, const uint8_t* lengths, unsigned count,
                TAlphabet alphabet) {
    unsigned primary = alphabet == TAlphabet::LitLen ? LitPrimary
                       : alphabet == TAlphabet::Dist ? DistPrimary
                                                     : CodeLenPrimary;
    std::array<unsigned, MaxCodeLength + 1> lengthCount{};
    unsigned maxLength = 0;
    for (unsigned s = 0; s < count; ++s) {
        lengthCount[lengths[s]]++;
        maxLength = std::max<unsigned>(maxLength, lengths[s]);
    }
    int left = 1;
    for (unsigned len = 1; len <= MaxCodeLength; ++len) {
        left = left * 2 - static_cast<int>(lengthCount[len]);
        if (left < 0)
            return false;
    }
    std::array<unsigned, MaxCodeLength + 2> nextCode{};
    unsigned code = 0;
    lengthCount[0] = 0;
    for (unsigned len = 1; len <= MaxCodeLength; ++len) {
        code = (code + lengthCount[len - 1]) << 1;
        nextCode[len] = code;
    }

    unsigned subBits = maxLength > primary ? maxLength - primary : 0;
    table.PrimaryBits = primary;
    table.Entries.assign(size_t{1} << primary, MakeEntry(0, Invalid, 0, 0));
    for (unsigned s = 0; s < count; ++s) {
        unsigned len = lengths[s];
        if (len == 0)
            continue;
        unsigned c = nextCode[len]++;
        unsigned reversed = 0;
        for (unsigned i = 0; i < len; ++i)
            reversed |= ((c >> i) & 1u) << (len - 1 - i);
        uint32_t entry = alphabet == TAlphabet::CodeLength
                             ? MakeEntry(len, Literal, 0, s)
                             : SymbolEntry(alphabet == TAlphabet::LitLen, s, len);
        if (len <= primary) {
            for (unsigned k = reversed; k < (1u << primary); k += 1u << len)
                table.Entries[k] = entry;
            continue;
        }
        unsigned prefix = reversed & ((1u << primary) - 1);
        if (EntryKind(table.Entries[prefix]) != SubTable) {
            size_t offset = table.Entries.size();
            table.Entries.resize(offset + (size_t{1} << subBits), MakeEntry(0, Invalid, 0, 0));
            table.Entries[prefix] =
                MakeEntry(primary, SubTable, subBits, static_cast<uint32_t>(offset));
        }
        size_t offset = EntryValue(table.Entries[prefix]);
        unsigned rest = len - primary;
        uint32_t subEntry = (entry & ~31u) | rest;
        for (unsigned k = reversed >> primary; k < (1u << subBits); k += 1u << rest)
            table.Entries[offset + k] = subEntry;
    }
    return true;
}

// Decodes one symbol; the caller has made at least 15 bits available.
inline uint32_t Decode(TBitReader& in, const TInflater::TTable& table) {
    uint32_t e = table.Entries[in.Peek(table.PrimaryBits)];
    if (EntryKind(e) == SubTable) {
        in.Drop(table.PrimaryBits);
        e = table.Entries[EntryValue(e) + in.Peek(EntryExtra(e))];
    }
    in.Drop(EntryLength(e));
    return e;
}

} // namespace

TInflater::TInflater() : Window(WindowBufferSize) {
    BuildTable(FixedLit, FixedLiteralLengths.data(), FixedLiteralLengthCodes, TAlphabet::LitLen);
    std::array<uint8_t, FixedDistanceCodes> distanceLengths;
    distanceLengths.fill(FixedDistanceLength);
    BuildTable(FixedDist, distanceLengths.data(), FixedDistanceCodes, TAlphabet::Dist);
}

bool TInflater::Slide(TByteSink& out) {
    if (!out.Put(Window.data() + FlushedTo, Pos - FlushedTo))
        return false;
    std::memmove(Window.data(), Window.data() + Pos - HistorySize, HistorySize);
    Pos = FlushedTo = HistorySize;
    return true;
}

TDecodeResult TInflater::Run(TBitReader& in, TByteSink& out) {
    Pos = FlushedTo = 0;
    bool last = false;
    while (!last) {
        last = in.Bits(1) != 0;
        unsigned type = in.Bits(2);
        TDecodeResult r = TDecodeResult::Corrupt;
        if (type == 0) {
            r = StoredBlock(in, out);
        } else if (type == 1) {
            r = Block(in, out, FixedLit, FixedDist);
        } else if (type == 2) {
            r = DynamicTables(in);
            if (r == TDecodeResult::Done)
                r = Block(in, out, DynLit, DynDist);
        }
        // Whatever went wrong after the input ran out is the missing input's doing.
        if (in.Overrun())
            r = TDecodeResult::InputEnded;
        if (r != TDecodeResult::Done)
            return r;
    }
    bool taken = out.Put(Window.data() + FlushedTo, Pos - FlushedTo);
    FlushedTo = Pos;
    return taken ? TDecodeResult::Done : TDecodeResult::OutputFull;
}

TDecodeResult TInflater::StoredBlock(TBitReader& in, TByteSink& out) {
    in.AlignToByte();
    unsigned length = in.Bits(16);
    unsigned check = in.Bits(16);
    if (in.Overrun())
        return TDecodeResult::InputEnded;
    if ((length ^ 0xFFFF) != check)
        return TDecodeResult::Corrupt;
    while (length > 0) {
        if (Pos >= HistorySize + FlushSize && !Slide(out))
            return TDecodeResult::OutputFull;
        size_t step = std::min<size_t>(length, HistorySize + FlushSize - Pos);
        size_t got = in.ReadBytes(Window.data() + Pos, step);
        Pos += got;
        if (got < step)
            return TDecodeResult::InputEnded;
        length -= static_cast<unsigned>(step);
    }
    return TDecodeResult::Done;
}

TDecodeResult TInflater::DynamicTables(TBitReader& in) {
    unsigned litCount = in.Bits(5) + 257;
    unsigned distCount = in.Bits(5) + 1;
    unsigned codeLengthCount = in.Bits(4) + 4;
    // 286/287 and 30/31 have no meaning; RFC 1951 caps the counts below them.
    if (litCount > LiteralLengthCodes || distCount > DistanceCodes)
        return TDecodeResult::Corrupt;
    uint8_t codeLengthLengths[CodeLengthCodes] = {};
    for (unsigned i = 0; i < codeLengthCount; ++i)
        codeLengthLengths[CodeLengthOrder[i]] = static_cast<uint8_t>(in.Bits(3));
    if (!BuildTable(CodeLengthTable, codeLengthLengths, CodeLengthCodes, TAlphabet::CodeLength))
        return TDecodeResult::Corrupt;

    uint8_t lengths[LiteralLengthCodes + DistanceCodes] = {};
    unsigned total = litCount + distCount;
    unsigned i = 0;
    while (i < total) {
        in.Ensure(16);
        uint32_t e = Decode(in, CodeLengthTable);
        if (EntryKind(e) == Invalid)
            return TDecodeResult::Corrupt;
        unsigned symbol = EntryValue(e);
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        uint8_t value = 0;
        unsigned repeat;
        if (symbol == 16) {
            if (i == 0)
                return TDecodeResult::Corrupt;
            value = lengths[i - 1];
            repeat = 3 + in.Bits(2);
        } else if (symbol == 17) {
            repeat = 3 + in.Bits(3);
        } else {
            repeat = 11 + in.Bits(7);
        }
        if (repeat > total - i)
            return TDecodeResult::Corrupt;
        std::fill(lengths + i, lengths + i + repeat, value);
        i += repeat;
    }
    if (in.Overrun())
        return TDecodeResult::InputEnded;
    if (lengths[EndOfBlockSymbol] == 0) // a block that cannot end
        return TDecodeResult::Corrupt;
    if (!BuildTable(DynLit, lengths, litCount, TAlphabet::LitLen) ||
        !BuildTable(DynDist, lengths + litCount, distCount, TAlphabet::Dist))
        return TDecodeResult::Corrupt;
    return TDecodeResult::Done;
}

TDecodeResult TInflater::Block(TBitReader& in, TByteSink& out, const TTable& lit,
                               const TTable& dist) {
    uint8_t* window = Window.data();
    size_t pos = Pos;
    for (;;) {
        if (pos >= HistorySize + FlushSize) {
            Pos = pos;
            // Literals do not look at the end of the input; zero bits past it could otherwise
            // decode to literals for as long as the sink takes them.
            if (in.Overrun())
                return TDecodeResult::InputEnded;
            if (!Slide(out))
                return TDecodeResult::OutputFull;
            pos = Pos;
        }
        // 15 + 5 + 15 + 13 bits: one whole length/distance pair without another refill.
        in.Ensure(48);
        uint32_t e = Decode(in, lit);
        unsigned kind = EntryKind(e);
        if (kind == Literal) {
            window[pos++] = static_cast<uint8_t>(EntryValue(e));
            continue;
        }
        if (kind != Base) {
            Pos = pos;
            if (in.Overrun())
                return TDecodeResult::InputEnded;
            return kind == EndOfBlock ? TDecodeResult::Done : TDecodeResult::Corrupt;
        }
        unsigned length = EntryValue(e) + in.Peek(EntryExtra(e));
        in.Drop(EntryExtra(e));
        e = Decode(in, dist);
        if (EntryKind(e) != Base) {
            Pos = pos;
            return in.Overrun() ? TDecodeResult::InputEnded : TDecodeResult::Corrupt;
        }
        size_t distance = EntryValue(e) + in.Peek(EntryExtra(e));
        in.Drop(EntryExtra(e));
        if (in.Overrun()) {
            Pos = pos;
            return TDecodeResult::InputEnded;
        }
        if (distance > pos) { // reaches before the first byte of the data
            Pos = pos;
            return TDecodeResult::Corrupt;
        }
        uint8_t* to = window + pos;
        const uint8_t* from = to - distance;
        pos += length;
        if (distance >= 8) {
            // Overlapping 8-byte steps are safe at this distance; Slack covers the overrun.
            uint8_t* end = to + length;
            do {
                std::memcpy(to, from, 8);
                to += 8;
                from += 8;
            } while (to < end);
        } else {
            for (unsigned k = 0; k < length; ++k)
                to[k] = from[k];
        }
    }
}

TDecodeResult InflateBuffer(const uint8_t* in, size_t count, std::vector<uint8_t>& out) {
    TMemorySource source(in, count);
    TBitReader bits(source);
    TVectorSink sink(out);
    TInflater inflater;
    return inflater.Run(bits, sink);
}

} // namespace glyptor::archive

// Deflate compressor: hash-chain match search over the whole input held in memory, greedy
// matching for the fast levels and lazy matching from level 4, and per block the cheapest of a
// stored, fixed-code or dynamic-code encoding, all sizes counted exactly in bits.
#include "archive/Deflater.h"

#include "archive/DeflateTables.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

namespace glyptor::archive {

namespace {

using namespace deflate;

constexpr int HashBits = 15;
constexpr int HashSize = 1 << HashBits;
constexpr int HashMask = HashSize - 1;
constexpr int WindowMask = WindowSize - 1;
// A match must stay inside the 32 KiB a decoder keeps, with room for the look-ahead the
// classic sliding-window search needs; keeping the same limit keeps our output comparable.
constexpr std::int64_t MaxDistance = WindowSize - (MaxMatch + MinMatch + 1);
// Lazy levels drop a 3-byte match this far back: its distance code costs more than it saves.
constexpr std::int64_t TooFar = 4096;
constexpr int SymbolBufferSize = 32768;
// A block ends after this many symbols. Half the buffer: pictures change their statistics
// row by row, and shorter blocks let the codes follow; on skin bitmaps the full buffer costs
// about 3 % more output, on text it gains under 0.1 %.
constexpr int BlockSymbols = 16383;
constexpr int MaxStoredChunk = 65535;
constexpr std::int32_t Nil = -1;

static_assert(MaxDistance == 32506);
static_assert(BlockSymbols < SymbolBufferSize, "a block's symbols and one more fit the buffers");

// Length code (0..28, i.e. symbol 257+code) of match lengths 3..258, indexed by length - 3.
constexpr auto LengthCodeOf = [] {
    std::array<std::uint8_t, 256> table{};
    for (int code = 0; code < 28; ++code) {
        for (int i = 0; i < (1 << LengthExtra[code]); ++i) {
            table[LengthBase[code] - MinMatch + i] = static_cast<std::uint8_t>(code);
        }
    }
    table[MaxMatch - MinMatch] = 28; // 258 has its own code, not 284 with all extra bits set
    return table;
}();

// Distance code of distance d: [d - 1] for d <= 256, else [256 + ((d - 1) >> 7)].
constexpr auto DistanceCodeOf = [] {
    std::array<std::uint8_t, 512> table{};
    for (int code = 0; code < DistanceCodes; ++code) {
        for (int i = 0; i < (1 << DistanceExtra[code]); ++i) {
            const int d = DistanceBase[code] + i - 1;
            if (d < 256) {
                table[static_cast<std::size_t>(d)] = static_cast<std::uint8_t>(code);
            } else {
                table[static_cast<std::size_t>(256 + (d >> 7))] = static_cast<std::uint8_t>(code);
            }
        }
    }
    return table;
}();

inline int DistanceCode(int distance) {
    const int d = distance - 1;
    return d < 256 ? DistanceCodeOf[static_cast<std::size_t>(d)]
                   : DistanceCodeOf[static_cast<std::size_t>(256 + (d >> 7))];
}

static_assert(LengthCodeOf[0] == 0 && LengthCodeOf[255] == 28 && LengthCodeOf[254] == 27);
static_assert(DistanceCodeOf[511] == 29 && DistanceCodeOf[0] == 0);

constexpr std::array<TDeflateLevel, 10> Levels = {{
    {0, 0, 0, 0, false},
    {4, 4, 8, 4, false},
    {4, 5, 16, 8, false},
    {4, 6, 32, 32, false},
    {4, 4, 16, 16, true},
    {8, 16, 32, 32, true},
    {8, 16, 128, 128, true},
    {8, 32, 128, 256, true},
    {32, 128, 258, 1024, true},
    {32, 258, 258, 4096, true},
}};

struct THuffmanCode {
    std::uint16_t Bits = 0; // already bit-reversed, ready for LSB-first output
    std::uint8_t Length = 0;
};

std::uint16_t ReverseBits(unsigned code, int length) {
    unsigned result = 0;
    for (int i = 0; i < length; ++i) {
        result = (result << 1) | (code & 1u);
        code >>= 1;
    }
    return static_cast<std::uint16_t>(result);
}

// Canonical codes from code lengths (RFC 1951 section 3.2.2).
void AssignCodes(const std::uint8_t* lengths, int count, THuffmanCode* codes) {
    std::array<unsigned, MaxCodeLength + 2> lengthCount{};
    for (int i = 0; i < count; ++i) {
        ++lengthCount[lengths[i]];
    }
    lengthCount[0] = 0;
    std::array<unsigned, MaxCodeLength + 2> nextCode{};
    unsigned code = 0;
    for (int bits = 1; bits <= MaxCodeLength; ++bits) {
        code = (code + lengthCount[static_cast<std::size_t>(bits - 1)]) << 1;
        nextCode[static_cast<std::size_t>(bits)] = code;
    }
    for (int i = 0; i < count; ++i) {
        const int length = lengths[i];
        codes[i].Length = static_cast<std::uint8_t>(length);
        codes[i].Bits =
            length == 0 ? 0 : ReverseBits(nextCode[static_cast<std::size_t>(length)]++, length);
    }
}

// Huffman code lengths for `freq`, none longer than `maxLength`. Every code has at least two
// symbols with a length, so that decoders which insist on complete codes accept it.
void BuildLengths(const std::uint32_t* freq, int count, int maxLength, std::uint8_t* lengths) {
    std::array<int, LiteralLengthCodes + 2> symbols{};
    int used = 0;
    for (int i = 0; i < count; ++i) {
        lengths[i] = 0;
        if (freq[i] != 0) {
            symbols[static_cast<std::size_t>(used++)] = i;
        }
    }
    if (used < 2) {
        // One used symbol (or none) still gets a one-bit code, paired with a neighbour.
        const int first = used == 1 ? symbols[0] : 0;
        lengths[first] = 1;
        lengths[first == 0 ? 1 : 0] = 1;
        return;
    }
    std::sort(symbols.begin(), symbols.begin() + used,
              [freq](int a, int b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });

    // Two-queue Huffman construction: leaves in ascending weight, internal nodes are created in
    // ascending weight too, so the two lightest are always at the heads of the two queues.
    std::array<std::uint64_t, LiteralLengthCodes + 2> nodeWeight{};
    std::array<int, LiteralLengthCodes + 2> leafParent{};
    std::array<int, LiteralLengthCodes + 2> nodeParent{};
    int nextLeaf = 0;
    int nextNode = 0;
    const auto takeLightest = [&](int created, std::uint64_t& weight) -> int {
        if (nextLeaf < used &&
            (nextNode >= created || freq[symbols[static_cast<std::size_t>(nextLeaf)]] <=
                                        nodeWeight[static_cast<std::size_t>(nextNode)])) {
            weight = freq[symbols[static_cast<std::size_t>(nextLeaf)]];
            return nextLeaf++; // leaves are 0 .. used-1
        }
        weight = nodeWeight[static_cast<std::size_t>(nextNode)];
        return used + nextNode++; // internal nodes follow the leaves
    };
    const auto setParent = [&](int item, int parent) {
        if (item < used) {
            leafParent[static_cast<std::size_t>(item)] = parent;
        } else {
            nodeParent[static_cast<std::size_t>(item - used)] = parent;
        }
    };
    for (int created = 0; created < used - 1; ++created) {
        std::uint64_t weightA = 0;
        std::uint64_t weightB = 0;
        const int a = takeLightest(created, weightA);
        const int b = takeLightest(created, weightB);
        nodeWeight[static_cast<std::size_t>(created)] = weightA + weightB;
        setParent(a, created);
        setParent(b, created);
    }
    std::array<int, LiteralLengthCodes + 2> nodeDepth{};
    const int root = used - 2;
    nodeDepth[static_cast<std::size_t>(root)] = 0;
    for (int node = root - 1; node >= 0; --node) {
        nodeDepth[static_cast<std::size_t>(node)] =
            nodeDepth[static_cast<std::size_t>(nodeParent[static_cast<std::size_t>(node)])] + 1;
    }
    std::array<int, 64> lengthCount{};
    for (int leaf = 0; leaf < used; ++leaf) {
        const int depth =
            nodeDepth[static_cast<std::size_t>(leafParent[static_cast<std::size_t>(leaf)])] + 1;
        ++lengthCount[static_cast<std::size_t>(std::min(depth, maxLength))];
    }
    // Clamping over-long codes over-subscribes the code space; move leaves down one level at a
    // time until the Kraft sum is exactly one again.
    std::uint64_t kraft = 0;
    for (int bits = 1; bits <= maxLength; ++bits) {
        kraft += static_cast<std::uint64_t>(lengthCount[static_cast<std::size_t>(bits)])
                 << (maxLength - bits);
    }
    const std::uint64_t full = std::uint64_t{1} << maxLength;
    while (kraft > full) {
        --lengthCount[static_cast<std::size_t>(maxLength)];
        for (int bits = maxLength - 1; bits > 0; --bits) {
            if (lengthCount[static_cast<std::size_t>(bits)] != 0) {
                --lengthCount[static_cast<std::size_t>(bits)];
                lengthCount[static_cast<std::size_t>(bits + 1)] += 2;
                break;
            }
        }
        --kraft;
    }
    // The most frequent symbols (at the end of the sorted list) take the shortest codes.
    int symbolIndex = used - 1;
    for (int bits = 1; bits <= maxLength; ++bits) {
        for (int n = lengthCount[static_cast<std::size_t>(bits)]; n > 0; --n) {
            lengths[symbols[static_cast<std::size_t>(symbolIndex--)]] =
                static_cast<std::uint8_t>(bits);
        }
    }
}

// LSB-first bit output into a byte vector.
class TBitWriter {
public:
    void Put(std::uint32_t bits, int count) {
        Buffer |= static_cast<std::uint64_t>(bits) << Count;
        Count += count;
        if (Count >= 32) {
            const std::size_t size = Bytes.size();
            Bytes.resize(size + 4);
            for (int i = 0; i < 4; ++i) {
                Bytes[size + static_cast<std::size_t>(i)] =
                    static_cast<std::uint8_t>(Buffer >> (8 * i));
            }
            Buffer >>= 32;
            Count -= 32;
        }
    }
    void Put(const THuffmanCode& code) { Put(code.Bits, code.Length); }
    void MoveWholeBytes() {
        while (Count >= 8) {
            Bytes.push_back(static_cast<std::uint8_t>(Buffer));
            Buffer >>= 8;
            Count -= 8;
        }
    }
    void AlignToByte() {
        if ((Count & 7) != 0) {
            Put(0, 8 - (Count & 7));
        }
        MoveWholeBytes();
    }
    void Append(const std::uint8_t* data, std::size_t size) {
        Bytes.insert(Bytes.end(), data, data + size); // callers align first
    }
    int BitPosition() const { return Count & 7; }

    std::vector<std::uint8_t> Bytes;

private:
    std::uint64_t Buffer = 0;
    int Count = 0;
};

std::uint64_t StoredBlockBits(std::int64_t length, int bitPosition) {
    const std::int64_t chunks =
        std::max<std::int64_t>(1, (length + MaxStoredChunk - 1) / MaxStoredChunk);
    const int firstPad = (8 - (bitPosition + 3) % 8) % 8;
    // Chunks after the first start byte-aligned, so their 3 header bits leave 5 bits of padding.
    return static_cast<std::uint64_t>(chunks * (3 + 32) + 8 * length + firstPad + 5 * (chunks - 1));
}

// The code-length alphabet form of the literal and distance code lengths.
struct TCodeLengthRun {
    std::uint8_t Symbol;
    std::uint8_t Extra;
};

} // namespace

const TDeflateLevel& DeflateLevel(int level) {
    return Levels[static_cast<std::size_t>(std::clamp(level, 0, 9))];
}

std::uint16_t DeflateLevelFlags(int level) {
    if (level >= 8) {
        return 0x0002;
    }
    if (level >= 1 && level <= 2) {
        return 0x0004;
    }
    return 0;
}

struct TDeflater::TState {
    std::vector<std::int32_t> Head = std::vector<std::int32_t>(HashSize);
    std::vector<std::int32_t> Prev = std::vector<std::int32_t>(WindowSize);
    std::vector<std::uint8_t> LiteralBuffer = std::vector<std::uint8_t>(SymbolBufferSize);
    std::vector<std::uint16_t> DistanceBuffer = std::vector<std::uint16_t>(SymbolBufferSize);

    // Per call.
    const std::uint8_t* In = nullptr;
    std::int64_t Size = 0;
    std::int64_t Pos = 0;
    std::int64_t BlockStart = 0;
    TDeflateLevel Params{};
    int Level = 0;
    bool AllowStoreInstead = false;
    const TDeflateSink* Sink = nullptr;
    TDeflateSummary Summary;
    TBitWriter Out;

    int Symbols = 0;
    int Matches = 0;
    std::array<std::uint32_t, LiteralLengthCodes + 2> LiteralFreq{};
    std::array<std::uint32_t, DistanceCodes> DistanceFreq{};

    void Begin(std::span<const std::uint8_t> input, int level, const TDeflateSink& sink,
               bool allowStoreInstead) {
        In = input.data();
        Size = static_cast<std::int64_t>(input.size());
        Pos = 0;
        BlockStart = 0;
        Level = std::clamp(level, 0, 9);
        Params = Levels[static_cast<std::size_t>(Level)];
        AllowStoreInstead = allowStoreInstead;
        Sink = &sink;
        Summary = TDeflateSummary{};
        Out = TBitWriter{};
        std::fill(Head.begin(), Head.end(), Nil);
        ResetBlock();
    }

    void ResetBlock() {
        Symbols = 0;
        Matches = 0;
        LiteralFreq.fill(0);
        DistanceFreq.fill(0);
    }

    std::uint32_t HashAt(std::int64_t p) const {
        return ((static_cast<std::uint32_t>(In[p]) << 10) ^
                (static_cast<std::uint32_t>(In[p + 1]) << 5) ^ In[p + 2]) &
               HashMask;
    }

    // Enters the string at p (which needs three bytes) and returns the previous chain head.
    std::int32_t Insert(std::int64_t p) {
        const std::uint32_t hash = HashAt(p);
        const std::int32_t previous = Head[hash];
        Prev[static_cast<std::size_t>(p & WindowMask)] = previous;
        Head[hash] = static_cast<std::int32_t>(p);
        return previous;
    }

    static int CommonLength(const std::uint8_t* a, const std::uint8_t* b, int maxLength) {
        int length = 0;
        if constexpr (std::endian::native == std::endian::little) {
            while (length + 8 <= maxLength) {
                std::uint64_t x = 0;
                std::uint64_t y = 0;
                std::memcpy(&x, a + length, 8);
                std::memcpy(&y, b + length, 8);
                if (x != y) {
                    return length + std::countr_zero(x ^ y) / 8;
                }
                length += 8;
            }
        }
        while (length < maxLength && a[length] == b[length]) {
            ++length;
        }
        return length;
    }

    // Longest match for the string at Pos along the chain from `candidate`, longer than
    // `bestLength`; returns the best length found (bestLength when nothing longer exists).
    int LongestMatch(std::int32_t candidate, int bestLength, std::int64_t& matchStart) const {
        const int maxLength = static_cast<int>(std::min<std::int64_t>(MaxMatch, Size - Pos));
        if (bestLength >= maxLength) {
            return bestLength;
        }
        int chain = Params.MaxChain;
        if (bestLength >= Params.GoodLength) {
            chain >>= 2;
        }
        const int nice = std::min(Params.NiceLength, maxLength);
        const std::int64_t limit = std::max<std::int64_t>(0, Pos - MaxDistance);
        const std::uint8_t* scan = In + Pos;
        std::int64_t cur = candidate;
        while (cur >= limit && chain-- > 0) {
            const std::uint8_t* match = In + cur;
            if (match[bestLength] == scan[bestLength] &&
                match[bestLength - 1] == scan[bestLength - 1] && match[0] == scan[0] &&
                match[1] == scan[1]) {
                const int length = CommonLength(scan, match, maxLength);
                if (length > bestLength) {
                    matchStart = cur;
                    bestLength = length;
                    if (length >= nice) {
                        break;
                    }
                }
            }
            cur = Prev[static_cast<std::size_t>(cur & WindowMask)];
        }
        return bestLength;
    }

    bool BlockIsFull() const {
        if (Level > 2 && (Symbols & 0xFFF) == 0) {
            // A block of mostly literals that already compresses to under half its input is
            // worth closing early: its statistics are unlikely to fit what follows.
            std::uint64_t estimate = static_cast<std::uint64_t>(Symbols) * 8;
            for (int code = 0; code < DistanceCodes; ++code) {
                estimate +=
                    static_cast<std::uint64_t>(DistanceFreq[static_cast<std::size_t>(code)]) *
                    static_cast<std::uint64_t>(5 + DistanceExtra[static_cast<std::size_t>(code)]);
            }
            estimate >>= 3;
            const auto covered = static_cast<std::uint64_t>(Pos - BlockStart);
            if (Matches < Symbols / 2 && estimate < covered / 2) {
                return true;
            }
        }
        return Symbols >= BlockSymbols;
    }

    bool TallyLiteral(std::uint8_t byte) {
        LiteralBuffer[static_cast<std::size_t>(Symbols)] = byte;
        DistanceBuffer[static_cast<std::size_t>(Symbols)] = 0;
        ++Symbols;
        ++LiteralFreq[byte];
        return BlockIsFull();
    }

    bool TallyMatch(std::int64_t start, std::int64_t matchStart, int length) {
        if (matchStart < 0 || matchStart >= start || start - matchStart > MaxDistance ||
            length < MinMatch || length > MaxMatch || start + length > Size ||
            std::memcmp(In + start, In + matchStart, static_cast<std::size_t>(length)) != 0) {
            throw EInvalidMatch("Start: " + std::to_string(start) + ", Match: " +
                                std::to_string(matchStart) + ", Length: " + std::to_string(length));
        }
        const int distance = static_cast<int>(start - matchStart);
        LiteralBuffer[static_cast<std::size_t>(Symbols)] =
            static_cast<std::uint8_t>(length - MinMatch);
        DistanceBuffer[static_cast<std::size_t>(Symbols)] = static_cast<std::uint16_t>(distance);
        ++Symbols;
        ++Matches;
        ++LiteralFreq[static_cast<std::size_t>(
            257 + LengthCodeOf[static_cast<std::size_t>(length - MinMatch)])];
        ++DistanceFreq[static_cast<std::size_t>(DistanceCode(distance))];
        return BlockIsFull();
    }

    void CompressFast() {
        while (Pos < Size) {
            std::int32_t head = Nil;
            if (Size - Pos >= MinMatch) {
                head = Insert(Pos);
            }
            int length = MinMatch - 1;
            std::int64_t matchStart = 0;
            if (head != Nil && Pos - head <= MaxDistance) {
                length = LongestMatch(head, MinMatch - 1, matchStart);
            }
            bool full = false;
            if (length >= MinMatch) {
                full = TallyMatch(Pos, matchStart, length);
                if (length <= Params.MaxLazy && Size - (Pos + length) >= MinMatch) {
                    // Short matches are entered string by string so later searches find them.
                    for (int i = 1; i < length; ++i) {
                        Insert(Pos + i);
                    }
                }
                Pos += length;
            } else {
                full = TallyLiteral(In[Pos]);
                ++Pos;
            }
            if (full) {
                FlushBlock(false);
            }
        }
    }

    void CompressLazy() {
        int length = MinMatch - 1;
        std::int64_t matchStart = 0;
        bool literalPending = false;
        while (Pos < Size) {
            std::int32_t head = Nil;
            if (Size - Pos >= MinMatch) {
                head = Insert(Pos);
            }
            const int prevLength = length;
            const std::int64_t prevMatch = matchStart;
            length = MinMatch - 1;
            if (head != Nil && prevLength < Params.MaxLazy && Pos - head <= MaxDistance) {
                length = LongestMatch(head, prevLength, matchStart);
                if (length <= prevLength) {
                    length = MinMatch - 1; // nothing better here; keep the previous match
                } else if (length == MinMatch && Pos - matchStart > TooFar) {
                    length = MinMatch - 1;
                }
            }
            if (prevLength >= MinMatch && length <= prevLength) {
                // The match that started one byte earlier wins; emit it and skip past it.
                const bool full = TallyMatch(Pos - 1, prevMatch, prevLength);
                const std::int64_t end = Pos - 1 + prevLength;
                for (std::int64_t p = Pos + 1; p < end; ++p) {
                    if (Size - p >= MinMatch) {
                        Insert(p);
                    }
                }
                Pos = end;
                literalPending = false;
                length = MinMatch - 1;
                if (full) {
                    FlushBlock(false);
                }
            } else if (literalPending) {
                if (TallyLiteral(In[Pos - 1])) {
                    FlushBlock(false);
                }
                ++Pos;
            } else {
                literalPending = true;
                ++Pos;
            }
        }
        if (literalPending) {
            TallyLiteral(In[Pos - 1]);
        }
    }

    void CompressStoredOnly() {
        // Level 0 keeps literal statistics of the first stretch only, for the text test.
        const std::int64_t sample = std::min<std::int64_t>(Size, BlockSymbols);
        for (std::int64_t i = 0; i < sample; ++i) {
            ++LiteralFreq[In[i]];
        }
        Pos = Size;
    }

    static void CodeLengthRuns(const std::uint8_t* lengths, int count,
                               std::vector<TCodeLengthRun>& runs) {
        int i = 0;
        while (i < count) {
            const std::uint8_t value = lengths[i];
            int run = 1;
            while (i + run < count && lengths[i + run] == value) {
                ++run;
            }
            i += run;
            if (value == 0) {
                while (run >= 11) {
                    const int n = std::min(run, 138);
                    runs.push_back({18, static_cast<std::uint8_t>(n - 11)});
                    run -= n;
                }
                if (run >= 3) {
                    runs.push_back({17, static_cast<std::uint8_t>(run - 3)});
                    run = 0;
                }
            } else {
                runs.push_back({value, 0});
                --run;
                while (run >= 3) {
                    const int n = std::min(run, 6);
                    runs.push_back({16, static_cast<std::uint8_t>(n - 3)});
                    run -= n;
                }
            }
            for (; run > 0; --run) {
                runs.push_back({value, 0});
            }
        }
    }

    // Bits of the block body (symbols and extra bits, end-of-block included) under the codes.
    std::uint64_t BodyBits(const std::uint8_t* literalLengths,
                           const std::uint8_t* distanceLengths) const {
        std::uint64_t bits = 0;
        for (int i = 0; i < LiteralLengthCodes; ++i) {
            std::uint64_t per = literalLengths[i];
            if (i > 256) {
                per += static_cast<std::uint64_t>(LengthExtra[static_cast<std::size_t>(i - 257)]);
            }
            bits += LiteralFreq[static_cast<std::size_t>(i)] * per;
        }
        for (int i = 0; i < DistanceCodes; ++i) {
            bits += DistanceFreq[static_cast<std::size_t>(i)] *
                    static_cast<std::uint64_t>(distanceLengths[i] +
                                               DistanceExtra[static_cast<std::size_t>(i)]);
        }
        return bits;
    }

    void WriteBody(const THuffmanCode* literalCodes, const THuffmanCode* distanceCodes) {
        for (int i = 0; i < Symbols; ++i) {
            const std::uint16_t distance = DistanceBuffer[static_cast<std::size_t>(i)];
            const std::uint8_t value = LiteralBuffer[static_cast<std::size_t>(i)];
            if (distance == 0) {
                Out.Put(literalCodes[value]);
                continue;
            }
            const int lengthCode = LengthCodeOf[value];
            Out.Put(literalCodes[257 + lengthCode]);
            if (LengthExtra[static_cast<std::size_t>(lengthCode)] != 0) {
                Out.Put(static_cast<std::uint32_t>(
                            value + MinMatch - LengthBase[static_cast<std::size_t>(lengthCode)]),
                        LengthExtra[static_cast<std::size_t>(lengthCode)]);
            }
            const int distanceCode = DistanceCode(distance);
            Out.Put(distanceCodes[distanceCode]);
            if (DistanceExtra[static_cast<std::size_t>(distanceCode)] != 0) {
                Out.Put(static_cast<std::uint32_t>(
                            distance - DistanceBase[static_cast<std::size_t>(distanceCode)]),
                        DistanceExtra[static_cast<std::size_t>(distanceCode)]);
            }
        }
        Out.Put(literalCodes[EndOfBlockSymbol]);
    }

    void WriteStored(std::int64_t start, std::int64_t length, bool last) {
        do {
            const std::int64_t chunk = std::min<std::int64_t>(length, MaxStoredChunk);
            const bool final = last && chunk == length;
            Out.Put(final ? 1u : 0u, 3);
            Out.AlignToByte();
            Out.Put(static_cast<std::uint32_t>(chunk), 16);
            Out.Put(static_cast<std::uint32_t>(~chunk & 0xFFFF), 16);
            Out.MoveWholeBytes();
            Out.Append(In + start, static_cast<std::size_t>(chunk));
            start += chunk;
            length -= chunk;
        } while (length > 0);
    }

    void FlushBlock(bool last) {
        const std::int64_t covered = Pos - BlockStart;
        if (Summary.BlockCount == 0) {
            std::uint64_t text = 0;
            std::uint64_t binary = 0;
            for (int i = 0; i < 256; ++i) {
                (i >= 7 && i <= 127 ? text : binary) += LiteralFreq[static_cast<std::size_t>(i)];
            }
            Summary.IsText = text / 4 >= binary;
        }
        if (Level == 0) {
            if (last && Summary.BlockCount == 0 && AllowStoreInstead) {
                Summary.StoreInstead = true; // a stored block is always larger than its data
                Summary.BlockCount = 1;
                return;
            }
            WriteStored(BlockStart, covered, last);
            FinishBlock(last);
            return;
        }
        LiteralFreq[EndOfBlockSymbol] = 1;

        std::array<std::uint8_t, DistanceCodes> fixedDistanceLengths{};
        fixedDistanceLengths.fill(FixedDistanceLength);
        const std::uint64_t fixedBits =
            3 + BodyBits(FixedLiteralLengths.data(), fixedDistanceLengths.data());

        std::array<std::uint8_t, LiteralLengthCodes> literalLengths{};
        std::array<std::uint8_t, DistanceCodes> distanceLengths{};
        BuildLengths(LiteralFreq.data(), LiteralLengthCodes, MaxCodeLength, literalLengths.data());
        BuildLengths(DistanceFreq.data(), DistanceCodes, MaxCodeLength, distanceLengths.data());
        int literalCount = LiteralLengthCodes;
        while (literalCount > 257 &&
               literalLengths[static_cast<std::size_t>(literalCount - 1)] == 0) {
            --literalCount;
        }
        int distanceCount = DistanceCodes;
        while (distanceCount > 1 &&
               distanceLengths[static_cast<std::size_t>(distanceCount - 1)] == 0) {
            --distanceCount;
        }
        // Runs may legally cross from the literal into the distance lengths, but some decoders
        // reject that, so each table is encoded on its own.
        std::vector<TCodeLengthRun> runs;
        runs.reserve(LiteralLengthCodes + DistanceCodes);
        CodeLengthRuns(literalLengths.data(), literalCount, runs);
        CodeLengthRuns(distanceLengths.data(), distanceCount, runs);
        std::array<std::uint32_t, CodeLengthCodes> runFreq{};
        for (const TCodeLengthRun& run : runs) {
            ++runFreq[run.Symbol];
        }
        std::array<std::uint8_t, CodeLengthCodes> runLengths{};
        BuildLengths(runFreq.data(), CodeLengthCodes, MaxCodeLengthCodeLength, runLengths.data());
        int runCodeCount = CodeLengthCodes;
        while (runCodeCount > 4 &&
               runLengths[static_cast<std::size_t>(
                   CodeLengthOrder[static_cast<std::size_t>(runCodeCount - 1)])] == 0) {
            --runCodeCount;
        }
        std::uint64_t dynamicBits = 3 + 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(runCodeCount);
        for (int i = 0; i < CodeLengthCodes; ++i) {
            dynamicBits += runFreq[static_cast<std::size_t>(i)] *
                           static_cast<std::uint64_t>(runLengths[static_cast<std::size_t>(i)] +
                                                      CodeLengthExtra[static_cast<std::size_t>(i)]);
        }
        dynamicBits += BodyBits(literalLengths.data(), distanceLengths.data());

        const std::uint64_t storedBits = StoredBlockBits(covered, Out.BitPosition());
        const std::uint64_t codedBits = std::min(fixedBits, dynamicBits);

        if (last && Summary.BlockCount == 0 && AllowStoreInstead &&
            (codedBits + 7) / 8 >= static_cast<std::uint64_t>(Size)) {
            Summary.StoreInstead = true;
            Summary.BlockCount = 1;
            return;
        }

        if (storedBits <= codedBits) {
            WriteStored(BlockStart, covered, last);
        } else if (fixedBits <= dynamicBits) {
            std::array<THuffmanCode, FixedLiteralLengthCodes> literalCodes{};
            AssignCodes(FixedLiteralLengths.data(), FixedLiteralLengthCodes, literalCodes.data());
            std::array<THuffmanCode, DistanceCodes> distanceCodes{};
            AssignCodes(fixedDistanceLengths.data(), DistanceCodes, distanceCodes.data());
            Out.Put(last ? 3u : 2u, 3); // BFINAL, BTYPE 01
            WriteBody(literalCodes.data(), distanceCodes.data());
        } else {
            std::array<THuffmanCode, LiteralLengthCodes> literalCodes{};
            AssignCodes(literalLengths.data(), LiteralLengthCodes, literalCodes.data());
            std::array<THuffmanCode, DistanceCodes> distanceCodes{};
            AssignCodes(distanceLengths.data(), DistanceCodes, distanceCodes.data());
            std::array<THuffmanCode, CodeLengthCodes> runCodes{};
            AssignCodes(runLengths.data(), CodeLengthCodes, runCodes.data());
            Out.Put(last ? 5u : 4u, 3); // BFINAL, BTYPE 10
            Out.Put(static_cast<std::uint32_t>(literalCount - 257), 5);
            Out.Put(static_cast<std::uint32_t>(distanceCount - 1), 5);
            Out.Put(static_cast<std::uint32_t>(runCodeCount - 4), 4);
            for (int i = 0; i < runCodeCount; ++i) {
                Out.Put(runLengths[static_cast<std::size_t>(
                            CodeLengthOrder[static_cast<std::size_t>(i)])],
                        3);
            }
            for (const TCodeLengthRun& run : runs) {
                Out.Put(runCodes[run.Symbol]);
                if (CodeLengthExtra[run.Symbol] != 0) {
                    Out.Put(run.Extra, CodeLengthExtra[run.Symbol]);
                }
            }
            WriteBody(literalCodes.data(), distanceCodes.data());
        }
        FinishBlock(last);
    }

    // Hands the finished bytes to the sink and starts the next block at the current position.
    void FinishBlock(bool last) {
        ++Summary.BlockCount;
        if (last) {
            Out.AlignToByte();
        }
        Out.MoveWholeBytes();
        if (!Out.Bytes.empty()) {
            Summary.CompressedSize += Out.Bytes.size();
            (*Sink)(std::span<const std::uint8_t>(Out.Bytes.data(), Out.Bytes.size()));
            Out.Bytes.clear();
        }
        BlockStart = Pos;
        ResetBlock();
    }
};

TDeflater::TDeflater() : State(std::make_unique<TState>()) {}

TDeflater::~TDeflater() = default;

TDeflateSummary TDeflater::Deflate(std::span<const std::uint8_t> input, int level,
                                   const TDeflateSink& sink, bool allowStoreInstead) {
    // Chain positions are 32-bit; ZIP entries cannot be larger anyway.
    if (input.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw EZipError("Input too large to compress");
    }
    TState& s = *State;
    s.Begin(input, level, sink, allowStoreInstead);
    if (s.Level == 0) {
        s.CompressStoredOnly();
    } else if (s.Params.Lazy) {
        s.CompressLazy();
    } else {
        s.CompressFast();
    }
    s.FlushBlock(true);
    s.Sink = nullptr;
    s.In = nullptr;
    return s.Summary;
}

std::vector<std::uint8_t> DeflateBytes(std::span<const std::uint8_t> input, int level) {
    std::vector<std::uint8_t> output;
    TDeflater deflater;
    deflater.Deflate(input, level, [&output](std::span<const std::uint8_t> bytes) {
        output.insert(output.end(), bytes.begin(), bytes.end());
    });
    return output;
}

} // namespace glyptor::archive

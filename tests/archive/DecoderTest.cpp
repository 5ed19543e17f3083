// The decoders on their own: Deflate against zlib's encoder, and malformed streams of every
// method built bit by bit.
#include "ArchiveTestSupport.h"

#include "archive/Explode.h"
#include "archive/Inflate.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

namespace glyptor::archive::test {
namespace {

// Writes bits least significant first, as every ZIP method reads them.
class BitWriter {
public:
    void Bits(uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            if (Used == 0)
                Out.push_back(0);
            Out.back() |= static_cast<uint8_t>(((value >> i) & 1u) << Used);
            Used = (Used + 1) & 7;
        }
    }
    // A Huffman or Shannon-Fano code: most significant bit first.
    void Code(uint32_t code, unsigned length) {
        for (unsigned i = length; i-- > 0;)
            Bits((code >> i) & 1u, 1);
    }
    void AlignedBytes(const Bytes& bytes) {
        Used = 0;
        Out.insert(Out.end(), bytes.begin(), bytes.end());
    }
    Bytes Out;

private:
    unsigned Used = 0;
};

TDecodeResult Inflate(const Bytes& in, Bytes& out) {
    out.clear();
    return InflateBuffer(in.data(), in.size(), out);
}

Bytes SampleText(size_t size) {
    static const char* const words[] = {"[Main]", "Name=", "Title1.bmp", "Color=", "12632256",
                                        "\r\n",   "Font",  "Tahoma",     " ",      "Height=21"};
    std::mt19937 rng(7);
    std::string text;
    while (text.size() < size)
        text += words[rng() % 10];
    text.resize(size);
    return ToBytes(text);
}

Bytes RandomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes b(size);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    return b;
}

TEST(InflateTest, DecodesWhatZlibEncodesAtEveryLevel) {
    std::vector<Bytes> inputs = {
        {}, ToBytes("a"), SampleText(300000), RandomBytes(70000, 1), Bytes(200000, 'z')};
    // Runs with short distances and long matches across the window slide.
    Bytes pattern;
    for (int i = 0; i < 150000; ++i)
        pattern.push_back(static_cast<uint8_t>("abcabd"[i % 6] + (i / 40000)));
    inputs.push_back(pattern);
    for (const Bytes& input : inputs) {
        for (int level : {0, 1, 6, 9}) {
            Bytes out;
            ASSERT_EQ(Inflate(ZlibDeflate(input, level), out), TDecodeResult::Done)
                << input.size() << " bytes, level " << level;
            EXPECT_TRUE(out == input) << input.size() << " bytes, level " << level;
        }
    }
}

TEST(InflateTest, FixedBlockWithAMatchBuiltByHand) {
    BitWriter w;
    w.Bits(1, 1);          // last block
    w.Bits(1, 2);          // fixed codes
    w.Code(0x30 + 'a', 8); // literal 'a'
    w.Code(0x30 + 'b', 8); // literal 'b'
    w.Code(0b0000100, 7);  // length code 260: length 6
    w.Code(1, 5);          // distance code 1: distance 2
    w.Code(0, 7);          // end of block
    Bytes out;
    EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Done);
    EXPECT_EQ(ToString(out), "abababab");
}

TEST(InflateTest, MalformedStreamsAreRejected) {
    Bytes out;
    {
        BitWriter w; // block type 3 does not exist
        w.Bits(1, 1);
        w.Bits(3, 2);
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
    {
        BitWriter w; // stored block whose length check disagrees
        w.Bits(1, 1);
        w.Bits(0, 2);
        w.AlignedBytes({4, 0, 0xFB, 0xFE, 'a', 'b', 'c', 'd'});
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
    {
        BitWriter w; // a distance reaching before the first byte
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Code(0x30 + 'a', 8);
        w.Code(0b0000001, 7); // length 3
        w.Code(3, 5);         // distance 4
        w.Code(0, 7);
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
    {
        BitWriter w; // literal/length code 286 of the fixed table
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Code(0b11000110, 8);
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
    {
        BitWriter w; // distance code 30 of the fixed table
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Code(0x30 + 'a', 8);
        w.Code(0b0000001, 7);
        w.Code(30, 5);
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
    {
        BitWriter w; // dynamic block whose code-length code is over-subscribed
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);  // 257 literal/length codes
        w.Bits(0, 5);  // 1 distance code
        w.Bits(15, 4); // 19 code-length codes
        for (int i = 0; i < 19; ++i)
            w.Bits(1, 3); // nineteen codes of length 1
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
    {
        BitWriter w; // dynamic block that starts with "repeat previous length"
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(0, 4); // 4 code-length codes: 16, 17, 18, 0
        w.Bits(1, 3); // 16: length 1
        w.Bits(0, 3);
        w.Bits(0, 3);
        w.Bits(1, 3); // 0: length 1
        w.Code(1, 1); // symbol 16 (codes: 0 -> "0", 16 -> "1")
        w.Bits(0, 2);
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
    {
        BitWriter w; // dynamic block whose end-of-block code has no length
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(0, 4);
        w.Bits(0, 3); // 16 unused
        w.Bits(1, 3); // 17: length 1
        w.Bits(1, 3); // 18: length 1
        w.Bits(0, 3); // 0 unused
        // Codes: 17 -> "0", 18 -> "1". 258 zero lengths: 138 + 120.
        w.Code(1, 1);
        w.Bits(127, 7);
        w.Code(1, 1);
        w.Bits(109, 7);
        EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::Corrupt);
    }
}

TEST(InflateTest, TruncatedInputEndsWithoutReadingFurther) {
    Bytes full = ZlibDeflate(SampleText(50000));
    for (size_t cut : {size_t{0}, size_t{1}, size_t{10}, full.size() / 2, full.size() - 1}) {
        Bytes part(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        Bytes out;
        EXPECT_EQ(Inflate(part, out), TDecodeResult::InputEnded) << "cut at " << cut;
    }
    BitWriter stored; // a stored block promising more bytes than follow
    stored.Bits(1, 1);
    stored.Bits(0, 2);
    stored.AlignedBytes({10, 0, 0xF5, 0xFF, 'a', 'b'});
    Bytes out;
    EXPECT_EQ(Inflate(stored.Out, out), TDecodeResult::InputEnded);
}

TEST(InflateTest, ZeroBitsPastTheEndDoNotDecodeAsEndlessLiterals) {
    // Found by fuzzing: a code table in which "0" is a literal turned the zero bits supplied
    // past the end of the input into literals without end.
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(2, 2);
    w.Bits(0, 5);  // 257 literal/length codes
    w.Bits(0, 5);  // 1 distance code
    w.Bits(14, 4); // 18 code-length codes, up to symbol 1
    for (int i = 0; i < 18; ++i)
        w.Bits(i == 2 || i == 17 ? 1 : 0, 3); // symbols 18 and 1 get one bit each
    w.Code(0, 1);                             // literal 0: length 1
    w.Code(1, 1);
    w.Bits(127, 7); // 138 zero lengths
    w.Code(1, 1);
    w.Bits(106, 7); // 117 more
    w.Code(0, 1);   // end of block: length 1
    w.Code(0, 1);   // the one distance code: length 1
    w.Code(0, 1);   // one literal 0, then the input ends
    Bytes out;
    EXPECT_EQ(Inflate(w.Out, out), TDecodeResult::InputEnded);
    EXPECT_LE(out.size(), size_t{98304});
}

TEST(InflateTest, ASinkThatRefusesStopsTheDecoder) {
    class Refusing : public TByteSink {
    public:
        bool Put(const uint8_t*, size_t count) override {
            Taken += count;
            return false;
        }
        size_t Taken = 0;
    } sink;
    Bytes data = ZlibDeflate(Bytes(500000, 'q'));
    TMemorySource source(data.data(), data.size());
    TBitReader bits(source);
    TInflater inflater;
    EXPECT_EQ(inflater.Run(bits, sink), TDecodeResult::OutputFull);
    EXPECT_LT(sink.Taken, size_t{500000});
}

TEST(InflateTest, RandomGarbageNeverEscapesTheWindow) {
    // Under the sanitizers this is the check that counts: whatever the bits, no stray access.
    for (unsigned seed = 0; seed < 300; ++seed) {
        Bytes noise = RandomBytes(64 + seed * 7, seed);
        Bytes out;
        TDecodeResult r = Inflate(noise, out);
        EXPECT_NE(r, TDecodeResult::OutputFull);
    }
}

TEST(UnshrinkTest, CodesStringsAndTheNotYetDefinedCode) {
    BitWriter w;
    w.Bits('a', 9);
    w.Bits('b', 9);
    w.Bits(257, 9); // "ab", made after the second code
    w.Bits(259, 9); // not yet defined: previous string "ab" + its first byte
    Bytes out;
    TMemorySource source(w.Out.data(), w.Out.size());
    TBitReader bits(source);
    TVectorSink sink(out);
    EXPECT_EQ(Unshrink(bits, sink), TDecodeResult::Done);
    EXPECT_EQ(ToString(out), "abababa");
}

TDecodeResult RunUnshrink(const Bytes& data, Bytes& out) {
    TMemorySource source(data.data(), data.size());
    TBitReader bits(source);
    TVectorSink sink(out);
    return Unshrink(bits, sink);
}

TEST(UnshrinkTest, WideningAndClearing) {
    BitWriter w;
    w.Bits('x', 9);
    w.Bits('y', 9); // makes 257 = "xy"
    w.Bits(256, 9);
    w.Bits(1, 9);    // codes are 10 bits wide from here
    w.Bits(257, 10); // "xy"; makes 258 = "yx"
    w.Bits(256, 10);
    w.Bits(2, 10);   // partial clear: no string extends 257 or 258, both become free
    w.Bits('z', 10); // makes 257 again, with the freed 257 as its parent
    Bytes out;
    EXPECT_EQ(RunUnshrink(w.Out, out), TDecodeResult::Done);
    EXPECT_EQ(ToString(out), "xyxyz");

    // Spelling that string would loop forever; the decoder refuses it.
    w.Bits(257, 10);
    EXPECT_EQ(RunUnshrink(w.Out, out), TDecodeResult::Corrupt);

    BitWriter wide; // widening past 13 bits is corrupt
    wide.Bits('a', 9);
    unsigned width = 9;
    for (int i = 0; i < 5; ++i) {
        wide.Bits(256, width);
        wide.Bits(1, width);
        ++width;
    }
    wide.Bits('a', 14);
    EXPECT_EQ(RunUnshrink(wide.Out, out), TDecodeResult::Corrupt);

    BitWriter badControl;
    badControl.Bits('a', 9);
    badControl.Bits(256, 9);
    badControl.Bits(7, 9);
    EXPECT_EQ(RunUnshrink(badControl.Out, out), TDecodeResult::Corrupt);

    BitWriter badFirst; // the first code must be a byte
    badFirst.Bits(300, 9);
    EXPECT_EQ(RunUnshrink(badFirst.Out, out), TDecodeResult::Corrupt);
}

TDecodeResult RunUnreduce(const Bytes& data, int factor, uint64_t size, Bytes& out) {
    out.clear();
    TMemorySource source(data.data(), data.size());
    TBitReader bits(source);
    TVectorSink sink(out);
    return Unreduce(bits, sink, factor, size);
}

TEST(UnreduceTest, LiteralsEscapesAndMatches) {
    for (int factor = 1; factor <= 4; ++factor) {
        BitWriter w;
        for (int j = 255; j >= 0; --j) { // every follower set empty but that of 'a'
            w.Bits(j == 'a' ? 1 : 0, 6);
            if (j == 'a')
                w.Bits('b', 8);
        }
        w.Bits('a', 8); // literal (no followers after byte 0)
        w.Bits(0, 1);   // not a literal: ...
        w.Bits(0, 1);   // ... follower index 0 of 'a', which is 'b'
        w.Bits('c', 8);
        w.Bits(0x90, 8); // escape ...
        w.Bits(0, 8);    // ... 0: a literal 0x90
        w.Bits(0x90, 8); // escape, then a match: length 2 + 3, distance 4
        w.Bits(2, 8);
        w.Bits(3, 8);
        Bytes out;
        EXPECT_EQ(RunUnreduce(w.Out, factor, 9, out), TDecodeResult::Done) << factor;
        EXPECT_EQ(ToString(out), "abc\x90"
                                 "abc\x90"
                                 "a")
            << factor;
    }
}

TEST(UnreduceTest, MatchBeforeTheStartGivesZerosAndTheSizeBoundsTheOutput) {
    BitWriter w;
    for (int j = 0; j < 256; ++j)
        w.Bits(0, 6);
    w.Bits(0x90, 8);
    w.Bits(0x0F, 8); // factor 4: the length field is full, so a third byte adds to it
    w.Bits(200, 8);
    w.Bits(99, 8);
    Bytes out;
    EXPECT_EQ(RunUnreduce(w.Out, 4, 100, out), TDecodeResult::Done);
    EXPECT_EQ(out, Bytes(100, 0));
    // Input that ends early stops the decoder instead of inventing bytes.
    EXPECT_EQ(RunUnreduce(w.Out, 4, 100000, out), TDecodeResult::InputEnded);
    EXPECT_LT(out.size(), size_t{100000});
    EXPECT_EQ(RunUnreduce(w.Out, 5, 10, out), TDecodeResult::Corrupt);
}

// A tree of count codes, all of length 6, in its stored form.
void UniformTree(BitWriter& w, unsigned count) {
    unsigned bytes = count / 16;
    w.Bits(bytes - 1, 8);
    for (unsigned i = 0; i < bytes; ++i)
        w.Bits(0xF5, 8); // 16 codes of length 6
}

TDecodeResult RunExplode(const Bytes& data, bool big, bool literalTree, uint64_t size, Bytes& out) {
    out.clear();
    TMemorySource source(data.data(), data.size());
    TBitReader bits(source);
    TVectorSink sink(out);
    return Explode(bits, sink, big, literalTree, size);
}

TEST(ExplodeTest, TwoTreesWithRawLiterals) {
    BitWriter w;
    UniformTree(w, 64); // lengths
    UniformTree(w, 64); // distances
    // Equal lengths: symbol s gets code 63 - s (codes count up from the last symbol).
    w.Bits(1, 1);
    w.Bits('a', 8);
    w.Bits(1, 1);
    w.Bits('b', 8);
    w.Bits(0, 1);      // match
    w.Bits(1, 6);      // low distance bits: distance 2
    w.Code(63, 6);     // distance symbol 0
    w.Code(63 - 2, 6); // length symbol 2: 2 + 2 = 4
    Bytes out;
    EXPECT_EQ(RunExplode(w.Out, false, false, 6, out), TDecodeResult::Done);
    EXPECT_EQ(ToString(out), "ababab");
}

TEST(ExplodeTest, TreesThatDoNotDescribeTheirCodesAreCorrupt) {
    Bytes out;
    BitWriter tooFew;
    UniformTree(tooFew, 48); // 48 lengths where 64 are needed
    UniformTree(tooFew, 64);
    EXPECT_EQ(RunExplode(tooFew.Out, false, false, 10, out), TDecodeResult::Corrupt);

    BitWriter tooMany;
    UniformTree(tooMany, 64);
    tooMany.Bits(4, 8); // five bytes of 16 lengths: 80 for a 64-code tree
    for (int i = 0; i < 5; ++i)
        tooMany.Bits(0xF5, 8);
    EXPECT_EQ(RunExplode(tooMany.Out, false, false, 10, out), TDecodeResult::Corrupt);

    BitWriter overfull; // 64 codes of length 1 cannot exist
    overfull.Bits(3, 8);
    for (int i = 0; i < 4; ++i)
        overfull.Bits(0xF0, 8);
    UniformTree(overfull, 64);
    EXPECT_EQ(RunExplode(overfull.Out, false, false, 10, out), TDecodeResult::Corrupt);
}

TEST(ExplodeTest, InputEndingEarlyStopsTheDecoder) {
    BitWriter w;
    UniformTree(w, 64);
    UniformTree(w, 64);
    w.Bits(1, 1);
    w.Bits('a', 8);
    Bytes out;
    EXPECT_EQ(RunExplode(w.Out, true, false, 1000000, out), TDecodeResult::InputEnded);
    EXPECT_LT(out.size(), size_t{100});
}

// A hostile stream of nothing but partial clears must cost about what a stream of plain codes of
// the same length costs; a clear that walked the whole table made it a thousand times dearer. The
// two are timed against each other, so the check holds in any build and on a loaded machine.
TEST(UnshrinkTest, PartialClearsCostWhatTheyFree) {
    constexpr int kPairs = 1024 * 1024 * 8 / 18;
    BitWriter clears;
    clears.Bits('a', 9);
    BitWriter plain;
    plain.Bits('a', 9);
    for (int i = 0; i < kPairs; ++i) {
        clears.Bits(256, 9);
        clears.Bits(2, 9);
        plain.Bits('a' + i % 26, 9);
        plain.Bits('a' + (i + 7) % 26, 9);
    }
    clears.Bits('b', 9);
    clears.Bits(257, 9); // "ab": a string still made after all the clears
    const auto timed = [](const Bytes& stream, Bytes& out) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunUnshrink(stream, out), TDecodeResult::Done);
        return std::chrono::steady_clock::now() - start;
    };
    Bytes plainOut;
    const auto plainTime = timed(plain.Out, plainOut);
    Bytes out;
    const auto clearTime = timed(clears.Out, out);
    EXPECT_EQ(ToString(out), "abab");
    EXPECT_LT(clearTime, 20 * plainTime + std::chrono::milliseconds(50));
}

} // namespace
} // namespace glyptor::archive::test

// The Deflate compressor, checked by round trip through zlib's inflate and our own inflater on
// data of the kinds themes hold, on the shapes that stress block and match limits, and on the
// decisions the archive writer relies on (store instead, text classification).
#include "archive/Deflater.h"
#include "archive/Inflate.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/archive/writer/WriterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace glyptor::archive::test {
namespace {

struct NamedData {
    std::string Name;
    Bytes Data;
};

std::vector<NamedData> DataKinds() {
    Bytes repeatedFar = RandomBytes(32506, 7); // repeats exactly at the largest distance
    repeatedFar.insert(repeatedFar.end(), repeatedFar.begin(), repeatedFar.end());
    Bytes repeatedTooFar = RandomBytes(32507, 8);
    repeatedTooFar.insert(repeatedTooFar.end(), repeatedTooFar.begin(), repeatedTooFar.end());
    return {
        {"empty", {}},
        {"one byte", {0x41}},
        {"three bytes", {1, 2, 3}},
        {"run of 259", Bytes(259, 'x')},
        {"zeros 1 MB", Bytes(1 << 20, 0)},
        {"text", SampleText(200000, 1)},
        {"bitmap", SampleBitmap(300, 200, 2)},
        {"executable", SampleExecutable(150000, 3)},
        {"random", RandomBytes(70000, 4)},
        {"repeat at max distance", repeatedFar},
        {"repeat beyond max distance", repeatedTooFar},
    };
}

Bytes Compress(TDeflater& deflater, const Bytes& input, int level, TDeflateSummary* summary,
               bool allowStoreInstead = false) {
    Bytes out;
    const TDeflateSummary s = deflater.Deflate(
        input, level,
        [&](std::span<const uint8_t> b) { out.insert(out.end(), b.begin(), b.end()); },
        allowStoreInstead);
    if (summary != nullptr)
        *summary = s;
    return out;
}

TEST(Deflater, EveryLevelRoundTripsThroughZlibAndOurInflater) {
    TDeflater deflater; // one compressor for everything: state must not leak between calls
    for (const NamedData& kind : DataKinds()) {
        for (int level = 0; level <= 9; ++level) {
            SCOPED_TRACE(kind.Name + " at level " + std::to_string(level));
            TDeflateSummary summary;
            const Bytes compressed = Compress(deflater, kind.Data, level, &summary);
            EXPECT_EQ(summary.CompressedSize, compressed.size());
            const auto restored = ZlibInflate(compressed, kind.Data.size());
            ASSERT_TRUE(restored.has_value());
            EXPECT_TRUE(*restored == kind.Data);
            Bytes ours;
            EXPECT_EQ(InflateBuffer(compressed.data(), compressed.size(), ours),
                      TDecodeResult::Done);
            EXPECT_TRUE(ours == kind.Data);
        }
    }
}

TEST(Deflater, ReusedCompressorGivesTheSameBytesAsAFreshOne) {
    TDeflater reused;
    Compress(reused, SampleText(100000, 11), 9, nullptr);
    const Bytes input = SampleText(50000, 12);
    TDeflater fresh;
    EXPECT_TRUE(Compress(reused, input, 6, nullptr) == Compress(fresh, input, 6, nullptr));
}

TEST(Deflater, SizeStaysCloseToZlibAtTheSameLevel) {
    const std::vector<NamedData> kinds = {{"text", SampleText(300000, 21)},
                                          {"bitmap", SampleBitmap(400, 300, 22)},
                                          {"executable", SampleExecutable(300000, 23)}};
    TDeflater deflater;
    for (const NamedData& kind : kinds) {
        for (int level : {1, 6, 9}) {
            SCOPED_TRACE(kind.Name + " at level " + std::to_string(level));
            const double ours =
                static_cast<double>(Compress(deflater, kind.Data, level, nullptr).size());
            const double zlib = static_cast<double>(ZlibDeflate(kind.Data, level).size());
            EXPECT_LT(ours, zlib * 1.03);
        }
    }
    // Higher levels search harder and must not do worse on ordinary text.
    const Bytes text = SampleText(300000, 24);
    EXPECT_LE(Compress(deflater, text, 9, nullptr).size(),
              Compress(deflater, text, 1, nullptr).size());
}

TEST(Deflater, LargeInputIsSplitIntoBlocks) {
    TDeflater deflater;
    TDeflateSummary summary;
    const Bytes text = SampleText(2 << 20, 31);
    const Bytes compressed = Compress(deflater, text, 6, &summary, true);
    EXPECT_GT(summary.BlockCount, 1);
    EXPECT_FALSE(summary.StoreInstead);
    EXPECT_TRUE(ZlibInflate(compressed, text.size()) == text);
}

TEST(Deflater, IncompressibleBlocksAreStoredInChunksOfAtMost65535Bytes) {
    TDeflater deflater;
    TDeflateSummary summary;
    const Bytes noise = RandomBytes(200000, 32);
    const Bytes compressed = Compress(deflater, noise, 6, &summary);
    // Several blocks of stored chunks: overhead of a few bytes per chunk, never a Huffman code.
    EXPECT_LT(compressed.size(), noise.size() + 100);
    EXPECT_TRUE(ZlibInflate(compressed, noise.size()) == noise);

    const Bytes stored = Compress(deflater, noise, 0, &summary);
    EXPECT_EQ(stored.size(), noise.size() + 5 * 4); // four chunks, 5 header bytes each
    EXPECT_TRUE(ZlibInflate(stored, noise.size()) == noise);
}

TEST(Deflater, SingleBlockThatDoesNotShrinkIsReportedForStoring) {
    TDeflater deflater;
    TDeflateSummary summary;
    EXPECT_TRUE(Compress(deflater, RandomBytes(4096, 41), 6, &summary, true).empty());
    EXPECT_TRUE(summary.StoreInstead);
    EXPECT_TRUE(Compress(deflater, {}, 6, &summary, true).empty());
    EXPECT_TRUE(summary.StoreInstead);
    EXPECT_TRUE(Compress(deflater, {'a', 'b'}, 9, &summary, true).empty());
    EXPECT_TRUE(summary.StoreInstead);
    // Level 0 never shrinks anything.
    EXPECT_TRUE(Compress(deflater, SampleText(5000, 42), 0, &summary, true).empty());
    EXPECT_TRUE(summary.StoreInstead);

    EXPECT_FALSE(Compress(deflater, SampleText(4096, 43), 6, &summary, true).empty());
    EXPECT_FALSE(summary.StoreInstead);
    // The rule concerns a first and only block: several blocks of noise stay deflated.
    const Bytes noise = RandomBytes(100000, 44);
    const Bytes compressed = Compress(deflater, noise, 6, &summary, true);
    EXPECT_FALSE(summary.StoreInstead);
    EXPECT_GT(summary.BlockCount, 1);
    EXPECT_TRUE(ZlibInflate(compressed, noise.size()) == noise);
}

TEST(Deflater, FirstBlockDecidesWhetherDataIsText) {
    TDeflater deflater;
    TDeflateSummary summary;
    Compress(deflater, SampleText(10000, 51), 6, &summary);
    EXPECT_TRUE(summary.IsText);
    Compress(deflater, RandomBytes(10000, 52), 6, &summary);
    EXPECT_FALSE(summary.IsText);
    Compress(deflater, SampleText(10000, 53), 0, &summary);
    EXPECT_TRUE(summary.IsText);
    // One binary byte in four text bytes is the limit; one more tips it over. Level 0 counts
    // every byte as a literal, so no match can hide bytes from the count.
    Bytes mixed;
    for (int i = 0; i < 400; ++i)
        mixed.insert(mixed.end(),
                     {static_cast<uint8_t>('a' + i % 26), static_cast<uint8_t>('A' + i % 23),
                      static_cast<uint8_t>('0' + i % 10), static_cast<uint8_t>('k' + i % 7),
                      static_cast<uint8_t>(0xC0 + i % 50)});
    std::shuffle(mixed.begin(), mixed.end(), std::mt19937(54));
    Compress(deflater, mixed, 0, &summary);
    EXPECT_TRUE(summary.IsText);
    mixed.push_back(0x01);
    Compress(deflater, mixed, 0, &summary);
    EXPECT_FALSE(summary.IsText);
}

TEST(Deflater, SkewedFrequenciesGetCodesNoLongerThan15Bits) {
    // Fibonacci frequencies make the optimal Huffman tree deeper than 15 levels.
    Bytes data;
    uint32_t a = 1;
    uint32_t b = 1;
    for (int symbol = 0; symbol < 26; ++symbol) {
        data.insert(data.end(), a, static_cast<uint8_t>(symbol * 9));
        const uint32_t next = a + b;
        a = b;
        b = next;
    }
    std::shuffle(data.begin(), data.end(), std::mt19937(61));
    data.resize(30000); // one block, so one tree carries all the skew
    TDeflater deflater;
    for (int level : {1, 6}) {
        const Bytes compressed = Compress(deflater, data, level, nullptr);
        EXPECT_TRUE(ZlibInflate(compressed, data.size()) == data) << "level " << level;
    }
}

TEST(Deflater, SinkFailureAbandonsTheRunAndTheCompressorStaysUsable) {
    TDeflater deflater;
    const Bytes text = SampleText(500000, 71);
    int calls = 0;
    EXPECT_THROW(deflater.Deflate(text, 6,
                                  [&](std::span<const uint8_t>) {
                                      if (++calls == 2)
                                          throw std::runtime_error("cancelled");
                                  }),
                 std::runtime_error);
    EXPECT_EQ(calls, 2);
    const Bytes compressed = Compress(deflater, text, 6, nullptr);
    EXPECT_TRUE(ZlibInflate(compressed, text.size()) == text);
}

TEST(Deflater, LevelFlagsMarkFastAndMaximumLevels) {
    EXPECT_EQ(DeflateLevelFlags(1), 0x0004);
    EXPECT_EQ(DeflateLevelFlags(2), 0x0004);
    EXPECT_EQ(DeflateLevelFlags(3), 0);
    EXPECT_EQ(DeflateLevelFlags(6), 0);
    EXPECT_EQ(DeflateLevelFlags(8), 0x0002);
    EXPECT_EQ(DeflateLevelFlags(9), 0x0002);
}

} // namespace
} // namespace glyptor::archive::test

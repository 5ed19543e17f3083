// ExtractToStream over archives built in memory: selection by name and pattern, the hooks,
// encryption, unknown methods, damaged sizes and the chunked output.
#include "ArchiveTestSupport.h"

#include "archive/ZipCrypto.h"
#include "archive/ZipErrors.h"

#include <gtest/gtest.h>

#include <random>

namespace glyptor::archive::test {
namespace {

class ExtractTest : public ::testing::Test {
protected:
    // Readers of these tests report their messages into Messages.
    std::unique_ptr<TZipReader> OpenArchive(const Bytes& archive) {
        auto reader = test::OpenArchive(archive);
        reader->UserInterface.MessageBox = [this](const std::string& text,
                                                  const std::string& caption) {
            Messages.push_back(caption + "|" + text);
        };
        return reader;
    }
    std::vector<std::string> Messages;
};

Bytes Noise(size_t size) {
    std::mt19937 rng(3);
    Bytes b(size);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng() % 7 + 'a');
    return b;
}

TEST_F(ExtractTest, EmptyStoredEntryCountsAndWritesNothing) {
    ZipBuilder zip;
    zip.AddStored("empty.txt", {});
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "empty.txt", data), 1);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(reader->FilesList, (std::vector<std::string>{"empty.txt"}));
}

TEST_F(ExtractTest, AsciiLettersMatchInAnyCaseButCyrillicOnlyExactly) {
    ZipBuilder zip;
    zip.AddStored("TITLE1.BMP", ToBytes("title"));
    zip.AddStored("\x92\xA5\xAC\xA0.txt", ToBytes("theme")); // "Тема" in CP866
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "title1.bmp", data), 1);
    EXPECT_EQ(ToString(data), "title");
    EXPECT_EQ(Extract(*reader, "\xD2\xE5\xEC\xE0.txt", data), 1); // "Тема" in CP1251
    EXPECT_EQ(Extract(*reader, "\xF2\xE5\xEC\xE0.txt", data), 0); // "тема"
    EXPECT_EQ(Extract(*reader, "\xD2\xC5\xCC\xC0.TXT", data), 0); // "ТЕМА.TXT"
}

TEST_F(ExtractTest, PlainNameSelectsItInEveryFolder) {
    ZipBuilder zip;
    zip.AddStored("dark/gy3layout.txt", ToBytes("dark;"));
    zip.AddStored("gy3layout.txt.bak", ToBytes("no"));
    zip.AddDeflated("light/gy3layout.txt", ToBytes("light;"));
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "gy3layout.txt", data), 2);
    EXPECT_EQ(ToString(data), "dark;light;");
    EXPECT_EQ(Extract(*reader, "light\\gy3layout.txt", data), 1);
    EXPECT_EQ(ToString(data), "light;");
    EXPECT_EQ(Extract(*reader, "*\\gy3*", data), 2);
    EXPECT_EQ(Extract(*reader, "*gy3*", data), 3);
}

TEST_F(ExtractTest, UnclosedSetMatchesNotEvenItself) {
    ZipBuilder zip;
    zip.AddStored("title[1.bmp", ToBytes("x"));
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "title[1.bmp", data), 0);
    EXPECT_EQ(Extract(*reader, "title[[]1.bmp", data), 1);
}

TEST_F(ExtractTest, FolderEntriesAreNeverSelectedByName) {
    ZipBuilder zip;
    zip.AddStored("themes/", {});
    zip.AddStored("themes/a.txt", ToBytes("a"));
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "*", data), 1);
    reader->DoAll = true;
    EXPECT_EQ(Extract(*reader, "nothing", data), 2);
}

TEST_F(ExtractTest, LocalLengthsThatDifferFromTheCentralRecordAreFollowed) {
    ZipBuilder zip;
    auto& e = zip.AddDeflated("a.txt", Noise(5000));
    e.LocalExtra = Bytes(37, 0xEE);
    e.CentralExtra = Bytes(4, 0);
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "a.txt", data), 1);
    EXPECT_EQ(data, Noise(5000));
}

TEST_F(ExtractTest, UnknownMethodShowsTheMessageAndCountsOnlyEmptyData) {
    ZipBuilder zip;
    ZipBuilder::Entry e;
    e.Name = "nine.bin";
    e.Method = 9;
    e.Data = ToBytes("payload");
    e.Crc32 = Crc(e.Data);
    e.CompressedSize = e.UncompressedSize = 7;
    zip.Add(e);
    ZipBuilder::Entry empty;
    empty.Name = "empty.bin";
    empty.Method = 12;
    zip.Add(empty);
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "nine.bin", data), 0);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(Messages, (std::vector<std::string>{"Zip Error|Unknown Compression Method"}));
    EXPECT_EQ(Extract(*reader, "empty.bin", data), 1);
}

TEST_F(ExtractTest, CompressedSizeBeyondTheEndRaisesPrematureEnd) {
    for (uint16_t method : {0, 8}) {
        ZipBuilder zip;
        auto& e = method == 0 ? zip.AddStored("big.txt", Noise(3000))
                              : zip.AddDeflated("big.txt", Noise(3000));
        e.CentralCompressedSize = e.CompressedSize + 50000;
        zip.AddStored("after.txt", ToBytes("fine"));
        auto reader = OpenArchive(zip.Build());
        TMemoryStream target;
        try {
            reader->ExtractToStream(target, "big.txt");
            ADD_FAILURE() << "method " << method;
        } catch (const EFatalUnzipError& error) {
            EXPECT_STREQ(error.what(), "Premature end of file reached");
        }
        Bytes data;
        EXPECT_EQ(Extract(*reader, "after.txt", data), 1);
    }
}

TEST_F(ExtractTest, NegativeSizesEndAsPrematureEndWithoutHugeAllocations) {
    ZipBuilder zip;
    auto& e = zip.AddStored("neg.txt", ToBytes("abc"));
    e.CentralCompressedSize = 0x80000000u;
    e.UncompressedSize = 0xFFFFFFF0u;
    auto reader = OpenArchive(zip.Build());
    TMemoryStream target;
    EXPECT_THROW(reader->ExtractToStream(target, "neg.txt"), EFatalUnzipError);
    EXPECT_LE(target.Size(), 3);
}

TEST_F(ExtractTest, OutputIsBoundByTheRecordedSize) {
    ZipBuilder zip;
    Bytes bomb(3000000, 0);
    auto& e = zip.AddDeflated("bomb.bin", bomb);
    e.UncompressedSize = 1000; // the record lies about the size
    auto reader = OpenArchive(zip.Build());
    int badCrc = 0;
    reader->OnBadCRC = [&](TZipReader*, uint32_t, uint32_t, int) { ++badCrc; };
    Bytes data;
    EXPECT_EQ(Extract(*reader, "bomb.bin", data), 0);
    EXPECT_EQ(data.size(), 1000u);
    EXPECT_EQ(badCrc, 1);
}

TEST_F(ExtractTest, DeflateEntryEndingEarlyStopsPromptly) {
    // Found by fuzzing: a 261-byte Deflate entry claiming 16 MB kept decoding past its input.
    auto reader = OpenArchive(ReadFileBytes(TestDataDir() / "fuzz_deflate_past_input.zip"));
    reader->IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    reader->ReadDirectory();
    ASSERT_EQ(reader->EntryCount(), 3);
    TMemoryStream target;
    reader->DoAll = true;
    EXPECT_EQ(reader->ExtractToStream(target, ""), 2); // the two empty entries
    EXPECT_LE(target.Size(), 98304);
}

TEST_F(ExtractTest, CorruptDataFailsTheCrcAndLeavesItsBytes) {
    ZipBuilder zip;
    auto& e = zip.AddStored("a.txt", ToBytes("hello"));
    e.Crc32 ^= 1;
    auto reader = OpenArchive(zip.Build());
    uint32_t computed = 0, stored = 0;
    reader->OnBadCRC = [&](TZipReader*, uint32_t c, uint32_t s, int) {
        computed = c;
        stored = s;
    };
    Bytes data;
    EXPECT_EQ(Extract(*reader, "a.txt", data), 0);
    EXPECT_EQ(ToString(data), "hello");
    EXPECT_EQ(computed, Crc(ToBytes("hello")));
    EXPECT_EQ(stored, computed ^ 1);
}

TEST_F(ExtractTest, WritesAtTheTargetsPositionWithoutRewinding) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("data"));
    auto reader = OpenArchive(zip.Build());
    TMemoryStream target;
    target.WriteBuffer("head:", 5);
    EXPECT_EQ(reader->ExtractToStream(target, "a.txt"), 1);
    EXPECT_EQ(target.Position(), 9);
    EXPECT_EQ(ToString(target.Data()), "head:data");
}

TEST_F(ExtractTest, LargeEntriesPassThroughChunksAndReportProgress) {
    ZipBuilder zip;
    Bytes big = Noise(40000);
    zip.AddDeflated("big.txt", big);
    zip.AddStored("small.txt", Noise(8000));
    auto reader = OpenArchive(zip.Build());
    std::vector<int> filePercents, totalPercents;
    int infoCount = -1;
    int64_t infoBytes = -1;
    reader->OnStartUnZipInfo = [&](TZipReader*, int n, int64_t total, bool&) {
        infoCount = n;
        infoBytes = total;
    };
    reader->OnFilePercentDone = [&](TZipReader*, int p) { filePercents.push_back(p); };
    reader->OnTotalPercentDone = [&](TZipReader*, int p) { totalPercents.push_back(p); };
    std::vector<int> ended;
    reader->OnEndUnZip = [&](TZipReader*, int index, const std::string& dest) {
        EXPECT_EQ(dest, "");
        ended.push_back(index);
    };
    Bytes data;
    EXPECT_EQ(Extract(*reader, "*.txt", data), 2);
    EXPECT_EQ(infoCount, 2);
    EXPECT_EQ(infoBytes, 48000);
    Bytes expected = big;
    Bytes small = Noise(8000);
    expected.insert(expected.end(), small.begin(), small.end());
    EXPECT_EQ(data, expected);
    EXPECT_EQ(filePercents, (std::vector<int>{40, 80, 100, 100}));
    EXPECT_EQ(totalPercents, (std::vector<int>{33, 67, 83, 100}));
    EXPECT_EQ(ended, (std::vector<int>{0, 1}));
}

TEST_F(ExtractTest, HooksCanStopTheCallOrSkipAnEntry) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("a"));
    zip.AddStored("b.txt", ToBytes("b"));
    auto reader = OpenArchive(zip.Build());
    reader->OnStartUnZipInfo = [](TZipReader*, int, int64_t, bool& stop) { stop = true; };
    Bytes data;
    EXPECT_EQ(Extract(*reader, "*", data), 2);
    EXPECT_TRUE(data.empty());

    reader->OnStartUnZipInfo = nullptr;
    reader->OnStartUnZip = [](TZipReader*, int index, const std::string&, bool& skip) {
        skip = index == 0;
    };
    EXPECT_EQ(Extract(*reader, "*", data), 2);
    EXPECT_EQ(ToString(data), "b");
}

TEST_F(ExtractTest, CancelWhileReadingInput) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("a"));
    auto reader = OpenArchive(zip.Build());
    TZipReader* target = reader.get();
    reader->UserInterface.PumpMessages = [target] { target->CancelRequested = true; };
    TMemoryStream out;
    EXPECT_THROW(reader->ExtractToStream(out, "a.txt"), EUserCanceled);
    EXPECT_FALSE(reader->CancelRequested);
    reader->DoProcessMessages = false; // no pumping, so nothing asks to cancel
    EXPECT_EQ(reader->ExtractToStream(out, "a.txt"), 1);
}

ZipBuilder::Entry Encrypted(const std::string& name, const Bytes& plain,
                            const std::string& password, bool descriptorFlag) {
    ZipBuilder::Entry e;
    e.Name = name;
    e.Method = 0;
    e.Flags = descriptorFlag ? 9 : 1;
    e.DosDateTime = 0x5A3C1234;
    e.Crc32 = Crc(plain);
    e.UncompressedSize = static_cast<uint32_t>(plain.size());
    TZipCrypto crypto(password);
    Bytes data(12 + plain.size(), 0x42);
    data[11] = descriptorFlag ? static_cast<uint8_t>(e.DosDateTime >> 8)
                              : static_cast<uint8_t>(e.Crc32 >> 24);
    std::copy(plain.begin(), plain.end(), data.begin() + 12);
    crypto.Encrypt(data.data(), data.size());
    e.Data = data;
    e.CompressedSize = static_cast<uint32_t>(data.size());
    return e;
}

TEST_F(ExtractTest, TraditionalEncryption) {
    ZipBuilder zip;
    zip.Add(Encrypted("open.txt", ToBytes("empty password"), "", false));
    zip.Add(Encrypted("secret.txt", ToBytes("needs pw"), "pw", true));
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "open.txt", data), 1);
    EXPECT_EQ(ToString(data), "empty password");

    std::vector<TSkipReason> skips;
    reader->OnSkippingFile = [&](TZipReader*, TSkipReason r, int) { skips.push_back(r); };
    EXPECT_EQ(Extract(*reader, "secret.txt", data), 0);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(skips, (std::vector<TSkipReason>{TSkipReason::BadPassword}));

    reader->Password = "pw";
    EXPECT_EQ(Extract(*reader, "secret.txt", data), 1);
    EXPECT_EQ(ToString(data), "needs pw");

    // The hook's password is tried at once and kept.
    reader->Password = "";
    int asked = 0;
    reader->OnBadPassword = [&](TZipReader*, int, std::string& pw) {
        ++asked;
        pw = "pw";
    };
    EXPECT_EQ(Extract(*reader, "*", data), 2);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(reader->Password, "pw");
}

TEST_F(ExtractTest, EncryptedEntryTooShortForItsHeader) {
    ZipBuilder zip;
    ZipBuilder::Entry e;
    e.Name = "short.bin";
    e.Flags = 1;
    e.Data = Bytes(5, 0);
    e.CompressedSize = 5;
    zip.Add(e);
    zip.AddStored("pad.bin", Bytes(40, 0));
    auto reader = OpenArchive(zip.Build());
    Bytes data;
    EXPECT_EQ(Extract(*reader, "short.bin", data), 0);
    EXPECT_TRUE(data.empty());
}

TEST_F(ExtractTest, ExtractingReadsTheDirectoryFirst) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("a"));
    TZipReader reader;
    reader.SetArchiveStream(std::make_unique<TMemoryStream>(zip.Build()));
    EXPECT_FALSE(reader.DirectoryLoaded());
    TMemoryStream out;
    EXPECT_EQ(reader.ExtractToStream(out, "A.TXT"), 1);
    EXPECT_TRUE(reader.DirectoryLoaded());
}

} // namespace
} // namespace glyptor::archive::test

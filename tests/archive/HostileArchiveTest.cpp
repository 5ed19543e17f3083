// Archives shaped to attack the reader and the rewrite: names the code page round trip would
// alter, bytes after the end record, entry data shared between records, damaged Deflate data
// that a CRC of 0 would wave through, and a damaged entry after an intact one.
#include "ArchiveTestSupport.h"

#include "archive/ZipErrors.h"
#include "archive/ZipWriter.h"

#include <gtest/gtest.h>

namespace glyptor::archive::test {
namespace {

// Keeps messages off standard error; the tests look at hooks and exceptions instead.
class HostileArchiveTest : public ::testing::Test {
protected:
    static TZipUserInterface Quiet() {
        return {nullptr, [](const std::string&, const std::string&) {}, nullptr};
    }
    std::unique_ptr<TZipReader> OpenArchive(const Bytes& archive) {
        auto reader = test::OpenArchive(archive);
        reader->UserInterface = Quiet();
        return reader;
    }
};

TEST_F(HostileArchiveTest, RewriteKeepsStoredNameBytesAndUtf8NamesMatchAsUtf8) {
    ZipBuilder zip;
    zip.AddStored("caf\xC3\xA9.txt", ToBytes("coffee")).Flags = FlagUtf8Name;
    zip.AddStored("\xF0-box.txt", ToBytes("box")); // a CP866 letter CP1251 lacks
    zip.AddStored("drop.txt", ToBytes("gone"));
    TZipWriter writer;
    writer.UserInterface = Quiet();
    writer.SetArchiveStream(std::make_unique<TMemoryStream>(zip.Build()));
    writer.ReadDirectory();
    writer.FilesList = {"drop.txt"};
    writer.DeleteListed();

    const auto* stream = static_cast<const TMemoryStream*>(writer.ArchiveStream());
    const std::string bytes = ToString(stream->Data());
    // Both names once in a local header and once in a central record, byte for byte.
    for (const std::string name : {"caf\xC3\xA9.txt", "\xF0-box.txt"}) {
        size_t count = 0;
        for (size_t at = bytes.find(name); at != std::string::npos; at = bytes.find(name, at + 1))
            ++count;
        EXPECT_EQ(count, 2u) << name;
    }
    ASSERT_EQ(writer.EntryCount(), 2);
    EXPECT_EQ(writer.EntryName(0), "caf\xC3\xA9.txt");
    Bytes data;
    EXPECT_EQ(Extract(writer, "CAF\xC3\xA9.txt", data), 1);
    EXPECT_EQ(ToString(data), "coffee");
}

TEST_F(HostileArchiveTest, CommentComesFromTheEndRecordNotFromBytesAppendedAfterIt) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("a"));
    zip.ArchiveComment = "the comment";
    Bytes archive = zip.Build();
    const Bytes junk = ToBytes("JUNK APPENDED BY A DOWNLOADER");
    archive.insert(archive.end(), junk.begin(), junk.end());
    auto reader = OpenArchive(archive);
    reader->ReadDirectory();
    EXPECT_EQ(reader->ArchiveComment(), "the comment");
}

// How a case damages the archive's second entry "b.txt" of three.
enum class Damage { SizeCoversNextHeader, OffsetMissesHeader, SizeRunsIntoDirectory };

struct AliasCase {
    const char* Label;
    Damage How;
    const char* Problem;
    std::vector<std::string> Refused; // entries whose extraction raises
};

class DataRangeTest : public HostileArchiveTest, public ::testing::WithParamInterface<AliasCase> {};

TEST_P(DataRangeTest, EntriesWhoseDataAreNotTheirOwnAreRefusedAndNotCopied) {
    const AliasCase& c = GetParam();
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("first entry"));
    // Each reference is used before the next Add, which may move the entries.
    auto& b = zip.AddStored("b.txt", ToBytes("second entry"));
    if (c.How == Damage::SizeCoversNextHeader)
        b.CentralCompressedSize = b.CompressedSize + 40; // over c.txt's local header
    else if (c.How == Damage::OffsetMissesHeader)
        b.LocalOffsetDelta = 4;
    auto& last = zip.AddStored("c.txt", ToBytes("third entry"));
    if (c.How == Damage::SizeRunsIntoDirectory)
        last.CentralCompressedSize = last.CompressedSize + 20; // into the central directory
    auto reader = std::make_unique<TZipWriter>();
    reader->SetArchiveStream(std::make_unique<TMemoryStream>(zip.Build()));
    reader->ReadDirectory();
    for (const std::string name : {"a.txt", "b.txt", "c.txt"}) {
        const bool refused = std::find(c.Refused.begin(), c.Refused.end(), name) != c.Refused.end();
        TMemoryStream target;
        try {
            const int count = reader->ExtractToStream(target, name);
            EXPECT_FALSE(refused) << name;
            EXPECT_EQ(count, 1) << name;
        } catch (const EFatalUnzipError& error) {
            EXPECT_TRUE(refused) << name;
            EXPECT_NE(std::string(error.what()).find(c.Problem), std::string::npos) << error.what();
        }
    }
    // Deleting an intact entry must not copy the damaged ones into a new archive.
    reader->FilesList = {"a.txt"};
    EXPECT_THROW(reader->DeleteListed(), EZipError);
    EXPECT_EQ(reader->EntryCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, DataRangeTest,
    ::testing::Values(
        AliasCase{"overlap", Damage::SizeCoversNextHeader, "overlap", {"b.txt", "c.txt"}},
        AliasCase{"noheader", Damage::OffsetMissesHeader, "No local header", {"b.txt"}},
        AliasCase{"intodirectory", Damage::SizeRunsIntoDirectory, "central directory", {"c.txt"}}),
    [](const auto& info) { return std::string(info.param.Label); });

struct DamagedDataCase {
    const char* Label;
    uint16_t Method;
    Bytes Data;
    uint32_t DeclaredSize;
    bool CrcOfPlainText; // else CRC 0, which matches no output at all
    const char* Problem;
};

class DamagedDataTest : public HostileArchiveTest,
                        public ::testing::WithParamInterface<DamagedDataCase> {};

// An entry is intact only when its decoder ended cleanly, produced exactly the declared size
// and the CRC matches; the hook is told which of these failed.
TEST_P(DamagedDataTest, IsNotCountedAndTheProblemIsNamed) {
    const DamagedDataCase& c = GetParam();
    ZipBuilder zip;
    ZipBuilder::Entry e;
    e.Name = "bad.txt";
    e.Method = c.Method;
    e.Data = c.Data;
    e.CompressedSize = static_cast<uint32_t>(c.Data.size());
    e.UncompressedSize = c.DeclaredSize;
    e.Crc32 = c.CrcOfPlainText ? Crc(ToBytes("abc")) : 0;
    zip.Add(e);
    auto reader = OpenArchive(zip.Build());
    std::string problem;
    int badCalls = 0;
    reader->OnBadCRC = [&](TZipReader* sender, uint32_t, uint32_t, int) {
        ++badCalls;
        problem = sender->EntryProblem();
    };
    Bytes data;
    EXPECT_EQ(Extract(*reader, "bad.txt", data), 0);
    EXPECT_EQ(badCalls, 1);
    EXPECT_NE(problem.find(c.Problem), std::string::npos) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, DamagedDataTest,
    ::testing::Values(
        // Final dynamic block with HLIT 31: 288 + 1 literal/length codes do not exist.
        DamagedDataCase{"hlit31", 8, {0x05 | 0xF8, 0x00, 0x00}, 10, false, "damaged"},
        // Final stored block of length 5 whose NLEN is not its complement.
        DamagedDataCase{"nlen", 8, {0x01, 0x05, 0x00, 0x00, 0x00}, 5, false, "damaged"},
        // Final stored block of 100 bytes with only 3 present.
        DamagedDataCase{
            "short", 8, {0x01, 0x64, 0x00, 0x9B, 0xFF, 'a', 'b', 'c'}, 100, false, "end early"},
        // Intact Deflate data of "abc" under a declared size of 5.
        DamagedDataCase{"size",
                        8,
                        {0x01, 0x03, 0x00, 0xFC, 0xFF, 'a', 'b', 'c'},
                        5,
                        true,
                        "3 bytes instead of the declared 5"},
        // Stored data longer than the declared size.
        DamagedDataCase{"longer", 0, {'a', 'b', 'c', 'd'}, 3, true, "more than the declared"}),
    [](const auto& info) { return std::string(info.param.Label); });

TEST_F(HostileArchiveTest, DamagedEntryIsAnnouncedBeforeItsHeaderIsRead) {
    ZipBuilder zip;
    zip.AddStored("intact.txt", ToBytes("fine"));
    auto& locked = zip.AddStored("locked.txt", ToBytes("0123456789abcdef"));
    locked.Flags = FlagEncrypted;      // the last Add, so the reference stays valid
    locked.LocalOffsetDelta = 1 << 20; // the local header lies past the end of the file
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    reader->DoAll = true;
    std::string announced;
    reader->OnStartUnZip = [&](TZipReader* sender, int index, const std::string&, bool&) {
        announced = sender->EntryName(index);
    };
    TMemoryStream target;
    EXPECT_THROW(reader->ExtractToStream(target, "*"), EFatalUnzipError);
    EXPECT_EQ(announced, "locked.txt");
}

} // namespace
} // namespace glyptor::archive::test

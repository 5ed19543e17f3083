// Directory reading over archives built in memory: names, the end-record search, comments,
// the recovery scan and its merge, sort views, damaged and hostile directories.
#include "ArchiveTestSupport.h"

#include "archive/ZipErrors.h"

#include <gtest/gtest.h>

namespace glyptor::archive::test {
namespace {

std::vector<std::string> Names(TZipReader& reader) {
    std::vector<std::string> names;
    for (int i = 0; i < reader.EntryCount(); ++i)
        names.push_back(reader.EntryName(i));
    return names;
}

void SetU32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

size_t EndRecordAt(const Bytes& b) {
    for (size_t i = b.size() - 22;; --i)
        if (b[i] == 0x50 && b[i + 1] == 0x4B && b[i + 2] == 5 && b[i + 3] == 6)
            return i;
}

TEST(DirectoryTest, NamesUseBackslashesAndSplitAtTheLastOne) {
    ZipBuilder zip;
    zip.AddStored("themes/Title.bmp", ToBytes("bmp"));
    zip.AddStored("readme.txt", ToBytes("text"));
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    ASSERT_EQ(reader->EntryCount(), 2);
    EXPECT_EQ(reader->EntryName(0), "themes\\Title.bmp");
    EXPECT_EQ(reader->Entry(0).Directory(), "themes\\");
    EXPECT_EQ(reader->Entry(0).FileName(), "Title.bmp");
    EXPECT_EQ(reader->Entry(1).Directory(), "");
    EXPECT_EQ(reader->Entry(1).FileName(), "readme.txt");
    EXPECT_EQ(reader->Entry(0).CentralRecordOffset, zip.Build().size() - 22 - 2 * 46 - 26);
    EXPECT_FALSE(reader->Rebuilt());
}

TEST(DirectoryTest, IndexOutOfRangeNamesTheIndex) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("a"));
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    for (int bad : {reader->EntryCount(), -1}) {
        std::string expected = "Index " + std::to_string(bad) + " is out of range";
        try {
            reader->EntryName(bad);
            ADD_FAILURE();
        } catch (const EListError& e) {
            EXPECT_EQ(e.what(), expected);
        }
        EXPECT_THROW(reader->EntryComment(bad), EListError);
        EXPECT_THROW(reader->SetEntryComment(bad, "x"), EListError);
    }
}

TEST(DirectoryTest, EmptyAndMissingDirectories) {
    ZipBuilder empty;
    auto reader = OpenArchive(empty.Build());
    reader->ReadDirectory();
    EXPECT_EQ(reader->EntryCount(), 0);
    EXPECT_TRUE(reader->DirectoryLoaded());

    // Fewer than 22 bytes, or no stream at all.
    auto tiny = OpenArchive(Bytes(21, 0));
    try {
        tiny->ReadDirectory();
        ADD_FAILURE();
    } catch (const EIncompleteZip& e) {
        EXPECT_STREQ(e.what(), "Incomplete Zip File");
    }
    TZipReader none;
    EXPECT_THROW(none.ReadDirectory(), EIncompleteZip);
    EXPECT_EQ(none.EntryCount(), 0);
}

TEST(DirectoryTest, TheHookMayChooseTheRecoveryScan) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    zip.WriteEndRecord = false;
    auto reader = OpenArchive(zip.Build());
    int calls = 0;
    reader->OnInCompleteZip = [&](TZipReader*, TIncompleteZipMode& mode) {
        ++calls;
        mode = TIncompleteZipMode::izAssumeBad;
    };
    reader->ReadDirectory();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(reader->Rebuilt());
    ASSERT_EQ(reader->EntryCount(), 1);
    // The central record after the local headers is merged into the found entry.
    EXPECT_EQ(reader->Entry(0).VersionMadeBy, 20);
    EXPECT_EQ(reader->Entry(0).ExternalAttributes, 0x20u);
}

TEST(DirectoryTest, EndRecordOfAnotherVolumeCountsAsIncomplete) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    zip.ThisDisk = 1;
    auto reader = OpenArchive(zip.Build());
    EXPECT_THROW(reader->ReadDirectory(), EIncompleteZip);
    reader->IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    reader->ReadDirectory();
    EXPECT_EQ(Names(*reader), (std::vector<std::string>{"a.txt"}));
}

TEST(DirectoryTest, CommentLengthDecidesWhetherTheEndRecordIsFound) {
    for (size_t length : {size_t{65506}, size_t{65507}}) {
        ZipBuilder zip;
        zip.AddStored("a.txt", ToBytes("alpha"));
        zip.ArchiveComment = std::string(length, 'c');
        auto reader = OpenArchive(zip.Build());
        if (length == 65506) {
            reader->ReadDirectory();
            EXPECT_EQ(reader->EntryCount(), 1);
            EXPECT_EQ(reader->ArchiveComment().size(), length);
        } else {
            EXPECT_THROW(reader->ReadDirectory(), EIncompleteZip);
        }
    }
}

TEST(DirectoryTest, SignatureInTheCommentNearestTheEndWins) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    Bytes plain = zip.Build();
    Bytes copy(plain.end() - 22, plain.end()); // the real end record, comment length 0
    zip.ArchiveComment = "note " + ToString(copy);
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    EXPECT_EQ(reader->EntryCount(), 1);
    // The copy inside the comment is the record used, and it has no comment.
    EXPECT_EQ(reader->ArchiveComment(), "");
    EXPECT_EQ(reader->EndCentral().CommentLength, 0);
}

TEST(DirectoryTest, CommentsLoadOnRequestAndChangesMarkTheArchive) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha")).Comment = "first entry";
    zip.AddStored("b.txt", ToBytes("beta"));
    zip.ArchiveComment = "the archive";
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    EXPECT_EQ(reader->EntryComment(0), "first entry");
    EXPECT_EQ(reader->EntryComment(1), "");
    EXPECT_EQ(reader->ArchiveComment(), "the archive");
    EXPECT_FALSE(reader->EndCentral().Modified);

    reader->SetEntryComment(0, "first entry");
    reader->SetArchiveComment("the archive");
    EXPECT_FALSE(reader->EndCentral().Modified);

    reader->SetEntryComment(1, "now commented");
    EXPECT_TRUE(reader->EndCentral().Modified);
    EXPECT_EQ(reader->EntryComment(1), "now commented");
    EXPECT_EQ(reader->Entry(1).CommentLength, 13);
    reader->SetArchiveComment("");
    EXPECT_EQ(reader->ArchiveComment(), "");
}

TEST(DirectoryTest, PrependedDataLeadsToTheRecoveryScan) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha")).Comment = "dropped";
    zip.AddDeflated("dir/b.txt", ToBytes(std::string(500, 'b')));
    zip.Prefix = Bytes(100, 0x50); // stray "P"s must not hide the signature after them
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    EXPECT_TRUE(reader->Rebuilt());
    ASSERT_EQ(Names(*reader), (std::vector<std::string>{"a.txt", "dir\\b.txt"}));
    // No central record matches a header found 100 bytes later: local values stay.
    const TZipHeaderInfo& a = reader->Entry(0);
    EXPECT_EQ(a.LocalHeaderOffset, 100u);
    EXPECT_EQ(a.VersionMadeBy, 0);
    EXPECT_EQ(a.ExternalAttributes, 0u);
    EXPECT_EQ(a.CommentLength, 0);
    EXPECT_EQ(reader->EntryComment(0), "");
    Bytes data;
    EXPECT_EQ(Extract(*reader, "b.txt", data), 1);
    EXPECT_EQ(ToString(data), std::string(500, 'b'));
}

TEST(DirectoryTest, RecoveryScanMergesMatchingCentralRecords) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha")).Comment = "kept";
    zip.AddStored("b.txt", ToBytes("beta"));
    Bytes bytes = zip.Build();
    SetU32(bytes, EndRecordAt(bytes) + 16, 3); // central offset points into the first header
    auto reader = OpenArchive(bytes);
    reader->ReadDirectory();
    EXPECT_TRUE(reader->Rebuilt());
    ASSERT_EQ(reader->EntryCount(), 2);
    EXPECT_EQ(reader->Entry(0).VersionMadeBy, 20);
    EXPECT_EQ(reader->Entry(0).ExternalAttributes, 0x20u);
    EXPECT_EQ(reader->EntryComment(0), "kept");
    EXPECT_EQ(reader->EndCentral().TotalEntries, 2);
}

TEST(DirectoryTest, RecoveryScanThatFindsNothingLeavesAnEmptyDirectory) {
    Bytes junk(200, 'x');
    Bytes end = ZipBuilder().Build();
    SetU32(end, 16, 50);
    junk.insert(junk.end(), end.begin(), end.end());
    auto reader = OpenArchive(junk);
    reader->ReadDirectory();
    EXPECT_TRUE(reader->Rebuilt());
    EXPECT_EQ(reader->EntryCount(), 0);
    EXPECT_TRUE(reader->DirectoryLoaded());
}

TEST(DirectoryTest, CancelDuringTheRecoveryScan) {
    Bytes bytes(30000, 0);
    auto reader = OpenArchive(bytes);
    reader->IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
    int pumps = 0;
    TZipReader* target = reader.get();
    reader->UserInterface.PumpMessages = [&] {
        ++pumps;
        target->CancelRequested = true;
    };
    try {
        reader->ReadDirectory();
        ADD_FAILURE();
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User Aborted Operation");
    }
    EXPECT_EQ(pumps, 1);
    EXPECT_FALSE(reader->CancelRequested);
}

TEST(DirectoryTest, UnreadableCentralRecordsEndTheDirectory) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    zip.AddStored("b.txt", ToBytes("beta"));
    zip.TotalEntriesDelta = 3; // the end record promises more than there are
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    EXPECT_EQ(Names(*reader), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(DirectoryTest, HostileNameLengthDoesNotReadPastTheStream) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    Bytes bytes = zip.Build();
    size_t central = EndRecordAt(bytes) - 46 - 5;
    bytes[central + 28] = 0xFF; // name length 0xFFFF
    bytes[central + 29] = 0xFF;
    auto reader = OpenArchive(bytes);
    reader->ReadDirectory();
    EXPECT_EQ(reader->EntryCount(), 0);
}

TEST(DirectoryTest, TwoCentralRecordsForOneHeaderRaise) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    zip.AddStored("b.txt", ToBytes("beta")).LocalOffsetDelta = -40; // same offset as a.txt
    auto reader = OpenArchive(zip.Build());
    try {
        reader->ReadDirectory();
        ADD_FAILURE();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Duplicate Object index");
    }
    EXPECT_EQ(Names(*reader), (std::vector<std::string>{"a.txt"}));
}

TEST(DirectoryTest, MoreEntriesThanTheListHoldsRaise) {
    ZipBuilder zip;
    for (int i = 0; i < 65521; ++i)
        zip.AddStored(std::to_string(i), {});
    auto reader = OpenArchive(zip.Build());
    EXPECT_THROW(reader->ReadDirectory(), EListError);
    EXPECT_EQ(reader->EntryCount(), 65520);
}

TEST(DirectoryTest, ReadDirectoryReadsTheStreamOnce) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    auto reader = OpenArchive(zip.Build());
    reader->ReadDirectory();
    reader->ArchiveStream()->SetSize(0); // a second read would now fail
    reader->ReadDirectory();
    EXPECT_EQ(reader->EntryCount(), 1);
}

TEST(DirectoryTest, SortViewsOverTheDirectory) {
    ZipBuilder zip;
    zip.AddStored("b.txt", ToBytes("1"));
    zip.AddStored("dir/B.TXT", ToBytes("2"));
    zip.AddStored("a.txt", ToBytes("3"));
    auto reader = OpenArchive(zip.Build());
    reader->SetSortMode(TZipSortMode::ByFileName);
    reader->ReadDirectory();
    // Equal file names come in reverse physical order.
    EXPECT_EQ(Names(*reader), (std::vector<std::string>{"a.txt", "dir\\B.TXT", "b.txt"}));
    reader->SetSortMode(TZipSortMode::ByNone);
    EXPECT_EQ(Names(*reader), (std::vector<std::string>{"b.txt", "dir\\B.TXT", "a.txt"}));
    reader->SetSortMode(TZipSortMode::ByName);
    EXPECT_EQ(Names(*reader), (std::vector<std::string>{"a.txt", "b.txt", "dir\\B.TXT"}));
}

TEST(DirectoryTest, StreamAttachAndDetach) {
    ZipBuilder zip;
    zip.AddStored("a.txt", ToBytes("alpha"));
    TZipReader reader;
    EXPECT_FALSE(reader.MemoryMode());
    auto stream = std::make_unique<TMemoryStream>(zip.Build());
    TStream* raw = stream.get();
    reader.SetArchiveStream(std::move(stream));
    EXPECT_TRUE(reader.MemoryMode());
    EXPECT_TRUE(reader.KeepZipOpen);
    EXPECT_EQ(reader.ArchiveStream(), raw);
    reader.ReadDirectory();
    EXPECT_EQ(reader.EntryCount(), 1);

    auto detached = reader.SetArchiveStream(nullptr);
    EXPECT_EQ(detached.get(), raw);
    EXPECT_FALSE(reader.MemoryMode());
    EXPECT_EQ(reader.ArchiveStream(), nullptr);
    EXPECT_EQ(reader.EntryCount(), 0);

    reader.SetArchiveStream(std::move(detached));
    reader.ReadDirectory();
    reader.ClearArchive();
    EXPECT_EQ(reader.ArchiveStream(), nullptr);
    EXPECT_FALSE(reader.DirectoryLoaded());
}

} // namespace
} // namespace glyptor::archive::test

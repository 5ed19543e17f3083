// TZipWriter over archives held in memory: adding, replacing in place, deleting by name and
// pattern, comments, encryption, the hooks, and that a failed rewrite leaves the archive alone.
// The entries it writes are read back through our reader; WriterToolsTest asks other tools.
#include "archive/ZipWriter.h"
#include "archive/ZipErrors.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/archive/writer/WriterTestSupport.h"

#include <gtest/gtest.h>

namespace glyptor::archive::test {
namespace {

uint16_t Raw16(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
uint32_t Raw32(const Bytes& b, size_t at) {
    return Raw16(b, at) | uint32_t{Raw16(b, at + 2)} << 16;
}

std::vector<std::string> Names(const TZipReader& reader) {
    std::vector<std::string> names;
    for (int i = 0; i < reader.EntryCount(); ++i)
        names.push_back(reader.EntryName(i));
    return names;
}

Bytes ExtractBytes(TZipReader& reader, const std::string& name, int expectedCount = 1) {
    Bytes data;
    EXPECT_EQ(Extract(reader, name, data), expectedCount) << name;
    return data;
}

Bytes ThreeEntryArchive() {
    ZipBuilder builder;
    builder.AddStored("first.txt", ToBytes("first"));
    builder.AddDeflated("themes/Title1.bmp", SampleBitmap(40, 20, 1));
    builder.AddStored("last.txt", ToBytes("last"));
    return builder.Build();
}

TEST(ZipWriterAdd, EmptySourceIsStoredWithZeroSizesAndCrc) {
    auto writer = NewWriter();
    EXPECT_EQ(AddBytes(*writer, "empty.txt", {}), 1);
    ASSERT_EQ(writer->EntryCount(), 1);
    const TZipHeaderInfo& entry = writer->Entry(0);
    EXPECT_EQ(entry.CompressionMethod, 0);
    EXPECT_EQ(entry.CompressedSize, 0);
    EXPECT_EQ(entry.UncompressedSize, 0);
    EXPECT_EQ(entry.Crc32, 0u);
    EXPECT_TRUE(ExtractBytes(*writer, "empty.txt").empty());
}

TEST(ZipWriterAdd, FolderPartIsDroppedAndTheSameNameReplacesInPlace) {
    auto writer = NewWriter();
    AddBytes(*writer, "first.txt", ToBytes("1"));
    EXPECT_EQ(AddBytes(*writer, "sub\\x.txt", ToBytes("old contents")), 1);
    AddBytes(*writer, "c:last.txt", ToBytes("3"));
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"first.txt", "x.txt", "last.txt"}));

    EXPECT_EQ(AddBytes(*writer, "other\\X.TXT", ToBytes("new contents")), 1);
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"first.txt", "X.TXT", "last.txt"}));
    EXPECT_EQ(ToString(ExtractBytes(*writer, "x.txt")), "new contents");
    EXPECT_EQ(ToString(ExtractBytes(*writer, "last.txt")), "3");

    // "/" separates folders as well: the entry stays at the root and is replaced again.
    EXPECT_EQ(AddBytes(*writer, "unix/style/x.txt", ToBytes("third")), 1);
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"first.txt", "x.txt", "last.txt"}));
    AddBytes(*writer, "again.txt", ToBytes("still updatable"));
    EXPECT_EQ(writer->EntryCount(), 4);
}

TEST(ZipWriterAdd, EntryCountIncludesTheNewEntryAtOnceInANewStreamObject) {
    auto writer = NewWriter(ThreeEntryArchive());
    writer->ReadDirectory();
    const TStream* before = writer->ArchiveStream();
    EXPECT_EQ(AddBytes(*writer, "added.txt", SampleText(3000, 2)), 1);
    EXPECT_EQ(writer->EntryCount(), 4);
    EXPECT_NE(writer->ArchiveStream(), before);
    EXPECT_EQ(writer->EntryName(3), "added.txt");
    EXPECT_TRUE(ExtractBytes(*writer, "added.txt") == SampleText(3000, 2));
    EXPECT_TRUE(ExtractBytes(*writer, "Title1.bmp") == SampleBitmap(40, 20, 1));
}

TEST(ZipWriterAdd, RandomBytesAreStoredAsTheyAre) {
    auto writer = NewWriter();
    const Bytes noise = RandomBytes(4096, 3);
    AddBytes(*writer, "noise.bin", noise);
    const TZipHeaderInfo& entry = writer->Entry(0);
    EXPECT_EQ(entry.CompressionMethod, 0);
    EXPECT_EQ(entry.CompressedSize, 4096);
    EXPECT_EQ(entry.InternalAttributes, 0);
    EXPECT_TRUE(ExtractBytes(*writer, "noise.bin") == noise);
}

TEST(ZipWriterAdd, LevelSetsMethodFlagsAndTextAttribute) {
    const Bytes text = SampleText(20000, 4);
    const Bytes bitmap = SampleBitmap(100, 80, 5);
    for (int level = 0; level <= 9; ++level) {
        SCOPED_TRACE("level " + std::to_string(level));
        auto writer = NewWriter();
        writer->PackLevel = level;
        AddBytes(*writer, "a.txt", text);
        AddBytes(*writer, "b.bmp", bitmap);
        const TZipHeaderInfo& t = writer->Entry(0);
        const TZipHeaderInfo& b = writer->Entry(1);
        EXPECT_EQ(t.CompressionMethod, level == 0 ? 0 : 8);
        EXPECT_EQ(t.Flags, level == 0 ? 0 : (level <= 2 ? 4 : (level >= 8 ? 2 : 0)));
        EXPECT_EQ(t.InternalAttributes, 1);
        EXPECT_EQ(b.InternalAttributes, 0);
        EXPECT_EQ(t.Crc32, Crc(text));
        EXPECT_EQ(t.UncompressedSize, static_cast<int32_t>(text.size()));
        if (level > 0) {
            EXPECT_LT(t.CompressedSize, t.UncompressedSize / 2);
        }
        EXPECT_TRUE(ExtractBytes(*writer, "a.txt") == text);
        EXPECT_TRUE(ExtractBytes(*writer, "b.bmp") == bitmap);
    }
}

TEST(ZipWriterAdd, LocalHeaderCarriesTheFinalSizesAndCrc) {
    auto writer = NewWriter();
    const Bytes text = SampleText(50000, 6);
    AddBytes(*writer, "readme.txt", text);
    const Bytes archive = StreamBytes(*writer);
    const TZipHeaderInfo& entry = writer->Entry(0);
    const size_t local = entry.LocalHeaderOffset;
    EXPECT_EQ(Raw32(archive, local), LocalHeaderSignature);
    EXPECT_EQ(Raw16(archive, local + 6), entry.Flags);
    EXPECT_EQ(Raw32(archive, local + 14), Crc(text));
    EXPECT_EQ(Raw32(archive, local + 18), static_cast<uint32_t>(entry.CompressedSize));
    EXPECT_EQ(Raw32(archive, local + 22), text.size());
    EXPECT_EQ(Raw16(archive, local + 28), 0);
    // Central directory right after the data, end record right after that.
    EXPECT_EQ(writer->EndCentral().CentralOffset, local + 30 + 10 + entry.CompressedSize);
    EXPECT_EQ(archive.size(), writer->EndCentral().CentralOffset +
                                  writer->EndCentral().CentralSize + EndCentralSize);
}

TEST(ZipWriterAdd, LargeEntrySpanningManyBlocksRoundTrips) {
    auto writer = NewWriter();
    Bytes data = SampleExecutable(1 << 20, 7);
    const Bytes text = SampleText(1 << 20, 8);
    data.insert(data.end(), text.begin(), text.end());
    AddBytes(*writer, "big.exe", data);
    EXPECT_EQ(writer->Entry(0).CompressionMethod, 8);
    EXPECT_TRUE(ExtractBytes(*writer, "big.exe") == data);
}

TEST(ZipWriterAdd, NamesAreWrittenInTheOemCodePageWithSlashes) {
    ZipBuilder builder;
    builder.AddStored("themes/Title.bmp", ToBytes("picture"));
    auto writer = NewWriter(builder.Build());
    const std::string cyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2.txt"; // "Привет" in CP1251
    AddBytes(*writer, cyrillic, ToBytes("hello"));
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"themes\\Title.bmp", cyrillic}));
    const std::string raw = ToString(StreamBytes(*writer));
    EXPECT_NE(raw.find("themes/Title.bmp"), std::string::npos);
    EXPECT_EQ(raw.find("themes\\Title.bmp"), std::string::npos);
    EXPECT_NE(raw.find("\x8F\xE0\xA8\xA2\xA5\xE2.txt"), std::string::npos); // CP866
    EXPECT_EQ(ToString(ExtractBytes(*writer, cyrillic)), "hello");
}

TEST(ZipWriterAdd, PasswordEncryptsNewEntries) {
    auto writer = NewWriter();
    writer->Password = "secret";
    const Bytes text = SampleText(8000, 9);
    AddBytes(*writer, "secret.txt", text);
    AddBytes(*writer, "noise.bin", RandomBytes(1000, 10));
    const TZipHeaderInfo& deflated = writer->Entry(0);
    const TZipHeaderInfo& stored = writer->Entry(1);
    EXPECT_EQ(deflated.Flags & FlagEncrypted, FlagEncrypted);
    EXPECT_EQ(stored.CompressionMethod, 0);
    EXPECT_EQ(stored.CompressedSize, 1000 + 12);
    EXPECT_TRUE(ExtractBytes(*writer, "secret.txt") == text);
    EXPECT_TRUE(ExtractBytes(*writer, "noise.bin") == RandomBytes(1000, 10));

    auto stranger = OpenArchive(StreamBytes(*writer));
    stranger->Password = "wrong";
    Bytes data;
    EXPECT_EQ(Extract(*stranger, "secret.txt", data), 0);
}

TEST(ZipWriterDelete, PlainNameDeletesOnlyTheFirstEntryOfThatName) {
    ZipBuilder builder;
    builder.AddStored("a.txt", ToBytes("one"));
    builder.AddStored("b.txt", ToBytes("b"));
    builder.AddStored("a.txt", ToBytes("two"));
    auto writer = NewWriter(builder.Build());
    writer->FilesList = {"A.TXT"};
    writer->DeleteListed();
    EXPECT_TRUE(writer->FilesList.empty());
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"b.txt", "a.txt"}));
    EXPECT_EQ(ToString(ExtractBytes(*writer, "a.txt")), "two");
}

TEST(ZipWriterDelete, PatternDeletesEveryMatchInAnyFolder) {
    ZipBuilder builder;
    builder.AddStored("Title1.bmp", ToBytes("1"));
    builder.AddStored("themes/Title2.BMP", ToBytes("2"));
    builder.AddStored("gy3layout.txt", ToBytes("3"));
    builder.AddStored("themes/readme.txt", ToBytes("4"));
    builder.AddStored("a.bmp.txt", ToBytes("5"));
    auto writer = NewWriter(builder.Build());
    writer->FilesList = {"*.bmp"};
    writer->DeleteListed();
    EXPECT_EQ(Names(*writer),
              (std::vector<std::string>{"gy3layout.txt", "themes\\readme.txt", "a.bmp.txt"}));
    EXPECT_EQ(writer->FilesList, (std::vector<std::string>{"*.bmp"}));

    // A pattern with a folder part matches the full name; "/" serves as well as "\\".
    writer->FilesList = {"THEMES/*"};
    writer->DeleteListed();
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"gy3layout.txt", "a.bmp.txt"}));
    EXPECT_EQ(ToString(ExtractBytes(*writer, "a.bmp.txt")), "5");
}

TEST(ZipWriterDelete, NoMatchRewritesTheSameEntries) {
    auto writer = NewWriter(ThreeEntryArchive());
    writer->FilesList = {"missing.txt", "*.ico"};
    writer->DeleteListed();
    EXPECT_EQ(Names(*writer),
              (std::vector<std::string>{"first.txt", "themes\\Title1.bmp", "last.txt"}));
    EXPECT_TRUE(ExtractBytes(*writer, "Title1.bmp") == SampleBitmap(40, 20, 1));
}

TEST(ZipWriterDelete, EmptyStreamBecomesALoneEndRecord) {
    auto writer = NewWriter();
    writer->FilesList = {"anything"};
    writer->DeleteListed();
    const Bytes archive = StreamBytes(*writer);
    ASSERT_EQ(archive.size(), 22u);
    EXPECT_EQ(Raw32(archive, 0), EndCentralSignature);
    EXPECT_TRUE(std::all_of(archive.begin() + 4, archive.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(writer->EntryCount(), 0);
}

TEST(ZipWriterUpdate, FlushChangesAfterAnAddOrDeleteDoesNothing) {
    auto writer = NewWriter(ThreeEntryArchive());
    AddBytes(*writer, "new.txt", ToBytes("new"));
    const TStream* afterAdd = writer->ArchiveStream();
    const Bytes bytesAfterAdd = StreamBytes(*writer);
    writer->FlushChanges();
    EXPECT_EQ(writer->ArchiveStream(), afterAdd);
    EXPECT_TRUE(StreamBytes(*writer) == bytesAfterAdd);

    writer->FilesList = {"first.txt"};
    writer->DeleteListed();
    const TStream* afterDelete = writer->ArchiveStream();
    writer->FlushChanges();
    EXPECT_EQ(writer->ArchiveStream(), afterDelete);
}

TEST(ZipWriterUpdate, ChangedCommentsAreWrittenByFlushChanges) {
    auto writer = NewWriter(ThreeEntryArchive());
    writer->ReadDirectory();
    writer->SetEntryComment(1, "the title picture");
    writer->SetArchiveComment("a theme");
    const TStream* before = writer->ArchiveStream();
    writer->FlushChanges();
    EXPECT_NE(writer->ArchiveStream(), before);
    EXPECT_FALSE(writer->EndCentral().Modified);

    auto reader = OpenArchive(StreamBytes(*writer));
    reader->ReadDirectory();
    EXPECT_EQ(reader->EntryComment(0), "");
    EXPECT_EQ(reader->EntryComment(1), "the title picture");
    EXPECT_EQ(reader->ArchiveComment(), "a theme");
    EXPECT_TRUE(ExtractBytes(*reader, "Title1.bmp") == SampleBitmap(40, 20, 1));

    // Nothing pending any more.
    const TStream* flushed = writer->ArchiveStream();
    writer->FlushChanges();
    EXPECT_EQ(writer->ArchiveStream(), flushed);
}

TEST(ZipWriterUpdate, ExistingCommentsSurviveARewrite) {
    ZipBuilder builder;
    builder.AddStored("a.txt", ToBytes("a")).Comment = "entry comment";
    builder.AddStored("b.txt", ToBytes("b"));
    builder.ArchiveComment = "archive comment";
    auto writer = NewWriter(builder.Build());
    writer->FilesList = {"b.txt"};
    writer->DeleteListed();
    EXPECT_EQ(writer->EntryComment(0), "entry comment");
    EXPECT_EQ(writer->ArchiveComment(), "archive comment");
}

TEST(ZipWriterUpdate, KeptEntriesAreCopiedWithoutDecompressing) {
    ZipBuilder builder;
    ZipBuilder::Entry opaque;
    opaque.Name = "opaque.dat";
    opaque.Method = 99; // no decoder could read it, so only a byte copy keeps it intact
    opaque.Data = RandomBytes(777, 11);
    opaque.CompressedSize = 777;
    opaque.UncompressedSize = 1234;
    opaque.Crc32 = 0x12345678;
    builder.Add(opaque);
    builder.AddStored("b.txt", ToBytes("b"));
    auto writer = NewWriter(builder.Build());
    writer->FilesList = {"b.txt"};
    writer->DeleteListed();
    ASSERT_EQ(writer->EntryCount(), 1);
    const TZipHeaderInfo& entry = writer->Entry(0);
    EXPECT_EQ(entry.CompressionMethod, 99);
    EXPECT_EQ(entry.Crc32, 0x12345678u);
    EXPECT_EQ(entry.UncompressedSize, 1234);
    const Bytes archive = StreamBytes(*writer);
    const size_t data = entry.LocalHeaderOffset + 30 + entry.FileNameLength;
    EXPECT_TRUE(Bytes(archive.begin() + static_cast<long>(data),
                      archive.begin() + static_cast<long>(data) + 777) == opaque.Data);
}

TEST(ZipWriterUpdate, ExtraFieldsAreDroppedFromBothHeaders) {
    ZipBuilder builder;
    auto& entry = builder.AddDeflated("extra.txt", SampleText(5000, 12));
    entry.LocalExtra = Bytes(9, 0xAA);
    entry.CentralExtra = Bytes(24, 0xBB);
    entry.Comment = "kept";
    builder.AddStored("gone.txt", ToBytes("x"));
    auto writer = NewWriter(builder.Build());
    writer->FilesList = {"gone.txt"};
    writer->DeleteListed();
    const TZipHeaderInfo& kept = writer->Entry(0);
    EXPECT_EQ(kept.ExtraFieldLength, 0);
    EXPECT_EQ(Raw16(StreamBytes(*writer), kept.LocalHeaderOffset + 28), 0);
    EXPECT_EQ(writer->EntryComment(0), "kept");
    EXPECT_TRUE(ExtractBytes(*writer, "extra.txt") == SampleText(5000, 12));
}

TEST(ZipWriterUpdate, DataDescriptorIsFoldedIntoTheLocalHeader) {
    const Bytes text = SampleText(6000, 13);
    ZipBuilder builder;
    ZipBuilder::Entry streamed;
    streamed.Name = "streamed.txt";
    streamed.Method = 8;
    streamed.Flags = FlagDataDescriptor;
    const Bytes deflated = ZlibDeflate(text);
    streamed.Data = deflated;
    for (uint32_t v : {0x08074B50u, Crc(text), static_cast<uint32_t>(deflated.size()),
                       static_cast<uint32_t>(text.size())})
        for (int i = 0; i < 4; ++i)
            streamed.Data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    streamed.Crc32 = Crc(text);
    streamed.CompressedSize = 0; // the local header leaves it to the descriptor
    streamed.CentralCompressedSize = static_cast<int64_t>(deflated.size());
    streamed.UncompressedSize = static_cast<uint32_t>(text.size());
    builder.Add(streamed);
    builder.AddStored("next.txt", ToBytes("next"));

    auto writer = NewWriter(builder.Build());
    AddBytes(*writer, "added.txt", ToBytes("added"));
    const TZipHeaderInfo& kept = writer->Entry(0);
    EXPECT_EQ(kept.Flags & FlagDataDescriptor, 0);
    const Bytes archive = StreamBytes(*writer);
    EXPECT_EQ(Raw16(archive, kept.LocalHeaderOffset + 6) & FlagDataDescriptor, 0);
    EXPECT_EQ(Raw32(archive, kept.LocalHeaderOffset + 18), deflated.size());
    // The descriptor's 16 bytes are gone: the next local header follows the data directly.
    EXPECT_EQ(writer->Entry(1).LocalHeaderOffset,
              kept.LocalHeaderOffset + 30 + kept.FileNameLength + deflated.size());
    EXPECT_TRUE(ExtractBytes(*writer, "streamed.txt") == text);
    EXPECT_EQ(ToString(ExtractBytes(*writer, "next.txt")), "next");
}

TEST(ZipWriterUpdate, EncryptedEntryKeepsItsDataDescriptor) {
    // Its password check byte comes from the time, not the CRC, because of the descriptor flag;
    // clearing the flag would make every reader reject the password.
    const Bytes archive = EncryptedStreamedArchive("pw", SampleText(7000, 16));
    auto writer = NewWriter(archive);
    writer->Password = "pw";
    AddBytes(*writer, "added.txt", ToBytes("added"));
    const TZipHeaderInfo& kept = writer->Entry(0);
    EXPECT_EQ(kept.Flags, FlagEncrypted | FlagDataDescriptor);
    const Bytes rewritten = StreamBytes(*writer);
    const size_t descriptor = kept.LocalHeaderOffset + 30 + kept.FileNameLength +
                              static_cast<size_t>(kept.CompressedSize);
    EXPECT_EQ(Raw32(rewritten, descriptor), 0x08074B50u);
    EXPECT_EQ(Raw32(rewritten, descriptor + 4), kept.Crc32);
    EXPECT_EQ(writer->Entry(1).LocalHeaderOffset, descriptor + 16);
    EXPECT_TRUE(ExtractBytes(*writer, "locked.txt") == SampleText(7000, 16));
}

TEST(ZipWriterUpdate, SortModeSurvivesARewrite) {
    auto writer = NewWriter(ThreeEntryArchive());
    writer->ReadDirectory();
    writer->SetSortMode(TZipSortMode::ByName);
    AddBytes(*writer, "middle.txt", ToBytes("m"));
    EXPECT_EQ(writer->SortMode(), TZipSortMode::ByName);
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"first.txt", "last.txt", "middle.txt",
                                                        "themes\\Title1.bmp"}));
}

TEST(ZipWriterFailure, TwinNamesRefuseTheRewriteAndKeepTheStream) {
    ZipBuilder builder;
    builder.AddStored("a.txt", ToBytes("one"));
    builder.AddStored("A.TXT", ToBytes("two"));
    auto writer = NewWriter(builder.Build());
    writer->ReadDirectory();
    const TStream* before = writer->ArchiveStream();
    const Bytes bytesBefore = StreamBytes(*writer);
    try {
        AddBytes(*writer, "c.txt", ToBytes("c"));
        ADD_FAILURE() << "the rewrite went through";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Duplicate Object index");
    }
    EXPECT_EQ(writer->ArchiveStream(), before);
    EXPECT_TRUE(StreamBytes(*writer) == bytesBefore);
    EXPECT_EQ(writer->EntryCount(), 2);
    EXPECT_EQ(ToString(ExtractBytes(*writer, "a.txt", 2)), "onetwo");
}

TEST(ZipWriterFailure, CancelDuringCompressionLeavesTheArchiveAsItWas) {
    auto writer = NewWriter(ThreeEntryArchive());
    writer->ReadDirectory();
    writer->SetEntryComment(0, "pending");
    const TStream* before = writer->ArchiveStream();
    const Bytes bytesBefore = StreamBytes(*writer);
    writer->OnFilePercentDone = [](TZipReader* sender, int) { sender->CancelRequested = true; };
    try {
        AddBytes(*writer, "big.txt", SampleText(100000, 14));
        ADD_FAILURE() << "the rewrite went through";
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User Aborted Operation");
    }
    EXPECT_FALSE(writer->CancelRequested);
    EXPECT_EQ(writer->ArchiveStream(), before);
    EXPECT_TRUE(StreamBytes(*writer) == bytesBefore);
    EXPECT_EQ(writer->EntryCount(), 3);
    EXPECT_EQ(writer->EntryComment(0), "pending"); // an unsaved change is not lost either

    // A new archive is emptied again rather than left half written.
    auto fresh = NewWriter();
    fresh->OnFilePercentDone = writer->OnFilePercentDone;
    EXPECT_THROW(AddBytes(*fresh, "big.txt", SampleText(100000, 14)), EUserCanceled);
    EXPECT_EQ(fresh->ArchiveStream()->Size(), 0);
}

TEST(ZipWriterFailure, StopInStartZipInfoCancelsTheUpdate) {
    auto writer = NewWriter(ThreeEntryArchive());
    const Bytes bytesBefore = StreamBytes(*writer);
    int files = 0;
    int64_t total = 0;
    writer->OnStartZipInfo = [&](TZipWriter*, int numFiles, int64_t totalBytes, TEndCentral&,
                                 bool& stop) {
        files = numFiles;
        total = totalBytes;
        stop = true;
    };
    try {
        AddBytes(*writer, "new.txt", ToBytes("12345"));
        ADD_FAILURE() << "the rewrite went through";
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User canceled Zip operation.");
    }
    EXPECT_EQ(files, 1);
    EXPECT_EQ(total, 5);
    EXPECT_TRUE(StreamBytes(*writer) == bytesBefore);
}

TEST(ZipWriterFailure, EntryDataBeyondTheStreamAbortsTheRewrite) {
    ZipBuilder builder;
    builder.AddStored("short.txt", ToBytes("short")).CentralCompressedSize = 50000;
    builder.AddStored("b.txt", ToBytes("b"));
    auto writer = NewWriter(builder.Build());
    const Bytes bytesBefore = StreamBytes(*writer);
    writer->FilesList = {"b.txt"};
    EXPECT_THROW(writer->DeleteListed(), EFatalUnzipError);
    EXPECT_TRUE(StreamBytes(*writer) == bytesBefore);
    EXPECT_EQ(writer->EntryCount(), 2);
}

TEST(ZipWriterHooks, SkipFlagsKeepWhatIsThere) {
    auto writer = NewWriter(ThreeEntryArchive());
    writer->OnStartZip = [](TZipWriter*, const std::string&, TZipHeaderInfo&, bool& skip) {
        skip = true;
    };
    EXPECT_EQ(AddBytes(*writer, "refused.txt", ToBytes("r")), 0);
    EXPECT_EQ(writer->EntryCount(), 3);
    // A refused replacement keeps the entry it would have replaced.
    EXPECT_EQ(AddBytes(*writer, "first.txt", ToBytes("replacement")), 0);
    EXPECT_EQ(ToString(ExtractBytes(*writer, "first.txt")), "first");
    writer->OnStartZip = nullptr;

    std::vector<std::string> asked;
    writer->OnDeleteEntry = [&](TZipWriter*, const std::string& name, bool& skip) {
        asked.push_back(name);
        skip = name == "first.txt";
    };
    writer->FilesList = {"first.txt", "last.txt"};
    writer->DeleteListed();
    EXPECT_EQ(asked, (std::vector<std::string>{"first.txt", "last.txt"}));
    EXPECT_EQ(Names(*writer), (std::vector<std::string>{"first.txt", "themes\\Title1.bmp"}));
}

TEST(ZipWriterHooks, EndZipReportsTheSizesWritten) {
    auto writer = NewWriter();
    std::string name;
    int64_t plain = 0;
    int64_t packed = 0;
    int64_t output = 0;
    writer->OnEndZip = [&](TZipWriter*, const std::string& n, int64_t u, int64_t c, int64_t o) {
        name = n;
        plain = u;
        packed = c;
        output = o;
    };
    std::vector<int> percents;
    writer->OnFilePercentDone = [&](TZipReader*, int p) { percents.push_back(p); };
    AddBytes(*writer, "dir\\text.txt", SampleText(40000, 15));
    EXPECT_EQ(name, "dir\\text.txt");
    EXPECT_EQ(plain, 40000);
    EXPECT_EQ(packed, writer->Entry(0).CompressedSize);
    EXPECT_EQ(output, 30 + 8 + packed);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
}

} // namespace
} // namespace glyptor::archive::test

// Object lists, entry records, end records, sort orders and code pages.
#include "archive/CodePage.h"
#include "archive/ZipErrors.h"
#include "archive/ZipHeaderInfo.h"

#include <gtest/gtest.h>

namespace glyptor::archive {
namespace {

struct Counted : TObject {
    explicit Counted(int& alive) : Alive(alive) { ++Alive; }
    ~Counted() override { --Alive; }
    int& Alive;
};

TEST(ObjectListTest, CapacityGrowsByFourEightThenSixteenUpToTheLimit) {
    TObjectList list(false);
    std::vector<int> capacities;
    TObject dummy;
    for (int i = 0; i < 40; ++i) {
        list.Add(&dummy);
        if (capacities.empty() || capacities.back() != list.Capacity())
            capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, (std::vector<int>{4, 8, 16, 32, 48}));

    while (list.Count() < 65520)
        list.Add(&dummy);
    EXPECT_EQ(list.Capacity(), 65520);
    EXPECT_THROW(list.Add(&dummy), EListError);
    EXPECT_EQ(list.Count(), 65520);
}

TEST(ObjectListTest, IndexOutsideTheListRaises) {
    TObjectList list(false);
    TObject a;
    list.Add(&a);
    EXPECT_EQ(list.Get(0), &a);
    EXPECT_THROW(list.Get(1), EListError);
    EXPECT_THROW(list.Get(-1), EListError);
}

TEST(ObjectListTest, OwningListFreesItsItemsAndOthersDoNot) {
    int alive = 0;
    {
        TObjectList owning;
        owning.Add(new Counted(alive));
        owning.Add(new Counted(alive));
        owning.Delete(0);
        EXPECT_EQ(alive, 1);
        owning.Put(0, new Counted(alive));
        EXPECT_EQ(alive, 1);
    }
    EXPECT_EQ(alive, 0);

    Counted kept(alive);
    {
        TObjectList borrowing(false);
        borrowing.Add(&kept);
        borrowing.Clear();
    }
    EXPECT_EQ(alive, 1);
}

TZipHeaderInfo* MakeEntry(const std::string& name, uint32_t offset, uint32_t date = 0,
                          int32_t packed = 0, int32_t size = 0) {
    auto* e = new TZipHeaderInfo;
    e->SetFullName(name);
    e->LocalHeaderOffset = offset;
    e->ModifiedDateTime = date;
    e->CompressedSize = packed;
    e->UncompressedSize = size;
    return e;
}

std::vector<uint32_t> Offsets(const TSortedZip& list) {
    std::vector<uint32_t> out;
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list.Entry(i)->LocalHeaderOffset);
    return out;
}

TEST(SortedListTest, DuplicatePolicies) {
    TSortedZip ignore(TZipSortMode::ByNone);
    ignore.Duplicates = TDuplicates::Ignore;
    EXPECT_EQ(ignore.Add(MakeEntry("a", 10)), 0);
    EXPECT_EQ(ignore.Add(MakeEntry("b", 10)), -1);
    EXPECT_EQ(ignore.Count(), 1);
    EXPECT_EQ(ignore.Entry(0)->FileName(), "a");

    TSortedZip error(TZipSortMode::ByNone);
    error.Duplicates = TDuplicates::Error;
    error.Add(MakeEntry("a", 10));
    try {
        error.Add(MakeEntry("b", 10));
        FAIL() << "duplicate accepted";
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Duplicate Object index");
    }
    EXPECT_EQ(error.Count(), 1);

    // Under accept a new item goes before its equals.
    TSortedZip accept(TZipSortMode::ByName);
    accept.Duplicates = TDuplicates::Accept;
    accept.Add(MakeEntry("same", 1));
    accept.Add(MakeEntry("SAME", 2));
    accept.Add(MakeEntry("Same", 3));
    EXPECT_EQ(Offsets(accept), (std::vector<uint32_t>{3, 2, 1}));
}

TEST(SortedListTest, PutIsRefused) {
    TSortedZip list;
    list.Add(MakeEntry("a", 1));
    try {
        list.Put(0, MakeEntry("b", 2));
        FAIL();
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Cannot <Put> an Object in a sorted list!");
    }
}

TEST(SortedListTest, FindReportsInsertionPoint) {
    TSortedZip list;
    for (uint32_t offset : {10u, 20u, 30u})
        list.Add(MakeEntry("x", offset));
    std::unique_ptr<TZipHeaderInfo> key(MakeEntry("k", 25));
    int index = -1;
    EXPECT_FALSE(list.Find(key.get(), index));
    EXPECT_EQ(index, 2);
    key->LocalHeaderOffset = 30;
    EXPECT_TRUE(list.Find(key.get(), index));
    EXPECT_EQ(index, 2);
    key->DiskNumberStart = 1;
    key->LocalHeaderOffset = 0;
    EXPECT_FALSE(list.Find(key.get(), index));
    EXPECT_EQ(index, 3);
}

std::vector<uint32_t> SortedOffsets(TZipSortMode mode, std::vector<TZipHeaderInfo*> entries) {
    TSortedZip list(mode);
    list.Duplicates = TDuplicates::Accept;
    for (TZipHeaderInfo* e : entries)
        list.Add(e);
    return Offsets(list);
}

TEST(SortedListTest, SortModes) {
    const uint32_t jan1 = (20u << 25 | 1u << 21 | 1u << 16) | (10u << 11);
    const uint32_t jun1 = (20u << 25 | 6u << 21 | 1u << 16);
    const uint32_t invalid = 13u << 21 | 1u << 16; // month 13
    EXPECT_EQ(
        SortedOffsets(TZipSortMode::ByDate, {MakeEntry("a", 1, jan1), MakeEntry("b", 2, jun1),
                                             MakeEntry("c", 3, jan1), MakeEntry("d", 4, invalid)}),
        (std::vector<uint32_t>{2, 1, 3, 4}));
    EXPECT_EQ(
        SortedOffsets(TZipSortMode::ByCompressedSize,
                      {MakeEntry("a", 1, 0, 5), MakeEntry("b", 2, 0, 9), MakeEntry("c", 3, 0, 5)}),
        (std::vector<uint32_t>{2, 1, 3}));
    EXPECT_EQ(SortedOffsets(TZipSortMode::ByUnCompressedSize,
                            {MakeEntry("a", 1, 0, 0, 7), MakeEntry("b", 2, 0, 0, 70)}),
              (std::vector<uint32_t>{2, 1}));
    // Ratios 50, 100 (capped from 200), 0 (empty) and 25.
    EXPECT_EQ(SortedOffsets(TZipSortMode::ByRate,
                            {MakeEntry("a", 1, 0, 50, 100), MakeEntry("b", 2, 0, 200, 100),
                             MakeEntry("c", 3, 0, 5, 0), MakeEntry("d", 4, 0, 25, 100)}),
              (std::vector<uint32_t>{2, 1, 4, 3}));
    EXPECT_EQ(
        SortedOffsets(TZipSortMode::ByFileName, {MakeEntry("z\\B.txt", 1), MakeEntry("a\\c.txt", 2),
                                                 MakeEntry("b\\a.txt", 3)}),
        (std::vector<uint32_t>{3, 1, 2}));
    EXPECT_EQ(SortedOffsets(TZipSortMode::ByDirectoryName,
                            {MakeEntry("Zed\\a", 1), MakeEntry("alpha\\b", 2), MakeEntry("c", 3)}),
              (std::vector<uint32_t>{3, 2, 1}));
    EXPECT_EQ(SortedOffsets(TZipSortMode::ByNone,
                            {MakeEntry("a", 30), MakeEntry("b", 10), MakeEntry("c", 20)}),
              (std::vector<uint32_t>{10, 20, 30}));
}

TEST(SortedListTest, CompareTextFoldsAsciiOnly) {
    EXPECT_EQ(CompareText("Title.BMP", "title.bmp"), 0);
    EXPECT_LT(CompareText("a", "B"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0);
    // CP1251 "А" (0xC0) and "а" (0xE0) are different letters to this comparison.
    EXPECT_NE(CompareText("\xC0", "\xE0"), 0);
}

TEST(HeaderInfoTest, FreshRecordDefaults) {
    TZipHeaderInfo e;
    EXPECT_EQ(e.VersionMadeBy, 20);
    EXPECT_EQ(e.VersionNeeded, 20);
    EXPECT_EQ(e.CompressionMethod, 8);
    EXPECT_EQ(e.Crc32, 0xFFFFFFFFu);
    EXPECT_EQ(e.InternalAttributes, 1);
    EXPECT_EQ(e.ExternalAttributes, 0x20u);
    EXPECT_FALSE(e.Comment.has_value());
    EXPECT_FALSE(e.Selected);
    EXPECT_EQ(e.LocalSize(), 30);
    EXPECT_EQ(e.CentralSize(), 46);
}

TEST(HeaderInfoTest, NameSplitting) {
    TZipHeaderInfo e;
    e.SetFullName("themes\\dark\\Title.bmp");
    EXPECT_EQ(e.Directory(), "themes\\dark\\");
    EXPECT_EQ(e.FileName(), "Title.bmp");
    EXPECT_EQ(e.FileNameLength, 21);
    e.SetFullName("plain.txt");
    EXPECT_EQ(e.Directory(), "");
    EXPECT_EQ(e.FileNameLength, 9);
    e.SetFullName("c:name");
    EXPECT_EQ(e.Directory(), "c:");
    EXPECT_EQ(e.FileName(), "name");
    e.SetDirectory("sub");
    EXPECT_EQ(e.Directory(), "sub\\");
    EXPECT_EQ(e.FullName(), "sub\\name");
    EXPECT_EQ(e.FileNameLength, 8);
    e.SetFileName("longer-name");
    EXPECT_EQ(e.FileNameLength, 15);
}

TEST(HeaderInfoTest, EndRecordClearAndAssign) {
    TEndCentral a;
    a.TotalEntries = 3;
    a.CentralOffset = 99;
    a.Comment = "hello";
    a.CommentLength = 2; // stale; Assign takes the comment's own length
    a.CommentOffset = 7;
    a.Modified = true;
    TEndCentral b;
    b.Assign(a);
    EXPECT_EQ(b.TotalEntries, 3);
    EXPECT_EQ(b.CentralOffset, 99u);
    EXPECT_EQ(b.CommentLength, 5);
    EXPECT_EQ(b.CommentOffset, 7u);
    EXPECT_FALSE(b.Modified);
    a.Clear();
    EXPECT_EQ(a.Signature, EndCentralSignature);
    EXPECT_EQ(a.TotalEntries, 0);
    EXPECT_FALSE(a.Comment.has_value());
    EXPECT_FALSE(a.Modified);
    uint8_t block[EndCentralSize];
    b.EncodeBlock(block);
    EXPECT_EQ(block[0], 0x50);
    EXPECT_EQ(block[3], 0x06);
    EXPECT_EQ(block[10], 3);
    EXPECT_EQ(block[16], 99);
    EXPECT_EQ(block[20], 5);
}

TEST(CodePageTest, CyrillicLettersMapBothWays) {
    // ПРИВЕТ, привет, Ёё in CP866 and CP1251.
    EXPECT_EQ(OemToAnsi("\x8F\x90\x88\x82\x85\x92"), "\xCF\xD0\xC8\xC2\xC5\xD2");
    EXPECT_EQ(OemToAnsi("\xAF\xE0\xA8\xA2\xA5\xE2"), "\xEF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(OemToAnsi("\xF0\xF1"), "\xA8\xB8");
    EXPECT_EQ(OemToAnsi("plain/ASCII"), "plain/ASCII");
    for (int oem = 0x80; oem < 0xB0; ++oem) {
        std::string one(1, static_cast<char>(oem));
        EXPECT_EQ(AnsiToOem(OemToAnsi(one)), one) << oem;
    }
    for (int oem = 0xE0; oem < 0xF8; ++oem) {
        std::string one(1, static_cast<char>(oem));
        EXPECT_EQ(AnsiToOem(OemToAnsi(one)), one) << oem;
    }
    // Box drawing has no CP1251 form and becomes ASCII; the length never changes.
    EXPECT_EQ(OemToAnsi("\xC4\xB3\xDA"), "-|+");
}

} // namespace
} // namespace glyptor::archive

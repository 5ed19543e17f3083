// Pictures read from themes, and entries that would grow beyond what the store accepts.
#include "tests/theme/StoreTestSupport.h"
#include "theme/gy3Store.h"

#include <QColor>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace glyptor::test {
namespace {

class StorePictureTest : public ::testing::Test {
protected:
    void OpenTheme(const Bytes& archive) {
        WriteFileBytes(Folder.File("theme.zip"), archive);
        Store.SetThemeFile(Folder.File("theme.zip"));
        ASSERT_TRUE(Store.Opened());
    }

    static QImage Marker() {
        QImage picture(3, 3, QImage::Format_RGB32);
        picture.fill(Qt::green);
        return picture;
    }

    TempFolder Folder;
    Tgy3Store Store;
};

TEST_F(StorePictureTest, BmpInAFolderIsFoundByItsKeyAndDecoded) {
    OpenTheme(ZipWithWriter({{"gy3layout.txt", {}},
                             {"Pics\\GY_TITLE1.BMP", BmpBytes(5, 2, 0x336699)},
                             {"gy_title2.bmp", CoreHeaderBmp()}}));
    EXPECT_EQ(Store.FindEntryName("gy_title1"), "Pics\\GY_TITLE1.BMP");
    QImage target = Marker();
    Store.ReadPicture("gy_title1", target);
    ASSERT_EQ(target.size(), QSize(5, 2));
    EXPECT_EQ(target.pixel(4, 1) & 0xFFFFFF, 0x336699u);

    // The 12-byte core header: a blue and a red pixel.
    Store.ReadPicture("gy_title2", target);
    ASSERT_EQ(target.size(), QSize(2, 1));
    EXPECT_EQ(QColor(target.pixel(0, 0)), QColor(Qt::blue));
    EXPECT_EQ(QColor(target.pixel(1, 0)), QColor(Qt::red));
}

TEST_F(StorePictureTest, OtherFormatsAndMissingPicturesLeaveTheTarget) {
    OpenTheme(ZipWithWriter({{"gy_logo.jpg", BmpBytes(8, 8, 0xFF0000)},
                             {"gy_tool1", BmpBytes(8, 8, 0xFF0000)},
                             {"gy_max.bmp.txt", BmpBytes(8, 8, 0xFF0000)}}));
    const QImage marker = Marker();
    for (const char* key : {"gy_logo", "gy_tool1", "gy_max", "gy_min"}) {
        QImage target = marker;
        Store.ReadPicture(key, target);
        EXPECT_EQ(target, marker) << key;
    }
}

TEST_F(StorePictureTest, EmptyBmpEntryEmptiesTheTarget) {
    OpenTheme(ZipWithWriter({{"gy_exit1.bmp", {}}}));
    QImage target = Marker();
    Store.ReadPicture("GY_EXIT1", target);
    EXPECT_TRUE(target.isNull());
}

TEST_F(StorePictureTest, DamagedBmpFailsAndLeavesTheTarget) {
    Bytes notBmp = BmpBytes(4, 4, 0);
    notBmp[0] = 'X';
    Bytes otherHeader = BmpBytes(4, 4, 0);
    otherHeader[14] = 108; // a version 4 header, which themes do not use
    Bytes cut = BmpBytes(40, 40, 0);
    cut.resize(60);
    OpenTheme(ZipWithWriter({{"gy_scan1.bmp", notBmp},
                             {"gy_scan2.bmp", otherHeader},
                             {"gy_www1.bmp", cut},
                             {"gy_www2.bmp", ToBytes("BM")}}));
    const QImage marker = Marker();
    for (const char* key : {"gy_scan1", "gy_scan2", "gy_www1", "gy_www2"}) {
        QImage target = marker;
        try {
            Store.ReadPicture(key, target);
            ADD_FAILURE() << key << " decoded";
        } catch (const EInvalidGraphic& error) {
            EXPECT_STREQ(error.what(), "Bitmap image is not valid");
        }
        EXPECT_EQ(target, marker) << key;
    }
}

TEST_F(StorePictureTest, ReadStreamAppendsTheEntryAndRewinds) {
    OpenTheme(ZipWithWriter({{"notes.txt", ToBytes("abc")}}));
    archive::TMemoryStream stream;
    stream.WriteBuffer("12", 2);
    Store.ReadStream("NOTES.TXT", &stream);
    EXPECT_EQ(ToText(stream.Data()), "12abc");
    EXPECT_EQ(stream.Position(), 0);
    Store.ReadStream("missing.txt", &stream);
    EXPECT_EQ(ToText(stream.Data()), "12abc");
}

TEST_F(StorePictureTest, EntryDeclaredLargerThanTheLimitFailsCleanly) {
    Bytes archive = ZipWithWriter(
        {{"gy3layout.txt", ToBytes("a.b=1\r\n")}, {"gy_title1.bmp", BmpBytes(2, 2, 0)}});
    PatchUncompressedSize(archive, 1, 0xFFFFFFF0u);
    OpenTheme(archive);
    QImage target = Marker();
    EXPECT_THROW(Store.ReadPicture("gy_title1", target), EDamagedEntry);
    EXPECT_EQ(target, Marker());
    // The store goes on answering from the rest of the theme.
    TLayoutValue value;
    Store.ReadValue("a", "b", value, vkInteger);
    EXPECT_EQ(std::get<std::int32_t>(value), 1);
}

TEST_F(StorePictureTest, EntryThatOutgrowsItsDeclaredSizeFailsCleanly) {
    Bytes archive = ZipWithWriter(
        {{"gy_title1.bmp", Bytes(100000, 0x42)}, {"gy_title2.bmp", BmpBytes(2, 2, 0x0000FF)}});
    PatchUncompressedSize(archive, 0, 1000);
    OpenTheme(archive);
    QImage target = Marker();
    EXPECT_THROW(Store.ReadPicture("gy_title1", target), EDamagedEntry);
    EXPECT_EQ(target, Marker());
    // The failed extraction leaves the archive usable.
    Store.ReadPicture("gy_title2", target);
    EXPECT_EQ(target.size(), QSize(2, 2));
}

TEST_F(StorePictureTest, LayoutBombMadeByZipFailsTheOpen) {
    if (!HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    // 80 MiB of zeros pack into some 80 KiB.
    std::string output;
    ASSERT_EQ(RunCommand("cd '" + Folder.Path().string() +
                             "' && head -c 83886080 /dev/zero > gy3layout.txt && zip -q -9 -X "
                             "bomb.zip gy3layout.txt && rm gy3layout.txt",
                         output),
              0);
    try {
        Store.SetThemeFile(Folder.File("bomb.zip"));
        FAIL() << "the bomb was read";
    } catch (const EDamagedEntry& error) {
        EXPECT_NE(std::string(error.what()).find("gy3layout.txt"), std::string::npos);
    }
    ASSERT_NE(Store.Layout(), nullptr);
    EXPECT_TRUE(Store.Layout()->empty());
}

// The patterns that select one entry are as many as its name has letters; built all at once
// for a 40,000-character name they took gigabytes.
TEST_F(StorePictureTest, VeryLongPictureNameIsReadWithoutBuildingEveryPattern) {
    const std::string name = std::string(40000, 'x') + "gy_tool1.bmp";
    OpenTheme(ZipWithWriter({{"other.txt", ToBytes("x")}, {name, BmpBytes(2, 2, 0x00FF00)}}));
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    QImage picture;
    Store.ReadPicture("gy_tool1", picture);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(picture.size(), QSize(2, 2));
    // ru_maxrss is in kilobytes.
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200 * 1024);
}

} // namespace
} // namespace glyptor::test

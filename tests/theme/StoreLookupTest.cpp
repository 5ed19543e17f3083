// Entry names, the layout text and typed layout values, on archives written by our own writer
// and by Info-ZIP zip.
#include "tests/theme/StoreTestSupport.h"
#include "theme/gy3Store.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace glyptor::test {
namespace {

enum class Maker { OurWriter, InfoZip };

std::string MakerName(const ::testing::TestParamInfo<Maker>& info) {
    return info.param == Maker::OurWriter ? "OurWriter" : "InfoZip";
}

// Opens a store on an archive of the entries, made by the test's archive maker.
class StoreLookupTest : public ::testing::TestWithParam<Maker> {
protected:
    void OpenTheme(const EntryList& entries) {
        Bytes archive;
        if (GetParam() == Maker::InfoZip) {
            if (!HaveTool("zip"))
                GTEST_SKIP() << "Info-ZIP zip is not installed";
            archive = ZipWithInfoZip(Folder.Path(), entries);
            ASSERT_FALSE(archive.empty()) << "zip failed";
        } else {
            archive = ZipWithWriter(entries);
        }
        WriteFileBytes(Folder.File("theme.zip"), archive);
        Store.SetThemeFile(Folder.File("theme.zip"));
        ASSERT_TRUE(Store.Opened());
    }

    void OpenLayout(const std::string& layout) { OpenTheme({{"gy3layout.txt", ToBytes(layout)}}); }

    TLayoutValue Value(const std::string& section, const std::string& name, TValueKind kind) {
        TLayoutValue value;
        Store.ReadValue(section, name, value, kind);
        return value;
    }

    std::string ConvertMessage(const std::string& section, const std::string& name,
                               TValueKind kind) {
        try {
            Value(section, name, kind);
        } catch (const EConvertError& error) {
            return error.what();
        }
        return "no error";
    }

    TempFolder Folder;
    Tgy3Store Store;
};

TEST_P(StoreLookupTest, FindEntryNameTakesTheFirstEntryContainingTheKey) {
    OpenTheme({{"gy3layout.txt", {}},
               {"gy_title1.bmp", {}},
               {"gy_tools1.bmp", {}},
               {"gy_tool10.bmp", {}},
               {"gy_tool1.bmp", {}},
               {"Pics\\GY_TITLE2.BMP", {}}});
    EXPECT_EQ(Store.FindEntryName("gy_title2"), "Pics\\GY_TITLE2.BMP");
    EXPECT_EQ(Store.FindEntryName(" GY_Title1 "), "gy_title1.bmp");
    // The key must occur inside the name: gy_tile1 is not part of gy_title1.bmp.
    EXPECT_EQ(Store.FindEntryName("gy_tile1"), "gy_tile1");
    // The earlier gy_tool10.bmp contains gy_tool1, gy_tools1.bmp does not.
    EXPECT_EQ(Store.FindEntryName("gy_tool1"), "gy_tool10.bmp");
    EXPECT_EQ(Store.FindEntryName("pics\\"), "Pics\\GY_TITLE2.BMP");
}

TEST_P(StoreLookupTest, EntryExistsComparesWholeNamesWithoutCase) {
    OpenTheme({{"themes\\gy3layout.txt", {}}, {"GY_LOGO.BMP", {}}});
    EXPECT_TRUE(Store.EntryExists("gy_logo.bmp"));
    EXPECT_TRUE(Store.EntryExists("  gy_logo.bmp\t"));
    EXPECT_TRUE(Store.EntryExists("THEMES\\GY3LAYOUT.TXT"));
    EXPECT_FALSE(Store.EntryExists("gy3layout.txt"));
    EXPECT_FALSE(Store.EntryExists("gy_logo"));
}

TEST_P(StoreLookupTest, LayoutIsTheTopLevelEntryOnly) {
    OpenTheme({{"themes\\gy3layout.txt", ToBytes("panel.color=1\r\n")},
               {"GY3LAYOUT.TXT", ToBytes("panel.color=2\r\n")}});
    ASSERT_NE(Store.Layout(), nullptr);
    // Only the top-level entry is read, not its namesake in a folder as well.
    EXPECT_EQ(*Store.Layout(), TStringList{"panel.color=2"});
}

TEST_P(StoreLookupTest, LayoutInAFolderOnlyGivesAnEmptyLayout) {
    OpenTheme({{"themes\\gy3layout.txt", ToBytes("panel.color=1\r\n")}, {"gy_logo.bmp", {}}});
    ASSERT_NE(Store.Layout(), nullptr);
    EXPECT_TRUE(Store.Layout()->empty());
}

TEST_P(StoreLookupTest, ThemeWithoutLayoutFailsEveryIntegerRead) {
    OpenTheme({{"gy_logo.bmp", BmpBytes(1, 1, 0)}});
    EXPECT_EQ(ConvertMessage("panel", "color", vkInteger), "'' is not a valid integer value");
    EXPECT_EQ(ConvertMessage("font", "size", vkSmallint), "'' is not a valid integer value");
    EXPECT_EQ(std::get<std::string>(Value("font", "name", vkString)), "");
}

TEST_P(StoreLookupTest, KeysMatchTheTextBeforeTheFirstEqualsSign) {
    OpenLayout("[panel]\n"
               "panel.COLOR=5\n"
               "PANEL.COLOR=6\n"
               "panel.width = 7\n"
               "font.name=Tahoma=Bold \n"
               "strip.height\n"
               "strip.height=8\n");
    EXPECT_EQ(std::get<std::int32_t>(Value("PANEL", "color", vkInteger)), 5);
    // Nothing is trimmed: "panel.width " is not the key PANEL.WIDTH.
    EXPECT_EQ(ConvertMessage("panel", "width", vkInteger), "'' is not a valid integer value");
    EXPECT_EQ(std::get<std::string>(Value("font", "name", vkString)), "Tahoma=Bold ");
    EXPECT_EQ(std::get<std::string>(Value("font", "name", vkOleStr)), "Tahoma=Bold ");
    EXPECT_EQ(std::get<std::int32_t>(Value("strip", "height", vkByte)), 8);
}

TEST_P(StoreLookupTest, LayoutLinesEndAtAnyLineBreakAndAtAZeroByte) {
    std::string text = "a=1\rb=2\nc=3\r\n\r\nd=4\n\re=5";
    text += '\0';
    text += "f=6\r\n";
    OpenLayout(text);
    ASSERT_NE(Store.Layout(), nullptr);
    EXPECT_EQ(*Store.Layout(), (TStringList{"a=1", "b=2", "c=3", "", "d=4", "", "e=5"}));
}

TEST_P(StoreLookupTest, ValueKindsConvertOrLeaveTheResult) {
    OpenLayout("a.int=$FF\r\na.real=1.5\r\na.text= x \r\n");
    for (TValueKind kind : {vkSmallint, vkInteger, vkSingle, vkDouble, vkByte})
        EXPECT_EQ(std::get<std::int32_t>(Value("a", "int", kind)), 255) << "kind " << kind;
    // The real kinds take integers too: 1.5 is no valid value for them.
    EXPECT_EQ(ConvertMessage("a", "real", vkDouble), "'1.5' is not a valid integer value");
    EXPECT_EQ(std::get<std::string>(Value("a", "text", vkString)), " x ");

    TLayoutValue kept = std::string("before");
    for (TValueKind kind : {0, 1, 9, 11, 12, 255, 257}) {
        Store.ReadValue("a", "int", kept, kind);
        EXPECT_EQ(std::get<std::string>(kept), "before") << "kind " << kind;
    }
    TLayoutValue failed = 42;
    EXPECT_THROW(Store.ReadValue("a", "real", failed, vkInteger), EConvertError);
    EXPECT_EQ(std::get<std::int32_t>(failed), 42);
}

INSTANTIATE_TEST_SUITE_P(Makers, StoreLookupTest,
                         ::testing::Values(Maker::OurWriter, Maker::InfoZip), MakerName);

TEST(StoreLookupClosed, ClosedStoreAnswersFromNothing) {
    Tgy3Store store;
    EXPECT_EQ(store.FindEntryName(" gy_Title1 "), " gy_Title1 ");
    EXPECT_FALSE(store.EntryExists("gy3layout.txt"));
    // Without any layout a read leaves the result alone, whatever the kind.
    TLayoutValue value;
    store.ReadValue("panel", "color", value, vkInteger);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(value));
    TStringList lines{"kept"};
    store.ReadStrings("gy3layout.txt", &lines);
    EXPECT_EQ(lines, TStringList{"kept"});
    EXPECT_THROW(store.WriteStrings("gy3layout.txt", &lines), EThemeError);
}

TEST(LayoutInteger, AcceptedForms) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"12", 12},
        {" 12", 12},
        {"\t  12", 12},
        {"+12", 12},
        {"-12", -12},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$FF", 255},
        {"$ff", 255},
        {"x1F", 31},
        {"X1f", 31},
        {"0x1F", 31},
        {"0X1F", 31},
        {"$FFFFFFFF", -1},
        {"$80000000", INT32_MIN},
        {"0x0000000a", 10},
        {"  $7FFFFFFF", INT32_MAX},
    };
    for (const auto& [text, expected] : cases) {
        std::int32_t value = 0;
        EXPECT_TRUE(ParseLayoutInteger(text, value)) << text;
        EXPECT_EQ(value, expected) << text;
    }
}

TEST(LayoutInteger, RejectedForms) {
    for (const char* text :
         {"",      " ",   "12 ",   "1.5",        "+",           "-",
          "--1",   "+-1", "1e3",   "2147483648", "-2147483649", "99999999999999999999",
          "$",     "0x",  "x",     "$1FFFFFFFF", "0x000000001", "-$FF",
          "+0x10", "$FG", "0x1F ", "$ FF",       "12abc",       "0 x1"}) {
        std::int32_t value = 77;
        EXPECT_FALSE(ParseLayoutInteger(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 77) << text;
    }
}

TEST(LayoutDateTime, UserShortFormatsAreRead) {
    TempFolder folder;
    WriteFileBytes(
        folder.File("t.zip"),
        ZipWithWriter(
            {{"gy3layout.txt",
              ToBytes(
                  "a.when=" +
                  QLocale()
                      .toString(QDateTime(QDate(2024, 3, 9), QTime(17, 45)), QLocale::ShortFormat)
                      .toStdString() +
                  "\r\na.day=" +
                  QLocale().toString(QDate(2023, 12, 31), QLocale::ShortFormat).toStdString() +
                  "\r\na.bad=yesterday\r\n")}}));
    Tgy3Store store;
    store.SetThemeFile(folder.File("t.zip"));
    TLayoutValue value;
    store.ReadValue("a", "when", value, vkDate);
    const QDateTime when = std::get<QDateTime>(value);
    EXPECT_EQ(when.time(), QTime(17, 45));
    EXPECT_EQ(when.date().month(), 3);
    EXPECT_EQ(when.date().day(), 9);
    store.ReadValue("a", "day", value, vkDate);
    EXPECT_EQ(std::get<QDateTime>(value).date().day(), 31);
    try {
        store.ReadValue("a", "bad", value, vkDate);
        FAIL() << "a word was taken for a date";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'yesterday' is not a valid date and time");
    }
}

} // namespace
} // namespace glyptor::test

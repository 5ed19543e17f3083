// The save dialog's rules: suggested names, depths of the types, the kind a typed name asks for.
#include "export/actions/SaveRules.h"

#include <gtest/gtest.h>

using namespace glyptor;

TEST(SuggestedSaveName, EveryDotBecomesAnUnderscore) {
    EXPECT_EQ(SuggestedSaveName("shell32.dll", 3), "shell32_dll_3");
    EXPECT_EQ(SuggestedSaveName("setup.ex_", 0), "setup_ex__0");
    EXPECT_EQ(SuggestedSaveName("README", 12), "README_12");
    EXPECT_EQ(SuggestedSaveName("a.b.c.ico", 1), "a_b_c_ico_1");
    // A record without a folder node holds the full path; its dots go too.
    EXPECT_EQ(SuggestedSaveName("C:\\dir.v2\\x.exe", 7), "C:\\dir_v2\\x_exe_7");
}

TEST(SaveFileTypes, FiveTypesWithTheirDescriptionsAndPatternsThenThe32BitIcon) {
    EXPECT_EQ(TypeDescriptions(SaveFileTypes()),
              QStringList({"Icon files (16 color ico)", "Icon files (256 color ico)",
                           "Icon files (High-color ico)", "Icon files (True color ico)",
                           "Bitmap files (*.bmp)", "32-битный значок"}));
    const QStringList filters = NameFiltersFromTypeList(SaveFileTypes());
    ASSERT_EQ(filters.size(), 6);
    EXPECT_EQ(filters[5], "32-битный значок (*.ico)");
    EXPECT_EQ(filters[0], "Icon files (16 color ico) (*.ico)");
    EXPECT_EQ(filters[4], "Bitmap files (*.bmp) (*.bmp)");
    // A description without its pattern is not a type.
    EXPECT_EQ(NameFiltersFromTypeList("Only|*.x|Dangling"), QStringList{"Only (*.x)"});
}

TEST(DepthCodeForSaveType, IconTypesHaveCodesThePictureTypeKeepsTheLastOne) {
    EXPECT_EQ(DepthCodeForSaveType(1), std::optional<std::uint8_t>(1));
    EXPECT_EQ(DepthCodeForSaveType(2), std::optional<std::uint8_t>(2));
    EXPECT_EQ(DepthCodeForSaveType(3), std::optional<std::uint8_t>(4));
    EXPECT_EQ(DepthCodeForSaveType(4), std::optional<std::uint8_t>(5));
    EXPECT_FALSE(DepthCodeForSaveType(5));
    EXPECT_FALSE(DepthCodeForSaveType(0));
    EXPECT_FALSE(DepthCodeForSaveType(6));
}

TEST(SaveKindForName, TheExtensionDecidesWithoutRegardToCase) {
    EXPECT_EQ(SaveKindForName("/tmp/a.ico"), SaveKind::Icon);
    EXPECT_EQ(SaveKindForName("/tmp/A.ICO"), SaveKind::Icon);
    EXPECT_EQ(SaveKindForName("/tmp/a.Bmp"), SaveKind::Picture);
    EXPECT_EQ(SaveKindForName("/tmp/a.png"), SaveKind::Nothing);
    EXPECT_EQ(SaveKindForName("/tmp/a.ico.txt"), SaveKind::Nothing);
    EXPECT_EQ(SaveKindForName("/tmp/ico"), SaveKind::Nothing);
    EXPECT_EQ(SaveKindForName("/tmp/a."), SaveKind::Nothing);
    // A dot in a folder's name is no extension of the file.
    EXPECT_EQ(SaveKindForName("/tmp/x.ico/name"), SaveKind::Nothing);
    EXPECT_EQ(SaveKindForName("C:\\x.bmp\\name"), SaveKind::Nothing);
    EXPECT_EQ(SaveKindForName("/tmp/.ico"), SaveKind::Icon);
}

TEST(TypeOfNameFilter, WholeFiltersAndBareDescriptionsBothGiveTheirType) {
    const QStringList filters = NameFiltersFromTypeList(SaveFileTypes());
    const QStringList descriptions = TypeDescriptions(SaveFileTypes());
    for (int type = 1; type <= 6; ++type) {
        EXPECT_EQ(TypeOfNameFilter(SaveFileTypes(), filters[type - 1]), type);
        EXPECT_EQ(TypeOfNameFilter(SaveFileTypes(), descriptions[type - 1]), type);
    }
    EXPECT_EQ(TypeOfNameFilter(SaveFileTypes(), "All files (*)"), 0);
    EXPECT_EQ(TypeOfNameFilter(SaveFileTypes(), ""), 0);
}

TEST(DefaultSuffixForType, TheTypesPatternElseTheFallback) {
    EXPECT_EQ(DefaultSuffixForType(SaveFileTypes(), 1, "ico"), "ico");
    EXPECT_EQ(DefaultSuffixForType(SaveFileTypes(), 5, "ico"), "bmp");
    EXPECT_EQ(DefaultSuffixForType(SaveFileTypes(), 0, "ico"), "ico");
    EXPECT_EQ(DefaultSuffixForType(SaveFileTypes(), 6, "ico"), "ico");
    EXPECT_EQ(DefaultSuffixForType("All|*.*|Two|*.a;*.b|Any|*|Bare|png", 1, "x"), "x");
    EXPECT_EQ(DefaultSuffixForType("All|*.*|Two|*.a;*.b|Any|*|Bare|png", 2, "x"), "x");
    EXPECT_EQ(DefaultSuffixForType("All|*.*|Two|*.a;*.b|Any|*|Bare|png", 3, "x"), "x");
    EXPECT_EQ(DefaultSuffixForType("All|*.*|Two|*.a;*.b|Any|*|Bare|png", 4, "x"), "x");
}

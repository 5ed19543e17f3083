// The write path of a store whose ReadOnly is off: entries written and deleted in memory, and
// the theme file replaced on close with the old one kept as ".~zip".
#include "archive/ZipReader.h"
#include "tests/theme/StoreTestSupport.h"
#include "theme/gy3Store.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace glyptor::test {
namespace {

namespace fs = std::filesystem;

// The entry names and the content of one entry of the archive file, read by our reader.
struct ArchiveView {
    std::vector<std::string> Names;
    Bytes Content;
};

ArchiveView ViewArchive(const std::string& path, const std::string& entry) {
    archive::TZipReader reader;
    reader.DoProcessMessages = false;
    reader.SetArchiveStream(std::make_unique<archive::TMemoryStream>(ReadFileBytes(path)));
    reader.ReadDirectory();
    ArchiveView view;
    for (int i = 0; i < reader.EntryCount(); ++i)
        view.Names.push_back(reader.EntryName(i));
    archive::TMemoryStream content;
    reader.ExtractToStream(content, entry);
    view.Content = content.Data();
    return view;
}

std::vector<std::string> FolderContent(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class StoreWriteBackTest : public ::testing::Test {
protected:
    void SetUp() override { Store.SetReadOnly(false); }

    TempFolder Folder;
    Tgy3Store Store;
};

TEST_F(StoreWriteBackTest, CloseKeepsTheOldFileAndWritesTheLayoutWithCrLf) {
    const EntryList entries = {{"gy3layout.txt", ToBytes("panel.color=5\nfont.name=Arial")},
                               {"Pics\\gy_title1.bmp", BmpBytes(3, 3, 0x112233)}};
    std::vector<std::pair<std::string, Bytes>> themes = {{"ours", ZipWithWriter(entries)}};
    if (HaveTool("zip"))
        themes.emplace_back("zip", ZipWithInfoZip(Folder.Path(), entries));
    else
        std::cout << "Info-ZIP zip is not installed: only our writer's theme is checked\n";

    for (const auto& [maker, original] : themes) {
        SCOPED_TRACE(maker);
        const fs::path folder = Folder.Path() / maker;
        fs::create_directory(folder);
        const std::string path = (folder / "dark.zip").string();
        WriteFileBytes(path, original);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);

        Tgy3Store store;
        store.SetReadOnly(false);
        store.SetThemeFile(path);
        store.Close();
        EXPECT_FALSE(store.Opened());
        EXPECT_EQ(store.Layout(), nullptr);

        EXPECT_EQ(FolderContent(folder), (std::vector<std::string>{"dark.zip", "dark.~zip"}));
        EXPECT_EQ(ReadFileBytes(folder / "dark.~zip"), original);
        const ArchiveView view = ViewArchive(path, "gy3layout.txt");
        // The rewritten layout goes last; the picture keeps its folder.
        EXPECT_EQ(view.Names, (std::vector<std::string>{"Pics\\gy_title1.bmp", "gy3layout.txt"}));
        EXPECT_EQ(ToText(view.Content), "panel.color=5\r\nfont.name=Arial\r\n");
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640u);

        if (HaveTool("unzip")) {
            std::string output;
            EXPECT_EQ(RunCommand("unzip -p '" + path + "' gy3layout.txt", output), 0);
            EXPECT_EQ(output, "panel.color=5\r\nfont.name=Arial\r\n");
            EXPECT_EQ(RunCommand("unzip -tq '" + path + "' >/dev/null 2>&1", output), 0);
        }

        Tgy3Store reader;
        reader.SetThemeFile(path);
        QImage picture;
        reader.ReadPicture("gy_title1", picture);
        EXPECT_EQ(picture.pixel(1, 1) & 0xFFFFFF, 0x112233u);
    }
}

TEST_F(StoreWriteBackTest, DestroyingTheStoreWritesBackAndAThemeWithoutLayoutGetsOne) {
    const std::string path = Folder.File("plain.zip");
    WriteFileBytes(path, ZipWithWriter({{"gy_logo.bmp", BmpBytes(1, 1, 0)}}));
    {
        Tgy3Store store;
        store.SetReadOnly(false);
        store.SetThemeFile(path);
    }
    const ArchiveView view = ViewArchive(path, "gy3layout.txt");
    EXPECT_EQ(view.Names, (std::vector<std::string>{"gy_logo.bmp", "gy3layout.txt"}));
    EXPECT_TRUE(view.Content.empty());
    EXPECT_TRUE(fs::exists(Folder.File("plain.~zip")));
}

TEST_F(StoreWriteBackTest, FailedWriteBackLeavesTheStoreOpenAndTheThemeWhole) {
    const fs::path folder = Folder.Path() / "themes";
    const std::string path = (folder / "dark.zip").string();
    const Bytes original = ZipWithWriter({{"gy3layout.txt", ToBytes("a.b=1\r\n")}});
    WriteFileBytes(path, original);
    Store.SetThemeFile(path);
    // The theme's folder goes away, so no file can be created beside the theme.
    fs::rename(folder, Folder.Path() / "moved");
    try {
        Store.Close();
        FAIL() << "the write-back reported success";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file " + path);
    }
    EXPECT_TRUE(Store.Opened());
    EXPECT_TRUE(Store.EntryExists("gy3layout.txt"));
    EXPECT_EQ(ReadFileBytes(Folder.Path() / "moved" / "dark.zip"), original);
    EXPECT_EQ(FolderContent(Folder.Path() / "moved"), std::vector<std::string>{"dark.zip"});

    // Once the folder is back, the next close succeeds with the layout written before.
    fs::rename(Folder.Path() / "moved", folder);
    Store.Close();
    EXPECT_FALSE(Store.Opened());
    EXPECT_EQ(ToText(ViewArchive(path, "gy3layout.txt").Content), "a.b=1\r\n");
}

TEST_F(StoreWriteBackTest, WriteStringsReplacesAndDeleteEntryRemovesOnlyThatEntry) {
    const std::string path = Folder.File("t.zip");
    WriteFileBytes(path, ZipWithWriter({{"notes.txt", ToBytes("old")},
                                        {"themes\\gy3layout.txt", ToBytes("x.y=1")},
                                        {"gy3layout.txt", ToBytes("x.y=2")},
                                        {"gy_tool1.bmp", {}}}));
    Store.SetThemeFile(path);

    const TStringList notes{"one", "", "three"};
    Store.WriteStrings("NOTES.TXT", &notes);
    TStringList lines;
    Store.ReadStrings("notes.txt", &lines);
    EXPECT_EQ(lines, (TStringList{"one", "", "three"}));
    Store.WriteStrings("skins\\extra.txt", nullptr); // no list: nothing happens
    TStringList extra{"e"};
    Store.WriteStrings("skins\\extra.txt", &extra);
    EXPECT_TRUE(Store.EntryExists("skins\\extra.txt"));

    Store.DeleteEntry("gy3layout.txt");
    EXPECT_FALSE(Store.EntryExists("gy3layout.txt"));
    EXPECT_TRUE(Store.EntryExists("themes\\gy3layout.txt"));
    Store.DeleteEntry("missing.txt");

    Store.SetReadOnly(true);
    Store.Close();
    // A read-only close writes nothing back.
    EXPECT_EQ(ViewArchive(path, "x").Names.size(), 4u);
}

TEST_F(StoreWriteBackTest, SaveLayoutReleasesTheLayout) {
    const std::string path = Folder.File("t.zip");
    WriteFileBytes(path, ZipWithWriter({{"gy3layout.txt", ToBytes("a.b=3\r\n")}}));
    Store.SetThemeFile(path);
    Store.SaveLayout();
    EXPECT_EQ(Store.Layout(), nullptr);
    TLayoutValue value = std::string("kept");
    Store.ReadValue("a", "b", value, vkInteger);
    EXPECT_EQ(std::get<std::string>(value), "kept");
    Store.LoadLayout();
    Store.ReadValue("a", "b", value, vkInteger);
    EXPECT_EQ(std::get<std::int32_t>(value), 3);
}

} // namespace
} // namespace glyptor::test

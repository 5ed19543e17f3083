// Archives written at test time by Info-ZIP zip, Python's zipfile and 7-Zip: every entry must
// extract byte for byte. A tool that is not installed skips its cases.
#include "ArchiveTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

namespace glyptor::archive::test {
namespace {

namespace fs = std::filesystem;

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

class ExternalToolsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Dir = fs::temp_directory_path() /
              ("glyptor-archive-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Dir);
        fs::create_directories(Dir / "in" / "sub");
        std::mt19937 rng(11);
        std::string text;
        while (text.size() < 20000)
            text += "[Main]\r\nTitle=Glyptor theme " + std::to_string(rng() % 1000) + "\r\n";
        Files["gy3layout.txt"] = ToBytes(text);
        // A small 8-bit BMP: header, palette, and a gradient with some noise.
        Bytes bmp = {'B', 'M'};
        bmp.resize(54 + 1024 + 128 * 128);
        for (size_t i = 54; i < bmp.size(); ++i)
            bmp[i] = static_cast<uint8_t>((i / 128 + (rng() % 4 == 0 ? rng() : 0)) & 0xFF);
        Files["Title1.bmp"] = bmp;
        Files["empty.txt"] = {};
        Files["sub/deep.txt"] = ToBytes(std::string(3000, 'd'));
        for (const auto& [name, data] : Files) {
            std::ofstream out(Dir / "in" / name, std::ios::binary);
            out.write(reinterpret_cast<const char*>(data.data()),
                      static_cast<std::streamsize>(data.size()));
        }
    }
    void TearDown() override {
        if (!HasFailure())
            fs::remove_all(Dir);
    }

    // Runs a shell command inside the input folder.
    void Run(const std::string& command) {
        std::string line =
            "cd '" + (Dir / "in").string() + "' && (" + command + ") >/dev/null 2>&1";
        ASSERT_EQ(std::system(line.c_str()), 0) << command;
    }

    std::string FileList() const { return "gy3layout.txt Title1.bmp empty.txt sub/deep.txt"; }

    // Reads the archive and extracts every file by its full name.
    void CheckArchive(const std::string& archiveName, const std::string& password = "",
                      const std::string& comment = "") {
        SCOPED_TRACE(archiveName);
        auto reader = OpenArchive(ReadFileBytes(Dir / archiveName));
        reader->Password = password;
        try {
            reader->ReadDirectory();
        } catch (const std::exception& error) {
            FAIL() << archiveName << ": " << error.what();
        }
        EXPECT_FALSE(reader->Rebuilt());
        for (const auto& [name, data] : Files) {
            std::string listed = name;
            for (char& c : listed)
                if (c == '/')
                    c = '\\';
            Bytes out;
            EXPECT_EQ(Extract(*reader, listed, out), 1) << name;
            EXPECT_TRUE(out == data) << name;
        }
        if (!comment.empty()) {
            EXPECT_EQ(reader->ArchiveComment(), comment);
        }
    }

    fs::path Dir;
    std::map<std::string, Bytes> Files;
};

TEST_F(ExternalToolsTest, InfoZip) {
    if (!HaveTool("zip"))
        GTEST_SKIP() << "Info-ZIP zip is not installed";
    Run("zip -q -6 ../deflate.zip " + FileList());
    CheckArchive("deflate.zip");
    Run("zip -q -9 -r ../recursive.zip .");
    CheckArchive("recursive.zip");
    Run("zip -q -0 ../stored.zip " + FileList());
    CheckArchive("stored.zip");
    Run("printf 'theme archive comment' | zip -q -z ../comment.zip " + FileList());
    CheckArchive("comment.zip", "", "theme archive comment");
    // Writing to a pipe gives every entry a data descriptor.
    Run("zip -q - " + FileList() + " | cat > ../descriptor.zip");
    CheckArchive("descriptor.zip");
    Run("zip -q -P s3cret ../encrypted.zip " + FileList());
    CheckArchive("encrypted.zip", "s3cret");
}

TEST_F(ExternalToolsTest, PythonZipfile) {
    if (!HaveTool("python3"))
        GTEST_SKIP() << "python3 is not installed";
    std::string script =
        "import zipfile\n"
        "files = ['gy3layout.txt', 'Title1.bmp', 'empty.txt', 'sub/deep.txt']\n"
        "for name, method, level in [('../py-deflate.zip', zipfile.ZIP_DEFLATED, 9),\n"
        "                            ('../py-fast.zip', zipfile.ZIP_DEFLATED, 1),\n"
        "                            ('../py-stored.zip', zipfile.ZIP_STORED, None)]:\n"
        "    with zipfile.ZipFile(name, 'w', method, compresslevel=level) as z:\n"
        "        z.comment = b'python comment'\n"
        "        for f in files:\n"
        "            z.write(f)\n"
        "        z.getinfo('Title1.bmp').comment = b'picture'\n";
    std::ofstream(Dir / "in" / "make.py") << script;
    Run("python3 make.py");
    for (const char* name : {"py-deflate.zip", "py-fast.zip", "py-stored.zip"}) {
        CheckArchive(name, "", "python comment");
        auto reader = OpenArchive(ReadFileBytes(Dir / name));
        reader->ReadDirectory();
        for (int i = 0; i < reader->EntryCount(); ++i)
            if (reader->EntryName(i) == "Title1.bmp") {
                EXPECT_EQ(reader->EntryComment(i), "picture");
            }
    }
}

TEST_F(ExternalToolsTest, SevenZip) {
    if (!HaveTool("7z"))
        GTEST_SKIP() << "7-Zip (7z) is not installed";
    Run("7z a -tzip -mx=5 ../7z-deflate.zip " + FileList());
    CheckArchive("7z-deflate.zip");
    Run("7z a -tzip -mx=9 ../7z-ultra.zip " + FileList());
    CheckArchive("7z-ultra.zip");
    Run("7z a -tzip -mm=Copy ../7z-stored.zip " + FileList());
    CheckArchive("7z-stored.zip");
    Run("7z a -tzip -mem=ZipCrypto -pse7en ../7z-encrypted.zip " + FileList());
    CheckArchive("7z-encrypted.zip", "se7en");
}

} // namespace
} // namespace glyptor::archive::test

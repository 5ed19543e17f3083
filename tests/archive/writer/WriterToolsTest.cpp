// Archives this writer produces, read by other programs: Info-ZIP unzip, Python's zipfile and
// 7-Zip must each accept every archive and restore every entry byte for byte. Each tool's test
// skips when the tool is not installed.
#include "archive/ZipWriter.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/archive/writer/WriterTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace glyptor::archive::test {
namespace {

struct Scenario {
    std::string Name;
    Bytes Archive;
    std::map<std::string, Bytes> Contents; // entry name as stored ("/" separators) -> bytes
    std::string Password;
};

// Every way the writer can produce an archive, each with the contents it must hold.
std::vector<Scenario> Scenarios() {
    std::vector<Scenario> all;
    const Bytes text = SampleText(30000, 1);
    const Bytes bitmap = SampleBitmap(64, 64, 2);
    const Bytes program = SampleExecutable(40000, 3);
    const Bytes noise = RandomBytes(3000, 4);

    {
        auto writer = NewWriter();
        AddBytes(*writer, "gy3layout.txt", text);
        AddBytes(*writer, "Title1.bmp", bitmap);
        AddBytes(*writer, "empty.txt", {});
        AddBytes(*writer, "noise.bin", noise);
        all.push_back({"new",
                       StreamBytes(*writer),
                       {{"gy3layout.txt", text},
                        {"Title1.bmp", bitmap},
                        {"empty.txt", {}},
                        {"noise.bin", noise}},
                       ""});
    }
    ZipBuilder builder;
    builder.AddDeflated("themes/Title1.bmp", bitmap).LocalExtra = Bytes(8, 1);
    builder.AddStored("readme.txt", ToBytes("read me")).Comment = "about";
    builder.AddDeflated("tools.exe", program);
    builder.ArchiveComment = "theme";
    const Bytes existing = builder.Build();
    {
        auto writer = NewWriter(existing);
        AddBytes(*writer, "added.txt", text);
        all.push_back({"added to",
                       StreamBytes(*writer),
                       {{"themes/Title1.bmp", bitmap},
                        {"readme.txt", ToBytes("read me")},
                        {"tools.exe", program},
                        {"added.txt", text}},
                       ""});
    }
    {
        auto writer = NewWriter(existing);
        writer->PackLevel = 9;
        AddBytes(*writer, "c:\\somewhere\\readme.txt", text);
        all.push_back(
            {"replaced into",
             StreamBytes(*writer),
             {{"themes/Title1.bmp", bitmap}, {"readme.txt", text}, {"tools.exe", program}},
             ""});
    }
    {
        auto writer = NewWriter(existing);
        writer->FilesList = {"*.bmp", "readme.txt"};
        writer->DeleteListed();
        all.push_back({"deleted from", StreamBytes(*writer), {{"tools.exe", program}}, ""});
    }
    {
        auto writer = NewWriter(existing);
        writer->ReadDirectory();
        writer->SetEntryComment(2, "the tools");
        writer->SetArchiveComment("a changed comment");
        writer->FlushChanges();
        all.push_back({"comments changed",
                       StreamBytes(*writer),
                       {{"themes/Title1.bmp", bitmap},
                        {"readme.txt", ToBytes("read me")},
                        {"tools.exe", program}},
                       ""});
    }
    {
        auto writer = NewWriter();
        writer->Password = "secret";
        writer->PackLevel = 1;
        AddBytes(*writer, "text.txt", text);
        AddBytes(*writer, "noise.bin", noise);
        all.push_back({"encrypted",
                       StreamBytes(*writer),
                       {{"text.txt", text}, {"noise.bin", noise}},
                       "secret"});
    }
    {
        // A kept encrypted entry with a data descriptor, next to a new encrypted one.
        auto writer = NewWriter(EncryptedStreamedArchive("secret", text));
        writer->Password = "secret";
        AddBytes(*writer, "program.exe", program);
        all.push_back({"encrypted with descriptor kept",
                       StreamBytes(*writer),
                       {{"locked.txt", text}, {"program.exe", program}},
                       "secret"});
    }
    return all;
}

TEST(WriterTools, InfoZipUnzipTestsEveryArchive) {
    if (!ToolAvailable("unzip"))
        GTEST_SKIP() << "Info-ZIP unzip is not installed";
    TempDir dir;
    for (const Scenario& s : Scenarios()) {
        SCOPED_TRACE(s.Name);
        const auto path = dir.Write("archive.zip", s.Archive);
        std::string output;
        const std::string password = s.Password.empty() ? "" : " -P " + s.Password;
        EXPECT_EQ(RunCommand("unzip -t" + password + " '" + path.string() + "'", &output), 0)
            << output;
        for (const auto& [name, contents] : s.Contents) {
            std::string extracted;
            EXPECT_EQ(RunCommand("unzip -p" + password + " '" + path.string() + "' '" + name +
                                     "' 2>/dev/null",
                                 &extracted),
                      0);
            EXPECT_EQ(Sha256Hex(ToBytes(extracted)), Sha256Hex(contents)) << name;
        }
    }
}

TEST(WriterTools, PythonZipfileReadsEveryEntryByteExact) {
    if (!ToolAvailable("python3"))
        GTEST_SKIP() << "python3 is not installed";
    TempDir dir;
    const auto script = dir.Write(
        "list.py",
        ToBytes("import hashlib, sys, zipfile\n"
                "z = zipfile.ZipFile(sys.argv[1])\n"
                "pwd = sys.argv[2].encode() if len(sys.argv) > 2 else None\n"
                "assert z.testzip() is None if pwd is None else True\n"
                "for info in z.infolist():\n"
                "    print(info.filename, hashlib.sha256(z.read(info, pwd=pwd)).hexdigest())\n"));
    for (const Scenario& s : Scenarios()) {
        SCOPED_TRACE(s.Name);
        const auto path = dir.Write("archive.zip", s.Archive);
        std::string output;
        ASSERT_EQ(
            RunCommand("python3 '" + script.string() + "' '" + path.string() + "' " + s.Password,
                       &output),
            0)
            << output;
        std::map<std::string, std::string> listed;
        std::istringstream lines(output);
        std::string name;
        std::string hash;
        while (lines >> name >> hash)
            listed[name] = hash;
        EXPECT_EQ(listed.size(), s.Contents.size()) << output;
        for (const auto& [entry, contents] : s.Contents)
            EXPECT_EQ(listed[entry], Sha256Hex(contents)) << entry;
    }
}

TEST(WriterTools, SevenZipTestsAndExtractsEveryArchive) {
    std::string program;
    for (const char* candidate : {"7z", "7za", "7zz"}) {
        if (ToolAvailable(candidate)) {
            program = candidate;
            break;
        }
    }
    if (program.empty())
        GTEST_SKIP() << "7-Zip is not installed";
    for (const Scenario& s : Scenarios()) {
        SCOPED_TRACE(s.Name);
        TempDir dir;
        const auto path = dir.Write("archive.zip", s.Archive);
        const std::string password = " -p" + (s.Password.empty() ? "none" : s.Password);
        std::string output;
        EXPECT_EQ(RunCommand(program + " t" + password + " '" + path.string() + "'", &output), 0)
            << output;
        const auto out = dir.Path() / "out";
        EXPECT_EQ(RunCommand(program + " x -y" + password + " -o'" + out.string() + "' '" +
                                 path.string() + "'",
                             &output),
                  0)
            << output;
        for (const auto& [name, contents] : s.Contents)
            EXPECT_EQ(Sha256Hex(ReadFileBytes(out / name)), Sha256Hex(contents)) << name;
    }
}

} // namespace
} // namespace glyptor::archive::test

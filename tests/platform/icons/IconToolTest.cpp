// glyptor-icons as a script sees it: its output lines, the files it writes and its exit status.
#include "IconFileBuilder.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>

namespace glyptor::icons {
namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

class IconToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/glyptor-icons-tool-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    std::string Write(const std::string& relative, const Bytes& bytes) {
        const fs::path path = root_ / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    ToolRun RunTool(const std::string& arguments, const std::string& input = {},
                    const std::string& tool = GLYPTOR_ICONS_TOOL) {
        const fs::path out = root_ / "stdout.txt";
        std::string command = tool + " " + arguments + " > " + out.string() + " 2>/dev/null";
        if (!input.empty()) {
            const fs::path in = root_ / "stdin.txt";
            std::ofstream(in) << input;
            command += " < " + in.string();
        }
        ToolRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream result(out);
        std::stringstream text;
        text << result.rdbuf();
        run.out = text.str();
        return run;
    }
    fs::path root_;
};

Bytes ThreeIcons() {
    std::vector<testing::Resource> resources;
    for (std::uint16_t id = 1; id <= 3; ++id) {
        auto small = testing::MakeSolidDib(16, 16, 4, 0xFF0000FF);
        auto big = testing::MakeSolidDib(32, 32, 8, 0xFF00FF00);
        resources.push_back(
            {14, std::uint32_t{id},
             testing::MakeGroup({{id, small}, {static_cast<std::uint16_t>(id + 10), big}})});
        resources.push_back({3, std::uint32_t{id}, small});
        resources.push_back({3, std::uint32_t{id + 10u}, big});
    }
    return testing::MakePe(resources);
}

TEST_F(IconToolTest, CountPrintsOneLinePerFile) {
    const auto pe = Write("a.dll", ThreeIcons());
    const auto text = Write("b.txt", Bytes(10, 'x'));
    auto run = RunTool("count " + pe + " " + text);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "3\t" + pe + "\n0\t" + text + "\n");

    run = RunTool("count -", pe + "\n" + text + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "3\t" + pe + "\n0\t" + text + "\n");

    const std::string missing = (root_ / "missing.exe").string();
    run = RunTool("count " + pe + " " + missing);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "3\t" + pe + "\n0\t" + missing + "\n");

    // Paths of one folder in a row are looked up in that folder, with the same answers: a FIFO
    // is not opened, a name is looked up in its own folder (not the one before), a path through
    // a link to the folder is the file, a folder is no file.
    const std::string pipe = (root_ / "pipe.dll").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Write("sub/c.txt", Bytes(10, 'x'));
    const std::string other = (root_ / "sub" / "a.dll").string();
    fs::create_symlink(root_, root_ / "again");
    const std::string linked = (root_ / "again" / "a.dll").string();
    const std::string folder = (root_ / "again").string();
    run = RunTool("count -j 1 -", text + "\n" + pipe + "\n" + pe + "\n" + other + "\n" + linked +
                                      "\n" + folder + "\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "0\t" + text + "\n0\t" + pipe + "\n3\t" + pe + "\n0\t" + other + "\n3\t" +
                           linked + "\n0\t" + folder + "\n");
}

TEST_F(IconToolTest, ListWalksFoldersThroughTheTypeFilter) {
    Write("top.dll", ThreeIcons());
    Write("top.exe", ThreeIcons());
    Write("pointer.cur", testing::MakeIco({testing::MakeSolidDib(32, 32, 8)}));
    Write("sub/deep.DLL", ThreeIcons());
    const std::string folder = root_.string();

    auto run = RunTool("list --mask .dll " + folder);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, folder + "/top.dll\t0\t32x32\t8\n" + folder + "/top.dll\t1\t32x32\t8\n" +
                           folder + "/top.dll\t2\t32x32\t8\n");

    run = RunTool("list -r --mask .DLL " + folder);
    EXPECT_NE(run.out.find("sub/deep.DLL\t2\t32x32\t8\n"), std::string::npos);
    EXPECT_EQ(run.out.find("top.exe"), std::string::npos);

    run = RunTool("list " + folder);
    EXPECT_NE(run.out.find("top.exe\t0"), std::string::npos);
    EXPECT_EQ(run.out.find("pointer.cur"), std::string::npos) << "cursor files are never read";
    EXPECT_EQ(run.out.find("deep"), std::string::npos) << "no -r, no subfolders";
}

// -v adds a line saying why for each file without icons; without it such files print nothing.
TEST_F(IconToolTest, VerboseListSaysWhyAFileHasNoIcons) {
    const auto pe = Write("a.dll", ThreeIcons());
    const auto text = Write("b.txt", Bytes(10, 'x'));
    auto run = RunTool("list -v " + pe + " " + text);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(run.out.find(text)),
              text + "\tno icons: not a PE or NE module, icon or bitmap file at offset 0\n");
    EXPECT_EQ(run.out.find(pe + "\tno icons"), std::string::npos);
    EXPECT_EQ(RunTool("list " + text).out, "");
}

TEST_F(IconToolTest, ThreadsKeepTheSingleThreadedOrder) {
    // More files than one part of the parallel list, icon holders and others interleaved.
    std::string paths;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "many/f" + std::to_string(i) + (i % 3 == 0 ? ".dll" : ".txt");
        paths += Write(name, i % 3 == 0 ? ThreeIcons() : Bytes(10, 'x')) + "\n";
    }
    const std::string folder = (root_ / "many").string();
    for (const std::string command : {"list -r", "count -r -a"}) {
        const auto single = RunTool(command + " -j 1 " + folder);
        const auto parallel = RunTool(command + " -j 3 " + folder);
        EXPECT_EQ(single.status, 0);
        EXPECT_EQ(parallel.status, 0);
        EXPECT_EQ(parallel.out, single.out) << command;
        // 100 files of three icons each, or one line for each of the 300 files.
        EXPECT_EQ(std::count(single.out.begin(), single.out.end(), '\n'), 300) << command;
    }
    const auto single = RunTool("count -j 1 -", paths);
    EXPECT_EQ(RunTool("count -j 3 -", paths).out, single.out);
    EXPECT_EQ(single.out.substr(0, single.out.find('\n')), "3\t" + folder + "/f0.dll");
}

// Folders listed ahead hold a descriptor each; however low the limit on open files, the walk
// must not take so many that the files themselves cannot be opened.
TEST_F(IconToolTest, CountKeepsWithinTheOpenFileLimit) {
    const Bytes library = ThreeIcons();
    for (int i = 0; i < 1000; ++i) {
        Write("deep/d" + std::to_string(1000 + i) + "/a.dll", library);
    }
    const std::string folder = (root_ / "deep").string();
    for (const int limit : {40, 64, 128}) {
        const auto run = RunTool("count -j 3 -r -a " + folder, {},
                                 "ulimit -n " + std::to_string(limit) + "; " GLYPTOR_ICONS_TOOL);
        EXPECT_EQ(run.status, 0) << "limit " << limit;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1000) << "limit " << limit;
        EXPECT_EQ(run.out.find("0\t"), std::string::npos) << "limit " << limit;
    }
}

TEST_F(IconToolTest, ExtractWritesPngPictures) {
    const auto pe = Write("a.dll", ThreeIcons());
    const std::string out = (root_ / "icon.png").string();
    ASSERT_EQ(RunTool("extract " + pe + " 2 " + out).status, 0);
    QImage picture(QString::fromStdString(out));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.width(), 32);
    EXPECT_TRUE(picture.hasAlphaChannel());
    EXPECT_EQ(picture.pixel(10, 10), 0xFF00FF00u);

    const std::string small = (root_ / "small.png").string();
    ASSERT_EQ(RunTool("extract --size 16 " + pe + " 0 " + small).status, 0);
    EXPECT_EQ(QImage(QString::fromStdString(small)).width(), 16);
    // A size the icon lacks is scaled from the nearest larger image, as the program's PNG save.
    ASSERT_EQ(RunTool("extract --size 20 " + pe + " 0 " + small).status, 0);
    EXPECT_EQ(QImage(QString::fromStdString(small)).width(), 20);

    const auto run = RunTool("extract --all-sizes " + pe + " 1 " + (root_ / "all.png").string());
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(fs::exists(root_ / "all_16x16_4.png"));
    EXPECT_TRUE(fs::exists(root_ / "all_32x32_8.png"));

    EXPECT_EQ(RunTool("extract " + pe + " 3 " + out).status, 1) << "no such icon";
    EXPECT_EQ(RunTool("extract " + (root_ / "none.dll").string() + " 0 " + out).status, 1);
}

// A file name is printed so that it cannot drive the terminal or split a line: control
// characters (C1 ones too, in UTF-8) are escaped, and so is the escape character; other UTF-8
// (a no-break space starts with the same byte as a C1 character) goes out as it is.
TEST_F(IconToolTest, ToolsPrintControlCharactersEscaped) {
    const auto ico = testing::MakeIco({testing::MakeSolidDib(16, 16, 8)});
    Write("a\x1b[2J\tb\xc2\x9b\x7f\xc2\xa0\xc3\xa9.ico", ico);
    const auto run = RunTool("list " + root_.string() + " --mask .ICO");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, (root_ / "a\\x1b[2J\\x09b\\xc2\\x9b\\x7f\xc2\xa0\xc3\xa9.ico").string() +
                           "\t0\t16x16\t8\n");
    const auto slashed = Write("c:\\d\x01.ico", ico);
    const auto counted = RunTool("count -", slashed + "\n");
    EXPECT_EQ(counted.out, "1\t" + (root_ / "c:\\\\d\\x01.ico").string() + "\n");
}

// Two images of one size and depth are two files: the second never replaces the first.
TEST_F(IconToolTest, AllSizesNeverWritesOneNameTwice) {
    const auto ico = Write("two.ico", testing::MakeIco({testing::MakeSolidDib(16, 16, 8, 1),
                                                        testing::MakeSolidDib(16, 16, 8, 2)}));
    const auto run = RunTool("extract --all-sizes " + ico + " 0 " + (root_ / "x.png").string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, (root_ / "x_16x16_8.png").string() + "\n" +
                           (root_ / "x_16x16_8_2.png").string() + "\n");
    EXPECT_TRUE(fs::exists(root_ / "x_16x16_8_2.png"));
}

TEST_F(IconToolTest, BadUsageExitsWithTwo) {
    const auto pe = Write("a.dll", ThreeIcons());
    const auto help = RunTool("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("extract"), std::string::npos);
    EXPECT_EQ(RunTool("").status, 2);
    EXPECT_EQ(RunTool("frobnicate").status, 2);
    EXPECT_EQ(RunTool("count").status, 2);
    EXPECT_EQ(RunTool("list").status, 2);
    EXPECT_EQ(RunTool("extract " + pe + " x out.png").status, 2);
    EXPECT_EQ(RunTool("extract " + pe + " 0").status, 2);
    EXPECT_EQ(RunTool("extract " + pe + " 0 out.xyz").status, 2);
    EXPECT_EQ(RunTool("extract --size " + pe + " 0 out.png").status, 2);
}

// Output lost to a full disk or a file size limit fails the run with a message, in both
// programs behind the tool; a scan index that cannot grow under the limit changes no count.
TEST_F(IconToolTest, LostOutputFailsTheRunAndALimitedIndexChangesNothing) {
    const auto pe = Write("a.dll", ThreeIcons());
    for (int i = 0; i < 40; ++i) {
        Write("many/file-with-a-longish-name-" + std::to_string(i) + ".txt", {'x'});
    }
    const std::string many = (root_ / "many").string();
    const std::string err = (root_ / "stderr.txt").string();
    // The exit status, 128 and the signal's number when a signal ended the tool.
    const auto run = [&](const std::string& prefix, const std::string& arguments,
                         const std::string& out) {
        const std::string command =
            prefix + GLYPTOR_ICONS_TOOL + " " + arguments + " > " + out + " 2> " + err;
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    };
    const auto said = [&] {
        std::stringstream text;
        text << std::ifstream(err).rdbuf();
        return text.str();
    };
    // A limit of one 512-byte block (or 1 KB): a few dozen lines are past it.
    const std::string limited = "ulimit -f 1; ";
    if (fs::exists("/dev/full")) {
        for (const std::string& arguments :
             {"count " + pe, "count -r -a " + many, "list " + pe, std::string("--help")}) {
            EXPECT_EQ(run("", arguments, "/dev/full"), 1) << arguments;
            EXPECT_NE(said().find("cannot write the output"), std::string::npos) << arguments;
        }
    }
    EXPECT_EQ(run(limited, "count -r -a " + many, (root_ / "out.txt").string()), 1);
    EXPECT_NE(said().find("cannot write the output"), std::string::npos);

    // The counts reach a file through a pipe, which no limit applies to; the tool's status
    // goes to a file of its own.
    const std::string counted = (root_ / "counted.txt").string();
    const std::string status = (root_ / "status.txt").string();
    std::system(("(" + limited + "XDG_CACHE_HOME=" + (root_ / "cache").string() + " " +
                 GLYPTOR_ICONS_TOOL + " count --index -r -a " + many + " 2> " + err +
                 "; echo $? > " + status + ") | cat > " + counted)
                    .c_str());
    std::stringstream text;
    text << std::ifstream(status).rdbuf() << std::ifstream(counted).rdbuf();
    EXPECT_EQ(text.str(), "0\n" + RunTool("count -r -a " + many).out) << said();
}

// The tool counts in a process without any toolkit library; the picture commands need the
// decode program, and without it (or with the tool itself in its place) fail at once.
TEST_F(IconToolTest, CountNeedsNeitherQtNorTheDecodeProgram) {
    const auto ldd = RunTool("", {}, std::string("ldd ") + GLYPTOR_ICONS_TOOL);
    EXPECT_NE(ldd.out.find("libc.so"), std::string::npos) << ldd.out;
    EXPECT_EQ(ldd.out.find("libQt"), std::string::npos) << ldd.out;

    const auto pe = Write("a.dll", ThreeIcons());
    const fs::path alone = root_ / "alone" / "glyptor-icons";
    fs::create_directories(alone.parent_path());
    fs::copy_file(GLYPTOR_ICONS_TOOL, alone);
    fs::permissions(alone, fs::perms::owner_all);
    EXPECT_EQ(RunTool("count " + pe, {}, alone).out, "3\t" + pe + "\n");
    const auto list = RunTool("list " + pe, {}, alone);
    EXPECT_EQ(list.status, 1);
    EXPECT_EQ(list.out, "");
    fs::create_symlink("glyptor-icons", alone.parent_path() / "glyptor-icons-decode");
    EXPECT_EQ(RunTool("list " + pe, {}, alone).status, 1) << "never starts itself";
}

} // namespace
} // namespace glyptor::icons

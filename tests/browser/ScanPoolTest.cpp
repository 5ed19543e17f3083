// The reader pool on a slow disk: the readers it adds then must not change what a consumer gets.
#include "browser/ScanPool.h"

#include "IconFileBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

using namespace glyptor;
namespace fs = std::filesystem;

namespace {

// Every look of every reader finds the disk busy.
long AlwaysMoving() {
    static std::atomic<long> blocks = 0;
    return ++blocks;
}

int Threads() {
    return static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"), {}));
}

// "folder/name count" for every file of the walk, in the consumer's order; stops taking
// folders after `folders` of them when that is above 0.
std::vector<std::string> Walk(scan::ScanPool& pool, const std::string& root, int folders = 0) {
    int taken = 0;
    std::vector<std::string> lines;
    scan::WalkRules rules;
    rules.folderBefore = [](const std::string& a, const std::string& b) { return a < b; };
    pool.StartWalk(root, rules);
    for (bool finished = false; !finished && (folders == 0 || taken < folders);) {
        auto part = pool.TakeNext(std::chrono::seconds(5), finished);
        if (!part)
            continue;
        ++taken;
        const auto names = part->Names();
        for (std::size_t i = 0; i < names.size(); ++i) {
            int count = 0;
            EXPECT_EQ(part->WaitAt(i, std::chrono::seconds(5), count),
                      scan::FolderCounts::State::Ready);
            lines.push_back(part->Folder() + "/" + names[i] + " " + std::to_string(count));
        }
    }
    return lines;
}

class ScanPoolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/glyptor-pool-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (int f = 0; f < 24; ++f)
            for (int i = 0; i < 12; ++i) {
                const fs::path path = root_ / ("d" + std::to_string(f)) /
                                      ("s" + std::to_string(f % 3)) /
                                      ("f" + std::to_string(i) + (i % 4 == 3 ? ".txt" : ".dll"));
                fs::create_directories(path.parent_path());
                const auto bytes = i % 4 == 3 ? icons::Bytes(40, 'x')
                                              : icons::testing::MakeLibrary(1 + (f + i) % 3);
                std::ofstream(path, std::ios::binary)
                    .write(reinterpret_cast<const char*>(bytes.data()),
                           static_cast<std::streamsize>(bytes.size()));
            }
        ASSERT_EQ(::mkfifo((root_ / "d1" / "pipe.dll").c_str(), 0600), 0);
        fs::create_symlink("..", root_ / "d2" / "loop");
    }
    void TearDown() override {
        scan::SetBlockInputProbe(nullptr);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    fs::path root_;
};

} // namespace

TEST_F(ScanPoolTest, ReadersForASlowDiskKeepTheSingleThreadedCounts) {
    scan::ScanPool alone(1);
    const auto single = Walk(alone, root_);
    ASSERT_EQ(single.size(), 24u * 12); // the FIFO and the link are passed over

    scan::SetBlockInputProbe(AlwaysMoving);
    const int before = Threads();
    scan::ScanPool pool;
    EXPECT_EQ(Walk(pool, root_), single);
    // A reader first looks at the disk after a few takes of work. On a busy machine the
    // consumer may count most of a walk itself, so another walk or two can pass before one has.
    for (int walk = 0; walk < 20 && Threads() - before < pool.Threads() + pool.DiskThreads();
         ++walk)
        EXPECT_EQ(Walk(pool, root_), single);
    // The readers for a slow disk joined the others (an open-file limit below a few hundred
    // leaves no room for them).
    struct rlimit limit {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur >= 1024) {
        EXPECT_EQ(pool.DiskThreads(), scan::DefaultDiskReaderThreads(pool.Threads()));
    }
    EXPECT_GE(Threads() - before, pool.Threads() + pool.DiskThreads());

    // A stop halfway leaves no reader at work, and the next walk finds everything again.
    const auto part = Walk(pool, root_, 10);
    pool.Stop();
    ASSERT_LT(part.size(), single.size());
    EXPECT_EQ(part, std::vector<std::string>(single.begin(), single.begin() + long(part.size())));
    EXPECT_EQ(Walk(pool, root_), single);
}

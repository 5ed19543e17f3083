// The bare system calls of a count of a path list, for bench/scan/run.sh: for each path read
// from standard input a stat, an open, an advice against read-ahead, a read of the first 4 KiB
// (and one further in, for a file larger than 8 KiB, as a PE file's resource directory takes)
// and a close, on as many threads as the count has readers, and nothing else: no parsing, no
// order, no output but the number of files. Linked as the tool is, it starts as fast. What
// `glyptor-icons count -` takes beyond this is the program's own work; what this takes is the
// machine's.
//
//   scan_floor < PATHS
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr off_t kBlock = 4096;
constexpr off_t kReadWhole = 8192;

void ReadEvery(const std::vector<std::string>& paths, std::size_t first, std::size_t step) {
    char block[kBlock];
    for (std::size_t i = first; i < paths.size(); i += step) {
        const char* path = paths[i].c_str();
        struct stat info {};
        if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        const bool large = info.st_size > kReadWhole;
        if (large)
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
        if (::pread(fd, block, sizeof block, 0) >= 0 && large)
            (void)::pread(fd, block, sizeof block, (info.st_size / 2) & ~(kBlock - 1));
        ::close(fd);
    }
}

} // namespace

int main() {
    // Read as the tool reads its list: the standard streams' start-up alone is a tenth of a
    // count of a few hundred files.
    std::string list;
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;)
        list.append(chunk, got);
    std::vector<std::string> paths;
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find('\n', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            paths.emplace_back(list, start, end - start);
        start = end + 1;
    }
    // The count's readers, as scan::DefaultReaderThreads() (browser/ScanPool.cpp) reckons them.
    // Calling it would link the scan pool and with it the index's library, whose loading alone
    // is a few per cent of a count.
    const std::size_t threads =
        std::clamp<std::size_t>(2 * std::thread::hardware_concurrency(), 2, 8);
    std::vector<std::thread> others;
    for (std::size_t t = 1; t < threads; ++t)
        others.emplace_back(ReadEvery, std::cref(paths), t, threads);
    ReadEvery(paths, 0, threads);
    for (std::thread& thread : others)
        thread.join();
    std::printf("%zu\n", paths.size());
    return 0;
}

// The icon count against reading every byte of the same files, in one run: over the PE modules
// Wine installs (when present) and over a generated tree of a few thousand modules. The count
// reads only headers and the resource directory, so it should win by a wide margin.
#include "platform/icons/IconSource.h"
#include "tests/platform/icons/IconFileBuilder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace glyptor;
using namespace glyptor::icons;

std::vector<std::string> RealModules() {
    std::vector<std::string> files;
    const char* folder = std::getenv("GLYPTOR_BENCH_MODULES");
    std::error_code error;
    for (fs::directory_iterator
             it(folder ? folder : "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", error),
         end;
         !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error)) {
            files.push_back(it->path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// A tree of generated modules: each has a block of "code" in front of its resources, as real
// modules do, and a few icon groups of three sizes. The code sizes spread evenly on a log scale
// from 32 KB to 1 MB, a little smaller than Wine's modules (median 260 KB), so the comparison
// does not flatter the count.
class GeneratedTree {
public:
    explicit GeneratedTree(int fileCount) {
        char pattern[] = "/tmp/glyptor-icons-bench-XXXXXX";
        root_ = ::mkdtemp(pattern);
        std::mt19937 random(7);
        std::vector<Bytes> variants;
        for (int v = 0; v < 16; ++v) {
            std::vector<testing::Resource> resources;
            const int groups = 1 + v % 5;
            for (int g = 0; g < groups; ++g) {
                std::vector<std::pair<std::uint16_t, Bytes>> images;
                for (const int size : {16, 32, 48}) {
                    const auto id = static_cast<std::uint16_t>(g * 3 + images.size() + 1);
                    auto image = testing::MakeSolidDib(size, size, 32, 0xFF000000u | random());
                    resources.push_back({3, std::uint32_t{id}, image});
                    images.emplace_back(id, std::move(image));
                }
                resources.push_back({14, std::uint32_t(g + 1), testing::MakeGroup(images)});
            }
            testing::PeOptions options;
            const double codeSize = 32768.0 * std::pow(32.0, v / 15.0);
            options.rawOffset = 0x400 + static_cast<std::uint32_t>(codeSize) / 0x200 * 0x200;
            options.sectionRva = 0x1000 + options.rawOffset;
            auto bytes = testing::MakePe(resources, options);
            // The gap before the section stands for code and data.
            std::generate(bytes.begin() + 0x400, bytes.begin() + options.rawOffset,
                          [&] { return static_cast<std::uint8_t>(random()); });
            variants.push_back(std::move(bytes));
        }
        for (int i = 0; i < fileCount; ++i) {
            const fs::path folder = root_ / ("d" + std::to_string(i % 40));
            fs::create_directories(folder);
            const fs::path file = folder / ("m" + std::to_string(i) + ".dll");
            const auto& bytes = variants[static_cast<std::size_t>(i) % variants.size()];
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
            files_.push_back(file.string());
        }
    }
    ~GeneratedTree() {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    const std::vector<std::string>& Files() const { return files_; }

private:
    fs::path root_;
    std::vector<std::string> files_;
};

const std::vector<std::string>& Set(int which) {
    static const std::vector<std::string> real = RealModules();
    static const GeneratedTree tree(3000);
    return which == 0 ? real : tree.Files();
}

void Count(benchmark::State& state) {
    const auto& files = Set(static_cast<int>(state.range(0)));
    if (files.empty()) {
        state.SkipWithError("no files (install wine64 for the real modules)");
        return;
    }
    std::int64_t icons = 0;
    IconSourceCache cache;
    for (auto _ : state) {
        cache.Clear();
        for (const auto& file : files) {
            icons += IconCount(cache, file);
        }
    }
    benchmark::DoNotOptimize(icons);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(files.size()));
}

// Reads every byte of each file; the bytes read.
std::uint64_t ReadEach(const std::vector<std::string>& files) {
    std::vector<char> buffer(1 << 16);
    std::uint64_t total = 0;
    for (const auto& file : files) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) {
            total += static_cast<std::uint64_t>(got);
        }
        ::close(fd);
    }
    return total;
}

void ReadWhole(benchmark::State& state) {
    const auto& files = Set(static_cast<int>(state.range(0)));
    if (files.empty()) {
        state.SkipWithError("no files (install wine64 for the real modules)");
        return;
    }
    std::uint64_t total = 0;
    for (auto _ : state) {
        total += ReadEach(files);
    }
    benchmark::DoNotOptimize(total);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(files.size()));
}

// Console output plus each run's time per iteration, for the ratio lines printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                const std::string name = run.run_name.function_name + "/" + run.run_name.args;
                realTimes[name] = run.GetAdjustedRealTime();
                cpuTimes[name] = run.GetAdjustedCPUTime();
            }
        }
    }
    std::map<std::string, double> realTimes;
    std::map<std::string, double> cpuTimes;
};

} // namespace

BENCHMARK(Count)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(ReadWhole)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Both sides read from memory. A whole read of the real modules takes seconds from the disk,
    // longer than the peer's minimum time, so its one measured pass would otherwise be a cold
    // one whenever something dropped the page cache before (the scan bench of a previous run).
    for (int set = 0; set < 2; ++set) {
        benchmark::DoNotOptimize(ReadEach(Set(set)));
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const char* names[] = {"real modules", "generated tree"};
    for (int set = 0; set < 2; ++set) {
        const std::string count = "Count/" + std::to_string(set);
        const std::string read = "ReadWhole/" + std::to_string(set);
        if (!reporter.realTimes.count(count) || !reporter.realTimes.count(read)) {
            continue;
        }
        const double files = static_cast<double>(Set(set).size());
        // Times are per iteration in the benchmark's unit (milliseconds).
        std::printf("%s (%zu files): count %.0f files/s, whole read %.0f files/s, count is "
                    "%.1fx faster (CPU %.1fx)\n",
                    names[set], Set(set).size(), files / reporter.realTimes[count] * 1e3,
                    files / reporter.realTimes[read] * 1e3,
                    reporter.realTimes[read] / reporter.realTimes[count],
                    reporter.cpuTimes[read] / reporter.cpuTimes[count]);
    }
    benchmark::Shutdown();
    return 0;
}

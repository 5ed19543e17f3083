// Our Deflate compressor against zlib at the same level on the same data: layout-like text,
// 24-bit BMP pictures and program files (a real executable of this machine when one is found).
// After the runs it prints, per data set and level, our compressed size and our throughput as
// fractions of zlib's.
#include "archive/Deflater.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t SetSize = 4 << 20;

Bytes MakeText() {
    static const char* const words[] = {"[Layout]",
                                        "[Colours]",
                                        "Title=",
                                        "Glyptor",
                                        "skin",
                                        "Panel=",
                                        "8421504",
                                        "Font=",
                                        "Arial",
                                        "Size=",
                                        "14",
                                        "Picture",
                                        "SCAN1.bmp",
                                        "a",
                                        "window",
                                        "strip",
                                        "cell",
                                        "icons",
                                        "drive",
                                        "\xE7\xED\xE0\xF7\xEE\xEA",
                                        "\xF2\xE5\xEC\xE0"};
    std::mt19937 random(11);
    std::string text;
    while (text.size() < SetSize) {
        text += words[random() % std::size(words)];
        text += random() % 7 == 0 ? "\r\n" : " ";
    }
    text.resize(SetSize);
    return Bytes(text.begin(), text.end());
}

// Skin-like pictures: title strips with gradients, flat buttons with borders, sparse noise.
Bytes MakePictures() {
    std::mt19937 random(12);
    Bytes out;
    while (out.size() < SetSize) {
        const int width = 200 + static_cast<int>(random() % 400);
        const int height = 20 + static_cast<int>(random() % 200);
        const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
        Bytes bmp(54 + stride * static_cast<size_t>(height), 0);
        bmp[0] = 'B';
        bmp[1] = 'M';
        bmp[10] = 54;
        bmp[14] = 40;
        bmp[28] = 24;
        const uint8_t face = static_cast<uint8_t>(random());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint8_t* p =
                    &bmp[54 + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
                const bool border = x < 2 || y < 2 || x >= width - 2 || y >= height - 2;
                const bool button = (x / 40) % 3 == 1 && y > height / 4 && y < height * 3 / 4;
                if (border) {
                    p[0] = p[1] = p[2] = 64;
                } else if (button) {
                    p[0] = face;
                    p[1] = static_cast<uint8_t>(face / 2);
                    p[2] = 0xC0;
                } else {
                    p[0] = static_cast<uint8_t>(x * 255 / width);
                    p[1] = static_cast<uint8_t>(y * 255 / height);
                    p[2] = static_cast<uint8_t>(128 + (random() % 32 == 0 ? random() % 16 : 0));
                }
            }
        }
        out.insert(out.end(), bmp.begin(), bmp.end());
    }
    out.resize(SetSize);
    return out;
}

Bytes LoadExecutable() {
    for (const char* path : {"/usr/bin/cmake", "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6",
                             "/usr/bin/gdb", "/proc/self/exe"}) {
        std::ifstream file(path, std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (bytes.size() >= SetSize) {
            bytes.resize(SetSize);
            return bytes;
        }
    }
    throw std::runtime_error("no executable of 4 MB found");
}

const char* const SetNames[3] = {"text", "bmp", "exe"};

const Bytes& Data(int which) {
    static const Bytes sets[3] = {MakeText(), MakePictures(), LoadExecutable()};
    return sets[which];
}

size_t ZlibDeflate(const Bytes& data, int level, Bytes& out) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    out.resize(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    const size_t size = z.total_out;
    deflateEnd(&z);
    return size;
}

std::map<std::string, size_t> CompressedSizes;

std::string Key(const char* who, const benchmark::State& state) {
    return std::string(who) + "/" + std::to_string(state.range(0)) + "/" +
           std::to_string(state.range(1));
}

void BM_GlyptorDeflate(benchmark::State& state) {
    const Bytes& data = Data(static_cast<int>(state.range(0)));
    const int level = static_cast<int>(state.range(1));
    glyptor::archive::TDeflater deflater;
    size_t size = 0;
    for (auto _ : state) {
        size = 0;
        deflater.Deflate(data, level,
                         [&size](std::span<const uint8_t> bytes) { size += bytes.size(); });
    }
    CompressedSizes[Key("glyptor", state)] = size;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.SetLabel(SetNames[state.range(0)]);
}

void BM_ZlibDeflate(benchmark::State& state) {
    const Bytes& data = Data(static_cast<int>(state.range(0)));
    Bytes out;
    size_t size = 0;
    for (auto _ : state)
        size = ZlibDeflate(data, static_cast<int>(state.range(1)), out);
    CompressedSizes[Key("zlib", state)] = size;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.SetLabel(SetNames[state.range(0)]);
}

void Arguments(benchmark::internal::Benchmark* bench) {
    for (int set = 0; set < 3; ++set)
        for (int level : {1, 6, 9})
            bench->Args({set, level});
}

BENCHMARK(BM_GlyptorDeflate)->Apply(Arguments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate)->Apply(Arguments)->Unit(benchmark::kMillisecond);

// Console output plus every run's CPU time per iteration for the ratio lines; CPU time keeps the
// ratios steady on a machine shared with other work.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                Seconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
    }
    std::map<std::string, double> Seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (int set = 0; set < 3; ++set) {
        for (int level : {1, 6, 9}) {
            const std::string args = "/" + std::to_string(set) + "/" + std::to_string(level);
            const auto ours = reporter.Seconds.find("BM_GlyptorDeflate" + args);
            const auto zlib = reporter.Seconds.find("BM_ZlibDeflate" + args);
            const auto ourSize = CompressedSizes.find("glyptor" + args);
            const auto zlibSize = CompressedSizes.find("zlib" + args);
            if (ours == reporter.Seconds.end() || zlib == reporter.Seconds.end() ||
                ourSize == CompressedSizes.end() || zlibSize == CompressedSizes.end())
                continue;
            std::printf("Deflate %-4s level %d: size %.4f x zlib's (%zu vs %zu bytes of %.1f MB), "
                        "speed %.2f x zlib's\n",
                        SetNames[set], level,
                        static_cast<double>(ourSize->second) /
                            static_cast<double>(zlibSize->second),
                        ourSize->second, zlibSize->second, Data(set).size() / 1e6,
                        zlib->second / ours->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}

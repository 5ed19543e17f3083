// Inflate throughput of the archive component against zlib, both decoding the same raw Deflate
// data (zlib level 6) of a few MB of layout-like text and of BMP pictures. After the runs it
// prints our throughput as a fraction of zlib's for each data set.
#include "archive/Inflate.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes MakeText(size_t size) {
    static const char* const words[] = {
        "[Main]", "[Colors]", "Title=",  "Glyptor", "theme",   "Background=", "12632256",
        "Font=",  "Tahoma",   "Height=", "21",      "Picture", "TITLE1.bmp",  "the",
        "window", "panel",    "icon",    "grid",    "folder",  "значок",      "папка"};
    std::mt19937 rng(1);
    std::string text;
    while (text.size() < size) {
        text += words[rng() % 21];
        text += rng() % 8 == 0 ? "\r\n" : " ";
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

// 24-bit BMP pictures: gradients, flat shapes and a little noise, as skin bitmaps look.
Bytes MakePictures(size_t size) {
    std::mt19937 rng(2);
    Bytes out;
    while (out.size() < size) {
        int w = 256 + static_cast<int>(rng() % 256), h = 128 + static_cast<int>(rng() % 128);
        size_t stride = (static_cast<size_t>(w) * 3 + 3) & ~size_t{3};
        Bytes bmp(54 + stride * static_cast<size_t>(h), 0);
        bmp[0] = 'B';
        bmp[1] = 'M';
        int cx = w / 2, cy = h / 2, r = h / 3;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p =
                    &bmp[54 + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
                bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
                p[0] = static_cast<uint8_t>(inside ? 200 : x * 255 / w);
                p[1] = static_cast<uint8_t>(inside ? 80 : y * 255 / h);
                p[2] =
                    static_cast<uint8_t>((inside ? 40 : 128) + (rng() % 16 == 0 ? rng() % 8 : 0));
            }
        }
        out.insert(out.end(), bmp.begin(), bmp.end());
    }
    out.resize(size);
    return out;
}

Bytes Compress(const Bytes& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, data.size()));
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("deflate");
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct DataSet {
    Bytes Plain;
    Bytes Packed;
};

const DataSet& Data(int which) {
    static const DataSet text{MakeText(4 << 20), {}};
    static const DataSet pictures{MakePictures(4 << 20), {}};
    static DataSet sets[2] = {{text.Plain, Compress(text.Plain)},
                              {pictures.Plain, Compress(pictures.Plain)}};
    return sets[which];
}

const char* const SetNames[2] = {"text", "bmp"};

void BM_GlyptorInflate(benchmark::State& state) {
    const DataSet& set = Data(static_cast<int>(state.range(0)));
    Bytes out;
    out.reserve(set.Plain.size());
    for (auto _ : state) {
        out.clear();
        auto r = glyptor::archive::InflateBuffer(set.Packed.data(), set.Packed.size(), out);
        if (r != glyptor::archive::TDecodeResult::Done || out.size() != set.Plain.size())
            state.SkipWithError("inflate failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.Plain.size()));
    state.SetLabel(SetNames[state.range(0)]);
}

void BM_ZlibInflate(benchmark::State& state) {
    const DataSet& set = Data(static_cast<int>(state.range(0)));
    Bytes out(set.Plain.size());
    for (auto _ : state) {
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = const_cast<Bytef*>(set.Packed.data());
        z.avail_in = static_cast<uInt>(set.Packed.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        if (inflate(&z, Z_FINISH) != Z_STREAM_END)
            state.SkipWithError("zlib inflate failed");
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * set.Plain.size()));
    state.SetLabel(SetNames[state.range(0)]);
}

BENCHMARK(BM_GlyptorInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Console output plus a record of every run's CPU time per iteration, for the ratio lines; CPU time
// keeps the ratio steady on a machine shared with other work.
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
    for (int set = 0; set < 2; ++set) {
        std::string arg = "/" + std::to_string(set);
        auto ours = reporter.Seconds.find("BM_GlyptorInflate" + arg);
        auto zlib = reporter.Seconds.find("BM_ZlibInflate" + arg);
        if (ours == reporter.Seconds.end() || zlib == reporter.Seconds.end())
            continue;
        std::printf("Inflate %-4s: %.2f x zlib's throughput (%.1f MB plain, %.1f MB packed)\n",
                    SetNames[set], zlib->second / ours->second, Data(set).Plain.size() / 1e6,
                    Data(set).Packed.size() / 1e6);
    }
    benchmark::Shutdown();
    return 0;
}

// The icon as stored and what is made of it: the group model of a built module, the group .ico
// it rebuilds, the 32-bit icon file, the PNG size rule, and the batch save's names, copies,
// cancel and failures.
#include "export/IconGroup.h"
#include "../platform/icons/IconFileBuilder.h"
#include "export/BatchSave.h"
#include "formats/IconFile.h"
#include "export/IconFile32.h"
#include "export/IconPng.h"
#include "formats/IconContainer.h"
#include "formats/IconImages.h"
#include "platform/icons/IconSource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace glyptor {
namespace {

namespace fs = std::filesystem;
namespace build = icons::testing;
using icons::Bytes;

class ExportPieces : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/glyptor-export-XXXXXX";
        root_ = ::mkdtemp(pattern);
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(root_, error);
    }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const fs::path path = root_ / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    static Bytes Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    fs::path root_;
};

// A module whose group 7 holds a 16 x 16 4-bit, 32 x 32 8-bit, 32 x 32 32-bit, 48 x 48 32-bit
// and a 256 x 256 PNG image, each a solid colour of its own, after a named group "MAIN".
struct BuiltModule {
    Bytes dib16 = build::MakeSolidDib(16, 16, 4);
    Bytes dib32x8 = build::MakeSolidDib(32, 32, 8);
    Bytes dib32 = build::MakeSolidDib(32, 32, 32, 0xFF0000FF);
    Bytes dib48 = build::MakeSolidDib(48, 48, 32, 0xFF00FF00);
    Bytes png256 = build::MakePng(256, 256, 0x80FF0000);
    Bytes Module() const {
        using build::Resource;
        std::vector<Resource> resources{
            {14, std::u16string(u"MAIN"), build::MakeGroup({{1, dib16}})},
            {14, std::uint32_t{7},
             build::MakeGroup({{1, dib16}, {2, dib32x8}, {3, dib32}, {4, dib48}, {5, png256}})},
            {3, std::uint32_t{1}, dib16},
            {3, std::uint32_t{2}, dib32x8},
            {3, std::uint32_t{3}, dib32},
            {3, std::uint32_t{4}, dib48},
            {3, std::uint32_t{5}, png256}};
        return build::MakePe(resources);
    }
};

TEST_F(ExportPieces, ModelAndGroupFileOfABuiltModule) {
    const BuiltModule built;
    const auto path = Write("app.exe", built.Module());
    const auto named = icongroup::ReadIconGroup(path, 0);
    ASSERT_TRUE(named);
    EXPECT_TRUE(named->hasKey && named->named);
    EXPECT_EQ(named->name, "MAIN");

    const auto group = icongroup::ReadIconGroup(path, 1);
    ASSERT_TRUE(group);
    EXPECT_TRUE(group->hasKey && !group->named);
    EXPECT_EQ(group->id, 7u);
    EXPECT_EQ(group->language, 0x409u);
    const std::vector<const Bytes*> sources{&built.dib16, &built.dib32x8, &built.dib32,
                                            &built.dib48, &built.png256};
    const std::vector<std::tuple<int, int, int, bool>> expected{{16, 4, 16, false},
                                                                {32, 8, 256, false},
                                                                {32, 32, 0, false},
                                                                {48, 32, 0, false},
                                                                {256, 32, 0, true}};
    ASSERT_EQ(group->images.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& image = group->images[i];
        const auto [size, bits, colours, png] = expected[i];
        EXPECT_EQ(image.width, size) << i;
        EXPECT_EQ(image.height, size) << i;
        EXPECT_EQ(image.bitCount, bits) << i;
        EXPECT_EQ(image.colourCount, colours) << i;
        EXPECT_EQ(image.png, png) << i;
        EXPECT_EQ(image.byteSize, sources[i]->size()) << i;
        EXPECT_EQ(icongroup::ReadImageBytes(*group, i), *sources[i]) << i;
    }
    EXPECT_EQ(icongroup::IndexOfResourceId(path, 7), 1);
    EXPECT_FALSE(icongroup::IndexOfResourceId(path, 8));

    // The rebuilt group is an .ico file that holds the very same images in the same order.
    const auto file = icongroup::BuildGroupIconFile(path, 1);
    ASSERT_TRUE(file);
    const auto ico = Write("group.ico", *file);
    const auto asIco = icongroup::ReadIconGroup(ico, 0);
    ASSERT_TRUE(asIco);
    ASSERT_EQ(asIco->images.size(), sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(icongroup::ReadImageBytes(*asIco, i), *sources[i]) << i;
        EXPECT_EQ(std::memcmp(asIco->images[i].entry, group->images[i].entry, 12), 0) << i;
    }
    // An .ico source gives back its own bytes.
    EXPECT_EQ(icongroup::BuildGroupIconFile(ico, 0), *file);
}

TEST_F(ExportPieces, PngTakesTheExactImageElseTheNearestLarger) {
    const BuiltModule built;
    const auto path = Write("app.exe", built.Module());
    struct Case {
        int size;
        std::uint32_t argb; // the centre pixel, telling which image was used
    };
    for (const Case c : {Case{32, 0xFF0000FF},     // the deeper of the two 32 x 32 images
                         Case{24, 0xFF0000FF},     // scaled down from 32, not up from 16
                         Case{40, 0xFF00FF00},     // from 48
                         Case{256, 0x80FF0000},    // the PNG as it is
                         Case{512, 0x80FF0000}}) { // nothing larger: the largest, scaled up
        const auto icon = iconpng::IconAtSize(path, 1, c.size);
        ASSERT_TRUE(icon) << c.size;
        ASSERT_EQ(icon->width, c.size);
        EXPECT_EQ(icon->pixels[static_cast<std::size_t>(c.size / 2 * c.size + c.size / 2)], c.argb)
            << c.size;
    }
    const auto group = icongroup::ReadIconGroup(path, 1);
    ASSERT_TRUE(group);
    EXPECT_EQ(iconpng::LargestSize(*group), 256);
    EXPECT_EQ(iconpng::OfferedSizes(*group), (std::vector<int>{16, 24, 32, 48, 64, 128, 256}));

    // A DIB without alpha takes its AND mask: masked pixels come out transparent.
    const Bytes masked = build::MakeDib(
        {.width = 16,
         .height = 16,
         .bitCount = 24,
         .palette = {},
         .bitFields = {},
         .withMask = true},
        [](int, int) { return 0xFF123456u; }, [](int x, int) { return x < 8; });
    const auto ico = Write("masked.ico", build::MakeIco({masked}));
    const auto png = iconpng::RenderPng(ico, 0);
    ASSERT_TRUE(png);
    const auto decoded = icons::DecodeIconImage(*png);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixels[0] >> 24, 0u);
    EXPECT_EQ(decoded->pixels[15], 0xFF123456u);
}

TEST_F(ExportPieces, ThirtyTwoBitIconKeepsAlphaAndMask) {
    IconImage icon;
    icon.width = icon.height = 32;
    icon.pixels.assign(32 * 32, 0x80204060);
    icon.mask.assign(32 * 32, 0);
    icon.pixels[0] = 0x00000000; // top-left transparent and masked
    icon.mask[0] = 1;
    const auto file = iconfile::EncodeIconFile32(icon);
    ASSERT_EQ(file.size(), 4286u);
    EXPECT_EQ(file[6], 32);                         // width
    EXPECT_EQ(file[8], 32);                         // bits where the palette size goes
    EXPECT_EQ(file[14] | file[15] << 8, 4286 - 22); // dwBytesInRes
    EXPECT_EQ(file[22 + 8], 64);                    // biHeight: colour and mask rows
    EXPECT_EQ(file[22 + 14], 32);                   // biBitCount
    EXPECT_EQ(file[4286 - 4], 0x80);                // top row's mask, first bit set
    const auto decoded = icons::DecodeIconImage(std::span(file).subspan(22));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixels, icon.pixels);
    IconImage mono = icon;
    mono.monochrome = true;
    EXPECT_THROW(iconfile::EncodeIconFile32(mono), iconfile::InvalidBitmapError);
}

TEST_F(ExportPieces, BatchNamesNeverOverwriteAndStopWhenCancelled) {
    const auto ico = Write("in/pic.x.ico", build::MakeIco({build::MakeSolidDib(16, 16, 8)}));
    const fs::path out = root_ / "out";
    fs::create_directories(out);
    const Bytes mine{1, 2, 3};
    Write("out/pic_x_ico_0.png", mine);

    batchsave::BatchSave batch(std::vector<batchsave::Item>{{ico, 0}, {ico, 0}, {ico, 5}, {ico, 0}},
                               batchsave::Options{out.string(), batchsave::Kind::Png, 32});
    EXPECT_TRUE(batch.Step());
    EXPECT_TRUE(batch.Step());
    EXPECT_TRUE(batch.Step()); // index 5 does not exist: a failure, and the batch goes on
    batch.Cancel();
    EXPECT_FALSE(batch.Step());
    const auto& summary = batch.Result();
    EXPECT_TRUE(summary.cancelled);
    EXPECT_EQ(summary.written, 2);
    EXPECT_EQ(summary.files, (std::vector<std::string>{(out / "pic_x_ico_0 (2).png").string(),
                                                       (out / "pic_x_ico_0 (3).png").string()}));
    ASSERT_EQ(summary.failures.size(), 1u);
    EXPECT_EQ(summary.failures[0].item.index, 5);
    EXPECT_EQ(Read(out / "pic_x_ico_0.png"), mine);
    EXPECT_EQ(batchsave::FileNameFor("/a/shell32.dll", 3, batchsave::Kind::Group),
              "shell32_dll_3.ico");
    EXPECT_EQ(batchsave::FreeName(out.string(), "pic_x_ico_0.png"), "pic_x_ico_0 (4).png");
}

} // namespace
} // namespace glyptor

// Icon containers from memory: .ico, .bmp, PE32, PE32+ and NE files, the choice of image for a
// size, and damaged, cyclic or contradictory files.
#include "IconFileBuilder.h"
#include "platform/icons/IconDecode.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace glyptor::icons {
namespace {

using testing::MakePe;
using testing::MakeSolidDib;
using testing::Resource;

constexpr std::uint32_t RT_ICON = 3;
constexpr std::uint32_t RT_GROUP_ICON = 14;
constexpr std::uint32_t kNeIcon = 0x8003;
constexpr std::uint32_t kNeGroupIcon = 0x800E;

struct Parsed {
    Bytes bytes;
    SpanSource source;
    ContainerIndex index;
    explicit Parsed(Bytes b) : bytes(std::move(b)), source(bytes), index(IndexContainer(source)) {}
    std::optional<IconImage> Extract(int i, IconImageInfo* chosen = nullptr) {
        return ExtractFromContainer(source, index, i, 32, chosen);
    }
};

std::uint32_t Centre(const IconImage& icon) {
    return icon.pixels[static_cast<std::size_t>(icon.height / 2) * icon.width + icon.width / 2];
}

// A module with one icon group per colour, each group holding one 32 x 32 24-bit image.
std::vector<Resource> ColourGroups(const std::vector<std::uint32_t>& colours,
                                   std::uint32_t groupType = RT_GROUP_ICON,
                                   std::uint32_t iconType = RT_ICON) {
    std::vector<Resource> resources;
    std::uint16_t id = 1;
    for (const std::uint32_t colour : colours) {
        auto image = MakeSolidDib(32, 32, 24, colour);
        resources.push_back({groupType, std::uint32_t{id}, testing::MakeGroup({{id, image}})});
        resources.push_back({iconType, std::uint32_t{id}, image});
        ++id;
    }
    return resources;
}

TEST(IconContainer, ChoosesTheImageWindowsWouldTakeForTheSize) {
    struct Image {
        int size;
        int bits;
        bool png;
    };
    struct Case {
        const char* what;
        std::vector<Image> images;
        std::size_t expected; // index into images
    };
    const std::vector<Case> cases = {
        {"exact size, deepest wins", {{16, 32, false}, {32, 8, false}, {32, 24, false}}, 2},
        {"png counts as 32 bits", {{32, 24, false}, {32, 0, true}}, 1},
        {"first of equals", {{32, 8, false}, {32, 8, false}}, 0},
        {"smallest larger", {{16, 32, false}, {64, 8, false}, {48, 4, false}}, 2},
        {"largest smaller", {{16, 32, false}, {24, 4, false}, {8, 32, false}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Bytes> images;
        for (std::size_t i = 0; i < c.images.size(); ++i) {
            const auto& im = c.images[i];
            // Each image gets its own colour so the chosen one can be recognised.
            const std::uint32_t colour = 0xFF000000u | static_cast<std::uint32_t>(0x10 * (i + 1));
            images.push_back(im.png ? testing::MakePng(im.size, im.size, colour)
                                    : MakeSolidDib(im.size, im.size, im.bits, colour));
        }
        Parsed ico(testing::MakeIco(images));
        ASSERT_EQ(ico.index.kind, ContainerKind::Ico);
        ASSERT_EQ(ico.index.Count(), 1);
        IconImageInfo chosen;
        const auto icon = ico.Extract(0, &chosen);
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->width, 32);
        EXPECT_EQ(icon->height, 32);
        EXPECT_TRUE(icon->IsValid());
        const auto& want = c.images[c.expected];
        EXPECT_EQ(chosen.width, want.size);
        EXPECT_EQ(chosen.png, want.png);
        if (!want.png) {
            EXPECT_EQ(chosen.bitCount, want.bits);
        }
    }
}

TEST(IconContainer, ScalingKeepsMonochromeIconsTwoLevel) {
    testing::DibOptions o;
    o.width = 16;
    o.height = 16;
    o.bitCount = 1;
    const auto mono = testing::MakeDib(
        o, [](int x, int) { return x < 8 ? 1u : 0u; }, [](int, int y) { return y < 4; });
    Parsed ico(testing::MakeIco({mono}));
    const auto icon = ico.Extract(0);
    ASSERT_TRUE(icon);
    EXPECT_TRUE(icon->monochrome);
    EXPECT_EQ(icon->width, 32);
    for (std::size_t i = 0; i < icon->pixels.size(); ++i) {
        const std::uint32_t rgb = icon->pixels[i] & 0xFFFFFF;
        ASSERT_TRUE(rgb == 0 || rgb == 0xFFFFFF);
    }
    EXPECT_EQ(icon->mask[0], 1);                   // top rows masked
    EXPECT_EQ(icon->mask[31 * 32], 0);             // bottom left not
    EXPECT_EQ(icon->pixels[31 * 32], 0xFFFFFFFFu); // and white
}

TEST(IconContainer, IcoFilesCountOneOrNothing) {
    const auto good = testing::MakeIco({MakeSolidDib(32, 32, 8)});
    EXPECT_EQ(Parsed(good).index.Count(), 1);

    auto damaged = [&](std::size_t at, std::uint8_t value) {
        auto copy = good;
        copy[at] = value;
        return Parsed(copy).index.Count();
    };
    EXPECT_EQ(damaged(0, 1), 0) << "reserved field set";
    EXPECT_EQ(damaged(2, 2), 0) << "a cursor directory";
    EXPECT_EQ(damaged(4, 0), 0) << "no images";
    EXPECT_EQ(damaged(4, 200), 0) << "more entries than bytes";
    EXPECT_EQ(damaged(21, 0x7F), 0) << "image offset past the end";
    EXPECT_EQ(Parsed(Bytes(good.begin(), good.begin() + 30)).index.Count(), 0);

    // A listed image that is not an image: counted, but no icon comes out of it.
    auto garbage = good;
    std::fill(garbage.begin() + 22, garbage.end(), 0xEE);
    Parsed p(garbage);
    EXPECT_EQ(p.index.Count(), 1);
    EXPECT_FALSE(p.Extract(0));
    EXPECT_FALSE(p.Extract(1));
    EXPECT_FALSE(p.Extract(-1));
}

// An .ico file whose directory has `count` entries; entry i names `image` (placed after the
// directory) when `names(i)`, else bytes far past the end of the file.
Bytes IcoNaming(std::uint32_t count, const Bytes& image,
                const std::function<bool(std::uint32_t)>& names) {
    testing::ByteWriter w;
    w.U16(0);
    w.U16(1);
    w.U16(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        w.U32(0x00002020); // 32 x 32, no palette
        w.U32(0x00200001); // 1 plane, 32 bits
        w.U32(static_cast<std::uint32_t>(image.size()));
        w.U32(names(i) ? 6 + 16 * count : 0x7FFFFFF0u);
    }
    w.Append(image);
    return w.bytes;
}

TEST(IconContainer, IcoCountAndImagesAgree) {
    // 65535 entries of which only the last names a real image: one icon, and it comes out.
    Parsed lastReal(
        IcoNaming(65535, MakeSolidDib(32, 32, 24), [](std::uint32_t i) { return i == 65534; }));
    ASSERT_EQ(lastReal.index.Count(), 1);
    EXPECT_TRUE(lastReal.Extract(0));
    EXPECT_EQ(GroupImages(lastReal.source, lastReal.index, 0).size(), 1u);

    // One image listed 256 times is one image of the icon, not 256 (each a full decode).
    Parsed repeated(IcoNaming(256, MakeSolidDib(64, 64, 32), [](std::uint32_t) { return true; }));
    ASSERT_EQ(repeated.index.Count(), 1);
    EXPECT_EQ(GroupImages(repeated.source, repeated.index, 0).size(), 1u);
}

// Thousands of groups naming one damaged image of every entry cost one decode of it, not one per
// entry and group: the bytes read stay near the size of the image once.
TEST(IconContainer, OneDamagedImageNamedEverywhereIsTriedOnce) {
    Bytes damaged = MakeSolidDib(128, 128, 32);
    damaged.resize(40000); // the header promises more rows than there are
    std::vector<Resource> resources;
    const std::vector<std::pair<std::uint16_t, Bytes>> entries(256, {1, damaged});
    for (std::uint32_t group = 1; group <= 16; ++group) {
        resources.push_back({RT_GROUP_ICON, group, testing::MakeGroup(entries)});
    }
    resources.push_back({RT_ICON, std::uint32_t{1}, damaged});
    const Bytes pe = MakePe(resources);
    testing::CountingSource source(pe);
    ContainerIndex index = IndexContainer(source);
    ASSERT_EQ(index.Count(), 16);
    for (int group = 0; group < 16; ++group) {
        EXPECT_FALSE(ExtractFromContainer(source, index, group, 32));
    }
    EXPECT_LT(source.bytesRead, pe.size() + damaged.size());
}

TEST(IconContainer, BitmapsAreFittedWithTheirAspect) {
    // 64 x 32, left half red, right half blue: fitted to 32 x 16 in rows 8 to 23.
    Parsed bmp(
        testing::MakeBmp(64, 32, 24, [](int x, int) { return x < 32 ? 0xFF0000u : 0x0000FFu; }));
    ASSERT_EQ(bmp.index.kind, ContainerKind::Bmp);
    ASSERT_EQ(bmp.index.Count(), 1);
    const auto icon = bmp.Extract(0);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 32);
    const auto at = [&](int x, int y) {
        return icon->pixels[static_cast<std::size_t>(y) * 32 + x];
    };
    const auto maskAt = [&](int x, int y) {
        return icon->mask[static_cast<std::size_t>(y) * 32 + x];
    };
    EXPECT_EQ(maskAt(5, 2), 1);
    EXPECT_EQ(at(5, 2) >> 24, 0u);
    EXPECT_EQ(maskAt(5, 28), 1);
    EXPECT_EQ(maskAt(5, 12), 0);
    EXPECT_EQ(at(2, 12), 0xFFFF0000u);
    EXPECT_EQ(at(29, 12), 0xFF0000FFu);

    // A line one pixel high still shows.
    Parsed thin(testing::MakeBmp(300, 1, 8, [](int, int) { return 255u; }));
    const auto line = thin.Extract(0);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->mask[15 * 32 + 16], 0);
    EXPECT_EQ(line->mask[16 * 32 + 16], 1);
}

// A file of `size` bytes that starts with `head` and is zero after it, without holding it all.
class SparseSource final : public ByteSource {
public:
    SparseSource(Bytes head, std::uint64_t size) : head_(std::move(head)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        if (!Contains(offset, out.size())) {
            return false;
        }
        bytesRead += out.size();
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = offset + i < head_.size() ? head_[offset + i] : 0;
        }
        return true;
    }
    std::uint64_t bytesRead = 0;

private:
    Bytes head_;
    std::uint64_t size_;
};

TEST(IconContainer, AHugeFileWithASmallBitmapIsNotReadWhole) {
    SparseSource source(testing::MakeBmp(40, 20, 24, [](int, int) { return 0x00FF00u; }),
                        std::uint64_t{3} << 30);
    auto index = IndexContainer(source);
    ASSERT_EQ(index.Count(), 1);
    const auto icon = ExtractFromContainer(source, index, 0, 32);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->pixels[16 * 32 + 16], 0xFF00FF00u);
    EXPECT_LT(source.bytesRead, std::uint64_t{100} << 20);
}

TEST(IconContainer, PeGroupsInDirectoryOrderNamedFirst) {
    for (const bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        auto red = MakeSolidDib(32, 32, 24, 0xFFFF0000);
        auto green = MakeSolidDib(32, 32, 8, 0xFF00FF00);
        auto blue = MakeSolidDib(32, 32, 4, 0xFF0000FF);
        auto white = testing::MakePng(32, 32, 0xFFFFFFFF);
        const std::vector<Resource> resources = {
            {RT_ICON, std::uint32_t{7}, red},
            {RT_ICON, std::uint32_t{3}, green},
            {RT_ICON, std::uint32_t{9}, blue},
            {RT_ICON, std::uint32_t{4}, white},
            {RT_GROUP_ICON, std::uint32_t{50}, testing::MakeGroup({{7, red}})},
            {RT_GROUP_ICON, u"ZED", testing::MakeGroup({{3, green}})},
            {RT_GROUP_ICON, std::uint32_t{2}, testing::MakeGroup({{9, blue}})},
            {RT_GROUP_ICON, u"ALPHA", testing::MakeGroup({{4, white}})},
        };
        testing::PeOptions options;
        options.pe32Plus = plus;
        Parsed pe(MakePe(resources, options));
        ASSERT_EQ(pe.index.kind, ContainerKind::Pe);
        ASSERT_EQ(pe.index.Count(), 4);
        const std::uint32_t expected[] = {0xFF00FF00, 0xFFFFFFFF, 0xFFFF0000, 0xFF0000FF};
        for (int i = 0; i < 4; ++i) {
            const auto icon = pe.Extract(i);
            ASSERT_TRUE(icon) << i;
            EXPECT_EQ(Centre(*icon), expected[i]) << i;
        }
        EXPECT_FALSE(pe.Extract(4));
    }
}

TEST(IconContainer, GroupsPointingAtMissingImages) {
    auto small = MakeSolidDib(16, 16, 8, 0xFF123456);
    auto big = MakeSolidDib(32, 32, 8, 0xFF654321);
    Parsed pe(MakePe({
        {RT_ICON, std::uint32_t{1}, small},
        {RT_GROUP_ICON, std::uint32_t{1}, testing::MakeGroup({{99, big}})},
        {RT_GROUP_ICON, std::uint32_t{2}, testing::MakeGroup({{98, big}, {1, small}})},
    }));
    ASSERT_EQ(pe.index.Count(), 2);
    EXPECT_FALSE(pe.Extract(0)) << "its only image is missing";
    IconImageInfo chosen;
    const auto icon = pe.Extract(1, &chosen);
    ASSERT_TRUE(icon) << "the image that exists stands in";
    EXPECT_EQ(chosen.width, 16);
    EXPECT_EQ(Centre(*icon), 0xFF123456u);
}

TEST(IconContainer, SectionMappingAndModulesWithoutIcons) {
    testing::PeOptions options;
    options.sectionRva = 0x12000;
    options.rawOffset = 0x600;
    Parsed mapped(MakePe(ColourGroups({0xFF112233, 0xFF445566}), options));
    ASSERT_EQ(mapped.index.Count(), 2);
    const auto icon = mapped.Extract(1);
    ASSERT_TRUE(icon);
    EXPECT_EQ(Centre(*icon), 0xFF445566u);

    Parsed noIcons(MakePe({{16, std::uint32_t{1}, Bytes(20, 1)}})); // a version resource only
    EXPECT_EQ(noIcons.index.kind, ContainerKind::Pe);
    EXPECT_EQ(noIcons.index.Count(), 0);
    Parsed nothing(Bytes{'M', 'Z'});
    EXPECT_EQ(nothing.index.Count(), 0);
}

TEST(IconContainer, CountReadsOnlyHeadersAndDirectory) {
    // Big images make the resource data far larger than the headers and directory.
    std::vector<Resource> resources;
    for (std::uint16_t id = 1; id <= 20; ++id) {
        auto image = MakeSolidDib(128, 128, 32, 0xFF000000u + id);
        resources.push_back({RT_GROUP_ICON, std::uint32_t{id}, testing::MakeGroup({{id, image}})});
        resources.push_back({RT_ICON, std::uint32_t{id}, image});
    }
    const auto bytes = MakePe(resources);
    testing::CountingSource source(bytes);
    EXPECT_EQ(IndexContainer(source).Count(), 20);
    EXPECT_LT(source.bytesRead, 2000u);
    EXPECT_GT(bytes.size(), 1000000u);
}

// Byte offsets inside MakePe's output, for damaging chosen fields.
constexpr std::size_t kPeHeader = 0x80;
constexpr std::size_t kSectionTable = kPeHeader + 24 + 224;
constexpr std::size_t kRoot = testing::kPeResourceFileOffset;

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    testing::ByteWriter w;
    w.bytes = std::move(b);
    w.Put32(at, v);
    b = std::move(w.bytes);
}

TEST(IconContainer, DamagedPeFilesGiveNoIcons) {
    const auto good = MakePe(ColourGroups({0xFF010101, 0xFF020202}));
    ASSERT_EQ(Parsed(good).index.Count(), 2);
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const std::vector<Damage> damages = {
        {"e_lfanew past the end", 0x3C, 0x7FFFFFF0},
        {"unknown optional header", kPeHeader + 24, 0x1234},
        {"optional header larger than the file", kPeHeader + 20, 0x2102FFFF},
        {"too many sections", kPeHeader + 6, 0xFFFF},
        {"resource RVA in no section", kPeHeader + 24 + 96 + 16, 0x900000},
        {"section raw data past the end", kSectionTable + 20, 0x7FFFFF00},
        {"huge entry count", kRoot + 12, 0xFFFFFFFF},
    };
    for (const auto& d : damages) {
        auto bytes = good;
        Put32(bytes, d.at, d.value);
        Parsed p(bytes);
        EXPECT_EQ(p.index.Count(), 0) << d.what;
        EXPECT_FALSE(p.Extract(0)) << d.what;
    }
}

// A file without icons says why and where: the first damage met, or what is missing.
TEST(IconContainer, RefusalsSayWhyAndWhere) {
    const auto pe = MakePe(ColourGroups({0xFF010101}));
    const auto ne = testing::MakeNe(ColourGroups({0xFF010101}, kNeGroupIcon, kNeIcon));
    const auto ico = testing::MakeIco({MakeSolidDib(16, 16, 4)});
    const auto bmp = testing::MakeBmp(7, 5, 24, [](int, int) { return 0xFF0000FFu; });
    const std::uint32_t groupDir = 16 + 2 * 8;
    const std::uint32_t dataEntries = groupDir + 2 * 24 + 2 * 24;
    struct Case {
        const char* what;
        Bytes bytes;
        std::size_t at; // where to damage, or SIZE_MAX for none
        std::uint32_t value;
        RefusalKind kind;
        std::uint64_t offset;
    };
    const std::vector<Case> cases = {
        {"text", Bytes(40, 'x'), SIZE_MAX, 0, RefusalKind::NotAContainer, 0},
        {"MZ alone", Bytes{'M', 'Z'}, SIZE_MAX, 0, RefusalKind::TruncatedHeader, 0},
        {"e_lfanew past the end", pe, 0x3C, 0x7FFFFFF0, RefusalKind::TruncatedHeader, 0x3C},
        {"DOS program", pe, kPeHeader, 0x3F3F, RefusalKind::UnsupportedHeader, kPeHeader},
        {"unknown optional header", pe, kPeHeader + 24, 0x1234, RefusalKind::UnsupportedHeader,
         kPeHeader + 24},
        {"empty resource directory entry", pe, kPeHeader + 24 + 96 + 16 + 4, 0,
         RefusalKind::NoResources, kPeHeader + 24 + 92},
        {"group type directory is the root", pe, kRoot + 16 + 4, 0x80000000u,
         RefusalKind::ResourceDirectoryLoop, kRoot},
        {"huge entry count", pe, kRoot + 12, 0xFFFFFFFF, RefusalKind::TooManyResources, kRoot + 12},
        {"icon data outside every section", pe, kRoot + dataEntries, 0x7FFF0000,
         RefusalKind::ResourceOutOfFile, 0x7FFF0000},
        {"version resource only", MakePe({{16, std::uint32_t{1}, Bytes(20, 1)}}), SIZE_MAX, 0,
         RefusalKind::NoIconGroups, kRoot},
        {"NE alignment shift past anything real", ne, 0x80, 30, RefusalKind::UnsupportedHeader,
         0x80},
        {"NE without icon groups", testing::MakeNe({{kNeIcon, std::uint32_t{1}, Bytes(40, 0)}}),
         SIZE_MAX, 0, RefusalKind::NoIconGroups, 0x80},
        {"icon image past the end", ico, 6 + 12, 0x7FFFFFF0, RefusalKind::NoIconImages, 6},
        {"bitmap of 3 bits per pixel", bmp, 14 + 14, 3, RefusalKind::BadBitmap, 14 + 14},
    };
    for (const auto& c : cases) {
        auto bytes = c.bytes;
        if (c.at != SIZE_MAX) {
            Put32(bytes, c.at, c.value);
        }
        const Parsed p(bytes);
        EXPECT_EQ(p.index.Count(), 0) << c.what;
        EXPECT_EQ(p.index.refusal.kind, c.kind)
            << c.what << ": " << DescribeRefusal(p.index.refusal.kind);
        EXPECT_EQ(p.index.refusal.offset, c.offset) << c.what;
    }
    EXPECT_EQ(Parsed(pe).index.refusal.kind, RefusalKind::None);
}

TEST(IconContainer, CyclicResourceDirectoriesEnd) {
    const auto good = MakePe(ColourGroups({0xFF010101}));
    // Root: 16 + 2 types * 8; the first type entry (RT_GROUP_ICON) points at its directory.
    const std::uint32_t groupDir = 16 + 2 * 8;
    {
        auto bytes = good;
        Put32(bytes, kRoot + 16 + 4, 0x80000000u); // the group type directory is the root
        EXPECT_EQ(Parsed(bytes).index.Count(), 0);
    }
    {
        auto bytes = good;
        // The group's language directory is its own name directory.
        Put32(bytes, kRoot + groupDir + 16 + 4, 0x80000000u | groupDir);
        Parsed p(bytes);
        EXPECT_EQ(p.index.Count(), 0);
        EXPECT_FALSE(p.Extract(0));
    }
    {
        auto bytes = good;
        // The data entry's RVA points outside every section.
        const std::uint32_t dataEntries = groupDir + 2 * 24 + 2 * 24;
        Put32(bytes, kRoot + dataEntries, 0x7FFF0000);
        EXPECT_EQ(Parsed(bytes).index.Count(), 0);
    }
}

TEST(IconContainer, EveryTruncationAndRandomDamageIsSurvived) {
    auto image = MakeSolidDib(16, 16, 4);
    const std::vector<Bytes> files = {
        MakePe(ColourGroups({0xFF0000FF, 0xFF00FF00})),
        testing::MakeNe(ColourGroups({0xFF0000FF, 0xFF00FF00}, kNeGroupIcon, kNeIcon)),
        testing::MakeIco({image, testing::MakePng(16, 16, 0xFF00FF00)}),
        testing::MakeBmp(7, 5, 8, [](int x, int) { return static_cast<std::uint32_t>(x); }),
    };
    std::mt19937 random(1234);
    for (const auto& file : files) {
        for (std::size_t length = 0; length < file.size(); length += 7) {
            Parsed p(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)));
            for (int i = 0; i < p.index.Count(); ++i) {
                (void)p.Extract(i);
            }
        }
        for (int round = 0; round < 300; ++round) {
            auto bytes = file;
            const int flips = 1 + static_cast<int>(random() % 8);
            for (int f = 0; f < flips; ++f) {
                bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
            }
            Parsed p(bytes);
            ASSERT_LE(p.index.Count(), 2);
            for (int i = 0; i < p.index.Count(); ++i) {
                if (const auto icon = p.Extract(i)) {
                    ASSERT_TRUE(icon->IsValid());
                    ASSERT_EQ(icon->width, 32);
                }
            }
        }
    }
}

TEST(IconContainer, NeModulesAndIconLibraries) {
    for (const int shift : {0, 4, 9}) {
        SCOPED_TRACE(shift);
        auto a = MakeSolidDib(32, 32, 4, 0xFF800000);
        auto b = MakeSolidDib(16, 16, 8, 0xFF008000);
        // An .icl names its groups; the table's own order counts.
        Parsed ne(testing::MakeNe(
            {
                {kNeIcon, std::uint32_t{2}, a},
                {kNeIcon, std::uint32_t{1}, b},
                {kNeGroupIcon, u"SECOND", testing::MakeGroup({{1, b}})},
                {kNeGroupIcon, std::uint32_t{5}, testing::MakeGroup({{2, a}})},
            },
            shift));
        ASSERT_EQ(ne.index.kind, ContainerKind::Ne);
        ASSERT_EQ(ne.index.Count(), 2);
        const auto first = ne.Extract(0);
        const auto second = ne.Extract(1);
        ASSERT_TRUE(first);
        ASSERT_TRUE(second);
        EXPECT_EQ(Centre(*first), 0xFF008000u);
        EXPECT_EQ(Centre(*second), 0xFF800000u);
    }
}

TEST(IconContainer, DamagedNeFiles) {
    const auto good = testing::MakeNe(ColourGroups({0xFF010101}, kNeGroupIcon, kNeIcon));
    ASSERT_EQ(Parsed(good).index.Count(), 1);
    auto shift = good;
    shift[0x80] = 30; // alignment shift past anything real
    EXPECT_EQ(Parsed(shift).index.Count(), 0);
    auto count = good;
    count[0x80 + 4] = 0xFF; // more records than the table holds
    count[0x80 + 5] = 0xFF;
    Parsed p(count);
    EXPECT_LE(p.index.Count(), 1);
    (void)p.Extract(0);
}

} // namespace
} // namespace glyptor::icons

// libFuzzer entry points for the icon parsers. One source, three targets (chosen with
// GLYPTOR_ICONS_FUZZ_TARGET): whole containers as the icon source sees files (PE, NE, .ico,
// .bmp, recognised by content), single icon images (DIB with mask, PNG), and .bmp files.
#include "platform/icons/IconDecode.h"

#include <QLoggingCategory>

#include <cstdint>
#include <cstdlib>

namespace {

using namespace glyptor;
using namespace glyptor::icons;

void Check(const std::optional<IconImage>& icon) {
    if (icon && !icon->IsValid()) {
        std::abort(); // a decoder handed out an image its own model calls invalid
    }
}

void FuzzContainer(std::span<const std::uint8_t> bytes) {
    SpanSource source(bytes);
    auto index = IndexContainer(source);
    // Every group is extracted, but a hostile file could list thousands: the first few and the
    // last one show the same code paths.
    const int count = index.Count();
    if ((count > 0) != (index.refusal.kind == RefusalKind::None)) {
        std::abort(); // a file without icons must say why, and one with icons must not
    }
    for (int group = 0; group < count && group < 8; ++group) {
        Check(ExtractFromContainer(source, index, group, 32));
    }
    if (count > 8) {
        Check(ExtractFromContainer(source, index, count - 1, 16));
    }
}

void FuzzImage(std::span<const std::uint8_t> bytes) {
    (void)ProbeIconImage(bytes.first(std::min(bytes.size(), kIconProbeBytes)));
    const auto icon = DecodeIconImage(bytes);
    Check(icon);
    if (icon) {
        Check(ScaleIcon(*icon, 32));
    }
}

void FuzzBitmap(std::span<const std::uint8_t> bytes) {
    (void)ProbeBitmapFile(bytes.first(std::min(bytes.size(), kBitmapProbeBytes)), bytes.size());
    const auto picture = DecodeBitmapFile(bytes);
    Check(picture);
    if (picture) {
        Check(FitPicture(*picture, 32));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // libpng complains about every damaged PNG through Qt's log; that is expected here.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio=false"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr void (*kTargets[])(std::span<const std::uint8_t>) = {FuzzContainer, FuzzImage,
                                                                   FuzzBitmap};
    static_assert(GLYPTOR_ICONS_FUZZ_TARGET >= 1 && GLYPTOR_ICONS_FUZZ_TARGET <= 3);
    kTargets[GLYPTOR_ICONS_FUZZ_TARGET - 1](std::span<const std::uint8_t>(data, size));
    return 0;
}

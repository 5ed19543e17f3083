// Resizing icons and fitting pictures into the icon size, with Qt's smooth scaler.
#include "platform/icons/IconDecode.h"

#include <QImage>

#include <algorithm>

namespace glyptor::icons {

namespace {

// Copies a scaled picture into `target` at (left, top). A scaled edge pixel that is less than
// half covered gets the mask bit, so that a one-bit consumer sees the same outline.
void Blit(const QImage& scaled, IconImage& target, int left, int top) {
    const QImage image = scaled.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const std::size_t i = static_cast<std::size_t>(top + y) * target.width + (left + x);
            target.pixels[i] = row[x];
            target.mask[i] = (row[x] >> 24) < 128 ? 1 : 0;
        }
    }
}

// The icon's pixels as a picture for Qt's smooth scaler, without a copy (it lives no longer
// than `icon`). Pictures fitted into a cell are often large bitmap files, where a copy costs
// about as much as the scaling. (Handing an opaque picture over as premultiplied would save
// the scaler's own copy too, but for some sizes Qt then scales it another way.)
QImage ScalerInput(const IconImage& icon) {
    return QImage(reinterpret_cast<const uchar*>(icon.pixels.data()), icon.width, icon.height,
                  qsizetype{icon.width} * 4, QImage::Format_ARGB32);
}

IconImage Blank(int size) {
    IconImage icon;
    icon.width = size;
    icon.height = size;
    icon.pixels.assign(static_cast<std::size_t>(size) * size, 0);
    icon.mask.assign(icon.pixels.size(), 1);
    return icon;
}

} // namespace

IconImage ScaleIcon(const IconImage& icon, int size) {
    IconImage out = Blank(size);
    out.monochrome = icon.monochrome;
    if (icon.monochrome) {
        for (int y = 0; y < size; ++y) {
            const int sy = y * icon.height / size;
            for (int x = 0; x < size; ++x) {
                const int sx = x * icon.width / size;
                const std::size_t from = static_cast<std::size_t>(sy) * icon.width + sx;
                const std::size_t to = static_cast<std::size_t>(y) * size + x;
                out.pixels[to] = icon.pixels[from];
                out.mask[to] = icon.mask[from];
            }
        }
        return out;
    }
    if (!icon.IsValid())
        return out;
    Blit(ScalerInput(icon).scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), out,
         0, 0);
    return out;
}

IconImage FitPicture(const IconImage& picture, int size) {
    IconImage out = Blank(size);
    if (!picture.IsValid())
        return out;
    // A thin picture keeps at least one pixel of width or height.
    const std::int64_t longest = std::max(picture.width, picture.height);
    const int width = static_cast<int>(std::clamp<std::int64_t>(
        (std::int64_t{picture.width} * size + longest / 2) / longest, 1, size));
    const int height = static_cast<int>(std::clamp<std::int64_t>(
        (std::int64_t{picture.height} * size + longest / 2) / longest, 1, size));
    Blit(
        ScalerInput(picture).scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
        out, (size - width) / 2, (size - height) / 2);
    return out;
}

QImage ToQImage(const IconImage& icon) {
    if (!icon.IsValid()) {
        return {};
    }
    QImage image(icon.width, icon.height, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        std::copy_n(icon.pixels.begin() + static_cast<std::ptrdiff_t>(y) * icon.width, icon.width,
                    row);
    }
    return image;
}

IconImage FromQImage(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    IconImage icon;
    icon.width = image.width();
    icon.height = image.height();
    icon.pixels.reserve(static_cast<std::size_t>(icon.width) * icon.height);
    icon.mask.reserve(icon.pixels.capacity());
    for (int y = 0; y < icon.height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
        for (int x = 0; x < icon.width; ++x) {
            icon.pixels.push_back(row[x]);
            icon.mask.push_back((row[x] >> 24) == 0 ? 1 : 0);
        }
    }
    return icon;
}

} // namespace glyptor::icons

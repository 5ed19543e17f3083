#include "theme/skin/SkinLayout.h"

#include <QPainter>

#include <cmath>
#include <limits>

namespace glyptor::skin {

const std::array<PictureKey, 23> kPictureKeys{{
    {"TOOL1", "gy_tool1", false, TOOL1, {20, 20}, 16},
    {"TOOL2", "gy_tool2", false, TOOL2, {20, 20}, 16},
    {"TOOL3", "gy_tool3", false, TOOL3, {20, 20}, 16},
    {"TOOL4", "gy_tool4", false, TOOL4, {20, 20}, 16},
    {"MAX", "gy_max", false, MAX, {16, 16}, 16},
    {"MIN", "gy_min", false, MIN, {16, 16}, 16},
    {"LOGO", "gy_logo", false, LOGO, {200, 200}, 24},
    {"TITLE1", "gy_title1", true, TITLE1, {150, 42}, 8},
    {"TITLE2", "gy_title2", true, TITLE2, {150, 42}, 8},
    {"TILE1", "gy_tile1", true, TILE1, {6, 42}, 8},
    {"TILE2", "gy_tile2", true, TILE2, {5, 23}, 4},
    {"OPTIONS1", "gy_options1", true, OPTIONS1, {91, 10}, 8},
    {"OPTIONS2", "gy_options2", true, OPTIONS2, {91, 10}, 8},
    {"SCAN1", "gy_scan1", true, SCAN1, {121, 15}, 8},
    {"SCAN2", "gy_scan2", true, SCAN2, {121, 15}, 8},
    {"TOOLS1", "gy_tools1", true, TOOLS1, {17, 23}, 8},
    {"EXIT1", "gy_exit1", true, EXIT1, {29, 23}, 8},
    {"EXIT2", "gy_exit2", true, EXIT2, {29, 23}, 8},
    {"RESIZE1", "gy_resize1", true, RESIZE1, {14, 23}, 8},
    {"ABOUT1", "gy_about1", true, ABOUT1, {16, 16}, 8},
    {"ABOUT2", "gy_about2", true, ABOUT2, {16, 16}, 8},
    {"WWW1", "gy_www1", true, WWW1, {16, 16}, 8},
    {"WWW2", "gy_www2", true, WWW2, {16, 16}, 8},
}};

const PictureKey& SlotPicture(SlotIndex slot) {
    for (const PictureKey& picture : kPictureKeys)
        if (picture.isSlot && picture.index == slot)
            return picture;
    throw std::out_of_range("no such picture slot");
}

const PictureKey& GlyphPicture(GlyphIndex glyph) {
    for (const PictureKey& picture : kPictureKeys)
        if (!picture.isSlot && picture.index == glyph)
            return picture;
    throw std::out_of_range("no such glyph");
}

EVariantError InvalidVariantTypeConversion() {
    return EVariantError("Invalid variant type conversion");
}

EVariantError InvalidVariantOperation() {
    return EVariantError("Invalid variant operation");
}

void ReadLayoutKey(const Tgy3Store& store, const LayoutKey& key, TLayoutValue& holder) {
    const bool asText = key.use == KeyUse::Text || key.use == KeyUse::VariantInteger;
    store.ReadValue(key.section, key.name, holder, asText ? vkString : vkInteger);
}

int TextToInteger(const std::string& text) {
    std::size_t at = 0;
    auto blank = [&](std::size_t i) { return text[i] == ' ' || text[i] == '\t'; };
    while (at < text.size() && blank(at))
        ++at;
    std::size_t end = text.size();
    while (end > at && blank(end - 1))
        --end;
    bool negative = false;
    if (at < end && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    const std::size_t digitsAt = at;
    // Digits are summed in a double: 32-bit range checks happen on the rounded result.
    double whole = 0;
    while (at < end && text[at] >= '0' && text[at] <= '9' && whole < 1e12)
        whole = whole * 10 + (text[at++] - '0');
    const bool hasWhole = at > digitsAt;
    double fraction = 0;
    bool hasFraction = false;
    if (at < end && text[at] == '.') {
        ++at;
        double scale = 0.1;
        while (at < end && text[at] >= '0' && text[at] <= '9') {
            fraction += (text[at++] - '0') * scale;
            scale /= 10;
            hasFraction = true;
        }
    }
    if (at != end || (!hasWhole && !hasFraction))
        throw InvalidVariantTypeConversion();
    double value = whole + fraction;
    // Half-way values go to the even neighbour, as the platform's conversion rounds.
    double rounded = std::floor(value);
    const double rest = value - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2.0) != 0))
        rounded += 1;
    if (negative)
        rounded = -rounded;
    if (rounded < std::numeric_limits<std::int32_t>::min() ||
        rounded > std::numeric_limits<std::int32_t>::max())
        throw InvalidVariantTypeConversion();
    return static_cast<int>(rounded);
}

int ValueAsInteger(const TLayoutValue& value) {
    if (std::holds_alternative<std::int32_t>(value))
        return std::get<std::int32_t>(value);
    if (std::holds_alternative<std::string>(value))
        return TextToInteger(std::get<std::string>(value));
    if (std::holds_alternative<std::monostate>(value))
        return 0;
    throw InvalidVariantTypeConversion();
}

std::string ValueAsText(const TLayoutValue& value) {
    if (std::holds_alternative<std::string>(value))
        return std::get<std::string>(value);
    if (std::holds_alternative<std::int32_t>(value))
        return std::to_string(std::get<std::int32_t>(value));
    if (std::holds_alternative<std::monostate>(value))
        return {};
    throw InvalidVariantTypeConversion();
}

bool ValueIsOne(const TLayoutValue& value) {
    if (std::holds_alternative<std::monostate>(value))
        throw InvalidVariantOperation();
    return ValueAsInteger(value) == 1;
}

QColor ColorFromNumber(int number) {
    const auto bits = static_cast<std::uint32_t>(number);
    if ((bits & 0xFF000000u) == 0x80000000u) {
        // The classic system colours, by their index: a theme made for the original program
        // may name "button face" and the like instead of a colour.
        static constexpr std::uint32_t kSystemColours[] = {
            0xC0C0C0, 0x808000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000,
            0x000000, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0,
            0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xDFDFDF, 0x000000,
            0xE1FFFF, 0xC0C0C0, 0x800000, 0xD08410, 0x808080, 0xFF0000, 0xC0C0C0};
        const std::uint32_t index = bits & 0xFFu;
        const std::uint32_t bgr = index < std::size(kSystemColours) ? kSystemColours[index] : 0;
        return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                      static_cast<int>((bgr >> 16) & 0xFF));
    }
    // The high byte of other numbers selects palette behaviour, which has no meaning here.
    return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                  static_cast<int>((bits >> 16) & 0xFF));
}

void DrawOpaque(QImage& target, const QImage& picture, int x, int y) {
    if (target.isNull() || picture.isNull())
        return;
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(x, y, picture);
}

void TilePicture(QImage& target, const QImage& tile) {
    if (tile.width() < 1 || tile.height() < 1 || target.isNull())
        return;
    QPainter painter(&target);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int y = 0; y < target.height(); y += tile.height())
        for (int x = 0; x < target.width(); x += tile.width())
            painter.drawImage(x, y, tile);
}

void ResizeBitmap(QImage& bitmap, int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (bitmap.width() == width && bitmap.height() == height && !bitmap.isNull())
        return;
    QImage resized(width, height, QImage::Format_RGB32);
    if (resized.isNull()) {
        bitmap = QImage();
        return;
    }
    resized.fill(Qt::black);
    if (!bitmap.isNull())
        DrawOpaque(resized, bitmap.convertToFormat(QImage::Format_RGB32), 0, 0);
    bitmap = resized;
}

QImage GlyphWithTransparency(const QImage& glyph) {
    if (glyph.isNull())
        return glyph;
    QImage result = glyph.convertToFormat(QImage::Format_ARGB32);
    const QRgb clear = result.pixel(0, result.height() - 1) | 0xFF000000u;
    for (int y = 0; y < result.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            if ((row[x] | 0xFF000000u) == clear)
                row[x] = 0;
    }
    return result;
}

QImage BoundedPicture(const QImage& picture) {
    if (picture.width() <= kMaxPictureSide && picture.height() <= kMaxPictureSide)
        return picture;
    return picture.copy(0, 0, std::min(picture.width(), kMaxPictureSide),
                        std::min(picture.height(), kMaxPictureSide));
}

} // namespace glyptor::skin

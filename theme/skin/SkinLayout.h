// What a skin is made of, without the window: the twelve layout keys of a theme and how their
// values convert, the picture keys in the order they are read, and the picture composition
// (tiling, opaque drawing). The window's skin code and the theme checker of glyptor-zip both
// read themes through this, so an author sees the same messages the program would show.
#pragma once

#include "theme/gy3Store.h"

#include <QColor>
#include <QImage>
#include <QSize>

#include <array>
#include <stdexcept>
#include <string>

namespace glyptor::skin {

// How a layout value is fetched and what it becomes.
enum class KeyUse {
    Integer,        // fetched as an integer (kind 3)
    Text,           // fetched as text (kind 256), taken unchanged
    Border,         // fetched as an integer and compared with 1
    VariantInteger, // fetched as text and converted by the general value conversion
};

struct LayoutKey {
    const char* section;
    const char* name;
    KeyUse use;
};

// The layout keys in the order a theme applies them.
inline constexpr std::array<LayoutKey, 12> kLayoutKeys{{
    {"panel", "color", KeyUse::Integer},
    {"browser", "color", KeyUse::Integer},
    {"iconbox", "color", KeyUse::Integer},
    {"splitter", "color", KeyUse::Integer},
    {"statuslabel", "fontcolor", KeyUse::Integer},
    {"browser", "fontcolor", KeyUse::Integer},
    {"browser", "fontname", KeyUse::Text},
    {"browser", "fontsize", KeyUse::Integer},
    {"iconbox", "3d", KeyUse::Border},
    {"panelright", "width", KeyUse::VariantInteger},
    {"panelbottom", "height", KeyUse::Integer},
    {"paneltop", "height", KeyUse::Integer},
}};

// The sixteen picture slots; the pairs ending in 1 and 2 are a control's normal and highlighted
// picture.
enum SlotIndex : int {
    TITLE1,
    TITLE2,
    TILE1,
    TILE2,
    OPTIONS1,
    OPTIONS2,
    SCAN1,
    SCAN2,
    ABOUT1,
    ABOUT2,
    WWW1,
    WWW2,
    EXIT1,
    EXIT2,
    TOOLS1,
    RESIZE1,
    SlotCount
};

// The pictures that have no slot: they go straight into a button or the logo.
enum GlyphIndex : int { TOOL1, TOOL2, TOOL3, TOOL4, MAX, MIN, LOGO, GlyphCount };

// One picture of a skin: its built-in resource name, its theme entry key, where it goes, and
// the size and depth of the built-in picture.
struct PictureKey {
    const char* resource; // "TITLE1"
    const char* key;      // "gy_title1"
    bool isSlot;
    int index; // SlotIndex or GlyphIndex
    QSize size;
    int depth;
};

// Every picture in the order a theme reads them: the glyphs and the logo, then the slots.
extern const std::array<PictureKey, 23> kPictureKeys;
const PictureKey& SlotPicture(SlotIndex slot);
const PictureKey& GlyphPicture(GlyphIndex glyph);

// The failures of the general value conversion, with its messages.
class EVariantError : public std::runtime_error {
public:
    explicit EVariantError(const std::string& message) : std::runtime_error(message) {}
};
// "Invalid variant type conversion"
EVariantError InvalidVariantTypeConversion();
// "Invalid variant operation"
EVariantError InvalidVariantOperation();

// Fetches one key from the store into the holder, as the skin does (the store raises the
// integer parse's message); a store without a layout leaves the holder untouched.
void ReadLayoutKey(const Tgy3Store& store, const LayoutKey& key, TLayoutValue& holder);

// The holder as an integer: empty is 0; a text goes through the general value conversion.
int ValueAsInteger(const TLayoutValue& value);
// The holder as a text: empty is "", an integer its decimal digits.
std::string ValueAsText(const TLayoutValue& value);
// Whether the holder equals the integer 1; an empty holder cannot be compared and raises
// "Invalid variant operation".
bool ValueIsOne(const TLayoutValue& value);
// The general value conversion of a text to an integer: blanks around a signed decimal number,
// a fraction rounded half to even; anything else, or a number beyond 32 bits, raises
// "Invalid variant type conversion".
int TextToInteger(const std::string& text);

// A colour number (red in the lowest byte) as a colour. Numbers with the high bit set name a
// system colour, as a colour property accepts them; they map to the nearest palette role.
QColor ColorFromNumber(int number);

// Repeats the tile across the target from the top-left corner, rows top to bottom; a tile
// narrower or lower than one pixel draws nothing. Drawing is opaque.
void TilePicture(QImage& target, const QImage& tile);
// Draws the picture opaquely with its top-left corner at (x, y), cut at the target's edges.
void DrawOpaque(QImage& target, const QImage& picture, int x, int y);
// Sets the bitmap's width, then its height, keeping what lies inside both sizes; pixels that
// become new are black.
void ResizeBitmap(QImage& bitmap, int width, int height);

// A button glyph: the colour of the lower-left pixel is see-through, as glyphs have it.
QImage GlyphWithTransparency(const QImage& glyph);

// Largest width and height of a skin picture that is kept whole. Every control is far smaller,
// so nothing visible is lost, while a theme picture of, say, 20000 x 20000 pixels at 1 bit
// (50 MB in the archive) would need gigabytes once drawn in colour.
inline constexpr int kMaxPictureSide = 2048;
// The picture cut to kMaxPictureSide at its right and bottom edges, in its own format.
QImage BoundedPicture(const QImage& picture);

} // namespace glyptor::skin

// Builds small icon images, .ico, .bmp, PE and NE files in memory for the icon source tests, so
// that every case is made on purpose instead of copied from somebody's disk.
#pragma once

#include "platform/icons/FileSource.h"

#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace glyptor::icons::testing {

class ByteWriter {
public:
    void U8(std::uint32_t v) { bytes.push_back(static_cast<std::uint8_t>(v)); }
    void U16(std::uint32_t v) {
        U8(v);
        U8(v >> 8);
    }
    void U32(std::uint32_t v) {
        U16(v);
        U16(v >> 16);
    }
    void Append(const Bytes& more) { bytes.insert(bytes.end(), more.begin(), more.end()); }
    void PadTo(std::size_t size) {
        if (bytes.size() < size) {
            bytes.resize(size, 0);
        }
    }
    void Put32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        }
    }
    Bytes bytes;
};

// Pixel colour (0xAARRGGBB, or a palette index for depths up to 8) and AND mask bit at (x, y),
// y counted from the top.
using PixelFn = std::function<std::uint32_t(int x, int y)>;
using MaskFn = std::function<bool(int x, int y)>;

struct DibOptions {
    int width = 32;
    int height = 32;
    int bitCount = 32;
    std::vector<std::uint32_t> palette;   // 0x00RRGGBB; default: grey ramp of 2^bits
    std::vector<std::uint32_t> bitFields; // red, green, blue masks for 16/32 bits
    bool withMask = true;
};

// An icon image: BITMAPINFOHEADER with doubled height, colour table, colour rows, AND mask.
Bytes MakeDib(const DibOptions& options, const PixelFn& pixel, const MaskFn& mask);
// A solid icon image of one colour (palette index 1 for depths up to 8) with an empty mask.
Bytes MakeSolidDib(int width, int height, int bitCount, std::uint32_t colour = 0xFF102030);
// A PNG image of one colour.
Bytes MakePng(int width, int height, std::uint32_t argb);
// An .ico file holding the images in order.
Bytes MakeIco(const std::vector<Bytes>& images);
// A .bmp file at 24 bits (or 8 with a grey palette) of the given colours.
Bytes MakeBmp(int width, int height, int bitCount, const PixelFn& pixel);

using ResourceName = std::variant<std::uint32_t, std::u16string>;
struct Resource {
    std::uint32_t type = 0;
    ResourceName name;
    Bytes data;
};

// A group directory (GRPICONDIR) naming the RT_ICON ids, with the entries' sizes taken from
// the given images.
Bytes MakeGroup(const std::vector<std::pair<std::uint16_t, Bytes>>& images);

struct PeOptions {
    bool pe32Plus = false;
    std::uint32_t sectionRva = 0x3000;
    std::uint32_t rawOffset = 0x400;
};
// A PE file with one .rsrc section holding the resources: each type's named entries first,
// then its ids, each in the order given.
Bytes MakePe(const std::vector<Resource>& resources, const PeOptions& options = {});
// A PE library with `groups` icon groups of one 16 x 16 4-bit image each, every group's image
// of its own colour.
Bytes MakeLibrary(int groups);
// Where MakePe put the resource directory in the file.
inline constexpr std::uint32_t kPeResourceFileOffset = 0x400;

// An NE module whose resource table lists the resources in the order given.
Bytes MakeNe(const std::vector<Resource>& resources, int alignShift = 4);

// A ByteSource over memory that counts the bytes handed out, to check what a count reads.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(const Bytes& bytes) : inner_(bytes) {}
    std::uint64_t Size() const override { return inner_.Size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        bytesRead += out.size();
        return inner_.ReadAt(offset, out);
    }
    std::uint64_t bytesRead = 0;

private:
    SpanSource inner_;
};

} // namespace glyptor::icons::testing

// The test file builder: writes each structure field by field, as the formats lay them out.
#include "IconFileBuilder.h"

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <map>

namespace glyptor::icons::testing {

namespace {

std::uint32_t RowBytes(int width, int bitCount) {
    return static_cast<std::uint32_t>((width * bitCount + 31) / 32 * 4);
}

void WriteBits(Bytes& row, int x, int bitCount, std::uint32_t value) {
    const int bit = x * bitCount;
    const int shift = 8 - bitCount - bit % 8;
    row[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(value << shift);
}

} // namespace

Bytes MakeDib(const DibOptions& o, const PixelFn& pixel, const MaskFn& mask) {
    ByteWriter w;
    const bool fields = !o.bitFields.empty();
    std::vector<std::uint32_t> palette = o.palette;
    if (o.bitCount <= 8 && palette.empty()) {
        const int n = 1 << o.bitCount;
        for (int i = 0; i < n; ++i) {
            const std::uint32_t g = static_cast<std::uint32_t>(i * 255 / (n - 1));
            palette.push_back(g << 16 | g << 8 | g);
        }
    }
    w.U32(40);             // biSize
    w.U32(o.width);        // biWidth
    w.U32(o.height * 2);   // biHeight: colour rows and mask rows
    w.U16(1);              // biPlanes
    w.U16(o.bitCount);     // biBitCount
    w.U32(fields ? 3 : 0); // biCompression: BI_BITFIELDS or BI_RGB
    w.U32(0);              // biSizeImage
    w.U32(0);              // biXPelsPerMeter
    w.U32(0);              // biYPelsPerMeter
    w.U32(o.bitCount <= 8 ? static_cast<std::uint32_t>(palette.size()) : 0); // biClrUsed
    w.U32(0);                                                                // biClrImportant
    for (const std::uint32_t m : o.bitFields) {
        w.U32(m);
    }
    for (const std::uint32_t c : palette) {
        w.U32(c);
    }
    for (int y = o.height - 1; y >= 0; --y) { // bottom row first
        Bytes row(RowBytes(o.width, o.bitCount), 0);
        for (int x = 0; x < o.width; ++x) {
            const std::uint32_t v = pixel(x, y);
            if (o.bitCount <= 8) {
                WriteBits(row, x, o.bitCount, v);
            } else if (o.bitCount == 16) {
                row[2 * x] = static_cast<std::uint8_t>(v);
                row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
            } else {
                const int n = o.bitCount / 8;
                for (int i = 0; i < n; ++i) {
                    row[static_cast<std::size_t>(n * x + i)] =
                        static_cast<std::uint8_t>(v >> (8 * i));
                }
            }
        }
        w.Append(row);
    }
    if (o.withMask) {
        for (int y = o.height - 1; y >= 0; --y) {
            Bytes row(RowBytes(o.width, 1), 0);
            for (int x = 0; x < o.width; ++x) {
                WriteBits(row, x, 1, mask(x, y) ? 1 : 0);
            }
            w.Append(row);
        }
    }
    return w.bytes;
}

Bytes MakeSolidDib(int width, int height, int bitCount, std::uint32_t colour) {
    DibOptions o;
    o.width = width;
    o.height = height;
    o.bitCount = bitCount;
    if (bitCount <= 8) {
        o.palette.assign(static_cast<std::size_t>(1) << bitCount, 0);
        o.palette[1] = colour & 0xFFFFFF;
    }
    const std::uint32_t value = bitCount <= 8 ? 1 : bitCount == 16 ? 0x7FFF : colour;
    return MakeDib(
        o, [value](int, int) { return value; }, [](int, int) { return false; });
}

Bytes MakePng(int width, int height, std::uint32_t argb) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(argb);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Bytes(data.begin(), data.end());
}

Bytes MakeIco(const std::vector<Bytes>& images) {
    ByteWriter w;
    w.U16(0);                                         // idReserved
    w.U16(1);                                         // idType: icon
    w.U16(static_cast<std::uint32_t>(images.size())); // idCount
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (const auto& image : images) {
        w.U8(32);                                        // bWidth (not trusted by the reader)
        w.U8(32);                                        // bHeight
        w.U8(0);                                         // bColorCount
        w.U8(0);                                         // bReserved
        w.U16(1);                                        // wPlanes
        w.U16(32);                                       // wBitCount
        w.U32(static_cast<std::uint32_t>(image.size())); // dwBytesInRes
        w.U32(offset);                                   // dwImageOffset
        offset += static_cast<std::uint32_t>(image.size());
    }
    for (const auto& image : images) {
        w.Append(image);
    }
    return w.bytes;
}

Bytes MakeBmp(int width, int height, int bitCount, const PixelFn& pixel) {
    ByteWriter w;
    const std::uint32_t table = bitCount == 8 ? 256 * 4 : 0;
    const std::uint32_t rows = RowBytes(width, bitCount) * static_cast<std::uint32_t>(height);
    w.U16(0x4D42);                 // "BM"
    w.U32(14 + 40 + table + rows); // bfSize
    w.U32(0);                      // bfReserved1, bfReserved2
    w.U32(14 + 40 + table);        // bfOffBits
    w.U32(40);                     // biSize
    w.U32(width);                  // biWidth
    w.U32(height);                 // biHeight: bottom-up
    w.U16(1);                      // biPlanes
    w.U16(bitCount);               // biBitCount
    w.U32(0);                      // biCompression
    w.U32(rows);                   // biSizeImage
    w.U32(0);
    w.U32(0);
    w.U32(0); // biClrUsed: the full table
    w.U32(0);
    if (bitCount == 8) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            w.U32(i << 16 | i << 8 | i);
        }
    }
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(RowBytes(width, bitCount), 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, y);
            if (bitCount == 8) {
                row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(v);
            } else {
                row[static_cast<std::size_t>(3 * x)] = static_cast<std::uint8_t>(v);
                row[static_cast<std::size_t>(3 * x + 1)] = static_cast<std::uint8_t>(v >> 8);
                row[static_cast<std::size_t>(3 * x + 2)] = static_cast<std::uint8_t>(v >> 16);
            }
        }
        w.Append(row);
    }
    return w.bytes;
}

Bytes MakeGroup(const std::vector<std::pair<std::uint16_t, Bytes>>& images) {
    ByteWriter w;
    w.U16(0);                                         // idReserved
    w.U16(1);                                         // idType
    w.U16(static_cast<std::uint32_t>(images.size())); // idCount
    for (const auto& [id, image] : images) {
        w.U8(32);
        w.U8(32);
        w.U8(0);
        w.U8(0);
        w.U16(1);
        w.U16(32);
        w.U32(static_cast<std::uint32_t>(image.size())); // dwBytesInRes
        w.U16(id);                                       // nID
    }
    return w.bytes;
}

Bytes MakePe(const std::vector<Resource>& resources, const PeOptions& o) {
    // Types in order of first appearance; within a type, named entries first.
    std::vector<std::uint32_t> types;
    std::map<std::uint32_t, std::vector<const Resource*>> byType;
    for (const auto& r : resources) {
        if (byType.find(r.type) == byType.end()) {
            types.push_back(r.type);
        }
        byType[r.type].push_back(&r);
    }
    for (auto& [type, list] : byType) {
        std::stable_partition(list.begin(), list.end(), [](const Resource* r) {
            return std::holds_alternative<std::u16string>(r->name);
        });
    }
    // Layout: root, type directories, language directories, data entries, names, data.
    std::uint32_t at = 16 + 8 * static_cast<std::uint32_t>(types.size());
    std::map<std::uint32_t, std::uint32_t> typeDir;
    for (const auto t : types) {
        typeDir[t] = at;
        at += 16 + 8 * static_cast<std::uint32_t>(byType[t].size());
    }
    std::map<const Resource*, std::uint32_t> langDir;
    std::map<const Resource*, std::uint32_t> dataEntry;
    std::map<const Resource*, std::uint32_t> nameAt;
    std::map<const Resource*, std::uint32_t> dataAt;
    for (const auto t : types) {
        for (const auto* r : byType[t]) {
            langDir[r] = at;
            at += 24;
        }
    }
    for (const auto& r : resources) {
        dataEntry[&r] = at;
        at += 16;
    }
    for (const auto& r : resources) {
        if (const auto* name = std::get_if<std::u16string>(&r.name)) {
            nameAt[&r] = at;
            at += 2 + 2 * static_cast<std::uint32_t>(name->size());
            at = (at + 3) & ~3u;
        }
    }
    for (const auto& r : resources) {
        dataAt[&r] = at;
        at += static_cast<std::uint32_t>(r.data.size());
        at = (at + 3) & ~3u;
    }
    const std::uint32_t rsrcSize = at;

    ByteWriter s; // the section
    auto directory = [&](std::uint32_t named, std::uint32_t ids) {
        s.U32(0); // Characteristics
        s.U32(0); // TimeDateStamp
        s.U16(0); // MajorVersion
        s.U16(0); // MinorVersion
        s.U16(named);
        s.U16(ids);
    };
    directory(0, static_cast<std::uint32_t>(types.size()));
    for (const auto t : types) {
        s.U32(t);
        s.U32(0x80000000u | typeDir[t]);
    }
    for (const auto t : types) {
        std::uint32_t named = 0;
        for (const auto* r : byType[t]) {
            named += std::holds_alternative<std::u16string>(r->name) ? 1 : 0;
        }
        directory(named, static_cast<std::uint32_t>(byType[t].size()) - named);
        for (const auto* r : byType[t]) {
            if (const auto* id = std::get_if<std::uint32_t>(&r->name)) {
                s.U32(*id);
            } else {
                s.U32(0x80000000u | nameAt[r]);
            }
            s.U32(0x80000000u | langDir[r]);
        }
    }
    for (const auto t : types) {
        for (const auto* r : byType[t]) {
            directory(0, 1);
            s.U32(0x409);        // language
            s.U32(dataEntry[r]); // a data entry, not a directory
        }
    }
    for (const auto& r : resources) {
        s.U32(o.sectionRva + dataAt[&r]); // OffsetToData: an RVA
        s.U32(static_cast<std::uint32_t>(r.data.size()));
        s.U32(0);
        s.U32(0);
    }
    for (const auto& r : resources) {
        if (const auto* name = std::get_if<std::u16string>(&r.name)) {
            s.PadTo(nameAt[&r]);
            s.U16(static_cast<std::uint32_t>(name->size()));
            for (const char16_t ch : *name) {
                s.U16(ch);
            }
        }
    }
    for (const auto& r : resources) {
        s.PadTo(dataAt[&r]);
        s.Append(r.data);
    }
    s.PadTo((rsrcSize + 511) & ~511u);

    ByteWriter w;
    w.U16(0x5A4D); // e_magic "MZ"
    w.PadTo(0x3C);
    w.U32(0x80); // e_lfanew
    w.PadTo(0x80);
    w.U32(0x00004550);                  // "PE\0\0"
    w.U16(o.pe32Plus ? 0x8664 : 0x14C); // Machine
    w.U16(1);                           // NumberOfSections
    w.U32(0);                           // TimeDateStamp
    w.U32(0);                           // PointerToSymbolTable
    w.U32(0);                           // NumberOfSymbols
    w.U16(o.pe32Plus ? 240 : 224);      // SizeOfOptionalHeader
    w.U16(0x2102);                      // Characteristics: DLL, executable
    const std::size_t optional = w.bytes.size();
    w.U16(o.pe32Plus ? 0x20B : 0x10B); // Magic
    w.PadTo(optional + (o.pe32Plus ? 108 : 92));
    w.U32(16); // NumberOfRvaAndSizes
    w.U32(0);  // export table
    w.U32(0);
    w.U32(0); // import table
    w.U32(0);
    w.U32(o.sectionRva); // resource table
    w.U32(rsrcSize);
    w.PadTo(optional + (o.pe32Plus ? 240 : 224));
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (const char ch : name) {
        w.U8(static_cast<std::uint8_t>(ch));
    }
    w.U32(rsrcSize);                                   // VirtualSize
    w.U32(o.sectionRva);                               // VirtualAddress
    w.U32(static_cast<std::uint32_t>(s.bytes.size())); // SizeOfRawData
    w.U32(o.rawOffset);                                // PointerToRawData
    w.U32(0);
    w.U32(0);
    w.U16(0);
    w.U16(0);
    w.U32(0x40000040); // initialised data, readable
    w.PadTo(o.rawOffset);
    w.Append(s.bytes);
    return w.bytes;
}

Bytes MakeLibrary(int groups) {
    std::vector<Resource> resources;
    for (int i = 0; i < groups; ++i) {
        const auto id = static_cast<std::uint16_t>(i + 1);
        const Bytes image = MakeSolidDib(16, 16, 4, 0xFF000000u + 0x0F0F0Fu * i);
        resources.push_back({3, std::uint32_t{id}, image});
        resources.push_back({14, std::uint32_t{id}, MakeGroup({{id, image}})});
    }
    return MakePe(resources);
}

Bytes MakeNe(const std::vector<Resource>& resources, int alignShift) {
    // Types in order of first appearance; resources within a type in the order given.
    std::vector<std::uint32_t> types;
    std::map<std::uint32_t, std::vector<const Resource*>> byType;
    for (const auto& r : resources) {
        if (byType.find(r.type) == byType.end()) {
            types.push_back(r.type);
        }
        byType[r.type].push_back(&r);
    }
    std::uint32_t tableSize = 2 + 2; // shift and terminator
    for (const auto t : types) {
        tableSize += 8 + 12 * static_cast<std::uint32_t>(byType[t].size());
    }
    std::map<const Resource*, std::uint32_t> nameAt;
    std::uint32_t namesSize = 0;
    for (const auto& r : resources) {
        if (const auto* name = std::get_if<std::u16string>(&r.name)) {
            nameAt[&r] = tableSize + namesSize;
            namesSize += 1 + static_cast<std::uint32_t>(name->size());
        }
    }
    namesSize += 1; // the name list ends with a zero length
    const std::uint32_t neOffset = 0x40;
    const std::uint32_t tableOffset = 0x40; // relative to the NE header
    const std::uint32_t unit = 1u << alignShift;
    std::uint32_t dataAt = neOffset + tableOffset + tableSize + namesSize + 16;
    dataAt = (dataAt + unit - 1) / unit * unit;
    std::map<const Resource*, std::uint32_t> placed;
    for (const auto& r : resources) {
        placed[&r] = dataAt;
        dataAt += static_cast<std::uint32_t>(r.data.size());
        dataAt = (dataAt + unit - 1) / unit * unit;
    }

    ByteWriter w;
    w.U16(0x5A4D); // "MZ"
    w.PadTo(0x3C);
    w.U32(neOffset);
    w.PadTo(neOffset);
    w.U16(0x454E); // "NE"
    w.PadTo(neOffset + 0x24);
    w.U16(tableOffset);                         // ne_rsrctab
    w.U16(tableOffset + tableSize + namesSize); // ne_restab: the resident names follow
    w.PadTo(neOffset + tableOffset);
    w.U16(static_cast<std::uint32_t>(alignShift));
    for (const auto t : types) {
        w.U16(t);                                            // rtTypeID
        w.U16(static_cast<std::uint32_t>(byType[t].size())); // rtResourceCount
        w.U32(0);                                            // rtReserved
        for (const auto* r : byType[t]) {
            w.U16(placed[r] >> alignShift); // rnOffset
            w.U16((static_cast<std::uint32_t>(r->data.size()) + unit - 1) >>
                  alignShift); // rnLength
            w.U16(0x30);       // rnFlags: moveable, pure
            if (const auto* id = std::get_if<std::uint32_t>(&r->name)) {
                w.U16(0x8000u | *id);
            } else {
                w.U16(nameAt[r]);
            }
            w.U16(0); // rnHandle
            w.U16(0); // rnUsage
        }
    }
    w.U16(0); // end of types
    for (const auto& r : resources) {
        if (const auto* name = std::get_if<std::u16string>(&r.name)) {
            w.U8(static_cast<std::uint32_t>(name->size()));
            for (const char16_t ch : *name) {
                w.U8(static_cast<std::uint8_t>(ch));
            }
        }
    }
    w.U8(0);
    for (const auto& r : resources) {
        w.PadTo(placed[&r]);
        w.Append(r.data);
    }
    w.PadTo(dataAt);
    return w.bytes;
}

} // namespace glyptor::icons::testing

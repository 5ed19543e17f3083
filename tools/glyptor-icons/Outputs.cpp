// The output formats of glyptor-icons. To add one, add a writer function and a line to
// kWriters; nothing else in the tool needs to change.
#include "Outputs.h"

#include "export/IconSave.h"
#include "platform/dib/OutputFile.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace glyptor::tools {

namespace {

std::string WritePng(const IconImage& icon, const std::string& path, const OutputOptions&) {
    QImage image(icon.width, icon.height, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height; ++y) {
        std::memcpy(image.scanLine(y),
                    icon.pixels.data() + static_cast<std::size_t>(y) * icon.width,
                    static_cast<std::size_t>(icon.width) * 4);
    }
    // Encoded in memory first: the file on disk is replaced whole or not at all.
    QByteArray encoded;
    QBuffer buffer(&encoded);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        return "cannot write " + path;
    }
    try {
        dib::ReplaceFileContents(
            path, std::span(reinterpret_cast<const std::uint8_t*>(encoded.constData()),
                            static_cast<std::size_t>(encoded.size())));
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return {};
}

// The icon file at --depth 4, 8, 16 or 24 bits per pixel (24 when not given), by the program's
// own icon file writer; its failure message comes back as the reason.
std::string WriteIco(const IconImage& icon, const std::string& path, const OutputOptions& options) {
    std::uint8_t depthCode = 5;
    switch (options.depth) {
    case 4:
        depthCode = 1;
        break;
    case 8:
        depthCode = 2;
        break;
    case 16:
        depthCode = 4;
        break;
    case 0:
    case 24:
        break;
    default:
        return "an icon file has 4, 8, 16 or 24 bits per pixel, not " +
               std::to_string(options.depth);
    }
    return iconfile::SaveIconToFile(path, icon, depthCode).errorText;
}

// The icon's colour image as a BMP file at --depth 1, 4, 8, 16 or 24 (24 when not given).
std::string WriteBmp(const IconImage& icon, const std::string& path, const OutputOptions& options) {
    const unsigned depth = options.depth == 0 ? 24u : static_cast<unsigned>(options.depth);
    if (!dib::IsSupportedDepth(depth)) {
        return "a BMP file has 1, 4, 8, 16 or 24 bits per pixel, not " + std::to_string(depth);
    }
    const dib::IconBitmaps bitmaps = dib::GetIconInfo(icon);
    if (!bitmaps.colour) {
        return "Invalid Bitmap";
    }
    try {
        dib::SaveBmpFile(path, *bitmaps.colour, depth);
    } catch (const std::exception& failure) {
        return failure.what();
    }
    return {};
}

struct Writer {
    const char* extension; // lower case, with the dot
    std::string (*write)(const IconImage&, const std::string&, const OutputOptions&);
};

constexpr std::array kWriters = {
    Writer{".png", WritePng},
    Writer{".ico", WriteIco},
    Writer{".bmp", WriteBmp},
};

std::string LowerExtension(const std::string& path) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) {
        return static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    });
    return ext;
}

} // namespace

std::string WriteIconFile(const IconImage& icon, const std::string& path,
                          const OutputOptions& options) {
    const std::string ext = LowerExtension(path);
    for (const auto& writer : kWriters) {
        if (ext == writer.extension) {
            return writer.write(icon, path, options);
        }
    }
    return "unsupported output format '" + ext + "' for " + path;
}

std::vector<std::string> OutputExtensions() {
    std::vector<std::string> list;
    for (const auto& writer : kWriters) {
        list.emplace_back(writer.extension);
    }
    return list;
}

} // namespace glyptor::tools

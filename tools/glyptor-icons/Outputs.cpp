// The output formats of glyptor-icons. To add one (the .ico and .bmp writers), add a writer
// function and a line to kWriters; nothing else in the tool needs to change.
#include "Outputs.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <array>
#include <cstring>

namespace glyptor::tools {

namespace {

std::string WritePng(const IconImage& icon, const std::string& path, const OutputOptions&) {
    QImage image(icon.width, icon.height, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height; ++y) {
        std::memcpy(image.scanLine(y),
                    icon.pixels.data() + static_cast<std::size_t>(y) * icon.width,
                    static_cast<std::size_t>(icon.width) * 4);
    }
    if (!image.save(QString::fromStdString(path), "PNG")) {
        return "cannot write " + path;
    }
    return {};
}

struct Writer {
    const char* extension; // lower case, with the dot
    std::string (*write)(const IconImage&, const std::string&, const OutputOptions&);
};

constexpr std::array kWriters = {
    Writer{".png", WritePng},
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

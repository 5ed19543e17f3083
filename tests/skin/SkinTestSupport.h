// Helpers of the skin tests: theme archives written by our own archive writer, one-colour BMP
// pictures, and pixel checks on what a control shows.
#pragma once

#include "archive/ZipStream.h"
#include "archive/ZipWriter.h"

#include <QBuffer>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace glyptor::test {

using Entries = std::vector<std::pair<std::string, std::string>>;

// A BMP file of one colour (24 bits, as the toolkit writes it).
inline std::string Bmp(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return buffer.data().toStdString();
}

// The twelve layout lines of a complete theme, CR LF ended; `changes` replaces or removes
// (empty value) lines by key.
inline std::string Layout(const std::map<std::string, std::string>& changes = {}) {
    std::vector<std::pair<std::string, std::string>> lines = {{"panel.color", "65280"},
                                                              {"browser.color", "16711680"},
                                                              {"iconbox.color", "8421376"},
                                                              {"splitter.color", "255"},
                                                              {"statuslabel.fontcolor", "65535"},
                                                              {"browser.fontcolor", "16776960"},
                                                              {"browser.fontname", "DejaVu Sans"},
                                                              {"browser.fontsize", "11"},
                                                              {"iconbox.3d", "1"},
                                                              {"panelright.width", "12"},
                                                              {"panelbottom.height", "5"},
                                                              {"paneltop.height", "30"}};
    std::string text;
    for (auto [key, value] : lines) {
        if (auto change = changes.find(key); change != changes.end()) {
            if (change->second.empty())
                continue;
            value = change->second;
        }
        text += key + "=" + value + "\r\n";
    }
    return text;
}

// Every picture of a theme, each one colour: slot and glyph pictures at their usual sizes.
inline Entries AllPictures(QRgb colour) {
    const std::vector<std::pair<std::string, QSize>> sizes = {
        {"gy_tool1", {20, 20}},    {"gy_tool2", {20, 20}},   {"gy_tool3", {20, 20}},
        {"gy_tool4", {20, 20}},    {"gy_max", {16, 16}},     {"gy_min", {16, 16}},
        {"gy_logo", {200, 200}},   {"gy_title1", {150, 42}}, {"gy_title2", {150, 42}},
        {"gy_tile1", {6, 42}},     {"gy_tile2", {5, 23}},    {"gy_options1", {91, 10}},
        {"gy_options2", {91, 10}}, {"gy_scan1", {121, 15}},  {"gy_scan2", {121, 15}},
        {"gy_tools1", {17, 23}},   {"gy_exit1", {29, 23}},   {"gy_exit2", {29, 23}},
        {"gy_resize1", {14, 23}},  {"gy_about1", {16, 16}},  {"gy_about2", {16, 16}},
        {"gy_www1", {16, 16}},     {"gy_www2", {16, 16}}};
    Entries entries;
    for (const auto& [key, size] : sizes)
        entries.emplace_back(key + ".bmp", Bmp(size.width(), size.height(), colour));
    return entries;
}

// Removes the entry of that name.
inline Entries Without(Entries entries, const std::string& name) {
    std::erase_if(entries, [&](const auto& entry) { return entry.first == name; });
    return entries;
}

// Replaces or adds an entry.
inline Entries With(Entries entries, const std::string& name, const std::string& content) {
    entries = Without(std::move(entries), name);
    entries.emplace_back(name, content);
    return entries;
}

// Writes the archive with our own writer, folders in names kept.
inline void WriteTheme(const std::filesystem::path& path, const Entries& entries) {
    archive::TZipWriter writer;
    writer.SetArchiveStream(std::make_unique<archive::TMemoryStream>());
    writer.StorePaths = true;
    writer.DoProcessMessages = false;
    for (const auto& [name, content] : entries) {
        archive::TMemoryStream source(std::vector<std::uint8_t>(content.begin(), content.end()));
        if (writer.AddFromStream(source, name) != 1)
            throw std::runtime_error("the writer refused " + name);
    }
    const auto& bytes = static_cast<archive::TMemoryStream*>(writer.ArchiveStream())->Data();
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

inline QImage Shown(const QLabel* image) {
    return image->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QImage Glyph(const QToolButton* button) {
    return button->icon()
        .pixmap(button->iconSize())
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

} // namespace glyptor::test

// Helpers of the theme store tests: a temporary folder, theme archives built by our own archive
// writer or by Info-ZIP zip, BMP pictures, and in-place patches of archive records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace glyptor::test {

using Bytes = std::vector<std::uint8_t>;
// Entry name ("\" between folders) and content, in the order they go into the archive.
using EntryList = std::vector<std::pair<std::string, Bytes>>;

Bytes ToBytes(const std::string& text);
std::string ToText(const Bytes& bytes);
Bytes ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// A fresh folder removed with everything in it when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return Root; }
    std::string File(const std::string& name) const { return (Root / name).string(); }

private:
    std::filesystem::path Root;
};

// Archive bytes written by our archive writer, folders kept.
Bytes ZipWithWriter(const EntryList& entries, int packLevel = 6);

// True when the program is on the search path.
bool HaveTool(const std::string& program);
// Archive bytes written by Info-ZIP zip from files staged under work; empty when zip failed.
Bytes ZipWithInfoZip(const std::filesystem::path& work, const EntryList& entries);
// Runs a shell command; returns its exit status and puts its standard output in output.
int RunCommand(const std::string& command, std::string& output);

// A BMP file of the given size filled with one colour, as Qt writes it (40-byte header).
Bytes BmpBytes(int width, int height, std::uint32_t rgb);
// A 2 x 1, 24-bit BMP file with the 12-byte core header: a blue and a red pixel.
Bytes CoreHeaderBmp();

// Rewrites the uncompressed size of the entry at index (directory order) in both its local
// header and its central record.
void PatchUncompressedSize(Bytes& archive, int index, std::uint32_t size);

} // namespace glyptor::test

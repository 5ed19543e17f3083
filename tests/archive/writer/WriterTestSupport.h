// Helpers of the writer tests: test data of the kinds the program stores (text, BMP pictures,
// program code, noise), zlib's inflate as the independent decoder, and running the external
// archive tools on a temporary file.
#pragma once

#include "archive/ZipWriter.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace glyptor::archive::test {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t size, uint32_t seed);
// Prose-like text with a vocabulary, line breaks and some Cyrillic (CP1251) words.
Bytes SampleText(size_t size, uint32_t seed);
// A 24-bit BMP file with gradients and flat areas, like skin pictures.
Bytes SampleBitmap(int width, int height, uint32_t seed);
// x86-like code: opcode patterns, little-endian addresses, zero padding and a string table.
Bytes SampleExecutable(size_t size, uint32_t seed);

// Raw Deflate decoded by zlib; nullopt when zlib rejects the stream or it does not end cleanly.
std::optional<Bytes> ZlibInflate(const Bytes& compressed, size_t expectedSize);

// A writer with an empty or given archive attached.
std::unique_ptr<TZipWriter> NewWriter(const Bytes& archive = {});
Bytes StreamBytes(const TZipReader& reader);
int AddBytes(TZipWriter& writer, const std::string& name, const Bytes& data);

// An archive with one entry "locked.txt": deflated, encrypted with password, sizes and CRC in a
// data descriptor after the data (flag bits 0 and 3), as streaming writers make them.
Bytes EncryptedStreamedArchive(const std::string& password, const Bytes& plain);

// A temporary folder removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return Dir; }
    std::filesystem::path Write(const std::string& name, const Bytes& data) const;

private:
    std::filesystem::path Dir;
};

bool ToolAvailable(const std::string& program);
// Runs a shell command; returns its exit status and collects standard output and error.
int RunCommand(const std::string& command, std::string* output = nullptr);

} // namespace glyptor::archive::test

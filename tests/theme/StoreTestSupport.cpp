// Helpers of the theme store tests.
#include "tests/theme/StoreTestSupport.h"

#include "archive/ZipStream.h"
#include "archive/ZipWriter.h"

#include <QBuffer>
#include <QImage>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>

namespace glyptor::test {

namespace fs = std::filesystem;

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::string ToText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

Bytes ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "glyptor-theme-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    Root = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    // Tests take write rights away from folders and files; give them back so all can go.
    for (auto it = fs::recursive_directory_iterator(Root, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::permissions(Root, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(Root, ignored);
}

Bytes ZipWithWriter(const EntryList& entries, int packLevel) {
    archive::TZipWriter writer;
    writer.SetArchiveStream(std::make_unique<archive::TMemoryStream>());
    writer.StorePaths = true;
    writer.PackLevel = packLevel;
    writer.DoProcessMessages = false;
    for (const auto& [name, content] : entries) {
        archive::TMemoryStream source(content);
        if (writer.AddFromStream(source, name) != 1)
            throw std::runtime_error("the writer refused " + name);
    }
    return static_cast<archive::TMemoryStream*>(writer.ArchiveStream())->Data();
}

int RunCommand(const std::string& command, std::string& output) {
    output.clear();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> chunk{};
    while (size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        output.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& program) {
    std::string ignored;
    return RunCommand("command -v " + program + " >/dev/null 2>&1", ignored) == 0;
}

Bytes ZipWithInfoZip(const fs::path& work, const EntryList& entries) {
    const fs::path staging = work / "zip-staging";
    const fs::path output = work / "zip-output.zip";
    fs::remove_all(staging);
    fs::remove(output);
    std::string names;
    for (const auto& [name, content] : entries) {
        std::string relative = name;
        for (char& c : relative)
            if (c == '\\')
                c = '/';
        WriteFileBytes(staging / relative, content);
        names += " '" + relative + "'";
    }
    // -D: no folder entries, -X: no extra fields, so the entries are exactly those listed.
    std::string ignored;
    const int status = RunCommand("cd '" + staging.string() + "' && zip -q -D -X '" +
                                      output.string() + "'" + names + " 2>&1",
                                  ignored);
    if (status != 0)
        return {};
    Bytes bytes = ReadFileBytes(output);
    fs::remove_all(staging);
    fs::remove(output);
    return bytes;
}

Bytes BmpBytes(int width, int height, std::uint32_t rgb) {
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(QColor::fromRgb(rgb));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.save(&buffer, "BMP"))
        throw std::runtime_error("Qt did not write a BMP");
    return Bytes(data.begin(), data.end());
}

Bytes CoreHeaderBmp() {
    Bytes bmp = {
        'B', 'M', 34,  0, 0, 0, // file size 14 + 12 + 8 (one row of 6 bytes, padded to 8)
        0,   0,   0,   0,       // reserved
        26,  0,   0,   0,       // pixels start after both headers
        12,  0,   0,   0,       // BITMAPCOREHEADER
        2,   0,   1,   0,       // width 2, height 1 (16-bit fields)
        1,   0,   24,  0,       // one plane, 24 bits
        255, 0,   0,            // blue (B, G, R)
        0,   0,   255,          // red
        0,   0,                 // row padding
    };
    return bmp;
}

void PatchUncompressedSize(Bytes& archive, int index, std::uint32_t size) {
    auto put32 = [&](size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            archive.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
    };
    auto get32 = [&](size_t at) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | archive.at(at + i);
        return value;
    };
    int seen = 0;
    for (size_t at = 0; at + 46 <= archive.size(); ++at) {
        if (get32(at) != 0x02014B50)
            continue;
        if (seen++ != index)
            continue;
        put32(at + 24, size);
        const std::uint32_t local = get32(at + 42);
        put32(local + 22, size);
        return;
    }
    throw std::runtime_error("no central record at that index");
}

} // namespace glyptor::test

// Test data generators, zlib's inflate and the external-tool runner of the writer tests.
#include "tests/archive/writer/WriterTestSupport.h"

#include "archive/ZipCrypto.h"
#include "tests/archive/ArchiveTestSupport.h"

#include <zlib.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace glyptor::archive::test {

Bytes RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes data(size);
    for (auto& byte : data)
        byte = static_cast<uint8_t>(random());
    return data;
}

Bytes SampleText(size_t size, uint32_t seed) {
    static const std::array<const char*, 24> words = {"the",
                                                      "archive",
                                                      "icon",
                                                      "window",
                                                      "theme",
                                                      "picture",
                                                      "layout",
                                                      "of",
                                                      "and",
                                                      "a",
                                                      "grid",
                                                      "folder",
                                                      "scan",
                                                      "export",
                                                      "colour",
                                                      "title",
                                                      "\xEF\xF0\xE8\xEC\xE5\xF0",
                                                      "\xE7\xED\xE0\xF7\xEE\xEA",
                                                      "to",
                                                      "is",
                                                      "in",
                                                      "file",
                                                      "Glyptor",
                                                      "size"};
    std::mt19937 random(seed);
    std::string text;
    while (text.size() < size) {
        text += words[random() % words.size()];
        const unsigned r = random() % 16;
        text += r == 0 ? ".\r\n" : (r == 1 ? ", " : " ");
    }
    text.resize(size);
    return Bytes(text.begin(), text.end());
}

Bytes SampleBitmap(int width, int height, uint32_t seed) {
    std::mt19937 random(seed);
    const int stride = (width * 3 + 3) / 4 * 4;
    const uint32_t imageSize = static_cast<uint32_t>(stride * height);
    Bytes bmp;
    auto put16 = [&](uint32_t v) {
        bmp.push_back(static_cast<uint8_t>(v));
        bmp.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(0x4D42);
    put32(54 + imageSize);
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    put16(1);
    put16(24);
    put32(0);
    put32(imageSize);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool flat = (x / 16 + y / 16) % 3 == 0;
            const uint8_t noise = static_cast<uint8_t>(random() % 4);
            bmp.push_back(flat ? 0xC0 : static_cast<uint8_t>(x * 255 / width + noise));
            bmp.push_back(flat ? 0xC0 : static_cast<uint8_t>(y * 255 / height));
            bmp.push_back(flat ? 0xC0 : static_cast<uint8_t>((x + y) & 0xFF));
        }
        for (int pad = width * 3; pad < stride; ++pad)
            bmp.push_back(0);
    }
    return bmp;
}

Bytes SampleExecutable(size_t size, uint32_t seed) {
    static const std::array<std::array<uint8_t, 3>, 8> opcodes = {{{0x8B, 0x45, 0xFC},
                                                                   {0x89, 0x45, 0xF8},
                                                                   {0x55, 0x8B, 0xEC},
                                                                   {0x83, 0xC4, 0x04},
                                                                   {0xE8, 0x00, 0x00},
                                                                   {0xFF, 0x15, 0x00},
                                                                   {0x33, 0xC0, 0xC3},
                                                                   {0x6A, 0x00, 0x50}}};
    std::mt19937 random(seed);
    Bytes code;
    while (code.size() < size) {
        const unsigned kind = random() % 20;
        if (kind == 0) {
            code.insert(code.end(), random() % 64, 0); // alignment padding
        } else if (kind == 1) {
            const std::string name = "GetProcAddress\0LoadIconA\0ExtractIconA\0";
            code.insert(code.end(), name.begin(), name.end());
        } else {
            const auto& op = opcodes[random() % opcodes.size()];
            code.insert(code.end(), op.begin(), op.end());
            if (kind < 8) {
                const uint32_t address = 0x00401000 + (random() % 4096) * 4;
                for (int i = 0; i < 4; ++i)
                    code.push_back(static_cast<uint8_t>(address >> (8 * i)));
            }
        }
    }
    code.resize(size);
    return code;
}

std::optional<Bytes> ZlibInflate(const Bytes& compressed, size_t expectedSize) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        return std::nullopt;
    Bytes out(expectedSize + 1);
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = static_cast<uInt>(compressed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    const size_t produced = z.total_out;
    const uInt unused = z.avail_in;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || unused != 0)
        return std::nullopt;
    out.resize(produced);
    return out;
}

std::unique_ptr<TZipWriter> NewWriter(const Bytes& archive) {
    auto writer = std::make_unique<TZipWriter>();
    writer->SetArchiveStream(std::make_unique<TMemoryStream>(archive));
    return writer;
}

Bytes StreamBytes(const TZipReader& reader) {
    return static_cast<TMemoryStream*>(reader.ArchiveStream())->Data();
}

int AddBytes(TZipWriter& writer, const std::string& name, const Bytes& data) {
    TMemoryStream source(data);
    return writer.AddFromStream(source, name);
}

Bytes EncryptedStreamedArchive(const std::string& password, const Bytes& plain) {
    ZipBuilder builder;
    ZipBuilder::Entry entry;
    entry.Name = "locked.txt";
    entry.Method = 8;
    entry.Flags = FlagEncrypted | FlagDataDescriptor;
    entry.DosDateTime = 0x5A3C6B21;
    entry.Crc32 = Crc(plain);
    entry.UncompressedSize = static_cast<uint32_t>(plain.size());
    Bytes data = RandomBytes(EncryptionHeaderSize, 99);
    data.back() = static_cast<uint8_t>(entry.DosDateTime >> 8); // time's high byte
    const Bytes deflated = ZlibDeflate(plain);
    data.insert(data.end(), deflated.begin(), deflated.end());
    TZipCrypto crypto(password);
    crypto.Encrypt(data.data(), data.size());
    entry.CentralCompressedSize = static_cast<int64_t>(data.size());
    entry.CompressedSize = 0; // left to the descriptor
    for (uint32_t v :
         {0x08074B50u, entry.Crc32, static_cast<uint32_t>(data.size()), entry.UncompressedSize})
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<uint8_t>(v >> (8 * i)));
    entry.Data = std::move(data);
    builder.Add(std::move(entry));
    return builder.Build();
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "glyptor-writer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    Dir = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(Dir, ignored);
}

std::filesystem::path TempDir::Write(const std::string& name, const Bytes& data) const {
    const std::filesystem::path path = Dir / name;
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    return path;
}

bool ToolAvailable(const std::string& program) {
    return RunCommand("command -v " + program + " >/dev/null 2>&1") == 0;
}

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::array<char, 4096> buffer{};
    std::string collected;
    size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        collected.append(buffer.data(), n);
    const int status = pclose(pipe);
    if (output != nullptr)
        *output = collected;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace glyptor::archive::test

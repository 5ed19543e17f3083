// Test helpers of the archive tests; see ArchiveTestSupport.h.
#include "ArchiveTestSupport.h"

#include "archive/Crc32.h"

#include <zlib.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace glyptor::archive::test {

namespace {

uint32_t Rotr(uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

void Put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
void PutBytes(Bytes& out, const Bytes& b) {
    out.insert(out.end(), b.begin(), b.end());
}
void PutText(Bytes& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}

} // namespace

std::string Sha256Hex(const Bytes& data) {
    static constexpr std::array<uint32_t, 64> K = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::array<uint32_t, 8> h = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    Bytes msg = data;
    uint64_t bitLength = static_cast<uint64_t>(data.size()) * 8;
    msg.push_back(0x80);
    while (msg.size() % 64 != 56)
        msg.push_back(0);
    for (int i = 7; i >= 0; --i)
        msg.push_back(static_cast<uint8_t>(bitLength >> (i * 8)));
    for (size_t block = 0; block < msg.size(); block += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(msg[block + i * 4]) << 24 | uint32_t(msg[block + i * 4 + 1]) << 16 |
                   uint32_t(msg[block + i * 4 + 2]) << 8 | uint32_t(msg[block + i * 4 + 3]);
        for (int i = 16; i < 64; ++i) {
            uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        auto v = h;
        for (int i = 0; i < 64; ++i) {
            uint32_t s1 = Rotr(v[4], 6) ^ Rotr(v[4], 11) ^ Rotr(v[4], 25);
            uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
            uint32_t t1 = v[7] + s1 + ch + K[i] + w[i];
            uint32_t s0 = Rotr(v[0], 2) ^ Rotr(v[0], 13) ^ Rotr(v[0], 22);
            uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            uint32_t t2 = s0 + maj;
            v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
        }
        for (int i = 0; i < 8; ++i)
            h[i] += v[i];
    }
    std::string hex;
    char buf[9];
    for (uint32_t x : h) {
        std::snprintf(buf, sizeof buf, "%08x", x);
        hex += buf;
    }
    return hex;
}

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes ToBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}
std::string ToString(const Bytes& data) {
    return std::string(data.begin(), data.end());
}
uint32_t Crc(const Bytes& data) {
    return Crc32Of(data.data(), data.size());
}

Bytes ZlibDeflate(const Bytes& data, int level) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    Bytes out(deflateBound(&z, data.size()) + 16);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

std::filesystem::path FixtureDir() {
    return std::filesystem::path(GLYPTOR_FIXTURES) / "zip";
}
std::filesystem::path TestDataDir() {
    return std::filesystem::path(GLYPTOR_TEST_DATA) / "archive";
}

std::unique_ptr<TZipReader> OpenArchive(const Bytes& archive) {
    auto reader = std::make_unique<TZipReader>();
    reader->SetArchiveStream(std::make_unique<TMemoryStream>(archive));
    return reader;
}

int Extract(TZipReader& reader, const std::string& name, Bytes& data) {
    TMemoryStream target;
    int count = reader.ExtractToStream(target, name);
    data = target.Data();
    return count;
}

ZipBuilder::Entry& ZipBuilder::AddStored(const std::string& name, const Bytes& data) {
    Entry e;
    e.Name = name;
    e.Data = data;
    e.Method = 0;
    e.Crc32 = Crc(data);
    e.CompressedSize = e.UncompressedSize = static_cast<uint32_t>(data.size());
    return Add(std::move(e));
}

ZipBuilder::Entry& ZipBuilder::AddDeflated(const std::string& name, const Bytes& data) {
    Entry e;
    e.Name = name;
    e.Data = ZlibDeflate(data);
    e.Method = 8;
    e.Crc32 = Crc(data);
    e.CompressedSize = static_cast<uint32_t>(e.Data.size());
    e.UncompressedSize = static_cast<uint32_t>(data.size());
    return Add(std::move(e));
}

ZipBuilder::Entry& ZipBuilder::Add(Entry entry) {
    Entries.push_back(std::move(entry));
    return Entries.back();
}

Bytes ZipBuilder::Build() const {
    Bytes out = Prefix;
    std::vector<uint32_t> offsets;
    for (const Entry& e : Entries) {
        // Offsets are written as if the prefix were absent, as when junk is prepended later.
        offsets.push_back(static_cast<uint32_t>(out.size() - Prefix.size() + e.LocalOffsetDelta));
        Put32(out, 0x04034B50);
        Put16(out, 20);
        Put16(out, e.Flags);
        Put16(out, e.Method);
        Put32(out, e.DosDateTime);
        Put32(out, e.Crc32);
        Put32(out, e.CompressedSize);
        Put32(out, e.UncompressedSize);
        Put16(out, static_cast<uint32_t>(e.Name.size()));
        Put16(out, static_cast<uint32_t>(e.LocalExtra.size()));
        PutText(out, e.Name);
        PutBytes(out, e.LocalExtra);
        PutBytes(out, e.Data);
    }
    uint32_t centralOffset = static_cast<uint32_t>(out.size() - Prefix.size());
    for (size_t i = 0; i < Entries.size(); ++i) {
        const Entry& e = Entries[i];
        Put32(out, 0x02014B50);
        Put16(out, 20);
        Put16(out, 20);
        Put16(out, e.Flags);
        Put16(out, e.Method);
        Put32(out, e.DosDateTime);
        Put32(out, e.Crc32);
        Put32(out, e.CentralCompressedSize >= 0 ? static_cast<uint32_t>(e.CentralCompressedSize)
                                                : e.CompressedSize);
        Put32(out, e.UncompressedSize);
        Put16(out, static_cast<uint32_t>(e.Name.size()));
        Put16(out, static_cast<uint32_t>(e.CentralExtra.size()));
        Put16(out, static_cast<uint32_t>(e.Comment.size()));
        Put16(out, 0);
        Put16(out, 1);
        Put32(out, 0x20);
        Put32(out, offsets[i]);
        PutText(out, e.Name);
        PutBytes(out, e.CentralExtra);
        PutText(out, e.Comment);
    }
    uint32_t centralSize = static_cast<uint32_t>(out.size() - Prefix.size() - centralOffset);
    if (WriteEndRecord) {
        Put32(out, 0x06054B50);
        Put16(out, ThisDisk);
        Put16(out, 0);
        Put16(out, static_cast<uint32_t>(static_cast<int>(Entries.size()) + TotalEntriesDelta));
        Put16(out, static_cast<uint32_t>(static_cast<int>(Entries.size()) + TotalEntriesDelta));
        Put32(out, centralSize);
        Put32(out, centralOffset);
        Put16(out, static_cast<uint32_t>(ArchiveComment.size()));
        PutText(out, ArchiveComment);
    }
    return out;
}

} // namespace glyptor::archive::test

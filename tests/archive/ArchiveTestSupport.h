// Helpers shared by the archive tests: SHA-256, file and fixture access, and ZipBuilder, which
// writes small archives byte by byte so that tests can shape every field.
#pragma once

#include "archive/ZipReader.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace glyptor::archive::test {

using Bytes = std::vector<uint8_t>;

std::string Sha256Hex(const Bytes& data);
Bytes ReadFileBytes(const std::filesystem::path& path);
Bytes ToBytes(const std::string& text);
std::string ToString(const Bytes& data);
uint32_t Crc(const Bytes& data);
// Raw Deflate (no zlib header) by zlib, the independent encoder.
Bytes ZlibDeflate(const Bytes& data, int level = 6);

std::filesystem::path FixtureDir();  // GLYPTOR_FIXTURES/zip
std::filesystem::path TestDataDir(); // tests/data/archive
// A reader with the archive bytes attached and the directory not yet read.
std::unique_ptr<TZipReader> OpenArchive(const Bytes& archive);
// Extracts name into a fresh stream; returns the count and fills data.
int Extract(TZipReader& reader, const std::string& name, Bytes& data);

// Builds an archive in memory. Each entry gets a local header, its data and a central record.
class ZipBuilder {
public:
    struct Entry {
        std::string Name; // stored bytes, "/" separators as written
        Bytes Data;       // bytes placed after the local header (compressed form)
        uint16_t Method = 0;
        uint16_t Flags = 0;
        uint32_t Crc32 = 0;
        uint32_t CompressedSize = 0;
        uint32_t UncompressedSize = 0;
        uint32_t DosDateTime = 0x21;
        Bytes LocalExtra;
        Bytes CentralExtra;
        std::string Comment;
        // Overrides of what the central record claims.
        int64_t CentralCompressedSize = -1;
        int64_t LocalOffsetDelta = 0;
    };

    // A stored entry with correct CRC and sizes.
    Entry& AddStored(const std::string& name, const Bytes& data);
    // A Deflate entry compressed by zlib.
    Entry& AddDeflated(const std::string& name, const Bytes& data);
    Entry& Add(Entry entry);

    std::string ArchiveComment;
    Bytes Prefix;              // bytes before the first local header
    int TotalEntriesDelta = 0; // added to the end record's entry count
    uint16_t ThisDisk = 0;
    bool WriteEndRecord = true;

    Bytes Build() const;

private:
    std::vector<Entry> Entries;
};

} // namespace glyptor::archive::test

// The fixed-size parts of the ZIP headers as plain structs, decoded field by field through the
// bounds-checked cursor and encoded with the little-endian stores. The reader, the extractor
// and the writer all go through these, so each on-disk layout is written down exactly once.
#pragma once

#include "archive/ZipHeaderInfo.h"
#include "archive/ZipStream.h"

#include <cstdint>
#include <span>

namespace glyptor::archive {

// The fields a local header and a central record share, in the order both store them: from
// "version needed to extract" to the extra-field length.
struct TEntryFields {
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t CompressionMethod = 0;
    uint32_t ModifiedDateTime = 0;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraFieldLength = 0;

    // The record's fields as an entry holds them (sizes as the entry's signed 32 bits).
    void CopyTo(TZipHeaderInfo& entry) const;
    // Takes an entry's fields for a header that stores nameLength name bytes and no extra
    // field (the writer never stores one).
    void CopyFrom(const TZipHeaderInfo& entry, uint16_t nameLength);
};

struct TLocalHeader : TEntryFields {
    // Bytes between the fixed header and the entry's data.
    int64_t VariableSize() const { return int64_t{NameLength} + ExtraFieldLength; }
};

struct TCentralHeader : TEntryFields {
    uint16_t VersionMadeBy = 0;
    uint16_t CommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;
};

// Each decoder reads the fixed part at the start of bytes. False when the bytes are too short
// for it or do not start with its signature; the output is then unspecified.
bool DecodeLocalHeader(std::span<const uint8_t> bytes, TLocalHeader& header);
bool DecodeCentralHeader(std::span<const uint8_t> bytes, TCentralHeader& header);
// Fills the on-disk fields of end (signature to comment length) and nothing else.
bool DecodeEndCentral(std::span<const uint8_t> bytes, TEndCentral& end);

// Read the fixed part at the stream's position and decode it; the stream is left after the
// bytes read, whether or not they were the header.
bool LoadLocalHeader(TStream& stream, TLocalHeader& header);
bool LoadCentralHeader(TStream& stream, TCentralHeader& header);

void EncodeLocalHeader(const TLocalHeader& header, uint8_t (&block)[LocalHeaderSize]);
void EncodeCentralHeader(const TCentralHeader& header, uint8_t (&block)[CentralHeaderSize]);

} // namespace glyptor::archive

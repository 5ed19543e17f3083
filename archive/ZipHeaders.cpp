// Field-by-field decoding and encoding of the local header, the central record and the end
// record (TEndCentral::EncodeBlock lives here too, beside its decoder).
#include "archive/ZipHeaders.h"

#include "formats/ByteCursor.h"
#include "formats/LittleEndian.h"

namespace glyptor::archive {

using formats::ByteCursor;

namespace {

void ReadEntryFields(ByteCursor& in, TEntryFields& fields) {
    fields.VersionNeeded = in.ReadU16();
    fields.Flags = in.ReadU16();
    fields.CompressionMethod = in.ReadU16();
    fields.ModifiedDateTime = in.ReadU32();
    fields.Crc32 = in.ReadU32();
    fields.CompressedSize = in.ReadU32();
    fields.UncompressedSize = in.ReadU32();
    fields.NameLength = in.ReadU16();
    fields.ExtraFieldLength = in.ReadU16();
}

// Sequential little-endian stores into a block whose size the caller's array type fixes.
class TFieldWriter {
public:
    explicit TFieldWriter(uint8_t* at) : At(at) {}
    void U16(uint16_t value) {
        formats::StoreLe16(At, value);
        At += 2;
    }
    void U32(uint32_t value) {
        formats::StoreLe32(At, value);
        At += 4;
    }

private:
    uint8_t* At;
};

void WriteEntryFields(TFieldWriter& out, const TEntryFields& fields) {
    out.U16(fields.VersionNeeded);
    out.U16(fields.Flags);
    out.U16(fields.CompressionMethod);
    out.U32(fields.ModifiedDateTime);
    out.U32(fields.Crc32);
    out.U32(fields.CompressedSize);
    out.U32(fields.UncompressedSize);
    out.U16(fields.NameLength);
    out.U16(fields.ExtraFieldLength);
}

// The shared fields take 26 bytes; the rest of each header is its signature and its own fields.
constexpr int EntryFieldsSize = 3 * 2 + 4 * 4 + 2 * 2;
static_assert(LocalHeaderSize == 4 + EntryFieldsSize);
static_assert(CentralHeaderSize == 4 + 2 + EntryFieldsSize + 3 * 2 + 2 * 4);
static_assert(EndCentralSize == 4 + 4 * 2 + 2 * 4 + 2);

std::span<const uint8_t> ReadBlock(TStream& stream, uint8_t* block, int64_t size) {
    const int64_t got = stream.Read(block, size);
    return {block, static_cast<size_t>(got > 0 ? got : 0)};
}

} // namespace

void TEntryFields::CopyTo(TZipHeaderInfo& entry) const {
    entry.VersionNeeded = VersionNeeded;
    entry.Flags = Flags;
    entry.CompressionMethod = CompressionMethod;
    entry.ModifiedDateTime = ModifiedDateTime;
    entry.Crc32 = Crc32;
    entry.CompressedSize = static_cast<int32_t>(CompressedSize);
    entry.UncompressedSize = static_cast<int32_t>(UncompressedSize);
    entry.ExtraFieldLength = ExtraFieldLength;
}

void TEntryFields::CopyFrom(const TZipHeaderInfo& entry, uint16_t nameLength) {
    VersionNeeded = entry.VersionNeeded;
    Flags = entry.Flags;
    CompressionMethod = entry.CompressionMethod;
    ModifiedDateTime = entry.ModifiedDateTime;
    Crc32 = entry.Crc32;
    CompressedSize = static_cast<uint32_t>(entry.CompressedSize);
    UncompressedSize = static_cast<uint32_t>(entry.UncompressedSize);
    NameLength = nameLength;
    ExtraFieldLength = 0;
}

bool DecodeLocalHeader(std::span<const uint8_t> bytes, TLocalHeader& header) {
    ByteCursor in(bytes);
    if (in.ReadU32() != LocalHeaderSignature)
        return false;
    ReadEntryFields(in, header);
    return in.Ok();
}

bool DecodeCentralHeader(std::span<const uint8_t> bytes, TCentralHeader& header) {
    ByteCursor in(bytes);
    if (in.ReadU32() != CentralHeaderSignature)
        return false;
    header.VersionMadeBy = in.ReadU16();
    ReadEntryFields(in, header);
    header.CommentLength = in.ReadU16();
    header.DiskNumberStart = in.ReadU16();
    header.InternalAttributes = in.ReadU16();
    header.ExternalAttributes = in.ReadU32();
    header.LocalHeaderOffset = in.ReadU32();
    return in.Ok();
}

bool DecodeEndCentral(std::span<const uint8_t> bytes, TEndCentral& end) {
    ByteCursor in(bytes);
    end.Signature = in.ReadU32();
    if (end.Signature != EndCentralSignature)
        return false;
    end.ThisDisk = in.ReadU16();
    end.CentralStartDisk = in.ReadU16();
    end.EntriesOnThisDisk = in.ReadU16();
    end.TotalEntries = in.ReadU16();
    end.CentralSize = in.ReadU32();
    end.CentralOffset = in.ReadU32();
    end.CommentLength = in.ReadU16();
    return in.Ok();
}

bool LoadLocalHeader(TStream& stream, TLocalHeader& header) {
    uint8_t block[LocalHeaderSize];
    return DecodeLocalHeader(ReadBlock(stream, block, LocalHeaderSize), header);
}

bool LoadCentralHeader(TStream& stream, TCentralHeader& header) {
    uint8_t block[CentralHeaderSize];
    return DecodeCentralHeader(ReadBlock(stream, block, CentralHeaderSize), header);
}

void EncodeLocalHeader(const TLocalHeader& header, uint8_t (&block)[LocalHeaderSize]) {
    TFieldWriter out(block);
    out.U32(LocalHeaderSignature);
    WriteEntryFields(out, header);
}

void EncodeCentralHeader(const TCentralHeader& header, uint8_t (&block)[CentralHeaderSize]) {
    TFieldWriter out(block);
    out.U32(CentralHeaderSignature);
    out.U16(header.VersionMadeBy);
    WriteEntryFields(out, header);
    out.U16(header.CommentLength);
    out.U16(header.DiskNumberStart);
    out.U16(header.InternalAttributes);
    out.U32(header.ExternalAttributes);
    out.U32(header.LocalHeaderOffset);
}

void TEndCentral::EncodeBlock(uint8_t (&block)[EndCentralSize]) const {
    TFieldWriter out(block);
    out.U32(Signature);
    out.U16(ThisDisk);
    out.U16(CentralStartDisk);
    out.U16(EntriesOnThisDisk);
    out.U16(TotalEntries);
    out.U32(CentralSize);
    out.U32(CentralOffset);
    out.U16(CommentLength);
}

} // namespace glyptor::archive

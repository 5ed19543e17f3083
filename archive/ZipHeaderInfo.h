// The archive directory's records: one TZipHeaderInfo per entry, the end record TEndCentral, and
// TSortedZip, the sorted list of entries with its sort modes. Reader and writer share them.
#pragma once

#include "archive/ObjectList.h"

#include <cstdint>
#include <optional>
#include <string>

namespace glyptor::archive {

constexpr uint32_t LocalHeaderSignature = 0x04034B50;
constexpr uint32_t CentralHeaderSignature = 0x02014B50;
constexpr uint32_t EndCentralSignature = 0x06054B50;
constexpr int LocalHeaderSize = 30;
constexpr int CentralHeaderSize = 46;
constexpr int EndCentralSize = 22;

// General-purpose flag bits the component acts on.
constexpr uint16_t FlagEncrypted = 0x0001;
constexpr uint16_t FlagImplode8K = 0x0002;
constexpr uint16_t FlagImplode3Trees = 0x0004;
constexpr uint16_t FlagDataDescriptor = 0x0008;
// The name (and comment) are UTF-8 rather than the OEM code page.
constexpr uint16_t FlagUtf8Name = 0x0800;

// One archive entry. Copying copies every field, both name parts, the comment and Selected.
class TZipHeaderInfo : public TObject {
public:
    uint16_t VersionMadeBy = 20;
    uint16_t VersionNeeded = 20;
    uint16_t Flags = 0;
    uint16_t CompressionMethod = 8;
    uint32_t ModifiedDateTime = 0; // DOS time in the low word, DOS date in the high word
    uint32_t Crc32 = 0xFFFFFFFF;
    int32_t CompressedSize = 0;
    int32_t UncompressedSize = 0;
    uint16_t FileNameLength = 0; // always Directory().size() + FileName().size()
    uint16_t ExtraFieldLength = 0;
    uint16_t CommentLength = 0;
    uint16_t DiskNumberStart = 0;
    uint16_t InternalAttributes = 1;
    uint32_t ExternalAttributes = 0x20;
    uint32_t LocalHeaderOffset = 0;
    uint32_t CentralRecordOffset = 0;   // 0 for entries that did not come from a central record
    std::optional<std::string> Comment; // loaded on first request
    bool Selected = false;
    // The name bytes exactly as the archive stored them, kept until the name is changed, so
    // that an entry copied into a rewritten archive keeps its name even where the code page
    // round trip would alter it.
    std::string RawName;

    TZipHeaderInfo() = default;
    TZipHeaderInfo(const TZipHeaderInfo&) = default;
    TZipHeaderInfo& operator=(const TZipHeaderInfo&) = default;
    void Assign(const TZipHeaderInfo& other) { *this = other; }

    const std::string& FileName() const { return FFileName; }
    const std::string& Directory() const { return FDirectory; }
    // Both setters recompute FileNameLength and forget RawName; a non-empty directory always
    // ends in "\".
    void SetFileName(const std::string& name);
    void SetDirectory(const std::string& directory);
    // Splits a stored name (already in "\" form) at its last "\" or ":".
    void SetFullName(const std::string& fullName);
    std::string FullName() const { return FDirectory + FFileName; }

    int64_t LocalSize() const { return LocalHeaderSize + FileNameLength + ExtraFieldLength; }
    int64_t CentralSize() const {
        return CentralHeaderSize + FileNameLength + ExtraFieldLength + CommentLength;
    }

private:
    void UpdateNameLength();
    std::string FFileName;
    std::string FDirectory;
};

// The end-of-central-directory record. The first eight fields are the 22-byte on-disk block.
class TEndCentral {
public:
    uint32_t Signature = EndCentralSignature;
    uint16_t ThisDisk = 0;
    uint16_t CentralStartDisk = 0;
    uint16_t EntriesOnThisDisk = 0;
    uint16_t TotalEntries = 0;
    uint32_t CentralSize = 0;
    uint32_t CentralOffset = 0;
    uint16_t CommentLength = 0;
    std::optional<std::string> Comment; // loaded on first request
    uint32_t CommentOffset = 0;
    bool Modified = false;

    void Clear() { *this = TEndCentral(); }
    // Copies the block, the comment (CommentLength follows it) and CommentOffset, not Modified.
    void Assign(const TEndCentral& other);
    // The 22 bytes as written to an archive (ZipHeaders.cpp, beside the decoder).
    void EncodeBlock(uint8_t (&block)[EndCentralSize]) const;
};

// Orders of the entry view. The numbers are those the component's users store.
enum class TZipSortMode {
    ByName = 0,
    ByFileName = 1,
    ByDirectoryName = 2,
    ByDate = 3,
    ByCompressedSize = 4,
    ByUnCompressedSize = 5,
    ByRate = 6,
    ByNone = 7
};

// A sorted list of entries; ByNone is the physical order (disk, then local header offset).
class TSortedZip : public TSortedObjectList {
public:
    explicit TSortedZip(TZipSortMode mode = TZipSortMode::ByNone, bool ownsObjects = true)
        : TSortedObjectList(ownsObjects), SortMode(mode) {}

    TZipSortMode SortMode;

    int Compare(const TObject* item, const TObject* key) const override;
    TZipHeaderInfo* Entry(int index) const { return static_cast<TZipHeaderInfo*>(Get(index)); }
    int AddEntry(TZipHeaderInfo* entry) { return Add(entry); }
};

// Case-insensitive comparison for ASCII letters only; other bytes compare by value.
int CompareText(const std::string& a, const std::string& b);
// Lower-cases ASCII A-Z only.
std::string LowerAscii(std::string text);
// Comparable value of a DOS date-time; 0 for a value that is no valid date and time.
int64_t DosDateTimeKey(uint32_t dosDateTime);

} // namespace glyptor::archive

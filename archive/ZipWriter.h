// TZipWriter: the writing half of the ZIP component. Every change rebuilds the whole archive in
// memory: kept entries are copied without decompressing them, matching entries are deleted or
// replaced in their place, a new entry is compressed with our own Deflater, and a new central
// directory and end record follow. The rebuilt archive replaces the attached stream only when
// all of it was written, so a failure leaves the archive as it was.
#pragma once

#include "archive/ZipReader.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace glyptor::archive {

class TDeflater;

enum class TZipAction { zaUpdate, zaReplace, zaFreshen };
enum class TMultiMode { mmNone, mmSpan, mmBlocks };

// Multi-volume settings; they serve a file mode this component does not offer, and are kept so
// that a caller's settings have a home.
struct TMultiZipInfo {
    TMultiMode MultiMode = TMultiMode::mmNone;
    int64_t BlockSize = 1457600;
    int64_t FirstBlockSize = 1457600;
    bool CheckDiskLabels = true;
    bool WriteDiskLabels = true;
};

class TZipWriter;

using TStartZipInfoEvent = std::function<void(TZipWriter* sender, int numFiles, int64_t totalBytes,
                                              TEndCentral& newEnd, bool& stop)>;
using TStartZipEvent = std::function<void(TZipWriter* sender, const std::string& name,
                                          TZipHeaderInfo& entry, bool& skip)>;
using TEndZipEvent =
    std::function<void(TZipWriter* sender, const std::string& name, int64_t uncompressedSize,
                       int64_t compressedSize, int64_t outputSize)>;
using TDeleteEntryEvent =
    std::function<void(TZipWriter* sender, const std::string& fullName, bool& skip)>;

class TZipWriter : public TZipReader {
public:
    TZipWriter();
    ~TZipWriter() override;

    // Stores the whole of source (read from position 0) under name, which loses any folder
    // part. An entry of that name at the archive's root is replaced in its place. Returns 1
    // when the entry was written, 0 when it was refused (the name exists, or OnStartZip skipped
    // it).
    int AddFromStream(TStream& source, const std::string& name);
    // Removes the entries FilesList names: a plain name removes the first entry with that full
    // name, a pattern ("*", "?", "[", "]") every entry it matches.
    void DeleteListed();
    // Rewrites the archive when an entry comment or the archive comment was changed; otherwise
    // does nothing.
    void FlushChanges();

    // Published settings.
    int PackLevel = 6; // 0 stores, 1-9 deflate
    bool Recurse = false;
    bool Dispose = false;
    bool StorePaths = false;
    bool RelativePaths = false;
    bool StoreVolumes = false;
    bool Store83Names = false;
    TZipAction ZipAction = TZipAction::zaUpdate;
    TMultiZipInfo MultiZipInfo;

    TStartZipInfoEvent OnStartZipInfo;
    TStartZipEvent OnStartZip;
    TEndZipEvent OnEndZip;
    TDeleteEntryEvent OnDeleteEntry;

protected:
    struct TRewrite;

    // The whole rebuild; on an exception the attached stream and directory stay as they were.
    void Rewrite(TRewrite& job);
    void CopyExistingEntries(TRewrite& job);
    // Writes one new entry from the current source; false when it was refused.
    bool AddOneEntry(TRewrite& job, const std::string& name);
    void CopyEntryData(TRewrite& job, TZipHeaderInfo& entry, int64_t oldLocalOffset);
    void WriteLocalHeader(TRewrite& job, const TZipHeaderInfo& entry);
    void WriteCentralDirectory(TRewrite& job);
    // Output goes through here: lets the user interface breathe and honours a cancel request.
    void WriteOutput(TRewrite& job, const void* data, int64_t count);

    // The name an added item is stored under (its part after the last "\" or ":").
    std::string StoredNameOf(const std::string& item) const;

    bool SourceIsStream = false;
    bool Deleting = false;
    TStream* Source = nullptr;
};

} // namespace glyptor::archive

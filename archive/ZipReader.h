// TZipReader: the reading half of the ZIP component. It holds an archive in an attached stream,
// reads its directory (end record, central records, or a recovery scan over local headers),
// lists and sorts the entries, and extracts entries chosen by name or wildcard pattern into a
// caller's stream. TZipWriter derives from it and adds rewriting.
#pragma once

#include "archive/ZipHeaderInfo.h"
#include "archive/ZipStream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace glyptor::archive {

enum class TUZOverwriteMode { Prompt, Always, Never };
enum class TIncompleteZipMode { izAssumeMulti, izAssumeBad };

// Why an entry was left out (OnSkippingFile).
enum class TSkipReason { BadPassword = 0, FileExists = 1 };

// What the component asks of the application's user interface. Unset parts do nothing, except
// that a message without MessageBox goes to standard error.
struct TZipUserInterface {
    std::function<void()> PumpMessages;
    std::function<void(const std::string& text, const std::string& caption)> MessageBox;
    std::function<void(bool busy)> BusyCursor;
};

class TZipReader;

// Notification hooks; each is called only when set.
using TStartUnZipInfoEvent =
    std::function<void(TZipReader* sender, int numFiles, int64_t totalBytes, bool& stop)>;
using TStartUnZipEvent =
    std::function<void(TZipReader* sender, int index, const std::string& destination, bool& skip)>;
using TEndUnZipEvent =
    std::function<void(TZipReader* sender, int index, const std::string& destination)>;
using TBadCRCEvent =
    std::function<void(TZipReader* sender, uint32_t calculatedCrc, uint32_t storedCrc, int index)>;
using TBadPasswordEvent =
    std::function<void(TZipReader* sender, int index, std::string& newPassword)>;
using TSkippingFileEvent = std::function<void(TZipReader* sender, TSkipReason reason, int index)>;
using TPercentDoneEvent = std::function<void(TZipReader* sender, int percent)>;
using TInCompleteZipEvent = std::function<void(TZipReader* sender, TIncompleteZipMode& mode)>;

class TZipReader {
public:
    TZipReader();
    virtual ~TZipReader();
    TZipReader(const TZipReader&) = delete;
    TZipReader& operator=(const TZipReader&) = delete;

    // Attaches stream (the component owns it from now on) after ClearArchive, and enters memory
    // mode. With nullptr: detaches the current stream, clears the archive, leaves memory mode and
    // hands the detached stream back.
    std::unique_ptr<TStream> SetArchiveStream(std::unique_ptr<TStream> stream);
    // The attached stream, or nullptr. Its position is undefined after any archive operation.
    TStream* ArchiveStream() const { return FArchiveStream.get(); }

    // Reads the directory unless one is loaded (in memory mode a loaded one is kept).
    // Raises EIncompleteZip, EListError or EUserCanceled as the directory demands.
    void ReadDirectory();
    // Entries in the directory; 0 when none is loaded.
    int EntryCount() const;
    // Directory + FileName of the entry at index in the current sort order.
    std::string EntryName(int index) const;
    // The entry record at index in the current sort order.
    const TZipHeaderInfo& Entry(int index) const;
    std::string EntryComment(int index);
    void SetEntryComment(int index, const std::string& text);
    std::string ArchiveComment();
    void SetArchiveComment(const std::string& text);
    // Why the entry most recently extracted failed its check (decoder outcome, size or CRC);
    // empty when it passed. Meant for the OnBadCRC hook.
    const std::string& EntryProblem() const { return FEntryProblem; }
    // Frees the stream, the directory and the end record's contents.
    void ClearArchive();

    // Decompresses every entry matching name (a name or wildcard pattern) into target at its
    // current position; returns the number of entries extracted with a matching CRC.
    int ExtractToStream(TStream& target, const std::string& name);

    TZipSortMode SortMode() const { return FSortMode; }
    void SetSortMode(TZipSortMode mode);
    bool Rebuilt() const { return FRebuilt; }
    bool MemoryMode() const { return FMemoryMode; }
    bool DirectoryLoaded() const { return EntryList != nullptr; }
    const TEndCentral& EndCentral() const { return EndRecord; }

    // Published settings.
    std::vector<std::string> FilesList;
    bool DoAll = false;
    bool RecreateDirs = false;
    TUZOverwriteMode OverwriteMode = TUZOverwriteMode::Prompt;
    TIncompleteZipMode IncompleteZipMode = TIncompleteZipMode::izAssumeMulti;
    bool KeepZipOpen = false;
    bool DoProcessMessages = true;
    bool RetainAttributes = true;
    // Password of traditional encryption; empty unless set.
    std::string Password;
    // Set by the application to abort a long scan, extraction or rewrite.
    bool CancelRequested = false;
    // The application's callbacks, per component, so that no state is shared between them.
    TZipUserInterface UserInterface;

    TStartUnZipInfoEvent OnStartUnZipInfo;
    TStartUnZipEvent OnStartUnZip;
    TEndUnZipEvent OnEndUnZip;
    TBadPasswordEvent OnBadPassword;
    TBadCRCEvent OnBadCRC;
    TSkippingFileEvent OnSkippingFile;
    TPercentDoneEvent OnFilePercentDone;
    TPercentDoneEvent OnTotalPercentDone;
    TInCompleteZipEvent OnInCompleteZip;

protected:
    // Chunk size of extraction input and output.
    static constexpr int ChunkSize = 16000;

    // Directory reading, in the order ReadDirectory runs them.
    void ReadCentralDirectory();
    bool FindEndRecord();
    // Read one record at the stream position into entry; on failure the position is restored.
    bool ReadCentralRecord(TZipHeaderInfo& entry);
    bool ReadLocalHeader(TZipHeaderInfo& entry);
    // Rebuilds EntryList from local headers; returns false when none was found.
    bool RecoveryScan();
    // Reads EndRecord.TotalEntries central records from the stream position into EntryList, or,
    // after a recovery scan, merges them into the entries found there.
    void ReadCentralRecords(bool merge);
    void ApplySortMode(TZipSortMode mode);
    void FreeDirectory();
    void CheckEntryIndex(int index) const;
    void LoadEntryComment(TZipHeaderInfo& entry);
    void LoadArchiveComment();
    // Finds the entries whose data cannot be read on their own: no local header where the
    // record points, data overlapping another entry's, or data running into the central
    // directory. Their extraction and copying is refused.
    void CheckDataRanges();
    // Why entry's data is refused, or nullptr when it is not.
    const std::string* DataProblem(const TZipHeaderInfo& entry) const;

    // Application services.
    void ProcessMessages();
    // Raises EUserCanceled (clearing the flag) when a cancel was requested.
    void CheckCancel();
    void ShowMessage(const std::string& text, const std::string& caption);

    // Stored name from the archive: "/" to "\", then OEM to ANSI unless the flags mark the
    // name as UTF-8, which stays as it is.
    static std::string ConvertStoredName(std::string raw, uint16_t flags);
    // Whether a FilesList item selects entry (wildcard match on lower-cased names).
    static bool ItemMatches(const std::string& item, const TZipHeaderInfo& entry);

    // Extraction driver over FilesList / DoAll; returns the count of intact entries.
    int RunExtraction(TStream& target);

    std::unique_ptr<TStream> FArchiveStream;
    bool FMemoryMode = false;
    // Primary list: physical order, duplicates raise, owns its entries.
    std::unique_ptr<TSortedZip> EntryList;
    // The view EntryName indexes: EntryList itself, or SeparateView when sorted otherwise.
    TSortedZip* SortedEntries = nullptr;
    std::unique_ptr<TSortedZip> SeparateView;
    TEndCentral EndRecord;
    TZipHeaderInfo CurrentEntry;
    // Entries of EntryList whose data is refused, with the reason.
    std::unordered_map<const TZipHeaderInfo*, std::string> FDataProblems;
    bool FRebuilt = false;
    std::string FEntryProblem;
    TZipSortMode FSortMode = TZipSortMode::ByNone;

private:
    struct TExtraction;
    bool ExtractEntry(TExtraction& job, int index);
};

} // namespace glyptor::archive

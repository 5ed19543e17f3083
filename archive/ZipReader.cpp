// Directory reading and listing of TZipReader: the end-record search, central records, the
// recovery scan over local headers, sorted views and comments.
#include "archive/ZipReader.h"

#include "archive/CodePage.h"
#include "archive/Wildcard.h"
#include "archive/ZipErrors.h"
#include "archive/ZipHeaders.h"
#include "formats/LittleEndian.h"

#include <algorithm>
#include <iostream>

namespace glyptor::archive {

namespace {

// Shows the busy cursor for its lifetime.
class TBusyCursor {
public:
    explicit TBusyCursor(const TZipUserInterface& ui) : Ui(ui) { Set(true); }
    ~TBusyCursor() { Set(false); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;

private:
    void Set(bool busy) const {
        if (Ui.BusyCursor)
            Ui.BusyCursor(busy);
    }
    const TZipUserInterface& Ui;
};

// Reads a fixed header with load and the stored name after it; on failure the stream is back
// where it was.
template <class THeader>
bool LoadHeaderAndName(TStream& s, bool (*load)(TStream&, THeader&), THeader& header,
                       std::string& name) {
    const int64_t start = s.Position();
    if (load(s, header)) {
        name.assign(header.NameLength, '\0');
        if (s.Read(name.data(), header.NameLength) == header.NameLength)
            return true;
    }
    s.SetPosition(start);
    return false;
}

} // namespace

TZipReader::TZipReader() = default;

TZipReader::~TZipReader() {
    ClearArchive();
}

std::unique_ptr<TStream> TZipReader::SetArchiveStream(std::unique_ptr<TStream> stream) {
    if (stream) {
        ClearArchive();
        FArchiveStream = std::move(stream);
        KeepZipOpen = true;
        FMemoryMode = true;
        return nullptr;
    }
    std::unique_ptr<TStream> detached = std::move(FArchiveStream);
    ClearArchive();
    FMemoryMode = false;
    return detached;
}

void TZipReader::ClearArchive() {
    FArchiveStream.reset();
    FreeDirectory();
    EndRecord.Clear();
    FRebuilt = false;
}

void TZipReader::FreeDirectory() {
    FDataProblems.clear();
    SortedEntries = nullptr;
    SeparateView.reset();
    EntryList.reset();
}

void TZipReader::ReadDirectory() {
    CancelRequested = false;
    if (EntryList && FMemoryMode)
        return;
    ReadCentralDirectory();
}

int TZipReader::EntryCount() const {
    return EntryList ? EntryList->Count() : 0;
}

void TZipReader::CheckEntryIndex(int index) const {
    if (index < 0 || index >= EntryCount())
        throw EListError("Index " + std::to_string(index) + " is out of range");
}

const TZipHeaderInfo& TZipReader::Entry(int index) const {
    CheckEntryIndex(index);
    return *SortedEntries->Entry(index);
}

std::string TZipReader::EntryName(int index) const {
    return Entry(index).FullName();
}

void TZipReader::SetSortMode(TZipSortMode mode) {
    if (EntryList)
        ApplySortMode(mode);
    else
        FSortMode = mode;
}

void TZipReader::ApplySortMode(TZipSortMode mode) {
    SortedEntries = nullptr;
    SeparateView.reset();
    FSortMode = mode;
    if (!EntryList)
        return;
    if (mode == TZipSortMode::ByNone) {
        SortedEntries = EntryList.get();
        return;
    }
    SeparateView = std::make_unique<TSortedZip>(mode, false);
    SeparateView->Duplicates = TDuplicates::Accept;
    for (int i = 0; i < EntryList->Count(); ++i)
        SeparateView->AddEntry(EntryList->Entry(i));
    SortedEntries = SeparateView.get();
}

std::string TZipReader::ConvertStoredName(std::string raw, uint16_t flags) {
    std::replace(raw.begin(), raw.end(), '/', '\\');
    if (flags & FlagUtf8Name)
        return raw;
    return OemToAnsi(std::move(raw));
}

bool TZipReader::FindEndRecord() {
    EndRecord.Clear();
    TStream* stream = FArchiveStream.get();
    if (!stream || stream->Size() < EndCentralSize)
        return false;
    int64_t size = stream->Size();
    int64_t n = std::min<int64_t>(size, 65528);
    std::vector<uint8_t> tail(static_cast<size_t>(n));
    stream->SetPosition(size - n);
    if (stream->Read(tail.data(), n) != n)
        return false;
    for (int64_t at = n - EndCentralSize; at >= 0; --at) {
        const uint8_t* p = tail.data() + at;
        if (p[0] != 0x50 || formats::LoadLe32(p) != EndCentralSignature)
            continue;
        DecodeEndCentral(std::span(tail).subspan(static_cast<size_t>(at)), EndRecord);
        // The comment follows the record itself; bytes appended after it are not the comment.
        EndRecord.CommentOffset = static_cast<uint32_t>(size - n + at + EndCentralSize);
        // A memory archive has no other volumes; a record of a later volume cannot be read.
        if (EndRecord.ThisDisk != 0) {
            EndRecord.Clear();
            return false;
        }
        return true;
    }
    return false;
}

bool TZipReader::ReadCentralRecord(TZipHeaderInfo& entry) {
    TStream& s = *FArchiveStream;
    int64_t start = s.Position();
    TCentralHeader h;
    std::string name;
    if (!LoadHeaderAndName(s, LoadCentralHeader, h, name))
        return false;
    s.Seek(int64_t{h.ExtraFieldLength} + h.CommentLength, TSeekOrigin::Current);
    h.CopyTo(entry);
    entry.VersionMadeBy = h.VersionMadeBy;
    entry.SetFullName(ConvertStoredName(name, entry.Flags));
    entry.RawName = std::move(name);
    entry.CommentLength = h.CommentLength;
    entry.DiskNumberStart = h.DiskNumberStart;
    entry.InternalAttributes = h.InternalAttributes;
    entry.ExternalAttributes = h.ExternalAttributes;
    entry.LocalHeaderOffset = h.LocalHeaderOffset;
    entry.CentralRecordOffset = static_cast<uint32_t>(start);
    entry.Comment.reset();
    entry.Selected = false;
    return true;
}

bool TZipReader::ReadLocalHeader(TZipHeaderInfo& entry) {
    TStream& s = *FArchiveStream;
    int64_t start = s.Position();
    TLocalHeader h;
    std::string name;
    if (!LoadHeaderAndName(s, LoadLocalHeader, h, name))
        return false;
    h.CopyTo(entry);
    entry.VersionMadeBy = 0;
    entry.SetFullName(ConvertStoredName(name, entry.Flags));
    entry.RawName = std::move(name);
    entry.CommentLength = 0;
    entry.DiskNumberStart = 0;
    entry.InternalAttributes = 0;
    entry.ExternalAttributes = 0;
    entry.LocalHeaderOffset = static_cast<uint32_t>(start);
    entry.CentralRecordOffset = 0;
    entry.Comment.reset();
    entry.Selected = false;
    return true;
}

void TZipReader::ReadCentralDirectory() {
    FreeDirectory();
    FRebuilt = false;
    bool merge = false;
    if (FindEndRecord()) {
        TStream& s = *FArchiveStream;
        s.SetPosition(EndRecord.CentralOffset);
        uint8_t sig[4];
        if (s.Read(sig, 4) == 4 && formats::LoadLe32(sig) == CentralHeaderSignature) {
            s.Seek(-4, TSeekOrigin::Current);
            EntryList = std::make_unique<TSortedZip>(TZipSortMode::ByNone, true);
            EntryList->Duplicates = TDuplicates::Error;
            SortedEntries = EntryList.get();
        } else {
            merge = true;
        }
    } else {
        TIncompleteZipMode mode = IncompleteZipMode;
        if (OnInCompleteZip)
            OnInCompleteZip(this, mode);
        IncompleteZipMode = mode;
        if (mode == TIncompleteZipMode::izAssumeMulti)
            throw EIncompleteZip();
        merge = true;
    }
    if (merge) {
        bool found = false;
        {
            TBusyCursor busy(UserInterface);
            found = RecoveryScan();
        }
        if (!found) {
            ApplySortMode(FSortMode);
            return;
        }
    }
    try {
        ReadCentralRecords(merge);
    } catch (...) {
        CheckDataRanges();
        ApplySortMode(FSortMode);
        throw;
    }
    CheckDataRanges();
    ApplySortMode(FSortMode);
}

void TZipReader::CheckDataRanges() {
    FDataProblems.clear();
    if (!EntryList || !FArchiveStream)
        return;
    TStream& s = *FArchiveStream;
    const int64_t size = s.Size();
    struct TRange {
        const TZipHeaderInfo* Entry;
        int64_t Start;
        int64_t End;
    };
    // EntryList is in physical order, so the ranges come sorted by their start.
    std::vector<TRange> ranges;
    for (int i = 0; i < EntryList->Count(); ++i) {
        const TZipHeaderInfo* entry = EntryList->Entry(i);
        const int64_t start = entry->LocalHeaderOffset;
        TLocalHeader h;
        s.SetPosition(start);
        if (!LoadLocalHeader(s, h)) {
            FDataProblems[entry] = "No local header at offset " + std::to_string(start);
            continue;
        }
        const int64_t end = start + LocalHeaderSize + h.VariableSize() +
                            static_cast<uint32_t>(entry->CompressedSize);
        // Data cut off by the end of the file are a premature end, found when they are read.
        if (end > size)
            continue;
        if (!FRebuilt && end > EndRecord.CentralOffset && start < EndRecord.CentralOffset)
            FDataProblems[entry] = "Entry data run into the central directory";
        ranges.push_back({entry, start, end});
    }
    int64_t furthestEnd = -1;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const bool overlapsEarlier = ranges[i].Start < furthestEnd;
        const bool overlapsLater = i + 1 < ranges.size() && ranges[i].End > ranges[i + 1].Start;
        if (overlapsEarlier || overlapsLater)
            FDataProblems[ranges[i].Entry] = "Entry data overlap another entry's";
        furthestEnd = std::max(furthestEnd, ranges[i].End);
    }
}

const std::string* TZipReader::DataProblem(const TZipHeaderInfo& entry) const {
    auto found = FDataProblems.find(&entry);
    return found == FDataProblems.end() ? nullptr : &found->second;
}

void TZipReader::ReadCentralRecords(bool merge) {
    for (int i = 0; i < EndRecord.TotalEntries; ++i) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        // A record that cannot be read ends the directory; what was read stays.
        if (!ReadCentralRecord(*entry))
            return;
        if (!merge) {
            EntryList->AddEntry(entry.release());
            continue;
        }
        int index = 0;
        if (EntryList->Find(entry.get(), index)) {
            TZipHeaderInfo& found = *EntryList->Entry(index);
            uint32_t localOffset = found.LocalHeaderOffset;
            found.Assign(*entry);
            found.LocalHeaderOffset = localOffset;
        }
    }
}

bool TZipReader::RecoveryScan() {
    FRebuilt = true;
    FreeDirectory();
    // An empty directory is still a directory: the archive is not scanned again for it.
    EntryList = std::make_unique<TSortedZip>(TZipSortMode::ByNone, true);
    EntryList->Duplicates = TDuplicates::Error;
    SortedEntries = EntryList.get();
    if (!FArchiveStream)
        return false;
    TStream& s = *FArchiveStream;

    static constexpr uint8_t Signature[4] = {0x50, 0x4B, 0x03, 0x04};
    std::vector<uint8_t> block(65536 + 3);
    int64_t blockStart = 0;
    int64_t found = -1;
    int sinceCheck = 0;
    s.SetPosition(0);
    for (;;) {
        s.SetPosition(blockStart);
        int64_t got = s.Read(block.data(), static_cast<int64_t>(block.size()));
        if (got < 4)
            break;
        int64_t last = got - 4;
        for (int64_t i = 0; i <= last; ++i) {
            if (block[i] != 0x50) {
                if (++sinceCheck == 10240) {
                    sinceCheck = 0;
                    if (DoProcessMessages)
                        ProcessMessages();
                    CheckCancel();
                }
                continue;
            }
            if (std::equal(Signature, Signature + 4, block.begin() + i)) {
                found = blockStart + i;
                break;
            }
        }
        if (found >= 0 || got < static_cast<int64_t>(block.size()))
            break;
        blockStart += last + 1;
    }
    if (found < 0)
        return false;

    s.SetPosition(found);
    for (;;) {
        auto entry = std::make_unique<TZipHeaderInfo>();
        if (!ReadLocalHeader(*entry))
            break;
        // Sizes are skipped as unsigned so that the scan only ever moves forward.
        int64_t skip = int64_t{static_cast<uint32_t>(entry->CompressedSize)} +
                       entry->ExtraFieldLength + ((entry->Flags & FlagDataDescriptor) ? 16 : 0);
        EntryList->AddEntry(entry.release());
        s.Seek(skip, TSeekOrigin::Current);
    }
    EndRecord.ThisDisk = 0;
    EndRecord.CentralOffset = static_cast<uint32_t>(std::min<int64_t>(s.Position(), UINT32_MAX));
    EndRecord.TotalEntries = static_cast<uint16_t>(EntryList->Count());
    return true;
}

void TZipReader::LoadEntryComment(TZipHeaderInfo& entry) {
    if (entry.Comment || entry.CommentLength == 0 || !FArchiveStream)
        return;
    TStream& s = *FArchiveStream;
    s.SetPosition(entry.CentralRecordOffset);
    TCentralHeader h;
    std::string comment;
    if (LoadCentralHeader(s, h)) {
        s.Seek(int64_t{h.NameLength} + h.ExtraFieldLength, TSeekOrigin::Current);
        comment.resize(entry.CommentLength);
        comment.resize(static_cast<size_t>(s.Read(comment.data(), entry.CommentLength)));
    }
    entry.Comment = std::move(comment);
}

std::string TZipReader::EntryComment(int index) {
    CheckEntryIndex(index);
    TZipHeaderInfo& entry = *SortedEntries->Entry(index);
    if (entry.CommentLength == 0)
        return "";
    LoadEntryComment(entry);
    return entry.Comment.value_or("");
}

void TZipReader::SetEntryComment(int index, const std::string& text) {
    if (EntryComment(index) == text)
        return;
    TZipHeaderInfo& entry = *SortedEntries->Entry(index);
    // The record holds a 16-bit length; a longer text could not be written back.
    entry.Comment = text.substr(0, 0xFFFF);
    entry.CommentLength = static_cast<uint16_t>(entry.Comment->size());
    EndRecord.Modified = true;
}

void TZipReader::LoadArchiveComment() {
    if (EndRecord.Comment || EndRecord.CommentLength == 0 || !FArchiveStream)
        return;
    TStream& s = *FArchiveStream;
    s.SetPosition(EndRecord.CommentOffset);
    std::string comment(EndRecord.CommentLength, '\0');
    comment.resize(static_cast<size_t>(s.Read(comment.data(), EndRecord.CommentLength)));
    EndRecord.Comment = std::move(comment);
}

std::string TZipReader::ArchiveComment() {
    if (EndRecord.CommentLength == 0)
        return "";
    LoadArchiveComment();
    return EndRecord.Comment.value_or("");
}

void TZipReader::SetArchiveComment(const std::string& text) {
    if (ArchiveComment() == text)
        return;
    EndRecord.Comment = text.substr(0, 0xFFFF);
    EndRecord.CommentLength = static_cast<uint16_t>(EndRecord.Comment->size());
    EndRecord.Modified = true;
}

void TZipReader::ProcessMessages() {
    if (UserInterface.PumpMessages)
        UserInterface.PumpMessages();
}

void TZipReader::CheckCancel() {
    if (CancelRequested) {
        CancelRequested = false;
        throw EUserCanceled();
    }
}

void TZipReader::ShowMessage(const std::string& text, const std::string& caption) {
    if (UserInterface.MessageBox)
        UserInterface.MessageBox(text, caption);
    else
        std::cerr << caption << ": " << text << '\n';
}

bool TZipReader::ItemMatches(const std::string& item, const TZipHeaderInfo& entry) {
    std::string pattern = LowerAscii(item);
    if (pattern.find('\\') != std::string::npos)
        return WildcardMatch(pattern, LowerAscii(entry.FullName()));
    return WildcardMatch(pattern, LowerAscii(entry.FileName()));
}

} // namespace glyptor::archive

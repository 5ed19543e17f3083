// Archive rewrite of TZipWriter: copying kept entries byte for byte, deleting and replacing by
// name or pattern, compressing a new entry (optionally with traditional encryption), writing the
// central directory and end record, and installing the result only once it is complete.
#include "archive/ZipWriter.h"

#include "archive/CodePage.h"
#include "archive/Crc32.h"
#include "archive/Deflater.h"
#include "archive/Wildcard.h"
#include "archive/ZipCrypto.h"
#include "archive/ZipErrors.h"
#include "archive/ZipHeaders.h"
#include "formats/LittleEndian.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <random>
#include <vector>

namespace glyptor::archive {

namespace {

constexpr int64_t CopyChunk = 16000;
constexpr int64_t DataDescriptorSize = 16;
constexpr uint32_t DataDescriptorSignature = 0x08074B50;

// The name as it goes into a header: the stored bytes of an entry copied unchanged, else "/"
// separators and the OEM code page.
std::string WrittenName(const TZipHeaderInfo& entry) {
    if (!entry.RawName.empty())
        return entry.RawName;
    std::string name = entry.FullName();
    std::replace(name.begin(), name.end(), '\\', '/');
    return AnsiToOem(std::move(name));
}

// Every header offset and size field is 32 bits wide; an archive that outgrows them cannot be
// written correctly, so it is refused rather than wrapped.
uint32_t CheckedU32(int64_t value) {
    if (value < 0 || value > int64_t{std::numeric_limits<uint32_t>::max()})
        throw EZipError("Archive too large");
    return static_cast<uint32_t>(value);
}

uint32_t DosDateTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int year = std::clamp(local.tm_year + 1900, 1980, 2107);
    const uint32_t date =
        static_cast<uint32_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    const uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 |
                                                std::min(local.tm_sec, 59) / 2);
    return date << 16 | time;
}

int Percent(int64_t done, int64_t total) {
    if (total <= 0)
        return 0;
    return static_cast<int>(std::min<int64_t>(100, std::llround(double(done) * 100 / total)));
}

bool HasWildcard(const std::string& item) {
    return item.find_first_of("*?[]") != std::string::npos;
}

} // namespace

struct TZipWriter::TRewrite {
    bool NewArchive = false;
    TStream* Output = nullptr;
    std::unique_ptr<TMemoryStream> OwnedOutput; // the new archive, for an existing one
    std::unique_ptr<TSortedZip> NewList;        // records in the order written, owning
    std::unique_ptr<TSortedZip> NameList;       // the same records by name, to refuse twins
    TEndCentral NewEnd;
    int Added = 0;
    std::unique_ptr<TDeflater> Deflater;

    // Takes the record into both lists and counts it in the end record.
    void Record(std::unique_ptr<TZipHeaderInfo> entry) {
        NameList->AddEntry(entry.get()); // raises "Duplicate Object index" for a second name
        NewList->AddEntry(entry.release());
        ++NewEnd.TotalEntries;
        ++NewEnd.EntriesOnThisDisk;
    }
};

TZipWriter::TZipWriter() = default;

TZipWriter::~TZipWriter() = default;

int TZipWriter::AddFromStream(TStream& source, const std::string& name) {
    CancelRequested = false;
    SourceIsStream = true;
    Source = &source;
    source.SetPosition(0);
    FilesList.clear();
    FilesList.push_back(name);
    int added = 0;
    try {
        TRewrite job;
        Rewrite(job);
        added = job.Added;
    } catch (...) {
        SourceIsStream = false;
        Source = nullptr;
        throw;
    }
    SourceIsStream = false;
    Source = nullptr;
    return added;
}

void TZipWriter::DeleteListed() {
    Deleting = true;
    try {
        TRewrite job;
        Rewrite(job);
    } catch (...) {
        Deleting = false;
        throw;
    }
    Deleting = false;
}

void TZipWriter::FlushChanges() {
    if (!EndRecord.Modified)
        return;
    FilesList.clear();
    TRewrite job;
    Rewrite(job);
    EndRecord.Modified = false;
    ReadDirectory();
}

std::string TZipWriter::StoredNameOf(const std::string& item) const {
    // Stored names read back with "\\" for "/", so a "/" in a caller's name is a separator too;
    // kept as a name character it would come back as a folder and escape the same-name check.
    std::string path = item;
    std::replace(path.begin(), path.end(), '/', '\\');
    if (!StorePaths) {
        const size_t split = path.find_last_of("\\:");
        return split == std::string::npos ? path : path.substr(split + 1);
    }
    const size_t drive = path.find(':');
    if (drive != std::string::npos)
        path.erase(0, drive + 1);
    path.erase(0, path.find_first_not_of('\\') == std::string::npos ? path.size()
                                                                    : path.find_first_not_of('\\'));
    return path;
}

void TZipWriter::Rewrite(TRewrite& job) {
    const TZipSortMode rememberedMode = FSortMode;
    const bool rememberedKeepOpen = KeepZipOpen;
    KeepZipOpen = true;
    ApplySortMode(TZipSortMode::ByNone);
    if (!FArchiveStream) {
        // No archive attached yet: start an empty one in memory, as the store would.
        FArchiveStream = std::make_unique<TMemoryStream>();
        FMemoryMode = true;
    }
    job.NewArchive = FArchiveStream->Size() == 0;
    try {
        job.Deflater = std::make_unique<TDeflater>();
        if (job.NewArchive) {
            job.Output = FArchiveStream.get();
            job.Output->SetPosition(0);
        } else {
            job.OwnedOutput = std::make_unique<TMemoryStream>();
            job.Output = job.OwnedOutput.get();
        }
        job.NewList = std::make_unique<TSortedZip>(TZipSortMode::ByNone, true);
        job.NewList->Duplicates = TDuplicates::Error;
        job.NameList = std::make_unique<TSortedZip>(TZipSortMode::ByName, false);
        job.NameList->Duplicates = TDuplicates::Error;

        if (!job.NewArchive) {
            ReadDirectory();
            LoadArchiveComment();
            job.NewEnd.Assign(EndRecord);
            job.NewEnd.TotalEntries = 0;
            job.NewEnd.EntriesOnThisDisk = 0;
            CopyExistingEntries(job);
        } else if (EndRecord.Comment) {
            // A comment set before the first entry belongs to the archive being created.
            job.NewEnd.Comment = EndRecord.Comment;
            job.NewEnd.CommentLength = static_cast<uint16_t>(EndRecord.Comment->size());
        }

        if (!Deleting && SourceIsStream && !FilesList.empty()) {
            bool stop = false;
            if (OnStartZipInfo)
                OnStartZipInfo(this, static_cast<int>(FilesList.size()), Source->Size(), job.NewEnd,
                               stop);
            if (stop)
                throw EUserCanceled("User canceled Zip operation.");
            const std::vector<std::string> names = FilesList;
            for (const std::string& name : names) {
                if (AddOneEntry(job, name))
                    ++job.Added;
            }
        }
        WriteCentralDirectory(job);
    } catch (...) {
        // The old archive and its directory were only read; a new archive's stream was empty
        // and is emptied again, so nothing half-written stays behind.
        if (job.NewArchive) {
            FArchiveStream->SetSize(0);
            FArchiveStream->SetPosition(0);
        }
        job.OwnedOutput.reset();
        KeepZipOpen = rememberedKeepOpen;
        ApplySortMode(rememberedMode);
        throw;
    }

    if (!job.NewArchive)
        FArchiveStream = std::move(job.OwnedOutput);
    job.Deflater.reset();
    job.NameList.reset();
    job.NewList.reset();
    KeepZipOpen = rememberedKeepOpen;
    FSortMode = rememberedMode;
    // Reading back what was written makes the directory describe exactly the new bytes.
    ReadCentralDirectory();
}

void TZipWriter::CopyExistingEntries(TRewrite& job) {
    for (int i = 0; i < EntryList->Count(); ++i) {
        const TZipHeaderInfo& old = *EntryList->Entry(i);
        auto entry = std::make_unique<TZipHeaderInfo>(old);
        LoadEntryComment(*entry);

        int matched = -1;
        bool pattern = false;
        for (size_t k = 0; k < FilesList.size(); ++k) {
            // Stored names never hold "/" once read, so a caller's "/" means "\\".
            std::string item = FilesList[k];
            std::replace(item.begin(), item.end(), '/', '\\');
            pattern = Deleting && HasWildcard(item);
            bool matches = false;
            if (pattern) {
                const std::string lowered = LowerAscii(item);
                matches = item.find('\\') == std::string::npos
                              ? WildcardMatch(lowered, LowerAscii(entry->FileName()))
                              : WildcardMatch(lowered, LowerAscii(entry->FullName()));
            } else {
                const std::string key = Deleting ? item : StoredNameOf(item);
                matches = LowerAscii(key) == LowerAscii(entry->FullName());
            }
            if (matches) {
                matched = static_cast<int>(k);
                break;
            }
        }

        if (matched >= 0 && Deleting) {
            bool skip = false;
            if (OnDeleteEntry)
                OnDeleteEntry(this, entry->FullName(), skip);
            if (skip) {
                FilesList.erase(FilesList.begin() + matched);
            } else {
                // A plain name deletes one entry; a pattern goes on deleting what it matches.
                if (!pattern)
                    FilesList.erase(FilesList.begin() + matched);
                continue;
            }
        } else if (matched >= 0 && SourceIsStream) {
            const std::string item = FilesList[static_cast<size_t>(matched)];
            FilesList.erase(FilesList.begin() + matched);
            if (AddOneEntry(job, item)) {
                ++job.Added;
                continue;
            }
            // The replacement was refused; dropping the old entry would lose it for nothing.
        }

        // Copying data that belong to other entries too, or are no entry at all, would
        // multiply them in the new archive.
        if (const std::string* problem = DataProblem(old))
            throw EZipError(old.FullName() + ": " + *problem);
        const int64_t oldLocalOffset = entry->LocalHeaderOffset;
        entry->LocalHeaderOffset = CheckedU32(job.Output->Position());
        // The record does not keep extra-field bytes, so none are written and both headers
        // say so; the local and central extra fields of the old archive may differ anyway.
        entry->ExtraFieldLength = 0;
        if (entry->Comment)
            entry->CommentLength = static_cast<uint16_t>(entry->Comment->size());
        // Sizes and CRC go into the local header, so a data descriptor is not needed, except
        // for an encrypted entry: its password check byte follows the descriptor flag.
        const bool keepDescriptor =
            (entry->Flags & FlagDataDescriptor) != 0 && (entry->Flags & FlagEncrypted) != 0;
        if (!keepDescriptor)
            entry->Flags &= static_cast<uint16_t>(~FlagDataDescriptor);
        WriteLocalHeader(job, *entry);
        CopyEntryData(job, *entry, oldLocalOffset);
        if (keepDescriptor) {
            uint8_t descriptor[DataDescriptorSize];
            formats::StoreLe32(descriptor, DataDescriptorSignature);
            formats::StoreLe32(descriptor + 4, entry->Crc32);
            formats::StoreLe32(descriptor + 8, static_cast<uint32_t>(entry->CompressedSize));
            formats::StoreLe32(descriptor + 12, static_cast<uint32_t>(entry->UncompressedSize));
            WriteOutput(job, descriptor, DataDescriptorSize);
        }
        job.Record(std::move(entry));
    }
}

void TZipWriter::CopyEntryData(TRewrite& job, TZipHeaderInfo& entry, int64_t oldLocalOffset) {
    TStream& in = *FArchiveStream;
    in.SetPosition(oldLocalOffset);
    // The signature was checked with the directory (DataProblem).
    TLocalHeader local;
    if (!LoadLocalHeader(in, local))
        throw EFatalUnzipError();
    // The data follows the local header's own name and extra field, whose lengths may differ
    // from the central record's.
    in.SetPosition(oldLocalOffset + LocalHeaderSize + local.VariableSize());
    int64_t remaining = static_cast<uint32_t>(entry.CompressedSize);
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min(remaining, CopyChunk)));
    while (remaining > 0) {
        const int64_t step = std::min(remaining, CopyChunk);
        if (in.Read(chunk.data(), step) != step)
            throw EFatalUnzipError();
        WriteOutput(job, chunk.data(), step);
        remaining -= step;
    }
}

bool TZipWriter::AddOneEntry(TRewrite& job, const std::string& name) {
    auto entry = std::make_unique<TZipHeaderInfo>();
    entry->ModifiedDateTime = DosDateTimeNow();
    const int64_t size = Source->Size();
    if (size > std::numeric_limits<int32_t>::max())
        throw EZipError("Entry too large");
    entry->UncompressedSize = static_cast<int32_t>(size);
    const std::string storedName = StoredNameOf(name);
    if (storedName.empty() || storedName.size() > 0xFFFF)
        throw EZipError("Invalid entry name");
    if (StorePaths)
        entry->SetFullName(storedName);
    else
        entry->SetFileName(storedName);
    entry->LocalHeaderOffset = CheckedU32(job.Output->Position());
    entry->InternalAttributes = 2;
    entry->DiskNumberStart = 0;

    int existing = 0;
    if (job.NameList->Find(entry.get(), existing)) {
        if (OnSkippingFile)
            OnSkippingFile(this, TSkipReason::FileExists, existing);
        return false;
    }
    bool skip = false;
    if (OnStartZip)
        OnStartZip(this, name, *entry, skip);
    if (skip)
        return false;

    std::vector<uint8_t> data(static_cast<size_t>(size));
    Source->SetPosition(0);
    uint32_t crc = 0xFFFFFFFF;
    for (int64_t done = 0; done < size;) {
        const int64_t step = std::min(size - done, CopyChunk);
        Source->ReadBuffer(data.data() + done, step);
        crc = UpdateCrc32(crc, data.data() + done, static_cast<size_t>(step));
        done += step;
        if (OnFilePercentDone)
            OnFilePercentDone(this, Percent(done, size));
        if (OnTotalPercentDone)
            OnTotalPercentDone(this, Percent(done, size));
    }
    entry->Crc32 = ~crc;

    const bool encrypt = !Password.empty();
    if (encrypt)
        entry->Flags |= FlagEncrypted;
    WriteLocalHeader(job, *entry);
    const int64_t dataStart = job.Output->Position();

    TZipCrypto crypto(Password);
    std::vector<uint8_t> scratch;
    const auto emit = [&](const uint8_t* bytes, size_t count) {
        if (!encrypt) {
            WriteOutput(job, bytes, static_cast<int64_t>(count));
            return;
        }
        scratch.assign(bytes, bytes + count);
        crypto.Encrypt(scratch.data(), scratch.size());
        WriteOutput(job, scratch.data(), static_cast<int64_t>(scratch.size()));
    };
    if (encrypt) {
        uint8_t header[EncryptionHeaderSize];
        std::random_device random;
        for (int i = 0; i < EncryptionHeaderSize - 1; ++i)
            header[i] = static_cast<uint8_t>(random());
        header[EncryptionHeaderSize - 1] = static_cast<uint8_t>(entry->Crc32 >> 24);
        emit(header, EncryptionHeaderSize);
    }
    const TDeflateSummary summary = job.Deflater->Deflate(
        data, PackLevel, [&](std::span<const uint8_t> bytes) { emit(bytes.data(), bytes.size()); },
        true);
    if (summary.StoreInstead) {
        entry->CompressionMethod = 0;
        for (size_t done = 0; done < data.size();) {
            const size_t step = std::min(data.size() - done, static_cast<size_t>(CopyChunk));
            emit(data.data() + done, step);
            done += step;
        }
    } else {
        entry->CompressionMethod = 8;
        entry->Flags |= DeflateLevelFlags(PackLevel);
    }
    entry->InternalAttributes = summary.IsText ? 1 : 0;
    const int64_t compressed = job.Output->Position() - dataStart;
    if (compressed > std::numeric_limits<int32_t>::max())
        throw EZipError("Entry too large");
    entry->CompressedSize = static_cast<int32_t>(compressed);

    const int64_t end = job.Output->Position();
    job.Output->SetPosition(entry->LocalHeaderOffset);
    WriteLocalHeader(job, *entry);
    job.Output->SetPosition(end);

    if (OnEndZip)
        OnEndZip(this, name, size, compressed, job.Output->Size());
    job.Record(std::move(entry));
    return true;
}

void TZipWriter::WriteLocalHeader(TRewrite& job, const TZipHeaderInfo& entry) {
    const std::string name = WrittenName(entry);
    TLocalHeader header;
    header.CopyFrom(entry, static_cast<uint16_t>(name.size()));
    uint8_t block[LocalHeaderSize];
    EncodeLocalHeader(header, block);
    std::vector<uint8_t> bytes(block, block + LocalHeaderSize);
    bytes.insert(bytes.end(), name.begin(), name.end());
    WriteOutput(job, bytes.data(), static_cast<int64_t>(bytes.size()));
}

void TZipWriter::WriteCentralDirectory(TRewrite& job) {
    TEndCentral& end = job.NewEnd;
    const int64_t start = job.Output->Position();
    end.CentralOffset = CheckedU32(start);
    end.CentralStartDisk = 0;
    for (int i = 0; i < job.NewList->Count(); ++i) {
        const TZipHeaderInfo& entry = *job.NewList->Entry(i);
        const std::string name = WrittenName(entry);
        const std::string comment = entry.Comment.value_or("");
        TCentralHeader header;
        header.CopyFrom(entry, static_cast<uint16_t>(name.size()));
        header.VersionMadeBy = entry.VersionMadeBy;
        header.CommentLength = static_cast<uint16_t>(comment.size());
        header.DiskNumberStart = entry.DiskNumberStart;
        header.InternalAttributes = entry.InternalAttributes;
        header.ExternalAttributes = entry.ExternalAttributes;
        header.LocalHeaderOffset = entry.LocalHeaderOffset;
        uint8_t block[CentralHeaderSize];
        EncodeCentralHeader(header, block);
        std::vector<uint8_t> record(block, block + CentralHeaderSize);
        record.insert(record.end(), name.begin(), name.end());
        record.insert(record.end(), comment.begin(), comment.end());
        WriteOutput(job, record.data(), static_cast<int64_t>(record.size()));
    }
    end.CentralSize = CheckedU32(job.Output->Position() - start);
    end.ThisDisk = 0;
    const std::string comment = end.Comment.value_or("");
    end.CommentLength = static_cast<uint16_t>(comment.size());
    uint8_t block[EndCentralSize];
    end.EncodeBlock(block);
    WriteOutput(job, block, EndCentralSize);
    WriteOutput(job, comment.data(), static_cast<int64_t>(comment.size()));
}

void TZipWriter::WriteOutput(TRewrite& job, const void* data, int64_t count) {
    job.Output->WriteBuffer(data, count);
    if (DoProcessMessages)
        ProcessMessages();
    CheckCancel();
}

} // namespace glyptor::archive

// Extraction of TZipReader: entry selection, the chunked input and output around the decoders,
// decryption, CRC checking and the notification hooks.
#include "archive/Crc32.h"
#include "archive/Explode.h"
#include "archive/Inflate.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"
#include "archive/ZipCrypto.h"
#include "archive/ZipErrors.h"
#include "archive/ZipHeaders.h"
#include "archive/ZipReader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace glyptor::archive {

namespace {

int Percent(int64_t part, int64_t whole) {
    if (whole <= 0)
        return 0;
    double p = std::nearbyint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    return p > 100 ? 100 : static_cast<int>(p);
}

} // namespace

// Working storage of one ExtractToStream call and the per-entry counters.
struct TZipReader::TExtraction : TDecodeInput, TByteSink {
    TZipReader& Reader;
    TStream& Target;
    std::vector<uint8_t> Input = std::vector<uint8_t>(ChunkSize + 1);
    std::vector<uint8_t> Output = std::vector<uint8_t>(ChunkSize + 1);
    TInflater Inflater;
    int64_t TotalBytes = 0;
    int64_t BytesDone = 0;
    int Count = 0;

    // Per entry.
    int64_t ToRead = 0;       // compressed bytes still in the archive stream
    int64_t BytesWritten = 0; // plain bytes flushed to Target
    int64_t OutputLimit = 0;  // plain bytes the entry may produce
    size_t Waiting = 0;       // bytes in Output not yet flushed
    uint32_t Crc = 0xFFFFFFFF;
    bool Encrypted = false;
    TZipCrypto Crypto;

    TExtraction(TZipReader& reader, TStream& target) : Reader(reader), Target(target) {}

    void StartEntry(int64_t compressed, int64_t uncompressed) {
        ToRead = compressed;
        OutputLimit = uncompressed;
        BytesWritten = 0;
        Waiting = 0;
        Crc = 0xFFFFFFFF;
    }

    size_t Pull(const uint8_t*& data) override {
        if (ToRead <= 0)
            return 0;
        if (Reader.DoProcessMessages)
            Reader.ProcessMessages();
        Reader.CheckCancel();
        auto n = static_cast<size_t>(std::min<int64_t>(ToRead, ChunkSize));
        if (Reader.FArchiveStream->Read(Input.data(), static_cast<int64_t>(n)) !=
            static_cast<int64_t>(n))
            throw EFatalUnzipError();
        if (Encrypted)
            Crypto.Decrypt(Input.data(), n);
        ToRead -= static_cast<int64_t>(n);
        data = Input.data();
        return n;
    }

    bool Put(const uint8_t* data, size_t count) override {
        // The central record's size bounds the output, so damaged or hostile data cannot grow
        // the target without limit; the CRC then rejects the entry.
        int64_t room = OutputLimit - BytesWritten - static_cast<int64_t>(Waiting);
        bool fits = static_cast<int64_t>(count) <= room;
        if (!fits)
            count = static_cast<size_t>(std::max<int64_t>(room, 0));
        while (count > 0) {
            size_t step = std::min(count, ChunkSize - Waiting);
            std::memcpy(Output.data() + Waiting, data, step);
            Waiting += step;
            data += step;
            count -= step;
            if (Waiting == ChunkSize)
                Flush();
        }
        return fits;
    }

    void Flush() {
        if (Waiting == 0)
            return;
        Target.WriteBuffer(Output.data(), static_cast<int64_t>(Waiting));
        Crc = UpdateCrc32(Crc, Output.data(), Waiting);
        BytesWritten += static_cast<int64_t>(Waiting);
        BytesDone += static_cast<int64_t>(Waiting);
        Waiting = 0;
        if (Reader.OnFilePercentDone)
            Reader.OnFilePercentDone(&Reader,
                                     Percent(BytesWritten, Reader.CurrentEntry.UncompressedSize));
        if (Reader.OnTotalPercentDone)
            Reader.OnTotalPercentDone(&Reader, Percent(BytesDone, TotalBytes));
    }
};

int TZipReader::ExtractToStream(TStream& target, const std::string& name) {
    CancelRequested = false;
    ReadDirectory();
    FilesList.clear();
    FilesList.push_back(name);
    return RunExtraction(target);
}

int TZipReader::RunExtraction(TStream& target) {
    TExtraction job(*this, target);
    job.Count = EntryCount();
    for (int i = 0; i < EntryCount(); ++i) {
        TZipHeaderInfo& entry = *SortedEntries->Entry(i);
        entry.Selected = DoAll;
        if (!entry.FileName().empty() || RecreateDirs) {
            for (const std::string& item : FilesList) {
                if (ItemMatches(item, entry)) {
                    entry.Selected = true;
                    break;
                }
            }
        }
        if (entry.Selected)
            job.TotalBytes += entry.UncompressedSize;
        else
            --job.Count;
    }
    bool stop = false;
    if (OnStartUnZipInfo)
        OnStartUnZipInfo(this, job.Count, job.TotalBytes, stop);
    if (job.Count <= 0 || stop)
        return job.Count;
    for (int i = 0; i < EntryCount(); ++i) {
        if (!DoAll && !SortedEntries->Entry(i)->Selected)
            continue;
        while (ExtractEntry(job, i)) {
        }
    }
    return job.Count;
}

// Extracts entry index into the job's target; returns true when the entry should be tried
// again with a new password.
bool TZipReader::ExtractEntry(TExtraction& job, int index) {
    const TZipHeaderInfo& listed = *SortedEntries->Entry(index);
    CurrentEntry.Assign(listed);
    FEntryProblem.clear();
    // The entry is announced before anything of it is read, so that a failure reading it is
    // attributed to it and not to the entry before.
    bool skip = false;
    if (OnStartUnZip)
        OnStartUnZip(this, index, "", skip);
    if (skip)
        return false;
    if (const std::string* problem = DataProblem(listed))
        throw EFatalUnzipError(*problem);

    TStream& s = *FArchiveStream;
    // Entries without a file name are read from their own local header too; the stream
    // position left by the previous entry would be arbitrary data.
    s.SetPosition(CurrentEntry.LocalHeaderOffset);
    // Its signature was checked with the directory (DataProblem above).
    TLocalHeader local;
    if (LoadLocalHeader(s, local))
        s.Seek(local.VariableSize(), TSeekOrigin::Current);

    // Sizes are taken as unsigned: a "negative" size reaches past any stream and so ends as a
    // premature end of file instead of a loop or a huge allocation.
    int64_t compressed = static_cast<uint32_t>(CurrentEntry.CompressedSize);
    int64_t uncompressed = static_cast<uint32_t>(CurrentEntry.UncompressedSize);
    job.Encrypted = (CurrentEntry.Flags & FlagEncrypted) != 0;
    if (job.Encrypted) {
        uint8_t checkByte = (CurrentEntry.Flags & FlagDataDescriptor)
                                ? static_cast<uint8_t>(CurrentEntry.ModifiedDateTime >> 8)
                                : static_cast<uint8_t>(CurrentEntry.Crc32 >> 24);
        for (;;) {
            uint8_t header[EncryptionHeaderSize];
            int64_t headerStart = s.Position();
            if (s.Read(header, EncryptionHeaderSize) != EncryptionHeaderSize)
                throw EFatalUnzipError();
            job.Crypto.Init(Password);
            // An entry too short to hold the header cannot have been encrypted with any password.
            if (compressed >= EncryptionHeaderSize && job.Crypto.CheckHeader(header, checkByte))
                break;
            std::string newPassword = Password;
            if (OnBadPassword)
                OnBadPassword(this, index, newPassword);
            if (newPassword != Password) {
                Password = newPassword;
                s.SetPosition(headerStart);
                continue;
            }
            if (OnSkippingFile)
                OnSkippingFile(this, TSkipReason::BadPassword, index);
            --job.Count;
            return false;
        }
        compressed -= EncryptionHeaderSize;
        CurrentEntry.CompressedSize = static_cast<int32_t>(compressed);
    }

    job.StartEntry(compressed, uncompressed);
    TBitReader bits(job);
    // Methods without a decoder leave the outcome to the size and CRC checks.
    TDecodeResult result = TDecodeResult::Done;
    switch (CurrentEntry.CompressionMethod) {
    case 0: {
        const uint8_t* chunk = nullptr;
        while (size_t n = job.Pull(chunk)) {
            if (!job.Put(chunk, n)) {
                result = TDecodeResult::OutputFull;
                break;
            }
        }
        break;
    }
    case 1:
        result = Unshrink(bits, job);
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        result = Unreduce(bits, job, CurrentEntry.CompressionMethod - 1,
                          static_cast<uint64_t>(uncompressed));
        break;
    case 6:
        result = Explode(bits, job, (CurrentEntry.Flags & FlagImplode8K) != 0,
                         (CurrentEntry.Flags & FlagImplode3Trees) != 0,
                         static_cast<uint64_t>(uncompressed));
        break;
    case 8:
        try {
            result = job.Inflater.Run(bits, job);
        } catch (const std::bad_alloc&) {
            ShowMessage("*** inflate out of memory ***", "Error");
            result = TDecodeResult::Corrupt;
        }
        break;
    default:
        ShowMessage("Unknown Compression Method", "Zip Error");
        break;
    }
    job.Flush();

    // An entry is intact only when its decoder ended where its format says, it produced
    // exactly the declared size, and the CRC matches; a CRC of 0 over no output proves nothing.
    uint32_t crc = ~job.Crc;
    switch (result) {
    case TDecodeResult::Done:
        break;
    case TDecodeResult::InputEnded:
        FEntryProblem = "compressed data end early";
        break;
    case TDecodeResult::Corrupt:
        FEntryProblem = "compressed data are damaged";
        break;
    case TDecodeResult::OutputFull:
        FEntryProblem =
            "data unpack to more than the declared " + std::to_string(uncompressed) + " bytes";
        break;
    }
    if (FEntryProblem.empty() && job.BytesWritten != uncompressed)
        FEntryProblem = "data unpack to " + std::to_string(job.BytesWritten) +
                        " bytes instead of the declared " + std::to_string(uncompressed);
    if (FEntryProblem.empty() && crc != CurrentEntry.Crc32) {
        char text[64];
        std::snprintf(text, sizeof text, "bad CRC %08x (should be %08x)", crc, CurrentEntry.Crc32);
        FEntryProblem = text;
    }
    if (FEntryProblem.empty()) {
        if (OnEndUnZip)
            OnEndUnZip(this, index, "");
        return false;
    }
    if (job.Encrypted) {
        std::string newPassword = Password;
        if (OnBadPassword)
            OnBadPassword(this, index, newPassword);
        if (newPassword != Password) {
            Password = newPassword;
            return true;
        }
        if (OnSkippingFile)
            OnSkippingFile(this, TSkipReason::BadPassword, index);
    } else if (OnBadCRC) {
        OnBadCRC(this, crc, CurrentEntry.Crc32, index);
    }
    --job.Count;
    return false;
}

} // namespace glyptor::archive

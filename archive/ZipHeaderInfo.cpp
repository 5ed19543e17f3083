// Entry records, the end record and the sort orders of the entry view.
#include "archive/ZipHeaderInfo.h"

#include <cmath>

namespace glyptor::archive {

void TZipHeaderInfo::UpdateNameLength() {
    // Names come from 16-bit length fields, so a longer one can only be a caller's mistake;
    // the length saturates rather than wrapping into a smaller, wrong value.
    size_t length = FDirectory.size() + FFileName.size();
    FileNameLength = static_cast<uint16_t>(length > 0xFFFF ? 0xFFFF : length);
    RawName.clear();
}

void TZipHeaderInfo::SetFileName(const std::string& name) {
    FFileName = name;
    UpdateNameLength();
}

void TZipHeaderInfo::SetDirectory(const std::string& directory) {
    FDirectory = directory;
    if (!FDirectory.empty() && FDirectory.back() != '\\')
        FDirectory += '\\';
    UpdateNameLength();
}

void TZipHeaderInfo::SetFullName(const std::string& fullName) {
    size_t split = fullName.find_last_of("\\:");
    if (split == std::string::npos) {
        FDirectory.clear();
        FFileName = fullName;
    } else {
        // A name ending in ":" keeps its directory as is; only "\" is appended by SetDirectory.
        FDirectory = fullName.substr(0, split + 1);
        FFileName = fullName.substr(split + 1);
    }
    UpdateNameLength();
}

void TEndCentral::Assign(const TEndCentral& other) {
    Signature = other.Signature;
    ThisDisk = other.ThisDisk;
    CentralStartDisk = other.CentralStartDisk;
    EntriesOnThisDisk = other.EntriesOnThisDisk;
    TotalEntries = other.TotalEntries;
    CentralSize = other.CentralSize;
    CentralOffset = other.CentralOffset;
    CommentLength = other.CommentLength;
    Comment = other.Comment;
    if (Comment)
        CommentLength = static_cast<uint16_t>(Comment->size());
    CommentOffset = other.CommentOffset;
}

int CompareText(const std::string& a, const std::string& b) {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
        int d = static_cast<int>(upper(static_cast<unsigned char>(a[i]))) -
                static_cast<int>(upper(static_cast<unsigned char>(b[i])));
        if (d != 0)
            return d;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::string LowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return text;
}

int64_t DosDateTimeKey(uint32_t dosDateTime) {
    unsigned date = dosDateTime >> 16;
    unsigned time = dosDateTime & 0xFFFF;
    unsigned year = 1980 + (date >> 9);
    unsigned month = (date >> 5) & 15;
    unsigned day = date & 31;
    unsigned hour = time >> 11;
    unsigned minute = (time >> 5) & 63;
    unsigned second = (time & 31) * 2;
    static const unsigned monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59)
        return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    unsigned lastDay = monthDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > lastDay)
        return 0;
    return ((((static_cast<int64_t>(year) * 13 + month) * 32 + day) * 24 + hour) * 60 + minute) *
               60 +
           second;
}

namespace {

int CompressionRate(const TZipHeaderInfo& e) {
    if (e.UncompressedSize < 1)
        return 0;
    double rate = std::nearbyint(static_cast<double>(e.CompressedSize) * 100.0 /
                                 static_cast<double>(e.UncompressedSize));
    return rate > 100 ? 100 : static_cast<int>(rate);
}

int LaterFirst(bool keyIsGreater) {
    return keyIsGreater ? 1 : -1;
}

} // namespace

int TSortedZip::Compare(const TObject* itemObject, const TObject* keyObject) const {
    const auto& item = *static_cast<const TZipHeaderInfo*>(itemObject);
    const auto& key = *static_cast<const TZipHeaderInfo*>(keyObject);
    switch (SortMode) {
    case TZipSortMode::ByName:
        return CompareText(item.FullName(), key.FullName());
    case TZipSortMode::ByFileName:
        return CompareText(item.FileName(), key.FileName());
    case TZipSortMode::ByDirectoryName:
        return CompareText(item.Directory(), key.Directory());
    case TZipSortMode::ByDate:
        return LaterFirst(DosDateTimeKey(key.ModifiedDateTime) >
                          DosDateTimeKey(item.ModifiedDateTime));
    case TZipSortMode::ByCompressedSize:
        return LaterFirst(key.CompressedSize > item.CompressedSize);
    case TZipSortMode::ByUnCompressedSize:
        return LaterFirst(key.UncompressedSize > item.UncompressedSize);
    case TZipSortMode::ByRate:
        return CompressionRate(key) - CompressionRate(item);
    case TZipSortMode::ByNone:
        break;
    }
    if (item.DiskNumberStart != key.DiskNumberStart)
        return static_cast<int>(item.DiskNumberStart) - static_cast<int>(key.DiskNumberStart);
    if (item.LocalHeaderOffset != key.LocalHeaderOffset)
        return item.LocalHeaderOffset > key.LocalHeaderOffset ? 1 : -1;
    return 0;
}

} // namespace glyptor::archive

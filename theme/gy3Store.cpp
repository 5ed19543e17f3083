// The theme store over an in-memory archive. Theme files come from the internet, so every entry
// is extracted within a hard size limit, exactly the entry that was looked up is extracted (never
// a namesake in another folder), and the write-back never leaves a half-written theme file.
#include "theme/gy3Store.h"

#include "formats/DibHeader.h"

#include "archive/Wildcard.h"
#include "archive/ZipErrors.h"
#include "archive/ZipWriter.h"
#include "platform/core/Paths.h"

#include <QLocale>
#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace glyptor {

using archive::TMemoryStream;
using archive::TZipHeaderInfo;

namespace {

const char* const LayoutEntryName = "gy3layout.txt";

// The archive component with the reader's entry selection made visible, so the store can
// check which entries a name would select before it extracts or deletes.
class TThemeArchive final : public archive::TZipWriter {
public:
    static bool Selects(const std::string& item, const TZipHeaderInfo& entry) {
        return ItemMatches(item, entry);
    }
};

// Extraction target that refuses to grow beyond the store's limit, whatever the archive's
// records claim.
class TBoundedStream final : public TMemoryStream {
public:
    TBoundedStream(std::int64_t limit, std::string entryName)
        : Limit(limit), EntryName(std::move(entryName)) {}

    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (count > 0 && Position() + count > Limit)
            throw EDamagedEntry("Theme entry " + EntryName + " unpacks to more than " +
                                std::to_string(Limit) + " bytes");
        return TMemoryStream::Write(buffer, count);
    }

private:
    std::int64_t Limit;
    std::string EntryName;
};

// A file descriptor closed on every path out.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : Fd(fd) {}
    ~TFileHandle() {
        if (Fd >= 0)
            ::close(Fd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return Fd; }
    int Release() {
        int fd = Fd;
        Fd = -1;
        return fd;
    }

private:
    int Fd;
};

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

std::string Trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return text;
}

std::string Normalised(const std::string& name) {
    return UpperAscii(Trimmed(name));
}

bool HasWildcard(const std::string& name) {
    return name.find_first_of("*?[]") != std::string::npos;
}

bool IsAlphaNumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// One character as a pattern piece that matches only itself.
std::string Literal(char c) {
    if (c == '*' || c == '?' || c == '[')
        return std::string("[") + c + "]";
    return std::string(1, c);
}

// The next pattern that may select exactly the entry stored as fullName, simplest first, or
// nothing once all were tried; cursor starts at 0. The archive component matches a pattern
// without "\" against the bare file names of all folders, so a top-level name also gets
// patterns with a one-character set holding "\" to make it compare full names. A name has
// as many of those as letters and digits, so they are built one at a time, never all at once.
std::optional<std::string> NextCandidatePattern(const std::string& fullName, std::size_t& cursor) {
    if (cursor == 0) {
        cursor = 1;
        if (!HasWildcard(fullName))
            return fullName;
        std::string escaped;
        for (char c : fullName)
            escaped += Literal(c);
        return escaped;
    }
    if (fullName.find('\\') != std::string::npos)
        return std::nullopt;
    for (std::size_t k = cursor - 1; k < fullName.size(); ++k) {
        if (!IsAlphaNumeric(fullName[k]))
            continue;
        cursor = k + 2;
        std::string pattern;
        for (std::size_t i = 0; i < fullName.size(); ++i)
            pattern += i == k ? std::string("[") + fullName[i] + "\\]" : Literal(fullName[i]);
        return pattern;
    }
    cursor = fullName.size() + 1;
    return std::nullopt;
}

// The extension of a stored name: from the last "." after the last "\" or ":", or empty.
std::string ExtensionOf(const std::string& name) {
    const std::size_t dot = name.find_last_of(".\\:");
    if (dot == std::string::npos || name[dot] != '.')
        return {};
    return name.substr(dot);
}

// The native path of a program path ("C:\..."); anything else is taken as native already.
std::string NativePathOf(const platform::DriveTable& drives, const std::string& path) {
    if (auto native = platform::ToNativePath(drives, path))
        return *native;
    return path;
}

// The native path with its extension replaced by ".~zip".
std::string BackupPathOf(const std::string& nativePath) {
    const std::size_t dot = nativePath.find_last_of("./");
    if (dot == std::string::npos || nativePath[dot] != '.')
        return nativePath + ".~zip";
    return nativePath.substr(0, dot) + ".~zip";
}

// Reads a whole regular file. A writable open takes an exclusive lock for the time of the
// copy, as the store that will write the file back must be its only user.
std::vector<std::uint8_t> ReadWholeFile(const std::string& nativePath, bool writable,
                                        const std::string& shownPath) {
    // O_NONBLOCK keeps a FIFO from blocking the open; it is not a regular file anyway.
    const int flags = (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    TFileHandle file(::open(nativePath.c_str(), flags));
    if (file.Get() < 0)
        throw EFOpenError(shownPath);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw EFOpenError(shownPath);
    if (writable && ::flock(file.Get(), LOCK_EX | LOCK_NB) != 0)
        throw EFOpenError(shownPath);
    if (info.st_size > MaxThemeFileSize)
        throw EThemeError("Theme file " + shownPath + " is larger than " +
                          std::to_string(MaxThemeFileSize) + " bytes");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t n = ::read(file.Get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            throw EThemeError("Stream read error");
        }
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (static_cast<std::int64_t>(bytes.size()) + n > MaxThemeFileSize)
            throw EThemeError("Theme file " + shownPath + " is larger than " +
                              std::to_string(MaxThemeFileSize) + " bytes");
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<std::uint8_t> StreamBytes(archive::TStream& stream) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stream.Size()));
    stream.SetPosition(0);
    if (!bytes.empty())
        stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Date and time in the user's short formats, as the platform's variant conversion reads them:
// date and time, date alone (midnight), or time alone (on the day the platform counts from).
bool ParseLayoutDateTime(const std::string& text, QDateTime& value) {
    const QLocale locale;
    const QString input =
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    if (input.isEmpty())
        return false;
    QStringList dateFormats{locale.dateFormat(QLocale::ShortFormat)};
    // Users write four-digit years where the short format has two.
    if (dateFormats.front().contains(QLatin1String("yy")) &&
        !dateFormats.front().contains(QLatin1String("yyyy")))
        dateFormats.push_back(
            QString(dateFormats.front()).replace(QLatin1String("yy"), QLatin1String("yyyy")));
    QStringList timeFormats{locale.timeFormat(QLocale::ShortFormat),
                            locale.timeFormat(QLocale::LongFormat)};
    for (const QString& date : dateFormats) {
        for (const QString& time : timeFormats) {
            const QDateTime both = locale.toDateTime(input, date + QLatin1Char(' ') + time);
            if (both.isValid()) {
                value = both;
                return true;
            }
        }
        const QDate day = locale.toDate(input, date);
        if (day.isValid()) {
            value = QDateTime(day, QTime(0, 0));
            return true;
        }
    }
    for (const QString& time : timeFormats) {
        const QTime clock = locale.toTime(input, time);
        if (clock.isValid()) {
            value = QDateTime(QDate(1899, 12, 30), clock);
            return true;
        }
    }
    return false;
}

} // namespace

QImage DecodeThemeBitmap(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty())
        return QImage();
    // Uncompressed rows must all be there: the toolkit's reader makes up the rows of a cut
    // picture instead of failing.
    if (!formats::CheckBitmapFile(bytes, bytes.size(), formats::DibUse::ThemePicture).format)
        throw EInvalidGraphic();
    QImage picture;
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX) ||
        !picture.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "BMP"))
        throw EInvalidGraphic();
    return picture;
}

bool ParseLayoutInteger(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i == text.size())
        return false;
    std::size_t hexStart = std::string::npos;
    if (text[i] == '$' || text[i] == 'x' || text[i] == 'X')
        hexStart = i + 1;
    else if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        hexStart = i + 2;
    if (hexStart != std::string::npos) {
        const std::size_t digits = text.size() - hexStart;
        if (digits == 0 || digits > 8)
            return false;
        std::uint32_t pattern = 0;
        for (std::size_t k = hexStart; k < text.size(); ++k) {
            const int digit = HexDigit(text[k]);
            if (digit < 0)
                return false;
            pattern = pattern << 4 | static_cast<std::uint32_t>(digit);
        }
        value = static_cast<std::int32_t>(pattern);
        return true;
    }
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    // Accumulated as a magnitude in 64 bits, so -2147483648 fits and overflow shows at once.
    std::int64_t magnitude = 0;
    const std::int64_t limit = negative ? std::int64_t{INT32_MAX} + 1 : INT32_MAX;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit)
            return false;
    }
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

TStringList SplitLines(const char* data, std::size_t size) {
    TStringList lines;
    std::size_t p = 0;
    while (p < size && data[p] != '\0') {
        const std::size_t start = p;
        while (p < size && data[p] != '\0' && data[p] != '\r' && data[p] != '\n')
            ++p;
        lines.emplace_back(data + start, p - start);
        if (p < size && data[p] == '\r')
            ++p;
        if (p < size && data[p] == '\n')
            ++p;
    }
    return lines;
}

Tgy3Store::Tgy3Store(QObject* owner) : QObject(owner) {}

Tgy3Store::~Tgy3Store() {
    try {
        Close();
    } catch (...) {
        // Nothing can report it here; the theme file is intact either way, since the
        // write-back replaces it only once the new file is complete.
    }
}

void Tgy3Store::SetThemeFile(const std::string& path) {
    if (path == FThemeFile)
        return;
    Close();
    FThemeFile = path;
    Open();
}

void Tgy3Store::Open() {
    if (FOpened)
        Close();
    FOpened = false;
    if (Trimmed(FThemeFile).empty())
        return;
    // Themes installed with the program are read-only to the user: a store that never writes
    // back only needs to read them.
    std::vector<std::uint8_t> bytes =
        ReadWholeFile(NativePathOf(*FDrives, FThemeFile), !FReadOnly, FThemeFile);
    auto themeArchive = std::make_unique<TThemeArchive>();
    // Handlers that ran inside a message pump here could close this very store mid-read.
    themeArchive->DoProcessMessages = false;
    // Entries written back keep their folder.
    themeArchive->StorePaths = true;
    themeArchive->OnBadCRC = [](archive::TZipReader* sender, std::uint32_t, std::uint32_t,
                                int index) {
        throw EDamagedEntry("Theme entry " + sender->EntryName(index) + " is damaged");
    };
    themeArchive->SetArchiveStream(std::make_unique<TMemoryStream>(std::move(bytes)));
    themeArchive->ReadDirectory();
    FArchive = std::move(themeArchive);
    FOpened = true;
    LoadLayout();
}

void Tgy3Store::Close() {
    if (!FOpened)
        return;
    if (!FReadOnly) {
        SaveLayout();
        FArchive->FlushChanges();
        WriteBack();
    }
    FArchive.reset();
    FOpened = false;
}

void Tgy3Store::WriteBack() {
    const std::string native = NativePathOf(*FDrives, FThemeFile);
    const std::vector<std::uint8_t> image = StreamBytes(*FArchive->ArchiveStream());

    // The new content goes to a temporary file beside the theme first, so a failure at any
    // point leaves the old theme file whole.
    std::string temporary = native + ".XXXXXX";
    TFileHandle file(::mkstemp(temporary.data()));
    if (file.Get() < 0)
        throw EFCreateError(FThemeFile);
    struct stat old {};
    const mode_t mode = ::stat(native.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644;
    const bool written = ::fchmod(file.Get(), mode) == 0 &&
                         WriteAll(file.Get(), image.data(), image.size()) &&
                         ::fsync(file.Get()) == 0 && ::close(file.Release()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        throw EFCreateError(FThemeFile);
    }

    // The backup may fail (no old file, no right to rename); the new file replaces the theme
    // all the same.
    const std::string backup = BackupPathOf(native);
    const bool backedUp = ::rename(native.c_str(), backup.c_str()) == 0;
    if (::rename(temporary.c_str(), native.c_str()) != 0) {
        if (backedUp)
            ::rename(backup.c_str(), native.c_str());
        ::unlink(temporary.c_str());
        throw EFCreateError(FThemeFile);
    }
}

int Tgy3Store::FindEntry(const std::string& name) const {
    if (!FOpened)
        return -1;
    const std::string wanted = Normalised(name);
    for (int i = 0; i < FArchive->EntryCount(); ++i)
        if (Normalised(FArchive->EntryName(i)) == wanted)
            return i;
    return -1;
}

std::vector<std::string> Tgy3Store::EntryNames() const {
    std::vector<std::string> names;
    if (FOpened)
        for (int i = 0; i < FArchive->EntryCount(); ++i)
            names.push_back(FArchive->EntryName(i));
    return names;
}

bool Tgy3Store::EntryExists(const std::string& name) const {
    return FindEntry(name) >= 0;
}

std::string Tgy3Store::FindEntryName(const std::string& wantedName) const {
    if (!FOpened)
        return wantedName;
    const std::string wanted = Normalised(wantedName);
    for (int i = 0; i < FArchive->EntryCount(); ++i) {
        const std::string stored = FArchive->EntryName(i);
        if (Normalised(stored).find(wanted) != std::string::npos)
            return Trimmed(stored);
    }
    return wantedName;
}

std::unique_ptr<TMemoryStream> Tgy3Store::ExtractEntry(int index) {
    const std::string stored = FArchive->EntryName(index);
    const int count = FArchive->EntryCount();
    auto selection = [&](const std::string& pattern) {
        std::vector<int> chosen;
        for (int i = 0; i < count; ++i)
            if (TThemeArchive::Selects(pattern, FArchive->Entry(i)))
                chosen.push_back(i);
        return chosen;
    };
    std::string pattern;
    std::vector<int> chosen;
    std::size_t cursor = 0;
    while (auto candidate = NextCandidatePattern(stored, cursor)) {
        chosen = selection(*candidate);
        if (chosen.size() == 1 && chosen.front() == index) {
            pattern = std::move(*candidate);
            break;
        }
    }
    // Entries whose names differ only in letter case cannot be told apart by the archive
    // component; they are read together, as the component selects them.
    if (pattern.empty()) {
        pattern = stored;
        chosen = selection(pattern);
    }

    std::int64_t declared = 0;
    for (int i : chosen)
        declared += static_cast<std::uint32_t>(FArchive->Entry(i).UncompressedSize);
    if (declared > MaxEntrySize)
        throw EDamagedEntry("Theme entry " + stored + " is too large: " + std::to_string(declared) +
                            " bytes, at most " + std::to_string(MaxEntrySize) + " are accepted");

    auto stream = std::make_unique<TBoundedStream>(MaxEntrySize, stored);
    if (FArchive->ExtractToStream(*stream, pattern) <= 0)
        return nullptr;
    stream->SetPosition(0);
    return stream;
}

void Tgy3Store::DeleteEntry(const std::string& name) {
    const int index = FindEntry(name);
    if (index < 0)
        return;
    const std::string stored = FArchive->EntryName(index);
    std::string chosen;
    std::size_t cursor = 0;
    while (auto candidate = NextCandidatePattern(stored, cursor)) {
        // A name without wildcards deletes the first entry of exactly that full name; a
        // pattern deletes every entry it matches, so it must match this one alone.
        if (!HasWildcard(*candidate)) {
            chosen = std::move(*candidate);
            break;
        }
        int matches = 0;
        for (int i = 0; i < FArchive->EntryCount(); ++i)
            if (TThemeArchive::Selects(*candidate, FArchive->Entry(i)))
                matches += i == index ? 1 : 2;
        if (matches == 1) {
            chosen = std::move(*candidate);
            break;
        }
    }
    if (chosen.empty())
        throw EThemeError("Theme entry " + stored + " cannot be deleted on its own");
    FArchive->FilesList = {chosen};
    FArchive->DeleteListed();
    FArchive->ReadDirectory();
}

void Tgy3Store::ReadStrings(const std::string& entryName, TStringList* list) {
    if (!list)
        return;
    const int index = FindEntry(entryName);
    if (index < 0)
        return;
    if (auto stream = ExtractEntry(index)) {
        const auto& bytes = stream->Data();
        *list = SplitLines(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
}

void Tgy3Store::WriteStrings(const std::string& entryName, const TStringList* list) {
    if (!list)
        return;
    if (!FOpened)
        throw EThemeError("No theme archive is open to write " + entryName);
    if (EntryExists(entryName))
        DeleteEntry(entryName);
    TMemoryStream text;
    for (const std::string& line : *list) {
        text.WriteBuffer(line.data(), static_cast<std::int64_t>(line.size()));
        text.WriteBuffer("\r\n", 2);
    }
    if (FArchive->AddFromStream(text, entryName) == 0)
        throw EThemeError("Theme entry " + entryName + " could not be written");
}

void Tgy3Store::ReadStream(const std::string& entryName, TMemoryStream* stream) {
    if (!stream)
        return;
    const int index = FindEntry(entryName);
    if (index < 0)
        return;
    if (auto extracted = ExtractEntry(index)) {
        const auto& bytes = extracted->Data();
        if (!bytes.empty())
            stream->WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        stream->SetPosition(0);
    }
}

void Tgy3Store::LoadLayout() {
    FLayout = std::make_unique<TStringList>();
    ReadStrings(LayoutEntryName, FLayout.get());
}

void Tgy3Store::SaveLayout() {
    if (!FLayout)
        return;
    WriteStrings(LayoutEntryName, FLayout.get());
    FLayout.reset();
}

void Tgy3Store::ReadValue(const std::string& section, const std::string& name, TLayoutValue& result,
                          TValueKind kind) const {
    if (!FLayout)
        return;
    const std::string key = UpperAscii(section) + "." + UpperAscii(name);
    std::string text;
    for (const std::string& line : *FLayout) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos && UpperAscii(line.substr(0, equals)) == key) {
            text = line.substr(equals + 1);
            break;
        }
    }
    switch (kind) {
    case vkSmallint:
    case vkInteger:
    case vkSingle:
    case vkDouble:
    case vkByte: {
        std::int32_t value = 0;
        if (!ParseLayoutInteger(text, value))
            throw EConvertError("'" + text + "' is not a valid integer value");
        result = value;
        break;
    }
    case vkDate: {
        QDateTime value;
        if (!ParseLayoutDateTime(text, value))
            throw EConvertError("'" + text + "' is not a valid date and time");
        result = value;
        break;
    }
    case vkOleStr:
    case vkString:
        result = text;
        break;
    default:
        break;
    }
}

void Tgy3Store::ReadPicture(const std::string& pictureKey, QImage& target) {
    const std::string stored = FindEntryName(pictureKey);
    // Only BMP pictures are ever decoded, so other entries are not even extracted.
    if (UpperAscii(ExtensionOf(stored)) != ".BMP")
        return;
    TMemoryStream stream;
    ReadStream(stored, &stream);
    target = DecodeThemeBitmap(stream.Data());
}

} // namespace glyptor

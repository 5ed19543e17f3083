// Tgy3Store: the one way the program reaches a theme archive. Assigning ThemeFile reads the
// whole file into the archive component's memory stream once; every later lookup (entry names,
// layout values, pictures) is answered from memory. With ReadOnly off the store writes its
// layout back and replaces the theme file when it closes.
#pragma once

#include "archive/ZipStream.h"
#include "platform/core/Drives.h"

#include <QDateTime>
#include <QImage>
#include <QObject>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace glyptor {

namespace archive {
class TZipWriter;
}

// Base of the failures the store raises itself; the archive component's own failures
// (archive::EZipError and its classes) pass through unchanged.
class EThemeError : public std::runtime_error {
public:
    explicit EThemeError(const std::string& message) : std::runtime_error(message) {}
};

// The theme file cannot be opened: "Cannot open file %s".
class EFOpenError : public EThemeError {
public:
    explicit EFOpenError(const std::string& path) : EThemeError("Cannot open file " + path) {}
};

// The theme file cannot be written back: "Cannot create file %s".
class EFCreateError : public EThemeError {
public:
    explicit EFCreateError(const std::string& path) : EThemeError("Cannot create file " + path) {}
};

// A layout value that does not convert to the requested kind.
class EConvertError : public EThemeError {
public:
    explicit EConvertError(const std::string& message) : EThemeError(message) {}
};

// A ".BMP" entry whose bytes are not a BMP file: "Bitmap image is not valid".
class EInvalidGraphic : public EThemeError {
public:
    EInvalidGraphic() : EThemeError("Bitmap image is not valid") {}
};

// An entry that is larger than the store accepts or whose data does not match its record.
class EDamagedEntry : public EThemeError {
public:
    explicit EDamagedEntry(const std::string& message) : EThemeError(message) {}
};

// Result of ReadValue: nothing, a 32-bit integer, a date and time, or an 8-bit text.
using TLayoutValue = std::variant<std::monostate, std::int32_t, QDateTime, std::string>;

// Value kind codes of ReadValue: the platform's variant type numbers.
using TValueKind = int;
inline constexpr TValueKind vkSmallint = 2;
inline constexpr TValueKind vkInteger = 3;
inline constexpr TValueKind vkSingle = 4;
inline constexpr TValueKind vkDouble = 5;
inline constexpr TValueKind vkDate = 7;
inline constexpr TValueKind vkOleStr = 8;
inline constexpr TValueKind vkByte = 17;
inline constexpr TValueKind vkString = 256;

// Lines of a text entry, 8-bit.
using TStringList = std::vector<std::string>;

// Largest number of bytes one extraction may produce in memory.
inline constexpr std::int64_t MaxEntrySize = std::int64_t{64} * 1024 * 1024;
// Largest theme file the store reads into memory; real themes are a few hundred kilobytes.
inline constexpr std::int64_t MaxThemeFileSize = std::int64_t{256} * 1024 * 1024;

class Tgy3Store : public QObject {
    Q_OBJECT

public:
    explicit Tgy3Store(QObject* owner = nullptr);
    // Closes the store. A failing write-back cannot be reported from here; owners that turn
    // ReadOnly off call Close themselves first.
    ~Tgy3Store() override;
    Tgy3Store(const Tgy3Store&) = delete;
    Tgy3Store& operator=(const Tgy3Store&) = delete;

    const std::string& ThemeFile() const { return FThemeFile; }
    // The same path, byte for byte, does nothing (also when closed); any other path closes the
    // store and opens the new one. A blank path leaves the store closed without error.
    void SetThemeFile(const std::string& path);
    bool Opened() const { return FOpened; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool readOnly) { FReadOnly = readOnly; }
    // The drives a theme file's program path is read through: the store's own table (the
    // running system's) until its owner lends it one that outlives the store.
    void UseDrives(const platform::DriveTable& drives) { FDrives = &drives; }

    // Reads the file ThemeFile names into memory, its directory and its layout. Raises
    // EFOpenError or the archive component's error and leaves the store closed.
    void Open();
    // With ReadOnly off: saves the layout, flushes the archive and replaces the theme file
    // (the old one kept as ".~zip"); raises EFCreateError and stays open when that fails.
    void Close();

    // Full names of the entries, in the archive's order; empty when closed.
    std::vector<std::string> EntryNames() const;
    // Whether an entry's trimmed, ASCII upper-cased full name equals the wanted one's.
    bool EntryExists(const std::string& name) const;
    // The stored name (trimmed) of the first entry whose normalised name contains the
    // normalised key, or the key as given when none does.
    std::string FindEntryName(const std::string& wantedName) const;
    void DeleteEntry(const std::string& name);
    // Replaces the list with the entry's lines; a missing entry leaves the list as it was.
    void ReadStrings(const std::string& entryName, TStringList* list);
    // Stores the lines, each ended by CR LF, under entryName (replacing an existing entry).
    void WriteStrings(const std::string& entryName, const TStringList* list);
    // Appends the entry's bytes at the stream's position and rewinds it; a missing or
    // unreadable entry leaves the stream as it was.
    void ReadStream(const std::string& entryName, archive::TMemoryStream* stream);
    // The layout is the top-level entry "gy3layout.txt"; a theme without one has an empty one.
    void LoadLayout();
    void SaveLayout();
    // Looks SECTION.NAME up in the layout and converts it by kind; unknown kinds, and a store
    // that never loaded a layout, leave result as it was.
    void ReadValue(const std::string& section, const std::string& name, TLayoutValue& result,
                   TValueKind kind) const;
    // Decodes the ".BMP" entry the key names into target; other extensions and missing
    // entries leave target as it was, an empty entry empties it.
    void ReadPicture(const std::string& pictureKey, QImage& target);

    // The layout lines as loaded, or nullptr when the store holds none.
    const TStringList* Layout() const { return FLayout.get(); }

private:
    // Index of the first entry EntryExists would accept, or -1.
    int FindEntry(const std::string& name) const;
    // Decompresses the entry at index into a new stream, within MaxEntrySize; nullptr when
    // the archive component extracted nothing intact.
    std::unique_ptr<archive::TMemoryStream> ExtractEntry(int index);
    void WriteBack();

    std::unique_ptr<archive::TZipWriter> FArchive;
    bool FOpened = false;
    std::string FThemeFile;
    platform::DriveTable FOwnDrives;
    const platform::DriveTable* FDrives = &FOwnDrives;
    std::unique_ptr<TStringList> FLayout;
    bool FReadOnly = true;
};

// Integer parse of layout values: leading blanks, then a signed decimal that fits 32 bits or
// "$", "x", "X", "0x", "0X" with up to eight hex digits taken as a 32-bit pattern; nothing may
// follow. False for anything else.
bool ParseLayoutInteger(const std::string& text, std::int32_t& value);

// Decodes the bytes of a ".BMP" entry as ReadPicture does: no bytes give a null picture,
// anything but a complete BMP file raises EInvalidGraphic.
QImage DecodeThemeBitmap(const std::vector<std::uint8_t>& bytes);

// Splits text into lines at CR, LF or CR LF; a zero byte ends the text.
TStringList SplitLines(const char* data, std::size_t size);

} // namespace glyptor

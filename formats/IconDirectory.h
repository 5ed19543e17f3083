// Field-by-field readers of the icon directory structures, shared by the .ico reader and the
// group resources of PE and NE modules. A short read leaves the cursor failed; test it once after
// the whole structure.
#pragma once

#include "formats/ByteCursor.h"
#include "formats/WindowsStructs.h"

namespace glyptor::formats {

inline ICONDIR ReadIconDir(ByteCursor& c) {
    ICONDIR dir;
    dir.idReserved = c.ReadU16();
    dir.idType = c.ReadU16();
    dir.idCount = c.ReadU16();
    return dir;
}

// The fields ICONDIRENTRY and GRPICONDIRENTRY share: all but the last.
template <class Entry> void ReadIconEntryCommon(ByteCursor& c, Entry& e) {
    e.bWidth = c.ReadU8();
    e.bHeight = c.ReadU8();
    e.bColorCount = c.ReadU8();
    e.bReserved = c.ReadU8();
    e.wPlanes = c.ReadU16();
    e.wBitCount = c.ReadU16();
    e.dwBytesInRes = c.ReadU32();
}

inline ICONDIRENTRY ReadIconDirEntry(ByteCursor& c) {
    ICONDIRENTRY e;
    ReadIconEntryCommon(c, e);
    e.dwImageOffset = c.ReadU32();
    return e;
}

inline GRPICONDIRENTRY ReadGrpIconDirEntry(ByteCursor& c) {
    GRPICONDIRENTRY e;
    ReadIconEntryCommon(c, e);
    e.nID = c.ReadU16();
    return e;
}

} // namespace glyptor::formats

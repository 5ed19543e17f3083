// Entry names are stored in the OEM code page and shown in the ANSI one. For this program's
// Cyrillic audience those are CP866 and CP1251; the tables are built in, since Linux has no
// system OEM page.
#pragma once

#include <string>

namespace glyptor::archive {

// CP866 to CP1251, byte for byte at the same length. Characters CP1251 lacks (box drawing,
// shading, a few symbols) become the nearest ASCII look-alike.
std::string OemToAnsi(std::string text);
// CP1251 to CP866, byte for byte. Characters CP866 lacks become a look-alike or "?".
std::string AnsiToOem(std::string text);

} // namespace glyptor::archive

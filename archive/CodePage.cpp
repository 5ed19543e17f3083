// The built-in CP866 <-> CP1251 tables behind entry-name conversion.
#include "archive/CodePage.h"

#include <array>
#include <cstdint>

namespace glyptor::archive {

namespace {

struct TCodePair {
    uint8_t Oem;
    uint8_t Ansi;
};

// Characters both pages hold, as (CP866, CP1251) pairs; the letters are added in code.
constexpr TCodePair SharedCharacters[] = {
    {0xF0, 0xA8}, {0xF1, 0xB8}, {0xF2, 0xAA}, {0xF3, 0xBA}, {0xF4, 0xAF},
    {0xF5, 0xBF}, {0xF6, 0xA1}, {0xF7, 0xA2}, {0xF8, 0xB0}, {0xFA, 0xB7},
    {0xFC, 0xB9}, {0xFD, 0xA4}, {0xFF, 0xA0},
};

struct TTables {
    std::array<uint8_t, 256> OemToAnsi{};
    std::array<uint8_t, 256> AnsiToOem{};
};

TTables BuildTables() {
    TTables t;
    for (int i = 0; i < 256; ++i) {
        t.OemToAnsi[i] = static_cast<uint8_t>(i < 0x80 ? i : '?');
        t.AnsiToOem[i] = static_cast<uint8_t>(i < 0x80 ? i : '?');
    }
    auto pair = [&](int oem, int ansi) {
        t.OemToAnsi[oem] = static_cast<uint8_t>(ansi);
        t.AnsiToOem[ansi] = static_cast<uint8_t>(oem);
    };
    for (int i = 0; i < 48; ++i) // А..Я, а..п
        pair(0x80 + i, 0xC0 + i);
    for (int i = 0; i < 16; ++i) // р..я
        pair(0xE0 + i, 0xF0 + i);
    for (const TCodePair& p : SharedCharacters)
        pair(p.Oem, p.Ansi);

    // Box drawing and shading (CP866 0xB0-0xDF) have no CP1251 counterpart; like the system's
    // best-fit conversion they turn into ASCII look-alikes so that names stay readable.
    static constexpr char boxes[] = "###|++++++|+++++++++-++++++++-+++++++++++++#####";
    static_assert(sizeof(boxes) == 48 + 1, "one look-alike per CP866 0xB0-0xDF");
    for (int i = 0; i < 48; ++i)
        t.OemToAnsi[0xB0 + i] = static_cast<uint8_t>(boxes[i]);
    t.OemToAnsi[0xF9] = 0xB7; // bullet operator -> middle dot
    t.OemToAnsi[0xFB] = 'v';  // square root
    t.OemToAnsi[0xFE] = '#';  // black square

    // CP1251 punctuation that CP866 lacks.
    const std::pair<int, char> ansiOnly[] = {
        {0x82, ','}, {0x84, '"'}, {0x85, '.'},    {0x8B, '<'}, {0x91, '\''}, {0x92, '\''},
        {0x93, '"'}, {0x94, '"'}, {0x95, '\xF9'}, {0x96, '-'}, {0x97, '-'},  {0x9B, '>'},
        {0xA6, '|'}, {0xAB, '<'}, {0xBB, '>'},    {0xB1, '+'}, {0xA9, 'c'},  {0xAE, 'R'},
    };
    for (const auto& [ansi, oem] : ansiOnly)
        t.AnsiToOem[ansi] = static_cast<uint8_t>(oem);
    return t;
}

const TTables& Tables() {
    static const TTables tables = BuildTables();
    return tables;
}

std::string Translate(std::string text, const std::array<uint8_t, 256>& table) {
    for (char& c : text)
        c = static_cast<char>(table[static_cast<uint8_t>(c)]);
    return text;
}

} // namespace

std::string OemToAnsi(std::string text) {
    return Translate(std::move(text), Tables().OemToAnsi);
}

std::string AnsiToOem(std::string text) {
    return Translate(std::move(text), Tables().AnsiToOem);
}

} // namespace glyptor::archive

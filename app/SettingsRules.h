// The arithmetic of the remembered values, apart from the window so it can be tested alone.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <climits>
#include <vector>

namespace glyptor {

// The values as they stand in the file's general section: the twelve of the described program,
// then the grid's icon size and folding, which older files lack (their defaults then hold).
struct SettingsValues {
    int MaxCash = 0;
    int MinCash = 0;
    int WinTop = 0;
    int WinLeft = 0;
    int WinHeight = 0;
    int WinWidth = 0;
    int SubFolders = 0;
    int iconboxcolor = 0;
    int browserwidth = 0;
    QString LastDir;
    QString Mask;
    QString Theme;
    int IconSize = 32;
    int FoldDuplicates = 0;
    // The persistent scan index: on or off, and its size cap (absent in older files too).
    int ScanIndex = 1;
    int ScanIndexMaxMB = 64;
};

// The lowest value a remembered integer may keep and what a lower one becomes. With `above`,
// the value must lie at least `minimum` above that other value instead, and becomes that value
// plus `minimum` (MaxCash stays 300 above MinCash).
struct SettingBound {
    int minimum = INT_MIN;
    int replacement = INT_MIN;
    const char* above = nullptr;
};

// One remembered value: its name in the file, its default, where it lives in SettingsValues (an
// integer or a text field), and its bound.
struct SettingKey {
    const char* name;
    const char* defaultText;
    int SettingsValues::*integer;
    QString SettingsValues::*text;
    SettingBound bound{};
};

// The table, in the order the values are read.
const std::vector<SettingKey>& SettingKeys();
// The table's entry of that name; throws std::logic_error for a name it lacks.
const SettingKey& SettingKeyNamed(const char* name);

// A stored integer: decimal with an optional sign; anything else gives the fallback.
int ParseSettingInteger(const QString& text, int fallback);

struct CacheBounds {
    int maxCash;
    int minCash;
};
// MinCash and MaxCash brought within their bounds of the table: MinCash at least 500, MaxCash
// at least MinCash + 300.
CacheBounds AdjustCacheBounds(int maxCash, int minCash);

struct WindowBounds {
    int top = 30;
    int left = 30;
    int height = 400;
    int width = 600;
};
// Pulls a window that starts beyond the screen's right or bottom edge back to 30, shrinks it to
// fit the screen, then applies the window's minimum size (narrower than 300 becomes 370, lower
// than 100 becomes 100).
WindowBounds FitWindowBounds(WindowBounds bounds, int screenWidth, int screenHeight);

// The window's minimum-size rule for one width or height: the bounds of WinWidth and WinHeight.
int LimitWidth(int width);
int LimitHeight(int height);

// Writes the settings file at `path`: every key the old file holds, with `values` set over
// them. The new file goes to path + ".new", is flushed and renamed over the old one, then the
// folder is flushed so the rename survives a power cut. An old file that cannot be parsed is
// kept as path + ".bad" instead of its other sections being dropped. Throws
// std::runtime_error("Cannot write settings file " + path); the old file is then untouched.
void WriteSettingsFile(const QString& path, const QList<QPair<QString, QString>>& values);

} // namespace glyptor

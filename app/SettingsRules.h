// The arithmetic of the remembered values, apart from the window so it can be tested alone.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace glyptor {

// A stored integer: decimal with an optional sign; anything else gives the fallback.
int ParseSettingInteger(const QString& text, int fallback);

struct CacheBounds {
    int maxCash;
    int minCash;
};
// MinCash at least 500; MaxCash at least MinCash + 300.
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

// The window's minimum-size rule for one width or height.
int LimitWidth(int width);
int LimitHeight(int height);

// Writes the settings file at `path`: every key the old file holds, with `values` set over
// them. The new file goes to path + ".new", is flushed and renamed over the old one, then the
// folder is flushed so the rename survives a power cut. An old file that cannot be parsed is
// kept as path + ".bad" instead of its other sections being dropped. Throws
// std::runtime_error("Cannot write settings file " + path); the old file is then untouched.
void WriteSettingsFile(const QString& path, const QList<QPair<QString, QString>>& values);

} // namespace glyptor

// The arithmetic of the remembered values, apart from the window so it can be tested alone.
#pragma once

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

} // namespace glyptor

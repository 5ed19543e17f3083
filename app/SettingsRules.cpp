#include "app/SettingsRules.h"

#include <climits>

namespace glyptor {

int ParseSettingInteger(const QString& text, int fallback) {
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : fallback;
}

CacheBounds AdjustCacheBounds(int maxCash, int minCash) {
    if (minCash < 500)
        minCash = 500;
    // Compared in 64 bits: a stored extreme value must not wrap the difference.
    if (static_cast<long long>(maxCash) - minCash < 300)
        maxCash = minCash > INT_MAX - 300 ? INT_MAX : minCash + 300;
    return {maxCash, minCash};
}

int LimitWidth(int width) {
    return width < 300 ? 370 : width;
}

int LimitHeight(int height) {
    return height < 100 ? 100 : height;
}

WindowBounds FitWindowBounds(WindowBounds bounds, int screenWidth, int screenHeight) {
    if (screenHeight < bounds.top)
        bounds.top = 30;
    if (screenWidth < bounds.left)
        bounds.left = 30;
    bounds.height = LimitHeight(bounds.height);
    bounds.width = LimitWidth(bounds.width);
    if (static_cast<long long>(screenHeight) - bounds.top < bounds.height)
        bounds.height = LimitHeight(screenHeight - bounds.top - 20);
    if (static_cast<long long>(screenWidth) - bounds.left < bounds.width)
        bounds.width = LimitWidth(screenWidth - bounds.left - 20);
    return bounds;
}

} // namespace glyptor

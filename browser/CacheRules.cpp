#include "browser/CacheRules.h"

namespace glyptor {

void TrimPictureCache(int count, const std::function<int()>& topIndex, int pageSize,
                      const std::function<bool()>& aboveLow,
                      const std::function<void(int)>& release) {
    int i = 0;
    int j = count - 1;
    while (aboveLow()) {
        const int top = topIndex();
        const int keepFirst = top - 2 * pageSize;
        const int keepLast = top + 3 * pageSize;
        if (i < keepFirst) {
            release(i);
            ++i;
        }
        if (j > keepLast) {
            release(j);
            --j;
        }
        // Both ends have reached the kept range (or passed each other): nothing more to free.
        if (i >= keepFirst && j <= keepLast)
            break;
    }
}

} // namespace glyptor

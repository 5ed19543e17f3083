// The picture cache's trim, apart from the window so that its arithmetic can be tested alone.
#pragma once

#include <functional>

namespace glyptor {

// Releases pictures from both ends of a grid of `count` items towards the view, alternately,
// while `aboveLow()` holds, keeping the cells from top - 2 pages to top + 3 pages (the first
// visible cell is read afresh each round, since a release may move the view).
void TrimPictureCache(int count, const std::function<int()>& topIndex, int pageSize,
                      const std::function<bool()>& aboveLow,
                      const std::function<void(int)>& release);

} // namespace glyptor

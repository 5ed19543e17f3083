// How the C library's allocator is set up in the programs that scan: the window's program, the
// icon tool and the scan benchmark's driver, which stands in for the program.
#pragma once

#include <malloc.h>

namespace glyptor::platform {

// A scan allocates and frees the same megabytes over and over: the walk's folder listings and
// index rows, and the first screen's pictures, where a large bitmap file is a few megabytes of
// pixels. By default the allocator maps each large block afresh and hands memory freed at the
// top of a heap back at once, so that the same pages fault in again and again: a third of a
// warm re-scan's page faults. Kept instead, they cost memory the program uses again soon.
inline void KeepFreedMemory() {
    ::mallopt(M_MMAP_THRESHOLD, 8 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 64 << 20);
    ::mallopt(M_TOP_PAD, 2 << 20);
}

} // namespace glyptor::platform

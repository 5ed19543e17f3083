// Deflate compressor (RFC 1951) for the archive writer. It works on a byte range held in memory
// and hands its output to a sink block by block; it knows nothing about ZIP headers. The caller
// learns whether the data should rather be stored as plain bytes and whether it looks like text,
// which are the two facts the writer needs for an entry's method and internal attributes.
#pragma once

#include "archive/ZipErrors.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace glyptor::archive {

struct TDeflateSummary {
    // True when the data came out as a single block that is not smaller than the input; nothing
    // was handed to the sink and the caller should store the plain bytes (method 0) instead.
    bool StoreInstead = false;
    // Literal statistics of the first block: mostly printable 7-bit bytes.
    bool IsText = false;
    std::uint64_t CompressedSize = 0;
    int BlockCount = 0;
};

// Receives compressed bytes in order; may throw to abandon the compression (for example when
// the user cancels), and the exception leaves Deflate unchanged.
using TDeflateSink = std::function<void(std::span<const std::uint8_t>)>;

// Match-search parameters of one compression level.
struct TDeflateLevel {
    int GoodLength; // chain search is cut to a quarter once the current match is this long
    int MaxLazy;    // lazy levels: no lazy search beyond this; fast levels: max inserted match
    int NiceLength; // stop searching once a match is this long
    int MaxChain;   // chain entries examined per search
    bool Lazy;      // lazy evaluation of matches (levels 4 and above)
};

// Parameters for level 0..9; level 0 writes stored blocks only.
const TDeflateLevel& DeflateLevel(int level);

// The general-purpose flag bits a ZIP entry deflated at this level carries (bit 1 for the
// maximum levels 8 and 9, bit 2 for the fast levels 1 and 2).
std::uint16_t DeflateLevelFlags(int level);

class TDeflater {
public:
    // The work buffers are allocated here once, so one compressor serves many entries.
    TDeflater();
    ~TDeflater();
    TDeflater(const TDeflater&) = delete;
    TDeflater& operator=(const TDeflater&) = delete;

    // Compresses `input` at `level` (clamped to 0..9) into one complete raw Deflate stream.
    // With `allowStoreInstead` a single block that would not shrink the data is withheld and
    // reported as StoreInstead; otherwise the sink always receives the whole stream.
    TDeflateSummary Deflate(std::span<const std::uint8_t> input, int level,
                            const TDeflateSink& sink, bool allowStoreInstead = false);

private:
    struct TState;
    std::unique_ptr<TState> State;
};

// A match that is about to be emitted and does not repeat the bytes it claims to repeat raises
// EInvalidMatch "Start: %d, Match: %d, Length: %d"; the match finder makes this impossible, the
// check guards against a broken change to it.

// Convenience for tests and tools: the complete raw Deflate stream of `input`.
std::vector<std::uint8_t> DeflateBytes(std::span<const std::uint8_t> input, int level);

} // namespace glyptor::archive

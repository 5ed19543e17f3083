// Deflate decoder (RFC 1951: stored, fixed-code and dynamic-code blocks) with a 32 KB history.
#pragma once

#include "archive/DecodeIo.h"

#include <cstdint>
#include <vector>

namespace glyptor::archive {

// Decodes raw Deflate data from a bit reader into a sink. The window buffer is allocated once
// and reused for every Run. Malformed data end the run at once with Corrupt, without passing on
// the bytes still held in the window.
class TInflater {
public:
    TInflater();
    TDecodeResult Run(TBitReader& input, TByteSink& output);

    // Huffman decoding table; exposed for the tests' table-arithmetic checks.
    struct TTable {
        std::vector<uint32_t> Entries;
        unsigned PrimaryBits = 0;
    };

private:
    TDecodeResult Block(TBitReader& in, TByteSink& out, const TTable& lit, const TTable& dist);
    TDecodeResult StoredBlock(TBitReader& in, TByteSink& out);
    TDecodeResult DynamicTables(TBitReader& in);
    bool Slide(TByteSink& out);

    std::vector<uint8_t> Window;
    size_t Pos = 0;       // next write position in Window
    size_t FlushedTo = 0; // Window bytes before this have gone to the sink
    TTable FixedLit, FixedDist, DynLit, DynDist, CodeLengthTable;
};

// Whole-buffer convenience: decodes in into out (appending).
TDecodeResult InflateBuffer(const uint8_t* in, size_t count, std::vector<uint8_t>& out);

} // namespace glyptor::archive

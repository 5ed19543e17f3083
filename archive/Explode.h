// Decoder of method 6 (Implode): Shannon-Fano coded literals, lengths and distances over a 4 KB
// or 8 KB dictionary, with two trees (raw literals) or three (coded literals).
#pragma once

#include "archive/DecodeIo.h"

#include <cstdint>

namespace glyptor::archive {

// Decodes until uncompressedSize bytes are produced or the input is used up. A tree whose code
// lengths do not fill its code space exactly is Corrupt.
TDecodeResult Explode(TBitReader& input, TByteSink& output, bool dictionary8K, bool literalTree,
                      uint64_t uncompressedSize);

} // namespace glyptor::archive

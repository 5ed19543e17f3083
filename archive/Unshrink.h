// Decoder of method 1 (Shrink): dynamic LZW with 9- to 13-bit codes and partial clearing.
#pragma once

#include "archive/DecodeIo.h"

namespace glyptor::archive {

// Decodes until the compressed input is used up. A code that widens past 13 bits, or one that
// names a free slot other than the next to be made, is Corrupt.
TDecodeResult Unshrink(TBitReader& input, TByteSink& output);

} // namespace glyptor::archive

// Decoder of methods 2-5 (Reduce, compression factors 1-4): follower sets, then a probabilistic
// byte stream with run/match escapes (0x90), copied within a 16 KB circular window.
#pragma once

#include "archive/DecodeIo.h"

#include <cstdint>

namespace glyptor::archive {

// Decodes until uncompressedSize bytes are produced or the input is used up.
TDecodeResult Unreduce(TBitReader& input, TByteSink& output, int factor, uint64_t uncompressedSize);

} // namespace glyptor::archive

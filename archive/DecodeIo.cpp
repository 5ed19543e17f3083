// The slow paths of the bit reader: chunk boundaries, the end of the input, aligned copies.
#include "archive/DecodeIo.h"

#include <algorithm>

namespace glyptor::archive {

void TBitReader::SlowRefill() {
    while (BitCount <= 56) {
        if (Cur == End && !Ended) {
            size_t n = Source.Pull(Cur);
            if (n == 0) {
                Ended = true;
                Cur = End = nullptr;
            } else {
                End = Cur + n;
            }
            continue;
        }
        // Bits above BitCount may hold look-ahead of the fast path; clear them before adding.
        Buffer &= (uint64_t{1} << BitCount) - 1;
        if (Cur != End) {
            Buffer |= uint64_t{*Cur++} << BitCount;
        } else {
            PadBits += 8;
            // PadBits only matters while it exceeds what is left in the buffer; keep it from
            // growing without bound in a decoder that checks Overrun late.
            if (PadBits > 1024)
                PadBits = 1024;
        }
        BitCount += 8;
    }
}

size_t TBitReader::ReadBytes(uint8_t* out, size_t count) {
    size_t done = 0;
    // Whole bytes still in the bit buffer come first; padding is not input.
    while (done < count && BitCount >= 8) {
        if (BitCount <= PadBits)
            return done;
        out[done++] = static_cast<uint8_t>(Buffer);
        Drop(8);
    }
    // The bytes copied below move Cur, so look-ahead bits above BitCount go stale.
    Buffer &= (uint64_t{1} << BitCount) - 1;
    while (done < count) {
        if (Cur == End) {
            if (Ended)
                return done;
            size_t n = Source.Pull(Cur);
            if (n == 0) {
                Ended = true;
                Cur = End = nullptr;
                return done;
            }
            End = Cur + n;
        }
        size_t step = std::min(count - done, static_cast<size_t>(End - Cur));
        std::memcpy(out + done, Cur, step);
        Cur += step;
        done += step;
    }
    return done;
}

} // namespace glyptor::archive

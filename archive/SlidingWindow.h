// A 32 KB circular history for the older decoders (Reduce, Implode): bytes are written into it,
// matches copy from it, and it passes its contents to the sink whenever it fills. Bytes a match
// takes from before the start of the output read as zeros.
#pragma once

#include "archive/DecodeIo.h"

#include <cstdint>
#include <vector>

namespace glyptor::archive {

class TSlidingWindow {
public:
    static constexpr size_t Size = 32768;

    explicit TSlidingWindow(TByteSink& sink) : Sink(sink), Bytes(Size, 0) {}

    // Each returns false once the sink refuses more output.
    bool PutByte(uint8_t b) {
        Bytes[Pos++] = b;
        ++Produced;
        if (Pos == Size)
            return Flush();
        return true;
    }
    // Copies length bytes from distance back (1 .. Size).
    bool Copy(size_t distance, size_t length) {
        size_t from = (Pos - distance) & (Size - 1);
        while (length-- > 0) {
            if (!PutByte(Bytes[from]))
                return false;
            from = (from + 1) & (Size - 1);
        }
        return true;
    }
    bool Flush() {
        bool taken = Sink.Put(Bytes.data() + Flushed, Pos - Flushed);
        Flushed = Pos = Pos == Size ? 0 : Pos;
        return taken;
    }
    uint64_t Produced = 0;

private:
    static_assert((Size & (Size - 1)) == 0, "circular indexing relies on a power of two");
    TByteSink& Sink;
    std::vector<uint8_t> Bytes;
    size_t Pos = 0;
    size_t Flushed = 0;
};

} // namespace glyptor::archive

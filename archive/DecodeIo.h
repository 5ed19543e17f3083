// The plumbing every decoder shares: a pull source of compressed bytes, a sink for plain bytes,
// the decoders' outcome, and a least-significant-bit-first bit reader over the source.
#pragma once

#include "formats/LittleEndian.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace glyptor::archive {

// Delivers compressed input in chunks.
class TDecodeInput {
public:
    virtual ~TDecodeInput() = default;
    // Points data at the next chunk and returns its length; 0 means the input has ended.
    virtual size_t Pull(const uint8_t*& data) = 0;
};

// Receives decoded bytes in order.
class TByteSink {
public:
    virtual ~TByteSink() = default;
    // Returns false when the sink takes no more bytes; the decoder then stops with OutputFull.
    virtual bool Put(const uint8_t* data, size_t count) = 0;
};

enum class TDecodeResult {
    Done,       // the data ended where its format says
    InputEnded, // the compressed input ran out first
    Corrupt,    // the data break the format (bad code, bad table, distance before the start)
    OutputFull  // the sink refused more output
};

// A source over one block of memory.
class TMemorySource : public TDecodeInput {
public:
    TMemorySource(const uint8_t* data, size_t count) : Data(data), Count(count) {}
    size_t Pull(const uint8_t*& data) override {
        data = Data;
        size_t n = Count;
        Count = 0;
        return n;
    }

private:
    const uint8_t* Data;
    size_t Count;
};

// A sink appending to a vector.
class TVectorSink : public TByteSink {
public:
    explicit TVectorSink(std::vector<uint8_t>& out) : Out(out) {}
    bool Put(const uint8_t* data, size_t count) override {
        Out.insert(Out.end(), data, data + count);
        return true;
    }

private:
    std::vector<uint8_t>& Out;
};

// Bits of the source, least significant first. Past the end of the input it supplies zero bits
// and counts them, so decoders can look ahead freely and learn afterwards (Overrun) whether they
// used bits that do not exist.
class TBitReader {
public:
    explicit TBitReader(TDecodeInput& source) : Source(source) {}

    // Makes at least 56 bits available.
    void Refill() {
        if (End - Cur >= 8) {
            Buffer |= formats::LoadLe64(Cur) << BitCount;
            Cur += (63 - BitCount) >> 3;
            BitCount |= 56;
            return;
        }
        SlowRefill();
    }
    void Ensure(unsigned bits) {
        if (BitCount < bits)
            Refill();
    }
    uint32_t Peek(unsigned bits) const {
        return static_cast<uint32_t>(Buffer & ((uint64_t{1} << bits) - 1));
    }
    void Drop(unsigned bits) {
        Buffer >>= bits;
        BitCount -= bits;
    }
    // Up to 32 bits.
    uint32_t Bits(unsigned bits) {
        Ensure(bits);
        uint32_t v = Peek(bits);
        Drop(bits);
        return v;
    }
    // True once a bit beyond the end of the input has been consumed.
    bool Overrun() const { return BitCount < PadBits; }
    // Skips to the next whole byte of input.
    void AlignToByte() { Drop(BitCount & 7); }
    // Copies count bytes of byte-aligned input; returns how many existed.
    size_t ReadBytes(uint8_t* out, size_t count);

private:
    void SlowRefill();

    TDecodeInput& Source;
    const uint8_t* Cur = nullptr;
    const uint8_t* End = nullptr;
    uint64_t Buffer = 0;
    unsigned BitCount = 0;
    uint64_t PadBits = 0; // zero bits added past the end of the input, at the top of Buffer
    bool Ended = false;
};

} // namespace glyptor::archive

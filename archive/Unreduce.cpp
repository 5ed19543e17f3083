// Reduce decoding: the follower sets say which bytes usually follow a byte, so a short index
// into them replaces the byte; 0x90 escapes introduce literal 0x90 or a length/distance match.
#include "archive/Unreduce.h"

#include "archive/SlidingWindow.h"

namespace glyptor::archive {

namespace {

// Bits of a follower index for a set of n followers (n >= 1): enough for n - 1, at least one.
unsigned IndexBits(unsigned n) {
    unsigned bits = 1;
    while ((1u << bits) < n)
        ++bits;
    return bits;
}

} // namespace

TDecodeResult Unreduce(TBitReader& in, TByteSink& out, int factor, uint64_t uncompressedSize) {
    if (factor < 1 || factor > 4)
        return TDecodeResult::Corrupt;
    struct TFollowers {
        uint8_t Count = 0;
        uint8_t Bytes[64] = {};
    };
    // The 6-bit count caps a set at 63 followers, and the index width for 63 is 6 bits, so an
    // index read from the data never leaves the 64-entry array.
    static_assert((1u << 6) <= sizeof(TFollowers::Bytes), "follower index stays in its set");
    std::vector<TFollowers> sets(256);
    for (int j = 255; j >= 0; --j) {
        TFollowers& set = sets[static_cast<size_t>(j)];
        set.Count = static_cast<uint8_t>(in.Bits(6));
        for (unsigned i = 0; i < set.Count; ++i)
            set.Bytes[i] = static_cast<uint8_t>(in.Bits(8));
    }
    if (in.Overrun())
        return TDecodeResult::InputEnded;

    const unsigned lengthMask = 0xFFu >> factor;
    TSlidingWindow window(out);
    unsigned last = 0;
    int state = 0;
    unsigned length = 0;
    unsigned v = 0;
    while (window.Produced < uncompressedSize) {
        const TFollowers& set = sets[last];
        unsigned c;
        if (set.Count == 0 || in.Bits(1) == 1)
            c = in.Bits(8);
        else
            c = set.Bytes[in.Bits(IndexBits(set.Count))];
        if (in.Overrun())
            return window.Flush() ? TDecodeResult::InputEnded : TDecodeResult::OutputFull;
        last = c;
        bool taken = true;
        switch (state) {
        case 0:
            if (c != 0x90)
                taken = window.PutByte(static_cast<uint8_t>(c));
            else
                state = 1;
            break;
        case 1:
            if (c == 0) {
                taken = window.PutByte(0x90);
                state = 0;
            } else {
                v = c;
                length = c & lengthMask;
                state = length == lengthMask ? 2 : 3;
            }
            break;
        case 2:
            length += c;
            state = 3;
            break;
        default: {
            size_t distance = ((v >> (8 - factor)) << 8) + c + 1;
            uint64_t count = length + 3;
            if (count > uncompressedSize - window.Produced)
                count = uncompressedSize - window.Produced;
            taken = window.Copy(distance, static_cast<size_t>(count));
            state = 0;
            break;
        }
        }
        if (!taken)
            return TDecodeResult::OutputFull;
    }
    return window.Flush() ? TDecodeResult::Done : TDecodeResult::OutputFull;
}

} // namespace glyptor::archive

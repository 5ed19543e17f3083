// Fuzz target: the decoders alone. Input byte 0 chooses the method (1 Shrink, 2-5 Reduce,
// 6 Implode, anything else Deflate), byte 1 the Implode flags, bytes 2-5 the expected size (at
// most 1 MB); the rest is the compressed stream. Every outcome is allowed; memory errors,
// hangs and output beyond the size are findings.
#include "archive/Explode.h"
#include "archive/Inflate.h"
#include "archive/Unreduce.h"
#include "archive/Unshrink.h"

#include <cstdint>
#include <cstdlib>

namespace {

using namespace glyptor::archive;

// Counts output and refuses anything beyond the limit, as the extraction's own sink does.
class TLimitSink : public TByteSink {
public:
    explicit TLimitSink(uint64_t limit) : Limit(limit) {}
    bool Put(const uint8_t*, size_t count) override {
        Taken += count;
        return Taken <= Limit;
    }
    uint64_t Limit;
    uint64_t Taken = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6)
        return 0;
    unsigned method = data[0];
    unsigned flags = data[1];
    uint64_t expected = (uint64_t{data[2]} | uint64_t{data[3]} << 8 | uint64_t{data[4]} << 16 |
                         uint64_t{data[5]} << 24) %
                        (1u << 20);
    TMemorySource source(data + 6, size - 6);
    TBitReader bits(source);
    TLimitSink sink(expected);
    switch (method) {
    case 1:
        Unshrink(bits, sink);
        break;
    case 2:
    case 3:
    case 4:
    case 5:
        Unreduce(bits, sink, static_cast<int>(method) - 1, expected);
        break;
    case 6:
        Explode(bits, sink, (flags & 2) != 0, (flags & 4) != 0, expected);
        break;
    default: {
        static TInflater inflater;
        inflater.Run(bits, sink);
        break;
    }
    }
    // The size-driven decoders must stop exactly at the size they were given.
    if (method >= 2 && method <= 6 && sink.Taken > expected)
        std::abort();
    return 0;
}

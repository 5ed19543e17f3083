// Fuzz target: the first byte picks the compression level and whether the input also goes
// through a ZIP archive; the rest is the data. Any difference between the input and what zlib,
// our inflater or the archive round trip give back aborts the run.
#include "archive/Deflater.h"
#include "archive/Inflate.h"
#include "archive/ZipWriter.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace glyptor::archive;

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::vector<uint8_t> ZlibInflate(const std::vector<uint8_t>& compressed, size_t expected) {
    z_stream z{};
    Check(inflateInit2(&z, -15) == Z_OK);
    std::vector<uint8_t> out(expected + 1);
    z.next_in = const_cast<Bytef*>(compressed.data());
    z.avail_in = static_cast<uInt>(compressed.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = inflate(&z, Z_FINISH);
    Check(rc == Z_STREAM_END && z.avail_in == 0);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

void ArchiveRoundTrip(const std::vector<uint8_t>& data, int level) {
    TZipWriter writer;
    writer.SetArchiveStream(std::make_unique<TMemoryStream>());
    writer.PackLevel = level;
    TMemoryStream source(data);
    Check(writer.AddFromStream(source, "fuzz.bin") == 1);
    const TZipHeaderInfo& entry = writer.Entry(0);
    // Stored exactly when deflating would not have saved anything.
    Check(entry.CompressionMethod == 0 || entry.CompressedSize < entry.UncompressedSize ||
          data.size() > 16000);
    TMemoryStream target;
    Check(writer.ExtractToStream(target, "fuzz.bin") == 1);
    Check(target.Data() == data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0)
        return 0;
    const int level = bytes[0] % 10;
    const bool throughArchive = (bytes[0] / 10) % 4 == 0;
    const std::vector<uint8_t> data(bytes + 1, bytes + size);

    const std::vector<uint8_t> compressed = DeflateBytes(data, level);
    Check(ZlibInflate(compressed, data.size()) == data);
    std::vector<uint8_t> ours;
    Check(InflateBuffer(compressed.data(), compressed.size(), ours) == TDecodeResult::Done);
    Check(ours == data);

    if (throughArchive)
        ArchiveRoundTrip(data, level);
    return 0;
}

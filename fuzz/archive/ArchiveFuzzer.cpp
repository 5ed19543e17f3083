// Fuzz target: the input is an archive. It is attached, its directory read (with the recovery
// scan when the end record is missing), every entry listed with its comment, and every entry
// extracted into a stream that only counts. The component's own exceptions are expected
// outcomes; anything else, and any memory error, is a finding.
#include "archive/ZipErrors.h"
#include "archive/ZipReader.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace glyptor::archive;

class TCountingStream : public TStream {
public:
    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Write(const void*, int64_t count) override {
        Written += count;
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return Written; }
    int64_t Size() const override { return Written; }
    void SetSize(int64_t) override {}
    int64_t Written = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TZipReader reader;
    reader.UserInterface.MessageBox = [](const std::string&, const std::string&) {};
    reader.SetArchiveStream(
        std::make_unique<TMemoryStream>(std::vector<uint8_t>(data, data + size)));
    try {
        reader.ReadDirectory();
    } catch (const EIncompleteZip&) {
        reader.IncompleteZipMode = TIncompleteZipMode::izAssumeBad;
        try {
            reader.ReadDirectory();
        } catch (const EZipError&) {
        }
    } catch (const EZipError&) {
    }
    for (int i = 0; i < reader.EntryCount(); ++i) {
        (void)reader.EntryName(i);
        (void)reader.EntryComment(i);
    }
    (void)reader.ArchiveComment();

    reader.DoAll = true;
    // Each entry on its own, so that one failing entry does not hide the others.
    int current = 0;
    reader.OnStartUnZip = [&current](TZipReader*, int index, const std::string&, bool& skip) {
        skip = index != current;
    };
    for (current = 0; current < reader.EntryCount(); ++current) {
        TCountingStream sink;
        try {
            reader.ExtractToStream(sink, "*");
        } catch (const EZipError&) {
        }
    }
    return 0;
}

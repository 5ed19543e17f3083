// Stream helpers and the in-memory stream that holds theme archives.
#include "archive/ZipStream.h"

#include "archive/ZipErrors.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace glyptor::archive {

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count)
        throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count)
        throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<int64_t>(count, 65536)));
    int64_t copied = 0;
    while (copied < count) {
        int64_t step = std::min<int64_t>(count - copied, static_cast<int64_t>(chunk.size()));
        source.ReadBuffer(chunk.data(), step);
        WriteBuffer(chunk.data(), step);
        copied += step;
    }
    return copied;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    if (count <= 0 || Pos >= Size())
        return 0;
    int64_t available = std::min(count, Size() - Pos);
    std::memcpy(buffer, Bytes.data() + Pos, static_cast<size_t>(available));
    Pos += available;
    return available;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0)
        return 0;
    if (Pos + count > Size())
        Bytes.resize(static_cast<size_t>(Pos + count));
    std::memcpy(Bytes.data() + Pos, buffer, static_cast<size_t>(count));
    Pos += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    int64_t base = origin == TSeekOrigin::Beginning ? 0
                   : origin == TSeekOrigin::Current ? Pos
                                                    : Size();
    // Offsets come from archive fields; saturate instead of overflowing on hostile values.
    if (offset > 0 && base > INT64_MAX - offset)
        Pos = INT64_MAX;
    else
        Pos = std::max<int64_t>(0, base + offset);
    return Pos;
}

void TMemoryStream::SetSize(int64_t newSize) {
    Bytes.resize(static_cast<size_t>(std::max<int64_t>(0, newSize)));
    Pos = std::min(Pos, Size());
}

void TMemoryStream::Clear() {
    Bytes.clear();
    Pos = 0;
}

std::vector<uint8_t> TMemoryStream::TakeData() {
    Pos = 0;
    return std::exchange(Bytes, {});
}

} // namespace glyptor::archive

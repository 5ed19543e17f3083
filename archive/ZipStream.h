// Byte streams the archive component reads from and writes to. The component only needs a
// seekable stream with a size; TMemoryStream is the one the application attaches, since theme
// archives live in memory.
#pragma once

#include <cstdint>
#include <vector>

namespace glyptor::archive {

enum class TSeekOrigin { Beginning, Current, End };

// A seekable byte stream. Read and Write return the number of bytes moved, which may be short;
// ReadBuffer and WriteBuffer insist on the full count and raise EStreamError otherwise.
class TStream {
public:
    virtual ~TStream() = default;

    virtual int64_t Read(void* buffer, int64_t count) = 0;
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Returns the new position. Positions below 0 are clamped to 0.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size() const = 0;
    virtual void SetSize(int64_t newSize) = 0;

    int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }

    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source's current position (all of source from 0 when count is 0).
    int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream over a growable block of memory. Writing past the end grows it; a gap left by seeking
// beyond the end reads as zeros.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<uint8_t> bytes) : Bytes(std::move(bytes)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() const override { return static_cast<int64_t>(Bytes.size()); }
    void SetSize(int64_t newSize) override;

    void Clear();
    const uint8_t* Memory() const { return Bytes.data(); }
    const std::vector<uint8_t>& Data() const { return Bytes; }
    std::vector<uint8_t> TakeData();

private:
    std::vector<uint8_t> Bytes;
    int64_t Pos = 0;
};

} // namespace glyptor::archive

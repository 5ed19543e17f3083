// Bounds-checked access to the bytes of an untrusted file. Parsers ask a ByteSource for the few
// ranges they need (so a count touches only headers and directories) and decode each range
// through a ByteCursor, which refuses to read past its end instead of trusting offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace glyptor::formats {

using Bytes = std::vector<std::uint8_t>;

// Random access to a byte range of known size. ReadAt fails (false) for any range that is not
// entirely inside the source; a failed read leaves `out` unspecified.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    virtual bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    // The `length` bytes at `offset` where the source holds them in memory already, so that a
    // caller that only looks at them needs no copy; empty otherwise (then ReadAt them). The view
    // is good until the next read from the source.
    virtual std::span<const std::uint8_t> View(std::uint64_t offset, std::uint64_t length) {
        (void)offset;
        (void)length;
        return {};
    }

    // `length` bytes at `offset`, or nothing when the range leaves the source. The length is
    // checked against the bytes that exist before anything is allocated.
    std::optional<Bytes> Read(std::uint64_t offset, std::uint64_t length);
    // The same bytes, in place when the source holds them (View), else read into `storage`: the
    // parsers' many small reads then cost no copy and no allocation. Good until the next read.
    std::optional<std::span<const std::uint8_t>> Look(std::uint64_t offset, std::uint64_t length,
                                                      Bytes& storage);
    bool Contains(std::uint64_t offset, std::uint64_t length) const {
        return offset <= Size() && length <= Size() - offset;
    }
};

// A source over bytes already in memory (tests, fuzzing, small files).
class SpanSource final : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
    std::span<const std::uint8_t> View(std::uint64_t offset, std::uint64_t length) override {
        return Contains(offset, length) ? bytes_.subspan(static_cast<std::size_t>(offset),
                                                         static_cast<std::size_t>(length))
                                        : std::span<const std::uint8_t>();
    }

private:
    std::span<const std::uint8_t> bytes_;
};

// A little-endian reader over one byte span. Every read checks the remaining length first; after
// a failed read the cursor stays failed, so a parser can read a whole structure and test once.
class ByteCursor {
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t ReadU8();
    std::uint16_t ReadU16();
    std::uint32_t ReadU32();
    std::int32_t ReadI32() { return static_cast<std::int32_t>(ReadU32()); }
    std::span<const std::uint8_t> ReadBytes(std::size_t length);
    void Skip(std::size_t length) { (void)ReadBytes(length); }
    bool Seek(std::size_t position);

    bool Ok() const { return ok_; }
    std::size_t Position() const { return position_; }
    std::size_t Remaining() const { return ok_ ? bytes_.size() - position_ : 0; }

private:
    bool Take(std::size_t length);

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

} // namespace glyptor::formats

// The memory byte source and the bounds-checked cursor used by every parser of Windows and ZIP
// structures.
#include "formats/ByteCursor.h"

#include "formats/LittleEndian.h"

#include <algorithm>
#include <new>

namespace glyptor::formats {

std::optional<Bytes> ByteSource::Read(std::uint64_t offset, std::uint64_t length) {
    if (!Contains(offset, length)) {
        return std::nullopt;
    }
    try {
        Bytes bytes(static_cast<std::size_t>(length));
        if (!ReadAt(offset, bytes)) {
            return std::nullopt;
        }
        return bytes;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::span<const std::uint8_t>>
ByteSource::Look(std::uint64_t offset, std::uint64_t length, Bytes& storage) {
    if (const auto held = View(offset, length); length > 0 && held.size() == length) {
        return held;
    }
    auto bytes = Read(offset, length);
    if (!bytes) {
        return std::nullopt;
    }
    storage = std::move(*bytes);
    return std::span<const std::uint8_t>(storage);
}

bool SpanSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (!Contains(offset, out.size())) {
        return false;
    }
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

bool ByteCursor::Take(std::size_t length) {
    if (!ok_ || length > bytes_.size() - position_) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint8_t ByteCursor::ReadU8() {
    if (!Take(1)) {
        return 0;
    }
    return bytes_[position_++];
}

std::uint16_t ByteCursor::ReadU16() {
    if (!Take(2)) {
        return 0;
    }
    const std::uint16_t value = LoadLe16(bytes_.data() + position_);
    position_ += 2;
    return value;
}

std::uint32_t ByteCursor::ReadU32() {
    if (!Take(4)) {
        return 0;
    }
    const std::uint32_t value = LoadLe32(bytes_.data() + position_);
    position_ += 4;
    return value;
}

std::span<const std::uint8_t> ByteCursor::ReadBytes(std::size_t length) {
    if (!Take(length)) {
        return {};
    }
    const auto bytes = bytes_.subspan(position_, length);
    position_ += length;
    return bytes;
}

bool ByteCursor::Seek(std::size_t position) {
    if (!ok_ || position > bytes_.size()) {
        ok_ = false;
        return false;
    }
    position_ = position;
    return true;
}

} // namespace glyptor::formats

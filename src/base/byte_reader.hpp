// ByteReader: the one place where decoders read bytes of an input. Every read
// checks offset + length against the size without overflow; a read that does
// not fit fails and leaves the position unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

namespace trelm {

// a + b, or nothing when the sum wraps.
inline std::optional<uint64_t> checked_add(uint64_t a, uint64_t b) noexcept {
  uint64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

inline std::optional<uint64_t> checked_mul(uint64_t a, uint64_t b) noexcept {
  uint64_t product;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool range_fits(uint64_t offset, uint64_t length, uint64_t size) noexcept {
  return offset <= size && length <= size - offset;
}

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> data) noexcept : data_(data) {}

  size_t size() const noexcept { return data_.size(); }
  size_t position() const noexcept { return pos_; }
  size_t remaining() const noexcept { return data_.size() - pos_; }
  bool at_end() const noexcept { return pos_ >= data_.size(); }
  std::span<const uint8_t> data() const noexcept { return data_; }

  bool seek(uint64_t position) noexcept {
    if (position > data_.size()) return false;
    pos_ = static_cast<size_t>(position);
    return true;
  }
  bool skip(uint64_t count) noexcept {
    if (count > remaining()) return false;
    pos_ += static_cast<size_t>(count);
    return true;
  }

  bool read_u8(uint8_t& out) noexcept {
    if (pos_ >= data_.size()) return false;
    out = data_[pos_++];
    return true;
  }
  std::optional<uint8_t> peek_u8() const noexcept {
    if (pos_ >= data_.size()) return std::nullopt;
    return data_[pos_];
  }

  // Unsigned integers of `width` bytes (1 to 8), big- or little-endian.
  bool read_be(unsigned width, uint64_t& out) noexcept {
    if (width == 0 || width > 8 || width > remaining()) return false;
    uint64_t v = 0;
    for (unsigned i = 0; i < width; ++i) v = (v << 8) | data_[pos_ + i];
    pos_ += width;
    out = v;
    return true;
  }
  bool read_le(unsigned width, uint64_t& out) noexcept {
    if (width == 0 || width > 8 || width > remaining()) return false;
    uint64_t v = 0;
    for (unsigned i = width; i-- > 0;) v = (v << 8) | data_[pos_ + i];
    pos_ += width;
    out = v;
    return true;
  }

  // A view of the next `count` bytes, consumed.
  bool read_span(uint64_t count, std::span<const uint8_t>& out) noexcept {
    if (count > remaining()) return false;
    out = data_.subspan(pos_, static_cast<size_t>(count));
    pos_ += static_cast<size_t>(count);
    return true;
  }

  // A view of [offset, offset + count) without moving, or nothing when it does not fit.
  std::optional<std::span<const uint8_t>> slice(uint64_t offset, uint64_t count) const noexcept {
    if (!range_fits(offset, count, data_.size())) return std::nullopt;
    return data_.subspan(static_cast<size_t>(offset), static_cast<size_t>(count));
  }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

// Fixed-position reads on a whole buffer: nothing when the field does not fit.
inline std::optional<uint64_t> load_be(std::span<const uint8_t> data, uint64_t offset, unsigned width) noexcept {
  ByteReader r(data);
  uint64_t v;
  if (!r.seek(offset) || !r.read_be(width, v)) return std::nullopt;
  return v;
}
inline std::optional<uint64_t> load_le(std::span<const uint8_t> data, uint64_t offset, unsigned width) noexcept {
  ByteReader r(data);
  uint64_t v;
  if (!r.seek(offset) || !r.read_le(width, v)) return std::nullopt;
  return v;
}

}  // namespace trelm

// ByteReader: the one place where decoders read bytes of an input. Every read
// checks offset + length against the size without overflow; a read that does
// not fit fails and leaves the position unchanged. LEB128 integers are decoded
// here too, for the readers and for hot loops that walk a buffer themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

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

enum class Leb128Status : uint8_t { Ok, End, TooLong };

// The unsigned LEB128 integer at data[pos]: seven value bits per byte, least
// significant group first, bit 7 set when another byte follows. A T takes at
// most 5 bytes (uint32_t) or 10 (uint64_t), and the bits of the last allowed
// byte beyond T's width are dropped (the fifth byte gives bits 28..31, the
// tenth bit 63). Ok when a byte without bit 7 ends it within that; End when
// the data ends first, TooLong when the last allowed byte still has bit 7.
// `value` and `size` are the bits gathered and the bytes looked at, also on
// End and TooLong.
template <class T>
inline Leb128Status decode_leb128(std::span<const uint8_t> data, size_t pos, T& value, size_t& size) noexcept {
  static_assert(std::is_same_v<T, uint32_t> || std::is_same_v<T, uint64_t>);
  constexpr unsigned kMaxBytes = (std::numeric_limits<T>::digits + 6) / 7;
  const size_t available = pos < data.size() ? data.size() - pos : 0;
  T v = 0;
  for (unsigned i = 0; i < kMaxBytes; ++i) {
    if (i == available) {
      value = v;
      size = i;
      return Leb128Status::End;
    }
    const uint8_t byte = data[pos + i];
    v |= static_cast<T>(byte & 0x7f) << (7 * i);
    if (!(byte & 0x80)) {
      value = v;
      size = i + 1;
      return Leb128Status::Ok;
    }
  }
  value = v;
  size = kMaxBytes;
  return Leb128Status::TooLong;
}

// Signed LEB128 of at most 10 bytes: as above, then sign-extended from bit 6
// of the last byte (unless that byte already reached bit 63).
inline Leb128Status decode_signed_leb128(std::span<const uint8_t> data, size_t pos, int64_t& value,
                                         size_t& size) noexcept {
  uint64_t bits;
  Leb128Status status = decode_leb128(data, pos, bits, size);
  if (status == Leb128Status::Ok && 7 * size < 64 && (data[pos + size - 1] & 0x40)) bits |= ~uint64_t{0} << (7 * size);
  value = static_cast<int64_t>(bits);
  return status;
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

  // A LEB128 integer (see decode_leb128), consumed only when it is Ok.
  template <class T>
  Leb128Status read_leb128(T& value, size_t& size) noexcept {
    Leb128Status status = decode_leb128(data_, pos_, value, size);
    if (status == Leb128Status::Ok) pos_ += size;
    return status;
  }
  Leb128Status read_signed_leb128(int64_t& value, size_t& size) noexcept {
    Leb128Status status = decode_signed_leb128(data_, pos_, value, size);
    if (status == Leb128Status::Ok) pos_ += size;
    return status;
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

// Map from VCD identifier code to signal id, the lookup of every value-change
// line. Simulators hand out the shortest codes of printable ASCII ('!'..'~')
// first, so codes of one or two such characters (the first 8,930 signals)
// index a small direct table. Other codes of up to seven bytes are packed with
// their length into one integer and kept in an open-addressing table; longer
// codes go to a hash map of texts.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "base/name_map.hpp"
#include "signal/store.hpp"

namespace trelm {

class VcdCodeMap {
 public:
  VcdCodeMap();

  [[gnu::always_inline]] std::optional<SignalId> find(std::string_view code) const noexcept {
    size_t direct = direct_index(code);
    if (direct != kNotDirect) {
      uint32_t entry = direct_[direct];
      if (entry != 0) return SignalId{entry - 1};
      if (!direct_overflow_) return std::nullopt;
    }
    if (code.size() - 1 < kMaxPackedLength) return find_packed(pack(code));
    if (code.empty()) return std::nullopt;
    auto it = long_codes_.find(code);
    if (it == long_codes_.end()) return std::nullopt;
    return it->second;
  }
  // Adds code -> id; the code must not be present yet.
  void insert(std::string_view code, SignalId id);

 private:
  static constexpr size_t kMaxPackedLength = 7;
  static constexpr unsigned kFirst = '!', kSpan = '~' - '!' + 1;  // 94 printable characters
  static constexpr size_t kNotDirect = static_cast<size_t>(-1);
  struct Slot {
    uint64_t key = 0;  // 0: empty (a packed key always has a nonzero length byte)
    SignalId id = 0;
  };

  static size_t direct_index(std::string_view code) noexcept {
    if (code.size() == 1) {
      unsigned a = static_cast<unsigned char>(code[0]) - kFirst;
      return a < kSpan ? a : kNotDirect;
    }
    if (code.size() == 2) {
      unsigned a = static_cast<unsigned char>(code[0]) - kFirst;
      unsigned b = static_cast<unsigned char>(code[1]) - kFirst;
      return a < kSpan && b < kSpan ? kSpan + a * kSpan + b : kNotDirect;
    }
    return kNotDirect;
  }
  static uint64_t pack(std::string_view code) noexcept {
    uint64_t key = 0;
    const size_t n = code.size();
    if constexpr (std::endian::native == std::endian::little) {
      // Two overlapping loads cover 2..7 bytes without a loop.
      if (n >= 4) {
        uint32_t low, high;
        std::memcpy(&low, code.data(), 4);
        std::memcpy(&high, code.data() + n - 4, 4);
        key = low | (uint64_t{high} << (8 * (n - 4)));
      } else if (n >= 2) {
        uint16_t low, high;
        std::memcpy(&low, code.data(), 2);
        std::memcpy(&high, code.data() + n - 2, 2);
        key = low | (uint64_t{high} << (8 * (n - 2)));
      } else if (n == 1) {
        key = static_cast<unsigned char>(code[0]);
      }
    } else {
      for (size_t i = 0; i < n; ++i) key |= uint64_t{static_cast<unsigned char>(code[i])} << (8 * i);
    }
    return key | (uint64_t{n} << 56);
  }
  static size_t hash(uint64_t key) noexcept {
    key ^= key >> 33;
    key *= 0xff51afd7ed558ccdull;
    key ^= key >> 33;
    return static_cast<size_t>(key);
  }
  std::optional<SignalId> find_packed(uint64_t key) const noexcept {
    size_t mask = slots_.size() - 1;
    for (size_t i = hash(key) & mask;; i = (i + 1) & mask) {
      const Slot& slot = slots_[i];
      if (slot.key == key) return slot.id;
      if (slot.key == 0) return std::nullopt;
    }
  }
  void grow();

  std::vector<uint32_t> direct_;  // id + 1; 0 for none
  bool direct_overflow_ = false;  // a direct-range code whose id did not fit went to slots_
  std::vector<Slot> slots_;
  size_t packed_count_ = 0;
  NameMap<SignalId> long_codes_;
};

}  // namespace trelm

// Map from VCD identifier code to signal id, the lookup of every value-change
// line. Codes of up to seven bytes (nearly all: simulators hand out the
// shortest codes first) are packed with their length into one integer and
// kept in an open-addressing table; longer codes go to a hash map of texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "base/name_map.hpp"
#include "signal/store.hpp"

namespace trelm {

class VcdCodeMap {
 public:
  VcdCodeMap();

  std::optional<SignalId> find(std::string_view code) const noexcept {
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
  struct Slot {
    uint64_t key = 0;  // 0: empty (a packed key always has a nonzero length byte)
    SignalId id = 0;
  };

  static uint64_t pack(std::string_view code) noexcept {
    uint64_t key = 0;
    for (size_t i = 0; i < code.size(); ++i) key |= uint64_t{static_cast<unsigned char>(code[i])} << (8 * i);
    return key | (uint64_t{code.size()} << 56);
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

  std::vector<Slot> slots_;
  size_t packed_count_ = 0;
  NameMap<SignalId> long_codes_;
};

}  // namespace trelm

#include "formats/vcd/codes.hpp"

#include <string>

namespace trelm {

VcdCodeMap::VcdCodeMap() : direct_(kSpan + kSpan * kSpan, 0), slots_(64) {}

void VcdCodeMap::insert(std::string_view code, SignalId id) {
  if (size_t direct = direct_index(code); direct != kNotDirect) {
    if (id < UINT32_MAX) {
      direct_[direct] = static_cast<uint32_t>(id + 1);
      return;
    }
    direct_overflow_ = true;
  }
  if (code.empty() || code.size() > kMaxPackedLength) {
    long_codes_.emplace(std::string(code), id);
    return;
  }
  // Keep the table at most half full so that probe runs stay short.
  if ((packed_count_ + 1) * 2 > slots_.size()) grow();
  uint64_t key = pack(code);
  size_t mask = slots_.size() - 1;
  size_t i = hash(key) & mask;
  while (slots_[i].key != 0) i = (i + 1) & mask;
  slots_[i] = Slot{key, id};
  ++packed_count_;
}

void VcdCodeMap::grow() {
  std::vector<Slot> old(slots_.size() * 2);
  old.swap(slots_);
  size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.key == 0) continue;
    size_t i = hash(slot.key) & mask;
    while (slots_[i].key != 0) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

}  // namespace trelm

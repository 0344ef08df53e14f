// Compact storage for one signal's runs: start indices as 32-bit numbers
// (64-bit once an index needs it) and values as integers of the smallest
// width that holds every Int seen so far. Values other than Int are marked in
// a per-entry kind list, created only when the first one arrives; Unknown
// needs nothing more, and the rest keep their SignalValue in a side list that
// the slot indexes. A one-bit signal costs 5 bytes per change.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "signal/value.hpp"

namespace trelm {

class PackedStarts {
 public:
  size_t size() const noexcept { return starts64_ ? starts64_->size() : starts32_.size(); }
  bool empty() const noexcept { return size() == 0; }
  uint64_t operator[](size_t k) const noexcept { return starts64_ ? (*starts64_)[k] : starts32_[k]; }
  uint64_t back() const noexcept { return (*this)[size() - 1]; }
  void push_back(uint64_t start) {
    if (size() % kBlock == 0) push_sample(start);
    if (!starts64_ && start <= UINT32_MAX)
      starts32_.push_back(static_cast<uint32_t>(start));
    else
      push_back_wide(start);
  }
  void pop_back() noexcept;
  void clear() noexcept;
  void shrink_to_fit();
  // Room for `n` more starts, grown as appends would grow it.
  void reserve_more(size_t n);
  // Position of the first start greater than `index`.
  size_t upper_bound(uint64_t index) const noexcept;
  // Copies starts first .. first + count - 1 into out (all must exist).
  void read(size_t first, size_t count, uint64_t* out) const noexcept;

  // upper_bound in steps, for look-ups in many columns at once whose cache
  // misses should overlap (see SignalStore::get_many); each step's memory can
  // be prefetched before the next. A block k > 0 holds the starts from
  // position (k - 1) * 64 on; for a non-empty list:
  //   upper_bound(i) == upper_bound_in_block(i, block_after(i, guess_block(i, length)))
  // for any length.
  size_t guess_block(uint64_t index, uint64_t length) const noexcept;
  void prefetch_block_guess(size_t guess) const noexcept;
  // The block that holds the last start <= index, or 0 when there is none.
  size_t block_after(uint64_t index, size_t guess) const noexcept;
  void prefetch_block(size_t block) const noexcept;  // block > 0
  size_t upper_bound_in_block(uint64_t index, size_t block) const noexcept;

 private:
  // Every kBlock-th start, searched first so that a look-up touches a small
  // array and then one block instead of the whole list.
  static constexpr size_t kBlock = 64;
  template <class Starts>
  size_t upper_bound_in_block(const Starts& starts, uint64_t index, size_t block) const noexcept;
  void push_back_wide(uint64_t start);
  void push_sample(uint64_t start);

  // The fields an append touches come first, so that one cache line or two
  // serve a write; the 64-bit starts exist only once an index needs them.
  std::vector<uint32_t> starts32_;
  std::vector<uint64_t> samples_;
  std::unique_ptr<std::vector<uint64_t>> starts64_;
};

class PackedValues {
 public:
  size_t size() const noexcept { return count_; }
  SignalValue get(size_t k) const {
    if (!mixed_) return SignalValue::from_int(slot(k));
    return get_mixed(k);
  }
  ValueKind kind(size_t k) const noexcept {
    return mixed_ ? static_cast<ValueKind>(mixed_->kinds[k]) : ValueKind::Int;
  }
  bool is_unknown(size_t k) const noexcept {
    return mixed_ && static_cast<ValueKind>(mixed_->kinds[k]) == ValueKind::Unknown;
  }
  // For scans: the Int values of entries first .. first + count - 1 (count
  // <= 64, all existing) go to out[0 .. count); bit k of the result is set
  // when entry first + k is an Int (out[k] is unspecified otherwise).
  uint64_t read_ints(size_t first, size_t count, uint64_t* out) const noexcept;
  // Bit-for-bit the same as `value` (see SignalValue::same_representation).
  bool same_representation(size_t k, const SignalValue& value) const noexcept {
    if (!mixed_ || static_cast<ValueKind>(mixed_->kinds[k]) == ValueKind::Int)
      return value.is_int() && slot(k) == value.int_value();
    return same_representation_mixed(k, value);
  }
  void prefetch(size_t k) const noexcept;
  // The last value is the Int `value` (there must be one).
  bool last_is_int(uint64_t value) const noexcept {
    size_t k = count_ - 1;
    return (!mixed_ || static_cast<ValueKind>(mixed_->kinds[k]) == ValueKind::Int) && slot(k) == value;
  }
  void push_back_int(uint64_t value) {
    if (mixed_) mixed_->kinds.push_back(static_cast<uint8_t>(ValueKind::Int));
    push_slot(value);
  }
  void push_back(SignalValue value) {
    if (value.is_int()) {
      if (mixed_) mixed_->kinds.push_back(static_cast<uint8_t>(ValueKind::Int));
      push_slot(value.int_value());
    } else {
      push_back_mixed(std::move(value));
    }
  }
  void pop_back() noexcept;
  void clear() noexcept;
  void shrink_to_fit();
  // Room for `n` more values of the present width, grown as appends would grow it.
  void reserve_more(size_t n);

 private:
  uint64_t slot(size_t k) const noexcept {
    const uint8_t* p = raw_.data() + k * width_;
    switch (width_) {
      case 1: return p[0];
      case 2: {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
      }
      case 4: {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
      }
      default: {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return v;
      }
    }
  }
  void push_slot(uint64_t s) {
    if (s > max_slot_ || (count_ + 1) * width_ > raw_.size()) make_room(s);
    uint8_t* p = raw_.data() + count_ * width_;
    switch (width_) {
      case 1: *p = static_cast<uint8_t>(s); break;
      case 2: {
        uint16_t v = static_cast<uint16_t>(s);
        std::memcpy(p, &v, 2);
        break;
      }
      case 4: {
        uint32_t v = static_cast<uint32_t>(s);
        std::memcpy(p, &v, 4);
        break;
      }
      default: std::memcpy(p, &s, 8); break;
    }
    ++count_;
  }
  SignalValue get_mixed(size_t k) const;
  bool same_representation_mixed(size_t k, const SignalValue& value) const noexcept;
  void push_back_mixed(SignalValue value);
  // Widens the slots for `s` and grows the buffer for one more slot.
  void make_room(uint64_t s);
  void widen_to(unsigned width);
  static unsigned width_for(uint64_t value) noexcept;

  // Slots of width_ bytes, little-endian; the first count_ are in use and the
  // rest is room to grow.
  std::vector<uint8_t> raw_;
  size_t count_ = 0;
  uint64_t max_slot_ = 0xFF;
  unsigned width_ = 1;
  // Present once a value other than Int arrives: one ValueKind per entry, and
  // the values whose payload does not fit a slot.
  struct Mixed {
    std::vector<uint8_t> kinds;
    std::vector<SignalValue> others;
  };
  std::unique_ptr<Mixed> mixed_;
};

}  // namespace trelm

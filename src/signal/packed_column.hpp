// Compact storage for one signal's runs: start indices as 32-bit numbers
// (64-bit once an index needs it) and values as integers of the smallest
// width that holds every Int seen so far. Values other than Int are marked in
// a per-entry kind list, created only when the first one arrives; Unknown
// needs nothing more, and the rest keep their SignalValue in a side list that
// the slot indexes. A one-bit signal costs 5 bytes per change.
#pragma once

#include <cstdint>
#include <vector>

#include "signal/value.hpp"

namespace trelm {

class PackedStarts {
 public:
  size_t size() const noexcept { return wide_ ? starts64_.size() : starts32_.size(); }
  bool empty() const noexcept { return size() == 0; }
  uint64_t operator[](size_t k) const noexcept { return wide_ ? starts64_[k] : starts32_[k]; }
  uint64_t back() const noexcept { return (*this)[size() - 1]; }
  void push_back(uint64_t start);
  void pop_back() noexcept;
  void clear() noexcept;
  void shrink_to_fit();
  // Position of the first start greater than `index`.
  size_t upper_bound(uint64_t index) const noexcept;

 private:
  // Every kBlock-th start, searched first so that a look-up touches a small
  // array and then one block instead of the whole list.
  static constexpr size_t kBlock = 64;
  template <class Starts>
  size_t upper_bound_in(const Starts& starts, uint64_t index) const noexcept;

  std::vector<uint32_t> starts32_;
  std::vector<uint64_t> starts64_;
  std::vector<uint64_t> samples_;
  bool wide_ = false;
};

class PackedValues {
 public:
  size_t size() const noexcept { return count_; }
  SignalValue get(size_t k) const;
  bool is_unknown(size_t k) const noexcept {
    return mixed_ && static_cast<ValueKind>(kinds_[k]) == ValueKind::Unknown;
  }
  // Bit-for-bit the same as `value` (see SignalValue::same_representation).
  bool same_representation(size_t k, const SignalValue& value) const noexcept;
  void push_back(SignalValue value);
  void pop_back() noexcept;
  void clear() noexcept;
  void shrink_to_fit();

 private:
  uint64_t slot(size_t k) const noexcept;
  void widen_to(unsigned width);
  static unsigned width_for(uint64_t value) noexcept;

  std::vector<uint8_t> raw_;  // count_ slots of width_ bytes, little-endian
  std::vector<uint8_t> kinds_;  // one ValueKind per entry once mixed_
  std::vector<SignalValue> others_;
  bool mixed_ = false;
  size_t count_ = 0;
  unsigned width_ = 1;
};

}  // namespace trelm

#include "signal/packed_column.hpp"

#include <algorithm>
#include <cstring>

#include "signal/gallop.hpp"

namespace trelm {

// ---- PackedStarts -----------------------------------------------------------

void PackedStarts::push_sample(uint64_t start) {
  // A column's first run: room for a few more, so that short columns do not
  // reallocate at every doubling from one.
  if (samples_.empty()) starts32_.reserve(8);
  samples_.push_back(start);
}

namespace {

template <class Vector>
void reserve_geometric(Vector& v, size_t need) {
  if (v.capacity() < need) v.reserve(std::max(need, 2 * v.capacity()));
}

}  // namespace

void PackedStarts::reserve_more(size_t n) {
  size_t need = size() + n;
  if (starts64_) reserve_geometric(*starts64_, need);
  else reserve_geometric(starts32_, need);
  reserve_geometric(samples_, need / kBlock + 1);
}

void PackedStarts::push_back_wide(uint64_t start) {
  if (!starts64_) {
    starts64_ = std::make_unique<std::vector<uint64_t>>(starts32_.begin(), starts32_.end());
    starts32_.clear();
    starts32_.shrink_to_fit();
  }
  starts64_->push_back(start);
}

void PackedStarts::pop_back() noexcept {
  if (starts64_)
    starts64_->pop_back();
  else
    starts32_.pop_back();
  if (size() % kBlock == 0) samples_.pop_back();
}

void PackedStarts::clear() noexcept {
  starts32_.clear();
  starts64_.reset();
  samples_.clear();
}

void PackedStarts::shrink_to_fit() {
  starts32_.shrink_to_fit();
  if (starts64_) starts64_->shrink_to_fit();
  samples_.shrink_to_fit();
}

size_t PackedStarts::guess_block(uint64_t index, uint64_t length) const noexcept {
  return even_guess(index, 0, length, samples_.size());
}

void PackedStarts::prefetch_block_guess(size_t guess) const noexcept { __builtin_prefetch(samples_.data() + guess); }

size_t PackedStarts::block_after(uint64_t index, size_t guess) const noexcept {
  return gallop_upper_bound([this](size_t k) { return samples_[k]; }, samples_.size(), index, guess);
}

void PackedStarts::prefetch_block(size_t block) const noexcept {
  // The middle of the block: where its search starts.
  size_t middle = std::min((block - 1) * kBlock + kBlock / 2, size() - 1);
  if (starts64_) __builtin_prefetch(starts64_->data() + middle);
  else __builtin_prefetch(starts32_.data() + middle);
}

template <class Starts>
size_t PackedStarts::upper_bound_in_block(const Starts& starts, uint64_t index, size_t block) const noexcept {
  if (block == 0) return 0;
  size_t first = (block - 1) * kBlock;
  size_t last = std::min(first + kBlock, starts.size());
  auto it = std::upper_bound(starts.begin() + first, starts.begin() + last, index,
                             [](uint64_t value, auto element) { return value < element; });
  return it - starts.begin();
}

size_t PackedStarts::upper_bound_in_block(uint64_t index, size_t block) const noexcept {
  return starts64_ ? upper_bound_in_block(*starts64_, index, block) : upper_bound_in_block(starts32_, index, block);
}

size_t PackedStarts::upper_bound(uint64_t index) const noexcept {
  const size_t n = samples_.size();
  if (n == 0) return 0;
  size_t block = n < 16 ? std::upper_bound(samples_.begin(), samples_.end(), index) - samples_.begin()
                        : block_after(index, even_guess(index, samples_[0], samples_[n - 1], n));
  return upper_bound_in_block(index, block);
}

void PackedStarts::read(size_t first, size_t count, uint64_t* out) const noexcept {
  if (starts64_) {
    std::copy_n(starts64_->data() + first, count, out);
  } else {
    const uint32_t* in = starts32_.data() + first;
    for (size_t k = 0; k < count; ++k) out[k] = in[k];
  }
}

// ---- PackedValues -----------------------------------------------------------

namespace {

// Copies `count` little-endian slots of type Slot to 64-bit values.
template <class Slot>
void widen_slots(const uint8_t* p, size_t count, uint64_t* out) noexcept {
  for (size_t k = 0; k < count; ++k) {
    Slot v;
    std::memcpy(&v, p + sizeof(Slot) * k, sizeof(Slot));
    out[k] = v;
  }
}

}  // namespace

uint64_t PackedValues::read_ints(size_t first, size_t count, uint64_t* out) const noexcept {
  const uint8_t* p = raw_.data() + first * width_;
  switch (width_) {
    case 1: widen_slots<uint8_t>(p, count, out); break;
    case 2: widen_slots<uint16_t>(p, count, out); break;
    case 4: widen_slots<uint32_t>(p, count, out); break;
    default: std::memcpy(out, p, count * 8); break;
  }
  uint64_t all = count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
  if (!mixed_) return all;
  uint64_t ints = 0;
  const uint8_t* kinds = mixed_->kinds.data() + first;
  for (size_t k = 0; k < count; ++k)
    ints |= static_cast<uint64_t>(kinds[k] == static_cast<uint8_t>(ValueKind::Int)) << k;
  return ints;
}

unsigned PackedValues::width_for(uint64_t value) noexcept {
  if (value <= 0xFF) return 1;
  if (value <= 0xFFFF) return 2;
  if (value <= 0xFFFFFFFF) return 4;
  return 8;
}

void PackedValues::make_room(uint64_t s) {
  unsigned need = width_for(s);
  if (need > width_) widen_to(need);
  if ((count_ + 1) * width_ > raw_.size()) raw_.resize(std::max<size_t>(16, raw_.size() * 2));
}

void PackedValues::prefetch(size_t k) const noexcept {
  __builtin_prefetch(raw_.data() + k * width_);
  if (mixed_) __builtin_prefetch(mixed_->kinds.data() + k);
}

void PackedValues::reserve_more(size_t n) {
  size_t need = (count_ + n) * width_;
  if (raw_.size() < need) raw_.resize(std::max(need, 2 * raw_.size()));
  if (mixed_) reserve_geometric(mixed_->kinds, count_ + n);
}

void PackedValues::widen_to(unsigned width) {
  std::vector<uint8_t> raw(std::max<size_t>(16, raw_.size() / width_ * width));
  for (size_t k = 0; k < count_; ++k) {
    uint64_t v = slot(k);
    std::memcpy(raw.data() + k * width, &v, width);  // little-endian host
  }
  raw_.swap(raw);
  width_ = width;
  max_slot_ = width == 8 ? UINT64_MAX : (uint64_t{1} << (8 * width)) - 1;
}

SignalValue PackedValues::get_mixed(size_t k) const {
  uint64_t s = slot(k);
  switch (static_cast<ValueKind>(mixed_->kinds[k])) {
    case ValueKind::Int: return SignalValue::from_int(s);
    case ValueKind::Unknown: return SignalValue::unknown();
    default: return mixed_->others[s];
  }
}

bool PackedValues::same_representation_mixed(size_t k, const SignalValue& value) const noexcept {
  ValueKind kind = static_cast<ValueKind>(mixed_->kinds[k]);
  if (kind != value.kind()) return false;
  switch (kind) {
    case ValueKind::Int: return slot(k) == value.int_value();
    case ValueKind::Unknown: return true;
    default: return mixed_->others[slot(k)].same_representation(value);
  }
}

void PackedValues::push_back_mixed(SignalValue value) {
  ValueKind kind = value.kind();
  if (kind != ValueKind::Int && !mixed_) {
    mixed_ = std::make_unique<Mixed>();
    mixed_->kinds.assign(count_, static_cast<uint8_t>(ValueKind::Int));
  }
  uint64_t s = 0;
  if (kind == ValueKind::Int) {
    s = value.int_value();
  } else if (kind != ValueKind::Unknown) {
    s = mixed_->others.size();
    mixed_->others.push_back(std::move(value));
  }
  if (mixed_) mixed_->kinds.push_back(static_cast<uint8_t>(kind));
  push_slot(s);
}

void PackedValues::pop_back() noexcept {
  --count_;
  if (mixed_) {
    ValueKind kind = static_cast<ValueKind>(mixed_->kinds.back());
    if (kind != ValueKind::Int && kind != ValueKind::Unknown) mixed_->others.pop_back();
    mixed_->kinds.pop_back();
  }
}

void PackedValues::clear() noexcept {
  raw_.clear();
  mixed_.reset();
  count_ = 0;
  width_ = 1;
  max_slot_ = 0xFF;
}

void PackedValues::shrink_to_fit() {
  raw_.resize(count_ * width_);
  raw_.shrink_to_fit();
  if (mixed_) {
    mixed_->kinds.shrink_to_fit();
    mixed_->others.shrink_to_fit();
  }
}

}  // namespace trelm

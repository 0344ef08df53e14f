#include "signal/value.hpp"

#include <new>

namespace trelm {

SignalValue SignalValue::with_payload(ValueKind kind, const void* data, size_t count, size_t element_size) {
  SignalValue v;
  size_t bytes = count * element_size;
  if (bytes <= kInlineBytes) {
    if (bytes) std::memcpy(v.inline_, data, bytes);
    v.count_ = static_cast<uint32_t>(count);
  } else {
    auto* header = static_cast<HeapHeader*>(::operator new(sizeof(HeapHeader) + bytes));
    header->count = count;
    std::memcpy(reinterpret_cast<uint8_t*>(header) + sizeof(HeapHeader), data, bytes);
    v.heap_ = header;
    v.heap_flag_ = 1;
  }
  v.kind_ = kind;
  return v;
}

SignalValue SignalValue::wide(std::span<const uint64_t> words) {
  return with_payload(ValueKind::Wide, words.data(), words.size(), sizeof(uint64_t));
}

SignalValue SignalValue::logic(std::span<const uint8_t> bits) {
  return with_payload(ValueKind::Logic, bits.data(), bits.size(), 1);
}

SignalValue SignalValue::str(std::string_view text) {
  return with_payload(ValueKind::Str, text.data(), text.size(), 1);
}

void SignalValue::copy_from(const SignalValue& other) {
  if (!other.heap_flag_) {
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(SignalValue));
    return;
  }
  size_t element = other.kind_ == ValueKind::Wide ? sizeof(uint64_t) : 1;
  *this = with_payload(other.kind_, other.payload(), other.count(), element);
}

void SignalValue::release_heap() noexcept {
  ::operator delete(heap_);
  heap_flag_ = 0;
}

bool operator==(const SignalValue& a, const SignalValue& b) noexcept {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case ValueKind::Int: return a.int_ == b.int_;
    case ValueKind::Real: return a.real_ == b.real_;
    case ValueKind::Unknown: return true;
    case ValueKind::Wide:
    case ValueKind::Logic:
    case ValueKind::Str: {
      size_t element = a.kind_ == ValueKind::Wide ? sizeof(uint64_t) : 1;
      return a.count() == b.count() && std::memcmp(a.payload(), b.payload(), a.count() * element) == 0;
    }
  }
  return false;
}

bool SignalValue::same_representation(const SignalValue& other) const noexcept {
  if (kind_ == ValueKind::Real && other.kind_ == ValueKind::Real) return int_ == other.int_;
  return *this == other;
}

uint64_t saturating_real_to_u64(double value) noexcept {
  if (!(value > 0.0)) return 0;  // NaN, negatives and zero
  if (value >= 18446744073709551616.0) return UINT64_MAX;
  return static_cast<uint64_t>(value);
}

std::optional<uint64_t> SignalValue::to_u64() const noexcept {
  switch (kind_) {
    case ValueKind::Int: return int_;
    case ValueKind::Wide:
      if (count() == 0) return std::nullopt;
      return wide_words()[0];
    case ValueKind::Logic: {
      auto bits = logic_bits();
      uint64_t v = 0;
      for (uint8_t b : bits)
        if (b > 1) return std::nullopt;
      size_t first = bits.size() > 64 ? bits.size() - 64 : 0;
      for (size_t i = first; i < bits.size(); ++i) v = (v << 1) | bits[i];
      return v;
    }
    case ValueKind::Real: return saturating_real_to_u64(real_);
    case ValueKind::Str: return parse_unsigned_decimal(text());
    case ValueKind::Unknown: return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace trelm

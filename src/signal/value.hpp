// SignalValue: the value of one signal at one sample index.
//
// Six variants: Int (two-state bits packed into 64 bits), Wide (64-bit words,
// integer views read word 0), Logic (one byte per bit, 0/1/2=X/3=Z, most
// significant first), Real, Str (UTF-8 text) and Unknown. The record is 16
// bytes; Int, Real and Unknown carry no heap payload, and Logic/Str payloads of
// up to 8 bytes and Wide values of one word are stored inline as well. Copies
// are deep.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

#include "base/decimal.hpp"

namespace trelm {

enum class ValueKind : uint8_t { Int = 0, Wide = 1, Logic = 2, Real = 3, Str = 4, Unknown = 5 };

inline constexpr uint8_t kLogic0 = 0;
inline constexpr uint8_t kLogic1 = 1;
inline constexpr uint8_t kLogicX = 2;
inline constexpr uint8_t kLogicZ = 3;

class SignalValue {
 public:
  SignalValue() noexcept : int_(0), count_(0), kind_(ValueKind::Unknown), heap_flag_(0) {}
  ~SignalValue() { release(); }

  SignalValue(const SignalValue& other) : SignalValue() { copy_from(other); }
  SignalValue(SignalValue&& other) noexcept { steal(other); }
  SignalValue& operator=(const SignalValue& other) {
    if (this != &other) {
      SignalValue copy(other);
      release();
      steal(copy);
    }
    return *this;
  }
  SignalValue& operator=(SignalValue&& other) noexcept {
    if (this != &other) {
      release();
      steal(other);
    }
    return *this;
  }

  static SignalValue unknown() noexcept { return SignalValue(); }
  static SignalValue from_int(uint64_t value) noexcept {
    SignalValue v;
    v.kind_ = ValueKind::Int;
    v.int_ = value;
    return v;
  }
  static SignalValue from_real(double value) noexcept {
    SignalValue v;
    v.kind_ = ValueKind::Real;
    v.real_ = value;
    return v;
  }
  static SignalValue wide(std::span<const uint64_t> words);
  static SignalValue logic(std::span<const uint8_t> bits);
  static SignalValue str(std::string_view text);

  ValueKind kind() const noexcept { return kind_; }
  bool is_unknown() const noexcept { return kind_ == ValueKind::Unknown; }
  bool is_int() const noexcept { return kind_ == ValueKind::Int; }

  // Payload accessors; each is valid only for its own variant.
  uint64_t int_value() const noexcept { return int_; }
  double real_value() const noexcept { return real_; }
  std::span<const uint64_t> wide_words() const noexcept {
    return {reinterpret_cast<const uint64_t*>(payload()), count()};
  }
  std::span<const uint8_t> logic_bits() const noexcept { return {payload(), count()}; }
  std::string_view text() const noexcept { return {reinterpret_cast<const char*>(payload()), count()}; }

  // The unsigned 64-bit integer view, or nothing when the value has none.
  std::optional<uint64_t> to_u64() const noexcept;

  // Value equality: same variant and equal payload; NaN is unequal to itself,
  // 0.0 equals -0.0, Unknown equals Unknown.
  friend bool operator==(const SignalValue& a, const SignalValue& b) noexcept;

  // Identical representation (bit-for-bit reals): the two are interchangeable
  // in storage, which value equality does not promise for NaN.
  bool same_representation(const SignalValue& other) const noexcept;

 private:
  // Heap payloads start with their element count.
  struct HeapHeader {
    uint64_t count;
  };
  static constexpr size_t kInlineBytes = 8;

  const uint8_t* payload() const noexcept {
    return heap_flag_ ? reinterpret_cast<const uint8_t*>(heap_) + sizeof(HeapHeader) : inline_;
  }
  size_t count() const noexcept { return heap_flag_ ? static_cast<size_t>(heap_->count) : count_; }

  static SignalValue with_payload(ValueKind kind, const void* data, size_t count, size_t element_size);
  void copy_from(const SignalValue& other);
  void release() noexcept {
    if (heap_flag_) release_heap();
  }
  void release_heap() noexcept;
  void steal(SignalValue& other) noexcept {
    std::memcpy(static_cast<void*>(this), static_cast<const void*>(&other), sizeof(SignalValue));
    other.heap_flag_ = 0;
    other.kind_ = ValueKind::Unknown;
  }

  union {
    uint64_t int_;
    double real_;
    HeapHeader* heap_;
    uint8_t inline_[kInlineBytes];
  };
  uint32_t count_;  // element count of an inline payload
  ValueKind kind_;
  uint8_t heap_flag_;
};

static_assert(sizeof(SignalValue) == 16, "SignalValue must stay a 16-byte record");

// Real to unsigned integer, cut toward zero and saturated: NaN and negatives
// give 0, values at or above 2^64 give 2^64 - 1.
uint64_t saturating_real_to_u64(double value) noexcept;

}  // namespace trelm

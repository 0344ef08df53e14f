// The front door's view of one delivered FST change: reals Real, the texts
// of variable-length signals Str, other values by their digits (see
// view_of_digits), with the digits to keep beside the view.
#pragma once

#include <span>
#include <string_view>

#include "signal/exact_value.hpp"
#include "formats/fst/reader.hpp"

namespace trelm {

struct FstExactChange {
  SignalValue view;
  std::string_view kept;  // views the change's bytes
};

inline FstExactChange exact_fst_change(const FstChangeValue& value, FstSignalInfo info) {
  std::string_view bytes(reinterpret_cast<const char*>(value.bytes.data()), value.bytes.size());
  if (value.is_real) return {SignalValue::from_real(value.real), {}};
  if (info.is_var_length()) return {SignalValue::str(bytes), {}};
  if (value.has_int) return {SignalValue::from_int(value.int_value), {}};
  DigitsView digits = view_of_digits(bytes);
  return {std::move(digits.view), digits.keep ? bytes : std::string_view()};
}

}  // namespace trelm

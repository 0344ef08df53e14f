#include "formats/vcd/declarations.hpp"

namespace trelm {

std::string indexed_reference(std::string_view reference, WhiteSpaceSplitter& rest) {
  std::string joined(reference);
  std::string_view part;
  while (rest.next(part) && part.front() == '[') joined.append(part);
  return without_bit_ranges(joined);
}

std::optional<Timescale> parse_timescale(std::string_view text) {
  text = trim_white_space(text);
  size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  std::string_view number = text.substr(0, digits);
  std::string_view unit = trim_white_space(text.substr(digits));
  if (number != "1" && number != "10" && number != "100") return std::nullopt;
  for (std::string_view known : {"s", "ms", "us", "ns", "ps", "fs"})
    if (unit == known) return Timescale{static_cast<uint64_t>(number.size() == 1 ? 1 : number.size() == 2 ? 10 : 100),
                                        std::string(unit)};
  return std::nullopt;
}

SignalKind kind_of_var_type(std::string_view type) noexcept {
  if (type == "real" || type == "realtime") return SignalKind::Real;
  if (type == "string") return SignalKind::String;
  return SignalKind::Bits;
}

}  // namespace trelm

#include "signal/bitpack.hpp"

#include <vector>

namespace trelm {

namespace {

bool is_utf8_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

SignalValue parse_binary_str(std::string_view text) {
  if (!text.empty() && (text.front() == 'b' || text.front() == 'B')) text.remove_prefix(1);
  if (text.empty()) return SignalValue::unknown();

  bool four_state = false;
  for (char c : text) {
    if (c == 'x' || c == 'X' || c == 'z' || c == 'Z') {
      four_state = true;
      break;
    }
  }

  if (!four_state) {
    // Continuation bytes of multi-byte characters belong to a character
    // already counted as a 0 digit.
    uint64_t v = 0;
    for (char c : text) {
      if (is_utf8_continuation(static_cast<unsigned char>(c))) continue;
      v = (v << 1) | (c == '1' ? 1u : 0u);
    }
    return SignalValue::from_int(v);
  }

  std::vector<uint8_t> bits;
  bits.reserve(text.size());
  for (char c : text) {
    if (is_utf8_continuation(static_cast<unsigned char>(c))) continue;
    switch (c) {
      case '0': bits.push_back(kLogic0); break;
      case '1': bits.push_back(kLogic1); break;
      case 'z':
      case 'Z': bits.push_back(kLogicZ); break;
      default: bits.push_back(kLogicX); break;
    }
  }
  return SignalValue::logic(bits);
}

}  // namespace trelm

// parse_binary_str: a text of binary digits (optional leading b/B) to a value.
#pragma once

#include <string_view>

#include "signal/value.hpp"

namespace trelm {

// Never fails. Empty (after the optional b/B) gives Unknown; any x/X/z/Z gives
// Logic with one byte per character; otherwise Int of the last 64 digits, each
// character other than '1' counting as a 0 bit. The text must be valid UTF-8:
// one digit per character.
SignalValue parse_binary_str(std::string_view text);

}  // namespace trelm

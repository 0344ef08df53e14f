// The front door's reading of VCD declarations: names that keep an index
// suffix, the time unit of $timescale, and the kind of a $var type.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "trace/dump_info.hpp"
#include "formats/vcd/text.hpp"

namespace trelm {

// The name of a $var whose reference is `reference` and whose remaining
// parts `rest` yields: the reference joined with the bracketed parts that
// follow it, each bracketed group holding a colon (a bit range) left out.
// "data [7:0]" and "data[7:0]" read "data"; "mem[3]" and "mem [3]" read
// "mem[3]".
std::string indexed_reference(std::string_view reference, WhiteSpaceSplitter& rest);

// A time unit as $timescale writes it ("1ns", "1 ns", "100 ps"): 1, 10 or
// 100 of s, ms, us, ns, ps or fs; nothing for any other text.
std::optional<Timescale> parse_timescale(std::string_view text);

// "real" and "realtime" are reals, "string" strings, every other type bits.
SignalKind kind_of_var_type(std::string_view type) noexcept;

}  // namespace trelm

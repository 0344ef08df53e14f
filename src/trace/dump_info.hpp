// What a front-door load tells about the dump beside the trace: its time
// unit, and the kind and declared type of every listed signal.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trace/load_options.hpp"
#include "trace/record.hpp"

namespace trelm {

enum class SignalKind : uint8_t { Bits, Real, String };

// "bits", "real", "string".
const char* signal_kind_name(SignalKind kind) noexcept;

// The dump's time unit, such as (1, "ns") or (100, "ps").
struct Timescale {
  uint64_t magnitude = 1;
  std::string unit;
};

// The unit of 10^exponent seconds (exponents from -18 to 2), or nothing.
std::optional<Timescale> timescale_from_exponent(int exponent);

struct SignalDeclaration {
  SignalKind kind = SignalKind::Bits;
  std::string var_type;  // the dump's word for the declaration; empty when it has none
};

struct DumpInfo {
  std::optional<Timescale> timescale;
  // One per name of the trace's signal_names(), in that order.
  std::vector<SignalDeclaration> declarations;
};

struct LoadedDump {
  std::unique_ptr<Trace> trace;
  DumpInfo info;
};

// A name as the front door reads it: a bracketed group holding a colon (a
// bit range) is no part of it, and an index group is joined to what comes
// before it across spaces. "data [7:0]" and "data[7:0]" read "data";
// "mem[3]" and "mem [3]" read "mem[3]"; other spaces stay.
std::string without_bit_ranges(std::string_view written);

// Declarations read off the values: kind Real for a signal holding a real,
// String for one holding a text, Bits otherwise; no declared types.
std::vector<SignalDeclaration> declarations_from_values(const Trace& trace);

// The record reduced to the names the options keep (in their order, ids
// renumbered from 0 in order of first use), their columns moved, and the
// scopes that hold a kept name.
TraceRecord keep_signals(TraceRecord record, const LoadOptions& options);

// The scopes of `scopes` (in their order) that are a dotted prefix of one
// of `names`.
std::vector<std::string> scopes_holding(const std::vector<std::string>& scopes, const std::vector<std::string>& names);

}  // namespace trelm

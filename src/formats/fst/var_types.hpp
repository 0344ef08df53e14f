// The words of the FST variable-type codes 0 to 29, as VCD declarations
// write them.
#pragma once

#include <cstdint>

namespace trelm {

inline const char* fst_var_type_name(uint8_t code) noexcept {
  static constexpr const char* kNames[] = {
      "event",  "integer",  "parameter", "real",    "real_parameter", "reg",      "supply0", "supply1",
      "time",   "tri",      "triand",    "trior",   "trireg",         "tri0",     "tri1",    "wand",
      "wire",   "wor",      "port",      "sparray", "realtime",       "string",   "bit",     "logic",
      "int",    "shortint", "longint",   "byte",    "enum",           "shortreal"};
  return code < sizeof kNames / sizeof kNames[0] ? kNames[code] : "";
}

}  // namespace trelm

// Small traces for the query-engine tests, built from dense value lists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "trace/record.hpp"

namespace trelm::testing {

struct TestSignal {
  std::string name;
  SignalId id;
  std::vector<SignalValue> values;  // dense, from index 0; may be shorter than the trace
};

inline std::unique_ptr<RecordTrace> make_trace(const std::vector<TestSignal>& signals, size_t timestamps,
                                               std::vector<std::string> scopes = {}) {
  TraceRecord r;
  for (const auto& s : signals) {
    r.signal_names.push_back(s.name);
    r.name_to_id[s.name] = s.id;
    for (size_t i = 0; i < s.values.size(); ++i) r.store.set(s.id, i, s.values[i]);
  }
  r.scopes = std::move(scopes);
  for (size_t i = 0; i < timestamps; ++i) r.timestamps.push_back(i * 10);
  return std::make_unique<RecordTrace>(std::move(r));
}

inline SignalValue I(uint64_t v) { return SignalValue::from_int(v); }
inline SignalValue R(double v) { return SignalValue::from_real(v); }
inline SignalValue S(std::string_view t) { return SignalValue::str(t); }
inline SignalValue L(std::vector<uint8_t> bits) { return SignalValue::logic(bits); }
inline SignalValue W(std::vector<uint64_t> words) { return SignalValue::wide(words); }
inline SignalValue U() { return SignalValue::unknown(); }

// Same variant and payload, NaN matching NaN: for comparing results.
inline bool identical(const SignalValue& a, const SignalValue& b) {
  if (a.kind() == ValueKind::Real && b.kind() == ValueKind::Real)
    return a.real_value() == b.real_value() || (a.real_value() != a.real_value() && b.real_value() != b.real_value());
  return a == b;
}

}  // namespace trelm::testing

#include "eval/names/snapshot_signals.hpp"

#include <unordered_set>

namespace trelm {

std::vector<NamedSignal> snapshot_signals(const Trace& trace) {
  const auto& names = trace.signal_names();
  std::vector<NamedSignal> out;
  out.reserve(names.size());
  std::unordered_set<std::string_view> seen;
  seen.reserve(names.size());
  for (const std::string& name : names) {
    auto id = trace.signal_id(name);
    if (id && seen.insert(name).second) out.push_back(NamedSignal{name, *id});
  }
  return out;
}

}  // namespace trelm

#include "trace/dump_info.hpp"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace trelm {

const char* signal_kind_name(SignalKind kind) noexcept {
  switch (kind) {
    case SignalKind::Real: return "real";
    case SignalKind::String: return "string";
    case SignalKind::Bits: break;
  }
  return "bits";
}

std::optional<Timescale> timescale_from_exponent(int exponent) {
  static constexpr const char* kUnits[] = {"as", "fs", "ps", "ns", "us", "ms", "s"};
  if (exponent < -18 || exponent > 2) return std::nullopt;
  // The unit of the largest power of a thousand at or below 10^exponent.
  int thousands = exponent >= 0 ? exponent / 3 : -((-exponent + 2) / 3);
  thousands = std::min(thousands, 0);
  int rest = exponent - 3 * thousands;
  uint64_t magnitude = 1;
  for (int i = 0; i < rest; ++i) magnitude *= 10;
  return Timescale{magnitude, kUnits[6 + thousands]};
}

std::string without_bit_ranges(std::string_view written) {
  std::string name;
  name.reserve(written.size());
  for (size_t i = 0; i < written.size();) {
    // Spaces before a bracketed group go with it.
    size_t j = i;
    while (j < written.size() && written[j] == ' ') ++j;
    size_t close = j < written.size() && written[j] == '[' ? written.find(']', j) : std::string_view::npos;
    if (close == std::string_view::npos) {
      name.append(written.substr(i, j > i ? j - i : 1));
      i = j > i ? j : i + 1;
      continue;
    }
    std::string_view group = written.substr(j, close + 1 - j);
    if (group.find(':') == std::string_view::npos) name.append(group);
    i = close + 1;
  }
  return name;
}

std::vector<SignalDeclaration> declarations_from_values(const Trace& trace) {
  const SignalStore& store = trace.store();
  std::unordered_map<SignalId, SignalKind> kinds;
  std::vector<SignalDeclaration> out;
  out.reserve(trace.signal_names().size());
  for (const std::string& name : trace.signal_names()) {
    SignalDeclaration declaration;
    if (auto id = trace.signal_id(name)) {
      auto [it, fresh] = kinds.try_emplace(*id, SignalKind::Bits);
      if (fresh) {
        if (const SignalColumn* column = store.column(*id)) {
          for (size_t k = 0; k < column->run_count(); ++k) {
            ValueKind value = column->run_kind(k);
            if (value == ValueKind::Real || value == ValueKind::Str) {
              it->second = value == ValueKind::Real ? SignalKind::Real : SignalKind::String;
              break;
            }
          }
        }
      }
      declaration.kind = it->second;
    }
    out.push_back(std::move(declaration));
  }
  return out;
}

std::vector<std::string> scopes_holding(const std::vector<std::string>& scopes, const std::vector<std::string>& names) {
  std::vector<std::string_view> sorted(names.begin(), names.end());
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> kept;
  std::string prefix;
  for (const std::string& scope : scopes) {
    prefix.assign(scope).push_back('.');
    auto it = std::lower_bound(sorted.begin(), sorted.end(), std::string_view(prefix));
    if (it != sorted.end() && it->starts_with(prefix)) kept.push_back(scope);
  }
  return kept;
}

TraceRecord keep_signals(TraceRecord record, const LoadOptions& options) {
  if (!options.filters()) return record;
  TraceRecord kept;
  std::unordered_map<SignalId, SignalId> new_ids;
  std::vector<SignalId> old_ids;
  for (std::string& name : record.signal_names) {
    if (!options.keeps(name)) continue;
    auto id = record.name_to_id.find(name);
    if (id != record.name_to_id.end()) {
      auto [it, fresh] = new_ids.try_emplace(id->second, old_ids.size());
      if (fresh) old_ids.push_back(id->second);
      kept.name_to_id.emplace(name, it->second);
    }
    if (auto width = record.widths.find(name); width != record.widths.end()) kept.widths.emplace(name, width->second);
    kept.signal_names.push_back(std::move(name));
  }
  kept.store = std::move(record.store).take_columns(old_ids);
  kept.scopes = scopes_holding(record.scopes, kept.signal_names);
  kept.timestamps = std::move(record.timestamps);
  return kept;
}

}  // namespace trelm

#include "trace/record.hpp"

#include <new>

namespace trelm {

Index RecordTrace::max_index() const noexcept {
  return record_.timestamps.empty() ? 0 : record_.timestamps.size() - 1;
}

uint64_t RecordTrace::timestamp(Index index) const noexcept {
  return index < record_.timestamps.size() ? record_.timestamps[index] : 0;
}

SignalValue RecordTrace::signal_value(std::string_view name, Index index) const {
  auto id = signal_id(name);
  return id ? record_.store.get(*id, index) : SignalValue::unknown();
}

uint64_t RecordTrace::signal_width(std::string_view name) const noexcept {
  auto it = record_.widths.find(name);
  return it == record_.widths.end() ? 1 : it->second;
}

std::optional<SignalId> RecordTrace::signal_id(std::string_view name) const noexcept {
  auto it = record_.name_to_id.find(name);
  if (it == record_.name_to_id.end()) return std::nullopt;
  return it->second;
}

std::vector<SignalValue> RecordTrace::signal_values_range(std::string_view name, Index start, Index end) const {
  auto id = signal_id(name);
  if (id) return record_.store.get_range(*id, start, end);
  std::vector<SignalValue> out;
  if (start >= end) return out;
  // A count no vector can hold is an allocation failure, not a length error.
  if (end - start > out.max_size()) throw std::bad_alloc();
  out.resize(end - start);
  return out;
}

}  // namespace trelm

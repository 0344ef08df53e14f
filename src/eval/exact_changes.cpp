#include "eval/exact_changes.hpp"

#include <algorithm>

#include "eval/change_index.hpp"
#include "signal/column_exact.hpp"

namespace trelm {

namespace {

bool changes_at(const Trace& trace, const std::string& name, SignalId id, Index index) {
  const SignalColumn* column = trace.store().column(id);
  if (column == nullptr) return false;
  ExactRun before = exact_run(column, column->run_at(index - 1));
  ExactRun here = exact_run(column, column->run_at(index));
  return !exact_equal(before.view, before.kept, here.view, here.kept, trace.signal_width(name));
}

}  // namespace

std::vector<size_t> exact_changes_at(const Trace& trace, Index index) {
  std::vector<size_t> out;
  if (index == 0) return out;
  const std::vector<std::string>& names = trace.signal_names();
  std::shared_ptr<const ChangeIndex> listed = ChangeIndex::of(trace);
  if (listed && listed->covers(index)) {
    // Only columns with a run boundary here can change.
    std::vector<uint32_t> slots;
    listed->candidates(index, slots);
    for (uint32_t s : slots) {
      const ChangeIndex::Slot& slot = listed->slot(s);
      for (uint32_t n = 0; n < slot.position_count; ++n) {
        size_t position = listed->positions()[slot.first_position + n];
        if (changes_at(trace, names[position], slot.id, index)) out.push_back(position);
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  for (size_t k = 0; k < names.size(); ++k) {
    auto id = trace.signal_id(names[k]);
    if (id && changes_at(trace, names[k], *id, index)) out.push_back(k);
  }
  return out;
}

}  // namespace trelm

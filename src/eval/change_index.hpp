// ChangeIndex: for every sample index, the signals that may change there, so
// that changed_at probes a handful of columns instead of every signal.
//
// A column's value can differ between index - 1 and index only where one of
// its runs starts, where its list ends (the Unknown tail begins), or anywhere
// inside a NaN run (NaN is unequal to itself). The index lists the first two
// per index, about 2 or 4 bytes per value change, and keeps the columns that
// hold a NaN aside to be probed at every index. The candidates are therefore
// a superset of the changes; the caller still compares the two values.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "trace/trace.hpp"

namespace trelm {

class ChangeIndex {
 public:
  // A column behind one or more names, with every position in signal_names
  // that resolves to it.
  struct Slot {
    SignalId id;
    const SignalColumn* column;
    uint32_t first_position;  // into positions()
    uint32_t position_count;
  };

  // The index kept with `trace`, built on the first call (callers may run at
  // the same time: one builds, the others wait). nullptr when the trace is
  // too large for the index's counters; callers then probe every signal.
  static std::shared_ptr<const ChangeIndex> of(const Trace& trace);
  // A fresh index, not kept; nullptr as for of().
  static std::shared_ptr<const ChangeIndex> build(const Trace& trace);

  // Indices 1 .. covered_end() - 1 are listed; others need the full probe.
  Index covered_end() const noexcept { return covered_end_; }
  bool covers(Index index) const noexcept { return index >= 1 && index < covered_end_; }

  // Appends the slot of every column that may change at a covered index
  // (the NaN-holding ones included), in no particular order.
  void candidates(Index index, std::vector<uint32_t>& slots) const;

  const Slot& slot(uint32_t k) const noexcept { return slots_[k]; }
  const std::vector<uint32_t>& positions() const noexcept { return positions_; }

 private:
  template <class Entry>
  void fill(std::vector<Entry>& entries, const std::vector<uint32_t>& listed, uint64_t boundaries);

  std::vector<Slot> slots_;
  std::vector<uint32_t> positions_;
  std::vector<uint32_t> nan_slots_;
  Index covered_end_ = 0;
  // Entries of index i: offsets_[i] .. offsets_[i + 1]; one entry list is
  // used, 16-bit slot numbers when they fit.
  std::vector<uint32_t> offsets_;
  std::vector<uint16_t> narrow_;
  std::vector<uint32_t> wide_;
};

}  // namespace trelm

// StagedStore: Int values by signal and index with the exact semantics of
// SignalStore's set and forward_fill, for scanners that write batch after batch
// into lists already carried forward (later FSDB value blocks, later SHM
// transition files). Each batch is merged into a signal's runs in one pass, and
// the carry of signals a batch does not touch is deferred, so no batch pays for
// every signal or for one run copy per write.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "signal/store.hpp"

namespace trelm {

class StagedStore {
 public:
  struct Write {
    SignalId id;
    Index index;
    uint64_t value;
  };

  // Equal to SignalStore::set(id, index, Int(value)) for each write in order.
  void set_many(std::vector<Write> writes);
  // Equal to SignalStore::forward_fill_through(count).
  void fill_through(Index count);
  // Int(0) at index 0 for every id below `count` that reads Unknown there.
  void zero_unknown_starts(SignalId count);

  // The values as a SignalStore (every deferred carry applied).
  SignalStore finish() &&;

  // Elements moved so far (runs merged and writes applied), for work bounds.
  uint64_t work() const noexcept { return work_; }

 private:
  struct Run {
    Index start;
    uint64_t value;
    bool known;
  };
  struct Column {
    std::vector<Run> runs;  // ascending starts; positions before the first read Unknown
    Index length = 0;
    uint64_t epoch = 0;  // fills issued when the column was last brought up to date
  };
  struct Entry {
    Index index;
    uint64_t value;
  };

  static void sort_writes(std::vector<Write>& writes);
  Column& column(SignalId id);
  void realize_fill(Column& c);
  void merge(Column& c, const std::vector<Entry>& entries);
  static void emit(std::vector<Run>& out, Index start, uint64_t value, bool known);

  std::vector<Column> columns_;
  // Fills issued so far, and the ones not dominated by a later larger or equal
  // one as (epoch, count) with counts descending: the largest count issued at
  // or after an epoch is the first entry from that epoch on.
  uint64_t fills_issued_ = 0;
  std::vector<std::pair<uint64_t, Index>> dominant_fills_;
  SignalId zeroed_ = 0;
  uint64_t work_ = 0;
};

}  // namespace trelm

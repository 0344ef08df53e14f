// FstChangeWriter: writes the value changes of an FST file into a store.
//
// The result is that of writing every change with set, in delivery order,
// and then calling forward_fill_through(timestamp count). On an ascending
// time table it gets there without rewriting any column: each signal's
// changes arrive at non-decreasing indices, so the writer holds back each
// signal's latest change until a later index arrives, carries the signal's
// previous value up to it (carry_forward) and appends it; at the end it
// carries every signal to the last index. A written Unknown would be
// replaced by the fill with the value before it, so it only cancels a
// held-back change at its own index. A table that does not ascend (only a
// damaged file has one) sends changes back in time: those are collected and
// written with set_many and one forward_fill_through.
#pragma once

#include <cstdint>
#include <vector>

#include "signal/store.hpp"

namespace trelm {

class FstChangeWriter {
 public:
  FstChangeWriter(SignalStore& store, const std::vector<uint64_t>& timestamps);

  // The change at `time`, at the last index whose time is not after it (0
  // before the first); nothing when there are no time stamps. `hint` is a
  // position where the time may stand in the table; the search starts there
  // when it does.
  void write(SignalId id, uint64_t time, SignalValue value, uint64_t hint = UINT64_MAX);
  // Call once after the last write.
  void finish();

 private:
  struct Held {
    Index index = 0;
    SignalValue value;
    bool active = false;
  };

  Index index_of(uint64_t time, uint64_t hint);
  void write_at(SignalId id, Index index, SignalValue value);
  void flush(SignalId id, Held& held);

  SignalStore& store_;
  const std::vector<uint64_t>& timestamps_;
  bool ascending_;
  std::vector<Held> held_;
  std::vector<SignalStore::Write> unordered_;
  Index last_ = 0;
};

}  // namespace trelm

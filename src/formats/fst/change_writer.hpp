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
//
// A change may come with digits to keep beside its value (see
// SignalColumn::carry_and_set). An exact writer, which is given such
// changes, writes a table that does not ascend by sorting its changes and
// appending them, so that the digits go through the append path too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "signal/store.hpp"

namespace trelm {

class FstChangeWriter {
 public:
  FstChangeWriter(SignalStore& store, const std::vector<uint64_t>& timestamps, bool exact = false);

  // The change at `time`, at the last index whose time is not after it (0
  // before the first); nothing when there are no time stamps. `hint` is a
  // position where the time may stand in the table; the search starts there
  // when it does. `digits` go beside the value (an exact writer's only).
  void write(SignalId id, uint64_t time, SignalValue value, uint64_t hint = UINT64_MAX,
             std::string_view digits = {});
  // Call once after the last write.
  void finish();

  // Whether the time table ascends (repeats allowed): then Run may be used
  // alongside write.
  bool ascending() const noexcept { return ascending_; }
  // Makes room for ids below `count`, in the writer and in the store, so
  // that Runs of distinct ids may then be written on several threads at once.
  void prepare_ids(SignalId count);

  // On an ascending table: a run of one id's changes at the indices write
  // would find for them (id below the prepared count), not decreasing from
  // run to run of the id, for callers that leave out every change that a
  // later one of the run at the same index replaces. The changes below
  // `settled_end`, where no later change of the id lands, go to the store at
  // once; the others are held back as write holds them. The result is that
  // of write for every change.
  class Run {
   public:
    Run(FstChangeWriter& writer, SignalId id, Index settled_end) noexcept
        : writer_(writer), id_(id), settled_end_(settled_end) {}
    void add(Index index, SignalValue value, std::string_view digits = {}) {
      if (!started_) {
        started_ = true;
        writer_.settle(id_, index);
      }
      if (index >= settled_end_) return writer_.write_at(id_, index, std::move(value), digits);
      if (value.is_unknown()) return;
      column().carry_and_set(index, std::move(value), digits);
    }
    // add(index, Int(value)).
    void add_int(Index index, uint64_t value) {
      if (!started_ || index >= settled_end_) [[unlikely]]
        return add(index, SignalValue::from_int(value));
      column().carry_and_set_int(index, value);
    }

   private:
    // Taken at the first write, so that an id whose changes all vanish stays
    // unwritten, as with write.
    SignalColumn& column() {
      if (!column_) column_ = &writer_.store_.column_for_append(id_);
      return *column_;
    }

    FstChangeWriter& writer_;
    SignalId id_;
    Index settled_end_;
    SignalColumn* column_ = nullptr;
    bool started_ = false;
  };

  // Releases the slack of id's column (SignalStore::shrink_columns); threads
  // may do so for distinct ids, each best on the thread that wrote the id.
  void release_slack(SignalId id) { store_.shrink_columns(id, id + 1); }

 private:
  struct Held {
    Index index = 0;
    SignalValue value;
    std::string digits;
    bool active = false;
  };
  struct ExactWrite {
    SignalId id;
    Index index;
    SignalValue value;
    std::string digits;
  };

  Index index_of(uint64_t time, uint64_t hint);
  void write_at(SignalId id, Index index, SignalValue value, std::string_view digits = {}) {
    if (id >= held_.size()) held_.resize(id + 1);
    Held& held = held_[id];
    if (held.active && held.index != index) {
      if (index < held.index) [[unlikely]] {
        // Not reachable: the reader delivers each signal's changes in time
        // order, and on an ascending table that means ascending indices. The
        // store stays valid all the same.
        flush(id, held);
        store_.column_for_append(id).carry_and_set(index, std::move(value), digits);
        return;
      }
      flush(id, held);
    }
    if (value.is_unknown()) [[unlikely]] {
      held.active = false;
      return;
    }
    held.index = index;
    held.value = std::move(value);
    held.digits.assign(digits);
    held.active = true;
  }
  // Before writing at `index`: drops a held-back change there (the new one
  // replaces it) and writes one held back before it.
  void settle(SignalId id, Index index) {
    Held& held = held_[id];
    if (!held.active) return;
    if (held.index == index) {
      held.active = false;
      held.value = SignalValue::unknown();
    } else {
      flush(id, held);
    }
  }
  void flush(SignalId id, Held& held) {
    store_.column_for_append(id).carry_and_set(held.index, std::move(held.value), held.digits);
    held.active = false;
  }
  // An exact writer's changes on a table that does not ascend, in order.
  void append_sorted(std::vector<ExactWrite> writes);

  SignalStore& store_;
  const std::vector<uint64_t>& timestamps_;
  bool ascending_;
  bool exact_;
  std::vector<Held> held_;
  std::vector<SignalStore::Write> unordered_;
  std::vector<ExactWrite> unordered_exact_;
  Index last_ = 0;
};

}  // namespace trelm

// SignalStore: every value of every signal of one trace, by signal id and
// sample index.
//
// The contract is that of a dense list per signal (one value per index from 0
// to the last written or filled index; unwritten positions read Unknown), but
// the representation is a list of runs per signal: the index where a value
// starts, the value, and the dense list's length. Memory grows with the number
// of value changes, never with signals x indices.
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "signal/kept_digits.hpp"
#include "signal/packed_column.hpp"
#include "signal/value.hpp"

namespace trelm {

using SignalId = uint64_t;
using Index = uint64_t;

inline constexpr Index kIndexEnd = std::numeric_limits<Index>::max();

// One signal's dense list, kept as runs: run k covers [run_start(k),
// run_start(k + 1)), the last run ends at length(). Positions before the first
// run and at or after length() read Unknown.
class SignalColumn {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  Index length() const noexcept { return length_; }
  size_t run_count() const noexcept { return starts_.size(); }
  Index run_start(size_t k) const noexcept { return starts_[k]; }
  Index run_end(size_t k) const noexcept { return k + 1 < starts_.size() ? starts_[k + 1] : length_; }
  SignalValue run_value(size_t k) const { return values_.get(k); }
  bool run_is_unknown(size_t k) const noexcept { return values_.is_unknown(k); }
  ValueKind run_kind(size_t k) const noexcept { return values_.kind(k); }
  // The digits kept beside run k's value where the value cannot hold them
  // (see exact_value.hpp); empty where it holds them all.
  std::string_view run_digits(size_t k) const noexcept { return kept_ ? kept_->of(k) : std::string_view(); }
  // Bulk read for scans, of runs first .. first + count - 1 (1 <= count <=
  // 64, all existing): their starts go to starts[0 .. count) and the end of the last
  // to starts[count]; their Int values to values[0 .. count). Bit k of the
  // result is set when run first + k holds an Int.
  uint64_t read_runs(size_t first, size_t count, Index* starts, uint64_t* values) const noexcept {
    starts_.read(first, count, starts);
    starts[count] = run_end(first + count - 1);
    return values_.read_ints(first, count, values);
  }
  // The run covering `index`, or npos when the index reads Unknown implicitly
  // (before the first run or at/after the length).
  size_t run_at(Index index) const noexcept;

  // For readers that write one signal's changes in ascending index order:
  // SignalStore::carry_forward(id, index - 1) and then set(id, index, value)
  // on this column (see SignalStore::column_for_append).
  void carry_and_set(Index index, SignalValue value) {
    if (index > 0) carry_to(index - 1);
    set(index, std::move(value));
  }
  // The same with the digits to keep beside the value (none when empty): a
  // run and the next merge only when both their values and digits agree.
  void carry_and_set(Index index, SignalValue value, std::string_view digits) {
    if (index > 0) carry_to(index - 1);
    set(index, std::move(value), digits);
  }
  // The same for an Int value, without building a SignalValue: an index at
  // the end of the list either extends its last run or starts a new one.
  void carry_and_set_int(Index index, uint64_t value) {
    if (index > 0) carry_to(index - 1);
    if (index != length_ || values_.size() == 0) return set(index, SignalValue::from_int(value));
    if (!values_.last_is_int(value)) {
      starts_.push_back(index);
      values_.push_back_int(value);
    }
    length_ = index + 1;
  }

 private:
  friend class SignalStore;
  void append_run(Index start, SignalValue value, std::string_view digits = {}) {
    size_t n = values_.size();
    // Equal neighbours merge; a leading Unknown is implicit.
    if (n ? values_.same_representation(n - 1, value) && run_digits(n - 1) == digits : value.is_unknown()) return;
    if (!digits.empty()) keep_digits(n, digits);
    starts_.push_back(start);
    values_.push_back(std::move(value));
  }
  void keep_digits(size_t run, std::string_view digits);
  void pop_run() noexcept;
  // The runs unpacked, for the rare edits that rewrite the middle.
  struct Runs;
  Runs unpack() const;
  void clear_runs() noexcept;
  void set(Index index, SignalValue value, std::string_view digits = {}) {
    if (index < length_) return set_inside(index, std::move(value), digits);
    if (index > length_) append_run(length_, SignalValue::unknown());
    append_run(index, std::move(value), digits);
    length_ = index + 1;
  }
  void set_inside(Index index, SignalValue value, std::string_view digits);
  void fill_through(Index count);
  void carry_to(Index index) noexcept {
    if (length_ <= index && values_.size() && !values_.is_unknown(values_.size() - 1)) length_ = index + 1;
  }
  void shrink_to_fit();
  void reserve_more(size_t runs) {
    starts_.reserve_more(runs);
    values_.reserve_more(runs);
  }

  Index length_ = 0;
  PackedStarts starts_;
  PackedValues values_;
  std::unique_ptr<KeptDigits> kept_;  // made for the first run with digits
};

class SignalStore {
 public:
  struct Write {
    SignalId id;
    Index index;
    SignalValue value;
  };

  SignalStore() = default;
  SignalStore(SignalStore&&) noexcept = default;
  SignalStore& operator=(SignalStore&&) noexcept = default;
  SignalStore(const SignalStore&) = delete;
  SignalStore& operator=(const SignalStore&) = delete;

  // The value of signal `id` at `index` becomes `value`; the list grows with
  // Unknown up to `index` when it is shorter.
  void set(SignalId id, Index index, SignalValue value) { column_for_write(id).set(index, std::move(value)); }
  // The same as calling set for each write in order, in any order of ids and
  // indices (later writes of one position win), at the cost of one sort.
  void set_many(std::vector<Write> writes);

  SignalValue get(SignalId id, Index index) const;
  // out[k] = get(ids[k], index) for every k, with the look-ups of many
  // columns interleaved so that their cache misses overlap.
  void get_many(std::span<const SignalId> ids, Index index, std::span<SignalValue> out) const;
  // Exactly end - start values (none when start >= end).
  std::vector<SignalValue> get_range(SignalId id, Index start, Index end) const;

  // Carries every signal's value at index-1 into `index` where `index` holds
  // no value (absent or Unknown); an Unknown at index-1 is not carried and a
  // list ending before index-1 is not extended.
  void forward_fill(Index index);
  // forward_fill(1), forward_fill(2), ..., forward_fill(count - 1), in one pass.
  void forward_fill_through(Index count);

  // For readers that write in ascending index order and fill each index
  // before writing it: forward_fill(length) ... forward_fill(index) restricted
  // to this signal. Under that discipline, calling carry_forward before each
  // write and carry_all_forward(last index) at the end equals calling
  // forward_fill at every index.
  void carry_forward(SignalId id, Index index) {
    if (id < columns_.size() && columns_[id].present) columns_[id].column.carry_to(index);
  }
  void carry_all_forward(Index index);

  // The column of `id` for a reader that writes it through carry_and_set;
  // the id counts as written from then on.
  SignalColumn& column_for_append(SignalId id) { return column_for_write(id); }

  // Read access for scans; nullptr for an id that was never written.
  const SignalColumn* column(SignalId id) const noexcept {
    return id < columns_.size() && columns_[id].present ? &columns_[id].column : nullptr;
  }
  // Makes room for ids below `count` up front, so that threads may then write
  // distinct columns at the same time (no write touches another column).
  void prepare_ids(SignalId count) {
    if (count > columns_.size()) grow_to(count - 1);
  }
  // Room for `runs` more runs of signal `id`, which is then written. With
  // the room made on one thread, other threads writing distinct columns
  // append without allocating, and the memory stays in one place.
  void reserve_runs(SignalId id, size_t runs) { column_for_write(id).reserve_more(runs); }
  // A store whose column k is this store's column ids[k] (distinct ids), moved out (an id
  // never written stays unwritten); this store is left empty.
  SignalStore take_columns(std::span<const SignalId> ids) &&;
  // Releases slack capacity after loading.
  void shrink_to_fit();
  // The same for the columns of ids in [first, last) only (the list of
  // columns keeps its capacity), so that threads can share the work.
  void shrink_columns(SignalId first, SignalId last);

 private:
  struct Slot {
    bool present = false;
    SignalColumn column;
  };
  SignalColumn& column_for_write(SignalId id) {
    if (id >= columns_.size()) grow_to(id);
    columns_[id].present = true;
    return columns_[id].column;
  }
  void grow_to(SignalId id);
  std::vector<Slot> columns_;
};

}  // namespace trelm

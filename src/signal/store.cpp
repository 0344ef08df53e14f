#include "signal/store.hpp"

#include <algorithm>

#include "signal/run_cursor.hpp"

namespace trelm {

// ---- SignalColumn -----------------------------------------------------------

struct SignalColumn::Runs {
  std::vector<Index> starts;
  std::vector<SignalValue> values;
  std::vector<std::string> digits;  // one per run when the column keeps digits, else none

  std::string_view digits_of(size_t k) const noexcept { return digits.empty() ? std::string_view() : digits[k]; }
};

SignalColumn::Runs SignalColumn::unpack() const {
  Runs runs;
  runs.starts.reserve(starts_.size() + 2);
  runs.values.reserve(starts_.size() + 2);
  for (size_t i = 0; i < starts_.size(); ++i) {
    runs.starts.push_back(starts_[i]);
    runs.values.push_back(values_.get(i));
  }
  if (kept_)
    for (size_t i = 0; i < starts_.size(); ++i) runs.digits.emplace_back(kept_->of(i));
  return runs;
}

void SignalColumn::clear_runs() noexcept {
  starts_.clear();
  values_.clear();
  if (kept_) kept_->clear();
}

size_t SignalColumn::run_at(Index index) const noexcept {
  if (index >= length_ || starts_.empty() || index < starts_[0]) return npos;
  return starts_.upper_bound(index) - 1;
}

void SignalColumn::keep_digits(size_t run, std::string_view digits) {
  if (!kept_) kept_ = std::make_unique<KeptDigits>();
  kept_->push(run, digits);
}

void SignalColumn::pop_run() noexcept {
  starts_.pop_back();
  values_.pop_back();
  if (kept_) kept_->drop_from(starts_.size());
}

void SignalColumn::set_inside(Index index, SignalValue value, std::string_view digits) {
  size_t k = run_at(index);
  if (k != npos && values_.same_representation(k, value) && run_digits(k) == digits) return;
  if (k == npos && value.is_unknown()) return;

  if (k != npos && k + 1 == starts_.size()) {
    // Inside the last run: cut it around the position.
    SignalValue old = values_.get(k);
    std::string old_digits(run_digits(k));
    if (starts_[k] == index) pop_run();
    append_run(index, std::move(value), digits);
    if (index + 1 < length_) append_run(index + 1, std::move(old), old_digits);
    return;
  }

  // Elsewhere: rebuild the runs with the one position replaced.
  Runs runs = unpack();
  Index run_end = k == npos ? (starts_.empty() ? length_ : starts_[0]) : this->run_end(k);
  SignalValue old = k == npos ? SignalValue::unknown() : runs.values[k];
  std::string old_digits(k == npos ? std::string_view() : runs.digits_of(k));
  std::string new_digits(digits);  // `digits` may view this column's own digits
  size_t keep_before = k == npos ? 0 : k;
  size_t resume = k == npos ? 0 : k + 1;
  Index run_begin = k == npos ? 0 : runs.starts[k];
  clear_runs();
  for (size_t i = 0; i < keep_before; ++i) append_run(runs.starts[i], std::move(runs.values[i]), runs.digits_of(i));
  if (run_begin < index) append_run(run_begin, old, old_digits);
  append_run(index, std::move(value), new_digits);
  if (index + 1 < run_end) append_run(index + 1, std::move(old), old_digits);
  for (size_t i = resume; i < runs.starts.size(); ++i)
    append_run(runs.starts[i], std::move(runs.values[i]), runs.digits_of(i));
}

void SignalColumn::fill_through(Index count) {
  // Within [0, count) a known value carries over later Unknown positions, and
  // the list then reaches at least `count`; from `count` on it keeps what it had.
  size_t known = 0;
  while (known < starts_.size() && starts_[known] < count && values_.is_unknown(known)) ++known;
  if (known == starts_.size() || starts_[known] >= count) return;

  bool has_unknown_to_cover = false;
  for (size_t k = known; k < starts_.size() && starts_[k] < count; ++k) has_unknown_to_cover |= values_.is_unknown(k);
  size_t at_count = count < length_ ? run_at(count) : npos;
  bool restore = at_count != npos && starts_[at_count] < count;
  if (!has_unknown_to_cover && !restore) {
    length_ = std::max(length_, count);
    return;
  }

  Runs runs = unpack();
  SignalValue old_at_count = restore ? runs.values[at_count] : SignalValue::unknown();
  std::string old_digits_at_count(restore ? runs.digits_of(at_count) : std::string_view());
  clear_runs();
  bool carrying = false;
  size_t k = 0;
  for (; k < runs.starts.size() && runs.starts[k] < count; ++k) {
    if (runs.values[k].is_unknown() && carrying) continue;
    carrying = carrying || !runs.values[k].is_unknown();
    append_run(runs.starts[k], std::move(runs.values[k]), runs.digits_of(k));
  }
  if (restore) append_run(count, std::move(old_at_count), old_digits_at_count);
  for (; k < runs.starts.size(); ++k) append_run(runs.starts[k], std::move(runs.values[k]), runs.digits_of(k));
  length_ = std::max(length_, count);
}

void SignalColumn::shrink_to_fit() {
  starts_.shrink_to_fit();
  values_.shrink_to_fit();
  if (kept_) kept_->shrink_to_fit();
}

// ---- SignalStore ------------------------------------------------------------

void SignalStore::grow_to(SignalId id) { columns_.resize(id + 1); }

void SignalStore::set_many(std::vector<Write> writes) {
  std::stable_sort(writes.begin(), writes.end(), [](const Write& a, const Write& b) {
    return a.id != b.id ? a.id < b.id : a.index < b.index;
  });
  for (auto& w : writes) set(w.id, w.index, std::move(w.value));
}

SignalValue SignalStore::get(SignalId id, Index index) const {
  const SignalColumn* c = column(id);
  if (!c) return SignalValue::unknown();
  size_t k = c->run_at(index);
  return k == SignalColumn::npos ? SignalValue::unknown() : c->run_value(k);
}

void SignalStore::get_many(std::span<const SignalId> ids, Index index, std::span<SignalValue> out) const {
  constexpr size_t kBatch = 64;
  const SignalColumn* columns[kBatch];
  size_t positions[kBatch];
  for (size_t begin = 0; begin < ids.size(); begin += kBatch) {
    const size_t n = std::min(kBatch, ids.size() - begin);
    for (size_t j = 0; j < n; ++j) {
      const SignalColumn* c = column(ids[begin + j]);
      if (c && (index >= c->length_ || c->starts_.empty())) c = nullptr;
      columns[j] = c;
      if (c) {
        positions[j] = c->starts_.guess_block(index, c->length_);
        c->starts_.prefetch_block_guess(positions[j]);
      }
    }
    for (size_t j = 0; j < n; ++j) {
      const SignalColumn* c = columns[j];
      if (!c) continue;
      positions[j] = c->starts_.block_after(index, positions[j]);
      if (positions[j] == 0) columns[j] = nullptr;  // before the first run
      else c->starts_.prefetch_block(positions[j]);
    }
    for (size_t j = 0; j < n; ++j) {
      const SignalColumn* c = columns[j];
      if (!c) continue;
      positions[j] = c->starts_.upper_bound_in_block(index, positions[j]) - 1;
      c->values_.prefetch(positions[j]);
    }
    for (size_t j = 0; j < n; ++j)
      out[begin + j] = columns[j] ? columns[j]->values_.get(positions[j]) : SignalValue::unknown();
  }
}

std::vector<SignalValue> SignalStore::get_range(SignalId id, Index start, Index end) const {
  std::vector<SignalValue> out;
  if (start >= end) return out;
  out.reserve(end - start);
  RunCursor cursor(*this, id);
  for (Index i = start; i < end; ++i) out.push_back(cursor.at(i));
  return out;
}

void SignalStore::forward_fill(Index index) {
  if (index == 0) return;
  for (size_t id = 0; id < columns_.size(); ++id) {
    if (!columns_[id].present) continue;
    SignalColumn& c = columns_[id].column;
    if (index - 1 >= c.length()) continue;
    size_t prev = c.run_at(index - 1);
    if (prev == SignalColumn::npos || c.run_is_unknown(prev)) continue;
    size_t here = c.run_at(index);
    if (index < c.length() && here != SignalColumn::npos && !c.run_is_unknown(here)) continue;
    c.set(index, c.run_value(prev));
  }
}

void SignalStore::forward_fill_through(Index count) {
  for (auto& slot : columns_)
    if (slot.present) slot.column.fill_through(count);
}

void SignalStore::carry_all_forward(Index index) {
  for (auto& slot : columns_)
    if (slot.present) slot.column.carry_to(index);
}

SignalStore SignalStore::take_columns(std::span<const SignalId> ids) && {
  SignalStore taken;
  taken.columns_.resize(ids.size());
  for (size_t k = 0; k < ids.size(); ++k)
    if (ids[k] < columns_.size()) taken.columns_[k] = std::move(columns_[ids[k]]);
  columns_.clear();
  return taken;
}

void SignalStore::shrink_columns(SignalId first, SignalId last) {
  for (SignalId id = first; id < last && id < columns_.size(); ++id) columns_[id].column.shrink_to_fit();
}

void SignalStore::shrink_to_fit() {
  columns_.shrink_to_fit();
  for (auto& slot : columns_) slot.column.shrink_to_fit();
}

}  // namespace trelm

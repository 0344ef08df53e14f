#include "formats/fst/change_writer.hpp"

#include <algorithm>

namespace trelm {

FstChangeWriter::FstChangeWriter(SignalStore& store, const std::vector<uint64_t>& timestamps, bool exact)
    : store_(store),
      timestamps_(timestamps),
      ascending_(std::is_sorted(timestamps.begin(), timestamps.end())),
      exact_(exact) {}

void FstChangeWriter::write(SignalId id, uint64_t time, SignalValue value, uint64_t hint, std::string_view digits) {
  if (timestamps_.empty()) return;
  Index index = index_of(time, hint);
  if (ascending_) write_at(id, index, std::move(value), digits);
  else if (exact_) unordered_exact_.push_back(ExactWrite{id, index, std::move(value), std::string(digits)});
  else unordered_.push_back(SignalStore::Write{id, index, std::move(value)});
}

// Of each position's writes the last counts; an Unknown one leaves the
// position to the value carried from before, as the fill does.
void FstChangeWriter::append_sorted(std::vector<ExactWrite> writes) {
  std::stable_sort(writes.begin(), writes.end(), [](const ExactWrite& a, const ExactWrite& b) {
    return a.id != b.id ? a.id < b.id : a.index < b.index;
  });
  for (size_t i = 0; i < writes.size(); ++i) {
    ExactWrite& w = writes[i];
    bool superseded = i + 1 < writes.size() && writes[i + 1].id == w.id && writes[i + 1].index == w.index;
    if (superseded || w.value.is_unknown()) continue;
    store_.column_for_append(w.id).carry_and_set(w.index, std::move(w.value), w.digits);
  }
  if (!timestamps_.empty()) store_.carry_all_forward(timestamps_.size() - 1);
}

void FstChangeWriter::prepare_ids(SignalId count) {
  if (count > held_.size()) held_.resize(count);
  store_.prepare_ids(count);
}

void FstChangeWriter::finish() {
  for (SignalId id = 0; id < held_.size(); ++id)
    if (held_[id].active) flush(id, held_[id]);
  held_.clear();
  held_.shrink_to_fit();
  if (!timestamps_.empty()) store_.carry_all_forward(timestamps_.size() - 1);
  if (!unordered_exact_.empty()) append_sorted(std::move(unordered_exact_));
  if (unordered_.empty()) return;

  // Only the last write of each position counts; dropping the others keeps
  // set_many from rewriting a column once per write.
  std::stable_sort(unordered_.begin(), unordered_.end(), [](const SignalStore::Write& a, const SignalStore::Write& b) {
    return a.id != b.id ? a.id < b.id : a.index < b.index;
  });
  std::vector<SignalStore::Write> last_writes;
  for (size_t i = 0; i < unordered_.size(); ++i) {
    bool superseded = i + 1 < unordered_.size() && unordered_[i + 1].id == unordered_[i].id &&
                      unordered_[i + 1].index == unordered_[i].index;
    if (!superseded) last_writes.push_back(std::move(unordered_[i]));
  }
  unordered_.clear();
  unordered_.shrink_to_fit();
  store_.set_many(std::move(last_writes));
  store_.forward_fill_through(timestamps_.size());
}

// On an ascending table the search gallops out from the hint when the time
// stands there, else from the previous answer (successive calls mostly ask
// for nearby times), then halves the range it found. The halving is written
// out so that it stays well defined on a table that does not ascend.
Index FstChangeWriter::index_of(uint64_t time, uint64_t hint) {
  size_t size = timestamps_.size();
  if (hint < size && timestamps_[hint] == time) last_ = hint;
  size_t low = 0, high = size;  // the answer + 1 lies in [low, high]
  if (ascending_) {
    size_t step = 1;
    if (timestamps_[last_] <= time) {
      low = last_ + 1;
      while (low + step <= size && timestamps_[low + step - 1] <= time) {
        low += step;
        step *= 2;
      }
      high = std::min(low + step, size);
    } else {
      high = last_;
      while (high >= step && timestamps_[high - step] > time) {
        high -= step;
        step *= 2;
      }
      low = high >= step ? high - step : 0;
    }
  }
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (timestamps_[mid] <= time) low = mid + 1;
    else high = mid;
  }
  last_ = low == 0 ? 0 : low - 1;
  return last_;
}

}  // namespace trelm

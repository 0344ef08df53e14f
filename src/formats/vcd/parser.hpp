// The line-at-a-time VCD reader: declarations, time lines and value changes
// in file order, written to the trace's store in ascending index order.
//
// A change is held per signal until the next time line (a later change of
// the same signal at the same index replaces it), then written with the
// signal carried forward up to the index before; one carry of every signal to
// the last index finishes the store. That equals filling every signal forward
// at every time line, at a cost that follows the number of changes instead of
// signals x indices.
//
// The text of scope paths and full names is counted against a NameBudget of
// the input before it is built; past it the parser throws std::bad_alloc.
#pragma once

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/name_budget.hpp"
#include "base/name_map.hpp"
#include "formats/vcd/vcd.hpp"
#include "formats/vcd/codes.hpp"
#include "formats/vcd/line.hpp"

namespace trelm {

class VcdParser {
 public:
  // `input_size`: the bytes of the text or file, which size the NameBudget.
  explicit VcdParser(uint64_t input_size) noexcept : name_budget_(input_size) {}

  // One line without its line feed; `ascii` when it is known to hold no byte
  // above 0x7F.
  void feed_line(std::string_view line, bool ascii) {
    switch (vcd_line::classify(line, ascii)) {
      case vcd_line::LineKind::Skip: return;
      case vcd_line::LineKind::Scope: on_scope(line); return;
      case vcd_line::LineKind::Upscope: on_upscope(); return;
      case vcd_line::LineKind::Var: on_var(line); return;
      case vcd_line::LineKind::Time: on_time(vcd_line::read_time(line.substr(1))); return;
      case vcd_line::LineKind::Value:
        if (started_) vcd_line::read_value_line(line, codes_, *this);
        return;
    }
  }

  std::unique_ptr<VcdTrace> finish();
  // finish() in two steps, for a caller that releases the store's slack
  // itself: the changes held are written and every signal carried to the
  // last index, then the trace is handed over.
  void complete();
  std::unique_ptr<VcdTrace> take_trace() { return std::make_unique<VcdTrace>(std::move(record_)); }

  // Access for readers that decode value changes elsewhere and write them
  // themselves (see vcd_pieces.hpp). Before handing over, flush_held writes
  // the changes held for the current index; after writing, resume_at_last
  // continues at the last time stamp.
  bool started() const noexcept { return started_; }
  const VcdCodeMap& codes() const noexcept { return codes_; }
  SignalId id_count() const noexcept { return id_count_; }
  SignalStore& store() noexcept { return record_.store; }
  std::vector<uint64_t>& timestamps() noexcept { return record_.timestamps; }
  void flush_held();
  void resume_at_last() noexcept { current_ = record_.timestamps.empty() ? 0 : record_.timestamps.size() - 1; }

  // Sink of vcd_line::read_value_line.
  void change(SignalId id, vcd_line::ChangeKind kind, uint64_t bits) { held_.push_back(HeldChange{id, bits, kind}); }
  void change_value(SignalId id, SignalValue value) {
    held_values_.push_back(std::move(value));
    held_.push_back(HeldChange{id, held_values_.size() - 1, vcd_line::ChangeKind::Value});
  }

 private:
  struct HeldChange {
    SignalId id;
    uint64_t bits;  // the position in held_values_ for ChangeKind::Value
    vcd_line::ChangeKind kind;
  };

  void on_scope(std::string_view line);
  void on_upscope();
  void on_var(std::string_view line);
  void on_time(uint64_t time) {
    if (started_) flush_held();
    auto& timestamps = record_.timestamps;
    current_ = timestamps.size();
    timestamps.push_back(time);
    started_ = true;
  }
  void write(HeldChange& change);

  // Takes the bytes of name text about to be built from the budget.
  void charge_names(uint64_t bytes) {
    if (!name_budget_.take(bytes)) throw std::bad_alloc();
  }

  TraceRecord record_;
  NameBudget name_budget_;
  VcdCodeMap codes_;
  SignalId id_count_ = 0;

  std::string scope_path_;
  std::vector<size_t> scope_lengths_;  // length of scope_path_ before each open scope
  std::unordered_set<std::string, TextHash, std::equal_to<>> known_scopes_;

  bool started_ = false;
  Index current_ = 0;
  std::vector<HeldChange> held_;  // changes at the current index, in order
  std::vector<SignalValue> held_values_;
  std::vector<size_t> last_position_;  // by id: its last change in held_
};

}  // namespace trelm

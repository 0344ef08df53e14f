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
//
// With LoadOptions the parser keeps only the signals the filter keeps (an
// identifier code gets an id when a kept name declares it), and in exact
// mode reads names, values, $timescale and declared types as the front
// door does (see line.hpp and declarations.hpp).
#pragma once

#include <memory>
#include <optional>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "base/name_budget.hpp"
#include "base/name_map.hpp"
#include "trace/dump_info.hpp"
#include "formats/vcd/vcd.hpp"
#include "formats/vcd/codes.hpp"
#include "formats/vcd/line.hpp"

namespace trelm {

class VcdParser {
 public:
  // `input_size`: the bytes of the text or file, which size the NameBudget.
  // `options`, when given, outlive the parser.
  explicit VcdParser(uint64_t input_size, const LoadOptions* options = nullptr) noexcept
      : name_budget_(input_size), options_(options), exact_(options && options->exact) {}

  // One line without its line feed; `ascii` when it is known to hold no byte
  // above 0x7F.
  void feed_line(std::string_view line, bool ascii) {
    const vcd_line::LineKind kind = vcd_line::classify(line, ascii);
    if (exact_ && !started_ && (timescale_open_ || kind == vcd_line::LineKind::Skip)) read_timescale(line);
    switch (kind) {
      case vcd_line::LineKind::Skip: return;
      case vcd_line::LineKind::Scope: on_scope(line); return;
      case vcd_line::LineKind::Upscope: on_upscope(); return;
      case vcd_line::LineKind::Var: on_var(line); return;
      case vcd_line::LineKind::Time: on_time(vcd_line::read_time(line.substr(1))); return;
      case vcd_line::LineKind::Value:
        if (!started_) return;
        if (exact_) vcd_line::read_value_line<true>(line, codes_, *this);
        else vcd_line::read_value_line(line, codes_, *this);
        return;
    }
  }

  bool exact() const noexcept { return exact_; }
  // What the front door learns of the dump beside the trace; call before
  // the trace is taken.
  DumpInfo describe() const;

  std::unique_ptr<VcdTrace> finish();
  // finish() in two steps, for a caller that releases the store's slack
  // itself: the changes held are written and every signal carried to the
  // last index, then the trace is handed over.
  void complete();
  // With a signal filter, only the scopes that hold a kept name are listed.
  std::unique_ptr<VcdTrace> take_trace() {
    if (options_ && options_->filters()) record_.scopes = scopes_holding(record_.scopes, record_.signal_names);
    return std::make_unique<VcdTrace>(std::move(record_));
  }

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
  void change_kept(SignalId id, SignalValue value, std::string_view digits) {
    held_kept_.push_back(KeptChange{std::move(value), std::string(digits)});
    held_.push_back(HeldChange{id, held_kept_.size() - 1, vcd_line::ChangeKind::Kept});
  }

 private:
  struct HeldChange {
    SignalId id;
    uint64_t bits;  // the position in held_values_ (Value) or held_kept_ (Kept)
    vcd_line::ChangeKind kind;
  };
  struct KeptChange {
    SignalValue value;
    std::string digits;  // copied: the line's text may be gone when the change is written
  };

  // Reads $timescale, on one line or over several up to $end.
  void read_timescale(std::string_view line);

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
  std::vector<KeptChange> held_kept_;
  std::vector<size_t> last_position_;  // by id: its last change in held_

  const LoadOptions* options_;
  bool exact_;
  bool timescale_open_ = false;  // between $timescale and its $end
  std::string timescale_text_;
  std::optional<Timescale> timescale_;
  std::vector<SignalDeclaration> declared_;  // by id, with options: the last declaration's
};

}  // namespace trelm

#include "formats/vcd/pieces.hpp"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "base/threads/pool.hpp"
#include "formats/vcd/line_scan.hpp"

namespace trelm {

using vcd_line::ChangeKind;
using vcd_line::LineKind;

constexpr size_t kMaxPieceBytes = size_t{64} << 20;
// More threads than this would add little; each keeps logs of its own.
constexpr size_t kMaxThreads = 16;

namespace {

// One change of a piece: the signal, the number of time lines before it in
// the piece (its slot) with the kind in the top bits, and the value's bits
// (for ChangeKind::Value the position in PieceLog::values, for Kept in
// PieceLog::kept).
struct LoggedChange {
  uint32_t id;
  uint32_t slot_kind;
  uint64_t bits;

  static constexpr unsigned kKindShift = 29;
  uint32_t slot() const noexcept { return slot_kind & ((uint32_t{1} << kKindShift) - 1); }
  ChangeKind kind() const noexcept { return static_cast<ChangeKind>(slot_kind >> kKindShift); }
};
static_assert(sizeof(LoggedChange) == 16);

// The changes of one signal in a piece: sorted[begin, end).
struct Group {
  uint32_t id;
  uint32_t begin;
  uint32_t end;
};

}  // namespace

// The decoded text of one piece (declared in the header, which only holds
// these in a vector).
struct PieceLog {
  std::string_view text;
  std::vector<LoggedChange> sorted;  // room for grouping
  std::vector<uint32_t> offsets;     // room for grouping
  std::vector<uint64_t> times;
  std::vector<LoggedChange> changes;  // in line order, then grouped by signal
  std::vector<SignalValue> values;
  // Values with digits to keep, which view the piece's text (it outlives
  // the log's use within one window).
  std::vector<std::pair<SignalValue, std::string_view>> kept;
  std::vector<Group> groups;  // ascending ids
  size_t stop = std::string_view::npos;  // offset in text of a declaration line
  Index base = 0;  // the index of the piece's first time line

  // Sink of vcd_line::read_value_line.
  void change(SignalId id, ChangeKind kind, uint64_t bits) {
    changes.push_back(LoggedChange{static_cast<uint32_t>(id),
                                   static_cast<uint32_t>(times.size()) |
                                       (static_cast<uint32_t>(kind) << LoggedChange::kKindShift),
                                   bits});
  }
  void change_value(SignalId id, SignalValue value) {
    values.push_back(std::move(value));
    change(id, ChangeKind::Value, values.size() - 1);
  }
  void change_kept(SignalId id, SignalValue value, std::string_view digits) {
    kept.emplace_back(std::move(value), digits);
    change(id, ChangeKind::Kept, kept.size() - 1);
  }
  // Empty again, keeping the room taken.
  void reset(std::string_view piece_text) {
    text = piece_text;
    times.clear();
    changes.clear();
    values.clear();
    kept.clear();
    groups.clear();
    stop = std::string_view::npos;
    base = 0;
  }
  Index index_of(const LoggedChange& change) const noexcept { return base + change.slot() - 1; }
};

namespace {

template <bool kExact>
void decode_piece(PieceLog& log, const VcdCodeMap& codes) {
  const std::string_view text = log.text;
  const bool ascii = is_ascii(text.data(), text.size());
  size_t begin = 0;
  const char* const text_end = text.data() + text.size();
  while (begin < text.size()) {
    if (size_t length = vcd_line::read_plain_change<kExact>(text.data() + begin, text_end, codes, log)) {
      begin += length;
      continue;
    }
    size_t end = find_line_feed(text.data(), begin, text.size());
    std::string_view line = text.substr(begin, end - begin);
    switch (vcd_line::classify(line, ascii)) {
      case LineKind::Skip: break;
      case LineKind::Scope:
      case LineKind::Upscope:
      case LineKind::Var: log.stop = begin; return;
      case LineKind::Time: log.times.push_back(vcd_line::read_time(line.substr(1))); break;
      case LineKind::Value: vcd_line::read_value_line<kExact>(line, codes, log); break;
    }
    begin = end + 1;
  }
}

// Orders the changes by signal, keeping line order within a signal: a
// counting sort when the id range is no larger than the piece's changes
// (plus a fixed allowance), else a stable sort.
void group_piece(PieceLog& log, SignalId id_count) {
  auto& changes = log.changes;
  if (changes.empty()) return;
  auto& sorted = log.sorted;
  sorted.resize(changes.size());
  if (id_count <= changes.size() + 65536) {
    auto& offsets = log.offsets;
    offsets.assign(id_count + 1, 0);
    for (const auto& c : changes) ++offsets[c.id + 1];
    for (size_t i = 1; i < offsets.size(); ++i) offsets[i] += offsets[i - 1];
    for (const auto& c : changes) sorted[offsets[c.id]++] = c;
  } else {
    std::copy(changes.begin(), changes.end(), sorted.begin());
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const LoggedChange& a, const LoggedChange& b) { return a.id < b.id; });
  }
  changes.swap(sorted);
  for (uint32_t i = 0; i < changes.size();) {
    uint32_t j = i + 1;
    while (j < changes.size() && changes[j].id == changes[i].id) ++j;
    log.groups.push_back(Group{changes[i].id, i, j});
    i = j;
  }
}

// Cuts text into pieces of about `piece_bytes` at line feeds.
void cut_pieces(std::string_view text, size_t piece_bytes, std::vector<PieceLog>& pieces) {
  size_t count = 0;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.size();
    if (text.size() - begin > piece_bytes) {
      size_t lf = text.find('\n', begin + piece_bytes - 1);
      if (lf != std::string_view::npos) end = lf + 1;
    }
    if (count == pieces.size()) pieces.emplace_back();
    pieces[count++].reset(text.substr(begin, end - begin));
    begin = end;
  }
  pieces.resize(count);
}

// Writes the changes of signals [first, last) from every piece, each signal's
// in ascending index order; of several changes at one index, the last. Room
// for a signal's changes is made before its first write, so that its column
// grows at most once per window.
void write_signals(SignalStore& store, std::span<PieceLog> pieces, SignalId first, SignalId last) {
  std::vector<size_t> next(pieces.size());
  for (size_t p = 0; p < pieces.size(); ++p) {
    auto& groups = pieces[p].groups;
    next[p] = static_cast<size_t>(
        std::lower_bound(groups.begin(), groups.end(), first, [](const Group& g, SignalId id) { return g.id < id; }) -
        groups.begin());
  }
  auto write = [](SignalColumn& column, PieceLog& piece, LoggedChange& change) {
    const Index index = piece.index_of(change);
    switch (change.kind()) {
      case ChangeKind::Int: column.carry_and_set_int(index, change.bits); break;
      case ChangeKind::Value: column.carry_and_set(index, std::move(piece.values[change.bits])); break;
      case ChangeKind::Kept: {
        auto& [value, digits] = piece.kept[change.bits];
        column.carry_and_set(index, std::move(value), digits);
        break;
      }
      default: vcd_line::append_plain(column, index, change.kind(), change.bits); break;
    }
  };
  for (;;) {
    SignalId id = last;
    for (size_t p = 0; p < pieces.size(); ++p)
      if (next[p] < pieces[p].groups.size()) id = std::min<SignalId>(id, pieces[p].groups[next[p]].id);
    if (id >= last) return;
    size_t incoming = 0;
    for (size_t p = 0; p < pieces.size(); ++p) {
      if (next[p] >= pieces[p].groups.size()) continue;
      const Group& group = pieces[p].groups[next[p]];
      if (group.id == id) incoming += group.end - group.begin;
    }
    store.reserve_runs(id, incoming);
    SignalColumn& column = store.column_for_append(id);
    PieceLog* held_piece = nullptr;
    LoggedChange* held = nullptr;
    for (size_t p = 0; p < pieces.size(); ++p) {
      PieceLog& piece = pieces[p];
      if (next[p] >= piece.groups.size() || piece.groups[next[p]].id != id) continue;
      const Group& group = piece.groups[next[p]++];
      for (uint32_t k = group.begin; k < group.end; ++k) {
        LoggedChange& change = piece.changes[k];
        if (held && held_piece->index_of(*held) != piece.index_of(change)) write(column, *held_piece, *held);
        held_piece = &piece;
        held = &change;
      }
    }
    if (held) write(column, *held_piece, *held);
  }
}

// Splits the signals into `parts` ranges of about equal numbers of changes.
std::vector<SignalId> split_signals(std::span<const PieceLog> pieces, SignalId id_count, size_t parts) {
  std::vector<std::pair<SignalId, size_t>> counts;
  for (const auto& piece : pieces)
    for (const auto& g : piece.groups) counts.emplace_back(g.id, g.end - g.begin);
  std::sort(counts.begin(), counts.end());
  size_t total = 0;
  for (const auto& c : counts) total += c.second;
  std::vector<SignalId> bounds{0};
  size_t seen = 0;
  for (const auto& [id, n] : counts) {
    if (bounds.size() < parts && seen * parts >= total * bounds.size() && id > bounds.back()) bounds.push_back(id);
    seen += n;
  }
  while (bounds.size() <= parts) bounds.push_back(id_count);
  return bounds;
}

void feed_lines(VcdParser& parser, std::string_view text) {
  const bool ascii = is_ascii(text.data(), text.size());
  size_t rest = for_each_complete_line(text, 0, [&](std::string_view line) { parser.feed_line(line, ascii); });
  if (rest < text.size()) parser.feed_line(text.substr(rest), ascii);
}

}  // namespace

VcdPieceReader::VcdPieceReader(const VcdPieceOptions& options) : options_(options) {}
VcdPieceReader::~VcdPieceReader() = default;

void VcdPieceReader::read(VcdParser& parser, std::string_view text) {
  const VcdPieceOptions& options = options_;
  // Pieces pay even on one thread: their decoding is leaner than the
  // line-at-a-time reader's, which only short texts keep.
  const bool in_pieces = parser.started() && parser.id_count() <= UINT32_MAX &&
                         (options.force || text.size() >= options.min_parallel_bytes);
  WorkerPool& pool = WorkerPool::instance();
  const size_t threads = std::min(pool.thread_count(), kMaxThreads);
  if (!in_pieces) return feed_lines(parser, text);

  size_t piece_bytes = std::clamp<size_t>(options.piece_bytes, 1, kMaxPieceBytes);
  piece_bytes = std::min(piece_bytes, std::max<size_t>(text.size() / (2 * threads), 1));
  cut_pieces(text, piece_bytes, pieces_);

  const VcdCodeMap& codes = parser.codes();
  const SignalId id_count = parser.id_count();
  const bool exact = parser.exact();
  std::atomic<size_t> next_piece{0};
  auto decode = [&](size_t) {
    for (size_t k; (k = next_piece.fetch_add(1, std::memory_order_relaxed)) < pieces_.size();) {
      if (exact) decode_piece<true>(pieces_[k], codes);
      else decode_piece<false>(pieces_[k], codes);
      group_piece(pieces_[k], id_count);
    }
  };
  pool.run_parts(threads, decode);

  // Pieces after one that met a declaration were read with a code map that
  // may no longer hold; the text from the declaration on is read line by line.
  size_t used = 0;
  while (used < pieces_.size() && pieces_[used].stop == std::string_view::npos) ++used;
  std::string_view rest;
  if (used < pieces_.size()) {
    const PieceLog& stopped = pieces_[used];
    rest = text.substr(static_cast<size_t>(stopped.text.data() - text.data()) + stopped.stop);
    ++used;
  }
  std::span<PieceLog> ready(pieces_.data(), used);

  parser.flush_held();
  auto& timestamps = parser.timestamps();
  for (auto& piece : ready) {
    piece.base = timestamps.size();
    timestamps.insert(timestamps.end(), piece.times.begin(), piece.times.end());
  }
  SignalStore& store = parser.store();
  // Room for the columns this window writes: ids declared but never changed
  // take none.
  SignalId written = 0;
  for (const auto& piece : ready)
    if (!piece.groups.empty()) written = std::max<SignalId>(written, piece.groups.back().id + 1);
  store.prepare_ids(written);
  if (bounds_.empty() || bounds_id_count_ != id_count) {
    bounds_ = split_signals(ready, id_count, threads);
    bounds_id_count_ = id_count;
  }
  auto write = [&](size_t k) { write_signals(store, ready, bounds_[k], bounds_[k + 1]); };
  pool.run_parts(threads, write);
  parser.resume_at_last();

  if (!rest.empty()) feed_lines(parser, rest);
}

std::unique_ptr<VcdTrace> VcdPieceReader::finish(VcdParser& parser) {
  if (bounds_.empty()) return parser.finish();
  parser.complete();
  SignalStore& store = parser.store();
  auto shrink = [&](size_t k) { store.shrink_columns(bounds_[k], std::min(bounds_[k + 1], bounds_id_count_)); };
  WorkerPool::instance().run_parts(bounds_.size() - 1, shrink);
  store.shrink_columns(bounds_id_count_, kIndexEnd);  // columns declared after the last window
  return parser.take_trace();
}

}  // namespace trelm

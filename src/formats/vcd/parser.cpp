#include "formats/vcd/parser.hpp"

#include <cstdint>
#include <limits>

#include "formats/vcd/declarations.hpp"

namespace trelm {

std::unique_ptr<VcdTrace> VcdParser::finish() {
  complete();
  record_.store.shrink_to_fit();
  return take_trace();
}

void VcdParser::complete() {
  if (!started_) return;
  flush_held();
  record_.store.carry_all_forward(current_);
}

void VcdParser::on_scope(std::string_view line) {
  WhiteSpaceSplitter parts(line);
  std::string_view keyword, kind, name;
  if (!parts.next(keyword) || !parts.next(kind) || !parts.next(name)) return;
  // The path is hashed, and kept twice when it is new (in the list and the
  // set of known paths).
  charge_names(2 * (scope_path_.size() + (scope_lengths_.empty() ? 0 : 1) + name.size()));
  scope_lengths_.push_back(scope_path_.size());
  if (scope_lengths_.size() > 1) scope_path_ += '.';
  scope_path_.append(name);
  if (known_scopes_.find(std::string_view(scope_path_)) == known_scopes_.end()) {
    known_scopes_.insert(scope_path_);
    record_.scopes.push_back(scope_path_);
  }
}

void VcdParser::on_upscope() {
  if (scope_lengths_.empty()) return;
  scope_path_.resize(scope_lengths_.back());
  scope_lengths_.pop_back();
}

void VcdParser::on_var(std::string_view line) {
  WhiteSpaceSplitter parts(line);
  std::string_view keyword, kind, width_text, code, reference;
  if (!parts.next(keyword) || !parts.next(kind) || !parts.next(width_text) || !parts.next(code) ||
      !parts.next(reference))
    return;
  uint32_t width = 1;
  if (auto w = parse_unsigned_decimal(width_text); w && *w <= std::numeric_limits<uint32_t>::max())
    width = static_cast<uint32_t>(*w);
  std::string indexed;
  if (exact_) {
    indexed = indexed_reference(reference, parts);
    reference = indexed;
  } else {
    reference = reference.substr(0, reference.find('['));
  }

  const uint64_t name_length = (scope_lengths_.empty() ? 0 : scope_path_.size() + 1) + reference.size();
  charge_names(name_length);
  std::string full_name;
  if (!scope_lengths_.empty()) {
    full_name.reserve(scope_path_.size() + 1 + reference.size());
    full_name.append(scope_path_).append(1, '.');
  }
  full_name.append(reference);
  if (options_ && !options_->keeps(full_name)) return;

  SignalId id;
  if (auto known = codes_.find(code)) {
    id = *known;
  } else {
    id = id_count_++;
    codes_.insert(code, id);
    last_position_.push_back(0);
  }
  if (options_) {
    if (id >= declared_.size()) declared_.resize(id + 1);
    declared_[id] = SignalDeclaration{kind_of_var_type(kind), std::string(kind)};
  }

  // A name is listed exactly when it has an id and a width; a later
  // declaration of it replaces both.
  auto named = record_.name_to_id.find(std::string_view(full_name));
  if (named != record_.name_to_id.end()) {
    named->second = id;
    record_.widths.find(std::string_view(full_name))->second = width;
    return;
  }
  charge_names(2 * name_length);  // a new name is kept as the key of both maps too
  record_.name_to_id.emplace(full_name, id);
  record_.widths.emplace(full_name, width);
  record_.signal_names.push_back(std::move(full_name));
}

// Writes the changes held for the current index; of several changes of one
// signal, the last. No state per signal is touched while a line is read:
// with thousands of signals and few changes per index that would cost a
// cache miss per change. A few changes are checked against each other;
// more go through last_position_.
void VcdParser::flush_held() {
  constexpr size_t kPairwiseLimit = 8;
  const size_t n = held_.size();
  if (n <= kPairwiseLimit) {
    for (size_t i = 0; i < n; ++i) {
      bool overwritten = false;
      for (size_t j = i + 1; j < n; ++j) overwritten |= held_[j].id == held_[i].id;
      if (!overwritten) write(held_[i]);
    }
  } else {
    for (size_t i = 0; i < n; ++i) last_position_[held_[i].id] = i;
    for (size_t i = 0; i < n; ++i)
      if (last_position_[held_[i].id] == i) write(held_[i]);
  }
  held_.clear();
  held_values_.clear();
  held_kept_.clear();
}

void VcdParser::write(HeldChange& change) {
  SignalColumn& column = record_.store.column_for_append(change.id);
  switch (change.kind) {
    case vcd_line::ChangeKind::Value: column.carry_and_set(current_, std::move(held_values_[change.bits])); break;
    case vcd_line::ChangeKind::Kept: {
      KeptChange& kept = held_kept_[change.bits];
      column.carry_and_set(current_, std::move(kept.value), kept.digits);
      break;
    }
    default: vcd_line::append_plain(column, current_, change.kind, change.bits); break;
  }
}

void VcdParser::read_timescale(std::string_view line) {
  // Enough for any unit; text beyond it is no unit.
  constexpr size_t kMaxText = 256;
  if (!timescale_open_) {
    if (!vcd_line::starts_with(line, "$timescale")) return;
    line.remove_prefix(10);
    timescale_open_ = true;
    timescale_text_.clear();
  }
  size_t end = line.find("$end");
  if (timescale_text_.size() <= kMaxText) timescale_text_.append(line.substr(0, end)).push_back(' ');
  if (end == std::string_view::npos) return;
  timescale_open_ = false;
  timescale_ = timescale_text_.size() <= kMaxText ? parse_timescale(timescale_text_) : std::nullopt;
}

DumpInfo VcdParser::describe() const {
  DumpInfo info;
  info.timescale = timescale_;
  info.declarations.reserve(record_.signal_names.size());
  for (const std::string& name : record_.signal_names) {
    SignalId id = record_.name_to_id.find(name)->second;
    info.declarations.push_back(id < declared_.size() ? declared_[id] : SignalDeclaration{});
  }
  return info;
}

}  // namespace trelm

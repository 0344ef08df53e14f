// A search that reads the values of some signals at every match.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "eval/expr.hpp"
#include "signal/run_cursor.hpp"

namespace trelm {

class FindWithValues {
 public:
  // Finds the matches of `expr` (those of find()) and resolves every name to
  // its id, once.
  FindWithValues(const Trace& trace, const Expr& expr, const std::vector<std::string>& names);

  const std::vector<Index>& matches() const noexcept { return matches_; }

  // Calls on_row(index, values) for every match in ascending order, where
  // values[k] is the value of names[k] at that index (Unknown for a name
  // without an id). Each signal is read through its own cursor, so a row
  // costs one step per signal, not a search. Stops at the first on_row that
  // returns false and returns false then.
  template <class OnRow>
  bool for_each_row(OnRow&& on_row) {
    std::vector<const SignalValue*> row(cursors_.size());
    for (Index index : matches_) {
      for (size_t k = 0; k < cursors_.size(); ++k) row[k] = &cursors_[k].at(index);
      if (!on_row(index, std::span<const SignalValue* const>(row))) return false;
    }
    return true;
  }

 private:
  std::vector<Index> matches_;
  std::vector<RunCursor> cursors_;
};

}  // namespace trelm

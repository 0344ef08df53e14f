// Scanner: the evaluator a scan of one program runs on, chosen once: the
// batch evaluator where it supports the program, the stretch evaluator
// otherwise. Kept over the ranges of an ascending scan, its cursors carry on
// from one range to the next.
#pragma once

#include <optional>

#include "eval/batch_eval.hpp"
#include "eval/stretch_eval.hpp"

namespace trelm {

class Scanner {
 public:
  // The program must outlive the scanner.
  Scanner(const StretchProgram& program, const SignalStore& store) {
    if (BatchEvaluator::supports(program))
      batch_.emplace(program, store);
    else
      stretch_.emplace(program, store);
  }

  // Calls on_true(first, last_exclusive) for the true indices of [begin,
  // end), in ascending order.
  template <class OnTrue>
  void scan(Wide128 begin, Wide128 end, OnTrue&& on_true) {
    if (batch_)
      batch_->scan(begin, end, on_true);
    else
      stretch_->scan(begin, end, on_true);
  }

 private:
  std::optional<BatchEvaluator> batch_;
  std::optional<StretchEvaluator> stretch_;
};

}  // namespace trelm

#include "signal/run_cursor.hpp"

namespace trelm {

size_t search_run(const SignalColumn& c, Index index, size_t guess) noexcept {
  const size_t count = c.run_count();
  if (count == 0 || index >= c.length()) return SignalColumn::npos;
  if (guess == SignalColumn::npos) guess = guess_run(c, index);
  else if (guess >= count) guess = count - 1;
  const size_t after = gallop_upper_bound([&c](size_t k) { return c.run_start(k); }, count, index, guess);
  return after == 0 ? SignalColumn::npos : after - 1;  // 0: before the first run
}

void RunCursor::assign(size_t k) { value_ = column_->run_value(k); }

void RunCursor::seek(Index index) {
  const SignalColumn* c = column_;
  if (!c || c->run_count() == 0 || index >= c->length()) {
    // Unknown from the list's end (or everywhere) on.
    Index tail = c && c->run_count() ? c->length() : 0;
    begin_ = index >= tail ? tail : 0;
    end_ = index >= tail ? kIndexEnd : c->run_start(0);
    value_ = SignalValue::unknown();
    run_ = SignalColumn::npos;
    return;
  }
  run_ = search_run(*c, index);
  if (run_ == SignalColumn::npos) {  // before the first run
    begin_ = 0;
    end_ = c->run_start(0);
    value_ = SignalValue::unknown();
  } else {
    begin_ = c->run_start(run_);
    end_ = c->run_end(run_);
    load(run_);
  }
}

}  // namespace trelm

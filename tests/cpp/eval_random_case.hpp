// Random small traces and expression trees of every kind of value and
// operator, for the differential tests of the query engine.
#pragma once

#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "eval/expr.hpp"
#include "eval_test_trace.hpp"

namespace trelm::testing {

inline const double kNaN = std::numeric_limits<double>::quiet_NaN();

class RandomCase {
 public:
  explicit RandomCase(uint64_t seed) : rng_(seed) {}

  SignalValue value() {
    switch (pick(18)) {
      case 0: return U();
      case 1: return I(0);
      case 2: return I(1);
      case 3: return I(pick(6));
      case 4: return I(UINT64_MAX - pick(2));
      case 5: return L({static_cast<uint8_t>(pick(4))});
      case 6: return L({0, 1, 1});
      case 7: return L({1, 2, 0, 3, 1, 1, 0, 0, 1, 1, 1});  // past the inline size
      case 8: return L(std::vector<uint8_t>(70, 1));
      case 9: return R(kNaN);
      case 10: return R(pick(2) ? -0.0 : 0.0);
      case 11: return R(2.5 + pick(3));
      case 12: return S("");
      case 13: return S(pick(2) ? "5" : "+3");
      case 14: return S("not a number, and long");
      case 15: return W({0, 4});
      case 16: return W({pick(4), 9});
      default: return R(1e30);
    }
  }

  std::unique_ptr<RecordTrace> trace(size_t& signal_count) {
    size_t timestamps = pick(4) == 0 ? pick(3) : 1 + pick(pick(3) == 0 ? 80 : 16);
    signal_count = 1 + pick(4);
    std::vector<TestSignal> signals;
    for (size_t s = 0; s < signal_count; ++s) {
      // Most lists end at the last index; some end early (an Unknown tail)
      // and some run past it, which only the range checks of RelEval hide.
      size_t shape = pick(5);
      size_t length = shape == 0 ? pick(timestamps + 1) : shape == 1 ? timestamps + 1 + pick(3) : timestamps;
      std::vector<SignalValue> values;
      SignalValue current = value();
      for (size_t i = 0; i < length; ++i) {
        if (pick(3) == 0) current = value();
        values.push_back(current);
      }
      signals.push_back({"s" + std::to_string(s), s, std::move(values)});
    }
    return make_trace(signals, timestamps);
  }

  int64_t offset(Index max_index) {
    const int64_t big = std::numeric_limits<int64_t>::max();
    const int64_t small = std::numeric_limits<int64_t>::min();
    switch (pick(8)) {
      case 0: return pick(2) ? big : small;
      case 1: return static_cast<int64_t>(max_index) * (pick(2) ? 1 : -1);
      case 2: return static_cast<int64_t>(max_index + 1) * (pick(2) ? 1 : -1);
      case 3: return 0;
      default: return static_cast<int64_t>(pick(7)) - 3;
    }
  }

  uint64_t bit_position() {
    const uint64_t positions[] = {0, 1, 3, 7, 62, 63, 64, 65, 127, UINT64_MAX, UINT64_MAX - 1};
    return positions[pick(std::size(positions))];
  }

  Expr tree(size_t signals, Index max_index, int depth) {
    size_t kind = depth <= 0 ? pick(3) : pick(22);
    switch (static_cast<ExprKind>(kind == 2 && depth <= 0 ? 0 : kind)) {
      case ExprKind::Signal: return Expr::signal(pick(signals + 1));  // sometimes an unknown id
      case ExprKind::Const: return Expr::constant(value());
      case ExprKind::RelEval: return Expr::rel_eval(tree(signals, max_index, depth - 1), offset(max_index));
      case ExprKind::Slice: {
        uint64_t a = bit_position(), b = bit_position();
        return Expr::slice(tree(signals, max_index, depth - 1), a, b);
      }
      case ExprKind::Not:
      case ExprKind::Signed:
      case ExprKind::IsX:
      case ExprKind::IsZ:
        return Expr::unary(static_cast<ExprKind>(kind), tree(signals, max_index, depth - 1));
      case ExprKind::AlwaysTrue: return Expr::always_true();
      default: {
        Expr l = tree(signals, max_index, depth - 1);
        Expr r = tree(signals, max_index, depth - 1);
        return Expr::binary(static_cast<ExprKind>(kind), l, r);
      }
    }
  }

  uint64_t pick(uint64_t n) { return n ? std::uniform_int_distribution<uint64_t>(0, n - 1)(rng_) : 0; }

 private:
  std::mt19937_64 rng_;
};

}  // namespace trelm::testing

// Whole-trace searches: every index where an expression holds.
#pragma once

#include <vector>

#include "eval/expr.hpp"

namespace trelm {

// Every index in 0..max_index where the expression is true, ascending.
std::vector<Index> find(const Trace& trace, const Expr& expr);
// The same list, computed on the worker pool.
std::vector<Index> parallel_find(const Trace& trace, const Expr& expr);
// The length of that list, computed on the worker pool.
uint64_t parallel_count(const Trace& trace, const Expr& expr);

}  // namespace trelm

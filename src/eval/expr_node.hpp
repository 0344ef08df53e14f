// ExprNode: the shared, immutable node behind Expr. Nodes are reference
// counted so that copying a tree (which every combinator does with its
// operands) costs nothing and deep trees never need a recursive copy; since a
// node never changes after it is built, sharing is indistinguishable from a
// deep copy.
#pragma once

#include <atomic>
#include <cstdint>

#include "eval/expr.hpp"

namespace trelm {

struct ExprNode {
  explicit ExprNode(ExprKind k) noexcept : kind(k) {}

  ExprKind kind;
  std::atomic<uint64_t> refs{1};
  SignalId id = 0;          // Signal
  int64_t offset = 0;       // RelEval
  uint64_t high = 0;        // Slice
  uint64_t low = 0;         // Slice
  SignalValue constant;     // Const
  ExprNode* left = nullptr;   // the child of a unary node, RelEval and Slice
  ExprNode* right = nullptr;
  ExprNode* next_free = nullptr;  // links dead nodes while a tree is released
};

}  // namespace trelm

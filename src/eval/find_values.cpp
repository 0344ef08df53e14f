#include "eval/find_values.hpp"

#include "eval/find.hpp"

namespace trelm {

FindWithValues::FindWithValues(const Trace& trace, const Expr& expr, const std::vector<std::string>& names)
    : matches_(find(trace, expr)) {
  cursors_.reserve(names.size());
  for (const std::string& name : names) {
    auto id = trace.signal_id(name);
    cursors_.emplace_back(id ? trace.store().column(*id) : nullptr);
  }
}

}  // namespace trelm

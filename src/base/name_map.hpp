// Hash map keyed by text that accepts string_view look-ups without copying.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace trelm {

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};

template <class V>
using NameMap = std::unordered_map<std::string, V, TextHash, std::equal_to<>>;

}  // namespace trelm

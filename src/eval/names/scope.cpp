#include "eval/names/scope.hpp"

#include <algorithm>
#include <unordered_set>

#include "base/glob.hpp"
#include "eval/names/unicode_lower.hpp"

namespace trelm {

namespace {

bool ends_with_component(std::string_view name, std::string_view short_name) {
  if (name == short_name) return true;
  return name.size() > short_name.size() && name.ends_with(short_name) &&
         name[name.size() - short_name.size() - 1] == '.';
}

}  // namespace

std::optional<std::string> resolve(const Trace& trace, std::string_view scope, std::string_view short_name) {
  std::string candidate;
  if (!scope.empty()) {
    candidate.append(scope);
    candidate.push_back('.');
  }
  candidate.append(short_name);
  if (trace.signal_id(candidate)) return candidate;
  for (const auto& name : trace.signal_names()) {
    if (ends_with_component(name, short_name) && (scope.empty() || name.starts_with(scope))) return name;
  }
  return std::nullopt;
}

std::vector<std::string> local_signals(const Trace& trace, std::string_view scope) {
  std::vector<std::string> out;
  std::string prefix(scope);
  if (!scope.empty()) prefix.push_back('.');
  for (const auto& name : trace.signal_names()) {
    if (!name.starts_with(prefix)) continue;
    if (std::string_view(name).substr(prefix.size()).find('.') == std::string_view::npos) out.push_back(name);
  }
  return out;
}

std::vector<std::string> local_scopes(const Trace& trace, std::string_view scope) {
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  auto add = [&](std::string entry) {
    if (seen.insert(entry).second) out.push_back(std::move(entry));
  };
  if (scope.empty()) {
    for (const auto& path : trace.scopes())
      if (path.find('.') == std::string::npos) add(path);
    return out;
  }
  std::string prefix(scope);
  prefix.push_back('.');
  for (const auto& path : trace.scopes()) {
    if (!path.starts_with(prefix)) continue;
    std::string_view rest = std::string_view(path).substr(prefix.size());
    add(prefix + std::string(rest.substr(0, rest.find('.'))));
  }
  return out;
}

std::vector<std::string> find_signals_glob(const Trace& trace, std::string_view pattern) {
  std::vector<std::string> out;
  for (const auto& name : trace.signal_names())
    if (glob_match(pattern, name, GlobStar::LiteralFirst)) out.push_back(name);
  return out;
}

std::vector<std::string> find_signals_containing(const Trace& trace, std::string_view text) {
  std::vector<std::string> out;
  std::string needle = unicode_lower(text);
  for (const auto& name : trace.signal_names())
    if (unicode_lower(name).find(needle) != std::string::npos) out.push_back(name);
  return out;
}

}  // namespace trelm

// Scope and name queries over a trace's signal and scope lists.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trace/trace.hpp"

namespace trelm {

std::optional<std::string> resolve(const Trace& trace, std::string_view scope, std::string_view short_name);
std::vector<std::string> local_signals(const Trace& trace, std::string_view scope);
std::vector<std::string> local_scopes(const Trace& trace, std::string_view scope);
std::vector<std::string> find_signals_glob(const Trace& trace, std::string_view pattern);
std::vector<std::string> find_signals_containing(const Trace& trace, std::string_view text);

}  // namespace trelm

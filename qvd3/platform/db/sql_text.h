// Internal to qvd3/platform/db: reading SQL text. A small lexer that knows
// string literals ('...' with '' inside), quoted identifiers ("..."),
// comments (-- to end of line, /* ... */) and "::" casts, so that parameters
// and keywords are found only where they really are.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv::dbimpl {

// The distinct parameter names of `sql` (":NAME"), in order of first use.
std::vector<std::string> ParameterNames(std::string_view sql);

// `sql` with every ":NAME" replaced by `placeholder(k)`, k being the 1-based
// number of NAME in ParameterNames(sql) (case-insensitive), so a name used
// twice binds one value.
std::string TranslateParameters(std::string_view sql,
                                const std::function<std::string(int)>& placeholder);

// What a live dataset needs to know about its select.
struct SelectShape {
  bool single_table = false;
  std::string table;           // as written
  std::size_t from_offset = 0; // where the top-level FROM keyword starts
};
SelectShape AnalyzeSelect(std::string_view sql);

// Double-quotes an identifier for generated SQL.
std::string QuoteIdentifier(std::string_view name);

}  // namespace qv::dbimpl

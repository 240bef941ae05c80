// Text formatting with positional substitution, in the framework's style:
//   Format("Deseja realmente eliminar o usuário %s ?", {name})
// Directives: "%s" takes the next argument as text, "%d" the next argument as
// a decimal integer, "%%" is a literal percent sign. Arguments left over are
// ignored.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace qv {

// One argument of Format: a text or an integer. Text arguments refer to the
// caller's string, which outlives the call.
class FormatArg {
 public:
  FormatArg(std::string_view text) : value_(text) {}
  FormatArg(const std::string& text) : value_(std::string_view(text)) {}
  FormatArg(const char* text) : value_(std::string_view(text)) {}
  FormatArg(int number) : value_(static_cast<std::int64_t>(number)) {}
  FormatArg(long number) : value_(static_cast<std::int64_t>(number)) {}
  FormatArg(long long number) : value_(static_cast<std::int64_t>(number)) {}

  bool IsText() const { return std::holds_alternative<std::string_view>(value_); }
  std::string_view Text() const { return std::get<std::string_view>(value_); }
  std::int64_t Number() const { return std::get<std::int64_t>(value_); }

 private:
  std::variant<std::string_view, std::int64_t> value_;
};

// Substitutes `args` into `pattern`. A directive without an argument left, an
// argument of the wrong kind for its directive ("%d" given a text, "%s" given
// a number) or an unknown directive raises EConvertError naming the pattern.
std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args);

}  // namespace qv

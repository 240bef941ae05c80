#include "qvd3/platform/sys/format.h"

#include "qvd3/platform/sys/exception.h"

namespace qv {
namespace {

[[noreturn]] void Invalid(std::string_view pattern) {
  throw EConvertError("Format '" + std::string(pattern) +
                      "' invalid or incompatible with argument");
}

}  // namespace

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size());
  const FormatArg* next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      out += pattern[i];
      continue;
    }
    if (++i == pattern.size()) Invalid(pattern);
    const char directive = pattern[i];
    if (directive == '%') {
      out += '%';
      continue;
    }
    if (directive != 's' && directive != 'd') Invalid(pattern);
    if (next == args.end()) Invalid(pattern);
    const FormatArg& arg = *next++;
    if (directive == 's') {
      if (!arg.IsText()) Invalid(pattern);
      out += arg.Text();
    } else {
      if (arg.IsText()) Invalid(pattern);
      out += std::to_string(arg.Number());
    }
  }
  return out;
}

}  // namespace qv

// The SQL parameter scanner on any text: it finds distinct names, the
// translation numbers every parameter within them, and the select analysis
// points inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "qvd3/platform/db/sql_text.h"
#include "qvd3/platform/sys/text_case.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  const auto names = qv::dbimpl::ParameterNames(sql);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) std::abort();
    for (std::size_t j = 0; j < i; ++j)
      if (qv::SameText(names[i], names[j])) std::abort();
  }
  int placeholders = 0;
  const std::string translated = qv::dbimpl::TranslateParameters(sql, [&](int k) {
    if (k < 1 || k > static_cast<int>(names.size())) std::abort();
    ++placeholders;
    return "$" + std::to_string(k);
  });
  // Every name found is used at least once.
  if (placeholders < static_cast<int>(names.size())) std::abort();
  const auto shape = qv::dbimpl::AnalyzeSelect(sql);
  if (shape.single_table && (shape.table.empty() || shape.from_offset >= sql.size())) std::abort();
  return 0;
}

// The filter expression parser on any text: it either compiles the text or
// raises EDatabaseError, and a compiled filter evaluates on rows holding
// nulls, numbers and texts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/filter_expr.h"
#include "qvd3/platform/db/row_store.h"

using namespace qv;
using namespace qv::dbimpl;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static RowStore* store = [] {
    auto* rows = new RowStore(3);
    return rows;
  }();
  static const char* rows[] = {
      store->Add({Value(7), Value("ana"), Value("12")}),
      store->Add({Value(), Value(""), Value("x")}),
      store->Add({Value(-2147483648LL), Value("O'Neil"), Value()}),
  };
  std::unique_ptr<FilterExpression> filter;
  try {
    filter = FilterExpression::Parse(text, [](std::string_view name) {
      if (name == "ID" || name == "id") return FilterColumn{0, TFieldType::Integer};
      if (name == "NAME") return FilterColumn{1, TFieldType::String};
      if (name == "CODE") return FilterColumn{2, TFieldType::String};
      throw EDatabaseError("field '" + std::string(name) + "' not found");
    });
  } catch (const EDatabaseError&) {
    return 0;
  }
  for (const char* row : rows) filter->Matches(*store, row);
  int column;
  Value constant;
  filter->IsEquality(column, constant);
  return 0;
}

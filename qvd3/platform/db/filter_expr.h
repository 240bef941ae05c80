// Internal to qvd3/platform/db: the filter expression language of datasets.
//   expr    := or
//   or      := and { OR and }
//   and     := not { AND not }
//   not     := NOT not | primary
//   primary := '(' expr ')' | operand op operand
//   operand := [name] | name | 'text' | integer
//   op      := = | <> | < | > | <= | >=
// Names are resolved to result columns when the filter is compiled.
// Parentheses and NOTs may nest 256 levels deep; a deeper text is refused
// as malformed. Chains of ORs or ANDs may be of any length.
#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "qvd3/platform/db/row_store.h"

namespace qv::dbimpl {

struct FilterColumn {
  int column = -1;
  TFieldType type = TFieldType::String;
};

class FilterExpression {
 public:
  // `resolve` maps a name to its column or throws. Raises EDatabaseError
  // naming `text` when it is malformed.
  static std::unique_ptr<FilterExpression> Parse(
      std::string_view text, const std::function<FilterColumn(std::string_view)>& resolve);
  virtual ~FilterExpression() = default;

  virtual bool Matches(const RowStore& store, const char* record) const = 0;
  // True when the expression is just `column = constant` (either order).
  virtual bool IsEquality(int& column, Value& constant) const { return false; }
};

}  // namespace qv::dbimpl

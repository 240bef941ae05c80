#include "qvd3/platform/db/engine.h"

#include "qvd3/platform/db/database_error.h"

namespace qv::dbimpl {

Value CellToValue(const Cell& cell, TFieldType type) {
  if (cell.null) return Value();
  std::string_view text(cell.data, cell.size);
  switch (type) {
    case TFieldType::Integer:
    case TFieldType::SmallInt: {
      std::int64_t n = 0;
      if (ParseInteger(text, n)) return Value(static_cast<long long>(n));
      return Value(text);
    }
    case TFieldType::Bytes:
      return Value::Bytes(text);
    default:
      return Value(text);
  }
}

void ValueRows::AddRow(const Cell* cells) {
  std::vector<Value> row;
  row.reserve(columns.size());
  for (std::size_t c = 0; c < columns.size(); ++c) row.push_back(CellToValue(cells[c], columns[c].type));
  rows.push_back(std::move(row));
}

std::string Engine::EncryptRolePassword(const std::string&, const std::string&) {
  throw EDatabaseError("this database engine has no login roles");
}

}  // namespace qv::dbimpl

#include "platform/db/engine.h"

#include <cctype>

namespace qv::dbimpl {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

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

}  // namespace qv::dbimpl

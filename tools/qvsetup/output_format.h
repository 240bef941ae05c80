// The formats qvsetup writes lists and exports in:
//   table  aligned columns under a header, for people (the default)
//   csv    RFC 4180: a header line, CRLF line ends, fields quoted where
//          needed; a field that a spreadsheet would take for a formula
//          (starting with =, +, -, @, a tab or a carriage return) is
//          written with a leading apostrophe
//   json   an array of objects, one per row, keyed by the column names
// Rows are written as they come (a table waits for its last row, to align
// the columns).
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv::setup {

enum class OutputFormat { Table, Csv, Json };

// "table", "csv" or "json"; anything else (or "table" when `tableAllowed`
// is false) raises CommandUsageError.
OutputFormat ParseOutputFormat(std::string_view text, bool tableAllowed = true);

// One CSV field as written: neutralised and quoted as above.
void AppendCsvField(std::string& line, std::string_view field);
// A JSON string literal of `text` (UTF-8 kept, controls escaped).
void AppendJsonString(std::string& out, std::string_view text);

class RowWriter {
 public:
  RowWriter(std::ostream& out, OutputFormat format, std::vector<std::string> columns);
  // One row, one text per column.
  void Row(std::span<const std::string_view> cells);
  void Row(const std::vector<std::string>& cells);
  // Ends the output (the table is written here); raises qv::Exception when
  // the stream failed.
  void Finish();

 private:
  std::ostream& out_;
  OutputFormat format_;
  std::vector<std::string> columns_;
  std::vector<std::vector<std::string>> table_;  // rows of a table, kept until Finish
  std::string line_;
  long long rows_ = 0;
};

}  // namespace qv::setup

#include "tools/qvsetup/output_format.h"

#include <algorithm>

#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/utf8.h"
#include "tools/qvsetup/command_errors.h"

namespace qv::setup {

OutputFormat ParseOutputFormat(std::string_view text, bool tableAllowed) {
  if (text == "csv") return OutputFormat::Csv;
  if (text == "json") return OutputFormat::Json;
  if (text == "table" && tableAllowed) return OutputFormat::Table;
  throw CommandUsageError("--format takes " + std::string(tableAllowed ? "table, csv or json" : "csv or json") +
                          ", not '" + std::string(text) + "'");
}

void AppendCsvField(std::string& line, std::string_view field) {
  const bool formula = !field.empty() && (field[0] == '=' || field[0] == '+' || field[0] == '-' ||
                                          field[0] == '@' || field[0] == '\t' || field[0] == '\r');
  const bool quote = formula || field.find_first_of(",\"\r\n") != std::string_view::npos;
  if (!quote) {
    line.append(field);
    return;
  }
  line += '"';
  if (formula) line += '\'';
  for (char c : field) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

void AppendJsonString(std::string& out, std::string_view text) {
  static const char* const kHex = "0123456789abcdef";
  out += '"';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

RowWriter::RowWriter(std::ostream& out, OutputFormat format, std::vector<std::string> columns)
    : out_(out), format_(format), columns_(std::move(columns)) {
  if (format_ == OutputFormat::Csv) {
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      if (c) line_ += ',';
      AppendCsvField(line_, columns_[c]);
    }
    line_ += "\r\n";
    out_ << line_;
  } else if (format_ == OutputFormat::Json) {
    out_ << '[';
  }
}

void RowWriter::Row(const std::vector<std::string>& cells) {
  std::vector<std::string_view> views(cells.begin(), cells.end());
  Row(views);
}

void RowWriter::Row(std::span<const std::string_view> cells) {
  line_.clear();
  switch (format_) {
    case OutputFormat::Table:
      table_.emplace_back(cells.begin(), cells.end());
      return;
    case OutputFormat::Csv:
      for (std::size_t c = 0; c < cells.size(); ++c) {
        if (c) line_ += ',';
        AppendCsvField(line_, cells[c]);
      }
      line_ += "\r\n";
      break;
    case OutputFormat::Json:
      line_ += rows_ ? ",\n{" : "\n{";
      for (std::size_t c = 0; c < cells.size() && c < columns_.size(); ++c) {
        if (c) line_ += ", ";
        AppendJsonString(line_, columns_[c]);
        line_ += ": ";
        AppendJsonString(line_, cells[c]);
      }
      line_ += '}';
      break;
  }
  ++rows_;
  out_ << line_;
}

// Columns padded to their widest cell in characters; the last one is not
// padded.
void RowWriter::Finish() {
  if (format_ == OutputFormat::Json) {
    out_ << (rows_ ? "\n]\n" : "]\n");
  } else if (format_ == OutputFormat::Table) {
    std::vector<std::size_t> widths(columns_.size());
    for (std::size_t c = 0; c < columns_.size(); ++c) widths[c] = Utf8Length(columns_[c]);
    for (const auto& row : table_)
      for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
        widths[c] = std::max(widths[c], Utf8Length(row[c]));
    auto write = [&](const std::vector<std::string>& row) {
      std::string line;
      for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
        line += row[c];
        if (c + 1 < row.size()) line.append(widths[c] - Utf8Length(row[c]) + 2, ' ');
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      out_ << line << '\n';
    };
    write(columns_);
    for (const auto& row : table_) write(row);
  }
  out_.flush();
  if (!out_) throw Exception("the output could not be written");
}

}  // namespace qv::setup

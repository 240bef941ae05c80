// Internal to qvd3/platform/db: the interface each SQL engine implements, and the
// shape in which result rows reach a dataset. Nothing outside this folder
// includes it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/db/value.h"

namespace qv::dbimpl {

struct ColumnInfo {
  std::string name;  // as the engine reports it
  TFieldType type = TFieldType::String;
  int size = 0;  // 0 = unlimited
};

// One value of a result row, pointing into the engine's buffers (valid only
// during the AddRow call).
struct Cell {
  const char* data = nullptr;
  std::uint32_t size = 0;
  bool null = true;
};

// Receives the result of a statement: the columns once, before any row.
struct ResultSink {
  virtual ~ResultSink() = default;
  virtual void SetColumns(std::vector<ColumnInfo> columns) = 0;
  virtual void AddRow(const Cell* cells) = 0;
};

// Collects the rows of a small result as Values (for RETURNING and scalar
// selects).
struct ValueRows : ResultSink {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Value>> rows;
  void SetColumns(std::vector<ColumnInfo> cols) override { columns = std::move(cols); }
  void AddRow(const Cell* cells) override;
};

// Converts one cell to a Value of the column's type.
Value CellToValue(const Cell& cell, TFieldType type);

class Engine {
 public:
  virtual ~Engine() = default;

  // Runs `sql` as it stands (possibly several statements, no parameters).
  virtual void Exec(std::string_view sql) = 0;
  // Runs one statement whose parameters are written in this engine's form
  // (see Placeholder) with `params` bound in order; result rows go to
  // `sink` when given. Returns the number of rows changed.
  virtual std::int64_t Run(const std::string& sql, const std::vector<Value>& params,
                           ResultSink* sink) = 0;
  // The result columns of one statement written as for Run, with
  // `param_count` parameters, without running it; errors of the statement
  // (a missing table or column) are raised as Run would raise them.
  virtual std::vector<ColumnInfo> Describe(const std::string& sql, int param_count) = 0;
  // The column lists that name one row of `table`, each in key order: its
  // primary key first (when it has one), then every unique constraint or
  // unique index that the engine enforces on each statement and that covers
  // plain columns of every row (no expression, no condition).
  virtual std::vector<std::vector<std::string>> UniqueKeys(std::string_view table) = 0;
  // One parameter holding every value of `values` (none null, none bytes)
  // as an array, for a condition "column = ANY(<placeholder>)" whose column
  // gives the array its type; nullopt when the engine has no arrays, and
  // the caller then lists one placeholder per value.
  virtual std::optional<Value> ArrayParameter(const std::vector<Value>& values) const {
    (void)values;
    return std::nullopt;
  }
  // The expression naming a row's identity in a select ("rowid", "ctid").
  virtual std::string_view RowIdentity() const = 0;
  // The most parameters one statement may carry.
  virtual int MaxParameters() const = 0;
  // The placeholder for parameter number `n` (1-based): "?n" or "$n".
  virtual std::string Placeholder(int n) const = 0;
  // The same for a statement whose parameters are written once each, in
  // order: SQLite's bare "?", which compiles without looking numbers up
  // (the cost of numbered ones grows with the square of their count).
  virtual std::string SequentialPlaceholder(int n) const { return Placeholder(n); }
  // The form in which the server stores `password` for the login role
  // `role`, computed on this side so that the password itself never travels
  // in statement text. Engines without login roles raise EDatabaseError.
  virtual std::string EncryptRolePassword(const std::string& role, const std::string& password);
};

// Open an engine connection; errors name `alias`.
std::unique_ptr<Engine> OpenSqlite(const std::string& alias, const std::string& path);
std::unique_ptr<Engine> OpenPostgres(const std::string& alias, const std::string& conninfo);

}  // namespace qv::dbimpl

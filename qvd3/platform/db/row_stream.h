// TRowStream: a select read once, front to back, each row handed to the
// caller as the engine produces it and then forgotten, so memory stays flat
// however many rows the select yields (SQLite steps its statement; a
// PostgreSQL server sends the rows one at a time). For exports of tables
// that only grow; a dataset (TQuery) is for everything that moves a cursor,
// edits, filters or counts.
//
//   TRowStream rows;
//   rows.SetDatabaseName(alias);
//   rows.SetSQL("SELECT A, B FROM T WHERE K=:K");
//   rows.ParamByName("K").SetAsInteger(7);
//   rows.Run([](std::span<const TRowCell> row) { ... row[0].text ... });
//
// Parameters are written and bound as for TQuery.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/platform/db/param.h"

namespace qv {

// One value of a streamed row: its text as the engine gives it (numbers in
// decimal, bytes as they are), valid only during the call that receives it.
struct TRowCell {
  std::string_view text;
  bool null = true;
};

class TRowStream {
 public:
  void SetDatabaseName(std::string_view alias) { database_name_ = alias; }
  const std::string& DatabaseName() const { return database_name_; }
  // Rebuilds the parameters, keeping the values of those still named.
  void SetSQL(std::string_view sql);
  TParam& ParamByName(std::string_view name) { return params_.ParamByName(name); }

  // Runs the select and calls `onRow` for every row in the order the engine
  // gives them. Every parameter needs a value (EDatabaseError otherwise).
  // An error raised by `onRow` ends the reading (the rest of a server's
  // result is drained and dropped) and propagates, as do the database's.
  void Run(const std::function<void(std::span<const TRowCell> row)>& onRow);

  // The result's column names, as the engine reports them; known once Run
  // has started.
  const std::vector<std::string>& ColumnNames() const { return column_names_; }

 private:
  std::string database_name_;
  std::string sql_;
  TParams params_;
  std::vector<std::string> column_names_;
};

}  // namespace qv

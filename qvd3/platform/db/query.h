// TQuery: a dataset over SQL text run on the database of an alias.
//
//   TQuery qry;
//   qry.SetDatabaseName("security");
//   qry.SetSQL("SELECT APP_KEY, USER_ID FROM UACCESS\nWHERE APP_KEY=:APP_KEY");
//   qry.ParamByName("APP_KEY").SetAsString(app_key);
//   qry.Open();
//
// Parameters are written ":NAME" (a name used twice is one value); a colon
// inside quotes, identifiers or comments, and "::" casts, are left alone.
// Every parameter needs a value when the statement runs: set by ParamByName,
// or, when a master DataSource is given, taken at each Open and ExecSQL from
// the field of the same name in that source's current row (a parameter the
// master has no field for keeps its own value). A text value must be storable
// as text (see CheckStorableText), else the statement is refused with
// EDatabaseError naming the parameter; bind a byte string (SetAsBytes) for
// any bytes.
//
// A live query (SetRequestLive(true)) must be a select from one table; its
// rows can be inserted, edited and deleted through its fields. An edit or a
// delete reaches exactly the row it was read from, as it was read: named by
// the table's primary key or another unique key when the select includes
// one, else by the engine's row identity, and in both cases only while every
// selected column still holds the value read. A row another client changed
// or deleted since it was read (or whose key values several rows share) is
// an EDatabaseError naming the table, and nothing is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "qvd3/platform/db/dataset.h"
#include "qvd3/platform/db/param.h"

namespace qv {

class TDatabase;
namespace dbimpl {
struct QueryPlan;
struct PendingSelect;
struct DataSetRows;
struct ColumnInfo;
class Engine;
}

class TQuery : public TDataSet {
 public:
  TQuery();
  ~TQuery() override;

  // The alias the query runs on; takes effect at the next Open/ExecSQL.
  const std::string& DatabaseName() const { return database_name_; }
  void SetDatabaseName(std::string_view alias);

  // The whole SQL text (several lines allowed). Setting it closes the query
  // and rebuilds Params, keeping the values of parameters still named.
  const std::string& SQL() const { return sql_; }
  void SetSQL(std::string_view sql);

  TParams& Params() { return params_; }
  TParam& ParamByName(std::string_view name) { return params_.ParamByName(name); }

  // The master source whose current row fills parameters of the same name.
  TDataSource* DataSource() const { return master_; }
  void SetDataSource(TDataSource* source) { master_ = source; }

  bool RequestLive() const { return request_live_; }
  void SetRequestLive(bool live);
  bool CanModify() const override;

  // Runs a statement without result (insert, update, delete, DDL) and
  // returns the number of rows it changed.
  std::int64_t ExecSQL();

  // The connection of DatabaseName, opened if needed.
  TDatabase& Database() const;

 protected:
  void DoOpen(dbimpl::ResultSink& sink) override;
  bool DoPrepare(dbimpl::ResultSink& sink) override;
  void DoFetch(dbimpl::ResultSink& sink) override;
  void DoInsert(dbimpl::RowChange& change) override;
  void DoUpdate(dbimpl::RowChange& change) override;
  void DoDelete(dbimpl::RowChange& change) override;
  void DoDeleteRows(std::vector<dbimpl::RowChange>& changes) override;
  void DoInsertRows(std::vector<dbimpl::RowChange>& changes) override;
  void DoClose() override;

 private:
  void FillFromMaster();
  std::vector<Value> ParamValues();
  struct SelectRun {
    std::string translated;
    std::vector<Value> values;
  };
  SelectRun BuildSelect(TDatabase& db, dbimpl::DataSetRows& rows);
  // `sql` in the engine's parameter form. The latest translation is kept,
  // so a statement run again and again is translated once.
  const std::string& Translate(const dbimpl::Engine& engine, const std::string& sql);
  const std::vector<int>& KeyColumns(const std::vector<dbimpl::ColumnInfo>& columns, int dataColumns);

  std::string database_name_;
  std::string sql_;
  TParams params_;
  TDataSource* master_ = nullptr;
  bool request_live_ = false;
  std::unique_ptr<dbimpl::QueryPlan> plan_;  // the live table, open identity
  std::unique_ptr<dbimpl::PendingSelect> pending_;  // the select a deferred Open left
  std::string translated_, translated_from_, translated_style_;  // see Translate
};

}  // namespace qv

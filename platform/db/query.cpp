#include "qvd3/platform/db/query.h"

#include <algorithm>
#include <optional>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/dataset_rows.h"
#include "qvd3/platform/db/datasource.h"
#include "qvd3/platform/db/sql_text.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv {

namespace dbimpl {

// What a live query learned about its table when it opened.
struct QueryPlan {
  std::string alias;               // lower case
  std::string table;               // as written in the select
  std::vector<std::string> key;    // primary-key column names
  std::vector<int> key_columns;    // their result columns; empty = use identity
  bool key_known = false;
};

// A select checked by a deferred Open and not run yet.
struct PendingSelect {
  std::string alias;
  std::string translated;  // in the engine's parameter form
  std::vector<Value> values;
};

}  // namespace dbimpl

using dbimpl::QuoteIdentifier;

TQuery::TQuery() = default;
TQuery::~TQuery() = default;

void TQuery::SetDatabaseName(std::string_view alias) { database_name_ = alias; }

void TQuery::SetSQL(std::string_view sql) {
  Close();
  sql_ = sql;
  params_.Rebuild(dbimpl::ParameterNames(sql_));
  plan_.reset();
}

void TQuery::SetRequestLive(bool live) {
  if (Active()) Fail("Cannot change RequestLive while the dataset is open");
  request_live_ = live;
}

bool TQuery::CanModify() const { return request_live_; }

TDatabase& TQuery::Database() const {
  if (database_name_.empty()) Fail("DatabaseName is not set");
  return Session::Default().Database(database_name_);
}

void TQuery::FillFromMaster() {
  if (!master_ || !master_->DataSet() || !master_->DataSet()->Active()) return;
  TDataSet& master = *master_->DataSet();
  for (int i = 0; i < params_.Count(); ++i) {
    if (TField* f = master.FindField(params_[i].Name())) params_[i].SetValue(f->AsValue());
  }
}

std::vector<Value> TQuery::ParamValues() {
  std::vector<Value> values;
  for (int i = 0; i < params_.Count(); ++i) {
    const TParam& param = params_[i];
    if (!param.Bound()) Fail("No value for parameter '" + param.Name() + "'");
    if (param.Value().IsText()) CheckStorableText(param.Value().AsString(), "Parameter '" + param.Name() + "'");
    values.push_back(param.Value());
  }
  return values;
}

// The select an Open runs, with the row identity added to a live query's
// columns and the parameters as they stand now.
TQuery::SelectRun TQuery::BuildSelect(TDatabase& db, dbimpl::DataSetRows& rows) {
  dbimpl::Engine& engine = db.engine();
  FillFromMaster();
  SelectRun run;
  run.values = ParamValues();
  std::string sql = sql_;
  if (request_live_) {
    dbimpl::SelectShape shape = dbimpl::AnalyzeSelect(sql_);
    if (!shape.single_table) Fail("A live query must be a select from a single table");
    sql = sql_.substr(0, shape.from_offset) + ", " + std::string(engine.RowIdentity()) +
          " AS qv_row_identity " + sql_.substr(shape.from_offset);
    rows.identity = true;
    std::string alias = AsciiLower(database_name_);
    if (!plan_ || plan_->alias != alias || plan_->table != shape.table) {
      plan_ = std::make_unique<dbimpl::QueryPlan>();
      plan_->alias = alias;
      plan_->table = shape.table;
    }
  }
  run.translated = dbimpl::TranslateParameters(sql, [&](int n) { return engine.Placeholder(n); });
  return run;
}

// A live query learns which result columns hold its table's primary key.
void TQuery::FindKeyColumns(TDatabase& db, const dbimpl::DataSetRows& rows) {
  if (!request_live_) return;
  if (!plan_->key_known) {
    plan_->key = db.engine().PrimaryKey(plan_->table);
    plan_->key_known = true;
  }
  plan_->key_columns.clear();
  for (const std::string& name : plan_->key) {
    int found = -1;
    for (int c = 0; c < rows.DataColumns(); ++c)
      if (SameText(rows.columns[c].name, name)) found = c;
    if (found < 0) {
      plan_->key_columns.clear();
      break;
    }
    plan_->key_columns.push_back(found);
  }
}

void TQuery::DoOpen(dbimpl::ResultSink& sink) {
  TDatabase& db = Database();
  auto& rows = static_cast<dbimpl::DataSetRows&>(sink);
  SelectRun run = BuildSelect(db, rows);
  db.BeforeStatement(sql_);
  db.engine().Run(run.translated, run.values, &sink);
  FindKeyColumns(db, rows);
}

// The engine checks the statement and describes its columns; the select
// itself runs in DoFetch, on the same alias and with the same values.
bool TQuery::DoPrepare(dbimpl::ResultSink& sink) {
  TDatabase& db = Database();
  auto& rows = static_cast<dbimpl::DataSetRows&>(sink);
  SelectRun run = BuildSelect(db, rows);
  db.BeforeStatement(sql_);
  sink.SetColumns(db.engine().Describe(run.translated, static_cast<int>(run.values.size())));
  FindKeyColumns(db, rows);
  pending_ = std::make_unique<dbimpl::PendingSelect>(
      dbimpl::PendingSelect{database_name_, std::move(run.translated), std::move(run.values)});
  return true;
}

void TQuery::DoFetch(dbimpl::ResultSink& sink) {
  if (!pending_) return;
  TDatabase& db = Session::Default().Database(pending_->alias);
  db.BeforeStatement(sql_);
  db.engine().Run(pending_->translated, pending_->values, &sink);
  pending_.reset();
}

void TQuery::DoClose() { pending_.reset(); }

namespace {

// " RETURNING <every data column>, <identity>": the row as stored.
std::string ReturningClause(const dbimpl::RowChange& change, std::string_view identity) {
  std::string sql = " RETURNING ";
  for (int c = 0; c < change.data_columns; ++c) sql += QuoteIdentifier((*change.columns)[c].name) + ", ";
  sql += std::string(identity);
  return sql;
}

}  // namespace

void TQuery::DoInsert(dbimpl::RowChange& change) {
  if (!plan_) Fail("The dataset is not live");
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  std::string names, marks;
  std::vector<Value> values;
  for (int c = 0; c < change.data_columns; ++c) {
    if (!change.modified[c]) continue;
    if (!values.empty()) {
      names += ", ";
      marks += ", ";
    }
    values.push_back(change.values[c]);
    names += QuoteIdentifier((*change.columns)[c].name);
    marks += engine.Placeholder(static_cast<int>(values.size()));
  }
  std::string sql = "INSERT INTO " + plan_->table +
                    (values.empty() ? std::string(" DEFAULT VALUES") : " (" + names + ") VALUES (" + marks + ")") +
                    ReturningClause(change, engine.RowIdentity());
  db.BeforeStatement(sql);
  dbimpl::ValueRows rows;
  engine.Run(sql, values, &rows);
  if (rows.rows.size() != 1) Fail("The new row could not be read back");
  change.result = std::move(rows.rows.front());
}

// Rows that set the same columns go in batches of one multi-row INSERT
// each, RETURNING the rows as stored (one round trip per batch instead of
// one per row). Every batch must return exactly its rows, else the
// transaction is rolled back.
void TQuery::DoInsertRows(std::vector<dbimpl::RowChange>& changes) {
  if (!plan_) Fail("The dataset is not live");
  if (changes.empty()) return;
  constexpr std::size_t kMaxBatchRows = 500;
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  std::optional<TransactionGuard> transaction;
  if (!db.InTransaction()) transaction.emplace(db);
  const dbimpl::RowChange& model = changes.front();
  std::vector<int> columns;
  std::string names;
  for (int c = 0; c < model.data_columns; ++c) {
    if (!model.modified[c]) continue;
    names += (columns.empty() ? "" : ", ") + QuoteIdentifier((*model.columns)[c].name);
    columns.push_back(c);
  }
  for (const dbimpl::RowChange& change : changes)
    if (change.modified != model.modified) Fail("The rows of one insert must set the same columns");
  if (columns.empty()) {
    for (dbimpl::RowChange& change : changes) DoInsert(change);
  } else {
    const std::size_t batch = std::clamp<std::size_t>(
        static_cast<std::size_t>(engine.MaxParameters()) / columns.size(), 1, kMaxBatchRows);
    for (std::size_t first = 0; first < changes.size(); first += batch) {
      const std::size_t last = std::min(changes.size(), first + batch);
      std::vector<Value> values;
      std::string rows_text;
      for (std::size_t i = first; i < last; ++i) {
        rows_text += i > first ? ", (" : "(";
        for (std::size_t k = 0; k < columns.size(); ++k) {
          values.push_back(changes[i].values[columns[k]]);
          rows_text += (k > 0 ? ", " : "") + engine.SequentialPlaceholder(static_cast<int>(values.size()));
        }
        rows_text += ")";
      }
      const std::string sql = "INSERT INTO " + plan_->table + " (" + names + ") VALUES " + rows_text +
                              ReturningClause(model, engine.RowIdentity());
      db.BeforeStatement(sql);
      dbimpl::ValueRows stored;
      engine.Run(sql, values, &stored);
      if (stored.rows.size() != last - first) Fail("The new rows could not be read back");
      for (std::size_t i = first; i < last; ++i) changes[i].result = std::move(stored.rows[i - first]);
    }
  }
  if (transaction) transaction->Commit();
}

namespace {

// The WHERE clause naming the row `change` was read from, its values
// appended to `values`.
std::string RowCondition(const dbimpl::RowChange& change, const std::vector<int>& key_columns,
                         const dbimpl::Engine& engine, std::vector<Value>& values) {
  std::string where;
  if (key_columns.empty()) {
    values.push_back(change.Original(change.data_columns));
    return std::string(engine.RowIdentity()) + " = " + engine.Placeholder(static_cast<int>(values.size()));
  }
  for (int c : key_columns) {
    if (!where.empty()) where += " AND ";
    values.push_back(change.Original(c));
    where += QuoteIdentifier((*change.columns)[c].name) + " = " +
             engine.Placeholder(static_cast<int>(values.size()));
  }
  return where;
}

}  // namespace

void TQuery::DoUpdate(dbimpl::RowChange& change) {
  if (!plan_) Fail("The dataset is not live");
  const int all = static_cast<int>(change.columns->size());
  bool any = false;
  for (int c = 0; c < change.data_columns; ++c) any = any || change.modified[c];
  if (!any) {
    for (int c = 0; c < all; ++c) change.result.push_back(change.Original(c));
    return;
  }
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  std::vector<Value> values;
  std::string sets;
  for (int c = 0; c < change.data_columns; ++c) {
    if (!change.modified[c]) continue;
    if (!sets.empty()) sets += ", ";
    values.push_back(change.values[c]);
    sets += QuoteIdentifier((*change.columns)[c].name) + " = " + engine.Placeholder(static_cast<int>(values.size()));
  }
  std::string where = RowCondition(change, plan_->key_columns, engine, values);
  std::string sql = "UPDATE " + plan_->table + " SET " + sets + " WHERE " + where +
                    ReturningClause(change, engine.RowIdentity());
  db.BeforeStatement(sql);
  dbimpl::ValueRows rows;
  engine.Run(sql, values, &rows);
  if (rows.rows.size() != 1) Fail("The row was changed or deleted by another user; it could not be updated");
  change.result = std::move(rows.rows.front());
}

void TQuery::DoDelete(dbimpl::RowChange& change) {
  if (!plan_) Fail("The dataset is not live");
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  std::vector<Value> values;
  std::string sql = "DELETE FROM " + plan_->table + " WHERE " + RowCondition(change, plan_->key_columns, engine, values);
  db.BeforeStatement(sql);
  if (engine.Run(sql, values, nullptr) != 1)
    Fail("The row was changed or deleted by another user; it could not be deleted");
}

// Rows go in batches of one statement each, "WHERE <key> IN (...)" (the key
// column or the row identity) or, for a key of several columns, one
// condition per row joined by OR. Every batch must delete exactly its rows,
// else the transaction is rolled back. Batches stay moderate, as a
// statement's compile time grows faster than its number of parameters.
void TQuery::DoDeleteRows(std::vector<dbimpl::RowChange>& changes) {
  if (!plan_) Fail("The dataset is not live");
  constexpr std::size_t kMaxBatchRows = 1000;
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  std::optional<TransactionGuard> transaction;
  if (!db.InTransaction()) transaction.emplace(db);
  const std::vector<int>& key = plan_->key_columns;
  const std::size_t per_row = key.empty() ? 1 : key.size();
  const std::size_t batch = std::clamp<std::size_t>(static_cast<std::size_t>(engine.MaxParameters()) / per_row, 1,
                                                    kMaxBatchRows);
  for (std::size_t first = 0; first < changes.size(); first += batch) {
    const std::size_t last = std::min(changes.size(), first + batch);
    std::vector<Value> values;
    std::string where;
    if (per_row == 1) {
      const int column = key.empty() ? changes[first].data_columns : key.front();
      where = key.empty() ? std::string(engine.RowIdentity()) : QuoteIdentifier((*changes[first].columns)[column].name);
      where += " IN (";
      for (std::size_t i = first; i < last; ++i) {
        values.push_back(changes[i].Original(column));
        where += (i > first ? ", " : "") + engine.SequentialPlaceholder(static_cast<int>(values.size()));
      }
      where += ")";
    } else {
      for (std::size_t i = first; i < last; ++i)
        where += (i > first ? " OR (" : "(") + RowCondition(changes[i], key, engine, values) + ")";
    }
    const std::string sql = "DELETE FROM " + plan_->table + " WHERE " + where;
    db.BeforeStatement(sql);
    if (engine.Run(sql, values, nullptr) != static_cast<std::int64_t>(last - first))
      Fail("Some of the rows were changed or deleted by another user; none was deleted");
  }
  if (transaction) transaction->Commit();
}

std::int64_t TQuery::ExecSQL() {
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  FillFromMaster();
  std::vector<Value> values = ParamValues();
  std::string translated = dbimpl::TranslateParameters(sql_, [&](int n) { return engine.Placeholder(n); });
  db.BeforeStatement(sql_);
  return engine.Run(translated, values, nullptr);
}

}  // namespace qv

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
  std::vector<std::vector<std::string>> keys;  // the table's unique keys
  std::vector<int> key_columns;    // result columns of the first key selected whole
  bool keys_known = false;
  bool key_columns_known = false;  // for the columns of the latest open
};

// A select checked by a deferred Open and not run yet.
struct PendingSelect {
  std::string alias;
  std::string translated;  // in the engine's parameter form
  std::vector<Value> values;
};

}  // namespace dbimpl

using dbimpl::Cell;
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
    plan_->key_columns_known = false;
  }
  run.translated = Translate(engine, sql);
  return run;
}

// Keyed on the source text and on the engine's form of the first
// parameter, which tells the engines' forms apart.
const std::string& TQuery::Translate(const dbimpl::Engine& engine, const std::string& sql) {
  std::string style = engine.Placeholder(1);
  if (sql != translated_from_ || style != translated_style_) {
    translated_ = dbimpl::TranslateParameters(sql, [&](int n) { return engine.Placeholder(n); });
    translated_from_ = sql;
    translated_style_ = std::move(style);
  }
  return translated_;
}

// A live query learns which of its table's unique keys (the primary key
// first) it selects whole: its rows are addressed by that key's values.
// It asks the engine when it first writes a row after an open, not at the
// open: most live queries are only ever read, and a client that opens
// several of them at start would pay a catalogue read for each.
const std::vector<int>& TQuery::KeyColumns(const std::vector<dbimpl::ColumnInfo>& columns, int dataColumns) {
  if (plan_->key_columns_known) return plan_->key_columns;
  if (!plan_->keys_known) {
    plan_->keys = Database().engine().UniqueKeys(plan_->table);
    plan_->keys_known = true;
  }
  plan_->key_columns.clear();
  for (const std::vector<std::string>& key : plan_->keys) {
    std::vector<int> found;
    for (const std::string& name : key) {
      for (int c = 0; c < dataColumns; ++c) {
        if (SameText(columns[c].name, name)) {
          found.push_back(c);
          break;
        }
      }
    }
    if (found.size() == key.size()) {
      plan_->key_columns = std::move(found);
      break;
    }
  }
  plan_->key_columns_known = true;
  return plan_->key_columns;
}

void TQuery::DoOpen(dbimpl::ResultSink& sink) {
  TDatabase& db = Database();
  auto& rows = static_cast<dbimpl::DataSetRows&>(sink);
  SelectRun run = BuildSelect(db, rows);
  db.BeforeStatement(sql_);
  db.engine().Run(run.translated, run.values, &sink);
}

// The engine checks the statement and describes its columns; the select
// itself runs in DoFetch, on the same alias and with the same values.
bool TQuery::DoPrepare(dbimpl::ResultSink& sink) {
  TDatabase& db = Database();
  auto& rows = static_cast<dbimpl::DataSetRows&>(sink);
  SelectRun run = BuildSelect(db, rows);
  db.BeforeStatement(sql_);
  sink.SetColumns(db.engine().Describe(run.translated, static_cast<int>(run.values.size())));
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

// The key columns of `change`'s row when its key can name it: every key
// value as read is non-null (a unique key does not bind nulls). Empty when
// the row is named by its identity instead.
std::vector<int> KeyOf(const dbimpl::RowChange& change, const std::vector<int>& key_columns) {
  for (int c : key_columns)
    if (change.Original(c).IsNull()) return {};
  return key_columns;
}

// The WHERE clause naming the row `change` was read from as it was read, its
// values appended to `values`: the key's values, or the engine's row
// identity when the table has no key, and in both cases every other column
// equal to its value as read (IS NULL for a null). So a row that another
// client changed or deleted meanwhile matches nothing, and the identity,
// which a deleted row can pass on to a new one, never names a row alone.
std::string RowCondition(const dbimpl::RowChange& change, const std::vector<int>& key, TDatabase& db,
                         std::vector<Value>& values) {
  dbimpl::Engine& engine = db.engine();
  std::string where;
  auto mark = [&](const Value& value) {
    values.push_back(value);
    return engine.Placeholder(static_cast<int>(values.size()));
  };
  if (key.empty()) where = std::string(engine.RowIdentity()) + " = " + mark(change.Original(change.data_columns));
  std::vector<int> order = key;
  for (int c = 0; c < change.data_columns; ++c)
    if (std::find(key.begin(), key.end(), c) == key.end()) order.push_back(c);
  for (int c : order) {
    const Value original = change.Original(c);
    std::string column = QuoteIdentifier((*change.columns)[c].name);
    // SQLite compares a blob with a text as different: a byte column that
    // another program filled with text is compared by its bytes.
    if (original.IsBytes() && db.Engine() == EngineKind::Sqlite) column = "CAST(" + column + " AS BLOB)";
    if (!where.empty()) where += " AND ";
    where += original.IsNull() ? column + " IS NULL" : column + " = " + mark(original);
  }
  return where;
}

// The error for a row change that did not reach exactly its one row.
[[noreturn]] void RaiseConflict(const TDataSet& dataset, const std::string& table, std::int64_t reached,
                                const char* action) {
  std::string message = dataset.Name().empty() ? std::string() : dataset.Name() + ": ";
  message += "Table " + table + ": ";
  if (reached == 0) {
    message += "the row was changed or deleted by another user since it was read; it was not ";
  } else {
    message += "the row is not the only one with its key values (" + std::to_string(reached) + " rows); it was not ";
  }
  throw EDatabaseError(message + action);
}

// A transaction for one row change when the caller has none: a key that
// stopped being unique could otherwise leave a change on several rows.
class OwnTransaction {
 public:
  OwnTransaction(TDatabase& db, bool needed) {
    if (needed && !db.InTransaction()) guard_.emplace(db);
  }
  void Commit() {
    if (guard_) guard_->Commit();
  }

 private:
  std::optional<TransactionGuard> guard_;
};

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
  const std::vector<int> key = KeyOf(change, KeyColumns(*change.columns, change.data_columns));
  std::string where = RowCondition(change, key, db, values);
  std::string sql = "UPDATE " + plan_->table + " SET " + sets + " WHERE " + where +
                    ReturningClause(change, engine.RowIdentity());
  db.BeforeStatement(sql);
  OwnTransaction transaction(db, !key.empty());
  dbimpl::ValueRows rows;
  engine.Run(sql, values, &rows);
  if (rows.rows.size() != 1) RaiseConflict(*this, plan_->table, static_cast<std::int64_t>(rows.rows.size()), "updated");
  transaction.Commit();
  change.result = std::move(rows.rows.front());
}

void TQuery::DoDelete(dbimpl::RowChange& change) {
  if (!plan_) Fail("The dataset is not live");
  TDatabase& db = Database();
  std::vector<Value> values;
  const std::vector<int> key = KeyOf(change, KeyColumns(*change.columns, change.data_columns));
  std::string sql = "DELETE FROM " + plan_->table + " WHERE " + RowCondition(change, key, db, values);
  db.BeforeStatement(sql);
  OwnTransaction transaction(db, !key.empty());
  const std::int64_t deleted = db.engine().Run(sql, values, nullptr);
  if (deleted != 1) RaiseConflict(*this, plan_->table, deleted, "deleted");
  transaction.Commit();
}

namespace {

// The first `columns` cells of a row as one comparable string: each cell's
// null mark and length before its bytes. Cells read by a select and cells
// returned by a statement compare equal for equal values.
std::string RowImage(const Cell* cells, int columns) {
  std::string image;
  for (int c = 0; c < columns; ++c) {
    const Cell& cell = cells[c];
    image += cell.null ? 'N' : 'V';
    if (cell.null) continue;
    image.append(reinterpret_cast<const char*>(&cell.size), sizeof cell.size);
    image.append(cell.data, cell.size);
  }
  return image;
}

// Collects the images of the rows a statement returns.
struct RowImages : dbimpl::ResultSink {
  explicit RowImages(int data_columns) : columns(data_columns) {}
  void SetColumns(std::vector<dbimpl::ColumnInfo>) override {}
  void AddRow(const Cell* cells) override { images.push_back(RowImage(cells, columns)); }
  int columns;
  std::vector<std::string> images;
};

}  // namespace

// Rows go in batches of one statement each, naming the rows by their key or
// their row identity ("<column> IN (...)", or one condition per row joined
// by OR for a key of several columns). Each statement returns the rows it
// deleted, which must be exactly the rows as read, else the transaction is
// rolled back: a row changed or deleted by another client, or an identity
// passed on to another row, fails the whole deletion. Batches stay moderate,
// as a statement's compile time grows faster than its number of parameters
// and SQLite limits the depth of an expression (a chain of ORs) to 1000.
void TQuery::DoDeleteRows(std::vector<dbimpl::RowChange>& changes) {
  if (!plan_) Fail("The dataset is not live");
  constexpr std::size_t kMaxBatchRows = 1000;
  constexpr std::size_t kMaxBatchConditions = 200;
  constexpr std::size_t kMaxArrayRows = 20000;
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  std::optional<TransactionGuard> transaction;
  if (!db.InTransaction()) transaction.emplace(db);
  const dbimpl::RowChange& any = changes.front();
  std::vector<int> key = KeyColumns(*any.columns, any.data_columns);
  for (const dbimpl::RowChange& change : changes)
    if (!key.empty() && KeyOf(change, key).empty()) key.clear();
  if (key.empty()) key.push_back(any.data_columns);  // the identity
  // A single-column key goes as one array parameter where the engine has
  // arrays: a statement then names many rows, and its text does not grow
  // with them.
  std::vector<Value> probe;
  if (key.size() == 1) probe.push_back(changes.front().Original(key.front()));
  const bool by_array = key.size() == 1 && engine.ArrayParameter(probe).has_value();
  const std::size_t batch =
      by_array ? kMaxArrayRows
               : std::clamp<std::size_t>(static_cast<std::size_t>(engine.MaxParameters()) / key.size(), 1,
                                         key.size() == 1 ? kMaxBatchRows : kMaxBatchConditions);
  auto name = [&](int column) {
    return column == any.data_columns ? std::string(engine.RowIdentity())
                                      : QuoteIdentifier((*any.columns)[column].name);
  };
  for (std::size_t first = 0; first < changes.size(); first += batch) {
    const std::size_t last = std::min(changes.size(), first + batch);
    std::vector<Value> values;
    std::string where = key.size() == 1 ? name(key.front()) + " IN (" : std::string();
    std::optional<Value> array;
    if (by_array) {
      for (std::size_t i = first; i < last; ++i) values.push_back(changes[i].Original(key.front()));
      array = engine.ArrayParameter(values);
    }
    if (array) {
      values = {std::move(*array)};
      where = name(key.front()) + " = ANY(" + engine.Placeholder(1) + ")";
    } else {
      values.clear();
    }
    for (std::size_t i = first; i < last && !array; ++i) {
      if (key.size() == 1) {
        values.push_back(changes[i].Original(key.front()));
        where += (i > first ? ", " : "") + engine.SequentialPlaceholder(static_cast<int>(values.size()));
        continue;
      }
      where += i > first ? " OR (" : "(";
      for (std::size_t k = 0; k < key.size(); ++k) {
        values.push_back(changes[i].Original(key[k]));
        where += (k ? " AND " : "") + name(key[k]) + " = " +
                 engine.SequentialPlaceholder(static_cast<int>(values.size()));
      }
      where += ")";
    }
    if (key.size() == 1 && !array) where += ")";
    const std::string sql = "DELETE FROM " + plan_->table + " WHERE " + where + ReturningClause(any, engine.RowIdentity());
    db.BeforeStatement(sql);
    RowImages deleted(any.data_columns);
    engine.Run(sql, values, &deleted);
    std::vector<std::string> expected;
    std::vector<Cell> cells(any.data_columns);
    for (std::size_t i = first; i < last; ++i) {
      for (int c = 0; c < any.data_columns; ++c) cells[c] = changes[i].store->Get(changes[i].original, c);
      expected.push_back(RowImage(cells.data(), any.data_columns));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(deleted.images.begin(), deleted.images.end());
    if (expected != deleted.images)
      Fail("Table " + plan_->table +
           ": some of the rows were changed or deleted by another user since they were read; none was deleted");
  }
  if (transaction) transaction->Commit();
}

std::int64_t TQuery::ExecSQL() {
  TDatabase& db = Database();
  dbimpl::Engine& engine = db.engine();
  FillFromMaster();
  std::vector<Value> values = ParamValues();
  const std::string& translated = Translate(engine, sql_);
  db.BeforeStatement(sql_);
  return engine.Run(translated, values, nullptr);
}

}  // namespace qv

#include "qvd3/platform/db/row_stream.h"

#include <exception>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/engine.h"
#include "qvd3/platform/db/sql_text.h"
#include "qvd3/platform/db/value.h"

namespace qv {
namespace {

// Hands each row on as cells. An error of the receiver is kept and raised
// once the engine has finished: a server connection left in the middle of a
// result could not run the next statement.
class StreamSink : public dbimpl::ResultSink {
 public:
  StreamSink(const std::function<void(std::span<const TRowCell>)>& onRow, std::vector<std::string>& names)
      : onRow_(onRow), names_(names) {}

  void SetColumns(std::vector<dbimpl::ColumnInfo> columns) override {
    names_.clear();
    for (const auto& column : columns) names_.push_back(column.name);
    cells_.resize(columns.size());
  }
  void AddRow(const dbimpl::Cell* cells) override {
    if (error_) return;
    for (std::size_t c = 0; c < cells_.size(); ++c)
      cells_[c] = TRowCell{cells[c].null ? std::string_view() : std::string_view(cells[c].data, cells[c].size),
                           cells[c].null};
    try {
      onRow_(cells_);
    } catch (...) {
      error_ = std::current_exception();
    }
  }
  void RaiseKeptError() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  const std::function<void(std::span<const TRowCell>)>& onRow_;
  std::vector<std::string>& names_;
  std::vector<TRowCell> cells_;
  std::exception_ptr error_;
};

}  // namespace

void TRowStream::SetSQL(std::string_view sql) {
  sql_ = sql;
  params_.Rebuild(dbimpl::ParameterNames(sql_));
}

void TRowStream::Run(const std::function<void(std::span<const TRowCell> row)>& onRow) {
  if (database_name_.empty()) throw EDatabaseError("DatabaseName is not set");
  TDatabase& db = Session::Default().Database(database_name_);
  dbimpl::Engine& engine = db.engine();
  std::vector<Value> values;
  for (int i = 0; i < params_.Count(); ++i) {
    const TParam& param = params_[i];
    if (!param.Bound()) throw EDatabaseError("No value for parameter '" + param.Name() + "'");
    if (param.Value().IsText()) CheckStorableText(param.Value().AsString(), "Parameter '" + param.Name() + "'");
    values.push_back(param.Value());
  }
  const std::string translated =
      dbimpl::TranslateParameters(sql_, [&](int n) { return engine.Placeholder(n); });
  db.BeforeStatement(sql_);
  StreamSink sink(onRow, column_names_);
  engine.Run(translated, values, &sink);
  sink.RaiseKeptError();
}

}  // namespace qv

// The SQLite engine: one sqlite3 handle per alias, opened read-write on an
// existing file (never created here), in WAL mode with a busy timeout so
// that several processes can share the file.
#include <sqlite3.h>

#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/engine.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv::dbimpl {
namespace {

constexpr int kBusyTimeoutMs = 5000;

// The declared type of a column: "VARCHAR(10)", "INTEGER", "SMALLINT",
// "BLOB"... as our field type and width.
void ParseDeclaredType(const char* declared, ColumnInfo& column) {
  std::string type = AsciiLower(declared ? declared : "");
  column.size = 0;
  std::size_t paren = type.find('(');
  if (paren != std::string::npos) column.size = std::atoi(type.c_str() + paren + 1);
  std::string base = type.substr(0, paren);
  if (base.find("smallint") != std::string::npos) {
    column.type = TFieldType::SmallInt;
    column.size = 0;
  } else if (base.find("int") != std::string::npos) {
    column.type = TFieldType::Integer;
    column.size = 0;
  } else if (base.find("blob") != std::string::npos || base.find("binary") != std::string::npos ||
             base.find("bytea") != std::string::npos) {
    column.type = TFieldType::Bytes;
  } else {
    column.type = TFieldType::String;
  }
}

class Statement {
 public:
  explicit Statement(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_;
};

class SqliteEngine : public Engine {
 public:
  SqliteEngine(const std::string& alias, const std::string& path) : alias_(alias) {
    if (!std::filesystem::exists(path))
      throw EDatabaseError("Alias '" + alias + "': the SQLite database file '" + path + "' does not exist");
    int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
      std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
      sqlite3_close(db_);
      throw EDatabaseError("Alias '" + alias + "': cannot open the SQLite database '" + path + "': " + message,
                           {rc});
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    try {
      Exec("PRAGMA journal_mode=WAL");
    } catch (const EDatabaseError& e) {
      sqlite3_close(db_);
      throw EDatabaseError("Alias '" + alias + "': cannot use the SQLite database '" + path + "': " + e.what(),
                           e.Codes());
    }
  }
  ~SqliteEngine() override { sqlite3_close_v2(db_); }

  void Exec(std::string_view sql) override {
    std::string text(sql);
    char* error = nullptr;
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
      std::string message = error ? error : "unknown error";
      sqlite3_free(error);
      Raise(message);
    }
  }

  std::int64_t Run(const std::string& sql, const std::vector<Value>& params, ResultSink* sink) override {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK)
      Raise(sqlite3_errmsg(db_));
    Statement stmt(raw);
    if (!raw) return 0;  // only whitespace or comments
    int count = sqlite3_bind_parameter_count(raw);
    for (int i = 1; i <= count; ++i) {
      const Value& v = i <= static_cast<int>(params.size()) ? params[i - 1] : Value();
      int rc;
      switch (v.kind()) {
        case Value::Kind::Null:
          rc = sqlite3_bind_null(raw, i);
          break;
        case Value::Kind::Integer:
          rc = sqlite3_bind_int64(raw, i, v.AsInteger());
          break;
        case Value::Kind::Bytes: {
          std::string bytes = v.AsString();
          rc = sqlite3_bind_blob64(raw, i, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
          break;
        }
        default: {
          std::string text = v.AsString();
          rc = sqlite3_bind_text64(raw, i, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        }
      }
      if (rc != SQLITE_OK) Raise(sqlite3_errmsg(db_));
    }

    const int ncols = sqlite3_column_count(raw);
    std::vector<ColumnInfo> columns(ncols);
    for (int c = 0; c < ncols; ++c) {
      columns[c].name = sqlite3_column_name(raw, c);
      ParseDeclaredType(sqlite3_column_decltype(raw, c), columns[c]);
    }
    std::vector<Cell> cells(ncols);
    std::vector<std::array<char, 24>> numbers(ncols);
    bool columns_sent = false;
    std::int64_t before = sqlite3_total_changes64(db_);
    for (;;) {
      int rc = sqlite3_step(raw);
      if (rc == SQLITE_DONE) break;
      if (rc != SQLITE_ROW) Raise(sqlite3_errmsg(db_));
      if (!sink) continue;
      if (!columns_sent) {
        // Expressions have no declared type: take the type of the first value.
        for (int c = 0; c < ncols; ++c)
          if (!sqlite3_column_decltype(raw, c) && sqlite3_column_type(raw, c) == SQLITE_INTEGER)
            columns[c].type = TFieldType::Integer;
        sink->SetColumns(columns);
        columns_sent = true;
      }
      for (int c = 0; c < ncols; ++c) {
        Cell& cell = cells[c];
        switch (sqlite3_column_type(raw, c)) {
          case SQLITE_NULL:
            cell = Cell{};
            break;
          case SQLITE_INTEGER: {
            char* end = std::to_chars(numbers[c].data(), numbers[c].data() + numbers[c].size(),
                                      sqlite3_column_int64(raw, c)).ptr;
            cell = Cell{numbers[c].data(), static_cast<std::uint32_t>(end - numbers[c].data()), false};
            break;
          }
          case SQLITE_BLOB: {
            const void* blob = sqlite3_column_blob(raw, c);
            int size = sqlite3_column_bytes(raw, c);
            cell = Cell{static_cast<const char*>(blob), static_cast<std::uint32_t>(size), false};
            break;
          }
          default: {
            const unsigned char* text = sqlite3_column_text(raw, c);
            int size = sqlite3_column_bytes(raw, c);
            cell = Cell{reinterpret_cast<const char*>(text), static_cast<std::uint32_t>(size), false};
          }
        }
      }
      sink->AddRow(cells.data());
    }
    if (sink && !columns_sent) sink->SetColumns(columns);
    return sqlite3_total_changes64(db_) - before;
  }

  // Preparing compiles the statement against the schema without stepping
  // it. Expressions have no declared type and are described as text.
  std::vector<ColumnInfo> Describe(const std::string& sql, int param_count) override {
    (void)param_count;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr) != SQLITE_OK)
      Raise(sqlite3_errmsg(db_));
    Statement stmt(raw);
    std::vector<ColumnInfo> columns(raw ? sqlite3_column_count(raw) : 0);
    for (int c = 0; c < static_cast<int>(columns.size()); ++c) {
      columns[c].name = sqlite3_column_name(raw, c);
      ParseDeclaredType(sqlite3_column_decltype(raw, c), columns[c]);
    }
    return columns;
  }

  // The primary key from the table's columns (an INTEGER PRIMARY KEY has no
  // index of its own), then the unique indexes other than the primary key's;
  // an index with an expression column names no plain column (NULL).
  std::vector<std::vector<std::string>> UniqueKeys(std::string_view table) override {
    std::vector<std::vector<std::string>> keys;
    ValueRows primary;
    Run("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk", {Value(table)}, &primary);
    if (!primary.rows.empty()) keys.emplace_back();
    for (auto& row : primary.rows) keys.back().push_back(row[0].AsString());
    ValueRows unique;
    Run("SELECT l.name, i.name FROM pragma_index_list(?1) AS l, pragma_index_info(l.name) AS i "
        "WHERE l.\"unique\" = 1 AND l.partial = 0 AND l.origin <> 'pk' ORDER BY l.seq, i.seqno",
        {Value(table)}, &unique);
    std::string index;
    bool plain = false;
    for (auto& row : unique.rows) {
      if (row[0].AsString() != index) {
        if (!plain && !keys.empty() && !index.empty()) keys.pop_back();
        index = row[0].AsString();
        plain = true;
        keys.emplace_back();
      }
      if (row[1].IsNull()) plain = false;
      keys.back().push_back(row[1].AsString());
    }
    if (!plain && !index.empty()) keys.pop_back();
    return keys;
  }

  std::string_view RowIdentity() const override { return "rowid"; }
  int MaxParameters() const override { return sqlite3_limit(db_, SQLITE_LIMIT_VARIABLE_NUMBER, -1); }
  std::string Placeholder(int n) const override { return "?" + std::to_string(n); }
  std::string SequentialPlaceholder(int) const override { return "?"; }

 private:
  // Raises the connection's last error. A unique or primary-key violation
  // reports the key-violation code first.
  [[noreturn]] void Raise(const std::string& message) const {
    int code = sqlite3_extended_errcode(db_);
    std::vector<int> codes;
    if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY) codes.push_back(kKeyViolation);
    codes.push_back(code);
    throw EDatabaseError(message, std::move(codes));
  }

  std::string alias_;
  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<Engine> OpenSqlite(const std::string& alias, const std::string& path) {
  return std::make_unique<SqliteEngine>(alias, path);
}

}  // namespace qv::dbimpl

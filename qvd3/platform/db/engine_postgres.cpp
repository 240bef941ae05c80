// The PostgreSQL engine over libpq. Results arrive in single-row mode, so a
// large select never sits in memory twice (once in libpq, once in the
// dataset). Values travel as text, except byte strings, which are sent in
// binary form and arrive as bytea hex text decoded here.
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/engine.h"

namespace qv::dbimpl {
namespace {

constexpr Oid kBoolOid = 16, kByteaOid = 17, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23,
              kOidOid = 26, kBpcharOid = 1042, kVarcharOid = 1043;

struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

ColumnInfo DescribeColumn(const PGresult* res, int c) {
  ColumnInfo column;
  column.name = PQfname(res, c);
  Oid type = PQftype(res, c);
  int mod = PQfmod(res, c);
  switch (type) {
    case kInt2Oid:
      column.type = TFieldType::SmallInt;
      break;
    case kInt4Oid:
    case kInt8Oid:
    case kOidOid:
      column.type = TFieldType::Integer;
      break;
    case kByteaOid:
      column.type = TFieldType::Bytes;
      break;
    case kVarcharOid:
    case kBpcharOid:
      column.type = TFieldType::String;
      column.size = mod > 4 ? mod - 4 : 0;
      break;
    default:
      column.type = TFieldType::String;
  }
  return column;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;
}

// bytea text output ("\x0041ff") to bytes.
void DecodeBytea(const char* text, int length, std::string& out) {
  out.clear();
  if (length >= 2 && text[0] == '\\' && text[1] == 'x') {
    out.reserve((length - 2) / 2);
    for (int i = 2; i + 1 < length; i += 2)
      out += static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
    return;
  }
  std::size_t size = 0;
  unsigned char* raw = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &size);
  if (raw) {
    out.assign(reinterpret_cast<char*>(raw), size);
    PQfreemem(raw);
  }
}

// SQLSTATE "23505" as the integer 23505; states with letters packed in
// base 36 so they stay distinct.
int SqlStateCode(const char* state) {
  if (!state) return 0;
  bool digits = true;
  for (const char* p = state; *p; ++p) digits = digits && *p >= '0' && *p <= '9';
  if (digits) return std::atoi(state);
  return static_cast<int>(std::strtol(state, nullptr, 36));
}

// Named prepared statements of one connection, keyed by the statement's
// text and by which of its parameters travel as bytes (their type is fixed
// when the statement is prepared). A text is prepared the second time it
// runs: a statement run once (most of a login) costs one round trip
// unprepared, where preparing it would cost two. The cache holds at most
// kCapacity statements; the least recently used one is dropped first.
class StatementCache {
 public:
  static constexpr std::size_t kCapacity = 128;

  // The name of the prepared statement for `key`, or null.
  const std::string* Find(const std::string& key) {
    auto found = prepared_.find(key);
    if (found == prepared_.end()) return nullptr;
    found->second.last_use = ++clock_;
    return &found->second.name;
  }
  // True when `key` has run before without being prepared.
  bool SeenBefore(const std::string& key) {
    if (seen_.size() > 4 * kCapacity) seen_.clear();
    return !seen_.insert(key).second;
  }
  // A name for a new statement of `key`, and the name of the one to drop
  // to make room (empty when there is room).
  std::string Add(const std::string& key, std::string& evicted) {
    evicted.clear();
    if (prepared_.size() >= kCapacity) {
      auto oldest = prepared_.begin();
      for (auto it = prepared_.begin(); it != prepared_.end(); ++it)
        if (it->second.last_use < oldest->second.last_use) oldest = it;
      evicted = oldest->second.name;
      prepared_.erase(oldest);
    }
    std::string name = "qv_stmt_" + std::to_string(++counter_);
    prepared_[key] = Prepared{name, ++clock_};
    seen_.erase(key);
    return name;
  }
  void Forget(const std::string& key) { prepared_.erase(key); }
  // A new connection knows none of the statements.
  void Clear() {
    prepared_.clear();
    seen_.clear();
  }
  std::size_t Size() const { return prepared_.size(); }

 private:
  struct Prepared {
    std::string name;
    std::uint64_t last_use = 0;
  };
  std::unordered_map<std::string, Prepared> prepared_;
  std::unordered_set<std::string> seen_;
  std::uint64_t clock_ = 0, counter_ = 0;
};

// SQLSTATEs after which a prepared statement is dropped and the statement
// run once more unprepared (outside a transaction): a table's columns
// changed under it ("cached plan must not change result type"), or it was
// deallocated behind the cache's back.
bool IsStalePreparedStatement(const char* state) {
  return state && (std::strcmp(state, "0A000") == 0 || std::strcmp(state, "26000") == 0);
}

class PostgresEngine : public Engine {
 public:
  PostgresEngine(const std::string& alias, const std::string& conninfo) : alias_(alias) {
    conn_ = Connect(conninfo);
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string message = Trim(PQerrorMessage(conn_));
      PQfinish(conn_);
      throw EDatabaseError("Alias '" + alias + "': cannot connect to the PostgreSQL server: " + message);
    }
  }
  ~PostgresEngine() override { PQfinish(conn_); }

  void Exec(std::string_view sql) override {
    std::string text(sql);
    // The server rolled back whatever was open when the connection went:
    // a rollback has nothing left to do, and a commit reports the loss.
    if (lost_ && text == "ROLLBACK") {
      lost_transaction_ = false;
      return;
    }
    if (lost_transaction_) {
      if (text == "COMMIT") lost_transaction_ = false;
      throw ConnectionLost("the transaction in progress was rolled back");
    }
    Reconnect();
    const bool in_transaction = InTransaction();
    Result res(PQexec(conn_, text.c_str()));
    NoteLoss(in_transaction);
    CheckResult(res.get());
  }

  std::int64_t Run(const std::string& sql, const std::vector<Value>& params, ResultSink* sink) override {
    if (lost_transaction_) throw ConnectionLost("the transaction in progress was rolled back");
    Reconnect();
    const int n = static_cast<int>(params.size());
    std::vector<std::string> texts(n);
    std::vector<const char*> values(n);
    std::vector<int> lengths(n), formats(n);
    std::vector<Oid> types(n);
    std::string key = sql;
    key += '\0';
    for (int i = 0; i < n; ++i) {
      const Value& v = params[i];
      key += v.IsBytes() ? 'b' : '-';
      if (v.IsNull()) continue;
      texts[i] = v.AsString();
      values[i] = texts[i].c_str();
      lengths[i] = static_cast<int>(texts[i].size());
      if (v.IsBytes()) {
        formats[i] = 1;
        types[i] = kByteaOid;
      }
    }
    const bool in_transaction = InTransaction();
    const std::string* name = Prepare(key, sql, n, types.data(), in_transaction);
    const Call call{n, values.data(), lengths.data(), formats.data(), types.data()};
    if (!name) return Execute(sql, nullptr, call, sink, in_transaction);
    try {
      return Execute(sql, name, call, sink, in_transaction);
    } catch (const StalePrepared& stale) {
      statements_.Forget(key);
      if (in_transaction) throw stale.error;  // the transaction is aborted; the caller decides
      return Execute(sql, nullptr, call, sink, in_transaction);
    }
  }

  // The server parses and plans the statement as the unnamed prepared
  // statement and describes its result; the parameters' types are inferred
  // as for Run.
  std::vector<ColumnInfo> Describe(const std::string& sql, int param_count) override {
    if (lost_transaction_) throw ConnectionLost("the transaction in progress was rolled back");
    Reconnect();
    const bool in_transaction = InTransaction();
    Result prepared(PQprepare(conn_, "", sql.c_str(), param_count, nullptr));
    NoteLoss(in_transaction);
    CheckResult(prepared.get());
    Result described(PQdescribePrepared(conn_, ""));
    NoteLoss(in_transaction);
    CheckResult(described.get());
    std::vector<ColumnInfo> columns;
    for (int c = 0, n = PQnfields(described.get()); c < n; ++c) columns.push_back(DescribeColumn(described.get(), c));
    return columns;
  }

  // Valid, immediate unique indexes without expression or predicate; the
  // columns an index only includes (past indnkeyatts) are no part of its key.
  std::vector<std::vector<std::string>> UniqueKeys(std::string_view table) override {
    ValueRows rows;
    Run("SELECT i.indexrelid::int8, a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid "
        "AND a.attnum = ANY(i.indkey) WHERE i.indrelid = to_regclass($1) AND i.indisunique AND i.indisvalid "
        "AND i.indimmediate AND i.indpred IS NULL AND i.indexprs IS NULL "
        "AND array_position(i.indkey::int2[], a.attnum) < i.indnkeyatts "
        "ORDER BY i.indisprimary DESC, i.indexrelid, array_position(i.indkey::int2[], a.attnum)",
        {Value(table)}, &rows);
    std::vector<std::vector<std::string>> keys;
    std::int64_t index = -1;
    for (auto& row : rows.rows) {
      if (row[0].AsInteger() != index) {
        index = row[0].AsInteger();
        keys.emplace_back();
      }
      keys.back().push_back(row[1].AsString());
    }
    return keys;
  }

  std::string_view RowIdentity() const override { return "ctid"; }

  // The server's own choice of method (password_encryption) is used.
  std::string EncryptRolePassword(const std::string& role, const std::string& password) override {
    char* encrypted = PQencryptPasswordConn(conn_, password.c_str(), role.c_str(), nullptr);
    if (encrypted == nullptr)
      throw EDatabaseError("Alias '" + alias_ + "': cannot prepare the role's password: " +
                           Trim(PQerrorMessage(conn_)));
    std::string result(encrypted);
    PQfreemem(encrypted);
    return result;
  }
  // The protocol counts a statement's parameters in 16 bits.
  int MaxParameters() const override { return 65535; }
  std::string Placeholder(int n) const override { return "$" + std::to_string(n); }
  // An array in the server's text form: every element quoted, with its
  // quotes and backslashes escaped; the server converts the elements to
  // the type the condition's column gives the array.
  std::optional<Value> ArrayParameter(const std::vector<Value>& values) const override {
    std::string text = "{";
    for (const Value& value : values) {
      if (value.IsNull() || value.IsBytes()) return std::nullopt;
      if (text.size() > 1) text += ',';
      text += '"';
      for (char c : value.AsString()) {
        if (c == '"' || c == '\\') text += '\\';
        text += c;
      }
      text += '"';
    }
    return Value(text + "}");
  }

 private:
  // The parameters of one Run, as libpq takes them.
  struct Call {
    int count;
    const char* const* values;
    const int* lengths;
    const int* formats;
    const Oid* types;
  };
  // Raised by Execute when a prepared statement can no longer be used,
  // with the error the server gave.
  struct StalePrepared {
    EDatabaseError error;
  };

  static std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  // The settings every connection needs travel in its startup packet, so
  // that a new connection (and each client of a busy server opens one)
  // spends no round trip on them, and a reopened one (PQreset reuses the
  // parameters) gets them again: text as UTF-8 whatever the conninfo says,
  // and no notices below warning. Options the conninfo (or, without them,
  // PGOPTIONS) brings follow ours, so they still have the last word.
  static PGconn* Connect(const std::string& conninfo) {
    std::string options = "-c client_min_messages=warning";
    std::string theirs;
    if (PQconninfoOption* parsed = PQconninfoParse(conninfo.c_str(), nullptr)) {
      for (const PQconninfoOption* option = parsed; option->keyword; ++option)
        if (std::strcmp(option->keyword, "options") == 0 && option->val) theirs = option->val;
      PQconninfoFree(parsed);
    }
    if (theirs.empty())
      if (const char* environment = std::getenv("PGOPTIONS")) theirs = environment;
    if (!theirs.empty()) options += " " + theirs;
    const char* const keywords[] = {"dbname", "options", "client_encoding", nullptr};
    const char* const values[] = {conninfo.c_str(), options.c_str(), "UTF8", nullptr};
    return PQconnectdbParams(keywords, values, /*expand_dbname=*/1);
  }

  bool InTransaction() const {
    const PGTransactionStatusType status = PQtransactionStatus(conn_);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
  }

  // After a statement: when the connection has gone, the next statement
  // opens it again, and a transaction that was active is lost.
  void NoteLoss(bool in_transaction) {
    if (PQstatus(conn_) != CONNECTION_BAD || lost_) return;
    lost_ = true;
    lost_transaction_ = in_transaction;
  }

  // Opens the connection again after a loss: the same server and settings,
  // none of the old connection's prepared statements. While the server is
  // unreachable every statement fails with that message and the next one
  // tries again.
  void Reconnect() {
    if (!lost_) return;
    PQreset(conn_);
    if (PQstatus(conn_) != CONNECTION_OK)
      throw EDatabaseError("Alias '" + alias_ + "': cannot connect to the PostgreSQL server: " +
                               FirstLine(PQerrorMessage(conn_)),
                           {kConnectionLost});
    lost_ = false;
    statements_.Clear();
  }

  EDatabaseError ConnectionLost(const std::string& detail) const {
    return EDatabaseError("Alias '" + alias_ + "': connection lost: " + detail, {kConnectionLost});
  }

  static std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    return Trim(line);
  }

  // The prepared statement to run `key` with, preparing it now when it has
  // run before; null to run it unprepared. Preparing inside a transaction
  // is skipped after an error there (the server would refuse it).
  const std::string* Prepare(const std::string& key, const std::string& sql, int n, const Oid* types,
                             bool in_transaction) {
    if (const std::string* name = statements_.Find(key)) return name;
    if (!statements_.SeenBefore(key) || PQtransactionStatus(conn_) == PQTRANS_INERROR) return nullptr;
    std::string evicted;
    const std::string name = statements_.Add(key, evicted);
    if (!evicted.empty()) {
      Result dropped(PQexec(conn_, ("DEALLOCATE " + evicted).c_str()));
      NoteLoss(in_transaction);
      CheckResult(dropped.get());
    }
    Result prepared(PQprepare(conn_, name.c_str(), sql.c_str(), n, types));
    NoteLoss(in_transaction);
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
      statements_.Forget(key);
      CheckResult(prepared.get());
    }
    return statements_.Find(key);
  }

  // Sends one statement (prepared under `name`, or unprepared when null)
  // and passes its rows to `sink`. Returns the number of rows changed.
  std::int64_t Execute(const std::string& sql, const std::string* name, const Call& call, ResultSink* sink,
                       bool in_transaction) {
    const int sent = name ? PQsendQueryPrepared(conn_, name->c_str(), call.count, call.values, call.lengths,
                                                call.formats, 0)
                          : PQsendQueryParams(conn_, sql.c_str(), call.count, call.types, call.values,
                                              call.lengths, call.formats, 0);
    if (!sent) {
      NoteLoss(in_transaction);
      if (lost_) throw ConnectionLost(FirstLine(PQerrorMessage(conn_)));
      throw EDatabaseError(Trim(PQerrorMessage(conn_)));
    }
    if (sink) PQsetSingleRowMode(conn_);

    std::int64_t changed = 0;
    bool columns_sent = false;
    std::vector<Cell> cells;
    std::vector<std::string> decoded;
    std::vector<ColumnInfo> columns;
    Result error;
    while (PGresult* raw = PQgetResult(conn_)) {
      Result res(raw);
      ExecStatusType status = PQresultStatus(raw);
      if (status == PGRES_SINGLE_TUPLE || status == PGRES_TUPLES_OK) {
        if (!sink) continue;
        if (!columns_sent) {
          const int ncols = PQnfields(raw);
          for (int c = 0; c < ncols; ++c) columns.push_back(DescribeColumn(raw, c));
          sink->SetColumns(columns);
          cells.resize(ncols);
          decoded.resize(ncols);
          columns_sent = true;
        }
        const int ncols = static_cast<int>(columns.size());
        for (int r = 0, rows = PQntuples(raw); r < rows; ++r) {
          for (int c = 0; c < ncols; ++c) {
            if (PQgetisnull(raw, r, c)) {
              cells[c] = Cell{};
              continue;
            }
            const char* text = PQgetvalue(raw, r, c);
            int length = PQgetlength(raw, r, c);
            if (columns[c].type == TFieldType::Bytes) {
              DecodeBytea(text, length, decoded[c]);
              cells[c] = Cell{decoded[c].data(), static_cast<std::uint32_t>(decoded[c].size()), false};
            } else {
              cells[c] = Cell{text, static_cast<std::uint32_t>(length), false};
            }
          }
          sink->AddRow(cells.data());
        }
        if (status == PGRES_TUPLES_OK) changed += std::atoll(PQcmdTuples(raw));
      } else if (status == PGRES_COMMAND_OK) {
        changed += std::atoll(PQcmdTuples(raw));
      } else if (!error) {
        error = std::move(res);  // drain the connection before raising
      }
    }
    NoteLoss(in_transaction);
    if (error) {
      // Before any row reached the sink, a stale prepared statement can be
      // run again unprepared.
      if (name && !columns_sent && IsStalePreparedStatement(PQresultErrorField(error.get(), PG_DIAG_SQLSTATE)))
        throw StalePrepared{ResultError(error.get())};
      CheckResult(error.get());
    }
    return changed;
  }

  // Raises the error a result carries, if any. A unique violation (SQLSTATE
  // 23505) reports the key-violation code first, a lost connection its own
  // code.
  void CheckResult(const PGresult* res) const {
    ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE ||
        status == PGRES_EMPTY_QUERY)
      return;
    throw ResultError(res);
  }

  // The error a failed result carries.
  EDatabaseError ResultError(const PGresult* res) const {
    std::string message = res ? Trim(PQresultErrorMessage(res)) : Trim(PQerrorMessage(conn_));
    if (message.empty()) message = Trim(PQerrorMessage(conn_));
    if (message.rfind("ERROR:  ", 0) == 0) message = message.substr(8);
    if (message.rfind("FATAL:  ", 0) == 0) message = message.substr(8);
    if (PQstatus(conn_) == CONNECTION_BAD) return ConnectionLost(FirstLine(message));
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    std::vector<int> codes;
    if (state && std::strcmp(state, "23505") == 0) codes.push_back(kKeyViolation);
    if (state) codes.push_back(SqlStateCode(state));
    return EDatabaseError(message, std::move(codes));
  }

  std::string alias_;
  PGconn* conn_ = nullptr;
  StatementCache statements_;
  bool lost_ = false;              // the connection went; reopen it first
  bool lost_transaction_ = false;  // ...and a transaction went with it
};

}  // namespace

std::unique_ptr<Engine> OpenPostgres(const std::string& alias, const std::string& conninfo) {
  return std::make_unique<PostgresEngine>(alias, conninfo);
}

}  // namespace qv::dbimpl

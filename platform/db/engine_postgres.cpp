// The PostgreSQL engine over libpq. Results arrive in single-row mode, so a
// large select never sits in memory twice (once in libpq, once in the
// dataset). Values travel as text, except byte strings, which are sent in
// binary form and arrive as bytea hex text decoded here.
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>

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

class PostgresEngine : public Engine {
 public:
  PostgresEngine(const std::string& alias, const std::string& conninfo) : alias_(alias) {
    conn_ = PQconnectdb(conninfo.c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      std::string message = Trim(PQerrorMessage(conn_));
      PQfinish(conn_);
      throw EDatabaseError("Alias '" + alias + "': cannot connect to the PostgreSQL server: " + message);
    }
    PQsetClientEncoding(conn_, "UTF8");
    Exec("SET client_min_messages = warning");
  }
  ~PostgresEngine() override { PQfinish(conn_); }

  void Exec(std::string_view sql) override {
    std::string text(sql);
    Result res(PQexec(conn_, text.c_str()));
    CheckResult(res.get());
  }

  std::int64_t Run(const std::string& sql, const std::vector<Value>& params, ResultSink* sink) override {
    const int n = static_cast<int>(params.size());
    std::vector<std::string> texts(n);
    std::vector<const char*> values(n);
    std::vector<int> lengths(n), formats(n);
    std::vector<Oid> types(n);
    for (int i = 0; i < n; ++i) {
      const Value& v = params[i];
      if (v.IsNull()) continue;
      texts[i] = v.AsString();
      values[i] = texts[i].c_str();
      lengths[i] = static_cast<int>(texts[i].size());
      if (v.IsBytes()) {
        formats[i] = 1;
        types[i] = kByteaOid;
      }
    }
    if (!PQsendQueryParams(conn_, sql.c_str(), n, types.data(), values.data(), lengths.data(),
                           formats.data(), 0))
      throw EDatabaseError(Trim(PQerrorMessage(conn_)));
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
    if (error) CheckResult(error.get());
    return changed;
  }

  // The server parses and plans the statement as the unnamed prepared
  // statement and describes its result; the parameters' types are inferred
  // as for Run.
  std::vector<ColumnInfo> Describe(const std::string& sql, int param_count) override {
    Result prepared(PQprepare(conn_, "", sql.c_str(), param_count, nullptr));
    CheckResult(prepared.get());
    Result described(PQdescribePrepared(conn_, ""));
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
  // The protocol counts a statement's parameters in 16 bits.
  int MaxParameters() const override { return 65535; }
  std::string Placeholder(int n) const override { return "$" + std::to_string(n); }

 private:
  static std::string Trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
  }

  // Raises the error a result carries, if any. A unique violation (SQLSTATE
  // 23505) reports the key-violation code first.
  void CheckResult(const PGresult* res) const {
    ExecStatusType status = res ? PQresultStatus(res) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE ||
        status == PGRES_EMPTY_QUERY)
      return;
    std::string message = res ? Trim(PQresultErrorMessage(res)) : Trim(PQerrorMessage(conn_));
    if (message.empty()) message = Trim(PQerrorMessage(conn_));
    if (message.rfind("ERROR:  ", 0) == 0) message = message.substr(8);
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    std::vector<int> codes;
    if (state && std::strcmp(state, "23505") == 0) codes.push_back(kKeyViolation);
    if (state) codes.push_back(SqlStateCode(state));
    if (PQstatus(conn_) == CONNECTION_BAD) message = "Alias '" + alias_ + "': connection lost: " + message;
    throw EDatabaseError(message, std::move(codes));
  }

  std::string alias_;
  PGconn* conn_ = nullptr;
};

}  // namespace

std::unique_ptr<Engine> OpenPostgres(const std::string& alias, const std::string& conninfo) {
  return std::make_unique<PostgresEngine>(alias, conninfo);
}

}  // namespace qv::dbimpl

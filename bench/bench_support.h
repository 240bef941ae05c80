// What the benchmarks of the component and of the administration window
// share: a security database of each engine at the scale of a large
// installation (1,000 users in 100 profiles, a host menu of 500 items), bulk
// loading through the engine's own client library, and the headless host.
//
// SQLite runs on a database file in a temporary folder; PostgreSQL on a
// fresh schema of the server named by QV_TEST_PG. Both are removed when the
// database object goes. A secured PostgreSQL database ("postgresql_secured")
// is seeded the same way as its owner, then secured for a client role made
// for the run; the host connects as that role.
#pragma once

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/schema.h"
#include "qvd3/data/secured_mode.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/computer_name.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/test_host.h"

namespace qv::bench {

namespace fs = std::filesystem;

constexpr int kUsers = 1000;
constexpr int kProfiles = 100;
constexpr int kMenuItems = 500;
constexpr const char* kAppKey = "BENCH";
constexpr const char* kPassword = "segredo";
// The user who logs in and clicks: the first user after "master".
constexpr int kBenchUserId = 2;
constexpr const char* kBenchUser = "bench";
constexpr const char* kComputer = "PC-BENCH";
constexpr const char* kStamp = "15/03/2026 10:30:00";

// The component names of the host menu, in walk order: the items of the
// test host, then a top-level "mnuBench" with enough sub-items to make
// kMenuItems in all. The first `count` of them form a smaller menu.
inline std::vector<std::string> MenuNames() {
  std::vector<std::string> names(test::kWalkedItems.begin(), test::kWalkedItems.end());
  names.push_back("mnuBench");
  for (int i = 1; static_cast<int>(names.size()) < kMenuItems; ++i)
    names.push_back("mnuBench" + std::to_string(i));
  return names;
}

// Rows handed to a bulk loader: every value as text.
using Row = std::vector<std::string>;
using RowSource = std::function<bool(Row& row)>;

// Calls `fill(i, row)` for i = 0..count-1.
inline RowSource Rows(int count, std::function<void(int, Row&)> fill) {
  auto next = std::make_shared<int>(0);
  return [=](Row& row) {
    if (*next >= count) return false;
    fill((*next)++, row);
    return true;
  };
}

inline std::string Flag(bool on) { return on ? "1" : "0"; }

// A security database of one engine, seeded on first use.
class BenchDatabase {
 public:
  virtual ~BenchDatabase() = default;
  const std::string& Engine() const { return engine_; }
  // The engine whose table definitions it holds ("postgresql" also for the
  // secured database).
  std::string SchemaEngine() const { return engine_ == "sqlite" ? engine_ : "postgresql"; }
  // The alias that owns the tables: seeding and plain statements use it.
  const std::string& Alias() const { return alias_; }
  // The alias the host's component connects with.
  virtual const std::string& ClientAlias() const { return alias_; }

  // Creates the tables, the users and profiles, then, in one bulk
  // transaction, the rows `load` writes (through Bulk); once per database.
  void EnsureSeeded(const std::function<void(BenchDatabase&)>& load) {
    if (seeded_) return;
    for (const std::string& statement : CreateSchemaStatements(SchemaEngine()))
      Session::Default().Database(alias_).ExecDirect(statement);
    SeedUsersAndProfiles();
    BeginBulk();
    load(*this);
    CommitBulk();
    Settle();
    AfterSeeded();
    seeded_ = true;
  }

  // Loads rows in one transaction on a connection of the engine's own
  // client library, by its fastest plain method: a prepared INSERT in
  // SQLite, COPY in PostgreSQL.
  virtual void BeginBulk() = 0;
  virtual void Bulk(const std::string& table, const std::vector<std::string>& columns, const RowSource& rows) = 0;
  virtual void CommitBulk() = 0;

  // One prepared INSERT of an audit row through the client library, set up
  // by PreparePlainInsert and run by PlainInsert.
  virtual void PreparePlainInsert() = 0;
  virtual void PlainInsert() = 0;

  // Deletes the AUDIT rows of the given row identities (rowid, ctid as
  // text) in one transaction through the client library, by its fastest
  // plain method: one prepared DELETE per row in SQLite, one DELETE of the
  // whole array of identities in PostgreSQL.
  virtual void RawDeleteAudit(const std::vector<std::string>& identities) = 0;
  // The expression naming a row's identity in a select.
  virtual const char* RowIdentity() const = 0;
  // On the bulk connection, inside BeginBulk/CommitBulk: one prepared
  // INSERT run once per row (as a program storing rows one by one does),
  // and a statement without parameters.
  virtual void InsertRows(const std::string& table, const std::vector<std::string>& columns,
                          const RowSource& rows) = 0;
  virtual void Statement(const std::string& sql) = 0;

 protected:
  // Runs once the rows are in (the secured database secures itself here).
  virtual void AfterSeeded() {}
  // Brings the freshly seeded tables to the state of a database in use.
  virtual void Settle() {}

  BenchDatabase(std::string engine, std::string alias) : engine_(std::move(engine)), alias_(std::move(alias)) {}

 private:
  // Users and profiles go through the data layer: few rows, and the
  // password column holds bytes.
  void SeedUsersAndProfiles() {
    TDatabase& db = Session::Default().Database(alias_);
    TransactionGuard tx(db);
    TQuery profile;
    profile.SetDatabaseName(alias_);
    profile.SetSQL(
        "INSERT INTO PROFILES (PROF_DESCRIPTION, PROF_ID, INTERVAL_CHANGE_PWD, MUST_CHANGE_PWD, "
        "HIDE_DISABLE_MENU, AUDIT_MODE) VALUES (:D, :ID, NULL, '0', :HIDE, '0')");
    for (int id = 1; id <= kProfiles; ++id) {
      profile.ParamByName("D").SetAsString("Perfil " + std::to_string(id));
      profile.ParamByName("ID").SetAsInteger(id);
      profile.ParamByName("HIDE").SetAsInteger(id % 2 == 0 ? 1 : 2);
      profile.ExecSQL();
    }
    std::string today;
    {
      ScopedNormalizedDateFormat normalized;
      today = DateToStr(Date());
    }
    TQuery user;
    user.SetDatabaseName(alias_);
    user.SetSQL(
        "INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_PWD, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, "
        "AUDIT_MODE) VALUES (:NAME, :REAL, :PWD, :ID, :LAST, :PROF, :AUDIT)");
    for (int id = 1; id <= kUsers + 1; ++id) {
      std::string name = "master";
      if (id == kBenchUserId) name = kBenchUser;
      else if (id > kBenchUserId) name = std::to_string(id).insert(0, 1, 'u');
      user.ParamByName("NAME").SetAsString(name);
      user.ParamByName("REAL").SetAsString("Usuário " + std::to_string(id));
      user.ParamByName("PWD").SetAsBytes(EncodePassword(id == 1 ? "master" : kPassword));
      user.ParamByName("ID").SetAsInteger(id);
      user.ParamByName("LAST").SetAsString(today);
      user.ParamByName("PROF").SetAsInteger(id == 1 ? 0 : 1 + id % kProfiles);
      user.ParamByName("AUDIT").SetAsString(id == kBenchUserId ? "1" : "0");
      user.ExecSQL();
    }
    tx.Commit();
  }

  std::string engine_;
  std::string alias_;
  bool seeded_ = false;
};

// ---- SQLite ------------------------------------------------------------------

inline void CheckSqlite(sqlite3* db, int rc, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

class SqliteBench : public BenchDatabase {
 public:
  SqliteBench() : BenchDatabase("sqlite", "qvbench_sqlite") {
    dir_ = fs::temp_directory_path() / ("qvcbench_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    file_ = dir_ / "security.db";
    Session::CreateSqliteDatabase(file_);
    Session::Default().AddAlias({Alias(), EngineKind::Sqlite, file_.string()});
  }
  ~SqliteBench() override {
    if (insert_) sqlite3_finalize(insert_);
    if (db_) sqlite3_close_v2(db_);
    Session::Default().CloseDatabase(Alias());
    Session::Default().RemoveAlias(Alias());
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  void PreparePlainInsert() override {
    Connect();
    if (insert_) return;
    CheckSqlite(db_, sqlite3_prepare_v2(db_, "INSERT INTO AUDIT VALUES (?1, ?2, ?3, ?4, ?5, ?6)", -1, &insert_, nullptr),
                "prepare");
  }
  void PlainInsert() override {
    sqlite3_bind_text(insert_, 1, kAppKey, -1, SQLITE_STATIC);
    sqlite3_bind_int(insert_, 2, kBenchUserId);
    sqlite3_bind_int(insert_, 3, 1);
    sqlite3_bind_text(insert_, 4, kStamp, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert_, 5, kStamp, -1, SQLITE_STATIC);
    sqlite3_bind_text(insert_, 6, kComputer, -1, SQLITE_STATIC);
    CheckSqlite(db_, sqlite3_step(insert_), "insert");
    sqlite3_reset(insert_);
  }

  void BeginBulk() override {
    Connect();
    CheckSqlite(db_, sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr), "begin");
  }
  void Bulk(const std::string& table, const std::vector<std::string>& columns, const RowSource& rows) override {
    std::string sql = "INSERT INTO " + table + " (";
    std::string marks;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) {
        sql += ", ";
        marks += ", ";
      }
      sql += columns[i];
      marks += "?";
    }
    sql += ") VALUES (" + marks + ")";
    sqlite3_stmt* statement = nullptr;
    CheckSqlite(db_, sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr), "prepare");
    Row row;
    while (rows(row)) {
      for (std::size_t i = 0; i < row.size(); ++i)
        sqlite3_bind_text(statement, static_cast<int>(i + 1), row[i].c_str(), -1, SQLITE_TRANSIENT);
      const int rc = sqlite3_step(statement);
      sqlite3_reset(statement);
      if (rc != SQLITE_DONE) {
        sqlite3_finalize(statement);
        CheckSqlite(db_, rc, "bulk insert");
      }
    }
    sqlite3_finalize(statement);
  }
  void CommitBulk() override { CheckSqlite(db_, sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr), "commit"); }
  void InsertRows(const std::string& table, const std::vector<std::string>& columns,
                  const RowSource& rows) override {
    Bulk(table, columns, rows);
  }
  void Statement(const std::string& sql) override {
    CheckSqlite(db_, sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr), "statement");
  }

  void RawDeleteAudit(const std::vector<std::string>& identities) override {
    Connect();
    CheckSqlite(db_, sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr), "begin");
    sqlite3_stmt* statement = nullptr;
    CheckSqlite(db_, sqlite3_prepare_v2(db_, "DELETE FROM AUDIT WHERE rowid = ?1", -1, &statement, nullptr),
                "prepare");
    for (const std::string& id : identities) {
      sqlite3_bind_int64(statement, 1, std::stoll(id));
      const int rc = sqlite3_step(statement);
      sqlite3_reset(statement);
      if (rc != SQLITE_DONE) {
        sqlite3_finalize(statement);
        CheckSqlite(db_, rc, "delete");
      }
    }
    sqlite3_finalize(statement);
    CheckSqlite(db_, sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr), "commit");
  }
  const char* RowIdentity() const override { return "rowid"; }

 private:
  // A second connection to the file, set up like the data layer's own.
  void Connect() {
    if (db_) return;
    CheckSqlite(db_, sqlite3_open_v2(file_.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr), "open");
    sqlite3_busy_timeout(db_, 5000);
    CheckSqlite(db_, sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), "wal");
  }

  fs::path dir_;
  fs::path file_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
};

// ---- PostgreSQL --------------------------------------------------------------

class PgResult {
 public:
  explicit PgResult(PGresult* result) : result_(result) {}
  ~PgResult() { PQclear(result_); }
  PgResult(const PgResult&) = delete;
  PgResult& operator=(const PgResult&) = delete;
  PGresult* get() const { return result_; }

 private:
  PGresult* result_;
};

class PostgresBench : public BenchDatabase {
 public:
  // `secured`: the "postgresql_secured" database, whose host connects as a
  // client role made for the run.
  explicit PostgresBench(const std::string& server, bool secured = false)
      : BenchDatabase(secured ? "postgresql_secured" : "postgresql", secured ? "qvbench_pgs" : "qvbench_pg"),
        schema_((secured ? "qvcbench_s" : "qvcbench_") + std::to_string(getpid())) {
    admin_ = PQconnectdb(server.c_str());
    if (PQstatus(admin_) != CONNECTION_OK)
      throw std::runtime_error("PostgreSQL server of QV_TEST_PG unusable: " + std::string(PQerrorMessage(admin_)));
    Exec(admin_, "CREATE SCHEMA " + schema_);
    conninfo_ = server + " options='-c search_path=" + schema_ + "'";
    Session::Default().AddAlias({Alias(), EngineKind::PostgreSql, conninfo_});
    if (secured) {
      role_ = schema_ + "_client";
      Exec(admin_, "CREATE ROLE " + role_ + " LOGIN");
      client_alias_ = Alias() + "_client";
      Session::Default().AddAlias({client_alias_, EngineKind::PostgreSql, conninfo_ + " user=" + role_});
    }
  }
  ~PostgresBench() override {
    if (db_) PQfinish(db_);
    if (!client_alias_.empty()) Session::Default().RemoveAlias(client_alias_);
    Session::Default().CloseDatabase(Alias());
    Session::Default().RemoveAlias(Alias());
    try {
      Exec(admin_, "DROP SCHEMA " + schema_ + " CASCADE");
      if (!role_.empty()) {
        Exec(admin_, "DROP OWNED BY " + role_);
        Exec(admin_, "DROP ROLE " + role_);
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "could not drop the benchmark schema %s: %s\n", schema_.c_str(), e.what());
    }
    PQfinish(admin_);
  }

  const std::string& ClientAlias() const override { return client_alias_.empty() ? Alias() : client_alias_; }

  void PreparePlainInsert() override {
    Connect();
    if (prepared_) return;
    PgResult result(PQprepare(db_, "plain_audit", "INSERT INTO AUDIT VALUES ($1, $2, $3, $4, $5, $6)", 0, nullptr));
    Check(result.get(), PGRES_COMMAND_OK, "prepare");
    prepared_ = true;
  }
  void PlainInsert() override {
    const std::string user = std::to_string(kBenchUserId);
    const char* values[6] = {kAppKey, user.c_str(), "1", kStamp, kStamp, kComputer};
    PgResult result(PQexecPrepared(db_, "plain_audit", 6, values, nullptr, nullptr, 0));
    Check(result.get(), PGRES_COMMAND_OK, "insert");
  }

  void BeginBulk() override {
    Connect();
    Exec(db_, "BEGIN");
  }
  // COPY is the engine's own bulk path: one statement streams every row.
  void Bulk(const std::string& table, const std::vector<std::string>& columns, const RowSource& rows) override {
    std::string sql = "COPY " + table + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) sql += ", ";
      sql += columns[i];
    }
    sql += ") FROM STDIN";
    {
      PgResult start(PQexec(db_, sql.c_str()));
      Check(start.get(), PGRES_COPY_IN, "copy");
    }
    std::string buffer;
    Row row;
    while (rows(row)) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        if (i > 0) buffer += '\t';
        buffer += row[i];
      }
      buffer += '\n';
      if (buffer.size() > (1 << 20)) Flush(buffer);
    }
    Flush(buffer);
    if (PQputCopyEnd(db_, nullptr) != 1) throw std::runtime_error(PQerrorMessage(db_));
    PgResult done(PQgetResult(db_));
    Check(done.get(), PGRES_COMMAND_OK, "copy end");
    while (PGresult* extra = PQgetResult(db_)) PQclear(extra);
  }
  void CommitBulk() override { Exec(db_, "COMMIT"); }
  // The seed is vacuumed and analysed at once, as a database in use would
  // be: otherwise the server's autovacuum works through a million new rows
  // during whichever benchmark happens to run first, and that one is
  // measured against a busy server.
  void Settle() override {
    Exec(db_, "VACUUM (ANALYZE) QUARVEL, PROFILES, PROGS, HISTORY, UACCESS, PACCESS, AUDIT, USERINFO");
  }
  void InsertRows(const std::string& table, const std::vector<std::string>& columns,
                  const RowSource& rows) override {
    std::string sql = "INSERT INTO " + table + " (";
    std::string marks;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (i > 0) {
        sql += ", ";
        marks += ", ";
      }
      sql += columns[i];
      marks += "$" + std::to_string(i + 1);
    }
    sql += ") VALUES (" + marks + ")";
    const std::string name = "rows_" + table;
    if (prepared_rows_.insert(name).second) {
      PgResult result(PQprepare(db_, name.c_str(), sql.c_str(), 0, nullptr));
      Check(result.get(), PGRES_COMMAND_OK, "prepare");
    }
    Row row;
    std::vector<const char*> values;
    while (rows(row)) {
      values.clear();
      for (const std::string& v : row) values.push_back(v.c_str());
      PgResult result(
          PQexecPrepared(db_, name.c_str(), static_cast<int>(values.size()), values.data(), nullptr, nullptr, 0));
      Check(result.get(), PGRES_COMMAND_OK, "insert");
    }
  }
  void Statement(const std::string& sql) override { Exec(db_, sql); }

  void RawDeleteAudit(const std::vector<std::string>& identities) override {
    Connect();
    std::string array = "{";
    for (const std::string& id : identities) array += (array.size() > 1 ? ",\"" : "\"") + id + "\"";
    array += "}";
    Exec(db_, "BEGIN");
    const char* values[1] = {array.c_str()};
    PgResult result(PQexecParams(db_, "DELETE FROM AUDIT WHERE ctid = ANY($1::tid[])", 1, nullptr, values, nullptr,
                                 nullptr, 0));
    Check(result.get(), PGRES_COMMAND_OK, "delete");
    Exec(db_, "COMMIT");
  }
  const char* RowIdentity() const override { return "ctid"; }

 private:
  void Connect() {
    if (db_) return;
    db_ = PQconnectdb(conninfo_.c_str());
    if (PQstatus(db_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(db_));
  }
  void Flush(std::string& buffer) {
    if (!buffer.empty() && PQputCopyData(db_, buffer.data(), static_cast<int>(buffer.size())) != 1)
      throw std::runtime_error(PQerrorMessage(db_));
    buffer.clear();
  }
  static void Check(PGresult* result, ExecStatusType expected, const char* what) {
    if (PQresultStatus(result) != expected)
      throw std::runtime_error(std::string(what) + ": " + PQresultErrorMessage(result));
  }
  static void Exec(PGconn* connection, const std::string& sql) {
    PgResult result(PQexec(connection, sql.c_str()));
    Check(result.get(), PGRES_COMMAND_OK, sql.c_str());
  }

  void AfterSeeded() override {
    if (role_.empty()) return;
    RecordDatePattern(Alias(), "dd/mm/yyyy");
    SecureDatabase(Alias(), role_, {});
  }

  std::string schema_;
  std::string conninfo_;
  std::string role_;          // secured: the client role
  std::string client_alias_;  // secured: the host's alias, as the role
  PGconn* admin_ = nullptr;
  PGconn* db_ = nullptr;
  bool prepared_ = false;
  std::set<std::string> prepared_rows_;
};

// ---- The host ----------------------------------------------------------------

// Reads a test host whose menu has its first `items` walked items named as
// in MenuNames (the full test host menu plus bench items).
inline std::unique_ptr<test::TTestHostForm> ReadHost(const BenchDatabase& db, int items) {
  const std::vector<std::string> names = MenuNames();
  const int extra = items - static_cast<int>(test::kWalkedItems.size());
  return test::ReadTestHost({.DatabaseName = db.ClientAlias(),
                             .AppKey = kAppKey,
                             .ExtraBuild = [&](test::TTestHostForm& host) {
                               if (extra <= 0) return;
                               auto* bench = new TMenuItem(&host);
                               bench->SetName("mnuBench");
                               bench->SetCaption("Bench");
                               host.mnuMain->Items()->Add(bench);
                               for (int i = 1; i < extra; ++i) {
                                 auto* item = new TMenuItem(&host);
                                 item->SetName(names[test::kWalkedItems.size() + i]);
                                 item->SetCaption("Item");
                                 item->OnClick = [](TObject&) {};
                                 bench->Add(item);
                               }
                             }});
}

inline void LogIn(THeadlessBackend& ui, test::TTestHostForm& host) {
  ui.WhenShown("Login").Type(kBenchUser).Enter().Type(kPassword).Enter();
  if (!host.Quarvel1->Login()) throw std::runtime_error("the benchmark user could not log in");
}

// The administration window is only for somebody logged in.
inline void LogInAsMaster(THeadlessBackend& ui, test::TTestHostForm& host) {
  ui.WhenShown("Login").Type("master").Enter().Type("master").Enter();
  if (!host.Quarvel1->Login()) throw std::runtime_error("master could not log in");
}

// Opens the database of each engine (SQLite always, PostgreSQL when
// QV_TEST_PG names a server, and with `withSecured` a secured PostgreSQL
// one too), lets `registerFor` register its benchmarks on each, and runs
// them. Returns the program's exit status: 1 when the set-up or a benchmark
// failed.
inline int RunOnEveryEngine(const std::function<void(BenchDatabase& db)>& registerFor, bool withSecured = false) {
  std::vector<std::unique_ptr<BenchDatabase>> databases;
  try {
    databases.push_back(std::make_unique<SqliteBench>());
    if (const char* server = std::getenv("QV_TEST_PG"); server && *server) {
      databases.push_back(std::make_unique<PostgresBench>(server));
      if (withSecured) databases.push_back(std::make_unique<PostgresBench>(server, true));
    } else
      std::printf("QV_TEST_PG is not set: the PostgreSQL benchmarks are left out.\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark set-up failed: %s\n", e.what());
    return 1;
  }
  for (auto& db : databases) registerFor(*db);
  int status = 0;
  try {
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    status = 1;
  }
  benchmark::Shutdown();
  return status;
}

}  // namespace qv::bench

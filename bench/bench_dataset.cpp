// Datasets against plain driver loops: opening a live dataset over a large
// audit table and walking it reading every field as text, on both engines,
// compared with reading the same rows straight from the client library into
// std::string; and the cost of Locate and equality filters over a large
// rights table.
//
// Counters: rows; text_MB (the rows' text bytes); peak_MB (heap in use,
// from mallinfo2, when all rows are held, minus what was in use before);
// mem_ratio (peak / text bytes); time_ratio (dataset time / plain loop time,
// the plain loop run, untimed, beside each dataset iteration so both see the
// same machine load).
//
// The PostgreSQL cases need QV_TEST_PG (a libpq connection string); they
// work in a schema of their own, dropped at the end. QV_BENCH_ROWS changes
// the table size (default 1,000,000).
#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <malloc.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/bench_util.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using qv::bench::HeapInUse;
using qv::bench::Rows;

const char* kAuditSelect =
    "SELECT APP_KEY , USER_ID ,\nPROG_ID ,\nSTART_SESSION ,\nEND_SESSION ,\nCOMPUTER_NAME\nFROM AUDIT";

// One database per engine, filled once for the whole run.
struct Fixture {
  std::string sqlite_file;
  std::string pg_conninfo;  // with the bench schema on the search path
  std::string pg_server;
  std::string schema;
  bool pg = false;

  Fixture() {
    qv::Session& session = qv::Session::Default();
    fs::path dir = fs::temp_directory_path() / ("qvdsbench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    sqlite_file = (dir / "bench.db").string();
    qv::Session::CreateSqliteDatabase(sqlite_file);
    session.AddAlias({"bench_sqlite", qv::EngineKind::Sqlite, sqlite_file});
    Fill(session.Database("bench_sqlite"), false);

    if (const char* server = std::getenv("QV_TEST_PG")) {
      pg_server = server;
      schema = "qvdsbench_" + std::to_string(getpid());
      session.AddAlias({"bench_pg_admin", qv::EngineKind::PostgreSql, pg_server});
      session.Database("bench_pg_admin").ExecDirect("CREATE SCHEMA " + schema);
      pg_conninfo = pg_server + " options='-c search_path=" + schema + "'";
      session.AddAlias({"bench_pg", qv::EngineKind::PostgreSql, pg_conninfo});
      Fill(session.Database("bench_pg"), true);
      pg = true;
    }
  }

  ~Fixture() {
    qv::Session& session = qv::Session::Default();
    session.RemoveAlias("bench_sqlite");
    fs::remove_all(fs::path(sqlite_file).parent_path());
    if (pg) {
      session.RemoveAlias("bench_pg");
      session.Database("bench_pg_admin").ExecDirect("DROP SCHEMA " + schema + " CASCADE");
      session.RemoveAlias("bench_pg_admin");
    }
  }

  // AUDIT with Rows() rows of realistic widths; UACCESS with 500,000 rights
  // (1,000 users x 500 menu items).
  static void Fill(qv::TDatabase& db, bool postgres) {
    db.ExecDirect(
        "CREATE TABLE AUDIT (APP_KEY VARCHAR(20), USER_ID INTEGER, PROG_ID INTEGER, "
        "START_SESSION VARCHAR(19), END_SESSION VARCHAR(19), COMPUTER_NAME VARCHAR(30))");
    db.ExecDirect("CREATE TABLE UACCESS (APP_KEY VARCHAR(20), USER_ID INTEGER, MENU_ID INTEGER, AUTHORIZED VARCHAR(1))");
    const std::string n = std::to_string(Rows());
    const std::string series =
        postgres ? "generate_series(1, " + n + ") AS s(x)"
                 : "(WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + n +
                       ") SELECT x FROM c)";
    db.ExecDirect("INSERT INTO AUDIT SELECT 'SalesApplication', x % 1000, x % 500, '07/12/2026 10:11:12', "
                  "'07/12/2026 10:15:59', 'WORKSTATION-' || (x % 97) FROM " + series);
    const std::string rights =
        postgres ? "generate_series(0, 499999) AS s(x)"
                 : "(WITH RECURSIVE c(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM c WHERE x < 499999) SELECT x FROM c)";
    db.ExecDirect("INSERT INTO UACCESS SELECT 'SalesApplication', x / 500, x % 500, "
                  "CASE WHEN x % 3 = 0 THEN '1' ELSE '0' END FROM " + rights);
  }
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

struct PlainResult {
  double seconds = 0;
  std::size_t bytes = 0;
  std::size_t peak = 0;
  int rows = 0;
};

PlainResult PlainSqlite() {
  PlainResult r;
  std::size_t base = HeapInUse();
  auto start = Clock::now();
  sqlite3* db = nullptr;
  sqlite3_open_v2(Data().sqlite_file.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, kAuditSelect, -1, &stmt, nullptr);
  std::string value;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    for (int c = 0; c < 6; ++c) {
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      value.assign(text ? text : "", sqlite3_column_bytes(stmt, c));
      r.bytes += value.size();
      benchmark::DoNotOptimize(value.data());
    }
    ++r.rows;
  }
  r.peak = HeapInUse() - base;
  sqlite3_finalize(stmt);
  sqlite3_close(db);
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return r;
}

PlainResult PlainPostgres() {
  PlainResult r;
  std::size_t base = HeapInUse();
  auto start = Clock::now();
  PGconn* conn = PQconnectdb(Data().pg_conninfo.c_str());
  PGresult* res = PQexec(conn, kAuditSelect);
  r.peak = HeapInUse() - base;
  std::string value;
  const int rows = PQntuples(res);
  for (int i = 0; i < rows; ++i) {
    for (int c = 0; c < 6; ++c) {
      value.assign(PQgetvalue(res, i, c), PQgetlength(res, i, c));
      r.bytes += value.size();
      benchmark::DoNotOptimize(value.data());
    }
    ++r.rows;
  }
  PQclear(res);
  PQfinish(conn);
  r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return r;
}

void ReportPlain(benchmark::State& state, const PlainResult& r) {
  state.counters["rows"] = r.rows;
  state.counters["text_MB"] = r.bytes / 1e6;
  state.counters["peak_MB"] = r.peak / 1e6;
  state.counters["mem_ratio"] = static_cast<double>(r.peak) / r.bytes;
}

void BM_PlainLoop_Sqlite(benchmark::State& state) {
  Data();
  PlainResult r;
  for (auto _ : state) r = PlainSqlite();
  ReportPlain(state, r);
}

void BM_PlainLoop_Postgres(benchmark::State& state) {
  if (!Data().pg) return state.SkipWithError("QV_TEST_PG is not set");
  PlainResult r;
  for (auto _ : state) r = PlainPostgres();
  ReportPlain(state, r);
}

// Opens a live dataset on `alias` (connection opened anew each time, as the
// plain loop does) and walks it reading every field as text.
void DatasetWalk(benchmark::State& state, const std::string& alias, PlainResult (*plain_loop)()) {
  std::size_t bytes = 0, peak = 0;
  int rows = 0;
  double seconds = 0, plain_seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    plain_seconds += plain_loop().seconds;
    qv::Session::Default().CloseDatabase(alias);
    state.ResumeTiming();
    std::size_t base = HeapInUse();
    auto start = Clock::now();
    {
      qv::TQuery q;
      q.SetDatabaseName(alias);
      q.SetSQL(kAuditSelect);
      q.SetRequestLive(true);
      q.Open();
      std::vector<qv::TField*> fields = q.Fields();
      bytes = 0;
      rows = 0;
      for (q.First(); !q.Eof(); q.Next()) {
        for (qv::TField* f : fields) {
          std::string value = f->AsString();
          bytes += value.size();
          benchmark::DoNotOptimize(value.data());
        }
        ++rows;
      }
      peak = HeapInUse() - base;
    }
    seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  state.counters["rows"] = rows;
  state.counters["text_MB"] = bytes / 1e6;
  state.counters["peak_MB"] = peak / 1e6;
  state.counters["mem_ratio"] = static_cast<double>(peak) / bytes;
  state.counters["time_ratio"] = seconds / plain_seconds;
}

void BM_DatasetOpenWalk_Sqlite(benchmark::State& state) {
  DatasetWalk(state, "bench_sqlite", PlainSqlite);
}

void BM_DatasetOpenWalk_Postgres(benchmark::State& state) {
  if (!Data().pg) return state.SkipWithError("QV_TEST_PG is not set");
  DatasetWalk(state, "bench_pg", PlainPostgres);
}

// One rights check: Locate on MENU_ID;USER_ID over 500,000 rows, as the
// login does once per menu item. The index is built by the first call.
void BM_LocateTwoColumns(benchmark::State& state) {
  Data();
  qv::TQuery q;
  q.SetDatabaseName("bench_sqlite");
  q.SetSQL("SELECT APP_KEY , USER_ID ,\nMENU_ID , AUTHORIZED\nFROM UACCESS\nWHERE APP_KEY=:APP_KEY");
  q.ParamByName("APP_KEY").SetAsString("SalesApplication");
  q.SetRequestLive(true);
  q.Open();
  auto start = Clock::now();
  q.Locate("MENU_ID;USER_ID", {0, 0});
  state.counters["first_call_ms"] =
      std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  std::mt19937 random(7);
  int found = 0;
  for (auto _ : state) {
    found += q.Locate("MENU_ID;USER_ID", {static_cast<int>(random() % 500), static_cast<int>(random() % 1000)});
  }
  state.counters["found"] = found;
}

// Filtering the rights of one user ("USER_ID=7") and walking them.
void BM_EqualityFilter(benchmark::State& state) {
  Data();
  qv::TQuery q;
  q.SetDatabaseName("bench_sqlite");
  q.SetSQL("SELECT APP_KEY , USER_ID ,\nMENU_ID , AUTHORIZED\nFROM UACCESS");
  q.SetRequestLive(true);
  q.Open();
  q.SetFiltered(true);
  int user = 0;
  for (auto _ : state) {
    q.SetFilter("USER_ID=" + std::to_string(user++ % 1000));
    benchmark::DoNotOptimize(q.RecordCount());
  }
}

BENCHMARK(BM_PlainLoop_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DatasetOpenWalk_Sqlite)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PlainLoop_Postgres)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_DatasetOpenWalk_Postgres)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LocateTwoColumns)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EqualityFilter)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Data();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

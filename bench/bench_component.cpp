// Benchmarks of the component at the scale of a large installation, on each
// engine: 1,000 users in 100 profiles, a catalogue of 500 menu items (so
// 500,000 rights rows of the application) and 1,000,000 audit rows.
//
//   Loaded/<engine>          reading the host form with AutoLogin off: the
//                            data module is made and the eight tables opened
//   LoadedEmptyAudit/<engine> the same with an empty AUDIT table and every
//                            other table as it is: start-up must not grow
//                            with the audit trail
//   Login/<engine>/<items>   one login from the confirmed dialog to the
//                            rights applied, with a host menu of <items>
//                            items (the cost should grow with the menu only)
//   AuditedClick/<engine>    one menu command of an audited user, row written
//   PlainInsert/<engine>     the same AUDIT row through one prepared INSERT
//                            of the engine's own client library, for scale
//
// On a secured PostgreSQL database (engine "postgresql_secured", the host
// connected as the client role) only Login/<engine>/500 and
// AuditedClick/<engine> run: the login's one call to the server, and the
// row the server checks against the connection's identity.
//
// SQLite runs on a database file in a temporary folder; PostgreSQL on a
// fresh schema of the server named by QV_TEST_PG (without it the PostgreSQL
// benchmarks are left out with a note). Both are removed at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace qv::bench {
namespace {

constexpr int kAuditRows = 1000000;

// The component's scale: the whole catalogue, every user's and profile's
// rights to it, and the audit trail.
void LoadCatalogueRightsAndAudit(BenchDatabase& db) {
  const std::vector<std::string> menu = MenuNames();
  db.Bulk("PROGS", {"APP_KEY", "MENU_NAME", "MENU_ID", "MENU_CAPTION"}, Rows(kMenuItems, [&](int i, Row& r) {
            r = {kAppKey, menu[i], std::to_string(i + 1), "Item " + std::to_string(i + 1)};
          }));
  db.Bulk("USERINFO", {"APP_KEY", "USER_ID", "EXPIRATION_DATE", "USER_EXPIRE", "USER_ACTIVE"},
          Rows(kUsers, [&](int i, Row& r) { r = {kAppKey, std::to_string(kBenchUserId + i), "01/01/2030", "0", "1"}; }));
  db.Bulk("UACCESS", {"APP_KEY", "USER_ID", "MENU_ID", "AUTHORIZED"}, Rows(kUsers * kMenuItems, [&](int i, Row& r) {
            const int user = kBenchUserId + i / kMenuItems, menuId = i % kMenuItems + 1;
            r = {kAppKey, std::to_string(user), std::to_string(menuId), Flag((user + menuId) % 3 != 0)};
          }));
  db.Bulk("PACCESS", {"APP_KEY", "PROF_ID", "MENU_ID", "AUTHORIZED"},
          Rows(kProfiles * kMenuItems, [&](int i, Row& r) {
            const int prof = 1 + i / kMenuItems, menuId = i % kMenuItems + 1;
            r = {kAppKey, std::to_string(prof), std::to_string(menuId), Flag((prof + menuId) % 2 == 0)};
          }));
  db.Bulk("AUDIT", {"APP_KEY", "USER_ID", "PROG_ID", "START_SESSION", "END_SESSION", "COMPUTER_NAME"},
          Rows(kAuditRows, [&](int i, Row& r) {
            r = {kAppKey, std::to_string(kBenchUserId + i % kUsers), std::to_string(i % kMenuItems + 1), kStamp, kStamp,
                 kComputer};
          }));
}

THeadlessBackend* ui = nullptr;

// Sets the audit rows aside while it lives: AUDIT is renamed and an empty
// AUDIT of the same columns takes its place; the destructor puts the full
// table back.
class AuditSetAside {
 public:
  explicit AuditSetAside(const BenchDatabase& db) : db_(Session::Default().Database(db.Alias())) {
    std::string create;
    for (const std::string& statement : CreateSchemaStatements(db.SchemaEngine()))
      if (statement.rfind("CREATE TABLE AUDIT ", 0) == 0) create = statement;
    if (create.empty()) throw std::runtime_error("no creation statement for AUDIT");
    db_.ExecDirect("ALTER TABLE AUDIT RENAME TO AUDIT_ASIDE");
    db_.ExecDirect(create);
  }
  ~AuditSetAside() {
    try {
      db_.ExecDirect("DROP TABLE AUDIT");
      db_.ExecDirect("ALTER TABLE AUDIT_ASIDE RENAME TO AUDIT");
    } catch (const std::exception& e) {
      std::fprintf(stderr, "could not put the audit rows back: %s\n", e.what());
    }
  }
  AuditSetAside(const AuditSetAside&) = delete;
  AuditSetAside& operator=(const AuditSetAside&) = delete;

 private:
  TDatabase& db_;
};

// One load before the measured ones, so that neither Loaded benchmark pays
// for the connection's first statements, whichever of them runs first.
void WarmUp(BenchDatabase& db) { ReadHost(db, kMenuItems).reset(); }

void BM_Loaded(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadCatalogueRightsAndAudit);
  WarmUp(*db);
  for (auto _ : state) {
    auto host = ReadHost(*db, kMenuItems);
    state.PauseTiming();
    host.reset();
    state.ResumeTiming();
  }
}

void BM_LoadedEmptyAudit(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadCatalogueRightsAndAudit);
  AuditSetAside aside(*db);
  WarmUp(*db);
  for (auto _ : state) {
    auto host = ReadHost(*db, kMenuItems);
    state.PauseTiming();
    host.reset();
    state.ResumeTiming();
  }
}

void BM_Login(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadCatalogueRightsAndAudit);
  auto host = ReadHost(*db, static_cast<int>(state.range(0)));
  for (auto _ : state) LogIn(*ui, *host);
  state.counters["items"] = static_cast<double>(state.range(0));
}

void BM_AuditedClick(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadCatalogueRightsAndAudit);
  auto host = ReadHost(*db, kMenuItems);
  LogIn(*ui, *host);
  TMenuItem& item = *host->mnuFileOpen;
  for (auto _ : state) {
    item.Click();
    if (host->Calls.size() > 4096) host->Calls.clear();
  }
}

void BM_PlainInsert(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadCatalogueRightsAndAudit);
  db->PreparePlainInsert();
  for (auto _ : state) db->PlainInsert();
}

}  // namespace
}  // namespace qv::bench

int main(int argc, char** argv) {
  using namespace qv::bench;
  benchmark::Initialize(&argc, argv);
  qv::SetShortDateFormat("dd/MM/yyyy");
  qv::SetLongTimeFormat("hh:nn:ss");
  qv::ComputerNameOverride computer(kComputer);
  qv::THeadlessBackend headless;
  ui = &headless;

  return RunOnEveryEngine(
      [](BenchDatabase& database) {
    BenchDatabase* db = &database;
    const std::string engine = db->Engine();
    if (engine == "postgresql_secured") {
      benchmark::RegisterBenchmark(("Login/" + engine).c_str(), BM_Login, db)
          ->Unit(benchmark::kMicrosecond)
          ->Arg(500);
      benchmark::RegisterBenchmark(("AuditedClick/" + engine).c_str(), BM_AuditedClick, db)
          ->Unit(benchmark::kMicrosecond);
      return;
    }
    benchmark::RegisterBenchmark(("Loaded/" + engine).c_str(), BM_Loaded, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark(("LoadedEmptyAudit/" + engine).c_str(), BM_LoadedEmptyAudit, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(5);
    benchmark::RegisterBenchmark(("Login/" + engine).c_str(), BM_Login, db)
        ->Unit(benchmark::kMicrosecond)
        ->Arg(125)
        ->Arg(250)
        ->Arg(500);
    benchmark::RegisterBenchmark(("AuditedClick/" + engine).c_str(), BM_AuditedClick, db)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("PlainInsert/" + engine).c_str(), BM_PlainInsert, db)
        ->Unit(benchmark::kMicrosecond);
      },
      /*withSecured=*/true);
}

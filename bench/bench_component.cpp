// Benchmarks of the component at the scale of a large installation, on each
// engine: 1,000 users in 100 profiles, a catalogue of 500 menu items (so
// 500,000 rights rows of the application) and 1,000,000 audit rows.
//
//   Loaded/<engine>          reading the host form with AutoLogin off: the
//                            data module is made and the eight tables opened
//   Login/<engine>/<items>   one login from the confirmed dialog to the
//                            rights applied, with a host menu of <items>
//                            items (the cost should grow with the menu only)
//   AuditedClick/<engine>    one menu command of an audited user, row written
//   PlainInsert/<engine>     the same AUDIT row through one prepared INSERT
//                            of the engine's own client library, for scale
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

void BM_Loaded(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadCatalogueRightsAndAudit);
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

  return RunOnEveryEngine([](BenchDatabase& database) {
    BenchDatabase* db = &database;
    const std::string engine = db->Engine();
    benchmark::RegisterBenchmark(("Loaded/" + engine).c_str(), BM_Loaded, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("Login/" + engine).c_str(), BM_Login, db)
        ->Unit(benchmark::kMicrosecond)
        ->Arg(125)
        ->Arg(250)
        ->Arg(500);
    benchmark::RegisterBenchmark(("AuditedClick/" + engine).c_str(), BM_AuditedClick, db)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("PlainInsert/" + engine).c_str(), BM_PlainInsert, db)
        ->Unit(benchmark::kMicrosecond);
  });
}

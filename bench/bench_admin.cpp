// Benchmarks of the administration window at the scale of a large
// installation, on each engine: 1,000 users in 100 profiles and a host menu
// of up to 500 items.
//
//   AdminOpen/<engine>/new_catalogue  opening the window for an application
//                                     whose catalogue is empty: 500 items
//                                     catalogued with 550,000 rights rows
//   RawRightsInsert/<engine>          the same catalogue and rights rows
//                                     inserted in one transaction by the
//                                     engine's fastest plain method (a
//                                     prepared INSERT in SQLite, COPY in
//                                     PostgreSQL): the baseline of the above
//   AdminOpen/<engine>/unchanged/<n>  opening it again with a menu of <n>
//                                     items and nothing to change
//   SelectUser/<engine>               on the access-control page, moving to
//                                     another user and loading the states
//                                     of the 500 nodes
//
// Each window is closed as soon as it shows; the times include the showing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "admin/users_adm_qv.h"
#include "bench/bench_support.h"
#include "data/dm_quarvel.h"

namespace qv::bench {
namespace {

THeadlessBackend* ui = nullptr;

// Every listed user already has a state row in the application.
void LoadUserInfo(BenchDatabase& db) {
  db.Bulk("USERINFO", {"APP_KEY", "USER_ID", "EXPIRATION_DATE", "USER_EXPIRE", "USER_ACTIVE"},
          Rows(kUsers, [&](int i, Row& r) { r = {kAppKey, std::to_string(kBenchUserId + i), "01/01/2030", "0", "1"}; }));
}

// Empties the application's catalogue and rights, and has the component's
// datasets read them again.
void ClearCatalogue(BenchDatabase& db) {
  TDatabase& connection = Session::Default().Database(db.Alias());
  for (const char* table : {"UACCESS", "PACCESS", "PROGS"})
    connection.ExecDirect(std::string("DELETE FROM ") + table + " WHERE APP_KEY='" + kAppKey + "'");
  if (Users) {
    Users->qryProgs.Reopen();
    Users->qryUAccess.Reopen();
    Users->qryPAccess.Reopen();
  }
}

// Opens the window through the component and closes it at once.
void OpenAndClose(test::TTestHostForm& host) {
  ui->WhenShown("UsersAdministration").CloseBox();
  host.Quarvel1->UsersAdm();
}

void BM_AdminOpenNewCatalogue(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  auto host = ReadHost(*db, kMenuItems);
  for (auto _ : state) {
    state.PauseTiming();
    ClearCatalogue(*db);
    state.ResumeTiming();
    OpenAndClose(*host);
  }
  state.counters["rights_rows"] = (kUsers + kProfiles) * kMenuItems;
}

// The rows the opening above writes: the catalogue, a denied right of every
// user (but "master") and of every profile to every item.
void BM_RawRightsInsert(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  const std::vector<std::string> menu = MenuNames();
  for (auto _ : state) {
    state.PauseTiming();
    ClearCatalogue(*db);
    state.ResumeTiming();
    db->BeginBulk();
    db->Bulk("PROGS", {"APP_KEY", "MENU_NAME", "MENU_ID", "MENU_CAPTION"}, Rows(kMenuItems, [&](int i, Row& r) {
               r = {kAppKey, menu[i], std::to_string(i + 1), "Item " + std::to_string(i + 1)};
             }));
    db->Bulk("UACCESS", {"APP_KEY", "USER_ID", "MENU_ID", "AUTHORIZED"}, Rows(kUsers * kMenuItems, [&](int i, Row& r) {
               r = {kAppKey, std::to_string(kBenchUserId + i / kMenuItems), std::to_string(i % kMenuItems + 1), "0"};
             }));
    db->Bulk("PACCESS", {"APP_KEY", "PROF_ID", "MENU_ID", "AUTHORIZED"},
             Rows(kProfiles * kMenuItems, [&](int i, Row& r) {
               r = {kAppKey, std::to_string(1 + i / kMenuItems), std::to_string(i % kMenuItems + 1), "0"};
             }));
    db->CommitBulk();
  }
  state.counters["rights_rows"] = (kUsers + kProfiles) * kMenuItems;
}

void BM_AdminOpenUnchanged(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  const int items = static_cast<int>(state.range(0));
  auto host = ReadHost(*db, items);
  OpenAndClose(*host);  // brings the catalogue in step with this menu
  for (auto _ : state) OpenAndClose(*host);
  state.counters["items"] = items;
}

void BM_SelectUser(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  auto host = ReadHost(*db, kMenuItems);
  ui->WhenShown("UsersAdministration")
      .Run([&](TForm& form) {
        auto& window = As<TUsersAdministration>(form);
        window.PageControl->SelectPageByPerson(window.tsPrograms);
        int row = 1;
        for (auto _ : state) {
          row = row == 1 ? 2 : 1;
          window.DBGridUsersProgs->SelectRowByPerson(row);
        }
        if (window.MenuItems->Items().Count() != kMenuItems + 1)
          state.SkipWithError("the access tree does not show the whole menu");
      })
      .CloseBox();
  host->Quarvel1->UsersAdm();
}

}  // namespace
}  // namespace qv::bench

int main(int argc, char** argv) {
  using namespace qv::bench;
  benchmark::Initialize(&argc, argv);
  qv::SetShortDateFormat("dd/MM/yyyy");
  qv::SetLongTimeFormat("hh:nn:ss");
  qv::THeadlessBackend headless;
  ui = &headless;

  std::vector<std::unique_ptr<BenchDatabase>> databases;
  try {
    databases.push_back(std::make_unique<SqliteBench>());
    if (const char* server = std::getenv("QV_TEST_PG"); server && *server)
      databases.push_back(std::make_unique<PostgresBench>(server));
    else
      std::printf("QV_TEST_PG is not set: the PostgreSQL benchmarks are left out.\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark set-up failed: %s\n", e.what());
    return 1;
  }

  for (auto& db : databases) {
    const std::string engine = db->Engine();
    benchmark::RegisterBenchmark(("AdminOpen/" + engine + "/new_catalogue").c_str(), BM_AdminOpenNewCatalogue,
                                 db.get())
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("RawRightsInsert/" + engine).c_str(), BM_RawRightsInsert, db.get())
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("AdminOpen/" + engine + "/unchanged").c_str(), BM_AdminOpenUnchanged, db.get())
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->Arg(250)
        ->Arg(500);
    benchmark::RegisterBenchmark(("SelectUser/" + engine).c_str(), BM_SelectUser, db.get())
        ->Unit(benchmark::kMillisecond)
        ->Iterations(100);
  }
  try {
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    benchmark::Shutdown();
    return 1;
  }
  benchmark::Shutdown();
  return 0;
}

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
//   AuditOpen/<engine>                reading the application's 1,000,000
//                                     audit rows (qryAudit opened and its
//                                     rows read): the scale of the next one
//   AuditFilter/<engine>/<any>        on the audit page, a change of the
//                                     period: the filter evaluated over
//                                     every row, with the bench user
//                                     selected (any 0) or no selection
//                                     (any 1, every row's stamps compared)
//   AuditDelete/<engine>              Eliminar on the audit page, answered
//                                     Yes, for the bench user's 100,000 rows
//   RawAuditDelete/<engine>           the same rows deleted by their row
//                                     identities in one transaction through
//                                     the engine's client library: the
//                                     baseline of the above
//   CreateUser/<engine>               on the users page, creating a user
//                                     with a profile through the new-user
//                                     dialog (scripted): the user, its state
//                                     row, 500 rights rows and the profile's
//                                     rights, in one transaction
//   RawUserInsert/<engine>            the same rows and the same profile
//                                     copy in one transaction through the
//                                     engine's client, one prepared INSERT
//                                     per row: the baseline of the above
//   AuditExport/<engine>              qvsetup audit export of the
//                                     application's 1,000,000 audit rows to
//                                     CSV (written to /dev/null); counter
//                                     rss_growth_mb: how far the process's
//                                     peak memory grew during the export
//   EngineAuditExport/<engine>        the same rows exported by the engine's
//                                     own client to CSV: sqlite3 -csv, psql
//                                     with \copy (...) TO STDOUT CSV: the
//                                     baseline of the above
//
// The audit rows all lie in the current month (the audit page's period on
// opening); every tenth is the bench user's, the others spread over the
// other users and the menu items.
// Each window is closed as soon as it shows; the times include the showing.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/admin/users_adm_qv.h"
#include "bench/bench_support.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/dialogs/new_user_qv.h"
#include "tools/qvsetup/admin_session.h"
#include "tools/qvsetup/audit_export.h"

namespace qv::bench {
namespace {

THeadlessBackend* ui = nullptr;

constexpr int kAuditRows = 1000000;
// The bench user's share of the audit rows: every tenth.
constexpr int kBenchUserAuditRows = kAuditRows / 10;

// The application's audit rows (the bench user's alone with
// `benchUserOnly`), all in the current month: commands of 30 seconds spread
// over every hour of every day.
RowSource AuditRows(bool benchUserOnly) {
  int year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  std::vector<std::string> hours;  // "dd/mm/yyyy hh:" for each day and hour
  for (int d = 1; d <= DaysInMonth(year, month); ++d)
    for (int h = 0; h < 24; ++h) hours.push_back(DateTimeToStr(EncodeDateTime(year, month, d, h, 0, 1)).substr(0, 14));
  const int count = benchUserOnly ? kBenchUserAuditRows : kAuditRows;
  return Rows(count, [hours, benchUserOnly](int n, Row& r) {
    const int i = benchUserOnly ? n * 10 : n;
    const int user = i % 10 == 0 ? kBenchUserId : kBenchUserId + 1 + i % (kUsers - 1);
    const std::string& hour = hours[static_cast<std::size_t>(i / 10) % hours.size()];
    const std::string minute = std::to_string(10 + i % 40);
    r = {kAppKey, std::to_string(user), std::to_string(i % kMenuItems + 1), hour + minute + ":00",
         hour + minute + ":30", kComputer};
  });
}

const std::vector<std::string> kAuditColumns = {"APP_KEY",     "USER_ID",     "PROG_ID",
                                                "START_SESSION", "END_SESSION", "COMPUTER_NAME"};

// Every listed user already has a state row in the application, and the
// application has its audit trail.
void LoadUserInfo(BenchDatabase& db) {
  db.Bulk("USERINFO", {"APP_KEY", "USER_ID", "EXPIRATION_DATE", "USER_EXPIRE", "USER_ACTIVE"},
          Rows(kUsers, [&](int i, Row& r) { r = {kAppKey, std::to_string(kBenchUserId + i), "01/01/2030", "0", "1"}; }));
  db.Bulk("AUDIT", kAuditColumns, AuditRows(false));
}

// Puts the bench user's audit rows back after a deletion.
void RestoreBenchUserAudit(BenchDatabase& db) {
  db.BeginBulk();
  db.Bulk("AUDIT", kAuditColumns, AuditRows(true));
  db.CommitBulk();
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
  LogInAsMaster(*ui, *host);
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
  LogInAsMaster(*ui, *host);
  OpenAndClose(*host);  // brings the catalogue in step with this menu
  for (auto _ : state) OpenAndClose(*host);
  state.counters["items"] = items;
}

void BM_SelectUser(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  auto host = ReadHost(*db, kMenuItems);
  LogInAsMaster(*ui, *host);
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

void BM_AuditOpen(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  auto host = ReadHost(*db, kMenuItems);
  LogInAsMaster(*ui, *host);
  for (auto _ : state) {
    Users->qryAudit.Reopen();
    if (Users->qryAudit.RecordCount() != kAuditRows) state.SkipWithError("the audit trail is not whole");
  }
}

// Shows the window on the audit page, by user, with the bench user
// selected, and runs `actions` there.
void OnAuditPage(test::TTestHostForm& host, const std::function<void(TUsersAdministration&)>& actions) {
  ui->WhenShown("UsersAdministration")
      .Run([&](TForm& form) {
        auto& window = As<TUsersAdministration>(form);
        window.PageControl->SelectPageByPerson(window.tsAudit);
        window.dblkUserName->ChooseByPerson(kBenchUserId);
        actions(window);
      })
      .CloseBox();
  host.Quarvel1->UsersAdm();
}

void BM_AuditFilter(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  auto host = ReadHost(*db, kMenuItems);
  LogInAsMaster(*ui, *host);
  const bool anyUser = state.range(0) != 0;
  OnAuditPage(*host, [&](TUsersAdministration& window) {
    if (anyUser) {
      window.dblkUserName->SetKeyValue(Value());
      window.dtpkInicioUChange(*window.dblkUserName);
    }
    const TDateTime first = window.dtpkInicioU->Date();
    bool later = false;
    for (auto _ : state) {
      later = !later;
      window.dtpkInicioU->ChangeByPerson(later ? first + 1 : first);
    }
    state.counters["shown"] = window.DBGridAudUsers->RowCount();
  });
}

void BM_AuditDelete(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  auto host = ReadHost(*db, kMenuItems);
  LogInAsMaster(*ui, *host);
  for (auto _ : state) {
    state.PauseTiming();
    OnAuditPage(*host, [&](TUsersAdministration& window) {
      if (window.DBGridAudUsers->RowCount() != kBenchUserAuditRows) state.SkipWithError("not the whole selection");
      ui->AnswerMessages(mrYes);
      state.ResumeTiming();
      window.sbDeleteAuditUser->ClickByPerson();
      state.PauseTiming();
    });
    RestoreBenchUserAudit(*db);
    state.ResumeTiming();
  }
  state.counters["rows"] = kBenchUserAuditRows;
}

void BM_RawAuditDelete(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::string> identities;
    TQuery ids;
    ids.SetDatabaseName(db->Alias());
    ids.SetSQL(std::string("SELECT ") + db->RowIdentity() + " AS ID FROM AUDIT WHERE APP_KEY=:K AND USER_ID=:U");
    ids.ParamByName("K").SetAsString(kAppKey);
    ids.ParamByName("U").SetAsInteger(kBenchUserId);
    ids.Open();
    for (; !ids.Eof(); ids.Next()) identities.push_back(ids.FieldByName("ID").AsString());
    ids.Close();
    if (identities.size() != kBenchUserAuditRows) state.SkipWithError("not the whole selection");
    state.ResumeTiming();
    db->RawDeleteAudit(identities);
    state.PauseTiming();
    RestoreBenchUserAudit(*db);
    state.ResumeTiming();
  }
  state.counters["rows"] = kBenchUserAuditRows;
}

// The peak resident memory of the process so far (VmHWM), and the memory
// resident now (VmRSS), in kilobytes.
long StatusKilobytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return 0;
}

void BM_AuditExport(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  const long before = StatusKilobytes("VmRSS:");
  long long rows = 0;
  for (auto _ : state) {
    setup::AdminSession session(db->Alias(), kAppKey);
    setup::AuditSelection selection;
    selection.appKey = kAppKey;
    std::ofstream out("/dev/null");
    rows = setup::ExportAudit(session.Module(), selection, setup::OutputFormat::Csv, out);
  }
  if (rows != kAuditRows) state.SkipWithError("not every audit row was exported");
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["rss_growth_mb"] = static_cast<double>(StatusKilobytes("VmHWM:") - before) / 1024.0;
}

// Runs `argv` with its output going to /dev/null; false when it could not
// run or failed.
bool RunTool(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_EngineAuditExport(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  const AliasDefinition alias = Session::Default().FindAlias(db->Alias());
  const std::string select =
      "SELECT APP_KEY, USER_ID, PROG_ID, START_SESSION, END_SESSION, COMPUTER_NAME FROM AUDIT WHERE APP_KEY='" +
      std::string(kAppKey) + "'";
  std::vector<std::string> command;
  if (alias.engine == EngineKind::Sqlite) {
    command = {"sqlite3", "-csv", "-header", alias.location, select};
  } else {
    command = {"psql", "-X", "-q", "-d", alias.location, "-c", "\\copy (" + select + ") TO STDOUT CSV HEADER"};
  }
  for (auto _ : state)
    if (!RunTool(command)) state.SkipWithError(("could not run " + command[0]).c_str());
  state.counters["rows"] = kAuditRows;
}

// The user the two benchmarks below create, removed again after each
// iteration (outside the timing) so that every iteration meets the same
// tables.
constexpr const char* kNewUser = "novo";
constexpr int kNewUserProfile = 7;

void RemoveNewUser(BenchDatabase& db) {
  TDatabase& connection = Session::Default().Database(db.Alias());
  const std::string id = "(SELECT USER_ID FROM QUARVEL WHERE USERQV_NAME='" + std::string(kNewUser) + "')";
  for (const char* table : {"UACCESS", "USERINFO"})
    connection.ExecDirect(std::string("DELETE FROM ") + table + " WHERE USER_ID IN " + id);
  connection.ExecDirect("DELETE FROM QUARVEL WHERE USERQV_NAME='" + std::string(kNewUser) + "'");
}

void BM_CreateUser(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  auto host = ReadHost(*db, kMenuItems);
  LogInAsMaster(*ui, *host);
  OpenAndClose(*host);  // the catalogue of the whole menu, with its rights rows
  RemoveNewUser(*db);
  ui->WhenShown("UsersAdministration")
      .Run([&](TForm& form) {
        auto& window = As<TUsersAdministration>(form);
        // The rights rows are read once, when the window first needs them;
        // that is the window's opening, not the creation measured here.
        Users->qryUAccess.RecordCount();
        for (auto _ : state) {
          ui->WhenShown("NewUser")
              .Type(kNewUser)
              .Enter()
              .Type("Usuário novo")
              .Run([](TForm& dialog) {
                As<TNewUser>(dialog).DBLookupComboBox1->ChooseByPerson(Value(kNewUserProfile));
              })
              .Click("OKBtn");
          window.sbNewUser->ClickByPerson();
          state.PauseTiming();
          const long long rights = Users->qryUAccess.Lookup("USER_ID", {Value(LastUserId)}, "MENU_ID").IsNull() ? 0 : 1;
          if (Users->qryUsers.FieldByName("USERQV_NAME").AsString() != kNewUser || rights == 0)
            state.SkipWithError("the user was not created");
          RemoveNewUser(*db);
          state.ResumeTiming();
        }
      })
      .CloseBox();
  host->Quarvel1->UsersAdm();
}

void BM_RawUserInsert(benchmark::State& state, BenchDatabase* db) {
  db->EnsureSeeded(LoadUserInfo);
  std::vector<std::string> menuIds;
  {
    TQuery progs;
    progs.SetDatabaseName(db->Alias());
    progs.SetSQL("SELECT MENU_ID FROM PROGS WHERE APP_KEY=:K");
    progs.ParamByName("K").SetAsString(kAppKey);
    progs.Open();
    for (; !progs.Eof(); progs.Next()) menuIds.push_back(progs.Fields()[0]->AsString());
  }
  if (static_cast<int>(menuIds.size()) != kMenuItems) {
    state.SkipWithError("the catalogue is not in place: run CreateUser first");
    return;
  }
  RemoveNewUser(*db);
  const std::string userId = std::to_string(kUsers + 100);
  const std::string today = DateToStr(Date());
  for (auto _ : state) {
    db->BeginBulk();
    db->InsertRows("QUARVEL",
                   {"USERQV_NAME", "REAL_NAME", "USER_PWD", "USER_ID", "LAST_PWD_CHANGE", "PROFILE_ID", "AUDIT_MODE"},
                   Rows(1, [&](int, Row& r) {
                     r = {kNewUser, "Usuário novo", kNewUser, userId, today, std::to_string(kNewUserProfile), "0"};
                   }));
    db->InsertRows("USERINFO", {"APP_KEY", "USER_ID", "EXPIRATION_DATE", "USER_EXPIRE", "USER_ACTIVE"},
                   Rows(1, [&](int, Row& r) { r = {kAppKey, userId, today, "0", "1"}; }));
    db->InsertRows("UACCESS", {"APP_KEY", "USER_ID", "MENU_ID", "AUTHORIZED"},
                   Rows(kMenuItems, [&](int i, Row& r) { r = {kAppKey, userId, menuIds[i], "0"}; }));
    db->Statement(
        "UPDATE UACCESS SET AUTHORIZED = (SELECT PACCESS.AUTHORIZED FROM PACCESS, QUARVEL WHERE "
        "PACCESS.MENU_ID=UACCESS.MENU_ID AND QUARVEL.PROFILE_ID=PACCESS.PROF_ID AND "
        "QUARVEL.USER_ID=UACCESS.USER_ID AND QUARVEL.USER_ID=" + userId + ") WHERE USER_ID=" + userId);
    db->CommitBulk();
    state.PauseTiming();
    RemoveNewUser(*db);
    state.ResumeTiming();
  }
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

  return RunOnEveryEngine([](BenchDatabase& database) {
    BenchDatabase* db = &database;
    const std::string engine = db->Engine();
    benchmark::RegisterBenchmark(("AdminOpen/" + engine + "/new_catalogue").c_str(), BM_AdminOpenNewCatalogue,
                                 db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("RawRightsInsert/" + engine).c_str(), BM_RawRightsInsert, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("AdminOpen/" + engine + "/unchanged").c_str(), BM_AdminOpenUnchanged, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3)
        ->Arg(250)
        ->Arg(500);
    benchmark::RegisterBenchmark(("SelectUser/" + engine).c_str(), BM_SelectUser, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(100);
    benchmark::RegisterBenchmark(("AuditOpen/" + engine).c_str(), BM_AuditOpen, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("AuditFilter/" + engine).c_str(), BM_AuditFilter, db)
        ->Unit(benchmark::kMillisecond)
        ->ArgName("any")
        ->Arg(0)
        ->Arg(1)
        ->Iterations(20);
    benchmark::RegisterBenchmark(("AuditDelete/" + engine).c_str(), BM_AuditDelete, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("RawAuditDelete/" + engine).c_str(), BM_RawAuditDelete, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("AuditExport/" + engine).c_str(), BM_AuditExport, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("EngineAuditExport/" + engine).c_str(), BM_EngineAuditExport, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark(("CreateUser/" + engine).c_str(), BM_CreateUser, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
    benchmark::RegisterBenchmark(("RawUserInsert/" + engine).c_str(), BM_RawUserInsert, db)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(20);
  });
}

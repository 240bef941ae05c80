// The processes of a load run: a client (a headless host of the component),
// the administrator, and the baseline of plain inserts.
#include <libpq-fe.h>
#include <sqlite3.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/load/load.h"
#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/component/password.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/dialogs/new_user_qv.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/computer_name.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/test_host.h"

namespace qv::load {
namespace {

constexpr const char* kAlias = "qvload";
constexpr const char* kPasswordChanged = "Mudança de senha efetuada";

std::string Ms(double ms) { return std::to_string(ms); }

// The alias of the run, the date patterns of the bench programs, and the
// computer name of the audit rows: what every role of the run shares.
class RoleEnvironment {
 public:
  explicit RoleEnvironment(const Target& target) : computer_(kComputer) {
    Session::Default().AddAlias(
        {kAlias, target.engine == "sqlite" ? EngineKind::Sqlite : EngineKind::PostgreSql, target.location});
    SetShortDateFormat("dd/MM/yyyy");
    SetLongTimeFormat("hh:nn:ss");
  }
  THeadlessBackend& Ui() { return ui_; }

 private:
  ComputerNameOverride computer_;
  THeadlessBackend ui_;
};

std::unique_ptr<test::TTestHostForm> ReadHost() {
  return test::ReadTestHost({.DatabaseName = kAlias, .AppKey = kAppKey});
}

// The administration window is only for somebody logged in.
void LogInAsMaster(THeadlessBackend& ui, test::TTestHostForm& host) {
  ui.WhenShown("Login").Type("master").Enter().Type("master").Enter();
  if (!host.Quarvel1->Login()) throw std::runtime_error("master could not log in");
}

// Logs `user` in through the dialog; the time of the whole login.
void LogIn(THeadlessBackend& ui, test::TTestHostForm& host, const std::string& user, Report& report) {
  ui.WhenShown("Login").Type(user).Enter().Type(PasswordOf(user)).Enter();
  const auto start = std::chrono::steady_clock::now();
  const bool admitted = host.Quarvel1->Login();
  const double ms = MsSince(start);
  if (!admitted) throw std::runtime_error("the login of " + user + " was refused");
  report.Line("L " + Ms(ms));
}

// `count` audited commands, each reported once its row is written. An
// error (a lost connection) is reported and the next command goes on.
// `busy_ms` grows by the time the commands and their pauses took.
void Commands(test::TTestHostForm& host, int count, unsigned& seed, double& busy_ms, int& errors, Report& report) {
  const auto loop = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    ShortPause(seed);
    const auto start = std::chrono::steady_clock::now();
    try {
      host.mnuFileOpen->Click();
      report.Line("C " + Ms(MsSince(start)));
    } catch (const std::exception& e) {
      ++errors;
      report.Line(std::string("E ") + e.what());
    }
    host.Calls.clear();
  }
  busy_ms += MsSince(loop);
}

// Writes, in one transaction, the rows of a user that is never committed:
// the process is killed inside it.
[[noreturn]] void HalfDoneUser(Report& report) {
  TDatabase& db = Session::Default().Database(kAlias);
  TransactionGuard tx(db);
  TQuery user;
  user.SetDatabaseName(kAlias);
  user.SetSQL(
      "INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_PWD, USER_ID, PROFILE_ID, AUDIT_MODE) "
      "VALUES (:N, 'Meio feito', :P, 999999, 1, '1')");
  user.ParamByName("N").SetAsString(kVictimUser);
  user.ParamByName("P").SetAsBytes(EncodePassword(kVictimUser));
  user.ExecSQL();
  db.ExecDirect(std::string("INSERT INTO UACCESS (APP_KEY, USER_ID, MENU_ID, AUTHORIZED) SELECT APP_KEY, 999999, "
                            "MENU_ID, '1' FROM PROGS WHERE APP_KEY='") +
                kAppKey + "'");
  report.Line("R");
  for (;;) pause();
}

// Runs one audited command inside a transaction that is never committed:
// the process is killed inside it, and its audit row must not appear.
[[noreturn]] void HalfDoneCommand(test::TTestHostForm& host, Report& report) {
  TransactionGuard tx(Session::Default().Database(kAlias));
  host.mnuFileOpen->Click();
  report.Line("R");
  for (;;) pause();
}

// Clicks the middle of a node's label in the access tree.
void ClickNode(TUsersAdministration& w, int node) {
  TRect r = w.MenuItems->DisplayRect(w.MenuItems->Items()[node], true);
  w.MenuItems->MouseDownByPerson(mbLeft, {}, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
}

// The node of mnuHelp ("Aj&uda") in the access tree of the test host: its
// right does not gate the clients' command.
constexpr int kHelpNode = 12;

void CheckSqlite(sqlite3* db, int rc, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

}  // namespace

// One byte appended in one write, so that the parent counts the ready
// processes by the file's size.
void StartLine::ReadyAndWait() const {
  if (ready.empty()) return;
  const int fd = open(ready.c_str(), O_WRONLY | O_APPEND);
  if (fd < 0 || write(fd, "r", 1) != 1) throw std::runtime_error("cannot report ready in " + ready);
  close(fd);
  while (!std::filesystem::exists(go)) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void ShortPause(unsigned& seed) {
  seed = seed * 1103515245u + 12345u;
  std::this_thread::sleep_for(std::chrono::microseconds(1000 + (seed >> 8) % 4000));
}

// Logs in as its own user, runs half its commands, changes its password,
// switches to a shared user and runs the other half. The victim, after its
// first half, starts a transaction and waits in it to be killed.
int RunClient(const ClientSettings& settings, Report& report) {
  RoleEnvironment env(settings.target);
  unsigned seed = 7919u * static_cast<unsigned>(settings.index + 1);
  double busy_ms = 0;
  int errors = 0;
  try {
    auto host = ReadHost();
    const std::string me = ClientUser(settings.index);
    LogIn(env.Ui(), *host, me, report);
    settings.start.ReadyAndWait();
    const int half = settings.commands / 2;
    Commands(*host, half, seed, busy_ms, errors, report);
    if (settings.victim) {
      if (settings.secured) HalfDoneCommand(*host, report);
      HalfDoneUser(report);
    }

    env.Ui().WhenShown("MudaPwd").Type(PasswordOf(me)).Enter().Type(NewPasswordOf(me)).Enter().Type(
        NewPasswordOf(me)).Enter().Enter();
    const auto start = std::chrono::steady_clock::now();
    host->Quarvel1->ChangeUserPassword();
    const double ms = MsSince(start);
    const auto& messages = env.Ui().Messages();
    if (messages.empty() || messages.back().Text != kPasswordChanged)
      throw std::runtime_error("the password change of " + me + " failed: " +
                               (messages.empty() ? std::string("no message") : messages.back().Text));
    report.Line("P " + Ms(ms));

    LogIn(env.Ui(), *host, SharedUser(settings.index % settings.shared_users), report);
    Commands(*host, settings.commands - half, seed, busy_ms, errors, report);
  } catch (const std::exception& e) {
    report.Line(std::string("E ") + e.what());
    return 1;
  }
  report.Line("T " + Ms(busy_ms));
  report.Line("D");
  return errors == 0 ? 0 : 1;
}

int RunMaster(const Target& target, int period_ms, const std::string& stop_file, Report& report) {
  RoleEnvironment env(target);
  THeadlessBackend& ui = env.Ui();
  int created = 0, failures = 0;
  try {
    auto host = ReadHost();
    LogInAsMaster(ui, *host);
    while (!std::filesystem::exists(stop_file)) {
      const std::string name = "m" + std::to_string(created + 1);
      bool applied = false;
      ui.WhenShown("UsersAdministration")
          .Run([&](TForm& form) {
            auto& w = As<TUsersAdministration>(form);
            ui.WhenShown("NewUser")
                .Type(name)
                .Enter()
                .Type("Usuário " + name)
                .Run([](TForm& dialog) {
                  As<TNewUser>(dialog).DBLookupComboBox1->ChooseByPerson(Value(kProfileId));
                })
                .Click("OKBtn");
            w.sbNewUser->ClickByPerson();
            w.PageControl->SelectPageByPerson(w.tsPrograms);
            w.DBGridUsersProgs->SelectRowByPerson(1);
            ClickNode(w, kHelpNode);
            w.sbApply->Click();
            applied = true;
          })
          .CloseBox();
      try {
        host->Quarvel1->UsersAdm();
      } catch (const std::exception& e) {
        ++failures;
        report.Line(std::string("E ") + e.what());
      }
      // A new user shows in the window's list once its rows are committed.
      TQuery check;
      check.SetDatabaseName(kAlias);
      check.SetSQL("SELECT COUNT(*) AS N FROM QUARVEL WHERE USERQV_NAME=:N");
      check.ParamByName("N").SetAsString(name);
      check.Open();
      if (check.FieldByName("N").AsInteger() == 1) {
        ++created;
        report.Line("U " + name);
      }
      if (applied) report.Line("A");
      std::this_thread::sleep_for(std::chrono::milliseconds(period_ms));
    }
  } catch (const std::exception& e) {
    report.Line(std::string("E ") + e.what());
    return 1;
  }
  report.Line("D");
  return failures == 0 ? 0 : 1;
}

int RunBaseline(const Target& target, int index, int commands, const StartLine& start, Report& report) {
  unsigned seed = 7919u * static_cast<unsigned>(index + 1);
  const std::string user = std::to_string(index + 2);
  const char* stamp = "15/03/2026 10:30:00";
  double busy_ms = 0;
  const auto timed = [&](const std::function<void()>& insert) {
    start.ReadyAndWait();
    const auto loop = std::chrono::steady_clock::now();
    for (int i = 0; i < commands; ++i) {
      ShortPause(seed);
      const auto start = std::chrono::steady_clock::now();
      insert();
      report.Line("I " + Ms(MsSince(start)));
    }
    busy_ms = MsSince(loop);
  };
  try {
    if (target.engine == "sqlite") {
      sqlite3* db = nullptr;
      CheckSqlite(db, sqlite3_open_v2(target.location.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), "open");
      std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> owner(db, &sqlite3_close_v2);
      sqlite3_busy_timeout(db, 5000);
      sqlite3_stmt* raw = nullptr;
      CheckSqlite(db, sqlite3_prepare_v2(db, "INSERT INTO AUDIT VALUES (?1, ?2, 1, ?3, ?3, ?4)", -1, &raw, nullptr),
                  "prepare");
      std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> insert(raw, &sqlite3_finalize);
      timed([&] {
        sqlite3_bind_text(raw, 1, "BASELINE", -1, SQLITE_STATIC);
        sqlite3_bind_text(raw, 2, user.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(raw, 3, stamp, -1, SQLITE_STATIC);
        sqlite3_bind_text(raw, 4, kComputer, -1, SQLITE_STATIC);
        CheckSqlite(db, sqlite3_step(raw), "insert");
        sqlite3_reset(raw);
      });
    } else {
      std::unique_ptr<PGconn, decltype(&PQfinish)> db(PQconnectdb(target.location.c_str()), &PQfinish);
      if (PQstatus(db.get()) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(db.get()));
      std::unique_ptr<PGresult, decltype(&PQclear)> prepared(
          PQprepare(db.get(), "plain", "INSERT INTO AUDIT VALUES ($1, $2, 1, $3, $3, $4)", 0, nullptr), &PQclear);
      if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
        throw std::runtime_error(PQresultErrorMessage(prepared.get()));
      timed([&] {
        const char* values[4] = {"BASELINE", user.c_str(), stamp, kComputer};
        std::unique_ptr<PGresult, decltype(&PQclear)> done(
            PQexecPrepared(db.get(), "plain", 4, values, nullptr, nullptr, 0), &PQclear);
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) throw std::runtime_error(PQresultErrorMessage(done.get()));
      });
    }
  } catch (const std::exception& e) {
    report.Line(std::string("E ") + e.what());
    return 1;
  }
  report.Line("T " + Ms(busy_ms));
  report.Line("D");
  return 0;
}

}  // namespace qv::load

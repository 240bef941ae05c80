// qvload: N client processes of the component on one security database.
//
//   qvload [--engine sqlite|postgresql] [--clients N] [--commands K]
//          [--shared-users M] [--server CONNINFO] [--master-period MS]
//          [--no-kill] [--no-baseline] [--check] [--secured]
//
// Prepares a fresh database (SQLite: a file in a temporary folder;
// PostgreSQL: a schema of the server named by --server or QV_TEST_PG),
// starts N clients and the administrator, kills one client inside a
// transaction, counts the rows, runs the baseline, and prints the summary as
// one JSON object on the last line. With --check the exit status is 1 when
// there was an error or a row too many or too few. With --secured
// (PostgreSQL) the database is secured for a client role made for the run,
// and the clients and the administrator connect as that role; the baseline
// connects as the tables' owner, as a program without the component would.
//
// clicks_per_second counts every client's commands over the time a client
// spent in its command loops (pauses included; logins and the password
// change left out); baseline_inserts_per_second counts the baseline's
// inserts the same way, with the same pauses. The clients start their
// commands together once every client has logged in, and the baseline's
// processes once every one has connected, so that no loop is measured
// against the start-up of processes still being loaded.
//
// The roles run as this same program: qvload --role client|master|baseline.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/load/load.h"
#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/schema.h"
#include "qvd3/data/secured_mode.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/test_host.h"

namespace qv::load {
namespace {

namespace fs = std::filesystem;

constexpr const char* kAlias = "qvload_main";

struct Options {
  std::string engine = "postgresql";
  int clients = 200;
  int commands = 20;
  int shared_users = 10;
  std::string server;
  int master_period_ms = 2000;
  bool kill = true;
  bool baseline = true;
  bool check = false;
  bool secured = false;
  // Internal: the role of a child process.
  std::string role;
  std::string location;
  std::string out;
  std::string stop_file;
  std::string ready_file;
  std::string go_file;
  int index = 0;
  bool victim = false;
};

[[noreturn]] void Usage(const std::string& problem) {
  std::fprintf(stderr,
               "qvload: %s\nusage: qvload [--engine sqlite|postgresql] [--clients N] [--commands K] "
               "[--shared-users M] [--server CONNINFO] [--master-period MS] [--no-kill] [--no-baseline] "
               "[--check] [--secured]\n",
               problem.c_str());
  std::exit(2);
}

int Number(const std::string& option, const std::string& text, int least) {
  try {
    std::size_t used = 0;
    const int n = std::stoi(text, &used);
    if (used == text.size() && n >= least) return n;
  } catch (const std::exception&) {
  }
  Usage(option + " needs a whole number of at least " + std::to_string(least) + ", not '" + text + "'");
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Usage(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--engine") o.engine = value();
    else if (arg == "--clients") o.clients = Number(arg, value(), 1);
    else if (arg == "--commands") o.commands = Number(arg, value(), 0);
    else if (arg == "--shared-users") o.shared_users = Number(arg, value(), 1);
    else if (arg == "--server") o.server = value();
    else if (arg == "--master-period") o.master_period_ms = Number(arg, value(), 0);
    else if (arg == "--no-kill") o.kill = false;
    else if (arg == "--no-baseline") o.baseline = false;
    else if (arg == "--check") o.check = true;
    else if (arg == "--secured") o.secured = true;
    else if (arg == "--role") o.role = value();
    else if (arg == "--location") o.location = value();
    else if (arg == "--out") o.out = value();
    else if (arg == "--stop-file") o.stop_file = value();
    else if (arg == "--index") o.index = Number(arg, value(), 0);
    else if (arg == "--ready-file") o.ready_file = value();
    else if (arg == "--go-file") o.go_file = value();
    else if (arg == "--victim") o.victim = true;
    else Usage("unknown option " + arg);
  }
  if (o.engine != "sqlite" && o.engine != "postgresql") Usage("--engine is sqlite or postgresql");
  if (o.secured && o.engine != "postgresql") Usage("--secured needs --engine postgresql");
  return o;
}

int RunRole(const Options& o) {
  Report report(o.out);
  if (!report.Ok()) return 1;
  const Target target{o.engine, o.location};
  if (o.role == "client")
    return RunClient({.target = target, .index = o.index, .commands = o.commands, .shared_users = o.shared_users,
                      .victim = o.victim, .secured = o.secured, .start = {o.ready_file, o.go_file}},
                     report);
  if (o.role == "master") return RunMaster(target, o.master_period_ms, o.stop_file, report);
  if (o.role == "baseline") return RunBaseline(target, o.index, o.commands, {o.ready_file, o.go_file}, report);
  Usage("unknown role " + o.role);
}

// ---- The database of the run -------------------------------------------------

// A fresh security database, removed again when this object goes.
class RunDatabase {
 public:
  explicit RunDatabase(const Options& o) : engine_(o.engine) {
    Session& session = Session::Default();
    if (engine_ == "sqlite") {
      dir_ = fs::temp_directory_path() / ("qvload_" + std::to_string(getpid()));
      fs::create_directories(dir_);
      location_ = (dir_ / "security.db").string();
      Session::CreateSqliteDatabase(location_);
      session.AddAlias({kAlias, EngineKind::Sqlite, location_});
    } else {
      std::string server = o.server;
      if (server.empty())
        if (const char* env = std::getenv("QV_TEST_PG")) server = env;
      if (server.empty()) throw std::runtime_error("no PostgreSQL server: give --server or set QV_TEST_PG");
      schema_ = "qvload_" + std::to_string(getpid());
      session.AddAlias({admin_alias_, EngineKind::PostgreSql, server});
      session.Database(admin_alias_).ExecDirect("CREATE SCHEMA " + schema_);
      location_ = server + " options='-c search_path=" + schema_ + "'";
      session.AddAlias({kAlias, EngineKind::PostgreSql, location_});
    }
  }
  ~RunDatabase() {
    Session& session = Session::Default();
    session.RemoveAlias(kAlias);
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
    if (!schema_.empty()) {
      try {
        session.Database(admin_alias_).ExecDirect("DROP SCHEMA " + schema_ + " CASCADE");
      } catch (const std::exception& e) {
        std::fprintf(stderr, "qvload: could not drop the schema %s: %s\n", schema_.c_str(), e.what());
      }
      if (!client_role_.empty()) {
        try {
          session.Database(admin_alias_).ExecDirect("DROP OWNED BY " + client_role_);
          session.Database(admin_alias_).ExecDirect("DROP ROLE " + client_role_);
        } catch (const std::exception& e) {
          std::fprintf(stderr, "qvload: could not drop the role %s: %s\n", client_role_.c_str(), e.what());
        }
      }
      session.RemoveAlias(admin_alias_);
    }
  }
  RunDatabase(const RunDatabase&) = delete;
  RunDatabase& operator=(const RunDatabase&) = delete;

  // Where the tables' owner connects, and where the clients and the
  // administrator do: the client role's connection once Secure has run.
  Target Where() const { return {engine_, location_}; }
  Target ClientWhere() const { return {engine_, client_location_.empty() ? location_ : client_location_}; }

  // Secures the seeded database for a client role made for the run.
  void Secure() {
    client_role_ = schema_ + "_client";
    Session::Default().Database(admin_alias_).ExecDirect("CREATE ROLE " + client_role_ + " LOGIN");
    SecureDatabase(kAlias, client_role_, {});
    client_location_ = location_ + " user=" + client_role_;
  }

  // The tables, "master", one audited profile, the clients' own users and
  // the shared ones with their state rows, then the catalogue of the test
  // host's menu (made by opening the administration window once) with
  // every right granted.
  void Seed(int clients, int shared_users) {
    TDatabase& db = Session::Default().Database(kAlias);
    for (const std::string& statement : CreateSchemaStatements(engine_)) db.ExecDirect(statement);
    // The run's clients store and read dates day first; the secured mode's
    // server reads them under this record.
    RecordDatePattern(kAlias, "dd/mm/yyyy");
    SetDatabaseDateFormat("dd/mm/yyyy");
    std::string today;
    {
      ScopedNormalizedDateFormat normalized;
      today = DateToStr(Date());
    }
    {
      TransactionGuard tx(db);
      Exec("INSERT INTO PROFILES (PROF_DESCRIPTION, PROF_ID, INTERVAL_CHANGE_PWD, MUST_CHANGE_PWD, "
           "HIDE_DISABLE_MENU, AUDIT_MODE) VALUES ('Carga', 1, NULL, '0', 2, '1')");
      TQuery user;
      user.SetDatabaseName(kAlias);
      user.SetSQL(
          "INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_PWD, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, "
          "AUDIT_MODE) VALUES (:NAME, :NAME, :PWD, :ID, :LAST, :PROF, '1')");
      TQuery info;
      info.SetDatabaseName(kAlias);
      info.SetSQL(
          "INSERT INTO USERINFO (APP_KEY, USER_ID, EXPIRATION_DATE, USER_EXPIRE, USER_ACTIVE) "
          "VALUES (:K, :ID, '01/01/2099', '0', '1')");
      std::vector<std::string> names = {"master"};
      for (int i = 0; i < clients; ++i) names.push_back(ClientUser(i));
      for (int j = 0; j < shared_users; ++j) names.push_back(SharedUser(j));
      for (std::size_t n = 0; n < names.size(); ++n) {
        const int id = static_cast<int>(n) + 1;
        user.ParamByName("NAME").SetAsString(names[n]);
        user.ParamByName("PWD").SetAsBytes(EncodePassword(n == 0 ? "master" : PasswordOf(names[n])));
        user.ParamByName("ID").SetAsInteger(id);
        user.ParamByName("LAST").SetAsString(today);
        user.ParamByName("PROF").SetAsInteger(n == 0 ? 0 : kProfileId);
        user.ExecSQL();
        if (n == 0) continue;
        info.ParamByName("K").SetAsString(kAppKey);
        info.ParamByName("ID").SetAsInteger(id);
        info.ExecSQL();
      }
      tx.Commit();
    }
    {
      THeadlessBackend ui;
      auto host = test::ReadTestHost({.DatabaseName = kAlias, .AppKey = kAppKey});
      // The window is only for somebody logged in.
      ui.WhenShown("Login").Type("master").Enter().Type("master").Enter();
      if (!host->Quarvel1->Login()) throw std::runtime_error("master could not log in");
      ui.WhenShown("UsersAdministration").CloseBox();
      host->Quarvel1->UsersAdm();
    }
    Exec(std::string("UPDATE UACCESS SET AUTHORIZED='1' WHERE APP_KEY='") + kAppKey + "'");
    Exec(std::string("UPDATE PACCESS SET AUTHORIZED='1' WHERE APP_KEY='") + kAppKey + "'");
  }

  long long Count(const std::string& sql) {
    TQuery q;
    q.SetDatabaseName(kAlias);
    q.SetSQL(sql);
    q.Open();
    return q.Fields()[0]->AsInteger();
  }
  void Exec(const std::string& sql) { Session::Default().Database(kAlias).ExecDirect(sql); }

 private:
  std::string engine_;
  std::string location_;
  fs::path dir_;
  std::string schema_;
  std::string admin_alias_ = "qvload_admin";
  std::string client_role_;
  std::string client_location_;
};

// ---- Processes ---------------------------------------------------------------

struct Child {
  pid_t pid = 0;
  std::string out;
  int status = 0;
  bool done = false;
};

Child Spawn(const std::vector<std::string>& args, const std::string& out) {
  std::vector<char*> argv;
  std::vector<std::string> all = {"qvload"};
  all.insert(all.end(), args.begin(), args.end());
  all.push_back("--out");
  all.push_back(out);
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  return {pid, out};
}

// The lines of a report file.
std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool Reported(const std::string& path, const std::string& line) {
  const auto lines = Lines(path);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The parent's side of a StartLine: the go file is created once every
// child of the phase has said it is ready or has ended.
class StartGate {
 public:
  StartGate(const fs::path& dir, const std::string& phase)
      : line_{(dir / (phase + ".ready")).string(), (dir / (phase + ".go")).string()} {
    std::ofstream(line_.ready).flush();
  }
  std::vector<std::string> Args() const { return {"--ready-file", line_.ready, "--go-file", line_.go}; }
  // Called while waiting for the children: opens the line when it is time.
  void Poll(const std::vector<Child>& children) {
    if (open_) return;
    std::error_code ignored;
    const auto ready = static_cast<std::size_t>(fs::file_size(line_.ready, ignored));
    std::size_t ended = 0;
    for (const Child& c : children) ended += c.done ? 1 : 0;
    if (ready + ended < children.size()) return;
    std::ofstream(line_.go).put('\n');
    open_ = true;
  }

 private:
  StartLine line_;
  bool open_ = false;
};

// Waits for every child of `children`; runs `poll` every few milliseconds
// meanwhile, and gives up (killing what is left) after `limit_s` seconds.
void WaitAll(std::vector<Child*> children, int limit_s, const std::function<void()>& poll = {}) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit_s);
  for (;;) {
    bool all = true;
    for (Child* c : children) {
      if (c->done) continue;
      int status = 0;
      if (waitpid(c->pid, &status, WNOHANG) == c->pid) {
        c->done = true;
        c->status = status;
      } else {
        all = false;
      }
    }
    if (all) return;
    if (poll) poll();
    if (std::chrono::steady_clock::now() > deadline) {
      for (Child* c : children)
        if (!c->done) kill(c->pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// ---- Figures -------------------------------------------------------------------

struct Figures {
  std::vector<double> login, click, password, insert;
  std::vector<std::string> errors;
  std::vector<std::string> users_created;
  int applies = 0;
  double busy_ms = 0;  // summed over the processes that finished
  int busy_processes = 0;
  std::size_t busy_ops = 0;  // the commands (inserts) of those processes

  void Read(const std::string& path) {
    std::size_t ops = 0;
    for (const std::string& line : Lines(path)) {
      if (!line.empty() && (line[0] == 'C' || line[0] == 'I')) ++ops;
      if (line.size() < 1) continue;
      const std::string rest = line.size() > 2 ? line.substr(2) : "";
      const auto ms = [&]() {
        try {
          return std::stod(rest);
        } catch (const std::exception&) {
          errors.push_back("unreadable report line: " + line);
          return 0.0;
        }
      };
      switch (line[0]) {
        case 'L': login.push_back(ms()); break;
        case 'C': click.push_back(ms()); break;
        case 'P': password.push_back(ms()); break;
        case 'I': insert.push_back(ms()); break;
        case 'U': users_created.push_back(rest); break;
        case 'A': ++applies; break;
        case 'E': errors.push_back(rest); break;
        case 'T':
          busy_ms += ms();
          ++busy_processes;
          busy_ops += ops;
          break;
        default: break;
      }
    }
  }
  // Commands per second of all processes together: the commands over the
  // time one process spent in them on average (the processes ran at once).
  double PerSecond() const {
    return busy_ms > 0 ? static_cast<double>(busy_ops) * 1000.0 * busy_processes / busy_ms : 0.0;
  }
};

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const std::size_t i = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(i, values.size() - 1)];
}

class Json {
 public:
  void Add(const std::string& key, const std::string& raw) {
    text_ += (text_.empty() ? "{" : ", ") + ("\"" + key + "\": ") + raw;
  }
  void Add(const std::string& key, long long n) { Add(key, std::to_string(n)); }
  void Add(const std::string& key, double x) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", x);
    Add(key, std::string(buffer));
  }
  void Latencies(const std::string& name, const std::vector<double>& values) {
    for (int p : {50, 95, 99}) Add("p" + std::to_string(p) + "_" + name + "_ms", Percentile(values, p));
  }
  std::string Text() const { return text_ + "}"; }

 private:
  std::string text_;
};

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) continue;
    out += c;
  }
  return out + "\"";
}

int Coordinate(const Options& o) {
  RunDatabase database(o);
  std::printf("qvload: %s, %d clients x %d commands; preparing the database\n", o.engine.c_str(), o.clients,
              o.commands);
  std::fflush(stdout);
  database.Seed(o.clients, o.shared_users);
  if (o.secured) database.Secure();
  const Target target = database.ClientWhere();
  const fs::path reports = fs::temp_directory_path() / ("qvload_reports_" + std::to_string(getpid()));
  fs::create_directories(reports);
  const std::string stop_file = (reports / "stop").string();
  std::vector<std::string> common = {"--engine", o.engine, "--location", target.location};
  if (o.secured) common.push_back("--secured");

  // The run: every client at once, and the administrator.
  StartGate client_gate(reports, "clients");
  const int victim = o.kill && o.clients >= 2 ? o.clients - 1 : -1;
  std::vector<Child> clients;
  for (int i = 0; i < o.clients; ++i) {
    std::vector<std::string> args = common;
    for (const std::string& a : {std::string("--role"), std::string("client"), std::string("--index"),
                                 std::to_string(i), std::string("--commands"), std::to_string(o.commands),
                                 std::string("--shared-users"), std::to_string(o.shared_users)})
      args.push_back(a);
    if (i == victim) args.push_back("--victim");
    for (const std::string& a : client_gate.Args()) args.push_back(a);
    clients.push_back(Spawn(args, (reports / ("client" + std::to_string(i))).string()));
  }
  std::vector<std::string> master_args = common;
  for (const std::string& a : {std::string("--role"), std::string("master"), std::string("--master-period"),
                               std::to_string(o.master_period_ms), std::string("--stop-file"), stop_file})
    master_args.push_back(a);
  Child master = Spawn(master_args, (reports / "master").string());

  std::vector<Child*> waiting;
  for (Child& c : clients) waiting.push_back(&c);
  bool killed = false;
  WaitAll(waiting, 1800, [&] {
    client_gate.Poll(clients);
    if (victim >= 0 && !killed && Reported(clients[victim].out, "R")) {
      kill(clients[victim].pid, SIGKILL);
      killed = true;
    }
  });
  std::ofstream(stop_file).put('\n');
  WaitAll({&master}, 300);

  Figures run;
  for (const Child& c : clients) run.Read(c.out);
  Figures admin;
  admin.Read(master.out);
  int failed_processes = 0;
  for (int i = 0; i < o.clients; ++i) {
    const int status = clients[i].status;
    const bool expected_kill = i == victim && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (!expected_kill && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) ++failed_processes;
  }
  if (!(WIFEXITED(master.status) && WEXITSTATUS(master.status) == 0)) ++failed_processes;

  // The counts: every reported command has its row and no other row is
  // there; every password change its history row; the administrator's
  // users with their rights; nothing of the killed client's transaction.
  const std::string app = std::string("'") + kAppKey + "'";
  const long long audit_expected = static_cast<long long>(run.click.size());
  const long long audit_found = database.Count("SELECT COUNT(*) FROM AUDIT WHERE APP_KEY=" + app);
  const long long history_expected = static_cast<long long>(run.password.size());
  const long long history_found = database.Count("SELECT COUNT(*) FROM HISTORY");
  const long long half_done = database.Count(std::string("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME='") +
                                             kVictimUser + "'") +
                              database.Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=999999");
  const long long progs = database.Count("SELECT COUNT(*) FROM PROGS WHERE APP_KEY=" + app);
  const long long created = static_cast<long long>(admin.users_created.size());
  const long long master_users = database.Count("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME LIKE 'm%'") - 1;
  const long long master_rights = database.Count(
      "SELECT COUNT(*) FROM UACCESS WHERE APP_KEY=" + app +
      " AND USER_ID IN (SELECT USER_ID FROM QUARVEL WHERE USERQV_NAME LIKE 'm%' AND USERQV_NAME <> 'master')");
  const bool killed_ok = victim < 0 || killed;

  Figures base;
  if (o.baseline) {
    std::vector<Child> baseline;
    StartGate baseline_gate(reports, "baseline");
    for (int i = 0; i < o.clients; ++i) {
      std::vector<std::string> args = {"--engine", o.engine, "--location", database.Where().location};
      for (const std::string& a : {std::string("--role"), std::string("baseline"), std::string("--index"),
                                   std::to_string(i), std::string("--commands"), std::to_string(o.commands)})
        args.push_back(a);
      for (const std::string& a : baseline_gate.Args()) args.push_back(a);
      baseline.push_back(Spawn(args, (reports / ("baseline" + std::to_string(i))).string()));
    }
    std::vector<Child*> all;
    for (Child& c : baseline) all.push_back(&c);
    WaitAll(all, 1800, [&] { baseline_gate.Poll(baseline); });
    for (const Child& c : baseline) {
      base.Read(c.out);
      if (!(WIFEXITED(c.status) && WEXITSTATUS(c.status) == 0)) ++failed_processes;
    }
  }

  std::vector<std::string> errors = run.errors;
  for (const std::string& e : admin.errors) errors.push_back("master: " + e);
  for (const std::string& e : base.errors) errors.push_back("baseline: " + e);
  for (std::size_t i = 0; i < errors.size() && i < 10; ++i) std::printf("error: %s\n", errors[i].c_str());
  const long long error_count = static_cast<long long>(errors.size()) + failed_processes;

  Json json;
  json.Add("engine", Quoted(o.engine));
  json.Add("secured", std::string(o.secured ? "true" : "false"));
  json.Add("clients", static_cast<long long>(o.clients));
  json.Add("commands_per_client", static_cast<long long>(o.commands));
  json.Add("commands", static_cast<long long>(run.click.size()));
  json.Add("errors", error_count);
  json.Add("killed_clients", static_cast<long long>(killed ? 1 : 0));
  json.Add("audit_rows_expected", audit_expected);
  json.Add("audit_rows_found", audit_found);
  json.Add("history_rows_expected", history_expected);
  json.Add("history_rows_found", history_found);
  json.Add("half_done_rows", half_done);
  json.Add("users_created", created);
  json.Add("rights_applied", static_cast<long long>(admin.applies));
  json.Add("clicks_per_second", run.PerSecond());
  json.Add("baseline_inserts_per_second", base.PerSecond());
  json.Latencies("login", run.login);
  json.Latencies("click", run.click);
  json.Latencies("password", run.password);
  json.Latencies("baseline_insert", base.insert);

  bool counts_ok = audit_expected == audit_found && history_expected == history_found && half_done == 0 &&
                   master_users == created && master_rights == created * progs && killed_ok;
  // Every client that was not killed ran all its commands.
  const long long full = static_cast<long long>(o.clients - (victim >= 0 ? 1 : 0)) * o.commands;
  if (victim >= 0) counts_ok = counts_ok && audit_expected == full + o.commands / 2;
  else counts_ok = counts_ok && audit_expected == full;
  if (!counts_ok)
    std::printf(
        "counts wrong: audit %lld of %lld, history %lld of %lld, half-done rows %lld, users %lld of %lld, "
        "their rights %lld of %lld, victim killed %s\n",
        audit_found, audit_expected, history_found, history_expected, half_done, master_users, created,
        master_rights, created * progs, killed_ok ? "yes" : "no");
  json.Add("counts_ok", std::string(counts_ok ? "true" : "false"));
  std::printf("%s\n", json.Text().c_str());
  std::fflush(stdout);
  std::error_code ignored;
  fs::remove_all(reports, ignored);
  if (o.check && (error_count != 0 || !counts_ok)) return 1;
  return 0;
}

}  // namespace
}  // namespace qv::load

int main(int argc, char** argv) {
  using namespace qv::load;
  const Options options = Parse(argc, argv);
  if (!options.role.empty()) return RunRole(options);
  try {
    return Coordinate(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qvload: %s\n", e.what());
    return 1;
  }
}

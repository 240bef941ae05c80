// qvload: many client processes on one security database, as an office
// logging in at nine o'clock. The coordinator (load_main.cpp) prepares the
// database, starts the processes of load_roles.cpp, kills one of them in
// the middle of a transaction, counts the rows and prints a JSON summary.
//
// Every process reports through a file of its own, one line per event, so
// that a killed process leaves whatever it had reported:
//   L <ms>    a login (or the switch to another user) took <ms>
//   C <ms>    an audited menu command took <ms>; its row is committed
//   P <ms>    a password change took <ms>
//   I <ms>    a baseline insert took <ms>
//   U <name>  the master created the user <name>
//   A         the master applied a rights change
//   T <ms>    the time the process spent in its commands and the pauses
//             between them (not in logins or password changes)
//   R         the victim is inside its transaction: kill it now
//   E <text>  an error
//   D         the process finished
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace qv::load {

inline constexpr const char* kAppKey = "LOAD";
inline constexpr const char* kComputer = "PC-LOAD";
// The profile every user of the run belongs to; audited.
inline constexpr int kProfileId = 1;
// The name of the user the victim creates and never commits (on a secured
// database, where a user may not create users, its uncommitted write is an
// audited command of its own).
inline constexpr const char* kVictimUser = "halfdone";

// Where a process's database is: the alias definition passed on its
// command line.
struct Target {
  std::string engine;    // "sqlite" or "postgresql"
  std::string location;  // the file, or the libpq connection string
};

// The name and password of the personal user of client `i`, and of shared
// user `j` (the users clients switch to).
inline std::string ClientUser(int i) { return "c" + std::to_string(i); }
inline std::string SharedUser(int j) { return "s" + std::to_string(j); }
inline std::string PasswordOf(const std::string& user) { return "pw-" + user; }
inline std::string NewPasswordOf(const std::string& user) { return "novo-" + user; }

inline double MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The report file of one process; every line reaches the file at once.
class Report {
 public:
  explicit Report(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {}
  ~Report() {
    if (file_) std::fclose(file_);
  }
  Report(const Report&) = delete;
  Report& operator=(const Report&) = delete;
  bool Ok() const { return file_ != nullptr; }
  // One line: a message of several lines is joined into one.
  void Line(std::string line) {
    for (char& c : line)
      if (c == '\n' || c == '\r') c = ' ';
    std::fprintf(file_, "%s\n", line.c_str());
    std::fflush(file_);
  }

 private:
  std::FILE* file_;
};

// The processes of a run (load_roles.cpp). Each returns the process's exit
// status and reports as above.
// Where the processes of one phase meet before their command loops, so
// that the loops measure the commands and not the start-up (program load,
// connection, login) of processes still starting: each process adds one
// byte to `ready` when it is ready and waits for the file `go`, which the
// parent creates once all of them are ready. Empty paths: no waiting.
struct StartLine {
  std::string ready;
  std::string go;
  void ReadyAndWait() const;
};

struct ClientSettings {
  Target target;
  int index = 0;
  int commands = 0;
  int shared_users = 1;
  bool victim = false;  // ends inside a transaction, waiting to be killed
  bool secured = false;  // the database is secured: the victim's transaction holds what its user may write
  StartLine start;
};
// Logs in, then runs its commands once every process of its phase is ready.
int RunClient(const ClientSettings& settings, Report& report);
// The administrator: opens the window, applies a rights change and creates
// a user, every `period_ms`, until the file `stop_file` exists.
int RunMaster(const Target& target, int period_ms, const std::string& stop_file, Report& report);
// The baseline: `commands` prepared INSERTs of an audit row through the
// engine's own client library, with the clients' pauses, no component.
// It starts its inserts once every baseline process is connected.
int RunBaseline(const Target& target, int index, int commands, const StartLine& start, Report& report);

// The pause between two commands of a client: a few milliseconds.
void ShortPause(unsigned& seed);

}  // namespace qv::load

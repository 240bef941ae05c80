// The commands of qvsetup, the tool that prepares security databases and the
// aliases that name them:
//
//   qvsetup init ALIAS [--master-password-file FILE|-] [--date-pattern PATTERN]
//                                               create the eight tables and "master"
//   qvsetup date-pattern ALIAS PATTERN          record the order of stored dates
//   qvsetup check ALIAS                         verify the tables, their columns
//                                               and the stored dates; say whether
//                                               the database is secured, for whom
//   qvsetup secure ALIAS ...                    the secured PostgreSQL mode
//                                               (secure_commands.h)
//   qvsetup alias add [--replace] NAME sqlite PATH
//                                               write an alias to the aliases file
//   qvsetup alias add [--replace] NAME postgresql CONNINFO
//   qvsetup alias list                          the known aliases and their files
//   qvsetup user|profile|catalogue|rights|grant|revoke|audit ...
//                                               scripted administration (admin_commands.h)
//
// init takes the master password from a file, from standard input ("-"), from
// a prompt without echo when standard input is a terminal, or, visible to
// every user of the machine, from --master-password TEXT.
//
// Exit status: 0 on success, 1 when the command failed (every message names
// the alias once), 2 for a usage error (the usage text is printed). No
// message or listing shows a password of a connection string.
#pragma once

#include <filesystem>
#include <iostream>
#include <ostream>
#include <string>
#include <vector>

namespace qv::setup {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Runs one command line (without the program name), writing results to
// `out` and errors and prompts to `err`, reading "-" files from `in`;
// returns the exit status. Never raises for errors of the command or of the
// database.
int RunSetup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             std::istream& in = std::cin);

// The building blocks, for callers that are not a command line. Errors are
// raised as qv::Exception.

// Creates the eight tables and the built-in administrator "master" (user 1,
// no profile, not audited, password `masterPassword` scrambled as stored,
// last change today) in the database of `alias`, and records the date
// pattern of its stored dates (qvd3/data/date_pattern.h): `datePattern`, or when
// empty the machine's normalised pattern; all in one transaction. Refuses,
// changing nothing, a database that holds any of the tables already, and a
// pattern that cannot be recorded. For an SQLite alias whose file does not
// exist yet, the empty file is created first (and removed again if the
// creation fails).
void InitDatabase(const std::string& alias, const std::string& masterPassword,
                  const std::string& datePattern = "");

// What recording a date pattern did.
struct DatePatternChange {
  std::string pattern;      // as recorded
  std::string previous;     // the pattern recorded before; empty when none
  long long rewritten = 0;  // stored date texts rewritten from `previous`
};
// Records `pattern` as the date pattern of the security database of
// `alias`, in one transaction. When another pattern is recorded already,
// the stored dates were written under it, so each one it reads is first
// rewritten into the new form (the same day). Refuses, changing nothing, a
// pattern under which some stored date cannot be read, naming how many
// there are in which table and column, and a database without the security
// tables.
DatePatternChange SetDatabaseDatePattern(const std::string& alias, const std::string& pattern);

// What `check` found: one line per problem; empty when the database is
// complete. `notes` say what was found that is no problem (the recorded
// date pattern).
struct CheckResult {
  std::vector<std::string> problems;
  std::vector<std::string> notes;
  bool Complete() const { return problems.empty(); }
};
// Compares the database of `alias` with the table layout: every table
// present with every column, and the "master" row present; then names the
// recorded date pattern and, per table and column, the stored dates that
// cannot be read under it.
CheckResult CheckDatabase(const std::string& alias);

// The security tables the database of `alias` holds, by their upper-case
// names, in layout order.
std::vector<std::string> ExistingSecurityTables(const std::string& alias);

}  // namespace qv::setup

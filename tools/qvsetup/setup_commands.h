// The commands of qvsetup, the tool that prepares security databases and the
// aliases that name them:
//
//   qvsetup init ALIAS [--master-password-file FILE|-]
//                                               create the eight tables and "master"
//   qvsetup check ALIAS                         verify the tables and their columns
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
// last change today) in the database of `alias`, all in one transaction.
// Refuses, changing nothing, a database that holds any of the tables
// already. For an SQLite alias whose file does not exist yet, the empty file
// is created first (and removed again if the creation fails).
void InitDatabase(const std::string& alias, const std::string& masterPassword);

// What `check` found: one line per problem; empty when the database is
// complete.
struct CheckResult {
  std::vector<std::string> problems;
  bool Complete() const { return problems.empty(); }
};
// Compares the database of `alias` with the table layout: every table
// present with every column, and the "master" row present.
CheckResult CheckDatabase(const std::string& alias);

// The security tables the database of `alias` holds, by their upper-case
// names, in layout order.
std::vector<std::string> ExistingSecurityTables(const std::string& alias);

}  // namespace qv::setup

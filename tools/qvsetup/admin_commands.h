// qvsetup's scripted administration: users, profiles, the catalogue, rights
// and the audit trail of a security database, through the data module and
// the rules the administration window uses (see AdminUsage for the commands).
//
// Exit status: 0 success; 1 refused (an unknown name, a duplicate, "master",
// an item outside the catalogue, an error of the database), the message
// naming what was refused; 2 usage. Passwords are never taken from the
// command line: a prompt without echo, or --password-file FILE (- for
// standard input). Dates are YYYY-MM-DD.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace qv::setup {

// Whether `args` names one of these commands.
bool IsAdminCommand(const std::vector<std::string>& args);

// Runs one of these commands; never raises. Writes results to `out`,
// messages and prompts to `err`, reads "-" files from `in`; a password is
// prompted for only when `in` is the process's standard input.
int RunAdminCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    std::istream& in);

// The usage lines of these commands.
const char* AdminUsage();

}  // namespace qv::setup

// qvsetup secure: turns the secured mode of a PostgreSQL security database
// on or off (qvd3/data/secured_mode.h).
//
//   qvsetup secure ALIAS --client-role ROLE [--admin USER ...]
//                  [--create-role [--role-password-file FILE|-] | --create-role-without-password]
//   qvsetup secure ALIAS --off
//
// ALIAS connects as the owner of the tables. --create-role creates ROLE
// (LOGIN, no other attribute) in the same transaction as the mode; its
// password is asked for without echo, or read from FILE or standard input,
// and reaches the server only as the verifier the client library computes.
// --create-role-without-password is for servers that authenticate clients
// by peer, certificate or another method without a password.
//
// Exit status: 0 success, 1 refused (nothing changed), 2 usage.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace qv::setup {

bool IsSecureCommand(const std::vector<std::string>& args);

// Runs the command; never raises. Results go to `out`, messages and prompts
// to `err`; "-" reads `in`; a prompt happens only when `in` is std::cin.
int RunSecureCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     std::istream& in);

// Creates the login role `role` on the server of `alias` (no superuser, no
// other attribute), with the verifier of `password`, or without a password
// when it is empty. In the caller's transaction when one is active.
void CreateClientRole(const std::string& alias, const std::string& role, const std::string& password);

const char* SecureUsage();

}  // namespace qv::setup

// The secured mode of a PostgreSQL security database: the server itself
// enforces the rights for connections as one low-privilege client role.
//
// Installed, the database holds beside the eight tables:
//   - QV_SECURED (the client role), QV_ADMINS (users named administrators
//     besides "master") and QV_SESSIONS (the identity of each connection,
//     valid only while the backend that logged in still runs), all readable
//     by the owner alone;
//   - QV_ functions owned by the owner: the login, which checks the password
//     and binds the identity to the connection, the password change with its
//     history row, the password checks of the change dialog, the identity
//     read by the policies, and the logout;
//   - row-level security on the eight tables: the client role sees and
//     writes only what the component lets the person logged in through it
//     see and write; every other role keeps its privileges unchanged.
// Everything added is named QV_... (policies qv_...), so that it can be
// found and taken away again.
#pragma once

#include <string>
#include <vector>

namespace qv {

// Whether and for whom the database of an alias is secured.
struct SecuredState {
  bool Secured = false;
  std::string ClientRole;
  std::vector<std::string> Admins;  // the --admin names, sorted
};

// `alias` connects as the owner of the eight tables. One transaction (or
// the caller's when one is active), idempotent: re-running brings an older
// secured database up to date and replaces the admin list; connections
// logged in stay logged in. Raises qv::Exception with a clear message and
// changes nothing when: the engine is SQLite; the tables are missing; the
// alias does not own them; the role does not exist; the role is a
// superuser, has BYPASSRLS, owns the tables, is a member of the owner role
// or holds privileges through other roles that the mode cannot take away
// (TRUNCATE, TRIGGER, REFERENCES, UPDATE on AUDIT, CREATE in the schema);
// an admin name is no user; no date pattern is recorded.
void SecureDatabase(const std::string& alias, const std::string& clientRole,
                    const std::vector<std::string>& admins);

// Removes every QV_ object, the policies and the role's grants; the tables
// are left as `qvsetup init` made them. One transaction. A database that is
// not secured is left alone (no error).
void UnsecureDatabase(const std::string& alias);

// Works on any engine and any connection (SQLite: never secured). On a
// connection as the client role itself, which may not read the record, the
// role is the connection's own and the admin list is left empty.
SecuredState ReadSecuredState(const std::string& alias);

}  // namespace qv

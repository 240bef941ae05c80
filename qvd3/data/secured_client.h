// The client's side of a secured PostgreSQL security database: one whose
// row security lets the connection's role see and change only what the
// person logged in through the component may, and in which the server
// itself checks passwords and binds the logged-in user to the connection.
//
// In that mode the component does through these calls what it otherwise
// does by reading and writing the tables: the login (password, refusals
// and expiry write in one call, then the rights under the row rules), the
// password change and the dialog's checks of the current and former
// passwords. Every call raises
// the engine's EDatabaseError on failure. Passwords travel only as bound
// parameters.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "qvd3/data/stored_account.h"

namespace qv {

// True when connections of `alias` are secured clients: the engine is
// PostgreSQL, the database is secured and the connection's role is the
// client role (the owner, or another role with full rights, works on the
// tables as before). At most two short reads; none for SQLite.
bool IsSecuredClient(const std::string& alias);

enum class ServerLoginStatus { Ok, UnknownUser, WrongPassword, Inactive, Expired, MustChange };

struct ServerLoginResult {
  ServerLoginStatus Status = ServerLoginStatus::UnknownUser;
  // The account without its password; absent for UnknownUser and
  // WrongPassword.
  std::optional<StoredAccount> Account;
  // The user's rights, as ReadStoredRights gives them; filled for Ok only.
  std::unordered_map<std::string, bool> Rights;
};

// One login attempt of `userName` with `password` in application `appKey`,
// decided by the server as the component decides it ("master" skips the
// refusals). Expired also switches the user off in the application. Only Ok
// binds the connection to the user (replacing the one bound before), and
// then the user's rights are read as the user; every other answer leaves
// the binding as it was.
ServerLoginResult ServerLogin(const std::string& alias, const std::string& userName, const std::string& password,
                              const std::string& appKey);

enum class ServerPasswordChange { Ok, UnknownUser, WrongPassword, FormerPassword, Invalid };

// Replaces the password of `userName` when `current` is right and `next`
// (1 to 20 characters) is no former password: the new password, its date
// and the history row of the replaced one, all or nothing.
ServerPasswordChange ServerChangePassword(const std::string& alias, const std::string& userName,
                                          const std::string& current, const std::string& next);

// Whether `password` is the current password of `userName`.
bool ServerCheckPassword(const std::string& alias, const std::string& userName, const std::string& password);

// Whether `candidate` is a former password of `userName`; false unless
// `current` is the current one.
bool ServerIsFormerPassword(const std::string& alias, const std::string& userName, const std::string& current,
                            const std::string& candidate);

// The USER_ID the connection of `alias` is bound to; nullopt for nobody
// (never logged in, or the binding was lost with the connection).
std::optional<int> ServerSessionUserId(const std::string& alias);

}  // namespace qv

// What the security database holds about one user at this moment, read in
// as few statements as possible. The login and the password change decide
// on these reads, never on rows a dataset read earlier: a password reset, a
// deactivation, an expiry, a profile change or a revoked right made by an
// administrator on another machine holds at the next decision.
//
// Texts are as stored (flags "1" or anything else, dates as date text); the
// scrambled password is the stored bytes. Every read raises the engine's
// EDatabaseError on failure and changes nothing.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

namespace qv {

class TDataSet;

// The user's profile, when the user's PROFILE_ID names one.
struct StoredProfile {
  std::string Description;
  std::string AuditMode;
  std::string MustChangePwd;
  int IntervalChangePwd = 0;  // a null interval reads as 0
  std::optional<int> HideDisableMenu;
};

struct StoredAccount {
  std::string UserName;
  std::string RealName;
  std::string ScrambledPassword;
  int UserID = 0;
  std::string LastPwdChange;
  int ProfileID = 0;
  std::string AuditMode;
  // The user's state row in the application; empty texts without one.
  bool HasState = false;
  std::string ExpirationDate;
  std::string UserExpire;
  std::string UserActive;
  std::optional<StoredProfile> Profile;
};

// The user named exactly `userName` (letter case counts) with its state row
// in application `appKey` and its profile; nullopt when no user has that
// name. `alias` names the security database.
std::optional<StoredAccount> ReadStoredAccount(const std::string& alias, const std::string& appKey,
                                               const std::string& userName);

// The rights of user `userId` in application `appKey`, by catalogue name
// (exact): true for an item every rights row of the user grants ("1"). An
// item without a catalogue row or without a rights row is absent.
std::unordered_map<std::string, bool> ReadStoredRights(const std::string& alias, const std::string& appKey,
                                                       int userId);

// Whether the history holds `password` (exactly, letter case counts) as a
// former password of user `userId`.
bool IsFormerPassword(const std::string& alias, int userId, const std::string& password);

// The rows of the reads above turned into their results; shared with the
// reads of the secured mode, whose rows carry the same columns.
// The account on the current row of `row`, whose columns are named as in
// sql::ReadAccount; without a USER_PWD column ScrambledPassword stays empty.
StoredAccount StoredAccountFromRow(TDataSet& row);
// The rights in `rows` (columns MENU_NAME and AUTHORIZED) from the current
// row to the last; a row without MENU_NAME names no item and is skipped.
std::unordered_map<std::string, bool> StoredRightsFromRows(TDataSet& rows);

}  // namespace qv

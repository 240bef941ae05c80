// TUser: the record of the user logged in through the component. The
// component owns it and reads it for the rights, the audit and the password
// change; a host application may read it. A login fills a record of its own
// and puts it in place only when it succeeds, so the record always describes
// the user logged in (nobody before the first successful login).
//
// Fields keep the texts as stored: flags are "1" (yes) or anything else
// (no); dates are date texts under the normalised short date pattern.
#pragma once

#include <string>

#include "qvd3/platform/sys/date_time.h"

namespace qv {

class TQuarvel;

class TUser {
 public:
  TUser() = default;
  // Resets every field to its initial value before the record goes.
  ~TUser();
  TUser(const TUser&) = delete;
  TUser& operator=(const TUser&) = delete;

  const std::string& UserName() const { return FUserName; }
  const std::string& RealName() const { return FRealName; }
  int UserID() const { return FUserID; }
  const std::string& Password() const { return FPassword; }
  const std::string& LastPwdChange() const { return FLastPwdChange; }
  const std::string& ExpirationDate() const { return FExpirationDate; }
  const std::string& UserExpire() const { return FUserExpire; }
  const std::string& UserActive() const { return FUserActive; }
  int ProfileID() const { return FProfileID; }
  const std::string& Profile() const { return FProfile; }
  const std::string& AuditMode() const { return FAuditMode; }

  // The date of the last password change: the zero date when the text is
  // empty, else the text read under the normalised pattern. A text that is
  // not a date raises EConvertError.
  TDateTime GetLastPwdChange() const;
  // The same for the expiration date.
  TDateTime GetExpirationDate() const;
  // True once a login has put a user in this record.
  bool LoggedIn() const { return !FUserName.empty(); }
  // True exactly when the flag is "1".
  bool GetUserExpire() const;
  bool GetUserActive() const;
  bool GetAuditMode() const;

 private:
  friend class TQuarvel;
  // Puts the record of a successful login in place of this one.
  TUser& operator=(TUser&&) noexcept = default;
  void Reset();

  std::string FUserName;
  std::string FRealName;
  int FUserID = 0;
  std::string FPassword;
  std::string FLastPwdChange;
  std::string FExpirationDate;
  std::string FUserExpire = "0";
  std::string FUserActive = "0";
  int FProfileID = 0;
  std::string FProfile;
  std::string FAuditMode = "0";
};

}  // namespace qv

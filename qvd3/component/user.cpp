#include "qvd3/component/user.h"

#include "qvd3/component/date_format.h"
#include "qvd3/platform/sys/date_text.h"

namespace qv {
namespace {

// A stored date text as a date: the zero date for an empty text, otherwise
// read while the pattern is normalised, as the tables store dates. The
// pattern comes back also when the text is not a date.
TDateTime StoredDate(const std::string& text) {
  if (text.empty()) return TDateTime();
  ScopedNormalizedDateFormat normalized;
  return StrToDate(text);
}

}  // namespace

TUser::~TUser() { Reset(); }

void TUser::Reset() {
  FUserName.clear();
  FRealName.clear();
  FUserID = 0;
  FPassword.clear();
  FLastPwdChange.clear();
  FExpirationDate.clear();
  FUserExpire = "0";
  FUserActive = "0";
  FProfileID = 0;
  FProfile.clear();
  FAuditMode = "0";
}

TDateTime TUser::GetLastPwdChange() const { return StoredDate(FLastPwdChange); }
TDateTime TUser::GetExpirationDate() const { return StoredDate(FExpirationDate); }
bool TUser::GetUserExpire() const { return FUserExpire == "1"; }
bool TUser::GetUserActive() const { return FUserActive == "1"; }
bool TUser::GetAuditMode() const { return FAuditMode == "1"; }

}  // namespace qv

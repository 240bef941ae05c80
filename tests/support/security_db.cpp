#include "tests/support/security_db.h"

#include <cstdio>

#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/schema.h"
#include "qvd3/data/secured_mode.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_text.h"

namespace qv::test {
namespace {

void BindAll(TQuery& query, const SqlParams& params) {
  for (const auto& [name, value] : params) query.ParamByName(name).SetValue(value);
}

}  // namespace

std::string DateText(TDateTime date) {
  ScopedNormalizedDateFormat normalized;
  return DateToStr(date);
}

std::string DateText(int year, int month, int day) { return DateText(EncodeDate(year, month, day)); }

void SecurityDbTest::SetUp() {
  EngineTest::SetUp();
  if (HasFatalFailure()) return;
  saved_date_pattern_ = ShortDateFormat();
  pattern_saved_ = true;
  SetShortDateFormat(kTestDatePattern);
  SetDatabaseDateFormat("");  // as if no database had been opened before
  clock_ = std::make_unique<FixtureClock>(EncodeDateTime(kTodayYear, kTodayMonth, kTodayDay, 10, 30, 0),
                                          [this] { SetServerToday(); });

  for (const std::string& statement : CreateSchemaStatements(EngineName())) Exec(statement);
  ExecWith(
      "INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_PWD, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, "
      "AUDIT_MODE) VALUES ('master', :REAL_NAME, :USER_PWD, :USER_ID, :LAST_PWD_CHANGE, 0, '0')",
      {{"REAL_NAME", "Administrador"},
       {"USER_PWD", Value::Bytes(EncodePassword(kMasterPassword))},
       {"USER_ID", kMasterId},
       {"LAST_PWD_CHANGE", TodayText()}});
  if (IsSecured()) {
    RecordDatePattern(OwnerAlias(), "dd/mm/yyyy");
    SecureDatabase(OwnerAlias(), ClientRole(), {});
    SetServerToday();
  }
}

void SecurityDbTest::SetServerToday() {
  if (!IsSecured()) return;
  int year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  char iso[16];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02d", year, month, day);
  Exec(std::string("CREATE OR REPLACE FUNCTION QV_TODAY() RETURNS date LANGUAGE sql STABLE AS $$ SELECT DATE '") +
       iso + "' $$");
}

void FixtureClock::Set(TDateTime now) {
  clock_.Set(now);
  moved_();
}

void FixtureClock::Advance(double days) {
  clock_.Advance(days);
  moved_();
}

void SecurityDbTest::TearDown() {
  clock_.reset();
  if (pattern_saved_) SetShortDateFormat(saved_date_pattern_);
  SetDatabaseDateFormat("");
  EngineTest::TearDown();
}

TDateTime SecurityDbTest::Today() const { return EncodeDate(kTodayYear, kTodayMonth, kTodayDay); }

std::string SecurityDbTest::TodayText() const { return DateText(Today()); }

std::string SecurityDbTest::DaysFromToday(int days) const { return DateText(Today() + days); }

int SecurityDbTest::AddUser(const std::string& name, const std::string& password, int profileId,
                            const std::string& auditMode, std::optional<std::string> lastPwdChange,
                            const std::string& realName) {
  int id = static_cast<int>(ScalarValue("SELECT MAX(USER_ID) FROM QUARVEL").AsInteger()) + 1;
  ExecWith(
      "INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_PWD, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, "
      "AUDIT_MODE) VALUES (:NAME, :REAL_NAME, :PWD, :ID, :LAST, :PROF, :AUDIT)",
      {{"NAME", name},
       {"REAL_NAME", realName},
       {"PWD", Value::Bytes(EncodePassword(password))},
       {"ID", id},
       {"LAST", lastPwdChange.value_or(TodayText())},
       {"PROF", profileId},
       {"AUDIT", auditMode}});
  return id;
}

int SecurityDbTest::AddProfile(const std::string& description, const std::string& mustChange,
                               std::optional<int> interval, int hideDisable,
                               const std::string& auditMode) {
  int id = static_cast<int>(ScalarValue("SELECT MAX(PROF_ID) FROM PROFILES").AsInteger()) + 1;
  ExecWith(
      "INSERT INTO PROFILES (PROF_DESCRIPTION, PROF_ID, INTERVAL_CHANGE_PWD, MUST_CHANGE_PWD, "
      "HIDE_DISABLE_MENU, AUDIT_MODE) VALUES (:DESCR, :ID, :INTERVAL, :MUST, :HIDE, :AUDIT)",
      {{"DESCR", description},
       {"ID", id},
       {"INTERVAL", interval ? Value(*interval) : Value()},
       {"MUST", mustChange},
       {"HIDE", hideDisable},
       {"AUDIT", auditMode}});
  return id;
}

void SecurityDbTest::AddUserInfo(const std::string& appKey, int userId, const std::string& expire,
                                 std::optional<std::string> expirationDate,
                                 const std::string& active) {
  ExecWith(
      "INSERT INTO USERINFO (APP_KEY, USER_ID, EXPIRATION_DATE, USER_EXPIRE, USER_ACTIVE) "
      "VALUES (:APP, :ID, :EXPDATE, :EXPIRE, :ACTIVE)",
      {{"APP", appKey},
       {"ID", userId},
       {"EXPDATE", expirationDate.value_or(TodayText())},
       {"EXPIRE", expire},
       {"ACTIVE", active}});
}

int SecurityDbTest::AddProg(const std::string& appKey, const std::string& menuName,
                            const std::string& caption) {
  int id = static_cast<int>(ScalarValue("SELECT MAX(MENU_ID) FROM PROGS").AsInteger()) + 1;
  ExecWith(
      "INSERT INTO PROGS (APP_KEY, MENU_NAME, MENU_ID, MENU_CAPTION) VALUES (:APP, :NAME, :ID, :CAPTION)",
      {{"APP", appKey}, {"NAME", menuName}, {"ID", id}, {"CAPTION", caption}});
  return id;
}

void SecurityDbTest::SetUAccess(const std::string& appKey, int userId, int menuId,
                                const Value& authorized) {
  SqlParams key{{"APP", appKey}, {"ID", userId}, {"MENU", menuId}};
  const char* where = " WHERE APP_KEY=:APP AND USER_ID=:ID AND MENU_ID=:MENU";
  if (Count(std::string("SELECT COUNT(*) FROM UACCESS") + where, key) > 0) {
    key.emplace_back("AUTH", authorized);
    ExecWith(std::string("UPDATE UACCESS SET AUTHORIZED=:AUTH") + where, key);
  } else {
    key.emplace_back("AUTH", authorized);
    ExecWith("INSERT INTO UACCESS (APP_KEY, USER_ID, MENU_ID, AUTHORIZED) VALUES (:APP, :ID, :MENU, :AUTH)",
             key);
  }
}

void SecurityDbTest::SetPAccess(const std::string& appKey, int profId, int menuId,
                                const Value& authorized) {
  SqlParams key{{"APP", appKey}, {"ID", profId}, {"MENU", menuId}};
  const char* where = " WHERE APP_KEY=:APP AND PROF_ID=:ID AND MENU_ID=:MENU";
  if (Count(std::string("SELECT COUNT(*) FROM PACCESS") + where, key) > 0) {
    key.emplace_back("AUTH", authorized);
    ExecWith(std::string("UPDATE PACCESS SET AUTHORIZED=:AUTH") + where, key);
  } else {
    key.emplace_back("AUTH", authorized);
    ExecWith("INSERT INTO PACCESS (APP_KEY, PROF_ID, MENU_ID, AUTHORIZED) VALUES (:APP, :ID, :MENU, :AUTH)",
             key);
  }
}

void SecurityDbTest::AddHistory(int userId, const std::string& password, const std::string& changeDate) {
  ExecWith("INSERT INTO HISTORY (USER_ID, USER_PWD, CHANGE_DATE) VALUES (:ID, :PWD, :DATE)",
           {{"ID", userId}, {"PWD", password}, {"DATE", changeDate}});
}

long long SecurityDbTest::ExecWith(std::string_view sql, const SqlParams& params) {
  TQuery query;
  query.SetDatabaseName(OwnerAlias());
  query.SetSQL(sql);
  BindAll(query, params);
  return query.ExecSQL();
}

Value SecurityDbTest::ScalarValue(std::string_view sql, const SqlParams& params) {
  TQuery query;
  query.SetDatabaseName(OwnerAlias());
  query.SetSQL(sql);
  BindAll(query, params);
  query.Open();
  if (query.IsEmpty() || query.FieldCount() == 0) return Value();
  return query.Fields()[0]->AsValue();
}

std::string SecurityDbTest::Scalar(std::string_view sql, const SqlParams& params) {
  return ScalarValue(sql, params).AsString();
}

long long SecurityDbTest::Count(std::string_view sql, const SqlParams& params) {
  return ScalarValue(sql, params).AsInteger();
}

std::string SecurityDbTest::PasswordOf(int userId) {
  return DecodePassword(Scalar("SELECT USER_PWD FROM QUARVEL WHERE USER_ID=:ID", {{"ID", userId}}));
}

}  // namespace qv::test

#include "qvd3/data/statements.h"

namespace qv::sql {

const std::string_view qryUsers =
    "SELECT\n"
    "USERQV_NAME ,\n"
    "REAL_NAME ,\n"
    "USER_PWD ,\n"
    "USER_ID ,\n"
    "LAST_PWD_CHANGE ,\n"
    "PROFILE_ID,\n"
    "AUDIT_MODE\n"
    "FROM QUARVEL\n"
    "ORDER BY USERQV_NAME";

const std::string_view qryProfiles =
    "SELECT PROF_DESCRIPTION ,\n"
    "PROF_ID ,\n"
    "INTERVAL_CHANGE_PWD ,\n"
    "MUST_CHANGE_PWD ,\n"
    "HIDE_DISABLE_MENU,\n"
    "AUDIT_MODE\n"
    "FROM PROFILES\n"
    "ORDER BY PROF_DESCRIPTION";

const std::string_view qryProgs =
    "SELECT APP_KEY , MENU_NAME ,\n"
    "MENU_ID , MENU_CAPTION\n"
    "FROM PROGS\n"
    "WHERE APP_KEY=:APP_KEY";

const std::string_view qryHistory =
    "SELECT USER_ID , USER_PWD ,\n"
    "CHANGE_DATE\n"
    "FROM HISTORY";

const std::string_view qryUAccess =
    "SELECT APP_KEY , USER_ID ,\n"
    "MENU_ID , AUTHORIZED\n"
    "FROM UACCESS\n"
    "WHERE APP_KEY=:APP_KEY";

const std::string_view qryPAccess =
    "SELECT APP_KEY , PROF_ID ,\n"
    "MENU_ID , AUTHORIZED\n"
    "FROM PACCESS\n"
    "WHERE APP_KEY=:APP_KEY";

const std::string_view qryAudit =
    "SELECT APP_KEY , USER_ID ,\n"
    "PROG_ID ,\n"
    "START_SESSION ,\n"
    "END_SESSION ,\n"
    "COMPUTER_NAME\n"
    "FROM AUDIT\n"
    "WHERE APP_KEY=:APP_KEY";

const std::string_view qryUserInfo =
    "Select\n"
    "APP_KEY,\n"
    "USER_ID,\n"
    "EXPIRATION_DATE,\n"
    "USER_EXPIRE,\n"
    "USER_ACTIVE\n"
    "From UserInfo\n"
    "Where APP_KEY=:APP_KEY";

const std::string_view qryUserName =
    "SELECT USERQV_NAME, USER_ID\n"
    "FROM QUARVEL\n"
    "WHERE USERQV_NAME<>'master'\n"
    "ORDER BY QUARVEL.USERQV_NAME";

const std::string_view qryMenuCaption =
    "SELECT MENU_CAPTION, MENU_ID\n"
    "FROM PROGS\n"
    "WHERE PROGS.APP_KEY=:APP_KEY\n"
    "Order By PROGS.MENU_CAPTION";

const std::string_view ProfNull =
    "Update QUARVEL\n"
    "Set PROFILE_ID=0\n"
    "Where PROFILE_ID=:PROF_ID";

const std::string_view DelUserFromUAccess =
    "delete From UAccess\n"
    "Where USER_ID=:USER_ID";

const std::string_view DelProgsFromUAccess =
    "delete From UAccess\n"
    "Where MENU_ID=:MENU_ID";

const std::string_view DelProfsFromPAccess =
    "delete From PAccess\n"
    "Where PROF_ID=:PROF_ID";

const std::string_view DelProgsFromPAccess =
    "delete From PAccess\n"
    "Where MENU_ID=:MENU_ID";

const std::string_view DelUHistory =
    "delete From History\n"
    "Where USER_ID=:USER_ID";

const std::string_view UpdateUFromProfile =
    "Update UAccess\n"
    "Set AUTHORIZED = (Select PAccess.AUTHORIZED\n"
    "From PAccess, QUARVEL\n"
    "Where PAccess.MENU_ID=UAccess.MENU_ID AND\n"
    "QUARVEL.PROFILE_ID=PAccess.PROF_ID   AND\n"
    "QUARVEL.USER_ID=UAccess.USER_ID  AND\n"
    "QUARVEL.USER_ID=:USER_ID)\n"
    "Where USER_ID=:USER_ID";

const std::string_view UpdateUsersFromProfile =
    "Update UAccess\n"
    "Set AUTHORIZED = (Select PAccess.AUTHORIZED\n"
    "From PAccess, QUARVEL\n"
    "Where PAccess.MENU_ID=UAccess.MENU_ID AND\n"
    "QUARVEL.PROFILE_ID=PAccess.PROF_ID   AND\n"
    "QUARVEL.USER_ID=UAccess.USER_ID  AND\n"
    "QUARVEL.PROFILE_ID=:PROF_ID)\n"
    "Where USER_ID IN (Select USER_ID From QUARVEL\n"
    "Where PROFILE_ID=:PROF_ID AND USERQV_NAME<>'master')";

const std::string_view qryAdduserInfo =
    "Insert into UserInfo Values\n"
    "(:APP_KEY,\n"
    ":USER_ID,\n"
    ":EXPIRATION_DATE,\n"
    "'0',\n"
    "'1'\n"
    ")";

const std::string_view qryDelUserInfo =
    "Delete From UserInfo\n"
    "Where USER_ID=:USER_ID";

const std::string_view GenerateUserId = "Select MAX(USER_ID) From QUARVEL";
const std::string_view GenerateProfId = "Select Max(PROF_ID) From Profiles";
const std::string_view GenerateMenuId = "Select Max(MENU_ID) From Progs";

std::string SetRightsOfItems(bool users, std::size_t items) {
  std::string text = std::string("UPDATE ") + (users ? "UACCESS" : "PACCESS") +
                     " SET AUTHORIZED=:AUTHORIZED WHERE APP_KEY=:APP_KEY AND " + (users ? "USER_ID" : "PROF_ID") +
                     "=:ID AND MENU_ID IN (";
  for (std::size_t i = 0; i < items; ++i) text += (i > 0 ? ", :M" : ":M") + std::to_string(i);
  return text + ")";
}

std::string InsertCatalogueRows(std::size_t rows) {
  std::string text = "INSERT INTO PROGS (APP_KEY, MENU_NAME, MENU_ID, MENU_CAPTION) VALUES ";
  for (std::size_t i = 0; i < rows; ++i) {
    const std::string n = std::to_string(i);
    text += (i > 0 ? ", (:APP_KEY, :N" : "(:APP_KEY, :N") + n + ", :I" + n + ", :C" + n + ")";
  }
  return text;
}

const std::string_view ReadAccount =
    "SELECT Q.USERQV_NAME, Q.REAL_NAME, Q.USER_PWD, Q.USER_ID, Q.LAST_PWD_CHANGE,\n"
    "Q.PROFILE_ID, Q.AUDIT_MODE,\n"
    "I.USER_ID AS INFO_USER_ID, I.EXPIRATION_DATE AS INFO_EXPIRATION_DATE,\n"
    "I.USER_EXPIRE AS INFO_USER_EXPIRE, I.USER_ACTIVE AS INFO_USER_ACTIVE,\n"
    "P.PROF_ID AS PROF_ID, P.PROF_DESCRIPTION AS PROF_DESCRIPTION,\n"
    "P.INTERVAL_CHANGE_PWD AS PROF_INTERVAL_CHANGE_PWD, P.MUST_CHANGE_PWD AS PROF_MUST_CHANGE_PWD,\n"
    "P.HIDE_DISABLE_MENU AS PROF_HIDE_DISABLE_MENU, P.AUDIT_MODE AS PROF_AUDIT_MODE\n"
    "FROM QUARVEL Q\n"
    "LEFT JOIN USERINFO I ON I.USER_ID=Q.USER_ID AND I.APP_KEY=:APP_KEY\n"
    "LEFT JOIN PROFILES P ON P.PROF_ID=Q.PROFILE_ID\n"
    "WHERE Q.USERQV_NAME=:USERQV_NAME";

const std::string_view ReadUserRights =
    "SELECT P.MENU_NAME, U.AUTHORIZED\n"
    "FROM PROGS P, UACCESS U\n"
    "WHERE P.APP_KEY=:APP_KEY AND U.APP_KEY=:APP_KEY\n"
    "AND U.MENU_ID=P.MENU_ID AND U.USER_ID=:USER_ID";

const std::string_view ReadFormerPassword =
    "SELECT USER_ID FROM HISTORY\n"
    "WHERE USER_ID=:USER_ID AND USER_PWD=:USER_PWD";

}  // namespace qv::sql

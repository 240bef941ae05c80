// Every statement of the data module run against the security tables as
// created by CreateSchemaStatements, on both engines.
#include "qvd3/data/statements.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "qvd3/component/password.h"
#include "qvd3/data/schema.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/query.h"
#include "tests/support/db/engine_fixture.h"

namespace qv {
namespace {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;
using Params = std::vector<std::pair<std::string, Value>>;

constexpr const char* kNull = "<null>";

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

class StatementsTest : public test::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    for (const std::string& statement : CreateSchemaStatements(EngineName())) Exec(statement);
  }

  void Prepare(TQuery& query, std::string_view sql, const Params& params) {
    query.SetDatabaseName(Alias());
    query.SetSQL(sql);
    for (const auto& [name, value] : params) query.ParamByName(name).SetValue(value);
  }

  std::int64_t Run(std::string_view sql, const Params& params = {}) {
    TQuery query;
    Prepare(query, sql, params);
    return query.ExecSQL();
  }

  // All rows of a select, every value as text (kNull for null).
  Rows Select(std::string_view sql, const Params& params = {}) {
    TQuery query;
    Prepare(query, sql, params);
    query.Open();
    Rows rows;
    for (; !query.Eof(); query.Next()) {
      Row row;
      for (TField* field : query.Fields()) row.push_back(field->IsNull() ? kNull : field->AsString());
      rows.push_back(std::move(row));
    }
    return rows;
  }

  void AddUser(std::string_view name, int id, int profile, std::string_view password = "") {
    Run("INSERT INTO QUARVEL VALUES (:N, :R, :P, :I, '', :F, '0')",
        {{"N", name}, {"R", "Real " + std::string(name)}, {"P", Value::Bytes(EncodePassword(password))},
         {"I", id}, {"F", profile}});
  }
  void AddProg(std::string_view app, int id) {
    Run("INSERT INTO PROGS VALUES (:A, :N, :I, :C)",
        {{"A", app}, {"N", "mi" + std::to_string(id)}, {"I", id}, {"C", "Item " + std::to_string(id)}});
  }
  void AddUAccess(std::string_view app, int user, int menu, std::string_view authorized) {
    Run("INSERT INTO UACCESS VALUES (:A, :U, :M, :Z)",
        {{"A", app}, {"U", user}, {"M", menu}, {"Z", authorized}});
  }
  void AddPAccess(std::string_view app, int profile, int menu, std::string_view authorized) {
    Run("INSERT INTO PACCESS VALUES (:A, :P, :M, :Z)",
        {{"A", app}, {"P", profile}, {"M", menu}, {"Z", authorized}});
  }

  Rows Rights() { return Select("SELECT APP_KEY, USER_ID, MENU_ID, AUTHORIZED FROM UACCESS ORDER BY USER_ID, MENU_ID"); }

  // Runs `sql` and returns the error it raises; fails the test when none.
  EDatabaseError ErrorOf(std::string_view sql, const Params& params = {}) {
    try {
      Run(sql, params);
    } catch (const EDatabaseError& error) {
      return error;
    }
    ADD_FAILURE() << "no error from " << sql;
    return EDatabaseError("none");
  }
};

// Each live select opens on the new tables, reads their columns in table
// order and learns the declared widths of the text columns.
TEST_P(StatementsTest, LiveSelectsReadEveryColumnWithItsWidth) {
  const std::pair<std::string_view, std::string_view> selects[] = {
      {sql::qryUsers, "QUARVEL"},     {sql::qryProfiles, "PROFILES"}, {sql::qryProgs, "PROGS"},
      {sql::qryHistory, "HISTORY"},   {sql::qryUAccess, "UACCESS"},   {sql::qryPAccess, "PACCESS"},
      {sql::qryAudit, "AUDIT"},       {sql::qryUserInfo, "USERINFO"}};
  for (const auto& [text, table_name] : selects) {
    TQuery query;
    Prepare(query, text, {});
    if (query.Params().Count() > 0) query.ParamByName("APP_KEY").SetAsString("APP");
    query.SetRequestLive(true);
    query.Open();
    const TableDef& table = *FindTable(table_name);
    ASSERT_EQ(query.FieldCount(), static_cast<int>(table.columns.size())) << table_name;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      const ColumnDef& column = table.columns[i];
      const TField& field = *query.Fields()[i];
      EXPECT_TRUE(SameText(field.FieldName(), column.name)) << field.FieldName();
      if (column.type == ColumnType::kString) {
        EXPECT_EQ(field.Size(), column.width) << table_name << "." << column.name;
      }
    }
    EXPECT_TRUE(query.IsEmpty());
  }
}

TEST_P(StatementsTest, GeneratedIdsReadZeroOnEmptyTablesThenTheLargestOfAllApplications) {
  for (std::string_view text : {sql::GenerateUserId, sql::GenerateProfId, sql::GenerateMenuId}) {
    TQuery query;
    Prepare(query, text, {});
    query.Open();
    ASSERT_FALSE(query.Eof());
    EXPECT_TRUE(query.Fields()[0]->IsNull());
    EXPECT_EQ(query.Fields()[0]->AsInteger(), 0);
  }
  AddUser("ana", 7, 0);
  AddUser("bia", 3, 0);
  AddProg("APP1", 4);
  AddProg("APP2", 9);
  Run("INSERT INTO PROFILES VALUES ('Caixa', 2, NULL, '0', 0, '0')");
  EXPECT_EQ(Select(sql::GenerateUserId), (Rows{{"7"}}));
  EXPECT_EQ(Select(sql::GenerateProfId), (Rows{{"2"}}));
  EXPECT_EQ(Select(sql::GenerateMenuId), (Rows{{"9"}}));
}

TEST_P(StatementsTest, UserNamesLeaveOutTheAdministratorInNameOrder) {
  AddUser("master", 1, 0);
  AddUser("zeca", 2, 0);
  AddUser("ana", 3, 0);
  AddUser("Master", 4, 0);
  EXPECT_EQ(Select(sql::qryUserName), (Rows{{"Master", "4"}, {"ana", "3"}, {"zeca", "2"}}));
}

TEST_P(StatementsTest, SelectsByApplicationKeyKeepOtherApplicationsOut) {
  AddProg("APP1", 2);
  AddProg("APP2", 1);
  Run("UPDATE PROGS SET MENU_CAPTION='Abrir' WHERE MENU_ID=2");
  AddProg("APP1", 3);
  Run("UPDATE PROGS SET MENU_CAPTION='Zoom' WHERE MENU_ID=3");
  EXPECT_EQ(Select(sql::qryMenuCaption, {{"APP_KEY", "APP1"}}), (Rows{{"Abrir", "2"}, {"Zoom", "3"}}));
  EXPECT_EQ(Select(sql::qryProgs, {{"APP_KEY", "APP2"}}), (Rows{{"APP2", "mi1", "1", "Item 1"}}));
  AddUAccess("APP1", 1, 2, "1");
  AddUAccess("APP2", 1, 1, "0");
  AddPAccess("APP2", 5, 1, "1");
  EXPECT_EQ(Select(sql::qryUAccess, {{"APP_KEY", "APP1"}}), (Rows{{"APP1", "1", "2", "1"}}));
  EXPECT_EQ(Select(sql::qryPAccess, {{"APP_KEY", "APP1"}}), Rows{});
  EXPECT_EQ(Select(sql::qryPAccess, {{"APP_KEY", "APP2"}}), (Rows{{"APP2", "5", "1", "1"}}));
}

// The two tables filled by inserts without a column list, exactly as the
// data module and the audit of menu commands write them.
TEST_P(StatementsTest, PositionalInsertsFillUserInfoAndAudit) {
  Run(sql::qryAdduserInfo, {{"APP_KEY", "APP1"}, {"USER_ID", 5}, {"EXPIRATION_DATE", "07/12/2026"}});
  EXPECT_EQ(Select(sql::qryUserInfo, {{"APP_KEY", "APP1"}}),
            (Rows{{"APP1", "5", "07/12/2026", "0", "1"}}));
  EXPECT_EQ(Select(sql::qryUserInfo, {{"APP_KEY", "APP2"}}), Rows{});

  const std::string audit =
      "Insert into Audit values ('APP1',5,3,'07/12/2026 10:11:12','07/12/2026 10:11:13','ESTACAO-07')";
  Run(audit);
  Run(audit);  // identical rows are legitimate: no key on AUDIT
  const Row row = {"APP1", "5", "3", "07/12/2026 10:11:12", "07/12/2026 10:11:13", "ESTACAO-07"};
  EXPECT_EQ(Select(sql::qryAudit, {{"APP_KEY", "APP1"}}), (Rows{row, row}));
}

TEST_P(StatementsTest, HistoryKeepsIdenticalRows) {
  const std::string insert = "INSERT INTO HISTORY VALUES (1, 'velha', '07/12/2026')";
  Run(insert);
  Run(insert);
  EXPECT_EQ(Select(sql::qryHistory), (Rows{{"1", "velha", "07/12/2026"}, {"1", "velha", "07/12/2026"}}));
  EXPECT_EQ(Run(sql::DelUHistory, {{"USER_ID", 1}}), 2);
  EXPECT_EQ(Select(sql::qryHistory), Rows{});
}

// User 1 has profile 5, which rules items 10 and 11 of APP1 and item 20 of
// APP2 but not item 12; user 2 has no profile.
TEST_P(StatementsTest, RightsFollowTheProfileAndUnruledItemsBecomeNull) {
  AddUser("ana", 1, 5);
  AddUser("bia", 2, 0);
  AddPAccess("APP1", 5, 10, "1");
  AddPAccess("APP1", 5, 11, "0");
  AddPAccess("APP2", 5, 20, "1");
  AddPAccess("APP1", 6, 12, "1");  // another profile's right
  for (int menu : {10, 11, 12}) AddUAccess("APP1", 1, menu, "0");
  AddUAccess("APP2", 1, 20, "0");
  AddUAccess("APP1", 2, 10, "1");
  AddUAccess("APP2", 2, 20, "1");

  Run(sql::UpdateUFromProfile, {{"USER_ID", 1}});
  EXPECT_EQ(Rights(), (Rows{{"APP1", "1", "10", "1"},
                            {"APP1", "1", "11", "0"},
                            {"APP1", "1", "12", kNull},
                            {"APP2", "1", "20", "1"},
                            {"APP1", "2", "10", "1"},
                            {"APP2", "2", "20", "1"}}));

  Run(sql::UpdateUFromProfile, {{"USER_ID", 2}});
  const Rows after = Rights();
  EXPECT_EQ(after[4], (Row{"APP1", "2", "10", kNull}));
  EXPECT_EQ(after[5], (Row{"APP2", "2", "20", kNull}));
  EXPECT_EQ(after[0], (Row{"APP1", "1", "10", "1"}));
}

// The profile-wide update gives each user of the profile what the per-user
// one gives, and leaves other profiles' users and "master" alone.
TEST_P(StatementsTest, UsersOfAProfileFollowItAtOnce) {
  AddUser("master", 1, 5);
  AddUser("ana", 2, 5);
  AddUser("bia", 3, 5);
  AddUser("caio", 4, 6);
  AddPAccess("APP1", 5, 10, "1");
  AddPAccess("APP1", 6, 10, "0");
  for (int user : {1, 2, 3, 4}) {
    AddUAccess("APP1", user, 10, "0");
    AddUAccess("APP1", user, 11, "1");
  }

  Run(sql::UpdateUsersFromProfile, {{"PROF_ID", 5}});
  EXPECT_EQ(Rights(), (Rows{{"APP1", "1", "10", "0"},
                            {"APP1", "1", "11", "1"},
                            {"APP1", "2", "10", "1"},
                            {"APP1", "2", "11", kNull},
                            {"APP1", "3", "10", "1"},
                            {"APP1", "3", "11", kNull},
                            {"APP1", "4", "10", "0"},
                            {"APP1", "4", "11", "1"}}));
}

TEST_P(StatementsTest, DeletionCommandsRemoveDependentRowsOfEveryApplication) {
  AddUser("ana", 1, 5);
  AddUser("bia", 2, 5);
  AddUser("caio", 3, 6);
  AddUAccess("APP1", 1, 10, "1");
  AddUAccess("APP2", 1, 20, "1");
  AddUAccess("APP1", 2, 10, "1");
  AddPAccess("APP1", 5, 10, "1");
  AddPAccess("APP2", 5, 20, "1");
  AddPAccess("APP1", 6, 10, "1");
  Run(sql::qryAdduserInfo, {{"APP_KEY", "APP1"}, {"USER_ID", 1}, {"EXPIRATION_DATE", "01/01/2027"}});
  Run(sql::qryAdduserInfo, {{"APP_KEY", "APP2"}, {"USER_ID", 1}, {"EXPIRATION_DATE", "01/01/2027"}});
  Run(sql::qryAdduserInfo, {{"APP_KEY", "APP1"}, {"USER_ID", 2}, {"EXPIRATION_DATE", "01/01/2027"}});

  EXPECT_EQ(Run(sql::DelUserFromUAccess, {{"USER_ID", 1}}), 2);
  EXPECT_EQ(Rights(), (Rows{{"APP1", "2", "10", "1"}}));
  EXPECT_EQ(Run(sql::qryDelUserInfo, {{"USER_ID", 1}}), 2);
  EXPECT_EQ(Select("SELECT APP_KEY, USER_ID FROM USERINFO"), (Rows{{"APP1", "2"}}));

  EXPECT_EQ(Run(sql::DelProgsFromUAccess, {{"MENU_ID", 10}}), 1);
  EXPECT_EQ(Rights(), Rows{});
  EXPECT_EQ(Run(sql::DelProgsFromPAccess, {{"MENU_ID", 20}}), 1);
  EXPECT_EQ(Run(sql::DelProfsFromPAccess, {{"PROF_ID", 5}}), 1);
  EXPECT_EQ(Select("SELECT APP_KEY, PROF_ID, MENU_ID FROM PACCESS"), (Rows{{"APP1", "6", "10"}}));

  EXPECT_EQ(Run(sql::ProfNull, {{"PROF_ID", 5}}), 2);
  EXPECT_EQ(Select("SELECT USER_ID, PROFILE_ID FROM QUARVEL ORDER BY USER_ID"),
            (Rows{{"1", "0"}, {"2", "0"}, {"3", "6"}}));
}

TEST_P(StatementsTest, ScrambledPasswordsRoundTripByteForByte) {
  const std::string password = std::string("\x03senha\xE7\xE3o", 9);  // scrambles to a leading NUL
  AddUser("ana", 1, 0, password);
  TQuery users;
  Prepare(users, sql::qryUsers, {});
  users.SetRequestLive(true);
  users.Open();
  const std::string stored = users.FieldByName("USER_PWD").AsString();
  ASSERT_EQ(stored.size(), password.size());
  EXPECT_EQ(stored[0], '\0');
  EXPECT_EQ(DecodePassword(stored), password);
}

TEST_P(StatementsTest, KeysRefuseDuplicatesAsKeyViolations) {
  AddUser("ana", 1, 0);
  TQuery users;
  Prepare(users, sql::qryUsers, {});
  users.SetRequestLive(true);
  users.Open();
  users.Append();
  users.FieldByName("USERQV_NAME").SetAsString("ana");
  users.FieldByName("USER_ID").SetAsInteger(2);
  try {
    users.Post();
    ADD_FAILURE() << "a second user named ana was stored";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.FirstCode(), 0x2601) << error.what();
  }
  users.Cancel();

  EXPECT_EQ(ErrorOf("INSERT INTO QUARVEL (USERQV_NAME, USER_ID) VALUES ('bia', 1)").FirstCode(), 0x2601);
  AddUAccess("APP1", 1, 10, "0");
  EXPECT_EQ(ErrorOf("INSERT INTO UACCESS VALUES ('APP1', 1, 10, '1')").FirstCode(), 0x2601);
  AddUAccess("APP2", 1, 10, "0");  // the same item in another application is another row
  AddPAccess("APP1", 5, 10, "0");
  EXPECT_EQ(ErrorOf("INSERT INTO PACCESS VALUES ('APP1', 5, 10, '1')").FirstCode(), 0x2601);
  Run(sql::qryAdduserInfo, {{"APP_KEY", "APP1"}, {"USER_ID", 1}, {"EXPIRATION_DATE", "01/01/2027"}});
  EXPECT_EQ(ErrorOf(sql::qryAdduserInfo,
                    {{"APP_KEY", "APP1"}, {"USER_ID", 1}, {"EXPIRATION_DATE", "01/01/2027"}})
                .FirstCode(),
            0x2601);
}

QV_INSTANTIATE_ENGINES(StatementsTest);

}  // namespace
}  // namespace qv

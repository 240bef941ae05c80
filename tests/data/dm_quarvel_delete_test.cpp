// Deleting users, profiles and catalogue rows through the data module: the
// confirmation, the cascade to dependent rows, and that a refused final
// delete leaves every dependent row in place.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "tests/data/dm_quarvel_fixture.h"

namespace qv {
namespace {

using test::kApp;
using test::kOtherApp;

// Two users, a profile, two catalogue items per application, with rights,
// state rows, history and audit rows for both users in both applications.
class DataModuleDeleteTest : public test::DataModuleTest {
 protected:
  void SetUp() override {
    DataModuleTest::SetUp();
    if (HasFatalFailure()) return;
    sales = AddProfile("Vendas");
    spare = AddProfile("Reserva");
    ana = AddUser("ana", "x", sales);
    bia = AddUser("bia", "x", sales);
    menu = AddProg(kApp, "mnuA", "A");
    otherMenu = AddProg(kOtherApp, "mnuB", "B");
    for (int user : {ana, bia}) {
      SetUAccess(kApp, user, menu, "1");
      SetUAccess(kOtherApp, user, otherMenu, "1");
      AddUserInfo(kApp, user);
      AddUserInfo(kOtherApp, user);
      AddHistory(user, "velha", TodayText());
      ExecWith("INSERT INTO AUDIT VALUES (:APP, :U, :M, 'a', 'b', 'pc')",
               {{"APP", kApp}, {"U", user}, {"M", menu}});
    }
    for (int prof : {sales, spare}) {
      SetPAccess(kApp, prof, menu, "1");
      SetPAccess(kOtherApp, prof, otherMenu, "1");
    }
  }

  // Every row that depends on `user`, over all applications.
  long long UserRows(int user) {
    return RowsWhere("UACCESS", "USER_ID", user) + RowsWhere("USERINFO", "USER_ID", user) +
           RowsWhere("HISTORY", "USER_ID", user);
  }

  // Makes the engine refuse every row delete from `table` on the test
  // connection, as a lock or a constraint of another program would.
  void RefuseDeleteFrom(const std::string& table) {
    const std::string prefix = "DELETE FROM " + table + " ";
    Db().SetStatementHook([prefix](std::string_view sql) {
      if (sql.substr(0, prefix.size()) == prefix) throw EDatabaseError("row is locked", {0x7777});
    });
  }

  int sales = 0, spare = 0, ana = 0, bia = 0, menu = 0, otherMenu = 0;
};

TEST_P(DataModuleDeleteTest, NoToTheUserQuestionChangesAndShowsNothing) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana)));
  ui.AnswerMessages(mrNo);
  EXPECT_THROW(m.qryUsers.Delete(), EAbort);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].Text, "Deseja realmente eliminar o usuário ana ?");
  EXPECT_EQ(ui.Messages()[0].Type, mtConfirmation);
  EXPECT_EQ(RowsWhere("QUARVEL", "USER_ID", ana), 1);
  EXPECT_EQ(UserRows(ana), 5);
  EXPECT_EQ(m.qryUsers.FieldByName("USER_ID").AsInteger(), ana);
  EXPECT_FALSE(Db().InTransaction());
}

TEST_P(DataModuleDeleteTest, YesRemovesTheUsersDependentRowsEverywhereButKeepsAudit) {
  TUsers& m = OpenModule();
  const int users = m.qryUsers.RecordCount();
  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana)));
  ui.AnswerMessages(mrYes);
  m.qryUsers.Delete();

  ASSERT_EQ(ui.Messages().size(), 2u);
  EXPECT_EQ(ui.Messages()[0].Text, "Deseja realmente eliminar o usuário ana ?");
  EXPECT_EQ(ui.Messages()[1].Text, "Usuário Eliminado");
  EXPECT_EQ(ui.Messages()[1].Type, mtInformation);
  EXPECT_EQ(RowsWhere("QUARVEL", "USER_ID", ana), 0);
  EXPECT_EQ(UserRows(ana), 0);
  EXPECT_EQ(RowsWhere("AUDIT", "USER_ID", ana), 1);
  EXPECT_EQ(UserRows(bia), 5);
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(m.qryUsers.RecordCount(), users - 1);
  EXPECT_FALSE(m.qryUsers.Locate("USER_ID", Value(ana)));
  // The reopened datasets no longer show her rows; her audit row finds no name.
  EXPECT_TRUE(m.qryUAccess.Lookup("USER_ID", {Value(ana)}, "MENU_ID").IsNull());
  EXPECT_TRUE(m.qryHistory.Lookup("USER_ID", {Value(ana)}, "USER_PWD").IsNull());
  ASSERT_TRUE(m.qryAudit.Locate("USER_ID", Value(ana)));
  EXPECT_TRUE(m.qryAuditUSERQV_NAME.IsNull());
}

TEST_P(DataModuleDeleteTest, ProfileDeleteLeavesItsMembersWithoutProfileAndRemovesItsRights) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryProfiles.Locate("PROF_ID", Value(sales)));
  ui.AnswerMessages(mrNo);
  EXPECT_THROW(m.qryProfiles.Delete(), EAbort);
  EXPECT_EQ(RowsWhere("PACCESS", "PROF_ID", sales), 2);
  EXPECT_EQ(RowsWhere("QUARVEL", "PROFILE_ID", sales), 2);

  ui.AnswerMessages(mrYes);
  m.qryProfiles.Delete();
  ASSERT_EQ(ui.Messages().size(), 3u);
  EXPECT_EQ(ui.Messages()[1].Text, "Deseja realmente eliminar o perfil de usuário Vendas ?");
  EXPECT_EQ(ui.Messages()[2].Text, "Perfil de Usuário eliminado");
  EXPECT_EQ(RowsWhere("PROFILES", "PROF_ID", sales), 0);
  EXPECT_EQ(RowsWhere("QUARVEL", "PROFILE_ID", sales), 0);
  EXPECT_EQ(
      ScalarValue("SELECT PROFILE_ID FROM QUARVEL WHERE USER_ID=:ID", {{"ID", ana}}).AsInteger(),
      0);
  EXPECT_EQ(
      ScalarValue("SELECT PROFILE_ID FROM QUARVEL WHERE USER_ID=:ID", {{"ID", bia}}).AsInteger(),
      0);
  EXPECT_EQ(RowsWhere("PACCESS", "PROF_ID", sales), 0);
  EXPECT_EQ(RowsWhere("PACCESS", "PROF_ID", spare), 2);
  // Former members keep their own rights.
  EXPECT_EQ(UserRows(ana), 5);
  EXPECT_FALSE(Db().InTransaction());
}

TEST_P(DataModuleDeleteTest, CatalogueRowGoesWithoutQuestionAndTakesItsRights) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryProgs.Locate("MENU_ID", Value(menu)));
  m.qryProgs.Delete();
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_EQ(RowsWhere("PROGS", "MENU_ID", menu), 0);
  EXPECT_EQ(RowsWhere("UACCESS", "MENU_ID", menu), 0);
  EXPECT_EQ(RowsWhere("PACCESS", "MENU_ID", menu), 0);
  EXPECT_EQ(RowsWhere("UACCESS", "MENU_ID", otherMenu), 2);
  EXPECT_EQ(RowsWhere("PACCESS", "MENU_ID", otherMenu), 2);
  EXPECT_FALSE(Db().InTransaction());
}

// The engine refuses the row's own delete: the cascade before it is undone,
// nothing is reported as deleted, and the dataset still holds the row.
TEST_P(DataModuleDeleteTest, RefusedUserDeleteKeepsEveryDependentRow) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana)));
  const int users = m.qryUsers.RecordCount();
  ui.AnswerMessages(mrYes);
  RefuseDeleteFrom("QUARVEL");
  EXPECT_THROW(m.qryUsers.Delete(), EDatabaseError);
  Db().SetStatementHook({});

  EXPECT_EQ(RowsWhere("QUARVEL", "USER_ID", ana), 1);
  EXPECT_EQ(UserRows(ana), 5);
  EXPECT_FALSE(Db().InTransaction());
  ASSERT_EQ(ui.Messages().size(), 1u);  // the question only
  EXPECT_EQ(m.qryUsers.RecordCount(), users);
  EXPECT_EQ(m.qryUsers.FieldByName("USER_ID").AsInteger(), ana);
  // The reopened dependent datasets show the rows again.
  EXPECT_FALSE(m.qryUAccess.Lookup("USER_ID", {Value(ana)}, "MENU_ID").IsNull());
  EXPECT_FALSE(m.qryHistory.Lookup("USER_ID", {Value(ana)}, "USER_PWD").IsNull());

  // Once the engine takes it, the same delete goes through.
  ui.AnswerMessages(mrYes);
  m.qryUsers.Delete();
  EXPECT_EQ(RowsWhere("QUARVEL", "USER_ID", ana), 0);
  EXPECT_EQ(UserRows(ana), 0);
}

// Another administrator deletes bia (the last key) and creates caio, who
// gets bia's USER_ID and rows of his own. Deleting or editing bia from the
// list read before reports the conflict and leaves caio and his rows as
// they are: no cascade, no write on his row.
TEST_P(DataModuleDeleteTest, AUserAnotherAdministratorDeletedIsAConflictNotAnotherUsersLoss) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(bia)));
  TDatabase& other = Session::Default().Database(SecondAlias());
  for (const char* table : {"UACCESS", "USERINFO", "HISTORY", "QUARVEL"})
    other.ExecDirect(std::string("DELETE FROM ") + table + " WHERE USER_ID = " + std::to_string(bia));
  const int caio = AddUser("caio", "y", spare);
  ASSERT_EQ(caio, bia);
  SetUAccess(kApp, caio, menu, "1");
  AddUserInfo(kApp, caio);
  AddHistory(caio, "antiga", TodayText());

  ui.AnswerMessages(mrYes);
  try {
    m.qryUsers.Delete();
    ADD_FAILURE() << "the delete of a user already gone went through";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("QUARVEL"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Scalar("SELECT USERQV_NAME FROM QUARVEL WHERE USER_ID=:U", {{"U", caio}}), "caio");
  EXPECT_EQ(UserRows(caio), 3);
  ASSERT_EQ(ui.Messages().size(), 1u);  // the question, no "Usuário Eliminado"
  EXPECT_FALSE(Db().InTransaction());

  // The list still shows bia; an edit of her row is refused the same way.
  ASSERT_TRUE(m.qryUsers.Locate("USERQV_NAME", Value("bia")));
  m.qryUsers.Edit();
  m.qryUsers.FieldByName("REAL_NAME").SetAsString("Bia Souza");
  EXPECT_THROW(m.qryUsers.Post(), EDatabaseError);
  m.qryUsers.Cancel();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE USER_ID=:U AND USERQV_NAME='caio' AND PROFILE_ID=:P",
                  {{"U", caio}, {"P", spare}}),
            1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE REAL_NAME='Bia Souza'"), 0);
  EXPECT_EQ(UserRows(caio), 3);
}

TEST_P(DataModuleDeleteTest, RefusedProfileDeleteKeepsMembersAndRights) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryProfiles.Locate("PROF_ID", Value(sales)));
  ui.AnswerMessages(mrYes);
  RefuseDeleteFrom("PROFILES");
  EXPECT_THROW(m.qryProfiles.Delete(), EDatabaseError);
  Db().SetStatementHook({});
  EXPECT_EQ(RowsWhere("PROFILES", "PROF_ID", sales), 1);
  EXPECT_EQ(RowsWhere("QUARVEL", "PROFILE_ID", sales), 2);
  EXPECT_EQ(RowsWhere("PACCESS", "PROF_ID", sales), 2);
  EXPECT_EQ(m.qryPAccess.RecordCount(), 2);  // this application's rows, shown again
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(ui.Messages().size(), 1u);
}

TEST_P(DataModuleDeleteTest, RefusedCatalogueDeleteKeepsItsRights) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryProgs.Locate("MENU_ID", Value(menu)));
  RefuseDeleteFrom("PROGS");
  EXPECT_THROW(m.qryProgs.Delete(), EDatabaseError);
  Db().SetStatementHook({});
  EXPECT_EQ(RowsWhere("PROGS", "MENU_ID", menu), 1);
  EXPECT_EQ(RowsWhere("UACCESS", "MENU_ID", menu), 2);
  EXPECT_EQ(RowsWhere("PACCESS", "MENU_ID", menu), 2);
  EXPECT_FALSE(Db().InTransaction());
}

// A cascade statement that fails undoes the ones before it.
TEST_P(DataModuleDeleteTest, FailedCascadeStatementUndoesTheEarlierOnes) {
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana)));
  ui.AnswerMessages(mrYes);
  Db().FailNthStatement(2, "disk full");  // the history delete, after the rights delete
  EXPECT_THROW(m.qryUsers.Delete(), EDatabaseError);
  Db().SetStatementHook({});
  EXPECT_EQ(RowsWhere("UACCESS", "USER_ID", ana), 2);
  EXPECT_EQ(UserRows(ana), 5);
  EXPECT_FALSE(Db().InTransaction());
}

QV_INSTANTIATE_ENGINES(DataModuleDeleteTest);

}  // namespace
}  // namespace qv

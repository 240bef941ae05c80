// Creating a user or a profile with its rights rows through the data module:
// what is stored, and that an error at any statement of the creation, or a
// name already taken, leaves the tables and the datasets as they were.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database_error.h"
#include "tests/data/dm_quarvel_fixture.h"

namespace qv {
namespace {

using test::kApp;
using test::kOtherApp;

// Three catalogue rows here and one in another application; a profile that
// grants the first item, denies the second and says nothing of the third;
// one user already present.
class DataModuleCreateTest : public test::DataModuleTest {
 protected:
  void SetUp() override {
    DataModuleTest::SetUp();
    if (HasFatalFailure()) return;
    for (const char* name : {"mnuA", "mnuB", "mnuC"}) menus.push_back(AddProg(kApp, name, name));
    AddProg(kOtherApp, "mnuX", "X");
    consulta = AddProfile("Consulta");
    SetPAccess(kApp, consulta, menus[0], "1");
    SetPAccess(kApp, consulta, menus[1], "0");
    ana = AddUser("ana", "x");
    AddUserInfo(kApp, ana);
  }

  // Inserts a users row as the new-user dialog leaves it.
  void InsertUser(TUsers& m, const std::string& name, int profile) {
    m.qryUsers.Insert();
    m.qryUsers.FieldByName("USERQV_NAME").SetAsString(name);
    m.qryUsers.FieldByName("USER_PWD").SetValue(Value::Bytes("scrambled"));
    m.qryUsers.FieldByName("LAST_PWD_CHANGE").SetAsString(TodayText());
    m.qryUsersPROFILE_ID.SetAsInteger(profile);
  }

  void InsertProfile(TUsers& m, const std::string& description) {
    m.qryProfiles.Insert();
    m.qryProfiles.FieldByName("PROF_DESCRIPTION").SetAsString(description);
  }

  // Every row of the tables a creation writes to.
  long long StoredRows() {
    return Count("SELECT COUNT(*) FROM QUARVEL") + Count("SELECT COUNT(*) FROM USERINFO") +
           Count("SELECT COUNT(*) FROM UACCESS") + Count("SELECT COUNT(*) FROM PROFILES") +
           Count("SELECT COUNT(*) FROM PACCESS");
  }

  // Runs `create` with its n-th statement failing; false when it got
  // through without meeting the failure.
  bool PostFailing(int nth, const std::function<void()>& create) {
    Db().FailNthStatement(nth, "injected failure");
    bool failed = false;
    try {
      create();
    } catch (const EDatabaseError& error) {
      failed = true;
      EXPECT_STREQ(error.what(), "injected failure");
    }
    Db().SetStatementHook({});
    return failed;
  }

  std::string Authorized(int user, int menu) {
    return Scalar("SELECT AUTHORIZED FROM UACCESS WHERE USER_ID=:U AND MENU_ID=:M", {{"U", user}, {"M", menu}});
  }

  std::vector<int> menus;
  int consulta = 0, ana = 0;
};

TEST_P(DataModuleCreateTest, UserGetsItsStateRowAndTheProfilesRightsInThisApplicationOnly) {
  TUsers& m = OpenModule();
  InsertUser(m, "maria", consulta);
  m.PostNewUser(kApp);

  const int maria = LastUserId;
  EXPECT_EQ(m.qryUsers.FieldByName("USER_ID").AsInteger(), maria);
  EXPECT_EQ(m.qryUsers.FieldByName("USERQV_NAME").AsString(), "maria");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ID=:U AND APP_KEY=:A AND EXPIRATION_DATE=:D AND "
                  "USER_EXPIRE='0' AND USER_ACTIVE='1'",
                  {{"U", maria}, {"A", kApp}, {"D", TodayText()}}),
            1);
  EXPECT_EQ(RowsWhere("UACCESS", "USER_ID", maria), 3);
  EXPECT_EQ(Authorized(maria, menus[0]), "1");
  EXPECT_EQ(Authorized(maria, menus[1]), "0");
  EXPECT_TRUE(ScalarValue("SELECT AUTHORIZED FROM UACCESS WHERE USER_ID=:U AND MENU_ID=:M",
                          {{"U", maria}, {"M", menus[2]}})
                  .IsNull());
  // The reopened rights dataset shows them.
  EXPECT_EQ(m.qryUAccess.Lookup("USER_ID;MENU_ID", {Value(maria), Value(menus[0])}, "AUTHORIZED").AsString(), "1");
  EXPECT_FALSE(Db().InTransaction());
}

TEST_P(DataModuleCreateTest, UserWithoutProfileIsDeniedEverythingAndAnEmptyCatalogueGivesNoRows) {
  TUsers& m = OpenModule();
  InsertUser(m, "bia", 0);
  m.PostNewUser(kApp);
  const int bia = LastUserId;
  for (int menu : menus) EXPECT_EQ(Authorized(bia, menu), "0");

  TUsers& other = OpenModule("NOVO");
  InsertUser(other, "caio", consulta);
  other.PostNewUser("NOVO");
  EXPECT_EQ(RowsWhere("UACCESS", "USER_ID", LastUserId), 0);
  EXPECT_EQ(RowsWhere("QUARVEL", "USER_ID", LastUserId), 1);
}

TEST_P(DataModuleCreateTest, ProfileGetsADeniedRightsRowPerCatalogueRowOfThisApplication) {
  TUsers& m = OpenModule();
  InsertProfile(m, "Vendas");
  m.PostNewProfile(kApp);
  const int vendas = LastProfId;
  EXPECT_EQ(m.qryProfiles.FieldByName("PROF_ID").AsInteger(), vendas);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE PROF_ID=:P AND APP_KEY=:A AND AUTHORIZED='0'",
                  {{"P", vendas}, {"A", kApp}}),
            3);
  EXPECT_EQ(RowsWhere("PACCESS", "PROF_ID", vendas), 3);
  EXPECT_EQ(m.qryPAccess.Lookup("PROF_ID;MENU_ID", {Value(vendas), Value(menus[2])}, "AUTHORIZED").AsString(),
            "0");
}

// The key violation reaches the caller with its code first, also inside the
// creation's transaction (where PostgreSQL would otherwise have spoilt the
// transaction before the code could be examined), and nothing is left.
TEST_P(DataModuleCreateTest, NameAlreadyTakenFailsAsAKeyViolationAndLeavesTheListAsItWas) {
  TUsers& m = OpenModule();
  const long long before = StoredRows();
  const int listed = m.qryUsers.RecordCount();
  InsertUser(m, "ana", consulta);
  try {
    m.PostNewUser(kApp);
    FAIL() << "a second \"ana\" was stored";
  } catch (const EDatabaseError& error) {
    EXPECT_TRUE(error.IsKeyViolation()) << error.what();
  }
  EXPECT_EQ(StoredRows(), before);
  EXPECT_EQ(m.qryUsers.State(), TDataSetState::Browse);
  EXPECT_EQ(m.qryUsers.RecordCount(), listed);
  EXPECT_FALSE(Db().InTransaction());

  // The module goes on working.
  InsertUser(m, "ana2", 0);
  m.PostNewUser(kApp);
  EXPECT_EQ(RowsWhere("UACCESS", "USER_ID", LastUserId), 3);
}

// The n-th statement of the creation fails, for n = 1, 2, ... until a
// creation runs through without meeting the failure: every statement has
// then failed once.
TEST_P(DataModuleCreateTest, AnErrorAtAnyStatementOfAUserCreationLeavesNothing) {
  TUsers& m = OpenModule();
  const long long before = StoredRows();
  const int listed = m.qryUsers.RecordCount();
  const int rights = m.qryUAccess.RecordCount();
  int n = 1;
  for (;; ++n) {
    SCOPED_TRACE("statement " + std::to_string(n));
    InsertUser(m, "maria", consulta);
    if (!PostFailing(n, [&] { m.PostNewUser(kApp); })) break;
    EXPECT_EQ(StoredRows(), before);
    EXPECT_FALSE(Db().InTransaction());
    EXPECT_EQ(m.qryUsers.State(), TDataSetState::Browse);
    EXPECT_EQ(m.qryUsers.RecordCount(), listed);
    EXPECT_FALSE(m.qryUsers.Locate("USERQV_NAME", Value("maria")));
    EXPECT_EQ(m.qryUAccess.RecordCount(), rights);
  }
  // Key, row, state row, the rights rows (one statement), reopenings.
  EXPECT_GE(n - 1, 6);
  EXPECT_EQ(RowsWhere("UACCESS", "USER_ID", LastUserId), 3);
  EXPECT_EQ(Authorized(LastUserId, menus[0]), "1");
}

TEST_P(DataModuleCreateTest, AnErrorAtAnyStatementOfAProfileCreationLeavesNothing) {
  TUsers& m = OpenModule();
  const long long before = StoredRows();
  const int listed = m.qryProfiles.RecordCount();
  const int rights = m.qryPAccess.RecordCount();
  int n = 1;
  for (;; ++n) {
    SCOPED_TRACE("statement " + std::to_string(n));
    InsertProfile(m, "Vendas");
    if (!PostFailing(n, [&] { m.PostNewProfile(kApp); })) break;
    EXPECT_EQ(StoredRows(), before);
    EXPECT_FALSE(Db().InTransaction());
    EXPECT_EQ(m.qryProfiles.State(), TDataSetState::Browse);
    EXPECT_EQ(m.qryProfiles.RecordCount(), listed);
    EXPECT_EQ(m.qryPAccess.RecordCount(), rights);
  }
  EXPECT_GE(n - 1, 4);
  EXPECT_EQ(RowsWhere("PACCESS", "PROF_ID", LastProfId), 3);
}

QV_INSTANTIATE_ENGINES(DataModuleCreateTest);

}  // namespace
}  // namespace qv

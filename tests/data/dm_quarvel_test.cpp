// The rules of the data module on a real security database, both engines:
// defaults, the per-application state row, re-deriving rights, the
// calculated columns and the alias hand-over.
#include "qvd3/data/dm_quarvel.h"

#include <gtest/gtest.h>

#include "tests/data/dm_quarvel_fixture.h"

namespace qv {
namespace {

using test::kApp;
using test::kOtherApp;

class DataModuleRulesTest : public test::DataModuleTest {};

TEST(DataModuleCreation, StartsClosedOnTheDefaultAliasAndHandsOverTheUsersAlias) {
  TUsers users(nullptr);
  EXPECT_FALSE(users.qryUsers.Active());
  EXPECT_EQ(users.qryUsers.DatabaseName(), "dbUsersInterbase");
  EXPECT_EQ(users.DelUHistory.DatabaseName(), "dbUsersInterbase");
  EXPECT_EQ(users.qryAdduserInfo.DatabaseName(), "");
  EXPECT_TRUE(users.qryUsers.RequestLive());
  EXPECT_FALSE(users.qryUserName.RequestLive());
  EXPECT_EQ(users.qryProfilesINTERVAL_CHANGE_PWD.DisplayFormat(), "a cada 00 dias");

  users.qryUsers.SetDatabaseName("other");
  users.qryUsersAfterOpen(users.qryUsers);
  for (TQuery* q :
       {&users.GenerateId, &users.ProfNull, &users.DelUserFromUAccess, &users.DelProgsFromUAccess,
        &users.DelProfsFromPAccess, &users.DelProgsFromPAccess, &users.DelUHistory,
        &users.UpdateUFromProfile, &users.qryUserName, &users.qryMenuCaption, &users.qryAdduserInfo,
        &users.qryDelUserInfo}) {
    EXPECT_EQ(q->DatabaseName(), "other") << q->Name();
  }
  // The live datasets keep theirs: the component sets them itself.
  EXPECT_EQ(users.qryUserInfo.DatabaseName(), "dbUsersInterbase");
}

TEST_P(DataModuleRulesTest, NewUserGetsDefaultsAndExactlyOneStateRowInTheApplication) {
  TUsers& m = OpenModule();
  m.qryUsers.Insert();
  EXPECT_EQ(m.qryUsersPROFILE_ID.AsInteger(), 0);
  EXPECT_FALSE(m.qryUsersPROFILE_ID.IsNull());
  EXPECT_EQ(m.qryUsers.FieldByName("AUDIT_MODE").AsString(), "0");
  m.qryUsers.FieldByName("USERQV_NAME").SetAsString("maria");
  m.qryUsers.Post();

  const int maria = LastUserId;
  EXPECT_EQ(maria, test::kMasterId + 1);
  EXPECT_EQ(m.qryUsers.FieldByName("USER_ID").AsInteger(), maria);
  EXPECT_EQ(m.qryUsers.FieldByName("USERQV_NAME").AsString(), "maria");
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", maria), 1);
  EXPECT_EQ(Scalar("SELECT APP_KEY FROM USERINFO WHERE USER_ID=:ID", {{"ID", maria}}), kApp);
  EXPECT_EQ(Scalar("SELECT EXPIRATION_DATE FROM USERINFO WHERE USER_ID=:ID", {{"ID", maria}}),
            "15/03/2026");
  EXPECT_EQ(Scalar("SELECT USER_EXPIRE FROM USERINFO WHERE USER_ID=:ID", {{"ID", maria}}), "0");
  EXPECT_EQ(Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE USER_ID=:ID", {{"ID", maria}}), "1");
  // qryUserInfo is left on the new user's row.
  EXPECT_TRUE(m.qryUserInfo.Filtered());
  EXPECT_EQ(m.qryUserInfo.Filter(), "USER_ID=" + std::to_string(maria));
  EXPECT_EQ(m.qryUserInfo.RecordCount(), 1);

  m.qryUsers.Edit();
  m.qryUsers.FieldByName("REAL_NAME").SetAsString("Maria Souza");
  m.qryUsers.Post();
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", maria), 1);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_P(DataModuleRulesTest, StateRowIsMadeOnlyInTheApplicationThatPosts) {
  int jose = AddUser("jose", "x");
  AddUserInfo(kOtherApp, jose);
  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(jose)));
  m.qryUsers.Edit();
  m.qryUsers.FieldByName("REAL_NAME").SetAsString("José");
  m.qryUsers.Post();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ID=:ID AND APP_KEY=:APP",
                  {{"ID", jose}, {"APP", kApp}}),
            1);
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", jose), 2);
}

// After an edit the cursor and the state-row step serve the edited user,
// not whichever user was inserted last.
TEST_P(DataModuleRulesTest, EditedUserStaysCurrentAndGetsItsOwnStateRow) {
  int ana = AddUser("ana", "x");
  TUsers& m = OpenModule();
  m.qryUsers.Append();
  m.qryUsers.FieldByName("USERQV_NAME").SetAsString("zeca");
  m.qryUsers.Post();
  const int zeca = LastUserId;

  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana)));
  m.qryUsers.Edit();
  m.qryUsers.FieldByName("REAL_NAME").SetAsString("Ana Lima");
  m.qryUsers.Post();
  EXPECT_EQ(m.qryUsers.FieldByName("USER_ID").AsInteger(), ana);
  EXPECT_EQ(m.qryUserInfo.Filter(), "USER_ID=" + std::to_string(ana));
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", ana), 1);
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", zeca), 1);
  EXPECT_EQ(LastUserId, zeca);
}

TEST_P(DataModuleRulesTest, ProfileChangeRederivesRightsAndOtherPostsLeaveThem) {
  int menu1 = AddProg(kApp, "mnuA", "A");
  int menu2 = AddProg(kApp, "mnuB", "B");
  int other = AddProg(kOtherApp, "mnuC", "C");
  int sales = AddProfile("Vendas");
  SetPAccess(kApp, sales, menu1, "1");
  SetPAccess(kApp, sales, menu2, "0");
  SetPAccess(kOtherApp, sales, other, "1");
  int ana = AddUser("ana", "x");
  SetUAccess(kApp, ana, menu1, "0");
  SetUAccess(kApp, ana, menu2, "1");
  SetUAccess(kOtherApp, ana, other, "0");
  const char* right = "SELECT AUTHORIZED FROM UACCESS WHERE USER_ID=:U AND MENU_ID=:M";

  TUsers& m = OpenModule();
  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana)));
  m.qryUsers.Edit();
  m.qryUsers.FieldByName("REAL_NAME").SetAsString("Ana");
  m.qryUsers.Post();
  EXPECT_EQ(Scalar(right, {{"U", ana}, {"M", menu1}}), "0");
  EXPECT_EQ(Scalar(right, {{"U", ana}, {"M", menu2}}), "1");

  ASSERT_TRUE(m.qryUsers.Locate("USER_ID", Value(ana)));
  m.qryUsers.Edit();
  m.qryUsersPROFILE_ID.SetAsInteger(sales);
  m.qryUsers.Post();
  EXPECT_EQ(Scalar(right, {{"U", ana}, {"M", menu1}}), "1");
  EXPECT_EQ(Scalar(right, {{"U", ana}, {"M", menu2}}), "0");
  EXPECT_EQ(Scalar(right, {{"U", ana}, {"M", other}}), "1");  // every application
  // qryUAccess was reopened and shows the new rights.
  EXPECT_EQ(
      m.qryUAccess.Lookup("USER_ID;MENU_ID", {Value(ana), Value(menu1)}, "AUTHORIZED").AsString(),
      "1");
  EXPECT_EQ(m.qryUsersPROFILE.AsString(), "Vendas");

  // Back to no profile: no profile rights, so every right becomes null.
  m.qryUsers.Edit();
  m.qryUsersPROFILE_ID.SetAsInteger(0);
  m.qryUsers.Post();
  EXPECT_TRUE(ScalarValue(right, {{"U", ana}, {"M", menu1}}).IsNull());
}

TEST_P(DataModuleRulesTest, NewProfileDefaultsAndCalculatedColumns) {
  TUsers& m = OpenModule();
  m.qryProfiles.Insert();
  EXPECT_EQ(m.qryProfilesMUST_CHANGE_PWD.AsString(), "1");
  EXPECT_EQ(m.qryProfiles.FieldByName("AUDIT_MODE").AsString(), "0");
  EXPECT_EQ(m.qryProfilesHIDE_DISABLE_MENU.AsInteger(), 0);
  EXPECT_FALSE(m.qryProfilesHIDE_DISABLE_MENU.IsNull());
  EXPECT_TRUE(m.qryProfilesINTERVAL_CHANGE_PWD.IsNull());
  EXPECT_EQ(m.qryProfilesItemNotAutorized.AsString(), "");
  EXPECT_EQ(m.qryProfilesCalcMustChangePwd.AsString(), "Sim");

  m.qryProfilesHIDE_DISABLE_MENU.SetAsInteger(1);
  EXPECT_EQ(m.qryProfilesItemNotAutorized.AsString(), "Invisível");
  m.qryProfilesHIDE_DISABLE_MENU.SetAsInteger(2);
  EXPECT_EQ(m.qryProfilesItemNotAutorized.AsString(), "Desabilitado");
  m.qryProfilesHIDE_DISABLE_MENU.SetAsInteger(3);
  EXPECT_EQ(m.qryProfilesItemNotAutorized.AsString(), "");
  m.qryProfilesMUST_CHANGE_PWD.SetAsString("0");
  EXPECT_EQ(m.qryProfilesCalcMustChangePwd.AsString(), "Não");
  m.qryProfilesMUST_CHANGE_PWD.SetAsString("");
  EXPECT_EQ(m.qryProfilesCalcMustChangePwd.AsString(), "");
}

TEST_P(DataModuleRulesTest, ProfileThatForcesNoChangeStoresNoInterval) {
  TUsers& m = OpenModule();
  m.qryProfiles.Insert();
  m.qryProfiles.FieldByName("PROF_DESCRIPTION").SetAsString("Livre");
  m.qryProfilesMUST_CHANGE_PWD.SetAsString("0");
  m.qryProfilesINTERVAL_CHANGE_PWD.SetAsInteger(30);
  m.qryProfiles.Post();
  const int livre = LastProfId;
  EXPECT_EQ(livre, 1);
  EXPECT_EQ(m.qryProfiles.FieldByName("PROF_ID").AsInteger(), livre);
  const char* interval = "SELECT INTERVAL_CHANGE_PWD FROM PROFILES WHERE PROF_ID=:ID";
  EXPECT_TRUE(ScalarValue(interval, {{"ID", livre}}).IsNull());

  // Forcing changes keeps the interval; giving it up again on an edit clears it.
  m.qryProfiles.Edit();
  m.qryProfilesMUST_CHANGE_PWD.SetAsString("1");
  m.qryProfilesINTERVAL_CHANGE_PWD.SetAsInteger(5);
  m.qryProfiles.Post();
  EXPECT_EQ(ScalarValue(interval, {{"ID", livre}}).AsInteger(), 5);
  EXPECT_EQ(m.qryProfilesINTERVAL_CHANGE_PWD.DisplayText(), "a cada 05 dias");
  EXPECT_EQ(m.qryProfilesINTERVAL_CHANGE_PWD.Text(), "05");
  m.qryProfiles.Edit();
  m.qryProfilesMUST_CHANGE_PWD.SetAsString("0");
  m.qryProfiles.Post();
  EXPECT_TRUE(ScalarValue(interval, {{"ID", livre}}).IsNull());
  EXPECT_EQ(m.qryProfilesINTERVAL_CHANGE_PWD.DisplayText(), "");
}

// Each users row shows its own user's state, also while qryUserInfo is
// filtered to a single user.
TEST_P(DataModuleRulesTest, EachUserRowShowsItsOwnActiveState) {
  int ana = AddUser("ana", "x");
  int bia = AddUser("bia", "x");
  int caio = AddUser("caio", "x");
  AddUserInfo(kApp, ana, "0", std::nullopt, "1");
  AddUserInfo(kApp, bia, "0", std::nullopt, "0");
  AddUserInfo(kOtherApp, caio, "0", std::nullopt, "1");  // none in this application
  TUsers& m = OpenModule();
  m.qryUserInfo.SetFilter("USER_ID=" + std::to_string(ana));
  m.qryUserInfo.SetFiltered(true);

  auto shown = [&](int id) {
    EXPECT_TRUE(m.qryUsers.Locate("USER_ID", Value(id)));
    return m.qryUsersCalcUserActive.AsString();
  };
  EXPECT_EQ(shown(ana), "Sim");
  EXPECT_EQ(shown(bia), "Não");
  EXPECT_EQ(shown(caio), "");

  // A change posted through qryUserInfo shows at the next calculation.
  m.qryUserInfo.SetFilter("USER_ID=" + std::to_string(bia));
  m.qryUserInfo.Edit();
  m.qryUserInfoUSER_ACTIVE.SetAsString("1");
  m.qryUserInfo.Post();
  EXPECT_EQ(shown(bia), "Sim");
  EXPECT_EQ(shown(ana), "Sim");
}

QV_INSTANTIATE_ENGINES(DataModuleRulesTest);

}  // namespace
}  // namespace qv

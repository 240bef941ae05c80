// The profiles page: creating a profile through the new-profile dialog with
// a denied rights row per catalogue row of this application, cancelling it,
// deleting a profile that has members, and the profile's own audit box.
#include <gtest/gtest.h>

#include <string>

#include "qvd3/dialogs/new_prof_qv.h"
#include "tests/admin/admin_fixture.h"

namespace qv::test {
namespace {

class ProfilesPageTest : public AdminTest {
 protected:
  TFormScript& Admin() { return ui_.WhenShown("UsersAdministration"); }
  void Run() {
    Host().Quarvel1->UsersAdm();
    EXPECT_TRUE(ui_.UnusedScripts().empty());
  }
  int ProfIdOf(const std::string& description) {
    return static_cast<int>(
        ScalarValue("SELECT PROF_ID FROM PROFILES WHERE PROF_DESCRIPTION=:D", {{"D", description}}).AsInteger());
  }
};

TEST_P(ProfilesPageTest, NewProfileIsDeniedEveryItemOfThisApplicationOnlyAndCancelStoresNothing) {
  const int other = AddProg("OTHER", "mnuOther", "Outro");
  ui_.WhenShown("NewProfile").Type("Vendas").Tab().Tab().Type("30").Click("OKBtn");
  ui_.WhenShown("NewProfile").Type("Descartado").Escape();
  Admin()
      .SelectPage("tsProfiles")
      .Run([](TForm& form) { EXPECT_FALSE(Window(form).sbDeleteProfile->Enabled()); })
      .Click("sbNewProfile")
      .Run([](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_EQ(uNewProfile, nullptr);
        EXPECT_EQ(Users->qryProfiles.FieldByName("PROF_DESCRIPTION").AsString(), "Vendas");
        EXPECT_TRUE(w.sbDeleteProfile->Enabled());
        EXPECT_TRUE(w.pcProfiles->Enabled());
      })
      .SelectPage("tsProfiles")
      .Click("sbNewProfile")
      .CloseBox();
  Run();
  const int vendas = ProfIdOf("Vendas");
  const long long catalogue = Count("SELECT COUNT(*) FROM PROGS WHERE APP_KEY='STOCK'");
  EXPECT_GT(catalogue, 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE PROF_ID=:P AND APP_KEY='STOCK' AND AUTHORIZED='0'",
                  {{"P", vendas}}),
            catalogue);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE PROF_ID=:P", {{"P", vendas}}), catalogue);
  EXPECT_EQ(PRight(vendas, "mnuFileOpen"), "0");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE MENU_ID=:M", {{"M", other}}), 0);
  EXPECT_EQ(Scalar("SELECT INTERVAL_CHANGE_PWD FROM PROFILES WHERE PROF_ID=:P", {{"P", vendas}}), "30");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROFILES"), 1);
  EXPECT_TRUE(ui_.Messages().empty());
}

TEST_P(ProfilesPageTest, DeletingAProfileLeavesItsMembersWithoutProfileAndWithTheirRights) {
  const int vendas = AddProfile("Vendas");
  AddProfile("Zeta");
  const int ana = AddUser("ana", "x", vendas);
  const int bia = AddUser("bia", "x", vendas);
  OpenAdminAnd([](TForm&) {});
  SetUAccess("STOCK", ana, MenuIdOf("mnuFileOpen"), "1");
  SetPAccess("STOCK", vendas, MenuIdOf("mnuFileOpen"), "1");
  ui_.AnswerMessages(mrYes);
  Admin()
      .SelectPage("tsProfiles")
      .Click("sbDeleteProfile")
      .CloseBox();
  Run();
  EXPECT_EQ(ui_.Messages()[0].Text, "Deseja realmente eliminar o perfil de usuário Vendas ?");
  EXPECT_EQ(ui_.Messages()[1].Text, "Perfil de Usuário eliminado");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE PROFILE_ID=:P", {{"P", vendas}}), 0);
  EXPECT_EQ(Scalar("SELECT PROFILE_ID FROM QUARVEL WHERE USER_ID=:U", {{"U", bia}}), "0");
  EXPECT_EQ(URight(ana, "mnuFileOpen"), "1");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE PROF_ID=:P", {{"P", vendas}}), 0);
}

TEST_P(ProfilesPageTest, TheProfilesAuditBoxChangesTheProfileOnly) {
  const int vendas = AddProfile("Vendas", "1", 10);
  const int ana = AddUser("ana", "x", vendas);
  Admin()
      .SelectPage("tsProfiles")
      .Click("sbChangeProfileData")
      .Tick("cbxAUDIT_MODEProfile")
      .Tick("cbxMUST_CHANGE_PWD", false)
      .Run([](TForm& form) { EXPECT_FALSE(Window(form).DBEdit6->Enabled()); })
      .SelectPage("tsProfilesList")
      .CloseBox();
  Run();
  EXPECT_EQ(Scalar("SELECT AUDIT_MODE FROM PROFILES WHERE PROF_ID=:P", {{"P", vendas}}), "1");
  EXPECT_TRUE(ScalarValue("SELECT INTERVAL_CHANGE_PWD FROM PROFILES WHERE PROF_ID=:P", {{"P", vendas}}).IsNull());
  EXPECT_EQ(Scalar("SELECT AUDIT_MODE FROM QUARVEL WHERE USER_ID=:U", {{"U", ana}}), "0");
}

QV_INSTANTIATE_ENGINES_AND_SECURED(ProfilesPageTest);

}  // namespace
}  // namespace qv::test

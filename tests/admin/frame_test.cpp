// The administration window as a whole: opening, activation, page entry and
// closing, through the component's UsersAdm on both engines.
#include <gtest/gtest.h>

#include <string>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/application.h"
#include "tests/admin/admin_fixture.h"

namespace qv::test {
namespace {

class FrameTest : public AdminTest {};

TEST_P(FrameTest, OpensOnTheUsersListWithEveryTextOfTheStringTable) {
  AddUser("maria", "x");
  AddUser("joao", "x");
  bool shown = false;
  OpenAdminAnd([&](TForm& form) {
    shown = true;
    TUsersAdministration& w = Window(form);
    EXPECT_EQ(w.Caption(), "Administração dos Usuários do Sistema");
    EXPECT_EQ(w.PageControl->ActivePage(), w.tsUsers);
    EXPECT_EQ(w.pcUsers->ActivePage(), w.tsUsersList);
    // "master" is never listed.
    ASSERT_EQ(w.DBGridUsers->RowCount(), 2);
    EXPECT_EQ(w.DBGridUsers->CellText(1, 0), "joao");
    EXPECT_EQ(w.DBGridUsers->CellText(2, 0), "maria");
    EXPECT_TRUE(w.sbChangeUserData->Enabled());
    // A sample of each page's texts, widths, radio items and hints.
    EXPECT_EQ(w.DBGridUsers->Columns(3).Title.Caption, "Ativo");
    EXPECT_EQ(w.DBGridUsers->Columns(3).Width, 79);
    EXPECT_EQ(w.DBGridProfiles->Columns(3).Title.Caption, "Item não Autorizado");
    EXPECT_EQ(w.DBGridProfiles->Columns(3).Width, 118);
    EXPECT_EQ(w.PanelPwdHistory->Caption(), " Histórico de senhas");
    EXPECT_EQ(w.rgpHIDE_DISABLE_MENU->Items().Items(), (std::vector<std::string>{"Invisível", "Desabilitado"}));
    EXPECT_EQ(w.sbChangeProfileData->Caption(), "Mudar dados");
    EXPECT_EQ(w.sbDeleteProfile->Hint(), "Elimina o perfil selecionado");
    EXPECT_EQ(w.tsPrograms->Caption(), "Controle de Acessos");
    EXPECT_EQ(w.sbRestoreProfile->Caption(), "Restaurar do Perfil");
    EXPECT_EQ(w.lblTo2->Caption(), "   Até");
    EXPECT_EQ(w.DBGridAudProgs->Columns(0).Title.Caption, "Usuário");
    EXPECT_EQ(w.sbDeleteAuditProg->Caption(), "Eliminar");
    EXPECT_EQ(UsersAdministration, &w);
  });
  EXPECT_TRUE(shown);
  EXPECT_EQ(UsersAdministration, nullptr);
  EXPECT_TRUE(ui_.Messages().empty());
}

TEST_P(FrameTest, WithOnlyMasterTheButtonsOfAUserAndOfAProfileAreDisabled) {
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    EXPECT_EQ(w.DBGridUsers->RowCount(), 0);
    EXPECT_TRUE(w.sbNewUser->Enabled());
    for (TControl* c : {static_cast<TControl*>(w.sbChangeUserData), static_cast<TControl*>(w.sbUserAccess),
                        static_cast<TControl*>(w.sbDeleteUser), static_cast<TControl*>(w.pcUsers)})
      EXPECT_FALSE(c->Enabled()) << c->Name();
    // The profiles page first shows its data sub-page.
    w.PageControl->SelectPageByPerson(w.tsProfiles);
    EXPECT_EQ(w.pcProfiles->ActivePage(), w.tsProfilesData);
    EXPECT_EQ(w.tsProfilesData->Caption(), "Dados do Perfil");
    EXPECT_TRUE(w.sbNewProfile->Enabled());
    for (TControl* c : {static_cast<TControl*>(w.sbChangeProfileData), static_cast<TControl*>(w.sbProfileAccess),
                        static_cast<TControl*>(w.sbDeleteProfile), static_cast<TControl*>(w.pcProfiles)})
      EXPECT_FALSE(c->Enabled()) << c->Name();
  });
  EXPECT_TRUE(ui_.Messages().empty());
}

TEST_P(FrameTest, GivesEveryListedUserWithoutOneAStateRowDatedToday) {
  const int a = AddUser("ana", "x");
  const int b = AddUser("bia", "x");
  const int c = AddUser("caio", "x");
  const int d = AddUser("davi", "x");
  AddUserInfo("STOCK", d, "1", DateText(2030, 1, 31), "0");
  AddUserInfo("OTHER", a);
  OpenAdminAnd([](TForm&) {});
  for (int id : {a, b, c}) {
    EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE APP_KEY='STOCK' AND USER_ID=:U", {{"U", id}}), 1);
    EXPECT_EQ(Scalar("SELECT EXPIRATION_DATE FROM USERINFO WHERE APP_KEY='STOCK' AND USER_ID=:U", {{"U", id}}),
              TodayText());
    EXPECT_EQ(Scalar("SELECT USER_EXPIRE FROM USERINFO WHERE APP_KEY='STOCK' AND USER_ID=:U", {{"U", id}}), "0");
    EXPECT_EQ(Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE APP_KEY='STOCK' AND USER_ID=:U", {{"U", id}}), "1");
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ID=:U", {{"U", kMasterId}}), 0);
  // The row that existed is untouched.
  EXPECT_EQ(Scalar("SELECT EXPIRATION_DATE FROM USERINFO WHERE APP_KEY='STOCK' AND USER_ID=:U", {{"U", d}}),
            DateText(2030, 1, 31));
  EXPECT_EQ(Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE APP_KEY='STOCK' AND USER_ID=:U", {{"U", d}}), "0");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO"), 5);
}

TEST_P(FrameTest, TheAuditPeriodIsTheCurrentMonthOnEveryActivation) {
  auto period = [&](TDateTime today) {
    Clock().Set(today);
    std::string text;
    OpenAdminAnd([&](TForm& form) {
      TUsersAdministration& w = Window(form);
      // A change by the administrator is undone by the next activation.
      w.dtpkInicioU->ChangeByPerson(EncodeDate(2020, 1, 1));
      form.Reactivate();
      text = DateToStr(w.dtpkInicioU->Date()) + "-" + DateToStr(w.dtpkFimU->Date()) + " " +
             DateToStr(w.dtpkInicioP->Date()) + "-" + DateToStr(w.dtpkFimP->Date());
    });
    return text;
  };
  EXPECT_EQ(period(EncodeDateTime(2026, 12, 15, 9, 0, 0)), "01/12/2026-31/12/2026 01/12/2026-31/12/2026");
  EXPECT_EQ(period(EncodeDateTime(2028, 2, 10, 9, 0, 0)), "01/02/2028-29/02/2028 01/02/2028-29/02/2028");
}

TEST_P(FrameTest, ClosingTakesBackTheUsersListSettingsButADialogDoesNot) {
  AddUser("maria", "x");
  Host();
  TUsers& dm = *Users;
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    w.PageControl->SelectPageByPerson(w.tsProfiles);
    MessageDlg("Aviso", mtInformation, {mbOK});
    // The message box ended; the window was activated again.
    EXPECT_EQ(w.PageControl->ActivePage(), w.tsUsers);
    EXPECT_TRUE(dm.qryUsers.Filtered());
    EXPECT_FALSE(dm.qryUsers.Locate("USERQV_NAME", Value("master")));
  });
  EXPECT_FALSE(dm.qryUsers.Filtered());
  EXPECT_EQ(dm.qryUsers.Filter(), "");
  EXPECT_TRUE(dm.qryUsers.Locate("USERQV_NAME", Value("master")));
  // Reopening the users list runs the data module's after-open handler
  // again, which gives the command statements its alias.
  dm.GenerateId.SetDatabaseName("elsewhere");
  dm.qryUsers.Reopen();
  EXPECT_EQ(dm.GenerateId.DatabaseName(), Alias());
}

TEST_P(FrameTest, AnErrorWhileOpeningPropagatesBeforeTheWindowShows) {
  AddUser("maria", "x");
  Host();
  TUsers& dm = *Users;
  Db().SetStatementHook([](std::string_view sql) {
    if (sql.find("INSERT INTO UACCESS") != std::string_view::npos) throw EDatabaseError("disk full");
  });
  EXPECT_THROW(Host().Quarvel1->UsersAdm(), EDatabaseError);
  Db().SetStatementHook({});
  EXPECT_TRUE(ui_.Forms().empty());
  EXPECT_EQ(UsersAdministration, nullptr);
  EXPECT_FALSE(dm.qryUsers.Filtered());
  dm.GenerateId.SetDatabaseName("elsewhere");
  dm.qryUsers.Reopen();
  EXPECT_EQ(dm.GenerateId.DatabaseName(), Alias());
  // The item being catalogued left no row behind.
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS"), 0);
  EXPECT_EQ(dm.qryProgs.RecordCount(), 0);
  // The window's date pattern is back.
  EXPECT_EQ(ShortDateFormat(), kTestDatePattern);
  EXPECT_FALSE(UsersAdmDateFormatSlot().IsNormalized());
}

QV_INSTANTIATE_ENGINES_AND_SECURED(FrameTest);

}  // namespace
}  // namespace qv::test

// The users page: creating a user through the new-user dialog (stored whole
// or not at all), the duplicate name, the password reset, deletion, the
// state row kept on the selected user and the readable scrambled password.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "qvd3/component/password.h"
#include "qvd3/component/password_display.h"
#include "qvd3/dialogs/new_user_qv.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/text_case.h"
#include "tests/admin/admin_fixture.h"

namespace qv::test {
namespace {

class UsersPageTest : public AdminTest {
 protected:
  // The window's script; the window is closed after the actions queued on
  // it, and shown by Run().
  TFormScript& Admin() { return ui_.WhenShown("UsersAdministration"); }
  void Run() {
    Host().Quarvel1->UsersAdm();
    EXPECT_TRUE(ui_.UnusedScripts().empty());
  }

  // The new-user dialog filled by the person: name, real name, the name
  // proposed as password, profile `profile` when not 0.
  void NewUserScript(const std::string& name, int profile = 0) {
    ui_.WhenShown("NewUser")
        .Type(name)
        .Enter()
        .Type("Nome Real")
        .Run([profile](TForm& f) {
          if (profile != 0) As<TNewUser>(f).DBLookupComboBox1->ChooseByPerson(Value(profile));
        })
        .Click("OKBtn");
  }

  int IdOf(const std::string& name) {
    return static_cast<int>(ScalarValue("SELECT USER_ID FROM QUARVEL WHERE USERQV_NAME=:N", {{"N", name}}).AsInteger());
  }
  std::string Selected(TUsersAdministration& w) { return Users->qryUsers.FieldByName("USERQV_NAME").AsString(); }
  std::string ErrorTexts() {
    std::string texts;
    for (const TMessageRecord& m : ui_.Messages())
      if (m.Type == mtError) texts += m.Text + ";";
    return texts;
  }
};

TEST_P(UsersPageTest, CreatedUserHasScrambledPasswordStateRowAndTheProfilesRights) {
  const int consulta = AddProfile("Consulta");
  AddUser("ana", "x");
  // The profile grants "mnuFileOpen" once the catalogue has it: set after
  // the first opening catalogued the menu.
  OpenAdminAnd([](TForm&) {});
  SetPAccess("STOCK", consulta, MenuIdOf("mnuFileOpen"), "1");
  ExecWith("DELETE FROM PACCESS WHERE PROF_ID=:P AND MENU_ID=:M", {{"P", consulta}, {"M", MenuIdOf("mnuFilePrint")}});
  const long long catalogue = Count("SELECT COUNT(*) FROM PROGS WHERE APP_KEY='STOCK'");

  NewUserScript("maria", consulta);
  Admin()
      .Click("sbNewUser")
      .Run([&](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_EQ(uNewUser, nullptr);
        EXPECT_EQ(Selected(w), "maria");
        EXPECT_EQ(w.DBGridUsers->RowCount(), 2);
        EXPECT_EQ(w.pcUsers->ActivePage(), w.tsUsersList);
        EXPECT_TRUE(w.sbDeleteUser->Enabled());
      })
      .CloseBox();
  Run();
  EXPECT_TRUE(ui_.Messages().empty());
  const int maria = IdOf("maria");
  EXPECT_EQ(PasswordOf(maria), "maria");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", {{"U", maria}}), TodayText());
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ID=:U AND APP_KEY='STOCK' AND USER_EXPIRE='0' AND "
                  "USER_ACTIVE='1' AND EXPIRATION_DATE=:D",
                  {{"U", maria}, {"D", TodayText()}}),
            1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=:U AND APP_KEY='STOCK'", {{"U", maria}}), catalogue);
  EXPECT_EQ(URight(maria, "mnuFileOpen"), "1");
  EXPECT_EQ(URight(maria, "mnuFilePrint"), "null");  // no PACCESS row of the profile
}

TEST_P(UsersPageTest, DuplicateNameIsReportedAndCancelLeavesTheListAsItWas) {
  AddUser("ana", "x");
  AddUser("bia", "x");
  OpenAdminAnd([](TForm&) {});  // the catalogue and the rights of ana and bia
  const long long users = Count("SELECT COUNT(*) FROM QUARVEL");
  const long long rights = Count("SELECT COUNT(*) FROM UACCESS");
  NewUserScript("ana");
  ui_.WhenShown("NewUser").Type("caio").Escape();
  Admin()
      .Run([](TForm& form) { Window(form).DBGridUsers->SelectRowByPerson(2); })
      .Click("sbNewUser")
      .Run([&](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_EQ(ErrorTexts(), "Usuário já cadastrado;");
        EXPECT_EQ(Selected(w), "bia");
        EXPECT_EQ(w.DBGridUsers->RowCount(), 2);
        EXPECT_EQ(Users->qryUsers.State(), TDataSetState::Browse);
      })
      .Click("sbNewUser")  // cancelled
      .Run([&](TForm& form) {
        EXPECT_EQ(Selected(Window(form)), "bia");
        EXPECT_EQ(Window(form).DBGridUsers->RowCount(), 2);
      })
      .CloseBox();
  Run();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL"), users);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS"), rights);
  EXPECT_FALSE(Db().InTransaction());
}

// An error in the middle of the creation (here: storing the rights rows)
// leaves no user, no state row and no rights row, and is shown as it came.
TEST_P(UsersPageTest, AFailingRightsRowLeavesNoHalfCreatedUser) {
  OpenAdminAnd([](TForm&) {});
  const long long before = Count("SELECT COUNT(*) FROM UACCESS") + Count("SELECT COUNT(*) FROM USERINFO");
  NewUserScript("maria");
  int rightsRows = 0;
  Admin()
      .Run([&](TForm&) {
        Db().SetStatementHook([&rightsRows](std::string_view sql) {
          if (sql.find("INSERT INTO UACCESS") != std::string_view::npos && ++rightsRows == 1)
            throw EDatabaseError("disk full");
        });
      })
      .Click("sbNewUser")
      .Run([&](TForm& form) {
        Db().SetStatementHook({});
        EXPECT_EQ(ErrorTexts(), "disk full;");
        EXPECT_EQ(Window(form).DBGridUsers->RowCount(), 0);
        EXPECT_FALSE(Window(form).sbDeleteUser->Enabled());
      })
      .CloseBox();
  Run();
  EXPECT_EQ(rightsRows, 1);  // every rights row goes in one statement
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME='maria'"), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS") + Count("SELECT COUNT(*) FROM USERINFO"), before);
}

TEST_P(UsersPageTest, PasswordResetAsksAgainOnAnEmptyTextAndStoresNoHistory) {
  const int ana = AddUser("ana", "velha", 0, "0", DateText(2025, 1, 2));
  ui_.AnswerQuery("");
  ui_.AnswerQuery("nova senha");
  ui_.CancelQuery();
  // Every activation of the window (after each box) shows the list again.
  Admin()
      .Click("sbChangeUserData")
      .Click("btnChangePassword")
      .Click("sbChangeUserData")
      .Click("btnChangePassword")  // cancelled: nothing
      .CloseBox();
  Run();
  ASSERT_EQ(ui_.Queries().size(), 3u);
  EXPECT_EQ(ui_.Queries()[0].Caption, "Mudança de senha");
  EXPECT_EQ(ui_.Queries()[0].Prompt, "Digite a nova senha para o usuário:");
  EXPECT_EQ(ui_.Queries()[1].Initial, "");
  ASSERT_EQ(ui_.Messages().size(), 2u);
  EXPECT_EQ(ui_.Messages()[0].Text, "Senha inválida");
  EXPECT_EQ(ui_.Messages()[0].Type, mtError);
  EXPECT_EQ(ui_.Messages()[1].Text, "Mudança de senha efetuada");
  EXPECT_EQ(ui_.Messages()[1].Type, mtInformation);
  EXPECT_EQ(PasswordOf(ana), "nova senha");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", {{"U", ana}}), TodayText());
  EXPECT_EQ(Count("SELECT COUNT(*) FROM HISTORY"), 0);
}

// A reset whose store fails is reported; the row shows the password and
// date it had, and the posts that follow (the window's activation after
// the message, going back to the list) store the edit made before the
// reset but neither the new password nor a new date.
TEST_P(UsersPageTest, AFailedPasswordResetLeavesNothingForALaterPost) {
  const int ana = AddUser("ana", "velha", 0, "0", DateText(2025, 1, 2));
  const std::string stored = EncodePassword("velha");
  ui_.AnswerQuery("nova senha");
  bool failed = false;
  Admin()
      .Click("sbChangeUserData")
      .Run([&](TForm&) {
        Users->qryUsers.FieldByName("REAL_NAME").SetAsString("Ana Nova");
        Db().SetStatementHook([&failed](std::string_view sql) {
          if (failed || AsciiUpper(sql).find("SET \"USER_PWD\"") == std::string::npos) return;
          failed = true;
          throw EDatabaseError("disk full");
        });
      })
      .Click("btnChangePassword")
      .Run([&](TForm& form) {
        Db().SetStatementHook({});
        EXPECT_EQ(ErrorTexts(), "disk full;");
        EXPECT_EQ(Users->qryUsers.FieldByName("USER_PWD").AsString(), stored);
        EXPECT_EQ(Users->qryUsers.FieldByName("LAST_PWD_CHANGE").AsString(), DateText(2025, 1, 2));
        EXPECT_EQ(Window(form).DBEdit3->Text(), ScrambledPasswordText(stored));
      })
      .Click("sbChangeUserData")
      .SelectPage("tsUsersList")
      .CloseBox();
  Run();
  EXPECT_EQ(PasswordOf(ana), "velha");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", {{"U", ana}}), DateText(2025, 1, 2));
  EXPECT_EQ(Scalar("SELECT REAL_NAME FROM QUARVEL WHERE USER_ID=:U", {{"U", ana}}), "Ana Nova");
  for (const TMessageRecord& m : ui_.Messages()) EXPECT_NE(m.Text, "Mudança de senha efetuada");
}

// Back from the user's data to the list, a changed profile is stored at
// once, with the rights it derives: rights applied afterwards on the access
// page are the ones that stay, not overwritten by a late store of the
// profile (at the next cursor move or when the window closes).
TEST_P(UsersPageTest, BackToTheListStoresTheProfileBeforeRightsAreApplied) {
  const int vendas = AddProfile("Vendas");
  const int compras = AddProfile("Compras");
  const int ana = AddUser("ana", "x", vendas);
  OpenAdminAnd([](TForm&) {});  // the catalogue and everybody's denied rights
  SetPAccess("STOCK", compras, MenuIdOf("mnuReports"), "1");
  constexpr int kSobreNode = 13;  // "Sobre" in the access tree
  Admin()
      .Click("sbChangeUserData")
      .Run([&](TForm& form) { Window(form).DBLookupComboBox1->ChooseByPerson(Value(compras)); })
      .SelectPage("tsUsersList")
      .Run([&](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_EQ(Users->qryUsers.State(), TDataSetState::Browse);
        EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE USER_ID=:U AND PROFILE_ID=:P",
                        {{"U", ana}, {"P", compras}}),
                  1);
        w.PageControl->SelectPageByPerson(w.tsPrograms);
        w.DBGridUsersProgs->SelectRowByPerson(1);
      })
      .ClickNode("MenuItems", kSobreNode)
      .Click("sbApply")
      .CloseBox();
  Run();
  EXPECT_EQ(URight(ana, "mnuHelpAbout"), "1");  // applied
  EXPECT_EQ(URight(ana, "mnuReports"), "1");    // from the new profile
  EXPECT_EQ(URight(ana, "mnuFileOpen"), "0");
  EXPECT_TRUE(ErrorTexts().empty()) << ErrorTexts();
}

// Selecting A, then B, then "Mudar Dados" shows B's state; moving on to
// another user while the data sub-page is shown stores B's date into B's
// row only and shows the next user's own date.
TEST_P(UsersPageTest, TheStateRowAndTheDateFollowTheSelectedUser) {
  const int ana = AddUser("ana", "x");
  const int bia = AddUser("bia", "x");
  const int caio = AddUser("caio", "x");
  AddUserInfo("STOCK", ana, "0", DateText(2030, 1, 1));
  AddUserInfo("STOCK", bia, "1", DateText(2031, 2, 2));
  AddUserInfo("STOCK", caio, "0", DateText(2032, 3, 3));
  Admin()
      .Run([](TForm& form) {
        Window(form).DBGridUsers->SelectRowByPerson(1);
        Window(form).DBGridUsers->SelectRowByPerson(2);
      })
      .Click("sbChangeUserData")
      .Run([&](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_EQ(w.DBEdit1->Text(), "bia");
        EXPECT_TRUE(w.cbxUSER_EXPIRE->Checked());
        EXPECT_TRUE(w.DBDateTimePicker1->Enabled());
        EXPECT_EQ(DateToStr(w.DBDateTimePicker1->Date()), DateText(2031, 2, 2));
      })
      .PickDate("DBDateTimePicker1", EncodeDate(2033, 4, 4))
      .Run([](TForm&) { Users->qryUsers.Next(); })  // a navigation posts the edit, then moves
      .Run([&](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_EQ(w.DBEdit1->Text(), "caio");
        EXPECT_FALSE(w.cbxUSER_EXPIRE->Checked());
        EXPECT_FALSE(w.DBDateTimePicker1->Enabled());
        EXPECT_EQ(DateToStr(w.DBDateTimePicker1->Date()), DateText(2032, 3, 3));
      })
      .SelectPage("tsUsersList")
      .Run([](TForm& form) { Window(form).DBGridUsers->SelectRowByPerson(1); })
      .Click("sbNewUser")  // runs the leave step: nothing to store for ana
      .CloseBox();
  ui_.WhenShown("NewUser").Escape();
  Run();
  auto expiration = [&](int user) {
    return Scalar("SELECT EXPIRATION_DATE FROM USERINFO WHERE USER_ID=:U", {{"U", user}});
  };
  EXPECT_EQ(expiration(ana), DateText(2030, 1, 1));
  EXPECT_EQ(expiration(bia), DateText(2033, 4, 4));
  EXPECT_EQ(expiration(caio), DateText(2032, 3, 3));
  EXPECT_TRUE(ui_.Messages().empty());
}

TEST_P(UsersPageTest, ScrambledPasswordIsShownReadablyAndTheHistoryAsStored) {
  const int ana = AddUser("ana", "x");
  // Bytes that are no UTF-8, with a NUL in the middle.
  const std::string stored("\x01\xFF\x00\xC3Z", 5);
  ExecWith("UPDATE QUARVEL SET USER_PWD=:P WHERE USER_ID=:U", {{"P", Value::Bytes(stored)}, {"U", ana}});
  AddHistory(ana, "antiga 'ç'", TodayText());
  Admin()
      .Click("sbChangeUserData")
      .Run([&](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_FALSE(w.DBEdit3->Enabled());
        EXPECT_EQ(w.DBEdit3->Text(), ScrambledPasswordText(stored));
        EXPECT_EQ(w.DBEdit3->Text(), "\u2401\u00FF\u2400\u00C3Z");
        ASSERT_EQ(w.DBGridPwdHistory->RowCount(), 1);
        EXPECT_EQ(w.DBGridPwdHistory->CellText(1, 0), "antiga 'ç'");
        EXPECT_EQ(w.DBGridPwdHistory->CellText(1, 1), TodayText());
      })
      .CloseBox();
  Run();
}

TEST_P(UsersPageTest, DeletionAnsweredNoChangesNothingAndYesRemovesTheUser) {
  const int ana = AddUser("ana", "x");
  AddUser("bia", "x");
  ui_.AnswerMessages(mrNo);
  ui_.AnswerMessages(mrYes);
  Admin()
      .Click("sbDeleteUser")
      .Run([&](TForm& form) {
        EXPECT_EQ(Window(form).DBGridUsers->RowCount(), 2);
        EXPECT_EQ(ui_.Messages().size(), 1u);
      })
      .Click("sbChangeUserData")
      .Click("sbDeleteUser")
      .Run([&](TForm& form) {
        TUsersAdministration& w = Window(form);
        EXPECT_EQ(w.DBGridUsers->RowCount(), 1);
        EXPECT_EQ(w.pcUsers->ActivePage(), w.tsUsersList);
        EXPECT_TRUE(w.sbDeleteUser->Enabled());
      })
      .CloseBox();
  Run();
  ASSERT_EQ(ui_.Messages().size(), 3u);
  EXPECT_EQ(ui_.Messages()[0].Text, "Deseja realmente eliminar o usuário ana ?");
  EXPECT_EQ(ui_.Messages()[2].Text, "Usuário Eliminado");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE USER_ID=:U", {{"U", ana}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ID=:U", {{"U", ana}}), 0);
}

QV_INSTANTIATE_ENGINES_AND_SECURED(UsersPageTest);

}  // namespace
}  // namespace qv::test

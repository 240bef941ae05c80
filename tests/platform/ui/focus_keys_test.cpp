// Keyboard flow and focus order on forms built like the login and
// password-change dialogs, run through the scripted person.
#include <gtest/gtest.h>

#include "qvd3/platform/ui/headless/headless.h"
#include "tests/platform/ui/dialog_forms.h"

namespace qv::testing {
namespace {

TEST(LoginFlow, EnterWalksTheBoxesAndReachingOkConfirms) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("maria").Enter().Type("s3gredo").Enter();
  LoginForm form;
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.User->Text(), "maria");
  EXPECT_EQ(form.Password->Text(), "s3gredo");
  ASSERT_EQ(ui.Forms().size(), 1u);
  EXPECT_EQ(ui.Forms()[0].Name, "Login");
  EXPECT_EQ(ui.Forms()[0].ClassName, "LoginForm");
  EXPECT_EQ(ui.Forms()[0].Caption, "Acesso ao Sistema");
  EXPECT_EQ(ui.Forms()[0].Result, mrOk);
}

TEST(LoginFlow, EmptyBoxesStillMoveOnAndConfirm) {
  THeadlessBackend ui;
  ui.WhenShown("Login")
      .Enter()
      .Run([](TForm& f) { EXPECT_EQ(f.ActiveControl()->Name(), "Senha"); })
      .Enter();
  LoginForm form;
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.User->Text(), "");
}

TEST(LoginFlow, ShiftTabWrapsBackToCancelWithoutConfirming) {
  THeadlessBackend ui;
  ui.WhenShown("Login")
      .ShiftTab()
      .Run([](TForm& f) {
        EXPECT_EQ(f.ActiveControl()->Name(), "CancelBtn");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Enter();
  LoginForm form;
  EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST(LoginFlow, TabOntoOkConfirmsThroughItsOnEnter) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("ana").Tab().Tab();
  LoginForm form;
  EXPECT_EQ(form.ShowModal(), mrOk);
}

TEST(LoginFlow, EscFromEitherBoxCancelsWhateverTheyHold) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("ana").Escape();
  ui.WhenShown("Login").Enter().Type("xyz").Escape();
  LoginForm form;
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(form.Password->Text(), "xyz");
}

TEST(LoginFlow, AltLetterFocusesTheLabelledBoxWithoutConfirming) {
  THeadlessBackend ui;
  ui.WhenShown("Login")
      .Alt('s')
      .Run([](TForm& f) {
        EXPECT_EQ(f.ActiveControl()->Name(), "Senha");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Alt('U')
      .Run([](TForm& f) { EXPECT_EQ(f.ActiveControl()->Name(), "Usuario"); })
      .Escape();
  LoginForm form;
  EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST(LoginFlow, SecondShowingSelectsTheNameAndKeepsThePassword) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("maria").Enter().Type("um").Enter();
  ui.WhenShown("Login")
      .Run([](TForm& f) {
        auto& user = dynamic_cast<LoginForm&>(f);
        EXPECT_EQ(f.ActiveControl(), user.User);
        EXPECT_EQ(user.User->SelText(), "maria");
        EXPECT_EQ(user.Password->Text(), "um");
      })
      .Type("joão")
      .Enter()
      .Enter();
  LoginForm form;
  ASSERT_EQ(form.ShowModal(), mrOk);
  ASSERT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.User->Text(), "joão");
  EXPECT_EQ(form.Password->Text(), "um");
  EXPECT_EQ(form.Activations, 2);
  EXPECT_EQ(ui.Forms().size(), 2u);
}

TEST(LoginFlow, CloseBoxGivesCancel) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("x").CloseBox();
  LoginForm form;
  EXPECT_EQ(form.ShowModal(), mrCancel);
}

TEST(ChangePasswordFlow, WrongOldPasswordAndTabWarnsAndReturnsTheFocus) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  ui.WhenShown("MudaPwd")
      .Type("errada")
      .Tab()
      .Run([&](TForm& f) {
        EXPECT_EQ(f.ActiveControl(), form.Old);
        EXPECT_EQ(form.New1Enters, 0);
      })
      .Escape();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].Text, "Senha inválida");
  EXPECT_EQ(ui.Messages()[0].Type, mtWarning);
  EXPECT_EQ(ui.Messages()[0].Answer, mrOk);
  // The exit handler saw the control receiving the focus.
  ASSERT_EQ(form.ExitSaw.size(), 1u);
  EXPECT_EQ(form.ExitSaw[0], "Password1");
  // Entered at the showing, then again when the handler took the focus back.
  EXPECT_EQ(form.OldEnters, 2);
}

TEST(ChangePasswordFlow, RightOldPasswordMovesOnSilently) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  ui.WhenShown("MudaPwd").Type("velha").Tab().Run([&](TForm& f) { EXPECT_EQ(f.ActiveControl(), form.New1); }).Escape();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST(ChangePasswordFlow, ClickOnCancelAfterAWrongPasswordShowsNoWarning) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  ui.WhenShown("MudaPwd").Type("errada").Click("CancelBtn");
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(ui.Messages().empty());
  ASSERT_EQ(form.ExitSaw.size(), 1u);
  EXPECT_EQ(form.ExitSaw[0], "CancelBtn");
}

TEST(ChangePasswordFlow, ClickOnOkDoesNotLandWhenTheExitCheckKeepsTheFocus) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  form.New1->SetText("nova");
  form.New2->SetText("nova");
  ui.WhenShown("MudaPwd")
      .Type("errada")
      .Click("OKBtn")
      .Run([&](TForm& f) {
        EXPECT_EQ(f.ActiveControl(), form.Old);
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Escape();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(ui.Messages().size(), 1u);
}

TEST(ChangePasswordFlow, NoBoxTakesAnEleventhCharacter) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  ui.WhenShown("MudaPwd").Type("velha").Enter().Type("abcdefghijk").Enter().Type("çãõáéíóúâêZ").Escape();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(form.New1->Text(), "abcdefghij");
  EXPECT_EQ(form.New2->Text(), "çãõáéíóúâê");
}

TEST(ChangePasswordFlow, TypingReplacesTheSelectionEvenAtTheLimit) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  form.New1->SetText("0123456789");
  ui.WhenShown("MudaPwd")
      .Type("velha")
      .Enter()
      .Run([&](TForm&) {
        form.New1->SetSelStart(2);
        form.New1->SetSelLength(3);
      })
      .Type("XYZW")
      .Escape();
  form.ShowModal();
  // Three selected characters make room for three typed ones; the fourth is refused.
  EXPECT_EQ(form.New1->Text(), "01XYZ56789");
}

TEST(ChangePasswordFlow, EnterFromTheLastBoxFocusesOkAndOnlyTheNextEnterPressesIt) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  ui.WhenShown("MudaPwd")
      .Type("velha")
      .Enter()
      .Type("nova1")
      .Enter()
      .Type("nova1")
      .Enter()
      .Run([&](TForm& f) {
        EXPECT_EQ(f.ActiveControl(), form.Ok);
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Enter();
  EXPECT_EQ(form.ShowModal(), mrOk);
}

TEST(ChangePasswordFlow, DifferentNewEntriesWarnAndKeepTheDialogOpen) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  ui.WhenShown("MudaPwd")
      .Type("velha")
      .Enter()
      .Type("Nova1")
      .Enter()
      .Type("nova1")
      .Click("OKBtn")
      .Run([&](TForm& f) {
        EXPECT_EQ(f.ActiveControl(), form.New1);
        EXPECT_TRUE(f.Showing());
      })
      .Escape();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].Text, "Senha para conferência difere da primeira");
}

TEST(ChangePasswordFlow, ActiveControlSetWhileHiddenIsWhereTheNextShowingStarts) {
  THeadlessBackend ui;
  ChangePasswordForm form;
  ui.WhenShown("MudaPwd").Type("velha").Escape();
  ui.WhenShown("MudaPwd").Run([&](TForm& f) { EXPECT_EQ(f.ActiveControl(), form.New1); }).Escape();
  form.ShowModal();
  form.New1->SetText("");
  form.SetActiveControl(form.New1);
  EXPECT_EQ(form.New1Enters, 0);  // nothing runs while the form is hidden
  form.ShowModal();
  EXPECT_EQ(form.New1Enters, 1);
}

}  // namespace
}  // namespace qv::testing

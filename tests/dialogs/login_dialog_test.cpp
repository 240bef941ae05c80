// The login dialog driven by the scripted person: the keyboard walk from box
// to box, confirming by reaching OK, cancelling, repeated showings, and the
// texts it takes from the string table.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvd3/component/quarvel_res.h"
#include "qvd3/dialogs/login_qv.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/dialogs/dialog_checks.h"

namespace qv {
namespace {

using testing::ExpectControlsFitIn;
using testing::FocusedName;
using testing::TabOrderNames;

TEST(LoginDialogLayout, TabOrderAndKeyboardRelatedProperties) {
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.Name(), "Login");
  EXPECT_EQ(dlg.ClassName(), "TLogin");
  EXPECT_TRUE(dlg.KeyPreview());
  EXPECT_EQ(TabOrderNames(dlg), (std::vector<std::string>{"Usuario", "Senha", "OKBtn", "CancelBtn"}));
  EXPECT_EQ(dlg.lblUserName->FocusControl(), dlg.Usuario);
  EXPECT_EQ(dlg.lblPassword->FocusControl(), dlg.Senha);
  EXPECT_EQ(dlg.Senha->PasswordChar(), U'*');
  EXPECT_EQ(dlg.Usuario->PasswordChar(), 0u);
  EXPECT_EQ(dlg.Usuario->MaxLength(), 0);
  EXPECT_EQ(dlg.Senha->MaxLength(), 0);
  EXPECT_TRUE(dlg.CancelBtn->Cancel());
  EXPECT_FALSE(dlg.OKBtn->Cancel());
  EXPECT_EQ(uLogin, nullptr);
}

// The panels fill the client area and every control lies inside them.
TEST(LoginDialogLayout, GeometryLivesInTheModel) {
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.ClientWidth(), 238);
  EXPECT_EQ(dlg.ClientHeight(), 138);
  EXPECT_EQ(dlg.BorderStyle(), bsSingle);
  EXPECT_EQ(dlg.BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_EQ(dlg.Position(), poScreenCenter);
  EXPECT_EQ(dlg.Font(), (TFont{"Arial", -11, false}));

  EXPECT_EQ(dlg.Panel3->Parent(), dlg.Panel1);
  EXPECT_EQ(dlg.Panel3->Left(), 2);
  EXPECT_EQ(dlg.Panel3->Width(), 234);
  EXPECT_EQ(dlg.Panel3->Height(), 134);

  ASSERT_EQ(dlg.Panel3->ControlCount(), 6);
  ExpectControlsFitIn(*dlg.Panel3);
}

TEST(LoginDialogTexts, SetFromTheStringTableOnEveryActivation) {
  THeadlessBackend ui;
  TLogin dlg(nullptr);
  // Before the first activation only the stored stand-ins are there.
  EXPECT_NE(dlg.Caption(), "Acesso ao Sistema");
  EXPECT_NE(dlg.lblUserName->Caption(), LoadStr(40097));

  ui.WhenShown("Login")
      .Run([](TForm& f) {
        auto& d = As<TLogin>(f);
        EXPECT_EQ(d.Caption(), "Acesso ao Sistema");
        EXPECT_EQ(d.lblUserName->Caption(), "Digite seu nome de &usuário:");
        EXPECT_EQ(d.lblPassword->Caption(), "Digite sua &senha:");
        EXPECT_EQ(d.OKBtn->Caption(), "Ok");
        EXPECT_EQ(d.CancelBtn->Caption(), "Cancelar");
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);

  // Texts changed in between are put back by the next activation.
  dlg.SetCaption("x");
  dlg.CancelBtn->SetCaption("y");
  ui.WhenShown("Login").Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.Caption(), LoadStr(40096));
  EXPECT_EQ(dlg.CancelBtn->Caption(), LoadStr(40100));
  ASSERT_EQ(ui.Forms().size(), 2u);
  EXPECT_EQ(ui.Forms()[1].Caption, "Acesso ao Sistema");
}

TEST(LoginDialogKeys, NameEnterPasswordEnterConfirmsWithoutAClick) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type(" Maria ").Enter().Type("s3gr edo").Enter();
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  // Read exactly as typed: no trimming, letter case kept.
  EXPECT_EQ(dlg.Usuario->Text(), " Maria ");
  EXPECT_EQ(dlg.Senha->Text(), "s3gr edo");
  EXPECT_TRUE(ui.Messages().empty());
}

TEST(LoginDialogKeys, EnterWithEmptyBoxesStillWalksOnAndConfirms) {
  THeadlessBackend ui;
  ui.WhenShown("Login")
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "Usuario"); })
      .Enter()
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "Senha");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Enter();
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(dlg.Usuario->Text(), "");
  EXPECT_EQ(dlg.Senha->Text(), "");
}

TEST(LoginDialogKeys, ReachingOkByTabOrClickConfirms) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("ana").Tab().Type("pw").Tab();
  ui.WhenShown("Login").Click("OKBtn");
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(dlg.Senha->Text(), "pw");
  EXPECT_EQ(dlg.ShowModal(), mrOk);
}

TEST(LoginDialogKeys, ShiftTabReachesCancelWithoutConfirmingAndEnterThereCancels) {
  THeadlessBackend ui;
  ui.WhenShown("Login")
      .Type("ana")
      .ShiftTab()
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "CancelBtn");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Enter();
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
}

TEST(LoginDialogKeys, EscFromEitherBoxOrCancelOrCloseBoxCancels) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("ana").Escape();
  ui.WhenShown("Login").Enter().Type("xyz").Escape();
  ui.WhenShown("Login").Click("CancelBtn");
  ui.WhenShown("Login").CloseBox();
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.Senha->Text(), "xyz");
}

TEST(LoginDialogKeys, AltLettersFocusTheLabelledBoxesWithoutConfirming) {
  THeadlessBackend ui;
  ui.WhenShown("Login")
      .Alt('S')
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "Senha");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Type("pw")
      .Alt('u')
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "Usuario"); })
      .Escape();
  TLogin dlg(nullptr);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.Senha->Text(), "pw");
}

// The login procedure shows the same dialog again after a failed attempt;
// the first showing ended with the focus on OK, which must not confirm the
// second one before the person does anything.
TEST(LoginDialogRepeat, SecondShowingSelectsTheNameAndKeepsThePassword) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("joao").Enter().Type("errada").Enter();
  ui.WhenShown("Login")
      .Run([](TForm& f) {
        auto& d = As<TLogin>(f);
        EXPECT_EQ(f.ModalResult(), mrNone);
        EXPECT_EQ(FocusedName(f), "Usuario");
        EXPECT_EQ(d.Usuario->SelText(), "joao");
        EXPECT_EQ(d.Senha->Text(), "errada");
      })
      .Type("maria")
      .Enter()
      .Enter();
  TLogin dlg(nullptr);
  uLogin = &dlg;
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(dlg.Usuario->Text(), "maria");
  EXPECT_EQ(dlg.Senha->Text(), "errada");
  EXPECT_TRUE(ui.UnusedScripts().empty());
}

TEST(LoginDialogLifetime, FreeingTheDialogClearsTheGlobal) {
  auto dlg = std::make_unique<TLogin>(nullptr);
  uLogin = dlg.get();
  dlg.reset();
  EXPECT_EQ(uLogin, nullptr);
}

}  // namespace
}  // namespace qv

// The change-password dialog driven by the scripted person: the check of the
// current password as its box is left, the checks of the new password on
// OK, the length limit, the Enter walk, and repeated showings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvd3/component/quarvel_res.h"
#include "qvd3/dialogs/chng_pwd_qv.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/dialogs/dialog_checks.h"

namespace qv {
namespace {

using testing::ExpectControlsFitIn;
using testing::FocusedName;
using testing::TabOrderNames;

const std::string kInvalid = "Senha inválida";
const std::string kDiffer = "Senha para conferência difere da primeira";

std::vector<std::string> MessageTexts(const THeadlessBackend& ui) {
  std::vector<std::string> texts;
  for (const TMessageRecord& m : ui.Messages()) texts.push_back(m.Text);
  return texts;
}

class ChangePasswordDialog : public ::testing::Test {
 protected:
  ChangePasswordDialog() { dlg.OldPassword = "Velha1"; }

  // The dialog is in the state the checks of OK start from: the current
  // password accepted, the focus in Password1.
  TFormScript& PastCurrentPassword() { return ui.WhenShown("MudaPwd").Type("Velha1").Tab(); }

  THeadlessBackend ui;
  TMudaPwd dlg{nullptr};
};

TEST_F(ChangePasswordDialog, FormDefinition) {
  EXPECT_EQ(dlg.Name(), "MudaPwd");
  EXPECT_TRUE(dlg.KeyPreview());
  EXPECT_EQ(dlg.BorderStyle(), bsDialog);
  EXPECT_EQ(dlg.BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_EQ(dlg.Position(), poScreenCenter);
  EXPECT_EQ(dlg.ClientWidth(), 236);
  EXPECT_EQ(dlg.ClientHeight(), 184);
  EXPECT_EQ(TabOrderNames(dlg),
            (std::vector<std::string>{"SenhaAntiga", "Password1", "Password2", "OKBtn", "CancelBtn"}));
  EXPECT_EQ(dlg.lblOldPassword->FocusControl(), dlg.SenhaAntiga);
  EXPECT_EQ(dlg.lblNewPassword->FocusControl(), dlg.Password1);
  EXPECT_EQ(dlg.lblPasswordAgain->FocusControl(), dlg.Password2);
  EXPECT_EQ(dlg.OKBtn->ModalResult(), mrNone);
  EXPECT_EQ(dlg.CancelBtn->ModalResult(), mrCancel);
  EXPECT_TRUE(dlg.CancelBtn->Cancel());
  ASSERT_EQ(dlg.Panel3->ControlCount(), 8);
  EXPECT_EQ(dlg.Panel3->Width(), 232);
  ExpectControlsFitIn(*dlg.Panel3);
  EXPECT_EQ(uMudaPwd, nullptr);
}

TEST_F(ChangePasswordDialog, TextsComeFromTheStringTableAlsoAfterAWarning) {
  EXPECT_NE(dlg.Caption(), "Mudança de senha");
  ui.WhenShown("MudaPwd")
      .Run([](TForm& f) {
        auto& d = As<TMudaPwd>(f);
        EXPECT_EQ(d.Caption(), "Mudança de senha");
        EXPECT_EQ(d.lblOldPassword->Caption(), "Digite sua senha &antiga:");
        EXPECT_EQ(d.lblNewPassword->Caption(), "Digite sua &nova senha:");
        EXPECT_EQ(d.lblPasswordAgain->Caption(), "&Redigite sua nova senha:");
        EXPECT_EQ(d.OKBtn->Caption(), "Ok");
        EXPECT_EQ(d.CancelBtn->Caption(), "Cancelar");
        d.SetCaption("changed");
        // Activation itself moves no focus: the showing starts in the
        // first control in tab order.
        EXPECT_EQ(FocusedName(f), "SenhaAntiga");
      })
      .Type("wrong")
      .Tab()  // the warning closes and the form is activated again
      .Run([](TForm& f) {
        EXPECT_EQ(f.Caption(), LoadStr(40101));
        EXPECT_EQ(FocusedName(f), "SenhaAntiga");
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
}

TEST_F(ChangePasswordDialog, WrongCurrentPasswordIsRefusedAsItsBoxIsLeft) {
  ui.WhenShown("MudaPwd")
      .Type("velha1")  // letter case counts
      .Tab()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "SenhaAntiga");
        EXPECT_EQ(f.ModalResult(), mrNone);
        ASSERT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(ui.Messages()[0].Text, kInvalid);
        EXPECT_EQ(ui.Messages()[0].Type, mtWarning);
        EXPECT_EQ(ui.Messages()[0].Buttons, TMsgDlgButtons{mbOK});
      })
      .Alt('N')  // leaving by an accelerator is checked too
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "SenhaAntiga"); })
      .Click("OKBtn")  // the click does not land: the check holds the focus
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "SenhaAntiga");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(MessageTexts(ui), (std::vector<std::string>{kInvalid, kInvalid, kInvalid}));
}

TEST_F(ChangePasswordDialog, RightCurrentPasswordMovesOnSilently) {
  ui.WhenShown("MudaPwd")
      .Type("Velha1")
      .Tab()
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "Password1"); })
      .ShiftTab()
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "SenhaAntiga"); })
      .Enter()
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "Password1");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ChangePasswordDialog, LeavingForCancelSkipsTheCheck) {
  ui.WhenShown("MudaPwd").Type("wrong").Click("CancelBtn");
  ui.WhenShown("MudaPwd").Type("wrong").Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(ChangePasswordDialog, EntriesDifferingInTheLastCharacterOrInCaseAreRefused) {
  PastCurrentPassword()
      .Type("nova12345")
      .Tab()
      .Type("nova12346")
      .Click("OKBtn")
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "Password1");
        EXPECT_EQ(f.ModalResult(), mrNone);
        ASSERT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(ui.Messages()[0].Text, kDiffer);
        EXPECT_EQ(ui.Messages()[0].Type, mtWarning);
        EXPECT_EQ(ui.Messages()[0].Buttons, TMsgDlgButtons{mbOK});
        auto& d = As<TMudaPwd>(f);
        d.Password1->SetText("Nova");
        d.Password2->SetText("nova");
      })
      .Click("OKBtn")
      .Run([](TForm& f) { EXPECT_EQ(f.ModalResult(), mrNone); })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(MessageTexts(ui), (std::vector<std::string>{kDiffer, kDiffer}));
}

TEST_F(ChangePasswordDialog, EmptyNewPasswordIsRefused) {
  PastCurrentPassword()
      .Tab()
      .Click("OKBtn")
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "Password1");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(MessageTexts(ui), (std::vector<std::string>{kInvalid}));
}

TEST_F(ChangePasswordDialog, EveryBoxTakesTwentyCharactersAndNoTwentyFirst) {
  // As many characters as a stored password holds, several of them two
  // bytes long in UTF-8: the limit counts characters.
  const std::string twenty = "çãoáéíóúâêçãoáéíóúâê";
  const std::string twentyOne = twenty + "!";
  dlg.OldPassword = twenty;
  ui.WhenShown("MudaPwd").Type(twentyOne).Enter().Type(twentyOne).Enter().Type(twentyOne).Enter().Enter();
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(dlg.SenhaAntiga->Text(), twenty);
  EXPECT_EQ(dlg.Password1->Text(), twenty);
  EXPECT_EQ(dlg.Password2->Text(), twenty);
  EXPECT_TRUE(ui.Messages().empty());
}

// OK checks the current password again: a mouse pressed on Cancel and
// released elsewhere, or Shift+Tab through Cancel, leaves its box without
// the check.
TEST_F(ChangePasswordDialog, OkRefusesAWrongCurrentPasswordWhateverPathTheFocusTook) {
  dlg.OldPassword = "certa";
  ui.WhenShown("MudaPwd")
      .Type("errada").ShiftTab().ShiftTab().ShiftTab().Type("Nova").ShiftTab().Type("Nova")
      .Click("OKBtn")
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "SenhaAntiga"); })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(MessageTexts(ui), (std::vector<std::string>{kInvalid}));
}

TEST_F(ChangePasswordDialog, EnterFromTheSecondBoxOnlyFocusesOkAndAFurtherEnterPressesIt) {
  PastCurrentPassword()
      .Type("Nova")
      .Enter()
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "Password2"); })
      .Type("Nova")
      .Enter()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "OKBtn");
        EXPECT_EQ(f.ModalResult(), mrNone);
        EXPECT_TRUE(ui.Messages().empty());
      })
      .Enter();
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(dlg.Password1->Text(), "Nova");
  EXPECT_TRUE(ui.Messages().empty());
}

// The owner refuses a new password (one used before, say) and asks again:
// it clears both new boxes and makes Password1 the active control. The
// current password stays and is not checked again.
TEST_F(ChangePasswordDialog, ShownAgainStartsWhereTheOwnerPutTheFocus) {
  PastCurrentPassword().Type("Antiga").Tab().Type("Antiga").Enter().Enter();
  ui.WhenShown("MudaPwd")
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "Password1");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Type("Outra")
      .Enter()
      .Type("Outra")
      .Enter()
      .Enter();
  uMudaPwd = &dlg;
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  dlg.Password1->SetText("");
  dlg.Password2->SetText("");
  dlg.SetActiveControl(dlg.Password1);
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(dlg.Password1->Text(), "Outra");
  EXPECT_EQ(dlg.SenhaAntiga->Text(), "Velha1");
  EXPECT_TRUE(ui.Messages().empty());
  EXPECT_TRUE(ui.UnusedScripts().empty());
}

}  // namespace
}  // namespace qv

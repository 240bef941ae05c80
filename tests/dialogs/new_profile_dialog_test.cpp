// The new-profile dialog on a row just inserted into the profiles dataset,
// driven by the scripted person: the opening state, the interval box
// following the must-change box, the description check, the Enter walk and
// the values the row receives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvd3/component/quarvel_res.h"
#include "qvd3/dialogs/new_prof_qv.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/dialogs/data_dialog_fixture.h"
#include "tests/dialogs/dialog_checks.h"

namespace qv {
namespace {

using testing::ExpectControlsFitIn;
using testing::FocusedName;
using testing::TabOrderNames;

class NewProfileDialog : public test::DataDialogTest {
 protected:
  void SetUp() override {
    DataDialogTest::SetUp();
    if (HasFatalFailure()) return;
    Users->qryProfiles.Insert();
  }

  TField& Row(const char* column) { return Users->qryProfiles.FieldByName(column); }
};

TEST_P(NewProfileDialog, FormDefinition) {
  TNewProfile dlg(nullptr);
  EXPECT_EQ(dlg.Name(), "NewProfile");
  EXPECT_TRUE(dlg.KeyPreview());
  EXPECT_EQ(dlg.BorderStyle(), bsSingle);
  EXPECT_EQ(dlg.BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_EQ(dlg.Position(), poScreenCenter);
  EXPECT_EQ(dlg.ClientWidth(), 284);
  EXPECT_EQ(dlg.ClientHeight(), 228);
  EXPECT_EQ(TabOrderNames(dlg),
            (std::vector<std::string>{"DBEdit5", "cbxMUST_CHANGE_PWD", "DBEdit6", "cbxAUDIT_MODE",
                                      "rgpHIDE_DISABLE_MENU", "OKBtn", "CancelBtn"}));
  EXPECT_EQ(dlg.lblPROF_DESCRIPTION->FocusControl(), dlg.DBEdit5);
  EXPECT_EQ(dlg.lblINTERVAL_CHANGE_PWD->FocusControl(), dlg.DBEdit6);
  EXPECT_EQ(dlg.OKBtn->ModalResult(), mrNone);
  EXPECT_EQ(dlg.CancelBtn->ModalResult(), mrCancel);
  EXPECT_TRUE(dlg.CancelBtn->Cancel());
  EXPECT_EQ(dlg.rgpHIDE_DISABLE_MENU->Columns(), 2);
  EXPECT_EQ(dlg.DBEdit6->DataField(), "INTERVAL_CHANGE_PWD");
  EXPECT_EQ(dlg.cbxAUDIT_MODE->DataSource(), &Users->dsProfiles);
  ASSERT_EQ(dlg.Panel3->ControlCount(), 9);
  ExpectControlsFitIn(*dlg.Panel3);
  EXPECT_EQ(uNewProfile, nullptr);
}

TEST_P(NewProfileDialog, OpensInTheDescriptionWithMustChangeTickedAndNoChoice) {
  TNewProfile dlg(nullptr);
  ui.WhenShown("NewProfile")
      .Run([](TForm& f) {
        auto& d = As<TNewProfile>(f);
        EXPECT_EQ(FocusedName(f), "DBEdit5");
        EXPECT_TRUE(d.cbxMUST_CHANGE_PWD->Checked());
        EXPECT_TRUE(d.DBEdit6->Enabled());
        EXPECT_FALSE(d.cbxAUDIT_MODE->Checked());
        EXPECT_EQ(d.rgpHIDE_DISABLE_MENU->ItemIndex(), -1);
        EXPECT_EQ(d.Caption(), "Novo Perfil");
        EXPECT_EQ(d.lblPROF_DESCRIPTION->Caption(), "Descrição");
        EXPECT_EQ(d.lblINTERVAL_CHANGE_PWD->Caption(), "Intervalo para mudança");
        EXPECT_EQ(d.OKBtn->Caption(), "Ok");
        EXPECT_EQ(d.CancelBtn->Caption(), "Cancelar");
        EXPECT_EQ(d.cbxMUST_CHANGE_PWD->Caption(), "Deve mudar senha");
        EXPECT_EQ(d.rgpHIDE_DISABLE_MENU->Caption(), "Item não autorizado");
        EXPECT_EQ(d.rgpHIDE_DISABLE_MENU->Items().Items(),
                  (std::vector<std::string>{"Invisível", "Desabilitado"}));
        EXPECT_EQ(d.cbxAUDIT_MODE->Caption(), "Modo de Auditoria");
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
}

TEST_P(NewProfileDialog, TheIntervalBoxFollowsTheMustChangeBoxFromEitherSide) {
  TNewProfile dlg(nullptr);
  ui.WhenShown("NewProfile")
      .Tab()
      .Press(VK_SPACE)
      .Run([this](TForm& f) {
        EXPECT_FALSE(As<TNewProfile>(f).DBEdit6->Enabled());
        EXPECT_EQ(Row("MUST_CHANGE_PWD").AsString(), "0");
      })
      .Tick("cbxMUST_CHANGE_PWD")
      .Run([this](TForm& f) {
        EXPECT_TRUE(As<TNewProfile>(f).DBEdit6->Enabled());
        // The row's value sets the box, and the interval box follows.
        Row("MUST_CHANGE_PWD").SetAsString("0");
        EXPECT_FALSE(As<TNewProfile>(f).cbxMUST_CHANGE_PWD->Checked());
        EXPECT_FALSE(As<TNewProfile>(f).DBEdit6->Enabled());
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);

  // A row that does not force changes starts with the interval box off.
  Users->qryProfiles.Cancel();
  Users->qryProfiles.Insert();
  Row("MUST_CHANGE_PWD").SetAsString("0");
  TNewProfile second(nullptr);
  EXPECT_FALSE(second.DBEdit6->Enabled());
}

TEST_P(NewProfileDialog, EmptyDescriptionIsMissingButBlanksPass) {
  TNewProfile dlg(nullptr);
  ui.WhenShown("NewProfile")
      .Choose("rgpHIDE_DISABLE_MENU", 1)
      .Click("OKBtn")
      .Run([this](TForm& f) {
        EXPECT_EQ(f.ModalResult(), mrNone);
        ASSERT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(ui.Messages()[0].Text, "Missing Description.");
        EXPECT_EQ(ui.Messages()[0].Type, mtError);
        // The activation after the message rebuilt the choices; the row's
        // choice is still shown and the focus is back in the description.
        EXPECT_EQ(As<TNewProfile>(f).rgpHIDE_DISABLE_MENU->ItemIndex(), 1);
        EXPECT_EQ(FocusedName(f), "DBEdit5");
      })
      .Type(" ")
      .Click("OKBtn");
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(Row("PROF_DESCRIPTION").AsString(), " ");
  EXPECT_EQ(Row("HIDE_DISABLE_MENU").AsInteger(), 2);
}

TEST_P(NewProfileDialog, EnterWalksEveryControlToOkAndPressesIt) {
  TNewProfile dlg(nullptr);
  std::vector<std::string> walk;
  auto note = [&walk](TForm& f) { walk.push_back(FocusedName(f)); };
  ui.WhenShown("NewProfile")
      .Type("Vendas")
      .Enter().Run(note)
      .Enter().Run(note)
      .Type("30")
      .Enter().Run(note)
      .Enter().Run(note)
      .Enter().Run(note)
      .Run([](TForm& f) { EXPECT_EQ(f.ModalResult(), mrNone); })
      .Enter();
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(walk, (std::vector<std::string>{"cbxMUST_CHANGE_PWD", "DBEdit6", "cbxAUDIT_MODE",
                                            "rgpHIDE_DISABLE_MENU", "OKBtn"}));
  EXPECT_EQ(Row("PROF_DESCRIPTION").AsString(), "Vendas");
  EXPECT_EQ(Row("INTERVAL_CHANGE_PWD").AsInteger(), 30);
  EXPECT_EQ(Row("MUST_CHANGE_PWD").AsString(), "1");
  EXPECT_EQ(Row("AUDIT_MODE").AsString(), "0");
  EXPECT_EQ(Row("HIDE_DISABLE_MENU").AsInteger(), 0);
}

// The row the dialog leaves, posted as its owner posts it: the choices and
// the audit box are stored, the description verbatim up to its width, and
// a profile that does not force changes ends without an interval.
TEST_P(NewProfileDialog, PostedRowKeepsTheChoicesAndDropsTheIntervalOfAProfileWithoutChanges) {
  TNewProfile dlg(nullptr);
  const std::string thirtyOne = "Perfil 'ç';--\"áéíóú\" 1234567890";
  ui.WhenShown("NewProfile")
      .Type(thirtyOne)
      .Tab()
      .Tab()
      .Type("15")
      .Tick("cbxMUST_CHANGE_PWD", false)
      .Tick("cbxAUDIT_MODE")
      .Choose("rgpHIDE_DISABLE_MENU", 0)
      .Click("OKBtn");
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  Users->qryProfiles.Post();
  const int prof = LastProfId;
  EXPECT_EQ(Scalar("SELECT PROF_DESCRIPTION FROM PROFILES WHERE PROF_ID=:P", {{"P", prof}}),
            thirtyOne.substr(0, thirtyOne.size() - 1));
  EXPECT_EQ(Scalar("SELECT MUST_CHANGE_PWD FROM PROFILES WHERE PROF_ID=:P", {{"P", prof}}), "0");
  EXPECT_TRUE(ScalarValue("SELECT INTERVAL_CHANGE_PWD FROM PROFILES WHERE PROF_ID=:P", {{"P", prof}}).IsNull());
  EXPECT_EQ(Scalar("SELECT AUDIT_MODE FROM PROFILES WHERE PROF_ID=:P", {{"P", prof}}), "1");
  EXPECT_EQ(Scalar("SELECT HIDE_DISABLE_MENU FROM PROFILES WHERE PROF_ID=:P", {{"P", prof}}), "1");
}

QV_INSTANTIATE_ENGINES(NewProfileDialog);

}  // namespace
}  // namespace qv

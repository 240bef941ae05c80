// The new-user dialog on a row just inserted into the users dataset, driven
// by the scripted person: the name check and the password proposal as the
// name box is left, the password check and date stamp on OK, the Enter walk,
// and the row the dialog leaves for its owner.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvd3/component/quarvel_res.h"
#include "qvd3/dialogs/new_user_qv.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/dialogs/data_dialog_fixture.h"
#include "tests/dialogs/dialog_checks.h"

namespace qv {
namespace {

using testing::ExpectControlsFitIn;
using testing::FocusedName;
using testing::TabOrderNames;

const std::string kInvalidName = "Nome de usuário inválido";

class NewUserDialog : public test::DataDialogTest {
 protected:
  void SetUp() override {
    DataDialogTest::SetUp();
    if (HasFatalFailure()) return;
    Users->qryUsers.Insert();
  }

  std::string Row(const char* column) { return Users->qryUsers.FieldByName(column).AsString(); }
};

TEST_P(NewUserDialog, FormDefinition) {
  TNewUser dlg(nullptr);
  EXPECT_EQ(dlg.Name(), "NewUser");
  EXPECT_TRUE(dlg.KeyPreview());
  EXPECT_EQ(dlg.BorderStyle(), bsSingle);
  EXPECT_EQ(dlg.BorderIcons(), TBorderIcons{biSystemMenu});
  EXPECT_EQ(dlg.Position(), poScreenCenter);
  EXPECT_EQ(dlg.ClientWidth(), 265);
  EXPECT_EQ(dlg.ClientHeight(), 253);
  EXPECT_EQ(dlg.Font(), (TFont{"Arial", -11, false}));
  EXPECT_EQ(dlg.ActiveControl(), dlg.DBEdit1);
  // The audit box comes after the two buttons.
  EXPECT_EQ(TabOrderNames(dlg), (std::vector<std::string>{"DBEdit1", "DBEdit2", "DBEdit3", "DBLookupComboBox1",
                                                           "OKBtn", "CancelBtn", "cbxAUDIT_MODE"}));
  EXPECT_EQ(dlg.lblUSER_NAME->FocusControl(), dlg.DBEdit1);
  EXPECT_EQ(dlg.lblREAL_NAME->FocusControl(), dlg.DBEdit2);
  EXPECT_EQ(dlg.lblPASSWORD->FocusControl(), dlg.DBEdit3);
  EXPECT_EQ(dlg.lblPROFILE->FocusControl(), dlg.DBLookupComboBox1);
  EXPECT_EQ(dlg.DBEdit3->PasswordChar(), 0u);
  EXPECT_EQ(dlg.OKBtn->ModalResult(), mrNone);
  EXPECT_EQ(dlg.OKBtn->Width(), 71);
  EXPECT_EQ(dlg.CancelBtn->ModalResult(), mrCancel);
  EXPECT_TRUE(dlg.CancelBtn->Cancel());
  EXPECT_EQ(dlg.DBEdit1->DataSource(), &Users->dsUsers);
  EXPECT_EQ(dlg.DBLookupComboBox1->DataField(), "PROFILE");
  EXPECT_EQ(dlg.DBLookupComboBox1->ListSource(), &Users->dsProfiles);
  EXPECT_EQ(dlg.cbxAUDIT_MODE->DataField(), "AUDIT_MODE");
  ASSERT_EQ(dlg.Panel3->ControlCount(), 11);
  ExpectControlsFitIn(*dlg.Panel3);
  EXPECT_EQ(uNewUser, nullptr);
}

TEST_P(NewUserDialog, TextsComeFromTheStringTableOnEveryActivation) {
  TNewUser dlg(nullptr);
  EXPECT_NE(dlg.Caption(), "Novo Usuário");
  auto expectTexts = [](TForm& f) {
    auto& d = As<TNewUser>(f);
    EXPECT_EQ(d.Caption(), "Novo Usuário");
    EXPECT_EQ(d.lblUSER_NAME->Caption(), "Nome do &usuário:");
    EXPECT_EQ(d.lblPASSWORD->Caption(), "&Senha:");
    EXPECT_EQ(d.lblREAL_NAME->Caption(), "Nome &real:");
    EXPECT_EQ(d.OKBtn->Caption(), "Ok");
    EXPECT_EQ(d.CancelBtn->Caption(), "Cancelar");
    EXPECT_EQ(d.lblPROFILE->Caption(), "Perfil");
    EXPECT_EQ(d.cbxAUDIT_MODE->Caption(), "Modo de Auditoria");
  };
  ui.WhenShown("NewUser")
      .Run(expectTexts)
      .Run([](TForm& f) { As<TNewUser>(f).lblPROFILE->SetCaption("x"); })
      .Tab()  // an empty name: the warning closes and the form is activated again
      .Run(expectTexts)
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kInvalidName}));
}

TEST_P(NewUserDialog, TheNameIsProposedAsPasswordEachTimeItsBoxIsLeft) {
  TNewUser dlg(nullptr);
  ui.WhenShown("NewUser")
      .Type("maria")
      .Enter()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "DBEdit2");
        EXPECT_EQ(As<TNewUser>(f).DBEdit3->Text(), "maria");
        EXPECT_EQ(Row("USER_PWD"), "maria");
      })
      .Enter()
      .Type("segredo")  // typed after the proposal
      .Run([this](TForm& f) { EXPECT_EQ(Row("USER_PWD"), "mariasegredo"); })
      .Alt('u')
      .Type("2")
      .Tab()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "DBEdit2");
        EXPECT_EQ(As<TNewUser>(f).DBEdit3->Text(), "maria2");
        EXPECT_EQ(Row("USER_PWD"), "maria2");
        EXPECT_EQ(Row("USERQV_NAME"), "maria2");
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_P(NewUserDialog, FourEntersFromTheNameReachOkAndAFifthConfirmsWithTodaysStamp) {
  TNewUser dlg(nullptr);
  ui.WhenShown("NewUser")
      .Type("joao")
      .Enter()
      .Type("João da Silva")
      .Enter()
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "DBEdit3"); })
      .Enter()
      .Run([](TForm& f) { EXPECT_EQ(FocusedName(f), "DBLookupComboBox1"); })
      .Enter()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "OKBtn");
        EXPECT_EQ(f.ModalResult(), mrNone);
        EXPECT_EQ(Row("LAST_PWD_CHANGE"), "");
      })
      .Enter();
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(Users->qryUsers.State(), TDataSetState::Insert);
  EXPECT_EQ(Row("USERQV_NAME"), "joao");
  EXPECT_EQ(Row("REAL_NAME"), "João da Silva");
  EXPECT_EQ(Row("USER_PWD"), "joao");
  EXPECT_EQ(Row("LAST_PWD_CHANGE"), TodayText());
  EXPECT_EQ(Row("LAST_PWD_CHANGE").size(), 10u);
  EXPECT_EQ(Row("AUDIT_MODE"), "0");
  EXPECT_EQ(Users->qryUsersPROFILE_ID.AsInteger(), 0);
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_P(NewUserDialog, AnEmptyNameIsRefusedUnlessTheFocusGoesToCancel) {
  TNewUser dlg(nullptr);
  ui.WhenShown("NewUser")
      .Enter()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "DBEdit1");
        ASSERT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(ui.Messages()[0].Text, kInvalidName);
        EXPECT_EQ(ui.Messages()[0].Type, mtWarning);
        EXPECT_EQ(ui.Messages()[0].Buttons, TMsgDlgButtons{mbOK});
        EXPECT_EQ(Row("USER_PWD"), "");
      })
      .Click("OKBtn")  // the click does not land: the check holds the focus
      .Run([](TForm& f) {
        EXPECT_EQ(FocusedName(f), "DBEdit1");
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .Click("CancelBtn");
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kInvalidName, kInvalidName}));
  EXPECT_EQ(Row("LAST_PWD_CHANGE"), "");

  // Esc and the close box leave without a check as well.
  ui.WhenShown("NewUser").Escape();
  ui.WhenShown("NewUser").CloseBox();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(ui.Messages().size(), 2u);
}

// Only an empty name is refused, while a password of blanks is: the two
// checks see blanks differently.
TEST_P(NewUserDialog, BlankNamePassesButBlankPasswordIsMissing) {
  TNewUser dlg(nullptr);
  ui.WhenShown("NewUser")
      .Type("   ")
      .Enter()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "DBEdit2");
        EXPECT_TRUE(ui.Messages().empty());
        auto& d = As<TNewUser>(f);
        d.DBEdit3->SetFocus();
        d.DBEdit3->SelectAll();
      })
      .Type("  ")
      .Click("OKBtn")
      .Run([this](TForm& f) {
        EXPECT_EQ(f.ModalResult(), mrNone);
        ASSERT_EQ(ui.Messages().size(), 1u);
        EXPECT_EQ(ui.Messages()[0].Text, "Missing password");
        EXPECT_EQ(ui.Messages()[0].Type, mtError);
        EXPECT_EQ(Row("LAST_PWD_CHANGE"), "");
      })
      .Run([](TForm& f) { As<TNewUser>(f).DBEdit3->SetFocus(); })
      .Type("x ")  // blanks around a password are kept
      .Click("OKBtn");
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(Row("USERQV_NAME"), "   ");
  EXPECT_EQ(Row("USER_PWD"), "  x ");
  EXPECT_EQ(Row("LAST_PWD_CHANGE"), TodayText());
}

TEST_P(NewUserDialog, EnteringAnEmptyPasswordBoxProposesTheName) {
  TNewUser dlg(nullptr);
  ui.WhenShown("NewUser")
      .Type("ana")
      .Tab()
      .Run([](TForm& f) {
        auto& d = As<TNewUser>(f);
        d.DBEdit3->SetFocus();
        d.DBEdit3->SelectAll();
      })
      .Press(VK_DELETE)
      .Run([this](TForm& f) { EXPECT_EQ(Row("USER_PWD"), ""); })
      .ShiftTab()
      .Tab()
      .Run([this](TForm& f) {
        EXPECT_EQ(FocusedName(f), "DBEdit3");
        EXPECT_EQ(As<TNewUser>(f).DBEdit3->Text(), "ana");
        EXPECT_EQ(Row("USER_PWD"), "ana");
      })
      .Escape();
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
}

TEST_P(NewUserDialog, ProfileAndAuditModeGoIntoTheRowAndNamesAreCutToTheirWidth) {
  const int sales = AddProfile("Vendas");
  AddProfile("Consulta");
  Users->qryProfiles.Reopen();
  TNewUser dlg(nullptr);
  ui.WhenShown("NewUser")
      .Run([](TForm& f) {
        auto& d = As<TNewUser>(f);
        std::vector<std::string> texts;
        for (const TLookupItem& item : d.DBLookupComboBox1->ListItems()) texts.push_back(item.Text);
        EXPECT_EQ(texts, (std::vector<std::string>{"Consulta", "Vendas"}));
      })
      .Type("O'Neil;--çã!")  // eleven characters: the last is refused
      .Tab()
      .Type("\"Real\"; DROP TABLE QUARVEL; --")
      .Run([sales](TForm& f) { As<TNewUser>(f).DBLookupComboBox1->ChooseByPerson(Value(sales)); })
      .Tick("cbxAUDIT_MODE")
      .Click("OKBtn");
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_EQ(Row("USERQV_NAME"), "O'Neil;--ç");
  EXPECT_EQ(Row("USER_PWD"), "O'Neil;--ç");
  EXPECT_EQ(Row("REAL_NAME"), "\"Real\"; DROP TABLE QUARVEL; --");
  EXPECT_EQ(Users->qryUsersPROFILE_ID.AsInteger(), sales);
  EXPECT_EQ(Users->qryUsersPROFILE.AsString(), "Vendas");
  EXPECT_EQ(Row("AUDIT_MODE"), "1");
}

QV_INSTANTIATE_ENGINES(NewUserDialog);

}  // namespace
}  // namespace qv

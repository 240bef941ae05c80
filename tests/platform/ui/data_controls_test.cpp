// Data-aware controls on a real dataset, on both engines: they follow the
// cursor, and what the person changes is written through to the row.
#include <gtest/gtest.h>

#include "qvd3/platform/db/query.h"
#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/db/engine_fixture.h"

namespace qv {
namespace {

class DataControlsTest : public test::EngineTest {
 protected:
  void SetUp() override {
    test::EngineTest::SetUp();
    Exec("CREATE TABLE PROFILES (PROF_ID INTEGER PRIMARY KEY, PROF_DESCRIPTION VARCHAR(30))");
    Exec("INSERT INTO PROFILES VALUES (1, 'Vendas')");
    Exec("INSERT INTO PROFILES VALUES (2, 'Gerentes')");
    Exec(
        "CREATE TABLE USERS (USER_ID INTEGER PRIMARY KEY, USERQV_NAME VARCHAR(10), AUDIT_MODE VARCHAR(1), "
        "HIDE_MENU INTEGER, PROFILE_ID INTEGER)");
    Exec("INSERT INTO USERS VALUES (1, 'ana', '1', 1, 1)");
    Exec("INSERT INTO USERS VALUES (2, 'bruno', '0', 2, 2)");
    Exec("INSERT INTO USERS VALUES (3, 'carla', NULL, 0, 0)");
    profiles.SetDatabaseName(Alias());
    profiles.SetSQL("SELECT PROF_ID, PROF_DESCRIPTION FROM PROFILES ORDER BY PROF_ID");
    profiles.Open();
    users.SetDatabaseName(Alias());
    users.SetSQL("SELECT USER_ID, USERQV_NAME, AUDIT_MODE, HIDE_MENU, PROFILE_ID FROM USERS ORDER BY USER_ID");
    users.SetRequestLive(true);
    users.AddLookupField("PROFILE", 30, "PROFILE_ID", profiles, "PROF_ID", "PROF_DESCRIPTION");
    users.Open();
    form.SetName("Data");

    name = new TDBEdit(&form);
    name->SetName("DBEdit1");
    name->SetParent(&form);
    name->SetDataSource(&dsUsers);
    name->SetDataField("USERQV_NAME");
    audit = new TDBCheckBox(&form);
    audit->SetName("cbxAUDIT_MODE");
    audit->SetParent(&form);
    audit->SetDataSource(&dsUsers);
    audit->SetDataField("AUDIT_MODE");
    hide = new TDBRadioGroup(&form);
    hide->SetName("rgpHIDE");
    hide->SetParent(&form);
    hide->Items().Add("Invisível");
    hide->Items().Add("Desabilitado");
    hide->Values().Add("1");
    hide->Values().Add("2");
    hide->SetDataSource(&dsUsers);
    hide->SetDataField("HIDE_MENU");
    profile = new TDBLookupComboBox(&form);
    profile->SetName("DBLookupComboBox1");
    profile->SetParent(&form);
    profile->SetListSource(&dsProfiles);
    profile->SetKeyField("PROF_ID");
    profile->SetListField("PROF_DESCRIPTION");
    profile->SetDataSource(&dsUsers);
    profile->SetDataField("PROFILE");
    grid = new TDBGrid(&form);
    grid->SetName("DBGridUsers");
    grid->SetParent(&form);
    grid->SetDataSource(&dsUsers);
    grid->AddColumn("USERQV_NAME", "Nome de Usuário", 120);
    grid->AddColumn("PROFILE", "Perfil", 188);
  }

  TQuery profiles;
  TQuery users;
  TDataSource dsUsers{&users};
  TDataSource dsProfiles{&profiles};
  TForm form{nullptr};
  TDBEdit* name = nullptr;
  TDBCheckBox* audit = nullptr;
  TDBRadioGroup* hide = nullptr;
  TDBLookupComboBox* profile = nullptr;
  TDBGrid* grid = nullptr;
};

TEST_P(DataControlsTest, ControlsFollowTheCursor) {
  EXPECT_EQ(name->Text(), "ana");
  EXPECT_TRUE(audit->Checked());
  EXPECT_EQ(hide->ItemIndex(), 0);
  EXPECT_EQ(profile->KeyValue(), Value(1));
  EXPECT_EQ(profile->SelectedText(), "Vendas");
  users.Next();
  EXPECT_EQ(name->Text(), "bruno");
  EXPECT_FALSE(audit->Checked());
  EXPECT_EQ(hide->ItemIndex(), 1);
  EXPECT_EQ(profile->SelectedText(), "Gerentes");
  EXPECT_EQ(grid->SelectedRow(), 2);
  users.Next();
  // A null flag is not ticked; a value matching no choice selects none; a
  // key with no profile row shows nothing.
  EXPECT_FALSE(audit->Checked());
  EXPECT_EQ(hide->ItemIndex(), -1);
  EXPECT_EQ(profile->SelectedText(), "");
  users.Close();
  EXPECT_EQ(name->Text(), "");
  EXPECT_EQ(grid->RowCount(), 0);
}

TEST_P(DataControlsTest, WhatThePersonChangesIsWrittenToTheRow) {
  int clicks = 0;
  audit->OnClick = [&](TObject&) { ++clicks; };
  THeadlessBackend ui;
  ui.WhenShown("Data")
      .Click("DBEdit1")
      .Press(VK_END)
      .Type("a")
      .Tick("cbxAUDIT_MODE", false)
      .Choose("rgpHIDE", 1)
      .Run([&](TForm&) {
        EXPECT_EQ(users.State(), TDataSetState::Edit);
        EXPECT_EQ(users.FieldByName("USERQV_NAME").AsString(), "anaa");
        EXPECT_EQ(users.FieldByName("AUDIT_MODE").AsString(), "0");
        EXPECT_EQ(users.FieldByName("HIDE_MENU").AsInteger(), 2);
        profile->ChooseByPerson(Value(2));
        EXPECT_EQ(users.FieldByName("PROFILE_ID").AsInteger(), 2);
        EXPECT_EQ(users.FieldByName("PROFILE").AsString(), "Gerentes");
        users.Post();
      })
      .CloseBox();
  form.ShowModal();
  EXPECT_EQ(clicks, 1);
  TQuery check;
  check.SetDatabaseName(Alias());
  check.SetSQL("SELECT USERQV_NAME, AUDIT_MODE, HIDE_MENU, PROFILE_ID FROM USERS WHERE USER_ID = 1");
  check.Open();
  EXPECT_EQ(check.FieldByName("USERQV_NAME").AsString(), "anaa");
  EXPECT_EQ(check.FieldByName("AUDIT_MODE").AsString(), "0");
  EXPECT_EQ(check.FieldByName("HIDE_MENU").AsInteger(), 2);
  EXPECT_EQ(check.FieldByName("PROFILE_ID").AsInteger(), 2);
}

TEST_P(DataControlsTest, TypingStopsAtTheFieldWidth) {
  THeadlessBackend ui;
  ui.WhenShown("Data").Click("DBEdit1").Type("12345678901234").CloseBox();
  form.ShowModal();
  EXPECT_EQ(users.FieldByName("USERQV_NAME").AsString(), "ana1234567");
}

TEST_P(DataControlsTest, AReadOnlyDatasetRefusesChangesWithoutLosingTheValue) {
  TQuery readOnly;
  readOnly.SetDatabaseName(Alias());
  readOnly.SetSQL("SELECT USER_ID, AUDIT_MODE FROM USERS ORDER BY USER_ID");
  readOnly.Open();
  TDataSource source(&readOnly);
  audit->SetDataSource(&source);
  THeadlessBackend ui;
  ui.WhenShown("Data").Run([&](TForm&) { audit->ClickByPerson(); }).CloseBox();
  form.ShowModal();
  EXPECT_TRUE(audit->Checked());
  EXPECT_EQ(readOnly.State(), TDataSetState::Browse);
  EXPECT_EQ(readOnly.FieldByName("AUDIT_MODE").AsString(), "1");
}

TEST_P(DataControlsTest, GridShowsCellsAndMovesTheCursorWhenARowIsClicked) {
  EXPECT_EQ(grid->RowCount(), 3);
  EXPECT_EQ(grid->CellText(2, 0), "bruno");
  EXPECT_EQ(grid->CellText(1, 1), "Vendas");
  EXPECT_EQ(grid->Columns(1).Title.Caption, "Perfil");
  THeadlessBackend ui;
  ui.WhenShown("Data").Run([&](TForm&) { grid->SelectRowByPerson(3); }).Press(VK_UP).CloseBox();
  form.ShowModal();
  EXPECT_EQ(users.RecNo(), 2);
  EXPECT_EQ(name->Text(), "bruno");
}

TEST_P(DataControlsTest, LookupSelectorMovesItsListAndListsTheRows) {
  TDBLookupComboBox selector(nullptr);
  selector.SetListSource(&dsProfiles);
  selector.SetKeyField("PROF_ID");
  selector.SetListField("PROF_DESCRIPTION");
  auto items = selector.ListItems();
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[1].Text, "Gerentes");
  selector.SetKeyValue(Value(2));
  EXPECT_EQ(profiles.FieldByName("PROF_DESCRIPTION").AsString(), "Gerentes");
  selector.SetKeyValue(Value(99));
  EXPECT_EQ(profiles.FieldByName("PROF_ID").AsInteger(), 2);  // no match: the list stays
  EXPECT_EQ(selector.SelectedText(), "");
}

TEST_P(DataControlsTest, NavigatorMovesAndDeletesAfterConfirmation) {
  TDBNavigator nav(nullptr);
  nav.SetDataSource(&dsUsers);
  EXPECT_FALSE(nav.ButtonEnabled(nbPrior));
  nav.BtnClick(nbLast);
  EXPECT_EQ(name->Text(), "carla");
  EXPECT_FALSE(nav.ButtonEnabled(nbNext));
  THeadlessBackend ui;
  ui.AnswerMessages(mrNo);
  nav.BtnClick(nbDelete);
  EXPECT_EQ(users.RecordCount(), 3);
  ui.AnswerMessages(mrYes);
  nav.BtnClick(nbDelete);
  EXPECT_EQ(users.RecordCount(), 2);
  nav.SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast});
  EXPECT_FALSE(nav.ButtonEnabled(nbDelete));
}

TEST_P(DataControlsTest, LookupListTakesUpDownAndTypingAsThePersonsChoice) {
  int closed = 0;
  profile->OnCloseUp = [&](TObject&) { ++closed; };
  THeadlessBackend ui;
  ui.WhenShown("Data")
      .ChooseLookupText("DBLookupComboBox1", "Vendas")  // the current choice: written again
      .Press(VK_DOWN)
      .Run([&](TForm&) { EXPECT_EQ(users.FieldByName("PROFILE_ID").AsInteger(), 2); })
      .Press(VK_DOWN)  // already the last item
      .Press(VK_UP)
      .Run([&](TForm&) { EXPECT_EQ(users.FieldByName("PROFILE").AsString(), "Vendas"); })
      .Type("ge")
      .Run([&](TForm&) { EXPECT_EQ(profile->SelectedText(), "Gerentes"); })
      .Type("x")  // matches nothing: the choice stays
      .CloseBox();
  form.ShowModal();
  EXPECT_EQ(users.FieldByName("PROFILE_ID").AsInteger(), 2);
  EXPECT_EQ(closed, 4);
}

TEST_P(DataControlsTest, ScriptsChooseRowsAndNavigatorButtonsTheNavigatorAsksInPortuguese) {
  auto* nav = new TDBNavigator(&form);
  nav->SetName("DBNavigator1");
  nav->SetParent(&form);
  nav->SetDataSource(&dsUsers);
  THeadlessBackend ui;
  ui.AnswerMessages(mrNo);
  ui.WhenShown("Data")
      .ChooseRow("DBGridUsers", 2)
      .Run([&](TForm&) { EXPECT_EQ(name->Text(), "bruno"); })
      .PressNavigator("DBNavigator1", nbLast)
      .PressNavigator("DBNavigator1", nbDelete)
      .Run([&](TForm&) { EXPECT_EQ(users.RecordCount(), 3); })
      .PressNavigator("DBNavigator1", nbNext);  // on the last row: refused
  EXPECT_THROW(form.ShowModal(), EScriptError);
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].Text, "Eliminar o registro?");
  EXPECT_EQ(name->Text(), "carla");
}

TEST_P(DataControlsTest, ARadioChoiceOnARowThatCannotBeEditedIsRefused) {
  TQuery readOnly;
  readOnly.SetDatabaseName(Alias());
  readOnly.SetSQL("SELECT USER_ID, HIDE_MENU FROM USERS ORDER BY USER_ID");
  readOnly.Open();
  TDataSource source(&readOnly);
  hide->SetDataSource(&source);
  THeadlessBackend ui;
  // Through the plain radio group's interface, as a backend reaches it.
  ui.WhenShown("Data").Choose("rgpHIDE", 1).CloseBox();
  form.ShowModal();
  EXPECT_EQ(hide->ItemIndex(), 0);
  EXPECT_EQ(readOnly.FieldByName("HIDE_MENU").AsInteger(), 1);
}

QV_INSTANTIATE_ENGINES(DataControlsTest);

}  // namespace
}  // namespace qv

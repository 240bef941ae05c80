// Modal showing, activation, closing, the standard dialogs, the error
// display, the cursor, and the scripted person's transcript and failures.
#include <gtest/gtest.h>

#include "qvd3/platform/ui/headless/headless.h"
#include "qvd3/platform/ui/menus.h"
#include "tests/platform/ui/dialog_forms.h"

namespace qv::testing {
namespace {

// A form with one edit and two buttons whose clicks run test code.
class Host : public TForm {
 public:
  TEdit* Box;
  TButton* Action;
  TButton* Close;
  std::vector<std::string> Log;

  explicit Host(const char* name) : TForm(nullptr) {
    SetName(name);
    Box = new TEdit(this);
    Box->SetName("Box");
    Box->SetParent(this);
    Action = new TButton(this);
    Action->SetName("Action");
    Action->SetParent(this);
    Close = new TButton(this);
    Close->SetName("CloseBtn");
    Close->SetParent(this);
    Close->SetModalResult(mrOk);
    OnActivate = [this](TObject&) { Log.push_back("activate"); };
    OnDeactivate = [this](TObject&) { Log.push_back("deactivate"); };
  }
};

TEST(Showing, ModalResultOfAButtonEndsTheShowingAfterItsOnClick) {
  THeadlessBackend ui;
  Host form("Host");
  form.Close->OnClick = [&](TObject&) { form.Log.push_back("click " + std::to_string(form.ModalResult())); };
  ui.WhenShown("Host").Click("CloseBtn");
  EXPECT_EQ(form.ShowModal(), mrOk);
  EXPECT_EQ(form.Log, (std::vector<std::string>{"activate", "click 0", "deactivate"}));
  EXPECT_FALSE(form.Showing());
}

TEST(Showing, OnCloseQueryCanRefuseOnceAndTheShowingGoesOn) {
  THeadlessBackend ui;
  Host form("Host");
  int asked = 0;
  form.OnCloseQuery = [&](TObject&, bool& canClose) { canClose = ++asked > 1; };
  ui.WhenShown("Host")
      .CloseBox()
      .Run([](TForm& f) {
        EXPECT_TRUE(f.Showing());
        EXPECT_EQ(f.ModalResult(), mrNone);
      })
      .CloseBox();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(asked, 2);
}

TEST(Showing, ActivationRunsAgainAfterANestedMessageOrDialogButDeactivationOnlyAtTheEnd) {
  THeadlessBackend ui;
  Host outer("Outer");
  Host inner("Inner");
  outer.Action->OnClick = [&](TObject&) {
    MessageDlg("Mudança de senha efetuada", mtInformation, {mbOK});
    inner.ShowModal();
  };
  ui.WhenShown("Outer").Click("Action").Click("CloseBtn");
  ui.WhenShown("Inner").Click("CloseBtn");
  EXPECT_EQ(outer.ShowModal(), mrOk);
  EXPECT_EQ(outer.Log, (std::vector<std::string>{"activate", "activate", "activate", "deactivate"}));
  EXPECT_EQ(inner.Log, (std::vector<std::string>{"activate", "deactivate"}));
  ASSERT_EQ(ui.Forms().size(), 2u);
  EXPECT_EQ(ui.Forms()[1].Name, "Inner");
  EXPECT_LT(ui.Messages()[0].Seq, ui.Forms()[1].Seq);
}

TEST(Showing, ShowingAVisibleFormModallyIsRefused) {
  THeadlessBackend ui;
  Host form("Host");
  ui.WhenShown("Host").Run([](TForm& f) { EXPECT_THROW(f.ShowModal(), EInvalidOperation); }).CloseBox();
  form.ShowModal();
}

TEST(Showing, WithoutABackendShowingIsAClearError) {
  Host form("Host");
  EXPECT_THROW(form.ShowModal(), EInvalidOperation);
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(Screen.ActiveForm(), nullptr);
}

TEST(Showing, ErrorsOfHandlersGoToTheErrorDisplayAndTheDialogStaysUp) {
  THeadlessBackend ui;
  Host form("Host");
  form.Action->OnClick = [](TObject&) { throw Exception("Missing password"); };
  form.Close->OnClick = [](TObject&) { Abort(); };
  ui.WhenShown("Host").Click("Action").Click("CloseBtn").Run([](TForm& f) { EXPECT_TRUE(f.Showing()); }).CloseBox();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  ASSERT_EQ(ui.Messages().size(), 1u);  // the silent abort shows nothing
  EXPECT_EQ(ui.Messages()[0].Text, "Missing password");
  EXPECT_EQ(ui.Messages()[0].Type, mtError);
}

TEST(Script, AFormLeftWaitingFailsNamingIt) {
  THeadlessBackend ui;
  LoginForm form;
  ui.WhenShown("Login").Type("maria");
  try {
    form.ShowModal();
    FAIL() << "the showing should have failed";
  } catch (const EFormStillWaiting& e) {
    EXPECT_EQ(e.FormName(), "Login");
    EXPECT_NE(std::string(e.what()).find("Login"), std::string::npos);
  }
  EXPECT_FALSE(form.Showing());
  EXPECT_EQ(Screen.ActiveForm(), nullptr);
}

TEST(Script, AnUnscriptedFormFailsToo) {
  THeadlessBackend ui;
  LoginForm form;
  EXPECT_THROW(form.ShowModal(), EFormStillWaiting);
}

TEST(Script, AnUnknownControlFailsNamingTheControl) {
  THeadlessBackend ui;
  LoginForm form;
  ui.WhenShown("Login").Click("NoSuchButton");
  try {
    form.ShowModal();
    FAIL();
  } catch (const EScriptError& e) {
    EXPECT_NE(std::string(e.what()).find("NoSuchButton"), std::string::npos);
  }
}

TEST(Script, ScriptFailuresPassThroughTheErrorDisplay) {
  THeadlessBackend ui;
  Host form("Host");
  // Code that sends every error to the error display must not swallow a
  // failing script.
  form.Action->OnClick = [](TObject&) {
    try {
      MessageDlg("Deseja realmente eliminar?", mtConfirmation, mbYesNo);
    } catch (const std::exception& e) {
      Application.HandleException(e);
    }
  };
  ui.WhenShown("Host").Click("Action").CloseBox();
  EXPECT_THROW(form.ShowModal(), EUnansweredMessage);
}

TEST(Script, ActionsLeftAfterTheFormClosedFail) {
  THeadlessBackend ui;
  LoginForm form;
  ui.WhenShown("Login").Escape().Type("late");
  EXPECT_THROW(form.ShowModal(), EScriptError);
}

TEST(Script, ScriptsMatchTheClassNameToo) {
  THeadlessBackend ui;
  LoginForm form;
  ui.WhenShown("LoginForm").Escape();
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_TRUE(ui.UnusedScripts().empty());
}

TEST(Messages, ScriptedAnswersAreCheckedAgainstTheButtons) {
  THeadlessBackend ui;
  ui.AnswerMessages(mrNo);
  ui.AnswerMessages(mrYes);
  EXPECT_EQ(MessageDlg("Apagar?", mtConfirmation, mbYesNo), mrNo);
  // A lone OK box does not eat the answer meant for the next question.
  EXPECT_EQ(MessageDlg("Aviso", mtWarning, {mbOK}), mrOk);
  EXPECT_EQ(MessageDlg("Apagar mesmo?", mtConfirmation, mbYesNo), mrYes);
  ASSERT_EQ(ui.Messages().size(), 3u);
  EXPECT_EQ(ui.Messages()[0].Buttons, mbYesNo);
  EXPECT_EQ(ui.Messages()[0].Answer, mrNo);
  EXPECT_EQ(ui.Messages()[1].Answer, mrOk);
  ui.AnswerMessages(mrOk);
  EXPECT_THROW(MessageDlg("Sim ou não?", mtConfirmation, mbYesNo), EScriptError);
  try {
    MessageDlg("Deseja realmente eliminar o usuário ana ?", mtConfirmation, mbYesNo);
    FAIL();
  } catch (const EUnansweredMessage& e) {
    EXPECT_NE(std::string(e.what()).find("eliminar o usuário ana"), std::string::npos);
  }
}

TEST(Messages, InputQueryAnswersOkOrCancel) {
  THeadlessBackend ui;
  ui.AnswerQuery("nova senha");
  ui.CancelQuery();
  std::string value = "antes";
  EXPECT_TRUE(InputQuery("Senha", "Digite:", value));
  EXPECT_EQ(value, "nova senha");
  EXPECT_FALSE(InputQuery("Senha", "Digite:", value));
  EXPECT_EQ(value, "nova senha");
  EXPECT_THROW(InputQuery("Senha", "Digite:", value), EUnansweredMessage);
  ASSERT_EQ(ui.Queries().size(), 3u);
  EXPECT_EQ(ui.Queries()[0].Initial, "antes");
  EXPECT_FALSE(ui.Queries()[1].Ok);
}

TEST(ErrorDisplay, ShowsTheMessageAndIgnoresTheSilentCancel) {
  THeadlessBackend ui;
  Application.HandleException(EAbort());
  EXPECT_TRUE(ui.Messages().empty());
  Application.HandleException(Exception("Missing Description."));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].Text, "Missing Description.");
  EXPECT_EQ(ui.Messages()[0].Type, mtError);
  EXPECT_EQ(ui.Messages()[0].Buttons, TMsgDlgButtons{mbOK});
}

TEST(Cursor, WaitCursorRestoresThePreviousOneAlsoOnError) {
  THeadlessBackend ui;
  Screen.SetCursor(crSQLWait);
  try {
    TWaitCursor wait;
    EXPECT_EQ(Screen.Cursor(), crHourGlass);
    throw Exception("x");
  } catch (const Exception&) {
  }
  EXPECT_EQ(Screen.Cursor(), crSQLWait);
  EXPECT_EQ(ui.Cursors(), (std::vector<TCursor>{crSQLWait, crHourGlass, crSQLWait}));
}

TEST(MainForm, RunsItsScriptUntilTerminated) {
  THeadlessBackend ui;
  Host main("Main");
  auto* menu = new TMainMenu(&main);
  auto* quit = new TMenuItem(&main);
  quit->SetName("mnuQuit");
  menu->Items()->Add(quit);
  auto* off = new TMenuItem(&main);
  off->SetName("mnuOff");
  off->SetEnabled(false);
  menu->Items()->Add(off);
  main.SetMenu(menu);
  quit->OnClick = [](TObject&) { Application.Terminate(); };
  ui.WhenShown("Main").Run([](TForm& f) { EXPECT_EQ(Application.MainForm(), &f); }).ChooseMenu("mnuQuit");
  Application.Run(main);
  EXPECT_TRUE(Application.Terminated());
  EXPECT_FALSE(main.Showing());
  ASSERT_EQ(ui.Forms().size(), 1u);
  EXPECT_FALSE(ui.Forms()[0].Modal);

  Application.ClearTerminated();
  ui.WhenShown("Main").ChooseMenu("mnuOff");
  EXPECT_THROW(Application.Run(main), EScriptError);
}

}  // namespace
}  // namespace qv::testing

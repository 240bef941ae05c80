// The login and change-password dialogs shown as real Qt windows and driven
// by synthetic Qt key and mouse events must end exactly as they do under
// the headless backend: the keys reach the model, not Qt's own focus chain
// or default-button logic.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "qvd3/dialogs/chng_pwd_qv.h"
#include "qvd3/dialogs/login_qv.h"
#include "qvd3/platform/ui/qt/qt_person.h"
#include "tests/platform/qt/qt_fixture.h"

namespace qv::test {
namespace {

using qt_person::PressKey;
using qt_person::TypeText;

class QtLoginDialog : public ::testing::Test {
 protected:
  QtBackendFixture ui;
  TLogin login{nullptr};

  QLineEdit& Line(TControl* control) { return *qobject_cast<QLineEdit*>(ui.Backend().WidgetOf(*control)); }
};

TEST_F(QtLoginDialog, TypingAndTwoEntersConfirmsWithWhatWasTyped) {
  ui.WhenShown("Login", [&](QWidget& window, TForm&) {
    EXPECT_EQ(window.windowTitle().toStdString(), "Acesso ao Sistema");
    TypeText(window, "maria");
    PressKey(window, Qt::Key_Return);
    // Enter moved the model's focus, and the Qt focus followed it.
    EXPECT_EQ(login.ActiveControl(), login.Senha);
    EXPECT_EQ(window.focusWidget(), ui.Backend().WidgetOf(*login.Senha));
    TypeText(window, "Segredo 1");
    PressKey(window, Qt::Key_Return);
  });
  EXPECT_EQ(login.ShowModal(), mrOk);
  EXPECT_EQ(login.Usuario->Text(), "maria");
  EXPECT_EQ(login.Senha->Text(), "Segredo 1");
  // The widgets mirror the model: the texts, the password echo.
  EXPECT_EQ(Line(login.Usuario).text(), "maria");
  EXPECT_EQ(Line(login.Senha).text(), "Segredo 1");
  EXPECT_EQ(Line(login.Senha).echoMode(), QLineEdit::Password);
  EXPECT_EQ(Line(login.Usuario).echoMode(), QLineEdit::Normal);
  EXPECT_FALSE(ui.Backend().WindowOf(login)->isVisible());
}

TEST_F(QtLoginDialog, EscapeCancelsWhateverTheBoxesHold) {
  ui.WhenShown("Login", [&](QWidget& window, TForm&) {
    TypeText(window, "joao");
    PressKey(window, Qt::Key_Escape);
  });
  EXPECT_EQ(login.ShowModal(), mrCancel);
  EXPECT_EQ(login.Usuario->Text(), "joao");
}

TEST_F(QtLoginDialog, ShiftTabReachesCancelAndAltSFocusesThePassword) {
  ui.WhenShown("Login", [&](QWidget& window, TForm&) {
    PressKey(window, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(login.ActiveControl(), login.Senha);
    EXPECT_EQ(login.ModalResult(), mrNone);
    PressKey(window, Qt::Key_Backtab, Qt::ShiftModifier);
    PressKey(window, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(login.ActiveControl(), login.CancelBtn);
    PressKey(window, Qt::Key_Return);
  });
  EXPECT_EQ(login.ShowModal(), mrCancel);
}

TEST_F(QtLoginDialog, SecondShowingKeepsTheTextsAndTheCloseBoxCancels) {
  ui.WhenShown("Login", [&](QWidget& window, TForm&) {
    TypeText(window, "ana");
    PressKey(window, Qt::Key_Tab);
    TypeText(window, "pw");
    PressKey(window, Qt::Key_Tab);  // tabbing onto OK confirms
  });
  ASSERT_EQ(login.ShowModal(), mrOk);
  ui.WhenShown("Login", [&](QWidget& window, TForm&) {
    EXPECT_EQ(login.Usuario->SelLength(), 3);
    EXPECT_EQ(Line(login.Usuario).selectedText(), "ana");
    EXPECT_EQ(Line(login.Senha).text(), "pw");
    QCloseEvent close;
    QApplication::sendEvent(&window, &close);
  });
  EXPECT_EQ(login.ShowModal(), mrCancel);
}

TEST_F(QtLoginDialog, MouseClicksReachTheModel) {
  ui.WhenShown("Login", [&](QWidget&, TForm&) {
    qt_person::Click(*ui.Backend().WidgetOf(*login.Senha));
    EXPECT_EQ(login.ActiveControl(), login.Senha);
    qt_person::Click(*ui.Backend().WidgetOf(*login.OKBtn));
  });
  EXPECT_EQ(login.ShowModal(), mrOk);
}

TEST_F(QtLoginDialog, RendersTheModelGeometryAndUnderlinedAccelerators) {
  ui.WhenShown("Login", [&](QWidget& window, TForm&) {
    EXPECT_EQ(window.size(), QSize(238, 138));
    QWidget* ok = ui.Backend().WidgetOf(*login.OKBtn);
    EXPECT_EQ(ok->geometry(), QRect(login.OKBtn->Left(), login.OKBtn->Top(), 75, 25));
    auto* label = qobject_cast<QLabel*>(ui.Backend().WidgetOf(*login.lblUserName));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->text().contains("<u>u</u>")) << label->text().toStdString();
    EXPECT_FALSE(label->text().contains("&amp;u"));
    EXPECT_EQ(qobject_cast<QPushButton*>(ok)->text(), "Ok");
    PressKey(window, Qt::Key_Escape);
  });
  login.ShowModal();
}

class QtChangePasswordDialog : public ::testing::Test {
 protected:
  QtBackendFixture ui;
  TMudaPwd dialog{nullptr};
};

TEST_F(QtChangePasswordDialog, WrongCurrentPasswordWarnsAndKeepsTheFocus) {
  dialog.OldPassword = "velha";
  ui.WhenShown("MudaPwd", [&](QWidget& window, TForm&) {
    EXPECT_EQ(window.windowTitle().toStdString(), "Mudança de senha");
    TypeText(window, "errada");
    PressKey(window, Qt::Key_Tab);
    EXPECT_EQ(dialog.ActiveControl(), dialog.SenhaAntiga);
    EXPECT_EQ(window.focusWidget(), ui.Backend().WidgetOf(*dialog.SenhaAntiga));
    PressKey(window, Qt::Key_Escape);
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  ASSERT_EQ(ui.Seen().size(), 1u);
  EXPECT_EQ(ui.Seen()[0].Text, "Senha inválida");
  EXPECT_EQ(ui.Seen()[0].Icon, QMessageBox::Warning);
  EXPECT_EQ(ui.Seen()[0].Buttons, QStringList{"OK"});
  ASSERT_EQ(ui.Backend().Messages().size(), 1u);
  EXPECT_EQ(ui.Backend().Messages()[0].Type, mtWarning);
  EXPECT_EQ(ui.Backend().Messages()[0].Answer, mrOk);
}

TEST_F(QtChangePasswordDialog, MismatchWarnsThenMatchingEntriesConfirm) {
  dialog.OldPassword = "velha";
  ui.WhenShown("MudaPwd", [&](QWidget& window, TForm&) {
    TypeText(window, "velha");
    PressKey(window, Qt::Key_Return);
    TypeText(window, "nova1");
    PressKey(window, Qt::Key_Return);
    TypeText(window, "Nova1");
    PressKey(window, Qt::Key_Return);  // to OK without pressing it
    EXPECT_EQ(dialog.ActiveControl(), dialog.OKBtn);
    PressKey(window, Qt::Key_Return);  // presses OK: the entries differ
    EXPECT_EQ(dialog.ActiveControl(), dialog.Password1);
    dialog.Password2->SetText("nova1");
    qt_person::Click(*ui.Backend().WidgetOf(*dialog.OKBtn));
  });
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_EQ(dialog.Password1->Text(), "nova1");
  ASSERT_EQ(ui.Seen().size(), 1u);
  EXPECT_EQ(ui.Seen()[0].Text, "Senha para conferência difere da primeira");
}

// Shift+Tab from the current-password box reaches Cancel without the check,
// and on to the new-password boxes; a mouse click on OK then checks it.
TEST_F(QtChangePasswordDialog, OkChecksTheCurrentPasswordWhateverPathTheFocusTook) {
  dialog.OldPassword = "velha";
  ui.WhenShown("MudaPwd", [&](QWidget& window, TForm&) {
    TypeText(window, "errada");
    for (int i = 0; i < 3; ++i) PressKey(window, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(dialog.ActiveControl(), dialog.Password2);
    TypeText(window, "nova1");
    PressKey(window, Qt::Key_Tab, Qt::ShiftModifier);
    TypeText(window, "nova1");
    EXPECT_TRUE(ui.Seen().empty());
    qt_person::Click(*ui.Backend().WidgetOf(*dialog.OKBtn));
    EXPECT_EQ(dialog.ActiveControl(), dialog.SenhaAntiga);
    PressKey(window, Qt::Key_Escape);
  });
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  ASSERT_EQ(ui.Seen().size(), 1u);
  EXPECT_EQ(ui.Seen()[0].Text, "Senha inválida");
}

TEST_F(QtChangePasswordDialog, NoBoxTakesATwentyFirstCharacter) {
  ui.WhenShown("MudaPwd", [&](QWidget& window, TForm&) {
    TypeText(window, "abcdefghijklmnopqrstuv");
    PressKey(window, Qt::Key_Escape);
  });
  dialog.ShowModal();
  EXPECT_EQ(dialog.SenhaAntiga->Text(), "abcdefghijklmnopqrst");
  EXPECT_EQ(qobject_cast<QLineEdit*>(ui.Backend().WidgetOf(*dialog.SenhaAntiga))->text(),
            "abcdefghijklmnopqrst");
}

// A script that leaves the dialog open must fail the showing, not hang.
TEST_F(QtChangePasswordDialog, AnUnansweredDialogFailsInsteadOfHanging) {
  ui.Backend().SetUnattendedTimeout(200);
  EXPECT_THROW(dialog.ShowModal(), EBackendFailure);
  EXPECT_FALSE(dialog.Showing());
}

}  // namespace
}  // namespace qv::test

// Message boxes, input queries and the main form's run under the Qt
// backend: the answer the person gives in the Qt window is what the model's
// caller gets back, and Terminate ends the run whoever asks for it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>

#include "qvd3/platform/ui/qt/qt_person.h"
#include "tests/platform/qt/qt_fixture.h"

namespace qv::test {
namespace {

class QtStandardDialogs : public ::testing::Test {
 protected:
  QtStandardDialogs() { ui.SetUnattendedTimeout(5000); }
  // The backend needs the QApplication, so it is made first.
  struct QtApplicationFirst {
    QtApplicationFirst() { EnsureQtApplication(); }
  } application_first;
  TQtBackend ui;
};

TEST_F(QtStandardDialogs, QuestionsOfferPortugueseButtonsAndReturnThePersonsAnswer) {
  QStringList buttons;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  ui.OnWindowShown = [&](const TQtShownWindow& shown) {
    auto* box = qobject_cast<QMessageBox*>(shown.Window);
    ASSERT_NE(box, nullptr);
    icon = box->icon();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    EXPECT_TRUE(qt_person::AnswerMessage(*box, "Não"));
  };
  EXPECT_EQ(MessageDlg("Excluir o usuário maria?", mtConfirmation, mbYesNo), mrNo);
  EXPECT_EQ(icon, QMessageBox::Question);
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"Não", "Sim"}));
  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].Answer, mrNo);
}

TEST_F(QtStandardDialogs, InputQueryReplacesTheValueOnlyOnOk) {
  bool accept = true;
  ui.OnWindowShown = [&](const TQtShownWindow& shown) {
    auto* dialog = qobject_cast<QInputDialog*>(shown.Window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->labelText(), "Nome do produto:");
    dialog->setTextValue("Arruela");
    if (accept) dialog->accept();
    else dialog->reject();
  };
  std::string value = "Porca";
  EXPECT_TRUE(InputQuery("Novo produto", "Nome do produto:", value));
  EXPECT_EQ(value, "Arruela");
  accept = false;
  value = "Porca";
  EXPECT_FALSE(InputQuery("Novo produto", "Nome do produto:", value));
  EXPECT_EQ(value, "Porca");
}

TEST_F(QtStandardDialogs, TerminateFromATimerEndsTheMainFormsRun) {
  TForm form(nullptr);
  form.SetName("Principal");
  form.SetClientWidth(200);
  form.SetClientHeight(100);
  QTimer::singleShot(20, [] { Application.Terminate(); });
  Application.Run(form);
  EXPECT_FALSE(form.Showing());
  EXPECT_FALSE(ui.WindowOf(form)->isVisible());
}

}  // namespace
}  // namespace qv::test

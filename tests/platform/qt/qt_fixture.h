// Shared set-up of the Qt smoke tests: one QApplication for the test
// program (offscreen unless a platform is chosen) and, per test, a Qt
// backend that takes a stuck window down after a few seconds instead of
// hanging the run.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/platform/ui/qt/qt_backend.h"

namespace qv::test {

// Creates the program's QApplication once.
void EnsureQtApplication();

// A message box as the person saw it.
struct SeenMessage {
  std::string Text;
  QMessageBox::Icon Icon = QMessageBox::NoIcon;
  QStringList Buttons;
};

// Installs a TQtBackend. Forms are driven by the handler registered for
// their name with WhenShown; message boxes are recorded and answered with
// the button queued by AnswerNext, else "OK".
class QtBackendFixture {
 public:
  QtBackendFixture();
  ~QtBackendFixture();

  TQtBackend& Backend() { return *backend_; }
  // `script` runs each time the form named `formName` comes up, in place of
  // any script given for that form before.
  void WhenShown(const std::string& formName, std::function<void(QWidget& window, TForm& form)> script);
  const std::vector<SeenMessage>& Seen() const { return seen_; }
  // The next message box is answered with the button showing `buttonText`.
  void AnswerNext(const QString& buttonText) { answers_.push_back(buttonText); }

 private:
  std::unique_ptr<TQtBackend> backend_;
  std::map<std::string, std::function<void(QWidget&, TForm&)>> scripts_;
  std::vector<SeenMessage> seen_;
  std::vector<QString> answers_;
};

}  // namespace qv::test

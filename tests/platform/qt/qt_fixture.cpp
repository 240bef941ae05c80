#include "tests/platform/qt/qt_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <cstdlib>

#include "qvd3/platform/ui/qt/qt_person.h"

namespace qv::test {

void EnsureQtApplication() {
  if (QApplication::instance() != nullptr) return;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "test_platform_qt";
  static char* argv[] = {name, nullptr};
  // Lives until the program ends: Qt allows one QApplication per process.
  new QApplication(argc, argv);
}

QtBackendFixture::QtBackendFixture() {
  EnsureQtApplication();
  backend_ = std::make_unique<TQtBackend>();
  backend_->SetUnattendedTimeout(5000);
  backend_->OnWindowShown = [this](const TQtShownWindow& shown) {
    if (shown.WindowKind == TQtShownWindow::Message) {
      auto* box = qobject_cast<QMessageBox*>(shown.Window);
      ASSERT_NE(box, nullptr);
      SeenMessage seen{shown.Text, box->icon(), {}};
      for (QAbstractButton* button : box->buttons()) seen.Buttons << button->text();
      seen_.push_back(seen);
      QString answer = "OK";
      if (!answers_.empty()) {
        answer = answers_.front();
        answers_.erase(answers_.begin());
      }
      EXPECT_TRUE(qt_person::AnswerMessage(*box, answer)) << answer.toStdString();
      return;
    }
    if (shown.WindowKind != TQtShownWindow::Form) return;
    auto it = scripts_.find(shown.ShownForm->Name());
    if (it == scripts_.end()) return;
    // A copy: the script may replace itself.
    auto script = it->second;
    script(*shown.Window, *shown.ShownForm);
  };
}

QtBackendFixture::~QtBackendFixture() { backend_.reset(); }

void QtBackendFixture::WhenShown(const std::string& formName, std::function<void(QWidget&, TForm&)> script) {
  scripts_[formName] = std::move(script);
}

}  // namespace qv::test

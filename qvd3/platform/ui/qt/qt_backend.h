// The Qt 6 Widgets backend: shows the window model's forms as real Qt
// windows, its main menus as menu bars, MessageDlg as a QMessageBox and
// InputQuery as a QInputDialog.
//
//   QApplication app(argc, argv);
//   TQtBackend ui;                 // installed on Application until destroyed
//   ReadForm(mainForm, build);     // a component may log in from Loaded
//   Application.Run(mainForm);
//
// The model holds the truth. Every form shown gets a window at the form's
// position, client size, caption, font and border, and each control a
// widget that follows the control through its peer notifications. What the
// person does in those windows never reaches Qt's own logic: keys go to
// TForm::KeyDown / KeyPress, clicks to the controls' ClickByPerson (and the
// like), the close box to TForm::CloseByPerson, menu commands to
// TMenuItem::ChooseByPerson. Focus, tab order, Enter and Esc are therefore
// decided by the model, exactly as under the headless backend.
//
// A modal showing is a nested event loop that ends once form.ModalEnded();
// the main form's run ends once Application.Terminate() was asked or the
// form stops showing. An error a handler raises while an action is
// delivered goes to Application.HandleException; an EBackendFailure ends
// every loop and propagates out of ShowModal / Application.Run.
//
// Needs a QApplication for its whole life. Works on a real display and
// under QT_QPA_PLATFORM=offscreen.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/platform/ui/application.h"

class QWidget;
class QAction;
class QEventLoop;
class QTimer;
class QObject;

namespace qv {

class TMenuItem;

namespace qt_detail {
class TFormView;
class TEventRouter;
}  // namespace qt_detail

// A window the backend just brought up, reported to OnWindowShown.
struct TQtShownWindow {
  enum Kind { Form, Message, Query };
  Kind WindowKind = Form;
  QWidget* Window = nullptr;
  // The form shown, for Kind Form; nullptr otherwise.
  TForm* ShownForm = nullptr;
  // The message or the prompt, for Message and Query.
  std::string Text;
};

// One message box as shown and answered.
struct TQtMessageRecord {
  std::string Text;
  TMsgDlgType Type = mtCustom;
  TMsgDlgButtons Buttons;
  TModalResult Answer = mrNone;
};

class TQtBackend : public TBackend {
 public:
  // Installs this backend on the Application (clearing a pending
  // termination request); raises EInvalidOperation without a QApplication.
  TQtBackend();
  // Puts the previous backend back, lets go of every model component it
  // mirrors and closes its windows.
  ~TQtBackend() override;
  TQtBackend(const TQtBackend&) = delete;
  TQtBackend& operator=(const TQtBackend&) = delete;

  void RunModal(TForm& form) override;
  TModalResult MessageBox(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) override;
  bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) override;
  void RunMainForm(TForm& form) override;
  void CursorChanged(TCursor cursor) override;

  // Called each time a form's window, a message box or an input dialog has
  // come up, from inside the event loop that runs it, so that a test or a
  // scripted tour can look at it, grab it and act on it (with synthetic Qt
  // events, see qt_person.h). Not called again for a form that is only
  // activated again.
  std::function<void(const TQtShownWindow&)> OnWindowShown;

  // For unattended runs (tests, scripted tours): a modal form, message box
  // or input dialog still open after `milliseconds` is taken down and its
  // showing fails with EBackendFailure naming it, so that a script that
  // went wrong never hangs. 0, the default, waits for the person.
  void SetUnattendedTimeout(int milliseconds) { timeout_ms_ = milliseconds; }

  // Every message box shown, in order.
  const std::vector<TQtMessageRecord>& Messages() const { return messages_; }

  // The window of a form shown at least once, or nullptr.
  QWidget* WindowOf(const TForm& form) const;
  // The widget mirroring a control of a shown form, or nullptr.
  QWidget* WidgetOf(const TControl& control) const;
  // The menu-bar action mirroring a menu item of a shown form, or nullptr.
  QAction* ActionOf(const TMenuItem& item) const;

 private:
  friend class qt_detail::TFormView;
  friend class qt_detail::TEventRouter;
  qt_detail::TFormView& ViewOf(TForm& form);
  qt_detail::TFormView* FindView(const QObject* object) const;
  void ViewDestroyed(TForm& form);
  // After every action of the person delivered into the model: ends the
  // modal loop of a form whose showing is over and the main loop once the
  // application should stop.
  void AfterAction();
  // Runs `action` as the event loop delivers it: errors go to the
  // application's error display; a backend failure ends every loop.
  void Deliver(const std::function<void()>& action);
  void Fail(std::exception_ptr failure);
  void ReportShown(const TQtShownWindow& shown);
  void RethrowPending();
  // With an unattended timeout set, starts `timer` so that a window still
  // waiting when it runs out fails the showing with EBackendFailure `what`;
  // `takeDown` (may be empty) closes that window. Does nothing otherwise.
  void ArmUnattendedTimeout(QTimer& timer, std::string what, std::function<void()> takeDown);

  TBackend* previous_ = nullptr;
  std::unique_ptr<qt_detail::TEventRouter> router_;
  std::map<const TForm*, std::unique_ptr<qt_detail::TFormView>> views_;
  struct ModalRun {
    TForm* form;
    QEventLoop* loop;
  };
  std::vector<ModalRun> modal_runs_;
  QEventLoop* main_loop_ = nullptr;
  TForm* main_form_ = nullptr;
  std::exception_ptr pending_failure_;
  std::vector<TQtMessageRecord> messages_;
  int timeout_ms_ = 0;
  bool wait_cursor_ = false;
};

// Saves a picture of the window as a PNG file (QWidget::grab); raises
// qv::Exception naming the file when it cannot be written.
void SaveWindowPng(QWidget& window, const std::string& path);

}  // namespace qv

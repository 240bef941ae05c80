// The process-wide parts of the window model: the Application (termination
// request, default error display, main form run), the Screen (cursor,
// active form), the backend slot, and the standard dialogs MessageDlg and
// InputQuery.
//
// A backend implements showing: it runs modal forms, shows message boxes,
// asks input queries, runs the main form and mirrors the cursor. The
// headless backend (qvd3/platform/ui/headless) scripts the person for tests; the
// Qt backend (qvd3/platform/ui/qt) shows real windows.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/types.h"

namespace qv {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;
constexpr TMsgDlgButtons mbYesNo{mbYes, mbNo};
constexpr TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
constexpr TMsgDlgButtons mbOKCancel{mbOK, mbCancel};

// The modal result a message-box button gives (mbOK: mrOk, mbYes: mrYes...).
TModalResult ModalResultOf(TMsgDlgBtn button);

// A failure of the backend itself rather than of the program (a test script
// that went wrong, a display that vanished). It is deliberately not a
// qv::Exception, so handlers that catch the program's errors let it pass,
// and TApplication::HandleException rethrows it instead of showing it.
class EBackendFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TBackend {
 public:
  virtual ~TBackend() = default;
  // Runs the modal showing of `form`, already visible, focused and
  // activated by the model: delivers the person's actions through the
  // form's public entry points until form.ModalEnded() returns true (to be
  // asked after every action, and once before the first).
  virtual void RunModal(TForm& form) = 0;
  // Shows a message box and returns the result of the button pressed
  // (ModalResultOf); one of `buttons`.
  virtual TModalResult MessageBox(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) = 0;
  // Asks for a text; returns true with `value` replaced on OK, false with
  // `value` unchanged on Cancel.
  virtual bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) = 0;
  // Runs the application's main form, already shown by the model, until
  // Application.Terminated() or the form no longer Showing().
  virtual void RunMainForm(TForm& form) = 0;
  // The screen cursor changed.
  virtual void CursorChanged(TCursor cursor) { (void)cursor; }
};

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  // The application's name, shown by backends as the title of message boxes
  // without a kind of their own.
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }

  // Asks the application to end once the current event is done: the main
  // form's run stops when control returns to the backend's loop.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Withdraws a termination request (a host or test that runs again).
  void ClearTerminated() { terminated_ = false; }

  // Replaces the default error display when set.
  std::function<void(TObject& sender, const std::exception& error)> OnException;
  // The default error display: ignores EAbort, rethrows an EBackendFailure,
  // runs OnException when set, otherwise shows the error's message in an
  // error message box with an OK button.
  void HandleException(const std::exception& error);

  // Shows `mainForm` and runs it through the backend until Terminate or the
  // form closes; then hides it.
  void Run(TForm& mainForm);
  TForm* MainForm() const { return main_form_; }

  // The backend slot. Not owned; nullptr when none is installed. Returns
  // the previous backend so an installer can put it back.
  TBackend* SetBackend(TBackend* backend);
  TBackend* Backend() const { return backend_; }
  // The backend, or EInvalidOperation ("No window backend installed").
  TBackend& RequireBackend() const;

 private:
  friend class TForm;
  std::string title_;
  bool terminated_ = false;
  TForm* main_form_ = nullptr;
  TBackend* backend_ = nullptr;
};

class TScreen : public TComponent {
 public:
  TScreen();
  ~TScreen() override;

  TCursor Cursor() const { return cursor_; }
  // Tells the backend when the cursor changes.
  void SetCursor(TCursor cursor);

  // The form the person works in: the top of the stack of showing forms.
  TForm* ActiveForm() const { return active_.empty() ? nullptr : active_.back(); }
  // The showing forms, the first shown first.
  const std::vector<TForm*>& ShowingForms() const { return active_; }

 private:
  friend class TForm;
  friend class TApplication;
  void Push(TForm* form);
  void Pop(TForm* form);
  std::vector<TForm*> active_;
  TCursor cursor_ = crDefault;
};

// Sets the screen cursor (the hourglass by default) for its lifetime and
// restores the previous cursor afterwards, also when an error passes.
class TWaitCursor {
 public:
  explicit TWaitCursor(TCursor cursor = crHourGlass);
  ~TWaitCursor();
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  TCursor previous_;
};

extern TApplication Application;
extern TScreen Screen;

// Shows a modal message box and returns the result of the button pressed
// (mrOk, mrYes, mrNo...). The active form is activated again afterwards.
TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
// A message box with the text and an OK button.
void ShowMessage(const std::string& text);
// Asks for a text in a modal box with `caption` and `prompt`, starting with
// `value`. OK returns true and replaces `value`; Cancel returns false and
// leaves it. The active form is activated again afterwards.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);

}  // namespace qv

#include "qvd3/platform/ui/application.h"

#include <algorithm>

namespace qv {

TApplication Application;
TScreen Screen;

TModalResult ModalResultOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrNone;
  }
  return mrNone;
}

// ---- TApplication ----

TApplication::TApplication() : TComponent(nullptr) {}
TApplication::~TApplication() = default;

void TApplication::HandleException(const std::exception& error) {
  if (dynamic_cast<const EAbort*>(&error) != nullptr) return;
  if (auto* failure = dynamic_cast<const EBackendFailure*>(&error)) {
    // Never turn a failing script or a lost display into a message box.
    if (std::current_exception()) std::rethrow_exception(std::current_exception());
    throw EBackendFailure(*failure);
  }
  if (OnException) {
    OnException(*this, error);
    return;
  }
  MessageDlg(error.what(), mtError, {mbOK});
}

void TApplication::Run(TForm& mainForm) {
  TBackend& backend = RequireBackend();
  main_form_ = &mainForm;
  struct Reset {
    TApplication& app;
    ~Reset() { app.main_form_ = nullptr; }
  } reset{*this};
  mainForm.ShowAsMainForm();
  if (!terminated_ && mainForm.Showing()) backend.RunMainForm(mainForm);
  mainForm.HideMainForm();
}

TBackend* TApplication::SetBackend(TBackend* backend) {
  TBackend* previous = backend_;
  backend_ = backend;
  return previous;
}

TBackend& TApplication::RequireBackend() const {
  if (backend_ == nullptr) throw EInvalidOperation("No window backend installed");
  return *backend_;
}

// ---- TScreen ----

TScreen::TScreen() : TComponent(nullptr) {}
TScreen::~TScreen() = default;

void TScreen::SetCursor(TCursor cursor) {
  if (cursor == cursor_) return;
  cursor_ = cursor;
  if (TBackend* backend = Application.Backend()) backend->CursorChanged(cursor);
}

void TScreen::Push(TForm* form) { active_.push_back(form); }

void TScreen::Pop(TForm* form) { active_.erase(std::remove(active_.begin(), active_.end(), form), active_.end()); }

TWaitCursor::TWaitCursor(TCursor cursor) : previous_(Screen.Cursor()) { Screen.SetCursor(cursor); }

TWaitCursor::~TWaitCursor() { Screen.SetCursor(previous_); }

// ---- standard dialogs ----

namespace {

// Runs a nested modal box and then activates again the form the person
// was working in, as closing any modal window does.
template <class Fn>
auto Nested(Fn fn) {
  TForm* active = Screen.ActiveForm();
  auto result = fn(Application.RequireBackend());
  if (active != nullptr && active->Showing()) active->Reactivate();
  return result;
}

}  // namespace

TModalResult MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  if (buttons.Empty()) buttons = {mbOK};
  return Nested([&](TBackend& backend) { return backend.MessageBox(text, type, buttons); });
}

void ShowMessage(const std::string& text) { MessageDlg(text, mtCustom, {mbOK}); }

bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  return Nested([&](TBackend& backend) { return backend.InputQuery(caption, prompt, value); });
}

}  // namespace qv

#include "qvd3/platform/ui/qt/qt_backend.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QInputDialog>
#include <QInputMethodEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/date_picker.h"
#include "qvd3/platform/ui/menus.h"
#include "qvd3/platform/ui/pages.h"
#include "qvd3/platform/ui/qt/qt_form_view.h"
#include "qvd3/platform/ui/qt/qt_keys.h"
#include "qvd3/platform/ui/qt/qt_widgets.h"
#include "qvd3/platform/ui/standard_controls.h"
#include "qvd3/platform/ui/tree_view.h"

namespace qv {

namespace qt_detail {

// Sees every event of the application before its receiver and takes the
// person's input to the forms' windows away from Qt, into the model.
class TEventRouter : public QObject {
 public:
  explicit TEventRouter(TQtBackend& backend) : backend_(backend) {}

 protected:
  bool eventFilter(QObject* object, QEvent* event) override;

 private:
  bool Key(TFormView& view, QKeyEvent& event);
  bool MousePress(TFormView& view, QWidget& receiver, QMouseEvent& event);
  bool MouseRelease(TFormView& view, QWidget& receiver, QMouseEvent& event);
  TQtBackend& backend_;
  // Set while a key the model left alone is handed to a widget that edits
  // in Qt (the date picker): that event is Qt's.
  bool forwarding_ = false;
};

namespace {

bool IsInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::Wheel:
      return true;
    default:
      return false;
  }
}

// True when `receiver` is a scroll bar, or the title row of a grid whose
// columns the person may resize, inside `widget`: those presses are Qt's.
bool LeftToQt(QWidget& receiver, QWidget& widget, TControl& control) {
  for (QWidget* w = &receiver; w != nullptr && w != &widget; w = w->parentWidget()) {
    if (qobject_cast<QScrollBar*>(w) != nullptr) return true;
    if (auto* header = qobject_cast<QHeaderView*>(w)) {
      auto* grid = dynamic_cast<TDBGrid*>(&control);
      return header->orientation() == Qt::Horizontal && grid != nullptr && grid->Options().Contains(dgColumnResize);
    }
  }
  return false;
}

}  // namespace

bool TEventRouter::eventFilter(QObject* object, QEvent* event) {
  if (forwarding_) return false;
  const QEvent::Type type = event->type();
  if (!IsInput(type) && type != QEvent::Close && type != QEvent::Resize) return false;
  if (!object->isWidgetType()) return false;
  auto* receiver = static_cast<QWidget*>(object);
  TFormView* view = backend_.FindView(receiver);
  if (view == nullptr) return false;
  TForm& form = view->Form();

  if (type == QEvent::Resize) {
    // The person resized a sizeable window: the model takes the new client
    // size and realigns its controls.
    if (receiver == view->Client() && !view->Syncing() && form.Showing()) {
      const QSize size = view->Client()->size();
      if (size.width() != form.ClientWidth() || size.height() != form.ClientHeight())
        backend_.Deliver([&] { form.SetBounds(form.Left(), form.Top(), size.width(), size.height()); });
    }
    return false;
  }
  if (type == QEvent::Close) {
    event->ignore();
    if (receiver == view->Window() && form.Showing()) {
      backend_.Deliver([&] { form.CloseByPerson(); });
      backend_.AfterAction();
    }
    return true;
  }
  // The menu bar works as Qt's; it reports commands through its actions.
  if (view->InMenuBar(receiver)) return false;
  // Only the form the person works in takes input; a message box or a
  // dialog above it blocks it.
  QWidget* modal = QApplication::activeModalWidget();
  const bool blocked = Screen.ActiveForm() != &form || (modal != nullptr && modal != view->Window());
  if (type == QEvent::Wheel) return blocked;
  if (blocked) return true;
  switch (type) {
    case QEvent::ShortcutOverride: {
      // Accepting the override keeps Qt's shortcuts (button mnemonics)
      // from firing, so Alt+letter reaches the model; only the menu bar's
      // own letters are left to Qt.
      auto& key = static_cast<QKeyEvent&>(*event);
      if (key.modifiers() & Qt::AltModifier) {
        Word code = 0;
        TShiftState shift;
        if (TranslateKey(key.key(), key.modifiers(), code, shift) && view->MenuClaims(code)) return false;
      }
      event->accept();
      return true;
    }
    case QEvent::KeyPress: return Key(*view, static_cast<QKeyEvent&>(*event));
    case QEvent::KeyRelease: return true;
    case QEvent::InputMethod: {
      const std::u32string chars = static_cast<QInputMethodEvent&>(*event).commitString().toStdU32String();
      backend_.Deliver([&] {
        for (char32_t ch : chars)
          if (ch >= 32 && form.Showing() && form.ModalResult() == mrNone) form.KeyPress(ch);
      });
      backend_.AfterAction();
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      return MousePress(*view, *receiver, static_cast<QMouseEvent&>(*event));
    case QEvent::MouseButtonRelease: return MouseRelease(*view, *receiver, static_cast<QMouseEvent&>(*event));
    case QEvent::ContextMenu: return true;
    default: return false;
  }
}

// A key: KeyDown with the model's code, then the characters it types. A
// key the model leaves alone while a date picker has the focus goes on to
// the picker's Qt editor, which accepts only whole dates.
bool TEventRouter::Key(TFormView& view, QKeyEvent& event) {
  TForm& form = view.Form();
  Word code = 0;
  TShiftState shift;
  const bool known = TranslateKey(event.key(), event.modifiers(), code, shift);
  const std::u32string chars = TypedCharacters(event);
  TControl* focused = form.ActiveControl();
  const bool picker = dynamic_cast<TDateTimePicker*>(focused) != nullptr;
  bool used = false;
  backend_.Deliver([&] {
    if (known) used = form.KeyDown(code, shift);
    if (picker) return;
    for (char32_t ch : chars)
      if (form.Showing() && form.ModalResult() == mrNone) form.KeyPress(ch);
  });
  if (picker && !used && form.Showing() && form.ModalResult() == mrNone && form.ActiveControl() == focused) {
    if (QWidget* widget = view.WidgetOf(focused)) {
      QKeyEvent copy(event.type(), event.key(), event.modifiers(), event.text(), event.isAutoRepeat(),
                     static_cast<ushort>(event.count()));
      forwarding_ = true;
      QCoreApplication::sendEvent(widget, &copy);
      forwarding_ = false;
    }
  }
  backend_.AfterAction();
  return true;
}

// Presses that act at once: the focus into an edit (with the caret where
// the person pointed), a tab, a tree node, a grid row. Buttons, boxes and
// labels act on release, as a click does. Scroll bars, the column borders
// of a grid, the lookup list's drop-down and the date picker's calendar
// and text are Qt's, once the model gave their control the focus.
bool TEventRouter::MousePress(TFormView& view, QWidget& receiver, QMouseEvent& event) {
  TControl* control = view.ControlAt(&receiver);
  view.SetPressed(event.button() == Qt::LeftButton ? control : nullptr);
  if (control == nullptr || event.button() != Qt::LeftButton) return true;
  QWidget* widget = view.WidgetOf(control);
  // In the control's own coordinates; `receiver` may be any widget inside.
  const QPoint pos = widget->mapFromGlobal(event.globalPosition().toPoint());
  TForm& form = view.Form();
  if (LeftToQt(receiver, *widget, *control)) {
    view.SetPressed(nullptr);
    return false;
  }
  if (dynamic_cast<TDateTimePicker*>(control) != nullptr || dynamic_cast<TDBLookupComboBox*>(control) != nullptr) {
    bool focused = false;
    backend_.Deliver([&] {
      if (control->CanFocus()) control->SetFocus();
      focused = control->Focused() && form.Showing() && form.ModalResult() == mrNone;
    });
    backend_.AfterAction();
    view.SetPressed(nullptr);
    return !focused;
  }
  if (auto* edit = dynamic_cast<TEdit*>(control)) {
    const int caret = CaretAt(*widget, pos);
    backend_.Deliver([&] {
      edit->ClickByPerson();
      if (edit->Focused() && caret >= 0 && form.ModalResult() == mrNone) edit->SetSelStart(caret);
    });
    view.SetPressed(nullptr);
  } else if (auto* pages = dynamic_cast<TPageControl*>(control)) {
    const int index = TabIndexAt(*widget, pos);
    if (index >= 0) backend_.Deliver([&] { pages->SelectPageByPerson(pages->Pages(index)); });
    view.SetPressed(nullptr);
  } else if (auto* tree = dynamic_cast<TTreeView*>(control)) {
    int x = 0, y = 0;
    TreePointAt(*widget, pos, x, y);
    TShiftState shift;
    if (event.type() == QEvent::MouseButtonDblClick) shift.Include(ssDouble);
    backend_.Deliver([&] { tree->MouseDownByPerson(mbLeft, shift, x, y); });
    view.SetPressed(nullptr);
  } else if (auto* grid = dynamic_cast<TDBGrid*>(control)) {
    const int row = GridRowAt(*widget, pos);
    backend_.Deliver([&] {
      if (row > 0 && row <= grid->RowCount()) grid->SelectRowByPerson(row);
      else grid->ClickByPerson();
    });
    view.SetPressed(nullptr);
  }
  backend_.AfterAction();
  return true;
}

bool TEventRouter::MouseRelease(TFormView& view, QWidget& receiver, QMouseEvent& event) {
  TControl* control = view.ControlAt(&receiver);
  TControl* pressed = view.Pressed();
  view.SetPressed(nullptr);
  if (control != nullptr && event.button() == Qt::LeftButton) {
    QWidget* widget = view.WidgetOf(control);
    if (LeftToQt(receiver, *widget, *control) || dynamic_cast<TDateTimePicker*>(control) != nullptr ||
        dynamic_cast<TDBLookupComboBox*>(control) != nullptr)
      return false;
  }
  if (control == nullptr || control != pressed || event.button() != Qt::LeftButton) return true;
  QWidget* widget = view.WidgetOf(control);
  const QPoint pos = widget->mapFromGlobal(event.globalPosition().toPoint());
  if (!widget->rect().contains(pos)) return true;  // released elsewhere: no click
  if (auto* group = dynamic_cast<TRadioGroup*>(control)) {
    const int index = RadioIndexAt(*widget, pos);
    if (index >= 0) backend_.Deliver([&] { group->ChooseByPerson(index); });
  } else if (auto* navigator = dynamic_cast<TDBNavigator*>(control)) {
    const int button = NavigatorButtonAt(*widget, pos);
    if (button >= 0) backend_.Deliver([&] { navigator->ClickButtonByPerson(static_cast<TNavigateBtn>(button)); });
  } else {
    backend_.Deliver([&] { control->ClickByPerson(); });
  }
  backend_.AfterAction();
  return true;
}

}  // namespace qt_detail

using qt_detail::TFormView;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

struct ButtonFace {
  TMsgDlgBtn button;
  const char* text;
  QMessageBox::ButtonRole role;
};

// The buttons of a message box, in the order they are offered, with their
// Portuguese faces.
constexpr ButtonFace kFaces[] = {
    {mbYes, "Sim", QMessageBox::YesRole},
    {mbNo, "Não", QMessageBox::NoRole},
    {mbOK, "OK", QMessageBox::AcceptRole},
    {mbCancel, "Cancelar", QMessageBox::RejectRole},
    {mbAbort, "Abortar", QMessageBox::RejectRole},
    {mbRetry, "Repetir", QMessageBox::AcceptRole},
    {mbIgnore, "Ignorar", QMessageBox::AcceptRole},
    {mbAll, "Todos", QMessageBox::YesRole},
    {mbNoToAll, "Não para todos", QMessageBox::NoRole},
    {mbYesToAll, "Sim para todos", QMessageBox::YesRole},
    {mbHelp, "Ajuda", QMessageBox::HelpRole},
};

QMessageBox::Icon IconOf(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

std::string TitleOf(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "Aviso";
    case mtError: return "Erro";
    case mtInformation: return "Informação";
    case mtConfirmation: return "Confirmação";
    case mtCustom: break;
  }
  return Application.Title();
}

std::string FormLabel(const TForm& form) { return form.Name().empty() ? form.ClassName() : form.Name(); }

}  // namespace

TQtBackend::TQtBackend() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
    throw EInvalidOperation("The Qt backend needs a QApplication");
  router_ = std::make_unique<qt_detail::TEventRouter>(*this);
  qApp->installEventFilter(router_.get());
  Application.ClearTerminated();
  previous_ = Application.SetBackend(this);
}

TQtBackend::~TQtBackend() {
  Application.SetBackend(previous_);
  qApp->removeEventFilter(router_.get());
  views_.clear();
  if (wait_cursor_) QApplication::restoreOverrideCursor();
  // The windows of the views go now, while the widgets they use still exist.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  Application.ClearTerminated();
}

TFormView& TQtBackend::ViewOf(TForm& form) {
  auto it = views_.find(&form);
  if (it == views_.end()) it = views_.emplace(&form, std::make_unique<TFormView>(*this, form)).first;
  return *it->second;
}

TFormView* TQtBackend::FindView(const QObject* object) const {
  auto* widget = qobject_cast<const QWidget*>(object);
  if (widget == nullptr) return nullptr;
  const QWidget* window = widget->window();
  for (const auto& [form, view] : views_)
    if (view->Window() == window) return view.get();
  return nullptr;
}

void TQtBackend::ViewDestroyed(TForm& form) { views_.erase(&form); }

QWidget* TQtBackend::WindowOf(const TForm& form) const {
  auto it = views_.find(&form);
  return it == views_.end() ? nullptr : it->second->Window();
}

QWidget* TQtBackend::WidgetOf(const TControl& control) const {
  for (const auto& [form, view] : views_)
    if (QWidget* widget = view->WidgetOf(&control)) return widget;
  return nullptr;
}

QAction* TQtBackend::ActionOf(const TMenuItem& item) const {
  for (const auto& [form, view] : views_)
    if (QAction* action = view->ActionOf(&item)) return action;
  return nullptr;
}

void TQtBackend::Deliver(const std::function<void()>& action) {
  if (pending_failure_) return;
  try {
    action();
  } catch (const EBackendFailure&) {
    Fail(std::current_exception());
  } catch (const std::exception& error) {
    try {
      Application.HandleException(error);
    } catch (...) {
      Fail(std::current_exception());
    }
  } catch (...) {
    Fail(std::current_exception());
  }
}

void TQtBackend::Fail(std::exception_ptr failure) {
  if (!pending_failure_) pending_failure_ = failure;
  for (ModalRun& run : modal_runs_) run.loop->quit();
  if (main_loop_ != nullptr) main_loop_->quit();
}

void TQtBackend::RethrowPending() {
  if (!pending_failure_) return;
  std::exception_ptr failure = pending_failure_;
  pending_failure_ = nullptr;
  std::rethrow_exception(failure);
}

void TQtBackend::AfterAction() {
  if (!modal_runs_.empty()) {
    ModalRun& run = modal_runs_.back();
    bool ended = false;
    Deliver([&] { ended = run.form->ModalEnded(); });
    if (ended) run.loop->quit();
    return;
  }
  if (main_loop_ != nullptr && main_form_ != nullptr && (Application.Terminated() || !main_form_->Showing()))
    main_loop_->quit();
}

void TQtBackend::ReportShown(const TQtShownWindow& shown) {
  if (!OnWindowShown) return;
  QPointer<QWidget> window = shown.Window;
  // From the loop that runs the window, once it is on screen.
  QTimer::singleShot(0, shown.Window, [this, shown, window] {
    if (!window || !window->isVisible() || pending_failure_) return;
    Deliver([&] { OnWindowShown(shown); });
  });
}

void TQtBackend::ArmUnattendedTimeout(QTimer& timer, std::string what, std::function<void()> takeDown) {
  if (timeout_ms_ <= 0) return;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, [this, what = std::move(what), takeDown = std::move(takeDown)] {
    Fail(std::make_exception_ptr(EBackendFailure(what)));
    if (takeDown) takeDown();
  });
  timer.start(timeout_ms_);
}

void TQtBackend::RunModal(TForm& form) {
  RethrowPending();
  TFormView& view = ViewOf(form);
  view.Show();
  if (form.ModalEnded()) return;
  QEventLoop loop;
  modal_runs_.push_back({&form, &loop});
  struct PopRun {
    std::vector<ModalRun>& runs;
    ~PopRun() { runs.pop_back(); }
  } pop{modal_runs_};
  QTimer timeout;
  ArmUnattendedTimeout(timeout,
                       "Form " + FormLabel(form) + " is still waiting for the person after " +
                           std::to_string(timeout_ms_) + " ms",
                       {});
  ReportShown({TQtShownWindow::Form, view.Window(), &form, {}});
  loop.exec();
  RethrowPending();
}

void TQtBackend::RunMainForm(TForm& form) {
  RethrowPending();
  TFormView& view = ViewOf(form);
  view.Show();
  if (Application.Terminated() || !form.Showing()) return;
  QEventLoop loop;
  main_loop_ = &loop;
  main_form_ = &form;
  struct Reset {
    TQtBackend& backend;
    ~Reset() {
      backend.main_loop_ = nullptr;
      backend.main_form_ = nullptr;
    }
  } reset{*this};
  // Terminate may be asked by anything the loop runs (a timer too): look
  // each time the loop has nothing left to do.
  QMetaObject::Connection idle;
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
    idle = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [this] {
      if (modal_runs_.empty()) AfterAction();
    });
  ReportShown({TQtShownWindow::Form, view.Window(), &form, {}});
  loop.exec();
  QObject::disconnect(idle);
  RethrowPending();
}

TModalResult TQtBackend::MessageBox(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  RethrowPending();
  TForm* active = Screen.ActiveForm();
  QMessageBox box(IconOf(type), Q(TitleOf(type)), Q(text), QMessageBox::NoButton,
                  active != nullptr ? WindowOf(*active) : nullptr);
  std::map<QAbstractButton*, TModalResult> results;
  QPushButton* first = nullptr;
  QPushButton* escape = nullptr;
  for (const ButtonFace& face : kFaces) {
    if (!buttons.Contains(face.button)) continue;
    QPushButton* button = box.addButton(QString::fromUtf8(face.text), face.role);
    results[button] = ModalResultOf(face.button);
    if (first == nullptr) first = button;
    if (face.button == mbCancel || (face.button == mbNo && escape == nullptr)) escape = button;
  }
  if (escape == nullptr && results.size() == 1) escape = first;
  box.setDefaultButton(first);
  if (escape != nullptr) box.setEscapeButton(escape);
  QTimer timeout;
  ArmUnattendedTimeout(timeout, "Message box \"" + text + "\" was not answered", [&box] { box.done(0); });
  ReportShown({TQtShownWindow::Message, &box, nullptr, text});
  box.exec();
  RethrowPending();
  TModalResult answer = mrCancel;
  if (auto it = results.find(box.clickedButton()); it != results.end()) answer = it->second;
  else if (escape != nullptr) answer = results[escape];
  messages_.push_back({text, type, buttons, answer});
  return answer;
}

bool TQtBackend::InputQuery(const std::string& caption, const std::string& prompt, std::string& value) {
  RethrowPending();
  TForm* active = Screen.ActiveForm();
  QInputDialog dialog(active != nullptr ? WindowOf(*active) : nullptr);
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(Q(caption));
  dialog.setLabelText(Q(prompt));
  dialog.setTextValue(Q(value));
  dialog.setOkButtonText("OK");
  dialog.setCancelButtonText("Cancelar");
  QTimer timeout;
  ArmUnattendedTimeout(timeout, "Input query \"" + prompt + "\" was not answered", [&dialog] { dialog.reject(); });
  ReportShown({TQtShownWindow::Query, &dialog, nullptr, prompt});
  const int result = dialog.exec();
  RethrowPending();
  if (result != QDialog::Accepted) return false;
  value = dialog.textValue().toStdString();
  return true;
}

void TQtBackend::CursorChanged(TCursor cursor) {
  Qt::CursorShape shape = Qt::ArrowCursor;
  switch (cursor) {
    case crHourGlass:
    case crSQLWait: shape = Qt::WaitCursor; break;
    case crIBeam: shape = Qt::IBeamCursor; break;
    case crHandPoint: shape = Qt::PointingHandCursor; break;
    case crDefault:
    case crArrow:
      if (wait_cursor_) QApplication::restoreOverrideCursor();
      wait_cursor_ = false;
      return;
  }
  if (wait_cursor_) {
    QApplication::changeOverrideCursor(QCursor(shape));
  } else {
    QApplication::setOverrideCursor(QCursor(shape));
    wait_cursor_ = true;
  }
}

void SaveWindowPng(QWidget& window, const std::string& path) {
  QPixmap picture = window.grab();
  if (picture.isNull() || !picture.save(Q(path), "PNG")) throw Exception("Cannot write the picture " + path);
}

}  // namespace qv

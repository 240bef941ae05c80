#include "qvd3/platform/ui/qt/qt_guard.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMainWindow>
#include <QMenuBar>
#include <set>

#include "qvd3/component/quarvel.h"
#include "qvd3/component/user.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/form.h"
#include "qvd3/platform/ui/menus.h"
#include "qvd3/platform/ui/qt/qt_backend.h"
#include "qvd3/platform/ui/qt/qt_menu_mirror.h"

namespace qv {

namespace {

// The bars some guard guards: a second guard on one of them would take the
// first one's stand-ins for the host's actions.
std::set<const QMenuBar*>& GuardedBars() {
  static std::set<const QMenuBar*> bars;
  return bars;
}

QString NameOf(const QObject& object) {
  const QString name = object.objectName();
  return name.isEmpty() ? QString::fromLatin1(object.metaObject()->className()) : name;
}

// Ends Qt's event loop once it runs (or at once when it runs already).
void AskToEnd() {
  QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

}  // namespace

// A component of no form that asks the guard's form, menu and component to
// tell it when they are destroyed.
class TQtMenuGuard::Watch : public TComponent {
 public:
  explicit Watch(TQtMenuGuard& guard) : TComponent(nullptr), guard_(guard) {}

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == opRemove) guard_.Lost(component);
  }

 private:
  TQtMenuGuard& guard_;
};

TQtMenuGuard::TQtMenuGuard(QMainWindow& window, TQtGuardSettings settings, QObject* parent)
    : QObject(parent), window_(&window), settings_(std::move(settings)) {}

TQtMenuGuard::TQtMenuGuard(QMenuBar& bar, TQtGuardSettings settings, QObject* parent)
    : QObject(parent), bar_(&bar), settings_(std::move(settings)) {}

TQtMenuGuard::~TQtMenuGuard() { TearDown(); }

// The model goes first (the component gives the items their handlers
// back), then the mirror puts the host's actions back in their places.
void TQtMenuGuard::TearDown() {
  watch_.reset();
  form_.reset();
  menu_ = nullptr;
  quarvel_ = nullptr;
  mirror_.reset();
  if (registered_ != nullptr) GuardedBars().erase(registered_);
  registered_ = nullptr;
}

// The host destroyed the component, its form or its menu, often from a
// command running now. Guarding ends as in TearDown, without touching what
// is being destroyed: a form destroyed by someone else is no longer the
// guard's to free, and one that outlives its component is freed by
// TearDown later (not now: its component is still on the way out).
void TQtMenuGuard::Lost(const TComponent* gone) {
  if (gone == form_.get()) (void)form_.release();
  quarvel_ = nullptr;
  menu_ = nullptr;
  mirror_.reset();
  if (registered_ != nullptr) GuardedBars().erase(registered_);
  registered_ = nullptr;
}

// The component is read onto a hidden model form the way a host form is
// read, so its Loaded runs the usual start-up over the mirrored menu. On any
// failure the model and the stand-ins go and every action gets back the
// state it had, so no half-guarded menu is left.
bool TQtMenuGuard::start() {
  if (isGuarding()) return true;
  TearDown();  // what is left of a guarding that was lost
  if (Application.Backend() == nullptr) own_backend_ = std::make_unique<TQtBackend>();
  bool end = true;
  try {
    if (window_) {
      bar_ = qobject_cast<QMenuBar*>(window_->menuWidget());
      if (!bar_) throw EQuarvelError("The main window " + NameOf(*window_).toStdString() + " has no menu bar to guard.");
    }
    if (!bar_) throw EQuarvelError("There is no menu bar to guard.");
    if (GuardedBars().count(bar_) != 0) {
      end = false;
      throw EQuarvelError("The menu bar " + NameOf(*bar_).toStdString() + " is guarded already.");
    }
    if (bar_->actions().isEmpty())
      throw EQuarvelError("The menu bar " + NameOf(*bar_).toStdString() + " has no actions to guard.");
    GuardedBars().insert(bar_);
    registered_ = bar_;

    form_ = std::make_unique<TForm>(nullptr);
    form_->SetName("QtGuardedWindow");
    menu_ = new TMainMenu(form_.get());
    menu_->SetName("mnuGuarded");
    mirror_ = std::make_unique<TQtMenuMirror>(*bar_, *menu_);
    mirror_->OnError = [this](const std::exception& error) { Report(error); };
    // No login has decided on an action added later: denied until one does.
    mirror_->OnNewItem = [](TMenuItem& item) { item.SetEnabled(false); };
    // Mirrored before the form is read: an action name the catalogue cannot
    // hold is refused before anything joins the reading.
    mirror_->Sync();
    form_->SetMenu(menu_);
    ReadForm(*form_, [&] {
      quarvel_ = new TQuarvel(form_.get());
      quarvel_->SetName("Quarvel1");
      quarvel_->SetDatabaseName(settings_.DatabaseName);
      quarvel_->SetMenu(menu_);
      quarvel_->SetAppKey(settings_.AppKey);
      quarvel_->SetAutoLogin(settings_.AutoLogin);
    });
  } catch (const std::exception& error) {
    if (mirror_) mirror_->RestoreStates();
    TearDown();
    Report(error);
    if (end) AskToEnd();
    return false;
  }
  if (settings_.AutoLogin && userName().isEmpty()) {
    // Nobody logged in: the component asked the application to end.
    mirror_->RestoreStates();
    TearDown();
    AskToEnd();
    return false;
  }
  watch_ = std::make_unique<Watch>(*this);
  for (TComponent* watched : {static_cast<TComponent*>(form_.get()), static_cast<TComponent*>(menu_),
                              static_cast<TComponent*>(quarvel_)})
    watch_->FreeNotification(watched);
  if (settings_.AutoLogin) emit userChanged(userName());
  return true;
}

QString TQtMenuGuard::userName() const {
  if (quarvel_ == nullptr || quarvel_->User() == nullptr) return {};
  return QString::fromStdString(quarvel_->User()->UserName());
}

bool TQtMenuGuard::login() {
  if (!isGuarding()) return false;
  try {
    mirror_->Sync();
    if (!quarvel_->Login()) return false;
  } catch (const std::exception& error) {
    Report(error);
    return false;
  }
  emit userChanged(userName());
  return true;
}

void TQtMenuGuard::changeUserPassword() {
  if (!isGuarding()) return;
  try {
    quarvel_->ChangeUserPassword();
  } catch (const std::exception& error) {
    Report(error);
  }
}

void TQtMenuGuard::usersAdm() {
  if (!isGuarding()) return;
  try {
    mirror_->Sync();
    quarvel_->UsersAdm();
  } catch (const std::exception& error) {
    Report(error);
  }
}

// A slot must not let an error into Qt's event delivery: the message goes
// to the error display, and a failure of the display itself (a backend
// failure) to Qt's warning output.
void TQtMenuGuard::Report(const std::exception& error) {
  try {
    Application.HandleException(error);
  } catch (const std::exception& failure) {
    qWarning().noquote() << "qvd3:" << failure.what();
  }
}

}  // namespace qv

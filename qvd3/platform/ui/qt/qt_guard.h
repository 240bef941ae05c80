// Guards a Qt application's own main window: its QMenuBar and QActions,
// built in code or from a Designer .ui file, get the security component's
// login, rights and audit without a window-model form.
//
//   QApplication app(argc, argv);
//   MainWindow window;                                  // ui->setupUi(this)
//   qv::TQtMenuGuard guard(window, {.DatabaseName = "qvdemo", .AppKey = "PEDIDOS",
//                                   .AutoLogin = true});
//   if (!guard.start()) return 1;                       // told why; nobody logged in
//   window.show();
//   return app.exec();
//
// start() mirrors the menu bar into a TMainMenu (see qt_menu_mirror.h) and
// places a TQuarvel on it with the settings, exactly as a host form would:
// the component logs in (AutoLogin) or opens its tables, hooks every
// command action (so that slots connected later are audited too), and from
// then on applies the user's rights to the actions at each login and
// audits the commands of audited users. Every guarded action needs an
// objectName, unique ignoring letter case (uic gives one to every action of
// a .ui file); actions without one are reported and stay enabled for
// everybody. An action added to the bar after start() is guarded as soon as
// the event loop runs, denied until the next login decides on it.
//
// A command may delete the guard, or the component or its form: guarding
// then ends as when the guard is destroyed, and nothing destroyed is
// touched when the command returns.
//
// Needs a QApplication. Uses the installed window backend for the
// component's dialogs and messages, or installs a TQtBackend of its own.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>

class QMainWindow;
class QMenuBar;

namespace qv {

class TComponent;
class TForm;
class TMainMenu;
class TQuarvel;
class TQtBackend;
class TQtMenuMirror;

// The component's settings (see TQuarvel).
struct TQtGuardSettings {
  std::string DatabaseName;  // alias of the security database
  std::string AppKey;        // at most 20 characters
  bool AutoLogin = false;    // log in at start()
};

class TQtMenuGuard : public QObject {
  Q_OBJECT

 public:
  // Guards the menu bar of `window` (found at start()).
  TQtMenuGuard(QMainWindow& window, TQtGuardSettings settings, QObject* parent = nullptr);
  // Guards `bar` itself.
  TQtMenuGuard(QMenuBar& bar, TQtGuardSettings settings, QObject* parent = nullptr);
  // Gives every action its own place in the widgets back and frees the
  // component; the actions keep their state.
  ~TQtMenuGuard() override;

  // Starts guarding. True when the bar is guarded (and, with AutoLogin, a
  // user is logged in). False after the reason was shown in a message box
  // and nothing was changed: a window without a menu bar, a bar without
  // actions, a bar guarded already, an action name the catalogue cannot
  // hold, the component's errors (the security tables that cannot be
  // opened) or a refused AutoLogin. In every case but the bar guarded
  // already, the application is asked to end: Qt's event loop ends as
  // soon as it runs. Calling it again once guarding returns true.
  bool start();
  // False before start(), after a failed one, and once the component, its
  // form or its menu was destroyed by someone else.
  bool isGuarding() const { return quarvel_ != nullptr; }

  // The component and the model of the menu bar; nullptr until start().
  TQuarvel* component() const { return quarvel_; }
  TMainMenu* menu() const { return menu_; }
  // The logged-in user's name; empty before a login.
  QString userName() const;

 public slots:
  // Brings the model in step with the bar, then runs the component's
  // login; true when a user is logged in. Emits userChanged then.
  bool login();
  // Lets the logged-in user replace the own password.
  void changeUserPassword();
  // Brings the model in step with the bar (actions added since start-up
  // reach the catalogue), then opens the administration window.
  void usersAdm();

 signals:
  // A user logged in (also the same one again).
  void userChanged(const QString& userName);

 private:
  class Watch;

  // Shows `error` through the application's error display.
  void Report(const std::exception& error);
  void TearDown();
  // The component, its form or its menu is being destroyed by someone else.
  void Lost(const TComponent* gone);

  QPointer<QMainWindow> window_;
  QPointer<QMenuBar> bar_;
  TQtGuardSettings settings_;
  std::unique_ptr<TQtBackend> own_backend_;
  std::unique_ptr<TForm> form_;
  std::unique_ptr<TQtMenuMirror> mirror_;
  // Told when the form, the menu or the component is destroyed.
  std::unique_ptr<Watch> watch_;
  TMainMenu* menu_ = nullptr;
  TQuarvel* quarvel_ = nullptr;
  // The bar this guard registered as guarded.
  const QMenuBar* registered_ = nullptr;
};

}  // namespace qv

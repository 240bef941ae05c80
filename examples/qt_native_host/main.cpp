// A Qt application with its own main window (from a Designer file) guarded
// by the security component: login at start, the user's rights on every
// menu and toolbar action, the audit of commands, and the "Segurança" menu
// wired to the guard. Usage: qvnative_host [ALIAS] (default "qvdemo").
//
// README.md quotes the lines between the two "README quote" lines.
// README quote begins
#include <QApplication>

#include "main_window.h"
#include "qvd3/platform/ui/qt/qt_guard.h"
#include "ui_main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  MainWindow window;
  auto& ui = window.ui();

  qv::TQtMenuGuard guard(window, {.DatabaseName = argc > 1 ? argv[1] : "qvdemo", .AppKey = "PEDIDOS",
                                  .AutoLogin = true});
  QObject::connect(ui.actionTrocarUsuario, &QAction::triggered, &guard, &qv::TQtMenuGuard::login);
  QObject::connect(ui.actionAlterarSenha, &QAction::triggered, &guard, &qv::TQtMenuGuard::changeUserPassword);
  QObject::connect(ui.actionUsuarios, &QAction::triggered, &guard, &qv::TQtMenuGuard::usersAdm);
  QObject::connect(&guard, &qv::TQtMenuGuard::userChanged, &window, &MainWindow::showUser);
  if (!guard.start()) return 1;  // the reason was shown; nobody is logged in

  window.show();
  return app.exec();
}
// README quote ends

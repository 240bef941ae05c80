// A host's own QMainWindow guarded by the component: the menu bar mirrored
// into the model, rights reaching the actions of menus and toolbar, commands
// run once through the interceptor, and the bad set-ups refused cleanly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "qvd3/component/menu_walk.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/platform/sys/exception.h"
#include "examples/qt_native_host/main_window.h"
#include "qvd3/platform/ui/qt/qt_guard.h"
#include "qvd3/platform/ui/qt/qt_menu_mirror.h"
#include "qvd3/platform/ui/qt/qt_person.h"
#include "tests/platform/qt/qt_fixture.h"
#include "tests/support/security_db.h"
#include "ui_main_window.h"

namespace qv::test {
namespace {

// The model as "name:caption*" lines in walk order (indented by level; "*"
// marks a click handler).
std::vector<std::string> Walked(const TMainMenu& menu) {
  std::vector<std::string> lines;
  WalkMenu(menu, [&](TMenuItem& item, int level) {
    lines.push_back(std::string(level * 2, ' ') + item.Name() + ":" + item.Caption() + (item.OnClick ? "*" : ""));
  });
  return lines;
}

// The action named `name` shown in `widget` (a menu, the bar, a toolbar).
QAction* Shown(QWidget& widget, const QString& name) {
  for (QAction* action : widget.actions())
    if (action->objectName() == name) return action;
  return nullptr;
}

// Captures Qt's warnings while alive.
class WarningCapture {
 public:
  WarningCapture() { previous_ = qInstallMessageHandler(&Handler); }
  ~WarningCapture() { qInstallMessageHandler(previous_); }
  static std::vector<QString>& Seen() {
    static std::vector<QString> seen;
    return seen;
  }

 private:
  static void Handler(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtWarningMsg) Seen().push_back(text);
  }
  QtMessageHandler previous_;
};

// Runs Qt's event loop; true when something ends it at once (a guard that
// asked the application to end), false when it had to be stopped. The
// stopping timer goes with the call: left pending, it would end a later
// test's modal login dialog.
bool EventLoopEndsAtOnce() {
  QTimer stop;
  stop.setSingleShot(true);
  QObject::connect(&stop, &QTimer::timeout, [] { QCoreApplication::exit(7); });
  stop.start(3000);
  return QCoreApplication::exec() == 0;
}

TEST(QtMenuMirror, MirrorsABarBuiltInCodeAndLeavesUnnamedActionsOutOnce) {
  EnsureQtApplication();
  QMainWindow window;
  int runs = 0;
  QMenu* file = window.menuBar()->addMenu("&Arquivo");
  file->setObjectName("menuFile");
  QAction* open = file->addAction("&Abrir...");
  open->setObjectName("actOpen");
  QObject::connect(open, &QAction::triggered, [&] { ++runs; });
  file->addSeparator();
  QAction* unnamed = file->addAction("Ajuda rápida");
  QObject::connect(unnamed, &QAction::triggered, [&] { ++runs; });
  QMenu* loose = file->addMenu("Sem nome");  // an unnamed sub-menu: its actions take its place
  loose->addAction("Lista")->setObjectName("actList");
  QAction* quiet = window.menuBar()->addAction("Só&zinho");  // on the bar, no slot: a command all the same
  quiet->setObjectName("actAlone");
  QToolBar* tools = window.addToolBar("t");
  tools->addAction(quiet);
  QActionGroup group(&window);
  group.addAction(quiet);

  TForm owner(nullptr);
  auto* menu = new TMainMenu(&owner);
  WarningCapture warnings;
  {
    TQtMenuMirror mirror(*window.menuBar(), *menu);
    mirror.Sync();
    mirror.Sync();
    EXPECT_EQ(Walked(*menu), (std::vector<std::string>{"menuFile:&Arquivo", "  actOpen:&Abrir...*",
                                                        "  actList:Lista*", "actAlone:Só&zinho*"}));
    // The separator is in the model below the walk's notice.
    EXPECT_EQ(menu->Items()->Items(0)->Items(1)->Caption(), "-");
    ASSERT_EQ(WarningCapture::Seen().size(), 2u);
    EXPECT_TRUE(WarningCapture::Seen()[0].contains("\"Ajuda rápida\" has no objectName"));
    EXPECT_TRUE(WarningCapture::Seen()[1].contains("\"Sem nome\" has no objectName"));

    // The person's choice runs the host's slot once, through the model.
    QAction* standIn = Shown(*file, "actOpen");
    ASSERT_NE(standIn, nullptr);
    EXPECT_NE(standIn, open);
    int viaModel = 0;
    TMenuItem* item = mirror.ItemOf(open);
    TNotifyEvent command = item->OnClick;
    item->OnClick = [&](TObject& sender) { ++viaModel; command(sender); };
    standIn->trigger();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(viaModel, 1);
    item->SetEnabled(false);
    EXPECT_FALSE(open->isEnabled());
    EXPECT_FALSE(standIn->isEnabled());
    open->setEnabled(true);  // the host's own code cannot lift the model's denial
    EXPECT_FALSE(standIn->isEnabled());
    EXPECT_TRUE(unnamed->isEnabled());
  }
  // Gone with the mirror: the host's own action is back in its place.
  EXPECT_EQ(file->actions().at(0), open);
}

TEST(QtMenuMirror, MirrorsTheDesignerWindowAndFollowsItsChanges) {
  EnsureQtApplication();
  MainWindow window;
  Ui::MainWindow& ui = window.ui();
  TForm owner(nullptr);
  auto* menu = new TMainMenu(&owner);
  TQtMenuMirror mirror(*window.menuBar(), *menu);
  mirror.Sync();
  EXPECT_EQ(Walked(*menu),
            (std::vector<std::string>{
                "menuArquivo:&Arquivo", "  actionNovo:&Novo pedido*", "  actionAbrir:&Abrir pedido...*",
                "  actionSalvar:&Salvar*", "  actionSair:Sai&r*", "menuRelatorios:&Relatórios",
                "  actionVendas:&Vendas do mês*", "  menuEstoque:&Estoque", "    actionPosicao:&Posição*",
                "    actionInventario:&Inventário...*", "menuSeguranca:&Segurança",
                "  actionTrocarUsuario:&Trocar usuário...*", "  actionAlterarSenha:&Alterar senha...*",
                "  actionUsuarios:&Usuários e permissões...*", "menuAjuda:Aj&uda", "  actionSobre:&Sobre...*"}));
  // The toolbar shows the same stand-in as the menu.
  EXPECT_EQ(Shown(*ui.toolBar, "actionSalvar"), Shown(*ui.menuArquivo, "actionSalvar"));

  // Moved, renamed, removed and added actions.
  ui.menuAjuda->addAction(ui.actionVendas);
  ui.actionInventario->setObjectName("actionBalanco");
  ui.menuArquivo->removeAction(Shown(*ui.menuArquivo, "actionSair"));
  mirror.Sync();
  EXPECT_EQ(menu->FindItem("actionSair"), nullptr);
  EXPECT_EQ(menu->FindItem("actionInventario"), nullptr);
  ASSERT_NE(menu->FindItem("actionBalanco"), nullptr);
  EXPECT_EQ(menu->FindItem("actionVendas")->Parent()->Name(), "menuRelatorios");  // first place kept
  EXPECT_EQ(Shown(*ui.menuAjuda, "actionVendas"), Shown(*ui.menuRelatorios, "actionVendas"));
  EXPECT_NE(Shown(*ui.menuAjuda, "actionVendas"), ui.actionVendas);
  EXPECT_EQ(mirror.ActionOf(*menu->FindItem("actionBalanco")), ui.actionInventario);
  // A host action destroyed leaves with its stand-in.
  delete ui.actionPosicao;
  mirror.Sync();
  EXPECT_EQ(menu->FindItem("actionPosicao"), nullptr);
  EXPECT_EQ(Shown(*ui.menuEstoque, "actionPosicao"), nullptr);
  // A whole sub-menu taken out goes with its items.
  ui.menuRelatorios->removeAction(ui.menuEstoque->menuAction());
  mirror.Sync();
  EXPECT_EQ(menu->FindItem("menuEstoque"), nullptr);
  EXPECT_EQ(menu->FindItem("actionBalanco"), nullptr);
  EXPECT_EQ(menu->FindItem("menuRelatorios")->Count(), 1);
}

class QtGuard : public SecurityDbTest {
 protected:
  // maria (audited, or not) may use actionNovo and the menus; actionSalvar
  // and actionVendas are denied under a profile that disables (hide 0) or
  // hides (1) them.
  int SeedMaria(int hide, const std::string& audit = "1") {
    const int prof = AddProfile("Vendedor", "0", std::nullopt, hide);
    const int maria = AddUser("maria", "segredo", prof, audit);
    AddUserInfo("PEDIDOS", maria);
    for (const char* name : {"menuArquivo", "actionNovo", "actionSalvar", "actionVendas", "menuRelatorios"}) {
      const bool allowed = std::string(name) != "actionSalvar" && std::string(name) != "actionVendas";
      SetUAccess("PEDIDOS", maria, AddProg("PEDIDOS", name, name), Value(allowed ? "1" : "0"));
    }
    return maria;
  }

  void LogInAs(const QString& name, const QString& password) {
    ui_.WhenShown("Login", [=](QWidget& login, TForm&) {
      qt_person::TypeText(login, name);
      qt_person::PressKey(login, Qt::Key_Return);
      qt_person::TypeText(login, password);
      qt_person::PressKey(login, Qt::Key_Return);
    });
  }

  TQtGuardSettings Settings(bool autoLogin = true) { return {Alias(), "PEDIDOS", autoLogin}; }

  void ShowActive(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  QToolButton* ButtonOf(QToolBar& bar, const QString& name) {
    return qobject_cast<QToolButton*>(bar.widgetForAction(Shown(bar, name)));
  }

  QtBackendFixture ui_;
};

TEST_P(QtGuard, RightsReachMenuAndToolbarAndDeniedShortcutsDoNothing) {
  SeedMaria(0);
  const int ana = AddUser("ana", "ana123", AddProfile("Consulta", "0", std::nullopt, 1));
  AddUserInfo("PEDIDOS", ana);
  MainWindow window;
  Ui::MainWindow& ui = window.ui();
  LogInAs("maria", "segredo");
  TQtMenuGuard guard(window, Settings());
  QString changedTo;
  QObject::connect(&guard, &TQtMenuGuard::userChanged, [&](const QString& user) { changedTo = user; });
  ASSERT_TRUE(guard.start());
  EXPECT_EQ(changedTo, "maria");
  ShowActive(window);

  EXPECT_TRUE(ui.actionNovo->isEnabled());
  EXPECT_FALSE(ui.actionSalvar->isEnabled());
  EXPECT_TRUE(ui.actionSalvar->isVisible());
  EXPECT_FALSE(ui.actionPosicao->isEnabled());  // not catalogued yet: denied
  EXPECT_FALSE(ButtonOf(*ui.toolBar, "actionSalvar")->isEnabled());
  EXPECT_FALSE(ButtonOf(*ui.toolBar, "actionVendas")->isEnabled());
  EXPECT_TRUE(ButtonOf(*ui.toolBar, "actionNovo")->isEnabled());

  QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
  QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
  EXPECT_EQ(window.commandsRun(), 0);
  QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(window.commandsRun(), 1);

  // A profile that hides: the denied actions leave menu and toolbar alike.
  LogInAs("ana", "ana123");
  ASSERT_TRUE(guard.login());
  EXPECT_EQ(changedTo, "ana");
  EXPECT_FALSE(ui.actionVendas->isVisible());
  QCoreApplication::processEvents();  // the toolbar lays its buttons out afterwards
  EXPECT_FALSE(ButtonOf(*ui.toolBar, "actionVendas")->isVisible());
  EXPECT_FALSE(Shown(*ui.menuRelatorios, "actionVendas")->isVisible());
}

TEST_P(QtGuard, AHookedCommandRunsOnceAndIsAuditedOnlyForAnAuditedUser) {
  SeedMaria(0, "1");
  const int joao = AddUser("joao", "joao123", 0, "0");
  AddUserInfo("PEDIDOS", joao);
  for (const char* name : {"menuArquivo", "actionNovo"})
    SetUAccess("PEDIDOS", joao,
               ScalarValue("SELECT MENU_ID FROM PROGS WHERE MENU_NAME=:N", {{"N", name}}).AsInteger(), Value("1"));
  MainWindow window;
  Ui::MainWindow& ui = window.ui();
  LogInAs("maria", "segredo");
  TQtMenuGuard guard(window, Settings());
  QObject::connect(&guard, &TQtMenuGuard::userChanged, &window, &MainWindow::showUser);
  ASSERT_TRUE(guard.start());
  ShowActive(window);
  EXPECT_EQ(window.statusBar()->currentMessage(), "Usuário: maria");
  const char* audits = "SELECT COUNT(*) FROM AUDIT WHERE APP_KEY='PEDIDOS'";

  qt_person::Choose(*Shown(*ui.menuArquivo, "actionNovo"));  // the menu
  EXPECT_EQ(window.commandsRun(), 1);
  qt_person::Click(*ButtonOf(*ui.toolBar, "actionNovo"));  // the toolbar
  EXPECT_EQ(window.commandsRun(), 2);
  QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);  // the shortcut
  EXPECT_EQ(window.commandsRun(), 3);
  EXPECT_EQ(Count(audits), 3);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE PROG_ID = (SELECT MENU_ID FROM PROGS WHERE "
                  "MENU_NAME='actionNovo')"),
            3);
  // The README's picture of the example, taken when asked for.
  if (const char* png = std::getenv("QV_GUARD_SCREENSHOT"); png != nullptr && IsSqlite())
    SaveWindowPng(window, png);

  LogInAs("joao", "joao123");
  ASSERT_TRUE(guard.login());
  EXPECT_EQ(guard.userName(), "joao");
  qt_person::Choose(*Shown(*ui.menuArquivo, "actionNovo"));
  EXPECT_EQ(window.commandsRun(), 4);
  EXPECT_EQ(Count(audits), 3);
}

TEST_P(QtGuard, TheAdministrationWindowWalksTheBarAsItIsThen) {
  SeedMaria(0);
  MainWindow window;
  LogInAs("master", kMasterPassword);
  TQtMenuGuard guard(window, Settings());
  ASSERT_TRUE(guard.start());
  QAction* later = window.ui().menuAjuda->addAction("&Novidades");
  later->setObjectName("actionNovidades");
  bool opened = false;
  ui_.WhenShown("UsersAdministration", [&](QWidget&, TForm& form) {
    opened = true;
    form.Close();
  });
  guard.usersAdm();
  ASSERT_NE(guard.menu()->FindItem("actionNovidades"), nullptr);
  EXPECT_EQ(guard.menu()->FindItem("actionNovidades")->Parent()->Name(), "menuAjuda");
  // A build with the administration window catalogues it on opening; one
  // without says so.
  if (opened)
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS WHERE APP_KEY='PEDIDOS' AND MENU_NAME='actionNovidades'"), 1);
  else
    EXPECT_EQ(ui_.Seen().back().Text, "The administration window is not available in this build.");
}

TEST_P(QtGuard, BadSetUpsAreToldAndEndTheApplicationWithTheMenuUntouched) {
  SeedMaria(0);
  {
    QMainWindow bare;
    TQtMenuGuard guard(bare, Settings());
    EXPECT_FALSE(guard.start());
    EXPECT_TRUE(EventLoopEndsAtOnce());
  }
  {
    QMenuBar empty;
    TQtMenuGuard guard(empty, Settings());
    EXPECT_FALSE(guard.start());
    EXPECT_TRUE(EventLoopEndsAtOnce());
  }
  MainWindow window;
  Ui::MainWindow& ui = window.ui();
  {
    TQtMenuGuard guard(window, {"no_such_alias", "PEDIDOS", true});
    EXPECT_FALSE(guard.start());
    EXPECT_TRUE(EventLoopEndsAtOnce());
  }
  {
    ui_.WhenShown("Login", [](QWidget& login, TForm&) { qt_person::PressKey(login, Qt::Key_Escape); });
    TQtMenuGuard guard(window, Settings());
    EXPECT_FALSE(guard.start());
    EXPECT_FALSE(guard.isGuarding());
    EXPECT_TRUE(EventLoopEndsAtOnce());
  }
  ASSERT_EQ(ui_.Seen().size(), 3u);
  EXPECT_EQ(ui_.Seen()[0].Text, "The main window QMainWindow has no menu bar to guard.");
  EXPECT_EQ(ui_.Seen()[1].Text, "The menu bar QMenuBar has no actions to guard.");
  EXPECT_EQ(ui_.Seen()[2].Text.rfind("Não foi possível abrir tabelas em no_such_alias - ", 0), 0u);
  // Nothing was left half-guarded: the host's own actions, as they were.
  EXPECT_EQ(ui.menuArquivo->actions().at(2), ui.actionSalvar);
  EXPECT_EQ(Shown(*ui.toolBar, "actionSalvar"), ui.actionSalvar);
  EXPECT_TRUE(ui.actionSalvar->isEnabled());

  // A second guard on a guarded window is refused; the first one goes on.
  LogInAs("maria", "segredo");
  TQtMenuGuard first(window, Settings());
  ASSERT_TRUE(first.start());
  TQtMenuGuard second(window, Settings());
  EXPECT_FALSE(second.start());
  EXPECT_EQ(ui_.Seen().back().Text, "The menu bar menubar is guarded already.");
  EXPECT_FALSE(ui.actionSalvar->isEnabled());
  EXPECT_TRUE(first.isGuarding());
}

TEST_P(QtGuard, ActionNamesThatDifferOnlyInLetterCaseAreRefused) {
  SeedMaria(0);
  MainWindow window;
  QAction* twin = window.ui().menuAjuda->addAction("Salvar de novo");
  twin->setObjectName("ACTIONSALVAR");
  QObject::connect(twin, &QAction::triggered, [] {});
  TQtMenuGuard guard(window, Settings());
  EXPECT_FALSE(guard.start());
  EXPECT_TRUE(EventLoopEndsAtOnce());
  ASSERT_EQ(ui_.Seen().size(), 1u);
  EXPECT_EQ(ui_.Seen()[0].Text.rfind("The action \"Salvar de novo\" cannot be guarded: ", 0), 0u);
  EXPECT_EQ(Shown(*window.ui().menuAjuda, "ACTIONSALVAR"), twin);
}

TEST_P(QtGuard, WidgetsAndSlotsTheHostAddsAfterStartGoThroughTheComponent) {
  const int maria = SeedMaria(0, "1");
  for (const char* name : {"menuSeguranca", "actionTrocarUsuario"})
    SetUAccess("PEDIDOS", maria, AddProg("PEDIDOS", name, name), Value("1"));
  MainWindow window;
  Ui::MainWindow& ui = window.ui();
  LogInAs("maria", "segredo");
  TQtMenuGuard guard(window, Settings());
  ASSERT_TRUE(guard.start());
  ShowActive(window);
  const char* audits = "SELECT COUNT(*) FROM AUDIT WHERE APP_KEY='PEDIDOS'";

  // A toolbar made after start-up holds the stand-ins, in the host's order.
  QToolBar* late = window.addToolBar("Depois");
  late->addAction(ui.actionSalvar);
  late->insertAction(Shown(*late, "actionSalvar"), ui.actionNovo);
  ASSERT_EQ(late->actions().size(), 2);
  EXPECT_EQ(late->actions().at(0), Shown(*ui.menuArquivo, "actionNovo"));
  EXPECT_EQ(late->actions().at(1), Shown(*ui.menuArquivo, "actionSalvar"));
  EXPECT_NE(late->actions().at(1), ui.actionSalvar);
  qt_person::Click(*ButtonOf(*late, "actionNovo"));
  EXPECT_EQ(window.commandsRun(), 1);
  EXPECT_EQ(Count(audits), 1);

  // The host's own code lifts the denial of actionSalvar and puts it in
  // more places: the late toolbar, the window (for its shortcut) and a
  // tool button of its own. None of them runs it.
  ui.actionSalvar->setEnabled(true);
  window.addAction(ui.actionSalvar);
  auto* button = new QToolButton(&window);
  button->setDefaultAction(ui.actionSalvar);
  EXPECT_NE(button->defaultAction(), ui.actionSalvar);
  EXPECT_FALSE(ButtonOf(*late, "actionSalvar")->isEnabled());
  qt_person::Click(*ButtonOf(*late, "actionSalvar"));
  late->actions().at(1)->trigger();
  button->click();
  QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(window.commandsRun(), 1);
  EXPECT_EQ(Count(audits), 1);

  // A slot connected after start-up to an action that had none is audited.
  int switches = 0;
  QObject::connect(ui.actionTrocarUsuario, &QAction::triggered, [&] { ++switches; });
  qt_person::Choose(*Shown(*ui.menuSeguranca, "actionTrocarUsuario"));
  EXPECT_EQ(switches, 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE PROG_ID = (SELECT MENU_ID FROM PROGS WHERE "
                  "MENU_NAME='actionTrocarUsuario')"),
            1);

  // An action the host disabled runs nothing when its item is chosen, and
  // leaves no row.
  ui.actionNovo->setEnabled(false);
  TMenuItem* novo = guard.menu()->FindItem("actionNovo");
  ASSERT_TRUE(novo->Enabled());
  EXPECT_FALSE(Shown(*ui.menuArquivo, "actionNovo")->isEnabled());
  EXPECT_THROW(novo->Click(), EAbort);
  EXPECT_EQ(window.commandsRun(), 1);
  EXPECT_EQ(Count(audits), 2);
}

TEST_P(QtGuard, AnActionAddedToTheBarAfterStartIsGuardedAndDeniedUntilALoginDecides) {
  SeedMaria(0, "1");
  MainWindow window;
  Ui::MainWindow& ui = window.ui();
  LogInAs("maria", "segredo");
  TQtMenuGuard guard(window, Settings());
  ASSERT_TRUE(guard.start()) << (ui_.Seen().empty() ? std::string("no message") : ui_.Seen().back().Text);
  QAction* exportar = ui.menuArquivo->addAction("E&xportar");
  exportar->setObjectName("actionExportar");
  int exports = 0;
  QObject::connect(exportar, &QAction::triggered, [&] { ++exports; });
  QCoreApplication::processEvents();

  ASSERT_NE(guard.menu()->FindItem("actionExportar"), nullptr);
  QAction* shown = Shown(*ui.menuArquivo, "actionExportar");
  ASSERT_NE(shown, nullptr);
  EXPECT_NE(shown, exportar);
  exportar->setEnabled(true);
  EXPECT_FALSE(shown->isEnabled());
  shown->trigger();
  EXPECT_EQ(exports, 0);

  // The administrator's login decides: allowed.
  LogInAs("master", kMasterPassword);
  ASSERT_TRUE(guard.login());
  EXPECT_TRUE(shown->isEnabled());
  qt_person::Choose(*shown);
  EXPECT_EQ(exports, 1);
}

// The host's command deletes the guard, the component or the component's
// form while it runs (deleted from the toolbar's button, whose stand-in is
// still in use when the command returns). Guarding ends, the host's own
// actions are back in their places with the rights last applied, and they
// go on working.
TEST_P(QtGuard, ACommandMayDeleteTheGuardItsComponentOrItsForm) {
  SeedMaria(0, "1");
  for (const char* what : {"guard", "component", "form"}) {
    SCOPED_TRACE(what);
    MainWindow window;
    Ui::MainWindow& ui = window.ui();
    LogInAs("maria", "segredo");
    QPointer<TQtMenuGuard> guard = new TQtMenuGuard(window, Settings());
    ASSERT_TRUE(guard->start());
    bool done = false;
    QObject::connect(ui.actionNovo, &QAction::triggered, [&] {
      if (std::exchange(done, true)) return;
      if (std::string(what) == "guard") delete guard.data();
      else if (std::string(what) == "component") delete guard->component();
      else delete guard->component()->Owner();
    });
    ShowActive(window);
    qt_person::Click(*ButtonOf(*ui.toolBar, "actionNovo"));
    EXPECT_EQ(window.commandsRun(), 1);
    if (guard) {
      EXPECT_FALSE(guard->isGuarding());
      EXPECT_EQ(guard->component(), nullptr);
      EXPECT_EQ(guard->userName(), "");
      EXPECT_FALSE(guard->login());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(Shown(*ui.menuArquivo, "actionNovo"), ui.actionNovo);
    EXPECT_EQ(Shown(*ui.toolBar, "actionNovo"), ui.actionNovo);
    EXPECT_FALSE(ui.actionSalvar->isEnabled());
    QTest::keyClick(&window, Qt::Key_N, Qt::ControlModifier);
    EXPECT_EQ(window.commandsRun(), 2);

    // The window can be guarded again once the old guard is gone.
    delete guard.data();
    LogInAs("maria", "segredo");
    TQtMenuGuard again(window, Settings());
    EXPECT_TRUE(again.start());
  }
}

QV_INSTANTIATE_ENGINES(QtGuard);

}  // namespace
}  // namespace qv::test

#include "examples/demo/tour.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <any>
#include <cstdio>
#include <filesystem>

#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/dialogs/new_user_qv.h"
#include "examples/demo/estoque_form.h"
#include "examples/demo/seed.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/ui/qt/qt_person.h"

namespace qv::demo {

using qt_person::PressKey;
using qt_person::TypeText;

namespace {

// The menu item "joao" is denied at first and granted by the tour.
constexpr const char* kGrantedToJoao = "mnuRelPosicao";
// The user and the profile the tour creates in the administration window,
// and the password it gives "maria" there.
constexpr const char* kNewUser = "maria";
constexpr const char* kNewUserProfile = "Consulta";
constexpr const char* kResetPassword = "maria789";
constexpr const char* kNewProfile = "Vendas";

QString Q(const std::string& text) { return QString::fromStdString(text); }

void Say(const std::string& line) { std::printf("[tour] %s\n", line.c_str()), std::fflush(stdout); }

// Lets the windows paint (and popups open) before a picture is taken.
void Settle() { QApplication::processEvents(QEventLoop::AllEvents, 50); }

}  // namespace

TTour::TTour(TQtBackend& ui, const std::string& folder, const std::string& alias, const std::string& masterPassword)
    : ui_(ui), folder_(folder), alias_(alias), master_password_(masterPassword) {
  std::filesystem::create_directories(folder_);
  logins_.emplace_back("master", masterPassword);
  ui_.OnWindowShown = [this](const TQtShownWindow& shown) { Shown(shown); };
}

void TTour::Save(QWidget& window, const std::string& what, bool numbered) {
  Settle();
  char name[16] = "";
  ++pictures_;
  if (numbered) std::snprintf(name, sizeof name, "%02d-", ++numbered_);
  const std::string path = (std::filesystem::path(folder_) / (name + what + ".png")).string();
  SaveWindowPng(window, path);
  Say("imagem " + path);
}

long long TTour::AuditRows() const {
  TQuery query;
  query.SetDatabaseName(alias_);
  query.SetSQL("SELECT COUNT(*) FROM AUDIT WHERE APP_KEY=:APP");
  query.ParamByName("APP").SetAsString(kAppKey);
  query.Open();
  return query.Fields()[0]->AsValue().AsInteger();
}

void TTour::Shown(const TQtShownWindow& shown) {
  switch (shown.WindowKind) {
    case TQtShownWindow::Message: {
      auto& box = *qobject_cast<QMessageBox*>(shown.Window);
      Say("mensagem: \"" + shown.Text + "\"");
      Save(box, "mensagem");
      // Questions are answered yes; everything else is acknowledged.
      if (!qt_person::AnswerMessage(box, "Sim")) qt_person::AnswerMessage(box, "OK");
      return;
    }
    case TQtShownWindow::Query: {
      auto& dialog = *qobject_cast<QInputDialog*>(shown.Window);
      if (shown.Text == LoadStr(kStrNewPasswordPrompt)) {
        Say(std::string("nova senha de ") + kNewUser + ": " + kResetPassword);
        TypeText(dialog, kResetPassword);
        dialog.accept();
        return;
      }
      TypeText(dialog, "Parafuso sextavado 3/8");
      Save(dialog, "pergunta");
      dialog.accept();
      return;
    }
    case TQtShownWindow::Form: break;
  }
  const std::string& name = shown.ShownForm->Name();
  if (name == "Login") Login(*shown.Window);
  else if (name == "MudaPwd") ChangePassword(*shown.Window);
  else if (name == "Movimento") Movement(*shown.Window);
  else if (name == "NewUser") NewUser(As<TNewUser>(*shown.ShownForm), *shown.Window);
  else if (name == "NewProfile") NewProfile(*shown.Window);
  else if (auto* admin = dynamic_cast<TUsersAdministration*>(shown.ShownForm)) Administration(*admin, *shown.Window);
  else if (auto* main = dynamic_cast<TEstoqueForm*>(shown.ShownForm)) MainWindow(*main, *shown.Window);
}

void TTour::Login(QWidget& window) {
  if (logins_.empty()) {
    Say("login sem credenciais previstas: cancelado");
    PressKey(window, Qt::Key_Escape);
    return;
  }
  auto [user, password] = logins_.front();
  logins_.pop_front();
  Say("login como " + user);
  TypeText(window, Q(user));
  PressKey(window, Qt::Key_Return);
  TypeText(window, Q(password));
  Save(window, "login-" + user);
  PressKey(window, Qt::Key_Return);
}

void TTour::ChangePassword(QWidget& window) {
  const auto [current, fresh] = password_change_;
  Say("troca de senha: primeiro com a senha atual errada");
  TypeText(window, "errada");
  PressKey(window, Qt::Key_Tab);  // "Senha inválida"; the focus stays
  for (int i = 0; i < 6; ++i) PressKey(window, Qt::Key_Backspace);
  TypeText(window, Q(current));
  PressKey(window, Qt::Key_Return);
  TypeText(window, Q(fresh));
  PressKey(window, Qt::Key_Return);
  TypeText(window, Q(fresh));
  PressKey(window, Qt::Key_Return);
  Save(window, "troca-de-senha");
  PressKey(window, Qt::Key_Return);
}

void TTour::Movement(QWidget& window) {
  TypeText(window, "Parafuso sextavado 3/8");
  PressKey(window, Qt::Key_Tab);
  TypeText(window, "120");
  Save(window, "entrada-de-mercadoria");
  PressKey(window, Qt::Key_Return);  // the default button, "Gravar"
}

// The administrator's errand: the users list, then the access-control page
// for "joao", where the item he was denied is granted and applied.
void TTour::Administration(TUsersAdministration& form, QWidget& window) {
  if (audit_errand_) {
    audit_errand_ = false;
    AuditErrand(form, window);
    return;
  }
  Save(window, "admin-users", false);
  form.PageControl->SelectPageByPerson(form.tsPrograms);
  for (int row = 1; row <= form.DBGridUsersProgs->RowCount(); ++row)
    if (form.DBGridUsersProgs->CellText(row, 0) == kJoao.Name) form.DBGridUsersProgs->SelectRowByPerson(row);
  const TTreeNodes& nodes = form.MenuItems->Items();
  for (int i = 1; i < nodes.Count(); ++i) {
    const auto* name = std::any_cast<std::string>(&nodes[i]->Data);
    if (name == nullptr || *name != kGrantedToJoao) continue;
    Say(std::string("acesso concedido a joao: ") + nodes[i]->Text());
    const TRect r = form.MenuItems->DisplayRect(nodes[i], true);
    form.MenuItems->MouseDownByPerson(mbLeft, {}, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }
  form.sbApply->ClickByPerson();
  Save(window, "admin-access", false);

  // A new user with a profile, whose password is then reset; every box
  // closing activates the window again, which shows the users list.
  form.PageControl->SelectPageByPerson(form.tsUsers);
  form.sbNewUser->ClickByPerson();
  form.sbChangeUserData->ClickByPerson();
  form.btnChangePassword->ClickByPerson();
  form.sbChangeUserData->ClickByPerson();
  Save(window, "admin-user-data", false);

  // A new profile, then the list of profiles.
  form.PageControl->SelectPageByPerson(form.tsProfiles);
  form.sbNewProfile->ClickByPerson();
  form.PageControl->SelectPageByPerson(form.tsProfiles);
  form.pcProfiles->SelectPageByPerson(form.tsProfilesList);
  Save(window, "admin-profiles", false);
  form.CloseByPerson();
}

// The audit page for "joao" over the current month: the rows of his
// audited commands, then Eliminar, whose question is answered "Sim".
void TTour::AuditErrand(TUsersAdministration& form, QWidget& window) {
  form.PageControl->SelectPageByPerson(form.tsAudit);
  for (const TLookupItem& item : form.dblkUserName->ListItems())
    if (item.Text == kJoao.Name) form.dblkUserName->ChooseByPerson(item.Key);
  Say("auditoria de joao no mês: " + std::to_string(form.DBGridAudUsers->RowCount()) + " linhas");
  Save(window, "admin-audit", false);
  const long long before = AuditRows();
  form.sbDeleteAuditUser->ClickByPerson();
  Say("linhas de auditoria eliminadas: " + std::to_string(before - AuditRows()));
  form.CloseByPerson();
}

void TTour::NewUser(TNewUser& dialog, QWidget& window) {
  Say(std::string("novo usuário ") + kNewUser + ", perfil " + kNewUserProfile);
  TypeText(window, Q(kNewUser));
  PressKey(window, Qt::Key_Return);  // the name is proposed as password
  TypeText(window, "Maria Oliveira");
  const Value profile = Users->qryProfiles.Lookup("PROF_DESCRIPTION", {Value(kNewUserProfile)}, "PROF_ID");
  dialog.DBLookupComboBox1->ChooseByPerson(profile);
  Save(window, "admin-new-user", false);
  dialog.OKBtn->ClickByPerson();
}

void TTour::NewProfile(QWidget& window) {
  Say(std::string("novo perfil ") + kNewProfile);
  TypeText(window, Q(kNewProfile));
  PressKey(window, Qt::Key_Return);
  PressKey(window, Qt::Key_Return);
  TypeText(window, "30");
  Save(window, "admin-new-profile", false);
  for (int i = 0; i < 3; ++i) PressKey(window, Qt::Key_Return);  // on to OK
  PressKey(window, Qt::Key_Return);                               // presses it
}

void TTour::OpenMenus(TEstoqueForm& form, QWidget& window, const std::string& who) {
  QMenuBar* bar = window.findChild<QMenuBar*>();
  if (bar == nullptr) return;
  for (QAction* action : bar->actions()) {
    QMenu* menu = action->menu();
    if (menu == nullptr || !action->isVisible()) continue;
    menu->popup(bar->mapToGlobal(bar->actionGeometry(action).bottomLeft()));
    Settle();
    std::string title = action->text().remove('&').toLower().toStdString();
    Save(*menu, "menu-" + who + "-" + title);
    menu->hide();
  }
  (void)form;
}

void TTour::Choose(TEstoqueForm& form, const char* item) {
  QAction* action = ui_.ActionOf(*form.Item(item));
  if (action == nullptr || !action->isEnabled() || !action->isVisible()) {
    Say(std::string("comando indisponível para este usuário: ") + item);
    return;
  }
  Say(std::string("comando ") + item);
  qt_person::Choose(*action);
}

void TTour::MainWindow(TEstoqueForm& form, QWidget& window) {
  Save(window, "principal-master");
  OpenMenus(form, window, "master");
  Choose(form, "mnuAjuSobre");
  Choose(form, "mnuSegUsuarios");  // grants joao "Posição do estoque"

  logins_.emplace_back(kJoao.Name, kJoao.Password);
  Choose(form, "mnuSegTrocarUsuario");
  Save(window, "principal-joao");
  OpenMenus(form, window, "joao");
  const long long before = AuditRows();
  Choose(form, "mnuArqImprimir");
  Choose(form, "mnuMovEntrada");
  Say("linhas de auditoria gravadas: " + std::to_string(AuditRows() - before));
  Choose(form, "mnuRelPosicao");  // granted in the administration window
  password_change_ = {kJoao.Password, "joao456"};
  Choose(form, "mnuSegSenha");

  // "master" looks at what joao did, and deletes it.
  logins_.emplace_back("master", master_password_);
  Choose(form, "mnuSegTrocarUsuario");
  audit_errand_ = true;
  Choose(form, "mnuSegUsuarios");

  logins_.emplace_back(kAna.Name, kAna.Password);
  Choose(form, "mnuSegTrocarUsuario");
  Save(window, "principal-ana");
  OpenMenus(form, window, "ana");
  Choose(form, "mnuRelPosicao");

  // The user created in the administration window, with the password given
  // there.
  logins_.emplace_back(kNewUser, kResetPassword);
  Choose(form, "mnuSegTrocarUsuario");
  Save(window, std::string("principal-") + kNewUser);
  Choose(form, "mnuArqSair");  // "Sim" ends the demo
}

}  // namespace qv::demo

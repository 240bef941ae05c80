// TQuarvel's life cycle: construction, start-up, the opening of the security
// tables, the guarded application key, destruction, and the process-wide
// state the component shares with its interceptor. Login, rights, audit and
// password change live in their own files.
#include "qvd3/component/quarvel.h"

#include <algorithm>
#include <initializer_list>

#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/component/date_format.h"
#include "qvd3/component/menu_walk.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/component/user.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/data/secured_client.h"
#include "qvd3/platform/sys/computer_name.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/sys/utf8.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/form.h"

namespace qv {

TMenuHandlerTable MenuHandlers;
std::string ComputerName;

namespace {

constexpr std::size_t kMaxAppKeyLength = 20;

// Shown when the host offers the administration window or the password
// change before anybody has logged in (AutoLogin off). The string table
// holds only the texts of the windows themselves, so this one lives here.
constexpr const char* kNobodyLoggedIn =
    "Nenhum usuário está conectado. Entre com seu usuário e senha antes de usar esta função.";

// Shown when a secured database no longer knows who is logged in on this
// connection (the connection was lost and opened again, e.g. the server
// restarted): the component then counts as nobody logged in.
constexpr const char* kIdentityLost =
    "A conexão com o banco de segurança foi reiniciada e perdeu a identificação do usuário. Nenhum "
    "usuário está conectado: entre novamente com seu usuário e senha.";

// The owner seen as a form; a missing owner is no form either.
TForm& OwnerForm(TComponent* owner) {
  if (!owner) throw EInvalidCast("Invalid class typecast");
  return As<TForm>(*owner);
}

}  // namespace

// ---- MenuHandlers ----------------------------------------------------------

TMenuHandler& TMenuHandlerTable::operator[](int index) {
  if (index < 1 || index > kSize)
    throw ERangeError(Format("Range check error: MenuHandlers index %d is outside 1..%d", {index, kSize}));
  return entries_[index - 1];
}

void TMenuHandlerTable::Clear() {
  for (TMenuHandler& entry : entries_) entry = TMenuHandler{};
}

// ---- Construction and destruction -----------------------------------------

// At run time the data module is created first and published in `Users`,
// then the owner is checked to be a form. When that check fails the module
// is taken back and freed before the error leaves, so a failed construction
// leaves neither a module nor a dangling `Users` behind.
TQuarvel::TQuarvel(TComponent* owner) : TComponent(owner) {
  if (!Designing()) {
    FDataModule = std::make_unique<TUsers>(nullptr);
    Users = FDataModule.get();
    qryUsers = &Users->qryUsers;
    qryProgs = &Users->qryProgs;
    qryProfiles = &Users->qryProfiles;
    qryUAccess = &Users->qryUAccess;
    qryPAccess = &Users->qryPAccess;
    qryHistory = &Users->qryHistory;
    qryAudit = &Users->qryAudit;
    qryUserInfo = &Users->qryUserInfo;
  }
  FAutoLogin = false;
  try {
    SetMenu(OwnerForm(owner).Menu());
  } catch (...) {
    if (Users == FDataModule.get()) Users = nullptr;
    throw;
  }
}

// Teardown never raises: an error while giving the menu back, freeing the
// module or the record is dropped so that the host's form can still be
// destroyed.
TQuarvel::~TQuarvel() {
  try {
    UnhookMenuItems();
    qryUsers = qryProgs = qryProfiles = qryUAccess = nullptr;
    qryPAccess = qryHistory = qryAudit = qryUserInfo = nullptr;
    if (FDataModule) {
      if (Users == FDataModule.get()) Users = nullptr;
      FDataModule.reset();
    }
    if (!Designing()) FUser.reset();
  } catch (...) {
  }
}

// ---- Properties ------------------------------------------------------------

// The menu is not owned; a free notification clears the reference when the
// host destroys the menu first, so the component never reaches a dead menu.
void TQuarvel::SetMenu(TMainMenu* value) {
  if (FMenu == value) return;
  if (FMenu) RemoveFreeNotification(FMenu);
  FMenu = value;
  if (FMenu) FreeNotification(FMenu);
}

void TQuarvel::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component != nullptr && component == FMenu) FMenu = nullptr;
}

// The key separates this application's rows from those of every other one
// sharing the database, so it may only be given while the form is designed
// or read; afterwards any assignment, even of the same key, is refused. The
// length counts characters.
void TQuarvel::SetAppKey(const std::string& value) {
  if (!Designing() && !Loading()) throw EQuarvelError("Appkey cannot be modified at runtime.");
  if (value == FAppKey) return;
  if (Utf8Length(value) > kMaxAppKeyLength) throw EQuarvelError("AppKey length can't be more than 20.");
  FAppKey = value;
}

// ---- Start-up --------------------------------------------------------------

// The order matters: the login (which applies the rights to the menu) runs
// before the click handlers are taken over, and the computer name is read
// last, at design time too. A computer name that cannot be read keeps the
// one known before (empty at first).
void TQuarvel::Loaded() {
  TComponent::Loaded();
  if (!Designing()) {
    if (!FMenu) throw EQuarvelError("Missing Menu property in " + Name());
    if (FAppKey.empty()) throw EQuarvelError("Missing AppKey property in " + Name());
    FUser = std::make_unique<TUser>();
    if (FAutoLogin) {
      if (!Login()) Application.Terminate();
    } else {
      OpenTables();
    }
  }
  if (!Designing()) HookMenuItems();
  std::string name = ReadComputerName();
  if (!name.empty()) ComputerName = name;
}

// Points the eight datasets at the alias and the application key and opens
// them (the rows of the tables that grow with the installation are read
// when first needed), and takes the date pattern the database records (none: the
// machine's), under which every later normalisation stores and reads dates.
// When the datasets are open already this changes nothing and reads
// nothing, which Login relies on. Any failure is reported as one EQuarvelError naming the alias
// and carrying the original message.
void TQuarvel::OpenTables() {
  try {
    if (!qryUsers) throw EQuarvelError("The security tables are not available at design time.");
    const std::initializer_list<TQuery*> all = {qryUsers,   qryProgs,   qryProfiles, qryUAccess,
                                                qryPAccess, qryHistory, qryAudit,    qryUserInfo};
    const bool opening = std::any_of(all.begin(), all.end(), [](TQuery* query) { return !query->Active(); });
    FDataModule->OpenTables(FDatabaseName, FAppKey);
    if (opening) {
      SetDatabaseDateFormat(ReadDatePattern(FDatabaseName).value_or(""));
      FSecured = IsSecuredClient(FDatabaseName);
    }
  } catch (const Exception& error) {
    throw EQuarvelError(Format(LoadStr(kStrOpenTablesFailed), {FDatabaseName}) + " - " + error.Message());
  }
}

// ---- Administration --------------------------------------------------------

// The administration window and the password change belong to a person who
// logged in. Before the first successful login (AutoLogin off) whoever is at
// the keyboard is told so and nothing opens or is written. True when refused.
bool TQuarvel::RefuseWhileNobodyLoggedIn() {
  if (FUser && FUser->LoggedIn()) return ServerForgotUser();
  MessageDlg(kNobodyLoggedIn, mtWarning, TMsgDlgButtons{mbOK});
  return true;
}

bool TQuarvel::ServerForgotUser() {
  if (!FSecured || !FUser || !FUser->LoggedIn()) return false;
  if (ServerSessionUserId(FDatabaseName) == FUser->UserID()) return false;
  IdentityLost();
  return true;
}

// Nobody's rights are none, so every item is disabled; what the host or
// the last login made visible stays so, the menu keeps its shape.
void TQuarvel::IdentityLost() {
  FUser->Reset();
  TRightsPlan plan;
  if (FMenu) WalkMenu(*FMenu, [&](TMenuItem& item, int /*level*/) { plan.push_back({&item, false, item.Visible()}); });
  ApplyRights(plan);
  MessageDlg(kIdentityLost, mtWarning, TMsgDlgButtons{mbOK});
}

// The window belongs to the component while it exists and is freed as soon
// as Call returns, also when the opening fails, so the short date pattern it
// normalised is back in force at once.
void TQuarvel::UsersAdm() {
  if (!qryUsers) throw EQuarvelError("The security tables are not available at design time.");
  if (RefuseWhileNobodyLoggedIn()) return;
  // The window and its dialogs work on `Users`: this component's module.
  Users = FDataModule.get();
  // On a secured database the datasets show what the connection's user may
  // see: read while nobody (or somebody else) was logged in they are empty
  // or stale, so the administrator's view is read now.
  if (FSecured)
    for (TQuery* query : {qryUsers, qryProgs, qryProfiles, qryUAccess, qryPAccess, qryHistory, qryAudit, qryUserInfo})
      query->Reopen();
  std::unique_ptr<TUsersAdministration> window(new TUsersAdministration(this));
  UsersAdministration = window.get();
  struct Release {
    ~Release() { UsersAdministration = nullptr; }
  } release;
  window->Call(FMenu, FAppKey);
}

}  // namespace qv

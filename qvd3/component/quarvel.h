// TQuarvel: the security component a host application places on its main
// form. Set DatabaseName (the alias of the security database), Menu (the
// form's main menu, taken from the owner form by default), AppKey (the
// application's key, at most 20 characters) and AutoLogin; the form's
// reading then runs Loaded, which logs the user in (or only opens the
// tables), and takes over every menu command that has a click handler so
// that the commands of audited users leave an audit row.
//
//   auto* security = new TQuarvel(&mainForm);   // inside ReadForm(mainForm, ...)
//   security->SetDatabaseName("security");
//   security->SetAppKey("STOCK");
//   security->SetAutoLogin(true);
//
// At design time (the owner form is designing) the component holds its
// properties and nothing else: no database, no login, no menu changes.
//
// A process may hold several components (an MDI host, two main windows of
// one program), each with its own data module, user and menu: a command
// runs the handler its own component took over and is audited under that
// component's user, whatever the other components do or whether they still
// exist. `Users` names the data module of the component whose
// administration window opened last (or that was created last).
//
// On a secured PostgreSQL database (the alias connects as its client role)
// the component finds that out when it first opens its tables and works
// through the server: the server checks passwords, binds the logged-in user
// to the connection and refuses what that user may not do. The host sees no
// difference; a connection that lost its binding (the server restarted)
// counts as nobody logged in.
//
// Every error the component itself raises is an EQuarvelError.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/component.h"
#include "qvd3/platform/ui/menus.h"

namespace qv {

class TQuery;
class TUser;
struct StoredAccount;
class TUsers;
class TForm;

class EQuarvelError : public Exception {
 public:
  using Exception::Exception;
};

class TQuarvel;

// One intercepted menu command: the item's component name, the click
// handler the host had given it, and the component that took it over.
struct TMenuHandler {
  std::string MenuName;
  TNotifyEvent OnClick;
  const TQuarvel* Owner = nullptr;
};

// The process-wide table of intercepted menu commands, indexed 1 to 1000,
// shared by every component of the process (two main forms, each with its
// own TQuarvel, fill entries of their own). Entries not yet filled have an
// empty name and no handler.
class TMenuHandlerTable {
 public:
  static constexpr int kSize = 1000;
  // Raises ERangeError for an index outside 1..kSize.
  TMenuHandler& operator[](int index);
  // Empties every entry.
  void Clear();

 private:
  TMenuHandler entries_[kSize];
};

extern TMenuHandlerTable MenuHandlers;

// True for the built-in administrator, the user named exactly "master".
bool IsBuiltInAdministrator(const std::string& userName);
// The computer's network name, read at start-up; recorded in audit rows.
extern std::string ComputerName;

class TQuarvel : public TComponent {
 public:
  // The owner must be a form (EInvalidCast otherwise, with nothing leaked).
  // At run time creates the data module `Users`; Menu becomes the owner
  // form's main menu.
  explicit TQuarvel(TComponent* owner);
  // Gives every menu item it took over its own click handler back, frees the
  // data module and the user record; never raises.
  ~TQuarvel() override;

  // Start-up, in this order: validates Menu and AppKey (EQuarvelError
  // "Missing Menu property in <Name>" / "Missing AppKey property in
  // <Name>"), creates the user record, logs in (AutoLogin; a failed login
  // asks the application to terminate) or opens the tables, hooks the menu
  // commands and reads the computer name.
  void Loaded() override;

  // ---- Published properties, in this order ----
  bool AutoLogin() const { return FAutoLogin; }
  void SetAutoLogin(bool value) { FAutoLogin = value; }
  const std::string& DatabaseName() const { return FDatabaseName; }
  void SetDatabaseName(const std::string& value) { FDatabaseName = value; }
  TMainMenu* Menu() const { return FMenu; }
  void SetMenu(TMainMenu* value);
  const std::string& AppKey() const { return FAppKey; }
  // Allowed only while designing or loading ("Appkey cannot be modified at
  // runtime."); at most 20 characters ("AppKey length can't be more than
  // 20.").
  void SetAppKey(const std::string& value);

  // ---- Public operations ----
  // Asks for a user name and password (up to three attempts), refuses
  // inactive and expired users, forces a password change the profile
  // demands, and applies the user's rights to the menu. True when a user is
  // logged in. Errors of the database propagate.
  bool Login();
  // Lets the logged-in user replace the own password, refusing passwords the
  // user has had before. The current password asked for is the one stored
  // now. While nobody is logged in it says so and does nothing. The new password, its date and the history row of
  // the replaced one are stored together or not at all; "Mudança de senha
  // efetuada" is shown only once they are committed, "Não foi possível
  // alterar senha" when nothing was stored.
  void ChangeUserPassword();
  // Opens the administration window modally (users, profiles, rights,
  // audit trail) and frees it when it closes. While nobody is logged in it
  // says so and opens nothing. Before the window shows, the
  // application's menu catalogue is brought in step with Menu. Errors of the
  // opening propagate, with no window shown.
  void UsersAdm();

  // The record of the logged-in user; nullptr before Loaded and at design
  // time. Empty (nobody) until a Login succeeds; a Login that fails leaves
  // it as it was.
  const TUser* User() const { return FUser.get(); }

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  // Shows why and returns true while nobody is logged in, a lost identity
  // included.
  bool RefuseWhileNobodyLoggedIn();
  // Secured mode: true when the server no longer binds the connection to
  // the user of the record (the connection was lost and opened again, e.g.
  // the server restarted); the record is then emptied as by IdentityLost.
  // One round trip; false without asking outside secured mode.
  bool ServerForgotUser();
  // The component counts as nobody logged in: the record is emptied, every
  // menu item disabled (nobody has rights) and the person told to log in
  // again.
  void IdentityLost();
  // Prepares and opens the eight datasets on DatabaseName and AppKey; any
  // error becomes EQuarvelError 40001 with the alias and the error's text.
  // The rights, history and audit rows are read only when first needed
  // (TUsers::OpenTables): neither start-up nor a login reads them.
  void OpenTables();

  // Login steps, on the record of the user logging in.
  void SwitchOffExpiredUser(int userId, const std::string& refusal);
  bool ForcePasswordChange(TUser& user);
  // The password change of `user`: the logged-in one, or the one logging in
  // when the profile forces a change.
  void ChangePassword(TUser& user);
  void ChangePasswordThroughServer(TUser& user);

  // Rights: what every menu item becomes for a user, decided before the
  // login changes anything, then applied.
  struct TItemDecision {
    TMenuItem* Item;
    bool Enabled;
    bool Visible;
  };
  using TRightsPlan = std::vector<TItemDecision>;
  // `knownRights` are the user's rights when already read (secured login);
  // without them they are read here.
  TRightsPlan PlanRights(const TUser& user, const StoredAccount& account,
                         const std::unordered_map<std::string, bool>* knownRights = nullptr);
  void ApplyRights(const TRightsPlan& plan);

  // Audit.
  void HookMenuItems();
  void UnhookMenuItems();
  void AuditedClick(TObject& sender);
  // The click handler installed in place of a host's command; its type
  // tells an intercepted item from one the host re-wired.
  struct AuditInterceptor {
    TQuarvel* Self;
    void operator()(TObject& sender) const { Self->AuditedClick(sender); }
  };
  void HookLateMenuItems();
  void Intercept(TMenuItem& item, int slot);
  struct TAuditRow {
    std::string DatabaseName;
    std::string AppKey;
    int UserID;
    int MenuID;
  };
  TAuditRow AuditRowFor(const std::string& menuName);
  static void WriteAuditRow(const TAuditRow& row, TDateTime start, TDateTime end);
  // WriteAuditRow for this instance's user; a row the server refuses
  // because the connection lost its identity ends in IdentityLost instead
  // of the error.
  void WriteOwnAuditRow(const TAuditRow& row, TDateTime start, TDateTime end);

  std::unique_ptr<TUser> FUser;
  // The data module this instance created and published in `Users`; kept
  // here so that destroying the instance frees its own module even when a
  // later instance has replaced the global.
  std::unique_ptr<TUsers> FDataModule;
  // Borrowed from the data module, in this order.
  TQuery* qryUsers = nullptr;
  TQuery* qryProgs = nullptr;
  TQuery* qryProfiles = nullptr;
  TQuery* qryUAccess = nullptr;
  TQuery* qryPAccess = nullptr;
  TQuery* qryHistory = nullptr;
  TQuery* qryAudit = nullptr;
  TQuery* qryUserInfo = nullptr;
  std::string FDatabaseName;
  // Learnt when the tables are first opened: the connection is a secured
  // client, so the login, the password change and the identity go through
  // the server (see qvd3/data/secured_client.h).
  bool FSecured = false;
  bool FAutoLogin = false;
  TMainMenu* FMenu = nullptr;
  std::string FAppKey;
  // The items this instance took over, with the MenuHandlers slot holding
  // each one's own handler. The pointers are only compared with items found
  // in the live menu, never followed.
  std::unordered_map<const TMenuItem*, int> FHookedSlots;
  // Expires when this instance is destroyed; a command that outlives its
  // component learns so through a weak reference.
  // True once start-up has taken the menu's commands over.
  bool FMenuHooked = false;
  std::shared_ptr<const bool> FAlive = std::make_shared<const bool>(true);
};

}  // namespace qv

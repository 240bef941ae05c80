// The scripted tour: with no display, the demo shows its windows on the
// offscreen platform and a script plays the person. It logs in as "master",
// opens every menu, grants "joao" a menu item in the administration window,
// creates the user "maria" and resets her password there, creates the
// profile "Vendas", switches to ordinary users (that item is now enabled for
// "joao"), runs an audited command, changes a password (first with a wrong
// current one), logs "maria" in, has "master" look at joao's audit trail and
// delete it, and saves a PNG of every window shown in a folder.
#pragma once

#include <deque>
#include <string>
#include <utility>

#include "qvd3/platform/ui/qt/qt_backend.h"

class QWidget;

namespace qv {
class TNewUser;
class TUsersAdministration;
}

namespace qv::demo {

class TEstoqueForm;

class TTour {
 public:
  // Takes over `ui`'s OnWindowShown. Pictures go to `folder` (created).
  TTour(TQtBackend& ui, const std::string& folder, const std::string& alias, const std::string& masterPassword);

  // The number of pictures saved so far.
  int Pictures() const { return pictures_; }

 private:
  void Shown(const TQtShownWindow& shown);
  void MainWindow(TEstoqueForm& form, QWidget& window);
  void Login(QWidget& window);
  void ChangePassword(QWidget& window);
  void Movement(QWidget& window);
  void Administration(TUsersAdministration& form, QWidget& window);
  void AuditErrand(TUsersAdministration& form, QWidget& window);
  void NewUser(TNewUser& dialog, QWidget& window);
  void NewProfile(QWidget& window);
  void OpenMenus(TEstoqueForm& form, QWidget& window, const std::string& who);
  void Choose(TEstoqueForm& form, const char* item);
  // Saves "NN-what.png", numbered in order; with `numbered` false,
  // "what.png".
  void Save(QWidget& window, const std::string& what, bool numbered = true);
  long long AuditRows() const;

  TQtBackend& ui_;
  std::string folder_;
  std::string alias_;
  std::string master_password_;
  // The next showing of the administration window is for the audit trail.
  bool audit_errand_ = false;
  std::deque<std::pair<std::string, std::string>> logins_;
  // What the next change-password window gets: the current and new password.
  std::pair<std::string, std::string> password_change_;
  int pictures_ = 0;
  int numbered_ = 0;  // the number of the latest numbered picture
};

}  // namespace qv::demo

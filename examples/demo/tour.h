// The scripted tour: with no display, the demo shows its windows on the
// offscreen platform and a script plays the person. It logs in as "master",
// opens every menu, switches to ordinary users, runs an audited command,
// changes a password (first with a wrong current one) and saves a PNG of
// every window shown in a folder.
#pragma once

#include <deque>
#include <string>
#include <utility>

#include "platform/ui/qt/qt_backend.h"

class QWidget;

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
  void OpenMenus(TEstoqueForm& form, QWidget& window, const std::string& who);
  void Choose(TEstoqueForm& form, const char* item);
  void Save(QWidget& window, const std::string& what);
  long long AuditRows() const;

  TQtBackend& ui_;
  std::string folder_;
  std::string alias_;
  std::deque<std::pair<std::string, std::string>> logins_;
  // What the next change-password window gets: the current and new password.
  std::pair<std::string, std::string> password_change_;
  int pictures_ = 0;
};

}  // namespace qv::demo

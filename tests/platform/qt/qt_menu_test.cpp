// The host's main menu as a Qt menu bar: after a login through the Qt login
// dialog the rights the component applied reach the QActions, and choosing
// an action runs the host's command through the component.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "qvd3/platform/ui/qt/qt_person.h"
#include "tests/platform/qt/qt_fixture.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

class QtMenuRights : public SecurityDbTest {
 protected:
  // A user allowed only mnuFileOpen and mnuFile among the catalogued items,
  // under a profile that hides (hide = 1) or disables (0) the others.
  void SeedUser(int hide) {
    const int prof = AddProfile("Estoquista", "0", std::nullopt, hide);
    const int maria = AddUser("maria", "segredo", prof);
    AddUserInfo("STOCK", maria);
    for (const char* name : kWalkedItems) {
      const int menuId = AddProg("STOCK", name, name);
      const bool allowed = std::string(name) == "mnuFileOpen" || std::string(name) == "mnuFile";
      SetUAccess("STOCK", maria, menuId, Value(allowed ? "1" : "0"));
    }
  }

  // Runs the host as the main form; once it is up, logs in as maria through
  // the Qt login dialog and runs `check` with the host's window.
  void RunHostLoggedIn(const std::function<void(TTestHostForm&, QWidget&)>& check) {
    TestHostSettings settings;
    settings.DatabaseName = Alias();
    host_ = ReadTestHost(settings);
    ui_.WhenShown("Login", [](QWidget& window, TForm&) {
      qt_person::TypeText(window, "maria");
      qt_person::PressKey(window, Qt::Key_Return);
      qt_person::TypeText(window, "segredo");
      qt_person::PressKey(window, Qt::Key_Return);
    });
    bool checked = false;
    ui_.WhenShown(host_->Name(), [&](QWidget& window, TForm&) {
      EXPECT_TRUE(host_->Quarvel1->Login());
      check(*host_, window);
      checked = true;
      host_->Close();
    });
    Application.Run(*host_);
    EXPECT_TRUE(checked) << "the host's window never came up";
  }

  QAction& ActionOf(const char* name) {
    TMenuItem* item = host_->Item(name);
    EXPECT_NE(item, nullptr) << name;
    QAction* action = ui_.Backend().ActionOf(*item);
    EXPECT_NE(action, nullptr) << name;
    return *action;
  }

  QtBackendFixture ui_;
  std::unique_ptr<TTestHostForm> host_;
};

TEST_P(QtMenuRights, DisabledItemsReachTheActionsAndAllowedCommandsRun) {
  SeedUser(0);
  RunHostLoggedIn([&](TTestHostForm& host, QWidget&) {
    EXPECT_TRUE(ActionOf("mnuFileOpen").isEnabled());
    EXPECT_TRUE(ActionOf("mnuFileOpen").isVisible());
    EXPECT_FALSE(ActionOf("mnuFilePrint").isEnabled());
    EXPECT_TRUE(ActionOf("mnuFilePrint").isVisible());
    EXPECT_FALSE(ActionOf("mnuHelp").isEnabled());
    // The captions keep their accelerators, the separator is a Qt separator.
    EXPECT_EQ(ActionOf("mnuFile").text(), "&Arquivo");
    EXPECT_TRUE(ActionOf("mnuFileSep1").isSeparator());
    ASSERT_NE(ActionOf("mnuFileExport").menu(), nullptr);

    qt_person::Choose(ActionOf("mnuFileOpen"));
    qt_person::Choose(ActionOf("mnuFilePrint"));  // disabled: Qt does not trigger it
    EXPECT_EQ(host.Calls, (std::vector<std::string>{"mnuFileOpen"}));
  });
}

TEST_P(QtMenuRights, HiddenItemsReachTheActionsAndMasterSeesEverything) {
  SeedUser(1);
  RunHostLoggedIn([&](TTestHostForm& host, QWidget& window) {
    EXPECT_FALSE(ActionOf("mnuFilePrint").isVisible());
    EXPECT_FALSE(ActionOf("mnuReports").isVisible());
    EXPECT_TRUE(ActionOf("mnuFileOpen").isVisible());

    // Switching user to master in the same window brings them back.
    ui_.WhenShown("Login", [](QWidget& login, TForm&) {
      qt_person::TypeText(login, "master");
      qt_person::PressKey(login, Qt::Key_Return);
      qt_person::TypeText(login, kMasterPassword);
      qt_person::PressKey(login, Qt::Key_Return);
    });
    ASSERT_TRUE(host.Quarvel1->Login());
    EXPECT_TRUE(ActionOf("mnuFilePrint").isVisible());
    EXPECT_TRUE(ActionOf("mnuFilePrint").isEnabled());
    EXPECT_TRUE(ActionOf("mnuReports").isVisible());
    EXPECT_EQ(window.isVisible(), true);
  });
}

QV_INSTANTIATE_ENGINES(QtMenuRights);

}  // namespace
}  // namespace qv::test

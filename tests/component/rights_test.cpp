// The menu state after a login: which items are enabled, disabled or hidden
// for the logged-in user, through the component on a real security database.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "qvd3/component/quarvel.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

constexpr int kHide = 1;
constexpr int kDisable = 2;

class RightsTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    host_.reset();
    SecurityDbTest::TearDown();
  }

  // The host is read on first use, so that it opens the tables on what the
  // test has seeded before.
  TTestHostForm& Host() {
    if (!host_) {
      TestHostSettings settings;
      settings.DatabaseName = Alias();
      host_ = ReadTestHost(settings);
    }
    return *host_;
  }
  TMenuItem& Item(const std::string& name) {
    TMenuItem* item = Host().Item(name);
    if (item == nullptr) throw std::runtime_error("no menu item " + name);
    return *item;
  }

  // A user of the application STOCK who may log in, in the given profile.
  int AddActiveUser(const std::string& name, int profileId) {
    const int id = AddUser(name, "segredo", profileId);
    AddUserInfo("STOCK", id);
    return id;
  }

  // Catalogues every walked item of the host menu and returns their keys.
  std::map<std::string, int> CatalogueMenu(const std::string& appKey = "STOCK") {
    std::map<std::string, int> ids;
    for (const char* name : kWalkedItems) ids[name] = AddProg(appKey, name, name);
    return ids;
  }

  // Gives `userId` a rights row for every catalogued item: "1" for the
  // names in `granted`, "0" for the rest.
  void SetRights(int userId, const std::map<std::string, int>& ids,
                 const std::vector<std::string>& granted) {
    for (const auto& [name, id] : ids) {
      const bool grant = std::find(granted.begin(), granted.end(), name) != granted.end();
      SetUAccess("STOCK", userId, id, grant ? "1" : "0");
    }
  }

  void LoginAs(const std::string& name, const std::string& password = "segredo") {
    ui_.WhenShown("Login").Type(name).Enter().Type(password).Enter();
    ASSERT_TRUE(Host().Quarvel1->Login()) << "login of " << name << " failed";
  }

  // "enabled", "disabled" (visible, greyed out) or "hidden".
  std::string StateOf(const std::string& name) {
    TMenuItem& item = Item(name);
    if (!item.Visible()) return item.Enabled() ? "hidden-but-enabled" : "hidden";
    return item.Enabled() ? "enabled" : "disabled";
  }

  THeadlessBackend ui_;
  std::unique_ptr<TTestHostForm> host_;
};

TEST_P(RightsTest, AHideProfileHidesDisallowedItemsAndEnablesAllowedOnes) {
  const int maria = AddActiveUser("maria", AddProfile("Vendas", "0", std::nullopt, kHide));
  const auto ids = CatalogueMenu();
  SetRights(maria, ids, {"mnuFileOpen", "mnuReports", "mnuExportXml"});

  LoginAs("maria");

  EXPECT_EQ(StateOf("mnuFileOpen"), "enabled");
  EXPECT_EQ(StateOf("mnuReports"), "enabled");
  EXPECT_EQ(StateOf("mnuFilePrint"), "hidden");
  EXPECT_EQ(StateOf("mnuHelpAbout"), "hidden");
  // A disallowed top-level item is hidden, and its sub-items are judged one
  // by one: an allowed item under a disallowed parent is still enabled.
  EXPECT_EQ(StateOf("mnuFile"), "hidden");
  EXPECT_EQ(StateOf("mnuFileExport"), "hidden");
  EXPECT_EQ(StateOf("mnuExportOther"), "hidden");
  EXPECT_EQ(StateOf("mnuExportXml"), "enabled");
}

TEST_P(RightsTest, DisableProfilesKeepDisallowedItemsVisibleAndGreyedOut) {
  const auto ids = CatalogueMenu();
  for (int setting : {kDisable, 0}) {
    const std::string name = "user" + std::to_string(setting);
    const int user = AddActiveUser(name, AddProfile("Perfil " + name, "0", std::nullopt, setting));
    SetRights(user, ids, {"mnuFile", "mnuHelpAbout"});
  }
  for (int setting : {kDisable, 0}) {
    SCOPED_TRACE("HIDE_DISABLE_MENU " + std::to_string(setting));
    LoginAs("user" + std::to_string(setting));

    EXPECT_EQ(StateOf("mnuFile"), "enabled");
    EXPECT_EQ(StateOf("mnuHelpAbout"), "enabled");
    EXPECT_EQ(StateOf("mnuFilePrint"), "disabled");
    EXPECT_EQ(StateOf("mnuHelp"), "disabled");
    EXPECT_EQ(StateOf("mnuDash"), "disabled");
  }
}

TEST_P(RightsTest, ItemsTheHostHadHiddenBecomeVisibleWhenAllowedAndUnderADisableProfile) {
  const int maria = AddActiveUser("maria", AddProfile("Vendas", "0", std::nullopt, kDisable));
  SetRights(maria, CatalogueMenu(), {"mnuHelpAbout"});
  Item("mnuHelpAbout").SetVisible(false);
  Item("mnuHelpAbout").SetEnabled(false);
  Item("mnuFilePrint").SetVisible(false);

  LoginAs("maria");

  EXPECT_EQ(StateOf("mnuHelpAbout"), "enabled");
  EXPECT_EQ(StateOf("mnuFilePrint"), "disabled");
}

TEST_P(RightsTest, AUserWhoseProfileDoesNotExistHasDisallowedItemsHidden) {
  const int maria = AddActiveUser("maria", 77);
  SetRights(maria, CatalogueMenu(), {"mnuReports"});

  LoginAs("maria");

  EXPECT_EQ(StateOf("mnuReports"), "enabled");
  EXPECT_EQ(StateOf("mnuFilePrint"), "hidden");
  EXPECT_EQ(StateOf("mnuHelp"), "hidden");
}

TEST_P(RightsTest, OnlyAnAuthorizedRightsRowOfTheUserInThisApplicationAllows) {
  const int profile = AddProfile("Vendas", "0", std::nullopt, kDisable);
  const int maria = AddActiveUser("maria", profile);
  const int joao = AddActiveUser("joao", profile);
  const int open = AddProg("STOCK", "mnuFileOpen", "Abrir");
  const int print = AddProg("STOCK", "mnuFilePrint", "Imprimir");
  const int exit = AddProg("STOCK", "mnuFileExit", "Sair");
  const int about = AddProg("STOCK", "mnuHelpAbout", "Sobre");
  const int xml = AddProg("STOCK", "mnuExportXml", "XML");
  AddProg("STOCK", "MNUREPORTS", "Relatórios");     // a name differing in case only
  const int other = AddProg("OTHER", "mnuHelp", "Ajuda");  // another application's row
  SetUAccess("STOCK", maria, open, "1");
  // mnuFilePrint: catalogued, but maria has no rights row.
  SetUAccess("STOCK", joao, print, "1");  // somebody else's right
  SetUAccess("STOCK", maria, exit, Value());
  SetUAccess("STOCK", maria, about, "S");
  SetUAccess("STOCK", maria, xml, "0");
  SetUAccess("OTHER", maria, other, "1");
  SetPAccess("STOCK", profile, print, "1");  // only the user's own rights count

  LoginAs("maria");

  EXPECT_EQ(StateOf("mnuFileOpen"), "enabled");
  EXPECT_EQ(StateOf("mnuFilePrint"), "disabled");
  EXPECT_EQ(StateOf("mnuFileExit"), "disabled");
  EXPECT_EQ(StateOf("mnuHelpAbout"), "disabled");
  EXPECT_EQ(StateOf("mnuExportXml"), "disabled");
  EXPECT_EQ(StateOf("mnuReports"), "disabled");  // not in the catalogue by its exact name
  EXPECT_EQ(StateOf("mnuHelp"), "disabled");     // catalogued for another application only
}

TEST_P(RightsTest, SeparatorsBelowTheTopLevelKeepTheirStateButATopLevelDashIsJudged) {
  const int maria = AddActiveUser("maria", AddProfile("Vendas", "0", std::nullopt, kHide));
  const auto ids = CatalogueMenu();
  AddProg("STOCK", "mnuFileSep1", "-");
  AddProg("STOCK", "mnuFileSepChild", "Escondido");
  SetRights(maria, ids, {"mnuFile", "mnuDashItem"});
  Item("mnuFileSep1").SetEnabled(false);           // the host's own state
  Item("mnuFileSepChild").SetVisible(false);

  LoginAs("maria");

  EXPECT_EQ(StateOf("mnuFileSep1"), "disabled");
  EXPECT_EQ(StateOf("mnuFileSepChild"), "hidden-but-enabled");
  EXPECT_EQ(StateOf("mnuDash"), "hidden");  // top-level "-", disallowed
  EXPECT_EQ(StateOf("mnuDashItem"), "enabled");
}

TEST_P(RightsTest, MasterSeesEveryItemWhateverTheRightsSay) {
  const auto ids = CatalogueMenu();
  SetRights(kMasterId, ids, {});  // every right "0"
  for (const char* name : kWalkedItems) {
    Item(name).SetEnabled(false);
    Item(name).SetVisible(false);
  }
  Item("mnuFileSep1").SetVisible(false);

  LoginAs("master", kMasterPassword);

  for (const char* name : kWalkedItems) EXPECT_EQ(StateOf(name), "enabled") << name;
  EXPECT_FALSE(Item("mnuFileSep1").Visible());  // separators are not the rights' business
}

TEST_P(RightsTest, ALaterLoginReplacesTheMenuStateOfThePreviousUser) {
  const int profile = AddProfile("Vendas", "0", std::nullopt, kHide);
  const int maria = AddActiveUser("maria", profile);
  const int joao = AddActiveUser("joao", profile);
  const auto ids = CatalogueMenu();
  SetRights(maria, ids, {"mnuReports"});
  SetRights(joao, ids, {"mnuHelp", "mnuHelpAbout"});

  LoginAs("master", kMasterPassword);
  LoginAs("maria");
  EXPECT_EQ(StateOf("mnuReports"), "enabled");
  EXPECT_EQ(StateOf("mnuHelpAbout"), "hidden");

  LoginAs("joao");
  EXPECT_EQ(StateOf("mnuReports"), "hidden");
  EXPECT_EQ(StateOf("mnuHelpAbout"), "enabled");
}

TEST_P(RightsTest, ARightsDatasetLeftFilteredToAnotherUserIsReadUnfilteredAndFilteredAgain) {
  const int profile = AddProfile("Vendas", "0", std::nullopt, kHide);
  const int maria = AddActiveUser("maria", profile);
  const int joao = AddActiveUser("joao", profile);
  const auto ids = CatalogueMenu();
  SetRights(maria, ids, {"mnuReports"});
  SetRights(joao, ids, {"mnuHelp"});
  LoginAs("joao");
  // As the access-control page may leave it: filtered to one user's rows.
  TQuery& rights = Users->qryUAccess;
  const std::string filter = "USER_ID=" + std::to_string(joao);
  rights.SetFilter(filter);
  rights.SetFiltered(true);

  LoginAs("maria");

  EXPECT_EQ(StateOf("mnuReports"), "enabled");
  EXPECT_EQ(StateOf("mnuHelp"), "hidden");
  EXPECT_TRUE(rights.Filtered());
  EXPECT_EQ(rights.Filter(), filter);
  // joao's rows only. The rows are read when the filter is first set, so a
  // secured database shows them too: joao was logged in then.
  EXPECT_EQ(rights.RecordCount(), static_cast<int>(ids.size()));
}

TEST_P(RightsTest, ApplyingTheRightsLeavesTheCatalogueCursorWhereItWas) {
  const int maria = AddActiveUser("maria", AddProfile("Vendas", "0", std::nullopt, kHide));
  SetRights(maria, CatalogueMenu(), {"mnuReports"});
  LoginAs("maria");
  TQuery& catalogue = Users->qryProgs;
  ASSERT_TRUE(catalogue.Locate("MENU_NAME", "mnuHelp"));
  const int recno = catalogue.RecNo();

  LoginAs("maria");

  EXPECT_EQ(catalogue.RecNo(), recno);
  EXPECT_EQ(catalogue.FieldByName("MENU_NAME").AsString(), "mnuHelp");
}

QV_INSTANTIATE_ENGINES_AND_SECURED(RightsTest);

}  // namespace
}  // namespace qv::test

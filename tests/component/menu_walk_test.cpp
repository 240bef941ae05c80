#include "qvd3/component/menu_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_host.h"

namespace qv {
namespace {

using Visit = std::pair<std::string, int>;

std::vector<Visit> Walk(const TMainMenu& menu) {
  std::vector<Visit> visits;
  WalkMenu(menu, [&](TMenuItem& item, int level) { visits.emplace_back(item.Name(), level); });
  return visits;
}

TMenuItem* AddItem(TComponent& owner, TMenuItem* parent, const std::string& name,
                   const std::string& caption) {
  auto* item = new TMenuItem(&owner);
  item->SetName(name);
  item->SetCaption(caption);
  parent->Add(item);
  return item;
}

TEST(MenuWalkTest, VisitsTopLevelItemsThenEachSubtreeDepthFirstSkippingSeparators) {
  test::TTestHostForm host;
  host.BuildMenu();
  const std::vector<Visit> expected = {
      {"mnuFile", 0},        {"mnuFileOpen", 1},  {"mnuFilePrint", 1}, {"mnuFileExport", 1},
      {"mnuExportText", 2},  {"mnuExportOther", 2}, {"mnuExportXml", 3}, {"mnuFileExit", 1},
      {"mnuReports", 0},     {"mnuDash", 0},      {"mnuDashItem", 1},  {"mnuHelp", 0},
      {"mnuHelpAbout", 1}};
  EXPECT_EQ(Walk(*host.mnuMain), expected);
}

TEST(MenuWalkTest, SeparatorsAreSkippedWithTheirSubtreeAtEveryLevelBelowTheTop) {
  TComponent owner(nullptr);
  auto* menu = new TMainMenu(&owner);
  TMenuItem* top = AddItem(owner, menu->Items(), "mnuTop", "Topo");
  TMenuItem* sub = AddItem(owner, top, "mnuSub", "Sub");
  TMenuItem* deepLine = AddItem(owner, sub, "mnuDeepLine", "-");
  AddItem(owner, deepLine, "mnuUnderDeepLine", "Nunca");
  AddItem(owner, sub, "mnuAfterLine", "Depois");
  // Only the exact caption "-" is a separator.
  AddItem(owner, top, "mnuDashWord", "- traço");
  AddItem(owner, top, "mnuDoubleDash", "--");

  const std::vector<Visit> expected = {{"mnuTop", 0},       {"mnuSub", 1},
                                       {"mnuAfterLine", 2}, {"mnuDashWord", 1},
                                       {"mnuDoubleDash", 1}};
  EXPECT_EQ(Walk(*menu), expected);
}

TEST(MenuWalkTest, AnEmptyMenuVisitsNothing) {
  TComponent owner(nullptr);
  auto* menu = new TMainMenu(&owner);
  EXPECT_TRUE(Walk(*menu).empty());
}

TEST(MenuWalkTest, TheVisitorMayChangeTheItemsItIsGiven) {
  test::TTestHostForm host;
  host.BuildMenu();
  host.mnuFile->SetEnabled(false);
  WalkMenu(*host.mnuMain, [](TMenuItem& item, int) { item.SetEnabled(item.Name() != "mnuHelp"); });
  EXPECT_TRUE(host.mnuFile->Enabled());
  EXPECT_FALSE(host.mnuHelp->Enabled());
  // The separator subtree was not walked and keeps its state.
  EXPECT_TRUE(host.mnuFileSep1->Enabled());
}

TEST(CleanMenuCaptionTest, RemovesEveryAmpersandAndDot) {
  EXPECT_EQ(CleanMenuCaption("&Relatórios..."), "Relatórios");
  EXPECT_EQ(CleanMenuCaption("E&xportar"), "Exportar");
  EXPECT_EQ(CleanMenuCaption("Ver.&2.0"), "Ver20");
  EXPECT_EQ(CleanMenuCaption("&&.."), "");
  EXPECT_EQ(CleanMenuCaption("Sem marca"), "Sem marca");
  EXPECT_EQ(CleanMenuCaption("-"), "-");
}

}  // namespace
}  // namespace qv

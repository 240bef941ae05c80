// The catalogue that follows the host menu and the access-control page:
// tree, loading, toggling, Apply, Restore and the profile buttons.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/ui/application.h"
#include "tests/admin/admin_fixture.h"

namespace qv::test {
namespace {

// Node indexes of the test host's menu in the access tree.
enum Node {
  kRoot, kArquivo, kAbrir, kImprimir, kExportar, kTexto, kOutros, kXml, kSair, kRelatorios, kDash, kDashItem,
  kAjuda, kSobre, kNodeCount
};

class AccessTest : public AdminTest {
 protected:
  // The node states of the tree, one digit per node in tree order.
  static std::string States(TUsersAdministration& w) {
    std::string states;
    const TTreeNodes& nodes = w.MenuItems->Items();
    for (int i = 0; i < nodes.Count(); ++i) {
      EXPECT_EQ(nodes[i]->ImageIndex(), nodes[i]->SelectedIndex());
      states += std::to_string(nodes[i]->ImageIndex());
    }
    return states;
  }
  // Clicks the middle of a node's label, as the administrator does.
  static void Click(TUsersAdministration& w, int node) {
    TRect r = w.MenuItems->DisplayRect(w.MenuItems->Items()[node], true);
    w.MenuItems->MouseDownByPerson(mbLeft, {}, (r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
  }
  // Opens the access-control page in users mode on the user in `row` of
  // its list.
  static void ShowUser(TUsersAdministration& w, int row) {
    w.PageControl->SelectPageByPerson(w.tsPrograms);
    w.DBGridUsersProgs->SelectRowByPerson(row);
  }
  static void ShowProfile(TUsersAdministration& w, int row) {
    w.PageControl->SelectPageByPerson(w.tsPrograms);
    w.pcPrograms->SelectPageByPerson(w.tsProfilesProgs);
    w.DBGridProfilesProgs->SelectRowByPerson(row);
  }
};

TEST_P(AccessTest, CataloguesTheMenuInOneWalkWithTheTree) {
  const int vendas = AddProfile("Vendas");
  const int maria = AddUser("maria", "x", vendas);
  const int joao = AddUser("joao", "x");
  const int reports = AddProg("STOCK", "mnuReports", "Relatorios velhos");
  SetUAccess("STOCK", maria, reports, "1");
  const int gone = AddProg("STOCK", "mnuGone", "Sumiu");
  SetUAccess("STOCK", maria, gone, "1");
  SetPAccess("STOCK", vendas, gone, "1");
  const int otherApp = AddProg("OTHER", "mnuGone", "Sumiu");
  SetUAccess("OTHER", maria, otherApp, "1");

  std::vector<std::string> tree;
  OpenAdminAnd([&](TForm& form) {
    const TTreeNodes& nodes = Window(form).MenuItems->Items();
    for (int i = 0; i < nodes.Count(); ++i)
      tree.push_back(std::to_string(nodes[i]->Level()) + ":" + nodes[i]->Text() +
                     (nodes[i]->Expanded() || !nodes[i]->HasChildren() ? "" : " (collapsed)"));
  });
  EXPECT_EQ(tree, (std::vector<std::string>{
                      "0:Controle de Acessos", "1:Arquivo", "2:Abrir", "2:Imprimir", "2:Exportar", "3:Texto",
                      "3:Outros", "4:XML", "2:Sair", "1:Relatórios", "1:-", "2:Item do traço", "1:Ajuda",
                      "2:Sobre"}));
  // Separators below the top level and what is under them stay out; a
  // changed caption is updated; the stale row is gone with its rights.
  EXPECT_EQ(Catalogue(), (std::vector<std::string>{
                             "mnuDash=-", "mnuDashItem=Item do traço", "mnuExportOther=Outros",
                             "mnuExportText=Texto", "mnuExportXml=XML", "mnuFile=Arquivo", "mnuFileExit=Sair",
                             "mnuFileExport=Exportar", "mnuFileOpen=Abrir", "mnuFilePrint=Imprimir",
                             "mnuHelp=Ajuda", "mnuHelpAbout=Sobre", "mnuReports=Relatórios"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE MENU_ID=:M", {{"M", gone}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE MENU_ID=:M", {{"M", gone}}), 0);
  EXPECT_EQ(Catalogue("OTHER"), (std::vector<std::string>{"mnuGone=Sumiu"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE APP_KEY='OTHER'"), 1);
  // New items are denied to every listed user and every profile; the item
  // that was there keeps its rights.
  EXPECT_EQ(URight(maria, "mnuFileOpen"), "0");
  EXPECT_EQ(URight(joao, "mnuExportXml"), "0");
  EXPECT_EQ(PRight(vendas, "mnuHelpAbout"), "0");
  EXPECT_EQ(URight(maria, "mnuReports"), "1");
  EXPECT_EQ(URight(joao, "mnuReports"), "none");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=:U", {{"U", kMasterId}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE APP_KEY='STOCK'"), 12 * 2 + 1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE APP_KEY='STOCK'"), 12);
}

TEST_P(AccessTest, ASynchronisationThatFailsHalfwayLeavesTheCatalogueAsItWas) {
  const int maria = AddUser("maria", "x");
  AddProg("STOCK", "mnuReports", "Relatorios velhos");
  const int gone = AddProg("STOCK", "mnuGone", "Sumiu");
  SetUAccess("STOCK", maria, gone, "1");
  const std::vector<std::string> before = Catalogue();
  Host();
  int inserts = 0;
  Db().SetStatementHook([&](std::string_view sql) {
    // The profiles' rows come last, after every new item and its users' rows.
    if (sql.find("INSERT INTO PACCESS") != std::string_view::npos && ++inserts == 1)
      throw EDatabaseError("disk full");
  });
  EXPECT_THROW(Host().Quarvel1->UsersAdm(), EDatabaseError);
  Db().SetStatementHook({});
  EXPECT_EQ(Catalogue(), before);
  EXPECT_EQ(URight(maria, "mnuGone"), "1");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS"), 1);
  EXPECT_EQ(Users->qryProgs.RecordCount(), 2);
  EXPECT_TRUE(ui_.Forms().empty());
}

// More new items than one statement stores (200 each) or denies (500
// each): every one of them,
// on either side of each batch boundary, gets its denied row for every
// listed user and every profile, and no other row.
TEST_P(AccessTest, EveryOneOfAThousandAndOneNewItemsIsDeniedToEverybody) {
  constexpr int kNewItems = 1001;
  const int vendas = AddProfile("Vendas");
  const int compras = AddProfile("Compras");
  const int ana = AddUser("ana", "x", vendas);
  const int bia = AddUser("bia", "x");
  extraBuild_ = [](TTestHostForm& host) {
    for (int i = 1; i <= kNewItems; ++i) {
      auto* item = new TMenuItem(&host);
      item->SetName("mnuBulk" + std::to_string(i));
      item->SetCaption("Item " + std::to_string(i));
      host.mnuHelp->Add(item);
    }
  };
  // The new catalogue rows go in a few statements, not one post each.
  int catalogueInserts = 0;
  Db().SetStatementHook([&](std::string_view sql) {
    if (sql.rfind("INSERT INTO PROGS", 0) == 0) ++catalogueInserts;
  });
  OpenAdminAnd([](TForm&) {});
  Db().SetStatementHook({});
  EXPECT_GE(catalogueInserts, 1);
  EXPECT_LE(catalogueInserts, 6);
  const std::string bulk = "SELECT MENU_ID FROM PROGS WHERE APP_KEY='STOCK' AND MENU_NAME LIKE 'mnuBulk%'";
  ASSERT_EQ(Count("SELECT COUNT(*) FROM (" + bulk + ") B"), kNewItems);
  for (const int user : {ana, bia}) {
    EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE APP_KEY='STOCK' AND USER_ID=:U AND AUTHORIZED='0' "
                    "AND MENU_ID IN (" + bulk + ")", {{"U", user}}),
              kNewItems);
  }
  for (const int profile : {vendas, compras}) {
    EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE APP_KEY='STOCK' AND PROF_ID=:P AND AUTHORIZED='0' "
                    "AND MENU_ID IN (" + bulk + ")", {{"P", profile}}),
              kNewItems);
  }
  // One row per subject and item: none twice, none for "master".
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE MENU_ID IN (" + bulk + ")"), 2 * kNewItems);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PACCESS WHERE MENU_ID IN (" + bulk + ")"), 2 * kNewItems);
  EXPECT_EQ(URight(ana, "mnuBulk500"), "0");
  EXPECT_EQ(URight(bia, "mnuBulk501"), "0");
  EXPECT_EQ(PRight(compras, "mnuBulk1001"), "0");
}

TEST_P(AccessTest, AnItemWithoutANameIsLeftOutAndItsSubItemsMoveUp) {
  extraBuild_ = [](TTestHostForm& host) {
    auto* nameless = new TMenuItem(&host);
    nameless->SetCaption("Sem nome");
    host.mnuHelp->Add(nameless);
    auto* child = new TMenuItem(&host);
    child->SetName("mnuNamelessChild");
    child->SetCaption("&Filho...");
    nameless->Add(child);
  };
  std::vector<std::string> help;
  OpenAdminAnd([&](TForm& form) {
    TTreeNode* ajuda = Window(form).MenuItems->Items()[kAjuda];
    for (int i = 0; i < ajuda->Count(); ++i) help.push_back(ajuda->Item(i)->Text());
  });
  EXPECT_EQ(help, (std::vector<std::string>{"Sobre", "Filho"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS WHERE MENU_NAME=''"), 0);
  EXPECT_EQ(Scalar("SELECT MENU_CAPTION FROM PROGS WHERE MENU_NAME='mnuNamelessChild'"), "Filho");
}

TEST_P(AccessTest, LoadsAUserAndInsertsAMissingRightAsDenied) {
  const int joao = AddUser("joao", "x");
  const int maria = AddUser("maria", "x");
  const int reports = AddProg("STOCK", "mnuReports", "Relatórios");
  SetUAccess("STOCK", maria, reports, "1");
  TUsers* dm = nullptr;
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    dm = Users;
    ShowUser(w, 1);
    EXPECT_EQ(w.PanelAboveProgs->Caption(), " Acessos para o usuário joao");
    EXPECT_EQ(States(w), "02222222222222");
    EXPECT_EQ(w.sbApply->Hint(), "Aplica as mudanças de permissão de acesso para o usuário");
    ShowUser(w, 2);
    EXPECT_EQ(w.PanelAboveProgs->Caption(), " Acessos para o usuário maria");
    EXPECT_EQ(States(w)[kRelatorios], '1');
    EXPECT_FALSE(dm->qryUAccess.Filtered());
    // The users page finds the selected user's state row current.
    EXPECT_EQ(dm->qryUserInfo.FieldByName("USER_ID").AsInteger(), maria);
  });
  EXPECT_EQ(URight(joao, "mnuReports"), "0");
  EXPECT_EQ(URight(maria, "mnuReports"), "1");
}

TEST_P(AccessTest, TogglingFollowsTheTreeRules) {
  AddUser("joao", "x");
  AddUser("maria", "x");
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    ShowUser(w, 1);
    ASSERT_EQ(States(w), "02222222222222");
    Click(w, kTexto);  // granting a nested node grants its ancestors
    EXPECT_EQ(States(w), "01221122222222");
    Click(w, kExportar);  // denying a node denies its subtree and, last, its parent
    EXPECT_EQ(States(w), "02222222222222");
    Click(w, kOutros);  // granting leaves the children as they are
    EXPECT_EQ(States(w), "01221212222222");
    Click(w, kAbrir);
    Click(w, kAbrir);  // a sibling still granted keeps the parent granted
    EXPECT_EQ(States(w), "01221212222222");
    Click(w, kRoot);
    TRect r = w.MenuItems->DisplayRect(w.MenuItems->Items()[kSobre], true);
    w.MenuItems->MouseDownByPerson(mbLeft, {}, r.Right + 40, (r.Top + r.Bottom) / 2);
    EXPECT_EQ(States(w), "01221212222222");
    // Another user discards the toggles; nothing was written.
    ShowUser(w, 2);
    EXPECT_EQ(States(w), "02222222222222");
  });
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE AUTHORIZED='1'"), 0);
}

TEST_P(AccessTest, ApplyStoresTheStatesAndRestoreShowsExactlyThem) {
  const int joao = AddUser("joao", "x");
  const int maria = AddUser("maria", "x");
  TUsers* dm = nullptr;
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    dm = Users;
    ShowUser(w, 2);
    Click(w, kTexto);
    Click(w, kRelatorios);
    w.sbApply->Click();
    EXPECT_FALSE(dm->qryUAccess.Filtered());
    Click(w, kAjuda);  // not applied
    w.sbRestore->Click();
    EXPECT_EQ(States(w), "01221122212222");
  });
  EXPECT_EQ(URight(maria, "mnuExportText"), "1");
  EXPECT_EQ(URight(maria, "mnuFileExport"), "1");
  EXPECT_EQ(URight(maria, "mnuFile"), "1");
  EXPECT_EQ(URight(maria, "mnuReports"), "1");
  EXPECT_EQ(URight(maria, "mnuHelp"), "0");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=:U AND AUTHORIZED='1'", {{"U", joao}}), 0);
  EXPECT_NE(std::find(ui_.Cursors().begin(), ui_.Cursors().end(), crHourGlass), ui_.Cursors().end());
  EXPECT_EQ(ui_.Cursors().back(), crDefault);
}

TEST_P(AccessTest, AnApplyThatFailsChangesNoRight) {
  AddUser("joao", "x");
  const int maria = AddUser("maria", "x");
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    ShowUser(w, 2);
    Click(w, kAbrir);
    Click(w, kRelatorios);
    Click(w, kSobre);
    int updates = 0;
    Db().SetStatementHook([&](std::string_view sql) {
      if (sql.find("UPDATE") != std::string_view::npos || sql.find("update") != std::string_view::npos)
        if (++updates == 2) throw EDatabaseError("lock timeout");
    });
    struct Unhook {
      TDatabase& db;
      ~Unhook() { db.SetStatementHook({}); }
    } unhook{Db()};
    try {
      w.sbApply->ClickByPerson();
    } catch (const EDatabaseError& error) {
      Application.HandleException(error);
    }
    EXPECT_EQ(updates, 2);  // the granted items were written, the denied ones refused
  });
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].Text, "lock timeout");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=:U AND AUTHORIZED='1'", {{"U", maria}}), 0);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE USER_ID=:U", {{"U", maria}}), 13);
}

TEST_P(AccessTest, UpdatingTheUsersOfAProfileTouchesOnlyThem) {
  const int vendas = AddProfile("Vendas");
  const int compras = AddProfile("Compras");
  const int maria = AddUser("maria", "x", vendas);
  const int joao = AddUser("joao", "x", compras);
  const int ana = AddUser("ana", "x", vendas);
  std::string before, after;
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    ShowProfile(w, 2);  // Vendas
    EXPECT_EQ(w.PanelAboveProgs->Caption(), " Acessos para o perfil Vendas");
    EXPECT_EQ(w.sbRestoreProfile->Caption(), "Atualizar Usuários");
    Click(w, kAbrir);
    w.sbApply->Click();
    Click(w, kSobre);  // not applied: the update works from the stored rights
    before = States(w);
    w.sbRestoreProfile->Click();
    after = States(w);
    EXPECT_EQ(Users->qryUsers.Filter(), "[USERQV_NAME]<>'master'");
  });
  EXPECT_EQ(before, after);
  EXPECT_EQ(PRight(vendas, "mnuFileOpen"), "1");
  EXPECT_EQ(PRight(vendas, "mnuHelpAbout"), "0");
  for (int id : {maria, ana}) {
    EXPECT_EQ(URight(id, "mnuFileOpen"), "1");
    EXPECT_EQ(URight(id, "mnuFile"), "1");
    EXPECT_EQ(URight(id, "mnuHelpAbout"), "0");
  }
  EXPECT_EQ(URight(joao, "mnuFileOpen"), "0");
}

TEST_P(AccessTest, RestoringFromAProfileWithoutARightLeavesItNullAndRed) {
  const int vendas = AddProfile("Vendas");
  const int maria = AddUser("maria", "x", vendas);
  const int reports = AddProg("STOCK", "mnuReports", "Relatórios");
  SetUAccess("STOCK", maria, reports, "1");
  OpenAdminAnd([&](TForm& form) {
    TUsersAdministration& w = Window(form);
    ShowUser(w, 1);
    ASSERT_EQ(States(w)[kRelatorios], '1');
    w.sbRestoreProfile->Click();
    EXPECT_EQ(States(w)[kRelatorios], '2');
  });
  // Vendas has no rights row for the item: the copy leaves it null.
  EXPECT_EQ(URight(maria, "mnuReports"), "null");
  EXPECT_EQ(URight(maria, "mnuFileOpen"), "0");
}

QV_INSTANTIATE_ENGINES_AND_SECURED(AccessTest);

}  // namespace
}  // namespace qv::test

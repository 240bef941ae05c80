// Page controls (code vs person switching, focus across pages, container
// focus events) and the tree view (structure, expansion, hit tests).
#include <gtest/gtest.h>

#include "qvd3/platform/ui/headless/headless.h"
#include "qvd3/platform/ui/pages.h"
#include "qvd3/platform/ui/standard_controls.h"
#include "qvd3/platform/ui/tree_view.h"

namespace qv {
namespace {

class PagedForm : public TForm {
 public:
  TPageControl* Pages;
  TTabSheet* List;
  TTabSheet* Data;
  TEdit* Name;
  TEdit* Other;
  std::vector<std::string> Log;

  PagedForm() : TForm(nullptr) {
    SetName("Paged");
    Other = new TEdit(this);
    Other->SetName("Other");
    Other->SetParent(this);
    Pages = new TPageControl(this);
    Pages->SetName("pcUsers");
    Pages->SetParent(this);
    List = Sheet("tsUsersList", "&Lista");
    Data = Sheet("tsUsersData", "&Dados");
    Name = new TEdit(this);
    Name->SetName("DBEdit1");
    Name->SetParent(Data);
    Pages->OnChange = [this](TObject&) { Log.push_back("change"); };
    Data->OnEnter = [this](TObject&) { Log.push_back("enter data"); };
    Data->OnExit = [this](TObject&) { Log.push_back("exit data"); };
    Name->OnExit = [this](TObject&) { Log.push_back("exit name"); };
  }

 private:
  TTabSheet* Sheet(const char* name, const char* caption) {
    auto* sheet = new TTabSheet(this);
    sheet->SetName(name);
    sheet->SetCaption(caption);
    sheet->SetPageControl(Pages);
    return sheet;
  }
};

TEST(PageControl, CodeSwitchesSilentlyThePersonRaisesOnChange) {
  PagedForm form;
  EXPECT_EQ(form.Pages->ActivePage(), form.List);
  form.Pages->SetActivePage(form.Data);
  EXPECT_TRUE(form.Log.empty());
  EXPECT_EQ(form.Pages->ActivePageIndex(), 1);
  EXPECT_FALSE(form.List->Visible());

  THeadlessBackend ui;
  ui.WhenShown("Paged").SelectPage("tsUsersList").Escape().CloseBox();
  form.ShowModal();
  EXPECT_EQ(form.Pages->ActivePage(), form.List);
  EXPECT_EQ(form.Log, (std::vector<std::string>{"change"}));
}

TEST(PageControl, OnChangingCanKeepThePage) {
  PagedForm form;
  form.Pages->OnChanging = [](TObject&, bool& allow) { allow = false; };
  THeadlessBackend ui;
  ui.WhenShown("Paged").SelectPage("tsUsersData").CloseBox();
  form.ShowModal();
  EXPECT_EQ(form.Pages->ActivePage(), form.List);
  EXPECT_TRUE(form.Log.empty());
}

TEST(PageControl, ControlsOnAHiddenPageCannotTakeTheFocus) {
  PagedForm form;
  EXPECT_FALSE(form.Name->CanFocus());
  EXPECT_THROW(form.Name->SetFocus(), EInvalidOperation);
  form.Pages->SetActivePage(form.Data);
  EXPECT_TRUE(form.Name->CanFocus());
}

TEST(PageControl, FocusMovingInAndOutOfAPageRunsThePagesEvents) {
  PagedForm form;
  form.Pages->SetActivePage(form.Data);
  THeadlessBackend ui;
  ui.WhenShown("Paged")
      .Click("DBEdit1")
      .Click("Other")
      .Click("DBEdit1")
      .Run([&](TForm&) { form.Pages->SetActivePage(form.List); })
      .Run([&](TForm& f) { EXPECT_EQ(f.ActiveControl(), form.Pages); })
      .CloseBox();
  form.ShowModal();
  EXPECT_EQ(form.Log, (std::vector<std::string>{"enter data", "exit name", "exit data", "enter data", "exit name",
                                                "exit data"}));
}

TEST(PageControl, AltLetterOfATabChoosesThatPage) {
  PagedForm form;
  THeadlessBackend ui;
  ui.WhenShown("Paged").Alt('d').CloseBox();
  form.ShowModal();
  EXPECT_EQ(form.Pages->ActivePage(), form.Data);
  EXPECT_EQ(form.Log.front(), "change");
}

TEST(PageControl, SheetsFillTheAreaBelowTheTabStripNestedToo) {
  PagedForm form;
  form.Pages->SetBounds(0, 0, 300, 200);
  const int frame = TPageControl::kPageFrame, tabs = form.Pages->TabHeight();
  EXPECT_EQ(form.List->Top(), tabs + frame);
  EXPECT_EQ(form.List->Left(), frame);
  EXPECT_EQ(form.List->Height(), 200 - tabs - 2 * frame);
  form.Pages->SetActivePage(form.Data);
  EXPECT_EQ(form.Data->Height(), 200 - tabs - 2 * frame);
  auto* inner = new TPageControl(&form);
  inner->SetParent(form.Data);
  inner->SetAlign(alClient);
  auto* sheet = new TTabSheet(&form);
  sheet->SetPageControl(inner);
  EXPECT_EQ(sheet->Top(), tabs + frame);
  EXPECT_EQ(sheet->Height(), form.Data->Height() - tabs - 2 * frame);
  form.Pages->SetTabHeight(30);
  EXPECT_EQ(form.Data->Top(), 30 + frame);
  EXPECT_EQ(sheet->Height(), form.Data->Height() - tabs - 2 * frame);
}

struct TreeFixture : ::testing::Test {
  TForm form{nullptr};
  TTreeView* tree = new TTreeView(&form);
  TTreeNode* root = nullptr;
  TTreeNode* file = nullptr;
  TTreeNode* open = nullptr;
  TTreeNode* edit = nullptr;
  void SetUp() override {
    tree->SetParent(&form);
    tree->SetBounds(0, 0, 300, 400);
    root = tree->Items().AddChild(nullptr, "Controle de Acessos");
    file = tree->Items().AddChildObject(root, "Arquivo", std::string("mnuFile"));
    open = tree->Items().AddChildObject(file, "Abrir", std::string("mnuOpen"));
    edit = tree->Items().AddChildObject(root, "Editar", std::string("mnuEdit"));
  }
};

// Records what the tree tells its backend.
struct TreePeer : TComponentPeer {
  std::vector<std::pair<TChange, TTreeNode*>> seen;
  void Changed(TComponent& component, TChange what) override {
    seen.emplace_back(what, static_cast<TTreeView&>(component).ChangedNode());
  }
};

TEST_F(TreeFixture, AChangedNodeIsReportedAloneAddedNodesRedrawTheTree) {
  TreePeer peer;
  tree->SetPeer(&peer);
  open->SetImageIndex(2);
  open->SetImageIndex(2);  // no change, no report
  edit->SetText("Editar tudo");
  tree->Items().AddChild(edit, "Copiar");
  tree->SetPeer(nullptr);
  ASSERT_EQ(peer.seen.size(), 3u);
  EXPECT_EQ(peer.seen[0], std::make_pair(chNode, open));
  EXPECT_EQ(peer.seen[1], std::make_pair(chNode, edit));
  EXPECT_EQ(peer.seen[2].first, chNodes);
  EXPECT_EQ(tree->ChangedNode(), nullptr);
}

TEST_F(TreeFixture, NodesAreCountedAndIndexedInTreeOrder) {
  ASSERT_EQ(tree->Items().Count(), 4);
  EXPECT_EQ(tree->Items()[2], open);
  EXPECT_EQ(edit->AbsoluteIndex(), 3);
  EXPECT_EQ(open->Level(), 2);
  EXPECT_EQ(std::any_cast<std::string>(open->Data), "mnuOpen");
  EXPECT_EQ(open->GetNext(), edit);
  EXPECT_EQ(edit->GetNext(), nullptr);
  EXPECT_THROW(tree->Items()[4], ERangeError);
}

TEST_F(TreeFixture, HitTestsFollowTheVisibleRows) {
  // Collapsed: only the root has a row.
  EXPECT_EQ(tree->GetNodeAt(50, 5), root);
  EXPECT_EQ(tree->GetNodeAt(50, 20), nullptr);
  tree->FullExpand();
  const int h = tree->RowHeight();
  EXPECT_EQ(tree->GetNodeAt(0, 2 * h + 1), open);
  file->Collapse(false);
  EXPECT_EQ(tree->GetNodeAt(0, 2 * h + 1), edit);
  // Level-1 row "Editar": indentation, then the label.
  TRect label = tree->DisplayRect(edit, true);
  EXPECT_TRUE(tree->GetHitTestInfoAt(label.Left + 2, label.Top + 1).Contains(htOnLabel));
  EXPECT_TRUE(tree->GetHitTestInfoAt(label.Left - 1, label.Top + 1).Contains(htOnIndent));
  EXPECT_TRUE(tree->GetHitTestInfoAt(label.Right + 5, label.Top + 1).Contains(htOnRight));
  EXPECT_TRUE(tree->GetHitTestInfoAt(label.Left, 10 * h).Contains(htNowhere));
  EXPECT_EQ(tree->DisplayRect(open, true).Right, 0);  // hidden under its collapsed parent
}

TEST_F(TreeFixture, IconsSitBetweenIndentAndLabel) {
  auto* images = new TImageList(&form);
  images->AddSolid(0xFF00FF00);
  tree->SetImages(images);
  tree->FullExpand();
  TRect label = tree->DisplayRect(file, true);
  EXPECT_TRUE(tree->GetHitTestInfoAt(label.Left - 3, label.Top + 1).Contains(htOnIcon));
  delete images;
  EXPECT_EQ(tree->Images(), nullptr);
}

TEST_F(TreeFixture, PressingALabelSelectsItsNodeThenRunsOnMouseDown) {
  tree->FullExpand();
  TTreeNode* selectedAtPress = nullptr;
  tree->OnMouseDown = [&](TObject&, TMouseButton, TShiftState, int x, int y) {
    selectedAtPress = tree->Selected();
    EXPECT_EQ(tree->GetNodeAt(x, y), open);
  };
  form.SetName("TreeForm");
  THeadlessBackend ui;
  tree->SetName("MenuItems");
  ui.WhenShown("TreeForm").ClickNode("MenuItems", 2).CloseBox();
  form.ShowModal();
  EXPECT_EQ(selectedAtPress, open);
}

TEST_F(TreeFixture, DeletingASubtreeClearsASelectionInsideIt) {
  tree->SetSelected(open);
  file->Delete();
  EXPECT_EQ(tree->Selected(), nullptr);
  EXPECT_EQ(tree->Items().Count(), 2);
  tree->Items().Clear();
  EXPECT_EQ(tree->Items().Count(), 0);
}

}  // namespace
}  // namespace qv

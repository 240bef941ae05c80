// Every control kind of the window model shown as real Qt widgets and used
// with synthetic mouse presses and keys: what the model sees must be what
// the headless backend would report for the same actions. With
// QV_QT_SHOTS set to a folder, each test leaves a picture of its window.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdlib>

#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/date_picker.h"
#include "qvd3/platform/ui/pages.h"
#include "qvd3/platform/ui/qt/qt_data_widgets.h"
#include "qvd3/platform/ui/qt/qt_grid.h"
#include "qvd3/platform/ui/qt/qt_person.h"
#include "qvd3/platform/ui/qt/qt_tree.h"
#include "qvd3/platform/ui/standard_controls.h"
#include "qvd3/platform/ui/tree_view.h"
#include "tests/platform/qt/qt_fixture.h"
#include "tests/support/db/engine_fixture.h"

namespace qv::test {
namespace {

using qt_person::Click;
using qt_person::PressKey;
using qt_person::TypeText;

// A square of `fill` in a grey outline, transparent where `fill` is 0.
TBitmap Square(std::uint32_t fill) {
  TBitmap image{16, 16, std::vector<std::uint32_t>(256, 0)};
  for (int y = 2; y < 14; ++y)
    for (int x = 2; x < 14; ++x) {
      const bool edge = x == 2 || x == 13 || y == 2 || y == 13;
      image.Pixels[static_cast<std::size_t>(y * 16 + x)] = edge ? 0xFF808080u : fill;
    }
  return image;
}

// A form holding one control of every kind, bound to a users table.
class ControlsForm : public TForm {
 public:
  TPageControl* Pages;
  TTabSheet* DataSheet;
  TTabSheet* ListSheet;
  TPageControl* Inner;
  TTabSheet* InnerSheet;
  TLabel* Label;
  TDBEdit* Edit;
  TDBCheckBox* Check;
  TDBRadioGroup* Radio;
  TDBLookupComboBox* Lookup;
  TDateTimePicker* Picker;
  TDBNavigator* Navigator;
  TSpeedButton* Tool;
  TDBGrid* Grid;
  TTreeView* Tree;
  TImageList* Images;
  TButton* Close;
  std::vector<std::string> Log;

  ControlsForm(TDataSource& users, TDataSource& profiles) : TForm(nullptr) {
    SetName("Controls");
    SetCaption("Controles");
    SetClientWidth(630);
    SetClientHeight(400);
    SetShowHint(true);
    TFont font = Font();
    font.Name = "Arial";
    font.Height = -11;
    SetFont(font);
    Pages = Make<TPageControl>(this, "PageControl", 0, 0, 400, 360);
    DataSheet = Sheet(Pages, "tsData", "Dados");
    ListSheet = Sheet(Pages, "tsList", "Lista");
    Label = Make<TLabel>(DataSheet, "lblName", 8, 4, 60, 13);
    Label->SetCaption("Nome &antiga");
    Edit = Make<TDBEdit>(DataSheet, "DBEdit1", 8, 20, 120, 21);
    Edit->SetDataSource(&users);
    Edit->SetDataField("USERQV_NAME");
    Label->SetFocusControl(Edit);
    Check = Make<TDBCheckBox>(DataSheet, "cbxAUDIT_MODE", 8, 50, 140, 17);
    Check->SetCaption("Modo de Auditoria");
    Check->SetDataSource(&users);
    Check->SetDataField("AUDIT_MODE");
    Radio = Make<TDBRadioGroup>(DataSheet, "rgpHIDE", 8, 72, 265, 50);
    Radio->SetCaption("Item não autorizado");
    Radio->SetColumns(2);
    Radio->Items().Add("Invisível");
    Radio->Items().Add("Desabilitado");
    Radio->Values().Add("1");
    Radio->Values().Add("2");
    Radio->SetDataSource(&users);
    Radio->SetDataField("HIDE_MENU");
    Lookup = Make<TDBLookupComboBox>(DataSheet, "DBLookupComboBox1", 8, 130, 200, 21);
    Lookup->SetListSource(&profiles);
    Lookup->SetKeyField("PROF_ID");
    Lookup->SetListField("PROF_DESCRIPTION");
    Lookup->SetDataSource(&users);
    Lookup->SetDataField("PROFILE");
    Picker = Make<TDateTimePicker>(DataSheet, "dtpkInicioU", 8, 160, 100, 21);
    Picker->OnChange = [this](TObject&) { Log.push_back("date " + DateToStr(Picker->Date())); };
    Navigator = Make<TDBNavigator>(DataSheet, "DBNavigator1", 8, 190, 200, 25);
    Navigator->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbDelete});
    Navigator->SetDataSource(&users);
    Tool = Make<TSpeedButton>(DataSheet, "sbApply", 8, 222, 110, 20);
    Tool->SetCaption("Aplicar");
    Tool->SetHint("Aplica as mudanças");
    Tool->OnClick = [this](TObject&) { Log.push_back("apply"); };
    Inner = Make<TPageControl>(ListSheet, "pcUsers", 0, 0, 0, 0);
    Inner->SetAlign(alClient);
    InnerSheet = Sheet(Inner, "tsUsersList", "Lista de Usuários");
    Grid = Make<TDBGrid>(InnerSheet, "DBGridUsers", 0, 0, 0, 0);
    Grid->SetAlign(alClient);
    Grid->SetDataSource(&users);
    Grid->AddColumn("USERQV_NAME", "Nome de Usuário", 120);
    Grid->AddColumn("PROFILE", "Perfil", 150);
    Grid->SetOptions({dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgRowSelect});
    Grid->SetTitleColor(clActiveCaption);
    Images = new TImageList(this);
    Images->Add(Square(0));
    Images->Add(Square(0xFF00C000u));
    Images->Add(Square(0xFFFF0000u));
    Tree = Make<TTreeView>(this, "MenuItems", 410, 0, 210, 360);
    Tree->SetImages(Images);
    Tree->SetReadOnly(true);
    TTreeNode* root = Tree->Items().AddChild(nullptr, "Controle de Acessos");

    State(root, 0);
    TTreeNode* file = Tree->Items().AddChild(root, "Arquivo");
    State(file, 2);
    State(Tree->Items().AddChild(file, "Abrir"), 1);
    State(Tree->Items().AddChild(root, "Sair"), 2);
    Tree->FullExpand();
    Tree->OnMouseDown = [this](TObject&, TMouseButton, TShiftState, int x, int y) {
      const THitTests hit = Tree->GetHitTestInfoAt(x, y);
      TTreeNode* node = hit.Contains(htOnItem) ? Tree->GetNodeAt(x, y) : nullptr;
      Log.push_back(std::string(hit.Contains(htOnIcon) ? "icon " : hit.Contains(htOnLabel) ? "label " : "beside ") +
                    (node != nullptr ? node->Text() : "-"));
    };
    Pages->OnChange = [this](TObject&) { Log.push_back("page " + Pages->ActivePage()->Name()); };
    Close = Make<TButton>(this, "btnClose", 540, 370, 75, 25);
    Close->SetCaption("Fechar");
    Close->SetModalResult(mrOk);
    SetActiveControl(Edit);
  }

  // A node's state image, selected or not.
  static void State(TTreeNode* node, int image) {
    node->SetImageIndex(image);
    node->SetSelectedIndex(image);
  }

 private:
  template <class T>
  T* Make(TWinControl* parent, const char* name, int left, int top, int width, int height) {
    auto* control = new T(this);
    control->SetName(name);
    control->SetParent(parent);
    control->SetBounds(left, top, width, height);
    return control;
  }
  TTabSheet* Sheet(TPageControl* pages, const char* name, const char* caption) {
    auto* sheet = new TTabSheet(this);
    sheet->SetName(name);
    sheet->SetCaption(caption);
    sheet->SetPageControl(pages);
    return sheet;
  }
};

class QtControls : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Exec("CREATE TABLE PROFILES (PROF_ID INTEGER PRIMARY KEY, PROF_DESCRIPTION VARCHAR(30))");
    Exec("INSERT INTO PROFILES VALUES (1, 'Vendas')");
    Exec("INSERT INTO PROFILES VALUES (2, 'Gerentes')");
    Exec("CREATE TABLE USERS (USER_ID INTEGER PRIMARY KEY, USERQV_NAME VARCHAR(10), AUDIT_MODE VARCHAR(1), "
         "HIDE_MENU INTEGER, PROFILE_ID INTEGER)");
    Exec("INSERT INTO USERS SELECT x, 'user' || x, '0', 1, 1 + x % 2 FROM (WITH RECURSIVE c(x) AS "
         "(SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 120) SELECT x FROM c)");
    profiles.SetDatabaseName(Alias());
    profiles.SetSQL("SELECT PROF_ID, PROF_DESCRIPTION FROM PROFILES ORDER BY PROF_DESCRIPTION");
    profiles.Open();
    users.SetDatabaseName(Alias());
    users.SetSQL("SELECT USER_ID, USERQV_NAME, AUDIT_MODE, HIDE_MENU, PROFILE_ID FROM USERS ORDER BY USER_ID");
    users.SetRequestLive(true);
    users.AddLookupField("PROFILE", 30, "PROFILE_ID", profiles, "PROF_ID", "PROF_DESCRIPTION");
    users.Open();
    form = std::make_unique<ControlsForm>(dsUsers, dsProfiles);
  }
  void TearDown() override {
    form.reset();
    users.Close();
    profiles.Close();
    EngineTest::TearDown();
  }

  QWidget& W(TControl* control) {
    QWidget* widget = ui.Backend().WidgetOf(*control);
    if (widget == nullptr) throw Exception("no widget for " + control->Name());
    return *widget;
  }
  // Leaves a picture of the window when QV_QT_SHOTS names a folder.
  void Shot(QWidget& window, const std::string& name) {
    if (const char* dir = std::getenv("QV_QT_SHOTS")) SaveWindowPng(window, std::string(dir) + "/" + name + ".png");
  }
  // Shows the form with `script` as the person; no error may reach the
  // application's error display (it would show a message box).
  void Run(std::function<void(QWidget&)> script, std::size_t messages = 0) {
    ui.WhenShown("Controls", [script](QWidget& window, TForm&) { script(window); });
    EXPECT_EQ(form->ShowModal(), mrOk);
    EXPECT_EQ(ui.Seen().size(), messages);
  }
  void Finish() { Click(W(form->Close)); }

  QtBackendFixture ui;
  TQuery profiles;
  TQuery users;
  TDataSource dsUsers{&users};
  TDataSource dsProfiles{&profiles};
  std::unique_ptr<ControlsForm> form;
};

TEST_P(QtControls, TabsRadioItemsCheckBoxesAndToolButtonsReachTheModel) {
  Run([&](QWidget& window) {
    Shot(window, "controls_data");
    // The label is as high as its font needs, the underline included.
    EXPECT_GE(W(form->Label).height(), W(form->Label).fontMetrics().height());
    auto& radio = W(form->Radio);
    auto* second = radio.findChildren<QWidget*>()[1];
    Click(radio, second->geometry().center().x(), second->geometry().center().y());
    EXPECT_EQ(users.FieldByName("HIDE_MENU").AsInteger(), 2);
    EXPECT_EQ(form->ActiveControl(), form->Radio);
    Click(W(form->Check));
    EXPECT_EQ(users.FieldByName("AUDIT_MODE").AsString(), "1");
    EXPECT_TRUE(qobject_cast<QCheckBox*>(&W(form->Check))->isChecked());
    Click(W(form->Tool));
    EXPECT_EQ(form->ActiveControl(), form->Check);  // a flat button takes no focus
    EXPECT_EQ(W(form->Tool).toolTip().toStdString(), "Aplica as mudanças");  // the form shows hints
    // The second tab: its page, and inside it the nested page, lie below
    // their tab strips.
    auto* tabs = W(form->Pages).findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    const QRect second_tab = tabs->tabRect(1);
    Click(*tabs, second_tab.center().x(), second_tab.center().y());
    EXPECT_EQ(form->Pages->ActivePage(), form->ListSheet);
    EXPECT_TRUE(W(form->ListSheet).isVisible());
    EXPECT_FALSE(W(form->DataSheet).isVisible());
    EXPECT_GE(W(form->ListSheet).geometry().top(), tabs->geometry().bottom());
    EXPECT_LE(W(form->ListSheet).geometry().bottom(), W(form->Pages).height() - 1);
    auto* innerTabs = W(form->Inner).findChild<QTabBar*>();
    EXPECT_GE(W(form->InnerSheet).geometry().top(), innerTabs->geometry().bottom());
    // The grid's horizontal scroll bar is inside what its sheet shows.
    QWidget& grid = W(form->Grid);
    const QPoint gridBottom = grid.mapTo(&window, QPoint(0, grid.height()));
    EXPECT_LE(gridBottom.y(), W(form->Pages).mapTo(&window, QPoint(0, W(form->Pages).height())).y());
    Shot(window, "controls_list");
    Finish();
  });
  EXPECT_EQ(form->Log, (std::vector<std::string>{"apply", "page tsList"}));
}

TEST_P(QtControls, GridIsALiveViewThatFollowsTheCursorAndLeavesScrollingToItsBar) {
  form->Pages->SetActivePage(form->ListSheet);
  Run([&](QWidget& window) {
    auto& view = static_cast<qt_detail::GridView&>(W(form->Grid));
    QTableView& table = view.Table();
    EXPECT_EQ(view.Model().Total(), 120);
    // Qt holds the rows on screen only, and only those were read.
    EXPECT_LE(table.model()->rowCount(), 25);
    EXPECT_LE(view.Model().CachedRows(), table.model()->rowCount());
    EXPECT_EQ(table.model()->headerData(1, Qt::Horizontal).toString().toStdString(), "Perfil");
    const QRect third = table.visualRect(table.model()->index(2, 0));
    Click(*table.viewport(), third.center().x(), third.center().y());
    EXPECT_EQ(users.RecNo(), 3);
    EXPECT_EQ(form->ActiveControl(), form->Grid);
    PressKey(window, Qt::Key_Down);
    EXPECT_EQ(users.RecNo(), 4);
    EXPECT_EQ(table.currentIndex().row(), 3);
    EXPECT_TRUE(table.selectionModel()->isRowSelected(3, {}));
    // The cursor moved by code: the view follows and scrolls.
    users.Last();
    EXPECT_EQ(view.Model().Offset() + table.currentIndex().row(), 119);
    QScrollBar& bar = view.ScrollBar();
    EXPECT_EQ(bar.value(), view.Model().Offset());
    EXPECT_GT(bar.value(), 0);
    // A press on the scroll bar scrolls without moving the cursor.
    const int before = bar.value();
    Click(bar, bar.width() / 2, 3);
    EXPECT_LT(bar.value(), before);
    EXPECT_EQ(view.Model().Offset(), bar.value());
    EXPECT_EQ(users.RecNo(), 120);
    // A press on a row of the scrolled window picks that row.
    const QRect first = table.visualRect(table.model()->index(0, 0));
    Click(*table.viewport(), first.center().x(), first.center().y());
    EXPECT_EQ(users.RecNo(), bar.value() + 1);
    // Titles and widths changed through the columns reach the view.
    form->Grid->Columns(1).Title.Caption = "Perfil do usuário";
    form->Grid->Columns(1).Width = 90;
    form->Grid->ColumnsChanged();
    EXPECT_EQ(table.columnWidth(1), 90);
    EXPECT_EQ(table.model()->headerData(1, Qt::Horizontal).toString().toStdString(), "Perfil do usuário");
    // A filter set while the grid's page is hidden shows when it returns.
    form->Pages->SetActivePage(form->DataSheet);
    users.SetFilter("PROFILE_ID=1");
    users.SetFiltered(true);
    form->Pages->SetActivePage(form->ListSheet);
    EXPECT_EQ(view.Model().Total(), 60);
    EXPECT_EQ(table.model()->index(0, 0).data().toString().toStdString(), "user2");
    // Closed, then reopened while shown: empty, then the rows again.
    users.Close();
    EXPECT_EQ(view.Model().Total(), 0);
    EXPECT_EQ(table.model()->rowCount(), 0);
    EXPECT_FALSE(W(form->Navigator).findChildren<QToolButton*>()[0]->isEnabled());
    users.Open();
    EXPECT_EQ(view.Model().Total(), 60);
    Shot(window, "controls_grid");
    Finish();
  });
}

TEST_P(QtControls, TreeShowsStateImagesAndHitTestsIconLabelAndBeside) {
  Run([&](QWidget& window) {
    auto& tree = static_cast<qt_detail::TreeWidget&>(W(form->Tree));
    TTreeNode* file = form->Tree->Items()[1];
    QTreeWidgetItem* item = tree.ItemOf(file);
    ASSERT_NE(item, nullptr);
    // The red state image of the list, drawn at its size.
    const QImage red = item->icon(0).pixmap(16, 16).toImage();
    EXPECT_EQ(red.pixelColor(8, 8), QColor(255, 0, 0));
    EXPECT_EQ(red.pixelColor(2, 8), QColor(128, 128, 128));
    const QRect rect = tree.visualItemRect(item);
    auto press = [&](int x) { Click(*tree.viewport(), x, rect.center().y()); };
    press(rect.left() + 8);  // the icon
    press(rect.left() + 30);  // the label
    press(rect.right() - 4);  // beside the label
    EXPECT_EQ(form->Tree->Selected(), file);
    Click(*tree.viewport(), 20, tree.viewport()->height() - 3);  // below the last node
    EXPECT_EQ(form->ActiveControl(), form->Tree);
    // One node changes: its item is updated in place, the scroll stays.
    ControlsForm::State(file, 1);
    EXPECT_EQ(tree.ItemOf(file), item);
    EXPECT_EQ(item->icon(0).pixmap(16, 16).toImage().pixelColor(8, 8), QColor(0, 192, 0));
    Shot(window, "controls_tree");
    Finish();
  });
  EXPECT_EQ(form->Log, (std::vector<std::string>{"icon Arquivo", "label Arquivo", "beside -", "beside -"}));
}

TEST_P(QtControls, LookupNavigatorAndDatePickerWorkByMouseAndKeys) {
  const std::string savedFormat = ShortDateFormat();
  SetShortDateFormat("dd/mm/yyyy");
  struct Restore {
    std::string format;
    ~Restore() { SetShortDateFormat(format); }
  } restore{savedFormat};
  form->Picker->SetDate(EncodeDate(2028, 2, 10));
  ui.AnswerNext("Não");
  Run([&](QWidget& window) {
    auto& combo = static_cast<QComboBox&>(W(form->Lookup));
    ASSERT_EQ(combo.count(), 2);
    EXPECT_EQ(combo.itemText(0).toStdString(), "Gerentes");
    EXPECT_EQ(combo.currentText().toStdString(), "Gerentes");  // user1 has profile 2
    Click(combo);
    EXPECT_EQ(form->ActiveControl(), form->Lookup);
    // The drop-down is Qt's; the item picked in it reaches the model.
    combo.hidePopup();
    emit combo.activated(1);
    EXPECT_EQ(users.FieldByName("PROFILE_ID").AsInteger(), 1);
    PressKey(window, Qt::Key_Up);
    EXPECT_EQ(users.FieldByName("PROFILE").AsString(), "Gerentes");
    TypeText(window, "v");
    EXPECT_EQ(users.FieldByName("PROFILE").AsString(), "Vendas");
    EXPECT_EQ(combo.currentText().toStdString(), "Vendas");
    users.Post();
    // The navigator: enabled states follow the dataset, delete asks.
    auto& nav = static_cast<qt_detail::NavigatorWidget&>(W(form->Navigator));
    auto button = [&](TNavigateBtn which) {
      for (QToolButton* b : nav.findChildren<QToolButton*>())
        if (b->property("qvButton").toInt() == which) return b;
      return static_cast<QToolButton*>(nullptr);
    };
    EXPECT_FALSE(button(nbPrior)->isEnabled());
    Click(nav, button(nbLast)->geometry().center().x(), button(nbLast)->geometry().center().y());
    EXPECT_EQ(users.RecNo(), 120);
    EXPECT_FALSE(button(nbNext)->isEnabled());
    EXPECT_TRUE(button(nbPrior)->isEnabled());
    Click(nav, button(nbDelete)->geometry().center().x(), button(nbDelete)->geometry().center().y());
    EXPECT_EQ(users.RecordCount(), 120);
    // The date picker: the short date format, a calendar, arrows reach
    // the model; a day that is no date never does.
    auto& picker = static_cast<QDateEdit&>(W(form->Picker));
    EXPECT_TRUE(picker.calendarPopup());
    EXPECT_EQ(picker.displayFormat().toStdString(), "dd/MM/yyyy");
    EXPECT_EQ(picker.text().toStdString(), "10/02/2028");
    Click(*picker.findChild<QLineEdit*>(), 5, picker.height() / 2);
    EXPECT_EQ(form->ActiveControl(), form->Picker);
    PressKey(window, Qt::Key_Up);
    EXPECT_EQ(form->Picker->Date(), EncodeDate(2028, 2, 11));
    PressKey(window, Qt::Key_Home);
    TypeText(window, "31");
    int year = 0, month = 0, day = 0;
    DecodeDate(form->Picker->Date(), year, month, day);
    EXPECT_EQ(month, 2);
    PressKey(window, Qt::Key_Tab);  // the model moves the focus on
    EXPECT_NE(form->ActiveControl(), form->Picker);
    DecodeDate(form->Picker->Date(), year, month, day);
    EXPECT_EQ(picker.date(), QDate(year, month, day));
    Shot(window, "controls_lookup");
    Finish();
  }, 1);
  ASSERT_EQ(ui.Backend().Messages().size(), 1u);
  EXPECT_EQ(ui.Backend().Messages()[0].Text, "Eliminar o registro?");
  for (const std::string& entry : form->Log) {
    if (entry.rfind("date ", 0) == 0) {
      EXPECT_EQ(entry.substr(8, 2), "02") << entry;
    }
  }
  EXPECT_EQ(form->Log.front(), "date 11/02/2028");
}

TEST_P(QtControls, ControlsOnAClosedOrEmptyDatasetDrawEmpty) {
  users.Close();
  Run([&](QWidget& window) {
    EXPECT_EQ(static_cast<qt_detail::GridView&>(W(form->Grid)).Model().Total(), 0);
    EXPECT_EQ(static_cast<QComboBox&>(W(form->Lookup)).currentIndex(), -1);
    Click(W(form->Check));  // no row to write: nothing changes
    EXPECT_FALSE(form->Check->Checked());
    users.SetFilter("USER_ID=0");
    users.SetFiltered(true);
    users.Open();
    EXPECT_EQ(users.RecordCount(), 0);
    EXPECT_EQ(static_cast<qt_detail::GridView&>(W(form->Grid)).Table().model()->rowCount(), 0);
    Shot(window, "controls_empty");
    Finish();
  });
}

INSTANTIATE_TEST_SUITE_P(Sqlite, QtControls, ::testing::Values("sqlite"));

}  // namespace
}  // namespace qv::test

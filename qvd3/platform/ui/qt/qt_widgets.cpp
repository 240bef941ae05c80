#include "qvd3/platform/ui/qt/qt_widgets.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QSignalBlocker>
#include <QToolButton>
#include <algorithm>

#include "qvd3/platform/ui/data_controls.h"
#include "qvd3/platform/ui/date_picker.h"
#include "qvd3/platform/ui/pages.h"
#include "qvd3/platform/ui/standard_controls.h"
#include "qvd3/platform/ui/qt/qt_data_widgets.h"
#include "qvd3/platform/ui/qt/qt_grid.h"
#include "qvd3/platform/ui/qt/qt_tree.h"
#include "qvd3/platform/ui/tree_view.h"

namespace qv::qt_detail {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A panel: a frame with the bevel of the model and its caption drawn in
// the middle (behind the child controls).
class PanelWidget : public QFrame {
 public:
  explicit PanelWidget(QWidget* parent) : QFrame(parent) {}
  QString caption;
  QColor textColor;
  Qt::Alignment alignment = Qt::AlignCenter;

 protected:
  void paintEvent(QPaintEvent* event) override {
    QFrame::paintEvent(event);
    if (caption.isEmpty()) return;
    QPainter painter(this);
    if (textColor.isValid()) painter.setPen(textColor);
    painter.drawText(contentsRect().adjusted(4, 0, -4, 0), static_cast<int>(alignment | Qt::AlignVCenter), caption);
  }
};

// A page control: the tab strip at the model's tab height and, below it,
// the framed body. The tab sheets are children of this widget placed at the
// model's coordinates, which lie below the strip; which sheet shows is the
// model's choice (sheet visibility).
class PageControlWidget : public QWidget {
 public:
  explicit PageControlWidget(QWidget* parent) : QWidget(parent) {
    tabs = new QTabBar(this);
    tabs->setDrawBase(false);
    tabs->setExpanding(false);
    tabs->setUsesScrollButtons(true);
    body = new QFrame(this);
    body->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    body->lower();
  }
  QTabBar* tabs;
  QFrame* body;
  int tabHeight = 20;

  void Place() {
    tabs->setGeometry(0, 0, width(), tabHeight);
    body->setGeometry(0, tabHeight, width(), std::max(0, height() - tabHeight));
  }

 protected:
  void resizeEvent(QResizeEvent*) override { Place(); }
};

// A radio group: a captioned box with one radio button per item, laid out
// in the model's number of columns.
class RadioGroupWidget : public QGroupBox {
 public:
  explicit RadioGroupWidget(QWidget* parent) : QGroupBox(parent) {}
  std::vector<QRadioButton*> buttons;
  int columns = 1;

  void Place() {
    const int count = static_cast<int>(buttons.size());
    if (count == 0) return;
    const int rows = (count + columns - 1) / columns;
    const int top = 18, left = 8;
    const int rowHeight = std::max(18, (height() - top - 4) / std::max(rows, 1));
    const int columnWidth = (width() - left) / columns;
    for (int i = 0; i < count; ++i) {
      const int row = i % rows, column = i / rows;
      buttons[static_cast<std::size_t>(i)]->setGeometry(left + column * columnWidth, top + row * rowHeight,
                                                        columnWidth - 4, std::min(rowHeight, 22));
    }
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QGroupBox::resizeEvent(event);
    Place();
  }
};

// An edit box whose selection is the model's alone: Qt's own habit of
// dropping or making a selection when the focus moves is undone.
class ModelLineEdit : public QLineEdit {
 public:
  explicit ModelLineEdit(QWidget* parent) : QLineEdit(parent) {}

 protected:
  // A QLineEdit drops its selection when its window is activated while it
  // lacks Qt's focus; here only the model decides.
  bool event(QEvent* event) override {
    if (event->type() == QEvent::WindowActivate) return QWidget::event(event);
    return QLineEdit::event(event);
  }
  void focusInEvent(QFocusEvent* event) override { KeepSelection([&] { QLineEdit::focusInEvent(event); }); }
  void focusOutEvent(QFocusEvent* event) override { KeepSelection([&] { QLineEdit::focusOutEvent(event); }); }

 private:
  template <class Fn>
  void KeepSelection(Fn fn) {
    const int start = hasSelectedText() ? selectionStart() : cursorPosition();
    const int length = selectionLength();
    fn();
    if (length > 0) setSelection(start, length);
    else setCursorPosition(start);
  }
};

// A placeholder for kinds without a widget of their own.
class PlaceholderWidget : public QFrame {
 public:
  explicit PlaceholderWidget(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
  }
};

class PasswordCharStyle : public QProxyStyle {
 public:
  explicit PasswordCharStyle(char32_t ch) : ch_(ch) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return static_cast<int>(ch_);
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }

 private:
  char32_t ch_;
};

QFrame::Shadow ShadowOf(TBevelCut cut) { return cut == bvLowered ? QFrame::Sunken : QFrame::Raised; }

}  // namespace

QString AcceleratorHtml(const std::string& caption) {
  const QString text = Q(caption);
  QString html;
  bool underlined = false;
  for (int i = 0; i < text.size(); ++i) {
    QChar ch = text[i];
    if (ch == '&' && i + 1 < text.size()) {
      ++i;
      ch = text[i];
      if (ch != '&' && !underlined) {
        html += "<u>" + QString(ch).toHtmlEscaped() + "</u>";
        underlined = true;
        continue;
      }
    }
    html += QString(ch).toHtmlEscaped();
  }
  return html;
}

QColor ToQColor(TColor color, const QPalette& palette) {
  switch (color) {
    case clBtnFace: return palette.color(QPalette::Button);
    case clWindow: return palette.color(QPalette::Base);
    case clWindowText: return palette.color(QPalette::Text);
    case clActiveCaption: return palette.color(QPalette::Highlight);
    case clCaptionText: return palette.color(QPalette::HighlightedText);
    default: break;
  }
  if (color < 0) return palette.color(QPalette::Window);
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QWidget* MakeWidget(TControl& control, QWidget* parent, const Deliverer& deliver) {
  if (dynamic_cast<TPageControl*>(&control)) return new PageControlWidget(parent);
  if (dynamic_cast<TTabSheet*>(&control)) return new QWidget(parent);
  if (auto* tree = dynamic_cast<TTreeView*>(&control)) return new TreeWidget(*tree, parent);
  if (auto* grid = dynamic_cast<TDBGrid*>(&control)) return new GridView(*grid, parent);
  if (auto* picker = dynamic_cast<TDateTimePicker*>(&control)) return new DatePickerWidget(*picker, parent, deliver);
  if (auto* lookup = dynamic_cast<TDBLookupComboBox*>(&control)) return new LookupWidget(*lookup, parent, deliver);
  if (auto* navigator = dynamic_cast<TDBNavigator*>(&control)) return new NavigatorWidget(*navigator, parent);
  if (dynamic_cast<TRadioGroup*>(&control)) return new RadioGroupWidget(parent);
  if (dynamic_cast<TCheckBox*>(&control)) return new QCheckBox(parent);
  if (dynamic_cast<TButton*>(&control)) {
    auto* button = new QPushButton(parent);
    button->setAutoDefault(false);
    return button;
  }
  if (dynamic_cast<TSpeedButton*>(&control)) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    return button;
  }
  if (dynamic_cast<TEdit*>(&control)) {
    auto* edit = new ModelLineEdit(parent);
    edit->setAcceptDrops(false);
    edit->setDragEnabled(false);
    return edit;
  }
  if (dynamic_cast<TLabel*>(&control)) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::RichText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
  }
  if (dynamic_cast<TGroupBox*>(&control)) return new QGroupBox(parent);
  if (dynamic_cast<TPanel*>(&control) || dynamic_cast<TToolBar*>(&control)) return new PanelWidget(parent);
  return new PlaceholderWidget(parent);
}

QWidget* ChildArea(QWidget& widget) { return &widget; }

void RefreshChildArea(TWinControl& container, QWidget& widget) {
  auto* control = dynamic_cast<TPageControl*>(&container);
  auto* pages = dynamic_cast<PageControlWidget*>(&widget);
  if (control == nullptr || pages == nullptr) return;
  QTabBar& tabs = *pages->tabs;
  const QSignalBlocker block(&tabs);
  while (tabs.count() > control->PageCount()) tabs.removeTab(tabs.count() - 1);
  while (tabs.count() < control->PageCount()) tabs.addTab(QString());
  for (int i = 0; i < control->PageCount(); ++i) {
    TTabSheet* sheet = control->Pages(i);
    tabs.setTabText(i, Q(sheet->Caption()));
    tabs.setTabVisible(i, sheet->TabVisible());
    tabs.setTabEnabled(i, sheet->Enabled());
  }
  tabs.setCurrentIndex(control->ActivePageIndex());
  if (pages->tabHeight != control->TabHeight()) {
    pages->tabHeight = control->TabHeight();
    pages->Place();
  }
  tabs.raise();
}

void RefreshWidget(TControl& control, QWidget& widget, TChange what,
                   const std::function<QStyle*(char32_t)>& passwordStyle) {
  if (auto* sheet = dynamic_cast<TTabSheet*>(&control)) {
    // The tab's caption and visibility belong to the page control's strip.
    if (TPageControl* pages = sheet->PageControl())
      if (QWidget* strip = widget.parentWidget()) RefreshChildArea(*pages, *strip);
    return;
  }
  if (auto* pages = dynamic_cast<TPageControl*>(&control)) {
    RefreshChildArea(*pages, widget);
    return;
  }
  if (dynamic_cast<TTreeView*>(&control)) {
    static_cast<TreeWidget&>(widget).Refresh(what);
    return;
  }
  if (dynamic_cast<TDBGrid*>(&control)) {
    static_cast<GridView&>(widget).Refresh(what);
    return;
  }
  if (dynamic_cast<TDateTimePicker*>(&control)) {
    static_cast<DatePickerWidget&>(widget).Refresh();
    return;
  }
  if (dynamic_cast<TDBLookupComboBox*>(&control)) {
    static_cast<LookupWidget&>(widget).Refresh();
    return;
  }
  if (dynamic_cast<TDBNavigator*>(&control)) {
    static_cast<NavigatorWidget&>(widget).Refresh();
    return;
  }
  if (auto* group = dynamic_cast<TRadioGroup*>(&control)) {
    auto& box = static_cast<RadioGroupWidget&>(widget);
    box.setTitle(Q(group->Caption()));
    const int count = group->Items().Count();
    while (static_cast<int>(box.buttons.size()) > count) {
      delete box.buttons.back();
      box.buttons.pop_back();
    }
    while (static_cast<int>(box.buttons.size()) < count) {
      auto* radio = new QRadioButton(&box);
      radio->setAutoExclusive(false);
      radio->setFocusPolicy(Qt::NoFocus);
      radio->show();
      box.buttons.push_back(radio);
    }
    for (int i = 0; i < count; ++i) {
      box.buttons[static_cast<std::size_t>(i)]->setText(Q(group->Items()[i]));
      box.buttons[static_cast<std::size_t>(i)]->setChecked(i == group->ItemIndex());
    }
    box.columns = group->Columns();
    box.Place();
    return;
  }
  if (auto* check = dynamic_cast<TCheckBox*>(&control)) {
    auto& box = static_cast<QCheckBox&>(widget);
    box.setText(Q(check->Caption()));
    box.setChecked(check->Checked());
    return;
  }
  if (auto* button = dynamic_cast<TButton*>(&control)) {
    auto& push = static_cast<QPushButton&>(widget);
    push.setText(Q(button->Caption()));
    push.setDefault(button->Default());
    return;
  }
  if (dynamic_cast<TSpeedButton*>(&control)) {
    auto& tool = static_cast<QToolButton&>(widget);
    tool.setText(Q(control.Caption()));
    tool.setToolTip(Q(control.Hint()));
    return;
  }
  if (auto* edit = dynamic_cast<TEdit*>(&control)) {
    // No QLineEdit length limit: the model refuses what the person types
    // beyond MaxLength, and code may store a longer text that must show.
    auto& line = static_cast<QLineEdit&>(widget);
    const QString text = Q(edit->Text());
    if (line.text() != text) line.setText(text);
    line.setReadOnly(edit->ReadOnly());
    if (edit->PasswordChar() != 0) {
      line.setEchoMode(QLineEdit::Password);
      line.setStyle(passwordStyle(edit->PasswordChar()));
    } else {
      line.setEchoMode(QLineEdit::Normal);
    }
    // Positions count characters, as QLineEdit does for text outside the
    // supplementary planes.
    if (edit->SelLength() > 0) line.setSelection(edit->SelStart(), edit->SelLength());
    else line.setCursorPosition(edit->SelStart());
    return;
  }
  if (auto* label = dynamic_cast<TLabel*>(&control)) {
    auto& text = static_cast<QLabel&>(widget);
    text.setText(label->ShowAccelChar() ? AcceleratorHtml(label->Caption()) : Q(label->Caption()).toHtmlEscaped());
    if (control.Width() <= 0 || control.Height() <= 0) {
      text.adjustSize();
      text.move(control.Left(), control.Top());
    }
    return;
  }
  if (dynamic_cast<TGroupBox*>(&control)) {
    static_cast<QGroupBox&>(widget).setTitle(Q(control.Caption()));
    return;
  }
  if (auto* panel = dynamic_cast<TPanel*>(&control)) {
    auto& frame = static_cast<PanelWidget&>(widget);
    const bool outer = panel->BevelOuter() != bvNone, inner = panel->BevelInner() != bvNone;
    frame.setFrameShape(outer || inner ? QFrame::Panel : QFrame::NoFrame);
    frame.setFrameShadow(ShadowOf(outer ? panel->BevelOuter() : panel->BevelInner()));
    frame.setLineWidth(panel->BevelWidth() * ((outer && inner) ? 2 : 1));
    frame.caption = Q(StripHotkey(panel->Caption()));
    const bool coloured = panel->Color() != clBtnFace;
    frame.setAutoFillBackground(coloured);
    if (coloured) {
      QPalette colours = frame.palette();
      colours.setColor(QPalette::Window, ToQColor(panel->Color(), colours));
      frame.setPalette(colours);
    }
    frame.textColor = panel->Color() == clActiveCaption ? ToQColor(clCaptionText, frame.palette()) : QColor();
    frame.alignment = panel->Alignment() == taLeftJustify    ? Qt::AlignLeft
                      : panel->Alignment() == taRightJustify ? Qt::AlignRight
                                                             : Qt::AlignHCenter;
    frame.update();
    return;
  }
}

QStyle* MakePasswordStyle(char32_t ch, QObject* parent) {
  auto* style = new PasswordCharStyle(ch);
  style->setParent(parent);
  return style;
}

int RadioIndexAt(QWidget& widget, QPoint pos) {
  auto* box = dynamic_cast<RadioGroupWidget*>(&widget);
  if (box == nullptr) return -1;
  for (std::size_t i = 0; i < box->buttons.size(); ++i)
    if (box->buttons[i]->geometry().contains(pos)) return static_cast<int>(i);
  return -1;
}

int TabIndexAt(QWidget& widget, QPoint pos) {
  auto* pages = dynamic_cast<PageControlWidget*>(&widget);
  if (pages == nullptr || !pages->tabs->geometry().contains(pos)) return -1;
  return pages->tabs->tabAt(pages->tabs->mapFrom(pages, pos));
}

int CaretAt(QWidget& widget, QPoint pos) {
  auto* line = qobject_cast<QLineEdit*>(&widget);
  return line == nullptr ? -1 : line->cursorPositionAt(pos);
}

int GridRowAt(QWidget& widget, QPoint pos) {
  auto* grid = dynamic_cast<GridView*>(&widget);
  return grid == nullptr ? 0 : grid->RowAt(pos);
}

bool TreePointAt(QWidget& widget, QPoint pos, int& x, int& y) {
  auto* tree = dynamic_cast<TreeWidget*>(&widget);
  if (tree == nullptr) return false;
  const QPoint at = tree->ModelPoint(pos);
  x = at.x();
  y = at.y();
  return true;
}

int NavigatorButtonAt(QWidget& widget, QPoint pos) {
  auto* navigator = dynamic_cast<NavigatorWidget*>(&widget);
  return navigator == nullptr ? -1 : navigator->ButtonAt(pos);
}

}  // namespace qv::qt_detail

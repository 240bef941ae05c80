#include "qvd3/platform/ui/qt/qt_data_widgets.h"

#include <QCalendarWidget>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QToolButton>

#include "qvd3/platform/sys/date_text.h"

namespace qv::qt_detail {

namespace {

struct NavigatorFace {
  TNavigateBtn button;
  const char* glyph;
  const char* hint;
};

// The navigator's buttons in their order on the bar.
constexpr NavigatorFace kNavigatorFaces[] = {
    {nbFirst, "|\u25C0", "Primeiro"},  {nbPrior, "\u25C0", "Anterior"},  {nbNext, "\u25B6", "Próximo"},
    {nbLast, "\u25B6|", "Último"},     {nbInsert, "+", "Inserir"},        {nbDelete, "\u2212", "Eliminar"},
    {nbEdit, "\u25B2", "Editar"},      {nbPost, "\u2713", "Gravar"},      {nbCancel, "\u2717", "Cancelar"},
    {nbRefresh, "\u21BB", "Atualizar"},
};

QDate ToQDate(TDateTime date) {
  int year = 0, month = 0, day = 0;
  DecodeDate(date, year, month, day);
  return QDate(year, month, day);
}

}  // namespace

// ---- lookup list ----

LookupWidget::LookupWidget(TDBLookupComboBox& box, QWidget* parent, Deliverer deliver)
    : QComboBox(parent), box_(box) {
  setEditable(false);
  setMaxVisibleItems(12);
  connect(this, &QComboBox::activated, this, [this, deliver](int index) {
    if (index < 0 || index >= static_cast<int>(keys_.size())) return;
    const qv::Value key = keys_[static_cast<std::size_t>(index)];
    deliver([this, key] { box_.ChooseByPerson(key); });
  });
}

void LookupWidget::Refresh() {
  std::vector<TLookupItem> items;
  // The list may be read while its dataset is being reopened.
  try {
    items = box_.ListItems();
  } catch (const std::exception&) {
    items.clear();
  }
  std::vector<qv::Value> keys;
  std::vector<QString> texts;
  for (const TLookupItem& item : items) {
    keys.push_back(item.Key);
    texts.push_back(QString::fromStdString(item.Text));
  }
  const QSignalBlocker block(this);
  if (texts != texts_ || !(keys == keys_)) {
    clear();
    for (const QString& text : texts) addItem(text);
    keys_ = std::move(keys);
    texts_ = std::move(texts);
  }
  int current = -1;
  if (!box_.KeyValue().IsNull())
    for (std::size_t i = 0; i < keys_.size(); ++i)
      if (keys_[i] == box_.KeyValue()) current = static_cast<int>(i);
  setCurrentIndex(current);
}

// ---- navigator ----

NavigatorWidget::NavigatorWidget(TDBNavigator& navigator, QWidget* parent) : QWidget(parent), navigator_(navigator) {
  for (const NavigatorFace& face : kNavigatorFaces) {
    auto* button = new QToolButton(this);
    button->setText(QString::fromUtf8(face.glyph));
    button->setToolTip(QString::fromUtf8(face.hint));
    button->setFocusPolicy(Qt::NoFocus);
    button->setProperty("qvButton", static_cast<int>(face.button));
    buttons_.push_back(button);
  }
}

void NavigatorWidget::Refresh() {
  const TButtonSet visible = navigator_.VisibleButtons();
  for (QToolButton* button : buttons_) {
    const auto which = static_cast<TNavigateBtn>(button->property("qvButton").toInt());
    button->setVisible(visible.Contains(which));
    button->setEnabled(navigator_.ButtonEnabled(which));
  }
  Place();
}

void NavigatorWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Place();
}

// The visible buttons share the bar's width equally.
void NavigatorWidget::Place() {
  std::vector<QToolButton*> shown;
  const TButtonSet visible = navigator_.VisibleButtons();
  for (QToolButton* button : buttons_)
    if (visible.Contains(static_cast<TNavigateBtn>(button->property("qvButton").toInt()))) shown.push_back(button);
  if (shown.empty()) return;
  const int count = static_cast<int>(shown.size());
  for (int i = 0; i < count; ++i) {
    const int left = width() * i / count, right = width() * (i + 1) / count;
    shown[static_cast<std::size_t>(i)]->setGeometry(left, 0, right - left, height());
  }
}

int NavigatorWidget::ButtonAt(QPoint pos) const {
  for (QToolButton* button : buttons_)
    if (button->isVisible() && button->geometry().contains(pos)) return button->property("qvButton").toInt();
  return -1;
}

// ---- date picker ----

QString QtDateFormat(const std::string& pattern) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  QString format;
  for (std::size_t i = 0; i < pattern.size();) {
    const char letter = lower(pattern[i]);
    const bool field = letter == 'd' || letter == 'm' || letter == 'y';
    std::size_t run = 1;
    while (field && i + run < pattern.size() && lower(pattern[i + run]) == letter) ++run;
    if (letter == 'd') format += run >= 2 ? "dd" : "d";
    else if (letter == 'm') format += run >= 2 ? "MM" : "M";
    else if (letter == 'y') format += run >= 3 ? "yyyy" : "yy";
    else format += QChar(pattern[i]);
    i += run;
  }
  return format;
}

DatePickerWidget::DatePickerWidget(TDateTimePicker& picker, QWidget* parent, Deliverer deliver)
    : QDateEdit(parent), picker_(picker) {
  setCalendarPopup(true);
  setKeyboardTracking(true);
  setDateRange(QDate(1753, 1, 1), QDate(9999, 12, 31));
  // Only dates Qt accepts as whole dates are reported: text that is not a
  // date never reaches the model and is put back when the editing ends.
  connect(this, &QDateEdit::dateChanged, this, [this, deliver](QDate date) {
    if (!date.isValid()) return;
    deliver([this, date] { picker_.ChangeByPerson(EncodeDate(date.year(), date.month(), date.day())); });
  });
  Refresh();
}

void DatePickerWidget::Refresh() {
  const QSignalBlocker block(this);
  const QString format = QtDateFormat(ShortDateFormat());
  if (displayFormat() != format) setDisplayFormat(format);
  const QDate date = ToQDate(picker_.Date());
  if (this->date() != date) setDate(date);
}

}  // namespace qv::qt_detail

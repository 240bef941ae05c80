#include "qvd3/platform/ui/qt/qt_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QCoreApplication>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>
#include <algorithm>

#include "qvd3/platform/ui/qt/qt_widgets.h"

namespace qv::qt_detail {

namespace {

// Rows kept read beyond those on screen before the cache starts afresh.
constexpr std::size_t kCachedRows = 256;
constexpr int kRowHeight = 18;
constexpr int kIndicatorWidth = 12;

// The row indicator: a narrow column left of the rows with a mark on the
// dataset's current row (a triangle while browsing, "I" while editing, "*"
// while inserting).
class IndicatorHeader : public QHeaderView {
 public:
  IndicatorHeader(TDBGrid& grid, GridModel& model, QWidget* parent)
      : QHeaderView(Qt::Vertical, parent), grid_(grid), model_(model) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    // The style leaves a clip behind that would hide the mark.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (model_.Offset() + logicalIndex + 1 != grid_.SelectedRow()) return;
    painter->save();
    painter->setPen(palette().color(QPalette::ButtonText));
    const QPoint c = rect.center();
    switch (grid_.State()) {
      case TDataSetState::Edit: painter->drawText(rect, Qt::AlignCenter, "I"); break;
      case TDataSetState::Insert: painter->drawText(rect, Qt::AlignCenter, "*"); break;
      default: {
        painter->setBrush(palette().color(QPalette::ButtonText));
        const QPoint points[3] = {c + QPoint(-2, -4), c + QPoint(2, 0), c + QPoint(-2, 4)};
        painter->drawPolygon(points, 3);
        break;
      }
    }
    painter->restore();
  }

 private:
  TDBGrid& grid_;
  GridModel& model_;
};

}  // namespace

// The table of the rows on screen. The wheel turns the grid's own scroll
// bar; titles and widths set through the grid's columns reach the table
// when it next paints, also when the code changed them without telling.
class GridTable : public QTableView {
 public:
  explicit GridTable(GridView& owner) : QTableView(&owner), owner_(owner) {}

 protected:
  bool viewportEvent(QEvent* event) override {
    if (event->type() == QEvent::Paint) owner_.SyncColumns();
    return QTableView::viewportEvent(event);
  }
  void wheelEvent(QWheelEvent* event) override { QCoreApplication::sendEvent(owner_.bar_, event); }
  void resizeEvent(QResizeEvent* event) override {
    QTableView::resizeEvent(event);
    owner_.SyncWindow();
  }

 private:
  GridView& owner_;
};

// ---- GridModel ----

GridModel::GridModel(TDBGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {
  shown_ = ShownColumns();
  total_ = grid_.RowCount();
}

std::vector<int> GridModel::ShownColumns() const {
  std::vector<int> shown;
  for (int c = 0; c < grid_.ColumnCount(); ++c)
    if (grid_.Columns(c).Visible) shown.push_back(c);
  return shown;
}

int GridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::clamp(total_ - offset_, 0, window_);
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int GridModel::ClampOffset(int offset) const { return std::clamp(offset, 0, std::max(0, total_ - window_)); }

const std::vector<std::string>& GridModel::Row(int row) const {
  auto it = cache_.find(row);
  if (it != cache_.end()) return it->second;
  if (cache_.size() >= kCachedRows) cache_.clear();
  std::vector<std::string> texts;
  // Qt asks while painting: a data error must not escape into its loop.
  try {
    texts = grid_.RowTexts(row + 1);
  } catch (const std::exception&) {
    texts.clear();
  }
  return cache_.emplace(row, std::move(texts)).first->second;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const std::size_t column = static_cast<std::size_t>(index.column());
  if (column >= shown_.size()) return {};
  const std::vector<std::string>& texts = Row(offset_ + index.row());
  const std::size_t model_column = static_cast<std::size_t>(shown_[column]);
  return model_column < texts.size() ? QString::fromStdString(texts[model_column]) : QString();
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  if (section < 0 || section >= static_cast<int>(shown_.size())) return {};
  return QString::fromStdString(grid_.Columns(shown_[static_cast<std::size_t>(section)]).Title.Caption);
}

void GridModel::Sync() {
  const int total = grid_.RowCount();
  std::vector<int> shown = ShownColumns();
  cache_.clear();
  if (total != total_ || shown != shown_) {
    beginResetModel();
    total_ = total;
    shown_ = std::move(shown);
    offset_ = ClampOffset(offset_);
    endResetModel();
    return;
  }
  if (rowCount() > 0 && !shown_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  if (!shown_.empty()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void GridModel::SetOffset(int offset) {
  offset = ClampOffset(offset);
  if (offset == offset_) return;
  offset_ = offset;
  if (rowCount() > 0 && !shown_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
  if (rowCount() > 0) emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

void GridModel::SetWindow(int rows) {
  rows = std::max(rows, 1);
  if (rows == window_) return;
  beginResetModel();
  window_ = rows;
  offset_ = ClampOffset(offset_);
  endResetModel();
}

// ---- GridView ----

GridView::GridView(TDBGrid& grid, QWidget* parent) : QWidget(parent), grid_(grid) {
  model_ = new GridModel(grid_, this);
  table_ = new GridTable(*this);
  bar_ = new QScrollBar(Qt::Vertical, this);
  setFocusProxy(table_);
  table_->setVerticalHeader(new IndicatorHeader(grid_, *model_, table_));
  table_->setModel(model_);
  table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setWordWrap(false);
  table_->setCornerButtonEnabled(false);
  table_->setAutoScroll(false);
  QHeaderView* rows = table_->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(kRowHeight);
  rows->setMinimumSectionSize(kRowHeight);
  rows->setFixedWidth(kIndicatorWidth);
  QHeaderView* titles = table_->horizontalHeader();
  titles->setSectionsClickable(false);
  titles->setHighlightSections(false);
  titles->setMinimumSectionSize(4);
  // A column border dragged by the person gives the column its new width.
  connect(titles, &QHeaderView::sectionResized, this, [this](int section, int, int size) {
    const auto& shown = model_->Shown();
    if (section >= 0 && section < static_cast<int>(shown.size()))
      grid_.Columns(shown[static_cast<std::size_t>(section)]).Width = size;
  });
  // The scroll bar moves the rows shown, never the dataset's cursor.
  connect(bar_, &QScrollBar::valueChanged, this, [this](int value) {
    model_->SetOffset(value);
    FollowCursor();
    table_->verticalHeader()->viewport()->update();
  });
  SyncAppearance();
  SyncColumns();
}

QTableView& GridView::Table() { return *table_; }

void GridView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int barWidth = bar_->sizeHint().width();
  table_->setGeometry(0, 0, std::max(0, width() - barWidth), height());
  bar_->setGeometry(width() - barWidth, 0, barWidth, height());
  SyncWindow();
}

int GridView::PageRows() const { return std::max(1, table_->viewport()->height() / kRowHeight); }

// The window holds the rows that fit, the last one perhaps in part; the
// scroll bar spans every row of the dataset.
void GridView::SyncWindow() {
  const int page = PageRows();
  model_->SetWindow(page + 1);
  const QSignalBlocker block(bar_);
  bar_->setRange(0, std::max(0, model_->Total() - page));
  bar_->setPageStep(page);
  bar_->setSingleStep(1);
  bar_->setValue(model_->Offset());
  followed_ = -1;
  FollowCursor();
}

void GridView::Refresh(TChange what) {
  if (what == chAppearance || what == chItems) SyncAppearance();
  if (what == chData || what == chItems || what == chAppearance) {
    model_->Sync();
    followed_ = -1;
    SyncWindow();
  }
  SyncColumns();
  FollowCursor();
  table_->verticalHeader()->viewport()->update();
}

int GridView::RowAt(QPoint pos) const {
  const QPoint inViewport = table_->viewport()->mapFrom(this, pos);
  if (!table_->viewport()->rect().contains(inViewport)) return 0;
  const int row = table_->rowAt(inViewport.y());
  if (row < 0) return 0;
  const int recno = model_->Offset() + row + 1;
  return recno <= model_->Total() ? recno : 0;
}

void GridView::SyncColumns() {
  const auto& shown = model_->Shown();
  if (static_cast<int>(shown.size()) != model_->columnCount() || static_cast<int>(shown.size()) > grid_.ColumnCount())
    return;
  std::vector<QString> titles;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] >= grid_.ColumnCount()) return;
    const TColumn& column = grid_.Columns(shown[i]);
    const int section = static_cast<int>(i);
    if (table_->columnWidth(section) != column.Width) {
      QSignalBlocker block(table_->horizontalHeader());
      table_->setColumnWidth(section, column.Width);
    }
    titles.push_back(QString::fromStdString(column.Title.Caption));
  }
  if (titles != titles_) {
    titles_ = std::move(titles);
    table_->horizontalHeader()->viewport()->update();
  }
}

void GridView::SyncAppearance() {
  const TGridOptions options = grid_.Options();
  QHeaderView* titles = table_->horizontalHeader();
  titles->setVisible(options.Contains(dgTitles));
  table_->verticalHeader()->setVisible(options.Contains(dgIndicator));
  titles->setSectionResizeMode(options.Contains(dgColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
  table_->setShowGrid(options.Contains(dgColLines) || options.Contains(dgRowLines));
  table_->setSelectionBehavior(options.Contains(dgRowSelect) ? QAbstractItemView::SelectRows
                                                             : QAbstractItemView::SelectItems);
  QPalette cells = table_->palette();
  if (grid_.Color() != clBtnFace) cells.setColor(QPalette::Base, ToQColor(grid_.Color(), cells));
  table_->setPalette(cells);
  QPalette colours = titles->palette();
  colours.setColor(QPalette::Button, ToQColor(grid_.TitleColor(), palette()));
  colours.setColor(QPalette::Window, ToQColor(grid_.TitleColor(), palette()));
  if (grid_.TitleColor() == clActiveCaption) {
    colours.setColor(QPalette::ButtonText, ToQColor(clCaptionText, palette()));
    colours.setColor(QPalette::WindowText, ToQColor(clCaptionText, palette()));
  }
  titles->setPalette(colours);
}

// The table's current row is the dataset's cursor; when the cursor moved
// out of the rows shown, the window moves to it. The selection shows while
// the grid has the focus, or always with dgAlwaysShowSelection.
void GridView::FollowCursor() {
  const int recno = grid_.SelectedRow();
  QItemSelectionModel* selection = table_->selectionModel();
  if (recno < 1 || recno > model_->Total()) {
    selection->clear();
    followed_ = -1;
    return;
  }
  if (recno != followed_) {
    followed_ = recno;
    const int page = PageRows();
    int offset = model_->Offset();
    if (recno - 1 < offset) offset = recno - 1;
    else if (recno - 1 >= offset + page) offset = recno - page;
    if (offset != model_->Offset()) {
      const QSignalBlocker block(bar_);
      model_->SetOffset(offset);
      bar_->setValue(model_->Offset());
    }
  }
  const int row = recno - 1 - model_->Offset();
  const int column = std::max(0, table_->currentIndex().column());
  if (row < 0 || row >= model_->rowCount() || column >= model_->columnCount()) {
    selection->clear();
    return;
  }
  const QModelIndex at = model_->index(row, column);
  const bool rows = grid_.Options().Contains(dgRowSelect);
  if (grid_.Focused() || grid_.Options().Contains(dgAlwaysShowSelection)) {
    selection->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                       (rows ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate));
    if (!rows) selection->select(at, QItemSelectionModel::ClearAndSelect);
  } else {
    selection->clearSelection();
    selection->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
  }
}

}  // namespace qv::qt_detail

#include "platform/ui/qt/qt_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>

#include "platform/ui/qt/qt_widgets.h"

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
  IndicatorHeader(TDBGrid& grid, QWidget* parent) : QHeaderView(Qt::Vertical, parent), grid_(grid) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    // The style leaves a clip behind that would hide the mark.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex + 1 != grid_.SelectedRow()) return;
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
};

}  // namespace

// ---- GridModel ----

GridModel::GridModel(TDBGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {
  shown_ = ShownColumns();
  rows_ = grid_.RowCount();
}

std::vector<int> GridModel::ShownColumns() const {
  std::vector<int> shown;
  for (int c = 0; c < grid_.ColumnCount(); ++c)
    if (grid_.Columns(c).Visible) shown.push_back(c);
  return shown;
}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

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
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_) return {};
  const std::size_t column = static_cast<std::size_t>(index.column());
  if (column >= shown_.size()) return {};
  const std::vector<std::string>& texts = Row(index.row());
  const std::size_t model_column = static_cast<std::size_t>(shown_[column]);
  return model_column < texts.size() ? QString::fromStdString(texts[model_column]) : QString();
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  if (section < 0 || section >= static_cast<int>(shown_.size())) return {};
  return QString::fromStdString(grid_.Columns(shown_[static_cast<std::size_t>(section)]).Title.Caption);
}

void GridModel::Sync() {
  const int rows = grid_.RowCount();
  std::vector<int> shown = ShownColumns();
  cache_.clear();
  if (rows != rows_ || shown != shown_) {
    beginResetModel();
    rows_ = rows;
    shown_ = std::move(shown);
    endResetModel();
    return;
  }
  if (rows_ > 0 && !shown_.empty()) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
  if (!shown_.empty()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

// ---- GridView ----

GridView::GridView(TDBGrid& grid, QWidget* parent) : QTableView(parent), grid_(grid) {
  setVerticalHeader(new IndicatorHeader(grid_, this));
  model_ = new GridModel(grid_, this);
  setModel(model_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(kRowHeight);
  verticalHeader()->setMinimumSectionSize(kRowHeight);
  verticalHeader()->setFixedWidth(kIndicatorWidth);
  horizontalHeader()->setSectionsClickable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setMinimumSectionSize(4);
  // A column border dragged by the person gives the column its new width.
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int size) {
    const auto& shown = model_->Shown();
    if (section >= 0 && section < static_cast<int>(shown.size())) grid_.Columns(shown[static_cast<std::size_t>(section)]).Width = size;
  });
  SyncAppearance();
  SyncColumns();
}

void GridView::Refresh(TChange what) {
  if (what == chAppearance || what == chItems) SyncAppearance();
  if (what == chData || what == chItems || what == chAppearance || what == chEnabled) {
    model_->Sync();
    followed_ = -1;
  }
  SyncColumns();
  FollowCursor();
  verticalHeader()->viewport()->update();
}

int GridView::RowAt(QPoint pos) const {
  const QPoint inViewport = viewport()->mapFrom(this, pos);
  if (!viewport()->rect().contains(inViewport)) return 0;
  const int row = rowAt(inViewport.y());
  return row < 0 ? 0 : row + 1;
}

// Titles and widths set through the grid's columns reach the view when it
// next paints, also when the code changed them without telling the grid.
bool GridView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::Paint) SyncColumns();
  return QTableView::viewportEvent(event);
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
    if (columnWidth(section) != column.Width) {
      QSignalBlocker block(horizontalHeader());
      setColumnWidth(section, column.Width);
    }
    titles.push_back(QString::fromStdString(column.Title.Caption));
  }
  if (titles != titles_) {
    titles_ = std::move(titles);
    horizontalHeader()->viewport()->update();
  }
}

void GridView::SyncAppearance() {
  const TGridOptions options = grid_.Options();
  horizontalHeader()->setVisible(options.Contains(dgTitles));
  verticalHeader()->setVisible(options.Contains(dgIndicator));
  horizontalHeader()->setSectionResizeMode(options.Contains(dgColumnResize) ? QHeaderView::Interactive
                                                                            : QHeaderView::Fixed);
  setShowGrid(options.Contains(dgColLines) || options.Contains(dgRowLines));
  setSelectionBehavior(options.Contains(dgRowSelect) ? QAbstractItemView::SelectRows
                                                     : QAbstractItemView::SelectItems);
  QPalette cells = palette();
  if (grid_.Color() != clBtnFace) cells.setColor(QPalette::Base, ToQColor(grid_.Color(), cells));
  setPalette(cells);
  QPalette titles = horizontalHeader()->palette();
  titles.setColor(QPalette::Button, ToQColor(grid_.TitleColor(), palette()));
  titles.setColor(QPalette::Window, ToQColor(grid_.TitleColor(), palette()));
  if (grid_.TitleColor() == clActiveCaption) {
    titles.setColor(QPalette::ButtonText, ToQColor(clCaptionText, palette()));
    titles.setColor(QPalette::WindowText, ToQColor(clCaptionText, palette()));
  }
  horizontalHeader()->setPalette(titles);
}

// The view's current row is the dataset's cursor; it is scrolled into
// sight when the cursor moved. The selection shows while the grid has the
// focus, or always with dgAlwaysShowSelection.
void GridView::FollowCursor() {
  const int recno = grid_.SelectedRow();
  QItemSelectionModel* selection = selectionModel();
  if (recno < 1 || recno > model_->rowCount()) {
    selection->clear();
    followed_ = -1;
    return;
  }
  const int column = std::max(0, currentIndex().column());
  if (column >= model_->columnCount()) {
    selection->clear();
    return;
  }
  const QModelIndex at = model_->index(recno - 1, column);
  const bool show = grid_.Focused() || grid_.Options().Contains(dgAlwaysShowSelection);
  if (show) {
    selection->setCurrentIndex(at, QItemSelectionModel::ClearAndSelect |
                                        (grid_.Options().Contains(dgRowSelect) ? QItemSelectionModel::Rows
                                                                               : QItemSelectionModel::NoUpdate));
    if (!grid_.Options().Contains(dgRowSelect)) selection->select(at, QItemSelectionModel::ClearAndSelect);
  } else {
    selection->clearSelection();
    selection->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
  }
  if (recno != followed_) {
    scrollTo(at, QAbstractItemView::EnsureVisible);
    followed_ = recno;
  }
}

}  // namespace qv::qt_detail

#include "qvd3/platform/ui/qt/qt_tree.h"

#include <QHeaderView>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <algorithm>

namespace qv::qt_detail {

namespace {

// Padding Qt's item delegate puts on each side of a label.
constexpr int kTextMargin = 3;

// Every row as high as the model's RowHeight (and its images), whether or
// not the first node has an image: the state squares never overlap.
class RowDelegate : public QStyledItemDelegate {
 public:
  RowDelegate(TTreeView& tree, QObject* parent) : QStyledItemDelegate(parent), tree_(tree) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    int height = tree_.RowHeight();
    if (TImageList* images = tree_.Images()) height = std::max(height, images->Height() + 2);
    size.setHeight(std::max(size.height(), height));
    return size;
  }

 private:
  TTreeView& tree_;
};

}  // namespace

TreeWidget::TreeWidget(TTreeView& tree, QWidget* parent) : QTreeWidget(parent), tree_(tree) {
  setHeaderHidden(true);
  setColumnCount(1);
  setUniformRowHeights(true);
  setRootIsDecorated(true);
  setExpandsOnDoubleClick(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  header()->setStretchLastSection(true);
  setItemDelegate(new RowDelegate(tree_, this));
  Rebuild();
}

QTreeWidgetItem* TreeWidget::ItemOf(const TTreeNode* node) const {
  auto it = items_.find(node);
  return it == items_.end() ? nullptr : it->second;
}

void TreeWidget::Refresh(TChange what) {
  switch (what) {
    case chNode: {
      TTreeNode* node = tree_.ChangedNode();
      QTreeWidgetItem* item = node != nullptr ? ItemOf(node) : nullptr;
      if (item == nullptr) {
        Rebuild();
      } else {
        UpdateItem(*node, *item);
      }
      return;
    }
    case chSelection: FollowSelection(); return;
    case chNodes:
    case chAppearance: Rebuild(); return;
    default: return;
  }
}

QIcon TreeWidget::IconFor(int index) {
  TImageList* images = tree_.Images();
  if (images == nullptr || index < 0 || index >= images->Count()) return {};
  auto it = icons_.find(index);
  if (it != icons_.end()) return it->second;
  const TBitmap& bitmap = images->Image(index);
  QImage image(bitmap.Width, bitmap.Height, QImage::Format_ARGB32);
  for (int y = 0; y < bitmap.Height; ++y)
    for (int x = 0; x < bitmap.Width; ++x)
      image.setPixel(x, y, bitmap.Pixels[static_cast<std::size_t>(y * bitmap.Width + x)]);
  QIcon icon(QPixmap::fromImage(image));
  icons_[index] = icon;
  return icon;
}

void TreeWidget::UpdateItem(const TTreeNode& node, QTreeWidgetItem& item) {
  const QString text = QString::fromStdString(node.Text());
  if (item.text(0) != text) item.setText(0, text);
  const int index = &node == tree_.Selected() ? node.SelectedIndex() : node.ImageIndex();
  const qint64 shown = item.data(0, Qt::UserRole + 1).isValid() ? item.data(0, Qt::UserRole + 1).toLongLong() : -2;
  if (shown != index) {
    item.setIcon(0, IconFor(index));
    item.setData(0, Qt::UserRole + 1, index);
  }
  if (item.isExpanded() != node.Expanded()) item.setExpanded(node.Expanded());
}

void TreeWidget::AddNodes(QTreeWidgetItem* parentItem, TTreeNode* node) {
  for (; node != nullptr; node = node->GetNextSibling()) {
    auto* item = parentItem != nullptr ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
    items_[node] = item;
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
    if (node->HasChildren()) AddNodes(item, node->GetFirstChild());
    UpdateItem(*node, *item);
  }
}

// Nodes were added or removed: the items are made again, the scroll
// position stays where it was.
void TreeWidget::Rebuild() {
  const int vertical = verticalScrollBar()->value();
  const int horizontal = horizontalScrollBar()->value();
  items_.clear();
  icons_.clear();
  clear();
  setIndentation(tree_.Indent());
  if (TImageList* images = tree_.Images()) setIconSize(QSize(images->Width(), images->Height()));
  AddNodes(nullptr, tree_.Items().GetFirstNode());
  FollowSelection();
  verticalScrollBar()->setValue(vertical);
  horizontalScrollBar()->setValue(horizontal);
}

void TreeWidget::FollowSelection() {
  QTreeWidgetItem* item = ItemOf(tree_.Selected());
  const QSignalBlocker block(this);
  if (item == nullptr) {
    clearSelection();
    return;
  }
  setCurrentItem(item);
  // The selected node may show another image than the others.
  for (auto& [node, shown] : items_) UpdateItem(*node, *shown);
}

QPoint TreeWidget::ModelPoint(QPoint pos) {
  const QPoint at = viewport()->mapFrom(this, pos);
  QTreeWidgetItem* item = itemAt(at);
  if (item == nullptr) {
    // Below the last row: a point below every row of the model too.
    int rows = 0;
    for (int i = 0; i < tree_.Items().Count(); ++i)
      if (tree_.Items()[i]->IsVisible()) ++rows;
    return {0, rows * tree_.RowHeight() + 1};
  }
  auto* node = reinterpret_cast<TTreeNode*>(item->data(0, Qt::UserRole).value<quintptr>());
  const TRect row = tree_.DisplayRect(node, false);
  const TRect label = tree_.DisplayRect(node, true);
  const TRect icon = tree_.IconRect(node);
  const int y = (row.Top + row.Bottom) / 2;
  const int level = node->Level(), indent = tree_.Indent();
  const QRect rect = visualItemRect(item);
  if (at.x() < rect.left()) {
    // Qt draws the expand button in the last indentation step, as the
    // model places it.
    if (at.x() >= rect.left() - indentation()) return {indent * (level + 1) - indent / 2, y};
    return {std::max(0, indent * level - indent / 2), y};
  }
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  option.rect = rect;
  option.text = item->text(0);
  option.icon = item->icon(0);
  option.features |= QStyleOptionViewItem::HasDisplay;
  if (!option.icon.isNull()) option.features |= QStyleOptionViewItem::HasDecoration;
  option.decorationSize = iconSize();
  const QRect textRect = style()->subElementRect(QStyle::SE_ItemViewItemText, &option, this);
  const int textEnd = textRect.left() + fontMetrics().horizontalAdvance(item->text(0)) + 2 * kTextMargin;
  if (tree_.Images() != nullptr && at.x() < textRect.left()) return {(icon.Left + icon.Right) / 2, y};
  if (at.x() < textEnd) return {(label.Left + label.Right) / 2, y};
  return {label.Right + 1, y};
}

}  // namespace qv::qt_detail

// The Qt face of a tree view: a QTreeWidget whose items mirror the model's
// nodes one to one, each with its state image from the tree's image list.
// A change of one node updates that node's item only; the tree is rebuilt
// (keeping its scroll position) only when nodes are added or removed.
// Internal to the Qt backend.
#pragma once

#include <QIcon>
#include <QTreeWidget>
#include <map>
#include <unordered_map>

#include "qvd3/platform/ui/tree_view.h"

namespace qv::qt_detail {

class TreeWidget : public QTreeWidget {
 public:
  TreeWidget(TTreeView& tree, QWidget* parent);

  // After a change of the tree: chNodes and chAppearance rebuild, chNode
  // updates TTreeView::ChangedNode(), chSelection moves the current item.
  void Refresh(TChange what);
  // Where a press at `pos` (in this widget's coordinates) lands, in the
  // model's own tree coordinates: on the icon, the label, the expand button
  // or the indentation of the node under it, beside its label, or below
  // the last node, so that the model's hit test gives the same answer.
  QPoint ModelPoint(QPoint pos);
  QTreeWidgetItem* ItemOf(const TTreeNode* node) const;

 private:
  void Rebuild();
  void AddNodes(QTreeWidgetItem* parentItem, TTreeNode* first);
  void UpdateItem(const TTreeNode& node, QTreeWidgetItem& item);
  void FollowSelection();
  QIcon IconFor(int index);

  TTreeView& tree_;
  std::unordered_map<const TTreeNode*, QTreeWidgetItem*> items_;
  std::map<int, QIcon> icons_;
};

}  // namespace qv::qt_detail

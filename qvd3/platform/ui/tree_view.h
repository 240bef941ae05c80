// The tree view and its nodes, and the image list whose pictures the tree
// (and other controls) show by index.
//
// Geometry used by hit tests: rows are the visible nodes (those whose
// ancestors are all expanded) in tree order, RowHeight pixels each from
// y = 0 (no scrolling). In a row of a node at level L (top level 0) the
// first Indent * (L + 1) pixels hold the indentation and the expand button,
// then, when the tree has Images, the node's icon (the image list's width),
// then the label: 4 pixels of padding, 7 pixels per character, 4 pixels of
// padding. A backend reports presses in these coordinates (DisplayRect gives
// a node's rectangles for that mapping).
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/platform/ui/controls.h"

namespace qv {

class TTreeView;
class TTreeNodes;

// A picture: Width x Height pixels, row by row, each 0xAARRGGBB (alpha 0 is
// transparent).
struct TBitmap {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Pixels;
};

class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner) : TComponent(owner) {}
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int v) { width_ = v; }
  void SetHeight(int v) { height_ = v; }
  int Count() const { return static_cast<int>(images_.size()); }
  // Appends a picture and returns its index.
  int Add(TBitmap image);
  // A picture filled with one colour (0xAARRGGBB), of the list's size.
  int AddSolid(std::uint32_t argb);
  // Raises ERangeError outside 0..Count-1.
  const TBitmap& Image(int index) const;
  void Clear();

 private:
  int width_ = 16;
  int height_ = 16;
  std::vector<TBitmap> images_;
};

class TTreeNode {
 public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;
  ~TTreeNode();

  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  // Data belonging to the node (e.g. a component name or an id); it lives
  // and dies with the node.
  std::any Data;
  int ImageIndex() const { return image_index_; }
  void SetImageIndex(int v);
  int SelectedIndex() const { return selected_index_; }
  void SetSelectedIndex(int v);

  TTreeNode* Parent() const { return parent_; }
  int Count() const { return static_cast<int>(children_.size()); }
  bool HasChildren() const { return !children_.empty(); }
  // Raises ERangeError outside 0..Count-1.
  TTreeNode* Item(int index) const;
  TTreeNode* GetFirstChild() const { return children_.empty() ? nullptr : children_.front().get(); }
  // The next node in tree order (first child, else next sibling, else the
  // next sibling of the nearest ancestor that has one), or nullptr.
  TTreeNode* GetNext() const;
  TTreeNode* GetNextSibling() const;
  // 0 for top-level nodes.
  int Level() const;
  // Position among the parent's children.
  int Index() const;
  // Position in tree order over the whole tree (0 is the first top node).
  int AbsoluteIndex() const;
  TTreeView* TreeView() const { return tree_; }

  bool Expanded() const { return expanded_; }
  void SetExpanded(bool v);
  void Expand(bool recursive);
  void Collapse(bool recursive);
  // True when every ancestor is expanded (the node has a row).
  bool IsVisible() const;
  // Removes the node and its subtree from the tree and destroys them.
  void Delete();

 private:
  friend class TTreeNodes;
  friend class TTreeView;
  TTreeNode(TTreeView* tree, TTreeNode* parent, std::string text);
  void Changed();

  TTreeView* tree_;
  TTreeNode* parent_;
  std::string text_;
  int image_index_ = -1;
  int selected_index_ = -1;
  bool expanded_ = false;
  std::vector<std::unique_ptr<TTreeNode>> children_;
};

// All nodes of one tree. Count and Item work over the whole tree in tree
// order (absolute indexes).
class TTreeNodes {
 public:
  int Count() const;
  // Raises ERangeError outside 0..Count-1.
  TTreeNode* Item(int absoluteIndex) const;
  TTreeNode* operator[](int absoluteIndex) const { return Item(absoluteIndex); }
  TTreeNode* GetFirstNode() const;
  // Adds a node after the last sibling of `sibling` (a top-level node when
  // sibling is nullptr).
  TTreeNode* Add(TTreeNode* sibling, const std::string& text);
  // Adds a node as the last child of `parent` (top level when nullptr).
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
  TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, std::any data);
  void Clear();

 private:
  friend class TTreeView;
  friend class TTreeNode;
  explicit TTreeNodes(TTreeView* tree) : tree_(tree) {}
  void Invalidate() const { flat_valid_ = false; }
  const std::vector<TTreeNode*>& Flat() const;

  TTreeView* tree_;
  std::vector<std::unique_ptr<TTreeNode>> roots_;
  mutable std::vector<TTreeNode*> flat_;
  mutable bool flat_valid_ = true;
};

enum THitTest { htAbove, htBelow, htNowhere, htOnItem, htOnButton, htOnIcon, htOnIndent,
                htOnLabel, htOnRight, htToLeft, htToRight };
using THitTests = TSet<THitTest>;

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

class TTreeView : public TControl {
 public:
  explicit TTreeView(TComponent* owner);
  ~TTreeView() override;

  TTreeNodes& Items() { return nodes_; }
  const TTreeNodes& Items() const { return nodes_; }

  TTreeNode* Selected() const { return selected_; }
  // Runs OnChange when the selection changes.
  void SetSelected(TTreeNode* node);

  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  int Indent() const { return indent_; }
  void SetIndent(int v) { indent_ = v; Invalidate(); }
  int RowHeight() const { return row_height_; }
  void SetRowHeight(int v) { row_height_ = v > 0 ? v : 1; Invalidate(); }
  // The person cannot edit labels.
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v) { read_only_ = v; }

  void FullExpand();
  void FullCollapse();

  // The node whose row contains y (whatever x is within the row), or nullptr.
  TTreeNode* GetNodeAt(int x, int y) const;
  // Where (x, y) lies: htOnLabel / htOnIcon / htOnButton / htOnIndent /
  // htOnRight of a row (htOnItem is added for label and icon), htNowhere
  // below the last row, htAbove / htToLeft for negative coordinates.
  THitTests GetHitTestInfoAt(int x, int y) const;
  // The rectangle of the node's row, or with textOnly of its label; an
  // empty rectangle when the node has no row.
  TRect DisplayRect(const TTreeNode* node, bool textOnly) const;

  // Asks the backend to redraw the nodes.
  void Invalidate() { NotifyPeer(chNodes); }
  // While the backend is told of one node's change (chNode): that node.
  TTreeNode* ChangedNode() const { return changed_node_; }
  // The rectangle of the node's icon (empty without Images or row).
  TRect IconRect(const TTreeNode* node) const;

  TMouseEvent OnMouseDown;
  // The selected node changed.
  TNotifyEvent OnChange;

  // The person pressed a mouse button at (x, y): the tree takes the focus,
  // the node under a label or icon becomes selected, then OnMouseDown runs.
  void MouseDownByPerson(TMouseButton button, TShiftState shift, int x, int y);

  bool AcceptsFocus() const override { return true; }

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TTreeNode;
  friend class TTreeNodes;
  void NodeRemoving(TTreeNode* node);
  void NodeChanged(TTreeNode* node);
  int RowOf(const TTreeNode* node) const;
  int LabelLeft(const TTreeNode* node) const;

  TTreeNodes nodes_;
  TTreeNode* selected_ = nullptr;
  TTreeNode* changed_node_ = nullptr;
  TImageList* images_ = nullptr;
  int indent_ = 19;
  int row_height_ = 18;
  bool read_only_ = false;
};

}  // namespace qv

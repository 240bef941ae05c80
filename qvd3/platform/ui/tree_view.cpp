#include "qvd3/platform/ui/tree_view.h"

#include <algorithm>

#include "qvd3/platform/ui/code_points.h"

namespace qv {

namespace {
constexpr int kLabelPadding = 4;
constexpr int kCharWidth = 7;

[[noreturn]] void OutOfBounds(const char* what, int index) {
  throw ERangeError(std::string(what) + " index out of bounds (" + std::to_string(index) + ")");
}
}  // namespace

// ---- TImageList ----

int TImageList::Add(TBitmap image) {
  images_.push_back(std::move(image));
  return Count() - 1;
}

int TImageList::AddSolid(std::uint32_t argb) {
  TBitmap image;
  image.Width = width_;
  image.Height = height_;
  image.Pixels.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), argb);
  return Add(std::move(image));
}

const TBitmap& TImageList::Image(int index) const {
  if (index < 0 || index >= Count()) OutOfBounds("Image", index);
  return images_[static_cast<std::size_t>(index)];
}

void TImageList::Clear() { images_.clear(); }

// ---- TTreeNode ----

TTreeNode::TTreeNode(TTreeView* tree, TTreeNode* parent, std::string text)
    : tree_(tree), parent_(parent), text_(std::move(text)) {}

TTreeNode::~TTreeNode() = default;

void TTreeNode::Changed() { tree_->NodeChanged(this); }

void TTreeNode::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Changed();
}

void TTreeNode::SetImageIndex(int v) {
  if (v == image_index_) return;
  image_index_ = v;
  Changed();
}

void TTreeNode::SetSelectedIndex(int v) {
  if (v == selected_index_) return;
  selected_index_ = v;
  Changed();
}

TTreeNode* TTreeNode::Item(int index) const {
  if (index < 0 || index >= Count()) OutOfBounds("Tree node", index);
  return children_[static_cast<std::size_t>(index)].get();
}

TTreeNode* TTreeNode::GetNextSibling() const {
  const auto& siblings = parent_ != nullptr ? parent_->children_ : tree_->nodes_.roots_;
  int i = Index();
  return i + 1 < static_cast<int>(siblings.size()) ? siblings[static_cast<std::size_t>(i + 1)].get() : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
  if (!children_.empty()) return children_.front().get();
  for (const TTreeNode* n = this; n != nullptr; n = n->parent_)
    if (TTreeNode* sibling = n->GetNextSibling()) return sibling;
  return nullptr;
}

int TTreeNode::Level() const {
  int level = 0;
  for (const TTreeNode* n = parent_; n != nullptr; n = n->parent_) ++level;
  return level;
}

int TTreeNode::Index() const {
  const auto& siblings = parent_ != nullptr ? parent_->children_ : tree_->nodes_.roots_;
  for (std::size_t i = 0; i < siblings.size(); ++i)
    if (siblings[i].get() == this) return static_cast<int>(i);
  return -1;
}

int TTreeNode::AbsoluteIndex() const {
  const auto& flat = tree_->nodes_.Flat();
  return static_cast<int>(std::find(flat.begin(), flat.end(), this) - flat.begin());
}

void TTreeNode::SetExpanded(bool v) {
  if (v == expanded_) return;
  expanded_ = v;
  Changed();
}

void TTreeNode::Expand(bool recursive) {
  SetExpanded(true);
  if (recursive)
    for (auto& child : children_) child->Expand(true);
}

void TTreeNode::Collapse(bool recursive) {
  SetExpanded(false);
  if (recursive)
    for (auto& child : children_) child->Collapse(true);
}

bool TTreeNode::IsVisible() const {
  for (const TTreeNode* n = parent_; n != nullptr; n = n->parent_)
    if (!n->expanded_) return false;
  return true;
}

void TTreeNode::Delete() {
  TTreeView* tree = tree_;
  tree->NodeRemoving(this);
  auto& siblings = parent_ != nullptr ? parent_->children_ : tree->nodes_.roots_;
  auto it = std::find_if(siblings.begin(), siblings.end(), [this](const auto& p) { return p.get() == this; });
  std::unique_ptr<TTreeNode> self = std::move(*it);
  siblings.erase(it);
  tree->nodes_.Invalidate();
  tree->Invalidate();
  // `self` destroys this node and its subtree here.
}

// ---- TTreeNodes ----

const std::vector<TTreeNode*>& TTreeNodes::Flat() const {
  if (!flat_valid_) {
    flat_.clear();
    for (TTreeNode* n = GetFirstNode(); n != nullptr; n = n->GetNext()) flat_.push_back(n);
    flat_valid_ = true;
  }
  return flat_;
}

int TTreeNodes::Count() const { return static_cast<int>(Flat().size()); }

TTreeNode* TTreeNodes::Item(int absoluteIndex) const {
  const auto& flat = Flat();
  if (absoluteIndex < 0 || absoluteIndex >= static_cast<int>(flat.size())) OutOfBounds("Tree node", absoluteIndex);
  return flat[static_cast<std::size_t>(absoluteIndex)];
}

TTreeNode* TTreeNodes::GetFirstNode() const { return roots_.empty() ? nullptr : roots_.front().get(); }

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const std::string& text) {
  return AddChild(sibling != nullptr ? sibling->Parent() : nullptr, text);
}

TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
  auto& list = parent != nullptr ? parent->children_ : roots_;
  list.push_back(std::unique_ptr<TTreeNode>(new TTreeNode(tree_, parent, text)));
  Invalidate();
  tree_->Invalidate();
  return list.back().get();
}

TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const std::string& text, std::any data) {
  TTreeNode* node = AddChild(parent, text);
  node->Data = std::move(data);
  return node;
}

void TTreeNodes::Clear() {
  if (roots_.empty()) return;
  tree_->SetSelected(nullptr);
  roots_.clear();
  Invalidate();
  tree_->Invalidate();
}

// ---- TTreeView ----

TTreeView::TTreeView(TComponent* owner) : TControl(owner), nodes_(this) { SetTabStop(true); }

TTreeView::~TTreeView() {
  selected_ = nullptr;
  nodes_.roots_.clear();
}

void TTreeView::SetSelected(TTreeNode* node) {
  if (node == selected_) return;
  selected_ = node;
  NotifyPeer(chSelection);
  if (OnChange && !Destroying()) OnChange(*this);
}

void TTreeView::NodeChanged(TTreeNode* node) {
  TTreeNode* outer = changed_node_;
  changed_node_ = node;
  struct Restore {
    TTreeNode*& slot;
    TTreeNode* value;
    ~Restore() { slot = value; }
  } restore{changed_node_, outer};
  NotifyPeer(chNode);
}

void TTreeView::NodeRemoving(TTreeNode* node) {
  for (TTreeNode* n = selected_; n != nullptr; n = n->Parent())
    if (n == node) {
      SetSelected(nullptr);
      break;
    }
}

void TTreeView::SetImages(TImageList* images) {
  if (images == images_) return;
  if (images_ != nullptr) RemoveFreeNotification(images_);
  images_ = images;
  if (images_ != nullptr) FreeNotification(images_);
  Invalidate();
}

void TTreeView::Notification(TComponent* component, TOperation operation) {
  TControl::Notification(component, operation);
  if (operation == opRemove && component == images_) images_ = nullptr;
}

void TTreeView::FullExpand() {
  for (auto& root : nodes_.roots_) root->Expand(true);
}

void TTreeView::FullCollapse() {
  for (auto& root : nodes_.roots_) root->Collapse(true);
}

// The row of a node among the visible rows, or -1 when it has none.
int TTreeView::RowOf(const TTreeNode* node) const {
  if (node == nullptr || !node->IsVisible()) return -1;
  int row = 0;
  for (TTreeNode* n : nodes_.Flat()) {
    if (n == node) return row;
    if (n->IsVisible()) ++row;
  }
  return -1;
}

int TTreeView::LabelLeft(const TTreeNode* node) const {
  int x = indent_ * (node->Level() + 1);
  if (images_ != nullptr) x += images_->Width();
  return x;
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
  (void)x;
  if (y < 0) return nullptr;
  int wanted = y / row_height_;
  int row = 0;
  for (TTreeNode* n : nodes_.Flat()) {
    if (!n->IsVisible()) continue;
    if (row == wanted) return n;
    ++row;
  }
  return nullptr;
}

TRect TTreeView::DisplayRect(const TTreeNode* node, bool textOnly) const {
  int row = RowOf(node);
  if (row < 0) return {};
  TRect r{0, row * row_height_, Width(), (row + 1) * row_height_};
  if (textOnly) {
    r.Left = LabelLeft(node);
    int chars = static_cast<int>(ui_detail::ToCodePoints(node->Text()).size());
    r.Right = r.Left + 2 * kLabelPadding + kCharWidth * chars;
  }
  return r;
}

TRect TTreeView::IconRect(const TTreeNode* node) const {
  int row = RowOf(node);
  if (row < 0 || images_ == nullptr) return {};
  const int right = LabelLeft(node);
  return {right - images_->Width(), row * row_height_, right, (row + 1) * row_height_};
}

THitTests TTreeView::GetHitTestInfoAt(int x, int y) const {
  if (y < 0) return {htAbove};
  if (x < 0) return {htToLeft};
  TTreeNode* node = GetNodeAt(x, y);
  if (node == nullptr) return {htNowhere};
  int indentEnd = indent_ * (node->Level() + 1);
  int labelLeft = LabelLeft(node);
  if (x < indentEnd) {
    // The expand button sits in the last indentation step.
    if (node->HasChildren() && x >= indentEnd - indent_) return {htOnButton};
    return {htOnIndent};
  }
  if (x < labelLeft) return {htOnIcon, htOnItem};
  if (x < DisplayRect(node, true).Right) return {htOnLabel, htOnItem};
  return {htOnRight};
}

void TTreeView::MouseDownByPerson(TMouseButton button, TShiftState shift, int x, int y) {
  if (!FocusForPerson()) return;
  THitTests hit = GetHitTestInfoAt(x, y);
  if (hit.Contains(htOnItem)) SetSelected(GetNodeAt(x, y));
  if (hit.Contains(htOnButton))
    if (TTreeNode* node = GetNodeAt(x, y)) node->SetExpanded(!node->Expanded());
  if (OnMouseDown) OnMouseDown(*this, button, shift, x, y);
}

}  // namespace qv

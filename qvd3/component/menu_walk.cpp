#include "qvd3/component/menu_walk.h"

namespace qv {

namespace {

// Visits the sub-items of `parent` (which sits at level - 1), each followed
// by its own sub-items. Below the top level a separator and its subtree are
// never visited.
void WalkSubItems(const TMenuItem& parent, int level, const TMenuVisitor& visit) {
  for (int i = 0; i < parent.Count(); ++i) {
    TMenuItem& item = *parent.Items(i);
    if (item.IsLine()) continue;
    visit(item, level);
    WalkSubItems(item, level + 1, visit);
  }
}

}  // namespace

void WalkMenu(const TMainMenu& menu, const TMenuVisitor& visit) {
  const TMenuItem& root = *menu.Items();
  for (int i = 0; i < root.Count(); ++i) {
    TMenuItem& item = *root.Items(i);
    visit(item, 0);
    WalkSubItems(item, 1, visit);
  }
}

std::string CleanMenuCaption(const std::string& caption) {
  std::string cleaned;
  cleaned.reserve(caption.size());
  for (char c : caption)
    if (c != '&' && c != '.') cleaned += c;
  return cleaned;
}

}  // namespace qv

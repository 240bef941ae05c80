// The one walk over a main menu that the rights, the hooking of menu
// commands and the access tree share, and the caption form the catalogue
// stores.
#pragma once

#include <functional>
#include <string>

#include "qvd3/platform/ui/menus.h"

namespace qv {

// Visits the items of `menu`: the top-level items in order, each item's
// sub-items depth first right after the item itself. At the top level every
// item is taken; below it an item captioned exactly "-" (a separator) is
// skipped together with everything under it. `level` is 0 for top-level
// items, 1 for their sub-items, and so on. `visit` must not add or remove
// items of the menu.
using TMenuVisitor = std::function<void(TMenuItem& item, int level)>;
void WalkMenu(const TMainMenu& menu, const TMenuVisitor& visit);

// The caption of a menu item as the catalogue and the administrator see it:
// every "&" removed, then every "." removed ("&Relatórios..." becomes
// "Relatórios").
std::string CleanMenuCaption(const std::string& caption);

}  // namespace qv

// Applying the logged-in user's rights to the host's menu.
//
// The rights are read in one statement for the user logging in (see
// ReadStoredRights) and turned into a plan, a decision for every item of the
// menu, before the login changes anything; applying the plan only sets the
// items' Enabled and Visible and cannot fail half way. So a login whose
// rights cannot be read changes nothing, and the cost of a login grows with
// the menu and the user's own rights, never with the whole rights table.
#include "qvd3/component/menu_walk.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/component/user.h"
#include "qvd3/data/stored_account.h"

namespace qv {

bool IsBuiltInAdministrator(const std::string& userName) { return userName == "master"; }

// Every item the user may use is enabled and visible; an item the user may
// not use is disabled and, depending on the profile, left visible or
// hidden. Items the host had hidden become visible when they are allowed.
// Sub-items are judged one by one whatever happened to their parent;
// separators below the top level are left as they are (the walk skips
// them). "master" may use every item. An item without a catalogue row or
// without a rights row of the user is refused.
TQuarvel::TRightsPlan TQuarvel::PlanRights(const TUser& user, const StoredAccount& account,
                                           const std::unordered_map<std::string, bool>* knownRights) {
  TRightsPlan plan;
  if (FMenu == nullptr) return plan;
  const bool isMaster = IsBuiltInAdministrator(user.FUserName);
  std::unordered_map<std::string, bool> rights;
  if (!isMaster) rights = knownRights ? *knownRights : ReadStoredRights(FDatabaseName, FAppKey, user.FUserID);
  // Only a profile whose HIDE_DISABLE_MENU is 1 hides refused items; a user
  // whose profile does not exist has them hidden too.
  const bool refusedVisible =
      account.Profile && (!account.Profile->HideDisableMenu || *account.Profile->HideDisableMenu != 1);
  WalkMenu(*FMenu, [&](TMenuItem& item, int /*level*/) {
    bool allowed = isMaster;
    if (!allowed) {
      const auto right = rights.find(item.Name());
      allowed = right != rights.end() && right->second;
    }
    plan.push_back({&item, allowed, allowed || refusedVisible});
  });
  return plan;
}

void TQuarvel::ApplyRights(const TRightsPlan& plan) {
  for (const TItemDecision& decision : plan) {
    decision.Item->SetEnabled(decision.Enabled);
    decision.Item->SetVisible(decision.Visible);
  }
}

}  // namespace qv

// Applying the logged-in user's rights to the host's menu.
//
// Every lookup here is a keyed Lookup on the open datasets, served by the
// datasets' hash indexes, so applying the rights costs a constant amount per
// menu item whatever the size of the rights table. Lookup never moves a
// cursor: qryProgs, qryProfiles and qryUAccess keep their current rows, with
// one exception: a qryUAccess left filtered is read unfiltered and then
// filtered again, which puts its cursor on its first visible row (see
// UnfilteredRights).
#include <optional>

#include "qvd3/component/menu_walk.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/component/user.h"
#include "qvd3/platform/db/query.h"

namespace qv {

namespace {

const char* const kMaster = "master";

// The rights are read from every UACCESS row of the application, but the
// administration window may have left qryUAccess filtered to one user or
// profile. While this guard lives the filter is off; afterwards it is put
// back on, which re-evaluates the rows and leaves the cursor on the first
// visible one (the only cursor move of the rights application, and only
// when the dataset was filtered).
class UnfilteredRights {
 public:
  explicit UnfilteredRights(TDataSet& rights) : rights_(rights), was_filtered_(rights.Filtered()) {
    if (was_filtered_) rights_.SetFiltered(false);
  }
  // Puts the filter back; errors propagate.
  void Restore() {
    if (!was_filtered_) return;
    was_filtered_ = false;
    rights_.SetFiltered(true);
  }
  // Reached with the filter still off only while an error unwinds: the
  // filter is put back on a best-effort basis, since a second error must not
  // replace the one already on its way to the caller.
  ~UnfilteredRights() {
    if (!was_filtered_) return;
    try {
      rights_.SetFiltered(true);
    } catch (...) {
    }
  }
  UnfilteredRights(const UnfilteredRights&) = delete;
  UnfilteredRights& operator=(const UnfilteredRights&) = delete;

 private:
  TDataSet& rights_;
  bool was_filtered_;
};

}  // namespace

// Enables every item the user may use; an item the user may not use is
// disabled and, depending on the profile, left visible or hidden. Items the
// host had hidden become visible when they are allowed. Sub-items are judged
// one by one whatever happened to their parent; separators below the top
// level are left as they are (the walk skips them).
void TQuarvel::ApplyRights() {
  if (FMenu == nullptr || !FUser) return;
  const bool isMaster = FUser->FUserName == kMaster;
  UnfilteredRights unfiltered(*qryUAccess);
  // The profile answer is the same for every item: ask once, when needed.
  std::optional<bool> disallowedVisible;
  WalkMenu(*FMenu, [&](TMenuItem& item, int /*level*/) {
    const bool allowed = isMaster || IsAuthorized(item.Name());
    item.SetEnabled(allowed);
    if (allowed) {
      item.SetVisible(true);
      return;
    }
    if (!disallowedVisible) disallowedVisible = UnauthorizedVisible();
    item.SetVisible(*disallowedVisible);
  });
  unfiltered.Restore();
}

// The user's own right to the item named `menuName` (exact name): the
// catalogue row of the item, then the user's rights row for it, granting
// only when AUTHORIZED is "1". A missing row of either kind refuses. Reads
// qryUAccess unfiltered.
bool TQuarvel::IsAuthorized(const std::string& menuName) {
  UnfilteredRights unfiltered(*qryUAccess);
  bool authorized = false;
  const Value menuId = qryProgs->Lookup("MENU_NAME", {Value(menuName)}, "MENU_ID");
  if (!menuId.IsNull())
    authorized = qryUAccess->Lookup("MENU_ID;USER_ID", {menuId, Value(FUser->FUserID)}, "AUTHORIZED")
                     .AsString() == "1";
  unfiltered.Restore();
  return authorized;
}

// Whether an item the user may not use stays visible (disabled): only a
// profile whose HIDE_DISABLE_MENU is 1 hides such items, and a user whose
// profile does not exist has them hidden too.
bool TQuarvel::UnauthorizedVisible() {
  const Value profileId = Value(FUser->FProfileID);
  // Looked up by its own key so that a found profile with a null setting is
  // told apart from a missing profile.
  if (qryProfiles->Lookup("PROF_ID", {profileId}, "PROF_ID").IsNull()) return false;
  const Value hide = qryProfiles->Lookup("PROF_ID", {profileId}, "HIDE_DISABLE_MENU");
  return hide.IsNull() || hide.AsInteger() != 1;
}

}  // namespace qv

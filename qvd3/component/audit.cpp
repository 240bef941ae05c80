// Auditing of menu commands: at start-up the component takes over the click
// handler of every menu item that has one; its interceptor runs the host's
// command between two readings of the clock and, for an audited user, writes
// one AUDIT row afterwards.
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "qvd3/component/date_format.h"
#include "qvd3/component/menu_walk.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/component/user.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {

namespace {

// The six values in the table's column order. The values are bound, so a
// quote in the application key or the computer name is stored as data.
const char* const kInsertAudit =
    "Insert into Audit values (:APP_KEY, :USER_ID, :PROG_ID, :START_SESSION, :END_SESSION, "
    ":COMPUTER_NAME)";

// Width of AUDIT.COMPUTER_NAME: a longer network name is cut to it, as a
// dataset field would cut it, instead of being refused by the engine.
constexpr std::size_t kComputerNameWidth = 30;

// Up to `wanted` entries of the table that no component has taken, in
// index order.
std::vector<int> FreeHandlerSlots(int wanted) {
  std::vector<int> free;
  for (int slot = 1; slot <= TMenuHandlerTable::kSize && static_cast<int>(free.size()) < wanted; ++slot) {
    const TMenuHandler& entry = MenuHandlers[slot];
    if (entry.MenuName.empty() && !entry.OnClick && entry.Owner == nullptr) free.push_back(slot);
  }
  return free;
}

}  // namespace

// Records the item's command in entry `slot` as this instance's and puts the
// interceptor in its place.
void TQuarvel::Intercept(TMenuItem& item, int slot) {
  TMenuHandler& entry = MenuHandlers[slot];
  entry.MenuName = item.Name();
  entry.OnClick = std::move(item.OnClick);
  entry.Owner = this;
  item.OnClick = AuditInterceptor{this};
  FHookedSlots[&item] = slot;
}

// Records, in menu-walk order, every item that has a click handler in the
// free entries of the table (those of other components stay as they are),
// and installs the interceptor in its place. The items are counted first, so
// a menu with more commands than the table has free entries fails with
// ERangeError before any item is changed or any entry written. Items without
// a Name are left alone: the interceptor finds its command by the item's
// name, and nameless items could not be told apart.
void TQuarvel::HookMenuItems() {
  UnhookMenuItems();
  if (FMenu == nullptr) return;
  int commands = 0;
  WalkMenu(*FMenu, [&](TMenuItem& item, int /*level*/) {
    if (item.OnClick && !item.Name().empty()) ++commands;
  });
  const std::vector<int> free = FreeHandlerSlots(commands);
  if (commands > static_cast<int>(free.size()))
    throw ERangeError("Too many menu commands: the menu has " + std::to_string(commands) +
                      " items with a click handler, at most " +
                      std::to_string(TMenuHandlerTable::kSize) + " can be audited (" +
                      std::to_string(free.size()) + " entries are free)");

  auto next = free.begin();
  WalkMenu(*FMenu, [&](TMenuItem& item, int /*level*/) {
    if (!item.OnClick || item.Name().empty()) return;
    const int slot = *next++;
    Intercept(item, slot);
  });
  FMenuHooked = true;
}

// Takes over the commands the host added or re-wired since the last hooking:
// an item with a click handler that is not this instance's interceptor (a
// new item, or one whose handler the host replaced) gets its handler
// recorded, in the entry it had or a free one, and the interceptor in its
// place. Items already intercepted are left alone. Counts first, like
// HookMenuItems, so a table too small changes nothing.
void TQuarvel::HookLateMenuItems() {
  if (FMenu == nullptr) return;
  auto isLate = [this](const TMenuItem& item) {
    if (!item.OnClick || item.Name().empty()) return false;
    const AuditInterceptor* ours = item.OnClick.target<AuditInterceptor>();
    return ours == nullptr || ours->Self != this;
  };
  auto ownSlot = [this](const TMenuItem& item) {
    const auto hooked = FHookedSlots.find(&item);
    if (hooked == FHookedSlots.end()) return 0;
    const TMenuHandler& entry = MenuHandlers[hooked->second];
    return entry.Owner == this && entry.MenuName == item.Name() ? hooked->second : 0;
  };
  int needed = 0;
  WalkMenu(*FMenu, [&](TMenuItem& item, int /*level*/) {
    if (isLate(item) && ownSlot(item) == 0) ++needed;
  });
  const std::vector<int> free = FreeHandlerSlots(needed);
  if (needed > static_cast<int>(free.size()))
    throw ERangeError("Too many menu commands: " + std::to_string(needed) +
                      " commands were added to the menu, and the table of at most " +
                      std::to_string(TMenuHandlerTable::kSize) + " audited commands is full");

  auto next = free.begin();
  WalkMenu(*FMenu, [&](TMenuItem& item, int /*level*/) {
    if (!isLate(item)) return;
    int slot = ownSlot(item);
    if (slot == 0) slot = *next++;
    Intercept(item, slot);
  });
}

// Undoes HookMenuItems: every item of the menu that this instance took over
// gets the handler recorded for it back, and every entry this instance
// filled is emptied, also when its menu is gone already. Without it a menu
// that outlives the component would call an interceptor of a destroyed
// object, a second hooking would record the interceptor as the host's
// command, and the entries would stay taken. An entry whose name no longer
// matches the item (the table was refilled since) gives nothing back.
void TQuarvel::UnhookMenuItems() {
  if (FMenu != nullptr && !FHookedSlots.empty()) {
    WalkMenu(*FMenu, [this](TMenuItem& item, int /*level*/) {
      const auto hooked = FHookedSlots.find(&item);
      if (hooked == FHookedSlots.end()) return;
      TMenuHandler& entry = MenuHandlers[hooked->second];
      if (entry.Owner != this || entry.MenuName != item.Name()) return;
      item.OnClick = std::move(entry.OnClick);
      entry = TMenuHandler{};
    });
  }
  for (int slot = 1; slot <= TMenuHandlerTable::kSize; ++slot)
    if (MenuHandlers[slot].Owner == this) MenuHandlers[slot] = TMenuHandler{};
  FHookedSlots.clear();
  FMenuHooked = false;
}

// The interceptor. Finds the first command of the clicked item's name that
// this instance recorded, runs it with the item as sender and, when the
// user logged in to this instance at that moment is audited, writes the
// row. An error of the command propagates unchanged and leaves no row. The
// item is not touched once the command has run: the command may have
// destroyed it, and with it the form and this component. Whether this
// instance survived is told by a token it owns; when it did not, the row is
// written from what was known before the command ran (the user then logged
// in, if audited), so a command cannot escape its audit row by freeing its
// guard.
void TQuarvel::AuditedClick(TObject& sender) {
  auto* item = dynamic_cast<TMenuItem*>(&sender);
  if (item == nullptr || !item->OnClick) return;
  for (int slot = 1; slot <= TMenuHandlerTable::kSize; ++slot) {
    const TMenuHandler& entry = MenuHandlers[slot];
    if (entry.Owner != this || !entry.OnClick || entry.MenuName != item->Name()) continue;
    // Copies: the command may re-read the form and refill the table.
    const std::string menuName = entry.MenuName;
    const TNotifyEvent command = entry.OnClick;
    std::optional<TAuditRow> before;
    if (FUser && FUser->GetAuditMode()) before = AuditRowFor(menuName);
    const std::weak_ptr<const bool> alive = FAlive;

    const TDateTime start = Now();
    command(sender);
    const TDateTime end = Now();

    if (alive.expired()) {
      if (before) WriteAuditRow(*before, start, end);
    } else if (FUser && FUser->GetAuditMode()) {
      WriteOwnAuditRow(AuditRowFor(menuName), start, end);
    }
    return;
  }
}

// The row's values that do not depend on the clock: the application, the
// logged-in user and the item's MENU_ID in the catalogue, or 0 for an item
// the catalogue does not know yet (only "master" can use those). The
// catalogue lookup leaves qryProgs's cursor where it was.
TQuarvel::TAuditRow TQuarvel::AuditRowFor(const std::string& menuName) {
  const Value menuId = qryProgs->Lookup("MENU_NAME", {Value(menuName)}, "MENU_ID");
  const int menuIdOrZero = menuId.IsNull() ? 0 : static_cast<int>(menuId.AsInteger());
  return TAuditRow{FDatabaseName, FAppKey, FUser->FUserID, menuIdOrZero};
}

// Inserts one AUDIT row. The time stamps are written as date-time text
// under the normalised date pattern; the pattern is restored also when the
// insert fails, and the error propagates. Needs nothing of the component,
// which may be gone. The statement is kept from click to click (one per
// thread, holding no rows and no connection), so that a click neither
// builds it nor translates its text again; every parameter is set anew, so
// nothing carries over from the click before, a failed one included.
void TQuarvel::WriteAuditRow(const TAuditRow& row, TDateTime start, TDateTime end) {
  thread_local TQuery insert;
  if (insert.SQL() != kInsertAudit) insert.SetSQL(kInsertAudit);
  insert.SetDatabaseName(row.DatabaseName);
  insert.ParamByName("APP_KEY").SetAsString(row.AppKey);
  insert.ParamByName("USER_ID").SetAsInteger(row.UserID);
  insert.ParamByName("PROG_ID").SetAsInteger(row.MenuID);
  {
    ScopedNormalizedDateFormat normalized;
    insert.ParamByName("START_SESSION").SetAsString(DateTimeToStr(start));
    insert.ParamByName("END_SESSION").SetAsString(DateTimeToStr(end));
  }
  insert.ParamByName("COMPUTER_NAME").SetAsString(Utf8Truncate(ComputerName, kComputerNameWidth));
  insert.ExecSQL();
}

// On a secured database the server refuses a row whose user is not the one
// bound to the connection. When that binding was lost with the connection,
// the refusal is no fault of the row: the component counts as nobody
// logged in and says so. Any other failure propagates as it came. The
// binding is asked for only after a failure, so a click costs no extra
// round trip.
void TQuarvel::WriteOwnAuditRow(const TAuditRow& row, TDateTime start, TDateTime end) {
  try {
    WriteAuditRow(row, start, end);
  } catch (const Exception&) {
    if (!FSecured) throw;
    const std::exception_ptr refusal = std::current_exception();
    bool lost = false;
    try {
      lost = ServerForgotUser();
    } catch (const Exception&) {
      std::rethrow_exception(refusal);
    }
    if (!lost) std::rethrow_exception(refusal);
  }
}

}  // namespace qv

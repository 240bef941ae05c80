// The audit page of the administration window: the audit trail of the
// application by user and by program, within a period of days, through a
// record filter of qryAudit installed while the page is in use; and the
// deletion of the rows selected.
//
// The filter compares time stamps read from their text under the date
// pattern in force (normalised while the window exists). qryAudit derives
// each row's two stamps once (cached fields), so re-evaluating the filter
// over the whole trail parses nothing again. A stamp that cannot be read
// (written by another program or under another pattern) is not shown and
// raises nothing.
#include <string>

#include "qvd3/admin/admin_layout.h"
#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/ui/application.h"

namespace qv {

using admin::FlatButton;
using admin::Place;

namespace {

// One sub-page's controls, which differ only in their names, selector and
// first grid column.
struct AuditBarNames {
  const char* bar;
  const char* label;
  const char* selector;
  const char* navigator;
  const char* deleteButton;
  const char* period;
  const char* fromLabel;
  const char* from;
  const char* toLabel;
  const char* to;
};

}  // namespace

void TUsersAdministration::BuildAuditPage() {
  TDataSource* audit = Users ? &Users->dsAudit : nullptr;

  pcAudit = admin::PlaceAligned<TPageControl>(this, tsAudit, "pcAudit", alClient);
  tsAudUsers = admin::AddPage(this, pcAudit, "tsAudUsers", "Users");
  tsAudProgs = admin::AddPage(this, pcAudit, "tsAudProgs", "Programs");

  // A 46-pixel bar: the selector under its label, the navigator, the delete
  // button, and the period on the right; the grid fills the rest.
  auto bar = [&](TTabSheet* page, const AuditBarNames& n, TPanel*& panel, TLabel*& label,
                 TDBLookupComboBox*& selector, TDBNavigator*& navigator, TSpeedButton*& deleteButton,
                 TGroupBox*& period, TLabel*& fromLabel, TDateTimePicker*& from, TLabel*& toLabel,
                 TDateTimePicker*& to) {
    panel = admin::PlainPanel(this, page, n.bar, alTop, 46);
    label = Place<TLabel>(this, panel, n.label, 4, 4, 209, 13);
    selector = Place<TDBLookupComboBox>(this, panel, n.selector, 4, 20, 209, 21);
    label->SetFocusControl(selector);
    navigator = Place<TDBNavigator>(this, panel, n.navigator, 218, 18, 88, 25);
    navigator->SetDataSource(audit);
    navigator->SetVisibleButtons({nbFirst, nbPrior, nbNext, nbLast});
    deleteButton = FlatButton(this, panel, n.deleteButton, 310, 18, 60, 25, "Delete");
    period = admin::PlaceAligned<TGroupBox>(this, panel, n.period, alRight, 244);
    fromLabel = Place<TLabel>(this, period, n.fromLabel, 6, 20, 30, 13);
    from = Place<TDateTimePicker>(this, period, n.from, 38, 16, 86, 21);
    toLabel = Place<TLabel>(this, period, n.toLabel, 126, 20, 30, 13);
    to = Place<TDateTimePicker>(this, period, n.to, 156, 16, 84, 21);
  };
  bar(tsAudUsers,
      {"Panel7", "lblUser", "dblkUserName", "DBNavigator4", "sbDeleteAuditUser", "gbxPeriodActivities", "lblFrom",
       "dtpkInicioU", "lblTo", "dtpkFimU"},
      Panel7, lblUser, dblkUserName, DBNavigator4, sbDeleteAuditUser, gbxPeriodActivities, lblFrom, dtpkInicioU,
      lblTo, dtpkFimU);
  bar(tsAudProgs,
      {"Panel8", "lblProgram", "dblkMenuCaption", "DBNavigator5", "sbDeleteAuditProg", "gbxPeriodActivities2",
       "lblFrom2", "dtpkInicioP", "lblTo2", "dtpkFimP"},
      Panel8, lblProgram, dblkMenuCaption, DBNavigator5, sbDeleteAuditProg, gbxPeriodActivities2, lblFrom2,
      dtpkInicioP, lblTo2, dtpkFimP);

  dblkUserName->SetListSource(Users ? &Users->dsUsers : nullptr);
  dblkUserName->SetKeyField("USER_ID");
  dblkUserName->SetListField("USERQV_NAME");
  dblkMenuCaption->SetListSource(Users ? &Users->dsMenuCaption : nullptr);
  dblkMenuCaption->SetKeyField("MENU_ID");
  dblkMenuCaption->SetListField("MENU_CAPTION");

  DBGridAudUsers = admin::ListGrid(
      this, tsAudUsers, "DBGridAudUsers", audit, true,
      {{"MENU_CAPTION", 235}, {"COMPUTER_NAME", 123}, {"START_SESSION", 106}, {"END_SESSION", 111}});
  DBGridAudProgs = admin::ListGrid(
      this, tsAudProgs, "DBGridAudProgs", audit, true,
      {{"USERQV_NAME", 235}, {"COMPUTER_NAME", 123}, {"START_SESSION", 106}, {"END_SESSION", 111}});
}

namespace {

// A key value as an integer; false for null or a non-numeric text.
bool KeyOf(const Value& value, std::int64_t& key) {
  if (value.IsInteger()) {
    key = value.AsInteger();
    return true;
  }
  return !value.IsNull() && ParseInteger(value.AsString(), key);
}

// Whether a row's key column holds the selector's key, both read as
// integers.
bool SameKey(const Value& column, const Value& selected) {
  std::int64_t a = 0, b = 0;
  return KeyOf(column, a) && KeyOf(selected, b) && a == b;
}

// The window's record filter as the dataset takes it.
TFilterRecordEvent FilterOf(TUsersAdministration& window) {
  return [&window](TDataSet& d, bool& accept) { window.AuditFilterRecord(d, accept); };
}

// Deletes the rows of qryAudit the filter accepts now, after asking 40138
// about `name`. The rows are taken before the question: answering it
// reactivates the window, whose activation resets the period and the
// selectors. All of the rows are deleted, or none. Nothing is said after.
void DeleteAuditSelection(TDataSet& audit, const TFilterRecordEvent& filter, const std::string& name) {
  TRowSelection selection;
  if (audit.OnFilterRecord && audit.Filtered()) {
    selection = audit.VisibleRows();
  } else {
    // The focus has left the page control, which took the filter off; the
    // rows are those the filter would accept.
    audit.OnFilterRecord = filter;
    audit.SetFiltered(true);
    selection = audit.VisibleRows();
    audit.OnFilterRecord = nullptr;
    audit.SetFiltered(false);
  }
  if (MessageDlg(Format(LoadStr(kStrConfirmDeleteAudit), {name}), mtConfirmation, mbYesNo) != mrYes) return;
  audit.DeleteRows(selection);
}

}  // namespace

void TUsersAdministration::BindAuditPage() {
  pcAudit->OnEnter = [this](TObject& s) { pcAuditEnter(s); };
  pcAudit->OnExit = [this](TObject& s) { pcAuditExit(s); };
  pcAudit->OnChange = [this](TObject& s) { pcAuditChange(s); };
  auto byUser = [this](TObject& s) { dtpkInicioUChange(s); };
  auto byProgram = [this](TObject& s) { dtpkInicioPChange(s); };
  dtpkInicioU->OnChange = dtpkFimU->OnChange = byUser;
  dblkUserName->OnClick = dblkUserName->OnCloseUp = byUser;
  dtpkInicioP->OnChange = dtpkFimP->OnChange = byProgram;
  dblkMenuCaption->OnClick = dblkMenuCaption->OnCloseUp = byProgram;
  sbDeleteAuditUser->OnClick = [this](TObject& s) { sbDeleteAuditUserClick(s); };
  sbDeleteAuditProg->OnClick = [this](TObject& s) { sbDeleteAuditProgClick(s); };
}

void TUsersAdministration::pcAuditEnter(TObject& sender) {
  Users->qryAudit.OnFilterRecord = FilterOf(*this);
  if (pcAudit->ActivePage() == tsAudUsers) dtpkInicioUChange(sender);
  if (pcAudit->ActivePage() == tsAudProgs) dtpkInicioPChange(sender);
}

void TUsersAdministration::pcAuditExit(TObject&) {
  Users->qryAudit.OnFilterRecord = nullptr;
  Users->qryAudit.SetFiltered(false);
}

void TUsersAdministration::pcAuditChange(TObject&) {
  Users->qryAudit.SetFiltered(false);
  Users->qryAudit.SetFiltered(true);
}

void TUsersAdministration::dtpkInicioUChange(TObject&) { Users->qryAudit.SetFiltered(true); }

void TUsersAdministration::dtpkInicioPChange(TObject&) { Users->qryAudit.SetFiltered(true); }

// One row of qryAudit under the rule of the current sub-page: its key
// column equals the selector's value (any key when the selector holds
// none), and the command ran within the period: From < start and
// end < To + 1 day, From and To being the pickers' days at midnight. A
// picker without a date, or a stamp that cannot be read, shows nothing.
void TUsersAdministration::AuditFilterRecord(TDataSet&, bool& accept) {
  TTabSheet* page = pcAudit->ActivePage();
  const bool byUser = page == tsAudUsers;
  if (!byUser && page != tsAudProgs) return;
  TUsers& dm = *Users;
  const Value& key = (byUser ? dblkUserName : dblkMenuCaption)->KeyValue();
  if (!key.IsNull() && !SameKey((byUser ? dm.qryAuditUSER_ID : dm.qryAuditPROG_ID).AsValue(), key)) {
    accept = false;
    return;
  }
  const TDateTime from = (byUser ? dtpkInicioU : dtpkInicioP)->Date();
  const TDateTime to = (byUser ? dtpkFimU : dtpkFimP)->Date();
  const Value start = dm.qryAuditStartSeconds.AsValue();
  const Value end = dm.qryAuditEndSeconds.AsValue();
  accept = !start.IsNull() && !end.IsNull() && InAuditPeriod(from, to, start.AsInteger(), end.AsInteger());
}

void TUsersAdministration::sbDeleteAuditUserClick(TObject&) {
  DeleteAuditSelection(Users->qryAudit, FilterOf(*this), dblkUserName->SelectedText());
}

void TUsersAdministration::sbDeleteAuditProgClick(TObject&) {
  DeleteAuditSelection(Users->qryAudit, FilterOf(*this), dblkMenuCaption->SelectedText());
}

}  // namespace qv

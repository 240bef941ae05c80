// The audit page of the administration window: the audit trail of the
// application by user and by program, within a period of days.
#include "admin/admin_layout.h"
#include "admin/users_adm_qv.h"
#include "data/dm_quarvel.h"

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

void TUsersAdministration::BindAuditPage() {}

// Entering the audit page.
void TUsersAdministration::pcAuditEnter(TObject&) {}

}  // namespace qv

#include "qvd3/dialogs/new_prof_qv.h"

#include "qvd3/component/quarvel_res.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/dialogs/dialog_layout.h"
#include "qvd3/platform/sys/exception.h"

namespace qv {

TNewProfile* uNewProfile = nullptr;

namespace {

// Texts the window definition stores. They only stand in until the first
// activation, which replaces every one of them from the string table.
constexpr const char* kStoredCaption = "New profile";
constexpr const char* kStoredOk = "OK";
constexpr const char* kStoredCancel = "Cancel";
constexpr const char* kStoredDescriptionLabel = "Description";
constexpr const char* kStoredIntervalLabel = "Change interval";
constexpr const char* kStoredMustChange = "Must change password";
constexpr const char* kStoredMenuChoice = "Item not authorised";
constexpr const char* kStoredAuditMode = "Audit mode";

// The description column's width in characters.
constexpr int kDescriptionWidth = 30;

}  // namespace

// The window definition: the controls in declaration order, each given its
// stored properties while the form is being read, and the event bindings.
TNewProfile::TNewProfile(TComponent* owner) : TForm(owner) {
  TDataSource* profiles = Users != nullptr ? &Users->dsProfiles : nullptr;
  ReadForm(*this, [this, profiles] {
    SetName("NewProfile");
    SetCaption(kStoredCaption);
    SetBorderStyle(bsSingle);
    SetBorderIcons({biSystemMenu});
    SetPosition(poScreenCenter);
    SetClientWidth(284);
    SetClientHeight(228);
    SetFont(TFont{"Arial", -11, false});
    SetKeyPreview(true);

    Panel1 = new TPanel(this);
    Panel3 = new TPanel(this);
    OKBtn = new TButton(this);
    CancelBtn = new TButton(this);
    lblPROF_DESCRIPTION = new TLabel(this);
    DBEdit5 = new TDBEdit(this);
    lblINTERVAL_CHANGE_PWD = new TLabel(this);
    DBEdit6 = new TDBEdit(this);
    cbxMUST_CHANGE_PWD = new TDBCheckBox(this);
    rgpHIDE_DISABLE_MENU = new TDBRadioGroup(this);
    cbxAUDIT_MODE = new TDBCheckBox(this);

    PlaceDialogPanels(*this, *Panel1, *Panel3);
    PlaceButton(*OKBtn, *Panel3, "OKBtn", 122, 191, kStoredOk, 5);
    OKBtn->SetWidth(71);
    PlaceButton(*CancelBtn, *Panel3, "CancelBtn", 198, 191, kStoredCancel, 6, mrCancel, true);
    PlaceLabel(*lblPROF_DESCRIPTION, *Panel3, "lblPROF_DESCRIPTION", 8, 8, 185, kStoredDescriptionLabel,
               DBEdit5);
    PlaceEdit(*DBEdit5, *Panel3, "DBEdit5", 8, 24, 185, 0);
    DBEdit5->SetMaxLength(kDescriptionWidth);
    BindColumn(*DBEdit5, profiles, "PROF_DESCRIPTION");
    PlaceLabel(*lblINTERVAL_CHANGE_PWD, *Panel3, "lblINTERVAL_CHANGE_PWD", 8, 82, 129, kStoredIntervalLabel,
               DBEdit6);
    // The field edits with the format "00" (the data module sets it).
    PlaceEdit(*DBEdit6, *Panel3, "DBEdit6", 8, 98, 129, 2);
    BindColumn(*DBEdit6, profiles, "INTERVAL_CHANGE_PWD");
    PlaceCheckBox(*cbxMUST_CHANGE_PWD, *Panel3, "cbxMUST_CHANGE_PWD", 8, 58, 145, kStoredMustChange, 1,
                  profiles, "MUST_CHANGE_PWD");

    rgpHIDE_DISABLE_MENU->SetName("rgpHIDE_DISABLE_MENU");
    rgpHIDE_DISABLE_MENU->SetParent(Panel3);
    rgpHIDE_DISABLE_MENU->SetBounds(7, 132, 265, 50);
    rgpHIDE_DISABLE_MENU->SetCaption(kStoredMenuChoice);
    rgpHIDE_DISABLE_MENU->SetColumns(2);
    rgpHIDE_DISABLE_MENU->SetTabOrder(4);
    rgpHIDE_DISABLE_MENU->Values().Assign({"1", "2"});
    BindColumn(*rgpHIDE_DISABLE_MENU, profiles, "HIDE_DISABLE_MENU");

    PlaceCheckBox(*cbxAUDIT_MODE, *Panel3, "cbxAUDIT_MODE", 147, 103, 117, kStoredAuditMode, 3, profiles,
                  "AUDIT_MODE");

    OnActivate = [this](TObject& sender) { FormActivate(sender); };
    OnKeyDown = [this](TObject& sender, Word& key, TShiftState shift) { FormKeyDown(sender, key, shift); };
    cbxMUST_CHANGE_PWD->OnClick = [this](TObject& sender) { cbxMUST_CHANGE_PWDClick(sender); };
    OKBtn->OnClick = [this](TObject& sender) { OKBtnClick(sender); };
  });
  // The box already shows the row: the interval box follows it from the
  // start, not only from its first change.
  cbxMUST_CHANGE_PWDClick(*this);
}

// The global names the dialog only while it exists, even if its holder
// forgets to clear it.
TNewProfile::~TNewProfile() {
  if (uNewProfile == this) uNewProfile = nullptr;
}

// Every activation, also after the dialog's own error message, shows the
// texts of the string table, rebuilds the two choices (the group shows the
// row's choice again) and starts in the description box.
void TNewProfile::FormActivate(TObject&) {
  SetCaption(LoadStr(40112));
  lblPROF_DESCRIPTION->SetCaption(LoadStr(40113));
  lblINTERVAL_CHANGE_PWD->SetCaption(LoadStr(40114));
  OKBtn->SetCaption(LoadStr(40115));
  CancelBtn->SetCaption(LoadStr(40116));
  cbxMUST_CHANGE_PWD->SetCaption(LoadStr(40117));
  rgpHIDE_DISABLE_MENU->SetCaption(LoadStr(40118));
  rgpHIDE_DISABLE_MENU->Items().Clear();
  rgpHIDE_DISABLE_MENU->Items().Add(LoadStr(40119));
  rgpHIDE_DISABLE_MENU->Items().Add(LoadStr(40120));
  cbxAUDIT_MODE->SetCaption(LoadStr(40124));
  DBEdit5->SetFocus();
}

// Enter on anything but a button walks on in tab order; on a button (which
// the form sees first too) it is left alone so the button presses itself.
void TNewProfile::FormKeyDown(TObject&, Word& key, TShiftState) {
  AdvanceOnEnter(*this, key, TEnterWalk::AllButButtons);
}

void TNewProfile::cbxMUST_CHANGE_PWDClick(TObject&) { DBEdit6->SetEnabled(cbxMUST_CHANGE_PWD->Checked()); }

void TNewProfile::OKBtnClick(TObject&) {
  if (DBEdit5->Text().empty()) throw Exception("Missing Description.");
  SetModalResult(mrOk);
}

}  // namespace qv

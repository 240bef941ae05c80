#include "qvd3/platform/ui/data_controls.h"

#include <algorithm>

#include "qvd3/platform/db/dataset.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/code_points.h"
#include "qvd3/platform/ui/form.h"

namespace qv {

// Forwards a source's notifications to the control's binding.
class TControlDataLink : public TDataLink {
 public:
  explicit TControlDataLink(TDataBinding& binding) : binding_(binding) {}

 protected:
  void ActiveChanged() override { binding_.LinkChanged(nullptr); }
  void DataChanged(TField* field) override { binding_.LinkChanged(field); }
  void EditingChanged() override { binding_.EditingChanged(); }

 private:
  TDataBinding& binding_;
};

// ---- TDataBinding ----

TDataBinding::TDataBinding() : link_(std::make_unique<TControlDataLink>(*this)) {}
TDataBinding::~TDataBinding() = default;

TDataSource* TDataBinding::DataSource() const { return link_->DataSource(); }

void TDataBinding::SetDataSource(TDataSource* source) {
  link_->SetDataSource(source);
  LinkChanged(nullptr);
}

void TDataBinding::SetDataField(const std::string& name) {
  field_name_ = name;
  LinkChanged(nullptr);
}

TField* TDataBinding::Field() const {
  TDataSet* ds = link_->DataSet();
  if (ds == nullptr || !ds->Active() || field_name_.empty()) return nullptr;
  return ds->FindField(field_name_);
}

// Any change of the row, of a field or of the dataset's state is shown
// again, except the echo of this control's own write.
void TDataBinding::LinkChanged(TField* field) {
  (void)field;
  if (writing_) return;
  reloading_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reloading_};
  DataChanged();
}

bool TDataBinding::BeginFieldEdit() {
  TField* field = Field();
  if (field == nullptr || field->FieldKind() == TFieldKind::Calculated || field->FieldKind() == TFieldKind::Cached)
    return false;
  TDataSet* ds = link_->DataSet();
  if (!ds->CanModify()) return false;
  return link_->Editing() || link_->Edit();
}

void TDataBinding::WriteField(TField& field, const qv::Value& value) {
  writing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{writing_};
  field.SetValue(value);
}

// ---- TDBEdit ----

void TDBEdit::DataChanged() {
  TField* field = Field();
  std::string text;
  if (field != nullptr) text = Focused() ? field->Text() : field->DisplayText();
  SetText(text);
}

void TDBEdit::FocusChanging(bool entering) {
  (void)entering;
  LinkChanged(nullptr);
}

bool TDBEdit::BeginPersonEdit() {
  if (ReadOnly()) return false;
  if (!Bound()) return true;
  return BeginFieldEdit();
}

void TDBEdit::TextChanged() {
  if (!reloading_ && Bound()) {
    TField* field = Field();
    if (field != nullptr && field->FieldKind() != TFieldKind::Calculated && field->FieldKind() != TFieldKind::Cached &&
        (field->DataSet().State() == TDataSetState::Edit || field->DataSet().State() == TDataSetState::Insert))
      WriteField(*field, qv::Value(Text()));
  }
  TEdit::TextChanged();
}

int TDBEdit::EffectiveMaxLength() const {
  if (MaxLength() > 0) return MaxLength();
  TField* field = Field();
  return field != nullptr && field->DataType() == TFieldType::String ? field->Size() : 0;
}

// ---- TDBCheckBox ----

void TDBCheckBox::DataChanged() {
  TField* field = Field();
  SetChecked(field != nullptr && field->AsString() == value_checked_);
}

void TDBCheckBox::StateChanged() {
  if (!reloading_ && Bound() && BeginFieldEdit())
    WriteField(*Field(), qv::Value(Checked() ? value_checked_ : value_unchecked_));
  TCheckBox::StateChanged();
}

void TDBCheckBox::ClickByPerson() {
  if (!FocusForPerson()) return;
  if (Bound() && !BeginFieldEdit()) return;
  SetChecked(!Checked());
}

// ---- TDBRadioGroup ----

TDBRadioGroup::TDBRadioGroup(TComponent* owner) : TRadioGroup(owner), values_([this] { LinkChanged(nullptr); }) {}

std::string TDBRadioGroup::ValueOf(int index) const {
  if (index < 0) return {};
  if (values_.Count() > 0) return index < values_.Count() ? values_[index] : std::string();
  return index < Items().Count() ? Items()[index] : std::string();
}

std::string TDBRadioGroup::Value() const { return ValueOf(ItemIndex()); }

void TDBRadioGroup::DataChanged() {
  TField* field = Field();
  int index = -1;
  if (field != nullptr && !field->IsNull()) {
    const std::string text = field->AsString();
    for (int i = 0; i < Items().Count(); ++i)
      if (ValueOf(i) == text) {
        index = i;
        break;
      }
  }
  SetItemIndex(index);
}

void TDBRadioGroup::IndexChanged() {
  if (!reloading_ && Bound() && ItemIndex() >= 0 && BeginFieldEdit()) WriteField(*Field(), qv::Value(Value()));
  TRadioGroup::IndexChanged();
}

void TDBRadioGroup::ChooseByPerson(int index) {
  if (index < 0 || index >= Items().Count())
    throw ERangeError("Radio item index out of bounds (" + std::to_string(index) + ")");
  if (!FocusForPerson()) return;
  if (Bound() && !BeginFieldEdit()) return;
  SetItemIndex(index);
}

// ---- TDBLookupComboBox ----

class TDBLookupComboBox::ListLink : public TDataLink {
 public:
  explicit ListLink(TDBLookupComboBox& box) : box_(box) {}

 protected:
  void ActiveChanged() override { box_.ListChanged(); }
  void DataChanged(TField*) override { box_.ListChanged(); }

 private:
  TDBLookupComboBox& box_;
};

TDBLookupComboBox::TDBLookupComboBox(TComponent* owner)
    : TControl(owner), list_link_(std::make_unique<ListLink>(*this)) {
  SetTabStop(true);
}

TDBLookupComboBox::~TDBLookupComboBox() = default;

TDataSource* TDBLookupComboBox::ListSource() const { return list_link_->DataSource(); }

void TDBLookupComboBox::SetListSource(TDataSource* source) {
  list_link_->SetDataSource(source);
  ListChanged();
}

// The field the chosen key goes to: the key column behind a lookup field,
// or the bound field itself.
TField* TDBLookupComboBox::KeyTarget() const {
  TField* field = Field();
  if (field == nullptr || field->FieldKind() != TFieldKind::Lookup) return field;
  return field->DataSet().FindField(field->KeyFields());
}

void TDBLookupComboBox::SetKeyValue(const qv::Value& key) {
  key_value_ = key;
  TDataSet* list = list_link_->DataSet();
  if (list != nullptr && list->Active() && !key.IsNull() && !key_field_.empty()) list->Locate(key_field_, key);
  NotifyPeer(chItemIndex);
}

std::string TDBLookupComboBox::SelectedText() const {
  TDataSet* list = list_link_->DataSet();
  if (list == nullptr || !list->Active() || key_value_.IsNull() || key_field_.empty() || list_field_.empty())
    return {};
  return list->Lookup(key_field_, {key_value_}, list_field_).AsString();
}

std::vector<TLookupItem> TDBLookupComboBox::ListItems() const {
  std::vector<TLookupItem> items;
  TDataSet* list = list_link_->DataSet();
  if (list == nullptr || !list->Active() || key_field_.empty()) return items;
  const int count = list->RecordCount();
  for (int recno = 1; recno <= count; ++recno)
    list->WithRecord(recno, [&] {
      TField& key = list->FieldByName(key_field_);
      TField* text = list_field_.empty() ? &key : &list->FieldByName(list_field_);
      items.push_back({key.AsValue(), text->DisplayText()});
    });
  return items;
}

void TDBLookupComboBox::DataChanged() {
  TField* target = KeyTarget();
  SetKeyValue(target != nullptr ? target->AsValue() : qv::Value::Null());
}

void TDBLookupComboBox::ChooseByPerson(const qv::Value& key) {
  if (!FocusForPerson()) return;
  if (Bound()) {
    TField* target = KeyTarget();
    if (target == nullptr || !BeginFieldEdit()) return;
    WriteField(*target, key);
  }
  SetKeyValue(key);
  Click();
  if (OnCloseUp) OnCloseUp(*this);
}

namespace {

bool StartsWithIgnoringCase(const std::u32string& text, const std::u32string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (ui_detail::UpperCase(text[i]) != ui_detail::UpperCase(prefix[i])) return false;
  return true;
}

}  // namespace

void TDBLookupComboBox::ChooseFromKeys(const qv::Value& key) {
  if (key == key_value_) return;
  ChooseByPerson(key);
}

void TDBLookupComboBox::DoKeyDown(Word& key, TShiftState shift) {
  if (shift.Contains(ssAlt) || shift.Contains(ssCtrl) || (key != VK_UP && key != VK_DOWN)) return;
  const std::vector<TLookupItem> items = ListItems();
  int current = -1;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (!key_value_.IsNull() && items[i].Key == key_value_) current = static_cast<int>(i);
  const int count = static_cast<int>(items.size());
  int next = current;
  if (key == VK_DOWN) next = current < 0 ? 0 : std::min(current + 1, count - 1);
  else next = current < 0 ? 0 : std::max(current - 1, 0);
  key = 0;
  typed_.clear();
  if (next >= 0 && next < count) ChooseFromKeys(items[static_cast<std::size_t>(next)].Key);
}

void TDBLookupComboBox::DoKeyPress(char32_t ch) {
  if (ch < 32) return;
  const std::vector<TLookupItem> items = ListItems();
  auto find = [&](const std::u32string& prefix) -> const TLookupItem* {
    for (const TLookupItem& item : items)
      if (StartsWithIgnoringCase(ui_detail::ToCodePoints(item.Text), prefix)) return &item;
    return nullptr;
  };
  typed_.push_back(ch);
  const TLookupItem* found = find(typed_);
  if (found == nullptr) {
    typed_.assign(1, ch);
    found = find(typed_);
  }
  if (found == nullptr) {
    typed_.clear();
    return;
  }
  ChooseFromKeys(found->Key);
}

// ---- TDBGrid ----

TDBGrid::TDBGrid(TComponent* owner) : TControl(owner) { SetTabStop(true); }

TDBGrid::~TDBGrid() { SetParent(nullptr); }

TColumn& TDBGrid::Columns(int index) {
  if (index < 0 || index >= ColumnCount())
    throw ERangeError("Grid column index out of bounds (" + std::to_string(index) + ")");
  return columns_[static_cast<std::size_t>(index)];
}

TColumn& TDBGrid::AddColumn(const std::string& fieldName, const std::string& title, int width) {
  columns_.push_back({fieldName, {title.empty() ? fieldName : title}, width, true});
  NotifyPeer(chItems);
  return columns_.back();
}

void TDBGrid::ClearColumns() {
  columns_.clear();
  NotifyPeer(chItems);
}

int TDBGrid::RowCount() const {
  TDataSet* ds = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
  return ds != nullptr && ds->Active() ? ds->RecordCount() : 0;
}

int TDBGrid::SelectedRow() const {
  TDataSet* ds = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
  return ds != nullptr && ds->Active() ? ds->RecNo() : 0;
}

std::string TDBGrid::CellText(int row, int column) const {
  if (column < 0 || column >= ColumnCount())
    throw ERangeError("Grid column index out of bounds (" + std::to_string(column) + ")");
  if (row < 1 || row > RowCount()) throw ERangeError("Grid row out of bounds (" + std::to_string(row) + ")");
  TDataSet* ds = DataSource()->DataSet();
  std::string text;
  const std::string& name = columns_[static_cast<std::size_t>(column)].FieldName;
  ds->WithRecord(row, [&] {
    if (TField* field = ds->FindField(name)) text = field->DisplayText();
  });
  return text;
}

std::vector<std::string> TDBGrid::RowTexts(int row) const {
  std::vector<std::string> texts;
  if (row < 1 || row > RowCount()) return texts;
  TDataSet* ds = DataSource()->DataSet();
  texts.resize(columns_.size());
  ds->WithRecord(row, [&] {
    for (std::size_t c = 0; c < columns_.size(); ++c)
      if (TField* field = ds->FindField(columns_[c].FieldName)) texts[c] = field->DisplayText();
  });
  return texts;
}

TDataSetState TDBGrid::State() const {
  TDataSet* ds = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
  return ds != nullptr ? ds->State() : TDataSetState::Inactive;
}

void TDBGrid::SelectRowByPerson(int row) {
  if (row < 1 || row > RowCount()) throw ERangeError("Grid row out of bounds (" + std::to_string(row) + ")");
  if (!FocusForPerson()) return;
  DataSource()->DataSet()->SetRecNo(row);
}

void TDBGrid::DoKeyDown(Word& key, TShiftState shift) {
  (void)shift;
  TDataSet* ds = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
  if (ds == nullptr || !ds->Active()) return;
  switch (key) {
    case VK_DOWN: ds->Next(); break;
    case VK_UP: ds->Prior(); break;
    case VK_HOME: ds->First(); break;
    case VK_END: ds->Last(); break;
    default: return;
  }
  key = 0;
}

// ---- TDBNavigator ----

TDBNavigator::TDBNavigator(TComponent* owner) : TControl(owner) {}

bool TDBNavigator::ButtonEnabled(TNavigateBtn button) const {
  if (!visible_.Contains(button) || !Enabled()) return false;
  TDataSet* ds = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
  if (ds == nullptr || !ds->Active()) return false;
  const bool editing = ds->State() == TDataSetState::Edit || ds->State() == TDataSetState::Insert;
  const int recno = ds->RecNo(), count = ds->RecordCount();
  switch (button) {
    case nbFirst:
    case nbPrior: return !editing && recno > 1;
    case nbNext:
    case nbLast: return !editing && recno < count;
    case nbInsert: return ds->CanModify();
    case nbDelete:
    case nbEdit: return ds->CanModify() && count > 0 && !(button == nbEdit && editing);
    case nbPost:
    case nbCancel: return editing;
    case nbRefresh: return !editing;
  }
  return false;
}

void TDBNavigator::BtnClick(TNavigateBtn button) {
  TDataSet* ds = DataSource() != nullptr ? DataSource()->DataSet() : nullptr;
  if (ds == nullptr || !ds->Active()) return;
  switch (button) {
    case nbFirst: ds->First(); break;
    case nbPrior: ds->Prior(); break;
    case nbNext: ds->Next(); break;
    case nbLast: ds->Last(); break;
    case nbInsert: ds->Insert(); break;
    case nbDelete:
      if (confirm_delete_ && MessageDlg("Eliminar o registro?", mtConfirmation, mbYesNo) != mrYes) return;
      ds->Delete();
      break;
    case nbEdit: ds->Edit(); break;
    case nbPost: ds->Post(); break;
    case nbCancel: ds->Cancel(); break;
    case nbRefresh:
      ds->Close();
      ds->Open();
      break;
  }
  if (OnNavigate) OnNavigate(*this, button);
}

void TDBNavigator::ClickButtonByPerson(TNavigateBtn button) {
  if (Usable() && ButtonEnabled(button)) BtnClick(button);
}

}  // namespace qv

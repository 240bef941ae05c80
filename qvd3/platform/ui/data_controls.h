// Data-aware controls: controls bound to a field of the current row of a
// TDataSource. They show the field and follow the cursor: whenever the
// source reports that the current row moved or its data changed, each
// control reloads its value (an empty / clear / unselected value when the
// dataset is closed, empty, or lacks the field). A change made by the
// person (typing, ticking, choosing) first puts the dataset into edit mode
// (through the link's Edit: inserting when the dataset is empty) and then
// writes the field at once; when the dataset cannot be edited, or the field
// is calculated, the control refuses the change. Errors of the data layer
// reach the person's action (and from there the application's error
// display).
//
// A TDataSource is not a component: the code that creates controls and
// sources keeps every source alive as long as the controls bound to it (or
// unbinds them first).
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/platform/db/datasource.h"
#include "qvd3/platform/db/value.h"
#include "qvd3/platform/ui/standard_controls.h"

namespace qv {

class TControlDataLink;

// The binding part shared by the data-aware controls.
class TDataBinding {
 public:
  TDataSource* DataSource() const;
  void SetDataSource(TDataSource* source);
  const std::string& DataField() const { return field_name_; }
  void SetDataField(const std::string& name);
  // The bound field of the open dataset, or nullptr.
  TField* Field() const;

 protected:
  TDataBinding();
  virtual ~TDataBinding();
  // The row or the bound field changed: reload the value shown.
  virtual void DataChanged() = 0;
  // The dataset's state changed (browse, edit, insert).
  virtual void EditingChanged() {}
  // Shows the data again (DataChanged), unless this control is writing.
  void LinkChanged(TField* field);
  // Puts the dataset into edit mode for a change by the person; false when
  // no change is possible (no field, calculated field, closed dataset...).
  bool BeginFieldEdit();
  // Writes `value` to `field` without reloading this control from the
  // notification that follows.
  void WriteField(TField& field, const qv::Value& value);
  // True when bound to a source (the control then only changes through
  // its field).
  bool Bound() const { return DataSource() != nullptr; }
  // Set while the control shows new data, so that the change it makes to
  // itself is not written back.
  bool reloading_ = false;
  bool writing_ = false;

 private:
  friend class TControlDataLink;
  std::unique_ptr<TControlDataLink> link_;
  std::string field_name_;
};

// An edit box on a field. Shows the field's edit text while focused and its
// display text otherwise. The typing limit is MaxLength, or the field's
// width when MaxLength is 0.
class TDBEdit : public TEdit, public TDataBinding {
 public:
  explicit TDBEdit(TComponent* owner) : TEdit(owner) {}

 protected:
  void DataChanged() override;
  void FocusChanging(bool entering) override;
  bool BeginPersonEdit() override;
  void TextChanged() override;
  int EffectiveMaxLength() const override;
};

// A check box on a flag field: ticked exactly when the field's text equals
// ValueChecked; ticking writes ValueChecked, clearing ValueUnchecked. OnClick
// runs for every change of state, also when it follows the data.
class TDBCheckBox : public TCheckBox, public TDataBinding {
 public:
  explicit TDBCheckBox(TComponent* owner) : TCheckBox(owner) {}
  const std::string& ValueChecked() const { return value_checked_; }
  void SetValueChecked(const std::string& v) { value_checked_ = v; DataChanged(); }
  const std::string& ValueUnchecked() const { return value_unchecked_; }
  void SetValueUnchecked(const std::string& v) { value_unchecked_ = v; DataChanged(); }
  // The person clicked: edit mode first; when it cannot be had, no change.
  void ClickByPerson() override;

 protected:
  void DataChanged() override;
  void StateChanged() override;

 private:
  std::string value_checked_ = "1";
  std::string value_unchecked_ = "0";
};

// A radio group on a field: item i stands for Values[i] (or, when Values is
// empty, for the item's caption). A field value matching no item shows no
// choice; the choice is found again whenever the items or the values are
// rebuilt. OnClick runs for every change of choice, also when it follows the
// data.
class TDBRadioGroup : public TRadioGroup, public TDataBinding {
 public:
  explicit TDBRadioGroup(TComponent* owner);
  TStrings& Values() { return values_; }
  // The stored value of the current choice ("" for none).
  std::string Value() const;
  // Choosing by the person puts the dataset into edit mode and writes the
  // chosen value; no change when edit mode cannot be had.
  void ChooseByPerson(int index) override;

 protected:
  void DataChanged() override;
  void IndexChanged() override;
  void ItemsChanged() override { LinkChanged(nullptr); }

 private:
  std::string ValueOf(int index) const;
  TStrings values_;
};

// One choice of a lookup list: a key and the text shown for it.
struct TLookupItem {
  qv::Value Key;
  std::string Text;
};

// A drop-down list of the rows of ListSource, showing ListField and valued
// by KeyField. Bound through DataSource/DataField to a field of another
// dataset: a data field holding the key, or a lookup field of that dataset
// (whose key field is then the one written). Without a DataSource it is a
// plain selector whose KeyValue the code reads.
class TDBLookupComboBox : public TControl, public TDataBinding {
 public:
  explicit TDBLookupComboBox(TComponent* owner);
  ~TDBLookupComboBox() override;

  TDataSource* ListSource() const;
  void SetListSource(TDataSource* source);
  const std::string& KeyField() const { return key_field_; }
  void SetKeyField(const std::string& name) { key_field_ = name; ListChanged(); }
  const std::string& ListField() const { return list_field_; }
  void SetListField(const std::string& name) { list_field_ = name; ListChanged(); }

  // The key of the choice, null for none. Setting it moves the list
  // dataset to the matching row (when there is one), as the list follows
  // its selection; it does not write the bound field.
  const qv::Value& KeyValue() const { return key_value_; }
  void SetKeyValue(const qv::Value& key);
  // The text of the current choice ("" for none or a key not in the list).
  std::string SelectedText() const;

  // The rows of the list source, read afresh.
  std::vector<TLookupItem> ListItems() const;

  // The person picked the item with `key`: focus, edit mode and write of
  // the bound field (when bound), KeyValue, then OnClick and OnCloseUp.
  void ChooseByPerson(const qv::Value& key);
  TNotifyEvent OnCloseUp;

  bool AcceptsFocus() const override { return true; }

 protected:
  void DataChanged() override;
  // Up and Down choose the item before / after the current one (the first
  // when there is none), as the person's choice.
  void DoKeyDown(Word& key, TShiftState shift) override;
  // Typing chooses the first item whose text starts with the letters typed
  // so far (ignoring case); a letter that matches nothing starts afresh.
  void DoKeyPress(char32_t ch) override;
  void FocusChanging(bool entering) override { (void)entering; typed_.clear(); }

 private:
  class ListLink;
  // Writes `key` as the person's choice when it differs from the current.
  void ChooseFromKeys(const qv::Value& key);
  TField* KeyTarget() const;
  void ListChanged() { NotifyPeer(chItems); }
  std::unique_ptr<ListLink> list_link_;
  std::string key_field_;
  std::string list_field_;
  qv::Value key_value_;
  std::u32string typed_;
};

struct TColumnTitle {
  std::string Caption;
};

// One grid column: the field it shows, its title and width in pixels.
struct TColumn {
  std::string FieldName;
  TColumnTitle Title;
  int Width = 64;
  bool Visible = true;
};

enum TGridOption { dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgRowSelect,
                   dgAlwaysShowSelection, dgConfirmDelete, dgEditing };
using TGridOptions = TSet<TGridOption>;

// A grid of the rows of its data source. The selected row is the dataset's
// current row. Columns are kept in order; references stay valid until the
// column list is cleared.
class TDBGrid : public TControl, public TDataBinding {
 public:
  explicit TDBGrid(TComponent* owner);
  // Leaves its parent while still whole: a backend told of the change may
  // still read the columns.
  ~TDBGrid() override;

  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  // Raises ERangeError outside 0..ColumnCount-1.
  TColumn& Columns(int index);
  TColumn& AddColumn(const std::string& fieldName, const std::string& title = "", int width = 64);
  void ClearColumns();

  TGridOptions Options() const { return options_; }
  void SetOptions(TGridOptions options) { options_ = options; NotifyPeer(chAppearance); }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool v) { read_only_ = v; }
  // The background of the title row.
  TColor TitleColor() const { return title_color_; }
  void SetTitleColor(TColor c) { title_color_ = c; NotifyPeer(chAppearance); }
  // Tells the backend that column titles or widths were changed through
  // Columns(); a backend also picks such changes up when it next draws.
  void ColumnsChanged() { NotifyPeer(chItems); }

  // Visible rows of the dataset (0 when closed).
  int RowCount() const;
  // 1-based selected row, 0 when there is none.
  int SelectedRow() const;
  // The display text of column `column` in row `row` (1-based).
  std::string CellText(int row, int column) const;
  // The display texts of every column of row `row` (1-based), read in one
  // visit of the row; empty when the row does not exist (a closed or
  // shrunken dataset), never an error: for backends drawing on demand.
  std::vector<std::string> RowTexts(int row) const;
  // The dataset's state as the row indicator shows it, for the selected row.
  TDataSetState State() const;

  // The person clicked row `row` (1-based): the grid takes the focus and
  // the dataset moves there.
  void SelectRowByPerson(int row);
  bool AcceptsFocus() const override { return true; }

 protected:
  void DataChanged() override { NotifyPeer(chData); }
  // Arrow keys move the dataset's cursor.
  void DoKeyDown(Word& key, TShiftState shift) override;

 private:
  std::deque<TColumn> columns_;
  TGridOptions options_{dgTitles, dgIndicator, dgColumnResize, dgColLines, dgRowLines, dgConfirmDelete, dgEditing};
  bool read_only_ = false;
  TColor title_color_ = clBtnFace;
};

enum TNavigateBtn { nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh };
using TButtonSet = TSet<TNavigateBtn>;

// A bar of buttons that move through and change the rows of its source.
class TDBNavigator : public TControl, public TDataBinding {
 public:
  explicit TDBNavigator(TComponent* owner);

  TButtonSet VisibleButtons() const { return visible_; }
  void SetVisibleButtons(TButtonSet buttons) { visible_ = buttons; NotifyPeer(chAppearance); }
  // Delete asks "Eliminar o registro?" (Yes/No) first when set.
  bool ConfirmDelete() const { return confirm_delete_; }
  void SetConfirmDelete(bool v) { confirm_delete_ = v; }
  // Whether the button is usable now (visible, and meaningful in the
  // dataset's state: no First/Prior on the first row, no Post while
  // browsing...).
  bool ButtonEnabled(TNavigateBtn button) const;
  // Runs the button's operation on the dataset, then OnClick.
  void BtnClick(TNavigateBtn button);
  // The person pressed a button: ignored when !ButtonEnabled.
  void ClickButtonByPerson(TNavigateBtn button);

  std::function<void(TObject& sender, TNavigateBtn button)> OnNavigate;

 protected:
  void DataChanged() override { NotifyPeer(chEnabled); }
  void EditingChanged() override { NotifyPeer(chEnabled); }

 private:
  TButtonSet visible_{nbFirst, nbPrior, nbNext, nbLast, nbInsert, nbDelete, nbEdit, nbPost, nbCancel, nbRefresh};
  bool confirm_delete_ = true;
};

}  // namespace qv

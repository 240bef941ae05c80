// TDataSet: insert, edit, post, cancel and delete. Every operation finishes
// its own bookkeeping before it calls its After* event, so a handler may
// close or reopen the dataset.
#include <algorithm>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/dataset.h"
#include "qvd3/platform/db/dataset_rows.h"

namespace qv {

namespace {

// A default expression as the value it stands for: quotes removed.
std::string DefaultText(const std::string& expression) {
  if (expression.size() >= 2 && expression.front() == '\'' && expression.back() == '\'') {
    std::string text;
    for (std::size_t i = 1; i + 1 < expression.size(); ++i) {
      text += expression[i];
      if (expression[i] == '\'' && expression[i + 1] == '\'') ++i;
    }
    return text;
  }
  return expression;
}

}  // namespace

bool TDataSet::Modified() const { return rows_ && rows_->editing && rows_->modified; }

void TDataSet::Insert() { StartInsert(false); }
void TDataSet::Append() { StartInsert(true); }

void TDataSet::StartInsert(bool at_end) {
  CheckActive();
  CheckModifiable();
  CheckBrowseMode();
  if (BeforeInsert) BeforeInsert(*this);
  if (state_ != TDataSetState::Browse) return;  // closed, or already editing, by the handler
  dbimpl::DataSetRows& rows = *rows_;
  const int n = rows.DataColumns();
  std::vector<Value> values(n);
  std::vector<bool> set(n, false);
  for (TField* f : fields_) {
    if (f->kind_ != TFieldKind::Data || f->default_expression_.empty()) continue;
    values[f->column_] = f->Coerce(Value(DefaultText(f->default_expression_)));
    set[f->column_] = true;
  }
  const int count = rows.VisibleCount();
  if (at_end || count == 0) {
    rows.insert_order_pos = rows.order.size();
    rows.insert_view_pos = count;
  } else {
    rows.RefreshPositions();
    rows.insert_order_pos = rows.positions[rows.VisibleSlot(rows.cursor)];
    rows.insert_view_pos = rows.cursor;
  }
  rows.edit = std::move(values);
  rows.edit_modified = std::move(set);
  rows.modified = false;
  rows.editing = true;
  state_ = TDataSetState::Insert;
  bof_ = eof_ = false;
  CalculateFields();
  NotifyStateChange();
  NotifyDataChange(nullptr);
  if (AfterInsert) AfterInsert(*this);
}

void TDataSet::Edit() {
  CheckActive();
  if (state_ == TDataSetState::Edit || state_ == TDataSetState::Insert) return;
  if (rows_->VisibleCount() == 0) {
    Insert();
    return;
  }
  CheckModifiable();
  if (BeforeEdit) BeforeEdit(*this);
  if (state_ != TDataSetState::Browse || rows_->VisibleCount() == 0) return;
  dbimpl::DataSetRows& rows = *rows_;
  const int n = rows.DataColumns();
  const char* record = rows.CurrentRecord();
  rows.edit.clear();
  for (int c = 0; c < n; ++c) rows.edit.push_back(dbimpl::CellToValue(rows.store->Get(record, c), rows.columns[c].type));
  rows.edit_modified.assign(n, false);
  rows.modified = false;
  rows.editing = true;
  rows.edit_slot = rows.VisibleSlot(rows.cursor);
  state_ = TDataSetState::Edit;
  NotifyStateChange();
  if (AfterEdit) AfterEdit(*this);
}

void TDataSet::EndEdit() {
  rows_->editing = false;
  rows_->edit.clear();
  rows_->edit_modified.clear();
  rows_->modified = false;
  state_ = TDataSetState::Browse;
  const int count = rows_->VisibleCount();
  rows_->cursor = std::clamp(rows_->cursor, 0, std::max(0, count - 1));
  if (count == 0) bof_ = eof_ = true;
}

void TDataSet::Post() {
  CheckActive();
  if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
  if (BeforePost) BeforePost(*this);
  if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
  dbimpl::DataSetRows& rows = *rows_;
  const bool inserting = state_ == TDataSetState::Insert;

  dbimpl::RowChange change = rows.ChangeOf(inserting ? nullptr : rows.records[rows.edit_slot]);
  change.values = rows.edit;
  change.modified = rows.edit_modified;
  if (inserting) {
    DoInsert(change);
  } else {
    DoUpdate(change);
  }
  const char* record = rows.store->Add(change.result);

  if (inserting) {
    auto slot = static_cast<std::uint32_t>(rows.records.size());
    rows.records.push_back(record);
    rows.order.insert(rows.order.begin() + rows.insert_order_pos, slot);
    rows.positions_stale = true;
    for (auto& index : rows.indexes) index->Add(slot, rows.records);
    if (rows.filtering) {
      rows.visible.push_back(0);
      if (RowPasses(slot)) {
        rows.visible[slot] = 1;
        rows.view.insert(rows.view.begin() + rows.insert_view_pos, slot);
      }
    }
    rows.cursor = rows.insert_view_pos;
  } else {
    std::uint32_t slot = rows.edit_slot;
    for (auto& index : rows.indexes) index->Remove(slot, rows.records);
    rows.records[slot] = record;
    rows.ForgetCached(slot);
    for (auto& index : rows.indexes) index->Add(slot, rows.records);
    if (rows.filtering && !RowPasses(slot)) {
      rows.visible[slot] = 0;
      rows.view.erase(std::find(rows.view.begin(), rows.view.end(), slot));
    }
  }
  EndEdit();
  bof_ = eof_ = rows.VisibleCount() == 0;
  CalculateFields();
  NotifyStateChange();
  NotifyDataChange(nullptr);
  if (AfterPost) AfterPost(*this);
}

void TDataSet::Cancel() {
  CheckActive();
  if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
  if (BeforeCancel) BeforeCancel(*this);
  if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert) return;
  EndEdit();
  bof_ = eof_ = rows_->VisibleCount() == 0;
  CalculateFields();
  NotifyStateChange();
  NotifyDataChange(nullptr);
  if (AfterCancel) AfterCancel(*this);
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::Insert) {
    Cancel();
    return;
  }
  if (rows_->VisibleCount() == 0) Fail("Cannot perform this operation on an empty dataset");
  CheckModifiable();
  if (BeforeDelete) BeforeDelete(*this);
  if (!Active() || rows_->VisibleCount() == 0) return;
  dbimpl::DataSetRows& rows = *rows_;
  const bool was_editing = state_ == TDataSetState::Edit;
  const std::uint32_t slot = rows.VisibleSlot(rows.cursor);

  dbimpl::RowChange change = rows.ChangeOf(rows.records[slot]);
  DoDelete(change);

  for (auto& index : rows.indexes) index->Remove(slot, rows.records);
  rows.RefreshPositions();
  rows.order.erase(rows.order.begin() + rows.positions[slot]);
  rows.positions_stale = true;
  if (rows.filtering) {
    rows.view.erase(rows.view.begin() + rows.cursor);
    rows.visible[slot] = 0;
  }
  rows.records[slot] = nullptr;
  if (was_editing) {
    EndEdit();
  } else {
    const int count = rows.VisibleCount();
    rows.cursor = std::clamp(rows.cursor, 0, std::max(0, count - 1));
  }
  bof_ = eof_ = rows.VisibleCount() == 0;
  CalculateFields();
  if (was_editing) NotifyStateChange();
  NotifyDataChange(nullptr);
  if (AfterDelete) AfterDelete(*this);
}

TRowSelection TDataSet::VisibleRows() {
  CheckActive();
  TRowSelection selection;
  selection.opening_ = opening_;
  const dbimpl::DataSetRows& rows = *rows_;
  selection.slots_ = rows.filtering ? rows.view : rows.order;
  return selection;
}

void TDataSet::DoDeleteRows(std::vector<dbimpl::RowChange>& changes) {
  for (dbimpl::RowChange& change : changes) DoDelete(change);
}

void TDataSet::DoInsertRows(std::vector<dbimpl::RowChange>& changes) {
  for (dbimpl::RowChange& change : changes) DoInsert(change);
}

void TDataSet::AppendRows(std::string_view fields, const std::vector<std::vector<Value>>& values) {
  CheckActive();
  CheckModifiable();
  CheckBrowseMode();
  if (BeforeInsert || AfterInsert || BeforePost || AfterPost)
    Fail("A dataset with insert or post events adds its rows one by one");
  std::vector<TField*> named;
  for (std::size_t start = 0; start <= fields.size();) {
    const std::size_t end = std::min(fields.find(';', start), fields.size());
    TField& field = FieldByName(fields.substr(start, end - start));
    if (field.kind_ != TFieldKind::Data) Fail("Only data fields can be set by AppendRows: " + field.FieldName());
    named.push_back(&field);
    start = end + 1;
  }
  if (values.empty()) return;
  dbimpl::DataSetRows& rows = *rows_;
  const int n = rows.DataColumns();
  std::vector<Value> defaults(n);
  std::vector<bool> set(n, false);
  for (TField* f : fields_) {
    if (f->kind_ != TFieldKind::Data || f->default_expression_.empty()) continue;
    defaults[f->column_] = f->Coerce(Value(DefaultText(f->default_expression_)));
    set[f->column_] = true;
  }
  for (TField* f : named) set[f->column_] = true;
  std::vector<dbimpl::RowChange> changes;
  changes.reserve(values.size());
  for (const std::vector<Value>& row : values) {
    if (row.size() != named.size()) Fail("A row of AppendRows has " + std::to_string(row.size()) + " values for " +
                                         std::to_string(named.size()) + " fields");
    dbimpl::RowChange change = rows.ChangeOf(nullptr);
    change.values = defaults;
    change.modified = set;
    for (std::size_t i = 0; i < named.size(); ++i) change.values[named[i]->column_] = named[i]->Coerce(row[i]);
    changes.push_back(std::move(change));
  }
  DoInsertRows(changes);

  for (dbimpl::RowChange& change : changes) {
    const char* record = rows.store->Add(change.result);
    const auto slot = static_cast<std::uint32_t>(rows.records.size());
    rows.records.push_back(record);
    rows.order.push_back(slot);
    for (auto& index : rows.indexes) index->Add(slot, rows.records);
    if (rows.filtering) {
      rows.visible.push_back(0);
      if (RowPasses(slot)) {
        rows.visible[slot] = 1;
        rows.view.push_back(slot);
      }
    }
  }
  rows.positions_stale = true;
  bof_ = eof_ = rows.VisibleCount() == 0;
  CalculateFields();
  NotifyDataChange(nullptr);
}

int TDataSet::DeleteRows(const TRowSelection& selection) {
  CheckBrowseMode();
  CheckModifiable();
  if (selection.opening_ != opening_) Fail("The rows were selected before the dataset was last opened");
  if (BeforeDelete || AfterDelete) Fail("A dataset with delete events deletes its rows one by one");
  dbimpl::DataSetRows& rows = *rows_;
  std::vector<dbimpl::RowChange> changes;
  std::vector<std::uint32_t> slots;
  for (std::uint32_t slot : selection.slots_) {
    if (!rows.records[slot]) continue;
    changes.push_back(rows.ChangeOf(rows.records[slot]));
    slots.push_back(slot);
  }
  if (changes.empty()) return 0;
  DoDeleteRows(changes);

  // The cursor keeps its row, or takes the one that followed it: the number
  // of remaining rows before it is its new index either way.
  std::vector<std::uint32_t>& shown = rows.filtering ? rows.view : rows.order;
  for (std::uint32_t slot : slots) {
    rows.records[slot] = nullptr;
    if (rows.filtering) rows.visible[slot] = 0;
  }
  const auto gone = [&](std::uint32_t slot) { return rows.records[slot] == nullptr; };
  const int before = static_cast<int>(
      std::count_if(shown.begin(), shown.begin() + std::min<std::size_t>(rows.cursor, shown.size()),
                    [&](std::uint32_t slot) { return !gone(slot); }));
  std::erase_if(rows.order, gone);
  if (rows.filtering) std::erase_if(rows.view, gone);
  rows.positions_stale = true;
  rows.indexes.clear();  // rebuilt on their next use, cheaper than many removals
  const int count = rows.VisibleCount();
  rows.cursor = std::clamp(before, 0, std::max(0, count - 1));
  bof_ = eof_ = count == 0;
  CalculateFields();
  NotifyDataChange(nullptr);
  return static_cast<int>(changes.size());
}

}  // namespace qv

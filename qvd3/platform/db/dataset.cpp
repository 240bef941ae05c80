// TDataSet: opening and closing, fields, the cursor, keyed search, filters
// and notifications. Editing is in dataset_edit.cpp.
#include "qvd3/platform/db/dataset.h"

#include <algorithm>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/dataset_rows.h"
#include "qvd3/platform/db/datasource.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv {

using dbimpl::CellToValue;

namespace {

std::vector<std::string_view> SplitNames(std::string_view list) {
  std::vector<std::string_view> names;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view name = list.substr(start, end - start);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    names.push_back(name);
    start = end + 1;
  }
  return names;
}

}  // namespace

TDataSet::TDataSet() = default;

TDataSet::~TDataSet() {
  for (TDataSource* source : sources_) source->dataset_ = nullptr;
}

void TDataSet::Fail(const std::string& message) const {
  throw EDatabaseError(name_.empty() ? message : name_ + ": " + message);
}

void TDataSet::CheckActive() const {
  if (!Active()) Fail("Cannot perform this operation on a closed dataset");
  if (rows_->pending) ReadPendingRows();
}

void TDataSet::CheckModifiable() const {
  if (!CanModify()) Fail("Cannot modify a read-only dataset");
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  if (state_ == TDataSetState::Edit || state_ == TDataSetState::Insert) Post();
}

// --- Open and close ---------------------------------------------------------

void TDataSet::Open() {
  if (Active()) return;
  if (BeforeOpen) BeforeOpen(*this);
  if (Active()) return;
  auto rows = std::make_unique<dbimpl::DataSetRows>();
  bool deferred = false;
  if (defer_rows_) {
    deferred = DoPrepare(*rows);
  } else {
    DoOpen(*rows);
  }
  if (!rows->store) rows->SetColumns({});
  rows->pending = deferred;
  rows_ = std::move(rows);
  ++opening_;
  try {
    BindFields();
    state_ = TDataSetState::Browse;
    if (!deferred) ApplyFilter();
  } catch (...) {
    state_ = TDataSetState::Inactive;
    rows_.reset();
    fields_.clear();
    DoClose();
    throw;
  }
  if (!deferred) PlaceAtFirst(false);  // the sources hear of the new rows through the activation
  NotifyActiveChange();
  if (AfterOpen) AfterOpen(*this);
}

void TDataSet::Close() {
  if (!Active()) return;
  if (BeforeClose) BeforeClose(*this);
  if (!Active()) return;
  state_ = TDataSetState::Inactive;
  rows_.reset();
  fields_.clear();
  for (auto& f : persistent_) f->column_ = -1;
  for (auto& f : dynamic_) f->column_ = -1;
  eof_ = bof_ = true;
  DoClose();
  NotifyActiveChange();
  if (AfterClose) AfterClose(*this);
}

void TDataSet::Reopen() {
  Close();
  Open();
}

bool TDataSet::RowsPending() const { return rows_ && rows_->pending; }

namespace {

// Takes the rows of a deferred read. The columns come again with the rows;
// their number must not have changed since Open, and the types they now
// report (SQLite types expressions by their first value) are taken over.
struct PendingRowsSink : dbimpl::ResultSink {
  explicit PendingRowsSink(dbimpl::DataSetRows& rows) : rows(rows) {}
  void SetColumns(std::vector<dbimpl::ColumnInfo> columns) override {
    if (columns.size() != rows.columns.size())
      throw EDatabaseError("The columns of the result changed since the dataset was opened");
    for (std::size_t c = 0; c < columns.size(); ++c) rows.columns[c].type = columns[c].type;
  }
  void AddRow(const dbimpl::Cell* cells) override { rows.AddRow(cells); }
  dbimpl::DataSetRows& rows;
};

}  // namespace

void TDataSet::ReadPendingRows() const {
  auto* self = const_cast<TDataSet*>(this);
  dbimpl::DataSetRows& rows = *rows_;
  rows.pending = false;
  try {
    PendingRowsSink sink(rows);
    self->DoFetch(sink);
    for (TField* f : fields_)
      if (f->kind_ == TFieldKind::Data) f->type_ = rows.columns[f->column_].type;
    self->ApplyFilter();
  } catch (...) {
    if (self->rows_.get() == &rows) {
      rows.DropRows();
      rows.pending = true;
    }
    throw;
  }
  self->PlaceAtFirst(false);
}

bool TDataSet::Eof() const {
  if (rows_ && rows_->pending) ReadPendingRows();
  return eof_;
}

bool TDataSet::Bof() const {
  if (rows_ && rows_->pending) ReadPendingRows();
  return bof_;
}

// Binds the result columns to fields: a persistent data field of the same
// name, else a field kept from an earlier open, else a new one. Calculated
// and lookup fields follow in the order they were declared.
void TDataSet::BindFields() {
  fields_.clear();
  for (auto& f : persistent_) f->column_ = -1;
  for (auto& f : dynamic_) f->column_ = -1;
  const int n = rows_->DataColumns();
  for (int c = 0; c < n; ++c) {
    const dbimpl::ColumnInfo& column = rows_->columns[c];
    TField* field = nullptr;
    for (auto* list : {&persistent_, &dynamic_}) {
      for (auto& f : *list) {
        if (!field && f->kind_ == TFieldKind::Data && f->column_ < 0 && SameText(f->name_, column.name))
          field = f.get();
      }
    }
    if (!field) {
      dynamic_.push_back(std::unique_ptr<TField>(
          new TField(*this, column.name, TFieldKind::Data, column.type, column.size, false)));
      field = dynamic_.back().get();
    }
    field->column_ = c;
    field->type_ = column.type;
    field->size_ = field->size_override_ > 0 ? field->size_override_ : column.size;
    fields_.push_back(field);
  }
  int slots = 0, cached_slots = 0;
  for (auto& f : persistent_) {
    if (f->kind_ == TFieldKind::Data) {
      if (f->column_ < 0) Fail("Field '" + f->name_ + "' not found");
      continue;
    }
    if (f->kind_ == TFieldKind::Calculated) f->slot_ = slots++;
    if (f->kind_ == TFieldKind::Cached) f->slot_ = cached_slots++;
    fields_.push_back(f.get());
  }
  rows_->calculated.assign(slots, Value());
  rows_->cached.assign(cached_slots, {});
}

TField& TDataSet::DefineField(std::string_view name) {
  if (FindField(name) || Active()) Fail("Cannot define field '" + std::string(name) + "' now");
  persistent_.push_back(std::unique_ptr<TField>(
      new TField(*this, std::string(name), TFieldKind::Data, TFieldType::Unknown, 0, true)));
  return *persistent_.back();
}

TField& TDataSet::AddCalculatedField(std::string_view name, TFieldType type, int size) {
  if (FindField(name) || Active()) Fail("Cannot add field '" + std::string(name) + "' now");
  persistent_.push_back(std::unique_ptr<TField>(
      new TField(*this, std::string(name), TFieldKind::Calculated, type, size, true)));
  return *persistent_.back();
}

TField& TDataSet::AddCachedField(std::string_view name, TFieldComputeEvent compute) {
  if (FindField(name) || Active()) Fail("Cannot add field '" + std::string(name) + "' now");
  persistent_.push_back(std::unique_ptr<TField>(
      new TField(*this, std::string(name), TFieldKind::Cached, TFieldType::Integer, 0, true)));
  persistent_.back()->compute_ = std::move(compute);
  return *persistent_.back();
}

TField& TDataSet::AddLookupField(std::string_view name, int size, std::string_view key_fields,
                                 TDataSet& lookup_dataset, std::string_view lookup_key_fields,
                                 std::string_view lookup_result_field) {
  if (FindField(name) || Active()) Fail("Cannot add field '" + std::string(name) + "' now");
  if (SplitNames(key_fields).size() != SplitNames(lookup_key_fields).size())
    Fail("Lookup field '" + std::string(name) + "' has key lists of different lengths");
  persistent_.push_back(std::unique_ptr<TField>(
      new TField(*this, std::string(name), TFieldKind::Lookup, TFieldType::String, size, true)));
  TField& f = *persistent_.back();
  f.key_fields_ = key_fields;
  f.lookup_dataset_ = &lookup_dataset;
  f.lookup_key_fields_ = lookup_key_fields;
  f.lookup_result_field_ = lookup_result_field;
  return f;
}

TField* TDataSet::FindField(std::string_view name) {
  if (Active()) {
    for (TField* f : fields_)
      if (SameText(f->name_, name)) return f;
    return nullptr;
  }
  for (auto& f : persistent_)
    if (SameText(f->name_, name)) return f.get();
  return nullptr;
}

TField& TDataSet::FieldByName(std::string_view name) {
  if (TField* f = FindField(name)) return *f;
  Fail("Field '" + std::string(name) + "' not found");
}

// --- Field storage ------------------------------------------------------------

const char* TDataSet::RecordForRead(const TField& field) const {
  if (!rows_ || field.column_ < 0)
    Fail("Field '" + field.name_ + "' cannot be read: the dataset is closed");
  if (rows_->pending) ReadPendingRows();
  if (rows_->stand_in) return rows_->stand_in;
  return rows_->CurrentRecord();
}

Value TDataSet::ReadData(const TField& field) const {
  const char* record = RecordForRead(field);
  if (rows_->editing && !rows_->stand_in) return rows_->edit[field.column_];
  if (!record) return Value();
  return CellToValue(rows_->store->Get(record, field.column_), field.type_);
}

bool TDataSet::DataIsNull(const TField& field) const {
  const char* record = RecordForRead(field);
  if (rows_->editing && !rows_->stand_in) return rows_->edit[field.column_].IsNull();
  return !record || rows_->store->Get(record, field.column_).null;
}

std::string TDataSet::ReadDataText(const TField& field) const {
  const char* record = RecordForRead(field);
  if (rows_->editing && !rows_->stand_in) return rows_->edit[field.column_].AsString();
  if (!record) return std::string();
  dbimpl::Cell cell = rows_->store->Get(record, field.column_);
  return cell.null ? std::string() : std::string(cell.data, cell.size);
}

Value TDataSet::ReadCalculated(const TField& field) const {
  if (!rows_ || field.slot_ < 0) Fail("Field '" + field.name_ + "' cannot be read: the dataset is closed");
  if (rows_->pending) ReadPendingRows();
  return rows_->calculated[field.slot_];
}

Value TDataSet::ReadLookup(const TField& field) const {
  CheckActive();
  TDataSet* lookup = field.lookup_dataset_;
  if (!lookup || !lookup->Active()) return Value();
  std::vector<Value> keys;
  for (std::string_view name : SplitNames(field.key_fields_)) {
    Value v = const_cast<TDataSet*>(this)->FieldByName(name).AsValue();
    if (v.IsNull()) return Value();
    keys.push_back(std::move(v));
  }
  return lookup->Lookup(field.lookup_key_fields_, keys, field.lookup_result_field_);
}

// A row being edited or inserted is derived afresh on every read; a stored
// row once, its value kept by slot.
Value TDataSet::ReadCached(const TField& field) const {
  if (!rows_ || field.slot_ < 0) Fail("Field '" + field.name_ + "' cannot be read: the dataset is closed");
  if (rows_->pending) ReadPendingRows();
  dbimpl::DataSetRows& rows = *rows_;
  auto* self = const_cast<TDataSet*>(this);
  auto derive = [&]() -> std::optional<std::int64_t> {
    return field.compute_ ? field.compute_(*self) : std::nullopt;
  };
  std::uint32_t slot;
  if (rows.stand_in) {
    slot = rows.stand_in_slot;
  } else if (rows.editing) {
    std::optional<std::int64_t> value = derive();
    return value ? Value(static_cast<long long>(*value)) : Value();
  } else if (rows.VisibleCount() == 0) {
    return Value();
  } else {
    slot = rows.VisibleSlot(rows.cursor);
  }
  dbimpl::DataSetRows::CachedValues& cache = rows.cached[field.slot_];
  if (cache.state.size() <= slot) {
    cache.state.resize(rows.records.size(), dbimpl::DataSetRows::kNotDerived);
    cache.values.resize(rows.records.size());
  }
  if (cache.state[slot] == dbimpl::DataSetRows::kNotDerived) {
    std::optional<std::int64_t> value = derive();
    cache.values[slot] = value.value_or(0);
    cache.state[slot] = value ? dbimpl::DataSetRows::kDerived : dbimpl::DataSetRows::kDerivedNull;
  }
  if (cache.state[slot] == dbimpl::DataSetRows::kDerivedNull) return Value();
  return Value(static_cast<long long>(cache.values[slot]));
}

void TDataSet::WriteField(TField& field, Value value) {
  CheckActive();
  if (field.kind_ == TFieldKind::Calculated) {
    rows_->calculated[field.slot_] = std::move(value);
    return;
  }
  if (field.column_ < 0) Fail("Field '" + field.name_ + "' cannot be modified");
  if (state_ != TDataSetState::Edit && state_ != TDataSetState::Insert)
    Fail("Dataset not in edit or insert mode");
  rows_->edit[field.column_] = std::move(value);
  rows_->edit_modified[field.column_] = true;
  rows_->modified = true;
  CalculateFields();
  NotifyDataChange(&field);
}

// --- Cursor -----------------------------------------------------------------

void TDataSet::CalculateFields() {
  if (!rows_ || rows_->calculated.empty()) return;
  std::fill(rows_->calculated.begin(), rows_->calculated.end(), Value());
  if (!OnCalcFields) return;
  if (!rows_->editing && !rows_->stand_in && !rows_->CurrentRecord()) return;
  TDataSetState saved = state_;
  state_ = TDataSetState::CalcFields;
  try {
    OnCalcFields(*this);
  } catch (...) {
    state_ = saved;
    throw;
  }
  state_ = saved;
}

void TDataSet::MoveTo(int index) {
  rows_->cursor = index;
  CalculateFields();
  NotifyDataChange(nullptr);
}

void TDataSet::PlaceAtFirst(bool notify) {
  bof_ = true;
  eof_ = rows_->VisibleCount() == 0;
  if (notify) {
    MoveTo(0);
  } else {
    rows_->cursor = 0;
    CalculateFields();
  }
}

void TDataSet::First() {
  CheckBrowseMode();
  PlaceAtFirst(true);
}

void TDataSet::Next() {
  CheckBrowseMode();
  if (rows_->cursor + 1 < rows_->VisibleCount()) {
    bof_ = eof_ = false;
    MoveTo(rows_->cursor + 1);
  } else {
    eof_ = true;
  }
}

void TDataSet::Prior() {
  CheckBrowseMode();
  if (rows_->cursor > 0 && rows_->VisibleCount() > 0) {
    bof_ = eof_ = false;
    MoveTo(rows_->cursor - 1);
  } else {
    bof_ = true;
  }
}

void TDataSet::Last() {
  CheckBrowseMode();
  int count = rows_->VisibleCount();
  eof_ = true;
  bof_ = count == 0;
  MoveTo(count > 0 ? count - 1 : 0);
}

int TDataSet::RecordCount() const {
  CheckActive();
  return rows_->VisibleCount();
}

int TDataSet::RecNo() const {
  CheckActive();
  if (state_ == TDataSetState::Insert) return rows_->insert_view_pos + 1;
  return rows_->VisibleCount() == 0 ? 0 : rows_->cursor + 1;
}

void TDataSet::SetRecNo(int recno) {
  CheckBrowseMode();
  int count = rows_->VisibleCount();
  if (count == 0) return;
  bof_ = eof_ = false;
  MoveTo(std::clamp(recno, 1, count) - 1);
}

void TDataSet::WithRecord(int recno, const std::function<void()>& read) {
  CheckActive();
  if (recno < 1 || recno > rows_->VisibleCount()) Fail("Record number " + std::to_string(recno) + " out of range");
  dbimpl::DataSetRows* rows = rows_.get();
  const char* saved_stand_in = rows->stand_in;
  std::vector<Value> saved_calculated = rows->calculated;
  const std::uint32_t saved_slot = rows->stand_in_slot;
  rows->stand_in_slot = rows->VisibleSlot(recno - 1);
  rows->stand_in = rows->records[rows->stand_in_slot];
  struct Restore {
    TDataSet* self;
    dbimpl::DataSetRows* rows;
    const char* stand_in;
    std::uint32_t slot;
    std::vector<Value>& calculated;
    ~Restore() {
      if (self->rows_.get() != rows) return;  // closed meanwhile
      rows->stand_in = stand_in;
      rows->stand_in_slot = slot;
      rows->calculated = std::move(calculated);
    }
  } restore{this, rows, saved_stand_in, saved_slot, saved_calculated};
  CalculateFields();
  read();
}

// --- Keyed search -----------------------------------------------------------

std::vector<int> TDataSet::ResolveColumns(std::string_view fields) {
  std::vector<int> columns;
  for (std::string_view name : SplitNames(fields)) {
    TField& f = FieldByName(name);
    if (f.column_ < 0) Fail("Field '" + f.name_ + "' cannot be used as a search key");
    columns.push_back(f.column_);
  }
  return columns;
}

int TDataSet::FindVisible(const std::vector<int>& columns, const std::vector<Value>& values) {
  if (columns.size() != values.size())
    Fail("Search on " + std::to_string(columns.size()) + " fields given " + std::to_string(values.size()) +
         " values");
  dbimpl::DataSetRows& rows = *rows_;
  dbimpl::HashIndex& index = rows.IndexOn(columns);
  rows.RefreshPositions();
  int best = -1;
  std::uint32_t best_position = 0xffffffffu;
  index.ForEachMatch(values, rows.records, [&](std::uint32_t slot) {
    if (rows.IsVisible(slot) && rows.positions[slot] < best_position) {
      best_position = rows.positions[slot];
      best = static_cast<int>(slot);
    }
  });
  return best;
}

bool TDataSet::Locate(std::string_view fields, const Value& value) {
  return Locate(fields, std::vector<Value>{value});
}

bool TDataSet::Locate(std::string_view fields, const std::vector<Value>& values) {
  CheckBrowseMode();
  int slot = FindVisible(ResolveColumns(fields), values);
  if (slot < 0) return false;
  bof_ = eof_ = false;
  MoveTo(rows_->VisibleIndexOf(static_cast<std::uint32_t>(slot)));
  return true;
}

Value TDataSet::Lookup(std::string_view key_fields, const std::vector<Value>& key_values,
                       std::string_view result_field) {
  CheckActive();
  int slot = FindVisible(ResolveColumns(key_fields), key_values);
  if (slot < 0) return Value();
  TField& result = FieldByName(result_field);
  if (result.column_ >= 0)
    return CellToValue(rows_->store->Get(rows_->records[slot], result.column_), result.type_);
  Value value;
  WithRecord(rows_->VisibleIndexOf(static_cast<std::uint32_t>(slot)) + 1, [&] { value = result.AsValue(); });
  return value;
}

// --- Filters ----------------------------------------------------------------

bool TDataSet::RowPasses(std::uint32_t slot) {
  dbimpl::DataSetRows& rows = *rows_;
  const char* record = rows.records[slot];
  if (rows.expression && !rows.expression->Matches(*rows.store, record)) return false;
  if (!OnFilterRecord) return true;
  const char* saved = rows.stand_in;
  const std::uint32_t saved_slot = rows.stand_in_slot;
  TDataSetState state = state_;
  rows.stand_in = record;
  rows.stand_in_slot = slot;
  state_ = TDataSetState::Filter;
  bool accept = true;
  try {
    OnFilterRecord(*this, accept);
  } catch (...) {
    state_ = state;
    rows.stand_in = saved;
    rows.stand_in_slot = saved_slot;
    throw;
  }
  state_ = state;
  rows.stand_in = saved;
  rows.stand_in_slot = saved_slot;
  return accept;
}

// Rebuilds the visible rows. A filter "column = constant" takes its
// candidates from the column's index instead of reading every row.
void TDataSet::ApplyFilter() {
  dbimpl::DataSetRows& rows = *rows_;
  rows.filtering = false;
  rows.view.clear();
  rows.visible.clear();
  rows.expression.reset();
  if (!filtered_ || (filter_.empty() && !OnFilterRecord)) return;
  if (!filter_.empty()) {
    rows.expression = dbimpl::FilterExpression::Parse(filter_, [&](std::string_view name) {
      TField* f = FindField(name);
      if (!f || f->column_ < 0)
        throw EDatabaseError("Invalid filter expression \"" + filter_ + "\": field '" + std::string(name) +
                             "' not found");
      return dbimpl::FilterColumn{f->column_, f->type_};
    });
  }
  std::vector<std::uint8_t> visible(rows.records.size(), 0);
  std::vector<std::uint32_t> view;
  int column;
  Value constant;
  if (rows.expression && rows.expression->IsEquality(column, constant)) {
    rows.RefreshPositions();
    dbimpl::HashIndex& index = rows.IndexOn({column});
    index.ForEachMatch({constant}, rows.records, [&](std::uint32_t slot) { view.push_back(slot); });
    std::sort(view.begin(), view.end(),
              [&](std::uint32_t a, std::uint32_t b) { return rows.positions[a] < rows.positions[b]; });
    if (OnFilterRecord)
      view.erase(std::remove_if(view.begin(), view.end(), [&](std::uint32_t s) { return !RowPasses(s); }),
                 view.end());
  } else {
    for (std::uint32_t slot : rows.order)
      if (RowPasses(slot)) view.push_back(slot);
  }
  for (std::uint32_t slot : view) visible[slot] = 1;
  rows.view = std::move(view);
  rows.visible = std::move(visible);
  rows.filtering = true;
  rows.cursor = 0;
}

void TDataSet::ChangeFilter(std::string_view text, bool filtered) {
  if (!Active()) {
    filter_ = text;
    filtered_ = filtered;
    return;
  }
  CheckBrowseMode();
  std::string old_text = filter_;
  bool old_filtered = filtered_;
  filter_ = text;
  filtered_ = filtered;
  try {
    ApplyFilter();
  } catch (...) {
    filter_ = old_text;
    filtered_ = old_filtered;
    ApplyFilter();
    throw;
  }
  PlaceAtFirst(true);
}

void TDataSet::SetFilter(std::string_view text) { ChangeFilter(text, filtered_); }
void TDataSet::SetFiltered(bool filtered) { ChangeFilter(filter_, filtered); }
void TDataSet::Refilter() { ChangeFilter(filter_, filtered_); }

// --- Notifications ----------------------------------------------------------

void TDataSet::AttachDataSource(TDataSource* source) {
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) sources_.push_back(source);
}

void TDataSet::DetachDataSource(TDataSource* source) {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void TDataSet::NotifyDataChange(TField* field) {
  if (sources_.empty()) return;
  std::vector<TDataSource*> sources = sources_;
  for (TDataSource* s : sources)
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end()) s->NotifyDataChanged(field);
}

void TDataSet::NotifyStateChange() {
  std::vector<TDataSource*> sources = sources_;
  for (TDataSource* s : sources)
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end()) s->NotifyStateChanged();
}

void TDataSet::NotifyActiveChange() {
  std::vector<TDataSource*> sources = sources_;
  for (TDataSource* s : sources)
    if (std::find(sources_.begin(), sources_.end(), s) != sources_.end()) s->NotifyActiveChanged();
}

}  // namespace qv

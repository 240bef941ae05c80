// TDataSet: a set of rows with one current row, fields, states, events,
// filters, keyed search and in-place editing. TQuery is the dataset over an
// SQL select; this class holds everything that does not depend on where the
// rows come from.
//
// Cursor. After Open the cursor stands on the first visible row. Next on the
// last row sets Eof and stays; Prior on the first sets Bof and stays. An
// empty dataset has Eof and Bof both true. RecordCount counts the rows
// visible under the filter.
//
// States and events. Each operation calls its Before* event, does its work,
// tells the data sources, then calls its After* event:
//   Open     BeforeOpen, AfterOpen          Close   BeforeClose, AfterClose
//   Insert   BeforeInsert, (defaults), AfterInsert     (Append: same)
//   Edit     BeforeEdit, AfterEdit          Post    BeforePost, AfterPost
//   Cancel   BeforeCancel, AfterCancel      Delete  BeforeDelete, AfterDelete
// A handler may raise Abort() (EAbort): the operation ends with nothing
// changed and the exception reaches the caller. Edit while editing or
// inserting does nothing (on an empty dataset it inserts); Post and Cancel
// in browse state do nothing; moving the cursor while editing posts first;
// Delete while inserting cancels the insert. A Post the engine refuses leaves
// the dataset in its edit or insert state with the typed values. Handlers may
// close and reopen this or any other dataset inside After* events.
//
// OnCalcFields runs for a row each time it becomes current (and while it is
// edited, after each field change); calculated fields may be written only
// there. OnFilterRecord and the Filter text decide which rows are visible
// while Filtered is set; a row must pass both.
//
// Filter text: column names bare or in brackets, = <> < > <= >=, quoted
// strings ('' is a quote), integers, AND, OR, NOT and parentheses, e.g.
// "[USERQV_NAME]<>'master'" or "USER_ID=7". A malformed text raises
// EDatabaseError naming it. Null equals nothing and differs from every value.
//
// Locate, Lookup and single-column equality filters are served by hash
// indexes the dataset builds on first use and keeps across edits.
//
// Rows read when needed. With DeferRows set, Open checks the statement and
// binds the fields but reads no row; the rows are read, as the statement
// and its parameters stood at Open, the first time anything needs them: a
// cursor move or test (Eof, Bof), a field read, RecordCount, RecNo, Locate,
// Lookup, a filter change, an edit. Callers see the dataset they would see
// had the rows been read at Open, except that rows other clients stored in
// between are included. A table that only grows (the audit trail) then
// costs neither time nor memory until it is used.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/value.h"

namespace qv {

class TDataSet;
class TDataSource;

namespace dbimpl {
struct DataSetRows;
struct RowChange;
struct ResultSink;
}  // namespace dbimpl

enum class TDataSetState { Inactive, Browse, Edit, Insert, CalcFields, Filter };

// Rows of one open dataset, taken by TDataSet::VisibleRows. It names the
// rows themselves, whatever the cursor, the filter or later changes of the
// dataset do, until the dataset closes.
class TRowSelection {
 public:
  int Count() const { return static_cast<int>(slots_.size()); }
  bool IsEmpty() const { return slots_.empty(); }

 private:
  friend class TDataSet;
  std::uint64_t opening_ = 0;
  std::vector<std::uint32_t> slots_;
};

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;
using TFilterRecordEvent = std::function<void(TDataSet&, bool& accept)>;

class TDataSet {
 public:
  TDataSet();
  virtual ~TDataSet();
  TDataSet(const TDataSet&) = delete;
  TDataSet& operator=(const TDataSet&) = delete;

  // The name used in error messages ("qryUsers").
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // --- Life cycle -------------------------------------------------------
  void Open();
  // Discards an edit in progress. Does nothing when already closed.
  void Close();
  // Close, then Open: reads the rows again under the current SQL and
  // parameters, with the cursor on the first row.
  void Reopen();
  bool Active() const { return state_ != TDataSetState::Inactive; }
  void SetActive(bool active) { active ? Open() : Close(); }
  TDataSetState State() const { return state_; }

  // Whether Open leaves the rows to be read when first needed (see above);
  // takes effect at the next Open.
  bool DeferRows() const { return defer_rows_; }
  void SetDeferRows(bool defer) { defer_rows_ = defer; }
  // True while the dataset is open and its rows are still to be read.
  bool RowsPending() const;

  // --- Cursor -----------------------------------------------------------
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const;
  bool Bof() const;
  int RecordCount() const;
  bool IsEmpty() const { return RecordCount() == 0; }
  // 1-based position of the current row among the visible rows; 0 when empty.
  int RecNo() const;
  void SetRecNo(int recno);

  // Moves to the first visible row whose fields (one name, or several joined
  // by ";") equal `values` exactly (whole value, case-sensitive; null
  // matches null) and returns true; otherwise returns false and the cursor
  // stays. An integer field matches the integer a value denotes.
  bool Locate(std::string_view fields, const Value& value);
  bool Locate(std::string_view fields, const std::vector<Value>& values);
  // The value of `result_field` in the first visible row matching as Locate
  // does, without moving the cursor; null when there is none.
  Value Lookup(std::string_view key_fields, const std::vector<Value>& key_values,
               std::string_view result_field);

  // Runs `read` with the row at `recno` (1-based, visible rows) standing in
  // as the current row, calculated fields computed for it, then restores the
  // current row. No events are raised; for grids drawing several rows.
  void WithRecord(int recno, const std::function<void()>& read);

  // --- Fields -----------------------------------------------------------
  // Case-insensitive. FieldByName raises EDatabaseError
  // "Field 'X' not found in <dataset>" when absent; FindField returns nullptr.
  TField& FieldByName(std::string_view name);
  TField* FindField(std::string_view name);
  // Data fields in result order, then calculated and lookup fields in the
  // order they were added. Empty while closed apart from persistent fields.
  const std::vector<TField*>& Fields() const { return fields_; }
  int FieldCount() const { return static_cast<int>(fields_.size()); }

  // Declares a persistent data field bound at each Open to the result column
  // of that name (case-insensitive); Open fails when the column is missing.
  // Set formats, default expression and size on it before opening.
  TField& DefineField(std::string_view name);
  // A persistent calculated field, written by OnCalcFields.
  TField& AddCalculatedField(std::string_view name, TFieldType type, int size);
  // A persistent integer field derived from the other fields of its row by
  // `compute`, which runs with the row standing as the current one, on the
  // row's first read; the value is kept with the row until the row is
  // changed through the dataset or the dataset closes. For values too costly
  // to derive on every read: a filter routine re-evaluated over every row
  // then derives each row's value once, not once per evaluation. `compute`
  // must not move the cursor nor read its own field.
  TField& AddCachedField(std::string_view name, TFieldComputeEvent compute);
  // A persistent lookup field (see TField::KeyFields); text of width `size`.
  TField& AddLookupField(std::string_view name, int size, std::string_view key_fields,
                         TDataSet& lookup_dataset, std::string_view lookup_key_fields,
                         std::string_view lookup_result_field);

  // --- Editing ----------------------------------------------------------
  void Insert();  // new row before the current one
  void Append();  // new row after the last one
  void Edit();
  void Post();
  void Cancel();
  // Deletes the current row; the cursor moves to the following row, or to
  // the new last row when the last was deleted.
  void Delete();
  // The rows visible now (those passing the filter), in order.
  TRowSelection VisibleRows();
  // Deletes the rows of `selection` still present, in one transaction (or
  // in the one the caller has started): all of them are deleted or, when
  // the engine refuses one or finds one no longer there, the error
  // propagates and none is. The cursor stays on its row when that row
  // remains, else moves to the row that followed it. Raises, deleting
  // nothing, for a selection taken before the dataset was last opened and
  // for a dataset with BeforeDelete or AfterDelete events (its rows are
  // deleted one by one with Delete). Returns the number of rows deleted.
  int DeleteRows(const TRowSelection& selection);
  // Adds `values` (one vector per row, its values in the order of the
  // fields named in `fields`, ";"-separated) as new rows after the last
  // one, stored in as few statements as the engine allows: the same rows
  // as Append, setting those fields, and Post for each, with the fields'
  // defaults but none of the insert or post events. All or nothing (in one
  // transaction, or in the one the caller has started). Raises, storing
  // nothing, for a dataset with such events, an unknown field or a row of
  // the wrong length. The cursor stays where it was.
  void AppendRows(std::string_view fields, const std::vector<std::vector<Value>>& values);
  // True while editing and a field was written since Edit/Insert.
  bool Modified() const;
  // Whether rows can be changed through this dataset.
  virtual bool CanModify() const { return false; }

  // --- Filter -----------------------------------------------------------
  const std::string& Filter() const { return filter_; }
  // Changing the text (or Filtered) re-evaluates every row and moves to the
  // first visible one.
  void SetFilter(std::string_view text);
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool filtered);
  // Re-evaluates the filter for every row (after OnFilterRecord's inputs
  // changed) and moves to the first visible row.
  void Refilter();

  // --- Events -----------------------------------------------------------
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete;
  TDataSetNotifyEvent OnCalcFields;
  TFilterRecordEvent OnFilterRecord;

  // --- For TDataSource --------------------------------------------------
  void AttachDataSource(TDataSource* source);
  void DetachDataSource(TDataSource* source);

 protected:
  // Fills `sink` with the columns and rows of a fresh cursor. `live` asks
  // the provider to add the row identity as an extra last column.
  virtual void DoOpen(dbimpl::ResultSink& sink) = 0;
  // Writes a change to the database. For inserts and updates the provider
  // stores the row as the database now holds it into `change.result`.
  virtual void DoInsert(dbimpl::RowChange& change) = 0;
  virtual void DoUpdate(dbimpl::RowChange& change) = 0;
  virtual void DoDelete(dbimpl::RowChange& change) = 0;
  // Deletes the rows of `changes`, all or none. The default deletes them one
  // by one with DoDelete and knows no transaction.
  virtual void DoDeleteRows(std::vector<dbimpl::RowChange>& changes);
  // Inserts the rows of `changes`, all or none, storing each as the
  // database now holds it into its `result`. The default inserts them one
  // by one with DoInsert and knows no transaction.
  virtual void DoInsertRows(std::vector<dbimpl::RowChange>& changes);
  // Called after the dataset closed, to release the provider's state.
  virtual void DoClose() {}
  // Opening with DeferRows: describes the columns into `sink` without
  // reading any row, keeps what DoFetch needs to read them later as they
  // stand now, and returns true. A provider that cannot defer reads the
  // rows at once (DoOpen) and returns false.
  virtual bool DoPrepare(dbimpl::ResultSink& sink) {
    DoOpen(sink);
    return false;
  }
  // Reads the rows DoPrepare left pending into `sink`; the columns it
  // reports again must be those described.
  virtual void DoFetch(dbimpl::ResultSink& sink) { (void)sink; }

  // Raises EDatabaseError "<message>" prefixed by the dataset's name.
  [[noreturn]] void Fail(const std::string& message) const;

 private:
  friend class TField;
  friend class TDataSource;

  // Field storage: the value of a data field in the current (or standing-in)
  // row or the edit buffer; calculated values by slot; lookups resolved on
  // each read.
  Value ReadData(const TField& field) const;
  bool DataIsNull(const TField& field) const;
  std::string ReadDataText(const TField& field) const;
  Value ReadCalculated(const TField& field) const;
  Value ReadLookup(const TField& field) const;
  Value ReadCached(const TField& field) const;
  // Stores an already converted value into the edit buffer (data fields) or
  // the calculated values.
  void WriteField(TField& field, Value value);
  const char* RecordForRead(const TField& field) const;

  // Raises on a closed dataset. Every caller goes on to use the rows, so it
  // also reads rows an Open left pending.
  void CheckActive() const;
  // Reads the rows an Open with DeferRows left pending (see above), applies
  // the filter and places the cursor on the first visible row, as Open does
  // for rows read at once. Logically const: the dataset only shows rows it
  // stood for since Open.
  void ReadPendingRows() const;
  void CheckModifiable() const;
  void CheckBrowseMode();  // posts an edit in progress
  void BindFields();
  void MoveTo(int index);  // visible index; computes calculated fields, notifies
  void PlaceAtFirst(bool notify);  // cursor on the first visible row
  void CalculateFields();
  void StartInsert(bool at_end);
  void EndEdit();
  void ApplyFilter();
  void ChangeFilter(std::string_view text, bool filtered);
  bool RowPasses(std::uint32_t slot);
  int FindVisible(const std::vector<int>& columns, const std::vector<Value>& values);
  std::vector<int> ResolveColumns(std::string_view fields);
  void NotifyDataChange(TField* field);
  void NotifyStateChange();
  void NotifyActiveChange();

  std::string name_;
  TDataSetState state_ = TDataSetState::Inactive;
  bool eof_ = true;
  bool bof_ = true;
  std::string filter_;
  bool filtered_ = false;
  bool defer_rows_ = false;
  std::uint64_t opening_ = 0;  // counts the Opens, so that a selection knows its own

  std::vector<std::unique_ptr<TField>> persistent_;
  std::vector<std::unique_ptr<TField>> dynamic_;
  std::vector<TField*> fields_;
  std::vector<TDataSource*> sources_;
  std::unique_ptr<dbimpl::DataSetRows> rows_;
};

}  // namespace qv

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
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/field.h"
#include "platform/db/value.h"

namespace qv {

class TDataSet;
class TDataSource;

namespace dbimpl {
struct DataSetRows;
struct RowChange;
struct ResultSink;
}  // namespace dbimpl

enum class TDataSetState { Inactive, Browse, Edit, Insert, CalcFields, Filter };

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

  // --- Cursor -----------------------------------------------------------
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
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
  // Called after the dataset closed, to release the provider's state.
  virtual void DoClose() {}

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
  // Stores an already converted value into the edit buffer (data fields) or
  // the calculated values.
  void WriteField(TField& field, Value value);
  const char* RecordForRead(const TField& field) const;

  void CheckActive() const;
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

  std::vector<std::unique_ptr<TField>> persistent_;
  std::vector<std::unique_ptr<TField>> dynamic_;
  std::vector<TField*> fields_;
  std::vector<TDataSource*> sources_;
  std::unique_ptr<dbimpl::DataSetRows> rows_;
};

}  // namespace qv

// Internal to qvd3/platform/db: the open state of a dataset (rows, order, filter
// view, cursor, edit buffer, indexes) and the description of one row change
// handed to the provider.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/platform/db/engine.h"
#include "qvd3/platform/db/filter_expr.h"
#include "qvd3/platform/db/row_store.h"

namespace qv::dbimpl {

struct RowChange {
  const std::vector<ColumnInfo>* columns = nullptr;  // data columns (+ identity)
  int data_columns = 0;            // columns without the identity
  const char* original = nullptr;  // the row as read (edit, delete)
  const RowStore* store = nullptr;
  std::vector<Value> values;       // the new values (insert, edit)
  std::vector<bool> modified;      // per data column
  std::vector<Value> result;       // the row as stored, identity included

  Value Original(int column) const {
    return CellToValue(store->Get(original, column), (*columns)[column].type);
  }
};

struct DataSetRows : ResultSink {
  // ResultSink: the provider's columns; when `identity` is set the last
  // column is the row identity and is not a field.
  bool identity = false;
  void SetColumns(std::vector<ColumnInfo> cols) override;
  void AddRow(const Cell* cells) override;

  int DataColumns() const {
    return static_cast<int>(columns.size()) - (identity ? 1 : 0);
  }

  std::vector<ColumnInfo> columns;
  std::unique_ptr<RowStore> store;
  // Set while the rows of a deferred open are still to be read.
  bool pending = false;
  // Drops every row read so far (a deferred read that failed part way).
  void DropRows();
  std::vector<const char*> records;  // by slot; nullptr = deleted
  std::vector<std::uint32_t> order;  // slots in dataset order

  // Filter view: while `filtering`, `view` holds the visible slots in order
  // and `visible` flags them by slot.
  bool filtering = false;
  std::unique_ptr<FilterExpression> expression;
  std::vector<std::uint32_t> view;
  std::vector<std::uint8_t> visible;

  // Order position of each slot, rebuilt when `positions_stale`.
  std::vector<std::uint32_t> positions;
  bool positions_stale = true;

  int cursor = 0;  // index among the visible rows
  const char* stand_in = nullptr;  // record read instead of the current one
  std::uint32_t stand_in_slot = 0;  // and its slot

  // Edit buffer (edit and insert states).
  std::vector<Value> edit;
  std::vector<bool> edit_modified;
  bool modified = false;
  bool editing = false;
  std::uint32_t edit_slot = 0;      // edit: the row being changed
  std::size_t insert_order_pos = 0;  // insert: where the row goes in `order`
  int insert_view_pos = 0;           // and among the visible rows

  std::vector<Value> calculated;  // by calculated-field slot

  // Values of the cached fields, by cached-field slot and then by row slot,
  // with each row's state: not derived yet, a value, or null.
  enum CachedState : std::uint8_t { kNotDerived = 0, kDerived = 1, kDerivedNull = 2 };
  struct CachedValues {
    std::vector<std::int64_t> values;
    std::vector<std::uint8_t> state;
  };
  std::vector<CachedValues> cached;
  // The row of `slot` changed: its cached values are derived again.
  void ForgetCached(std::uint32_t slot) {
    for (CachedValues& c : cached)
      if (slot < c.state.size()) c.state[slot] = kNotDerived;
  }

  std::vector<std::unique_ptr<HashIndex>> indexes;

  int VisibleCount() const {
    return static_cast<int>(filtering ? view.size() : order.size());
  }
  std::uint32_t VisibleSlot(int index) const {
    return filtering ? view[index] : order[index];
  }
  bool IsVisible(std::uint32_t slot) const { return !filtering || visible[slot]; }
  const char* CurrentRecord() const {
    return VisibleCount() == 0 ? nullptr : records[VisibleSlot(cursor)];
  }
  void RefreshPositions();
  // The visible index of a visible slot.
  int VisibleIndexOf(std::uint32_t slot);
  HashIndex& IndexOn(const std::vector<int>& cols);
  // A change of the row stored as `original` (nullptr for an insert).
  RowChange ChangeOf(const char* original) const {
    RowChange change;
    change.columns = &columns;
    change.data_columns = DataColumns();
    change.store = store.get();
    change.original = original;
    return change;
  }
};

}  // namespace qv::dbimpl

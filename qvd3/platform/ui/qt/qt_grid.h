// The Qt face of a data-aware grid: a QTableView over a table model that
// reads the rows from the live dataset when Qt asks for them (only the rows
// on screen are ever read), never a copy. Internal to the Qt backend.
//
// The view follows the dataset: its current row is the dataset's cursor,
// a change of the row count (open, close, reopen, filter) resets the model,
// any other change repaints the rows shown. The person's presses and keys
// reach the model through the event router; only the scroll bars (which
// move the window of rows shown, not the cursor) and the column borders of
// the title row are left to Qt.
#pragma once

#include <QAbstractTableModel>
#include <QScrollBar>
#include <QTableView>
#include <map>
#include <vector>

#include "qvd3/platform/ui/data_controls.h"

namespace qv::qt_detail {

// The rows of the grid's dataset from Offset(), at most Window() of them
// (those on screen): Qt never holds anything per dataset row, so showing a
// grid over a million rows costs what showing a screenful does.
class GridModel : public QAbstractTableModel {
 public:
  GridModel(TDBGrid& grid, QObject* parent);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Takes the dataset's row count and the grid's columns again: a reset
  // when either changed, otherwise every row shown is read afresh.
  void Sync();
  // The dataset's rows (under its filter) and the window onto them.
  int Total() const { return total_; }
  int Offset() const { return offset_; }
  int Window() const { return window_; }
  void SetOffset(int offset);
  void SetWindow(int rows);
  // The model column of each Qt column.
  const std::vector<int>& Shown() const { return shown_; }
  // The rows read from the dataset and kept (bounded by what was shown).
  int CachedRows() const { return static_cast<int>(cache_.size()); }

 private:
  std::vector<int> ShownColumns() const;
  const std::vector<std::string>& Row(int row) const;
  int ClampOffset(int offset) const;

  TDBGrid& grid_;
  int total_ = 0;
  int offset_ = 0;
  int window_ = 1;
  std::vector<int> shown_;
  mutable std::map<int, std::vector<std::string>> cache_;
};

class GridTable;

// The grid's widget: the table of the rows on screen and, beside it, the
// vertical scroll bar over all of the dataset's rows.
class GridView : public QWidget {
 public:
  GridView(TDBGrid& grid, QWidget* parent);

  GridModel& Model() { return *model_; }
  QTableView& Table();
  QScrollBar& ScrollBar() { return *bar_; }
  // After any change of the grid or its data: rows, columns, titles,
  // widths, colours, options and the current row.
  void Refresh(TChange what);
  // The 1-based dataset row under `pos` (in this widget's coordinates), 0
  // for none.
  int RowAt(QPoint pos) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  friend class GridTable;
  void SyncColumns();
  void SyncAppearance();
  void SyncWindow();
  void FollowCursor();
  // Rows that fit the table's viewport whole.
  int PageRows() const;

  TDBGrid& grid_;
  GridModel* model_;
  GridTable* table_;
  QScrollBar* bar_;
  int followed_ = -1;
  std::vector<QString> titles_;
};

}  // namespace qv::qt_detail

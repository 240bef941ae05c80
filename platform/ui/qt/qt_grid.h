// The Qt face of a data-aware grid: a QTableView over a table model that
// reads the rows from the live dataset when Qt asks for them (only the rows
// on screen are ever read), never a copy. Internal to the Qt backend.
//
// The view follows the dataset: its current row is the dataset's cursor,
// a change of the row count (open, close, reopen, filter) resets the model,
// any other change repaints the rows shown. The person's presses and keys
// reach the model through the event router; only the scroll bars and the
// column borders of the title row are left to Qt.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <map>
#include <vector>

#include "platform/ui/data_controls.h"

namespace qv::qt_detail {

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
  // The model column of each Qt column.
  const std::vector<int>& Shown() const { return shown_; }
  // The rows read for the screen and kept (bounded by what was shown).
  int CachedRows() const { return static_cast<int>(cache_.size()); }

 private:
  std::vector<int> ShownColumns() const;
  const std::vector<std::string>& Row(int row) const;

  TDBGrid& grid_;
  int rows_ = 0;
  std::vector<int> shown_;
  mutable std::map<int, std::vector<std::string>> cache_;
};

class GridView : public QTableView {
 public:
  GridView(TDBGrid& grid, QWidget* parent);

  GridModel& Model() { return *model_; }
  // After any change of the grid or its data: rows, columns, titles,
  // widths, colours, options and the current row.
  void Refresh(TChange what);
  // The 1-based row under `pos` (in the view's coordinates), 0 for none.
  int RowAt(QPoint pos) const;

 protected:
  bool viewportEvent(QEvent* event) override;

 private:
  void SyncColumns();
  void SyncAppearance();
  void FollowCursor();

  TDBGrid& grid_;
  GridModel* model_;
  int followed_ = -1;
  std::vector<QString> titles_;
};

}  // namespace qv::qt_detail

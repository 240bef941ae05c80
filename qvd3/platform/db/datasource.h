// TDataSource links a dataset to the things that show it or depend on it:
// data-aware controls (through TDataLink) and detail queries (which read the
// current row of their master source).
//
// Notifications a source passes on:
//   active changed   the dataset opened or closed
//   data changed     the current row moved or its data changed; the field is
//                    the one written, nullptr for the whole row
//   editing changed  the dataset's state changed (browse, edit, insert)
#pragma once

#include <functional>
#include <vector>

#include "qvd3/platform/db/dataset.h"

namespace qv {

class TDataSource;

// Base class for a data-aware control's connection to a source. Override the
// notifications you need; the link removes itself from its source when
// destroyed.
class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  // The dataset is open.
  bool Active() const;
  // The dataset is in edit or insert state.
  bool Editing() const;
  // Puts the dataset into edit mode (inserting when it is empty) so that a
  // control can write a field; returns whether it is now editing.
  bool Edit();

 protected:
  friend class TDataSource;
  virtual void ActiveChanged() {}
  virtual void DataChanged(TField* field) {}
  virtual void EditingChanged() {}

 private:
  TDataSource* source_ = nullptr;
};

class TDataSource {
 public:
  TDataSource() = default;
  explicit TDataSource(TDataSet* dataset) { SetDataSet(dataset); }
  ~TDataSource();
  TDataSource(const TDataSource&) = delete;
  TDataSource& operator=(const TDataSource&) = delete;

  TDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TDataSet* dataset);
  TDataSetState State() const;

  // Hooks called with every notification (see above).
  std::function<void(TDataSource&, TField* changed)> OnDataChange;
  std::function<void(TDataSource&)> OnStateChange;

  // Used by the dataset and by links.
  void NotifyActiveChanged();
  void NotifyDataChanged(TField* field);
  void NotifyStateChanged();
  void AddLink(TDataLink* link);
  void RemoveLink(TDataLink* link);

 private:
  friend class TDataSet;
  TDataSet* dataset_ = nullptr;
  std::vector<TDataLink*> links_;
};

}  // namespace qv

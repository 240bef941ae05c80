#include "qvd3/platform/db/datasource.h"

#include <algorithm>

namespace qv {

TDataLink::~TDataLink() { SetDataSource(nullptr); }

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_) source_->RemoveLink(this);
  source_ = source;
  if (source_) source_->AddLink(this);
}

TDataSet* TDataLink::DataSet() const { return source_ ? source_->DataSet() : nullptr; }

bool TDataLink::Active() const {
  TDataSet* ds = DataSet();
  return ds && ds->Active();
}

bool TDataLink::Editing() const {
  TDataSet* ds = DataSet();
  return ds && (ds->State() == TDataSetState::Edit || ds->State() == TDataSetState::Insert);
}

bool TDataLink::Edit() {
  TDataSet* ds = DataSet();
  if (!ds || !ds->Active()) return false;
  ds->Edit();
  return Editing();
}

TDataSource::~TDataSource() {
  SetDataSet(nullptr);
  for (TDataLink* link : links_) link->source_ = nullptr;
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_) dataset_->DetachDataSource(this);
  dataset_ = dataset;
  if (dataset_) dataset_->AttachDataSource(this);
  NotifyActiveChanged();
}

TDataSetState TDataSource::State() const { return dataset_ ? dataset_->State() : TDataSetState::Inactive; }

void TDataSource::AddLink(TDataLink* link) {
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TDataSource::RemoveLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

// Each notification walks a copy of the links, skipping any a handler
// removed meanwhile.
namespace {
template <typename F>
void ForEachLink(const std::vector<TDataLink*>& links, F&& call) {
  std::vector<TDataLink*> copy = links;
  for (TDataLink* link : copy)
    if (std::find(links.begin(), links.end(), link) != links.end()) call(link);
}
}  // namespace

void TDataSource::NotifyActiveChanged() {
  ForEachLink(links_, [](TDataLink* l) { l->ActiveChanged(); });
  if (OnStateChange) OnStateChange(*this);
  if (dataset_ && dataset_->Active() && OnDataChange) OnDataChange(*this, nullptr);
}

void TDataSource::NotifyDataChanged(TField* field) {
  ForEachLink(links_, [field](TDataLink* l) { l->DataChanged(field); });
  if (OnDataChange) OnDataChange(*this, field);
}

void TDataSource::NotifyStateChanged() {
  ForEachLink(links_, [](TDataLink* l) { l->EditingChanged(); });
  if (OnStateChange) OnStateChange(*this);
}

}  // namespace qv

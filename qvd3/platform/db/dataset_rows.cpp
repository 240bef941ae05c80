#include "qvd3/platform/db/dataset_rows.h"

#include <algorithm>

namespace qv::dbimpl {

void DataSetRows::SetColumns(std::vector<ColumnInfo> cols) {
  columns = std::move(cols);
  store = std::make_unique<RowStore>(static_cast<int>(columns.size()));
}

void DataSetRows::AddRow(const Cell* cells) {
  order.push_back(static_cast<std::uint32_t>(records.size()));
  records.push_back(store->Add(cells));
}

void DataSetRows::DropRows() {
  store = std::make_unique<RowStore>(static_cast<int>(columns.size()));
  records.clear();
  order.clear();
  indexes.clear();
  for (CachedValues& c : cached) c = CachedValues{};
  positions_stale = true;
}

void DataSetRows::RefreshPositions() {
  if (!positions_stale) return;
  positions.assign(records.size(), 0xffffffffu);
  for (std::size_t i = 0; i < order.size(); ++i) positions[order[i]] = static_cast<std::uint32_t>(i);
  positions_stale = false;
}

int DataSetRows::VisibleIndexOf(std::uint32_t slot) {
  RefreshPositions();
  std::uint32_t pos = positions[slot];
  if (!filtering) return static_cast<int>(pos);
  auto it = std::lower_bound(view.begin(), view.end(), pos,
                             [&](std::uint32_t s, std::uint32_t p) { return positions[s] < p; });
  return static_cast<int>(it - view.begin());
}

HashIndex& DataSetRows::IndexOn(const std::vector<int>& cols) {
  for (auto& index : indexes)
    if (index->columns() == cols) return *index;
  std::vector<TFieldType> types;
  for (int c : cols) types.push_back(columns[c].type);
  indexes.push_back(std::make_unique<HashIndex>(*store, cols, std::move(types)));
  indexes.back()->Build(records);
  return *indexes.back();
}

}  // namespace qv::dbimpl

// Internal to qvd3/platform/db: compact storage of a dataset's rows.
//
// Each row is one record in a chunked byte arena: a table of per-column end
// offsets (the top bit marks null) followed by the column bytes. Records
// never move, so a row is known by a plain pointer; a changed row is stored
// as a new record. The arena is freed as a whole when the dataset closes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "qvd3/platform/db/engine.h"

namespace qv::dbimpl {

class RowStore {
 public:
  explicit RowStore(int columns) : columns_(columns) {}

  int columns() const { return columns_; }
  const char* Add(const Cell* cells);
  const char* Add(const std::vector<Value>& values);

  Cell Get(const char* record, int column) const {
    const auto* ends = reinterpret_cast<const std::uint32_t*>(record);
    std::uint32_t start = column == 0 ? 0 : (ends[column - 1] & kMask);
    std::uint32_t end = ends[column];
    Cell cell;
    cell.null = (end & kNullBit) != 0;
    end &= kMask;
    cell.data = record + sizeof(std::uint32_t) * columns_ + start;
    cell.size = end - start;
    return cell;
  }

  std::size_t BytesReserved() const { return reserved_; }

 private:
  static constexpr std::uint32_t kNullBit = 0x80000000u;
  static constexpr std::uint32_t kMask = 0x7fffffffu;
  char* Allocate(std::size_t bytes);

  int columns_;
  std::vector<std::unique_ptr<char[]>> chunks_;
  char* free_ = nullptr;
  std::size_t left_ = 0;
  std::size_t reserved_ = 0;
  std::size_t last_chunk_ = 0;  // the planned size of the latest chunk
};

// A hash index over some columns of a row store: maps a key to the slots of
// the rows holding it. Slots are row numbers that stay fixed while the
// dataset is open; `records[slot]` is the row's record (nullptr = deleted).
class HashIndex {
 public:
  HashIndex(const RowStore& store, std::vector<int> columns, std::vector<TFieldType> types);

  const std::vector<int>& columns() const { return columns_; }
  void Build(const std::vector<const char*>& records);
  // Call Add after a slot gets its record, Remove before it loses it.
  void Add(std::uint32_t slot, const std::vector<const char*>& records);
  void Remove(std::uint32_t slot, const std::vector<const char*>& records);

  // Calls `found(slot)` for every row whose key equals `probe` (one Value
  // per column). A value that cannot equal anything in its column (a
  // non-numeric text for an integer column) matches nothing.
  template <typename F>
  void ForEachMatch(const std::vector<Value>& probe, const std::vector<const char*>& records,
                    F&& found) const;

 private:
  static constexpr std::uint32_t kNone = 0xffffffffu;
  std::uint64_t HashRecord(const char* record) const;
  bool Normalize(const std::vector<Value>& probe, std::vector<Cell>& cells,
                 std::vector<std::string>& storage) const;
  static std::uint64_t HashCells(const Cell* cells, std::size_t count);
  bool RecordEquals(const char* record, const std::vector<Cell>& cells) const;
  void Grow(const std::vector<const char*>& records);

  const RowStore& store_;
  std::vector<int> columns_;
  std::vector<TFieldType> types_;
  std::vector<std::uint32_t> heads_;
  std::vector<std::uint32_t> next_;
  std::size_t count_ = 0;
};

template <typename F>
void HashIndex::ForEachMatch(const std::vector<Value>& probe,
                             const std::vector<const char*>& records, F&& found) const {
  std::vector<Cell> cells;
  std::vector<std::string> storage;
  if (heads_.empty() || !Normalize(probe, cells, storage)) return;
  std::uint64_t h = HashCells(cells.data(), cells.size());
  for (std::uint32_t s = heads_[h & (heads_.size() - 1)]; s != kNone; s = next_[s]) {
    if (records[s] && RecordEquals(records[s], cells)) found(s);
  }
}

}  // namespace qv::dbimpl

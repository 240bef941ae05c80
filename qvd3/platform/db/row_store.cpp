#include "qvd3/platform/db/row_store.h"

#include <algorithm>
#include <functional>

#include "qvd3/platform/db/database_error.h"

namespace qv::dbimpl {
namespace {

// Chunks start small and double up to the largest size, so that the many
// datasets of a few rows (a login's reads, a key generation) cost little,
// while a table of many rows is held in few chunks.
constexpr std::size_t kFirstChunkSize = 4 << 10;
constexpr std::size_t kChunkSize = 1 << 20;

std::size_t Align(std::size_t n) { return (n + 7) & ~std::size_t(7); }

}  // namespace

char* RowStore::Allocate(std::size_t bytes) {
  bytes = Align(bytes);
  if (bytes > left_) {
    const std::size_t next = chunks_.empty() ? kFirstChunkSize : std::min(kChunkSize, 2 * last_chunk_);
    const std::size_t size = std::max(next, bytes);
    last_chunk_ = next;
    // Every byte is written by Add before it is read: no clearing.
    chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    free_ = chunks_.back().get();
    left_ = size;
    reserved_ += size;
  }
  char* out = free_;
  free_ += bytes;
  left_ -= bytes;
  return out;
}

const char* RowStore::Add(const Cell* cells) {
  std::size_t data = 0;
  for (int c = 0; c < columns_; ++c) data += cells[c].null ? 0 : cells[c].size;
  if (data > kMask) throw EDatabaseError("Row too large to hold");
  char* record = Allocate(sizeof(std::uint32_t) * columns_ + data);
  auto* ends = reinterpret_cast<std::uint32_t*>(record);
  char* out = record + sizeof(std::uint32_t) * columns_;
  std::uint32_t end = 0;
  for (int c = 0; c < columns_; ++c) {
    if (cells[c].null) {
      ends[c] = end | kNullBit;
      continue;
    }
    if (cells[c].size) std::memcpy(out + end, cells[c].data, cells[c].size);
    end += cells[c].size;
    ends[c] = end;
  }
  return record;
}

const char* RowStore::Add(const std::vector<Value>& values) {
  std::vector<std::string> texts(columns_);
  std::vector<Cell> cells(columns_);
  for (int c = 0; c < columns_; ++c) {
    if (c >= static_cast<int>(values.size()) || values[c].IsNull()) continue;
    texts[c] = values[c].AsString();
    cells[c] = Cell{texts[c].data(), static_cast<std::uint32_t>(texts[c].size()), false};
  }
  return Add(cells.data());
}

// --- HashIndex --------------------------------------------------------------

HashIndex::HashIndex(const RowStore& store, std::vector<int> columns, std::vector<TFieldType> types)
    : store_(store), columns_(std::move(columns)), types_(std::move(types)) {}

std::uint64_t HashIndex::HashCells(const Cell* cells, std::size_t count) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t part = cells[i].null
                             ? 0x9e3779b97f4a7c15ull
                             : std::hash<std::string_view>()(std::string_view(cells[i].data, cells[i].size));
    h = (h ^ part) * 1099511628211ull;
    h ^= h >> 29;
  }
  return h;
}

std::uint64_t HashIndex::HashRecord(const char* record) const {
  Cell cells[8];
  std::vector<Cell> many;
  Cell* p = cells;
  if (columns_.size() > 8) {
    many.resize(columns_.size());
    p = many.data();
  }
  for (std::size_t i = 0; i < columns_.size(); ++i) p[i] = store_.Get(record, columns_[i]);
  return HashCells(p, columns_.size());
}

bool HashIndex::Normalize(const std::vector<Value>& probe, std::vector<Cell>& cells,
                          std::vector<std::string>& storage) const {
  if (probe.size() != columns_.size()) return false;
  storage.resize(probe.size());
  cells.resize(probe.size());
  for (std::size_t i = 0; i < probe.size(); ++i) {
    const Value& v = probe[i];
    if (v.IsNull()) {
      cells[i] = Cell{};
      continue;
    }
    if (types_[i] == TFieldType::Integer || types_[i] == TFieldType::SmallInt) {
      std::int64_t n = 0;
      if (v.IsInteger()) {
        n = v.AsInteger();
      } else if (!ParseInteger(v.AsString(), n)) {
        return false;
      }
      storage[i] = std::to_string(n);
    } else {
      storage[i] = v.AsString();
    }
    cells[i] = Cell{storage[i].data(), static_cast<std::uint32_t>(storage[i].size()), false};
  }
  return true;
}

bool HashIndex::RecordEquals(const char* record, const std::vector<Cell>& cells) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    Cell c = store_.Get(record, columns_[i]);
    if (c.null != cells[i].null) return false;
    if (c.null) continue;
    if (c.size != cells[i].size || std::memcmp(c.data, cells[i].data, c.size) != 0) return false;
  }
  return true;
}

void HashIndex::Build(const std::vector<const char*>& records) {
  std::size_t live = 0;
  for (const char* r : records) live += r != nullptr;
  std::size_t buckets = 16;
  while (buckets < live * 2) buckets <<= 1;
  heads_.assign(buckets, kNone);
  next_.assign(records.size(), kNone);
  count_ = 0;
  // Inserted from the last slot to the first so each chain runs in slot order.
  for (std::size_t s = records.size(); s-- > 0;) {
    if (!records[s]) continue;
    std::uint32_t& head = heads_[HashRecord(records[s]) & (buckets - 1)];
    next_[s] = head;
    head = static_cast<std::uint32_t>(s);
    ++count_;
  }
}

void HashIndex::Grow(const std::vector<const char*>& records) { Build(records); }

void HashIndex::Add(std::uint32_t slot, const std::vector<const char*>& records) {
  if (next_.size() < records.size()) next_.resize(records.size(), kNone);
  if ((count_ + 1) * 2 > heads_.size()) {
    Grow(records);  // includes `slot`
    return;
  }
  std::uint32_t& head = heads_[HashRecord(records[slot]) & (heads_.size() - 1)];
  next_[slot] = head;
  head = slot;
  ++count_;
}

void HashIndex::Remove(std::uint32_t slot, const std::vector<const char*>& records) {
  if (heads_.empty() || !records[slot]) return;
  std::uint32_t* link = &heads_[HashRecord(records[slot]) & (heads_.size() - 1)];
  while (*link != kNone) {
    if (*link == slot) {
      *link = next_[slot];
      next_[slot] = kNone;
      --count_;
      return;
    }
    link = &next_[*link];
  }
}

}  // namespace qv::dbimpl

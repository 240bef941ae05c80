// The row arena keeps every record where it was stored, byte for byte,
// while its chunks grow: rows smaller and larger than a chunk, null and
// empty cells, and records stored before later chunks were added.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvd3/platform/db/row_store.h"

namespace qv::dbimpl {
namespace {

// Two columns: a text whose length varies, and a marker that is null for
// every third row and empty for every fifth.
struct StoredRow {
  std::string text;
  bool null_marker;
  std::string marker;
};

StoredRow RowNumber(int i) {
  // Lengths from nothing to past the largest chunk, most of them small.
  const std::size_t length = i % 97 == 0 ? (std::size_t(1) << 20) + 3 * i : std::size_t(i % 1000);
  StoredRow row{std::string(length, static_cast<char>('a' + i % 26)), i % 3 == 0, std::string()};
  if (!row.null_marker && i % 5 != 0) row.marker = "m" + std::to_string(i);
  return row;
}

TEST(RowStore, RecordsKeepTheirBytesWhileTheArenaGrows) {
  RowStore store(2);
  std::vector<const char*> records;
  std::vector<StoredRow> rows;
  for (int i = 0; i < 3000; ++i) {
    rows.push_back(RowNumber(i));
    const StoredRow& row = rows.back();
    const Cell cells[2] = {Cell{row.text.data(), static_cast<std::uint32_t>(row.text.size()), false},
                           Cell{row.marker.data(), static_cast<std::uint32_t>(row.marker.size()), row.null_marker}};
    records.push_back(store.Add(cells));
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Cell text = store.Get(records[i], 0);
    const Cell marker = store.Get(records[i], 1);
    ASSERT_FALSE(text.null) << i;
    ASSERT_EQ(std::string(text.data, text.size), rows[i].text) << i;
    ASSERT_EQ(marker.null, rows[i].null_marker) << i;
    if (!marker.null) ASSERT_EQ(std::string(marker.data, marker.size), rows[i].marker) << i;
  }
  // The arena holds the rows without a chunk of a megabyte per few rows.
  std::size_t bytes = 0;
  for (const StoredRow& row : rows) bytes += row.text.size() + row.marker.size() + 2 * sizeof(std::uint32_t);
  EXPECT_LT(store.BytesReserved(), 2 * bytes);
}

TEST(RowStore, AFewSmallRowsTakeAFewKilobytes) {
  RowStore store(1);
  const std::string text = "maria";
  const Cell cell{text.data(), static_cast<std::uint32_t>(text.size()), false};
  for (int i = 0; i < 10; ++i) store.Add(&cell);
  EXPECT_LE(store.BytesReserved(), std::size_t(16) << 10);
}

}  // namespace
}  // namespace qv::dbimpl

// TRowStream: a forward-only select on each engine.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/row_stream.h"
#include "tests/support/db/engine_fixture.h"

namespace qv {
namespace {

class RowStreamTest : public test::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    Exec("CREATE TABLE T (K INTEGER, NAME VARCHAR(20), B " + BlobType() + ")");
    for (int i = 1; i <= 300; ++i)
      Exec("INSERT INTO T VALUES (" + std::to_string(i) + ", " + (i % 3 ? "'n" + std::to_string(i) + "'" : "NULL") +
           ", NULL)");
  }
};

TEST_P(RowStreamTest, HandsOverEveryRowWithItsParametersAndNulls) {
  TRowStream rows;
  rows.SetDatabaseName(Alias());
  rows.SetSQL("SELECT K, NAME FROM T WHERE K > :FROM AND K <= :FROM + 200 ORDER BY K");
  rows.ParamByName("FROM").SetAsInteger(50);
  std::vector<std::string> seen;
  int nulls = 0;
  rows.Run([&](std::span<const TRowCell> row) {
    ASSERT_EQ(row.size(), 2u);
    seen.emplace_back(row[0].text);
    if (row[1].null) ++nulls;
  });
  ASSERT_EQ(seen.size(), 200u);
  EXPECT_EQ(seen.front(), "51");
  EXPECT_EQ(seen.back(), "250");
  EXPECT_EQ(nulls, 67);
  ASSERT_EQ(rows.ColumnNames().size(), 2u);

  TRowStream unbound;
  unbound.SetDatabaseName(Alias());
  unbound.SetSQL("SELECT K FROM T WHERE K = :K");
  EXPECT_THROW(unbound.Run([](std::span<const TRowCell>) {}), EDatabaseError);
}

// A receiver that fails stops the export; the connection goes on serving
// statements (a server's connection is not left inside a result).
TEST_P(RowStreamTest, AnErrorOfTheReceiverPropagatesAndTheConnectionStaysUsable) {
  TRowStream rows;
  rows.SetDatabaseName(Alias());
  rows.SetSQL("SELECT K FROM T");
  int calls = 0;
  EXPECT_THROW(rows.Run([&](std::span<const TRowCell>) {
                 if (++calls == 10) throw std::runtime_error("disk full");
               }),
               std::runtime_error);
  EXPECT_EQ(calls, 10);
  TQuery count;
  count.SetDatabaseName(Alias());
  count.SetSQL("SELECT COUNT(*) FROM T");
  count.Open();
  EXPECT_EQ(count.Fields()[0]->AsInteger(), 300);
}

QV_INSTANTIATE_ENGINES(RowStreamTest);

}  // namespace
}  // namespace qv

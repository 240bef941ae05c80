// Cataloguing many menu items at once: consecutive fresh keys, the values
// cut as a post cuts them, a lost key race retried under fresh keys, and
// nothing stored when any of it fails.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/query.h"
#include "tests/data/dm_quarvel_fixture.h"

namespace qv {
namespace {

using test::kApp;
using test::kOtherApp;

class CatalogueItemsTest : public test::DataModuleTest {
 protected:
  static std::vector<TUsers::TCatalogueItem> Items(int count) {
    std::vector<TUsers::TCatalogueItem> items;
    for (int i = 0; i < count; ++i) items.push_back({"mnu" + std::to_string(i), "Item " + std::to_string(i)});
    return items;
  }
};

// More items than one statement holds; the keys follow the largest of every
// application's, and the catalogue dataset shows the new rows.
TEST_P(CatalogueItemsTest, ManyItemsGetConsecutiveKeysAfterTheLargestOfAnyApplication) {
  AddProg(kOtherApp, "mnuOther", "Outro");
  const int largest = AddProg(kOtherApp, "mnuOther2", "Outro 2");
  OpenModule();
  const std::vector<int> keys = dm->CatalogueItems(kApp, Items(450));
  ASSERT_EQ(keys.size(), 450u);
  for (int i = 0; i < 450; ++i) ASSERT_EQ(keys[i], largest + 1 + i);
  EXPECT_EQ(LastMenuId, keys.back());
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS WHERE APP_KEY=:K", {{"K", kApp}}), 450);
  EXPECT_EQ(Scalar("SELECT MENU_CAPTION FROM PROGS WHERE MENU_ID=:ID", {{"ID", keys[449]}}), "Item 449");
  EXPECT_EQ(Scalar("SELECT MENU_NAME FROM PROGS WHERE MENU_ID=:ID", {{"ID", keys[0]}}), "mnu0");
  EXPECT_EQ(dm->qryProgs.RecordCount(), 450);
  EXPECT_EQ(dm->qryProgs.FieldByName("MENU_ID").AsInteger(), keys[0]);
  EXPECT_TRUE(dm->CatalogueItems(kApp, {}).empty());
}

TEST_P(CatalogueItemsTest, NamesAndCaptionsAreCutToTheColumnsAsAPostCutsThem) {
  OpenModule();
  const std::string longCaption(130, 'c');
  const std::string accented = std::string(99, 'a') + "çé";  // 101 characters, multi-byte at the cut
  const int key = dm->CatalogueItems(kApp, {{accented, longCaption}}).at(0);
  EXPECT_EQ(Scalar("SELECT MENU_CAPTION FROM PROGS WHERE MENU_ID=:ID", {{"ID", key}}), std::string(100, 'c'));
  EXPECT_EQ(Scalar("SELECT MENU_NAME FROM PROGS WHERE MENU_ID=:ID", {{"ID", key}}), std::string(99, 'a') + "ç");
}

// A failure in the second statement undoes the first, also inside the
// caller's transaction, which stays usable.
TEST_P(CatalogueItemsTest, AFailureStoresNothingOfTheItems) {
  OpenModule();
  std::vector<TUsers::TCatalogueItem> items = Items(250);
  items[230].Caption = std::string("bad\0text", 8);
  EXPECT_THROW(dm->CatalogueItems(kApp, items), Exception);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS"), 0);

  TDatabase& db = Db();
  TransactionGuard transaction(db);
  EXPECT_THROW(dm->CatalogueItems(kApp, items), Exception);
  dm->CatalogueItems(kApp, Items(2));
  transaction.Commit();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS"), 2);
}

// Another client stores a catalogue row under the first key between the
// generation and the insert: the items are stored under the keys after it.
TEST_P(CatalogueItemsTest, ALostKeyRaceIsRetriedUnderFreshKeys) {
  // SQLite's writer holds the lock from its first write: no other client
  // can store a row between this client's key generation and its insert
  // inside one transaction.
  if (EngineName() == "sqlite") GTEST_SKIP() << "the other client would wait for the write lock";
  const int existing = AddProg(kOtherApp, "mnuOther", "Outro");
  OpenModule();
  int interferences = 0;
  const std::string other = SecondAlias();
  Db().SetStatementHook([&](std::string_view sql) {
    if (sql.rfind("INSERT INTO PROGS ", 0) != 0 || interferences > 0) return;
    ++interferences;
    TQuery b;
    b.SetDatabaseName(other);
    b.SetSQL("INSERT INTO PROGS (APP_KEY, MENU_NAME, MENU_ID) VALUES ('OUTRO', 'mnuB', :ID)");
    b.ParamByName("ID").SetAsInteger(existing + 2);  // the second item's key
    b.ExecSQL();
  });
  const std::vector<int> keys = dm->CatalogueItems(kApp, Items(3));
  Db().SetStatementHook({});
  EXPECT_EQ(interferences, 1);
  EXPECT_EQ(keys, (std::vector<int>{existing + 3, existing + 4, existing + 5}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS WHERE APP_KEY=:K", {{"K", kApp}}), 3);
  EXPECT_EQ(Scalar("SELECT MENU_NAME FROM PROGS WHERE MENU_ID=:ID", {{"ID", existing + 2}}), "mnuB");
}

QV_INSTANTIATE_ENGINES(CatalogueItemsTest);

}  // namespace
}  // namespace qv

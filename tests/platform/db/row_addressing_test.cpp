// Live edits and deletions of rows without a primary key, tried as another
// client would spoil them: the row deleted and its physical identity handed
// to a new row, the table renumbered, the row changed, its key shared by a
// second row. The edit reaches its own row as read, or nothing.
#include <gtest/gtest.h>

#include <string>

#include "qvd3/platform/db/database_error.h"
#include "tests/platform/db/db_test_util.h"

namespace qv::test {
namespace {

class RowAddressingTest : public EngineTest {
 protected:
  // A rights table as the security database has it: no primary key, and,
  // unless `unique` is false (a database made by another program), a unique
  // index on APP_KEY, USER_ID, MENU_ID. joao (2) is stored last.
  void MakeRights(bool unique) {
    Exec("CREATE TABLE UACCESS (APP_KEY VARCHAR(20), USER_ID INTEGER, MENU_ID INTEGER, AUTHORIZED VARCHAR(1))");
    if (unique) Exec("CREATE UNIQUE INDEX UQ_UACCESS ON UACCESS (APP_KEY, USER_ID, MENU_ID)");
    Exec("INSERT INTO UACCESS VALUES ('APP', 1, 1, '1')");
    Exec("INSERT INTO UACCESS VALUES ('APP', 3, 1, '0')");
    Exec("INSERT INTO UACCESS VALUES ('APP', 2, 1, '0')");
  }
  std::unique_ptr<TQuery> Rights() {
    auto q = MakeQuery(Alias(), "SELECT APP_KEY , USER_ID ,\nMENU_ID , AUTHORIZED\nFROM UACCESS\nWHERE APP_KEY=:APP_KEY",
                       true, "qryUAccess");
    q->ParamByName("APP_KEY").SetAsString("APP");
    q->Open();
    return q;
  }
  // The table as stored: "USER_ID:MENU_ID=AUTHORIZED" in order.
  std::string Stored() {
    auto q = MakeQuery(Alias(), "SELECT USER_ID, MENU_ID, AUTHORIZED FROM UACCESS ORDER BY USER_ID, MENU_ID");
    q->Open();
    std::string out;
    for (; !q->Eof(); q->Next()) {
      if (!out.empty()) out += ",";
      out += q->FieldByName("USER_ID").AsString() + ":" + q->FieldByName("MENU_ID").AsString() + "=" +
             q->FieldByName("AUTHORIZED").AsString();
    }
    return out;
  }
  // The physical identity of user `user`'s row, as text.
  std::string IdentityOf(int user) {
    auto q = MakeQuery(Alias(), std::string("SELECT ") + (IsSqlite() ? "rowid" : "ctid") +
                                    " AS ID FROM UACCESS WHERE USER_ID = " + std::to_string(user));
    q->Open();
    return q->IsEmpty() ? std::string() : q->FieldByName("ID").AsString();
  }
  // Another client: runs `sql` on its own connection.
  void Other(const std::string& sql) { Session::Default().Database(SecondAlias()).ExecDirect(sql); }
  // Another client deletes joao's row and stores maria's (4), which takes the
  // freed identity (SQLite hands out the largest rowid again; PostgreSQL
  // reuses the slot once VACUUM has freed it).
  void ReplaceJoaoByMaria() {
    const std::string joao = IdentityOf(2);
    Other("DELETE FROM UACCESS WHERE USER_ID = 2");
    if (IsPostgres()) Other("VACUUM UACCESS");
    Other("INSERT INTO UACCESS VALUES ('APP', 4, 1, '0')");
    // PostgreSQL can reuse the slot only when no older transaction still
    // sees the deleted row; the checks below hold either way.
    if (IsSqlite()) {
      EXPECT_EQ(IdentityOf(4), joao) << "the attack needs joao's identity on maria's row";
    }
  }
};

TEST_P(RowAddressingTest, AnEditOfADeletedRowNeverLandsOnTheRowThatTookItsPlace) {
  for (bool unique : {true, false}) {
    SCOPED_TRACE(unique ? "unique key" : "no key");
    Exec("DROP TABLE IF EXISTS UACCESS");
    MakeRights(unique);
    auto rights = Rights();
    ASSERT_TRUE(rights->Locate("USER_ID", 2));
    ReplaceJoaoByMaria();
    rights->Edit();
    rights->FieldByName("AUTHORIZED").SetAsString("1");
    try {
      rights->Post();
      ADD_FAILURE() << "the edit of a deleted row was stored";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find("UACCESS"), std::string::npos) << e.what();
    }
    rights->Cancel();
    EXPECT_THROW(rights->Delete(), EDatabaseError);
    EXPECT_EQ(Stored(), "1:1=1,3:1=0,4:1=0");
  }
}

// SQLite's VACUUM may renumber the rows of a table without an integer
// primary key (it does when the table has no index): a row keeps its key,
// not its rowid.
TEST_P(RowAddressingTest, RenumberedRowsAreFoundByTheirKeyOrNotAtAll) {
  if (!IsSqlite()) GTEST_SKIP() << "PostgreSQL's VACUUM moves no row";
  for (bool unique : {true, false}) {
    SCOPED_TRACE(unique ? "unique key" : "no key");
    Exec("DROP TABLE IF EXISTS UACCESS");
    MakeRights(unique);
    auto rights = Rights();
    ASSERT_TRUE(rights->Locate("USER_ID", 3));
    const std::string before = IdentityOf(3);
    Other("DELETE FROM UACCESS WHERE USER_ID = 1");
    Other("VACUUM");
    if (!unique) {  // with an index VACUUM happens to keep the rowids
      ASSERT_EQ(IdentityOf(2), before) << "the renumbering gives user 3's rowid to joao";
    }
    rights->Edit();
    rights->FieldByName("AUTHORIZED").SetAsString("1");
    if (unique) {
      rights->Post();
      EXPECT_EQ(Stored(), "2:1=0,3:1=1");
    } else {
      EXPECT_THROW(rights->Post(), EDatabaseError);
      rights->Cancel();
      EXPECT_EQ(Stored(), "2:1=0,3:1=0");
    }
  }
}

TEST_P(RowAddressingTest, ARowChangedSinceItWasReadIsAConflict) {
  MakeRights(true);
  auto rights = Rights();
  ASSERT_TRUE(rights->Locate("USER_ID", 2));
  Other("UPDATE UACCESS SET AUTHORIZED = '1' WHERE USER_ID = 2");
  rights->Edit();
  rights->FieldByName("AUTHORIZED").SetAsString("0");
  EXPECT_THROW(rights->Post(), EDatabaseError);
  rights->Cancel();
  EXPECT_THROW(rights->Delete(), EDatabaseError);
  EXPECT_EQ(Stored(), "1:1=1,2:1=1,3:1=0");
  // Read again, the row is edited and deleted normally.
  rights->Reopen();
  ASSERT_TRUE(rights->Locate("USER_ID", 2));
  rights->Edit();
  rights->FieldByName("AUTHORIZED").SetAsString("0");
  rights->Post();
  ASSERT_TRUE(rights->Locate("USER_ID", 3));
  rights->Delete();
  EXPECT_EQ(Stored(), "1:1=1,2:1=0");
}

// The key learnt at open stops being unique (another program drops the
// index and stores the same key twice): the change would reach two rows, so
// it reaches none, alone or inside the caller's transaction.
TEST_P(RowAddressingTest, AChangeThatWouldReachSeveralRowsReachesNone) {
  MakeRights(true);
  auto rights = Rights();
  ASSERT_TRUE(rights->Locate("USER_ID", 2));
  // The first write learns the key; the key then stops being unique.
  rights->Edit();
  rights->FieldByName("AUTHORIZED").SetAsString("1");
  rights->Post();
  Other("DROP INDEX UQ_UACCESS");
  Other("INSERT INTO UACCESS VALUES ('APP', 2, 1, '1')");
  rights->Edit();
  rights->FieldByName("AUTHORIZED").SetAsString("0");
  try {
    rights->Post();
    ADD_FAILURE() << "an update of two rows was kept";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("UACCESS"), std::string::npos) << e.what();
  }
  rights->Cancel();
  EXPECT_THROW(rights->Delete(), EDatabaseError);
  EXPECT_EQ(Stored(), "1:1=1,2:1=1,2:1=1,3:1=0");
  {
    TransactionGuard transaction(Db());
    EXPECT_THROW(rights->Delete(), EDatabaseError);
  }
  EXPECT_EQ(Stored(), "1:1=1,2:1=1,2:1=1,3:1=0");
}

TEST_P(RowAddressingTest, NullValuesAndNullKeysStillNameTheirRow) {
  Exec("CREATE TABLE HISTORY (USER_ID INTEGER, USER_PWD VARCHAR(20), CHANGE_DATE VARCHAR(10), UNIQUE (USER_ID))");
  Exec("INSERT INTO HISTORY VALUES (NULL, 'a', NULL), (NULL, 'a', NULL), (5, NULL, '01/01/2026')");
  auto history = MakeQuery(Alias(), "SELECT USER_ID, USER_PWD, CHANGE_DATE FROM HISTORY", true, "qryHistory");
  history->Open();
  ASSERT_TRUE(history->Locate("USER_ID", 5));
  history->Edit();
  history->FieldByName("USER_PWD").SetAsString("b");
  history->Post();
  // Two identical rows with a null key: the identity tells them apart.
  ASSERT_TRUE(history->Locate("USER_PWD", "a"));
  history->Edit();
  history->FieldByName("CHANGE_DATE").SetAsString("02/02/2026");
  history->Post();
  ASSERT_TRUE(history->Locate("CHANGE_DATE", Value()));
  history->Delete();
  auto count = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM HISTORY WHERE USER_ID IS NULL AND USER_PWD = 'a' "
                                  "AND CHANGE_DATE = '02/02/2026'");
  count->Open();
  EXPECT_EQ(count->FieldByName("N").AsInteger(), 1);
  history->Reopen();
  EXPECT_EQ(history->RecordCount(), 2);
  EXPECT_TRUE(history->Locate("USER_PWD", "b"));
}

TEST_P(RowAddressingTest, DeletingManyRowsChecksEachRowAsRead) {
  MakeRights(true);
  auto rights = Rights();
  Other("UPDATE UACCESS SET AUTHORIZED = '1' WHERE USER_ID = 3");
  EXPECT_THROW(rights->DeleteRows(rights->VisibleRows()), EDatabaseError);
  EXPECT_EQ(Stored(), "1:1=1,2:1=0,3:1=1");
  rights->Reopen();
  EXPECT_EQ(rights->DeleteRows(rights->VisibleRows()), 3);
  EXPECT_EQ(Stored(), "");

  // Without a key the identities name the rows; one passed on to another
  // row fails the whole deletion.
  Exec("DROP TABLE UACCESS");
  MakeRights(false);
  rights = Rights();
  ReplaceJoaoByMaria();
  EXPECT_THROW(rights->DeleteRows(rights->VisibleRows()), EDatabaseError);
  EXPECT_EQ(Stored(), "1:1=1,3:1=0,4:1=0");
}

// More rows than one statement takes, under a key of three columns: batches
// stay within what the engine can compile.
TEST_P(RowAddressingTest, DeletingManyRowsByAKeyOfSeveralColumns) {
  Exec("CREATE TABLE RIGHTS (APP_KEY VARCHAR(20), USER_ID INTEGER, MENU_ID INTEGER, AUTHORIZED VARCHAR(1), "
       "PRIMARY KEY (APP_KEY, USER_ID, MENU_ID))");
  Exec(IsSqlite() ? "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1201) "
                    "INSERT INTO RIGHTS SELECT 'APP', i % 7, i, '0' FROM n"
                  : "INSERT INTO RIGHTS SELECT 'APP', i % 7, i, '0' FROM generate_series(1, 1201) AS i");
  auto q = MakeQuery(Alias(), "SELECT APP_KEY, USER_ID, MENU_ID, AUTHORIZED FROM RIGHTS", true);
  q->Open();
  EXPECT_EQ(q->DeleteRows(q->VisibleRows()), 1201);
  q->Reopen();
  EXPECT_TRUE(q->IsEmpty());
}

// Many rows under a single-column key go in few statements: one array
// parameter on PostgreSQL, lists of up to a thousand values on SQLite. Keys
// holding the array's own punctuation name their rows all the same, and a
// row left out of the selection stays.
TEST_P(RowAddressingTest, DeletingManyRowsByASingleKeyTakesFewStatements) {
  Exec("CREATE TABLE NAMES (NAME VARCHAR(40) PRIMARY KEY, N INTEGER)");
  Exec(IsSqlite() ? "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2500) "
                    "INSERT INTO NAMES SELECT 'n' || i, i FROM n"
                  : "INSERT INTO NAMES SELECT 'n' || i, i FROM generate_series(1, 2500) AS i");
  Exec("INSERT INTO NAMES VALUES ('a \"quoted\", {braced} \\ name', 0), ('NULL', 0), ('', 0), ('keep', -1)");
  auto q = MakeQuery(Alias(), "SELECT NAME, N FROM NAMES WHERE N >= 0", true);
  q->Open();
  int deletes = 0;
  Db().SetStatementHook([&](std::string_view sql) {
    if (sql.rfind("DELETE", 0) == 0) ++deletes;
  });
  EXPECT_EQ(q->DeleteRows(q->VisibleRows()), 2503);
  Db().SetStatementHook({});
  EXPECT_EQ(deletes, IsSqlite() ? 3 : 1);
  auto left = MakeQuery(Alias(), "SELECT NAME FROM NAMES");
  left->Open();
  EXPECT_EQ(left->RecordCount(), 1);
  EXPECT_EQ(left->FieldByName("NAME").AsString(), "keep");
}

QV_INSTANTIATE_ENGINES(RowAddressingTest);

}  // namespace
}  // namespace qv::test

// Statements on both engines: parameters, master sources, ExecSQL, errors,
// transactions, the statement hook and value round trips.
#include <gtest/gtest.h>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/datasource.h"
#include "tests/platform/db/db_test_util.h"

namespace qv::test {
namespace {

class QueryTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    Exec("CREATE TABLE UACCESS (APP_KEY VARCHAR(20), USER_ID INTEGER, MENU_ID INTEGER, AUTHORIZED VARCHAR(1))");
    Exec("INSERT INTO UACCESS VALUES ('app', 1, 10, '1'), ('app', 1, 11, '0'), ('app', 2, 10, '1'), "
         "('other', 1, 10, '0')");
  }
};

TEST_P(QueryTest, SameParameterTwiceIsOneValue) {
  auto q = MakeQuery(Alias(), "SELECT MENU_ID FROM UACCESS\nWHERE APP_KEY='app' AND USER_ID=:ID AND MENU_ID > :ID + 8\nORDER BY MENU_ID");
  ASSERT_EQ(q->Params().Count(), 1);
  q->ParamByName("id").SetAsInteger(1);
  q->Open();
  EXPECT_EQ(Column(*q, "MENU_ID"), "10,11");
  q->Close();
  q->ParamByName("ID").SetAsInteger(2);
  q->Open();
  EXPECT_EQ(Column(*q, "MENU_ID"), "");
}

TEST_P(QueryTest, ParametersAreBoundNeverSpliced) {
  Exec("CREATE TABLE T (A VARCHAR(100), B VARCHAR(100))");
  auto ins = MakeQuery(Alias(), "INSERT INTO T (A, B) VALUES (:K, ':X') -- :Y");
  ASSERT_EQ(ins->Params().Count(), 1);  // ':X' in quotes is text, :Y a comment
  const std::string nasty = "a'; DROP TABLE UACCESS; -- \\ \" :K";
  ins->ParamByName("K").SetAsString(nasty);
  EXPECT_EQ(ins->ExecSQL(), 1);
  auto q = MakeQuery(Alias(), "SELECT A, B FROM T");
  q->Open();
  EXPECT_EQ(q->FieldByName("A").AsString(), nasty);
  EXPECT_EQ(q->FieldByName("b").AsString(), ":X");
  auto still = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM UACCESS");
  still->Open();
  EXPECT_EQ(still->FieldByName("N").AsInteger(), 4);
}

TEST_P(QueryTest, MissingParameterValueIsAnError) {
  auto q = MakeQuery(Alias(), "SELECT * FROM UACCESS WHERE APP_KEY=:APP_KEY");
  EXPECT_THROW(q->Open(), EDatabaseError);
  EXPECT_FALSE(q->Active());
  EXPECT_THROW(q->ParamByName("NOPE"), EDatabaseError);
  q->ParamByName("APP_KEY").Clear();  // an explicit null is a value
  q->Open();
  EXPECT_TRUE(q->IsEmpty());
}

TEST_P(QueryTest, MasterSourceFillsParametersAtEachRun) {
  auto master = MakeQuery(Alias(), "SELECT DISTINCT USER_ID FROM UACCESS ORDER BY USER_ID");
  master->Open();
  TDataSource ds(master.get());
  auto del = MakeQuery(Alias(), "delete From UAccess\nWhere USER_ID=:USER_ID");
  del->SetDataSource(&ds);
  master->Last();  // user 2
  EXPECT_EQ(del->ExecSQL(), 1);
  master->First();  // user 1
  EXPECT_EQ(del->ExecSQL(), 3);
  auto rest = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM UACCESS");
  rest->Open();
  EXPECT_EQ(rest->FieldByName("n").AsInteger(), 0);
}

TEST_P(QueryTest, ExecSqlReportsRowsChanged) {
  auto up = MakeQuery(Alias(), "Update UACCESS Set AUTHORIZED='1' Where APP_KEY=:APP_KEY");
  up->ParamByName("APP_KEY").SetAsString("app");
  EXPECT_EQ(up->ExecSQL(), 3);
  up->ParamByName("APP_KEY").SetAsString("none");
  EXPECT_EQ(up->ExecSQL(), 0);
}

TEST_P(QueryTest, EngineErrorsCarryMessageAndKeyViolationCode) {
  Exec("CREATE TABLE QUARVEL (USERQV_NAME VARCHAR(10) NOT NULL UNIQUE, USER_ID INTEGER PRIMARY KEY)");
  Exec("INSERT INTO QUARVEL VALUES ('ana', 1)");
  auto dup = MakeQuery(Alias(), "INSERT INTO QUARVEL VALUES (:N, :I)");
  dup->ParamByName("N").SetAsString("ana");
  dup->ParamByName("I").SetAsInteger(2);
  try {
    dup->ExecSQL();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.FirstCode(), kKeyViolation);
    ASSERT_EQ(e.Codes().size(), 2u);
    EXPECT_NE(e.Codes()[1], kKeyViolation);
    EXPECT_FALSE(std::string(e.what()).empty());
  }
  dup->ParamByName("N").SetAsString("bia");
  dup->ParamByName("I").SetAsInteger(1);  // primary key this time
  try {
    dup->ExecSQL();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.FirstCode(), kKeyViolation);
  }
  auto bad = MakeQuery(Alias(), "SELECT NO_SUCH_COLUMN FROM QUARVEL");
  try {
    bad->Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.FirstCode(), kKeyViolation);
  }
}

TEST_P(QueryTest, TransactionsCommitRollbackAndGuard) {
  auto count = [&] {
    auto q = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM UACCESS");
    q->Open();
    return q->FieldByName("N").AsInteger();
  };
  auto del = MakeQuery(Alias(), "DELETE FROM UACCESS WHERE USER_ID = 1");
  TDatabase& db = Db();
  db.StartTransaction();
  EXPECT_TRUE(db.InTransaction());
  EXPECT_THROW(db.StartTransaction(), EDatabaseError);
  del->ExecSQL();
  EXPECT_EQ(count(), 1);
  db.Rollback();
  EXPECT_FALSE(db.InTransaction());
  EXPECT_EQ(count(), 4);
  EXPECT_THROW(db.Commit(), EDatabaseError);
  {
    TransactionGuard tx(db);
    del->ExecSQL();
  }  // not committed: rolled back
  EXPECT_FALSE(db.InTransaction());
  EXPECT_EQ(count(), 4);
  {
    TransactionGuard tx(db);
    del->ExecSQL();
    tx.Commit();
  }
  EXPECT_EQ(count(), 1);
}

TEST_P(QueryTest, SecondConnectionSeesOnlyCommittedWork) {
  TDatabase& db = Db();
  db.StartTransaction();
  MakeQuery(Alias(), "DELETE FROM UACCESS WHERE USER_ID = 2")->ExecSQL();
  auto other = MakeQuery(SecondAlias(), "SELECT COUNT(*) AS N FROM UACCESS");
  if (IsPostgres()) {  // SQLite's WAL reader also sees the old snapshot
    other->Open();
    EXPECT_EQ(other->FieldByName("N").AsInteger(), 4);
    other->Close();
  }
  db.Commit();
  other->Open();
  EXPECT_EQ(other->FieldByName("N").AsInteger(), 3);
}

TEST_P(QueryTest, StatementHookAndNthFailure) {
  std::vector<std::string> seen;
  Db().SetStatementHook([&](std::string_view sql) { seen.emplace_back(sql); });
  auto q = MakeQuery(Alias(), "SELECT * FROM UACCESS WHERE USER_ID = :U");
  q->ParamByName("U").SetAsInteger(1);
  q->Open();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], q->SQL());

  Db().FailNthStatement(2, "disk on fire");
  auto up = MakeQuery(Alias(), "UPDATE UACCESS SET AUTHORIZED = '1'");
  EXPECT_EQ(up->ExecSQL(), 4);
  try {
    up->ExecSQL();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "disk on fire");
  }
  EXPECT_EQ(up->ExecSQL(), 4);  // only the second one failed
  Db().SetStatementHook(nullptr);
}

TEST_P(QueryTest, BytesAndUtf8TextRoundTrip) {
  Exec("CREATE TABLE B (ID INTEGER PRIMARY KEY, PWD " + BlobType() + ", NAME VARCHAR(40))");
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  auto ins = MakeQuery(Alias(), "INSERT INTO B VALUES (1, :P, :N)");
  ins->ParamByName("P").SetAsBytes(all);
  ins->ParamByName("N").SetAsString("João Conceição, açúcar");
  ins->ExecSQL();
  auto q = MakeQuery(Alias(), "SELECT PWD, NAME FROM B");
  q->Open();
  EXPECT_EQ(q->FieldByName("PWD").DataType(), TFieldType::Bytes);
  EXPECT_EQ(q->FieldByName("PWD").AsString(), all);
  EXPECT_EQ(q->FieldByName("NAME").AsString(), "João Conceição, açúcar");
  EXPECT_EQ(q->FieldByName("NAME").Size(), 40);
}

QV_INSTANTIATE_ENGINES(QueryTest);

}  // namespace
}  // namespace qv::test

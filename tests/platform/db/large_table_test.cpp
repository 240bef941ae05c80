// Datasets over a large table that only grows (the audit trail): rows read
// when first needed, values derived once per row, and many rows deleted at
// once, all or none.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "qvd3/platform/db/database_error.h"
#include "tests/platform/db/db_test_util.h"

namespace qv::test {
namespace {

class LargeTableTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    Exec("CREATE TABLE AUDIT (APP_KEY VARCHAR(20), USER_ID INTEGER, PROG_ID INTEGER, "
         "START_SESSION VARCHAR(19), END_SESSION VARCHAR(19), COMPUTER_NAME VARCHAR(30))");
    Exec("INSERT INTO AUDIT VALUES ('APP', 2, 10, '01/12/2026 08:00:00', '01/12/2026 08:05:00', 'PC1'), "
         "('APP', 3, 11, '02/12/2026 09:00:00', '02/12/2026 09:01:00', 'PC2'), "
         "('APP', 2, 11, '03/12/2026 10:00:00', '03/12/2026 10:30:00', 'PC1'), "
         "('OTHER', 2, 10, '01/12/2026 08:00:00', '01/12/2026 08:00:01', 'PC9')");
  }

  std::unique_ptr<TQuery> Audit(bool deferred = true) {
    auto q = MakeQuery(Alias(),
                       "SELECT APP_KEY , USER_ID ,\nPROG_ID ,\nSTART_SESSION ,\nEND_SESSION ,\n"
                       "COMPUTER_NAME\nFROM AUDIT\nWHERE APP_KEY=:APP_KEY",
                       true, "qryAudit");
    q->ParamByName("APP_KEY").SetAsString("APP");
    q->SetDeferRows(deferred);
    return q;
  }

  // Counts the statements that reach the engine while `run` runs.
  int StatementsOf(const std::function<void()>& run) {
    int statements = 0;
    Db().SetStatementHook([&](std::string_view) { ++statements; });
    run();
    Db().SetStatementHook({});
    return statements;
  }
};

TEST_P(LargeTableTest, OpenReadsNoRowAndTheFirstUseReadsThemOnce) {
  auto q = Audit();
  EXPECT_EQ(StatementsOf([&] { q->Open(); }), 1);  // the statement is checked, not run
  EXPECT_TRUE(q->Active());
  EXPECT_TRUE(q->RowsPending());
  EXPECT_EQ(q->FieldCount(), 6);
  EXPECT_EQ(q->FieldByName("USER_ID").DataType(), TFieldType::Integer);

  // Rows stored after Open and before the first use are part of the read.
  Exec("INSERT INTO AUDIT VALUES ('APP', 4, 12, '04/12/2026 11:00:00', '04/12/2026 11:00:00', 'PC4')");
  int count = 0;
  EXPECT_EQ(StatementsOf([&] {
              count = q->RecordCount();
              q->Last();
              q->First();
            }),
            1);
  EXPECT_EQ(count, 4);
  EXPECT_FALSE(q->RowsPending());
  EXPECT_EQ(q->RecNo(), 1);
  EXPECT_EQ(Column(*q, "USER_ID"), IsSqlite() ? "2,3,2,4" : Column(*q, "USER_ID"));

  // Closing drops what was read; the next Open defers again.
  q->Close();
  q->Open();
  EXPECT_TRUE(q->RowsPending());
}

TEST_P(LargeTableTest, AStatementThatCannotRunFailsAtOpen) {
  Exec("DROP TABLE AUDIT");
  auto q = Audit();
  EXPECT_THROW(q->Open(), EDatabaseError);
  EXPECT_FALSE(q->Active());
}

TEST_P(LargeTableTest, TheRowsAreThoseOfTheParametersAtOpen) {
  auto q = Audit();
  q->Open();
  q->ParamByName("APP_KEY").SetAsString("OTHER");
  EXPECT_EQ(q->RecordCount(), 3);
  q->Reopen();
  EXPECT_EQ(q->RecordCount(), 1);
}

// Every first use gives what it gives on a dataset read at Open.
TEST_P(LargeTableTest, EveryFirstUseSeesTheRowsAnOrdinaryOpenGives) {
  const std::map<std::string, std::function<std::string(TQuery&)>> uses = {
      {"Eof", [](TQuery& q) { return std::to_string(q.Eof()) + std::to_string(q.Bof()); }},
      {"field read", [](TQuery& q) { return q.FieldByName("COMPUTER_NAME").AsString(); }},
      {"Next", [](TQuery& q) { q.Next(); return q.FieldByName("USER_ID").AsString(); }},
      {"RecNo", [](TQuery& q) { return std::to_string(q.RecNo()); }},
      {"Locate", [](TQuery& q) { return std::to_string(q.Locate("USER_ID;PROG_ID", {2, 11})) + std::to_string(q.RecNo()); }},
      {"Lookup", [](TQuery& q) { return q.Lookup("USER_ID", {3}, "COMPUTER_NAME").AsString(); }},
      {"equality filter",
       [](TQuery& q) {
         q.SetFilter("USER_ID=2");
         q.SetFiltered(true);
         return std::to_string(q.RecordCount()) + q.FieldByName("PROG_ID").AsString();
       }},
      {"record filter",
       [](TQuery& q) {
         q.OnFilterRecord = [](TDataSet& ds, bool& accept) { accept = ds.FieldByName("PROG_ID").AsInteger() == 11; };
         q.SetFiltered(true);
         return std::to_string(q.RecordCount());
       }},
      {"edit",
       [](TQuery& q) {
         q.Locate("USER_ID", 3);
         q.Edit();
         q.FieldByName("COMPUTER_NAME").SetAsString("NEW");
         q.Post();
         return q.FieldByName("COMPUTER_NAME").AsString() + std::to_string(q.RecNo());
       }},
      {"delete",
       [](TQuery& q) {
         q.Delete();
         return std::to_string(q.RecordCount()) + q.FieldByName("USER_ID").AsString();
       }},
      {"append",
       [](TQuery& q) {
         q.Append();
         q.FieldByName("APP_KEY").SetAsString("APP");
         q.FieldByName("USER_ID").SetAsInteger(9);
         q.Post();
         return std::to_string(q.RecordCount()) + std::to_string(q.RecNo());
       }},
  };
  for (const auto& [name, use] : uses) {
    SCOPED_TRACE(name);
    Exec("DELETE FROM AUDIT");
    Exec("INSERT INTO AUDIT VALUES ('APP', 2, 10, 'a', 'b', 'PC1'), ('APP', 3, 11, 'c', 'd', 'PC2'), "
         "('APP', 2, 11, 'e', 'f', 'PC1')");
    auto eager = Audit(false);
    eager->Open();
    const std::string expected = use(*eager);
    eager->Close();

    Exec("DELETE FROM AUDIT");
    Exec("INSERT INTO AUDIT VALUES ('APP', 2, 10, 'a', 'b', 'PC1'), ('APP', 3, 11, 'c', 'd', 'PC2'), "
         "('APP', 2, 11, 'e', 'f', 'PC1')");
    auto deferred = Audit();
    deferred->Open();
    EXPECT_EQ(use(*deferred), expected);
    EXPECT_FALSE(deferred->RowsPending());
  }
}

TEST_P(LargeTableTest, AFailedReadLeavesTheRowsPendingForTheNextUse) {
  auto q = Audit();
  q->Open();
  Db().FailNthStatement(1, "connection lost");
  EXPECT_THROW(q->RecordCount(), EDatabaseError);
  Db().SetStatementHook({});
  EXPECT_TRUE(q->Active());
  EXPECT_TRUE(q->RowsPending());
  EXPECT_EQ(q->RecordCount(), 3);
}

// A value derived from a row's text once: a filter re-evaluated over every
// row derives nothing again until the row changes.
TEST_P(LargeTableTest, CachedFieldIsDerivedOncePerRowUntilTheRowChanges) {
  auto q = Audit();
  int derived = 0;
  TField& hour = q->AddCachedField("START_HOUR", [&](TDataSet& ds) -> std::optional<std::int64_t> {
    ++derived;
    const std::string text = ds.FieldByName("START_SESSION").AsString();
    if (text.size() < 13) return std::nullopt;
    return std::stoi(text.substr(11, 2));
  });
  int from = 0;
  q->OnFilterRecord = [&](TDataSet& ds, bool& accept) {
    Value v = ds.FieldByName("START_HOUR").AsValue();
    accept = !v.IsNull() && v.AsInteger() > from;
  };
  q->Open();
  q->SetFiltered(true);
  EXPECT_EQ(q->RecordCount(), 3);
  for (from = 8; from <= 10; ++from) q->Refilter();
  EXPECT_EQ(q->RecordCount(), 0);
  EXPECT_EQ(derived, 3);

  // An edited row is derived from what is typed, and again once stored.
  from = 0;
  q->Refilter();
  q->Locate("USER_ID", 3);
  q->Edit();
  q->FieldByName("START_SESSION").SetAsString("02/12/2026 23:00:00");
  EXPECT_EQ(hour.AsInteger(), 23);
  q->FieldByName("START_SESSION").SetAsString("garbled");
  EXPECT_TRUE(hour.IsNull());
  q->FieldByName("START_SESSION").SetAsString("02/12/2026 22:00:00");
  derived = 0;
  q->Post();
  q->Refilter();
  EXPECT_EQ(derived, 1);
  q->Locate("USER_ID", 3);
  EXPECT_EQ(hour.AsInteger(), 22);
  EXPECT_THROW(hour.SetAsInteger(1), EDatabaseError);

  // Reopened, every row is derived afresh.
  q->Reopen();
  derived = 0;
  EXPECT_EQ(q->RecordCount(), 3);
  EXPECT_EQ(derived, 3);
}

TEST_P(LargeTableTest, DeleteRowsDeletesExactlyTheSelectionWhereverTheCursorIs) {
  Exec("INSERT INTO AUDIT VALUES ('APP', 2, 10, '01/12/2026 08:00:00', '01/12/2026 08:05:00', 'PC1')");
  auto q = Audit();
  q->SetFilter("USER_ID=2");
  q->SetFiltered(true);
  q->Open();
  ASSERT_EQ(q->RecordCount(), 3);  // two of them identical
  const TRowSelection selection = q->VisibleRows();
  q->SetFiltered(false);
  q->Locate("USER_ID", 3);  // between rows of the selection
  EXPECT_EQ(q->DeleteRows(selection), 3);
  EXPECT_EQ(q->RecordCount(), 1);
  EXPECT_EQ(q->FieldByName("USER_ID").AsInteger(), 3);
  EXPECT_TRUE(q->Locate("USER_ID", 3));
  EXPECT_FALSE(q->Locate("USER_ID", 2));
  q->Reopen();
  EXPECT_EQ(Column(*q, "USER_ID"), "3");
  auto other = Audit();
  other->ParamByName("APP_KEY").SetAsString("OTHER");
  other->Open();
  EXPECT_EQ(other->RecordCount(), 1);

  // Rows already gone from the dataset are skipped.
  EXPECT_EQ(q->DeleteRows(q->VisibleRows()), 1);
  EXPECT_TRUE(q->IsEmpty() && q->Eof());
}

TEST_P(LargeTableTest, AppendRowsStoresManyRowsInFewStatementsAllOrNothing) {
  auto q = Audit(false);
  q->SetFilter("USER_ID=5");
  q->SetFiltered(true);
  q->Open();
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 1200; ++i) rows.push_back({Value("APP"), Value(i % 2 == 0 ? 5 : 6), Value(i), Value("x")});
  const std::string fields = "APP_KEY;user_id;PROG_ID;START_SESSION";

  // A failure in the second batch leaves neither table nor dataset changed.
  Db().FailNthStatement(2, "disk full");
  EXPECT_THROW(q->AppendRows(fields, rows), EDatabaseError);
  Db().SetStatementHook({});
  EXPECT_TRUE(q->IsEmpty());
  auto all = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM AUDIT");
  all->Open();
  EXPECT_EQ(all->FieldByName("N").AsInteger(), 4);

  EXPECT_EQ(StatementsOf([&] { q->AppendRows(fields, rows); }), 3);  // 500 rows a statement
  EXPECT_EQ(q->RecordCount(), 600);  // the filter holds for the new rows
  ASSERT_TRUE(q->Locate("PROG_ID", 1198));
  EXPECT_EQ(q->FieldByName("START_SESSION").AsString(), "x");
  EXPECT_TRUE(q->FieldByName("END_SESSION").IsNull());
  EXPECT_FALSE(q->Locate("PROG_ID", 1199));
  // They are rows like any other: editable, and stored.
  q->Edit();
  q->FieldByName("COMPUTER_NAME").SetAsString("PCX");
  q->Post();
  all->Close();
  all->Open();
  EXPECT_EQ(all->FieldByName("N").AsInteger(), 1204);
  auto edited = MakeQuery(Alias(), "SELECT PROG_ID FROM AUDIT WHERE COMPUTER_NAME='PCX'");
  edited->Open();
  EXPECT_EQ(Column(*edited, "PROG_ID"), "1198");

  EXPECT_THROW(q->AppendRows("APP_KEY;NOPE", {{Value("A"), Value(1)}}), EDatabaseError);
  EXPECT_THROW(q->AppendRows("APP_KEY", {{Value("A"), Value(1)}}), EDatabaseError);
  q->BeforePost = [](TDataSet&) {};
  EXPECT_THROW(q->AppendRows("APP_KEY", {{Value("A")}}), EDatabaseError);
  all->Close();
  all->Open();
  EXPECT_EQ(all->FieldByName("N").AsInteger(), 1204);
}

TEST_P(LargeTableTest, DeleteRowsIsAllOrNothing) {
  auto q = Audit();
  q->Open();
  const TRowSelection selection = q->VisibleRows();
  Exec("DELETE FROM AUDIT WHERE USER_ID = 3");  // another client
  EXPECT_THROW(q->DeleteRows(selection), EDatabaseError);
  EXPECT_EQ(q->RecordCount(), 3);
  q->Reopen();
  EXPECT_EQ(q->RecordCount(), 2);

  // A selection of an earlier opening, or a dataset with delete events.
  EXPECT_THROW(q->DeleteRows(selection), EDatabaseError);
  q->BeforeDelete = [](TDataSet&) {};
  EXPECT_THROW(q->DeleteRows(q->VisibleRows()), EDatabaseError);
  q->BeforeDelete = nullptr;
  q->Reopen();
  EXPECT_EQ(q->RecordCount(), 2);

  // Inside the caller's transaction the caller decides.
  {
    TransactionGuard transaction(Db());
    EXPECT_EQ(q->DeleteRows(q->VisibleRows()), 2);
  }
  q->Reopen();
  EXPECT_EQ(q->RecordCount(), 2);
}

TEST_P(LargeTableTest, DeleteRowsByAKeyOfSeveralColumns) {
  Exec("CREATE TABLE RIGHTS (APP_KEY VARCHAR(20), USER_ID INTEGER, MENU_ID INTEGER, AUTHORIZED VARCHAR(1), "
       "PRIMARY KEY (APP_KEY, USER_ID, MENU_ID))");
  Exec("INSERT INTO RIGHTS VALUES ('APP', 1, 1, '1'), ('APP', 1, 2, '0'), ('APP', 2, 1, '1'), ('X', 1, 1, '1')");
  auto q = MakeQuery(Alias(), "SELECT APP_KEY, USER_ID, MENU_ID, AUTHORIZED FROM RIGHTS WHERE APP_KEY = 'APP'", true);
  q->SetFilter("USER_ID=1");
  q->SetFiltered(true);
  q->Open();
  EXPECT_EQ(q->DeleteRows(q->VisibleRows()), 2);
  auto left = MakeQuery(Alias(), "SELECT APP_KEY, USER_ID FROM RIGHTS ORDER BY APP_KEY");
  left->Open();
  EXPECT_EQ(Column(*left, "APP_KEY") + "/" + Column(*left, "USER_ID"), "APP,X/2,1");
}

QV_INSTANTIATE_ENGINES(LargeTableTest);

}  // namespace
}  // namespace qv::test

// Datasets on both engines: cursor, fields, keyed search, filters, editing,
// events, calculated and lookup fields, data sources.
#include <gtest/gtest.h>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/datasource.h"
#include "qvd3/platform/db/engine.h"
#include "qvd3/platform/sys/text_case.h"
#include "tests/platform/db/db_test_util.h"

namespace qv::test {
namespace {

class DataSetTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    Exec("CREATE TABLE PROFILES (PROF_DESCRIPTION VARCHAR(30), PROF_ID INTEGER PRIMARY KEY, "
         "INTERVAL_CHANGE_PWD SMALLINT, MUST_CHANGE_PWD VARCHAR(1), HIDE_DISABLE_MENU SMALLINT, AUDIT_MODE VARCHAR(1))");
    Exec("INSERT INTO PROFILES VALUES ('Caixa', 2, 5, '1', 1, '0'), ('Administrador', 1, NULL, '0', 2, '1'), "
         "('Vendas', 3, 30, '1', 0, '0')");
    Exec("CREATE TABLE QUARVEL (USERQV_NAME VARCHAR(10) NOT NULL UNIQUE, REAL_NAME VARCHAR(40), USER_PWD " +
         BlobType() + ", USER_ID INTEGER PRIMARY KEY, LAST_PWD_CHANGE VARCHAR(10), PROFILE_ID INTEGER, AUDIT_MODE VARCHAR(1))");
    Exec("INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_ID, PROFILE_ID, AUDIT_MODE) VALUES "
         "('master', 'Administrador', 1, 0, '0'), ('ana', 'Ana Souza', 2, 2, '1'), "
         "('bruno', 'Bruno Lima', 3, 3, '0'), ('Ana', 'Ana Maiúscula', 7, 0, '0')");
    Exec("CREATE TABLE HISTORY (USER_ID INTEGER, USER_PWD VARCHAR(20), CHANGE_DATE VARCHAR(10))");
    Exec("INSERT INTO HISTORY VALUES (2, 'same', '01/01/2026'), (2, 'same', '01/01/2026'), (3, 'x', '02/01/2026')");
  }

  std::unique_ptr<TQuery> Users() {
    return MakeQuery(Alias(),
                     "SELECT\nUSERQV_NAME ,\nREAL_NAME ,\nUSER_PWD ,\nUSER_ID ,\nLAST_PWD_CHANGE ,\nPROFILE_ID,\n"
                     "AUDIT_MODE\nFROM QUARVEL\nORDER BY USERQV_NAME",
                     true, "qryUsers");
  }
  std::unique_ptr<TQuery> Profiles() {
    return MakeQuery(Alias(),
                     "SELECT PROF_DESCRIPTION ,\nPROF_ID ,\nINTERVAL_CHANGE_PWD ,\nMUST_CHANGE_PWD ,\n"
                     "HIDE_DISABLE_MENU,\nAUDIT_MODE\nFROM PROFILES\nORDER BY PROF_DESCRIPTION",
                     true, "qryProfiles");
  }
  std::unique_ptr<TQuery> History() {
    return MakeQuery(Alias(), "SELECT USER_ID , USER_PWD ,\nCHANGE_DATE\nFROM HISTORY", true, "qryHistory");
  }
  int CountRows(const std::string& where) {
    auto q = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM " + where);
    q->Open();
    return q->FieldByName("N").AsInteger();
  }
};

TEST_P(DataSetTest, CursorWalksAndStopsAtTheEnds) {
  auto q = Users();
  q->Open();
  EXPECT_TRUE(q->Bof());
  EXPECT_FALSE(q->Eof());
  EXPECT_EQ(q->RecordCount(), 4);
  EXPECT_EQ(Column(*q, "USERQV_NAME"), IsSqlite() ? "Ana,ana,bruno,master" : Column(*q, "USERQV_NAME"));
  q->Last();
  EXPECT_TRUE(q->Eof());
  EXPECT_EQ(q->RecNo(), 4);
  q->Next();
  EXPECT_EQ(q->RecNo(), 4);
  q->Prior();
  EXPECT_FALSE(q->Eof());
  EXPECT_EQ(q->RecNo(), 3);
  q->First();
  q->Prior();
  EXPECT_TRUE(q->Bof());
  EXPECT_EQ(q->RecNo(), 1);

  auto empty = MakeQuery(Alias(), "SELECT * FROM QUARVEL WHERE USER_ID < 0");
  empty->Open();
  EXPECT_TRUE(empty->Eof() && empty->Bof() && empty->IsEmpty());
  EXPECT_EQ(empty->FieldByName("USER_ID").AsInteger(), 0);
  EXPECT_THROW(empty->Delete(), EDatabaseError);
  empty->Close();
  EXPECT_THROW(empty->RecordCount(), EDatabaseError);
}

TEST_P(DataSetTest, FieldsByNameInAnyCaseWithEngineTypes) {
  auto q = Profiles();
  q->Open();
  TField& desc = q->FieldByName("prof_description");
  EXPECT_EQ(&desc, &q->FieldByName("PROF_DESCRIPTION"));
  EXPECT_EQ(desc.DataType(), TFieldType::String);
  EXPECT_EQ(desc.Size(), 30);
  EXPECT_EQ(q->FieldByName("Prof_Id").DataType(), TFieldType::Integer);
  EXPECT_EQ(q->FieldByName("INTERVAL_CHANGE_PWD").DataType(), TFieldType::SmallInt);
  EXPECT_EQ(q->FindField("NOPE"), nullptr);
  try {
    q->FieldByName("NOPE");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("'NOPE'"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("qryProfiles"), std::string::npos);
  }
  ASSERT_TRUE(q->Locate("PROF_ID", 1));
  TField& interval = q->FieldByName("INTERVAL_CHANGE_PWD");
  EXPECT_TRUE(interval.IsNull());
  EXPECT_EQ(interval.AsString(), "");
  EXPECT_EQ(interval.AsInteger(), 0);
  EXPECT_EQ(q->FieldByName("PROF_DESCRIPTION").AsString(), "Administrador");
  EXPECT_EQ(q->FieldCount(), 6);  // the row identity is no field
}

TEST_P(DataSetTest, LocateIsExactCaseSensitiveAndLeavesCursorOnMiss) {
  auto q = Users();
  q->Open();
  ASSERT_TRUE(q->Locate("USERQV_NAME", "bruno"));
  int at = q->RecNo();
  EXPECT_FALSE(q->Locate("USERQV_NAME", "BRUNO"));
  EXPECT_FALSE(q->Locate("USERQV_NAME", "brun"));
  EXPECT_EQ(q->RecNo(), at);
  ASSERT_TRUE(q->Locate("USERQV_NAME", "Ana"));
  EXPECT_EQ(q->FieldByName("USER_ID").AsInteger(), 7);
  ASSERT_TRUE(q->Locate("USER_ID", "2"));  // text naming an integer
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), "ana");
  EXPECT_FALSE(q->Locate("USER_ID", "two"));
  EXPECT_TRUE(q->Locate("PROFILE_ID;AUDIT_MODE", {0, "0"}));
  EXPECT_FALSE(q->Locate("PROFILE_ID;AUDIT_MODE", {2, "0"}));
  EXPECT_TRUE(q->Locate("USER_PWD", Value()));  // null matches null
  EXPECT_THROW(q->Locate("PROFILE_ID;AUDIT_MODE", std::vector<Value>{0}), EDatabaseError);
}

TEST_P(DataSetTest, LocateIndexFollowsInsertEditDeleteAndReopen) {
  auto q = Users();
  q->Open();
  ASSERT_TRUE(q->Locate("USER_ID", 3));  // builds the index
  q->Insert();
  q->FieldByName("USERQV_NAME").SetAsString("carla");
  q->FieldByName("USER_ID").SetAsInteger(9);
  q->Post();
  q->First();
  ASSERT_TRUE(q->Locate("USER_ID", 9));
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), "carla");
  q->Edit();
  q->FieldByName("USERQV_NAME").SetAsString("carol");
  q->Post();
  q->First();
  EXPECT_FALSE(q->Locate("USERQV_NAME", "carla"));
  ASSERT_TRUE(q->Locate("USERQV_NAME", "carol"));
  q->Delete();
  EXPECT_FALSE(q->Locate("USER_ID", 9));
  EXPECT_FALSE(q->Locate("USERQV_NAME", "carol"));
  EXPECT_EQ(CountRows("QUARVEL"), 4);
  Exec("UPDATE QUARVEL SET USER_ID = 30 WHERE USER_ID = 3");
  q->Close();
  q->Open();
  EXPECT_FALSE(q->Locate("USER_ID", 3));
  EXPECT_TRUE(q->Locate("USER_ID", 30));
}

TEST_P(DataSetTest, FiltersUsedByTheSystem) {
  auto users = Users();
  users->SetFilter("[USERQV_NAME]<>'master'");
  users->SetFiltered(true);
  users->Open();
  EXPECT_EQ(users->RecordCount(), 3);
  EXPECT_FALSE(users->Locate("USERQV_NAME", "master"));
  users->SetFilter("PROFILE_ID=0");
  EXPECT_EQ(users->RecordCount(), 2);
  EXPECT_TRUE(users->Bof());
  users->SetFilter("USER_ID=7");
  EXPECT_EQ(Column(*users, "USERQV_NAME"), "Ana");
  users->SetFiltered(false);
  EXPECT_EQ(users->RecordCount(), 4);

  auto profiles = Profiles();
  profiles->Open();
  profiles->SetFilter("PROF_ID=3");
  profiles->SetFiltered(true);
  EXPECT_EQ(Column(*profiles, "PROF_DESCRIPTION"), "Vendas");
  profiles->SetFilter("(HIDE_DISABLE_MENU >= 1 AND NOT [MUST_CHANGE_PWD] = '0') OR PROF_ID < 2");
  EXPECT_EQ(Column(*profiles, "PROF_DESCRIPTION"), "Administrador,Caixa");
  profiles->SetFilter("PROF_DESCRIPTION = 'O''Neil'");
  EXPECT_TRUE(profiles->IsEmpty());
}

TEST_P(DataSetTest, MalformedFilterNamesTextAndChangesNothing) {
  auto q = Users();
  q->SetFilter("USER_ID=7");
  q->SetFiltered(true);
  q->Open();
  for (const char* bad : {"USER_ID=", "[USER_ID=7", "USER_ID=7 AND", "'open", "NOPE=1", "USER_ID ! 3", "(USER_ID=7"}) {
    try {
      q->SetFilter(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
    }
    EXPECT_EQ(q->Filter(), "USER_ID=7");
    EXPECT_EQ(q->RecordCount(), 1);
  }
}

TEST_P(DataSetTest, FilterRecordRoutineAndReevaluation) {
  auto q = Users();
  int minimum = 3;
  q->OnFilterRecord = [&](TDataSet& ds, bool& accept) {
    accept = ds.FieldByName("USER_ID").AsInteger() >= minimum;
  };
  q->Open();
  EXPECT_EQ(q->RecordCount(), 4);
  q->SetFiltered(true);
  EXPECT_EQ(q->RecordCount(), 2);
  minimum = 7;
  q->Refilter();
  EXPECT_EQ(Column(*q, "USER_ID"), "7");
  q->SetFilter("USERQV_NAME='bruno'");  // both must accept
  EXPECT_TRUE(q->IsEmpty());
}

TEST_P(DataSetTest, WritingCutsToWidthAndRejectsBadNumbers) {
  auto q = Users();
  q->Open();
  ASSERT_TRUE(q->Locate("USER_ID", 3));
  q->Edit();
  q->FieldByName("USERQV_NAME").SetAsString("Conceição da Silva");  // 18 characters into 10
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), "Conceição ");
  EXPECT_THROW(q->FieldByName("PROFILE_ID").SetAsString("dois"), EConvertError);
  EXPECT_EQ(q->FieldByName("PROFILE_ID").AsInteger(), 3);
  q->FieldByName("PROFILE_ID").SetAsString("");
  EXPECT_TRUE(q->FieldByName("PROFILE_ID").IsNull());
  q->FieldByName("REAL_NAME").SetAsString("José Ações Índio Ü");
  q->Post();
  q->Close();
  q->Open();
  ASSERT_TRUE(q->Locate("USER_ID", 3));
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), "Conceição ");
  EXPECT_EQ(q->FieldByName("REAL_NAME").AsString(), "José Ações Índio Ü");
  EXPECT_TRUE(q->FieldByName("PROFILE_ID").IsNull());
  EXPECT_THROW(q->FieldByName("REAL_NAME").SetAsString("x"), EDatabaseError);  // not editing
}

TEST_P(DataSetTest, EveryByteRoundTripsThroughALiveBlob) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  auto q = Users();
  q->DefineField("USER_PWD").SetSize(300);
  q->Open();
  ASSERT_TRUE(q->Locate("USER_ID", 2));
  q->Edit();
  q->FieldByName("USER_PWD").SetAsString(all);
  q->Post();
  EXPECT_EQ(q->FieldByName("USER_PWD").AsString(), all);
  q->Close();
  q->Open();
  ASSERT_TRUE(q->Locate("USER_ID", 2));
  EXPECT_EQ(q->FieldByName("USER_PWD").AsString(), all);
  ASSERT_TRUE(q->Locate("USER_PWD", Value::Bytes(all)));
  // A byte field with a width takes that many bytes whole, and refuses more
  // instead of cutting them.
  q->FieldByName("USER_PWD").SetSize(20);
  q->Close();
  q->Open();
  ASSERT_TRUE(q->Locate("USER_ID", 2));
  q->Edit();
  q->FieldByName("USER_PWD").SetAsString(all.substr(236));
  EXPECT_EQ(q->FieldByName("USER_PWD").AsString(), all.substr(236));
  try {
    q->FieldByName("USER_PWD").SetAsString(all.substr(0, 21));
    ADD_FAILURE() << "21 bytes were taken by a field of 20";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("USER_PWD"), std::string::npos) << e.what();
  }
  EXPECT_EQ(q->FieldByName("USER_PWD").AsString(), all.substr(236));
  q->Cancel();
}

TEST_P(DataSetTest, EditAndDeleteChangeExactlyOneOfIdenticalRows) {
  auto h = History();
  h->Open();
  ASSERT_TRUE(h->Locate("USER_PWD", "same"));
  h->Edit();
  h->FieldByName("USER_PWD").SetAsString("changed");
  h->Post();
  EXPECT_EQ(CountRows("HISTORY WHERE USER_PWD = 'same'"), 1);
  EXPECT_EQ(CountRows("HISTORY WHERE USER_PWD = 'changed'"), 1);
  // Edit the same row twice: its identity is refreshed after the update.
  h->Edit();
  h->FieldByName("CHANGE_DATE").SetAsString("09/09/2026");
  h->Post();
  EXPECT_EQ(CountRows("HISTORY WHERE USER_PWD = 'changed' AND CHANGE_DATE = '09/09/2026'"), 1);
  Exec("INSERT INTO HISTORY VALUES (5, 'dup', 'd'), (5, 'dup', 'd')");
  h->Close();
  h->Open();
  ASSERT_TRUE(h->Locate("USER_ID", 5));
  h->Delete();
  EXPECT_EQ(CountRows("HISTORY WHERE USER_ID = 5"), 1);
  EXPECT_EQ(h->RecordCount(), 4);
}

TEST_P(DataSetTest, DeleteMovesToFollowingRowOrNewLast) {
  auto q = Users();
  q->Open();
  q->First();
  q->Next();  // ana
  q->Delete();
  EXPECT_EQ(q->RecNo(), 2);
  std::string after = q->FieldByName("USERQV_NAME").AsString();
  q->Last();
  std::string second_last;
  q->Prior();
  second_last = q->FieldByName("USERQV_NAME").AsString();
  q->Last();
  q->Delete();
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), second_last);
  EXPECT_EQ(q->RecordCount(), 2);
  EXPECT_EQ(CountRows("QUARVEL"), 2);
  EXPECT_FALSE(after.empty());
}

TEST_P(DataSetTest, InsertedRowsAppearAtCursorThenInQueryOrder) {
  auto q = Users();
  q->Open();
  ASSERT_TRUE(q->Locate("USERQV_NAME", "bruno"));
  int at = q->RecNo();
  q->Insert();
  EXPECT_EQ(q->RecNo(), at);
  q->FieldByName("USERQV_NAME").SetAsString("aaa");
  q->FieldByName("USER_ID").SetAsInteger(20);
  q->Post();
  EXPECT_EQ(q->RecNo(), at);
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), "aaa");
  q->Append();
  q->FieldByName("USERQV_NAME").SetAsString("zzz");
  q->FieldByName("USER_ID").SetAsInteger(21);
  q->Post();
  EXPECT_EQ(q->RecNo(), 6);
  q->Close();
  q->Open();
  q->First();
  EXPECT_TRUE(q->Locate("USER_ID", 20));
  EXPECT_EQ(q->RecNo(), IsSqlite() ? 2 : q->RecNo());  // "Ana" < "aaa" in SQLite's binary order
}

TEST_P(DataSetTest, EventsRunInOrderAndDefaultsComeBeforeAfterInsert) {
  auto q = Profiles();
  q->DefineField("MUST_CHANGE_PWD").SetDefaultExpression("'1'");
  q->DefineField("HIDE_DISABLE_MENU").SetDefaultExpression("0");
  std::vector<std::string> log;
  auto note = [&](const char* what) { return [&log, what](TDataSet&) { log.push_back(what); }; };
  q->BeforeOpen = note("BeforeOpen");
  q->AfterOpen = note("AfterOpen");
  q->BeforeClose = note("BeforeClose");
  q->AfterClose = note("AfterClose");
  q->BeforeInsert = note("BeforeInsert");
  q->AfterInsert = [&](TDataSet& ds) {
    log.push_back("AfterInsert:" + ds.FieldByName("MUST_CHANGE_PWD").AsString() +
                  ds.FieldByName("HIDE_DISABLE_MENU").AsString());
  };
  q->BeforeEdit = note("BeforeEdit");
  q->AfterEdit = note("AfterEdit");
  q->BeforePost = [&](TDataSet& ds) {
    log.push_back(ds.State() == TDataSetState::Insert ? "BeforePost:insert" : "BeforePost:edit");
  };
  q->AfterPost = note("AfterPost");
  q->BeforeCancel = note("BeforeCancel");
  q->AfterCancel = note("AfterCancel");
  q->BeforeDelete = note("BeforeDelete");
  q->AfterDelete = note("AfterDelete");

  q->Open();
  q->Insert();
  q->FieldByName("PROF_DESCRIPTION").SetAsString("Novo");
  q->FieldByName("PROF_ID").SetAsInteger(4);
  q->Post();
  q->Edit();
  q->Edit();  // already editing: nothing
  q->Cancel();
  q->Post();  // browse: nothing
  q->Edit();
  q->FieldByName("AUDIT_MODE").SetAsString("1");
  q->Next();  // moving posts first
  q->Delete();
  q->Close();
  EXPECT_EQ(log, (std::vector<std::string>{
                     "BeforeOpen", "AfterOpen", "BeforeInsert", "AfterInsert:10", "BeforePost:insert",
                     "AfterPost", "BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel", "BeforeEdit",
                     "AfterEdit", "BeforePost:edit", "AfterPost", "BeforeDelete", "AfterDelete",
                     "BeforeClose", "AfterClose"}));
  EXPECT_EQ(CountRows("PROFILES WHERE PROF_ID = 4 AND MUST_CHANGE_PWD = '1' AND AUDIT_MODE = '1'"), 1);
  EXPECT_EQ(CountRows("PROFILES"), 3);
}

TEST_P(DataSetTest, AbortInBeforeEventsChangesNothing) {
  auto q = Users();
  q->BeforeDelete = [](TDataSet&) { Abort(); };
  q->Open();
  ASSERT_TRUE(q->Locate("USER_ID", 2));
  EXPECT_THROW(q->Delete(), EAbort);
  EXPECT_EQ(q->RecordCount(), 4);
  EXPECT_EQ(q->FieldByName("USER_ID").AsInteger(), 2);
  EXPECT_EQ(CountRows("QUARVEL WHERE USER_ID = 2"), 1);

  q->BeforePost = [](TDataSet&) { Abort(); };
  q->Edit();
  q->FieldByName("REAL_NAME").SetAsString("Outra");
  EXPECT_THROW(q->Post(), EAbort);
  EXPECT_EQ(q->State(), TDataSetState::Edit);
  EXPECT_EQ(q->FieldByName("REAL_NAME").AsString(), "Outra");
  q->Cancel();
  EXPECT_EQ(q->FieldByName("REAL_NAME").AsString(), "Ana Souza");
}

TEST_P(DataSetTest, RefusedPostKeepsTypedValuesUntilCancel) {
  auto q = Users();
  q->Open();
  q->Insert();
  q->FieldByName("USERQV_NAME").SetAsString("bruno");  // already taken
  q->FieldByName("USER_ID").SetAsInteger(50);
  try {
    q->Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.FirstCode(), kKeyViolation);
  }
  EXPECT_EQ(q->State(), TDataSetState::Insert);
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), "bruno");
  q->FieldByName("USERQV_NAME").SetAsString("bruna");
  q->Post();
  EXPECT_EQ(CountRows("QUARVEL"), 5);
  q->Insert();
  q->FieldByName("USERQV_NAME").SetAsString("ana");
  q->FieldByName("USER_ID").SetAsInteger(51);
  EXPECT_THROW(q->Post(), EDatabaseError);
  q->Cancel();
  EXPECT_EQ(q->State(), TDataSetState::Browse);
  EXPECT_EQ(q->RecordCount(), 5);
}

TEST_P(DataSetTest, DisplayAndEditFormatsOnPersistentFields) {
  auto q = Profiles();
  TField& interval = q->DefineField("INTERVAL_CHANGE_PWD");
  interval.SetEditFormat("00");
  interval.SetDisplayFormat("a cada 00 dias");
  for (int round = 0; round < 2; ++round) {  // the same field object after reopening
    q->Open();
    ASSERT_TRUE(q->Locate("PROF_ID", 2));
    EXPECT_EQ(interval.DisplayText(), "a cada 05 dias");
    EXPECT_EQ(interval.Text(), "05");
    EXPECT_EQ(interval.AsInteger(), 5);
    ASSERT_TRUE(q->Locate("PROF_ID", 1));
    EXPECT_EQ(interval.DisplayText(), "");
    EXPECT_EQ(interval.Text(), "");
    q->Close();
  }
  q->Open();
  q->Edit();
  interval.SetText("07");
  q->Post();
  EXPECT_EQ(interval.DisplayText(), "a cada 07 dias");
}

TEST_P(DataSetTest, CalculatedAndLookupFieldsBelongToTheirRow) {
  auto profiles = Profiles();
  profiles->Open();
  auto users = Users();
  TField& profile = users->AddLookupField("PROFILE", 30, "PROFILE_ID", *profiles, "PROF_ID", "PROF_DESCRIPTION");
  TField& upper = users->AddCalculatedField("CalcBig", TFieldType::String, 3);
  int calculations = 0;
  users->OnCalcFields = [&](TDataSet& ds) {
    ++calculations;
    upper.SetAsString(ds.FieldByName("USER_ID").AsInteger() > 2 ? "Sim" : "Não!");
  };
  users->Open();
  std::string seen;
  for (users->First(); !users->Eof(); users->Next())
    seen += users->FieldByName("USERQV_NAME").AsString() + "=" + profile.AsString() + "/" + upper.AsString() + ";";
  EXPECT_NE(seen.find("ana=Caixa/Não;"), std::string::npos) << seen;  // cut to 3 characters
  EXPECT_NE(seen.find("bruno=Vendas/Sim;"), std::string::npos) << seen;
  EXPECT_NE(seen.find("master=/Não;"), std::string::npos) << seen;  // profile 0: no row
  EXPECT_GT(calculations, 3);

  // Reading another row for display computes its own values.
  ASSERT_TRUE(users->Locate("USERQV_NAME", "master"));
  int bruno = 0;
  for (int r = 1; r <= users->RecordCount(); ++r)
    users->WithRecord(r, [&] {
      if (users->FieldByName("USERQV_NAME").AsString() == "bruno") {
        bruno = r;
        EXPECT_EQ(upper.AsString(), "Sim");
        EXPECT_EQ(profile.AsString(), "Vendas");
      }
    });
  EXPECT_NE(bruno, 0);
  EXPECT_EQ(users->FieldByName("USERQV_NAME").AsString(), "master");
  EXPECT_EQ(upper.AsString(), "Não");

  // The lookup follows edits of the key and of the looked-up dataset.
  users->Edit();
  users->FieldByName("PROFILE_ID").SetAsInteger(1);
  EXPECT_EQ(profile.AsString(), "Administrador");
  users->Post();
  ASSERT_TRUE(profiles->Locate("PROF_ID", 1));
  profiles->Edit();
  profiles->FieldByName("PROF_DESCRIPTION").SetAsString("Admin");
  profiles->Post();
  EXPECT_EQ(profile.AsString(), "Admin");
  EXPECT_THROW(profile.SetAsString("x"), EDatabaseError);
}

TEST_P(DataSetTest, AfterPostMayReopenAndLocate) {
  auto q = Users();
  int last_id = 0;
  q->BeforePost = [&](TDataSet& ds) {
    if (ds.State() != TDataSetState::Insert) return;
    auto gen = MakeQuery(Alias(), "Select MAX(USER_ID) From QUARVEL");
    gen->Open();
    last_id = gen->Fields()[0]->AsInteger() + 1;
    ds.FieldByName("USER_ID").SetAsInteger(last_id);
  };
  q->AfterPost = [&](TDataSet& ds) {
    ds.Close();
    ds.Open();
    ds.Locate("USER_ID", last_id);
  };
  q->Open();
  q->Insert();
  q->FieldByName("USERQV_NAME").SetAsString("novo");
  q->Post();
  EXPECT_EQ(q->FieldByName("USER_ID").AsInteger(), 8);
  EXPECT_EQ(q->FieldByName("USERQV_NAME").AsString(), "novo");
  EXPECT_EQ(q->RecordCount(), 5);
}

class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> log;

 protected:
  void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
  void DataChanged(TField* field) override {
    log.push_back(field ? "data:" + AsciiLower(field->FieldName()) : "data");
  }
  void EditingChanged() override { log.push_back(Editing() ? "editing" : "browsing"); }
};

TEST_P(DataSetTest, DataSourceTellsLinksAndHooks) {
  auto q = Users();
  TDataSource source(q.get());
  RecordingLink link;
  link.SetDataSource(&source);
  int changes = 0;
  source.OnDataChange = [&](TDataSource&, TField*) { ++changes; };
  q->Open();
  EXPECT_EQ(link.log.front(), "active");
  link.log.clear();
  q->Next();
  EXPECT_EQ(link.log, std::vector<std::string>{"data"});
  link.log.clear();
  ASSERT_TRUE(link.Edit());
  q->FieldByName("REAL_NAME").SetAsString("X");
  q->Post();
  EXPECT_EQ(link.log, (std::vector<std::string>{"editing", "data:real_name", "browsing", "data"}));
  q->Close();
  EXPECT_EQ(link.log.back(), "inactive");
  EXPECT_GT(changes, 2);
  {
    RecordingLink gone;
    gone.SetDataSource(&source);
  }
  q->Open();  // the destroyed link is no longer called
  q.reset();
  EXPECT_EQ(source.DataSet(), nullptr);
}

TEST_P(DataSetTest, ReadOnlyQueryRefusesChanges) {
  auto q = MakeQuery(Alias(), "SELECT USERQV_NAME, USER_ID FROM QUARVEL WHERE USERQV_NAME<>'master' ORDER BY QUARVEL.USERQV_NAME");
  q->Open();
  EXPECT_EQ(q->RecordCount(), 3);
  EXPECT_THROW(q->Edit(), EDatabaseError);
  EXPECT_THROW(q->Insert(), EDatabaseError);
  EXPECT_THROW(q->Delete(), EDatabaseError);
  auto join = MakeQuery(Alias(), "SELECT * FROM QUARVEL, PROFILES", true);
  EXPECT_THROW(join->Open(), EDatabaseError);
}

QV_INSTANTIATE_ENGINES(DataSetTest);

}  // namespace
}  // namespace qv::test

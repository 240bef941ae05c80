// Key generation of users, profiles and catalogue rows: one more than the
// largest key present, over all applications, and the recovery when
// another client takes the generated key between generation and post.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "data/dm_quarvel.h"
#include "platform/db/database_error.h"
#include "platform/db/query.h"
#include "tests/data/dm_quarvel_fixture.h"

namespace qv {
namespace {

using test::kApp;
using test::kOtherApp;

class KeyGenerationTest : public test::DataModuleTest {
 protected:
  int PostUser(const std::string& name) {
    dm->qryUsers.Append();
    dm->qryUsers.FieldByName("USERQV_NAME").SetAsString(name);
    dm->qryUsers.Post();
    return dm->qryUsers.FieldByName("USER_ID").AsInteger();
  }
  int PostProfile(const std::string& description) {
    dm->qryProfiles.Append();
    dm->qryProfiles.FieldByName("PROF_DESCRIPTION").SetAsString(description);
    dm->qryProfiles.Post();
    return dm->qryProfiles.FieldByName("PROF_ID").AsInteger();
  }
  int PostProg(const std::string& name) {
    dm->qryProgs.Append();
    dm->qryProgs.FieldByName("APP_KEY").SetAsString(kApp);
    dm->qryProgs.FieldByName("MENU_NAME").SetAsString(name);
    dm->qryProgs.FieldByName("MENU_CAPTION").SetAsString(name);
    dm->qryProgs.Post();
    return dm->qryProgs.FieldByName("MENU_ID").AsInteger();
  }
};

TEST_P(KeyGenerationTest, FirstRowsOfEmptyTablesGetOne) {
  OpenModule();
  EXPECT_EQ(PostProfile("Vendas"), 1);
  EXPECT_EQ(LastProfId, 1);
  EXPECT_EQ(PostProg("mnuA"), 1);
  EXPECT_EQ(LastMenuId, 1);
  ExecWith("DELETE FROM QUARVEL");
  dm->qryUsers.Close();
  dm->qryUsers.Open();
  EXPECT_EQ(PostUser("ana"), 1);
  EXPECT_EQ(LastUserId, 1);
}

TEST_P(KeyGenerationTest, KeyIsOneMoreThanTheLargestPresentAfterDeletions) {
  int ana = AddUser("ana", "x");
  int bia = AddUser("bia", "x");
  int caio = AddUser("caio", "x");
  ExecWith("DELETE FROM QUARVEL WHERE USER_ID=:ID", {{"ID", bia}});
  OpenModule();
  const int davi = PostUser("davi");
  EXPECT_EQ(davi, caio + 1);  // bia's free number is not reused
  ExecWith("DELETE FROM QUARVEL WHERE USER_ID IN (:C, :D)", {{"C", caio}, {"D", davi}});
  EXPECT_EQ(PostUser("eva"), ana + 1);  // ana's is the largest left
  EXPECT_EQ(dm->qryUsers.FieldByName("USERQV_NAME").AsString(), "eva");
  EXPECT_EQ(LastUserId, ana + 1);

  AddProfile("A");
  int b = AddProfile("B");
  ExecWith("DELETE FROM PROFILES WHERE PROF_ID=1");
  EXPECT_EQ(PostProfile("C"), b + 1);
}

TEST_P(KeyGenerationTest, MenuKeysCountOverEveryApplication) {
  AddProg(kOtherApp, "mnuA", "A");
  AddProg(kOtherApp, "mnuB", "B");
  int c = AddProg(kOtherApp, "mnuC", "C");
  OpenModule();
  EXPECT_TRUE(dm->qryProgs.IsEmpty());
  EXPECT_EQ(PostProg("mnuA"), c + 1);
  EXPECT_EQ(dm->qryProgs.RecordCount(), 1);
  EXPECT_EQ(dm->qryProgs.FieldByName("MENU_NAME").AsString(), "mnuA");
}

// An edit keeps its key, and the cursor comes back to the edited row even
// when it is not the row inserted last.
TEST_P(KeyGenerationTest, EditKeepsTheKeyAndTheCursor) {
  OpenModule();
  int a = PostProfile("A");
  int b = PostProfile("B");
  ASSERT_TRUE(dm->qryProfiles.Locate("PROF_ID", Value(a)));
  dm->qryProfiles.Edit();
  dm->qryProfiles.FieldByName("PROF_DESCRIPTION").SetAsString("Z");
  dm->qryProfiles.Post();
  EXPECT_EQ(dm->qryProfiles.FieldByName("PROF_ID").AsInteger(), a);
  EXPECT_EQ(dm->qryProfiles.RecNo(), 2);  // ordered by description: B, Z
  EXPECT_EQ(LastProfId, b);

  int m1 = PostProg("mnuA");
  PostProg("mnuB");
  ASSERT_TRUE(dm->qryProgs.Locate("MENU_ID", Value(m1)));
  dm->qryProgs.Edit();
  dm->qryProgs.FieldByName("MENU_CAPTION").SetAsString("Novo");
  dm->qryProgs.Post();
  EXPECT_EQ(dm->qryProgs.FieldByName("MENU_ID").AsInteger(), m1);
  EXPECT_EQ(dm->qryProgs.FieldByName("MENU_CAPTION").AsString(), "Novo");
}

TEST_P(KeyGenerationTest, DuplicateUserNameStillFailsAsKeyViolation) {
  AddUser("ana", "x");
  OpenModule();
  const long long before = Count("SELECT COUNT(*) FROM QUARVEL");
  dm->qryUsers.Append();
  dm->qryUsers.FieldByName("USERQV_NAME").SetAsString("ana");
  try {
    dm->qryUsers.Post();
    FAIL() << "a second 'ana' was stored";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.FirstCode(), kKeyViolation);
  }
  EXPECT_EQ(dm->qryUsers.State(), TDataSetState::Insert);
  dm->qryUsers.Cancel();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL"), before);
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", LastUserId), 0);
}

// Two clients insert into one table at the same moment: client A has
// generated its key when client B stores a row with that same key; A's
// post then takes the next free key instead of failing.
class KeyRaceTest : public KeyGenerationTest {
 protected:
  // Before each of A's inserts into `table` (at most `times` of them),
  // client B, on its own connection, stores a row under the key A is about
  // to use. `key` reads that key, `insert` is B's statement with :ID.
  void InterfereWithInserts(const std::string& table, std::function<int()> key, std::string insert,
                            int times = 1) {
    const std::string prefix = "INSERT INTO " + table + " ";
    const std::string other = SecondAlias();
    Db().SetStatementHook([=, this](std::string_view sql) {
      if (sql.substr(0, prefix.size()) != prefix || interferences >= times) return;
      ++interferences;
      TQuery b;
      b.SetDatabaseName(other);
      b.SetSQL(insert);
      b.ParamByName("ID").SetAsInteger(key());
      b.ParamByName("N").SetAsString("b" + std::to_string(interferences));
      b.ExecSQL();
    });
  }
  int interferences = 0;
};

TEST_P(KeyRaceTest, UserPostTakesTheNextKeyWhenAnotherClientTookItsOwn) {
  OpenModule();
  InterfereWithInserts(
      "QUARVEL", [] { return LastUserId; },
      "INSERT INTO QUARVEL (USERQV_NAME, USER_ID, PROFILE_ID, AUDIT_MODE) "
      "VALUES (:N, :ID, 0, '0')");
  const int ana = PostUser("ana");
  Db().SetStatementHook({});
  EXPECT_EQ(interferences, 1);
  EXPECT_EQ(ana, test::kMasterId + 2);
  EXPECT_EQ(LastUserId, ana);
  EXPECT_EQ(Scalar("SELECT USERQV_NAME FROM QUARVEL WHERE USER_ID=:ID", {{"ID", ana}}), "ana");
  EXPECT_EQ(Scalar("SELECT USERQV_NAME FROM QUARVEL WHERE USER_ID=:ID", {{"ID", ana - 1}}), "b1");
  EXPECT_EQ(dm->qryUsers.FieldByName("USERQV_NAME").AsString(), "ana");
  // The state row is made for the user actually stored.
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", ana), 1);
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", ana - 1), 0);
}

TEST_P(KeyRaceTest, ProfileAndCataloguePostsTakeTheNextKeyToo) {
  OpenModule();
  InterfereWithInserts(
      "PROFILES", [] { return LastProfId; },
      "INSERT INTO PROFILES (PROF_DESCRIPTION, PROF_ID) VALUES (:N, :ID)");
  const int prof = PostProfile("Vendas");
  EXPECT_EQ(prof, 2);
  EXPECT_EQ(LastProfId, 2);
  EXPECT_EQ(dm->qryProfiles.FieldByName("PROF_DESCRIPTION").AsString(), "Vendas");

  interferences = 0;
  InterfereWithInserts(
      "PROGS", [] { return LastMenuId; },
      "INSERT INTO PROGS (APP_KEY, MENU_NAME, MENU_ID) VALUES ('OUTRO', :N, :ID)");
  const int menu = PostProg("mnuA");
  Db().SetStatementHook({});
  EXPECT_EQ(menu, 2);
  EXPECT_EQ(LastMenuId, 2);
  EXPECT_EQ(Scalar("SELECT MENU_NAME FROM PROGS WHERE MENU_ID=:ID", {{"ID", menu}}), "mnuA");
}

// A client that keeps losing the race gets the key violation after a few
// attempts rather than retrying for ever; nothing of its row is stored.
TEST_P(KeyRaceTest, GivesUpAfterAFewLostRaces) {
  OpenModule();
  InterfereWithInserts(
      "PROFILES", [] { return LastProfId; },
      "INSERT INTO PROFILES (PROF_DESCRIPTION, PROF_ID) VALUES (:N, :ID)", 100);
  dm->qryProfiles.Append();
  dm->qryProfiles.FieldByName("PROF_DESCRIPTION").SetAsString("Vendas");
  try {
    dm->qryProfiles.Post();
    FAIL() << "the post succeeded against a client taking every key";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.FirstCode(), kKeyViolation);
  }
  Db().SetStatementHook({});
  EXPECT_GT(interferences, 1);
  EXPECT_LT(interferences, 100);
  EXPECT_EQ(dm->qryProfiles.State(), TDataSetState::Insert);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROFILES WHERE PROF_DESCRIPTION='Vendas'"), 0);
}

QV_INSTANTIATE_ENGINES(KeyGenerationTest);
QV_INSTANTIATE_ENGINES(KeyRaceTest);

}  // namespace
}  // namespace qv

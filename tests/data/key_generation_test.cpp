// Key generation of users, profiles and catalogue rows: one more than the
// largest key present, over all applications, and the recovery when
// another client takes the generated key between generation and post, also
// with several client processes at once.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
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
  // On SQLite a user's post stores its row inside a transaction that holds
  // the write lock, so no other client can store a row at the moment this
  // test interferes; the race before that transaction starts is the one the
  // multi-process clients below run into.
  if (EngineName() == "sqlite") GTEST_SKIP() << "the post holds the write lock while it inserts";
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

// A client that keeps losing the race keeps trying, each time under a
// larger key, until it stores its row: its name is unique, so the post
// must not fail for the key.
TEST_P(KeyRaceTest, KeepsTryingAsLongAsOtherClientsTakeItsKeys) {
  OpenModule();
  InterfereWithInserts(
      "PROFILES", [] { return LastProfId; },
      "INSERT INTO PROFILES (PROF_DESCRIPTION, PROF_ID) VALUES (:N, :ID)", 12);
  EXPECT_EQ(PostProfile("Vendas"), 13);
  Db().SetStatementHook({});
  EXPECT_EQ(interferences, 12);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROFILES"), 13);
  EXPECT_EQ(Scalar("SELECT PROF_DESCRIPTION FROM PROFILES WHERE PROF_ID=13"), "Vendas");
}

// Inside a caller's transaction a refused insert leaves the transaction
// usable: a duplicate name reports the key violation (not the engine's
// "transaction aborted"), a lost race is retried, and the caller can go on
// and commit.
TEST_P(KeyRaceTest, InsideACallersTransactionTheRefusalKeepsItsCode) {
  AddUser("ana", "x");
  OpenModule();
  Db().StartTransaction();
  dm->qryUsers.Append();
  dm->qryUsers.FieldByName("USERQV_NAME").SetAsString("ana");
  try {
    dm->qryUsers.Post();
    ADD_FAILURE() << "a second 'ana' was stored";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.FirstCode(), kKeyViolation) << error.what();
  }
  dm->qryUsers.Cancel();
  if (IsPostgres()) {
    // Another client takes the key while the transaction runs (on SQLite
    // the transaction holds the write lock, so no other client can).
    InterfereWithInserts(
        "QUARVEL", [] { return LastUserId; },
        "INSERT INTO QUARVEL (USERQV_NAME, USER_ID, PROFILE_ID, AUDIT_MODE) "
        "VALUES (:N, :ID, 0, '0')");
  }
  const int bia = PostUser("bia");
  Db().SetStatementHook({});
  Db().Commit();
  EXPECT_EQ(bia, IsPostgres() ? test::kMasterId + 3 : test::kMasterId + 2);
  EXPECT_EQ(Scalar("SELECT USERQV_NAME FROM QUARVEL WHERE USER_ID=:ID", {{"ID", bia}}), "bia");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME='ana'"), 1);
  EXPECT_EQ(RowsWhere("USERINFO", "USER_ID", bia), 1);
}

// Several client processes, each with its own connection and data module,
// create users and profiles with unique names at the same moment. Every
// insert is stored, under a key of its own. The size is "CLIENTSxROWS"
// from QV_KEY_RACE_SIZE (default 4x12); with a larger size the figures of
// the run are printed.
class KeyRaceClientsTest : public KeyGenerationTest {
 protected:
  struct Outcome {
    int failures = 0;
    long long attempts = 0;  // insert statements, lost races included
    std::string first_failure;
  };

  // The work of one client process: `rows` users and `rows` profiles,
  // alternating.
  static Outcome RunClient(const AliasDefinition& database, int client, int rows) {
    Outcome outcome;
    try {
      Session::Default().AddAlias(database);
      TUsers module(nullptr);
      for (TQuery* q : std::initializer_list<TQuery*>{&module.qryUAccess, &module.qryPAccess,
                                                      &module.qryProgs, &module.qryUserInfo})
        q->ParamByName("APP_KEY").SetAsString(kApp);
      for (TQuery* q : std::initializer_list<TQuery*>{&module.qryUsers, &module.qryProfiles,
                                                      &module.qryProgs, &module.qryUAccess,
                                                      &module.qryUserInfo}) {
        q->SetDatabaseName(database.name);
        q->Open();
      }
      Session::Default().Database(database.name).SetStatementHook([&](std::string_view sql) {
        if (sql.rfind("INSERT INTO QUARVEL ", 0) == 0 || sql.rfind("INSERT INTO PROFILES ", 0) == 0)
          ++outcome.attempts;
      });
      for (int i = 0; i < rows; ++i) {
        const std::string tag = "c" + std::to_string(client) + "n" + std::to_string(i);
        for (TModuleQuery* rowsOf : {&module.qryUsers, &module.qryProfiles}) {
          try {
            rowsOf->Append();
            rowsOf->FieldByName(rowsOf == &module.qryUsers ? "USERQV_NAME" : "PROF_DESCRIPTION")
                .SetAsString(tag);
            rowsOf->Post();
          } catch (const Exception& e) {
            if (outcome.failures++ == 0) outcome.first_failure = tag + ": " + e.what();
            rowsOf->Cancel();
          }
        }
      }
    } catch (const Exception& e) {
      outcome.failures = -1;
      outcome.first_failure = e.what();
    }
    return outcome;
  }

  static std::pair<int, int> Size() {
    int clients = 4, rows = 12;
    if (const char* size = std::getenv("QV_KEY_RACE_SIZE"))
      std::sscanf(size, "%dx%d", &clients, &rows);
    return {clients, rows};
  }
};

TEST_P(KeyRaceClientsTest, ClientsCreatingRowsAtOnceLoseNoInsert) {
  const auto [clients, rows] = Size();
  // The children open connections of their own; none of this process's may
  // be open across the fork (an SQLite handle must not be shared with a
  // child).
  Session::Default().CloseDatabase(Alias());
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  std::vector<int> reports;
  for (int c = 0; c < clients; ++c) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(go[1]);
      close(report[0]);
      char start;
      (void)!read(go[0], &start, 1);  // returns when the parent closes `go`
      AliasDefinition database = Definition();
      database.name = "client" + std::to_string(c);
      const Outcome outcome = RunClient(database, c, rows);
      const std::string text = std::to_string(outcome.failures) + " " +
                               std::to_string(outcome.attempts) + " " + outcome.first_failure;
      (void)!write(report[1], text.data(), text.size());
      _exit(0);  // nothing of the parent's state is torn down here
    }
    close(report[1]);
    children.push_back(pid);
    reports.push_back(report[0]);
  }
  close(go[0]);
  const auto start = std::chrono::steady_clock::now();
  close(go[1]);

  int failures = 0;
  long long attempts = 0;
  for (int c = 0; c < clients; ++c) {
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(reports[c], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    close(reports[c]);
    int status = 0;
    waitpid(children[c], &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "client " << c << " died";
    Outcome outcome;
    std::istringstream in(text);
    in >> outcome.failures >> outcome.attempts;
    std::getline(in, outcome.first_failure);
    EXPECT_EQ(outcome.failures, 0) << "client " << c << ":" << outcome.first_failure;
    failures += outcome.failures;
    attempts += outcome.attempts;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const long long inserts = 2LL * clients * rows;
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QUARVEL"), 1 + clients * rows);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROFILES"), clients * rows);
  EXPECT_EQ(Count("SELECT MAX(USER_ID) FROM QUARVEL"), 1 + clients * rows);
  EXPECT_EQ(Count("SELECT MAX(PROF_ID) FROM PROFILES"), clients * rows);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO"), clients * rows);
  EXPECT_EQ(Count("SELECT COUNT(DISTINCT USER_ID) FROM USERINFO"), clients * rows);
  std::printf("[ key race ] %s: %d clients x %d users and %d profiles: %lld inserts, %d failed, "
              "%lld lost races, %.2f s\n",
              EngineName().c_str(), clients, rows, rows, inserts, failures, attempts - inserts,
              seconds);
}

QV_INSTANTIATE_ENGINES(KeyGenerationTest);
QV_INSTANTIATE_ENGINES(KeyRaceTest);
QV_INSTANTIATE_ENGINES(KeyRaceClientsTest);

}  // namespace
}  // namespace qv

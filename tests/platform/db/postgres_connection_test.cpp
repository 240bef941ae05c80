// The PostgreSQL connection of an alias: statements that run again are
// prepared once and reused; a connection the server dropped is reported as
// lost and opened again by the next statement, without carrying half a
// transaction over.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "tests/platform/db/db_test_util.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class PostgresConnectionTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    Exec("CREATE TABLE T (A INTEGER, B VARCHAR(10))");
    Exec("INSERT INTO T VALUES (1, 'um'), (2, 'dois')");
  }

  // How many statements of this connection the server holds prepared whose
  // text contains `fragment`.
  long long Prepared(const std::string& fragment) {
    auto q = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM pg_prepared_statements WHERE statement LIKE :F");
    q->ParamByName("F").SetAsString("%" + fragment + "%");
    q->Open();
    return q->FieldByName("N").AsInteger();
  }

  std::string SelectB(int a) {
    auto q = MakeQuery(Alias(), "SELECT B FROM T WHERE A = :A");
    q->ParamByName("A").SetAsInteger(a);
    q->Open();
    return q->IsEmpty() ? "" : q->FieldByName("B").AsString();
  }

  // The values of `field` of the rows of `sql`, joined by ",".
  std::string Values(const std::string& sql, const std::string& field) {
    auto q = MakeQuery(Alias(), sql);
    q->Open();
    return Column(*q, field);
  }

  long long Count(const std::string& alias) {
    auto q = MakeQuery(alias, "SELECT COUNT(*) AS N FROM T");
    q->Open();
    return q->FieldByName("N").AsInteger();
  }

  // Ends this alias's server process from another connection, as a server
  // restart or an administrator would.
  void DropConnection() {
    auto pid = MakeQuery(Alias(), "SELECT pg_backend_pid() AS P");
    pid->Open();
    auto kill = MakeQuery(SecondAlias(), "SELECT pg_terminate_backend(:P) AS K");
    kill->ParamByName("P").SetAsInteger(pid->FieldByName("P").AsInteger());
    kill->Open();
    ASSERT_EQ(kill->FieldByName("K").AsString(), "t");
  }

  void ExpectLost(const std::function<void()>& statement) {
    try {
      statement();
      ADD_FAILURE() << "the statement ran on a lost connection";
    } catch (const EDatabaseError& e) {
      EXPECT_TRUE(e.IsConnectionLost()) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind("Alias '" + Alias() + "': connection lost: ", 0), 0u) << e.what();
    }
  }
};

TEST_P(PostgresConnectionTest, StatementRunAgainIsPreparedOnceAndReused) {
  EXPECT_EQ(SelectB(1), "um");
  EXPECT_EQ(Prepared("FROM T WHERE A"), 0);  // once: not worth a second round trip
  EXPECT_EQ(SelectB(2), "dois");
  EXPECT_EQ(SelectB(3), "");
  EXPECT_EQ(SelectB(1), "um");
  EXPECT_EQ(Prepared("FROM T WHERE A"), 1);
}

TEST_P(PostgresConnectionTest, PreparedSelectFollowsAChangedTable) {
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Values("SELECT * FROM T ORDER BY A", "B"), "um,dois");
  Exec("ALTER TABLE T ADD COLUMN C INTEGER DEFAULT 7");
  auto q = MakeQuery(Alias(), "SELECT * FROM T ORDER BY A");
  q->Open();
  EXPECT_EQ(q->FieldByName("C").AsInteger(), 7);

  // Inside a transaction the server's refusal of the stale statement is
  // the statement's error; after the rollback the text runs again.
  for (int i = 0; i < 2; ++i) EXPECT_EQ(Values("SELECT * FROM T ORDER BY A", "C"), "7,7");
  Exec("ALTER TABLE T DROP COLUMN C");
  Db().StartTransaction();
  EXPECT_THROW(Values("SELECT * FROM T ORDER BY A", "B"), EDatabaseError);
  Db().Rollback();
  EXPECT_EQ(Values("SELECT * FROM T ORDER BY A", "B"), "um,dois");
}

TEST_P(PostgresConnectionTest, SameTextWithBytesAndWithTextParametersBothWork) {
  Exec("CREATE TABLE P (V BYTEA)");
  auto ins = MakeQuery(Alias(), "INSERT INTO P VALUES (:V)");
  for (int i = 0; i < 2; ++i) {
    ins->ParamByName("V").SetAsBytes(std::string("\0\xff", 2));
    ins->ExecSQL();
    ins->ParamByName("V").SetAsString("\\x41");  // text form of one byte
    ins->ExecSQL();
  }
  EXPECT_EQ(Values("SELECT length(V) AS L FROM P ORDER BY 1", "L"), "1,1,2,2");
}

TEST_P(PostgresConnectionTest, LostConnectionIsReportedThenOpenedAgain) {
  for (int i = 0; i < 3; ++i) EXPECT_EQ(SelectB(1), "um");
  DropConnection();
  ExpectLost([&] { SelectB(1); });
  // The next statement opens a new connection, which knows none of the
  // statements prepared on the old one.
  EXPECT_EQ(SelectB(2), "dois");
  EXPECT_EQ(SelectB(1), "um");
  EXPECT_EQ(SelectB(1), "um");
}

TEST_P(PostgresConnectionTest, TransactionLostWithTheConnectionWritesNothing) {
  auto ins = MakeQuery(Alias(), "INSERT INTO T VALUES (:A, 'x')");
  {
    TransactionGuard tx(Db());
    ins->ParamByName("A").SetAsInteger(10);
    ins->ExecSQL();
    DropConnection();
    ins->ParamByName("A").SetAsInteger(11);
    ExpectLost([&] { ins->ExecSQL(); });
    // Until the transaction ends every statement fails: none may commit
    // on its own on a new connection.
    ins->ParamByName("A").SetAsInteger(12);
    ExpectLost([&] { ins->ExecSQL(); });
    ExpectLost([&] { tx.Commit(); });
  }
  EXPECT_FALSE(Db().InTransaction());
  EXPECT_EQ(Count(SecondAlias()), 2);
  ins->ParamByName("A").SetAsInteger(13);
  ins->ExecSQL();
  EXPECT_EQ(Count(SecondAlias()), 3);
}

TEST_P(PostgresConnectionTest, RollbackOfALostTransactionEndsIt) {
  Db().StartTransaction();
  Exec("INSERT INTO T VALUES (20, 'y')");
  DropConnection();
  ExpectLost([&] { Exec("INSERT INTO T VALUES (21, 'y')"); });
  Db().Rollback();
  EXPECT_EQ(SelectB(20), "");
  Db().StartTransaction();
  Exec("INSERT INTO T VALUES (22, 'z')");
  Db().Commit();
  EXPECT_EQ(SelectB(22), "z");
}

// The connection's settings come with it: quiet notices and UTF-8, also
// after a reconnect, while the conninfo's own options (here the fixture's
// search path, or a notice level of its own) still have the last word.
TEST_P(PostgresConnectionTest, SettingsComeWithTheConnectionAndTheConninfosOptionsWin) {
  const auto settings = [&](const std::string& alias) {
    auto q = MakeQuery(alias, "SELECT current_setting('client_min_messages') || ' ' || "
                              "current_setting('client_encoding') AS S");
    q->Open();
    return q->FieldByName("S").AsString();
  };
  EXPECT_EQ(settings(Alias()), "warning UTF8");
  EXPECT_EQ(SelectB(1), "um");
  DropConnection();
  ExpectLost([&] { SelectB(1); });
  EXPECT_EQ(settings(Alias()), "warning UTF8");
  EXPECT_EQ(SelectB(2), "dois");

  AliasDefinition chatty = Definition();
  chatty.name = Alias() + "_chatty";
  chatty.location.replace(chatty.location.find("options='"), 9, "options='-c client_min_messages=notice ");
  Session::Default().AddAlias(chatty);
  EXPECT_EQ(settings(chatty.name), "notice UTF8");
  EXPECT_EQ(Count(chatty.name), 2);
  Session::Default().RemoveAlias(chatty.name);
}

INSTANTIATE_TEST_SUITE_P(Engines, PostgresConnectionTest, ::testing::Values("postgresql"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

// A PostgreSQL server of this test alone, in a temporary folder, listening
// on a unix socket there: it can be stopped and started without disturbing
// any other test. Run as root, the server runs as the user postgres.
class PrivateServer {
 public:
  PrivateServer() {
    char pattern[] = "/tmp/qvpg_restart.XXXXXX";
    if (!mkdtemp(pattern)) return;
    dir_ = pattern;
    if (getuid() == 0) {
      as_postgres_ = "runuser -u postgres -- ";
      if (std::system(("chown postgres:postgres " + dir_).c_str()) != 0) return;
    }
    ok_ = Shell(bin_ + "initdb -D " + dir_ + "/data -U postgres -A trust -E UTF8 --locale=C.UTF-8") && Start();
  }
  ~PrivateServer() {
    Shell(bin_ + "pg_ctl -D " + dir_ + "/data -m immediate -w stop");
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  bool Ok() const { return ok_; }
  std::string Conninfo() const { return "host=" + dir_ + " user=postgres dbname=postgres"; }
  bool Start() {
    return Shell(bin_ + "pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 60 -o \"-c listen_addresses='' -k " +
                 dir_ + " -c fsync=off\" start");
  }
  bool Stop() { return Shell(bin_ + "pg_ctl -D " + dir_ + "/data -m fast -w stop"); }

 private:
  bool Shell(const std::string& command) const {
    return std::system((as_postgres_ + command + " >>" + dir_ + "/ctl.log 2>&1").c_str()) == 0;
  }

  std::string bin_ = "/usr/lib/postgresql/15/bin/";
  std::string dir_;
  std::string as_postgres_;
  bool ok_ = false;
};

TEST(PostgresRestartTest, ClientsReportTheRestartAndGoOnAfterIt) {
  if (!fs::exists("/usr/lib/postgresql/15/bin/initdb")) GTEST_SKIP() << "no PostgreSQL 15 server programs";
  PrivateServer server;
  ASSERT_TRUE(server.Ok()) << "the private server did not start";
  const std::string alias = "qvtest_restart_" + std::to_string(getpid());
  Session::Default().AddAlias({alias, EngineKind::PostgreSql, server.Conninfo()});
  TDatabase& db = Session::Default().Database(alias);
  db.ExecDirect("CREATE TABLE T (A INTEGER)");
  auto ins = MakeQuery(alias, "INSERT INTO T VALUES (:A)");
  for (int a = 1; a <= 3; ++a) {
    ins->ParamByName("A").SetAsInteger(a);
    ins->ExecSQL();
  }

  ASSERT_TRUE(server.Stop());
  ins->ParamByName("A").SetAsInteger(4);
  try {
    ins->ExecSQL();
    ADD_FAILURE() << "the insert ran without a server";
  } catch (const EDatabaseError& e) {
    EXPECT_TRUE(e.IsConnectionLost()) << e.what();
    EXPECT_NE(std::string(e.what()).find("Alias '" + alias + "': connection lost"), std::string::npos) << e.what();
  }
  // While the server is down every statement says so, and none waits for
  // ever.
  try {
    ins->ExecSQL();
    ADD_FAILURE() << "the insert ran without a server";
  } catch (const EDatabaseError& e) {
    EXPECT_TRUE(e.IsConnectionLost()) << e.what();
    EXPECT_NE(std::string(e.what()).find("Alias '" + alias + "': cannot connect"), std::string::npos) << e.what();
  }

  ASSERT_TRUE(server.Start());
  ins->ExecSQL();
  ins->ExecSQL();
  auto count = MakeQuery(alias, "SELECT COUNT(*) AS N FROM T");
  count->Open();
  EXPECT_EQ(count->FieldByName("N").AsInteger(), 5);
  count->Close();
  Session::Default().RemoveAlias(alias);
}

}  // namespace
}  // namespace qv::test

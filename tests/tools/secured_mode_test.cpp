// The secured PostgreSQL mode judged by a hostile client: every statement a
// connection as the client role sends is either allowed by the rules of the
// person logged in through it, or refused and without effect.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/secured_mode.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "tests/support/security_db.h"
#include "tools/qvsetup/setup_commands.h"

namespace qv::test {
namespace {

constexpr const char* kApp = "APP";

// A seeded database secured for a client role of its own, with an alias
// connecting as that role. "chefe" is named an administrator.
class SecuredModeTest : public SecurityDbTest {
 protected:
  void SetUp() override {
    SecurityDbTest::SetUp();
    if (HasFatalFailure() || !IsPostgres()) return;
    schema_ = Scalar("SELECT current_schema()");
    role_ = schema_ + "_client";
    Exec("CREATE ROLE " + role_ + " LOGIN");
    RecordDatePattern(Alias(), "dd/mm/yyyy");
    profile_ = AddProfile("Vendas");
    maria_ = AddUser("maria", "segredo", profile_);
    joao_ = AddUser("joao", "outra", profile_);
    chefe_ = AddUser("chefe", "manda");
    for (int user : {maria_, joao_, chefe_}) AddUserInfo(kApp, user);
    menu_ = AddProg(kApp, "mnuVendas", "Vendas");
    SetUAccess(kApp, maria_, menu_, Value("0"));
    SetUAccess(kApp, joao_, menu_, Value("1"));
    SetPAccess(kApp, profile_, menu_, Value("0"));
    AddHistory(maria_, "antiga", DaysFromToday(-30));
    ExecWith("INSERT INTO AUDIT VALUES ('APP', :ID, :MENU, '14/03/2026 09:00:00', '14/03/2026 09:05:00', 'pc')", {{"ID", joao_}, {"MENU", menu_}});
    Secure();
    client_ = Alias() + "_client";
    AliasDefinition definition = Definition();
    definition.name = client_;
    definition.location += " user=" + role_;
    Session::Default().AddAlias(definition);
  }

  void TearDown() override {
    if (!client_.empty()) Session::Default().RemoveAlias(client_);
    SecurityDbTest::TearDown();
    if (role_.empty()) return;
    const std::string cleaner = role_ + "_cleaner";
    Session::Default().AddAlias({cleaner, EngineKind::PostgreSql, std::getenv("QV_TEST_PG")});
    for (const std::string& role : {role_, role_ + "_extra", role_ + "_extra_group", role_ + "_extra_full"})
      Session::Default().Database(cleaner).ExecDirect(
          "DO $$BEGIN IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '" + role + "') THEN EXECUTE 'DROP OWNED BY " +
          role + "'; EXECUTE 'DROP ROLE " + role + "'; END IF; END$$");
    Session::Default().RemoveAlias(cleaner);
  }

  // Installs the mode and fixes the server's "today" to the test's day.
  void Secure() {
    SecureDatabase(Alias(), role_, {"chefe"});
    Exec("CREATE OR REPLACE FUNCTION qv_today() RETURNS date LANGUAGE sql AS $$ SELECT DATE '2026-03-15' $$");
  }

  // Runs `sql` on the client's connection: the rows a select returns or the
  // rows a write changed; -1 when the server refuses it.
  long long AsClient(const std::string& sql, bool reads, const std::string& alias = "") {
    TQuery query;
    query.SetDatabaseName(alias.empty() ? client_ : alias);
    query.SetSQL(sql);
    try {
      if (!reads) return query.ExecSQL();
      query.Open();
      return query.RecordCount();
    } catch (const EDatabaseError&) {
      return -1;
    }
  }
  std::string ClientScalar(const std::string& sql, const SqlParams& params = {}, const std::string& alias = "") {
    TQuery query;
    query.SetDatabaseName(alias.empty() ? client_ : alias);
    query.SetSQL(sql);
    for (const auto& [name, value] : params) query.ParamByName(name).SetValue(value);
    query.Open();
    return query.IsEmpty() ? "" : query.Fields()[0]->AsString();
  }
  std::string Login(const std::string& name, const std::string& password, const std::string& app = kApp) {
    return ClientScalar("SELECT STATUS FROM QV_LOGIN(:N, :P, :A)", {{"N", name}, {"P", password}, {"A", app}});
  }
  std::string SessionUser() { return ClientScalar("SELECT QV_SESSION_USER_ID()"); }

  // A digest of every row of the eight tables, read as the owner.
  std::string Snapshot() {
    std::string digest;
    for (const char* table : {"QUARVEL", "PROFILES", "PROGS", "HISTORY", "UACCESS", "PACCESS", "AUDIT", "USERINFO"})
      digest += Scalar(std::string("SELECT md5(COALESCE(string_agg(t::text, '|' ORDER BY t::text), '')) FROM ") +
                       table + " t") + ";";
    return digest;
  }
  // How many objects of the mode the schema holds.
  long long ModeObjects() {
    return Count("SELECT (SELECT COUNT(*) FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace "
                 "WHERE n.nspname = current_schema() AND p.proname LIKE 'qv\\_%') + "
                 "(SELECT COUNT(*) FROM pg_policies WHERE schemaname = current_schema()) + "
                 "(SELECT COUNT(*) FROM pg_class WHERE relnamespace = current_schema()::regnamespace "
                 "AND (relname LIKE 'qv\\_%' OR relrowsecurity))");
  }

  std::string schema_, role_, client_;
  int profile_ = 0, maria_ = 0, joao_ = 0, chefe_ = 0, menu_ = 0;
};

enum State { kNobody = 1, kUser = 2, kAdmin = 4, kAll = 7 };

struct Attack {
  const char* what;
  std::string sql;
  bool reads;
  int refusedIn;  // the states in which the server must refuse it
};

// The attacks, with @M for maria's id, @J joao's, @P the profile, @I the
// catalogue item, @O the owner.
std::vector<Attack> Attacks() {
  return {
      {"read the stored passwords", "SELECT USER_PWD FROM QUARVEL", true, kNobody | kUser},
      {"read one's own stored password", "SELECT USER_PWD FROM QUARVEL WHERE USER_ID=@M", true, kNobody | kUser},
      {"read the history", "SELECT * FROM HISTORY", true, kNobody | kUser},
      {"read the audit trail", "SELECT * FROM AUDIT", true, kNobody | kUser},
      {"read another user's rights", "SELECT * FROM UACCESS WHERE USER_ID=@J", true, kNobody | kUser},
      {"grant oneself a right", "UPDATE UACCESS SET AUTHORIZED='1'", false, kNobody | kUser},
      {"add a right row", "INSERT INTO UACCESS VALUES ('APP', @M, 999, '1')", false, kNobody | kUser},
      {"grant the profile a right", "UPDATE PACCESS SET AUTHORIZED='1'", false, kNobody | kUser},
      {"add a profile right", "INSERT INTO PACCESS VALUES ('APP', @P, 999, '1')", false, kNobody | kUser},
      {"drop the password rule", "UPDATE PROFILES SET MUST_CHANGE_PWD='0', AUDIT_MODE='0'", false, kNobody | kUser},
      {"add a profile", "INSERT INTO PROFILES VALUES ('X', 99, 0, '0', 0, '0')", false, kNobody | kUser},
      {"add a user", "INSERT INTO QUARVEL VALUES ('intruso', 'I', '\\x00', 99, '', 0, '0')", false,
       kNobody | kUser},
      {"move oneself to another profile", "UPDATE QUARVEL SET PROFILE_ID=0, AUDIT_MODE='0'", false, kNobody | kUser},
      {"reactivate an account", "UPDATE USERINFO SET USER_ACTIVE='1', USER_EXPIRE='0'", false, kNobody | kUser},
      {"add a state row", "INSERT INTO USERINFO VALUES ('OTHER', @M, '', '0', '1')", false, kNobody | kUser},
      {"forget a former password", "DELETE FROM HISTORY", false, kNobody | kUser},
      {"add a catalogue item", "INSERT INTO PROGS VALUES ('APP', 'mnuX', 999, 'X')", false, kNobody | kUser},
      {"delete the audit trail", "DELETE FROM AUDIT", false, kNobody | kUser},
      {"audit as another user", "INSERT INTO AUDIT VALUES ('APP', @J, @I, 'a', 'b', 'pc')", false, kAll},
      {"audit in another application", "INSERT INTO AUDIT VALUES ('OTHER', @M, @I, 'a', 'b', 'pc')", false, kAll},
      {"rewrite the audit trail", "UPDATE AUDIT SET USER_ID=@M", false, kAll},
      {"truncate the audit trail", "TRUNCATE AUDIT", false, kAll},
      {"truncate the rights", "TRUNCATE UACCESS", false, kAll},
      {"drop the audit trail", "DROP TABLE AUDIT", false, kAll},
      {"switch row security off", "ALTER TABLE AUDIT DISABLE ROW LEVEL SECURITY", false, kAll},
      {"become the owner", "SET ROLE @O", false, kAll},
      {"create a table in the schema", "CREATE TABLE @S.QV_EVIL (A integer)", false, kAll},
      {"create a function in the schema",
       "CREATE FUNCTION @S.qv_session_is_admin2() RETURNS boolean LANGUAGE sql AS 'SELECT true'", false, kAll},
      {"read the identities", "SELECT * FROM QV_SESSIONS", true, kAll},
      {"forge an identity", "INSERT INTO QV_SESSIONS VALUES (pg_backend_pid(), 1, 1, 'APP', true)", false,
       kAll},
      {"name oneself administrator", "INSERT INTO QV_ADMINS VALUES ('maria')", false, kAll},
      {"call an internal function", "SELECT QV_SCRAMBLE('x')", true, kAll},
      {"write the identity view", "UPDATE QV_MY_SESSION SET IS_ADMIN=true", false, kAll},
      {"take a session number", "SELECT nextval('qv_session_ids')", true, kAll},
      {"set the session number", "SELECT setval('qv_session_ids', 1)", true, kAll},
      {"set the password change number", "SELECT setval('qv_change_ids', 1)", true, kAll},
  };
}

}  // namespace

// The same attacks in the three states of a connection. Each one the state
// forbids is refused, and none changes a row of the eight tables.
TEST_P(SecuredModeTest, AttackSuiteInEveryStateIsRefusedAndChangesNothing) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  const std::string owner = Scalar("SELECT quote_ident(current_user)");
  for (State state : {kNobody, kUser, kAdmin}) {
    SCOPED_TRACE(state == kNobody ? "nobody logged in" : state == kUser ? "as maria" : "as chefe");
    if (state != kNobody) {
      ASSERT_EQ(state == kUser ? Login("maria", "segredo") : Login("chefe", "manda"), "ok");
    }
    const std::string before = Snapshot();
    for (Attack attack : Attacks()) {
      if (!(attack.refusedIn & state)) continue;
      for (auto [mark, value] : {std::pair<std::string, std::string>{"@M", std::to_string(maria_)},
                                 {"@J", std::to_string(joao_)}, {"@P", std::to_string(profile_)},
                                 {"@I", std::to_string(menu_)}, {"@O", owner}, {"@S", schema_}})
        for (std::size_t at; (at = attack.sql.find(mark)) != std::string::npos;) attack.sql.replace(at, 2, value);
      const long long result = AsClient(attack.sql, attack.reads);
      EXPECT_LE(result, 0) << attack.what << ": " << attack.sql;
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(ClientScalar("SELECT current_user"), role_);
  }
}

// What each state may do works: the rules are not a blanket refusal.
TEST_P(SecuredModeTest, EachStateGetsExactlyWhatTheComponentNeeds) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  EXPECT_EQ(ClientScalar("SELECT CASE WHEN QV_IS_SECURED_CLIENT() THEN 'y' ELSE 'n' END"), "y");
  EXPECT_EQ(AsClient("SELECT * FROM PROGS", true), 1);
  EXPECT_EQ(AsClient("SELECT * FROM QVDATEPATTERN", true), 1);
  EXPECT_EQ(AsClient("SELECT * FROM UACCESS", true), 0);

  ASSERT_EQ(Login("maria", "segredo"), "ok");
  EXPECT_EQ(AsClient("SELECT * FROM UACCESS", true), 1);
  EXPECT_EQ(AsClient("SELECT * FROM PACCESS", true), 1);
  EXPECT_EQ(AsClient("SELECT * FROM PROFILES", true), 1);
  EXPECT_EQ(AsClient("SELECT * FROM USERINFO", true), 1);
  EXPECT_EQ(AsClient("INSERT INTO AUDIT VALUES ('APP', " + std::to_string(maria_) + ", 1, 'a', 'b', 'pc')", false), 1);

  ASSERT_EQ(Login("chefe", "manda"), "ok");
  EXPECT_EQ(AsClient("SELECT USER_PWD FROM QUARVEL", true), 4);
  EXPECT_EQ(AsClient("SELECT * FROM HISTORY", true), 1);
  EXPECT_EQ(AsClient("UPDATE UACCESS SET AUTHORIZED='1' WHERE USER_ID=" + std::to_string(maria_), false), 1);
  EXPECT_EQ(AsClient("DELETE FROM AUDIT", false), 2);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM UACCESS WHERE AUTHORIZED='1'"), 2);

  // A peer program connecting as a role with privileges of its own keeps
  // every row, logged in or not.
  const std::string peer = role_ + "_extra";
  Exec("CREATE ROLE " + peer + " LOGIN; GRANT USAGE ON SCHEMA " + schema_ + " TO " + peer + "; GRANT ALL ON " +
       "QUARVEL, UACCESS, AUDIT TO " + peer);
  AliasDefinition definition = Definition();
  definition.name = Alias() + "_peer";
  definition.location += " user=" + peer;
  Session::Default().AddAlias(definition);
  TQuery query;
  query.SetDatabaseName(definition.name);
  query.SetSQL("SELECT USER_PWD FROM QUARVEL");
  query.Open();
  EXPECT_EQ(query.RecordCount(), 4);
  query.Close();
  query.SetSQL("INSERT INTO AUDIT VALUES ('OTHER', " + std::to_string(joao_) + ", 1, 'a', 'b', 'pc')");
  EXPECT_EQ(query.ExecSQL(), 1);
  query.SetSQL("UPDATE AUDIT SET COMPUTER_NAME='outro'");
  EXPECT_EQ(query.ExecSQL(), 1);
  Session::Default().RemoveAlias(definition.name);
}

// Nothing the client can set, create or shadow counts as an identity.
TEST_P(SecuredModeTest, SettingsRolesAndTemporaryShadowsForgeNoIdentity) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  for (const char* sql : {
           "SET qv.user_id = '1'",
           "SET search_path = pg_temp, " /* schema appended below */,
           "CREATE TEMP TABLE QV_SESSIONS (PID integer, SESSION_ID bigint, USER_ID integer, "
           "APP_KEY varchar(20), IS_ADMIN boolean)",
           "INSERT INTO pg_temp.QV_SESSIONS VALUES (pg_backend_pid(), 1, 1, 'APP', true)",
           "CREATE TEMP TABLE QV_ADMINS (USERQV_NAME varchar(10))",
           "CREATE FUNCTION pg_temp.qv_session_is_admin() RETURNS boolean LANGUAGE sql AS 'SELECT true'",
           "CREATE FUNCTION pg_temp.qv_session_user_id() RETURNS integer LANGUAGE sql AS 'SELECT 1'",
           "CREATE FUNCTION pg_temp.qv_scramble(text) RETURNS bytea LANGUAGE sql AS 'SELECT ''\\x''::bytea'",
       }) {
    std::string text = sql;
    if (text.rfind("SET search_path", 0) == 0) text += schema_;
    EXPECT_GE(AsClient(text, false), 0) << text;
  }
  EXPECT_EQ(SessionUser(), "");
  EXPECT_EQ(AsClient("SELECT * FROM " + schema_ + ".QUARVEL", true), 0);
  EXPECT_EQ(AsClient("SELECT * FROM " + schema_ + ".UACCESS", true), 0);
  EXPECT_EQ(Login("maria", "wrong"), "wrong_password");
  EXPECT_EQ(Login("maria", "segredo"), "ok");
  EXPECT_EQ(SessionUser(), std::to_string(maria_));
  EXPECT_EQ(AsClient("SELECT * FROM " + schema_ + ".HISTORY", true), 0);
}

// The login's statuses mirror the component's checks; only "ok" binds an
// identity, a failed login keeps the one before, a new one replaces it.
TEST_P(SecuredModeTest, LoginStatusesAndTheIdentityTheyLeave) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  const int rule = AddProfile("Regra", "1", 30);
  const int late = AddUser("atrasado", "x", rule, "0", DaysFromToday(-30));
  const int fresh = AddUser("em_dia", "x", rule, "0", DaysFromToday(-29));
  const int gone = AddUser("vencido", "x");
  const int garbled = AddUser("ilegivel", "x");
  const int off = AddUser("parado", "x");
  AddUser("sem_estado", "x");
  AddUserInfo(kApp, late);
  AddUserInfo(kApp, fresh);
  AddUserInfo(kApp, gone, "1", DaysFromToday(0));
  AddUserInfo(kApp, garbled, "1", "31/02/2026");
  AddUserInfo(kApp, off, "0", std::nullopt, "0");

  ASSERT_EQ(Login("maria", "segredo"), "ok");
  const struct {
    const char* name;
    const char* password;
    const char* status;
  } cases[] = {{"ninguem", "x", "unknown_user"}, {"maria", "SEGREDO", "wrong_password"},
               {"sem_estado", "x", "inactive"},  {"parado", "x", "inactive"},
               {"vencido", "x", "expired"},      {"ilegivel", "x", "expired"},
               {"atrasado", "x", "must_change"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Login(c.name, c.password), c.status) << c.name;
    EXPECT_EQ(SessionUser(), std::to_string(maria_)) << c.name << " changed the identity";
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ACTIVE='0' AND USER_ID IN (:A, :B)",
                  {{"A", gone}, {"B", garbled}}),
            2);
  EXPECT_EQ(Login("vencido", "x", "OTHER"), "inactive");  // the state row is per application

  EXPECT_EQ(Login("em_dia", "x"), "ok");
  EXPECT_EQ(SessionUser(), std::to_string(fresh));
  EXPECT_EQ(ClientScalar("SELECT CASE WHEN QV_SESSION_IS_ADMIN() THEN 'y' ELSE 'n' END"), "n");
  EXPECT_EQ(Login("master", "master"), "ok");  // no state row: the built-in administrator skips the refusals
  EXPECT_EQ(ClientScalar("SELECT CASE WHEN QV_SESSION_IS_ADMIN() THEN 'y' ELSE 'n' END"), "y");

  TQuery login;
  login.SetDatabaseName(client_);
  login.SetSQL("SELECT * FROM QV_LOGIN('joao', 'outra', 'APP')");
  login.Open();
  EXPECT_EQ(login.FieldByName("REAL_NAME").AsString(), "");
  EXPECT_EQ(login.FieldByName("PROF_DESCRIPTION").AsString(), "Vendas");
  EXPECT_EQ(login.FieldByName("STATUS").AsString(), "ok");

  // A row of an older login on this pid (a backend that is gone) is nobody.
  Exec("UPDATE QV_SESSIONS SET SESSION_ID = SESSION_ID - 1");
  EXPECT_EQ(SessionUser(), "");
  EXPECT_EQ(ClientScalar("SELECT CASE WHEN QV_SESSION_IS_ADMIN() THEN 'y' ELSE 'n' END"), "n");
}

// The backend that gets the pid of a logged-in backend that is gone takes
// nothing of its identity, not even when it knows the login's number.
TEST_P(SecuredModeTest, ABackendOnAReusedPidIsNobodyWhateverItSets) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  ASSERT_EQ(Login("chefe", "manda"), "ok");
  const std::string number = ClientScalar("SELECT current_setting('qv.session_id')");
  AliasDefinition definition = Definition();
  definition.name = client_ + "_next";
  definition.location += " user=" + role_;
  Session::Default().AddAlias(definition);
  const std::string& next = definition.name;
  Exec("UPDATE QV_SESSIONS SET PID = " + ClientScalar("SELECT pg_backend_pid()", {}, next));  // chefe's backend is gone; this one has its pid
  EXPECT_EQ(SessionUser(), "");

  const std::string before = Snapshot();
  EXPECT_EQ(AsClient("SELECT set_config('qv.session_id', '" + number + "', false)", true, next), 1);
  EXPECT_LE(AsClient("SELECT * FROM HISTORY", true, next), 0);
  EXPECT_LE(AsClient("DELETE FROM AUDIT", false, next), 0);
  EXPECT_EQ(AsClient("SELECT setval('qv_session_ids', " + number + ")", true, next), -1);
  EXPECT_LE(AsClient("INSERT INTO AUDIT VALUES ('APP', " + std::to_string(chefe_) + ", 1, 'a', 'b', 'pc')", false,
                     next), 0);
  EXPECT_EQ(Snapshot(), before);
  Session::Default().RemoveAlias(next);
}

// The server scrambles exactly as the clients do, and reads and writes date
// texts under the recorded pattern the way they do.
TEST_P(SecuredModeTest, ServerHelpersMirrorTheClientsScramblingAndDates) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  for (const std::string& password : std::vector<std::string>{"a", "segredo", "Ünïcødé€ 𝄞", std::string(20, 'z'), std::string(255, 'k')}) {
    std::string hex;
    for (unsigned char c : EncodePassword(password)) {
      static const char* digits = "0123456789abcdef";
      hex += digits[c >> 4];
      hex += digits[c & 15];
    }
    EXPECT_EQ(Scalar("SELECT encode(QV_SCRAMBLE(:P), 'hex')", {{"P", password}}), hex) << password;
  }
  const struct {
    const char* text;
    const char* day;
  } dates[] = {{"15/03/2026", "2026-03-15"}, {" 1/2/26 ", "2026-02-01"}, {"29/02/2024", "2024-02-29"},
               {"", "1899-12-30"},           {"2026-03-15", "1899-12-30"}, {"31/02/2026", "1899-12-30"},
               {"15/13/2026", "1899-12-30"}, {"15/03/2026/1", "1899-12-30"}, {"1/2/99", "1999-02-01"}};
  for (const auto& d : dates)
    EXPECT_EQ(Scalar("SELECT to_char(QV_STORED_DATE(:T), 'YYYY-MM-DD')", {{"T", d.text}}), d.day) << d.text;
  EXPECT_EQ(Scalar("SELECT QV_DATE_TEXT(DATE '2026-01-05')"), "05/01/2026");
  RecordDatePattern(Alias(), "yyyy-mm-dd");
  EXPECT_EQ(Scalar("SELECT QV_DATE_TEXT(DATE '2026-01-05')"), "2026-01-05");
  EXPECT_EQ(Scalar("SELECT to_char(QV_STORED_DATE('2026-1-5'), 'YYYY-MM-DD')"), "2026-01-05");
}

// The change needs the current password, keeps the history rule, and writes
// the password, its date and the history row together or not at all.
TEST_P(SecuredModeTest, PasswordChangeIsAllOrNothingAndKeepsTheHistoryRule) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  const auto change = [&](const std::string& current, const std::string& next) {
    return ClientScalar("SELECT QV_CHANGE_PASSWORD('maria', :C, :N)", {{"C", current}, {"N", next}});
  };
  const std::string before = Snapshot();
  EXPECT_EQ(change("errada", "nova"), "wrong_password");
  EXPECT_EQ(change("segredo", ""), "invalid");
  EXPECT_EQ(change("segredo", std::string(21, 'a')), "invalid");
  EXPECT_EQ(change("segredo", "antiga"), "former_password");
  EXPECT_EQ(change("segredo", "segredo"), "former_password");
  EXPECT_EQ(ClientScalar("SELECT QV_CHANGE_PASSWORD('ninguem', 'a', 'b')"), "unknown_user");
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(ClientScalar("SELECT CASE WHEN QV_IS_FORMER_PASSWORD('maria', 'segredo', 'antiga') THEN 'y' END"), "y");
  EXPECT_EQ(ClientScalar("SELECT CASE WHEN QV_IS_FORMER_PASSWORD('maria', 'errada', 'antiga') THEN 'y' END"), "");

  EXPECT_EQ(change("segredo", "nova"), "ok");
  EXPECT_EQ(PasswordOf(maria_), "nova");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:ID", {{"ID", maria_}}), "15/03/2026");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM HISTORY WHERE USER_ID=:ID AND USER_PWD='segredo' AND "
                  "CHANGE_DATE='15/03/2026'",
                  {{"ID", maria_}}),
            1);
  EXPECT_EQ(ClientScalar("SELECT CASE WHEN QV_CHECK_PASSWORD('maria', 'nova') THEN 'y' END"), "y");

  // A current password longer than the history holds (stored by an older
  // program) makes the history row fail: the new password is not kept.
  const std::string longer(25, 'l');
  ExecWith("UPDATE QUARVEL SET USER_PWD=:P WHERE USER_ID=:ID", {{"P", Value::Bytes(EncodePassword(longer))},
                                                                 {"ID", maria_}});
  const std::string stored = Snapshot();
  EXPECT_THROW(change(longer, "outra"), EDatabaseError);
  EXPECT_EQ(Snapshot(), stored);
}

// Re-running brings the mode up to date without logging anybody out; --off
// leaves the tables as init made them and the owner and the role as before.
TEST_P(SecuredModeTest, ReinstallKeepsSessionsAndOffRestoresThePlainTables) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  ASSERT_EQ(Login("maria", "segredo"), "ok");
  const long long objects = ModeObjects();
  Secure();
  EXPECT_EQ(ModeObjects(), objects);
  EXPECT_EQ(SessionUser(), std::to_string(maria_));
  SecuredState state = ReadSecuredState(Alias());
  EXPECT_TRUE(state.Secured);
  EXPECT_EQ(state.ClientRole, role_);
  EXPECT_EQ(state.Admins, std::vector<std::string>{"chefe"});
  EXPECT_TRUE(ReadSecuredState(client_).Secured);

  // Taking a name off the administrator list holds at once.
  ASSERT_EQ(Login("chefe", "manda"), "ok");
  EXPECT_EQ(AsClient("SELECT * FROM HISTORY", true), 1);
  SecureDatabase(Alias(), role_, {});
  EXPECT_EQ(AsClient("SELECT * FROM HISTORY", true), 0);
  EXPECT_EQ(SessionUser(), std::to_string(chefe_));

  // An install whose sessions were bound to the backend's start time is
  // brought up to date; its sessions end.
  Exec("ALTER TABLE QV_SESSIONS ADD COLUMN BACKEND_START timestamptz");
  Secure();
  EXPECT_EQ(SessionUser(), "");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM pg_attribute WHERE attrelid = 'qv_sessions'::regclass AND "
                  "attname = 'backend_start'"),
            0);
  ASSERT_EQ(Login("maria", "segredo"), "ok");
  EXPECT_EQ(SessionUser(), std::to_string(maria_));

  UnsecureDatabase(Alias());
  EXPECT_EQ(ModeObjects(), 0);
  EXPECT_FALSE(ReadSecuredState(Alias()).Secured);
  EXPECT_EQ(AsClient("SELECT * FROM PROGS", true), -1);  // the role's grants are gone
  EXPECT_EQ(ExecWith("UPDATE UACCESS SET AUTHORIZED='1'"), 2);
  UnsecureDatabase(Alias());  // not secured: left alone
}

// Every refusal of the installer names its reason and changes nothing.
TEST_P(SecuredModeTest, InstallerRefusalsChangeNothing) {
  if (!IsPostgres()) {
    EXPECT_THROW(SecureDatabase(Alias(), "someone", {}), Exception);
    EXPECT_FALSE(ReadSecuredState(Alias()).Secured);
    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(setup::RunSetup({"secure", Alias(), "--client-role", "x"}, out, err, in), setup::kExitFailed);
    EXPECT_NE(err.str().find("file permissions"), std::string::npos) << err.str();
    return;
  }
  const std::string extra = role_ + "_extra";
  Exec("CREATE ROLE " + extra + " LOGIN");
  Exec("CREATE ROLE " + extra + "_group");
  Exec("GRANT TRUNCATE ON AUDIT TO " + extra + "_group");
  Exec("GRANT " + extra + "_group TO " + extra);
  Exec("CREATE ROLE " + extra + "_full");
  Exec("GRANT SELECT ON QUARVEL TO " + extra + "_full");
  // Each refusal leaves the installed mode exactly as it was.
  const auto refused = [&](const std::string& alias, const std::string& role,
                           const std::vector<std::string>& admins, const std::string& reason) {
    const long long objects = ModeObjects();
    const std::string rows = Snapshot();
    try {
      SecureDatabase(alias, role, admins);
      ADD_FAILURE() << "accepted: " << reason;
    } catch (const Exception& error) {
      EXPECT_NE(std::string(error.what()).find(reason), std::string::npos) << error.what();
    }
    EXPECT_EQ(ModeObjects(), objects) << reason;
    EXPECT_EQ(Snapshot(), rows) << reason;
    EXPECT_EQ(ReadSecuredState(Alias()).ClientRole, role_) << reason;
    EXPECT_EQ(ReadSecuredState(Alias()).Admins, std::vector<std::string>{"chefe"}) << reason;
  };
  refused(Alias(), "no_such_role_here", {}, "does not exist");
  refused(Alias(), Scalar("SELECT current_user"), {}, "superuser");
  refused(Alias(), role_, {"ninguem"}, "no user");
  refused(Alias(), extra, {}, "TRUNCATE");
  refused(client_, role_, {}, "does not own");
  Exec("REVOKE " + extra + "_group FROM " + extra + "; GRANT " + extra + "_full TO " + extra);
  refused(Alias(), extra, {}, "SET ROLE");
  Exec("REVOKE " + extra + "_full FROM " + extra + "; REVOKE ALL ON QUARVEL FROM " + extra + "_full; " +
       "GRANT UPDATE ON SEQUENCE qv_session_ids TO " + extra + "_full; GRANT " + extra + "_full TO " + extra);
  refused(Alias(), extra, {}, "sequence");
  Exec("DELETE FROM QVDATEPATTERN");
  refused(Alias(), role_, {}, "date pattern");
  Exec("DROP TABLE AUDIT");
  const long long objects = ModeObjects();
  try {
    SecureDatabase(Alias(), role_, {});
    ADD_FAILURE() << "accepted a database without AUDIT";
  } catch (const Exception& error) {
    EXPECT_NE(std::string(error.what()).find("missing: AUDIT"), std::string::npos) << error.what();
  }
  EXPECT_EQ(ModeObjects(), objects);
}

// The command line: secure, check, --off, and a role made with a password
// that never appears in the output or the server's record.
TEST_P(SecuredModeTest, QvsetupSecuresChecksAndTakesTheModeAway) {
  if (!IsPostgres()) GTEST_SKIP() << "the secured mode exists on PostgreSQL only";
  const auto run = [&](std::vector<std::string> args, const std::string& input = "") {
    std::ostringstream out, err;
    std::istringstream in(input);
    const int status = setup::RunSetup(args, out, err, in);
    return std::pair<int, std::string>(status, out.str() + err.str());
  };
  auto [status, text] = run({"check", Alias()});
  EXPECT_EQ(status, setup::kExitOk) << text;
  EXPECT_NE(text.find("secured for the client role " + role_ + " (administrators: master, chefe)"),
            std::string::npos) << text;

  const std::string extra = role_ + "_extra";
  // A refusal after the role was created takes the role away again.
  std::tie(status, text) = run({"secure", Alias(), "--client-role", extra, "--create-role-without-password",
                                "--admin", "ninguem"});
  EXPECT_EQ(status, setup::kExitFailed) << text;
  EXPECT_EQ(Count("SELECT COUNT(*) FROM pg_roles WHERE rolname = :R", {{"R", extra}}), 0);

  std::tie(status, text) = run({"secure", Alias(), "--client-role", extra, "--create-role", "--role-password-file",
                                "-", "--admin", "maria"}, "Pa55-palavra\n");
  EXPECT_EQ(status, setup::kExitOk) << text;
  EXPECT_EQ(text.find("Pa55-palavra"), std::string::npos);
  EXPECT_EQ(Scalar("SELECT CASE WHEN rolpassword LIKE 'SCRAM-SHA-256$%' OR rolpassword LIKE 'md5%' THEN 'y' END "
                   "FROM pg_authid WHERE rolname = :R", {{"R", extra}}), "y");
  EXPECT_EQ(ReadSecuredState(Alias()).ClientRole, extra);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM information_schema.role_table_grants WHERE grantee = :R", {{"R", role_}}), 0);

  std::tie(status, text) = run({"secure", Alias(), "--client-role", extra, "--create-role-without-password"});
  EXPECT_EQ(status, setup::kExitFailed) << text;  // the role exists now
  std::tie(status, text) = run({"secure", Alias(), "--off", "--admin", "x"});
  EXPECT_EQ(status, setup::kExitUsage);
  std::tie(status, text) = run({"secure", Alias(), "--off"});
  EXPECT_EQ(status, setup::kExitOk) << text;
  EXPECT_EQ(ModeObjects(), 0);
  std::tie(status, text) = run({"check", Alias()});
  EXPECT_EQ(status, setup::kExitOk) << text;
  EXPECT_NE(text.find("not secured"), std::string::npos) << text;
}

QV_INSTANTIATE_ENGINES(SecuredModeTest);

}  // namespace qv::test

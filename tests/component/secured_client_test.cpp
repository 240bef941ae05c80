// The component on a secured PostgreSQL database, connected as the client
// role: it finds out the mode by itself, takes its identity only through the
// server's password check, and treats a connection that lost its identity
// as nobody logged in. The suites of login, rights, audit, password change
// and the administration window also run on this database; these are the
// cases only the secured mode has.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvd3/component/quarvel.h"
#include "qvd3/component/user.h"
#include "qvd3/data/secured_client.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

constexpr const char* kApp = "STOCK";
const std::string kIdentityLost = "perdeu a identificação do usuário";

class SecuredClientTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    host_.reset();
    SecurityDbTest::TearDown();
  }

  TTestHostForm& Host(const std::string& alias = "") {
    if (!host_) host_ = ReadTestHost({.DatabaseName = alias.empty() ? Alias() : alias, .AppKey = kApp});
    return *host_;
  }
  TQuarvel& Security() { return *Host().Quarvel1; }

  // An active, audited user with every walked item catalogued and granted.
  int AddWorkingUser(const std::string& name, const std::string& password) {
    const int id = AddUser(name, password, 0, "1");
    AddUserInfo(kApp, id);
    for (const char* item : kWalkedItems) {
      const Value menuId = ScalarValue("SELECT MENU_ID FROM PROGS WHERE APP_KEY=:K AND MENU_NAME=:N",
                                       {{"K", kApp}, {"N", item}});
      SetUAccess(kApp, id, menuId.IsNull() ? AddProg(kApp, item, item) : static_cast<int>(menuId.AsInteger()), "1");
    }
    return id;
  }
  bool LogIn(const std::string& name, const std::string& password) {
    ui_.WhenShown("Login").Type(name).Enter().Type(password).Enter();
    return Security().Login();
  }

  // A statement as the client role, outside the component.
  std::string AsClient(const std::string& sql, const SqlParams& params = {}) {
    TQuery query;
    query.SetDatabaseName(Alias());
    query.SetSQL(sql);
    for (const auto& [name, value] : params) query.ParamByName(name).SetValue(value);
    query.Open();
    return query.IsEmpty() ? "<none>" : query.Fields()[0]->AsString();
  }

  void ExecAsClient(const std::string& sql) {
    TQuery query;
    query.SetDatabaseName(Alias());
    query.SetSQL(sql);
    query.ExecSQL();
  }

  // Ends the client's server process, as a server restart does; the engine
  // opens a new connection at the next statement.
  void DropClientConnection() {
    const std::string pid = AsClient("SELECT pg_backend_pid()");
    ExecWith("SELECT pg_terminate_backend(" + pid + ")");
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const TMessageRecord& m : ui_.Messages()) texts.push_back(m.Text);
    return texts;
  }

  THeadlessBackend ui_;
  std::unique_ptr<TTestHostForm> host_;
};

// ---- Detection --------------------------------------------------------------

TEST_P(SecuredClientTest, TheClientRoleIsASecuredClientAndTheOwnerIsNot) {
  EXPECT_TRUE(IsSecuredClient(Alias()));
  EXPECT_FALSE(IsSecuredClient(OwnerAlias()));
}

TEST_P(SecuredClientTest, TheComponentLogsInThroughTheServerWithoutReadingTheUsersTable) {
  const int maria = AddWorkingUser("maria", "segredo");
  Host();
  std::vector<std::string> statements;
  Db().SetStatementHook([&](std::string_view sql) { statements.emplace_back(sql); });
  const bool loggedIn = LogIn("maria", "segredo");
  Db().SetStatementHook({});

  ASSERT_TRUE(loggedIn);
  EXPECT_EQ(ServerSessionUserId(Alias()), maria);
  ASSERT_EQ(statements.size(), 2u) << "the login, then the user's rights";
  EXPECT_NE(statements[0].find("QV_LOGIN"), std::string::npos);
  EXPECT_EQ(statements[1].find("QUARVEL"), std::string::npos) << statements[1];
  EXPECT_TRUE(Host().mnuFileOpen->Enabled());
}

TEST_P(SecuredClientTest, TheOwnersConnectionKeepsWorkingOnTheTablesAsBefore) {
  const int maria = AddWorkingUser("maria", "segredo");
  Host(OwnerAlias());
  ASSERT_TRUE(LogIn("maria", "segredo"));
  Host().mnuFileOpen->Click();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE USER_ID=:ID", {{"ID", maria}}), 1);
}

// ---- Identity only with the password ----------------------------------------

TEST_P(SecuredClientTest, AClientSkippingTheComponentCannotTakeAnIdentityWithoutThePassword) {
  const int maria = AddWorkingUser("maria", "segredo");
  const SqlParams wrong{{"N", "maria"}, {"P", "errada"}, {"A", kApp}};
  EXPECT_EQ(AsClient("SELECT STATUS FROM QV_LOGIN(:N, :P, :A)", wrong), "wrong_password");
  EXPECT_EQ(AsClient("SELECT STATUS FROM QV_LOGIN(:N, :P, :A)", {{"N", "master"}, {"P", ""}, {"A", kApp}}),
            "wrong_password");
  EXPECT_EQ(ServerSessionUserId(Alias()), std::nullopt);
  // Nobody logged in sees no user, no right and no state row.
  EXPECT_EQ(AsClient("SELECT COUNT(*) FROM QUARVEL"), "0");
  EXPECT_EQ(AsClient("SELECT COUNT(*) FROM UACCESS"), "0");
  EXPECT_EQ(AsClient("SELECT COUNT(*) FROM USERINFO"), "0");
  // The right password binds the connection, and only then.
  EXPECT_EQ(AsClient("SELECT STATUS FROM QV_LOGIN(:N, :P, :A)", {{"N", "maria"}, {"P", "segredo"}, {"A", kApp}}),
            "ok");
  EXPECT_EQ(ServerSessionUserId(Alias()), maria);
}

// The login right after a forced change takes the identity even when the
// profile demands a change at every login; nothing else lets a client skip
// the forced change.
TEST_P(SecuredClientTest, TheForcedChangeCanOnlyBeSkippedByChangingThePassword) {
  const int prof = AddProfile("Rigido", "1", 0);
  const int maria = AddUser("maria", "segredo", prof);
  AddUserInfo(kApp, maria);
  AddWorkingUser("joao", "outra");
  const std::string login = "SELECT STATUS FROM QV_LOGIN(:N, :P, :A)";
  EXPECT_EQ(AsClient(login, {{"N", "maria"}, {"P", "segredo"}, {"A", kApp}}), "must_change");
  EXPECT_THROW(ExecAsClient("INSERT INTO QV_PASSWORD_CHANGES VALUES (pg_backend_pid(), 1, " + std::to_string(maria) +
                            ")"),
               EDatabaseError);
  // Another user's change admits nobody else.
  EXPECT_EQ(AsClient("SELECT QV_CHANGE_PASSWORD('joao', 'outra', 'nova')"), "ok");
  EXPECT_EQ(AsClient(login, {{"N", "maria"}, {"P", "segredo"}, {"A", kApp}}), "must_change");
  EXPECT_EQ(ServerSessionUserId(Alias()), std::nullopt);

  EXPECT_EQ(AsClient("SELECT QV_CHANGE_PASSWORD('maria', 'segredo', 'trocada')"), "ok");
  EXPECT_EQ(AsClient(login, {{"N", "maria"}, {"P", "trocada"}, {"A", kApp}}), "ok");
  EXPECT_EQ(ServerSessionUserId(Alias()), maria);
  // Once: the next login must change again.
  EXPECT_EQ(AsClient(login, {{"N", "maria"}, {"P", "trocada"}, {"A", kApp}}), "must_change");
  EXPECT_EQ(ServerSessionUserId(Alias()), maria);
}

TEST_P(SecuredClientTest, AFailedLoginLeavesTheServerIdentityOfThePersonStillWorking) {
  const int maria = AddWorkingUser("maria", "segredo");
  AddWorkingUser("joao", "outra");
  ASSERT_TRUE(LogIn("maria", "segredo"));
  for (int i = 0; i < 3; ++i) ui_.WhenShown("Login").Type("joao").Enter().Type("errada").Enter();
  EXPECT_FALSE(Security().Login());

  EXPECT_EQ(ServerSessionUserId(Alias()), maria);
  Host().mnuFileOpen->Click();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE USER_ID=:ID", {{"ID", maria}}), 1);
}

// ---- Lost identity ------------------------------------------------------------

TEST_P(SecuredClientTest, ALostIdentityIsNobodyLoggedInOnTheNextAuditedCommand) {
  AddWorkingUser("maria", "segredo");
  ASSERT_TRUE(LogIn("maria", "segredo"));
  DropClientConnection();

  // The first statement meets the dropped connection, the check after it
  // the new one, which has no identity.
  EXPECT_NO_THROW(Host().mnuFileOpen->Click());

  EXPECT_EQ(Host().Calls, (std::vector<std::string>{"mnuFileOpen"}));
  EXPECT_FALSE(Security().User()->LoggedIn());
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT"), 0);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_NE(ui_.Messages()[0].Text.find(kIdentityLost), std::string::npos) << ui_.Messages()[0].Text;
  // Nobody has rights: no command can run unaudited under the lost name.
  for (const char* item : kWalkedItems) EXPECT_FALSE(Host().Item(item)->Enabled()) << item;

  // The password change and the window are for somebody logged in.
  Security().ChangeUserPassword();
  Security().UsersAdm();
  EXPECT_TRUE(ui_.Forms().size() == 1u);  // the login dialog only
  ASSERT_EQ(ui_.Messages().size(), 3u);

  // Logging in again brings the identity and the rights back.
  ASSERT_TRUE(LogIn("maria", "segredo"));
  EXPECT_TRUE(Host().mnuFileOpen->Enabled());
  Host().mnuFileOpen->Click();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT"), 1);
}

TEST_P(SecuredClientTest, ALostIdentityIsFoundBeforeTheWindowOrThePasswordChangeOpens) {
  ASSERT_TRUE(LogIn("master", kMasterPassword));
  DropClientConnection();
  // The engine reports the dropped connection once; the next statement
  // opens a new one.
  EXPECT_THROW(AsClient("SELECT 1"), EDatabaseError);

  Security().UsersAdm();
  EXPECT_EQ(MessageTexts().size(), 1u);
  EXPECT_NE(MessageTexts().at(0).find(kIdentityLost), std::string::npos);
  EXPECT_FALSE(Security().User()->LoggedIn());
  EXPECT_EQ(ui_.Forms().size(), 1u);  // the login dialog, no window

  // With the identity in place the password change goes through the server.
  ASSERT_TRUE(LogIn("master", kMasterPassword));
  ui_.WhenShown("MudaPwd").Type(kMasterPassword).Enter().Type("nova").Enter().Type("nova").Enter().Enter();
  Security().ChangeUserPassword();
  EXPECT_EQ(PasswordOf(kMasterId), "nova");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM HISTORY WHERE USER_ID=:ID AND USER_PWD=:P",
                  {{"ID", kMasterId}, {"P", kMasterPassword}}),
            1);
}

INSTANTIATE_TEST_SUITE_P(Secured, SecuredClientTest, ::testing::Values("postgresql_secured"),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
}  // namespace qv::test

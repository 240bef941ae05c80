// What the component stores as text and bytes, through the component on both
// engines: passwords of any characters within the dialogs' limits are stored
// whole and log in, and date texts under machine patterns with long
// separators or trailing literals keep 10 characters and read back.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvd3/component/password.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/data/schema.h"
#include "qvd3/dialogs/chng_pwd_qv.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/utf8.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

const std::string kChanged = "Mudança de senha efetuada";
const std::string kFailed = "Não foi possível alterar senha";

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

class StoredTextTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    host_.reset();
    SecurityDbTest::TearDown();
  }

  void StartHost() {
    TestHostSettings settings;
    settings.DatabaseName = Alias();
    host_ = ReadTestHost(settings);
  }
  TQuarvel& Security() { return *host_->Quarvel1; }

  // Logs `name` in with `password`; returns the login's result and adds the
  // messages shown to `messages`. With `refused` the person cancels the
  // dialog shown again after the refusal.
  bool LogIn(const std::string& name, const std::string& password,
             std::vector<std::string>* messages = nullptr, bool refused = false) {
    THeadlessBackend ui;
    ui.WhenShown("Login").Type(name).Enter().Type(password).Enter();
    if (refused) ui.WhenShown("Login").Escape();
    const bool admitted = Security().Login();
    if (messages != nullptr)
      for (const TMessageRecord& m : ui.Messages()) messages->push_back(m.Text);
    return admitted;
  }

  // Runs ChangeUserPassword with one showing of the dialog in which the
  // person types `typed` into both new-password boxes; returns the messages.
  std::vector<std::string> ChangeBy(const std::string& current, const std::string& typed) {
    THeadlessBackend ui;
    ui.WhenShown("MudaPwd").Type(current).Enter().Type(typed).Enter().Type(typed).Enter().Enter();
    Security().ChangeUserPassword();
    std::vector<std::string> texts;
    for (const TMessageRecord& m : ui.Messages()) texts.push_back(m.Text);
    return texts;
  }

  std::string StoredPassword(int userId) {
    return ScalarValue("SELECT USER_PWD FROM QUARVEL WHERE USER_ID=:ID", {{"ID", userId}}).AsString();
  }

  std::unique_ptr<TTestHostForm> host_;
};

// ---- Passwords ----------------------------------------------------------------

// Seven "€" are 21 bytes, ten four-byte characters 40: each is stored as its
// scrambled bytes, uncut, and logs in; the one before stops logging in.
TEST_P(StoredTextTest, MultiBytePasswordsWithinTheDialogsLimitAreStoredWholeAndLogIn) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo("STOCK", maria);
  StartHost();
  ASSERT_TRUE(LogIn("maria", "segredo"));
  EXPECT_EQ(Users->qryUsers.FieldByName("USER_PWD").Size(), 4 * kPasswordMaxChars);

  std::string current = "segredo";
  for (const std::string& next : {Repeat("€", 7), std::string("Ação-ç€𝄞"), Repeat("😀", 10)}) {
    SCOPED_TRACE(next);
    EXPECT_EQ(ChangeBy(current, next), std::vector<std::string>{kChanged});
    EXPECT_EQ(StoredPassword(maria), EncodePassword(next));
    EXPECT_EQ(StoredPassword(maria).size(), next.size());

    std::vector<std::string> refused;
    EXPECT_FALSE(LogIn("maria", current, &refused, true));
    EXPECT_EQ(refused, std::vector<std::string>{"Senha inválida"});
    std::vector<std::string> messages;
    EXPECT_TRUE(LogIn("maria", next, &messages));
    EXPECT_TRUE(messages.empty());
    current = next;
  }

  // The change dialog counts characters: a twenty-first one is not taken,
  // and the twenty typed (80 bytes) are stored whole and log in.
  EXPECT_EQ(ChangeBy(current, Repeat("😀", 21)), std::vector<std::string>{kChanged});
  EXPECT_EQ(DecodePassword(StoredPassword(maria)), Repeat("😀", 20));
  EXPECT_TRUE(LogIn("maria", Repeat("😀", 20)));
}

// A password the column cannot hold whole (21 four-byte characters, set by
// code past the dialog's limit) is refused with the failure message; the
// stored password stays and still logs in.
TEST_P(StoredTextTest, APasswordThatCannotBeStoredWholeIsNeverReportedAsChanged) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo("STOCK", maria);
  StartHost();
  ASSERT_TRUE(LogIn("maria", "segredo"));

  const std::string tooLong = Repeat("😀", kPasswordMaxChars + 1);
  THeadlessBackend ui;
  ui.WhenShown("MudaPwd")
      .Type("segredo")
      .Enter()
      .Run([&](TForm& form) {
        auto& dialog = static_cast<TMudaPwd&>(form);
        dialog.Password1->SetText(tooLong);
        dialog.Password2->SetText(tooLong);
      })
      .Enter()
      .Enter()
      .Enter();
  Security().ChangeUserPassword();

  ASSERT_EQ(ui.Messages().size(), 1u);
  EXPECT_EQ(ui.Messages()[0].Text, kFailed);
  EXPECT_EQ(PasswordOf(maria), "segredo");
  EXPECT_TRUE(LogIn("maria", "segredo"));
}

// Security databases made when USER_PWD was declared 20 bytes wide: the
// width comes from the table layout, so the same passwords are stored whole.
TEST_P(StoredTextTest, AnOlderNarrowerPasswordColumnStoresTheSamePasswordsWhole) {
  Exec("DROP TABLE QUARVEL");
  for (std::string statement : CreateSchemaStatements(EngineName())) {
    if (statement.rfind("CREATE TABLE QUARVEL", 0) != 0) continue;
    const std::size_t wide = statement.find("BLOB(80)");
    if (wide != std::string::npos) statement.replace(wide, 8, "BLOB(20)");
    Exec(statement);
  }
  ExecWith("INSERT INTO QUARVEL (USERQV_NAME, USER_PWD, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, AUDIT_MODE) "
           "VALUES ('master', :PWD, 1, :LAST, 0, '0')",
           {{"PWD", Value::Bytes(EncodePassword(kMasterPassword))}, {"LAST", TodayText()}});
  const int maria = AddUser("maria", "segredo");
  AddUserInfo("STOCK", maria);
  StartHost();
  ASSERT_TRUE(LogIn("maria", "segredo"));

  const std::string euros = Repeat("€", 7);
  EXPECT_EQ(ChangeBy("segredo", euros), std::vector<std::string>{kChanged});
  EXPECT_EQ(StoredPassword(maria), EncodePassword(euros));
  EXPECT_TRUE(LogIn("maria", euros));
}

// ---- Date texts ---------------------------------------------------------------

// Machine patterns with a separator of more than one character and literal
// text after the last element (hu_HU of older C libraries, ja_JP). A user
// whose profile forces a change every 30 days changes the password at the
// first login; the date stored has 10 characters, and the next login reads
// it and lets the user in without asking again. A user posted through the
// data module gets a state row whose 10-character date the engine takes.
TEST_P(StoredTextTest, DatesUnderLongSeparatorsAndTrailingLiteralsKeepTenCharactersAndReadBack) {
  const int profile = AddProfile("Caixa", "1", 30);
  struct Machine {
    const char* pattern;
    const char* user;
    const char* today;  // 15 March 2026 as stored
  };
  const Machine machines[] = {{"yyyy. mm. dd.", "hu", "2026.03.15"},
                              {"yyyy年mm月dd日", "ja", "2026年03年15"}};
  for (const Machine& machine : machines) {
    SetShortDateFormat(machine.pattern);
    const int id = AddUser(machine.user, "segredo", profile, "0", DaysFromToday(-40));
    AddUserInfo("STOCK", id);
  }
  StartHost();

  for (const Machine& machine : machines) {
    SCOPED_TRACE(machine.pattern);
    SetShortDateFormat(machine.pattern);
    THeadlessBackend ui;
    ui.WhenShown("Login").Type(machine.user).Enter().Type("segredo").Enter();
    ui.WhenShown("MudaPwd").Type("segredo").Enter().Type("nova").Enter().Type("nova").Enter().Enter();
    ASSERT_TRUE(Security().Login());
    ASSERT_EQ(ui.Messages().size(), 2u);  // the expiry warning, then the change
    EXPECT_EQ(ui.Messages()[1].Text, kChanged);

    const std::string stored = Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USERQV_NAME=:N",
                                      {{"N", machine.user}});
    EXPECT_EQ(stored, machine.today);
    EXPECT_EQ(Utf8Length(stored), 10u);
    std::vector<std::string> messages;
    EXPECT_TRUE(LogIn(machine.user, "nova", &messages));
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(ShortDateFormat(), machine.pattern);

    Users->qryUsers.Insert();
    Users->qryUsers.FieldByName("USERQV_NAME").SetAsString(std::string(machine.user) + "2");
    Users->qryUsers.Post();
    EXPECT_EQ(Scalar("SELECT EXPIRATION_DATE FROM USERINFO WHERE USER_ID=:ID",
                     {{"ID", Users->qryUsers.FieldByName("USER_ID").AsInteger()}}),
              machine.today);
  }
}

QV_INSTANTIATE_ENGINES(StoredTextTest);

}  // namespace
}  // namespace qv::test

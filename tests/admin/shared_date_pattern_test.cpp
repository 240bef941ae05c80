// Two clients on one database whose machines order dates differently (day
// first on a Brazilian Portuguese machine, month first on a US English one):
// with a recorded date pattern both store and read every date alike, on
// both engines; without one each keeps its machine's order, as before.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/admin/users_adm_qv.h"
#include "qvd3/component/date_format.h"
#include "qvd3/component/user.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/dialogs/login_qv.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

// The machines' date formats as the C library gives them for LC_TIME.
constexpr const char* kBrazil = "%d/%m/%Y";
constexpr const char* kUnitedStates = "%m/%d/%Y";
constexpr const char* kApp = "STOCK";

class SharedDatePatternTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    client_.reset();
    SecurityDbTest::TearDown();
  }

  // Ends the client running, then starts one on a machine with this date
  // format (the component opens the tables as it starts).
  TTestHostForm& StartClient(const char* machineDateFormat) {
    client_.reset();
    SetShortDateFormat(DatePatternFromStrftime(machineDateFormat));
    TestHostSettings settings;
    settings.DatabaseName = Alias();
    settings.AppKey = kApp;
    client_ = ReadTestHost(settings);
    return *client_;
  }
  TQuarvel& Security() { return *client_->Quarvel1; }

  bool LoginAs(const std::string& name, const std::string& password) {
    ui_.WhenShown("Login")
        .Type(name)
        .Enter()
        .Run([](TForm& form) { static_cast<TLogin&>(form).Senha->SetText(""); })
        .Type(password)
        .Enter();
    return Security().Login();
  }
  void ChangePassword(const std::string& current, const std::string& next) {
    ui_.WhenShown("MudaPwd").Type(current).Enter().Type(next).Enter().Type(next).Enter().Enter();
    Security().ChangeUserPassword();
  }
  // The rows the audit page shows for `userId` in the current month,
  // "START_SESSION" each, as the running client's window reads them.
  std::vector<std::string> AuditPageRows(int userId) {
    std::vector<std::string> rows;
    ui_.WhenShown("UsersAdministration")
        .Run([&](TForm& form) {
          auto& w = static_cast<TUsersAdministration&>(form);
          w.PageControl->SelectPageByPerson(w.tsAudit);
          w.dblkUserName->ChooseByPerson(userId);
          for (int row = 1; row <= w.DBGridAudUsers->RowCount(); ++row)
            rows.push_back(w.DBGridAudUsers->CellText(row, 2));
        })
        .CloseBox();
    Security().UsersAdm();
    return rows;
  }
  std::string Stored(const std::string& sql, int userId) { return Scalar(sql, {{"U", userId}}); }

  THeadlessBackend ui_;
  std::unique_ptr<TTestHostForm> client_;
};

// The Brazilian client's administrator sets the account to expire on
// 12 January 2027; the US client refuses the user on that day, not on
// 1 December as it would read "12/01/2027" in its own order.
TEST_P(SharedDatePatternTest, AnExpiryDateSetByOneClientIsMetByTheOther) {
  RecordDatePattern(Alias(), "dd/mm/yyyy");
  const int maria = AddUser("maria", "segredo");
  AddUser("zeca", "x");  // after maria in the list, for the move that posts her date
  AddUserInfo(kApp, maria, "1", "31/12/2030");

  StartClient(kBrazil);
  ASSERT_TRUE(LoginAs("master", kMasterPassword));
  ui_.WhenShown("UsersAdministration")
      .Run([](TForm& form) { static_cast<TUsersAdministration&>(form).DBGridUsers->SelectRowByPerson(1); })
      .Click("sbChangeUserData")
      .PickDate("DBDateTimePicker1", EncodeDate(2027, 1, 12))
      .Run([](TForm&) { Users->qryUsers.Next(); })  // a move posts the edit
      .CloseBox();
  Security().UsersAdm();
  EXPECT_EQ(Stored("SELECT EXPIRATION_DATE FROM USERINFO WHERE USER_ID=:U", maria), "12/01/2027");

  StartClient(kUnitedStates);
  Clock().Set(EncodeDateTime(2027, 1, 11, 9, 0, 0));
  EXPECT_TRUE(LoginAs("maria", "segredo"));
  Clock().Set(EncodeDateTime(2027, 1, 12, 9, 0, 0));
  EXPECT_FALSE(LoginAs("maria", "segredo"));
  EXPECT_EQ(Stored("SELECT USER_ACTIVE FROM USERINFO WHERE USER_ID=:U", maria), "0");
}

// The US client changes the password on 2 March; the Brazilian client counts
// the 30 days of the profile from that day, and refuses the password the US
// client put into the history.
TEST_P(SharedDatePatternTest, AForcedChangeCountsFromTheOtherClientsChangeAndItsHistoryHolds) {
  RecordDatePattern(Alias(), "dd/mm/yyyy");
  const int prof = AddProfile("Mensal", "1", 30);
  const int maria = AddUser("maria", "antiga", prof, "0", "01/03/2026");
  AddUserInfo(kApp, maria);

  StartClient(kUnitedStates);
  Clock().Set(EncodeDateTime(2026, 3, 2, 9, 0, 0));
  ASSERT_TRUE(LoginAs("maria", "antiga"));
  ChangePassword("antiga", "nova");
  EXPECT_EQ(Stored("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", maria), "02/03/2026");
  EXPECT_EQ(Stored("SELECT CHANGE_DATE FROM HISTORY WHERE USER_ID=:U", maria), "02/03/2026");

  StartClient(kBrazil);
  Clock().Set(EncodeDateTime(2026, 3, 31, 9, 0, 0));  // 29 days on
  EXPECT_TRUE(LoginAs("maria", "nova"));
  EXPECT_EQ(Security().User()->GetLastPwdChange(), EncodeDate(2026, 3, 2));
  std::size_t shown = ui_.Messages().size();
  ui_.WhenShown("MudaPwd").Type("nova").Enter().Type("antiga").Enter().Type("antiga").Enter().Enter();
  ui_.WhenShown("MudaPwd").Escape();  // shown again after the refusal
  Security().ChangeUserPassword();  // "antiga" is in the history the other client wrote
  EXPECT_EQ(ui_.Messages().at(shown).Text, "Senha já usada anteriormente. Escolha outra senha.");
  EXPECT_EQ(PasswordOf(maria), "nova");

  Clock().Set(EncodeDateTime(2026, 4, 1, 9, 0, 0));  // 30 days on: the change is due
  shown = ui_.Messages().size();
  ui_.WhenShown("MudaPwd").Escape();
  ui_.AnswerMessages(mrNo);
  EXPECT_FALSE(LoginAs("maria", "nova"));
  EXPECT_EQ(ui_.Messages().at(shown).Text, "Sua senha expirou. Por favor, efetue a troca de senha agora.");
}

// Each client audits a command; the audit page of either client shows both
// rows in March, and the stamps read back to the moments they record.
TEST_P(SharedDatePatternTest, AuditRowsOfBothClientsShowInOnePeriodOnEither) {
  RecordDatePattern(Alias(), "dd/mm/yyyy");
  const int maria = AddUser("maria", "segredo", 0, "1");
  AddUserInfo(kApp, maria);
  SetUAccess(kApp, maria, AddProg(kApp, "mnuReports", "Relatórios"), "1");

  StartClient(kUnitedStates);
  Clock().Set(EncodeDateTime(2026, 3, 20, 10, 0, 0));
  ASSERT_TRUE(LoginAs("maria", "segredo"));
  client_->Item("mnuReports")->ChooseByPerson();
  StartClient(kBrazil);
  Clock().Set(EncodeDateTime(2026, 3, 5, 11, 0, 0));
  ASSERT_TRUE(LoginAs("maria", "segredo"));
  client_->Item("mnuReports")->ChooseByPerson();

  const std::vector<std::string> expected = {"20/03/2026 10:00:00", "05/03/2026 11:00:00"};
  EXPECT_EQ(AuditPageRows(maria), expected);
  EXPECT_EQ(ShortDateFormat(), "dd/mm/yyyy");  // the machine's, back after the window
  StartClient(kUnitedStates);
  ASSERT_TRUE(LoginAs("maria", "segredo"));
  std::string patternWhileOpen;
  ui_.WhenShown("UsersAdministration").Run([&](TForm&) { patternWhileOpen = ShortDateFormat(); }).CloseBox();
  Security().UsersAdm();
  EXPECT_EQ(patternWhileOpen, "dd/mm/yyyy");  // the host sees the recorded one
  EXPECT_EQ(ShortDateFormat(), "mm/dd/yyyy");
  EXPECT_EQ(AuditPageRows(maria), expected);
}

// Without a record each machine stores in its own order, as it always did.
TEST_P(SharedDatePatternTest, WithoutARecordedPatternEachClientKeepsItsMachinesOrder) {
  const int maria = AddUser("maria", "antiga", 0, "0", "01/03/2026");
  AddUserInfo(kApp, maria);
  StartClient(kUnitedStates);
  Clock().Set(EncodeDateTime(2026, 3, 2, 9, 0, 0));
  ASSERT_TRUE(LoginAs("maria", "antiga"));
  ChangePassword("antiga", "nova");
  EXPECT_EQ(Stored("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", maria), "03/02/2026");
  EXPECT_EQ(DatabaseDateFormat(), "");
}

// A record another program damaged is refused when the tables open, rather
// than read in a guessed order.
TEST_P(SharedDatePatternTest, AnUnusableRecordIsAnErrorWhenTheTablesOpen) {
  RecordDatePattern(Alias(), "dd/mm/yyyy");
  Exec("UPDATE QVDATEPATTERN SET DATE_PATTERN = 'd/m/yy'");
  try {
    StartClient(kBrazil);
    FAIL() << "the client started";
  } catch (const EQuarvelError& error) {
    EXPECT_NE(std::string(error.what()).find("unusable date pattern"), std::string::npos) << error.what();
  }
}

QV_INSTANTIATE_ENGINES(SharedDatePatternTest);

}  // namespace
}  // namespace qv::test

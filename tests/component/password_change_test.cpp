// The password change of the logged-in user through the component on the
// headless test host: refusals of reused passwords, what a change stores,
// and what a failed change leaves behind.
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/component/password.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/component/user.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/dialogs/chng_pwd_qv.h"
#include "qvd3/dialogs/login_qv.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

constexpr const char* kApp = "STOCK";
const std::string kUsedBefore = "Senha já usada anteriormente. Escolha outra senha.";
const std::string kChanged = "Mudança de senha efetuada";
const std::string kFailed = "Não foi possível alterar senha";

bool ContainsNoCase(std::string_view text, std::string_view part) {
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  return lower(text).find(lower(part)) != std::string::npos;
}

// Users maria (password "segredo", changed 20 days ago) and joao ("outra"),
// both active in the application. A test seeds what else it needs, then
// calls LogInMaria(), which starts the host (so its datasets see the seeded
// rows), logs maria in and installs the backend that records the change.
class PasswordChangeTest : public SecurityDbTest {
 protected:
  void SetUp() override {
    SecurityDbTest::SetUp();
    if (HasFatalFailure()) return;
    maria_ = AddUser("maria", "segredo", 0, "0", DaysFromToday(-20));
    AddUserInfo(kApp, maria_);
    joao_ = AddUser("joao", "outra");
    AddUserInfo(kApp, joao_);
  }
  void TearDown() override {
    ui_.reset();
    host_.reset();
    SecurityDbTest::TearDown();
  }

  void LogInMaria() {
    host_ = ReadTestHost(HostSettings());
    {
      THeadlessBackend login;
      login.WhenShown("Login").Type("maria").Enter().Type("segredo").Enter();
      ASSERT_TRUE(Security().Login());
      ASSERT_TRUE(login.Messages().empty());
    }
    ui_ = std::make_unique<THeadlessBackend>();
  }

  TestHostSettings HostSettings() const {
    TestHostSettings settings;
    settings.DatabaseName = Alias();
    settings.AppKey = kApp;
    settings.AutoLogin = false;
    return settings;
  }
  TQuarvel& Security() { return *host_->Quarvel1; }
  const TUser& User() { return *Security().User(); }

  // One showing of the dialog that confirms `next` as the new password.
  TFormScript& ConfirmChange(const std::string& current, const std::string& next) {
    return ui_->WhenShown("MudaPwd").Type(current).Enter().Type(next).Enter().Type(next).Enter().Enter();
  }
  // One showing of the login dialog, the password box emptied first.
  void ConfirmLogin(const std::string& name, const std::string& password) {
    ui_->WhenShown("Login")
        .Type(name)
        .Enter()
        .Run([](TForm& form) { static_cast<TLogin&>(form).Senha->SetText(""); })
        .Type(password)
        .Enter();
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const TMessageRecord& m : ui_->Messages()) texts.push_back(m.Text);
    return texts;
  }
  int ShowingsOfDialog() const {
    int count = 0;
    for (const TFormRecord& f : ui_->Forms()) count += f.Name == "MudaPwd" ? 1 : 0;
    return count;
  }
  long long HistoryRows(int userId) {
    return Count("SELECT COUNT(*) FROM HISTORY WHERE USER_ID=:ID", {{"ID", userId}});
  }
  // Every statement on the test alias whose text holds both words (any
  // letter case) fails with `message` until the hook is removed.
  void FailStatementsOn(std::string verb, std::string table, std::string message) {
    Db().SetStatementHook([=](std::string_view sql) {
      if (ContainsNoCase(sql, verb) && ContainsNoCase(sql, table)) throw EDatabaseError(message);
    });
  }
  // The store of the new password fails: the client's update of the users
  // row, or on a secured database the server's call that stores it.
  void FailTheStore(const std::string& message) {
    if (IsSecured())
      FailStatementsOn("select", "QV_CHANGE_PASSWORD", message);
    else
      FailStatementsOn("update", "quarvel", message);
  }
  // The history row cannot be written, after the users row was: on a
  // secured database the server writes it, so the table itself refuses.
  void FailHistoryRows(const std::string& message) {
    if (!IsSecured()) {
      FailStatementsOn("insert", "history", message);
      return;
    }
    Exec("CREATE FUNCTION refuse_history_rows() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION '" +
         message + "'; END $$");
    Exec("CREATE TRIGGER refuse_history_rows BEFORE INSERT ON HISTORY FOR EACH ROW "
         "EXECUTE FUNCTION refuse_history_rows()");
  }
  std::string LastChangeOf(int userId) {
    return Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:ID", {{"ID", userId}});
  }

  std::unique_ptr<TTestHostForm> host_;
  std::unique_ptr<THeadlessBackend> ui_;
  int maria_ = 0;
  int joao_ = 0;
};

// ---- A successful change ----------------------------------------------------

TEST_P(PasswordChangeTest, ASuccessfulChangeStoresThePasswordItsDateAndTheHistory) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "nova123");

  Security().ChangeUserPassword();

  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].Text, kChanged);
  EXPECT_EQ(ui_->Messages()[0].Type, mtInformation);
  EXPECT_EQ(ui_->Messages()[0].Buttons, TMsgDlgButtons{mbOK});

  EXPECT_EQ(PasswordOf(maria_), "nova123");
  EXPECT_EQ(LastChangeOf(maria_), TodayText());
  ASSERT_EQ(HistoryRows(maria_), 1);
  EXPECT_EQ(Scalar("SELECT USER_PWD FROM HISTORY WHERE USER_ID=:ID", {{"ID", maria_}}), "segredo");
  EXPECT_EQ(Scalar("SELECT CHANGE_DATE FROM HISTORY WHERE USER_ID=:ID", {{"ID", maria_}}), TodayText());
  EXPECT_EQ(User().Password(), "nova123");
  EXPECT_EQ(User().LastPwdChange(), TodayText());
  // Nobody else's row changed.
  EXPECT_EQ(PasswordOf(joao_), "outra");
  EXPECT_EQ(HistoryRows(joao_), 0);
  EXPECT_EQ(uMudaPwd, nullptr);
}

TEST_P(PasswordChangeTest, TheDateIsStoredInTheNormalisedFormAndThePatternComesBack) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  SetShortDateFormat("d/M/yy");
  ConfirmChange("segredo", "nova123");

  Security().ChangeUserPassword();

  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  EXPECT_EQ(LastChangeOf(maria_), "15/03/2026");
  EXPECT_EQ(Scalar("SELECT CHANGE_DATE FROM HISTORY WHERE USER_ID=:ID", {{"ID", maria_}}), "15/03/2026");
}

TEST_P(PasswordChangeTest, TheNewPasswordLogsInAndTheOldOneNoLonger) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "nova123");
  Security().ChangeUserPassword();

  ConfirmLogin("maria", "segredo");
  ConfirmLogin("maria", "nova123");
  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kChanged, "Senha inválida"}));
}

// ---- Refusals ---------------------------------------------------------------

TEST_P(PasswordChangeTest, AFormerPasswordIsRefusedAndTheDialogAsksAgainWithEmptyBoxes) {
  AddHistory(maria_, "antiga", DaysFromToday(-100));
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "antiga");
  ui_->WhenShown("MudaPwd")
      .Run([](TForm& form) {
        auto& dialog = static_cast<TMudaPwd&>(form);
        EXPECT_EQ(uMudaPwd, &dialog);
        EXPECT_EQ(dialog.Password1->Text(), "");
        EXPECT_EQ(dialog.Password2->Text(), "");
        EXPECT_EQ(dialog.SenhaAntiga->Text(), "segredo");
        EXPECT_EQ(dialog.ActiveControl(), dialog.Password1);
      })
      .Type("nova123").Enter().Type("nova123").Enter().Enter();

  Security().ChangeUserPassword();

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kUsedBefore, kChanged}));
  EXPECT_EQ(ui_->Messages()[0].Type, mtWarning);
  EXPECT_EQ(ui_->Messages()[0].Buttons, TMsgDlgButtons{mbOK});
  EXPECT_EQ(ShowingsOfDialog(), 2);
  EXPECT_EQ(PasswordOf(maria_), "nova123");
  EXPECT_EQ(HistoryRows(maria_), 2);
}

TEST_P(PasswordChangeTest, TheCurrentPasswordIsRefusedWithAnEmptyHistory) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "segredo");
  ui_->WhenShown("MudaPwd").Escape();

  Security().ChangeUserPassword();

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kUsedBefore}));
  EXPECT_EQ(ShowingsOfDialog(), 2);
  EXPECT_EQ(PasswordOf(maria_), "segredo");
  EXPECT_EQ(HistoryRows(maria_), 0);
  EXPECT_EQ(User().Password(), "segredo");
}

TEST_P(PasswordChangeTest, ChangingBackToAPasswordReplacedEarlierIsRefused) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "nova123");
  Security().ChangeUserPassword();
  ConfirmChange("nova123", "segredo");
  ui_->WhenShown("MudaPwd").Escape();

  Security().ChangeUserPassword();

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kChanged, kUsedBefore}));
  EXPECT_EQ(PasswordOf(maria_), "nova123");
}

TEST_P(PasswordChangeTest, APasswordOfAnotherUserIsAccepted) {
  AddHistory(joao_, "antiga", DaysFromToday(-100));
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "antiga");

  Security().ChangeUserPassword();

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kChanged}));
  EXPECT_EQ(PasswordOf(maria_), "antiga");
}

TEST_P(PasswordChangeTest, PasswordsDifferingInLetterCaseAreDifferent) {
  AddHistory(maria_, "Antiga", DaysFromToday(-100));
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "antiga");

  Security().ChangeUserPassword();
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kChanged}));
  EXPECT_EQ(PasswordOf(maria_), "antiga");

  ConfirmChange("antiga", "SEGREDO");
  Security().ChangeUserPassword();
  EXPECT_EQ(PasswordOf(maria_), "SEGREDO");
}

TEST_P(PasswordChangeTest, CancellingChangesNothingAndShowsNothing) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ui_->WhenShown("MudaPwd").Type("segredo").Enter().Type("nova123").Escape();

  Security().ChangeUserPassword();

  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_EQ(PasswordOf(maria_), "segredo");
  EXPECT_EQ(LastChangeOf(maria_), DaysFromToday(-20));
  EXPECT_EQ(HistoryRows(maria_), 0);
  EXPECT_EQ(User().Password(), "segredo");
  EXPECT_EQ(uMudaPwd, nullptr);
}

// ---- Failures while storing -------------------------------------------------

TEST_P(PasswordChangeTest, AFailedUpdateShowsTheFailureAndChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  SetShortDateFormat("d/M/yy");
  ConfirmChange("segredo", "nova123");
  FailTheStore("disk full");

  Security().ChangeUserPassword();
  Db().SetStatementHook({});

  ASSERT_EQ(ui_->Messages().size(), 1u);
  EXPECT_EQ(ui_->Messages()[0].Text, kFailed);
  EXPECT_EQ(ui_->Messages()[0].Type, mtInformation);
  EXPECT_EQ(User().Password(), "segredo");
  EXPECT_EQ(User().LastPwdChange(), DaysFromToday(-20));
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  EXPECT_EQ(PasswordOf(maria_), "segredo");
  EXPECT_EQ(HistoryRows(maria_), 0);
  EXPECT_FALSE(Db().InTransaction());
  // The refused edit is not left pending, to be posted by a later move.
  EXPECT_EQ(Users->qryUsers.State(), TDataSetState::Browse);
}

// A failure of the history row after the user's row was written takes the
// user's row back too: the stored password, the history and the record of
// the logged-in user stay in step.
TEST_P(PasswordChangeTest, AFailedHistoryRowTakesThePasswordChangeBack) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "nova123");
  FailHistoryRows("history is read-only");

  Security().ChangeUserPassword();
  Db().SetStatementHook({});
  if (IsSecured()) Exec("DROP TRIGGER refuse_history_rows ON HISTORY");

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kFailed}));
  EXPECT_EQ(User().Password(), "segredo");
  EXPECT_EQ(PasswordOf(maria_), "segredo");
  EXPECT_EQ(LastChangeOf(maria_), DaysFromToday(-20));
  EXPECT_EQ(HistoryRows(maria_), 0);

  // The datasets hold what the database holds: the old password still logs
  // in, the new one does not, and no edit is left pending to be posted later.
  EXPECT_EQ(Users->qryUsers.State(), TDataSetState::Browse);
  EXPECT_EQ(Users->qryHistory.State(), TDataSetState::Browse);
  ConfirmLogin("maria", "nova123");
  ConfirmLogin("maria", "segredo");
  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kFailed, "Senha inválida"}));
  EXPECT_EQ(PasswordOf(maria_), "segredo");
}

TEST_P(PasswordChangeTest, AChangeAfterAFailedOneSucceeds) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ConfirmChange("segredo", "nova123");
  FailTheStore("busy");
  Security().ChangeUserPassword();
  Db().SetStatementHook({});

  ConfirmChange("segredo", "nova123");
  Security().ChangeUserPassword();

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kFailed, kChanged}));
  EXPECT_EQ(PasswordOf(maria_), "nova123");
  EXPECT_EQ(HistoryRows(maria_), 1);
}

// ---- Without a user row -----------------------------------------------------

TEST_P(PasswordChangeTest, AUserWhoseRowIsGoneChangesNothingSilently) {
  if (IsSecured())
    GTEST_SKIP() << "the client role cannot see the user's row; the dialog's check with the server refuses";
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ExecWith("DELETE FROM QUARVEL WHERE USER_ID=:ID", {{"ID", maria_}});
  Users->qryUsers.Close();
  Users->qryUsers.Open();
  ConfirmChange("segredo", "nova123");

  Security().ChangeUserPassword();

  EXPECT_TRUE(ui_->Messages().empty());
  EXPECT_EQ(HistoryRows(maria_), 0);
  EXPECT_EQ(User().Password(), "segredo");
}

// ---- The current password, whatever the path ----------------------------------

// Shift+Tab from the current-password box lands on Cancel (the tab order
// wraps) without the check; three more reach the new-password boxes, and OK
// is pressed. OK checks again: nothing is written.
TEST_P(PasswordChangeTest, AWrongCurrentPasswordGotRoundByShiftTabStoresNothing) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  ui_->WhenShown("MudaPwd")
      .Type("palpite").ShiftTab().ShiftTab().ShiftTab()
      .Type("tomada1").ShiftTab().Type("tomada1")
      .Click("OKBtn")
      .Escape();

  Security().ChangeUserPassword();

  EXPECT_EQ(PasswordOf(maria_), "segredo");
  EXPECT_EQ(HistoryRows(maria_), 0);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Senha inválida"}));
  EXPECT_EQ(User().Password(), "segredo");
}

// The current password is the one stored now. A reset made by an
// administrator while the dialog is open makes the password typed at login
// wrong, and the store itself refuses it.
TEST_P(PasswordChangeTest, TheCurrentPasswordComparedIsTheOneStoredNow) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  auto resetTo = [this](const std::string& password) {
    ExecWith("UPDATE QUARVEL SET USER_PWD=:P WHERE USER_ID=:ID",
             {{"P", Value::Bytes(EncodePassword(password))}, {"ID", maria_}});
  };
  TFormScript& script = ui_->WhenShown("MudaPwd").Run([&](TForm&) { resetTo("redefinida"); }).Type("segredo").Enter();
  // A secured database's dialog asks the server as the box is left, so the
  // reset is caught there; otherwise the store catches it.
  if (IsSecured())
    script.Escape();
  else
    script.Type("tomada1").Enter().Type("tomada1").Enter().Enter();
  Security().ChangeUserPassword();
  EXPECT_EQ(PasswordOf(maria_), "redefinida");
  EXPECT_EQ(HistoryRows(maria_), 0);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{"Senha inválida"}));

  // The next change asks for the password stored now, not the one typed at
  // login.
  ConfirmChange("redefinida", "propria1");
  Security().ChangeUserPassword();
  EXPECT_EQ(PasswordOf(maria_), "propria1");
  EXPECT_EQ(Scalar("SELECT USER_PWD FROM HISTORY WHERE USER_ID=:ID", {{"ID", maria_}}), "redefinida");
}

// Every place takes a password as long as the stored column holds: 20
// characters in any script, kept and compared whole in the history.
TEST_P(PasswordChangeTest, TwentyCharacterPasswordsAreTakenAndComparedWhole) {
  ASSERT_NO_FATAL_FAILURE(LogInMaria());
  const std::string first = "ção-senha-de-20-ção!";  // 20 characters, 24 bytes
  const std::string second = "çãoçãoçãoçãoçãoçãoç1";
  const std::string firstButLast = first.substr(0, first.size() - 1) + "?";
  ConfirmChange("segredo", first);
  Security().ChangeUserPassword();
  ConfirmChange(first, second);
  Security().ChangeUserPassword();
  ASSERT_EQ(PasswordOf(maria_), second);

  // The first password again is refused, one differing in its last
  // character is not.
  ui_->WhenShown("MudaPwd").Type(second).Enter().Type(first).Enter().Type(first).Enter().Enter();
  ui_->WhenShown("MudaPwd").Type(firstButLast).Enter().Type(firstButLast).Enter().Enter();
  Security().ChangeUserPassword();
  EXPECT_EQ(PasswordOf(maria_), firstButLast);
  EXPECT_EQ(User().Password(), firstButLast);
}

QV_INSTANTIATE_ENGINES_AND_SECURED(PasswordChangeTest);

}  // namespace
}  // namespace qv::test

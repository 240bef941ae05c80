// The login through the component on the headless test host: attempts,
// refusals, the profile's password rule, the record it fills, and what it
// leaves behind when it ends.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvd3/component/password.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/component/user.h"
#include "qvd3/dialogs/login_qv.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

constexpr const char* kApp = "STOCK";
const std::string kInvalidPassword = "Senha inválida";
const std::string kInvalidName = "Nome de usuário inválido";
const std::string kPasswordExpired = "Sua senha expirou. Por favor, efetue a troca de senha agora.";
const std::string kMustChange =
    "Para continuar usando esse sistema, você deve efetuar a troca de senha. Deseja tentar "
    "novamente?";
const std::string kChanged = "Mudança de senha efetuada";

std::string NotAuthorized(const std::string& name) {
  return "Usuário " + name + " não está mais autorizado a usar este sistema, contate o administrador.";
}

class LoginTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    host_.reset();
    SecurityDbTest::TearDown();
  }

  // The host starts on first use, after the test has seeded the tables it
  // reads at start-up.
  TTestHostForm& Host() {
    if (!host_) host_ = ReadTestHost(HostSettings());
    return *host_;
  }
  TestHostSettings HostSettings() const {
    TestHostSettings settings;
    settings.DatabaseName = Alias();
    settings.AppKey = kApp;
    settings.AutoLogin = false;
    return settings;
  }
  TQuarvel& Security() { return *Host().Quarvel1; }
  const TUser& User() { return *Security().User(); }

  // One confirmed showing of the login dialog with these texts, typed as a
  // person does; the password box is emptied first, since the dialog keeps
  // the previous password between showings.
  void ConfirmLogin(const std::string& name, const std::string& password) {
    ui_.WhenShown("Login")
        .Type(name)
        .Enter()
        .Run([](TForm& form) { static_cast<TLogin&>(form).Senha->SetText(""); })
        .Type(password)
        .Enter();
  }
  // One showing of the change-password dialog that confirms a new password.
  void ConfirmChange(const std::string& current, const std::string& next) {
    ui_.WhenShown("MudaPwd").Type(current).Enter().Type(next).Enter().Type(next).Enter().Enter();
  }

  // An active user of the application with no profile.
  int AddActiveUser(const std::string& name, const std::string& password, int profileId = 0,
                    const std::string& auditMode = "0") {
    const int id = AddUser(name, password, profileId, auditMode);
    AddUserInfo(kApp, id);
    return id;
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const TMessageRecord& m : ui_.Messages()) texts.push_back(m.Text);
    return texts;
  }
  int ShowingsOf(const std::string& formName) const {
    int count = 0;
    for (const TFormRecord& f : ui_.Forms()) count += f.Name == formName ? 1 : 0;
    return count;
  }
  std::string UserActiveOf(int userId) {
    return Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE APP_KEY=:APP AND USER_ID=:ID",
                  {{"APP", kApp}, {"ID", userId}});
  }

  THeadlessBackend ui_;
  std::unique_ptr<TTestHostForm> host_;
};

// ---- Attempts -----------------------------------------------------------

TEST_P(LoginTest, ThreeWrongPasswordsEndTheLoginWithThreeWarnings) {
  AddActiveUser("maria", "segredo");
  for (int i = 0; i < 3; ++i) ConfirmLogin("maria", "errada" + std::to_string(i));

  EXPECT_FALSE(Security().Login());

  ASSERT_EQ(ui_.Messages().size(), 3u);
  for (const TMessageRecord& m : ui_.Messages()) {
    EXPECT_EQ(m.Text, kInvalidPassword);
    EXPECT_EQ(m.Type, mtWarning);
    EXPECT_EQ(m.Buttons, TMsgDlgButtons{mbOK});
  }
  EXPECT_EQ(ShowingsOf("Login"), 3);
  EXPECT_EQ(uLogin, nullptr);
  EXPECT_TRUE(ui_.UnusedScripts().empty());
}

TEST_P(LoginTest, WrongNameThenWrongPasswordThenRightOnesSucceedOnTheThird) {
  const int prof = AddProfile("Vendas");
  const int maria = AddUser("maria", "segredo", prof, "0", DaysFromToday(-3), "Maria da Silva");
  AddUserInfo(kApp, maria, "0", DaysFromToday(100));
  ConfirmLogin("mariah", "segredo");
  ConfirmLogin("maria", "Segredo");
  ConfirmLogin("maria", "segredo");

  EXPECT_TRUE(Security().Login());

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kInvalidName, kInvalidPassword}));
  EXPECT_EQ(ShowingsOf("Login"), 3);
  EXPECT_EQ(User().UserName(), "maria");
  EXPECT_EQ(User().Password(), "segredo");
  EXPECT_EQ(User().UserID(), maria);
  EXPECT_EQ(User().RealName(), "Maria da Silva");
  EXPECT_EQ(User().LastPwdChange(), DaysFromToday(-3));
  EXPECT_EQ(User().ExpirationDate(), DaysFromToday(100));
  EXPECT_EQ(User().UserExpire(), "0");
  EXPECT_EQ(User().UserActive(), "1");
  EXPECT_EQ(User().ProfileID(), prof);
  EXPECT_EQ(User().Profile(), "Vendas");
  EXPECT_EQ(User().AuditMode(), "0");
  EXPECT_EQ(uLogin, nullptr);
}

TEST_P(LoginTest, NamesAndPasswordsAreComparedExactlyWithoutTrimming) {
  AddActiveUser("maria", "segredo");
  ConfirmLogin("Maria", "segredo");
  ConfirmLogin("maria ", "segredo");
  ConfirmLogin("maria", "segredo ");

  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kInvalidName, kInvalidName, kInvalidPassword}));
}

TEST_P(LoginTest, CancellingEndsAtOnceWithoutAMessage) {
  AddActiveUser("maria", "segredo");
  ui_.WhenShown("Login").Type("maria").Escape();

  EXPECT_FALSE(Security().Login());
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_EQ(ShowingsOf("Login"), 1);
  EXPECT_EQ(uLogin, nullptr);
}

TEST_P(LoginTest, CancellingTheSecondAttemptEndsWithoutFurtherShowings) {
  AddActiveUser("maria", "segredo");
  ConfirmLogin("maria", "errada");
  ui_.WhenShown("Login").Escape();

  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kInvalidPassword}));
  EXPECT_EQ(ShowingsOf("Login"), 2);
}

TEST_P(LoginTest, LoginCanBeRepeatedToChangeTheUser) {
  AddActiveUser("maria", "segredo");
  const int joao = AddActiveUser("joao", "outra");
  ConfirmLogin("maria", "segredo");
  ASSERT_TRUE(Security().Login());
  ConfirmLogin("joao", "outra");
  ASSERT_TRUE(Security().Login());
  EXPECT_EQ(User().UserName(), "joao");
  EXPECT_EQ(User().UserID(), joao);
  EXPECT_TRUE(ui_.Messages().empty());
}

// ---- The built-in administrator --------------------------------------------

TEST_P(LoginTest, MasterIsAdmittedWhenInactiveOrExpired) {
  AddUserInfo(kApp, kMasterId, "1", DaysFromToday(-10), "0");
  ConfirmLogin("master", kMasterPassword);

  EXPECT_TRUE(Security().Login());
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_EQ(UserActiveOf(kMasterId), "0");
}

TEST_P(LoginTest, MasterIsNeverForcedToChangeThePassword) {
  const int prof = AddProfile("Rigido", "1", 0);
  ExecWith("UPDATE QUARVEL SET PROFILE_ID=:P WHERE USER_ID=:ID", {{"P", prof}, {"ID", kMasterId}});
  ConfirmLogin("master", kMasterPassword);

  EXPECT_TRUE(Security().Login());
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_EQ(ShowingsOf("MudaPwd"), 0);
}

TEST_P(LoginTest, ANameDifferingFromMasterOnlyInCaseIsAnOrdinaryUser) {
  AddUser("Master", "master");  // no UserInfo row: an ordinary user is refused
  ConfirmLogin("Master", "master");

  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{NotAuthorized("Master")}));
}

// ---- Refusals --------------------------------------------------------------

TEST_P(LoginTest, AnInactiveUserIsRefusedAtOnceWithTheName) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo(kApp, maria, "0", TodayText(), "0");
  ConfirmLogin("maria", "segredo");
  ConfirmLogin("maria", "segredo");  // never used: the refusal ends the login

  EXPECT_FALSE(Security().Login());
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].Text, NotAuthorized("maria"));
  EXPECT_EQ(ui_.Messages()[0].Type, mtWarning);
  EXPECT_EQ(ui_.Messages()[0].Buttons, TMsgDlgButtons{mbOK});
  EXPECT_EQ(ShowingsOf("Login"), 1);
  EXPECT_EQ(uLogin, nullptr);
}

TEST_P(LoginTest, AUserWithoutAUserInfoRowInThisApplicationIsRefused) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo("OTHER", maria);
  ConfirmLogin("maria", "segredo");

  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{NotAuthorized("maria")}));
  EXPECT_EQ(User().UserName(), "");
}

TEST_P(LoginTest, AnAccountExpiringTodayIsRefusedAndSwitchedOff) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo(kApp, maria, "1", TodayText(), "1");
  AddUserInfo("OTHER", maria, "1", TodayText(), "1");
  ConfirmLogin("maria", "segredo");

  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{NotAuthorized("maria")}));
  EXPECT_EQ(ShowingsOf("Login"), 1);
  EXPECT_EQ(UserActiveOf(maria), "0");
  // Only this application's row is switched off.
  EXPECT_EQ(Scalar("SELECT USER_ACTIVE FROM USERINFO WHERE APP_KEY='OTHER'"), "1");

  // From now on the user is refused as inactive, also with a later date.
  ExecWith("UPDATE USERINFO SET EXPIRATION_DATE=:D WHERE USER_ID=:ID",
           {{"D", DaysFromToday(30)}, {"ID", maria}});
  ConfirmLogin("maria", "segredo");
  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(ui_.Messages().size(), 2u);
}

TEST_P(LoginTest, AnAccountExpiringTomorrowIsAdmitted) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo(kApp, maria, "1", DaysFromToday(1), "1");
  ConfirmLogin("maria", "segredo");

  EXPECT_TRUE(Security().Login());
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_EQ(UserActiveOf(maria), "1");
}

TEST_P(LoginTest, APastExpirationDateIsIgnoredWhenTheAccountDoesNotExpire) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo(kApp, maria, "0", DaysFromToday(-400), "1");
  ConfirmLogin("maria", "segredo");

  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(UserActiveOf(maria), "1");
}

TEST_P(LoginTest, AnEmptyExpirationDateOfAnExpiringAccountRefuses) {
  const int maria = AddUser("maria", "segredo");
  AddUserInfo(kApp, maria, "1", "", "1");
  ConfirmLogin("maria", "segredo");

  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{NotAuthorized("maria")}));
  EXPECT_EQ(UserActiveOf(maria), "0");
}

// ---- The profile's password rule -------------------------------------------

TEST_P(LoginTest, AChangeTwentyNineDaysAgoPassesAnIntervalOfThirty) {
  const int prof = AddProfile("Vendas", "1", 30);
  const int maria = AddUser("maria", "segredo", prof, "0", DaysFromToday(-29));
  AddUserInfo(kApp, maria);
  ConfirmLogin("maria", "segredo");

  EXPECT_TRUE(Security().Login());
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_EQ(ShowingsOf("MudaPwd"), 0);
}

TEST_P(LoginTest, AChangeThirtyDaysAgoForcesTheChange) {
  const int prof = AddProfile("Vendas", "1", 30);
  const int maria = AddUser("maria", "segredo", prof, "0", DaysFromToday(-30));
  AddUserInfo(kApp, maria);
  ConfirmLogin("maria", "segredo");
  ConfirmChange("segredo", "nova123");

  EXPECT_TRUE(Security().Login());

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kPasswordExpired, kChanged}));
  EXPECT_EQ(ShowingsOf("MudaPwd"), 1);
  EXPECT_EQ(User().Password(), "nova123");
  EXPECT_EQ(PasswordOf(maria), "nova123");
  EXPECT_EQ(User().LastPwdChange(), TodayText());
}

TEST_P(LoginTest, AnIntervalOfZeroForcesTheChangeAtEveryLogin) {
  const int prof = AddProfile("Rigido", "1", 0);
  const int maria = AddUser("maria", "segredo", prof);  // changed today
  AddUserInfo(kApp, maria);

  ConfirmLogin("maria", "segredo");
  ConfirmChange("segredo", "nova1");
  EXPECT_TRUE(Security().Login());

  ConfirmLogin("maria", "nova1");
  ConfirmChange("nova1", "nova2");
  EXPECT_TRUE(Security().Login());

  EXPECT_EQ(ShowingsOf("MudaPwd"), 2);
  EXPECT_EQ(PasswordOf(maria), "nova2");
}

TEST_P(LoginTest, AnEmptyLastChangeForcesTheChange) {
  const int prof = AddProfile("Vendas", "1", 365);
  const int maria = AddUser("maria", "segredo", prof, "0", "");
  AddUserInfo(kApp, maria);
  ConfirmLogin("maria", "segredo");
  ConfirmChange("segredo", "nova123");

  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(ShowingsOf("MudaPwd"), 1);
}

TEST_P(LoginTest, AProfileThatDoesNotDemandChangesNeverForcesOne) {
  const int prof = AddProfile("Livre", "0");
  const int maria = AddUser("maria", "segredo", prof, "0", "");
  AddUserInfo(kApp, maria);
  ConfirmLogin("maria", "segredo");

  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(ShowingsOf("MudaPwd"), 0);
}

TEST_P(LoginTest, DecliningTheForcedChangeRefusesTheUser) {
  const int prof = AddProfile("Rigido", "1", 0);
  const int maria = AddActiveUser("maria", "segredo", prof);
  Host().mnuFileOpen->SetEnabled(false);
  ConfirmLogin("maria", "segredo");
  ui_.WhenShown("MudaPwd").Escape();
  ui_.AnswerMessages(mrNo);

  EXPECT_FALSE(Security().Login());

  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kPasswordExpired, kMustChange}));
  ASSERT_EQ(ui_.Messages().size(), 2u);
  EXPECT_EQ(ui_.Messages()[1].Type, mtWarning);
  EXPECT_EQ(ui_.Messages()[1].Buttons, mbYesNo);
  EXPECT_EQ(PasswordOf(maria), "segredo");
  EXPECT_EQ(ShowingsOf("Login"), 1);
  // A refused login applies no rights.
  EXPECT_FALSE(Host().mnuFileOpen->Enabled());
}

TEST_P(LoginTest, TryingAgainAfterACancelledForcedChangeCanStillSucceed) {
  const int prof = AddProfile("Rigido", "1", 0);
  const int maria = AddActiveUser("maria", "segredo", prof);
  ConfirmLogin("maria", "segredo");
  ui_.WhenShown("MudaPwd").Escape();
  ui_.AnswerMessages(mrYes);
  ConfirmChange("segredo", "nova123");

  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kPasswordExpired, kMustChange, kChanged}));
  EXPECT_EQ(PasswordOf(maria), "nova123");
}

// ---- Audit mode and profile ------------------------------------------------

TEST_P(LoginTest, TheProfileRaisesTheAuditModeAndNeverLowersIt) {
  const int audited = AddProfile("Auditado", "0", std::nullopt, 0, "1");
  const int plain = AddProfile("Comum", "0", std::nullopt, 0, "0");
  AddActiveUser("ana", "a1", audited, "0");
  AddActiveUser("bia", "b1", plain, "1");
  AddActiveUser("caio", "c1", plain, "0");

  ConfirmLogin("ana", "a1");
  ASSERT_TRUE(Security().Login());
  EXPECT_EQ(User().AuditMode(), "1");
  EXPECT_TRUE(User().GetAuditMode());

  ConfirmLogin("bia", "b1");
  ASSERT_TRUE(Security().Login());
  EXPECT_EQ(User().AuditMode(), "1");

  ConfirmLogin("caio", "c1");
  ASSERT_TRUE(Security().Login());
  EXPECT_EQ(User().AuditMode(), "0");
}

TEST_P(LoginTest, AUserWhoseProfileIsMissingHasNoProfileRules) {
  // Profile 99 does not exist; profile 1 exists and would both audit and
  // force a change, so nothing of it may leak to the user.
  AddProfile("Rigido", "1", 0, 0, "1");
  AddActiveUser("maria", "segredo", 99, "0");
  ConfirmLogin("maria", "segredo");

  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(User().Profile(), "Sem Perfil");
  EXPECT_EQ(User().ProfileID(), 99);
  EXPECT_EQ(User().AuditMode(), "0");
  EXPECT_EQ(ShowingsOf("MudaPwd"), 0);
}

// ---- Rights and what an error leaves behind ---------------------------------

TEST_P(LoginTest, RightsAreAppliedOnlyAfterASuccessfulLogin) {
  AddActiveUser("maria", "segredo");
  Host().mnuFileOpen->SetEnabled(false);
  Host().mnuHelpAbout->SetVisible(false);
  ui_.WhenShown("Login").Escape();
  ASSERT_FALSE(Security().Login());
  EXPECT_FALSE(Host().mnuFileOpen->Enabled());
  EXPECT_FALSE(Host().mnuHelpAbout->Visible());

  ConfirmLogin("master", kMasterPassword);
  ASSERT_TRUE(Security().Login());
  EXPECT_TRUE(Host().mnuFileOpen->Enabled());
  EXPECT_TRUE(Host().mnuHelpAbout->Visible());
}

TEST_P(LoginTest, ADateThatIsNotADateFailsTheLoginAndLeavesNoDialogBehind) {
  if (IsSecured()) GTEST_SKIP() << "the secured database's login reads an unreadable date as the zero date";
  const int maria = AddUser("maria", "segredo");
  AddUserInfo(kApp, maria, "1", "31/02/2026", "1");
  SetShortDateFormat("d/M/yy");
  ConfirmLogin("maria", "segredo");

  EXPECT_THROW(Security().Login(), EConvertError);
  EXPECT_EQ(uLogin, nullptr);
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");

  // The component is still usable: the next login shows a fresh dialog.
  SetShortDateFormat(kTestDatePattern);
  ConfirmLogin("master", kMasterPassword);
  EXPECT_TRUE(Security().Login());
}

// ---- A failed login takes nothing over ----------------------------------------

// A switch to "master" with a guessed password, cancelled, leaves maria
// logged in: the password change still asks for maria's password, so the
// guess cannot rewrite master's.
TEST_P(LoginTest, AGuessedMasterPasswordGivesNoPowerOverMastersPassword) {
  const int maria = AddActiveUser("maria", "segredo");
  ConfirmLogin("maria", "segredo");
  ASSERT_TRUE(Security().Login());
  ConfirmLogin("master", "palpite");
  ui_.WhenShown("Login").Escape();
  EXPECT_FALSE(Security().Login());

  EXPECT_EQ(User().UserName(), "maria");
  EXPECT_EQ(User().Password(), "segredo");
  EXPECT_EQ(User().UserID(), maria);
  ui_.WhenShown("MudaPwd")
      .Type("palpite").Enter().Type("tomada1").Enter().Type("tomada1").Enter().Enter()
      .Escape();
  Security().ChangeUserPassword();

  EXPECT_EQ(PasswordOf(kMasterId), kMasterPassword);
  EXPECT_EQ(PasswordOf(maria), "segredo");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM HISTORY"), 0);
  for (const std::string& text : MessageTexts()) EXPECT_NE(text, kChanged);
}

// A refused switch to an inactive audited user leaves the audit with the
// person still working (not audited here), and before any login with nobody.
TEST_P(LoginTest, ARefusedSwitchLeavesTheAuditWithThePersonStillWorking) {
  const int maria = AddActiveUser("maria", "segredo");
  const int bia = AddUser("bia", "b1", 0, "1");
  AddUserInfo(kApp, bia, "0", std::nullopt, "0");
  const int open = AddProg(kApp, "mnuFileOpen", "Abrir");
  SetUAccess(kApp, maria, open, "1");
  SetUAccess(kApp, bia, open, "1");
  const std::string refused = NotAuthorized("bia");

  ConfirmLogin("bia", "b1");
  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(User().UserName(), "");
  EXPECT_EQ(User().UserID(), 0);
  EXPECT_FALSE(User().GetAuditMode());
  Host().mnuFileOpen->Click();

  ConfirmLogin("maria", "segredo");
  ASSERT_TRUE(Security().Login());
  ConfirmLogin("bia", "b1");
  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(User().UserID(), maria);
  EXPECT_FALSE(User().GetAuditMode());
  Host().mnuFileOpen->Click();

  EXPECT_EQ(Host().Calls, (std::vector<std::string>{"mnuFileOpen", "mnuFileOpen"}));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT"), 0);
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{refused, refused}));
}

// The forced change of a login belongs to the user logging in; declined, it
// leaves both that user's password and the logged-in user as they were.
TEST_P(LoginTest, AForcedChangeRunsForTheUserLoggingInAndDeclinedTakesNothingOver) {
  const int prof = AddProfile("Rigido", "1", 0);
  const int maria = AddActiveUser("maria", "segredo");
  const int joao = AddActiveUser("joao", "outra", prof);
  ConfirmLogin("maria", "segredo");
  ASSERT_TRUE(Security().Login());

  ConfirmLogin("joao", "outra");
  ui_.WhenShown("MudaPwd").Escape();
  ui_.AnswerMessages(mrNo);
  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(User().UserID(), maria);
  EXPECT_EQ(PasswordOf(joao), "outra");

  ConfirmLogin("joao", "outra");
  ConfirmChange("outra", "nova123");
  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(User().UserID(), joao);
  EXPECT_EQ(User().Password(), "nova123");
  EXPECT_EQ(PasswordOf(joao), "nova123");
  EXPECT_EQ(PasswordOf(maria), "segredo");
}

// ---- Decisions on the database as it is now ----------------------------------
// The host starts first; another administrator then changes the tables
// directly, as a second machine would. The next login must see it.

TEST_P(LoginTest, ALoginDecidesOnChangesMadeAfterTheHostStarted) {
  const int prof = AddProfile("Rigido", "1", 0);
  const int maria = AddActiveUser("maria", "segredo");
  const int joao = AddActiveUser("joao", "outra");
  const int ana = AddActiveUser("ana", "a1");
  const int bia = AddActiveUser("bia", "b1");
  Host();

  // A password reset: the old password no longer opens the account.
  ExecWith("UPDATE QUARVEL SET USER_PWD=:P WHERE USER_ID=:ID",
           {{"P", Value::Bytes(EncodePassword("trocada"))}, {"ID", maria}});
  ConfirmLogin("maria", "segredo");
  ui_.WhenShown("Login").Escape();
  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(MessageTexts(), (std::vector<std::string>{kInvalidPassword}));

  // A deactivation, and an expiry date that has come.
  ExecWith("UPDATE USERINFO SET USER_ACTIVE='0' WHERE USER_ID=:ID", {{"ID", joao}});
  ExecWith("UPDATE USERINFO SET USER_EXPIRE='1', EXPIRATION_DATE=:D WHERE USER_ID=:ID",
           {{"D", TodayText()}, {"ID", ana}});
  ConfirmLogin("joao", "outra");
  EXPECT_FALSE(Security().Login());
  ConfirmLogin("ana", "a1");
  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(UserActiveOf(ana), "0");

  // A profile that now forces a change.
  ExecWith("UPDATE QUARVEL SET PROFILE_ID=:P WHERE USER_ID=:ID", {{"P", prof}, {"ID", bia}});
  ConfirmLogin("bia", "b1");
  ui_.WhenShown("MudaPwd").Escape();
  ui_.AnswerMessages(mrNo);
  EXPECT_FALSE(Security().Login());
  EXPECT_EQ(ShowingsOf("MudaPwd"), 1);

  // A user created after start-up logs in.
  const int new_user = AddActiveUser("novo", "n1");
  ConfirmLogin("novo", "n1");
  EXPECT_TRUE(Security().Login());
  EXPECT_EQ(User().UserID(), new_user);
}

TEST_P(LoginTest, RightsGrantedOrRevokedAfterStartUpHoldAtTheNextLogin) {
  const int maria = AddActiveUser("maria", "segredo");
  const int open = AddProg(kApp, "mnuFileOpen", "Abrir");
  SetUAccess(kApp, maria, open, "1");
  ConfirmLogin("maria", "segredo");
  ASSERT_TRUE(Security().Login());
  EXPECT_TRUE(Host().mnuFileOpen->Enabled());
  EXPECT_FALSE(Host().mnuFilePrint->Enabled());

  SetUAccess(kApp, maria, open, "0");
  SetUAccess(kApp, maria, AddProg(kApp, "mnuFilePrint", "Imprimir"), "1");
  ConfirmLogin("maria", "segredo");
  ASSERT_TRUE(Security().Login());
  EXPECT_FALSE(Host().mnuFileOpen->Enabled());
  EXPECT_TRUE(Host().mnuFilePrint->Enabled());
}

// A login whose rights cannot be read is a failed login: the user before
// stays, with the menu and the audit attribution, nothing half applied.
TEST_P(LoginTest, ALoginWhoseRightsCannotBeReadChangesNothing) {
  const int maria = AddActiveUser("maria", "segredo", 0, "1");
  const int joao = AddActiveUser("joao", "outra");
  const int open = AddProg(kApp, "mnuFileOpen", "Abrir");
  const int print = AddProg(kApp, "mnuFilePrint", "Imprimir");
  SetUAccess(kApp, maria, open, "1");
  SetUAccess(kApp, joao, print, "1");
  ConfirmLogin("maria", "segredo");
  ASSERT_TRUE(Security().Login());

  ConfirmLogin("joao", "outra");
  // A secured database hands the rights over with the login itself.
  const std::string rightsRead = IsSecured() ? "QV_LOGIN" : "UACCESS";
  Db().SetStatementHook([rightsRead](std::string_view sql) {
    if (sql.find(rightsRead) != std::string_view::npos) throw EDatabaseError("connection lost");
  });
  EXPECT_THROW(Security().Login(), EDatabaseError);
  Db().SetStatementHook({});

  EXPECT_EQ(User().UserID(), maria);
  EXPECT_TRUE(Host().mnuFileOpen->Enabled());
  EXPECT_FALSE(Host().mnuFilePrint->Enabled());
  Host().mnuFileOpen->Click();
  EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE USER_ID=:ID", {{"ID", maria}}), 1);
}

// ---- Nobody logged in -----------------------------------------------------------

TEST_P(LoginTest, WithNobodyLoggedInNeitherTheWindowNorThePasswordChangeOpens) {
  AddActiveUser("maria", "segredo");
  const long long catalogued = Count("SELECT COUNT(*) FROM PROGS");
  Security().UsersAdm();
  Security().ChangeUserPassword();

  EXPECT_TRUE(ui_.Forms().empty());
  EXPECT_EQ(Count("SELECT COUNT(*) FROM PROGS"), catalogued);
  EXPECT_EQ(PasswordOf(kMasterId), kMasterPassword);
  ASSERT_EQ(ui_.Messages().size(), 2u);
  for (const TMessageRecord& m : ui_.Messages()) {
    EXPECT_NE(m.Text.find("Nenhum usuário está conectado"), std::string::npos) << m.Text;
    EXPECT_EQ(m.Type, mtWarning);
  }

  // A refused login does not open them either.
  ConfirmLogin("maria", "errada");
  ui_.WhenShown("Login").Escape();
  EXPECT_FALSE(Security().Login());
  Security().UsersAdm();
  EXPECT_EQ(ShowingsOf("UsersAdministration"), 0);
}

QV_INSTANTIATE_ENGINES_AND_SECURED(LoginTest);

}  // namespace
}  // namespace qv::test

// Start-up of the component on a host form: the property checks, the opening
// of the security tables, the computer name, and what design time leaves out.
#include <gtest/gtest.h>

#include <string>

#include "qvd3/component/quarvel.h"
#include "qvd3/component/quarvel_res.h"
#include "qvd3/component/user.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/computer_name.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv {
namespace {

using test::ReadTestHost;
using test::TestHostSettings;

// The message of the error `run` raises as E; fails the test when it raises
// nothing or something else.
template <class E, class F>
std::string ErrorOf(F&& run) {
  try {
    run();
  } catch (const E& error) {
    return error.what();
  }
  ADD_FAILURE() << "no error of the expected class was raised";
  return "";
}

// Keeps the process-wide computer name of one test from reaching the next.
class ComputerNameGuard {
 public:
  ComputerNameGuard() : saved_(ComputerName) { ComputerName.clear(); }
  ~ComputerNameGuard() { ComputerName = saved_; }

 private:
  std::string saved_;
};

const char* const kTwentyChars = "ABCDEFGHIJ0123456789";
const char* const kTwentyOneChars = "ABCDEFGHIJ0123456789X";

// ---- Without a database: design time and the owner --------------------------

TEST(StartupDesignTime, HoldsPropertiesOnlyAndTakesTheFormsMenu) {
  ComputerNameGuard names;
  ComputerNameOverride machine("ESTACAO07");
  auto host = ReadTestHost({.DatabaseName = "no_such_alias", .AppKey = "", .Designing = true,
                            .StoreMenu = false});
  TQuarvel& security = *host->Quarvel1;
  EXPECT_EQ(security.Menu(), host->mnuMain);
  EXPECT_EQ(security.DatabaseName(), "no_such_alias");
  EXPECT_EQ(Users, nullptr);
  EXPECT_EQ(security.User(), nullptr);
  // No hooking: the host's own handler still runs and nothing is recorded.
  EXPECT_EQ(MenuHandlers[1].MenuName, "");
  host->mnuFileOpen->Click();
  EXPECT_EQ(host->Calls, (std::vector<std::string>{"mnuFileOpen"}));
  // The computer name is read at design time too.
  EXPECT_EQ(ComputerName, "ESTACAO07");
}

TEST(StartupDesignTime, AppKeyLengthIsCountedInCharacters) {
  auto host = ReadTestHost({.AppKey = kTwentyChars, .Designing = true});
  TQuarvel& security = *host->Quarvel1;
  EXPECT_EQ(security.AppKey(), kTwentyChars);
  EXPECT_EQ(ErrorOf<EQuarvelError>([&] { security.SetAppKey(kTwentyOneChars); }),
            "AppKey length can't be more than 20.");
  EXPECT_EQ(security.AppKey(), kTwentyChars);

  std::string accented;
  for (int i = 0; i < 20; ++i) accented += "ç";  // 20 characters, 40 bytes
  security.SetAppKey(accented);
  EXPECT_EQ(security.AppKey(), accented);
  EXPECT_THROW(security.SetAppKey(accented + "ç"), EQuarvelError);
  EXPECT_EQ(security.AppKey(), accented);
}

TEST(StartupDesignTime, ADestroyedMenuIsDroppedFromTheComponent) {
  auto host = ReadTestHost({.Designing = true});
  ASSERT_EQ(host->Quarvel1->Menu(), host->mnuMain);
  delete host->mnuMain;
  host->mnuMain = nullptr;
  EXPECT_EQ(host->Quarvel1->Menu(), nullptr);
}

TEST(StartupOwner, AnOwnerThatIsNoFormFailsWithNothingLeftBehind) {
  TComponent notAForm(nullptr);
  EXPECT_EQ(ErrorOf<EInvalidCast>([&] { new TQuarvel(&notAForm); }), "Invalid class typecast");
  EXPECT_EQ(Users, nullptr);
  EXPECT_EQ(notAForm.ComponentCount(), 0);

  EXPECT_THROW(new TQuarvel(nullptr), EInvalidCast);
  EXPECT_EQ(Users, nullptr);

  // The cast is checked at design time as well.
  TComponent designedOwner(nullptr);
  designedOwner.SetDesigning(true);
  EXPECT_THROW(new TQuarvel(&designedOwner), EInvalidCast);
  EXPECT_EQ(designedOwner.ComponentCount(), 0);
}

TEST(StartupOwner, AComponentCreatedOnAFormTakesItsMenuAndCreatesTheDataModule) {
  TForm form(nullptr);
  TMainMenu* menu = new TMainMenu(&form);
  form.SetMenu(menu);
  {
    TQuarvel security(&form);
    EXPECT_EQ(security.Menu(), menu);
    EXPECT_FALSE(security.AutoLogin());
    ASSERT_NE(Users, nullptr);
    EXPECT_FALSE(Users->qryUsers.Active());
    // Outside the reading of the form the key is a run-time assignment.
    EXPECT_EQ(ErrorOf<EQuarvelError>([&] { security.SetAppKey("STOCK"); }),
              "Appkey cannot be modified at runtime.");
    EXPECT_EQ(security.AppKey(), "");
  }
  EXPECT_EQ(Users, nullptr);
}

TEST(MenuHandlersTable, IndexesOneToAThousand) {
  MenuHandlers[1].MenuName = "first";
  MenuHandlers[1000].MenuName = "last";
  MenuHandlers[1000].OnClick = [](TObject&) {};
  EXPECT_EQ(MenuHandlers[1].MenuName, "first");
  EXPECT_TRUE(MenuHandlers[1000].OnClick);
  EXPECT_THROW(MenuHandlers[0], ERangeError);
  EXPECT_THROW(MenuHandlers[1001], ERangeError);
  EXPECT_THROW(MenuHandlers[-1], ERangeError);
  MenuHandlers.Clear();
  EXPECT_EQ(MenuHandlers[1].MenuName, "");
  EXPECT_FALSE(MenuHandlers[1000].OnClick);
}

// ---- On a security database --------------------------------------------------

class StartupTest : public test::SecurityDbTest {
 protected:
  TestHostSettings Settings() const { return {.DatabaseName = Alias(), .AppKey = "STOCK"}; }
  ComputerNameGuard names_;
};

TEST_P(StartupTest, MissingMenuOrAppKeyStopsStartUpWithItsMessage) {
  TestHostSettings noMenu = Settings();
  noMenu.WithMenu = false;
  EXPECT_EQ(ErrorOf<EQuarvelError>([&] { ReadTestHost(noMenu); }),
            "Missing Menu property in Quarvel1");
  EXPECT_EQ(Users, nullptr);

  TestHostSettings noKey = Settings();
  noKey.AppKey = "";
  EXPECT_EQ(ErrorOf<EQuarvelError>([&] { ReadTestHost(noKey); }),
            "Missing AppKey property in Quarvel1");

  // The menu is checked first.
  noMenu.AppKey = "";
  EXPECT_EQ(ErrorOf<EQuarvelError>([&] { ReadTestHost(noMenu); }),
            "Missing Menu property in Quarvel1");
}

TEST_P(StartupTest, AppKeyIsAcceptedWhileReadingAndRefusedAfterwards) {
  TestHostSettings settings = Settings();
  settings.AppKey = kTwentyChars;
  std::string refusedWhileReading;
  settings.ExtraBuild = [&](test::TTestHostForm& host) {
    refusedWhileReading = ErrorOf<EQuarvelError>([&] { host.Quarvel1->SetAppKey(kTwentyOneChars); });
  };
  auto host = ReadTestHost(settings);
  TQuarvel& security = *host->Quarvel1;
  EXPECT_EQ(refusedWhileReading, "AppKey length can't be more than 20.");
  EXPECT_EQ(security.AppKey(), kTwentyChars);

  for (const std::string& value : {std::string("OTHER"), std::string(kTwentyChars), std::string()}) {
    EXPECT_EQ(ErrorOf<EQuarvelError>([&] { security.SetAppKey(value); }),
              "Appkey cannot be modified at runtime.");
  }
  EXPECT_EQ(security.AppKey(), kTwentyChars);
}

TEST_P(StartupTest, WithoutAutoLoginTheTablesAreOpenOnTheAliasAndKey) {
  AddProg("STOCK", "mnuFileOpen", "Abrir");
  AddProg("OTHER", "mnuFileOpen", "Abrir");
  int maria = AddUser("maria", "segredo");
  AddUserInfo("STOCK", maria);
  AddUserInfo("OTHER", maria);

  auto host = ReadTestHost(Settings());
  ASSERT_NE(Users, nullptr);
  for (TQuery* query : {&Users->qryUsers, &Users->qryProgs, &Users->qryProfiles, &Users->qryUAccess,
                        &Users->qryPAccess, &Users->qryHistory, &Users->qryAudit, &Users->qryUserInfo}) {
    EXPECT_TRUE(query->Active()) << query->Name();
    EXPECT_EQ(query->DatabaseName(), Alias()) << query->Name();
  }
  for (TQuery* query : {&Users->qryUAccess, &Users->qryPAccess, &Users->qryProgs, &Users->qryAudit,
                        &Users->qryUserInfo})
    EXPECT_EQ(query->ParamByName("APP_KEY").AsString(), "STOCK") << query->Name();
  // Only this application's rows are selected; users are shared.
  EXPECT_EQ(Users->qryProgs.RecordCount(), 1);
  EXPECT_EQ(Users->qryUserInfo.RecordCount(), 1);
  EXPECT_EQ(Users->qryUsers.RecordCount(), 2);

  // Nobody is logged in yet: the record is there at its initial values.
  ASSERT_NE(host->Quarvel1->User(), nullptr);
  EXPECT_EQ(host->Quarvel1->User()->UserName(), "");
  EXPECT_EQ(host->Quarvel1->User()->UserID(), 0);
  EXPECT_FALSE(Application.Terminated());
}

// The rights, history and audit tables grow with the installation: neither
// start-up nor a login reads their rows. They are read when first used, and
// then hold what was stored after start-up as well.
TEST_P(StartupTest, StartUpAndLoginLeaveTheGrowingTablesUnread) {
  const int open = AddProg("STOCK", "mnuFileOpen", "Abrir");
  const int prof = AddProfile("Vendas");
  const int maria = AddUser("maria", "segredo", prof);
  AddUserInfo("STOCK", maria);
  SetPAccess("STOCK", prof, open, Value("1"));
  SetUAccess("STOCK", maria, open, Value("1"));
  AddHistory(maria, "antiga", "01/01/2020");

  auto host = ReadTestHost(Settings());
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("maria").Enter().Type("segredo").Enter();
  ASSERT_TRUE(host->Quarvel1->Login());
  EXPECT_TRUE(host->mnuFileOpen->Enabled());
  for (TQuery* query : {&Users->qryUAccess, &Users->qryPAccess, &Users->qryHistory, &Users->qryAudit}) {
    EXPECT_TRUE(query->Active()) << query->Name();
    EXPECT_TRUE(query->RowsPending()) << query->Name();
  }

  const int joao = AddUser("joao", "outra", prof);
  SetUAccess("STOCK", joao, open, Value("0"));
  EXPECT_EQ(Users->qryUAccess.RecordCount(), 2);
  EXPECT_EQ(Users->qryUAccess.Lookup("USER_ID", {Value(joao)}, "AUTHORIZED").AsString(), "0");
  EXPECT_EQ(Users->qryHistory.RecordCount(), 1);
  EXPECT_FALSE(Users->qryPAccess.IsEmpty());
}

TEST_P(StartupTest, ALaterLoginOpensNothingTwice) {
  auto host = ReadTestHost(Settings());
  int statements = 0;
  Db().SetStatementHook([&](std::string_view) { ++statements; });
  THeadlessBackend ui;
  ui.WhenShown("Login").Escape();
  EXPECT_FALSE(host->Quarvel1->Login());
  Db().SetStatementHook({});
  EXPECT_EQ(statements, 0);
  EXPECT_EQ(ui.Forms().size(), 1u);
}

TEST_P(StartupTest, ATableThatCannotBeOpenedNamesTheAliasAndTheEngineMessage) {
  Exec("DROP TABLE AUDIT");
  std::string prefix = Format(LoadStr(kStrOpenTablesFailed), {Alias()}) + " - ";
  std::string message = ErrorOf<EQuarvelError>([&] { ReadTestHost(Settings()); });
  EXPECT_EQ(message.rfind(prefix, 0), 0u) << message;
  EXPECT_GT(message.size(), prefix.size()) << "the engine's message is missing";
  EXPECT_NE(message.find("Não foi possível abrir tabelas em "), std::string::npos);
  EXPECT_EQ(Users, nullptr);
}

TEST_P(StartupTest, AnUnknownAliasGivesTheSessionsMessage) {
  TestHostSettings settings = Settings();
  settings.DatabaseName = "qv_alias_nobody_defined";
  std::string expected;
  try {
    Session::Default().FindAlias(settings.DatabaseName);
  } catch (const EDatabaseError& error) {
    expected = "Não foi possível abrir tabelas em qv_alias_nobody_defined - " + std::string(error.what());
  }
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(ErrorOf<EQuarvelError>([&] { ReadTestHost(settings); }), expected);
}

TEST_P(StartupTest, TheComputerNameIsReadAndAMissingOneKeepsThePrevious) {
  {
    ComputerNameOverride none("");
    auto host = ReadTestHost(Settings());
    EXPECT_EQ(ComputerName, "");
    // Start-up went on to the hooking.
    EXPECT_EQ(MenuHandlers[1].MenuName, "mnuFileOpen");
  }
  {
    ComputerNameOverride machine("ESTACAO01");
    auto host = ReadTestHost(Settings());
    EXPECT_EQ(ComputerName, "ESTACAO01");
  }
  {
    ComputerNameOverride none("");
    auto host = ReadTestHost(Settings());
    EXPECT_EQ(ComputerName, "ESTACAO01");
  }
}

TEST_P(StartupTest, DestroyingTheComponentFreesItsOwnDataModule) {
  auto first = ReadTestHost(Settings());
  TUsers* firstModule = Users;
  ASSERT_NE(firstModule, nullptr);
  delete first->Quarvel1;
  first->Quarvel1 = nullptr;
  EXPECT_EQ(Users, nullptr);

  // With two instances the later one owns the global; destroying the earlier
  // one must leave the later one's module alone.
  auto earlier = ReadTestHost(Settings());
  auto later = ReadTestHost(Settings());
  TUsers* laterModule = Users;
  earlier.reset();
  EXPECT_EQ(Users, laterModule);
  EXPECT_TRUE(Users->qryUsers.Active());
  later.reset();
  EXPECT_EQ(Users, nullptr);
}

TEST_P(StartupTest, ACancelledAutoLoginAsksTheApplicationToEndAfterStartUp) {
  ComputerNameOverride machine("ESTACAO02");
  THeadlessBackend ui;
  ui.WhenShown("Login").Escape();
  TestHostSettings settings = Settings();
  settings.AutoLogin = true;
  auto host = ReadTestHost(settings);
  EXPECT_TRUE(Application.Terminated());
  // Start-up still ran to its end.
  EXPECT_EQ(MenuHandlers[1].MenuName, "mnuFileOpen");
  EXPECT_EQ(ComputerName, "ESTACAO02");
  Application.ClearTerminated();
}

TEST_P(StartupTest, ASuccessfulAutoLoginLeavesTheApplicationRunning) {
  THeadlessBackend ui;
  ui.WhenShown("Login").Type("master").Enter().Type(test::kMasterPassword).Enter();
  TestHostSettings settings = Settings();
  settings.AutoLogin = true;
  auto host = ReadTestHost(settings);
  EXPECT_FALSE(Application.Terminated());
  EXPECT_EQ(host->Quarvel1->User()->UserName(), "master");
  EXPECT_EQ(host->Quarvel1->User()->UserID(), test::kMasterId);
}

QV_INSTANTIATE_ENGINES(StartupTest);

}  // namespace
}  // namespace qv

// The audit of menu commands: the hooking at start-up and the row each
// command of an audited user leaves, through the component on a real
// security database.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qvd3/component/date_format.h"
#include "qvd3/component/quarvel.h"
#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/computer_name.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

// One AUDIT row, read by column position so that the column order counts.
struct AuditRow {
  std::vector<std::string> names;
  std::vector<std::string> values;
};

class AuditTest : public SecurityDbTest {
 protected:
  void SetUp() override {
    SecurityDbTest::SetUp();
    saved_time_pattern_ = LongTimeFormat();
    SetLongTimeFormat("hh:nn:ss");
    Clock().Set(EncodeDateTime(kTodayYear, kTodayMonth, kTodayDay, 10, 30, 0));
  }
  void TearDown() override {
    host_.reset();
    SetLongTimeFormat(saved_time_pattern_);
    SecurityDbTest::TearDown();
  }

  TTestHostForm& ReadHost(TestHostSettings settings = {}) {
    settings.DatabaseName = Alias();
    host_ = ReadTestHost(settings);
    return *host_;
  }
  TTestHostForm& Host() { return *host_; }
  TMenuItem& Item(const std::string& name) { return *host_->Item(name); }

  // An active user of `appKey` with every walked item catalogued and
  // granted, in a profile that disables what is not granted.
  int AddAuditedUser(const std::string& name, const std::string& userAudit = "1",
                     const std::string& profileAudit = "0", const std::string& appKey = "STOCK") {
    const int profile = AddProfile("Perfil " + name, "0", std::nullopt, 2, profileAudit);
    const int id = AddUser(name, "segredo", profile, userAudit);
    AddUserInfo(appKey, id);
    for (const char* item : kWalkedItems) {
      if (menu_ids_.count(item) == 0) menu_ids_[item] = AddProg(appKey, item, item);
      SetUAccess(appKey, id, menu_ids_[item], "1");
    }
    return id;
  }

  void LoginAs(const std::string& name, const std::string& password = "segredo") {
    ui_.WhenShown("Login").Type(name).Enter().Type(password).Enter();
    ASSERT_TRUE(Host().Quarvel1->Login()) << "login of " << name << " failed";
  }

  long long AuditCount() { return Count("SELECT COUNT(*) FROM AUDIT"); }

  std::vector<AuditRow> AuditRows() {
    TQuery query;
    query.SetDatabaseName(OwnerAlias());
    query.SetSQL("SELECT * FROM AUDIT ORDER BY START_SESSION, PROG_ID");
    query.Open();
    std::vector<AuditRow> rows;
    for (; !query.Eof(); query.Next()) {
      AuditRow row;
      for (TField* field : query.Fields()) {
        row.names.push_back(field->FieldName());
        row.values.push_back(field->AsString());
      }
      rows.push_back(std::move(row));
    }
    return rows;
  }

  THeadlessBackend ui_;
  std::unique_ptr<TTestHostForm> host_;
  std::map<std::string, int> menu_ids_;
  std::string saved_time_pattern_;
};

std::vector<std::string> Upper(std::vector<std::string> names) {
  for (std::string& name : names)
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return names;
}

TEST_P(AuditTest, EveryHandledItemOfTheWalkIsRecordedInOrderAndNothingElse) {
  ReadHost();
  for (int slot = 1; slot <= static_cast<int>(kHandledItems.size()); ++slot)
    EXPECT_EQ(MenuHandlers[slot].MenuName, kHandledItems[slot - 1]) << "slot " << slot;
  EXPECT_EQ(MenuHandlers[static_cast<int>(kHandledItems.size()) + 1].MenuName, "");
  EXPECT_FALSE(MenuHandlers[static_cast<int>(kHandledItems.size()) + 1].OnClick);
  // Items without a handler stay without one.
  EXPECT_FALSE(Item("mnuFile").OnClick);
  EXPECT_FALSE(Item("mnuHelp").OnClick);
}

TEST_P(AuditTest, AnItemWithoutANameKeepsItsOwnHandlerAndIsNotRecorded) {
  TMenuItem* unnamed = nullptr;
  int runs = 0;
  TestHostSettings settings;
  settings.ExtraBuild = [&](TTestHostForm& host) {
    unnamed = new TMenuItem(&host);
    unnamed->SetCaption("Sem nome");
    unnamed->OnClick = [&runs](TObject&) { ++runs; };
    host.mnuHelp->Add(unnamed);
  };
  ReadHost(settings);

  EXPECT_EQ(MenuHandlers[static_cast<int>(kHandledItems.size()) + 1].MenuName, "");
  EXPECT_FALSE(MenuHandlers[static_cast<int>(kHandledItems.size()) + 1].OnClick);
  unnamed->Click();
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(Host().Calls.empty());  // no other item's command ran in its place
}

TEST_P(AuditTest, ACommandOfAnAuditedUserLeavesOneRowWithTheSixValuesInColumnOrder) {
  ComputerNameOverride computer("PC-01");
  const int maria = AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  // The command keeps a modal window open for a minute.
  Host().OnCommand = [&](const std::string&) { Clock().Advance(1.0 / (24 * 60)); };

  ASSERT_TRUE(Item("mnuFileOpen").ChooseByPerson());

  EXPECT_EQ(Host().Calls, std::vector<std::string>{"mnuFileOpen"});
  EXPECT_EQ(Host().LastSender, &Item("mnuFileOpen"));
  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Upper(rows[0].names), (std::vector<std::string>{"APP_KEY", "USER_ID", "PROG_ID",
                                                            "START_SESSION", "END_SESSION",
                                                            "COMPUTER_NAME"}));
  EXPECT_EQ(rows[0].values,
            (std::vector<std::string>{"STOCK", std::to_string(maria),
                                      std::to_string(menu_ids_["mnuFileOpen"]),
                                      "15/03/2026 10:30:00", "15/03/2026 10:31:00", "PC-01"}));

  ASSERT_TRUE(Item("mnuFilePrint").ChooseByPerson());
  EXPECT_EQ(AuditCount(), 2);
}

TEST_P(AuditTest, TimeStampsAreWrittenUnderTheNormalisedPatternWhichIsThenRestored) {
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  SetShortDateFormat("d/M/yy");
  Clock().Set(EncodeDateTime(2026, 3, 5, 9, 5, 7));

  Item("mnuReports").Click();

  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[3], "05/03/2026 09:05:07");
  EXPECT_EQ(rows[0].values[3].size(), 19u);
}

TEST_P(AuditTest, ACommandEndingExactlyAtMidnightWritesTheEndDateWithoutTime) {
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  Clock().Set(EncodeDateTime(2026, 3, 15, 23, 59, 30));
  Host().OnCommand = [&](const std::string&) { Clock().Set(EncodeDate(2026, 3, 16)); };

  Item("mnuHelpAbout").Click();

  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[3], "15/03/2026 23:59:30");
  EXPECT_EQ(rows[0].values[4], "16/03/2026");
}

// A machine with a 12-hour clock (en_US: "%m/%d/%Y" and "%r"): the stamps
// still fit their 19-character columns on both engines, in two-digit 24-hour
// time, and read back to the moments they record.
TEST_P(AuditTest, UnderATwelveHourClockStampsAreNineteenCharactersOfTwentyFourHourTime) {
  if (IsSecured()) GTEST_SKIP() << "a secured database records its date pattern, which overrides the machine's";
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  SetShortDateFormat(DatePatternFromStrftime("%m/%d/%Y"));
  SetLongTimeFormat(TimePatternFromStrftime("%r"));
  const TDateTime start = EncodeDateTime(2026, 3, 5, 14, 5, 7);
  Clock().Set(start);
  Host().OnCommand = [&](const std::string&) { Clock().Set(EncodeDateTime(2026, 3, 5, 23, 59, 58)); };

  Item("mnuReports").Click();

  EXPECT_EQ(LongTimeFormat(), "hh:nn:ss AM/PM");
  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[3], "03/05/2026 14:05:07");
  EXPECT_EQ(rows[0].values[4], "03/05/2026 23:59:58");
  ScopedNormalizedDateFormat normalized;
  EXPECT_EQ(StrToDateTime(rows[0].values[3]), start);
  EXPECT_EQ(StrToDateTime(rows[0].values[4]), EncodeDateTime(2026, 3, 5, 23, 59, 58));
}

TEST_P(AuditTest, TheUsersOrTheProfilesAuditModeAuditsAndNeitherMeansNoRow) {
  AddAuditedUser("byprofile", "0", "1");
  AddAuditedUser("byuser", "1", "0");
  AddAuditedUser("nobody", "0", "0");
  ReadHost();

  LoginAs("nobody");
  Item("mnuFileOpen").Click();
  EXPECT_EQ(AuditCount(), 0);
  EXPECT_EQ(Host().Calls.size(), 1u);  // the command itself still ran

  LoginAs("byprofile");
  Item("mnuFileOpen").Click();
  EXPECT_EQ(AuditCount(), 1);

  LoginAs("byuser");
  Item("mnuFileOpen").Click();
  EXPECT_EQ(AuditCount(), 2);
}

TEST_P(AuditTest, MasterIsAuditedOnlyWhenItsOwnAuditModeSaysSo) {
  ReadHost();
  LoginAs("master", kMasterPassword);
  Item("mnuReports").Click();
  EXPECT_EQ(AuditCount(), 0);

  host_.reset();
  ExecWith("UPDATE QUARVEL SET AUDIT_MODE='1' WHERE USER_ID=:ID", {{"ID", kMasterId}});
  ReadHost();
  LoginAs("master", kMasterPassword);
  Item("mnuReports").Click();
  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[1], std::to_string(kMasterId));
}

TEST_P(AuditTest, NothingIsWrittenBeforeAnyLogin) {
  AddAuditedUser("maria");
  ReadHost();

  Item("mnuFileOpen").Click();

  EXPECT_EQ(Host().Calls, std::vector<std::string>{"mnuFileOpen"});
  EXPECT_EQ(AuditCount(), 0);
}

TEST_P(AuditTest, AFailingCommandLeavesNoRowAndItsErrorReachesTheCallerUnchanged) {
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  Host().OnCommand = [](const std::string&) { throw EConvertError("'x' is not a valid date"); };

  try {
    Item("mnuFilePrint").Click();
    FAIL() << "the command's error was swallowed";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid date");
  }
  EXPECT_EQ(AuditCount(), 0);
  EXPECT_EQ(ShortDateFormat(), kTestDatePattern);
}

TEST_P(AuditTest, AFailedInsertPropagatesAfterTheCommandRanAndRestoresTheDatePattern) {
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  SetShortDateFormat("d/M/yy");
  Db().FailNthStatement(1, "disk full");

  EXPECT_THROW(Item("mnuFilePrint").Click(), EDatabaseError);

  EXPECT_EQ(Host().Calls, std::vector<std::string>{"mnuFilePrint"});
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  EXPECT_EQ(AuditCount(), 0);
  // The next command is recorded normally.
  Item("mnuFilePrint").Click();
  EXPECT_EQ(AuditCount(), 1);
}

TEST_P(AuditTest, ATopLevelItemWithItsOwnHandlerIsAudited) {
  const int maria = AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");

  Item("mnuReports").Click();

  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[1], std::to_string(maria));
  EXPECT_EQ(rows[0].values[2], std::to_string(menu_ids_["mnuReports"]));
}

TEST_P(AuditTest, QuotesInTheApplicationKeyAndTheComputerNameAreStoredAsData) {
  ComputerNameOverride computer("PC d'Ávila'); --");
  AddAuditedUser("maria", "1", "0", "O'Brien");
  std::vector<std::string> statements;
  TestHostSettings settings;
  settings.AppKey = "O'Brien";
  ReadHost(settings);
  LoginAs("maria");
  Db().SetStatementHook([&](std::string_view sql) { statements.emplace_back(sql); });

  Item("mnuExportXml").Click();

  Db().SetStatementHook({});
  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[0], "O'Brien");
  EXPECT_EQ(rows[0].values[2], std::to_string(menu_ids_["mnuExportXml"]));
  EXPECT_EQ(rows[0].values[5], "PC d'Ávila'); --");
  for (const std::string& sql : statements) EXPECT_EQ(sql.find("Brien"), std::string::npos) << sql;
}

TEST_P(AuditTest, AComputerNameLongerThanTheColumnIsCutToItsWidth) {
  ComputerNameOverride computer(std::string(40, 'c'));
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");

  Item("mnuFileOpen").Click();

  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[5], std::string(30, 'c'));
}

TEST_P(AuditTest, AnItemWithoutCatalogueRowIsRecordedWithProgIdZeroAndTheCursorStays) {
  ExecWith("UPDATE QUARVEL SET AUDIT_MODE='1' WHERE USER_ID=:ID", {{"ID", kMasterId}});
  AddProg("STOCK", "mnuFileOpen", "Abrir");
  const int help = AddProg("STOCK", "mnuHelp", "Ajuda");
  ReadHost();
  LoginAs("master", kMasterPassword);
  TQuery& catalogue = Users->qryProgs;
  ASSERT_TRUE(catalogue.Locate("MENU_NAME", "mnuHelp"));

  Item("mnuFilePrint").Click();  // not in the catalogue

  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].values[2], "0");
  EXPECT_EQ(catalogue.FieldByName("MENU_ID").AsInteger(), help);
}

TEST_P(AuditTest, ACommandThatRunsAnotherCommandLeavesARowForEach) {
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  Host().OnCommand = [&](const std::string& name) {
    Clock().Advance(1.0 / (24 * 3600));
    if (name == "mnuFileOpen") Item("mnuHelpAbout").Click();
  };

  Item("mnuFileOpen").Click();

  EXPECT_EQ(Host().Calls, (std::vector<std::string>{"mnuFileOpen", "mnuHelpAbout"}));
  const auto rows = AuditRows();
  ASSERT_EQ(rows.size(), 2u);
  // Ordered by start: the outer command started first and ended last.
  EXPECT_EQ(rows[0].values[2], std::to_string(menu_ids_["mnuFileOpen"]));
  EXPECT_EQ(rows[0].values[4], "15/03/2026 10:30:02");
  EXPECT_EQ(rows[1].values[2], std::to_string(menu_ids_["mnuHelpAbout"]));
  EXPECT_EQ(rows[1].values[3], "15/03/2026 10:30:01");
}

// Adds `count` items with a click handler under a new top-level item.
void AddHandledItems(TTestHostForm& host, int count) {
  auto* more = new TMenuItem(&host);
  more->SetName("mnuMore");
  more->SetCaption("Mais");
  host.mnuMain->Items()->Add(more);
  for (int i = 1; i <= count; ++i) {
    auto* item = new TMenuItem(&host);
    item->SetName("mnuMore" + std::to_string(i));
    item->SetCaption("Mais " + std::to_string(i));
    const std::string name = item->Name();
    item->OnClick = [&host, name](TObject&) { host.Calls.push_back(name); };
    more->Add(item);
  }
}

// A menu that outlives the component runs the host's own commands again,
// unaudited, instead of reaching the destroyed component's interceptor.
TEST_P(AuditTest, DestroyingTheComponentGivesEveryItemItsOwnCommandBack) {
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  delete Host().Quarvel1;
  Host().Quarvel1 = nullptr;

  for (int slot = 1; slot <= static_cast<int>(kHandledItems.size()); ++slot)
    EXPECT_FALSE(MenuHandlers[slot].OnClick) << "slot " << slot << " still holds a command";
  Item("mnuFileOpen").Click();
  Item("mnuReports").Click();
  EXPECT_EQ(Host().Calls, (std::vector<std::string>{"mnuFileOpen", "mnuReports"}));
  EXPECT_EQ(Host().LastSender, &Item("mnuReports"));
  EXPECT_EQ(AuditCount(), 0);
}

// Starting up a second time takes the items over afresh: each command still
// runs once and is audited once, rather than the interceptor being recorded
// as the host's command and calling itself.
TEST_P(AuditTest, HookingAgainRecordsTheHostsCommandsNotTheInterceptor) {
  AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  Host().Quarvel1->Loaded();
  LoginAs("maria");

  for (int slot = 1; slot <= static_cast<int>(kHandledItems.size()); ++slot)
    EXPECT_EQ(MenuHandlers[slot].MenuName, kHandledItems[slot - 1]) << "slot " << slot;
  Item("mnuFileOpen").Click();
  EXPECT_EQ(Host().Calls, std::vector<std::string>{"mnuFileOpen"});
  EXPECT_EQ(AuditCount(), 1);
}

// Two main windows of one program (the same item names), each with its own
// component and user: every item runs its own window's command, audited
// under its own window's user, also once the other window is gone, in
// either order.
TEST_P(AuditTest, TwoComponentsEachRunAndAuditTheirOwnCommands) {
  if (IsSecured())
    GTEST_SKIP() << "components on one alias share its connection, to which a secured database binds one user";
  const int maria = AddAuditedUser("maria");
  const int joao = AddAuditedUser("joao");
  const std::vector<std::string> handled(kHandledItems.begin(), kHandledItems.end());
  for (const bool closeFirst : {true, false}) {
    SCOPED_TRACE(closeFirst ? "the first window closes" : "the second window closes");
    Exec("DELETE FROM AUDIT");
    TestHostSettings settings;
    settings.DatabaseName = Alias();
    std::unique_ptr<TTestHostForm> first = ReadTestHost(settings);
    std::unique_ptr<TTestHostForm> second = ReadTestHost(settings);
    ui_.WhenShown("Login").Type("maria").Enter().Type("segredo").Enter();
    ASSERT_TRUE(first->Quarvel1->Login());
    ui_.WhenShown("Login").Type("joao").Enter().Type("segredo").Enter();
    ASSERT_TRUE(second->Quarvel1->Login());

    first->Item("mnuFileOpen")->Click();
    second->Item("mnuReports")->Click();
    EXPECT_EQ(first->Calls, std::vector<std::string>{"mnuFileOpen"});
    EXPECT_EQ(second->Calls, std::vector<std::string>{"mnuReports"});
    EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE USER_ID=:U AND PROG_ID=:P",
                    {{"U", maria}, {"P", menu_ids_["mnuFileOpen"]}}), 1);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE USER_ID=:U AND PROG_ID=:P",
                    {{"U", joao}, {"P", menu_ids_["mnuReports"]}}), 1);

    std::unique_ptr<TTestHostForm>& kept = closeFirst ? second : first;
    const int keptUser = closeFirst ? joao : maria;
    (closeFirst ? first : second).reset();
    kept->Calls.clear();
    for (const std::string& item : handled) kept->Item(item)->Click();
    EXPECT_EQ(kept->Calls, handled);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM AUDIT WHERE USER_ID=:U", {{"U", keptUser}}), 1 + 8);
    EXPECT_EQ(AuditCount(), 2 + 8);
    // Its administration window opens on its own data module.
    ui_.WhenShown("UsersAdministration").CloseBox();
    kept->Quarvel1->UsersAdm();
    EXPECT_TRUE(ui_.UnusedScripts().empty());
  }
}

TestHostSettings WithHandledItems(int count) {
  TestHostSettings settings;
  settings.ExtraBuild = [count](TTestHostForm& host) { AddHandledItems(host, count); };
  return settings;
}

TEST_P(AuditTest, AThousandCommandsAreHookedAndTheLastOneWorks) {
  const int extra = TMenuHandlerTable::kSize - static_cast<int>(kHandledItems.size());
  ReadHost(WithHandledItems(extra));
  const std::string last = "mnuMore" + std::to_string(extra);

  EXPECT_EQ(MenuHandlers[TMenuHandlerTable::kSize].MenuName, last);
  Item(last).Click();
  EXPECT_EQ(Host().Calls, std::vector<std::string>{last});
}

TEST_P(AuditTest, AThousandAndFirstCommandMakesStartUpFailWithARangeError) {
  const int extra = TMenuHandlerTable::kSize - static_cast<int>(kHandledItems.size()) + 1;
  try {
    ReadHost(WithHandledItems(extra));
    FAIL() << "start-up accepted 1001 menu commands";
  } catch (const ERangeError& e) {
    EXPECT_NE(std::string(e.what()).find("Too many menu commands"), std::string::npos) << e.what();
  }
}

// A command the host adds after start-up, or an item whose handler the host
// replaces, is taken over at the next login: audited like the others, and
// refused like the others when not granted.
TEST_P(AuditTest, CommandsAddedOrRewiredAfterStartUpAreAuditedFromTheNextLogin) {
  const int maria = AddAuditedUser("maria");
  ReadHost();
  LoginAs("maria");
  std::vector<std::string> ran;
  auto* late = new TMenuItem(&Host());
  late->SetName("mnuLate");
  late->SetCaption("Tarde");
  late->OnClick = [&](TObject&) { ran.push_back("mnuLate"); };
  Host().mnuHelp->Add(late);
  Item("mnuReports").OnClick = [&](TObject&) { ran.push_back("mnuReports"); };

  LoginAs("maria");
  EXPECT_FALSE(late->Enabled()) << "not catalogued, so refused to everybody but master";
  SetUAccess("STOCK", maria, AddProg("STOCK", "mnuLate", "Tarde"), "1");
  LoginAs("maria");
  ASSERT_TRUE(late->Enabled());
  late->Click();
  Item("mnuReports").Click();

  EXPECT_EQ(ran, (std::vector<std::string>{"mnuLate", "mnuReports"}));
  EXPECT_EQ(AuditCount(), 2);
  // Logging in again takes nothing over twice: one run, one row.
  LoginAs("maria");
  late->Click();
  EXPECT_EQ(ran.size(), 3u);
  EXPECT_EQ(AuditCount(), 3);
}

QV_INSTANTIATE_ENGINES_AND_SECURED(AuditTest);

}  // namespace
}  // namespace qv::test

// qvsetup's commands, run in-process as the program runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/schema.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "tests/support/db/engine_fixture.h"
#include "tools/qvsetup/setup_commands.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using setup::kExitFailed;
using setup::kExitOk;
using setup::kExitUsage;
using Names = std::vector<std::string>;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome RunQvsetup(const Names& args, const std::string& input = "") {
  std::ostringstream out, err;
  std::istringstream in(input);
  int status = setup::RunSetup(args, out, err, in);
  return {status, out.str(), err.str()};
}

int Occurrences(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- On an empty database of each engine ------------------------------------

class QvsetupDbTest : public test::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    saved_pattern_ = ShortDateFormat();
    SetShortDateFormat("d/M/yy");
  }
  void TearDown() override {
    SetShortDateFormat(saved_pattern_);
    EngineTest::TearDown();
  }
  std::string Scalar(const std::string& sql) {
    TQuery query;
    query.SetDatabaseName(Alias());
    query.SetSQL(sql);
    query.Open();
    return query.IsEmpty() ? std::string("<no row>") : query.Fields()[0]->AsString();
  }
  void CreateAllTables() {
    for (const std::string& statement : CreateSchemaStatements(EngineName())) Exec(statement);
  }
  ClockOverride clock_{EncodeDateTime(2026, 12, 7, 9, 0, 0)};
  std::string saved_pattern_;
};

TEST_P(QvsetupDbTest, InitCreatesTheTablesAndTheAdministrator) {
  // 20 characters, 36 bytes, from standard input: the first line, without
  // its line end. The limit counts characters.
  const std::string password = "segredo-ação-€€€€€€€";
  Outcome init = RunQvsetup({"init", Alias(), "--master-password-file", "-"}, password + "\r\nignored\n");
  ASSERT_EQ(init.status, kExitOk) << init.err;
  EXPECT_TRUE(Contains(init.out, Alias()));
  EXPECT_EQ(setup::ExistingSecurityTables(Alias()).size(), SecurityTables().size());

  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM QUARVEL"), "1");
  EXPECT_EQ(Scalar("SELECT USER_ID FROM QUARVEL WHERE USERQV_NAME='master'"), "1");
  EXPECT_EQ(Scalar("SELECT PROFILE_ID FROM QUARVEL"), "0");
  EXPECT_EQ(Scalar("SELECT AUDIT_MODE FROM QUARVEL"), "0");
  EXPECT_EQ(DecodePassword(Scalar("SELECT USER_PWD FROM QUARVEL")), password);
  // Today's date widened from the machine's d/M/yy.
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL"), "07/12/2026");
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");

  Outcome check = RunQvsetup({"check", Alias()});
  EXPECT_EQ(check.status, kExitOk) << check.out << check.err;
}

TEST_P(QvsetupDbTest, InitRefusesADatabaseHoldingAnyOfTheTablesAndChangesNothing) {
  Exec("CREATE TABLE progs (X INTEGER)");
  Outcome init = RunQvsetup({"init", Alias(), "--master-password=segredo"});
  EXPECT_EQ(init.status, kExitFailed);
  EXPECT_TRUE(Contains(init.err, "alias '" + Alias() + "'")) << init.err;
  EXPECT_TRUE(Contains(init.err, "PROGS")) << init.err;
  EXPECT_EQ(setup::ExistingSecurityTables(Alias()), (Names{"PROGS"}));
}

TEST_P(QvsetupDbTest, AFailedInitLeavesNoTableBehind) {
  // Statement 1 is the look at the catalogue, then one per creation
  // statement; the next one, the administrator's row, fails.
  int insertStatement = static_cast<int>(CreateSchemaStatements(EngineName()).size()) + 2;
  Db().FailNthStatement(insertStatement, "injected failure");
  Outcome init = RunQvsetup({"init", Alias(), "--master-password", "segredo"});
  Db().SetStatementHook({});
  EXPECT_EQ(init.status, kExitFailed);
  EXPECT_TRUE(Contains(init.err, "injected failure")) << init.err;
  EXPECT_TRUE(Contains(init.err, Alias())) << init.err;
  EXPECT_TRUE(setup::ExistingSecurityTables(Alias()).empty());
}

TEST_P(QvsetupDbTest, CheckReportsMissingTablesColumnsAndAdministrator) {
  Outcome empty = RunQvsetup({"check", Alias()});
  EXPECT_EQ(empty.status, kExitFailed);
  EXPECT_TRUE(Contains(empty.out, "table QUARVEL is missing")) << empty.out;
  EXPECT_TRUE(Contains(empty.out, "table USERINFO is missing")) << empty.out;

  CreateAllTables();
  setup::CheckResult noMaster = setup::CheckDatabase(Alias());
  EXPECT_EQ(noMaster.problems, (Names{"table QUARVEL has no row for the user \"master\""}));

  Exec("DROP TABLE AUDIT");
  Exec("ALTER TABLE USERINFO DROP COLUMN USER_ACTIVE");
  setup::CheckResult damaged = setup::CheckDatabase(Alias());
  EXPECT_EQ(damaged.problems,
            (Names{"table AUDIT is missing", "table USERINFO has no column USER_ACTIVE"}));
}

TEST_P(QvsetupDbTest, ErrorsNameTheAliasOnce) {
  Outcome unknown = RunQvsetup({"check", "qv_alias_nobody_defined"});
  EXPECT_EQ(unknown.status, kExitFailed);
  EXPECT_EQ(Occurrences(unknown.err, "'qv_alias_nobody_defined'"), 1) << unknown.err;
  EXPECT_TRUE(Contains(unknown.err, "aliases files searched")) << unknown.err;

  Outcome init = RunQvsetup({"init", "qv_alias_nobody_defined", "--master-password", "x"});
  EXPECT_EQ(init.status, kExitFailed);
  EXPECT_EQ(Occurrences(init.err, "'qv_alias_nobody_defined'"), 1) << init.err;

  Exec("CREATE TABLE AUDIT (X INTEGER)");
  Outcome refused = RunQvsetup({"init", Alias(), "--master-password", "x"});
  EXPECT_EQ(Occurrences(refused.err, "'" + Alias() + "'"), 1) << refused.err;
}

TEST_P(QvsetupDbTest, InitRecordsTheMachinesDatePatternOrTheOneGiven) {
  Outcome byMachine = RunQvsetup({"init", Alias(), "--master-password", "segredo"});
  ASSERT_EQ(byMachine.status, kExitOk) << byMachine.err;
  EXPECT_TRUE(Contains(byMachine.out, "stored dates follow the pattern dd/mm/yyyy")) << byMachine.out;
  EXPECT_EQ(ReadDatePattern(Alias()), "dd/mm/yyyy");  // widened from the machine's d/M/yy

  for (const char* table : {"QVDATEPATTERN", "AUDIT", "USERINFO", "UACCESS", "PACCESS", "HISTORY", "PROGS",
                            "PROFILES", "QUARVEL"})
    Exec(std::string("DROP TABLE ") + table);
  Outcome given = RunQvsetup({"init", Alias(), "--master-password", "segredo", "--date-pattern", "YYYY-MM-DD"});
  ASSERT_EQ(given.status, kExitOk) << given.err;
  EXPECT_EQ(ReadDatePattern(Alias()), "yyyy-mm-dd");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL"), "2026-12-07");
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  EXPECT_EQ(DatabaseDateFormat(), "");
}

TEST_P(QvsetupDbTest, InitRefusesAPatternThatCannotBeRecordedBeforeAnythingElse) {
  Outcome init = RunQvsetup({"init", Alias(), "--date-pattern", "d/m/yy"});  // no password either
  EXPECT_EQ(init.status, kExitUsage);
  EXPECT_TRUE(Contains(init.err, "'d/m/yy' is not a date pattern")) << init.err;
  EXPECT_TRUE(setup::ExistingSecurityTables(Alias()).empty());

  SetShortDateFormat("yyyymmdd");  // a machine whose date elements touch
  Outcome machine = RunQvsetup({"init", Alias(), "--master-password", "segredo"});
  EXPECT_EQ(machine.status, kExitFailed);
  EXPECT_TRUE(Contains(machine.err, "--date-pattern")) << machine.err;
  EXPECT_TRUE(setup::ExistingSecurityTables(Alias()).empty());
}

// Dates stored in the other order before the record existed: the pattern
// they contradict is refused with the count and the place, and nothing
// changes; one they agree with is recorded.
TEST_P(QvsetupDbTest, DatePatternRefusesAPatternTheStoredDatesContradict) {
  Outcome noTables = RunQvsetup({"date-pattern", Alias(), "dd/mm/yyyy"});
  EXPECT_EQ(noTables.status, kExitFailed);
  EXPECT_EQ(Occurrences(noTables.err, "'" + Alias() + "'"), 1) << noTables.err;

  ASSERT_EQ(RunQvsetup({"init", Alias(), "--master-password", "segredo"}).status, kExitOk);
  Exec("INSERT INTO AUDIT VALUES ('STOCK', 1, 1, '03/20/2026 10:00:00', '03/20/2026 10:05:00', 'PC')");
  Exec("INSERT INTO HISTORY VALUES (1, 'velha', '12/25/2026')");
  Exec("UPDATE QUARVEL SET LAST_PWD_CHANGE = '12/07/2026'");

  Outcome refused = RunQvsetup({"date-pattern", Alias(), "dd/mm/yyyy"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_TRUE(Contains(refused.err, "3 stored dates cannot be read under dd/mm/yyyy")) << refused.err;
  EXPECT_TRUE(Contains(refused.err, "HISTORY.CHANGE_DATE 1 (for example '12/25/2026')")) << refused.err;
  EXPECT_TRUE(Contains(refused.err, "AUDIT.START_SESSION 1")) << refused.err;
  EXPECT_TRUE(Contains(refused.err, "AUDIT.END_SESSION 1")) << refused.err;
  EXPECT_FALSE(Contains(refused.err, "QUARVEL")) << refused.err;  // 12/07 reads in either order
  EXPECT_EQ(ReadDatePattern(Alias()), "dd/mm/yyyy");               // as init recorded it

  // Under the record the 12th of July; it stays that day in the new order,
  // and the dates only the new order reads are kept as they are.
  Outcome recorded = RunQvsetup({"date-pattern", Alias(), "MM/DD/YYYY"});
  EXPECT_EQ(recorded.status, kExitOk) << recorded.err;
  EXPECT_TRUE(Contains(recorded.out, "rewrote 1 stored date(s) from dd/mm/yyyy to mm/dd/yyyy")) << recorded.out;
  EXPECT_TRUE(Contains(recorded.out, "stored dates follow the pattern mm/dd/yyyy")) << recorded.out;
  EXPECT_EQ(ReadDatePattern(Alias()), "mm/dd/yyyy");
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL"), "07/12/2026");
  EXPECT_EQ(Scalar("SELECT CHANGE_DATE FROM HISTORY"), "12/25/2026");

  // Back to day first: a date no order reads refuses the change, and the
  // rewrite made before the look is undone with it.
  Exec("INSERT INTO HISTORY VALUES (1, 'outra', '99/99/2026')");
  Outcome refusedBack = RunQvsetup({"date-pattern", Alias(), "dd/mm/yyyy"});
  EXPECT_EQ(refusedBack.status, kExitFailed);
  EXPECT_TRUE(Contains(refusedBack.err, "HISTORY.CHANGE_DATE 1 (for example '99/99/2026'); nothing was changed"))
      << refusedBack.err;
  EXPECT_EQ(Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL"), "07/12/2026");
  EXPECT_EQ(ReadDatePattern(Alias()), "mm/dd/yyyy");
  Exec("DELETE FROM HISTORY WHERE CHANGE_DATE = '99/99/2026'");
  Outcome back = RunQvsetup({"date-pattern", Alias(), "dd/mm/yyyy"});
  EXPECT_EQ(back.status, kExitOk) << back.err;
  EXPECT_TRUE(Contains(back.out, "rewrote 4 stored date(s)")) << back.out;
  EXPECT_EQ(Scalar("SELECT CHANGE_DATE FROM HISTORY"), "25/12/2026");
  EXPECT_EQ(Scalar("SELECT START_SESSION FROM AUDIT"), "20/03/2026 10:00:00");
  EXPECT_EQ(RunQvsetup({"date-pattern", Alias(), "mm/dd"}).status, kExitFailed);
  EXPECT_EQ(RunQvsetup({"date-pattern", Alias()}).status, kExitUsage);
}

TEST_P(QvsetupDbTest, CheckNamesThePatternAndCountsUnreadableDatesPerColumn) {
  ASSERT_EQ(RunQvsetup({"init", Alias(), "--master-password", "segredo"}).status, kExitOk);
  Outcome clean = RunQvsetup({"check", Alias()});
  EXPECT_EQ(clean.status, kExitOk) << clean.out;
  EXPECT_TRUE(Contains(clean.out, "stored dates follow the recorded date pattern dd/mm/yyyy")) << clean.out;

  Exec("INSERT INTO AUDIT VALUES ('STOCK', 1, 1, '03/20/2026 10:00:00', '03/21/2026 10:05:00', 'PC')");
  Exec("INSERT INTO AUDIT VALUES ('STOCK', 1, 1, '04/20/2026 10:00:00', '20/04/2026 10:05:00', 'PC')");
  Exec("INSERT INTO AUDIT VALUES ('STOCK', 1, 1, '', NULL, 'PC')");  // no dates: nothing to read
  Exec("INSERT INTO USERINFO (APP_KEY, USER_ID, EXPIRATION_DATE) VALUES ('STOCK', 1, '2026-04-20')");
  setup::CheckResult dirty = setup::CheckDatabase(Alias());
  EXPECT_EQ(dirty.problems,
            (Names{"table USERINFO column EXPIRATION_DATE: 1 stored date cannot be read under dd/mm/yyyy "
                   "(for example '2026-04-20')",
                   "table AUDIT column START_SESSION: 2 stored dates cannot be read under dd/mm/yyyy "
                   "(for example '03/20/2026 10:00:00')",
                   "table AUDIT column END_SESSION: 1 stored date cannot be read under dd/mm/yyyy "
                   "(for example '03/21/2026 10:05:00')"}));
  EXPECT_EQ(RunQvsetup({"check", Alias()}).status, kExitFailed);
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");

  Exec("DROP TABLE QVDATEPATTERN");  // an older database: as before, nothing to count
  setup::CheckResult older = setup::CheckDatabase(Alias());
  EXPECT_TRUE(older.Complete());
  Names expected{"no date pattern recorded: each client stores dates in its machine's order"};
  if (IsPostgres()) expected.insert(expected.begin(), "not secured: every connection's role decides what it may change");
  EXPECT_EQ(older.notes, expected);
}

QV_INSTANTIATE_ENGINES(QvsetupDbTest);

// ---- Aliases file and command line ------------------------------------------

class QvsetupAliasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qv_setup_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    if (const char* old = std::getenv("QV_ALIASES")) saved_ = old;
    setenv("QV_ALIASES", (dir_ / "aliases.ini").c_str(), 1);
    Session::Default().ReloadAliases();
  }
  void TearDown() override {
    if (saved_) setenv("QV_ALIASES", saved_->c_str(), 1); else unsetenv("QV_ALIASES");
    Session::Default().ReloadAliases();
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::optional<std::string> saved_;
};

TEST_F(QvsetupAliasTest, AddedAliasesAreListedInOrderWithTheirLocationAndFile) {
  const std::string file = (dir_ / "aliases.ini").string();
  fs::path cwd = fs::current_path();
  fs::current_path(dir_);
  Outcome sqlite = RunQvsetup({"alias", "add", "local", "sqlite", "sub/security.db"});
  fs::current_path(cwd);
  ASSERT_EQ(sqlite.status, kExitOk) << sqlite.err;
  Outcome pg = RunQvsetup({"alias", "add", "shared", "postgresql", "host=db1 dbname=security"});
  ASSERT_EQ(pg.status, kExitOk) << pg.err;

  const std::string listed = "local\tsqlite\t" + (dir_ / "sub/security.db").string() + "\t" + file +
                             "\nshared\tpostgresql\thost=db1 dbname=security\t" + file + "\n";
  Outcome list = RunQvsetup({"alias", "list"});
  EXPECT_EQ(list.status, kExitOk);
  EXPECT_TRUE(Contains(list.out, listed)) << list.out;

  // A known name is re-pointed only on request.
  Outcome refused = RunQvsetup({"alias", "add", "local", "postgresql", "host=db2"});
  EXPECT_EQ(refused.status, kExitFailed);
  EXPECT_TRUE(Contains(refused.err, "--replace")) << refused.err;
  EXPECT_EQ(Occurrences(refused.err, "'local'"), 1) << refused.err;
  EXPECT_TRUE(Contains(RunQvsetup({"alias", "list"}).out, listed));

  ASSERT_EQ(RunQvsetup({"alias", "add", "--replace", "local", "postgresql", "host=db2"}).status, kExitOk);
  std::string replaced = RunQvsetup({"alias", "list"}).out;
  EXPECT_TRUE(Contains(replaced, "local\tpostgresql\thost=db2\t" + file + "\n")) << replaced;
  EXPECT_TRUE(Contains(replaced, "shared\tpostgresql\thost=db1 dbname=security\t")) << replaced;
  EXPECT_FALSE(Contains(replaced, "sqlite")) << replaced;
}

TEST_F(QvsetupAliasTest, PasswordsOfConnectionStringsAreNeverPrinted) {
  ASSERT_EQ(RunQvsetup({"alias", "add", "pg", "postgresql", "host=/nowhere/qv dbname=sec password=s3cret"}).status,
            kExitOk);
  ASSERT_EQ(RunQvsetup({"alias", "add", "uri", "postgresql", "postgresql://app:s3cret@/sec?host=/nowhere/qv"}).status,
            kExitOk);
  struct stat info {};
  ASSERT_EQ(::stat((dir_ / "aliases.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  Outcome list = RunQvsetup({"alias", "list"});
  EXPECT_TRUE(Contains(list.out, "pg\tpostgresql\thost=/nowhere/qv dbname=sec password=***\t")) << list.out;
  EXPECT_TRUE(Contains(list.out, "postgresql://app:***@/sec")) << list.out;
  // The duplicate's message quotes the definition; an unreachable server's
  // message may quote the connection.
  for (const Names& args : {Names{"alias", "add", "pg", "postgresql", "host=db2"}, Names{"check", "pg"},
                            Names{"check", "uri"}, Names{"user", "list", "pg"}}) {
    Outcome outcome = RunQvsetup(args);
    EXPECT_NE(outcome.status, kExitOk) << args[0];
    EXPECT_FALSE(Contains(outcome.out + outcome.err, "s3cret")) << outcome.err;
  }
}

TEST_F(QvsetupAliasTest, AMalformedConnectionStringIsRefusedWhenAdded) {
  Outcome bad = RunQvsetup({"alias", "add", "pg", "postgresql", "host=db1 dbname"});
  EXPECT_EQ(bad.status, kExitFailed);
  EXPECT_TRUE(Contains(bad.err, "invalid PostgreSQL connection string")) << bad.err;
  EXPECT_EQ(Occurrences(bad.err, "'pg'"), 1) << bad.err;
  EXPECT_FALSE(fs::exists(dir_ / "aliases.ini"));
}

TEST_F(QvsetupAliasTest, InitCreatesTheFileOfANewSqliteAlias) {
  fs::path file = dir_ / "novo.db";
  ASSERT_EQ(RunQvsetup({"alias", "add", "novo", "sqlite", file.string()}).status, kExitOk);
  ASSERT_FALSE(fs::exists(file));
  fs::path secret = dir_ / "secret";
  Outcome missing = RunQvsetup({"init", "novo", "--master-password-file", secret.string()});
  EXPECT_EQ(missing.status, kExitFailed);
  EXPECT_TRUE(Contains(missing.err, secret.string())) << missing.err;
  EXPECT_FALSE(fs::exists(file));

  std::ofstream(secret) << "segredo\n";
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  Outcome init = RunQvsetup({"init", "novo", "--master-password-file", secret.string()});
  ASSERT_EQ(init.status, kExitOk) << init.err;
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(RunQvsetup({"check", "novo"}).status, kExitOk);
  Session::Default().CloseDatabase("novo");
}

// A password file somebody else may have planted or read is refused before
// anything is made: a link planted in a shared folder would set a master
// password its planter knows, and a file open to others gives it away.
TEST_F(QvsetupAliasTest, InitRefusesAPasswordFileOthersCouldHavePlantedOrRead) {
  fs::path file = dir_ / "novo.db";
  ASSERT_EQ(RunQvsetup({"alias", "add", "novo", "sqlite", file.string()}).status, kExitOk);
  fs::path planted = dir_ / "planted";
  std::ofstream(planted) << "conhecida\n";
  fs::permissions(planted, fs::perms::owner_read | fs::perms::owner_write);
  fs::path link = dir_ / "secret-link";
  fs::create_symlink(planted, link);
  fs::path open = dir_ / "secret-open";
  std::ofstream(open) << "segredo\n";
  fs::permissions(open, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);

  Outcome viaLink = RunQvsetup({"init", "novo", "--master-password-file", link.string()});
  EXPECT_EQ(viaLink.status, kExitFailed);
  EXPECT_TRUE(Contains(viaLink.err, "symbolic link")) << viaLink.err;
  Outcome readable = RunQvsetup({"init", "novo", "--master-password-file", open.string()});
  EXPECT_EQ(readable.status, kExitFailed);
  EXPECT_TRUE(Contains(readable.err, "chmod 600")) << readable.err;
  EXPECT_FALSE(Contains(viaLink.err + readable.err, "conhecida") || Contains(readable.err, "segredo"));
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(QvsetupAliasTest, UsageErrorsPrintTheUsageAndExitTwo) {
  for (const Names& args : {Names{}, Names{"frobnicate"}, Names{"alias"}, Names{"alias", "add", "x"},
                            Names{"alias", "add", "x", "oracle", "somewhere"}, Names{"init"},
                            Names{"init", "sec"}, Names{"init", "sec", "--master-password"},
                            Names{"init", "sec", "--master-password", "a", "--master-password-file", "-"},
                            Names{"init", "sec", "--master-password", ""},
                            Names{"init", "sec", "--master-password", "123456789012345678901"},
                            Names{"init", "sec", "--master-password", "ççççççççççççççççççççç"},
                            Names{"init", "sec", "--master-password", "n\xE3o"},
                            Names{"check"}, Names{"check", "a", "b"}}) {
    Outcome outcome = RunQvsetup(args);
    std::string line;
    for (const std::string& arg : args) line += arg + " ";
    EXPECT_EQ(outcome.status, kExitUsage) << line;
    EXPECT_TRUE(Contains(outcome.err, "usage:")) << line;
  }
  EXPECT_TRUE(Contains(RunQvsetup({"alias", "add", "x", "oracle", "somewhere"}).err, "alias 'x'"));
}

}  // namespace
}  // namespace qv

// Aliases: the file lookup order, malformed files, writing aliases, and the
// errors of opening an alias that cannot be reached.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <unistd.h>

#include "platform/db/database.h"
#include "platform/db/database_error.h"
#include "platform/db/session.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Runs each test with its own home, config folder and QV_ALIASES, restored
// afterwards.
class AliasesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qvaliases_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    Save("QV_ALIASES");
    Save("XDG_CONFIG_HOME");
    Save("HOME");
    unsetenv("QV_ALIASES");
    setenv("XDG_CONFIG_HOME", (dir_ / "xdg").c_str(), 1);
    setenv("HOME", (dir_ / "home").c_str(), 1);
  }
  void TearDown() override {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
    Session::Default().ReloadAliases();
    fs::remove_all(dir_);
  }
  void Save(const std::string& name) {
    const char* v = std::getenv(name.c_str());
    saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
  }
  static void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    session_.GetDatabaseNames(names);
    return names;
  }

  fs::path dir_;
  Session session_;  // a private session: the process-wide one stays untouched
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(AliasesTest, LookupOrderEnvThenXdgThenNothing) {
  Write(dir_ / "xdg/qvd3/aliases.ini", "[fromxdg]\ndriver=sqlite\npath=/tmp/x.db\n");
  Write(dir_ / "mine.ini", "; comment\n[first]\ndriver=sqlite\npath=/tmp/a.db\n\n[second]\n"
                           "driver=postgresql\nconninfo=host=/tmp dbname=x\n");
  session_.ReloadAliases();
  EXPECT_EQ(Names(), (std::vector<std::string>{"fromxdg"}));

  setenv("QV_ALIASES", (dir_ / "mine.ini").c_str(), 1);
  session_.ReloadAliases();
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "second"}));
  AliasDefinition second = session_.FindAlias("SECOND");
  EXPECT_EQ(second.engine, EngineKind::PostgreSql);
  EXPECT_EQ(second.location, "host=/tmp dbname=x");

  // A named file that does not exist yet means no file aliases.
  setenv("QV_ALIASES", (dir_ / "missing.ini").c_str(), 1);
  session_.ReloadAliases();
  session_.AddAlias({"code", EngineKind::Sqlite, "/tmp/c.db"});
  EXPECT_EQ(Names(), (std::vector<std::string>{"code"}));
  session_.RemoveAlias("code");
  EXPECT_TRUE(Names().empty());
}

TEST_F(AliasesTest, XdgDefaultsToHomeConfig) {
  unsetenv("XDG_CONFIG_HOME");
  Write(dir_ / "home/.config/qvd3/aliases.ini", "[homealias]\ndriver=sqlite\npath=/tmp/h.db\n");
  session_.ReloadAliases();
  EXPECT_EQ(Names(), (std::vector<std::string>{"homealias"}));
  EXPECT_EQ(Session::WritableAliasesFilePath(), dir_ / "home/.config/qvd3/aliases.ini");
}

TEST_F(AliasesTest, MalformedFileNamesFileAndLine) {
  fs::path file = dir_ / "bad.ini";
  setenv("QV_ALIASES", file.c_str(), 1);
  auto expect_error = [&](const std::string& text, const std::string& where) {
    Write(file, text);
    try {
      session_.ReloadAliases();
      ADD_FAILURE() << "accepted: " << text;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(std::string(e.what()).find(file.string() + ":" + where), std::string::npos) << e.what();
    }
  };
  expect_error("[a]\ndriver=sqlite\npath=/x\nthis is no key\n", "4");
  expect_error("driver=sqlite\n", "1");
  expect_error("[a]\ndriver=oracle\npath=/x\n", "2");
  expect_error("[a]\npath=/x\n", "1");
  expect_error("[a\n", "1");
  // A name the writer could not write back (found by fuzzing).
  expect_error("# one\n[ odd ]name ]\ndriver=sqlite\npath=/x\n", "2");
}

TEST_F(AliasesTest, WritingAliasesKeepsOtherSections) {
  fs::path file = dir_ / "conf/aliases.ini";
  Session::AddAliasToFile(file, {"one", EngineKind::Sqlite, "/tmp/one.db"});
  Session::AddAliasToFile(file, {"two", EngineKind::PostgreSql, "host=h dbname=d"});
  Session::AddAliasToFile(file, {"ONE", EngineKind::Sqlite, "/tmp/changed.db"});
  setenv("QV_ALIASES", file.c_str(), 1);
  session_.ReloadAliases();
  EXPECT_EQ(Names(), (std::vector<std::string>{"two", "ONE"}));
  EXPECT_EQ(session_.FindAlias("one").location, "/tmp/changed.db");
  EXPECT_TRUE(Session::RemoveAliasFromFile(file, "two"));
  EXPECT_FALSE(Session::RemoveAliasFromFile(file, "two"));
  session_.ReloadAliases();
  EXPECT_EQ(Names(), (std::vector<std::string>{"ONE"}));
}

TEST_F(AliasesTest, UnknownAliasAndMissingSqliteFile) {
  try {
    session_.Database("nowhere");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("'nowhere'"), std::string::npos);
  }
  fs::path missing = dir_ / "missing.db";
  session_.AddAlias({"gone", EngineKind::Sqlite, missing.string()});
  try {
    session_.Database("gone");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("'gone'"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(AliasesTest, CreatedSqliteDatabaseOpensAndIsNotOverwritten) {
  fs::path file = dir_ / "new.db";
  Session::CreateSqliteDatabase(file);
  EXPECT_THROW(Session::CreateSqliteDatabase(file), EDatabaseError);
  session_.AddAlias({"fresh", EngineKind::Sqlite, file.string()});
  session_.Database("fresh").ExecDirect("CREATE TABLE T (A INTEGER)");
  // A file that is not a database is refused with the alias named.
  Write(dir_ / "junk.db", "this is not a database file, just some text that is long enough....");
  session_.AddAlias({"junk", EngineKind::Sqlite, (dir_ / "junk.db").string()});
  try {
    session_.Database("junk");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("'junk'"), std::string::npos) << e.what();
  }
}

TEST_F(AliasesTest, UnreachablePostgresServerNamesAlias) {
  session_.AddAlias({"deadpg", EngineKind::PostgreSql,
                     "host=" + (dir_ / "nosocket").string() + " dbname=x connect_timeout=2"});
  try {
    session_.Database("deadpg");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("'deadpg'"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace qv

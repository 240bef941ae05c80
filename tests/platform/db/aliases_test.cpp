// Aliases: the file lookup order, malformed files, writing aliases, and the
// errors of opening an alias that cannot be reached.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include <unistd.h>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/session.h"

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
  static std::string Read(const fs::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
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

TEST_F(AliasesTest, FilesAreReadTogetherAndAnEarlierFileWins) {
  Write(dir_ / "xdg/qvd3/aliases.ini", "[fromxdg]\ndriver=sqlite\npath=/tmp/x.db\n"
                                       "[Shared]\ndriver=sqlite\npath=/tmp/xdg-shared.db\n");
  Write(dir_ / "mine.ini", "; comment\n[first]\ndriver=sqlite\npath=/tmp/a.db\n\n[shared]\n"
                           "driver=postgresql\nconninfo=host=/tmp dbname=x\n");
  session_.ReloadAliases();
  EXPECT_EQ(Names(), (std::vector<std::string>{"fromxdg", "Shared"}));
  EXPECT_EQ(session_.FindAlias("shared").location, "/tmp/xdg-shared.db");

  setenv("QV_ALIASES", (dir_ / "mine.ini").c_str(), 1);
  session_.ReloadAliases();
  EXPECT_EQ(Names(), (std::vector<std::string>{"first", "shared", "fromxdg"}));
  AliasDefinition shared = session_.FindAlias("SHARED");
  EXPECT_EQ(shared.engine, EngineKind::PostgreSql);
  EXPECT_EQ(shared.location, "host=/tmp dbname=x");
  EXPECT_EQ(shared.file, (dir_ / "mine.ini").string());
  EXPECT_EQ(session_.FindAlias("fromxdg").file, (dir_ / "xdg/qvd3/aliases.ini").string());

  // A named file that does not exist yet adds nothing; a code alias hides a
  // file alias and carries no file.
  setenv("QV_ALIASES", (dir_ / "missing.ini").c_str(), 1);
  session_.ReloadAliases();
  session_.AddAlias({"Shared", EngineKind::Sqlite, "/tmp/c.db", "/ignored"});
  EXPECT_EQ(Names(), (std::vector<std::string>{"fromxdg", "Shared"}));
  EXPECT_EQ(session_.FindAlias("shared").file, "");
  session_.RemoveAlias("shared");
  EXPECT_EQ(session_.FindAlias("shared").location, "/tmp/xdg-shared.db");
}

TEST_F(AliasesTest, AMalformedFileKeepsTheAliasesReadBefore) {
  Write(dir_ / "xdg/qvd3/aliases.ini", "[kept]\ndriver=sqlite\npath=/tmp/k.db\n");
  session_.ReloadAliases();
  Write(dir_ / "bad.ini", "[broken]\npath=/x\n");
  setenv("QV_ALIASES", (dir_ / "bad.ini").c_str(), 1);
  EXPECT_THROW(session_.ReloadAliases(), EDatabaseError);
  EXPECT_EQ(Names(), (std::vector<std::string>{"kept"}));
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

TEST_F(AliasesTest, UnknownAliasNamesTheFilesSearched) {
  setenv("QV_ALIASES", (dir_ / "mine.ini").c_str(), 1);
  Write(dir_ / "xdg/qvd3/aliases.ini", "[other]\ndriver=sqlite\npath=/tmp/o.db\n");
  try {
    session_.Database("nowhere");
    FAIL();
  } catch (const EDatabaseError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("'nowhere'"), std::string::npos) << message;
    EXPECT_NE(message.find((dir_ / "mine.ini").string() + " (absent)"), std::string::npos) << message;
    EXPECT_NE(message.find((dir_ / "xdg/qvd3/aliases.ini").string() + ","), std::string::npos) << message;
    EXPECT_NE(message.find("/etc/qvd3/aliases.ini"), std::string::npos) << message;
  }
}

TEST_F(AliasesTest, AMalformedDefinitionIsRefusedBeforeAnythingIsWritten) {
  fs::path file = dir_ / "aliases.ini";
  Session::AddAliasToFile(file, {"good", EngineKind::PostgreSql, "host=db1 port=5433 dbname='a b'"});
  const std::string before = Read(file);
  for (const AliasDefinition& bad : {AliasDefinition{"pg", EngineKind::PostgreSql, "host=db1 dbname"},
                                     AliasDefinition{"pg", EngineKind::PostgreSql, "nokey=1"},
                                     AliasDefinition{"pg", EngineKind::PostgreSql, "dbname='unclosed"},
                                     AliasDefinition{"lite", EngineKind::Sqlite, ""},
                                     AliasDefinition{"[x]", EngineKind::Sqlite, "/tmp/x.db"}}) {
    try {
      Session::AddAliasToFile(file, bad);
      ADD_FAILURE() << "accepted " << bad.location;
    } catch (const EDatabaseError& e) {
      if (!bad.location.empty() && bad.engine == EngineKind::PostgreSql) {
        EXPECT_NE(std::string(e.what()).find("Alias 'pg': invalid PostgreSQL connection string"), std::string::npos)
            << e.what();
      }
    }
    EXPECT_THROW(session_.AddAlias(bad), EDatabaseError) << bad.location;
  }
  EXPECT_EQ(Read(file), before);
  EXPECT_FALSE(session_.HasAlias("pg"));
}

TEST_F(AliasesTest, MissingSqliteFile) {
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

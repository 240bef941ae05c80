// The database-name listing offered for DatabaseName.
#include "qvd3/design/database_names.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "qvd3/platform/db/database_error.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Points QV_ALIASES at a file of this test's own folder for the test's
// lifetime; a Session made afterwards reads it.
class DatabaseNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qv_dbnames_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    if (const char* old = std::getenv("QV_ALIASES")) saved_ = old;
    setenv("QV_ALIASES", File().c_str(), 1);
  }
  void TearDown() override {
    if (saved_) setenv("QV_ALIASES", saved_->c_str(), 1); else unsetenv("QV_ALIASES");
    fs::remove_all(dir_);
  }
  std::string File() const { return (dir_ / "aliases.ini").string(); }
  void WriteFile(const std::string& text) { std::ofstream(File()) << text; }

  std::vector<std::string> Listed(Session& session) {
    std::vector<std::string> names;
    ListDatabaseNames([&](const std::string& name) { names.push_back(name); }, session);
    return names;
  }

 private:
  fs::path dir_;
  std::optional<std::string> saved_;
};

TEST_F(DatabaseNamesTest, NoAliasesGiveNoCalls) {
  Session session;
  int calls = 0;
  ListDatabaseNames([&](const std::string&) { ++calls; }, session);
  EXPECT_EQ(calls, 0);
}

TEST_F(DatabaseNamesTest, EachAliasIsGivenOnceInTheSessionsOrder) {
  WriteFile("[zeta]\ndriver=sqlite\npath=/tmp/zeta.db\n"
            "[alpha]\ndriver=postgresql\nconninfo=host=db1 dbname=sec\n"
            "[Meio]\ndriver=sqlite\npath=/tmp/meio.db\n");
  Session session;
  EXPECT_EQ(Listed(session), (std::vector<std::string>{"zeta", "alpha", "Meio"}));

  // Aliases added in code follow those of the file.
  session.AddAlias({"extra", EngineKind::Sqlite, "/tmp/extra.db"});
  EXPECT_EQ(Listed(session), (std::vector<std::string>{"zeta", "alpha", "Meio", "extra"}));
}

TEST_F(DatabaseNamesTest, ErrorsOfTheListingAndOfTheConsumerPropagate) {
  WriteFile("[broken]\nthis line is not a setting\n");
  Session broken;
  int calls = 0;
  EXPECT_THROW(ListDatabaseNames([&](const std::string&) { ++calls; }, broken), EDatabaseError);
  EXPECT_EQ(calls, 0);

  WriteFile("[one]\ndriver=sqlite\npath=/tmp/one.db\n[two]\ndriver=sqlite\npath=/tmp/two.db\n");
  Session session;
  std::vector<std::string> seen;
  EXPECT_THROW(ListDatabaseNames(
                   [&](const std::string& name) {
                     seen.push_back(name);
                     throw std::runtime_error("designer refused");
                   },
                   session),
               std::runtime_error);
  EXPECT_EQ(seen, (std::vector<std::string>{"one"}));
}

TEST_F(DatabaseNamesTest, TheDefaultSessionIsListedWhenNoneIsGiven) {
  WriteFile("[padrao]\ndriver=sqlite\npath=/tmp/padrao.db\n");
  Session::Default().ReloadAliases();
  std::vector<std::string> names;
  ListDatabaseNames([&](const std::string& name) { names.push_back(name); });
  EXPECT_EQ(names, (std::vector<std::string>{"padrao"}));
}

}  // namespace
}  // namespace qv

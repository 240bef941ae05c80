#include "tests/support/db/engine_fixture.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "qvd3/platform/db/database_error.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

std::string UniqueSuffix() {
  static std::atomic<int> counter{0};
  auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" + std::to_string(now % 1000000);
}

}  // namespace

void EngineTest::SetUp() {
  std::string unique = UniqueSuffix();
  alias_ = "qvtest_" + unique;
  definition_.name = alias_;
  Session& session = Session::Default();
  if (IsSqlite()) {
    fs::path dir = fs::temp_directory_path() / ("qvtest_" + unique);
    fs::create_directories(dir);
    sqlite_dir_ = dir.string();
    fs::path file = dir / "test.db";
    Session::CreateSqliteDatabase(file);
    definition_.engine = EngineKind::Sqlite;
    definition_.location = file.string();
  } else {
    const char* server = std::getenv("QV_TEST_PG");
    if (!server || !*server)
      GTEST_FAIL() << "QV_TEST_PG is not set: the PostgreSQL tests need a server "
                      "(e.g. QV_TEST_PG=\"host=/tmp/qvd3-devpg user=postgres dbname=postgres\")";
    admin_alias_ = alias_ + "_admin";
    session.AddAlias({admin_alias_, EngineKind::PostgreSql, server});
    schema_ = "qvt_" + unique;
    try {
      session.Database(admin_alias_).ExecDirect("CREATE SCHEMA " + schema_);
    } catch (const EDatabaseError& e) {
      session.RemoveAlias(admin_alias_);
      admin_alias_.clear();
      schema_.clear();
      GTEST_FAIL() << "the PostgreSQL server named by QV_TEST_PG (" << server
                   << ") cannot be used: " << e.what();
    }
    definition_.engine = EngineKind::PostgreSql;
    definition_.location = std::string(server) + " options='-c search_path=" + schema_ + "'";
    if (IsSecured()) {
      client_role_ = schema_ + "_client";
      try {
        session.Database(admin_alias_).ExecDirect("CREATE ROLE " + client_role_ + " LOGIN");
      } catch (const EDatabaseError& e) {
        client_role_.clear();
        GTEST_FAIL() << "cannot create the client role of the secured test database: " << e.what();
      }
      owner_alias_ = alias_ + "_owner";
      session.AddAlias({owner_alias_, EngineKind::PostgreSql, definition_.location});
      // libpq takes the last of a repeated keyword: the role replaces the
      // server's user.
      definition_.location += " user=" + client_role_;
    }
  }
  session.AddAlias(definition_);
}

void EngineTest::TearDown() {
  Session& session = Session::Default();
  if (!second_alias_.empty()) session.RemoveAlias(second_alias_);
  session.RemoveAlias(alias_);
  if (!sqlite_dir_.empty()) {
    std::error_code ignored;
    fs::remove_all(sqlite_dir_, ignored);
  }
  if (!owner_alias_.empty()) session.RemoveAlias(owner_alias_);
  if (!admin_alias_.empty()) {
    try {
      if (!schema_.empty()) session.Database(admin_alias_).ExecDirect("DROP SCHEMA " + schema_ + " CASCADE");
    } catch (const EDatabaseError& e) {
      ADD_FAILURE() << "could not drop the test schema " << schema_ << ": " << e.what();
    }
    if (!client_role_.empty()) {
      try {
        session.Database(admin_alias_).ExecDirect("DROP OWNED BY " + client_role_);
        session.Database(admin_alias_).ExecDirect("DROP ROLE " + client_role_);
      } catch (const EDatabaseError& e) {
        ADD_FAILURE() << "could not drop the client role " << client_role_ << ": " << e.what();
      }
    }
    session.RemoveAlias(admin_alias_);
  }
}

TDatabase& EngineTest::Db() { return Session::Default().Database(alias_); }

void EngineTest::Exec(std::string_view sql) { Session::Default().Database(OwnerAlias()).ExecDirect(sql); }

std::string EngineTest::SecondAlias() {
  if (second_alias_.empty()) {
    second_alias_ = alias_ + "_second";
    AliasDefinition second = definition_;
    second.name = second_alias_;
    Session::Default().AddAlias(second);
  }
  return second_alias_;
}

AliasDefinition EngineTest::Definition() const { return definition_; }

}  // namespace qv::test

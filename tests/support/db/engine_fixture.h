// The two-engine database fixture: every engine-dependent test runs once on
// SQLite and once on PostgreSQL, each time on a fresh, empty database
// registered under its own alias. Suites of the security component may also
// run on a secured PostgreSQL database ("postgresql_secured", see
// QV_INSTANTIATE_ENGINES_AND_SECURED and SecurityDbTest).
//
//   class UsersTest : public qv::test::EngineTest {};
//
//   TEST_P(UsersTest, InsertsARow) {
//     Exec("CREATE TABLE T (A VARCHAR(10), B INTEGER)");
//     qv::TQuery q;
//     q.SetDatabaseName(Alias());
//     ...
//   }
//   QV_INSTANTIATE_ENGINES(UsersTest);
//
// SQLite: a new database file in a temporary folder, deleted afterwards.
// PostgreSQL: a new schema qvt_<unique> in the server named by the
// environment variable QV_TEST_PG (a libpq connection string), made the
// search path of the alias's connection and dropped afterwards. QV_TEST_PG
// unset or the server unreachable fails the test with a message saying so.
// Secured PostgreSQL: the same schema, plus a login role <schema>_client
// made for the test (dropped with everything granted to it afterwards):
// Alias() connects as that role, OwnerAlias() as the server's user, which
// owns what it creates.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/session.h"

namespace qv::test {

class EngineTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "sqlite" or "postgresql" (also for the secured variant).
  std::string EngineName() const { return IsSqlite() ? "sqlite" : "postgresql"; }
  bool IsSqlite() const { return GetParam() == "sqlite"; }
  bool IsPostgres() const { return !IsSqlite(); }
  // The secured variant: Alias() connects as the client role.
  bool IsSecured() const { return GetParam() == "postgresql_secured"; }

  // The alias of this test's database, registered in Session::Default().
  const std::string& Alias() const { return alias_; }
  // The alias that owns the database's objects: Alias() except in the
  // secured variant, where it connects as the server's user.
  const std::string& OwnerAlias() const { return owner_alias_.empty() ? alias_ : owner_alias_; }
  // The secured variant's client role ("" otherwise).
  const std::string& ClientRole() const { return client_role_; }
  // Its connection (opened on first call).
  TDatabase& Db();
  // Runs DDL or other raw SQL on the test database, as its owner.
  void Exec(std::string_view sql);

  // The engine's column type for arbitrary bytes: "BLOB" or "BYTEA".
  std::string BlobType() const { return IsSqlite() ? "BLOB" : "BYTEA"; }

  // Registers a second alias on the same database and returns its name; its
  // connection is independent of Alias()'s (its own transactions), for
  // tests of several clients. Removed in TearDown.
  std::string SecondAlias();

  // The definition of the test database's alias (to write it into an
  // aliases file, or to register it under another name).
  AliasDefinition Definition() const;

 private:
  std::string alias_;
  std::string second_alias_;
  std::string sqlite_dir_;   // SQLite: the temporary folder
  std::string schema_;       // PostgreSQL: the schema
  std::string admin_alias_;  // PostgreSQL: the alias used to create/drop it
  std::string owner_alias_;  // secured: the owner's alias on the schema
  std::string client_role_;  // secured: the role Alias() connects as
  AliasDefinition definition_;
};

// Instantiates a suite derived from EngineTest on both engines; test names
// end in /sqlite and /postgresql.
#define QV_INSTANTIATE_ENGINES(Suite)                                            \
  INSTANTIATE_TEST_SUITE_P(Engines, Suite, ::testing::Values("sqlite", "postgresql"), \
                           [](const ::testing::TestParamInfo<std::string>& info) {  \
                             return info.param;                                   \
                           })

// The same on both engines and on a secured PostgreSQL database; test names
// end in /sqlite, /postgresql and /postgresql_secured. For suites derived
// from SecurityDbTest, which secures the database once it is seeded.
#define QV_INSTANTIATE_ENGINES_AND_SECURED(Suite)                                                  \
  INSTANTIATE_TEST_SUITE_P(Engines, Suite, ::testing::Values("sqlite", "postgresql", "postgresql_secured"), \
                           [](const ::testing::TestParamInfo<std::string>& info) {                    \
                             return info.param;                                                     \
                           })

}  // namespace qv::test

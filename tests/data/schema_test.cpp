#include "qvd3/data/schema.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "qvd3/data/statements.h"
#include "qvd3/platform/sys/exception.h"

namespace qv {
namespace {

std::vector<std::string> ColumnNames(std::string_view table) {
  std::vector<std::string> names;
  for (const ColumnDef& column : FindTable(table)->columns) names.emplace_back(column.name);
  return names;
}

using Names = std::vector<std::string>;

TEST(SchemaTest, TablesHaveTheirColumnsInTableOrder) {
  std::vector<std::string> tables;
  for (const TableDef& table : SecurityTables()) tables.emplace_back(table.name);
  EXPECT_EQ(tables, (Names{"QUARVEL", "PROFILES", "PROGS", "HISTORY", "UACCESS", "PACCESS",
                           "AUDIT", "USERINFO"}));
  EXPECT_EQ(ColumnNames("QUARVEL"), (Names{"USERQV_NAME", "REAL_NAME", "USER_PWD", "USER_ID",
                                           "LAST_PWD_CHANGE", "PROFILE_ID", "AUDIT_MODE"}));
  EXPECT_EQ(ColumnNames("PROFILES"),
            (Names{"PROF_DESCRIPTION", "PROF_ID", "INTERVAL_CHANGE_PWD", "MUST_CHANGE_PWD",
                   "HIDE_DISABLE_MENU", "AUDIT_MODE"}));
  EXPECT_EQ(ColumnNames("PROGS"), (Names{"APP_KEY", "MENU_NAME", "MENU_ID", "MENU_CAPTION"}));
  EXPECT_EQ(ColumnNames("HISTORY"), (Names{"USER_ID", "USER_PWD", "CHANGE_DATE"}));
  EXPECT_EQ(ColumnNames("UACCESS"), (Names{"APP_KEY", "USER_ID", "MENU_ID", "AUTHORIZED"}));
  EXPECT_EQ(ColumnNames("PACCESS"), (Names{"APP_KEY", "PROF_ID", "MENU_ID", "AUTHORIZED"}));
  EXPECT_EQ(ColumnNames("AUDIT"), (Names{"APP_KEY", "USER_ID", "PROG_ID", "START_SESSION",
                                         "END_SESSION", "COMPUTER_NAME"}));
  EXPECT_EQ(ColumnNames("USERINFO"), (Names{"APP_KEY", "USER_ID", "EXPIRATION_DATE",
                                            "USER_EXPIRE", "USER_ACTIVE"}));
}

TEST(SchemaTest, WidthsAndTypesAreKnownByNameInAnyCase) {
  EXPECT_EQ(ColumnWidth("QUARVEL", "USERQV_NAME"), 10);
  // The scrambled bytes of 20 characters of up to 4 bytes each.
  EXPECT_EQ(ColumnWidth("quarvel", "user_pwd"), 80);
  EXPECT_EQ(ColumnWidth("HISTORY", "USER_PWD"), 20);
  EXPECT_EQ(ColumnWidth("Profiles", "PROF_DESCRIPTION"), 30);
  EXPECT_EQ(ColumnWidth("PROGS", "MENU_CAPTION"), 100);
  EXPECT_EQ(ColumnWidth("AUDIT", "START_SESSION"), 19);
  EXPECT_EQ(ColumnWidth("AUDIT", "COMPUTER_NAME"), 30);
  EXPECT_EQ(ColumnWidth("UserInfo", "Expiration_Date"), 10);
  EXPECT_EQ(ColumnWidth("UACCESS", "MENU_ID"), 0);
  EXPECT_EQ(ColumnWidth("NOTABLE", "USER_ID"), 0);
  EXPECT_EQ(ColumnWidth("QUARVEL", "NOCOLUMN"), 0);
  EXPECT_EQ(FindColumn(*FindTable("QUARVEL"), "USER_PWD")->type, ColumnType::kBytes);
  EXPECT_EQ(FindColumn(*FindTable("PROFILES"), "HIDE_DISABLE_MENU")->type, ColumnType::kSmallInt);
  EXPECT_EQ(FindTable("nothing"), nullptr);
}

TEST(SchemaTest, KeysAreWhereTheSystemNeedsThem) {
  EXPECT_EQ(FindTable("QUARVEL")->primary_key, "USER_ID");
  EXPECT_EQ(FindTable("PROFILES")->primary_key, "PROF_ID");
  EXPECT_EQ(FindTable("PROGS")->primary_key, "MENU_ID");
  for (const char* keyless : {"HISTORY", "AUDIT"}) {
    const TableDef& table = *FindTable(keyless);
    EXPECT_TRUE(table.primary_key.empty()) << keyless;
    for (const IndexDef& index : table.indexes) EXPECT_FALSE(index.unique) << keyless;
  }
}

TEST(SchemaTest, ColumnTypesPerEngine) {
  const TableDef& users = *FindTable("QUARVEL");
  EXPECT_EQ(SqlColumnType(*FindColumn(users, "USER_PWD"), kEngineSqlite), "BLOB(80)");
  EXPECT_EQ(SqlColumnType(*FindColumn(users, "USER_PWD"), kEnginePostgresql), "bytea");
  EXPECT_EQ(SqlColumnType(*FindColumn(users, "REAL_NAME"), kEnginePostgresql), "VARCHAR(40)");
  EXPECT_EQ(SqlColumnType(*FindColumn(users, "USER_ID"), kEngineSqlite), "INTEGER");
  EXPECT_THROW(CreateSchemaStatements("oracle"), Exception);
  EXPECT_THROW(SqlColumnType(*FindColumn(users, "USER_ID"), "SQLite3"), Exception);
}

TEST(SchemaTest, CreationStatementsCoverEveryTableAndIndex) {
  for (std::string_view engine : {kEngineSqlite, kEnginePostgresql}) {
    const std::vector<std::string> statements = CreateSchemaStatements(engine);
    std::size_t lookup_indexes = 0;
    for (const TableDef& table : SecurityTables()) {
      for (const IndexDef& index : table.indexes) lookup_indexes += index.unique ? 0 : 1;
    }
    ASSERT_EQ(statements.size(), SecurityTables().size() + lookup_indexes);
    for (std::size_t i = 0; i < SecurityTables().size(); ++i) {
      const TableDef& table = SecurityTables()[i];
      const std::string& create = statements[i];
      EXPECT_EQ(create.rfind("CREATE TABLE " + std::string(table.name) + " (", 0), 0u) << create;
      // Columns appear in table order.
      std::size_t at = 0;
      for (const ColumnDef& column : table.columns) {
        const std::size_t found = create.find("\n  " + std::string(column.name) + " ", at);
        ASSERT_NE(found, std::string::npos) << create << "\nmissing " << column.name;
        at = found;
      }
    }
  }
}

// The names a statement reads, in order, from its select list.
std::vector<std::string> SelectList(std::string_view sql) {
  std::string upper;
  for (char c : sql) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::size_t from = upper.find("FROM");
  std::vector<std::string> names;
  std::string word;
  for (std::size_t i = std::string("SELECT").size(); i <= from; ++i) {
    const char c = i < from ? upper[i] : ' ';
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      word += c;
    } else if (!word.empty()) {
      names.push_back(word);
      word.clear();
    }
  }
  return names;
}

// The live datasets read every column of their table in table order, which
// the positional inserts and the grids rely on.
TEST(StatementsTest, LiveSelectsReadTheirTablesInColumnOrder) {
  EXPECT_EQ(SelectList(sql::qryUsers), ColumnNames("QUARVEL"));
  EXPECT_EQ(SelectList(sql::qryProfiles), ColumnNames("PROFILES"));
  EXPECT_EQ(SelectList(sql::qryProgs), ColumnNames("PROGS"));
  EXPECT_EQ(SelectList(sql::qryHistory), ColumnNames("HISTORY"));
  EXPECT_EQ(SelectList(sql::qryUAccess), ColumnNames("UACCESS"));
  EXPECT_EQ(SelectList(sql::qryPAccess), ColumnNames("PACCESS"));
  EXPECT_EQ(SelectList(sql::qryAudit), ColumnNames("AUDIT"));
  EXPECT_EQ(SelectList(sql::qryUserInfo), ColumnNames("USERINFO"));
}

TEST(StatementsTest, TextsKeepTheirLines) {
  EXPECT_EQ(sql::qryUserName,
            "SELECT USERQV_NAME, USER_ID\nFROM QUARVEL\nWHERE USERQV_NAME<>'master'\n"
            "ORDER BY QUARVEL.USERQV_NAME");
  EXPECT_EQ(sql::qryAdduserInfo,
            "Insert into UserInfo Values\n(:APP_KEY,\n:USER_ID,\n:EXPIRATION_DATE,\n'0',\n'1'\n)");
  EXPECT_EQ(sql::GenerateUserId, "Select MAX(USER_ID) From QUARVEL");
  EXPECT_EQ(sql::GenerateProfId, "Select Max(PROF_ID) From Profiles");
  EXPECT_EQ(sql::GenerateMenuId, "Select Max(MENU_ID) From Progs");
}

}  // namespace
}  // namespace qv

#include "qvd3/data/schema.h"


#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv {
namespace {

using T = ColumnType;

// USER_PWD holds the scrambled bytes of a password of up to
// kPasswordMaxChars characters, each up to 4 bytes long in UTF-8.
constexpr int kPasswordBytes = kPasswordMaxChars * 4;

constexpr ColumnDef kQuarvel[] = {
    {"USERQV_NAME", T::kString, 10}, {"REAL_NAME", T::kString, 40},
    {"USER_PWD", T::kBytes, kPasswordBytes}, {"USER_ID", T::kInteger, 0},
    {"LAST_PWD_CHANGE", T::kString, 10}, {"PROFILE_ID", T::kInteger, 0},
    {"AUDIT_MODE", T::kString, 1},
};
constexpr ColumnDef kProfiles[] = {
    {"PROF_DESCRIPTION", T::kString, 30},  {"PROF_ID", T::kInteger, 0},
    {"INTERVAL_CHANGE_PWD", T::kSmallInt, 0}, {"MUST_CHANGE_PWD", T::kString, 1},
    {"HIDE_DISABLE_MENU", T::kSmallInt, 0},   {"AUDIT_MODE", T::kString, 1},
};
constexpr ColumnDef kProgs[] = {
    {"APP_KEY", T::kString, 20}, {"MENU_NAME", T::kString, 100},
    {"MENU_ID", T::kInteger, 0}, {"MENU_CAPTION", T::kString, 100},
};
constexpr ColumnDef kHistory[] = {
    {"USER_ID", T::kInteger, 0}, {"USER_PWD", T::kString, kPasswordMaxChars},
    {"CHANGE_DATE", T::kString, 10},
};
constexpr ColumnDef kUAccess[] = {
    {"APP_KEY", T::kString, 20}, {"USER_ID", T::kInteger, 0},
    {"MENU_ID", T::kInteger, 0}, {"AUTHORIZED", T::kString, 1},
};
constexpr ColumnDef kPAccess[] = {
    {"APP_KEY", T::kString, 20}, {"PROF_ID", T::kInteger, 0},
    {"MENU_ID", T::kInteger, 0}, {"AUTHORIZED", T::kString, 1},
};
// AUDIT and USERINFO are filled by positional inserts: their order is binding.
constexpr ColumnDef kAudit[] = {
    {"APP_KEY", T::kString, 20},       {"USER_ID", T::kInteger, 0},
    {"PROG_ID", T::kInteger, 0},       {"START_SESSION", T::kString, 19},
    {"END_SESSION", T::kString, 19},   {"COMPUTER_NAME", T::kString, 30},
};
constexpr ColumnDef kUserInfo[] = {
    {"APP_KEY", T::kString, 20},         {"USER_ID", T::kInteger, 0},
    {"EXPIRATION_DATE", T::kString, 10}, {"USER_EXPIRE", T::kString, 1},
    {"USER_ACTIVE", T::kString, 1},
};

constexpr std::string_view kUserName[] = {"USERQV_NAME"};
constexpr std::string_view kProfileId[] = {"PROFILE_ID"};
constexpr std::string_view kAppMenuName[] = {"APP_KEY", "MENU_NAME"};
constexpr std::string_view kUserId[] = {"USER_ID"};
constexpr std::string_view kProfId[] = {"PROF_ID"};
constexpr std::string_view kMenuId[] = {"MENU_ID"};
constexpr std::string_view kAppKey[] = {"APP_KEY"};
constexpr std::string_view kAppUserMenu[] = {"APP_KEY", "USER_ID", "MENU_ID"};
constexpr std::string_view kAppProfMenu[] = {"APP_KEY", "PROF_ID", "MENU_ID"};
constexpr std::string_view kAppUser[] = {"APP_KEY", "USER_ID"};

// Unique keys the system relies on, and indexes for the lookups it makes
// (rights by user, profile and menu item; the catalogue by item name; the
// history by user; the audit trail by application; users by profile).
constexpr IndexDef kQuarvelIndexes[] = {
    {"UQ_QUARVEL_NAME", true, kUserName},
    {"IX_QUARVEL_PROFILE", false, kProfileId},
};
constexpr IndexDef kProgsIndexes[] = {{"IX_PROGS_APP_NAME", false, kAppMenuName}};
constexpr IndexDef kHistoryIndexes[] = {{"IX_HISTORY_USER", false, kUserId}};
constexpr IndexDef kUAccessIndexes[] = {
    {"UQ_UACCESS", true, kAppUserMenu},
    {"IX_UACCESS_USER", false, kUserId},
    {"IX_UACCESS_MENU", false, kMenuId},
};
constexpr IndexDef kPAccessIndexes[] = {
    {"UQ_PACCESS", true, kAppProfMenu},
    {"IX_PACCESS_PROF", false, kProfId},
    {"IX_PACCESS_MENU", false, kMenuId},
};
constexpr IndexDef kAuditIndexes[] = {{"IX_AUDIT_APP", false, kAppKey}};
constexpr IndexDef kUserInfoIndexes[] = {{"UQ_USERINFO", true, kAppUser}};

// HISTORY and AUDIT have no key: identical rows are legitimate there.
constexpr TableDef kTables[] = {
    {"QUARVEL", kQuarvel, "USER_ID", kQuarvelIndexes},
    {"PROFILES", kProfiles, "PROF_ID", {}},
    {"PROGS", kProgs, "MENU_ID", kProgsIndexes},
    {"HISTORY", kHistory, "", kHistoryIndexes},
    {"UACCESS", kUAccess, "", kUAccessIndexes},
    {"PACCESS", kPAccess, "", kPAccessIndexes},
    {"AUDIT", kAudit, "", kAuditIndexes},
    {"USERINFO", kUserInfo, "", kUserInfoIndexes},
};

void CheckEngine(std::string_view engine) {
  if (engine != kEngineSqlite && engine != kEnginePostgresql) {
    throw Exception("Unknown database engine '" + std::string(engine) +
                    "' (expected sqlite or postgresql)");
  }
}

std::string JoinColumns(std::span<const std::string_view> columns) {
  std::string out;
  for (std::string_view column : columns) {
    if (!out.empty()) out += ", ";
    out += column;
  }
  return out;
}

}  // namespace

std::span<const TableDef> SecurityTables() { return kTables; }

const TableDef* FindTable(std::string_view name) {
  for (const TableDef& table : kTables) {
    if (SameText(table.name, name)) return &table;
  }
  return nullptr;
}

const ColumnDef* FindColumn(const TableDef& table, std::string_view name) {
  for (const ColumnDef& column : table.columns) {
    if (SameText(column.name, name)) return &column;
  }
  return nullptr;
}

int ColumnWidth(std::string_view table, std::string_view column) {
  const TableDef* found_table = FindTable(table);
  if (found_table == nullptr) return 0;
  const ColumnDef* found_column = FindColumn(*found_table, column);
  return found_column == nullptr ? 0 : found_column->width;
}

std::string SqlColumnType(const ColumnDef& column, std::string_view engine) {
  CheckEngine(engine);
  switch (column.type) {
    case ColumnType::kString: return "VARCHAR(" + std::to_string(column.width) + ")";
    case ColumnType::kInteger: return "INTEGER";
    case ColumnType::kSmallInt: return "SMALLINT";
    case ColumnType::kBytes:
      return engine == kEngineSqlite ? "BLOB(" + std::to_string(column.width) + ")" : "bytea";
  }
  return {};
}

// One CREATE TABLE per table (columns in table order, the primary key on its
// column, unique keys as named table constraints), then one CREATE INDEX per
// lookup index. Both engines accept the same text apart from the byte type.
std::vector<std::string> CreateSchemaStatements(std::string_view engine) {
  CheckEngine(engine);
  std::vector<std::string> statements;
  for (const TableDef& table : kTables) {
    std::string sql = "CREATE TABLE " + std::string(table.name) + " (";
    bool first = true;
    for (const ColumnDef& column : table.columns) {
      sql += first ? "\n  " : ",\n  ";
      first = false;
      sql += std::string(column.name) + " " + SqlColumnType(column, engine);
      if (column.name == table.primary_key) sql += " PRIMARY KEY";
    }
    for (const IndexDef& index : table.indexes) {
      if (!index.unique) continue;
      sql += ",\n  CONSTRAINT " + std::string(index.name) + " UNIQUE (" +
             JoinColumns(index.columns) + ")";
    }
    sql += "\n)";
    statements.push_back(std::move(sql));
  }
  for (const TableDef& table : kTables) {
    for (const IndexDef& index : table.indexes) {
      if (index.unique) continue;
      statements.push_back("CREATE INDEX " + std::string(index.name) + " ON " +
                           std::string(table.name) + " (" + JoinColumns(index.columns) + ")");
    }
  }
  return statements;
}

}  // namespace qv

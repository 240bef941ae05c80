// The eight tables of the security database: their columns in table order
// with types and widths, their keys and indexes, and the statements that
// create them on each supported engine. The description is the one source of
// the table layout: the creation statements are made from it, `qvsetup check`
// compares a database with it, and the data layer can learn column widths
// from it (PostgreSQL's bytea carries no width of its own).
//
// Names are unquoted upper-case identifiers; both engines compare unquoted
// names without regard to letter case (PostgreSQL folds them to lower case).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class ColumnType {
  kString,    // character text of at most `width` characters
  kInteger,   // 32-bit signed
  kSmallInt,  // 16-bit signed
  kBytes,     // arbitrary bytes (NUL included), at most `width` of them
};

struct ColumnDef {
  std::string_view name;
  ColumnType type;
  int width;  // characters or bytes; 0 for numbers
};

// A named index over one or more columns; `unique` makes it a key.
struct IndexDef {
  std::string_view name;
  bool unique;
  std::span<const std::string_view> columns;
};

struct TableDef {
  std::string_view name;
  std::span<const ColumnDef> columns;        // in table order
  std::string_view primary_key;              // one column, or empty for none
  std::span<const IndexDef> indexes;         // unique keys and lookup indexes
};

// The longest password, in characters, that the system stores: the limit of
// the dialogs that take a new password. HISTORY.USER_PWD holds that many
// characters; QUARVEL.USER_PWD holds the scrambled UTF-8 bytes of that many
// characters of any kind.
inline constexpr int kPasswordMaxChars = 20;

// QUARVEL, PROFILES, PROGS, HISTORY, UACCESS, PACCESS, AUDIT, USERINFO.
std::span<const TableDef> SecurityTables();

// Lookup by name without regard to letter case; nullptr when unknown.
const TableDef* FindTable(std::string_view name);
const ColumnDef* FindColumn(const TableDef& table, std::string_view name);
// The declared width of TABLE.COLUMN, or 0 when unknown or numeric.
int ColumnWidth(std::string_view table, std::string_view column);

// The engines the creation statements exist for.
inline constexpr std::string_view kEngineSqlite = "sqlite";
inline constexpr std::string_view kEnginePostgresql = "postgresql";

// The SQL type of a column on an engine: VARCHAR(n), INTEGER, SMALLINT;
// byte columns are "BLOB(n)" on SQLite (keeping the width visible in the
// declared type) and "bytea" on PostgreSQL.
std::string SqlColumnType(const ColumnDef& column, std::string_view engine);

// The statements that create every table with its keys and indexes in an
// empty database, one statement per element, to run in order. An unknown
// engine raises qv::Exception naming it.
std::vector<std::string> CreateSchemaStatements(std::string_view engine);

}  // namespace qv

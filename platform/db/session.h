// Session: the process-wide registry of database aliases and of the one
// connection per alias.
//
// An alias names an engine and where its database is:
//   sqlite      a file path (the file must exist; opening never creates it)
//   postgresql  a libpq connection string
//
// Aliases come from an aliases file and from code. The aliases file is an INI
// file with one section per alias (a name holds no "[" or "]"):
//   [security]
//   driver=sqlite
//   path=/var/lib/app/security.db
//   [shared]
//   driver=postgresql
//   conninfo=host=db1 dbname=security user=app
// Blank lines and lines starting with ';' or '#' are ignored. The file read
// is the first of: the file named by $QV_ALIASES (when set, even if it does
// not exist yet), $XDG_CONFIG_HOME/qvd3/aliases.ini (XDG_CONFIG_HOME
// defaulting to ~/.config), /etc/qvd3/aliases.ini. It is read on first use
// and again by ReloadAliases(). Alias names compare case-insensitively.
//
// Connections open on first use (Database()) and stay open, shared by every
// dataset on that alias, until CloseDatabase() or the end of the process.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TDatabase;

enum class EngineKind { Sqlite, PostgreSql };

struct AliasDefinition {
  std::string name;
  EngineKind engine = EngineKind::Sqlite;
  // SQLite: the database file. PostgreSQL: the libpq connection string.
  std::string location;
};

class Session {
 public:
  // The one session of the process.
  static Session& Default();

  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The names of all known aliases: those of the aliases file in file order,
  // then those added in code in the order they were added.
  void GetDatabaseNames(std::vector<std::string>& names);

  // Adds an alias for this process, replacing one of the same name (a code
  // alias hides a file alias of the same name). An open connection of a
  // replaced alias is closed.
  void AddAlias(const AliasDefinition& alias);
  // Forgets a code alias and closes its connection; unknown names are ignored.
  void RemoveAlias(std::string_view name);
  bool HasAlias(std::string_view name);
  // The definition of `name`; EDatabaseError "Unknown database alias 'X'"
  // when there is none.
  AliasDefinition FindAlias(std::string_view name);

  // Re-reads the aliases file (after $QV_ALIASES or the file changed).
  // A malformed file raises EDatabaseError naming the file and the line.
  void ReloadAliases();

  // The connection of `alias`, opened now if it is not yet. Raises
  // EDatabaseError naming the alias when the alias is unknown, the SQLite
  // file is missing or the server cannot be reached.
  TDatabase& Database(std::string_view alias);
  // Closes the connection of `alias` if open (datasets on it must be
  // closed). The next Database() call opens a new one.
  void CloseDatabase(std::string_view alias);
  void CloseAllDatabases();

  // The aliases file read by ReloadAliases(), or empty when none exists.
  static std::filesystem::path AliasesFilePath();
  // The file that AddAliasToFile() writes by default: $QV_ALIASES when set,
  // else $XDG_CONFIG_HOME/qvd3/aliases.ini (~/.config/qvd3/aliases.ini).
  static std::filesystem::path WritableAliasesFilePath();

  // Writes `alias` into the aliases file `file` (adding it or replacing the
  // section of the same name, other sections kept), creating the file and
  // its folder when missing. Use ReloadAliases() to see it in this process.
  static void AddAliasToFile(const std::filesystem::path& file, const AliasDefinition& alias);
  // Removes the section of `name` from `file`; false when it had none.
  static bool RemoveAliasFromFile(const std::filesystem::path& file, std::string_view name);

  // Creates a new, empty SQLite database file at `path`. Raises
  // EDatabaseError when the file already exists or cannot be created.
  static void CreateSqliteDatabase(const std::filesystem::path& path);

  // The engine name used in aliases files ("sqlite", "postgresql") and back;
  // an unknown name raises EDatabaseError.
  static std::string_view EngineName(EngineKind engine);
  static EngineKind ParseEngineName(std::string_view name);

 private:
  void EnsureLoaded();

  bool loaded_ = false;
  std::vector<AliasDefinition> file_aliases_;
  std::vector<AliasDefinition> code_aliases_;
  std::map<std::string, std::unique_ptr<TDatabase>> open_;  // by lower-case alias
};

}  // namespace qv

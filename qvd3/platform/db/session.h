// Session: the process-wide registry of database aliases and of the one
// connection per alias.
//
// An alias names an engine and where its database is:
//   sqlite      a file path (the file must exist; opening never creates it)
//   postgresql  a libpq connection string
//
// Aliases come from aliases files and from code. An aliases file is an INI
// file with one section per alias (a name holds no "[" or "]"):
//   [security]
//   driver=sqlite
//   path=/var/lib/app/security.db
//   [shared]
//   driver=postgresql
//   conninfo=host=db1 dbname=security user=app
// Blank lines and lines starting with ';' or '#' are ignored. Three files are
// read together, in this order: the file named by $QV_ALIASES (when set),
// $XDG_CONFIG_HOME/qvd3/aliases.ini (XDG_CONFIG_HOME defaulting to
// ~/.config), /etc/qvd3/aliases.ini. A file that does not exist is skipped;
// an alias of an earlier file hides one of the same name in a later file, so
// a user's file can re-point an alias of the machine's. The files are read on
// first use and again by ReloadAliases(). Alias names compare
// case-insensitively.
//
// Connections open on first use (Database()) and stay open, shared by every
// dataset on that alias, until CloseDatabase() or the end of the process.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
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
  // The aliases file the alias was read from; empty for an alias added in
  // code.
  std::string file;
};

class Session {
 public:
  // The one session of the process.
  static Session& Default();

  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The names of all known aliases: those of the aliases files in lookup
  // order (each file in its own order, names already seen left out), then
  // those added in code in the order they were added.
  void GetDatabaseNames(std::vector<std::string>& names);

  // Adds an alias for this process, replacing one of the same name (a code
  // alias hides a file alias of the same name). An open connection of a
  // replaced alias is closed. A malformed definition (see CheckAlias) raises
  // EDatabaseError and changes nothing.
  void AddAlias(const AliasDefinition& alias);
  // Forgets a code alias and closes its connection; unknown names are ignored.
  void RemoveAlias(std::string_view name);
  bool HasAlias(std::string_view name);
  // The definition of `name`; EDatabaseError "Unknown database alias 'X'"
  // followed by the aliases files searched when there is none.
  AliasDefinition FindAlias(std::string_view name);

  // Re-reads the aliases files (after $QV_ALIASES or a file changed).
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

  // The aliases files in lookup order, whether they exist or not.
  static std::vector<std::filesystem::path> AliasesFileSearchPath();
  // The file that AddAliasToFile() writes by default: $QV_ALIASES when set,
  // else $XDG_CONFIG_HOME/qvd3/aliases.ini (~/.config/qvd3/aliases.ini).
  static std::filesystem::path WritableAliasesFilePath();

  // Writes `alias` into the aliases file `file` (adding it or replacing the
  // section of the same name, other sections kept), creating the file and
  // its folder when missing. Use ReloadAliases() to see it in this process.
  // The file is replaced whole, through a temporary file created exclusively
  // in the same folder: it keeps its mode (a new file is readable by its
  // owner only, as it may hold passwords), and a failure leaves it, and no
  // temporary file, behind. A malformed definition (see CheckAlias) or a
  // file that cannot be written raises EDatabaseError naming the file and
  // leaves the file as it was.
  static void AddAliasToFile(const std::filesystem::path& file, const AliasDefinition& alias);
  // The definition of `name` in `file` alone, if the file has one.
  static std::optional<AliasDefinition> FindAliasInFile(const std::filesystem::path& file,
                                                        std::string_view name);
  // Removes the section of `name` from `file`; false when it had none.
  static bool RemoveAliasFromFile(const std::filesystem::path& file, std::string_view name);

  // Creates a new, empty SQLite database file at `path`. Raises
  // EDatabaseError when the file already exists or cannot be created.
  static void CreateSqliteDatabase(const std::filesystem::path& path);

  // Raises EDatabaseError naming the alias when `alias` cannot be written or
  // used as given: an empty or bracketed name, a line break, an empty
  // location, or a PostgreSQL connection string that libpq cannot parse.
  static void CheckAlias(const AliasDefinition& alias);

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

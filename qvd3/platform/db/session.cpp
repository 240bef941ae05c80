#include "qvd3/platform/db/session.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/engine.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/replacement_file.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

fs::path UserAliasesFile() {
  std::string xdg = Env("XDG_CONFIG_HOME");
  fs::path base = !xdg.empty() ? fs::path(xdg) : fs::path(Env("HOME")) / ".config";
  return base / "qvd3" / "aliases.ini";
}

// One section of an aliases file as read, with the lines it spans.
struct Section {
  AliasDefinition alias;
  int first_line = 0;
  int last_line = 0;  // inclusive
};

// Reads an aliases file; every defect raises EDatabaseError "file:line: ...".
std::vector<Section> ParseAliasesFile(const fs::path& file, std::vector<std::string>* lines_out = nullptr) {
  std::ifstream in(file);
  if (!in) throw EDatabaseError("Cannot read the aliases file " + file.string());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::vector<Section> sections;
  bool has_driver = false, has_location = false;
  auto fail = [&](int line, const std::string& why) -> void {
    throw EDatabaseError(file.string() + ":" + std::to_string(line) + ": " + why);
  };
  auto finish = [&]() {
    if (sections.empty()) return;
    Section& s = sections.back();
    if (!has_driver) fail(s.first_line, "alias '" + s.alias.name + "' has no driver=");
    if (!has_location)
      fail(s.first_line, "alias '" + s.alias.name + "' has no " +
                             (s.alias.engine == EngineKind::Sqlite ? "path=" : "conninfo="));
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    int number = static_cast<int>(i) + 1;
    std::string line = Trim(lines[i]);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      if (line.back() != ']') fail(number, "section header without ']'");
      finish();
      std::string name = Trim(std::string_view(line).substr(1, line.size() - 2));
      if (name.empty()) fail(number, "empty alias name");
      // The names AddAliasToFile can write back, so that every alias read
      // can be rewritten and removed.
      if (name.find_first_of("[]") != std::string::npos)
        fail(number, "alias name '" + name + "' holds '[' or ']'");
      for (const auto& s : sections)
        if (SameText(s.alias.name, name)) fail(number, "alias '" + name + "' defined twice");
      sections.push_back(Section{AliasDefinition{name, EngineKind::Sqlite, "", file.string()}, number, number});
      has_driver = has_location = false;
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) fail(number, "expected key=value");
    if (sections.empty()) fail(number, "key outside of an alias section");
    std::string key = AsciiLower(Trim(std::string_view(line).substr(0, eq)));
    std::string value = Trim(std::string_view(line).substr(eq + 1));
    Section& s = sections.back();
    s.last_line = number;
    if (key == "driver") {
      std::string driver = AsciiLower(value);
      if (driver == "sqlite") s.alias.engine = EngineKind::Sqlite;
      else if (driver == "postgresql") s.alias.engine = EngineKind::PostgreSql;
      else fail(number, "unknown driver '" + value + "' (expected sqlite or postgresql)");
      has_driver = true;
    } else if (key == "path" || key == "conninfo") {
      s.alias.location = value;
      has_location = true;
    } else {
      fail(number, "unknown key '" + key + "'");
    }
  }
  finish();
  // Blank and comment lines after a section's last key belong to it too, so
  // removing a section leaves the following ones intact.
  for (std::size_t k = 0; k < sections.size(); ++k)
    sections[k].last_line = k + 1 < sections.size() ? sections[k + 1].first_line - 1
                                                    : static_cast<int>(lines.size());
  if (lines_out) *lines_out = std::move(lines);
  return sections;
}

// The file may hold conninfo passwords: it is replaced whole (see
// TReplacementFile), keeping its mode, a new one readable by its owner only.
void WriteLines(const fs::path& file, const std::vector<std::string>& lines) {
  try {
    std::error_code ec;
    if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
    if (ec) throw Exception(file.string() + ": cannot create its folder (" + ec.message() + ")");
    TReplacementFile replacement(file, ModeOfFileOr(file, S_IRUSR | S_IWUSR));
    std::ostream out(&replacement);
    for (const auto& line : lines) out << line << '\n';
    replacement.Commit();
  } catch (const Exception& error) {
    throw EDatabaseError("Cannot write the aliases file " + error.Message());
  }
}

// Removes section `name` from `lines`; false when absent.
bool EraseSection(const fs::path& file, std::vector<std::string>& lines, std::string_view name) {
  std::vector<std::string> read;
  for (const Section& s : ParseAliasesFile(file, &read)) {
    if (!SameText(s.alias.name, name)) continue;
    lines = std::move(read);
    lines.erase(lines.begin() + (s.first_line - 1), lines.begin() + s.last_line);
    return true;
  }
  lines = std::move(read);
  return false;
}

}  // namespace

Session& Session::Default() {
  static Session session;
  return session;
}

Session::Session() = default;
Session::~Session() = default;

std::vector<fs::path> Session::AliasesFileSearchPath() {
  std::vector<fs::path> files;
  std::string named = Env("QV_ALIASES");
  if (!named.empty()) files.emplace_back(named);
  files.push_back(UserAliasesFile());
  files.emplace_back("/etc/qvd3/aliases.ini");
  return files;
}

fs::path Session::WritableAliasesFilePath() {
  std::string named = Env("QV_ALIASES");
  return !named.empty() ? fs::path(named) : UserAliasesFile();
}

// Every file is parsed before any alias is taken over, so a malformed file
// leaves the aliases read before unchanged.
void Session::ReloadAliases() {
  std::vector<AliasDefinition> read;
  for (const fs::path& file : AliasesFileSearchPath()) {
    if (!fs::exists(file)) continue;
    for (auto& s : ParseAliasesFile(file)) {
      bool hidden = false;
      for (const auto& earlier : read) hidden = hidden || SameText(earlier.name, s.alias.name);
      if (!hidden) read.push_back(std::move(s.alias));
    }
  }
  file_aliases_ = std::move(read);
  loaded_ = true;
}

void Session::EnsureLoaded() {
  if (!loaded_) ReloadAliases();
}

void Session::GetDatabaseNames(std::vector<std::string>& names) {
  EnsureLoaded();
  names.clear();
  for (const auto& a : file_aliases_) {
    bool hidden = false;
    for (const auto& c : code_aliases_) hidden = hidden || SameText(c.name, a.name);
    if (!hidden) names.push_back(a.name);
  }
  for (const auto& a : code_aliases_) names.push_back(a.name);
}

void Session::AddAlias(const AliasDefinition& alias) {
  CheckAlias(alias);
  CloseDatabase(alias.name);
  for (auto& a : code_aliases_) {
    if (SameText(a.name, alias.name)) {
      a = alias;
      return;
    }
  }
  code_aliases_.push_back(alias);
  code_aliases_.back().file.clear();
}

void Session::RemoveAlias(std::string_view name) {
  for (auto it = code_aliases_.begin(); it != code_aliases_.end(); ++it) {
    if (SameText(it->name, name)) {
      CloseDatabase(name);
      code_aliases_.erase(it);
      return;
    }
  }
}

bool Session::HasAlias(std::string_view name) {
  EnsureLoaded();
  for (const auto& a : code_aliases_)
    if (SameText(a.name, name)) return true;
  for (const auto& a : file_aliases_)
    if (SameText(a.name, name)) return true;
  return false;
}

AliasDefinition Session::FindAlias(std::string_view name) {
  EnsureLoaded();
  for (const auto& a : code_aliases_)
    if (SameText(a.name, name)) return a;
  for (const auto& a : file_aliases_)
    if (SameText(a.name, name)) return a;
  std::string searched;
  for (const fs::path& file : AliasesFileSearchPath())
    searched += (searched.empty() ? "" : ", ") + file.string() + (fs::exists(file) ? "" : " (absent)");
  throw EDatabaseError("Unknown database alias '" + std::string(name) + "' (aliases files searched: " +
                       searched + ")");
}

TDatabase& Session::Database(std::string_view alias) {
  std::string key = AsciiLower(alias);
  auto it = open_.find(key);
  if (it != open_.end()) return *it->second;
  if (alias.empty()) throw EDatabaseError("No database alias given");
  AliasDefinition def = FindAlias(alias);
  std::unique_ptr<dbimpl::Engine> engine = def.engine == EngineKind::Sqlite
                                               ? dbimpl::OpenSqlite(def.name, def.location)
                                               : dbimpl::OpenPostgres(def.name, def.location);
  std::unique_ptr<TDatabase> db(new TDatabase(def, std::move(engine)));
  TDatabase& ref = *db;
  open_.emplace(key, std::move(db));
  return ref;
}

void Session::CloseDatabase(std::string_view alias) { open_.erase(AsciiLower(alias)); }

void Session::CloseAllDatabases() { open_.clear(); }

void Session::CheckAlias(const AliasDefinition& alias) {
  if (alias.name.empty()) throw EDatabaseError("An alias needs a name");
  if (alias.name.find_first_of("[]\n") != std::string::npos || Trim(alias.name) != alias.name)
    throw EDatabaseError("Invalid alias name '" + alias.name + "'");
  const std::string what = alias.engine == EngineKind::Sqlite ? "database file" : "connection string";
  if (alias.location.empty()) throw EDatabaseError("Alias '" + alias.name + "' has no " + what);
  if (alias.location.find('\n') != std::string::npos)
    throw EDatabaseError("Alias '" + alias.name + "': the " + what + " holds a line break");
  if (alias.engine == EngineKind::PostgreSql) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(alias.location.c_str(), &error);
    if (options == nullptr) {
      std::string why = error != nullptr ? Trim(error) : "out of memory";
      if (error != nullptr) PQfreemem(error);
      throw EDatabaseError("Alias '" + alias.name + "': invalid PostgreSQL connection string: " + why);
    }
    PQconninfoFree(options);
  }
}

std::optional<AliasDefinition> Session::FindAliasInFile(const fs::path& file, std::string_view name) {
  if (!fs::exists(file)) return std::nullopt;
  for (auto& s : ParseAliasesFile(file))
    if (SameText(s.alias.name, name)) return std::move(s.alias);
  return std::nullopt;
}

void Session::AddAliasToFile(const fs::path& file, const AliasDefinition& alias) {
  CheckAlias(alias);
  std::vector<std::string> lines;
  if (fs::exists(file)) EraseSection(file, lines, alias.name);
  while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
  if (!lines.empty()) lines.push_back("");
  lines.push_back("[" + alias.name + "]");
  lines.push_back("driver=" + std::string(EngineName(alias.engine)));
  lines.push_back((alias.engine == EngineKind::Sqlite ? "path=" : "conninfo=") + alias.location);
  WriteLines(file, lines);
}

bool Session::RemoveAliasFromFile(const fs::path& file, std::string_view name) {
  if (!fs::exists(file)) return false;
  std::vector<std::string> lines;
  if (!EraseSection(file, lines, name)) return false;
  WriteLines(file, lines);
  return true;
}

void Session::CreateSqliteDatabase(const fs::path& path) {
  if (fs::exists(path)) throw EDatabaseError("The database file '" + path.string() + "' already exists");
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  // An empty file is not yet a database; switching to WAL writes its header.
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  sqlite3_close(db);
  if (rc != SQLITE_OK)
    throw EDatabaseError("Cannot create the database file '" + path.string() + "': " + message, {rc});
}

std::string_view Session::EngineName(EngineKind engine) {
  return engine == EngineKind::Sqlite ? "sqlite" : "postgresql";
}

EngineKind Session::ParseEngineName(std::string_view name) {
  if (SameText(name, "sqlite")) return EngineKind::Sqlite;
  if (SameText(name, "postgresql")) return EngineKind::PostgreSql;
  throw EDatabaseError("Unknown database driver '" + std::string(name) + "' (expected sqlite or postgresql)");
}

}  // namespace qv

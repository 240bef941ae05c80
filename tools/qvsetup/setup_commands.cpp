#include "tools/qvsetup/setup_commands.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/data/schema.h"
#include "qvd3/data/secured_mode.h"
#include "qvd3/design/database_names.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/hide_passwords.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/text_case.h"
#include "qvd3/platform/sys/utf8.h"
#include "tools/qvsetup/admin_commands.h"
#include "tools/qvsetup/command_errors.h"
#include "tools/qvsetup/password_input.h"
#include "tools/qvsetup/secure_commands.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;


constexpr const char* kUsage =
    "usage:\n"
    "  qvsetup init ALIAS [--master-password-file FILE|-] [--date-pattern PATTERN]\n"
    "                       create the security tables and \"master\"; the password is\n"
    "                       asked for (no echo), or read from FILE or standard input (-);\n"
    "                       --master-password TEXT also works, but every user of the\n"
    "                       machine can see a command line, and the shell keeps it\n"
    "                       stored dates follow PATTERN (dd/mm/yyyy, mm/dd/yyyy,\n"
    "                       yyyy-mm-dd...), else this machine's order of date elements\n"
    "  qvsetup date-pattern ALIAS PATTERN\n"
    "                       record the pattern every client stores and reads dates in\n"
    "  qvsetup check ALIAS  verify the security tables and the stored dates, and say\n"
    "                       whether the database is secured and for which role\n"
    "  qvsetup alias add [--replace] NAME sqlite PATH\n"
    "  qvsetup alias add [--replace] NAME postgresql CONNINFO\n"
    "                       add an alias to the aliases file ($QV_ALIASES, else\n"
    "                       ~/.config/qvd3/aliases.ini); --replace re-points one\n"
    "  qvsetup alias list   the known aliases, the file of each, in lookup order\n"
    "                       (passwords in connection strings shown as ***)\n";

// A command line that does not fit the usage.
struct UsageError {
  std::string message;
};

std::string EngineNameOf(const std::string& alias) {
  return std::string(Session::EngineName(Session::Default().FindAlias(alias).engine));
}

// The names of the tables the connected schema holds, upper-cased: the
// whole file on SQLite, the schema in use on PostgreSQL.
std::vector<std::string> CatalogTables(const std::string& alias) {
  TQuery query;
  query.SetDatabaseName(alias);
  if (Session::Default().FindAlias(alias).engine == EngineKind::Sqlite)
    query.SetSQL("SELECT name FROM sqlite_master WHERE type='table'");
  else
    query.SetSQL(
        "SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema()");
  query.Open();
  std::vector<std::string> names;
  for (query.First(); !query.Eof(); query.Next()) names.push_back(AsciiUpper(query.Fields()[0]->AsString()));
  return names;
}

// The column names of a table, upper-cased, as a select reports them.
std::vector<std::string> TableColumns(const std::string& alias, std::string_view table) {
  TQuery query;
  query.SetDatabaseName(alias);
  query.SetSQL("SELECT * FROM " + std::string(table) + " WHERE 1=0");
  query.Open();
  std::vector<std::string> names;
  for (TField* field : query.Fields()) names.push_back(AsciiUpper(field->FieldName()));
  return names;
}

// The pattern init records: the one given, or this machine's normalised one.
std::string PatternToRecord(const std::string& given) {
  if (!given.empty()) return CheckedDatePattern(given);
  const std::string machine = NormalizedDateFormat(ShortDateFormat());
  try {
    return CheckedDatePattern(machine);
  } catch (const Exception& error) {
    throw Exception("this machine's date pattern cannot be recorded: " + std::string(error.what()) +
                    "; give one with --date-pattern");
  }
}

void CreateTablesAndMaster(const std::string& alias, const std::string& masterPassword,
                           const std::string& datePattern) {
  TDatabase& database = Session::Default().Database(alias);
  std::vector<std::string> present = ExistingSecurityTables(alias);
  if (!present.empty()) {
    std::string list;
    for (const std::string& name : present) list += (list.empty() ? "" : ", ") + name;
    throw Exception("the database already holds security tables (" + list + "); nothing was changed");
  }
  const std::string pattern = PatternToRecord(datePattern);
  std::string today;
  {
    ScopedDatabaseDateFormat recorded(pattern);
    ScopedNormalizedDateFormat normalized;
    today = DateToStr(Date());
  }
  TransactionGuard transaction(database);
  for (const std::string& statement : CreateSchemaStatements(EngineNameOf(alias)))
    database.ExecDirect(statement);
  TQuery insert;
  insert.SetDatabaseName(alias);
  insert.SetSQL(
      "INSERT INTO QUARVEL (USERQV_NAME, REAL_NAME, USER_PWD, USER_ID, LAST_PWD_CHANGE, PROFILE_ID, "
      "AUDIT_MODE) VALUES ('master', :REAL_NAME, :USER_PWD, 1, :LAST_PWD_CHANGE, 0, '0')");
  insert.ParamByName("REAL_NAME").SetAsString("Administrador");
  insert.ParamByName("USER_PWD").SetAsBytes(EncodePassword(masterPassword));
  insert.ParamByName("LAST_PWD_CHANGE").SetAsString(today);
  insert.ExecSQL();
  RecordDatePattern(alias, pattern);
  transaction.Commit();
}

// "N stored date(s) cannot be read under P", the count spelt for its number.
std::string UnreadableText(long long count, const std::string& pattern) {
  return std::to_string(count) + (count == 1 ? " stored date cannot" : " stored dates cannot") +
         " be read under " + pattern;
}

// The recorded pattern as a note, and each column holding dates that cannot
// be read under it as a problem. A record the component would refuse is a
// problem too.
void CheckStoredDates(const std::string& alias, CheckResult& result) {
  std::optional<std::string> pattern;
  try {
    pattern = ReadDatePattern(alias);
  } catch (const Exception& error) {
    result.problems.push_back(error.what());
    return;
  }
  if (!pattern) {
    result.notes.push_back("no date pattern recorded: each client stores dates in its machine's order");
    return;
  }
  result.notes.push_back("stored dates follow the recorded date pattern " + *pattern);
  for (const UnreadableDates& found : FindUnreadableDates(alias, *pattern))
    if (found.count > 0)
      result.problems.push_back("table " + std::string(found.where.table) + " column " +
                                std::string(found.where.column) + ": " + UnreadableText(found.count, *pattern) +
                                " (for example '" + found.first + "')");
}

// ---- Commands ---------------------------------------------------------------

int CommandInit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                std::istream& in) {
  std::string alias;
  std::optional<std::string> password;
  std::string passwordFile;
  std::optional<std::string> datePattern;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--master-password" || arg == "--master-password-file") {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      (arg == "--master-password" ? password.emplace() : passwordFile) = args[++i];
    } else if (arg.rfind("--master-password=", 0) == 0) {
      password = arg.substr(std::string_view("--master-password=").size());
    } else if (arg.rfind("--master-password-file=", 0) == 0) {
      passwordFile = arg.substr(std::string_view("--master-password-file=").size());
    } else if (arg == "--date-pattern") {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      datePattern = args[++i];
    } else if (arg.rfind("--date-pattern=", 0) == 0) {
      datePattern = arg.substr(std::string_view("--date-pattern=").size());
    } else if (arg.rfind("--", 0) == 0) {
      throw UsageError{"unknown option " + arg};
    } else if (alias.empty()) {
      alias = arg;
    } else {
      throw UsageError{"init takes one alias"};
    }
  }
  if (alias.empty()) throw UsageError{"init needs an alias"};
  // A pattern that cannot be recorded is refused before the password is asked for.
  if (datePattern) {
    try {
      CheckedDatePattern(*datePattern);
    } catch (const Exception& error) {
      throw UsageError{error.what()};
    }
  } else {
    PatternToRecord("");
  }
  if (password && !passwordFile.empty())
    throw UsageError{"give the master password once: --master-password or --master-password-file"};
  if (!passwordFile.empty()) password = ReadPasswordFrom(passwordFile, in);
  if (!password && &in == &std::cin) password = PromptPassword(err);
  if (!password)
    throw UsageError{"init needs the master password: type it at a terminal, or give "
                     "--master-password-file FILE, or --master-password-file - to read standard input"};
  if (password->empty()) throw UsageError{"the master password must not be empty"};
  if (Utf8InvalidAt(*password) != std::string::npos)
    throw UsageError{"the master password must be UTF-8 text"};
  if (Utf8Length(*password) > static_cast<std::size_t>(kPasswordMaxChars))
    throw UsageError{"the master password may have at most " + std::to_string(kPasswordMaxChars) +
                     " characters"};
  InitDatabase(alias, *password, datePattern.value_or(""));
  out << "alias '" << alias << "': created the security tables and the user \"master\"\n";
  out << "alias '" << alias << "': stored dates follow the pattern " << *ReadDatePattern(alias) << "\n";
  return kExitOk;
}

int CommandDatePattern(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 3) throw UsageError{"date-pattern takes an alias and a pattern"};
  const DatePatternChange change = SetDatabaseDatePattern(args[1], args[2]);
  if (change.rewritten > 0)
    out << "alias '" << args[1] << "': rewrote " << change.rewritten << " stored date(s) from " << change.previous
        << " to " << change.pattern << "\n";
  out << "alias '" << args[1] << "': stored dates follow the pattern " << change.pattern << "\n";
  return kExitOk;
}

int CommandCheck(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 2) throw UsageError{"check takes one alias"};
  const std::string& alias = args[1];
  CheckResult result = CheckDatabase(alias);
  for (const std::string& note : result.notes) out << "alias '" << alias << "': " << note << "\n";
  if (result.Complete()) {
    out << "alias '" << alias << "': the security tables are complete\n";
    return kExitOk;
  }
  for (const std::string& problem : result.problems) out << "alias '" << alias << "': " << problem << "\n";
  out << "alias '" << alias << "': the security database has problems (listed above)\n";
  return kExitFailed;
}

int CommandAliasAdd(const std::vector<std::string>& args, std::ostream& out) {
  std::vector<std::string> words(args.begin() + 2, args.end());
  const bool replace = std::erase(words, std::string("--replace")) > 0;
  if (words.size() != 3) throw UsageError{"alias add takes NAME, a driver and a location"};
  AliasDefinition alias;
  alias.name = words[0];
  const std::string& driver = words[1];
  if (driver == Session::EngineName(EngineKind::Sqlite)) {
    alias.engine = EngineKind::Sqlite;
    // An alias is used from any folder, so a relative path is made absolute.
    if (!words[2].empty()) alias.location = fs::absolute(words[2]).lexically_normal().string();
  } else if (driver == Session::EngineName(EngineKind::PostgreSql)) {
    alias.engine = EngineKind::PostgreSql;
    alias.location = words[2];
  } else {
    throw UsageError{"alias '" + alias.name + "': unknown driver '" + driver +
                     "' (use sqlite or postgresql)"};
  }
  fs::path file = Session::WritableAliasesFilePath();
  std::optional<AliasDefinition> present = Session::FindAliasInFile(file, alias.name);
  if (present && !replace)
    throw Exception("alias '" + alias.name + "' is already defined in " + file.string() + " (" +
                    std::string(Session::EngineName(present->engine)) + " " + present->location +
                    "); add --replace to re-point it");
  // An alias of a later file that the new one hides, to say so.
  std::optional<AliasDefinition> hidden;
  if (Session::Default().HasAlias(alias.name)) hidden = Session::Default().FindAlias(alias.name);
  Session::AddAliasToFile(file, alias);
  Session::Default().ReloadAliases();
  out << "alias '" << alias.name << "': " << (present ? "re-pointed in " : "written to ") << file.string() << "\n";
  if (hidden && !hidden->file.empty() && fs::path(hidden->file) != file)
    out << "alias '" << alias.name << "': overrides the one in " << hidden->file << "\n";
  return kExitOk;
}

int CommandAliasList(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 2) throw UsageError{"alias list takes no arguments"};
  Session& session = Session::Default();
  ListDatabaseNames([&](const std::string& name) {
    AliasDefinition alias = session.FindAlias(name);
    out << name << "\t" << Session::EngineName(alias.engine) << "\t" << HidePasswords(alias.location) << "\t"
        << (alias.file.empty() ? "(added in code)" : alias.file) << "\n";
  });
  return kExitOk;
}

// The alias a failing command was about, for its error message.
std::string AliasOfCommand(const std::vector<std::string>& args) {
  if (args.size() >= 2 && (args[0] == "init" || args[0] == "check" || args[0] == "date-pattern")) {
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--master-password" || args[i] == "--master-password-file" || args[i] == "--date-pattern") {
        ++i;
        continue;
      }
      if (args[i].rfind("--", 0) != 0) return args[i];
    }
  }
  if (args.size() >= 3 && args[0] == "alias" && args[1] == "add")
    for (std::size_t i = 2; i < args.size(); ++i)
      if (args[i] != "--replace") return args[i];
  return "";
}

}  // namespace

std::vector<std::string> ExistingSecurityTables(const std::string& alias) {
  std::vector<std::string> catalog = CatalogTables(alias);
  std::vector<std::string> present;
  for (const TableDef& table : SecurityTables()) {
    std::string name = AsciiUpper(table.name);
    if (std::find(catalog.begin(), catalog.end(), name) != catalog.end()) present.push_back(name);
  }
  return present;
}

// A new SQLite file is made only for the duration of a successful init: if
// anything fails afterwards the file is removed again, so a failed init never
// leaves an empty database that a later run would take for a prepared one.
void InitDatabase(const std::string& alias, const std::string& masterPassword,
                  const std::string& datePattern) {
  Session& session = Session::Default();
  AliasDefinition definition = session.FindAlias(alias);
  bool createdFile = false;
  if (definition.engine == EngineKind::Sqlite && !fs::exists(definition.location)) {
    Session::CreateSqliteDatabase(definition.location);
    createdFile = true;
  }
  try {
    CreateTablesAndMaster(alias, masterPassword, datePattern);
  } catch (...) {
    if (createdFile) {
      session.CloseDatabase(alias);
      std::error_code ignored;
      fs::remove(definition.location, ignored);
      fs::remove(definition.location + "-wal", ignored);
      fs::remove(definition.location + "-shm", ignored);
    }
    throw;
  }
}

CheckResult CheckDatabase(const std::string& alias) {
  CheckResult result;
  const SecuredState secured = ReadSecuredState(alias);
  bool rowsHidden = false;
  if (secured.Secured) {
    TQuery client;
    client.SetDatabaseName(alias);
    client.SetSQL("SELECT CASE WHEN qv_is_secured_client() THEN 1 ELSE 0 END");
    client.Open();
    rowsHidden = client.Fields()[0]->AsInteger() == 1;
    std::string admins = "master";
    for (const std::string& admin : secured.Admins) admins += ", " + admin;
    result.notes.push_back("secured for the client role " + secured.ClientRole +
                           (rowsHidden ? "" : " (administrators: " + admins + ")"));
  } else if (Session::Default().FindAlias(alias).engine == EngineKind::PostgreSql) {
    result.notes.push_back("not secured: every connection's role decides what it may change");
  }
  std::vector<std::string> present = ExistingSecurityTables(alias);
  for (const TableDef& table : SecurityTables()) {
    std::string name = AsciiUpper(table.name);
    if (std::find(present.begin(), present.end(), name) == present.end()) {
      result.problems.push_back("table " + name + " is missing");
      continue;
    }
    std::vector<std::string> columns = TableColumns(alias, table.name);
    for (const ColumnDef& column : table.columns) {
      std::string columnName = AsciiUpper(column.name);
      if (std::find(columns.begin(), columns.end(), columnName) == columns.end())
        result.problems.push_back("table " + name + " has no column " + columnName);
    }
  }
  if (rowsHidden) {
    result.notes.push_back("connected as the client role, which sees no rows before a login: "
                           "the rows and the stored dates were not checked");
    return result;
  }
  if (result.problems.empty()) {
    TQuery master;
    master.SetDatabaseName(alias);
    master.SetSQL("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME='master'");
    master.Open();
    if (master.Fields()[0]->AsInteger() == 0)
      result.problems.push_back("table QUARVEL has no row for the user \"master\"");
  }
  if (result.problems.empty()) CheckStoredDates(alias, result);
  return result;
}

// The dates are read inside the transaction that records the pattern, so no
// date written meanwhile escapes the look (on SQLite the transaction holds
// the write lock from its start).
DatePatternChange SetDatabaseDatePattern(const std::string& alias, const std::string& pattern) {
  DatePatternChange change;
  change.pattern = CheckedDatePattern(pattern);
  const std::string& canonical = change.pattern;
  if (ExistingSecurityTables(alias).size() != SecurityTables().size())
    throw Exception("the database does not hold every security table (see qvsetup check); nothing was recorded");
  TransactionGuard transaction(Session::Default().Database(alias));
  try {
    change.previous = ReadDatePattern(alias).value_or("");
  } catch (const Exception&) {
    // An unusable record says nothing about the stored dates; replacing it
    // is what this command is for.
  }
  if (!change.previous.empty() && change.previous != canonical)
    change.rewritten = RewriteStoredDates(alias, change.previous, canonical);
  long long total = 0;
  std::string where;
  for (const UnreadableDates& found : FindUnreadableDates(alias, canonical)) {
    if (found.count == 0) continue;
    total += found.count;
    where += (where.empty() ? "" : ", ") + std::string(found.where.table) + "." + std::string(found.where.column) +
             " " + std::to_string(found.count) + " (for example '" + found.first + "')";
  }
  if (total > 0) throw Exception(UnreadableText(total, canonical) + ": " + where + "; nothing was changed");
  RecordDatePattern(alias, canonical);
  transaction.Commit();
  return change;
}

int RunSetup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             std::istream& in) {
  try {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command == "init") return CommandInit(args, out, err, in);
    if (command == "check") return CommandCheck(args, out);
    if (command == "date-pattern") return CommandDatePattern(args, out);
    if (command == "alias" && args.size() >= 2 && args[1] == "add") return CommandAliasAdd(args, out);
    if (command == "alias" && args.size() >= 2 && args[1] == "list") return CommandAliasList(args, out);
    if (IsAdminCommand(args)) return RunAdminCommand(args, out, err, in);
    if (IsSecureCommand(args)) return RunSecureCommand(args, out, err, in);
    if (command == "help" || command == "--help" || command == "-h") {
      out << kUsage << SecureUsage() << AdminUsage();
      return kExitOk;
    }
    throw UsageError{"unknown command '" + command + (args.size() >= 2 && command == "alias" ? " " + args[1] : "") + "'"};
  } catch (const UsageError& error) {
    err << "qvsetup: " << HidePasswords(error.message) << "\n" << kUsage << SecureUsage() << AdminUsage();
    return kExitUsage;
  } catch (const std::exception& error) {
    ReportFailure(err, AliasOfCommand(args), error.what());
    return kExitFailed;
  }
}

}  // namespace qv::setup

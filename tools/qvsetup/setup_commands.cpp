#include "tools/qvsetup/setup_commands.h"

#include <algorithm>
#include <system_error>

#include "component/date_format.h"
#include "component/password.h"
#include "data/schema.h"
#include "design/database_names.h"
#include "platform/db/database.h"
#include "platform/db/field.h"
#include "platform/db/query.h"
#include "platform/db/session.h"
#include "platform/sys/date_text.h"
#include "platform/sys/date_time.h"
#include "platform/sys/exception.h"
#include "platform/sys/text_case.h"
#include "platform/sys/utf8.h"

namespace qv::setup {
namespace {

namespace fs = std::filesystem;


constexpr const char* kUsage =
    "usage:\n"
    "  qvsetup init ALIAS --master-password TEXT   create the security tables and \"master\"\n"
    "  qvsetup check ALIAS                         verify the security tables\n"
    "  qvsetup alias add NAME sqlite PATH          add an SQLite alias to the aliases file\n"
    "  qvsetup alias add NAME postgresql CONNINFO  add a PostgreSQL alias to the aliases file\n"
    "  qvsetup alias list                          list the known aliases\n";

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

void CreateTablesAndMaster(const std::string& alias, const std::string& masterPassword) {
  TDatabase& database = Session::Default().Database(alias);
  std::vector<std::string> present = ExistingSecurityTables(alias);
  if (!present.empty()) {
    std::string list;
    for (const std::string& name : present) list += (list.empty() ? "" : ", ") + name;
    throw Exception("the database already holds security tables (" + list + "); nothing was changed");
  }
  std::string today;
  {
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
  transaction.Commit();
}

// ---- Commands ---------------------------------------------------------------

int CommandInit(const std::vector<std::string>& args, std::ostream& out) {
  std::string alias;
  std::string password;
  bool havePassword = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--master-password") {
      if (i + 1 >= args.size()) throw UsageError{"--master-password needs a value"};
      password = args[++i];
      havePassword = true;
    } else if (arg.rfind("--master-password=", 0) == 0) {
      password = arg.substr(std::string_view("--master-password=").size());
      havePassword = true;
    } else if (arg.rfind("--", 0) == 0) {
      throw UsageError{"unknown option " + arg};
    } else if (alias.empty()) {
      alias = arg;
    } else {
      throw UsageError{"init takes one alias"};
    }
  }
  if (alias.empty()) throw UsageError{"init needs an alias"};
  if (!havePassword) throw UsageError{"init needs --master-password"};
  if (password.empty()) throw UsageError{"the master password must not be empty"};
  if (Utf8InvalidAt(password) != std::string::npos)
    throw UsageError{"the master password must be UTF-8 text"};
  if (Utf8Length(password) > static_cast<std::size_t>(kPasswordMaxChars))
    throw UsageError{"the master password may have at most " + std::to_string(kPasswordMaxChars) +
                     " characters"};
  InitDatabase(alias, password);
  out << "alias '" << alias << "': created the security tables and the user \"master\"\n";
  return kExitOk;
}

int CommandCheck(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 2) throw UsageError{"check takes one alias"};
  const std::string& alias = args[1];
  CheckResult result = CheckDatabase(alias);
  if (result.Complete()) {
    out << "alias '" << alias << "': the security tables are complete\n";
    return kExitOk;
  }
  for (const std::string& problem : result.problems) out << "alias '" << alias << "': " << problem << "\n";
  out << "alias '" << alias << "': the security database is incomplete\n";
  return kExitFailed;
}

int CommandAliasAdd(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 5) throw UsageError{"alias add takes NAME, a driver and a location"};
  AliasDefinition alias;
  alias.name = args[2];
  const std::string& driver = args[3];
  if (driver == Session::EngineName(EngineKind::Sqlite)) {
    alias.engine = EngineKind::Sqlite;
    // An alias is used from any folder, so a relative path is made absolute.
    alias.location = fs::absolute(args[4]).lexically_normal().string();
  } else if (driver == Session::EngineName(EngineKind::PostgreSql)) {
    alias.engine = EngineKind::PostgreSql;
    alias.location = args[4];
  } else {
    throw UsageError{"alias '" + alias.name + "': unknown driver '" + driver +
                     "' (use sqlite or postgresql)"};
  }
  if (alias.location.empty()) throw UsageError{"alias '" + alias.name + "' needs a location"};
  fs::path file = Session::WritableAliasesFilePath();
  Session::AddAliasToFile(file, alias);
  Session::Default().ReloadAliases();
  out << "alias '" << alias.name << "': written to " << file.string() << "\n";
  return kExitOk;
}

int CommandAliasList(const std::vector<std::string>& args, std::ostream& out) {
  if (args.size() != 2) throw UsageError{"alias list takes no arguments"};
  Session& session = Session::Default();
  ListDatabaseNames([&](const std::string& name) {
    AliasDefinition alias = session.FindAlias(name);
    out << name << "\t" << Session::EngineName(alias.engine) << "\t" << alias.location << "\n";
  });
  return kExitOk;
}

// The alias a failing command was about, for its error message.
std::string AliasOfCommand(const std::vector<std::string>& args) {
  if (args.size() >= 2 && (args[0] == "init" || args[0] == "check")) {
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--master-password") {
        ++i;
        continue;
      }
      if (args[i].rfind("--", 0) != 0) return args[i];
    }
  }
  if (args.size() >= 3 && args[0] == "alias" && args[1] == "add") return args[2];
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
void InitDatabase(const std::string& alias, const std::string& masterPassword) {
  Session& session = Session::Default();
  AliasDefinition definition = session.FindAlias(alias);
  bool createdFile = false;
  if (definition.engine == EngineKind::Sqlite && !fs::exists(definition.location)) {
    Session::CreateSqliteDatabase(definition.location);
    createdFile = true;
  }
  try {
    CreateTablesAndMaster(alias, masterPassword);
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
  if (result.problems.empty()) {
    TQuery master;
    master.SetDatabaseName(alias);
    master.SetSQL("SELECT COUNT(*) FROM QUARVEL WHERE USERQV_NAME='master'");
    master.Open();
    if (master.Fields()[0]->AsInteger() == 0)
      result.problems.push_back("table QUARVEL has no row for the user \"master\"");
  }
  return result;
}

int RunSetup(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command == "init") return CommandInit(args, out);
    if (command == "check") return CommandCheck(args, out);
    if (command == "alias" && args.size() >= 2 && args[1] == "add") return CommandAliasAdd(args, out);
    if (command == "alias" && args.size() >= 2 && args[1] == "list") return CommandAliasList(args, out);
    if (command == "help" || command == "--help" || command == "-h") {
      out << kUsage;
      return kExitOk;
    }
    throw UsageError{"unknown command '" + command + (args.size() >= 2 && command == "alias" ? " " + args[1] : "") + "'"};
  } catch (const UsageError& error) {
    err << "qvsetup: " << error.message << "\n" << kUsage;
    return kExitUsage;
  } catch (const std::exception& error) {
    std::string alias = AliasOfCommand(args);
    err << "qvsetup: ";
    if (!alias.empty()) err << "alias '" << alias << "': ";
    err << error.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace qv::setup

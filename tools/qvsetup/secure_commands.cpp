#include "tools/qvsetup/secure_commands.h"

#include <iostream>
#include <optional>

#include "qvd3/data/secured_mode.h"
#include "qvd3/data/shared_transaction.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/hide_passwords.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/exception.h"
#include "tools/qvsetup/command_errors.h"
#include "tools/qvsetup/password_input.h"
#include "tools/qvsetup/setup_commands.h"

namespace qv::setup {
namespace {

constexpr const char* kSecureUsage =
    "  qvsetup secure ALIAS --client-role ROLE [--admin USER ...]\n"
    "                       secure a PostgreSQL security database: connections as ROLE\n"
    "                       may do only what the component lets the person logged in\n"
    "                       through them do (\"master\" and each --admin USER administer);\n"
    "                       ALIAS connects as the owner of the tables; re-run to update\n"
    "                       or to replace the administrators. ROLE must exist, or:\n"
    "    --create-role [--role-password-file FILE|-]\n"
    "                       create ROLE (LOGIN) with a password asked for without echo,\n"
    "                       or read from FILE or standard input (-)\n"
    "    --create-role-without-password\n"
    "                       create ROLE (LOGIN) for peer or certificate authentication\n"
    "                       Clients then use user=ROLE in their alias's conninfo.\n"
    "  qvsetup secure ALIAS --off\n"
    "                       take the secured mode away; the tables stay as init made them\n";

struct SecureLine {
  std::string alias;
  std::string role;
  std::vector<std::string> admins;
  bool off = false;
  bool createRole = false;
  bool withoutPassword = false;
  std::string passwordFile;
};

SecureLine Parse(const std::vector<std::string>& args) {
  SecureLine line;
  auto value = [&](std::size_t& i) -> const std::string& {
    if (i + 1 >= args.size()) throw CommandUsageError(args[i] + " needs a value");
    return args[++i];
  };
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--client-role") line.role = value(i);
    else if (arg == "--admin") line.admins.push_back(value(i));
    else if (arg == "--off") line.off = true;
    else if (arg == "--create-role") line.createRole = true;
    else if (arg == "--create-role-without-password") line.createRole = line.withoutPassword = true;
    else if (arg == "--role-password-file") line.passwordFile = value(i);
    else if (arg.rfind("--", 0) == 0) throw CommandUsageError("unknown option " + arg);
    else if (line.alias.empty()) line.alias = arg;
    else throw CommandUsageError("secure takes one alias");
  }
  if (line.alias.empty()) throw CommandUsageError("secure needs an alias");
  if (line.off) {
    if (!line.role.empty() || !line.admins.empty() || line.createRole || !line.passwordFile.empty())
      throw CommandUsageError("--off takes no other option");
    return line;
  }
  if (line.role.empty()) throw CommandUsageError("secure needs --client-role ROLE (or --off)");
  if (!line.passwordFile.empty() && (!line.createRole || line.withoutPassword))
    throw CommandUsageError("--role-password-file goes with --create-role");
  return line;
}

std::string RolePassword(const SecureLine& line, std::ostream& err, std::istream& in) {
  if (line.withoutPassword) return "";
  std::optional<std::string> password;
  const std::string what = "password of the role " + line.role;
  if (!line.passwordFile.empty()) password = ReadPasswordFrom(line.passwordFile, in, what);
  if (!password && &in == &std::cin) password = PromptPassword(err, "Password of the role " + line.role);
  if (!password)
    throw CommandUsageError("--create-role needs the role's password: type it at a terminal, or give "
                            "--role-password-file FILE (- for standard input), or use "
                            "--create-role-without-password");
  if (password->empty()) throw CommandUsageError("the role's password must not be empty");
  return *password;
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  const SecureLine line = Parse(args);
  const std::string prefix = "alias '" + line.alias + "': ";
  if (line.off) {
    const bool wasSecured = ReadSecuredState(line.alias).Secured;
    UnsecureDatabase(line.alias);
    out << prefix << (wasSecured ? "the secured mode was taken away" : "the database was not secured") << "\n";
    return kExitOk;
  }
  // SQLite is refused, with the reason, before its file is opened (or a
  // password asked for).
  if (Session::Default().FindAlias(line.alias).engine != EngineKind::PostgreSql)
    SecureDatabase(line.alias, line.role, line.admins);
  const std::string password = line.createRole ? RolePassword(line, err, in) : "";
  {
    SharedTransaction transaction(Session::Default().Database(line.alias));
    if (line.createRole) CreateClientRole(line.alias, line.role, password);
    SecureDatabase(line.alias, line.role, line.admins);
    transaction.Commit();
  }
  if (line.createRole) out << prefix << "created the login role " << line.role << "\n";
  const SecuredState state = ReadSecuredState(line.alias);
  out << prefix << "secured for the client role " << state.ClientRole << "; administrators: master";
  for (const std::string& admin : state.Admins) out << ", " << admin;
  out << "\n";
  return kExitOk;
}

}  // namespace

bool IsSecureCommand(const std::vector<std::string>& args) { return !args.empty() && args[0] == "secure"; }

const char* SecureUsage() { return kSecureUsage; }

void CreateClientRole(const std::string& alias, const std::string& role, const std::string& password) {
  TDatabase& database = Session::Default().Database(alias);
  if (database.Engine() != EngineKind::PostgreSql)
    throw Exception("alias '" + alias + "' is an SQLite database, which has no login roles");
  TQuery quoted;
  quoted.SetDatabaseName(alias);
  quoted.SetSQL("SELECT quote_ident(:ROLE), (SELECT COUNT(*) FROM pg_roles WHERE rolname = :ROLE)");
  quoted.ParamByName("ROLE").SetAsString(role);
  quoted.Open();
  if (quoted.Fields()[1]->AsInteger() > 0)
    throw Exception("the role '" + role + "' exists already; leave out --create-role to use it; nothing was changed");
  std::string sql = "CREATE ROLE " + quoted.Fields()[0]->AsString() +
                    " LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION NOBYPASSRLS";
  // The verifier is hex digits, base64 and '$', ':' and '=' (SCRAM) or hex
  // (md5): no quote can appear in it.
  if (!password.empty()) {
    const std::string verifier = database.EncryptRolePassword(role, password);
    if (verifier.find_first_of("'\\") != std::string::npos)
      throw Exception("the server's password verifier has an unexpected form; nothing was changed");
    sql += " PASSWORD '" + verifier + "'";
  }
  database.ExecDirect(sql);
}

int RunSecureCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     std::istream& in) {
  try {
    return Run(args, out, err, in);
  } catch (const CommandUsageError& error) {
    err << "qvsetup: " << HidePasswords(error.what()) << "\nusage:\n" << kSecureUsage;
    return kExitUsage;
  } catch (const std::exception& error) {
    std::string alias;
    for (std::size_t i = 1; i < args.size() && alias.empty(); ++i) {
      if (args[i] == "--client-role" || args[i] == "--admin" || args[i] == "--role-password-file") ++i;
      else if (args[i].rfind("--", 0) != 0) alias = args[i];
    }
    ReportFailure(err, alias, error.what());
    return kExitFailed;
  }
}

}  // namespace qv::setup

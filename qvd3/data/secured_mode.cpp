#include "qvd3/data/secured_mode.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

#include "qvd3/data/date_pattern.h"
#include "qvd3/data/schema.h"
#include "qvd3/data/secured_mode_sql.h"
#include "qvd3/data/shared_transaction.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/exception.h"

namespace qv {
namespace {

constexpr std::string_view kSecuredTable = "QV_SECURED";
// The sequences whose per-session currval() binds an identity or a
// password change to a backend. The client role may never advance or set
// them.
constexpr std::string_view kSequences[] = {"QV_SESSION_IDS", "QV_CHANGE_IDS"};

using Params = std::initializer_list<std::pair<const char*, std::string>>;

// The rows of a read on `alias`, each row its fields as text ("" for null).
std::vector<std::vector<std::string>> Rows(const std::string& alias, const std::string& sql, Params params = {}) {
  TQuery query;
  query.SetDatabaseName(alias);
  query.SetSQL(sql);
  for (const auto& [name, value] : params) query.ParamByName(name).SetAsString(value);
  query.Open();
  std::vector<std::vector<std::string>> rows;
  for (query.First(); !query.Eof(); query.Next()) {
    std::vector<std::string>& row = rows.emplace_back();
    for (TField* field : query.Fields()) row.push_back(field->AsString());
  }
  return rows;
}

// The first field of the first row ("" when there is none).
std::string One(const std::string& alias, const std::string& sql, Params params = {}) {
  const auto rows = Rows(alias, sql, params);
  return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
}

void Exec(const std::string& alias, const std::string& sql, Params params = {}) {
  TQuery statement;
  statement.SetDatabaseName(alias);
  statement.SetSQL(sql);
  for (const auto& [name, value] : params) statement.ParamByName(name).SetAsString(value);
  statement.ExecSQL();
}

// The names the SQL templates are filled with, each quoted by the server.
struct Names {
  std::string schema;        // quoted identifier of the tables' schema
  std::string schemaName;    // as stored, for catalogue lookups
  std::string owner;         // the tables' owner, as stored
  std::string ownerLiteral;  // ... as a string literal
  std::string role;          // the client role, as stored
  std::string roleIdent;     // ... quoted identifier
  std::string roleLiteral;   // ... as a string literal

  // The template with every placeholder replaced in one pass, so that a
  // name holding something like a placeholder is never replaced again.
  std::string Fill(std::string_view sqlTemplate, const std::string& table = "") const {
    const std::pair<std::string_view, const std::string*> marks[] = {
        {"@RL", &roleLiteral}, {"@OL", &ownerLiteral}, {"@R", &roleIdent}, {"@S", &schema}, {"@T", &table}};
    std::string text;
    for (std::size_t at = 0; at < sqlTemplate.size();) {
      bool replaced = false;
      for (const auto& [mark, value] : marks) {
        if (sqlTemplate.substr(at, mark.size()) != mark) continue;
        text += *value;
        at += mark.size();
        replaced = true;
        break;
      }
      if (!replaced) text += sqlTemplate[at++];
    }
    return text;
  }
};

bool IsPostgres(const std::string& alias) {
  return Session::Default().FindAlias(alias).engine == EngineKind::PostgreSql;
}

// The schema and owner of the tables the alias's search path reaches;
// raises when any of the eight is missing or they are spread over schemas
// or owners.
void FindTables(const std::string& alias, Names& names) {
  std::string missing;
  std::vector<std::vector<std::string>> found;
  for (const TableDef& table : SecurityTables()) {
    auto rows = Rows(alias,
                     "SELECT n.nspname, quote_ident(n.nspname), r.rolname, quote_literal(r.rolname) "
                     "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                     "JOIN pg_roles r ON r.oid = c.relowner WHERE c.oid = to_regclass(:NAME)",
                     {{"NAME", std::string(table.name)}});
    if (rows.empty())
      missing += (missing.empty() ? "" : ", ") + std::string(table.name);
    else
      found.push_back(std::move(rows[0]));
  }
  if (!missing.empty())
    throw Exception("the database does not hold the security tables (missing: " + missing +
                    "); run qvsetup init first; nothing was changed");
  for (const auto& row : found)
    if (row[0] != found[0][0] || row[2] != found[0][2])
      throw Exception("the security tables are spread over several schemas or owners; nothing was changed");
  names.schemaName = found[0][0];
  names.schema = found[0][1];
  names.owner = found[0][2];
  names.ownerLiteral = found[0][3];
}

void CheckOwnership(const std::string& alias, const Names& names) {
  const auto row = Rows(alias,
                        "SELECT current_user, CASE WHEN pg_has_role(current_user, :OWNER, 'USAGE') "
                        "THEN 1 ELSE 0 END",
                        {{"OWNER", names.owner}})[0];
  if (row[1] != "1")
    throw Exception("the alias connects as '" + row[0] + "', which does not own the security tables (owner '" +
                    names.owner + "'); use the alias qvsetup init used; nothing was changed");
}

// The client role must exist and be one that row security holds.
void CheckClientRole(const std::string& alias, Names& names, const std::string& clientRole) {
  if (clientRole.empty()) throw Exception("the client role must be named; nothing was changed");
  const auto rows = Rows(alias,
                         "SELECT quote_ident(r.rolname), quote_literal(r.rolname), "
                         "CASE WHEN r.rolsuper THEN 1 ELSE 0 END, CASE WHEN r.rolbypassrls THEN 1 ELSE 0 END, "
                         "CASE WHEN pg_has_role(r.rolname, :OWNER, 'MEMBER') THEN 1 ELSE 0 END "
                         "FROM pg_roles r WHERE r.rolname = :ROLE",
                         {{"ROLE", clientRole}, {"OWNER", names.owner}});
  const std::string role = "the client role '" + clientRole + "'";
  if (rows.empty())
    throw Exception(role + " does not exist; create it (CREATE ROLE ... LOGIN) or use --create-role; nothing was changed");
  const auto& row = rows[0];
  if (row[2] == "1") throw Exception(role + " is a superuser, which no row security holds; nothing was changed");
  if (row[3] == "1") throw Exception(role + " has BYPASSRLS, which defeats the secured mode; nothing was changed");
  if (clientRole == names.owner)
    throw Exception(role + " owns the security tables; clients need a role of their own; nothing was changed");
  if (row[4] == "1")
    throw Exception(role + " is a member of the owner role '" + names.owner +
                    "' and would have its rights; nothing was changed");
  names.role = clientRole;
  names.roleIdent = row[0];
  names.roleLiteral = row[1];
}

// The admin names, checked to be users, without "master" (always one).
std::vector<std::string> CheckedAdmins(const std::string& alias, const Names& names,
                                       const std::vector<std::string>& admins) {
  std::vector<std::string> result;
  for (const std::string& name : admins) {
    if (name == "master") continue;
    if (One(alias, "SELECT COUNT(*) FROM " + names.schema + ".QUARVEL WHERE USERQV_NAME = :NAME",
            {{"NAME", name}}) == "0")
      throw Exception("'" + name + "' named as an administrator is no user of the database; nothing was changed");
    result.push_back(name);
  }
  std::sort(result.begin(), result.end());
  result.erase(std::unique(result.begin(), result.end()), result.end());
  return result;
}

// Whether the tables' schema holds the table, view or sequence `name`. The
// name is qualified with the schema's quoted identifier, so that a schema
// whose name needs quoting is found too.
bool RelationExists(const std::string& alias, const Names& names, std::string_view name) {
  return One(alias, "SELECT CASE WHEN to_regclass(:NAME) IS NULL THEN 0 ELSE 1 END",
             {{"NAME", names.schema + "." + std::string(name)}}) == "1";
}

// The client role recorded by an earlier install, or "".
std::string RecordedRole(const std::string& alias, const Names& names) {
  if (!RelationExists(alias, names, kSecuredTable)) return "";
  return One(alias, "SELECT MIN(CLIENT_ROLE) FROM " + names.schema + "." + std::string(kSecuredTable));
}

// Drops the mode's policies and functions (all but a replaced QV_TODAY when
// `keepToday`) from the schema. The names come from the catalogue, quoted
// by the server.
void DropPoliciesAndFunctions(const std::string& alias, const Names& names, bool keepToday) {
  TDatabase& database = Session::Default().Database(alias);
  for (const auto& row : Rows(alias,
                              "SELECT format('DROP POLICY %I ON %I.%I', policyname, schemaname, tablename) "
                              "FROM pg_policies WHERE schemaname = :SCHEMA AND policyname LIKE 'qv\\_%'",
                              {{"SCHEMA", names.schemaName}}))
    database.ExecDirect(row[0]);
  for (const auto& row : Rows(alias,
                              "SELECT 'DROP FUNCTION ' || p.oid::regprocedure::text FROM pg_proc p "
                              "JOIN pg_namespace n ON n.oid = p.pronamespace "
                              "WHERE n.nspname = :SCHEMA AND p.proname LIKE 'qv\\_%' AND p.proname <> :KEEP",
                              {{"SCHEMA", names.schemaName}, {"KEEP", keepToday ? "qv_today" : ""}}))
    database.ExecDirect(row[0]);
  database.ExecDirect("DROP VIEW IF EXISTS " + names.schema + ".QV_MY_SESSION");
}

// Takes away what a client role was given on the tables and the schema.
void RevokeClientRole(const std::string& alias, const Names& names, const std::string& roleIdent) {
  TDatabase& database = Session::Default().Database(alias);
  for (const TableDef& table : SecurityTables())
    database.ExecDirect("REVOKE ALL ON " + names.schema + "." + std::string(table.name) + " FROM " + roleIdent);
  if (RelationExists(alias, names, kDatePatternTable))
    database.ExecDirect("REVOKE ALL ON " + names.schema + "." + std::string(kDatePatternTable) + " FROM " +
                        roleIdent);
  for (std::string_view sequence : kSequences)
    if (RelationExists(alias, names, sequence))
      database.ExecDirect("REVOKE ALL ON SEQUENCE " + names.schema + "." + std::string(sequence) + " FROM " +
                          roleIdent);
  database.ExecDirect("REVOKE ALL ON SCHEMA " + names.schema + " FROM " + roleIdent);
}

// Drops the identity tables of an older install, which bound a session to
// its backend's start time: their rows cannot be carried over, so the
// sessions of that install end and their users log in again.
void DropOlderIdentityTables(const std::string& alias, const Names& names) {
  if (One(alias,
          "SELECT COUNT(*) FROM pg_attribute WHERE attrelid = to_regclass(:NAME) AND attname = 'backend_start'",
          {{"NAME", names.schema + ".qv_sessions"}}) == "0")
    return;
  Session::Default().Database(alias).ExecDirect("DROP TABLE IF EXISTS " + names.schema + ".QV_SESSIONS, " +
                                                names.schema + ".QV_PASSWORD_CHANGES");
}

// The quoted identifier of a recorded role that still exists, or "".
std::string ExistingRoleIdent(const std::string& alias, const std::string& role) {
  if (role.empty()) return "";
  return One(alias, "SELECT quote_ident(rolname) FROM pg_roles WHERE rolname = :ROLE", {{"ROLE", role}});
}

// Refuses a role that reaches, through other roles or PUBLIC, a privilege
// that row security does not hold back.
void CheckNothingLeaks(const std::string& alias, const Names& names) {
  std::string leaks;
  for (const TableDef& table : SecurityTables()) {
    const std::string qualified = names.schemaName + "." + std::string(table.name);
    std::string privileges = "TRUNCATE, TRIGGER, REFERENCES";
    if (table.name == "AUDIT") privileges += ", UPDATE";
    if (One(alias,
            "SELECT CASE WHEN has_table_privilege(:ROLE, quote_ident(:SCHEMA) || '.' || :TABLE, :PRIVS) "
            "THEN 1 ELSE 0 END",
            {{"ROLE", names.role}, {"SCHEMA", names.schemaName}, {"TABLE", std::string(table.name)},
             {"PRIVS", privileges}}) == "1")
      leaks += (leaks.empty() ? "" : ", ") + qualified;
  }
  if (!leaks.empty())
    throw Exception("the client role '" + names.role + "' holds TRUNCATE, TRIGGER, REFERENCES or UPDATE on AUDIT "
                    "through another role or PUBLIC on " + leaks + "; revoke them first; nothing was changed");
  for (std::string_view sequence : kSequences)
    if (One(alias, "SELECT CASE WHEN has_sequence_privilege(:ROLE, :NAME, 'USAGE, UPDATE') THEN 1 ELSE 0 END",
            {{"ROLE", names.role}, {"NAME", names.schema + "." + std::string(sequence)}}) == "1")
      throw Exception("the client role '" + names.role + "' may advance or set the sequence " + names.schemaName +
                      "." + std::string(sequence) + " through another role or PUBLIC, which would let it forge "
                      "an identity; revoke that first; nothing was changed");
  // A role the client role can SET ROLE to is no longer the client role to
  // the policies: it must hold nothing on the tables.
  const std::string through = One(
      alias,
      "SELECT string_agg(DISTINCT r.rolname, ', ') FROM pg_roles r CROSS JOIN unnest(ARRAY['QUARVEL', 'PROFILES', "
      "'PROGS', 'HISTORY', 'UACCESS', 'PACCESS', 'AUDIT', 'USERINFO']) AS t(name) "
      "WHERE r.rolname <> :ROLE AND pg_has_role(:ROLE, r.oid, 'MEMBER') AND (has_table_privilege(r.oid, "
      "quote_ident(:SCHEMA) || '.' || t.name, 'SELECT, INSERT, UPDATE, DELETE, TRUNCATE, REFERENCES, TRIGGER') "
      "OR has_sequence_privilege(r.oid, quote_ident(:SCHEMA) || '.qv_session_ids', 'USAGE, UPDATE') "
      "OR has_sequence_privilege(r.oid, quote_ident(:SCHEMA) || '.qv_change_ids', 'USAGE, UPDATE'))",
      {{"ROLE", names.role}, {"SCHEMA", names.schemaName}});
  if (!through.empty())
    throw Exception("the client role '" + names.role + "' may become " + through +
                    " (SET ROLE), which holds privileges on the security tables that row security would not hold "
                    "back; use a role without such memberships; nothing was changed");
  if (One(alias, "SELECT CASE WHEN has_schema_privilege(:ROLE, :SCHEMA, 'CREATE') THEN 1 ELSE 0 END",
          {{"ROLE", names.role}, {"SCHEMA", names.schemaName}}) == "1")
    throw Exception("the client role '" + names.role + "' may create objects in the schema " + names.schemaName +
                    " through another role; revoke that first; nothing was changed");
}

// The policies of one table for the client role, restrictive: what the
// role may do on top of the privileges it is granted.
std::vector<std::string> ClientPolicies(const Names& names, std::string_view table) {
  using namespace secured_sql;
  const std::string admin(kAdmin);
  std::string read = admin;
  if (table == "PROFILES" || table == "PACCESS") read += " OR PROF_ID = " + std::string(kMyProfile);
  if (table == "UACCESS" || table == "USERINFO") read += " OR USER_ID = " + std::string(kMe);
  const bool audit = table == "AUDIT";
  const std::string on = " ON @S." + std::string(table) + " AS RESTRICTIVE FOR ";
  std::vector<std::string> policies;
  if (table != "PROGS") policies.push_back("CREATE POLICY qv_read" + on + "SELECT TO @R USING (" + read + ")");
  policies.push_back("CREATE POLICY qv_insert" + on + "INSERT TO @R WITH CHECK (" +
                     (audit ? std::string(kOwnAuditRow) : admin) + ")");
  policies.push_back("CREATE POLICY qv_update" + on + "UPDATE TO @R USING (" + (audit ? "false" : admin) +
                     ") WITH CHECK (" + (audit ? "false" : admin) + ")");
  policies.push_back("CREATE POLICY qv_delete" + on + "DELETE TO @R USING (" + admin + ")");
  for (std::string& policy : policies) policy = names.Fill(policy);
  return policies;
}

void RequirePostgres(const std::string& alias) {
  if (!IsPostgres(alias))
    throw Exception("alias '" + alias +
                    "' is an SQLite database: a shared file cannot enforce anything, so there is no secured mode "
                    "for it; protect the file with file permissions instead");
}

}  // namespace

// Checks everything first, then in one transaction: removes the policies
// and functions of an earlier install and the grants of an earlier role,
// (re)creates the mode's tables, functions and policies, grants the client
// role its privileges and switches row security on.
void SecureDatabase(const std::string& alias, const std::string& clientRole,
                    const std::vector<std::string>& admins) {
  RequirePostgres(alias);
  Names names;
  FindTables(alias, names);
  CheckOwnership(alias, names);
  CheckClientRole(alias, names, clientRole);
  const std::vector<std::string> adminNames = CheckedAdmins(alias, names, admins);
  if (!ReadDatePattern(alias))
    throw Exception("the database records no date pattern, which the server needs to read and write dates; "
                    "record one with qvsetup date-pattern; nothing was changed");

  TDatabase& database = Session::Default().Database(alias);
  SharedTransaction transaction(database);
  const std::string previousIdent = ExistingRoleIdent(alias, RecordedRole(alias, names));
  DropPoliciesAndFunctions(alias, names, true);
  if (!previousIdent.empty()) RevokeClientRole(alias, names, previousIdent);
  RevokeClientRole(alias, names, names.roleIdent);

  DropOlderIdentityTables(alias, names);
  database.ExecDirect(names.Fill(secured_sql::kTables));
  Exec(alias, "DELETE FROM " + names.schema + ".QV_SECURED");
  Exec(alias, "INSERT INTO " + names.schema + ".QV_SECURED (CLIENT_ROLE) VALUES (:ROLE)", {{"ROLE", names.role}});
  Exec(alias, "DELETE FROM " + names.schema + ".QV_ADMINS");
  for (const std::string& admin : adminNames)
    Exec(alias, "INSERT INTO " + names.schema + ".QV_ADMINS (USERQV_NAME) VALUES (:NAME)", {{"NAME", admin}});

  if (One(alias, "SELECT CASE WHEN to_regprocedure(:NAME) IS NULL THEN 0 ELSE 1 END",
          {{"NAME", names.schemaName + ".qv_today()"}}) != "1")
    database.ExecDirect(names.Fill(secured_sql::kToday));
  database.ExecDirect(names.Fill(secured_sql::kHelpers));
  database.ExecDirect(names.Fill(secured_sql::kIdentity));
  database.ExecDirect(names.Fill(secured_sql::kLogin));
  database.ExecDirect(names.Fill(secured_sql::kPasswords));

  // Functions are executable by PUBLIC when created; only the client's are
  // given to the client role, and the detection to everybody.
  for (const auto& row : Rows(alias,
                              "SELECT p.oid::regprocedure::text FROM pg_proc p "
                              "JOIN pg_namespace n ON n.oid = p.pronamespace "
                              "WHERE n.nspname = :SCHEMA AND p.proname LIKE 'qv\\_%'",
                              {{"SCHEMA", names.schemaName}}))
    database.ExecDirect("REVOKE ALL ON FUNCTION " + row[0] + " FROM PUBLIC, " + names.roleIdent);
  for (std::string_view function : secured_sql::kClientFunctions)
    database.ExecDirect("GRANT EXECUTE ON FUNCTION " + names.schema + "." + std::string(function) + " TO " +
                        names.roleIdent);
  database.ExecDirect("GRANT EXECUTE ON FUNCTION " + names.schema + ".QV_IS_SECURED_CLIENT() TO PUBLIC");

  database.ExecDirect("REVOKE CREATE ON SCHEMA " + names.schema + " FROM PUBLIC");
  database.ExecDirect("GRANT USAGE ON SCHEMA " + names.schema + " TO " + names.roleIdent);
  for (const TableDef& table : SecurityTables()) {
    const std::string qualified = names.schema + "." + std::string(table.name);
    database.ExecDirect("REVOKE TRUNCATE, TRIGGER, REFERENCES ON " + qualified + " FROM PUBLIC");
    database.ExecDirect(std::string("GRANT ") + (table.name == "AUDIT" ? "SELECT, INSERT, DELETE" : "SELECT, INSERT, UPDATE, DELETE") +
                        " ON " + qualified + " TO " + names.roleIdent);
    database.ExecDirect(names.Fill(secured_sql::kEveryonePolicy, std::string(table.name)));
    for (const std::string& policy : ClientPolicies(names, table.name)) database.ExecDirect(policy);
    database.ExecDirect("ALTER TABLE " + qualified + " ENABLE ROW LEVEL SECURITY");
  }
  database.ExecDirect("REVOKE UPDATE ON " + names.schema + ".AUDIT FROM PUBLIC");
  database.ExecDirect("GRANT SELECT ON " + names.schema + "." + std::string(kDatePatternTable) + " TO " +
                      names.roleIdent);
  database.ExecDirect("REVOKE ALL ON " + names.schema + ".QV_MY_SESSION FROM PUBLIC");
  database.ExecDirect("GRANT SELECT ON " + names.schema + ".QV_MY_SESSION TO " + names.roleIdent);
  CheckNothingLeaks(alias, names);
  transaction.Commit();
}

void UnsecureDatabase(const std::string& alias) {
  if (!IsPostgres(alias)) return;
  Names names;
  FindTables(alias, names);
  CheckOwnership(alias, names);
  TDatabase& database = Session::Default().Database(alias);
  SharedTransaction transaction(database);
  const std::string recorded = RecordedRole(alias, names);
  if (recorded.empty() && One(alias, "SELECT COUNT(*) FROM pg_policies WHERE schemaname = :SCHEMA AND "
                                     "policyname LIKE 'qv\\_%'",
                              {{"SCHEMA", names.schemaName}}) == "0")
    return;
  DropPoliciesAndFunctions(alias, names, false);
  const std::string roleIdent = ExistingRoleIdent(alias, recorded);
  if (!roleIdent.empty()) RevokeClientRole(alias, names, roleIdent);
  for (const TableDef& table : SecurityTables())
    database.ExecDirect("ALTER TABLE " + names.schema + "." + std::string(table.name) +
                        " DISABLE ROW LEVEL SECURITY");
  database.ExecDirect("DROP TABLE IF EXISTS " + names.schema + ".QV_SECURED, " + names.schema + ".QV_ADMINS, " +
                      names.schema + ".QV_SESSIONS, " + names.schema + ".QV_PASSWORD_CHANGES");
  database.ExecDirect("DROP SEQUENCE IF EXISTS " + names.schema + ".QV_SESSION_IDS, " + names.schema +
                      ".QV_CHANGE_IDS");
  transaction.Commit();
}

SecuredState ReadSecuredState(const std::string& alias) {
  SecuredState state;
  if (!IsPostgres(alias)) return state;
  const auto rows = Rows(alias,
                         "SELECT CASE WHEN to_regclass('qv_secured') IS NULL THEN 0 ELSE 1 END, "
                         "CASE WHEN has_table_privilege('qv_secured', 'SELECT') THEN 1 ELSE 0 END "
                         "WHERE to_regclass('qv_secured') IS NOT NULL "
                         "UNION ALL SELECT 0, 0 WHERE to_regclass('qv_secured') IS NULL");
  if (rows.empty() || rows[0][0] != "1") return state;
  state.Secured = true;
  if (rows[0][1] != "1") {
    state.ClientRole = One(alias, "SELECT current_user");
    return state;
  }
  state.ClientRole = One(alias, "SELECT MIN(CLIENT_ROLE) FROM qv_secured");
  for (const auto& row : Rows(alias, "SELECT USERQV_NAME FROM qv_admins ORDER BY USERQV_NAME"))
    state.Admins.push_back(row[0]);
  return state;
}

}  // namespace qv

#include "tools/qvsetup/admin_commands.h"

#include <iostream>
#include <optional>

#include "qvd3/data/schema.h"
#include "qvd3/data/shared_transaction.h"
#include "qvd3/component/date_format.h"
#include "qvd3/component/password.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/hide_passwords.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/db/value.h"
#include "qvd3/platform/sys/utf8.h"
#include "tools/qvsetup/admin_session.h"
#include "tools/qvsetup/audit_export.h"
#include "tools/qvsetup/command_errors.h"
#include "tools/qvsetup/output_format.h"
#include "tools/qvsetup/password_input.h"
#include "tools/qvsetup/setup_commands.h"

namespace qv::setup {
namespace {

constexpr const char* kAdminUsage =
    "  qvsetup user add ALIAS APP NAME [--real-name TEXT] [--profile DESCRIPTION] [--audit]\n"
    "                   [--password-file FILE|-]\n"
    "  qvsetup user list ALIAS [APP] [--format table|csv|json]\n"
    "  qvsetup user set ALIAS APP NAME [--real-name TEXT] [--profile DESCRIPTION|--no-profile]\n"
    "                   [--audit|--no-audit] [--active|--inactive] [--expires YYYY-MM-DD|--no-expiry]\n"
    "  qvsetup user password ALIAS NAME [--password-file FILE|-]\n"
    "  qvsetup user delete ALIAS NAME\n"
    "  qvsetup profile add ALIAS APP DESCRIPTION [--interval DAYS] [--must-change] [--hide-denied]\n"
    "                   [--audit]\n"
    "  qvsetup profile list ALIAS [--format table|csv|json]\n"
    "  qvsetup profile delete ALIAS DESCRIPTION\n"
    "  qvsetup catalogue list ALIAS APP [--format table|csv|json]\n"
    "  qvsetup rights ALIAS APP (--user NAME | --profile DESCRIPTION) [--format table|csv|json]\n"
    "  qvsetup grant ALIAS APP (--user NAME | --profile DESCRIPTION) ITEM...\n"
    "  qvsetup revoke ALIAS APP (--user NAME | --profile DESCRIPTION) ITEM...\n"
    "                       ITEM is a menu name of the application's catalogue; name the\n"
    "                       menus above an item too when granting it; with --profile,\n"
    "                       --update-members gives every member the profile's rights\n"
    "  qvsetup audit export ALIAS APP [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--user NAME]\n"
    "                   [--item NAME] [--format csv|json] [--output FILE]\n"
    "  qvsetup audit prune ALIAS APP --before YYYY-MM-DD [--yes]\n"
    "                       passwords are asked for without echo, or read from FILE or\n"
    "                       standard input (-), never from the command line\n"
    "  on a secured database every command logs in as master first:\n"
    "                   [--master-password-file FILE|-] (asked for at a terminal otherwise)\n";

// Whether the command line's first words are `a` and `b`.
bool Is(const std::vector<std::string>& args, const char* a, const char* b = nullptr) {
  return !args.empty() && args[0] == a && (b == nullptr || (args.size() >= 2 && args[1] == b));
}

void RequireWords(const CommandLine& line, std::size_t least, std::size_t most, const char* usage) {
  if (line.words.size() < least || line.words.size() > most) throw CommandUsageError(std::string("usage: ") + usage);
}

// A text that fits TABLE.COLUMN; refuses a longer one.
void CheckWidth(const std::string& text, const char* table, const char* column, const char* what) {
  const int width = ColumnWidth(table, column);
  if (Utf8InvalidAt(text) != std::string::npos) throw Exception(std::string(what) + " is not UTF-8 text");
  if (width > 0 && Utf8Length(text) > static_cast<std::size_t>(width))
    throw Exception(std::string(what) + " '" + text + "' is longer than " + std::to_string(width) + " characters");
}

// The new password of `name`: from --password-file, or asked for twice at
// a terminal. Any text of 1 to 20 characters, as the window takes it.
std::string NewPassword(const CommandLine& line, const std::string& name, std::ostream& err, std::istream& in) {
  std::optional<std::string> password;
  const std::string what = "password of " + name;
  if (auto file = line.Value("--password-file")) {
    password = ReadPasswordFrom(*file, in, what);
  } else if (&in == &std::cin) {
    password = PromptPassword(err, "Password of " + name);
  }
  if (!password)
    throw CommandUsageError("the password of " + name +
                            " is asked for at a terminal, or read with --password-file FILE "
                            "(--password-file - for standard input)");
  if (password->find_first_not_of(' ') == std::string::npos) throw Exception("the " + what + " is empty");
  if (Utf8InvalidAt(*password) != std::string::npos) throw Exception("the " + what + " is not UTF-8 text");
  if (Utf8Length(*password) > static_cast<std::size_t>(kPasswordMaxChars))
    throw Exception("the " + what + " may have at most " + std::to_string(kPasswordMaxChars) + " characters");
  return *password;
}

OutputFormat FormatOf(const CommandLine& line) {
  auto format = line.Value("--format");
  return format ? ParseOutputFormat(*format) : OutputFormat::Table;
}

// The stored date text shown as YYYY-MM-DD; a text that does not read as a
// date is shown as stored.
std::string DayOf(const StoredStampReader& reader, const std::string& stored) {
  if (stored.empty()) return stored;
  std::optional<TDateTime> day = reader.Read(stored);
  return day ? IsoDay(*day) : stored;
}

// ---- Users ------------------------------------------------------------------

int UserAdd(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  CommandLine line = ParseCommandLine(args, 2, {"--real-name", "--profile", "--password-file"}, {"--audit"});
  RequireWords(line, 3, 3, "qvsetup user add ALIAS APP NAME [options]");
  const std::string& name = line.words[2];
  if (name.empty()) throw Exception("a user needs a name");
  if (name == kMasterName) throw Exception("the user \"master\" exists in every security database");
  CheckWidth(name, "QUARVEL", "USERQV_NAME", "the user name");
  const std::string realName = line.Value("--real-name").value_or("");
  CheckWidth(realName, "QUARVEL", "REAL_NAME", "the real name");

  AdminSession session(line.words[0], line.words[1]);
  TUsers& dm = session.Module();
  if (dm.qryUsers.Locate("USERQV_NAME", Value(name))) throw Exception("a user named '" + name + "' exists already");
  const int profile = line.Has("--profile") ? session.LocateProfile(*line.Value("--profile")) : 0;
  const std::string password = NewPassword(line, name, err, in);

  dm.qryUsers.Insert();
  try {
    dm.qryUsers.FieldByName("USERQV_NAME").SetAsString(name);
    dm.qryUsers.FieldByName("REAL_NAME").SetAsString(realName);
    dm.qryUsersPROFILE_ID.SetAsInteger(profile);
    dm.qryUsers.FieldByName("AUDIT_MODE").SetAsString(line.Has("--audit") ? "1" : "0");
    dm.qryUsers.FieldByName("USER_PWD").SetValue(Value::Bytes(EncodePassword(password)));
    dm.qryUsers.FieldByName("LAST_PWD_CHANGE").SetAsString(TodayDateText());
    dm.PostNewUser(session.AppKey());
  } catch (const EDatabaseError& error) {
    if (dm.qryUsers.State() == TDataSetState::Insert) dm.qryUsers.Cancel();
    if (error.IsKeyViolation()) throw Exception("a user named '" + name + "' exists already");
    throw;
  }
  out << "user '" << name << "' added to application '" << session.AppKey() << "'\n";
  return kExitOk;
}

int UserList(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line = ParseCommandLine(args, 2, {"--format"}, {});
  RequireWords(line, 1, 2, "qvsetup user list ALIAS [APP] [--format table|csv|json]");
  const OutputFormat format = FormatOf(line);
  const bool perApp = line.words.size() == 2;
  AdminSession session(line.words[0], perApp ? line.words[1] : "");
  TUsers& dm = session.Module();
  std::vector<std::string> columns = {"name", "real_name", "profile", "audit", "last_password_change"};
  if (perApp) columns.insert(columns.end(), {"active", "expires", "expiration_date"});
  RowWriter writer(out, format, columns);
  StoredStampReader dates;
  dm.qryUsers.SetFilter(kNotMasterFilter);
  dm.qryUsers.SetFiltered(true);
  for (dm.qryUsers.First(); !dm.qryUsers.Eof(); dm.qryUsers.Next()) {
    const int id = dm.qryUsers.FieldByName("USER_ID").AsInteger();
    std::vector<std::string> row = {dm.qryUsers.FieldByName("USERQV_NAME").AsString(),
                                    dm.qryUsers.FieldByName("REAL_NAME").AsString(),
                                    dm.qryUsersPROFILE.AsString(),
                                    YesNo(dm.qryUsers.FieldByName("AUDIT_MODE").AsString()),
                                    DayOf(dates, dm.qryUsers.FieldByName("LAST_PWD_CHANGE").AsString())};
    if (perApp) {
      auto state = [&](const char* column) {
        Value value = dm.qryUserInfo.Lookup("USER_ID", {Value(id)}, column);
        return value.IsNull() ? std::string() : value.AsString();
      };
      const bool hasState = !dm.qryUserInfo.Lookup("USER_ID", {Value(id)}, "USER_ID").IsNull();
      row.push_back(hasState ? YesNo(state("USER_ACTIVE")) : "");
      row.push_back(hasState ? YesNo(state("USER_EXPIRE")) : "");
      row.push_back(hasState ? DayOf(dates, state("EXPIRATION_DATE")) : "");
    }
    writer.Row(row);
  }
  writer.Finish();
  return kExitOk;
}

// The users row and the user's state row in the application change
// together, in one transaction; a changed profile re-derives the user's
// rights there too (the data module's rule for a posted profile change).
int UserSet(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line = ParseCommandLine(args, 2, {"--real-name", "--profile", "--expires"},
                                      {"--audit", "--no-audit", "--active", "--inactive", "--no-expiry", "--no-profile"});
  RequireWords(line, 3, 3, "qvsetup user set ALIAS APP NAME [options]");
  auto exclusive = [&](const char* a, const char* b) {
    if (line.Has(a) && line.Has(b)) throw CommandUsageError(std::string(a) + " and " + b + " exclude each other");
  };
  exclusive("--audit", "--no-audit");
  exclusive("--active", "--inactive");
  exclusive("--expires", "--no-expiry");
  exclusive("--profile", "--no-profile");
  if (line.values.empty() && line.flags.empty()) throw CommandUsageError("user set needs something to change");
  std::optional<TDateTime> expires;
  if (auto text = line.Value("--expires")) expires = ParseIsoDay(*text, "--expires");
  if (auto realName = line.Value("--real-name")) CheckWidth(*realName, "QUARVEL", "REAL_NAME", "the real name");

  const std::string& name = line.words[2];
  AdminSession session(line.words[0], line.words[1]);
  TUsers& dm = session.Module();
  const int userId = session.LocateUser(name);
  std::optional<int> profile;
  if (auto description = line.Value("--profile")) profile = session.LocateProfile(*description);
  if (line.Has("--no-profile")) profile = 0;

  SharedTransaction transaction(dm.qryUsers.Database());
  try {
    dm.qryUsers.Edit();
    if (auto realName = line.Value("--real-name")) dm.qryUsers.FieldByName("REAL_NAME").SetAsString(*realName);
    if (profile) dm.qryUsersPROFILE_ID.SetAsInteger(*profile);
    if (line.Has("--audit") || line.Has("--no-audit"))
      dm.qryUsers.FieldByName("AUDIT_MODE").SetAsString(line.Has("--audit") ? "1" : "0");
    // Posting also gives the user a state row in the application when it
    // has none, and leaves qryUserInfo filtered to the user.
    dm.qryUsers.Post();
    TQuery& state = dm.qryUserInfo;
    if (!state.Locate("USER_ID", Value(userId))) throw Exception("the user '" + name + "' has no state row");
    state.Edit();
    if (line.Has("--active") || line.Has("--inactive"))
      state.FieldByName("USER_ACTIVE").SetAsString(line.Has("--active") ? "1" : "0");
    if (line.Has("--no-expiry")) state.FieldByName("USER_EXPIRE").SetAsString("0");
    if (expires) {
      state.FieldByName("USER_EXPIRE").SetAsString("1");
      state.FieldByName("EXPIRATION_DATE").SetAsString(DateToStr(*expires));
    }
    state.Post();
    transaction.Commit();
  } catch (...) {
    dm.qryUsers.Cancel();
    dm.qryUserInfo.Cancel();
    throw;
  }
  out << "user '" << name << "' changed in application '" << session.AppKey() << "'\n";
  return kExitOk;
}

int UserPassword(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  CommandLine line = ParseCommandLine(args, 2, {"--password-file"}, {});
  RequireWords(line, 2, 2, "qvsetup user password ALIAS NAME [--password-file FILE|-]");
  const std::string& name = line.words[1];
  AdminSession session(line.words[0], "");
  session.LocateUser(name);
  const std::string password = NewPassword(line, name, err, in);
  session.Module().StorePassword(password);
  out << "user '" << name << "': password changed\n";
  return kExitOk;
}

// The data module's delete: the user's rights, password history and state
// rows of every application go with the row, in one transaction.
int UserDelete(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line = ParseCommandLine(args, 2, {}, {});
  RequireWords(line, 2, 2, "qvsetup user delete ALIAS NAME");
  const std::string& name = line.words[1];
  AdminSession session(line.words[0], "");
  session.LocateUser(name);
  session.Module().qryUsers.Delete();
  out << "user '" << name << "' deleted\n";
  return kExitOk;
}

// ---- Profiles ---------------------------------------------------------------

int ProfileAdd(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line =
      ParseCommandLine(args, 2, {"--interval"}, {"--must-change", "--hide-denied", "--audit"});
  RequireWords(line, 3, 3, "qvsetup profile add ALIAS APP DESCRIPTION [options]");
  const std::string& description = line.words[2];
  if (description.empty()) throw Exception("a profile needs a description");
  CheckWidth(description, "PROFILES", "PROF_DESCRIPTION", "the profile description");
  std::optional<int> interval;
  if (auto text = line.Value("--interval")) {
    if (!line.Has("--must-change"))
      throw CommandUsageError("--interval is the interval of --must-change; give both");
    std::int64_t days = 0;
    if (!ParseInteger(*text, days) || days < 1 || days > 99)
      throw CommandUsageError("--interval takes a number of days from 1 to 99, not '" + *text + "'");
    interval = static_cast<int>(days);
  }

  AdminSession session(line.words[0], line.words[1]);
  TUsers& dm = session.Module();
  if (dm.qryProfiles.Locate("PROF_DESCRIPTION", Value(description)))
    throw Exception("a profile '" + description + "' exists already");
  dm.qryProfiles.Insert();
  try {
    dm.qryProfiles.FieldByName("PROF_DESCRIPTION").SetAsString(description);
    dm.qryProfilesMUST_CHANGE_PWD.SetAsString(line.Has("--must-change") ? "1" : "0");
    if (interval) dm.qryProfilesINTERVAL_CHANGE_PWD.SetAsInteger(*interval);
    dm.qryProfilesHIDE_DISABLE_MENU.SetAsInteger(line.Has("--hide-denied") ? 1 : 2);
    dm.qryProfiles.FieldByName("AUDIT_MODE").SetAsString(line.Has("--audit") ? "1" : "0");
    dm.PostNewProfile(session.AppKey());
  } catch (...) {
    if (dm.qryProfiles.State() == TDataSetState::Insert) dm.qryProfiles.Cancel();
    throw;
  }
  out << "profile '" << description << "' added to application '" << session.AppKey() << "'\n";
  return kExitOk;
}

int ProfileList(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line = ParseCommandLine(args, 2, {"--format"}, {});
  RequireWords(line, 1, 1, "qvsetup profile list ALIAS [--format table|csv|json]");
  const OutputFormat format = FormatOf(line);
  AdminSession session(line.words[0], "");
  TUsers& dm = session.Module();
  RowWriter writer(out, format, {"description", "must_change", "interval", "denied_items", "audit"});
  for (dm.qryProfiles.First(); !dm.qryProfiles.Eof(); dm.qryProfiles.Next()) {
    const int hide = dm.qryProfilesHIDE_DISABLE_MENU.IsNull() ? 0 : dm.qryProfilesHIDE_DISABLE_MENU.AsInteger();
    writer.Row(std::vector<std::string>{
        dm.qryProfiles.FieldByName("PROF_DESCRIPTION").AsString(),
        YesNo(dm.qryProfilesMUST_CHANGE_PWD.AsString()),
        dm.qryProfilesINTERVAL_CHANGE_PWD.IsNull() ? "" : dm.qryProfilesINTERVAL_CHANGE_PWD.AsString(),
        hide == 1 ? "hidden" : hide == 2 ? "disabled" : "",
        YesNo(dm.qryProfiles.FieldByName("AUDIT_MODE").AsString())});
  }
  writer.Finish();
  return kExitOk;
}

// The data module's delete: every member, in every application, falls back
// to no profile, and the profile's rights go, in one transaction.
int ProfileDelete(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line = ParseCommandLine(args, 2, {}, {});
  RequireWords(line, 2, 2, "qvsetup profile delete ALIAS DESCRIPTION");
  const std::string& description = line.words[1];
  AdminSession session(line.words[0], "");
  session.LocateProfile(description);
  session.Module().qryProfiles.Delete();
  out << "profile '" << description << "' deleted\n";
  return kExitOk;
}

// ---- Catalogue and rights ----------------------------------------------------

int CatalogueList(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line = ParseCommandLine(args, 2, {"--format"}, {});
  RequireWords(line, 2, 2, "qvsetup catalogue list ALIAS APP [--format table|csv|json]");
  const OutputFormat format = FormatOf(line);
  AdminSession session(line.words[0], line.words[1]);
  TQuery& progs = session.Module().qryProgs;
  RowWriter writer(out, format, {"item", "caption"});
  for (progs.First(); !progs.Eof(); progs.Next())
    writer.Row(std::vector<std::string>{progs.FieldByName("MENU_NAME").AsString(),
                                        progs.FieldByName("MENU_CAPTION").AsString()});
  writer.Finish();
  return kExitOk;
}

// The subject of rights, grant and revoke: --user NAME or --profile
// DESCRIPTION, exactly one; made current in its list.
struct Subject {
  TUsers::TRightsOf kind;
  int id;
  std::string text;  // "user 'x'" or "profile 'y'"
};
Subject SubjectOf(const CommandLine& line, AdminSession& session) {
  if (line.Has("--user") == line.Has("--profile")) throw CommandUsageError("name either --user NAME or --profile DESCRIPTION");
  if (auto user = line.Value("--user"))
    return {TUsers::TRightsOf::User, session.LocateUser(*user), "user '" + *user + "'"};
  const std::string description = *line.Value("--profile");
  return {TUsers::TRightsOf::Profile, session.LocateProfile(description), "profile '" + description + "'"};
}

int Rights(const std::vector<std::string>& args, std::ostream& out) {
  CommandLine line = ParseCommandLine(args, 1, {"--user", "--profile", "--format"}, {});
  RequireWords(line, 2, 2, "qvsetup rights ALIAS APP (--user NAME | --profile DESCRIPTION)");
  const OutputFormat format = FormatOf(line);
  AdminSession session(line.words[0], line.words[1]);
  TUsers& dm = session.Module();
  const Subject subject = SubjectOf(line, session);
  TQuery& rights = dm.RightsOf(subject.kind);
  const std::string keys = std::string("MENU_ID;") + TUsers::SubjectField(subject.kind);
  RowWriter writer(out, format, {"item", "caption", "authorized"});
  TQuery& progs = dm.qryProgs;
  for (progs.First(); !progs.Eof(); progs.Next()) {
    const Value menuId = progs.FieldByName("MENU_ID").AsValue();
    const Value flag = rights.Lookup(keys, {menuId, Value(subject.id)}, "AUTHORIZED");
    writer.Row(std::vector<std::string>{progs.FieldByName("MENU_NAME").AsString(),
                                        progs.FieldByName("MENU_CAPTION").AsString(),
                                        YesNo(flag.IsNull() ? "" : flag.AsString())});
  }
  writer.Finish();
  return kExitOk;
}

// Sets exactly the items named, all in one transaction: the subject's
// rights row of each item holds "1" (grant) or "0" (revoke), made when the
// subject has none. Every item must be in the catalogue, or nothing
// changes. --update-members then runs the window's "Atualizar Usuários" for
// the profile, in the same transaction.
int GrantOrRevoke(const std::vector<std::string>& args, std::ostream& out, bool grant) {
  CommandLine line = ParseCommandLine(args, 1, {"--user", "--profile"}, {"--update-members"});
  if (line.Has("--update-members") && !line.Has("--profile"))
    throw CommandUsageError("--update-members goes with --profile");
  if (line.words.size() < 3)
    throw CommandUsageError(std::string("usage: qvsetup ") + (grant ? "grant" : "revoke") +
                            " ALIAS APP (--user NAME | --profile DESCRIPTION) ITEM...");
  AdminSession session(line.words[0], line.words[1]);
  TUsers& dm = session.Module();
  const Subject subject = SubjectOf(line, session);
  std::vector<int> menuIds;
  std::vector<std::string> unknown;
  for (std::size_t i = 2; i < line.words.size(); ++i) {
    const Value id = dm.qryProgs.Lookup("MENU_NAME", {Value(line.words[i])}, "MENU_ID");
    if (id.IsNull()) {
      unknown.push_back(line.words[i]);
    } else {
      menuIds.push_back(static_cast<int>(id.AsInteger()));
    }
  }
  if (!unknown.empty()) throw Exception(NotInCatalogue(session.AppKey(), unknown));
  TQuery& rights = dm.RightsOf(subject.kind);
  SharedTransaction transaction(rights.Database());
  int members = -1;
  try {
    for (int menuId : menuIds) dm.StoreRight(subject.kind, subject.id, menuId, session.AppKey(), grant ? "1" : "0", true);
    if (line.Has("--update-members")) members = dm.UpdateMembersFromProfile(subject.id);
    transaction.Commit();
  } catch (...) {
    rights.Cancel();
    throw;
  }
  out << subject.text << ": " << (grant ? "granted " : "revoked ") << menuIds.size() << " item"
      << (menuIds.size() == 1 ? "" : "s") << " of application '" << session.AppKey() << "'";
  if (members >= 0) out << "; the rights of its " << members << " member" << (members == 1 ? "" : "s") << " follow it";
  out << "\n";
  return kExitOk;
}

// The alias a failing command was about: its first word after the command
// words.
std::string AliasOf(const std::vector<std::string>& args) {
  const std::size_t first = (Is(args, "grant") || Is(args, "revoke") || Is(args, "rights")) ? 1 : 2;
  for (std::size_t i = first; i < args.size(); ++i)
    if (args[i].rfind("--", 0) != 0) return args[i];
  return "";
}

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, std::istream& in) {
  if (Is(args, "user", "add")) return UserAdd(args, out, err, in);
  if (Is(args, "user", "list")) return UserList(args, out);
  if (Is(args, "user", "set")) return UserSet(args, out);
  if (Is(args, "user", "password")) return UserPassword(args, out, err, in);
  if (Is(args, "user", "delete")) return UserDelete(args, out);
  if (Is(args, "profile", "add")) return ProfileAdd(args, out);
  if (Is(args, "profile", "list")) return ProfileList(args, out);
  if (Is(args, "profile", "delete")) return ProfileDelete(args, out);
  if (Is(args, "catalogue", "list")) return CatalogueList(args, out);
  if (Is(args, "rights")) return Rights(args, out);
  if (Is(args, "grant")) return GrantOrRevoke(args, out, true);
  if (Is(args, "revoke")) return GrantOrRevoke(args, out, false);
  if (Is(args, "audit", "export")) return AuditExportCommand(args, out, err);
  if (Is(args, "audit", "prune")) return AuditPruneCommand(args, out, err, in);
  throw CommandUsageError("unknown command '" + args[0] + (args.size() >= 2 ? " " + args[1] : "") + "'");
}

}  // namespace

bool IsAdminCommand(const std::vector<std::string>& args) {
  return Is(args, "user") || Is(args, "profile") || Is(args, "catalogue") || Is(args, "rights") ||
         Is(args, "grant") || Is(args, "revoke") || Is(args, "audit");
}

const char* AdminUsage() { return kAdminUsage; }

int RunAdminCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    std::istream& in) {
  try {
    std::vector<std::string> rest;
    MasterPasswordSource master{std::nullopt, &in, &err};
    for (std::size_t i = 0; i < args.size(); ++i) {
      const std::string& arg = args[i];
      const std::string option = "--master-password-file";
      if (arg == option || arg.rfind(option + "=", 0) == 0) {
        if (master.source) throw CommandUsageError(option + " is given twice");
        if (arg == option && i + 1 >= args.size()) throw CommandUsageError(option + " needs a value");
        master.source = arg == option ? args[++i] : arg.substr(option.size() + 1);
        continue;
      }
      rest.push_back(arg);
    }
    const ScopedMasterPasswordSource scope(master);
    return Dispatch(rest, out, err, in);
  } catch (const CommandUsageError& error) {
    err << "qvsetup: " << HidePasswords(error.what()) << "\nusage:\n" << kAdminUsage;
    return kExitUsage;
  } catch (const std::exception& error) {
    ReportFailure(err, AliasOf(args), error.what());
    return kExitFailed;
  }
}

}  // namespace qv::setup

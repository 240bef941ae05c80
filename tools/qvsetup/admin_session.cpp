#include "tools/qvsetup/admin_session.h"

#include <iostream>

#include "qvd3/data/secured_client.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/application.h"
#include "qvd3/platform/ui/form.h"
#include "tools/qvsetup/command_errors.h"
#include "tools/qvsetup/password_input.h"

namespace qv::setup {

// Message boxes of the data module's rules, answered without a person.
class ScriptBackend : public TBackend {
 public:
  void RunModal(TForm& form) override {
    throw Exception("the window '" + form.Name() + "' cannot be shown by a script");
  }
  TModalResult MessageBox(const std::string& text, TMsgDlgType, TMsgDlgButtons buttons) override {
    messages.push_back(text);
    return buttons.Contains(mbYes) ? mrYes : mrOk;
  }
  bool InputQuery(const std::string&, const std::string&, std::string&) override { return false; }
  void RunMainForm(TForm&) override { throw Exception("no main form can be run by a script"); }

  std::vector<std::string> messages;
};

namespace {

MasterPasswordSource currentMasterPassword;

// Binds the alias's connection to "master" on a secured database; nothing
// to do on any other.
void LogInAsMasterWhenSecured(const std::string& alias, const std::string& appKey) {
  if (!IsSecuredClient(alias)) return;
  const MasterPasswordSource& from = currentMasterPassword;
  std::optional<std::string> password;
  if (from.source && from.in) {
    password = ReadPasswordFrom(*from.source, *from.in, "master password");
  } else if (from.prompt && from.in == &std::cin) {
    password = PromptPassword(*from.prompt, "Master password");
  }
  if (!password)
    throw CommandUsageError(
        "the database is secured: the commands log in as \"master\", whose password is asked for at a "
        "terminal, or read with --master-password-file FILE (--master-password-file - for standard input)");
  if (ServerLogin(alias, kMasterName, *password, appKey).Status != ServerLoginStatus::Ok)
    throw Exception("the secured database refused the master password; nothing was done");
}

}  // namespace

ScopedMasterPasswordSource::ScopedMasterPasswordSource(MasterPasswordSource source)
    : previous_(currentMasterPassword) {
  currentMasterPassword = std::move(source);
}

ScopedMasterPasswordSource::~ScopedMasterPasswordSource() { currentMasterPassword = previous_; }

std::optional<std::string> CommandLine::Value(const std::string& option) const {
  auto found = values.find(option);
  if (found == values.end()) return std::nullopt;
  return found->second;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args, std::size_t first,
                             std::initializer_list<const char*> valueOptions,
                             std::initializer_list<const char*> flags) {
  auto listed = [](std::initializer_list<const char*> names, const std::string& name) {
    for (const char* n : names)
      if (name == n) return true;
    return false;
  };
  CommandLine line;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 3 || arg.rfind("--", 0) != 0) {
      line.words.push_back(arg);
      continue;
    }
    std::string name = arg;
    std::optional<std::string> value;
    if (const auto eq = arg.find('='); eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    if (line.Has(name)) throw CommandUsageError(name + " is given twice");
    if (listed(valueOptions, name)) {
      if (!value) {
        if (i + 1 >= args.size()) throw CommandUsageError(name + " needs a value");
        value = args[++i];
      }
      line.values[name] = *value;
    } else if (listed(flags, name) && !value) {
      line.flags.insert(name);
    } else {
      throw CommandUsageError("unknown option " + arg);
    }
  }
  return line;
}

AdminSession::AdminSession(const std::string& alias, const std::string& appKey)
    : alias_(alias), app_key_(appKey), dates_(alias), backend_(std::make_unique<ScriptBackend>()) {
  previous_backend_ = Application.SetBackend(backend_.get());
  try {
    LogInAsMasterWhenSecured(alias, appKey);
    module_ = std::make_unique<TUsers>(nullptr);
    previous_users_ = Users;
    Users = module_.get();
    module_->OpenTables(alias, appKey);
  } catch (...) {
    if (module_ && Users == module_.get()) Users = previous_users_;
    module_.reset();
    Application.SetBackend(previous_backend_);
    throw;
  }
}

AdminSession::~AdminSession() {
  if (Users == module_.get()) Users = previous_users_;
  module_.reset();
  Application.SetBackend(previous_backend_);
}

const std::vector<std::string>& AdminSession::Messages() const { return backend_->messages; }

int AdminSession::LocateUser(const std::string& name) {
  if (name == kMasterName)
    throw Exception("the user \"master\" cannot be changed, deleted or listed by these commands");
  TQuery& users = module_->qryUsers;
  if (!users.Locate("USERQV_NAME", qv::Value(name))) throw Exception("there is no user named '" + name + "'");
  return users.FieldByName("USER_ID").AsInteger();
}

int AdminSession::LocateProfile(const std::string& description) {
  TQuery& profiles = module_->qryProfiles;
  if (!profiles.Locate("PROF_DESCRIPTION", qv::Value(description)))
    throw Exception("there is no profile '" + description + "'");
  return profiles.FieldByName("PROF_ID").AsInteger();
}

int AdminSession::CatalogueItem(const std::string& name) {
  const qv::Value id = module_->qryProgs.Lookup("MENU_NAME", {qv::Value(name)}, "MENU_ID");
  if (id.IsNull()) throw Exception(NotInCatalogue(app_key_, {name}));
  return static_cast<int>(id.AsInteger());
}

std::string NotInCatalogue(const std::string& appKey, const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) list += (list.empty() ? "'" : ", '") + item + "'";
  return std::string(items.size() == 1 ? "the item " : "the items ") + list + " of application '" + appKey +
         "' " + (items.size() == 1 ? "is" : "are") +
         " not in the catalogue; nothing was changed (opening the administration window of the "
         "application once brings the catalogue in step with its menu)";
}

std::string YesNo(const std::string& flag) { return flag == "1" ? "yes" : "no"; }

}  // namespace qv::setup

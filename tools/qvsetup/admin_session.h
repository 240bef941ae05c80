// What every scripted administration command stands on: its command line
// read into words and options, and the data module opened on the alias and
// the application, with the database's date text in force and message
// boxes answered as a script answers them.
#pragma once

#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "qvd3/data/dm_quarvel.h"
#include "tools/qvsetup/command_dates.h"

namespace qv {
class TBackend;
}

namespace qv::setup {

// A command line after its command words: the words in order, the options
// that take a value ("--name VALUE" or "--name=VALUE"), and the flags.
// An option not listed, a value missing or an option given twice raises
// CommandUsageError.
struct CommandLine {
  std::vector<std::string> words;
  std::map<std::string, std::string> values;
  std::set<std::string> flags;

  bool Has(const std::string& option) const { return values.contains(option) || flags.contains(option); }
  std::optional<std::string> Value(const std::string& option) const;
};
CommandLine ParseCommandLine(const std::vector<std::string>& args, std::size_t first,
                             std::initializer_list<const char*> valueOptions,
                             std::initializer_list<const char*> flags);

// Where the commands take master's password from on a secured database
// (the alias connects as its client role, which sees and changes nothing
// until "master" logged in): the first line of `source` (a file, or "-"
// for `in`) when given, else asked for at a terminal through `prompt`.
// Set by RunAdminCommand for the run of one command.
struct MasterPasswordSource {
  std::optional<std::string> source;
  std::istream* in = nullptr;
  std::ostream* prompt = nullptr;
};
class ScopedMasterPasswordSource {
 public:
  explicit ScopedMasterPasswordSource(MasterPasswordSource source);
  ~ScopedMasterPasswordSource();
  ScopedMasterPasswordSource(const ScopedMasterPasswordSource&) = delete;
  ScopedMasterPasswordSource& operator=(const ScopedMasterPasswordSource&) = delete;

 private:
  MasterPasswordSource previous_;
};

// The data module open on `alias` and the application `appKey` (empty for
// the commands that concern no application), published as `Users` while it
// lives. On a secured database "master" logs in through the server first,
// with the password of the MasterPasswordSource in force; a refused one
// raises qv::Exception and opens nothing. Confirmation boxes of the module's rules are answered Yes (the
// command itself was the operator's decision); its information boxes are
// kept in Messages(). No window can be shown.
class AdminSession {
 public:
  AdminSession(const std::string& alias, const std::string& appKey);
  ~AdminSession();
  AdminSession(const AdminSession&) = delete;
  AdminSession& operator=(const AdminSession&) = delete;

  TUsers& Module() { return *module_; }
  const std::string& Alias() const { return alias_; }
  const std::string& AppKey() const { return app_key_; }
  const std::vector<std::string>& Messages() const;

  // The users row of `name` made current in qryUsers; refuses "master" and
  // a name without user (qv::Exception naming it).
  int LocateUser(const std::string& name);
  // The profile `description` made current in qryProfiles; refuses an
  // unknown one.
  int LocateProfile(const std::string& description);
  // The catalogue item named `name` in the application: its MENU_ID;
  // refuses an unknown one, saying how the catalogue comes in step.
  int CatalogueItem(const std::string& name);

 private:
  std::string alias_, app_key_;
  ScopedStoredDates dates_;
  std::unique_ptr<class ScriptBackend> backend_;
  TBackend* previous_backend_ = nullptr;
  std::unique_ptr<TUsers> module_;
  TUsers* previous_users_ = nullptr;
};

// The message given for a catalogue item that does not exist.
std::string NotInCatalogue(const std::string& appKey, const std::vector<std::string>& items);

// "yes" / "no" for a flag text ("1" yes, anything else no).
std::string YesNo(const std::string& flag);

}  // namespace qv::setup

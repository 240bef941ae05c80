#include "tools/qvsetup/audit_export.h"

#include <sys/stat.h>
#include <unistd.h>

#include <iostream>
#include <optional>
#include <unordered_map>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/data/statements.h"
#include "qvd3/platform/db/value.h"
#include "qvd3/platform/db/row_stream.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/replacement_file.h"
#include "tools/qvsetup/admin_session.h"
#include "tools/qvsetup/command_dates.h"
#include "tools/qvsetup/command_errors.h"
#include "tools/qvsetup/setup_commands.h"

namespace qv::setup {
namespace {

// The user or catalogue item a filter names, any user but the unknown.
int UserIdByName(AdminSession& session, const std::string& name) {
  const Value id = session.Module().qryUsers.Lookup("USERQV_NAME", {Value(name)}, "USER_ID");
  if (id.IsNull()) throw Exception("there is no user named '" + name + "'");
  return static_cast<int>(id.AsInteger());
}

}  // namespace

// The rows are those of the data module's qryAudit, read by a forward-only
// stream instead of the dataset, which would hold them all; the user and
// item names come from the module's lists, as the audit page's lookup
// columns take them (empty for a user or item that is gone).
long long ExportAudit(TUsers& dm, const AuditSelection& selection, OutputFormat format, std::ostream& out) {
  std::unordered_map<std::int64_t, std::string> users;
  TField& userId = dm.qryUsers.FieldByName("USER_ID");
  TField& userName = dm.qryUsers.FieldByName("USERQV_NAME");
  for (dm.qryUsers.First(); !dm.qryUsers.Eof(); dm.qryUsers.Next()) users[userId.AsInteger()] = userName.AsString();
  std::unordered_map<std::int64_t, std::pair<std::string, std::string>> items;
  TField& menuId = dm.qryProgs.FieldByName("MENU_ID");
  TField& menuName = dm.qryProgs.FieldByName("MENU_NAME");
  TField& caption = dm.qryProgs.FieldByName("MENU_CAPTION");
  for (dm.qryProgs.First(); !dm.qryProgs.Eof(); dm.qryProgs.Next())
    items[menuId.AsInteger()] = {menuName.AsString(), caption.AsString()};

  TRowStream rows;
  rows.SetDatabaseName(dm.qryAudit.DatabaseName());
  rows.SetSQL(sql::qryAudit);
  rows.ParamByName("APP_KEY").SetAsString(selection.appKey);

  const bool period = selection.hasFrom || selection.hasTo;
  // An open side of the period reaches beyond every real stamp.
  const TDateTime from = selection.hasFrom ? selection.from : EncodeDate(1, 1, 1);
  const TDateTime to = selection.hasTo ? selection.to : EncodeDate(9999, 12, 30);
  const StoredStampReader reader;
  RowWriter writer(out, format, {"app", "user", "item", "caption", "start", "end", "computer"});
  static const std::string kNone;
  std::string_view cells[7];
  std::string start, end;
  long long written = 0;
  // qryAudit's columns: APP_KEY, USER_ID, PROG_ID, START_SESSION,
  // END_SESSION, COMPUTER_NAME.
  rows.Run([&](std::span<const TRowCell> row) {
    std::int64_t user = 0, item = 0;
    const bool hasUser = !row[1].null && ParseInteger(row[1].text, user);
    const bool hasItem = !row[2].null && ParseInteger(row[2].text, item);
    if (selection.userId && (!hasUser || user != selection.userId)) return;
    if (selection.menuId && (!hasItem || item != selection.menuId)) return;
    const std::optional<TDateTime> started = reader.Read(row[3].text);
    const std::optional<TDateTime> ended = reader.Read(row[4].text);
    if (period && (!started || !ended ||
                   !InAuditPeriod(from, to, StampSeconds(*started), StampSeconds(*ended))))
      return;
    const auto foundUser = hasUser ? users.find(user) : users.end();
    const auto foundItem = hasItem ? items.find(item) : items.end();
    start = started ? IsoStamp(*started) : std::string(row[3].text);
    end = ended ? IsoStamp(*ended) : std::string(row[4].text);
    cells[0] = row[0].text;
    cells[1] = foundUser != users.end() ? foundUser->second : kNone;
    cells[2] = foundItem != items.end() ? foundItem->second.first : kNone;
    cells[3] = foundItem != items.end() ? foundItem->second.second : kNone;
    cells[4] = start;
    cells[5] = end;
    cells[6] = row[5].text;
    writer.Row(cells);
    if (!out) throw Exception("the export could not be written");
    ++written;
  });
  writer.Finish();
  return written;
}

int AuditExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream&) {
  CommandLine line = ParseCommandLine(args, 2, {"--from", "--to", "--user", "--item", "--format", "--output"}, {});
  if (line.words.size() != 2) throw CommandUsageError("usage: qvsetup audit export ALIAS APP [options]");
  AuditSelection selection;
  selection.appKey = line.words[1];
  if (auto from = line.Value("--from")) {
    selection.from = ParseIsoDay(*from, "--from");
    selection.hasFrom = true;
  }
  if (auto to = line.Value("--to")) {
    selection.to = ParseIsoDay(*to, "--to");
    selection.hasTo = true;
  }
  if (selection.hasFrom && selection.hasTo && selection.to < selection.from)
    throw CommandUsageError("--to is before --from");
  const OutputFormat format = line.Has("--format") ? ParseOutputFormat(*line.Value("--format"), false)
                                                   : OutputFormat::Csv;
  AdminSession session(line.words[0], selection.appKey);
  if (auto user = line.Value("--user")) selection.userId = UserIdByName(session, *user);
  if (auto item = line.Value("--item")) selection.menuId = session.CatalogueItem(*item);

  if (auto output = line.Value("--output")) {
    // Replaced only once the whole export is written; the audit trail is
    // not for everyone, so the file is its owner's.
    TReplacementFile file(*output, S_IRUSR | S_IWUSR);
    std::ostream stream(&file);
    ExportAudit(session.Module(), selection, format, stream);
    file.Commit();
  } else {
    ExportAudit(session.Module(), selection, format, out);
  }
  return kExitOk;
}

// The rows go as the audit page's Eliminar takes them: the rows the record
// filter of qryAudit accepts, deleted together (all or none).
int AuditPruneCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      std::istream& in) {
  CommandLine line = ParseCommandLine(args, 2, {"--before"}, {"--yes"});
  if (line.words.size() != 2 || !line.Has("--before"))
    throw CommandUsageError("usage: qvsetup audit prune ALIAS APP --before YYYY-MM-DD [--yes]");
  const std::string beforeText = *line.Value("--before");
  const TDateTime before = ParseIsoDay(beforeText, "--before");
  const bool interactive = &in == &std::cin;
  if (!line.Has("--yes") && interactive && !isatty(STDIN_FILENO))
    throw CommandUsageError("audit prune asks for a confirmation at a terminal; give --yes to prune without one");

  AdminSession session(line.words[0], line.words[1]);
  TUsers& dm = session.Module();
  const std::int64_t limit = StampSeconds(before);
  dm.qryAudit.OnFilterRecord = [&dm, limit](TDataSet&, bool& accept) {
    const Value ended = dm.qryAuditEndSeconds.AsValue();
    accept = !ended.IsNull() && ended.AsInteger() < limit;
  };
  dm.qryAudit.SetFiltered(true);
  const TRowSelection selection = dm.qryAudit.VisibleRows();
  const std::string what = std::to_string(selection.Count()) + " audit row" + (selection.Count() == 1 ? "" : "s") +
                           " of application '" + session.AppKey() + "' ended before " + beforeText;
  if (selection.IsEmpty()) {
    out << "no audit row of application '" << session.AppKey() << "' ended before " << beforeText
        << "; nothing to delete\n";
    return kExitOk;
  }
  err << what << "\n";
  if (!line.Has("--yes")) {
    err << "Delete them? [y/N] " << std::flush;
    std::string answer;
    std::getline(in, answer);
    if (answer != "y" && answer != "Y" && answer != "yes") {
      out << "nothing was deleted\n";
      return kExitFailed;
    }
  }
  dm.qryAudit.DeleteRows(selection);
  out << "deleted " << what << "\n";
  return kExitOk;
}

}  // namespace qv::setup

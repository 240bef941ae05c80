// The audit trail from a script: its export for an auditor and the pruning
// of old rows (see admin_commands.h for the command lines).
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "qvd3/platform/sys/date_time.h"
#include "tools/qvsetup/output_format.h"

namespace qv {
class TUsers;
}

namespace qv::setup {

// What an export selects: the application's rows, of one user and one
// catalogue item when given, within the period when given.
struct AuditSelection {
  std::string appKey;
  int userId = 0;  // 0: every user
  int menuId = 0;  // 0: every item
  // The audit page's period (InAuditPeriod): commands that started after
  // midnight of `from` and ended before the midnight after `to`. Without a
  // day that side is open. Rows whose stamps do not read as dates are
  // exported (as stored) only when no period is given.
  bool hasFrom = false, hasTo = false;
  TDateTime from, to;
};

// Writes the selected rows of the database `dm` is open on to `out`, one line
// (csv) or object (json) per row, with the columns app, user, item,
// caption, start, end and computer; stamps as YYYY-MM-DDThh:mm:ss. The rows
// are read and written one at a time, in the table's order: memory stays
// flat whatever their number. The stored date pattern must be in force
// (ScopedStoredDates), and the module's users list and catalogue open
// (AdminSession). Returns the number of rows written.
long long ExportAudit(TUsers& dm, const AuditSelection& selection, OutputFormat format, std::ostream& out);

// `qvsetup audit export ...` and `qvsetup audit prune ...`. Prune asks for
// a confirmation unless --yes is given: on the terminal when `in` is the
// process's standard input (refused when it is not a terminal), otherwise
// as the next line of `in`.
int AuditExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int AuditPruneCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      std::istream& in);

}  // namespace qv::setup

#include "tools/qvsetup/command_errors.h"

#include "qvd3/platform/db/hide_passwords.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv::setup {

// The data-access layer's messages name their alias already ("Alias 'x':
// ..."), so the alias is named once.
void ReportFailure(std::ostream& err, const std::string& alias, const std::string& message) {
  err << "qvsetup: ";
  if (!alias.empty() && AsciiLower(message).find("'" + AsciiLower(alias) + "'") == std::string::npos)
    err << "alias '" << alias << "': ";
  err << HidePasswords(message) << "\n";
}

}  // namespace qv::setup

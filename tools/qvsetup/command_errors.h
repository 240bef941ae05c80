// The two ways a scripted administration command fails: a command line that
// does not fit its usage (exit status 2), and everything else, refusals by
// a rule included (qv::Exception, exit status 1).
#pragma once

#include <ostream>
#include <stdexcept>
#include <string>

namespace qv::setup {

class CommandUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reports a failed command on `err`: "qvsetup: ", the alias it was about
// (unless empty or the message names it already, quoted) and the message,
// with any password of a connection string hidden.
void ReportFailure(std::ostream& err, const std::string& alias, const std::string& message);

}  // namespace qv::setup

// The two ways a scripted administration command fails: a command line that
// does not fit its usage (exit status 2), and everything else, refusals by
// a rule included (qv::Exception, exit status 1).
#pragma once

#include <stdexcept>
#include <string>

namespace qv::setup {

class CommandUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qv::setup

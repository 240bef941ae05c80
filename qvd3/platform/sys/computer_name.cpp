#include "qvd3/platform/sys/computer_name.h"

#include <unistd.h>

#include <climits>

namespace qv {
namespace {

ComputerNameOverride* active_override = nullptr;

}  // namespace

std::string ReadComputerName() {
  if (active_override != nullptr) return active_override->name_;
#ifdef HOST_NAME_MAX
  char buffer[HOST_NAME_MAX + 1] = {};
#else
  char buffer[256] = {};
#endif
  if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return std::string(buffer);
}

ComputerNameOverride::ComputerNameOverride(std::string name)
    : name_(std::move(name)), previous_(active_override) {
  active_override = this;
}

ComputerNameOverride::~ComputerNameOverride() {
  if (active_override == this) {
    active_override = previous_;
    return;
  }
  for (ComputerNameOverride* o = active_override; o != nullptr; o = o->previous_) {
    if (o->previous_ == this) {
      o->previous_ = previous_;
      return;
    }
  }
}

}  // namespace qv

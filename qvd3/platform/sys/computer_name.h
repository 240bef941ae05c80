// The name this machine is known by on the network, as audit rows record it.
#pragma once

#include <string>

namespace qv {

// The host name the system reports (gethostname), or an empty string when it
// cannot be read. It may be up to 64 characters long, longer than a column
// that records it may hold. Tests replace it with a ComputerNameOverride.
std::string ReadComputerName();

// Makes ReadComputerName return `name` (an empty name stands for "no name
// available") for as long as it lives; nesting restores the previous one.
class ComputerNameOverride {
 public:
  explicit ComputerNameOverride(std::string name);
  ~ComputerNameOverride();
  ComputerNameOverride(const ComputerNameOverride&) = delete;
  ComputerNameOverride& operator=(const ComputerNameOverride&) = delete;

 private:
  std::string name_;
  ComputerNameOverride* previous_;
  friend std::string ReadComputerName();
};

}  // namespace qv

// qvsetup: prepares security databases and the aliases that name them. See
// setup_commands.h for the commands.
#include <iostream>
#include <string>
#include <vector>

#include "tools/qvsetup/setup_commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return qv::setup::RunSetup(args, std::cout, std::cerr);
}

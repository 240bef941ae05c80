// The aliases file reader on any file: it either reads the aliases or
// raises EDatabaseError naming the file and line, and every alias it reads
// is written back by AddAliasToFile and read again unchanged.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/session.h"

namespace fs = std::filesystem;
using namespace qv;

namespace {

// The aliases a file holds, read as the session reads its aliases file.
bool ReadAliases(const fs::path& file, std::vector<AliasDefinition>& out) {
  setenv("QV_ALIASES", file.c_str(), 1);
  Session& session = Session::Default();
  std::vector<std::string> names;
  try {
    session.ReloadAliases();
    session.GetDatabaseNames(names);
  } catch (const EDatabaseError&) {
    return false;
  }
  out.clear();
  for (const std::string& name : names) out.push_back(session.FindAlias(name));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("qv_fuzz_aliases_" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  const fs::path input = dir / "input.ini", copy = dir / "copy.ini";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::vector<AliasDefinition> read, reread;
  if (!ReadAliases(input, read)) return 0;
  fs::remove(copy);
  for (const AliasDefinition& alias : read) Session::AddAliasToFile(copy, alias);
  if (!read.empty() && !ReadAliases(copy, reread)) std::abort();
  if (read.empty()) return 0;
  if (reread.size() != read.size()) std::abort();
  for (std::size_t i = 0; i < read.size(); ++i) {
    if (reread[i].name != read[i].name || reread[i].engine != read[i].engine ||
        reread[i].location != read[i].location)
      std::abort();
  }
  return 0;
}

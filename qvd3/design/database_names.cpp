#include "qvd3/design/database_names.h"

#include <vector>

namespace qv {

void ListDatabaseNames(const TGetStrProc& proc, Session& session) {
  std::vector<std::string> names;
  session.GetDatabaseNames(names);
  for (const std::string& name : names) proc(name);
}

}  // namespace qv

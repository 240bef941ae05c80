// The database names offered for TQuarvel's DatabaseName: the aliases the
// database session knows (those of the aliases file, then those added in
// code), so a developer or a setup tool can pick an alias instead of typing
// it. The property itself still accepts any text.
#pragma once

#include <functional>
#include <string>

#include "qvd3/platform/db/session.h"

namespace qv {

// Receives one database name per call.
using TGetStrProc = std::function<void(const std::string& name)>;

// Calls `proc` once for each database name of `session`, in the order the
// session lists them. An error while listing (a malformed aliases file) or
// raised by `proc` propagates; nothing is left allocated.
void ListDatabaseNames(const TGetStrProc& proc, Session& session = Session::Default());

}  // namespace qv

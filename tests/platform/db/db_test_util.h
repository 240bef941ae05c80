// Shared helpers of the data-access tests.
#pragma once

#include <memory>
#include <string>

#include "qvd3/platform/db/query.h"
#include "tests/support/db/engine_fixture.h"

namespace qv::test {

// A query on the fixture's alias.
inline std::unique_ptr<TQuery> MakeQuery(const std::string& alias, const std::string& sql, bool live = false,
                                         const std::string& name = "qryTest") {
  auto q = std::make_unique<TQuery>();
  q->SetName(name);
  q->SetDatabaseName(alias);
  q->SetSQL(sql);
  q->SetRequestLive(live);
  return q;
}

// The values of `field` over all visible rows, joined by ",".
inline std::string Column(TDataSet& ds, const std::string& field) {
  std::string out;
  for (ds.First(); !ds.Eof(); ds.Next()) {
    if (!out.empty()) out += ",";
    out += ds.FieldByName(field).AsString();
  }
  return out;
}

}  // namespace qv::test

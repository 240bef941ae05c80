// A data module on a seeded security database, opened as the component
// opens it: the eight tables on the test alias and the application key set.
// Message boxes are answered by the headless backend.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "qvd3/data/dm_quarvel.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"

namespace qv::test {

inline constexpr const char* kApp = "ESTOQUE";
inline constexpr const char* kOtherApp = "VENDAS";

class DataModuleTest : public SecurityDbTest {
 protected:
  void SetUp() override {
    SecurityDbTest::SetUp();
    LastUserId = LastProfId = LastMenuId = 0;
  }

  void TearDown() override {
    dm.reset();
    SecurityDbTest::TearDown();
  }

  // Creates the module, sets alias and application key, opens the tables.
  TUsers& OpenModule(const std::string& appKey = kApp) {
    dm = std::make_unique<TUsers>(nullptr);
    for (TQuery* q : std::initializer_list<TQuery*>{&dm->qryUAccess, &dm->qryPAccess, &dm->qryProgs,
                                                    &dm->qryAudit, &dm->qryUserInfo})
      q->ParamByName("APP_KEY").SetAsString(appKey);
    for (TQuery* q : Tables()) q->SetDatabaseName(Alias());
    for (TQuery* q : Tables()) q->Open();
    return *dm;
  }

  std::vector<TQuery*> Tables() {
    return {&dm->qryUsers,   &dm->qryProfiles, &dm->qryProgs, &dm->qryHistory,
            &dm->qryUAccess, &dm->qryPAccess,  &dm->qryAudit, &dm->qryUserInfo};
  }

  // Rows of a table for one user, profile or menu item.
  long long RowsWhere(const std::string& table, const std::string& column, int id) {
    return Count("SELECT COUNT(*) FROM " + table + " WHERE " + column + "=:ID", {{"ID", id}});
  }

  THeadlessBackend ui;
  std::unique_ptr<TUsers> dm;
};

}  // namespace qv::test

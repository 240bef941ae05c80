// The data module on a seeded security database, published as the global
// Users the data-aware dialogs bind to when they are created.
#pragma once

#include "qvd3/data/dm_quarvel.h"
#include "tests/data/dm_quarvel_fixture.h"

namespace qv::test {

class DataDialogTest : public DataModuleTest {
 protected:
  void SetUp() override {
    DataModuleTest::SetUp();
    if (HasFatalFailure()) return;
    Users = &OpenModule();
  }

  void TearDown() override {
    Users = nullptr;
    DataModuleTest::TearDown();
  }

  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const TMessageRecord& m : ui.Messages()) texts.push_back(m.Text);
    return texts;
  }
};

}  // namespace qv::test

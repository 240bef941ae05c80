// A host command that destroys the component, or the whole form holding
// it, while it runs: the interceptor that ran it must not touch the
// destroyed component afterwards (the sanitizer build reads freed memory
// otherwise), the command still leaves its audit row (freeing the guard is
// no way round the audit), and what survives keeps working.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvd3/component/quarvel.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv::test {
namespace {

class SelfDestroyingCommandTest : public SecurityDbTest {
 protected:
  void TearDown() override {
    host_.reset();
    SecurityDbTest::TearDown();
  }

  // Reads the host and logs in maria, audited, allowed to open files.
  void ReadHostAsAuditedMaria() {
    const int maria = AddUser("maria", "segredo", 0, "1");
    AddUserInfo("STOCK", maria);
    for (const char* item : {"mnuFile", "mnuFileOpen"}) SetUAccess("STOCK", maria, AddProg("STOCK", item, item), "1");
    host_ = ReadTestHost({.DatabaseName = Alias()});
    ui_.WhenShown("Login").Type("maria").Enter().Type("segredo").Enter();
    ASSERT_TRUE(host_->Quarvel1->Login());
    ASSERT_TRUE(host_->mnuFileOpen->Enabled());
  }

  long long AuditCount() { return Count("SELECT COUNT(*) FROM AUDIT"); }

  THeadlessBackend ui_;
  std::unique_ptr<TTestHostForm> host_;
};

TEST_P(SelfDestroyingCommandTest, ACommandThatDestroysTheComponentRunsOnceAndLeavesTheMenuToTheHost) {
  ReadHostAsAuditedMaria();
  host_->OnCommand = [this](const std::string&) {
    delete host_->Quarvel1;
    host_->Quarvel1 = nullptr;
  };
  EXPECT_TRUE(host_->mnuFileOpen->ChooseByPerson());
  EXPECT_EQ(host_->Calls, (std::vector<std::string>{"mnuFileOpen"}));
  // The component is gone, the row of the command that freed it is not.
  EXPECT_EQ(AuditCount(), 1);

  // The item has the host's own handler back: it runs with no interceptor.
  host_->OnCommand = nullptr;
  EXPECT_TRUE(host_->mnuFileOpen->ChooseByPerson());
  EXPECT_EQ(host_->Calls, (std::vector<std::string>{"mnuFileOpen", "mnuFileOpen"}));
  EXPECT_EQ(host_->LastSender, host_->mnuFileOpen);
  EXPECT_EQ(AuditCount(), 1);
}

TEST_P(SelfDestroyingCommandTest, ACommandThatDestroysTheWholeFormRunsOnce) {
  ReadHostAsAuditedMaria();
  int runs = 0;
  // The form's own OnCommand is destroyed with it: the last thing it does
  // is the destruction, and the count lives outside.
  host_->OnCommand = [this, &runs](const std::string&) {
    ++runs;
    host_.reset();
  };
  TMenuItem* open = host_->mnuFileOpen;
  EXPECT_TRUE(open->ChooseByPerson());
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(host_, nullptr);
  EXPECT_EQ(AuditCount(), 1);
}

TEST_P(SelfDestroyingCommandTest, AnotherComponentReadAfterwardsAuditsAsUsual) {
  ReadHostAsAuditedMaria();
  host_->OnCommand = [this](const std::string&) { host_.reset(); };
  host_->mnuFileOpen->ChooseByPerson();
  ASSERT_EQ(host_, nullptr);

  host_ = ReadTestHost({.DatabaseName = Alias()});
  ui_.WhenShown("Login").Type("maria").Enter().Type("segredo").Enter();
  ASSERT_TRUE(host_->Quarvel1->Login());
  EXPECT_TRUE(host_->mnuFileOpen->ChooseByPerson());
  EXPECT_EQ(host_->Calls, (std::vector<std::string>{"mnuFileOpen"}));
  EXPECT_EQ(AuditCount(), 2);
}

QV_INSTANTIATE_ENGINES(SelfDestroyingCommandTest);

}  // namespace
}  // namespace qv::test

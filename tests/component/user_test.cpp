// The current-user record: its initial state and its typed getters over the
// stored texts of a logged-in user.
#include "qvd3/component/user.h"

#include <gtest/gtest.h>

#include "qvd3/component/quarvel.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/ui/headless/headless.h"
#include "tests/support/security_db.h"
#include "tests/support/test_host.h"

namespace qv {
namespace {

TEST(UserRecord, StartsEmptyWithFlagsOffAndZeroDates) {
  TUser user;
  EXPECT_EQ(user.UserName(), "");
  EXPECT_EQ(user.UserID(), 0);
  EXPECT_EQ(user.ProfileID(), 0);
  EXPECT_EQ(user.UserExpire(), "0");
  EXPECT_EQ(user.UserActive(), "0");
  EXPECT_EQ(user.AuditMode(), "0");
  EXPECT_FALSE(user.GetUserExpire());
  EXPECT_FALSE(user.GetUserActive());
  EXPECT_FALSE(user.GetAuditMode());
  EXPECT_TRUE(user.GetLastPwdChange().IsZero());
  EXPECT_TRUE(user.GetExpirationDate().IsZero());
  EXPECT_LT(user.GetExpirationDate(), EncodeDate(1, 1, 1));
}

class UserRecordTest : public test::SecurityDbTest {
 protected:
  // Logs `name` in through the host's component and returns its record.
  const TUser& LogIn(test::TTestHostForm& host, const std::string& name, const std::string& password) {
    THeadlessBackend ui;
    ui.WhenShown("Login").Type(name).Enter().Type(password).Enter();
    EXPECT_TRUE(host.Quarvel1->Login());
    return *host.Quarvel1->User();
  }
  std::unique_ptr<test::TTestHostForm> Host() { return test::ReadTestHost({.DatabaseName = Alias()}); }
};

TEST_P(UserRecordTest, GettersReadTheStoredTexts) {
  int maria = AddUser("maria", "segredo", 0, "1", test::DateText(2026, 2, 1), "Maria Souza");
  AddUserInfo("STOCK", maria, "1", test::DateText(2026, 12, 31), "1");
  auto host = Host();
  const TUser& user = LogIn(*host, "maria", "segredo");
  EXPECT_EQ(user.UserName(), "maria");
  EXPECT_EQ(user.RealName(), "Maria Souza");
  EXPECT_EQ(user.UserID(), maria);
  EXPECT_EQ(user.Password(), "segredo");
  EXPECT_EQ(user.GetLastPwdChange(), EncodeDate(2026, 2, 1));
  EXPECT_EQ(user.GetExpirationDate(), EncodeDate(2026, 12, 31));
  EXPECT_TRUE(user.GetUserExpire());
  EXPECT_TRUE(user.GetUserActive());
  EXPECT_TRUE(user.GetAuditMode());
}

TEST_P(UserRecordTest, FlagsOtherThanOneCountAsNo) {
  int joao = AddUser("joao", "abc", 0, "S");
  AddUserInfo("STOCK", joao, "S", test::DateText(2026, 12, 31), "1");
  auto host = Host();
  const TUser& user = LogIn(*host, "joao", "abc");
  EXPECT_EQ(user.AuditMode(), "S");
  EXPECT_FALSE(user.GetAuditMode());
  EXPECT_FALSE(user.GetUserExpire());
}

// Dates are stored widened (two-digit day and month, four-digit year) in
// the machine's order; the getters read them so even when the machine's own
// pattern is the short month-first one.
TEST_P(UserRecordTest, DatesAreReadUnderTheNormalisedPatternWhateverTheMachinePattern) {
  SetShortDateFormat("M/d/yy");
  int ana = AddUser("ana", "x1", 0, "0", "02/01/2026");  // 1 February 2026, month first
  AddUserInfo("STOCK", ana, "0", "12/25/2026", "1");
  auto host = Host();
  const TUser& user = LogIn(*host, "ana", "x1");
  EXPECT_EQ(user.GetLastPwdChange(), EncodeDate(2026, 2, 1));
  EXPECT_EQ(user.GetExpirationDate(), EncodeDate(2026, 12, 25));
  EXPECT_EQ(ShortDateFormat(), "M/d/yy");
}

TEST_P(UserRecordTest, AnEmptyDateIsTheZeroDateAndABadOneAConversionError) {
  int rui = AddUser("rui", "pw", 0, "0", "31/02/2026");
  AddUserInfo("STOCK", rui, "0", "", "1");
  auto host = Host();
  const TUser& user = LogIn(*host, "rui", "pw");
  EXPECT_TRUE(user.GetExpirationDate().IsZero());
  EXPECT_THROW(user.GetLastPwdChange(), EConvertError);
  // The pattern came back after the failed reading.
  EXPECT_EQ(ShortDateFormat(), test::kTestDatePattern);
}

QV_INSTANTIATE_ENGINES(UserRecordTest);

}  // namespace
}  // namespace qv

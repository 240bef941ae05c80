// A seeded security database for tests of the component and everything
// above it, on both engines.
//
//   class LoginTest : public qv::test::SecurityDbTest {};
//
//   TEST_P(LoginTest, AdmitsAnActiveUser) {
//     int prof = AddProfile("Vendas");
//     int maria = AddUser("maria", "segredo", prof);
//     AddUserInfo("STOCK", maria);
//     ...
//     EXPECT_EQ(Count("SELECT COUNT(*) FROM USERINFO WHERE USER_ID=:ID", {{"ID", maria}}), 1);
//   }
//   QV_INSTANTIATE_ENGINES(LoginTest);
//
// SetUp, on a fresh database of the engine under test (see EngineTest):
//   - fixes the short date pattern to kTestDatePattern ("dd/MM/yyyy") and
//     the clock to kToday at 10:30:00, and starts without a database date
//     pattern in force; TearDown puts all three back;
//   - creates the eight security tables;
//   - inserts the built-in administrator: USER_ID 1 (kMasterId), name
//     "master", password "master" (kMasterPassword) scrambled as stored,
//     PROFILE_ID 0, AUDIT_MODE "0", LAST_PWD_CHANGE today's date text.
//     No USERINFO row is made for it.
//
// On the secured variant ("postgresql_secured") SetUp then records the date
// pattern "dd/mm/yyyy", secures the database for ClientRole() (no --admin
// names: "master" is the administrator) and makes the server's "today"
// follow Clock(). Alias(), what the component uses, connects as the client
// role; the helpers below work as the owner, so seeding and checking see
// and change everything whatever the rows' security allows.
//
// Every helper writes plain values through bound parameters on
// OwnerAlias(); date texts are written as given (use DateText / TodayText for real dates).
// Generated keys follow the system's rule: the largest present plus one,
// over all applications.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qvd3/platform/db/value.h"
#include "qvd3/platform/sys/date_time.h"
#include "tests/support/db/engine_fixture.h"

namespace qv::test {

inline constexpr int kMasterId = 1;
inline constexpr const char* kMasterPassword = "master";
// The short date pattern every SecurityDbTest runs under; already in the
// normalised form, so date texts read the same inside and outside a
// normalisation.
inline constexpr const char* kTestDatePattern = "dd/MM/yyyy";
// The fixed "today" of every SecurityDbTest: 15 March 2026.
inline constexpr int kTodayYear = 2026;
inline constexpr int kTodayMonth = 3;
inline constexpr int kTodayDay = 15;

// The date text of a day as the tables store it: under the normalised form
// of the short date pattern in force (two-digit day and month, four-digit
// year, the pattern's order and separator).
std::string DateText(int year, int month, int day);
std::string DateText(TDateTime date);

// Named parameter values for the query helpers: {{"USER_ID", 3}, {"APP_KEY", "STOCK"}}.
using SqlParams = std::vector<std::pair<std::string, Value>>;

// The fixture's clock: Set and Advance move "today" and "now" of the
// process and, on a secured database, the server's "today".
class FixtureClock {
 public:
  FixtureClock(TDateTime now, std::function<void()> moved) : clock_(now), moved_(std::move(moved)) {}
  void Set(TDateTime now);
  void Advance(double days);

 private:
  ClockOverride clock_;
  std::function<void()> moved_;
};

class SecurityDbTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // kToday at midnight, and its date text.
  TDateTime Today() const;
  std::string TodayText() const;
  // Today's date text moved by `days` (negative: the past).
  std::string DaysFromToday(int days) const;
  // The clock fixed by SetUp; Set or Advance it to move "today" and "now".
  FixtureClock& Clock() { return *clock_; }

  // A users row; returns its USER_ID. `lastPwdChange` defaults to today's
  // date text; pass "" for an empty one.
  int AddUser(const std::string& name, const std::string& password, int profileId = 0,
              const std::string& auditMode = "0",
              std::optional<std::string> lastPwdChange = std::nullopt,
              const std::string& realName = "");
  // A profile; returns its PROF_ID. Without `interval` INTERVAL_CHANGE_PWD
  // is null.
  int AddProfile(const std::string& description, const std::string& mustChange = "0",
                 std::optional<int> interval = std::nullopt, int hideDisable = 0,
                 const std::string& auditMode = "0");
  // A USERINFO row. `expirationDate` defaults to today's date text; pass ""
  // for an empty one.
  void AddUserInfo(const std::string& appKey, int userId, const std::string& expire = "0",
                   std::optional<std::string> expirationDate = std::nullopt,
                   const std::string& active = "1");
  // A catalogue row; returns its MENU_ID.
  int AddProg(const std::string& appKey, const std::string& menuName, const std::string& caption);
  // Sets the right of a user (or profile) to a catalogue item, inserting the
  // row when there is none. `authorized` is a flag text, or Value() for null.
  void SetUAccess(const std::string& appKey, int userId, int menuId, const Value& authorized);
  void SetPAccess(const std::string& appKey, int profId, int menuId, const Value& authorized);
  // A password-history row (the former password as typed).
  void AddHistory(int userId, const std::string& password, const std::string& changeDate);

  // Runs a statement with bound parameters; returns the rows changed.
  long long ExecWith(std::string_view sql, const SqlParams& params = {});
  // The first column of the first row of a select: as a Value (null when
  // there is no row), as text ("" for null), and as a number for counts.
  Value ScalarValue(std::string_view sql, const SqlParams& params = {});
  std::string Scalar(std::string_view sql, const SqlParams& params = {});
  long long Count(std::string_view sql, const SqlParams& params = {});
  // The plain password of a user, unscrambled from the stored bytes.
  std::string PasswordOf(int userId);

 private:
  // Secured: makes the server's QV_TODAY() answer the clock's day.
  void SetServerToday();

  std::unique_ptr<FixtureClock> clock_;
  std::string saved_date_pattern_;
  bool pattern_saved_ = false;
};

}  // namespace qv::test

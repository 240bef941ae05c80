// The database's recorded date pattern: which patterns can be recorded, the
// record read back and replaced, and the stored dates rewritten from one
// pattern to another, on both engines. (Counting unreadable dates is tested
// through qvsetup check and date-pattern.)
#include <gtest/gtest.h>

#include <string>

#include "qvd3/data/date_pattern.h"
#include "qvd3/platform/sys/exception.h"
#include "tests/support/security_db.h"

namespace qv::test {
namespace {

TEST(CheckedDatePatternTest, TheStoredFormsAreAcceptedInLowerCaseAndEverythingElseRefused) {
  EXPECT_EQ(CheckedDatePattern("dd/mm/yyyy"), "dd/mm/yyyy");
  EXPECT_EQ(CheckedDatePattern("MM/DD/YYYY"), "mm/dd/yyyy");
  EXPECT_EQ(CheckedDatePattern("yyyy-MM-dd"), "yyyy-mm-dd");
  EXPECT_EQ(CheckedDatePattern("dd.mm.yyyy"), "dd.mm.yyyy");
  EXPECT_EQ(CheckedDatePattern("yyyy年mm年dd"), "yyyy年mm年dd");  // a machine's normalised pattern

  for (const char* refused : {"", "d/m/yy", "dd/mm/yy", "dd/m/yyyy", "ddd/mm/yyyy", "dd/mm", "dd/dd/yyyy",
                              "ddmmyyyy", "dd/mmyyyy", "dd/mm-yyyy", "dd//mm//yyyy", "dd mm yyyy",
                              "dd1mm1yyyy", "ddxmmxyyyy", "/dd/mm/yyyy", "dd/mm/yyyy/", "dd/mm/yyyy hh",
                              "dd\tmm\tyyyy", "dd/mm/yyyy'; DROP TABLE AUDIT; --"}) {
    SCOPED_TRACE(refused);
    EXPECT_THROW(CheckedDatePattern(refused), Exception);
  }
  EXPECT_THROW(CheckedDatePattern(std::string("dd\xff" "mm\xff" "yyyy")), Exception);
}

class DatePatternTest : public SecurityDbTest {};

TEST_P(DatePatternTest, TheRecordIsReadBackReplacedAndAbsentWhenEmpty) {
  EXPECT_EQ(ReadDatePattern(Alias()), std::nullopt);  // no table: none recorded

  RecordDatePattern(Alias(), "DD.MM.YYYY");
  EXPECT_EQ(ReadDatePattern(Alias()), "dd.mm.yyyy");
  RecordDatePattern(Alias(), "yyyy-mm-dd");
  EXPECT_EQ(ReadDatePattern(Alias()), "yyyy-mm-dd");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM QVDATEPATTERN"), 1);
  EXPECT_THROW(RecordDatePattern(Alias(), "d/m/yy"), Exception);
  EXPECT_EQ(ReadDatePattern(Alias()), "yyyy-mm-dd");

  // Another program's rows: two patterns are no answer; none is none.
  Exec("INSERT INTO QVDATEPATTERN (DATE_PATTERN) VALUES ('dd/mm/yyyy')");
  EXPECT_THROW(ReadDatePattern(Alias()), Exception);
  Exec("DELETE FROM QVDATEPATTERN");
  EXPECT_EQ(ReadDatePattern(Alias()), std::nullopt);
}

// Day and month swap: each text becomes the other's, and each row keeps its
// own day; texts the old pattern cannot read stay as they are.
TEST_P(DatePatternTest, RewritingMovesEveryReadableTextToTheSameDayInTheNewForm) {
  const int first = AddUser("ana", "x", 0, "0", "01/02/2026");   // 1 February
  const int second = AddUser("bia", "x", 0, "0", "02/01/2026");  // 2 January
  const int broken = AddUser("caio", "x", 0, "0", "2026-01-02");
  ExecWith("INSERT INTO AUDIT VALUES ('STOCK', :U, 1, '05/03/2026 10:00:00', '06/03/2026', 'PC')", {{"U", first}});

  // master's "15/03/2026", ana, bia, and both stamps.
  EXPECT_EQ(RewriteStoredDates(Alias(), "dd/mm/yyyy", "mm/dd/yyyy"), 5);
  auto lastChange = [&](int user) { return Scalar("SELECT LAST_PWD_CHANGE FROM QUARVEL WHERE USER_ID=:U", {{"U", user}}); };
  EXPECT_EQ(lastChange(first), "02/01/2026");
  EXPECT_EQ(lastChange(second), "01/02/2026");
  EXPECT_EQ(lastChange(broken), "2026-01-02");
  EXPECT_EQ(lastChange(kMasterId), "03/15/2026");
  EXPECT_EQ(Scalar("SELECT START_SESSION FROM AUDIT"), "03/05/2026 10:00:00");
  EXPECT_EQ(Scalar("SELECT END_SESSION FROM AUDIT"), "03/06/2026");  // midnight keeps no time

  EXPECT_EQ(RewriteStoredDates(Alias(), "mm/dd/yyyy", "yyyy-mm-dd"), 5);
  EXPECT_EQ(lastChange(first), "2026-02-01");
  EXPECT_EQ(lastChange(broken), "2026-01-02");
}

QV_INSTANTIATE_ENGINES(DatePatternTest);

}  // namespace
}  // namespace qv::test

#include "qvd3/component/date_format.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "qvd3/platform/sys/utf8.h"

#include "qvd3/platform/sys/date_text.h"

namespace qv {
namespace {

TEST(WidenDateFormatTest, WidensDayMonthAndYearKeepingOrderAndSeparator) {
  EXPECT_EQ(WidenDateFormat("d/M/yy"), "dd/MM/yyyy");
  EXPECT_EQ(WidenDateFormat("dd/MM/yyyy"), "dd/MM/yyyy");
  EXPECT_EQ(WidenDateFormat("M/d/yy"), "MM/dd/yyyy");
  EXPECT_EQ(WidenDateFormat("dd/MM/YY"), "dd/MM/YYYY");
  EXPECT_EQ(WidenDateFormat("mm/d/yy"), "mm/dd/yyyy");
  EXPECT_EQ(WidenDateFormat("d.mm.yyyy"), "dd.mm.yyyy");
  EXPECT_EQ(WidenDateFormat("yy-M-d"), "yyyy-MM-dd");
  EXPECT_EQ(WidenDateFormat("D/M/YY"), "DD/MM/YYYY");
  EXPECT_EQ(WidenDateFormat("YYYY/mm/dd"), "YYYY/mm/dd");
  // A lone year letter prints two digits just like "yy".
  EXPECT_EQ(WidenDateFormat("d/m/y"), "dd/mm/yyyy");
}

TEST(NormalizedDateFormatTest, KeepsTheOrderAndTheFirstSeparatorCharacterOnly) {
  EXPECT_EQ(NormalizedDateFormat("d/M/yy"), "dd/MM/yyyy");
  EXPECT_EQ(NormalizedDateFormat("yyyy. mm. dd."), "yyyy.mm.dd");
  EXPECT_EQ(NormalizedDateFormat("yyyy年mm月dd日"), "yyyy年mm年dd");
  EXPECT_EQ(NormalizedDateFormat("(d-m-y)"), "dd-mm-yyyy");
  EXPECT_EQ(NormalizedDateFormat("yyyymmdd"), "yyyymmdd");
  // Without all three elements there is nothing to reduce.
  EXPECT_EQ(NormalizedDateFormat("m/yy."), "mm/yyyy.");
  EXPECT_EQ(NormalizedDateFormat("dd/mm/yyyy/dd"), "dd/mm/yyyy/dd");
}

class DateFormatSlotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = ShortDateFormat();
    saved_time_ = LongTimeFormat();
  }
  void TearDown() override {
    SetShortDateFormat(saved_);
    SetLongTimeFormat(saved_time_);
  }

 private:
  std::string saved_;
  std::string saved_time_;
};

TEST_F(DateFormatSlotTest, RestorationGivesBackThePatternCharacterForCharacter) {
  SetShortDateFormat("d/M/yy");
  NormalizeDateFormat();
  EXPECT_EQ(ShortDateFormat(), "dd/MM/yyyy");
  EXPECT_EQ(ComponentDateFormatSlot().SavedDateFormat(), "d/M/yy");
  RestoreDateFormat();
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  EXPECT_FALSE(ComponentDateFormatSlot().IsNormalized());
}

TEST_F(DateFormatSlotTest, NestedNormalisationKeepsTheMachinePattern) {
  SetShortDateFormat("M/d/yy");
  DateFormatSlot slot;
  slot.Normalize();
  slot.Normalize();
  EXPECT_EQ(slot.SavedDateFormat(), "M/d/yy");
  slot.Restore();
  EXPECT_EQ(ShortDateFormat(), "MM/dd/yyyy") << "inner restoration ended the outer one early";
  slot.Restore();
  EXPECT_EQ(ShortDateFormat(), "M/d/yy");
}

TEST_F(DateFormatSlotTest, RestorationWithoutNormalisationChangesNothing) {
  SetShortDateFormat("d/M/yy");
  DateFormatSlot slot;
  slot.Restore();
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  slot.Normalize();
  slot.Restore();
  slot.Restore();
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
}

TEST_F(DateFormatSlotTest, SlotsAreIndependent) {
  SetShortDateFormat("d.M.yy");
  DateFormatSlot window_slot;
  window_slot.Normalize();
  {
    ScopedNormalizedDateFormat component;  // the component's slot
    EXPECT_EQ(ShortDateFormat(), "dd.MM.yyyy");
  }
  EXPECT_EQ(ShortDateFormat(), "dd.MM.yyyy");
  window_slot.Restore();
  EXPECT_EQ(ShortDateFormat(), "d.M.yy");
}

TEST_F(DateFormatSlotTest, GuardRestoresWhenTheOperationThrows) {
  SetShortDateFormat("d/M/yy");
  EXPECT_THROW(
      {
        ScopedNormalizedDateFormat normalized;
        EXPECT_EQ(ShortDateFormat(), "dd/MM/yyyy");
        throw std::runtime_error("database error");
      },
      std::runtime_error);
  EXPECT_EQ(ShortDateFormat(), "d/M/yy");
  EXPECT_FALSE(ComponentDateFormatSlot().IsNormalized());
}

TEST_F(DateFormatSlotTest, StoredDateTextOfSeventhOfDecember) {
  SetShortDateFormat("d/m/y");
  ClockOverride clock(EncodeDateTime(2026, 12, 7, 14, 0, 0));
  ScopedNormalizedDateFormat normalized;
  const std::string text = DateToStr(Date());
  EXPECT_EQ(text, "07/12/2026");
  EXPECT_EQ(StrToDate(text), EncodeDate(2026, 12, 7));
}

// Machine patterns in each element order and separator, written and read
// back under their widened form.
TEST_F(DateFormatSlotTest, NormalisedTextReadsBackForEveryOrder) {
  const TDateTime dates[] = {EncodeDate(2026, 12, 7), EncodeDate(2031, 1, 9),
                             EncodeDate(1987, 2, 28)};
  for (const char* machine : {"d/M/yy", "M/d/yy", "yy/M/d", "d.M.yy", "M.d.yy", "yy.M.d",
                              "d-M-yy", "M-d-yy", "yy-M-d"}) {
    SetShortDateFormat(machine);
    ScopedNormalizedDateFormat normalized;
    for (TDateTime date : dates) {
      const std::string text = DateToStr(date);
      EXPECT_EQ(text.size(), 10u) << machine << " " << text;
      EXPECT_EQ(StrToDate(text), date) << machine << " " << text;
    }
  }
}

// Date and time formats of real machines, as the C library (glibc 2.36)
// gives them for LC_TIME: every date text has 10 characters, every time
// stamp 19 (two-digit 24-hour time), and both read back; the machine's
// patterns come back afterwards.
TEST_F(DateFormatSlotTest, RealLocalesGiveTenCharacterDatesAndNineteenCharacterStamps) {
  struct Machine {
    const char* locale;
    const char* d_fmt;
    const char* t_fmt;
    const char* stored;  // 7 December 2026 as stored
  };
  const Machine machines[] = {
      {"en_US", "%m/%d/%Y", "%r", "12/07/2026"},
      {"de_DE", "%d.%m.%Y", "%T", "07.12.2026"},
      {"fr_CA", "%Y-%m-%d", "%T", "2026-12-07"},
      {"hu_HU", "%Y-%m-%d", "%H:%M:%S", "2026-12-07"},
      {"hu_HU of older C libraries", "%Y. %m. %d.", "%H:%M:%S", "2026.12.07"},
      {"ja_JP", "%Y年%m月%d日", "%H時%M分%S秒", "2026年12年07"},
      {"pt_BR", "%d/%m/%Y", "%T", "07/12/2026"},
      {"ko_KR", "%Y년 %m월 %d일", "%H시 %M분 %S초", "2026년12년07"},
      {"cs_CZ", "%-d.%-m.%Y", "%H:%M:%S", "07.12.2026"},
      {"en_GB", "%d/%m/%y", "%T", "07/12/2026"},
      {"bg_BG", "%e.%m.%Y", "%k:%M:%S", "07.12.2026"},
  };
  const TDateTime afternoon = EncodeDateTime(2026, 12, 7, 14, 5, 7);
  const TDateTime midnight = EncodeDate(2031, 1, 9);
  for (const Machine& machine : machines) {
    SCOPED_TRACE(machine.locale);
    const std::string datePattern = DatePatternFromStrftime(machine.d_fmt);
    const std::string timePattern = TimePatternFromStrftime(machine.t_fmt);
    ASSERT_FALSE(datePattern.empty());
    ASSERT_FALSE(timePattern.empty());
    SetShortDateFormat(datePattern);
    SetLongTimeFormat(timePattern);
    {
      ScopedNormalizedDateFormat normalized;
      EXPECT_EQ(DateToStr(afternoon), machine.stored);
      EXPECT_EQ(Utf8Length(DateToStr(midnight)), 10u) << DateToStr(midnight);
      EXPECT_EQ(StrToDate(DateToStr(midnight)), midnight);

      const std::string stamp = DateTimeToStr(afternoon);
      EXPECT_EQ(stamp, std::string(machine.stored) + " 14:05:07");
      EXPECT_EQ(Utf8Length(stamp), 19u);
      EXPECT_EQ(StrToDateTime(stamp), afternoon);
      EXPECT_EQ(StrToDateTime(DateTimeToStr(midnight)), midnight);  // the time is left out
    }
    EXPECT_EQ(ShortDateFormat(), datePattern);
    EXPECT_EQ(LongTimeFormat(), timePattern);
  }
}

}  // namespace
}  // namespace qv

#include "component/date_format.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/sys/date_text.h"

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

class DateFormatSlotTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = ShortDateFormat(); }
  void TearDown() override { SetShortDateFormat(saved_); }

 private:
  std::string saved_;
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

}  // namespace
}  // namespace qv

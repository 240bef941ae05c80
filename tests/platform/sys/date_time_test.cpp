#include "qvd3/platform/sys/date_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <memory>

#include "qvd3/platform/sys/exception.h"

namespace qv {
namespace {

TEST(DateTimeTest, DayNumbersStartAtYearOneAndZeroDateIsEarliest) {
  EXPECT_EQ(EncodeDate(1, 1, 1).Value(), 1.0);
  // 1969 years of 365 days plus 477 leap days before 1970, counted from day 1.
  EXPECT_EQ(EncodeDate(1970, 1, 1).Value(), 719163.0);
  EXPECT_TRUE(TDateTime().IsZero());
  EXPECT_LT(TDateTime(), EncodeDate(1, 1, 1));
  EXPECT_LT(TDateTime(), EncodeDate(2026, 12, 7));
}

// Walks every day from 1599 to 2401 and checks that consecutive day numbers
// decode to consecutive calendar days, so month ends, leap years and the
// century rules all line up.
TEST(DateTimeTest, ConsecutiveDaysDecodeToConsecutiveCalendarDates) {
  TDateParts previous = DecodeDate(EncodeDate(1599, 12, 31));
  EXPECT_EQ(previous, (TDateParts{1599, 12, 31}));
  const double last = EncodeDate(2401, 1, 1).Value();
  for (double day = EncodeDate(1600, 1, 1).Value(); day <= last; ++day) {
    const TDateParts parts = DecodeDate(TDateTime(day));
    if (parts.day == 1) {
      EXPECT_EQ(previous.day, DaysInMonth(previous.year, previous.month));
      if (parts.month == 1) {
        EXPECT_EQ(previous.month, 12);
        EXPECT_EQ(parts.year, previous.year + 1);
      } else {
        EXPECT_EQ(parts.month, previous.month + 1);
        EXPECT_EQ(parts.year, previous.year);
      }
    } else {
      ASSERT_EQ(parts.day, previous.day + 1) << day;
      EXPECT_EQ(parts.month, previous.month);
    }
    ASSERT_EQ(EncodeDate(parts.year, parts.month, parts.day).Value(), day);
    previous = parts;
  }
}

TEST(DateTimeTest, LeapYearsFollowTheGregorianRules) {
  EXPECT_TRUE(IsLeapYear(2024));
  EXPECT_TRUE(IsLeapYear(2000));
  EXPECT_FALSE(IsLeapYear(1900));
  EXPECT_FALSE(IsLeapYear(2026));
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2026, 2), 28);
  EXPECT_EQ(DaysInMonth(2026, 13), 0);
}

TEST(DateTimeTest, InvalidDatesRaiseConvertError) {
  EXPECT_THROW(EncodeDate(2026, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2026, 4, 31), EConvertError);
  EXPECT_THROW(EncodeDate(2026, 0, 1), EConvertError);
  EXPECT_THROW(EncodeDate(2026, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(2026, 1, 0), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeDate(10000, 1, 1), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
  EXPECT_NO_THROW(EncodeDate(9999, 12, 31));
  TDateTime untouched = EncodeDate(2026, 1, 1);
  EXPECT_FALSE(TryEncodeDate(2026, 2, 30, untouched));
  EXPECT_EQ(untouched, EncodeDate(2026, 1, 1));
}

TEST(DateTimeTest, AddingDaysCrossesMonthsAndYears) {
  EXPECT_EQ(EncodeDate(2026, 12, 25) + 10, EncodeDate(2027, 1, 4));
  EXPECT_EQ(EncodeDate(2024, 2, 28) + 1, EncodeDate(2024, 2, 29));
  EXPECT_EQ(EncodeDate(2026, 3, 1) - 1, EncodeDate(2026, 2, 28));
  EXPECT_EQ(EncodeDate(2027, 1, 4) - EncodeDate(2026, 12, 25), 10.0);
  EXPECT_GE(EncodeDate(2026, 12, 7), EncodeDate(2026, 12, 7));
  EXPECT_LT(EncodeDateTime(2026, 12, 6, 23, 59, 59), EncodeDate(2026, 12, 7));
}

TEST(DateTimeTest, TimesEncodeAsFractionsAndDecodeBack) {
  EXPECT_EQ(EncodeTime(12, 0, 0).Value(), 0.5);
  EXPECT_EQ(DecodeTime(EncodeTime(23, 59, 59, 999)), (TTimeParts{23, 59, 59, 999}));
  const TDateTime moment = EncodeDateTime(2026, 12, 7, 10, 11, 12, 13);
  EXPECT_EQ(DecodeDate(moment), (TDateParts{2026, 12, 7}));
  EXPECT_EQ(DecodeTime(moment), (TTimeParts{10, 11, 12, 13}));
  EXPECT_EQ(moment.DateOnly(), EncodeDate(2026, 12, 7));
  EXPECT_NEAR(moment.TimeOfDay(), EncodeTime(10, 11, 12, 13).Value(), 1e-9);
  int h = 0, n = 0, s = 0, ms = 0;
  DecodeTime(moment, h, n, s, ms);
  EXPECT_EQ(h * 10000 + n * 100 + s, 101112);

  EXPECT_THROW(EncodeTime(24, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 60), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  EXPECT_THROW(EncodeTime(-1, 0, 0), EConvertError);
}

// A moment less than half a millisecond before midnight rounds to the next
// day; the date and the time must agree on that, never giving 24:00:00.
TEST(DateTimeTest, DecodingRoundsToTheMillisecondConsistently) {
  const TDateTime almost_midnight(EncodeDate(2026, 12, 7).Value() + (86'400'000 - 0.4) / 86'400'000);
  EXPECT_EQ(DecodeDate(almost_midnight), (TDateParts{2026, 12, 8}));
  EXPECT_EQ(DecodeTime(almost_midnight), (TTimeParts{0, 0, 0, 0}));
  EXPECT_EQ(almost_midnight.DateOnly(), EncodeDate(2026, 12, 8));
  EXPECT_EQ(almost_midnight.TimeOfDay(), 0.0);
}

TEST(ClockOverrideTest, FixesNowAndTodayAndRestoresTheRealClock) {
  const TDateTime fixed = EncodeDateTime(2026, 12, 7, 15, 30, 0);
  {
    ClockOverride clock(fixed);
    EXPECT_EQ(Now(), fixed);
    EXPECT_EQ(Date(), EncodeDate(2026, 12, 7));
    clock.Advance(1.5);
    EXPECT_EQ(Date(), EncodeDate(2026, 12, 9));
    {
      ClockOverride inner(EncodeDate(2000, 1, 1));
      EXPECT_EQ(Date(), EncodeDate(2000, 1, 1));
    }
    EXPECT_EQ(Now(), fixed + 1.5);
    clock.Set(EncodeDate(2030, 6, 1));
    EXPECT_EQ(Now(), EncodeDate(2030, 6, 1));
  }
  // The real clock again: within a minute of the system time.
  const std::time_t seconds = std::time(nullptr);
  std::tm local{};
  localtime_r(&seconds, &local);
  const TDateTime expected = EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                            local.tm_hour, local.tm_min, local.tm_sec);
  EXPECT_NEAR(Now() - expected, 0.0, 1.0 / 1440);
}

TEST(ClockOverrideTest, FunctionClockIsAskedOnEveryRead) {
  double ticks = 0;
  ClockOverride clock([&ticks] { return EncodeDate(2026, 1, 1) + (ticks += 1.0 / 86400); });
  const TDateTime first = Now();
  const TDateTime second = Now();
  EXPECT_NEAR(second - first, 1.0 / 86400, 1e-9);
}

TEST(ClockOverrideTest, OverridesEndingOutOfOrderUnlinkOnlyThemselves) {
  auto outer = std::make_unique<ClockOverride>(EncodeDate(2001, 1, 1));
  {
    ClockOverride middle(EncodeDate(2002, 1, 1));
    auto inner = std::make_unique<ClockOverride>(EncodeDate(2003, 1, 1));
    outer.reset();
    EXPECT_EQ(Date(), EncodeDate(2003, 1, 1));
    inner.reset();
    EXPECT_EQ(Date(), EncodeDate(2002, 1, 1));
  }
  EXPECT_GT(Date(), EncodeDate(2020, 1, 1));  // the real clock
}

}  // namespace
}  // namespace qv

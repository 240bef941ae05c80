#include "qvd3/platform/sys/date_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "qvd3/platform/sys/exception.h"

namespace qv {
namespace {

// Keeps the process-wide patterns and the clock as each test found them.
class DateTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_date_ = ShortDateFormat();
    saved_time_ = LongTimeFormat();
    SetShortDateFormat("dd/mm/yyyy");
    SetLongTimeFormat("hh:nn:ss");
  }
  void TearDown() override {
    SetShortDateFormat(saved_date_);
    SetLongTimeFormat(saved_time_);
  }

  ClockOverride clock_{EncodeDateTime(2026, 6, 15, 9, 0, 0)};

 private:
  std::string saved_date_;
  std::string saved_time_;
};

const TDateTime kDecember7 = EncodeDate(2026, 12, 7);

std::string ConvertErrorOf(std::string_view text) {
  try {
    StrToDate(text);
  } catch (const EConvertError& error) {
    return error.what();
  }
  return "no error";
}

TEST_F(DateTextTest, DatesPrintUnderTheShortDatePattern) {
  EXPECT_EQ(DateToStr(kDecember7), "07/12/2026");
  SetShortDateFormat("d/m/yy");
  EXPECT_EQ(DateToStr(kDecember7), "7/12/26");
  SetShortDateFormat("M/d/yyyy");
  EXPECT_EQ(DateToStr(kDecember7), "12/7/2026");
  SetShortDateFormat("yyyy-MM-dd");
  EXPECT_EQ(DateToStr(kDecember7), "2026-12-07");
  SetShortDateFormat("DD.MM.YYYY");
  EXPECT_EQ(DateToStr(EncodeDate(2026, 1, 5)), "05.01.2026");
  SetShortDateFormat("yyyy. mm. dd.");
  EXPECT_EQ(DateToStr(kDecember7), "2026. 12. 07.");
  SetShortDateFormat("dd/mm/yy");
  EXPECT_EQ(DateToStr(EncodeDate(2005, 3, 4)), "04/03/05");
  SetShortDateFormat("dd/mm/yyyy");
  EXPECT_EQ(DateToStr(EncodeDate(33, 3, 4)), "04/03/0033");
}

TEST_F(DateTextTest, SeparatorsComeFromThePatterns) {
  EXPECT_EQ(DateSeparator(), "/");
  SetShortDateFormat("yyyy. mm. dd.");
  EXPECT_EQ(DateSeparator(), ". ");
  SetShortDateFormat("yyyymmdd");
  EXPECT_EQ(DateSeparator(), "");
  EXPECT_EQ(TimeSeparator(), ":");
  SetLongTimeFormat("hh.nn.ss");
  EXPECT_EQ(TimeSeparator(), ".");
}

TEST_F(DateTextTest, DateTimeLeavesOutTheTimeAtExactlyMidnight) {
  EXPECT_EQ(DateTimeToStr(kDecember7), "07/12/2026");
  const std::string stamp = DateTimeToStr(EncodeDateTime(2026, 12, 7, 9, 5, 3));
  EXPECT_EQ(stamp, "07/12/2026 09:05:03");
  EXPECT_EQ(stamp.size(), 19u);
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2026, 12, 7, 0, 0, 0, 1)), "07/12/2026 00:00:00");
  SetLongTimeFormat("hh:mm:ss");  // "m" after the hour means minutes
  EXPECT_EQ(DateTimeToStr(EncodeDateTime(2026, 12, 7, 23, 59, 58)), "07/12/2026 23:59:58");
}

TEST_F(DateTextTest, TimesPrintUnderTheLongTimePattern) {
  SetLongTimeFormat("h:nn:ss AM/PM");
  EXPECT_EQ(TimeToStr(EncodeTime(0, 5, 0)), "12:05:00 AM");
  EXPECT_EQ(TimeToStr(EncodeTime(12, 0, 0)), "12:00:00 PM");
  EXPECT_EQ(TimeToStr(EncodeTime(13, 7, 9)), "1:07:09 PM");
  SetLongTimeFormat("hh:nn am/pm");
  EXPECT_EQ(TimeToStr(EncodeTime(23, 7, 9)), "11:07 pm");
  SetLongTimeFormat("hh:nn:ss.zzz");
  EXPECT_EQ(TimeToStr(EncodeTime(8, 9, 10, 42)), "08:09:10.042");
}

// Writes and reads back a spread of dates under each order and separator
// once the pattern is in its widened, stored form.
TEST_F(DateTextTest, DatesReadBackUnderEveryOrderAndSeparator) {
  const TDateTime dates[] = {EncodeDate(2026, 12, 7), EncodeDate(2024, 2, 29),
                             EncodeDate(1999, 1, 1),  EncodeDate(2026, 10, 31),
                             EncodeDate(1, 1, 1),     EncodeDate(9999, 12, 31)};
  for (const char* order : {"dd?mm?yyyy", "mm?dd?yyyy", "yyyy?mm?dd"}) {
    for (char separator : {'/', '.', '-'}) {
      std::string pattern = order;
      for (char& c : pattern) {
        if (c == '?') c = separator;
      }
      SetShortDateFormat(pattern);
      for (TDateTime date : dates) {
        const std::string text = DateToStr(date);
        EXPECT_EQ(text.size(), 10u) << pattern << " " << text;
        EXPECT_EQ(StrToDate(text), date) << pattern << " " << text;
      }
    }
  }
}

TEST_F(DateTextTest, ReadingAcceptsShortDayMonthAndYear) {
  EXPECT_EQ(StrToDate("7/1/2026"), EncodeDate(2026, 1, 7));
  EXPECT_EQ(StrToDate(" 07/12/2026 "), kDecember7);
  // Two-digit years: within a window reaching 50 years ahead of 2026.
  EXPECT_EQ(StrToDate("07/12/26"), kDecember7);
  EXPECT_EQ(StrToDate("1/1/76"), EncodeDate(2076, 1, 1));
  EXPECT_EQ(StrToDate("1/1/77"), EncodeDate(1977, 1, 1));
  EXPECT_EQ(StrToDate("1/1/0"), EncodeDate(2000, 1, 1));
  EXPECT_EQ(StrToDate("1/1/0076"), EncodeDate(76, 1, 1));
  SetShortDateFormat("m/d/yy");
  EXPECT_EQ(StrToDate("12/7/2026"), kDecember7);
  SetShortDateFormat("yyyymmdd");
  EXPECT_EQ(StrToDate("20261207"), kDecember7);
  SetShortDateFormat("yyyy. mm. dd.");
  EXPECT_EQ(StrToDate("2026. 12. 07."), kDecember7);
  EXPECT_EQ(StrToDate("2026. 12. 7"), kDecember7);
}

TEST_F(DateTextTest, TwoDigitYearWindowFollowsToday) {
  ClockOverride later(EncodeDate(2080, 1, 1));
  EXPECT_EQ(StrToDate("1/1/10"), EncodeDate(2110, 1, 1));
  EXPECT_EQ(StrToDate("1/1/31"), EncodeDate(2031, 1, 1));
  EXPECT_EQ(StrToDate("1/1/30"), EncodeDate(2130, 1, 1));
}

TEST_F(DateTextTest, TextsThatAreNotDatesRaiseConvertErrorQuotingThem) {
  EXPECT_EQ(ConvertErrorOf("31/02/2026"), "'31/02/2026' is not a valid date");
  EXPECT_EQ(ConvertErrorOf(""), "'' is not a valid date");
  for (const char* bad : {"abc", "07-12-2026", "07/12/2026x", "123/12/2026", "07/12/20261",
                          "07/12", "07//2026", "00/12/2026", "07/13/2026", "/12/2026",
                          "07 /12/2026", "+7/12/2026"}) {
    EXPECT_THROW(StrToDate(bad), EConvertError) << bad;
    EXPECT_FALSE(TryStrToDate(bad).has_value()) << bad;
  }
  SetShortDateFormat("mm/dd/yyyy");
  EXPECT_EQ(ConvertErrorOf("31/12/2026"), "'31/12/2026' is not a valid date");
}

TEST_F(DateTextTest, DateTimesReadBackWhatIsWritten) {
  const TDateTime stamp = EncodeDateTime(2026, 12, 7, 9, 5, 3);
  EXPECT_EQ(StrToDateTime(DateTimeToStr(stamp)), stamp);
  EXPECT_EQ(StrToDateTime(DateTimeToStr(kDecember7)), kDecember7);
  EXPECT_EQ(StrToDateTime("07/12/2026 9:05"), EncodeDateTime(2026, 12, 7, 9, 5, 0));
  EXPECT_EQ(StrToDateTime("07/12/2026 1:05:03 PM"), EncodeDateTime(2026, 12, 7, 13, 5, 3));
  for (const char* bad : {"07/12/2026 25:00:00", "07/12/2026 10:60", "07/12/202610:00",
                          "07/12/2026 10:00:00 x", "07/12/2026 13:00 PM", "10:00:00"}) {
    EXPECT_FALSE(TryStrToDateTime(bad).has_value()) << bad;
  }
  try {
    StrToDateTime("07/12/2026 25:00:00");
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_STREQ(error.what(), "'07/12/2026 25:00:00' is not a valid date and time");
  }
}

TEST_F(DateTextTest, TimesReadWithOptionalPartsAndHalfOfDay) {
  EXPECT_EQ(StrToTime("10:11"), EncodeTime(10, 11, 0));
  EXPECT_EQ(StrToTime("10:11:12.5"), EncodeTime(10, 11, 12, 500));
  EXPECT_EQ(StrToTime("12:30 am"), EncodeTime(0, 30, 0));
  EXPECT_EQ(StrToTime("12:30 PM"), EncodeTime(12, 30, 0));
  SetLongTimeFormat("hh.nn.ss");
  EXPECT_EQ(StrToTime("10.11.12"), EncodeTime(10, 11, 12));
  EXPECT_THROW(StrToTime("10:11"), EConvertError);
  EXPECT_THROW(StrToTime("0 AM"), EConvertError);
}

TEST(DatePatternConversionTest, CLibraryFormatsBecomePatterns) {
  EXPECT_EQ(DatePatternFromStrftime("%m/%d/%y"), "mm/dd/yy");
  EXPECT_EQ(DatePatternFromStrftime("%d.%m.%Y"), "dd.mm.yyyy");
  EXPECT_EQ(DatePatternFromStrftime("%e/%m/%Y"), "d/mm/yyyy");
  EXPECT_EQ(DatePatternFromStrftime("%D"), "mm/dd/yy");
  EXPECT_EQ(DatePatternFromStrftime("%F"), "yyyy-mm-dd");
  EXPECT_EQ(DatePatternFromStrftime("%Y. %m. %d."), "yyyy. mm. dd.");
  // GNU padding flags, as cs_CZ and bg_BG use them.
  EXPECT_EQ(DatePatternFromStrftime("%-d.%-m.%Y"), "d.m.yyyy");
  EXPECT_EQ(DatePatternFromStrftime("%0e.%_m.%Y"), "dd.m.yyyy");
  // Names, eras and literal letters have no pattern equivalent.
  EXPECT_EQ(DatePatternFromStrftime("%a %d %b %Y"), "");
  EXPECT_EQ(DatePatternFromStrftime("%Ey"), "");
  EXPECT_EQ(DatePatternFromStrftime("%d de %m"), "");
  EXPECT_EQ(DatePatternFromStrftime("%d/%m/%"), "");

  EXPECT_EQ(TimePatternFromStrftime("%H:%M:%S"), "hh:nn:ss");
  EXPECT_EQ(TimePatternFromStrftime("%T"), "hh:nn:ss");
  EXPECT_EQ(TimePatternFromStrftime("%r"), "hh:nn:ss AM/PM");
  EXPECT_EQ(TimePatternFromStrftime("%I:%M:%S %p"), "hh:nn:ss AM/PM");
  EXPECT_EQ(TimePatternFromStrftime("%l:%M:%S %P"), "h:nn:ss am/pm");
  EXPECT_EQ(TimePatternFromStrftime("%-H.%M"), "h.nn");
  EXPECT_EQ(TimePatternFromStrftime("%Hh%M"), "");
}

// Sets the locale environment for one test and puts it back afterwards.
class RegionalSettingsTest : public DateTextTest {
 protected:
  void SetUp() override {
    DateTextTest::SetUp();
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
      const char* value = std::getenv(name);
      saved_env_.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_env_) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    DateTextTest::TearDown();
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_env_;
};

TEST_F(RegionalSettingsTest, PatternsComeFromLcTime) {
  setenv("LC_TIME", "C.UTF-8", 1);
  SetShortDateFormat("changed");
  LoadRegionalDateFormats();
  EXPECT_EQ(ShortDateFormat(), "mm/dd/yy");
  EXPECT_EQ(LongTimeFormat(), "hh:nn:ss");
  EXPECT_EQ(DateToStr(kDecember7), "12/07/26");
}

TEST_F(RegionalSettingsTest, UnknownLocaleFallsBackToDayMonthYear) {
  setenv("LC_TIME", "xx_NOWHERE.UTF-8", 1);
  SetShortDateFormat("changed");
  SetLongTimeFormat("changed");
  LoadRegionalDateFormats();
  EXPECT_EQ(ShortDateFormat(), "dd/mm/yyyy");
  EXPECT_EQ(LongTimeFormat(), "hh:nn:ss");
}

}  // namespace
}  // namespace qv

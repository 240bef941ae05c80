#include "qvd3/platform/sys/date_time.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "qvd3/platform/sys/exception.h"

namespace qv {
namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;

// Day number of a proleptic Gregorian date, day 1 being 0001-01-01
// (the days-from-civil algorithm, shifted to that origin).
std::int64_t DayNumber(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const std::int64_t days_from_1970 = era * 146097 + doe - 719468;
  return days_from_1970 + 719163;  // 1970-01-01 is day 719163
}

TDateParts CivilFromDayNumber(std::int64_t number) {
  const std::int64_t z = number - 719163 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return {year, month, day};
}

// A value rounded to the millisecond and split into its day number and the
// milliseconds into that day. Date and time decoding share it so that they
// always agree on which day a moment belongs to.
struct SplitValue {
  std::int64_t day;
  std::int64_t ms;
};

SplitValue Split(TDateTime value) {
  const auto total = static_cast<std::int64_t>(std::llround(value.Value() * kMsPerDay));
  std::int64_t day = total / kMsPerDay;
  std::int64_t ms = total % kMsPerDay;
  if (ms < 0) {
    ms += kMsPerDay;
    --day;
  }
  return {day, ms};
}

ClockOverride* active_clock = nullptr;

TDateTime RealNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms));
}

}  // namespace

TDateTime TDateTime::DateOnly() const { return TDateTime(static_cast<double>(Split(*this).day)); }

double TDateTime::TimeOfDay() const {
  return static_cast<double>(Split(*this).ms) / kMsPerDay;
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
  if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) return false;
  result = TDateTime(static_cast<double>(DayNumber(year, month, day)));
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime result;
  if (!TryEncodeDate(year, month, day, result)) {
    throw EConvertError("Invalid argument to date encode");
  }
  return result;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    return false;
  }
  const std::int64_t ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
  result = TDateTime(static_cast<double>(ms) / kMsPerDay);
  return true;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  TDateTime result;
  if (!TryEncodeTime(hour, minute, second, millisecond, result)) {
    throw EConvertError("Invalid argument to time encode");
  }
  return result;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, millisecond).Value();
}

TDateParts DecodeDate(TDateTime value) { return CivilFromDayNumber(Split(value).day); }

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  const TDateParts parts = DecodeDate(value);
  year = parts.year;
  month = parts.month;
  day = parts.day;
}

TTimeParts DecodeTime(TDateTime value) {
  std::int64_t ms = Split(value).ms;
  TTimeParts parts;
  parts.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  parts.second = static_cast<int>(ms % 60);
  ms /= 60;
  parts.minute = static_cast<int>(ms % 60);
  parts.hour = static_cast<int>(ms / 60);
  return parts;
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
  const TTimeParts parts = DecodeTime(value);
  hour = parts.hour;
  minute = parts.minute;
  second = parts.second;
  millisecond = parts.millisecond;
}

TDateTime Now() {
  if (active_clock != nullptr) return active_clock->now_() + active_clock->offset_;
  return RealNow();
}

TDateTime Date() { return Now().DateOnly(); }

ClockOverride::ClockOverride(TDateTime now)
    : now_([now] { return now; }), previous_(active_clock) {
  active_clock = this;
}

ClockOverride::ClockOverride(std::function<TDateTime()> now)
    : now_(std::move(now)), previous_(active_clock) {
  active_clock = this;
}

// Overrides are expected to end in the reverse order of their creation, as
// scoped objects do; one ending out of order still unlinks only itself.
ClockOverride::~ClockOverride() {
  if (active_clock == this) {
    active_clock = previous_;
    return;
  }
  for (ClockOverride* clock = active_clock; clock != nullptr; clock = clock->previous_) {
    if (clock->previous_ == this) {
      clock->previous_ = previous_;
      return;
    }
  }
}

void ClockOverride::Set(TDateTime now) {
  now_ = [now] { return now; };
  offset_ = 0.0;
}

void ClockOverride::Advance(double days) { offset_ += days; }

}  // namespace qv

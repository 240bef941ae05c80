// Dates and times as one number: the whole part counts days, the fraction is
// the time of day (0.5 is noon). Day 1 is 1 January of year 1 in the
// proleptic Gregorian calendar, so every real date is positive and the zero
// value, the "zero date", is earlier than any real date. Adding N days is
// adding N; two dates without time compare as whole days.
//
// Date() and Now() read the local wall clock, which tests replace with a
// ClockOverride.
#pragma once

#include <compare>
#include <functional>

namespace qv {

class TDateTime {
 public:
  // The zero date.
  constexpr TDateTime() = default;
  constexpr explicit TDateTime(double value) : value_(value) {}

  constexpr double Value() const { return value_; }
  constexpr bool IsZero() const { return value_ == 0.0; }

  // The date without its time of day (the start of the day).
  TDateTime DateOnly() const;
  // The time of day alone, as a fraction of a day in [0, 1).
  double TimeOfDay() const;

  constexpr TDateTime& operator+=(double days) { value_ += days; return *this; }
  constexpr TDateTime& operator-=(double days) { value_ -= days; return *this; }
  friend constexpr TDateTime operator+(TDateTime t, double days) { return t += days; }
  friend constexpr TDateTime operator-(TDateTime t, double days) { return t -= days; }
  // The distance between two moments, in days.
  friend constexpr double operator-(TDateTime a, TDateTime b) { return a.value_ - b.value_; }

  friend constexpr bool operator==(TDateTime a, TDateTime b) = default;
  friend constexpr auto operator<=>(TDateTime a, TDateTime b) = default;

 private:
  double value_ = 0.0;
};

struct TDateParts {
  int year = 0;
  int month = 0;
  int day = 0;
  friend bool operator==(const TDateParts&, const TDateParts&) = default;
};

struct TTimeParts {
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  friend bool operator==(const TTimeParts&, const TTimeParts&) = default;
};

bool IsLeapYear(int year);
// Days in the given month (1..12) of the given year; 0 for an invalid month.
int DaysInMonth(int year, int month);

// The date at midnight. Years 1 to 9999; an invalid year, month or day
// raises EConvertError.
TDateTime EncodeDate(int year, int month, int day);
// As EncodeDate, but reports an invalid date by returning false.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);

// A time of day as a fraction (hour 0..23, minute and second 0..59,
// millisecond 0..999); anything else raises EConvertError.
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);

// EncodeDate plus EncodeTime.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute,
                         int second, int millisecond = 0);

// The calendar date and time of day of a value. Both round the value to the
// nearest millisecond first, so a moment a hair before midnight decodes as
// the following day at 00:00:00.000 in both. Values below day 1 decode by the
// same arithmetic (the zero date is 31 December of year 0).
TDateParts DecodeDate(TDateTime value);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
TTimeParts DecodeTime(TDateTime value);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Today at midnight, and the current local date and time (to the
// millisecond), from the real clock or the innermost ClockOverride.
TDateTime Date();
TDateTime Now();

// Replaces the clock behind Date() and Now() for as long as it lives, so
// tests can fix "today" and "now". Overrides nest; destroying one restores
// the clock that was in force when it was made. Not copyable.
class ClockOverride {
 public:
  // A clock standing still at `now` until Set or Advance moves it.
  explicit ClockOverride(TDateTime now);
  // A clock that asks `now` every time it is read.
  explicit ClockOverride(std::function<TDateTime()> now);
  ~ClockOverride();
  ClockOverride(const ClockOverride&) = delete;
  ClockOverride& operator=(const ClockOverride&) = delete;

  // Moves a standing clock to `now` (replacing any function clock).
  void Set(TDateTime now);
  // Moves the clock forward by `days` (negative goes back).
  void Advance(double days);

 private:
  std::function<TDateTime()> now_;
  double offset_ = 0.0;
  ClockOverride* previous_;
  friend TDateTime Now();
};

}  // namespace qv

// Date text normalisation. Dates in the security tables are stored as text
// under the process-wide short date pattern, normalised so that every date
// text has 10 characters: two-digit day and month, four-digit year, in the
// element order and with the separator the database records (see
// DatabaseDateFormat), or without a record in the machine's order with one
// separator character, the machine's (8 characters on the rare machine
// whose date elements touch). Time stamps add a blank and the time of day
// as two-digit 24-hour hh:nn:ss, 19 characters in all, whatever the
// machine's long time pattern. Each operation that converts dates for the
// tables runs between a normalisation and a restoration of the patterns.
#pragma once

#include <string>

namespace qv {

// The widened form of a short date pattern. Each step is a case-sensitive
// substring search over the result of the previous one, in this order:
//   year:  without "yyyy" and "YYYY": insert "yy" at the first "yy", else "YY"
//          at the first "YY", else "yyy" at a lone "y" (or "YYY" at a lone "Y")
//   day:   without "dd" and "DD": insert "d" at the first "d", else "D" at
//          the first "D"
//   month: without "mm" and "MM": insert "m" at the first "m", else "M" at
//          the first "M"
// So d/M/yy becomes dd/MM/yyyy and M/d/yy becomes MM/dd/yyyy.
std::string WidenDateFormat(std::string pattern);

// The stored form of a machine's short date pattern: the widened pattern
// (WidenDateFormat) reduced to its three elements in their order, joined by
// the first character of the literal between the first two elements. Literal
// text before the first or after the last element is dropped, and so is the
// rest of a longer separator: "yyyy. mm. dd." becomes "yyyy.mm.dd" and
// "yyyy年mm月dd日" becomes "yyyy年mm年dd", so every date text has 10
// characters and reads back under the same pattern. Elements that touch
// stay touching. A pattern that does not hold the day, the month and the
// year once each is only widened.
std::string NormalizedDateFormat(std::string pattern);

// The long time pattern in force while the patterns are normalised.
inline constexpr const char* kStoredTimeFormat = "hh:nn:ss";

// The date pattern the database in use records (qvd3/data/date_pattern.h). While
// it is set, every normalisation puts it in force instead of the machine's
// normalised pattern, so that clients whose machines order dates differently
// store and read the same texts. Empty when the database records none: the
// machine's pattern is normalised as before. Process-wide, like the patterns
// themselves; the component sets it when it opens the tables.
void SetDatabaseDateFormat(std::string pattern);
const std::string& DatabaseDateFormat();

// Sets the database's date pattern for its lifetime and puts the one before
// back afterwards, for code that works on a database without the component.
class ScopedDatabaseDateFormat {
 public:
  explicit ScopedDatabaseDateFormat(std::string pattern);
  ~ScopedDatabaseDateFormat();
  ScopedDatabaseDateFormat(const ScopedDatabaseDateFormat&) = delete;
  ScopedDatabaseDateFormat& operator=(const ScopedDatabaseDateFormat&) = delete;

 private:
  std::string saved_;
};

// One saved slot of the normalisation: the short date and long time
// patterns as they were before the first normalisation that is still in
// force. The component has one slot and the administration window its own,
// so their normalisations do not disturb each other.
//
// Normalisations through one slot may nest: only the outermost one saves the
// pattern, the inner ones widen the pattern in force, and only the matching
// outermost restoration puts the saved pattern back. So an operation that
// normalises inside another normalised one neither loses the machine's
// pattern nor ends the outer operation's widened pattern early. A
// restoration with no normalisation in force changes nothing.
class DateFormatSlot {
 public:
  DateFormatSlot() = default;
  DateFormatSlot(const DateFormatSlot&) = delete;
  DateFormatSlot& operator=(const DateFormatSlot&) = delete;

  // Saves ShortDateFormat and LongTimeFormat (outermost only), then puts
  // the database's date pattern (DatabaseDateFormat), or without one
  // NormalizedDateFormat of the date pattern, and kStoredTimeFormat in force.
  void Normalize();
  // Ends one normalisation; the outermost puts the saved patterns back.
  void Restore();

  bool IsNormalized() const { return depth_ > 0; }
  // The date pattern saved by the normalisation in force; empty when none.
  const std::string& SavedDateFormat() const { return saved_; }

 private:
  std::string saved_;
  std::string saved_time_;
  int depth_ = 0;
};

// The component's slot.
DateFormatSlot& ComponentDateFormatSlot();

// Normalise and restore through the component's slot.
void NormalizeDateFormat();
void RestoreDateFormat();

// Normalises in its constructor and restores in its destructor, so the
// pattern comes back also when the code in between raises an error.
class ScopedNormalizedDateFormat {
 public:
  explicit ScopedNormalizedDateFormat(DateFormatSlot& slot = ComponentDateFormatSlot());
  ~ScopedNormalizedDateFormat();
  ScopedNormalizedDateFormat(const ScopedNormalizedDateFormat&) = delete;
  ScopedNormalizedDateFormat& operator=(const ScopedNormalizedDateFormat&) = delete;

 private:
  DateFormatSlot& slot_;
};

// Today's date as the security tables store it: its text under the
// normalised form of the pattern in force (normalising through the
// component's slot for the moment it takes).
std::string TodayDateText();

}  // namespace qv

// Dates as text under the process-wide date and time patterns.
//
// The short date pattern (ShortDateFormat) is a string in which runs of "d",
// "m" and "y" (either letter case) stand for the day, the month and the year:
// a single letter prints the number without padding, a doubled letter two
// digits, "yyy" or longer four digits of the year ("y" and "yy" print two).
// Every other character is a literal separator printed as it stands. In a
// date pattern "m" is always the month.
//
// The long time pattern (LongTimeFormat) uses "h" hours, "n" minutes (also
// "m", which in a time pattern means minutes), "s" seconds, "z" milliseconds
// ("zzz" three digits); doubled letters pad to two digits. "AM/PM" or
// "am/pm" prints the half of the day and switches the hours to 12.
//
// Both patterns are read from the machine's regional settings (LC_TIME) the
// first time either is used, and may be replaced at any time; the change is
// seen by the whole process. Single-threaded use only, like the rest of the
// user-interface state.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "qvd3/platform/sys/date_time.h"

namespace qv {

std::string ShortDateFormat();
void SetShortDateFormat(std::string pattern);
std::string LongTimeFormat();
void SetLongTimeFormat(std::string pattern);

// The literal text between the first and the second element of the short
// date pattern ("/" for "dd/mm/yyyy", ". " for "yyyy. mm. dd."); empty when
// the elements touch.
std::string DateSeparator();
// The same for the long time pattern (":" for "hh:nn:ss").
std::string TimeSeparator();

// Re-reads both patterns from the machine's regional settings as the C
// library sees them for LC_TIME in the environment (LC_ALL, LC_TIME, LANG).
// A setting that cannot be read or converted leaves the fallback pattern
// "dd/mm/yyyy" or "hh:nn:ss". The process's own C locale is not changed.
void LoadRegionalDateFormats();

// Converts a C library date format (as nl_langinfo(D_FMT) gives it) into a
// short date pattern: %d -> dd, %e -> d, %m -> mm, %y -> yy, %Y -> yyyy,
// %D -> mm/dd/yy, %F -> yyyy-mm-dd. The GNU flags "-" and "_" make a number
// unpadded (%-d -> d, %-m -> m) and "0" padded (%0e -> dd). Returns an empty
// string when the format holds anything else that prints a value (a weekday,
// a month name, an era).
std::string DatePatternFromStrftime(std::string_view format);
// The same for a time format (T_FMT): %H -> hh, %k -> h, %I -> hh and %l -> h
// with AM/PM, %M -> nn, %S -> ss, %p -> AM/PM, %P -> am/pm, %T -> hh:nn:ss,
// %R -> hh:nn, %r -> hh:nn:ss AM/PM; the same flags.
std::string TimePatternFromStrftime(std::string_view format);

// The date under the short date pattern.
std::string DateToStr(TDateTime value);
// The time of day under the long time pattern.
std::string TimeToStr(TDateTime value);
// The date, a blank and the time; the time is left out when the value is
// exactly midnight (to the millisecond).
std::string DateTimeToStr(TDateTime value);

// Reads a date written in the element order and with the separators of the
// short date pattern. Day and month take one or two digits; a year of one or
// two digits is the year of that number nearest to today within a window
// reaching 50 years ahead (with today in 2026, "76" is 2076 and "77" 1977);
// three or four digits are the year as written. Blanks around the text are
// ignored; the text after the last element may omit the pattern's trailing
// literal. Anything else, or a date that does not exist, raises
// EConvertError "'<text>' is not a valid date".
TDateTime StrToDate(std::string_view text);
std::optional<TDateTime> TryStrToDate(std::string_view text);

// Reads a time of day: hours, then optionally minutes, seconds and
// milliseconds, separated by the time separator of the long time pattern
// (":" when it has none), with an optional AM/PM marker after a blank.
// Failure raises EConvertError "'<text>' is not a valid time".
TDateTime StrToTime(std::string_view text);
std::optional<TDateTime> TryStrToTime(std::string_view text);

// Reads what DateTimeToStr writes: a date, and optionally blanks and a time.
// Failure raises EConvertError "'<text>' is not a valid date and time".
TDateTime StrToDateTime(std::string_view text);
std::optional<TDateTime> TryStrToDateTime(std::string_view text);

}  // namespace qv

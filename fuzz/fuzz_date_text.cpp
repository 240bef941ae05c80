// The date text routines on any pattern and any text: reading never fails
// other than by EConvertError or an empty result, and under the patterns
// the system stores dates with, a date read back from the text it was
// written as is the same date.
//
// Input: one byte choosing the long time pattern, the short date pattern up
// to the first newline, then the text to read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/exception.h"

using namespace qv;

namespace {

constexpr const char* kTimePatterns[] = {"hh:nn:ss", "h:mm:ss AM/PM", "hh.nn", "hh:nn:ss.zzz"};
// Normalised patterns: two-digit day and month, four-digit year, one
// separator character.
constexpr const char* kStoredPatterns[] = {"dd/mm/yyyy", "mm/dd/yyyy", "yyyy-mm-dd", "dd.mm.yyyy",
                                           "yyyy.mm.dd"};

// Writing `value` under each stored pattern and reading it back gives the
// same day.
void CheckRoundTrip(TDateTime value) {
  const TDateTime day = value.DateOnly();
  TDateParts parts = DecodeDate(day);
  if (parts.year < 1000) return;  // four digits needed to read as written
  for (const char* pattern : kStoredPatterns) {
    SetShortDateFormat(pattern);
    const std::string text = DateToStr(day);
    if (text.size() != 10) std::abort();
    auto back = TryStrToDate(text);
    if (!back || *back != day) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t newline = input.find('\n');
  const std::string pattern(input.substr(0, newline == std::string_view::npos ? 0 : newline));
  const std::string_view text = newline == std::string_view::npos ? input : input.substr(newline + 1);

  DatePatternFromStrftime(input);
  TimePatternFromStrftime(input);

  SetLongTimeFormat(kTimePatterns[data[0] % 4]);
  SetShortDateFormat(pattern.empty() ? "dd/mm/yyyy" : pattern);
  DateSeparator();
  TimeSeparator();
  std::optional<TDateTime> date, time, moment;
  try {
    date = TryStrToDate(text);
    time = TryStrToTime(text);
    moment = TryStrToDateTime(text);
    if (date) DateToStr(*date), DateTimeToStr(*date);
    if (time) TimeToStr(*time);
    if (moment) DateTimeToStr(*moment);
  } catch (const EConvertError&) {
    // A pattern or text the routines refuse.
  }
  if (date) CheckRoundTrip(*date);
  if (moment) CheckRoundTrip(*moment);
  return 0;
}

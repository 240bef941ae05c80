#include "tools/qvsetup/command_dates.h"

#include <cstdio>

#include "qvd3/component/date_format.h"
#include "qvd3/data/date_pattern.h"
#include "qvd3/platform/sys/date_text.h"
#include "tools/qvsetup/command_errors.h"

namespace qv::setup {
namespace {

// The number of `count` digits at `at`, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

}  // namespace

std::string StoredDatePattern(const std::string& alias) {
  if (std::optional<std::string> recorded = ReadDatePattern(alias)) return *recorded;
  return NormalizedDateFormat(ShortDateFormat());
}

ScopedStoredDates::ScopedStoredDates(const std::string& alias)
    : database_(ReadDatePattern(alias).value_or("")), saved_date_(ShortDateFormat()), saved_time_(LongTimeFormat()) {
  SetShortDateFormat(StoredDatePattern(alias));
  SetLongTimeFormat(kStoredTimeFormat);
}

ScopedStoredDates::~ScopedStoredDates() {
  SetShortDateFormat(saved_date_);
  SetLongTimeFormat(saved_time_);
}

TDateTime ParseIsoDay(std::string_view text, std::string_view option) {
  TDateTime day;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
      !TryEncodeDate(Digits(text, 0, 4), Digits(text, 5, 2), Digits(text, 8, 2), day))
    throw CommandUsageError(std::string(option) + " takes a date as YYYY-MM-DD, not '" + std::string(text) + "'");
  return day;
}

std::string IsoDay(TDateTime day) {
  int year = 0, month = 0, dayOfMonth = 0;
  DecodeDate(day, year, month, dayOfMonth);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, dayOfMonth);
  return text;
}

std::string IsoStamp(TDateTime moment) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  DecodeDate(moment, year, month, day);
  DecodeTime(moment, hour, minute, second, millisecond);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", year, month, day, hour, minute, second);
  return text;
}

StoredStampReader::StoredStampReader() {
  const std::string pattern = ShortDateFormat();
  const std::size_t day = pattern.find("dd"), month = pattern.find("mm"), year = pattern.find("yyyy");
  const std::size_t dayUpper = pattern.find("DD"), monthUpper = pattern.find("MM"), yearUpper = pattern.find("YYYY");
  day_ = day != std::string::npos ? day : dayUpper;
  month_ = month != std::string::npos ? month : monthUpper;
  year_ = year != std::string::npos ? year : yearUpper;
  fixed_ = pattern.size() == 10 && day_ != std::string::npos && month_ != std::string::npos &&
           year_ != std::string::npos && LongTimeFormat() == kStoredTimeFormat;
}

std::optional<TDateTime> StoredStampReader::Read(std::string_view text) const {
  if (fixed_ && (text.size() == 10 || (text.size() == 19 && text[10] == ' ' && text[13] == ':' && text[16] == ':'))) {
    TDateTime date, time;
    if (TryEncodeDate(Digits(text, year_, 4), Digits(text, month_, 2), Digits(text, day_, 2), date)) {
      if (text.size() == 10) return date;
      if (TryEncodeTime(Digits(text, 11, 2), Digits(text, 14, 2), Digits(text, 17, 2), 0, time))
        return date + time.Value();
    }
  }
  return TryStrToDateTime(text);
}

}  // namespace qv::setup

// Dates on qvsetup's command line are ISO 8601 days (YYYY-MM-DD) and its
// exports write ISO 8601 stamps, while the security tables store dates as
// text in the database's date order. Every conversion between the two goes
// through here, so that the order a database records can take the place of
// the machine's in this one spot.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "qvd3/component/date_format.h"
#include "qvd3/platform/sys/date_time.h"

namespace qv::setup {

// The short date pattern the dates of the database of `alias` are stored
// under: the one the database records, else the normalised form of the
// machine's pattern.
std::string StoredDatePattern(const std::string& alias);

// Puts the stored date pattern of `alias` (and the stored time pattern) in
// force for its lifetime, as the database's pattern too, so that the data
// module and every conversion of a command read and write the database's
// date text.
class ScopedStoredDates {
 public:
  explicit ScopedStoredDates(const std::string& alias);
  ~ScopedStoredDates();
  ScopedStoredDates(const ScopedStoredDates&) = delete;
  ScopedStoredDates& operator=(const ScopedStoredDates&) = delete;

 private:
  ScopedDatabaseDateFormat database_;
  std::string saved_date_, saved_time_;
};

// A day given on the command line as YYYY-MM-DD: a real date of years 1 to
// 9999. Anything else raises CommandUsageError naming `option`.
TDateTime ParseIsoDay(std::string_view text, std::string_view option);

// The day as YYYY-MM-DD, and a moment as YYYY-MM-DDThh:mm:ss.
std::string IsoDay(TDateTime day);
std::string IsoStamp(TDateTime moment);

// Reads stored date texts and audit time stamps ("<date> hh:nn:ss", or the
// date alone for midnight) under the pattern in force when it was made.
// The fixed-width form the system writes is read directly; any other text
// goes through the general reader. Made once per command, used per row.
class StoredStampReader {
 public:
  StoredStampReader();
  std::optional<TDateTime> Read(std::string_view text) const;

 private:
  bool fixed_ = false;  // the pattern is ten characters with dd, mm, yyyy
  std::size_t day_ = 0, month_ = 0, year_ = 0;
};

}  // namespace qv::setup

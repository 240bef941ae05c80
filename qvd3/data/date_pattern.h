// The date pattern a security database records for the date texts of its
// tables, so that every client stores and reads them in one element order
// and with one separator, whatever its machine's regional settings.
//
// The pattern lives in a table of its own, QVDATEPATTERN, of one column
// DATE_PATTERN and one row. The eight security tables keep their layout, and
// programs that know nothing of the record ignore it. A database without the
// table, or with the table empty, records no pattern: each client then uses
// its machine's normalised pattern, as before the record existed.
//
// A recordable pattern is the stored form of a date: "dd", "mm" and "yyyy"
// once each, in any order, joined by one and the same separator character,
// so that every date text has 10 characters ("dd/mm/yyyy", "mm/dd/yyyy",
// "yyyy-mm-dd", "dd.mm.yyyy").
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr std::string_view kDatePatternTable = "QVDATEPATTERN";

// `pattern` in the canonical lower-case form in which it is recorded
// ("DD/MM/YYYY" gives "dd/mm/yyyy"). Raises qv::Exception saying what is
// wrong when it is not recordable: an element missing, repeated or of
// another width, separators that differ, or a separator that is a digit, a
// letter, a blank or a control character.
std::string CheckedDatePattern(std::string_view pattern);

// The pattern the database of `alias` records; nullopt when it records none.
// A record that is not a recordable pattern, or that holds more than one
// pattern, raises qv::Exception: guessing an order would misread dates.
std::optional<std::string> ReadDatePattern(const std::string& alias);

// Records `pattern` (checked first) for the database of `alias`, replacing
// the one recorded and creating the table when it is missing; in one
// transaction, or in the caller's when one is active.
void RecordDatePattern(const std::string& alias, std::string_view pattern);

// A column of the security tables that holds date texts.
struct DateColumn {
  std::string_view table;
  std::string_view column;
  bool stamp;  // a date and a time of day (AUDIT), else a date alone
};
// QUARVEL.LAST_PWD_CHANGE, USERINFO.EXPIRATION_DATE, HISTORY.CHANGE_DATE,
// AUDIT.START_SESSION and AUDIT.END_SESSION.
const std::vector<DateColumn>& StoredDateColumns();

// The stored date texts of one column that cannot be read under a pattern.
struct UnreadableDates {
  DateColumn where;
  long long count = 0;
  std::string first;  // the first such text met, to show what they look like
};

// For every column of StoredDateColumns, in that order, the texts that
// cannot be read under `pattern` (with the stored time of day for stamps).
// Empty and null values are no dates and are not counted. Every column is
// listed, with a count of 0 when all its dates read.
std::vector<UnreadableDates> FindUnreadableDates(const std::string& alias, std::string_view pattern);

// Rewrites every stored date text that can be read under `from` into its
// text under `to`: the same day, and for stamps the same time of day.
// Texts `from` cannot read are left as they are. In one transaction, or in
// the caller's when one is active. Returns the number of texts changed
// (rows times columns).
long long RewriteStoredDates(const std::string& alias, std::string_view from, std::string_view to);

}  // namespace qv

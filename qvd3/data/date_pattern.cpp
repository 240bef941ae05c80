#include "qvd3/data/date_pattern.h"

#include <cctype>
#include <utility>

#include "qvd3/component/date_format.h"
#include "qvd3/data/shared_transaction.h"
#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/query.h"
#include "qvd3/platform/db/session.h"
#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {
namespace {

bool IsElementLetter(char c) {
  const char lower = static_cast<char>(c | 0x20);
  return lower == 'd' || lower == 'm' || lower == 'y';
}

// The UTF-8 character starting at `at` (one byte for ASCII).
std::string_view CharAt(std::string_view text, std::size_t at) {
  std::size_t end = at + 1;
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return text.substr(at, end - at);
}

// A separator may be any one character that cannot be taken for a part of
// a date or for the blank between a date and its time.
bool IsSeparator(std::string_view character) {
  if (character.size() > 1) return true;
  const unsigned char c = static_cast<unsigned char>(character[0]);
  return c > ' ' && c != 0x7F && !std::isalnum(c);
}

bool TableExists(const std::string& alias) {
  TQuery query;
  query.SetDatabaseName(alias);
  if (Session::Default().FindAlias(alias).engine == EngineKind::Sqlite)
    query.SetSQL("SELECT COUNT(*) FROM sqlite_master WHERE type IN ('table', 'view') AND UPPER(name) = '" +
                 std::string(kDatePatternTable) + "'");
  else  // the relation an unqualified name reaches through the search path
    query.SetSQL("SELECT CASE WHEN to_regclass('" + std::string(kDatePatternTable) +
                 "') IS NULL THEN 0 ELSE 1 END");
  query.Open();
  return query.Fields()[0]->AsInteger() > 0;
}

// A recordable pattern in force the way the component puts it in force:
// through a normalisation of its own, so the machine's patterns and the
// component's own normalisation are left as they were.
class PatternInForce {
 public:
  explicit PatternInForce(std::string_view pattern) : recorded_(CheckedDatePattern(pattern)), normalized_(slot_) {}

 private:
  ScopedDatabaseDateFormat recorded_;
  DateFormatSlot slot_;
  ScopedNormalizedDateFormat normalized_;
};

std::optional<TDateTime> ReadStored(const DateColumn& column, const std::string& text) {
  return column.stamp ? TryStrToDateTime(text) : TryStrToDate(text);
}

// The distinct non-empty texts of a column.
std::vector<std::string> DistinctTexts(const std::string& alias, const DateColumn& column) {
  TQuery query;
  query.SetDatabaseName(alias);
  query.SetSQL("SELECT DISTINCT " + std::string(column.column) + " FROM " + std::string(column.table));
  query.Open();
  std::vector<std::string> texts;
  for (query.First(); !query.Eof(); query.Next())
    if (!query.Fields()[0]->AsString().empty()) texts.push_back(query.Fields()[0]->AsString());
  return texts;
}

}  // namespace

std::string CheckedDatePattern(std::string_view pattern) {
  const auto refuse = [&](const std::string& why) {
    return Exception("'" + std::string(pattern) + "' is not a date pattern for stored dates: " + why +
                     " (for example dd/mm/yyyy, mm/dd/yyyy or yyyy-mm-dd)");
  };
  if (Utf8InvalidAt(pattern) != std::string_view::npos) throw refuse("it is not UTF-8 text");
  std::string canonical;
  std::string elements;
  std::string_view separator;
  for (std::size_t at = 0; at < pattern.size();) {
    if (IsElementLetter(pattern[at])) {
      const char element = static_cast<char>(pattern[at] | 0x20);
      std::size_t end = at;
      while (end < pattern.size() && static_cast<char>(pattern[end] | 0x20) == element) ++end;
      const std::size_t width = element == 'y' ? 4 : 2;
      if (end - at != width) throw refuse("write the day dd, the month mm and the year yyyy");
      if (elements.find(element) != std::string::npos) throw refuse("an element appears twice");
      if (!canonical.empty() && IsElementLetter(canonical.back())) throw refuse("the elements need a separator");
      elements += element;
      canonical.append(width, element);
      at = end;
      continue;
    }
    const std::string_view character = CharAt(pattern, at);
    if (elements.empty() || elements.size() == 3) throw refuse("nothing may stand before or after the date");
    if (!IsSeparator(character)) throw refuse("the separator must not be a digit, a letter or a blank");
    if (!IsElementLetter(canonical.back()))
      throw refuse("the separator is one character");
    if (elements.size() == 2 && character != separator) throw refuse("both separators must be the same");
    separator = character;
    canonical += character;
    at += character.size();
  }
  if (elements.size() != 3) throw refuse("it needs the day dd, the month mm and the year yyyy");
  return canonical;
}

std::optional<std::string> ReadDatePattern(const std::string& alias) {
  if (!TableExists(alias)) return std::nullopt;
  TQuery query;
  query.SetDatabaseName(alias);
  query.SetSQL("SELECT DISTINCT DATE_PATTERN FROM " + std::string(kDatePatternTable));
  query.Open();
  if (query.IsEmpty()) return std::nullopt;
  const std::string recorded = query.Fields()[0]->AsString();
  query.Next();
  if (!query.Eof())
    throw Exception("the database records more than one date pattern in " + std::string(kDatePatternTable) +
                    "; record one with qvsetup date-pattern");
  try {
    return CheckedDatePattern(recorded);
  } catch (const Exception& error) {
    throw Exception("the database records an unusable date pattern: " + std::string(error.what()));
  }
}

void RecordDatePattern(const std::string& alias, std::string_view pattern) {
  const std::string canonical = CheckedDatePattern(pattern);
  TDatabase& database = Session::Default().Database(alias);
  SharedTransaction transaction(database);
  if (!TableExists(alias))
    database.ExecDirect("CREATE TABLE " + std::string(kDatePatternTable) + " (DATE_PATTERN VARCHAR(10) NOT NULL)");
  TQuery statement;
  statement.SetDatabaseName(alias);
  statement.SetSQL("DELETE FROM " + std::string(kDatePatternTable));
  statement.ExecSQL();
  statement.SetSQL("INSERT INTO " + std::string(kDatePatternTable) + " (DATE_PATTERN) VALUES (:PATTERN)");
  statement.ParamByName("PATTERN").SetAsString(canonical);
  statement.ExecSQL();
  transaction.Commit();
}

const std::vector<DateColumn>& StoredDateColumns() {
  static const std::vector<DateColumn> columns = {{"QUARVEL", "LAST_PWD_CHANGE", false},
                                                  {"USERINFO", "EXPIRATION_DATE", false},
                                                  {"HISTORY", "CHANGE_DATE", false},
                                                  {"AUDIT", "START_SESSION", true},
                                                  {"AUDIT", "END_SESSION", true}};
  return columns;
}

std::vector<UnreadableDates> FindUnreadableDates(const std::string& alias, std::string_view pattern) {
  PatternInForce inForce(pattern);
  std::vector<UnreadableDates> result;
  for (const DateColumn& column : StoredDateColumns()) {
    UnreadableDates found{column, 0, {}};
    TQuery query;
    query.SetDatabaseName(alias);
    query.SetSQL("SELECT " + std::string(column.column) + " FROM " + std::string(column.table));
    query.Open();
    for (query.First(); !query.Eof(); query.Next()) {
      const std::string text = query.Fields()[0]->AsString();
      if (text.empty()) continue;
      if (ReadStored(column, text)) continue;
      if (found.count++ == 0) found.first = text;
    }
    result.push_back(std::move(found));
  }
  return result;
}


// The new texts are set by one statement per column through a temporary
// table of old and new texts, so a text that becomes another one still to be
// rewritten ("01/02/2026" and "02/01/2026" when day and month swap) is never
// rewritten twice.
long long RewriteStoredDates(const std::string& alias, std::string_view from, std::string_view to) {
  TDatabase& database = Session::Default().Database(alias);
  SharedTransaction transaction(database);
  const std::string map = "QVDATEMAP";
  database.ExecDirect("CREATE TEMPORARY TABLE " + map + " (OLD_TEXT VARCHAR(19), NEW_TEXT VARCHAR(19))");
  long long rewritten = 0;
  for (const DateColumn& column : StoredDateColumns()) {
    std::vector<std::pair<std::string, TDateTime>> read;
    {
      PatternInForce inForce(from);
      for (std::string& text : DistinctTexts(alias, column))
        if (std::optional<TDateTime> value = ReadStored(column, text)) read.emplace_back(std::move(text), *value);
    }
    PatternInForce inForce(to);
    TQuery statement;
    statement.SetDatabaseName(alias);
    statement.SetSQL("DELETE FROM " + map);
    statement.ExecSQL();
    statement.SetSQL("INSERT INTO " + map + " (OLD_TEXT, NEW_TEXT) VALUES (:OLD_TEXT, :NEW_TEXT)");
    bool any = false;
    for (const auto& [text, value] : read) {
      const std::string written = column.stamp ? DateTimeToStr(value) : DateToStr(value);
      if (written == text) continue;
      statement.ParamByName("OLD_TEXT").SetAsString(text);
      statement.ParamByName("NEW_TEXT").SetAsString(written);
      statement.ExecSQL();
      any = true;
    }
    if (!any) continue;
    const std::string table(column.table), name(column.column);
    statement.SetSQL("UPDATE " + table + " SET " + name + " = (SELECT NEW_TEXT FROM " + map + " WHERE OLD_TEXT = " +
                     table + "." + name + ") WHERE " + name + " IN (SELECT OLD_TEXT FROM " + map + ")");
    rewritten += statement.ExecSQL();
  }
  database.ExecDirect("DROP TABLE " + map);
  transaction.Commit();
  return rewritten;
}

}  // namespace qv

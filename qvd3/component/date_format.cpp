#include "qvd3/component/date_format.h"

#include <algorithm>
#include <vector>

#include "qvd3/platform/sys/date_text.h"
#include "qvd3/platform/sys/date_time.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {
namespace {

// When `pattern` holds neither `wide` nor `wide_upper`, inserts `extra` at the
// first occurrence of `narrow` (or `extra_upper` at the first `narrow_upper`).
// Returns whether a rule applied.
bool Widen(std::string& pattern, std::string_view wide, std::string_view wide_upper,
           std::string_view narrow, std::string_view narrow_upper, std::string_view extra,
           std::string_view extra_upper) {
  if (pattern.find(wide) != std::string::npos || pattern.find(wide_upper) != std::string::npos) {
    return true;
  }
  if (const auto at = pattern.find(narrow); at != std::string::npos) {
    pattern.insert(at, extra);
    return true;
  }
  if (const auto at = pattern.find(narrow_upper); at != std::string::npos) {
    pattern.insert(at, extra_upper);
    return true;
  }
  return false;
}

}  // namespace

// A lone "y" prints a two-digit year just as "yy" does; it is widened too, so
// that no machine pattern yields a stored date without its century.
std::string WidenDateFormat(std::string pattern) {
  if (!Widen(pattern, "yyyy", "YYYY", "yy", "YY", "yy", "YY")) {
    Widen(pattern, "yyyy", "YYYY", "y", "Y", "yyy", "YYY");
  }
  Widen(pattern, "dd", "DD", "d", "D", "d", "D");
  Widen(pattern, "mm", "MM", "m", "M", "m", "M");
  return pattern;
}

std::string NormalizedDateFormat(std::string pattern) {
  pattern = WidenDateFormat(std::move(pattern));
  struct Run {
    std::size_t begin;
    std::size_t end;
    char element;
  };
  auto elementOf = [](char c) {
    const char lower = static_cast<char>(c | 0x20);
    return lower == 'd' || lower == 'm' || lower == 'y' ? lower : '\0';
  };
  std::vector<Run> runs;
  for (std::size_t i = 0; i < pattern.size();) {
    const char element = elementOf(pattern[i]);
    if (element == '\0') {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < pattern.size() && elementOf(pattern[end]) == element) ++end;
    runs.push_back({i, end, element});
    i = end;
  }
  std::string elements;
  for (const Run& run : runs) elements += run.element;
  std::sort(elements.begin(), elements.end());
  if (elements != "dmy") return pattern;

  const std::string separator = Utf8Truncate(
      std::string_view(pattern).substr(runs[0].end, runs[1].begin - runs[0].end), 1);
  std::string normalized;
  for (const Run& run : runs) {
    if (!normalized.empty()) normalized += separator;
    normalized += pattern.substr(run.begin, run.end - run.begin);
  }
  return normalized;
}

namespace {

std::string& DatabasePattern() {
  static std::string pattern;
  return pattern;
}

}  // namespace

void SetDatabaseDateFormat(std::string pattern) { DatabasePattern() = std::move(pattern); }
const std::string& DatabaseDateFormat() { return DatabasePattern(); }

ScopedDatabaseDateFormat::ScopedDatabaseDateFormat(std::string pattern) : saved_(DatabasePattern()) {
  SetDatabaseDateFormat(std::move(pattern));
}

ScopedDatabaseDateFormat::~ScopedDatabaseDateFormat() { SetDatabaseDateFormat(std::move(saved_)); }

void DateFormatSlot::Normalize() {
  const std::string current = ShortDateFormat();
  if (depth_ == 0) {
    saved_ = current;
    saved_time_ = LongTimeFormat();
  }
  ++depth_;
  const std::string& recorded = DatabaseDateFormat();
  SetShortDateFormat(recorded.empty() ? NormalizedDateFormat(current) : recorded);
  SetLongTimeFormat(kStoredTimeFormat);
}

void DateFormatSlot::Restore() {
  if (depth_ == 0) return;
  if (--depth_ == 0) {
    SetShortDateFormat(saved_);
    SetLongTimeFormat(saved_time_);
    saved_.clear();
    saved_time_.clear();
  }
}

DateFormatSlot& ComponentDateFormatSlot() {
  static DateFormatSlot slot;
  return slot;
}

void NormalizeDateFormat() { ComponentDateFormatSlot().Normalize(); }
void RestoreDateFormat() { ComponentDateFormatSlot().Restore(); }

ScopedNormalizedDateFormat::ScopedNormalizedDateFormat(DateFormatSlot& slot) : slot_(slot) {
  slot_.Normalize();
}

ScopedNormalizedDateFormat::~ScopedNormalizedDateFormat() { slot_.Restore(); }

std::string TodayDateText() {
  ScopedNormalizedDateFormat normalized;
  return DateToStr(Date());
}

}  // namespace qv

#include "component/date_format.h"

#include "platform/sys/date_text.h"
#include "platform/sys/date_time.h"

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

void DateFormatSlot::Normalize() {
  const std::string current = ShortDateFormat();
  if (depth_ == 0) saved_ = current;
  ++depth_;
  SetShortDateFormat(WidenDateFormat(current));
}

void DateFormatSlot::Restore() {
  if (depth_ == 0) return;
  if (--depth_ == 0) {
    SetShortDateFormat(saved_);
    saved_.clear();
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

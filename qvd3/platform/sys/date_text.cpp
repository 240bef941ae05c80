#include "qvd3/platform/sys/date_text.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdio>
#include <initializer_list>
#include <vector>

#include "qvd3/platform/sys/exception.h"

namespace qv {
namespace {

constexpr const char* kFallbackDatePattern = "dd/mm/yyyy";
constexpr const char* kFallbackTimePattern = "hh:nn:ss";

struct Patterns {
  std::string short_date;
  std::string long_time;
};

// The process-wide patterns, read from the machine on first use.
Patterns& CurrentPatterns() {
  static Patterns patterns{kFallbackDatePattern, kFallbackTimePattern};
  static bool loaded = false;
  if (!loaded) {
    loaded = true;
    LoadRegionalDateFormats();
  }
  return patterns;
}

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// ---- Pattern tokens -------------------------------------------------------

enum class Element { kLiteral, kDay, kMonth, kYear, kHour, kMinute, kSecond, kMillisecond, kAmPm };

struct Token {
  Element element;
  int count = 0;     // letters in the run
  std::string text;  // literal text, or the AM/PM marker as written
};

void AppendLiteral(std::vector<Token>& tokens, char c) {
  if (tokens.empty() || tokens.back().element != Element::kLiteral) {
    tokens.push_back({Element::kLiteral, 0, {}});
  }
  tokens.back().text += c;
}

// Splits a pattern into runs of one letter (either case) and literal text.
// `classify` maps a lower-case letter to its element (kLiteral for none);
// `with_am_pm` also recognises the "AM/PM" marker.
template <typename Classify>
std::vector<Token> Tokenize(std::string_view pattern, bool with_am_pm, Classify classify) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < pattern.size()) {
    if (with_am_pm && pattern.size() - i >= 5) {
      std::string five;
      for (std::size_t k = 0; k < 5; ++k) five += Lower(pattern[i + k]);
      if (five == "am/pm") {
        tokens.push_back({Element::kAmPm, 5, std::string(pattern.substr(i, 5))});
        i += 5;
        continue;
      }
    }
    const char letter = Lower(pattern[i]);
    const Element element = classify(letter);
    if (element == Element::kLiteral) {
      AppendLiteral(tokens, pattern[i]);
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < pattern.size() && Lower(pattern[end]) == letter) ++end;
    tokens.push_back({element, static_cast<int>(end - i), {}});
    i = end;
  }
  return tokens;
}

std::vector<Token> DateTokens(std::string_view pattern) {
  return Tokenize(pattern, false, [](char c) {
    switch (c) {
      case 'd': return Element::kDay;
      case 'm': return Element::kMonth;
      case 'y': return Element::kYear;
      default: return Element::kLiteral;
    }
  });
}

std::vector<Token> TimeTokens(std::string_view pattern) {
  return Tokenize(pattern, true, [](char c) {
    switch (c) {
      case 'h': return Element::kHour;
      case 'n':
      case 'm': return Element::kMinute;
      case 's': return Element::kSecond;
      case 'z': return Element::kMillisecond;
      default: return Element::kLiteral;
    }
  });
}

bool HasElements(const std::vector<Token>& tokens, std::initializer_list<Element> wanted) {
  for (Element element : wanted) {
    bool found = false;
    for (const Token& token : tokens) found |= token.element == element;
    if (!found) return false;
  }
  return true;
}

// The literal between the first two elements of a token list.
std::string SeparatorOf(const std::vector<Token>& tokens) {
  bool seen_element = false;
  for (const Token& token : tokens) {
    if (token.element == Element::kLiteral) {
      if (seen_element) return token.text;
    } else if (seen_element) {
      return {};
    } else {
      seen_element = true;
    }
  }
  return {};
}

void AppendNumber(std::string& out, long long value, int min_digits) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0*lld", min_digits, value);
  out += buffer;
}

std::string FormatDate(std::string_view pattern, const TDateParts& date) {
  std::string out;
  for (const Token& token : DateTokens(pattern)) {
    switch (token.element) {
      case Element::kDay: AppendNumber(out, date.day, token.count >= 2 ? 2 : 1); break;
      case Element::kMonth: AppendNumber(out, date.month, token.count >= 2 ? 2 : 1); break;
      case Element::kYear:
        if (token.count >= 3) {
          AppendNumber(out, date.year, 4);
        } else {
          AppendNumber(out, ((date.year % 100) + 100) % 100, 2);
        }
        break;
      default: out += token.text; break;
    }
  }
  return out;
}

std::string FormatTime(std::string_view pattern, const TTimeParts& time) {
  const std::vector<Token> tokens = TimeTokens(pattern);
  bool twelve_hours = false;
  for (const Token& token : tokens) twelve_hours |= token.element == Element::kAmPm;
  std::string out;
  for (const Token& token : tokens) {
    const int width = token.count >= 2 ? 2 : 1;
    switch (token.element) {
      case Element::kHour: {
        int hour = time.hour;
        if (twelve_hours) hour = hour % 12 == 0 ? 12 : hour % 12;
        AppendNumber(out, hour, width);
        break;
      }
      case Element::kMinute: AppendNumber(out, time.minute, width); break;
      case Element::kSecond: AppendNumber(out, time.second, width); break;
      case Element::kMillisecond:
        AppendNumber(out, time.millisecond, token.count >= 2 ? 3 : 1);
        break;
      case Element::kAmPm: {
        const bool upper = token.text[0] == 'A';
        const bool morning = time.hour < 12;
        out += upper ? (morning ? "AM" : "PM") : (morning ? "am" : "pm");
        break;
      }
      default: out += token.text; break;
    }
  }
  return out;
}

// ---- Reading --------------------------------------------------------------

// A cursor over the text being read.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  bool AtEnd() const { return pos_ >= text_.size(); }
  std::size_t Position() const { return pos_; }

  bool Match(std::string_view literal) {
    if (text_.substr(pos_, literal.size()) != literal) return false;
    pos_ += literal.size();
    return true;
  }

  bool MatchIgnoringCase(std::string_view word) {
    if (text_.size() - pos_ < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (Lower(text_[pos_ + i]) != Lower(word[i])) return false;
    }
    pos_ += word.size();
    return true;
  }

  // Reads 1..max_digits digits; fails when none come or more follow.
  bool Number(int max_digits, int& value, int& digits) {
    value = 0;
    digits = 0;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) {
      if (digits == max_digits) return false;
      value = value * 10 + (text_[pos_] - '0');
      ++digits;
      ++pos_;
    }
    return digits > 0;
  }

  // Reads exactly `count` digits (for elements with no separator between).
  bool FixedNumber(int count, int& value) {
    value = 0;
    for (int i = 0; i < count; ++i) {
      if (pos_ >= text_.size() || !IsDigit(text_[pos_])) return false;
      value = value * 10 + (text_[pos_++] - '0');
    }
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// A year written with one or two digits: the year ending in those digits
// within the window reaching from 49 years back to 50 years ahead of today.
int WidenTwoDigitYear(int two_digits) {
  const int this_year = DecodeDate(Date()).year;
  int year = this_year - this_year % 100 + two_digits;
  if (year > this_year + 50) year -= 100;
  if (year <= this_year - 50) year += 100;
  return year;
}

// Reads a date under `pattern` from the reader's position; leaves the reader
// after the date (and after the pattern's trailing literal when present).
std::optional<TDateTime> ReadDate(Reader& reader, std::string_view pattern) {
  const std::vector<Token> tokens = DateTokens(pattern);
  std::size_t first = tokens.size();
  std::size_t last = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].element == Element::kLiteral) continue;
    if (first == tokens.size()) first = i;
    last = i;
  }
  if (!HasElements(tokens, {Element::kDay, Element::kMonth, Element::kYear})) return std::nullopt;

  int day = 0, month = 0, year = 0;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const Token& token = tokens[i];
    if (token.element == Element::kLiteral) {
      if (i < first || i > last) {
        reader.Match(token.text);  // leading and trailing literals are optional
      } else if (!reader.Match(token.text)) {
        return std::nullopt;
      }
      continue;
    }
    const bool touches_next =
        i + 1 < tokens.size() && tokens[i + 1].element != Element::kLiteral;
    const int max_digits = token.element == Element::kYear ? 4 : 2;
    int value = 0;
    int digits = 0;
    if (touches_next) {
      digits = token.element == Element::kYear ? (token.count >= 3 ? 4 : 2) : 2;
      if (!reader.FixedNumber(digits, value)) return std::nullopt;
    } else if (!reader.Number(max_digits, value, digits)) {
      return std::nullopt;
    }
    switch (token.element) {
      case Element::kDay: day = value; break;
      case Element::kMonth: month = value; break;
      default: year = digits <= 2 ? WidenTwoDigitYear(value) : value; break;
    }
  }
  TDateTime result;
  if (!TryEncodeDate(year, month, day, result)) return std::nullopt;
  return result;
}

// Reads h[:n[:s[.zzz]]] [AM|PM] from the reader's position.
std::optional<TDateTime> ReadTime(Reader& reader) {
  std::string separator = TimeSeparator();
  if (separator.empty()) separator = ":";
  int parts[3] = {0, 0, 0};
  int digits = 0;
  if (!reader.Number(2, parts[0], digits)) return std::nullopt;
  for (int i = 1; i < 3 && reader.Match(separator); ++i) {
    if (!reader.Number(2, parts[i], digits)) return std::nullopt;
  }
  int millisecond = 0;
  if (reader.Match(".")) {
    if (!reader.Number(3, millisecond, digits)) return std::nullopt;
    for (int i = digits; i < 3; ++i) millisecond *= 10;
  }
  reader.SkipBlanks();
  int hour = parts[0];
  const bool am = reader.MatchIgnoringCase("am");
  const bool pm = !am && reader.MatchIgnoringCase("pm");
  if (am || pm) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (pm ? 12 : 0);
  }
  TDateTime result;
  if (!TryEncodeTime(hour, parts[1], parts[2], millisecond, result)) return std::nullopt;
  return result;
}

// Runs `read` over the whole text: blanks may surround the value, nothing
// else may follow it.
template <typename Read>
std::optional<TDateTime> ReadWhole(std::string_view text, Read read) {
  Reader reader(text);
  reader.SkipBlanks();
  std::optional<TDateTime> value = read(reader);
  reader.SkipBlanks();
  if (!value || !reader.AtEnd()) return std::nullopt;
  return value;
}

std::string NotValid(std::string_view text, const char* what) {
  return "'" + std::string(text) + "' is not a valid " + what;
}

// ---- Regional settings ----------------------------------------------------

// How a conversion of a C library format pads its number: as the conversion
// itself does, or as a GNU flag ("%-d", "%_H", "%0e") asks.
enum class Padding { kDefault, kNone, kZero };

// Shared walk over a C library format. `convert` maps one conversion letter
// and its padding to pattern text, or returns nullptr when it has no pattern
// equivalent.
template <typename Convert>
std::string FromStrftime(std::string_view format, Convert convert) {
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%') {
      // A literal letter would read back as a pattern element.
      if (std::isalpha(static_cast<unsigned char>(c))) return {};
      out += c;
      continue;
    }
    Padding padding = Padding::kDefault;
    for (++i; i < format.size() && std::string_view("-_0^#").find(format[i]) != std::string_view::npos; ++i) {
      if (format[i] == '-' || format[i] == '_') padding = Padding::kNone;
      if (format[i] == '0') padding = Padding::kZero;
    }
    if (i >= format.size()) return {};
    if (format[i] == 'O' && i + 1 < format.size()) ++i;  // alternative digits
    const char conversion = format[i];
    if (conversion == '%') {
      out += '%';
    } else if (conversion == 'n' || conversion == 't') {
      out += ' ';
    } else if (const char* text = convert(conversion, padding)) {
      out += text;
    } else {
      return {};
    }
  }
  return out;
}

// The pattern letters of a number: `padded` ("dd") unless the padding asks
// for none, `unpadded` ("d") unless it asks for zeros.
const char* Pick(Padding padding, const char* padded, const char* unpadded, bool padded_by_default) {
  if (padding == Padding::kNone) return unpadded;
  if (padding == Padding::kZero) return padded;
  return padded_by_default ? padded : unpadded;
}

}  // namespace

std::string ShortDateFormat() { return CurrentPatterns().short_date; }
void SetShortDateFormat(std::string pattern) { CurrentPatterns().short_date = std::move(pattern); }
std::string LongTimeFormat() { return CurrentPatterns().long_time; }
void SetLongTimeFormat(std::string pattern) { CurrentPatterns().long_time = std::move(pattern); }

std::string DateSeparator() { return SeparatorOf(DateTokens(ShortDateFormat())); }
std::string TimeSeparator() { return SeparatorOf(TimeTokens(LongTimeFormat())); }

std::string DatePatternFromStrftime(std::string_view format) {
  return FromStrftime(format, [](char c, Padding padding) -> const char* {
    switch (c) {
      case 'd': return Pick(padding, "dd", "d", true);
      case 'e': return Pick(padding, "dd", "d", false);
      case 'm': return Pick(padding, "mm", "m", true);
      case 'y': return Pick(padding, "yy", "y", true);
      case 'Y': return "yyyy";
      case 'D': return "mm/dd/yy";
      case 'F': return "yyyy-mm-dd";
      default: return nullptr;
    }
  });
}

std::string TimePatternFromStrftime(std::string_view format) {
  return FromStrftime(format, [](char c, Padding padding) -> const char* {
    switch (c) {
      case 'H':
      case 'I': return Pick(padding, "hh", "h", true);
      case 'k':
      case 'l': return Pick(padding, "hh", "h", false);
      case 'M': return Pick(padding, "nn", "n", true);
      case 'S': return Pick(padding, "ss", "s", true);
      case 'p': return "AM/PM";
      case 'P': return "am/pm";
      case 'T': return "hh:nn:ss";
      case 'R': return "hh:nn";
      case 'r': return "hh:nn:ss AM/PM";
      default: return nullptr;
    }
  });
}

// Uses a locale object of its own rather than setlocale, so the process's C
// locale (which other code may rely on) stays as it is.
void LoadRegionalDateFormats() {
  std::string date_pattern;
  std::string time_pattern;
  if (locale_t regional = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr))) {
    date_pattern = DatePatternFromStrftime(nl_langinfo_l(D_FMT, regional));
    time_pattern = TimePatternFromStrftime(nl_langinfo_l(T_FMT, regional));
    freelocale(regional);
  }
  // A format that lacks an element (some locales give only a weekday and a
  // month name) cannot serve to write and read dates.
  if (!HasElements(DateTokens(date_pattern), {Element::kDay, Element::kMonth, Element::kYear})) {
    date_pattern.clear();
  }
  if (!HasElements(TimeTokens(time_pattern), {Element::kHour, Element::kMinute})) {
    time_pattern.clear();
  }
  Patterns& patterns = CurrentPatterns();
  patterns.short_date = date_pattern.empty() ? kFallbackDatePattern : date_pattern;
  patterns.long_time = time_pattern.empty() ? kFallbackTimePattern : time_pattern;
}

std::string DateToStr(TDateTime value) { return FormatDate(ShortDateFormat(), DecodeDate(value)); }

std::string TimeToStr(TDateTime value) { return FormatTime(LongTimeFormat(), DecodeTime(value)); }

std::string DateTimeToStr(TDateTime value) {
  std::string text = DateToStr(value);
  if (value.TimeOfDay() != 0.0) {
    text += ' ';
    text += TimeToStr(value);
  }
  return text;
}

std::optional<TDateTime> TryStrToDate(std::string_view text) {
  return ReadWhole(text, [](Reader& reader) { return ReadDate(reader, ShortDateFormat()); });
}

TDateTime StrToDate(std::string_view text) {
  if (std::optional<TDateTime> date = TryStrToDate(text)) return *date;
  throw EConvertError(NotValid(text, "date"));
}

std::optional<TDateTime> TryStrToTime(std::string_view text) {
  return ReadWhole(text, ReadTime);
}

TDateTime StrToTime(std::string_view text) {
  if (std::optional<TDateTime> time = TryStrToTime(text)) return *time;
  throw EConvertError(NotValid(text, "time"));
}

std::optional<TDateTime> TryStrToDateTime(std::string_view text) {
  Reader reader(text);
  reader.SkipBlanks();
  std::optional<TDateTime> date = ReadDate(reader, ShortDateFormat());
  if (!date) return std::nullopt;
  const std::size_t after_date = reader.Position();
  reader.SkipBlanks();
  if (reader.AtEnd()) return date;
  if (reader.Position() == after_date) return std::nullopt;  // a blank must come first
  std::optional<TDateTime> time = ReadTime(reader);
  reader.SkipBlanks();
  if (!time || !reader.AtEnd()) return std::nullopt;
  return *date + time->Value();
}

TDateTime StrToDateTime(std::string_view text) {
  if (std::optional<TDateTime> value = TryStrToDateTime(text)) return *value;
  throw EConvertError(NotValid(text, "date and time"));
}

}  // namespace qv

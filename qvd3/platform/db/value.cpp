#include "qvd3/platform/db/value.h"

#include <charconv>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {

Value Value::Bytes(std::string_view bytes) {
  Value v(bytes);
  v.kind_ = Kind::Bytes;
  return v;
}

std::string Value::AsString() const {
  switch (kind_) {
    case Kind::Null:
      return std::string();
    case Kind::Integer:
      return std::to_string(integer_);
    default:
      return text_;
  }
}

std::int64_t Value::AsInteger() const {
  switch (kind_) {
    case Kind::Null:
      return 0;
    case Kind::Integer:
      return integer_;
    default: {
      std::int64_t n = 0;
      if (!ParseInteger(text_, n)) throw EConvertError("'" + text_ + "' is not a valid integer value");
      return n;
    }
  }
}

bool Value::operator==(const Value& other) const {
  if (kind_ != other.kind_) return false;
  if (kind_ == Kind::Null) return true;
  if (kind_ == Kind::Integer) return integer_ == other.integer_;
  return text_ == other.text_;
}

void CheckStorableText(std::string_view text, std::string_view owner) {
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    throw EDatabaseError(std::string(owner) + " cannot hold a text with a NUL byte (at byte " +
                         std::to_string(nul + 1) + " of " + std::to_string(text.size()) + ")");
  }
  if (const std::size_t bad = Utf8InvalidAt(text); bad != std::string_view::npos) {
    throw EDatabaseError(std::string(owner) + " cannot hold a text that is not valid UTF-8 (at byte " +
                         std::to_string(bad + 1) + " of " + std::to_string(text.size()) + ")");
  }
}

bool ParseInteger(std::string_view text, std::int64_t& out) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (*begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, end, out);
  return ec == std::errc() && ptr == end && begin != end;
}

}  // namespace qv

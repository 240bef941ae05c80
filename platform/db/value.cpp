#include "platform/db/value.h"

#include <charconv>

#include "platform/sys/exception.h"

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

bool ParseInteger(std::string_view text, std::int64_t& out) {
  if (text.empty()) return false;
  const char* begin = text.data();
  const char* end = text.data() + text.size();
  if (*begin == '+') ++begin;
  auto [ptr, ec] = std::from_chars(begin, end, out);
  return ec == std::errc() && ptr == end && begin != end;
}

}  // namespace qv

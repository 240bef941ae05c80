// Value: one database value as the layer passes it around: null, an integer,
// a text or a byte string (the contents of a blob). Built implicitly from
// literals so call sites stay short:
//   qry.Locate("MENU_ID;USER_ID", {3, 7});
//   qry.Locate("USERQV_NAME", "master");
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv {

class Value {
 public:
  enum class Kind { Null, Integer, Text, Bytes };

  Value() = default;
  Value(int number) : kind_(Kind::Integer), integer_(number) {}
  Value(long number) : kind_(Kind::Integer), integer_(number) {}
  Value(long long number) : kind_(Kind::Integer), integer_(number) {}
  Value(const char* text) : kind_(Kind::Text), text_(text) {}
  Value(std::string_view text) : kind_(Kind::Text), text_(text) {}
  Value(std::string text) : kind_(Kind::Text), text_(std::move(text)) {}

  static Value Null() { return Value(); }
  // A byte string: stored as a blob, any byte 0..255 allowed.
  static Value Bytes(std::string_view bytes);

  Kind kind() const { return kind_; }
  bool IsNull() const { return kind_ == Kind::Null; }
  bool IsInteger() const { return kind_ == Kind::Integer; }
  bool IsText() const { return kind_ == Kind::Text; }
  bool IsBytes() const { return kind_ == Kind::Bytes; }

  // The value as text: "" for null, the decimal form of an integer, the
  // bytes of a text or byte string.
  std::string AsString() const;
  // The value as an integer: 0 for null. A text that is not a decimal
  // integer raises EConvertError.
  std::int64_t AsInteger() const;

  // Same kind and same contents (null equals null).
  bool operator==(const Value& other) const;

 private:
  Kind kind_ = Kind::Null;
  std::int64_t integer_ = 0;
  std::string text_;
};

// Raises EDatabaseError, naming `owner` ("Field 'REAL_NAME'", "Parameter
// 'APP_KEY'"), when `text` cannot be stored as text alike on every engine:
// when it holds a NUL byte (PostgreSQL's text cannot hold one, and its client
// would cut the text there) or is not well-formed UTF-8 (PostgreSQL refuses
// it, SQLite would keep it). Byte strings hold any bytes and need no check.
void CheckStorableText(std::string_view text, std::string_view owner);

// Parses a whole decimal integer (optional sign, no blanks). False when
// `text` is not one or does not fit in 64 bits.
bool ParseInteger(std::string_view text, std::int64_t& out);

}  // namespace qv

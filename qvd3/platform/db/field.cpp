#include "qvd3/platform/db/field.h"

#include <cstdlib>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/dataset.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {

TField::TField(TDataSet& dataset, std::string name, TFieldKind kind, TFieldType type, int size,
               bool persistent)
    : dataset_(&dataset), name_(std::move(name)), kind_(kind), type_(type), size_(size),
      size_override_(kind == TFieldKind::Data ? 0 : size), persistent_(persistent) {}

void TField::SetSize(int size) {
  size_override_ = size;
  if (size > 0 || kind_ != TFieldKind::Data) size_ = size;
}

Value TField::AsValue() const {
  switch (kind_) {
    case TFieldKind::Data:
      return dataset_->ReadData(*this);
    case TFieldKind::Calculated:
      return dataset_->ReadCalculated(*this);
    case TFieldKind::Cached:
      return dataset_->ReadCached(*this);
    default:
      return dataset_->ReadLookup(*this);
  }
}

bool TField::IsNull() const {
  if (kind_ == TFieldKind::Data) return dataset_->DataIsNull(*this);
  return AsValue().IsNull();
}

std::string TField::AsString() const {
  if (kind_ == TFieldKind::Data) return dataset_->ReadDataText(*this);
  return AsValue().AsString();
}

int TField::AsInteger() const {
  Value v = AsValue();
  if (v.IsNull()) return 0;
  std::int64_t n = 0;
  if (v.IsInteger()) {
    n = v.AsInteger();
  } else if (!ParseInteger(v.AsString(), n)) {
    throw EConvertError("'" + v.AsString() + "' is not a valid integer value for field '" + name_ + "'");
  }
  return static_cast<int>(n);
}

void TField::SetAsString(std::string_view text) { SetValue(qv::Value(text)); }
void TField::SetAsInteger(std::int64_t number) { SetValue(qv::Value(static_cast<long long>(number))); }
void TField::Clear() { SetValue(qv::Value()); }

void TField::SetValue(const qv::Value& value) {
  if (kind_ == TFieldKind::Lookup)
    throw EDatabaseError("Field '" + name_ + "' is a lookup field and cannot be modified");
  if (kind_ == TFieldKind::Cached)
    throw EDatabaseError("Field '" + name_ + "' is derived from its row and cannot be modified");
  dataset_->WriteField(*this, Coerce(value));
}

Value TField::Coerce(const qv::Value& value) const {
  if (value.IsNull()) return qv::Value();
  switch (type_) {
    case TFieldType::Integer:
    case TFieldType::SmallInt: {
      std::int64_t n = 0;
      if (value.IsInteger()) {
        n = value.AsInteger();
      } else {
        std::string text = value.AsString();
        std::size_t b = text.find_first_not_of(' ');
        std::size_t e = text.find_last_not_of(' ');
        if (b == std::string::npos) return qv::Value();
        if (!ParseInteger(std::string_view(text).substr(b, e - b + 1), n))
          throw EConvertError("'" + text + "' is not a valid integer value for field '" + name_ + "'");
      }
      std::int64_t low = type_ == TFieldType::SmallInt ? -32768 : INT32_MIN;
      std::int64_t high = type_ == TFieldType::SmallInt ? 32767 : INT32_MAX;
      if (n < low || n > high)
        throw EConvertError(std::to_string(n) + " is out of range for field '" + name_ + "'");
      return qv::Value(static_cast<long long>(n));
    }
    case TFieldType::Bytes: {
      // Cut bytes would be corrupt data (a scrambled password that no
      // longer decodes), so a byte string is stored whole or not at all.
      std::string bytes = value.AsString();
      if (size_ > 0 && bytes.size() > static_cast<std::size_t>(size_))
        throw EDatabaseError("Field '" + name_ + "' holds at most " + std::to_string(size_) +
                             " bytes; " + std::to_string(bytes.size()) + " were given");
      return qv::Value::Bytes(bytes);
    }
    case TFieldType::String: {
      std::string text = value.AsString();
      CheckStorableText(text, "Field '" + name_ + "'");
      if (size_ > 0 && Utf8Length(text) > static_cast<std::size_t>(size_)) text = Utf8Truncate(text, size_);
      return qv::Value(std::move(text));
    }
    default:
      return value;
  }
}

namespace {

std::string FormatForText(const TField& field, const std::string& format) {
  if (field.IsNull()) return std::string();
  bool integer = field.DataType() == TFieldType::Integer || field.DataType() == TFieldType::SmallInt;
  if (integer && !format.empty()) return FormatInteger(format, field.AsInteger());
  return field.AsString();
}

}  // namespace

std::string TField::DisplayText() const { return FormatForText(*this, display_format_); }

std::string TField::Text() const {
  return FormatForText(*this, edit_format_.empty() ? display_format_ : edit_format_);
}

// Digit placeholders are filled from the right; the first one also takes
// any digits the format has no room for, so a number is never cut. The
// placeholders from the first "0" on always show a digit.
std::string FormatInteger(std::string_view format, std::int64_t number) {
  int placeholders = 0, shown = -1;
  char quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '0' || c == '#') {
      if (c == '0' && shown < 0) shown = placeholders;
      ++placeholders;
    }
  }
  std::uint64_t magnitude = number < 0 ? 0 - static_cast<std::uint64_t>(number) : number;
  std::string digits = magnitude == 0 ? std::string() : std::to_string(magnitude);
  int minimum = shown < 0 ? 0 : placeholders - shown;
  if (static_cast<int>(digits.size()) < minimum) digits.insert(0, minimum - digits.size(), '0');
  const int extra = static_cast<int>(digits.size()) - placeholders;

  std::string out;
  int slot = 0;
  bool sign_written = number >= 0;
  quote = 0;
  for (char c : format) {
    if (quote) {
      if (c == quote) quote = 0;
      else out += c;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      continue;
    }
    if (c != '0' && c != '#') {
      out += c;
      continue;
    }
    std::string piece;
    if (slot == 0 && extra > 0) piece = digits.substr(0, extra);
    int index = slot - (placeholders - static_cast<int>(digits.size()));
    if (index >= 0) piece += digits[index];
    if (!piece.empty() && !sign_written) {
      out += '-';
      sign_written = true;
    }
    out += piece;
    ++slot;
  }
  return out;
}

}  // namespace qv

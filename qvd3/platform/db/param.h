// TParam and TParams: the named parameters of a query. In SQL text a
// parameter is a colon followed by its name (":APP_KEY"); a name written
// twice denotes one value. Values are always bound, never put into the text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qvd3/platform/db/value.h"

namespace qv {

class TParam {
 public:
  explicit TParam(std::string name) : name_(std::move(name)) {}

  const std::string& Name() const { return name_; }

  // "" / 0 for null.
  std::string AsString() const { return value_.AsString(); }
  int AsInteger() const { return static_cast<int>(value_.AsInteger()); }
  const qv::Value& Value() const { return value_; }
  bool IsNull() const { return value_.IsNull(); }
  // True once a value (null included) was assigned.
  bool Bound() const { return bound_; }

  void SetAsString(std::string_view text) { SetValue(qv::Value(text)); }
  void SetAsInteger(std::int64_t number) { SetValue(qv::Value(static_cast<long long>(number))); }
  // A byte string bound as a blob (any bytes, NUL included).
  void SetAsBytes(std::string_view bytes) { SetValue(qv::Value::Bytes(bytes)); }
  void SetValue(const qv::Value& value) {
    value_ = value;
    bound_ = true;
  }
  // Null, and counts as assigned.
  void Clear() { SetValue(qv::Value()); }

 private:
  std::string name_;
  qv::Value value_;
  bool bound_ = false;
};

// The parameters of one SQL text, in order of first appearance.
class TParams {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TParam& operator[](int index) { return *items_.at(index); }
  // Case-insensitive; nullptr when absent.
  TParam* FindParam(std::string_view name);
  // Case-insensitive; EDatabaseError "Parameter 'X' not found" when absent.
  TParam& ParamByName(std::string_view name);

  // Replaces the list by `names`, keeping the values of names still present.
  void Rebuild(const std::vector<std::string>& names);

 private:
  std::vector<std::unique_ptr<TParam>> items_;
};

}  // namespace qv

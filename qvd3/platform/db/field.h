// TField: one column of a dataset's current row, plus how it is shown.
//
// Fields are owned by their dataset. A field declared by the owner before
// opening (TDataSet::DefineField, AddCalculatedField, AddLookupField) is
// persistent: the same object serves every Open, so a data module may keep a
// reference to it. A data field made for a column nobody declared lives only
// until the dataset closes.
//
// Reading: AsString() is "" and AsInteger() 0 for null. Writing needs the
// dataset in edit or insert state (or, for calculated fields, inside
// OnCalcFields). A text longer than a text field's width is cut to the width
// in characters. A text field takes only well-formed UTF-8 without NUL bytes
// (see CheckStorableText); a byte field takes any bytes, but never cut: more
// bytes than its width raise EDatabaseError. A text written to an integer
// field must be a decimal integer ("" writes null), else EConvertError. A
// refused value changes nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "qvd3/platform/db/value.h"

namespace qv {

class TDataSet;

// Derives the value of a cached field from the row standing as the current
// one of `dataset`; nullopt for null.
using TFieldComputeEvent = std::function<std::optional<std::int64_t>(TDataSet& dataset)>;

enum class TFieldType { Unknown, String, Integer, SmallInt, Bytes };
// Data: a result column. Calculated: written by OnCalcFields each time a
// row becomes current. Lookup: read from another dataset. Cached: an
// integer derived from its row once and kept with it (AddCachedField).
enum class TFieldKind { Data, Calculated, Lookup, Cached };

class TField {
 public:
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  // The name as declared for persistent fields, else as the engine reports
  // it (PostgreSQL folds unquoted names to lower case).
  const std::string& FieldName() const { return name_; }
  TFieldKind FieldKind() const { return kind_; }
  TFieldType DataType() const { return type_; }
  // Width in characters (text) or bytes (byte field); 0 = unlimited.
  int Size() const { return size_; }
  TDataSet& DataSet() const { return *dataset_; }

  bool IsNull() const;
  std::string AsString() const;
  int AsInteger() const;
  qv::Value AsValue() const;

  void SetAsString(std::string_view text);
  void SetAsInteger(std::int64_t number);
  void SetValue(const qv::Value& value);
  void Clear();

  // The value as shown: "" for null; for integer fields the DisplayFormat
  // applied when set.
  std::string DisplayText() const;
  // The value as edited: EditFormat applied when set, else DisplayFormat.
  std::string Text() const;
  // What a control writes back: as SetAsString.
  void SetText(std::string_view text) { SetAsString(text); }

  // Formats for integer fields: "0" is a digit shown always, "#" a digit
  // shown when significant, any other character is literal text; so "00"
  // shows 5 as "05" and "a cada 00 dias" as "a cada 05 dias".
  const std::string& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(std::string format) { display_format_ = std::move(format); }
  const std::string& EditFormat() const { return edit_format_; }
  void SetEditFormat(std::string format) { edit_format_ = std::move(format); }

  // The value Insert gives the field in a new row: a number, or a text
  // (written bare or in single quotes, "'0'"). Empty = none.
  const std::string& DefaultExpression() const { return default_expression_; }
  void SetDefaultExpression(std::string expression) { default_expression_ = std::move(expression); }

  // Overrides the width the engine reports (0 keeps the engine's); applied at
  // each open. Calculated and lookup fields take their width from here.
  void SetSize(int size);

  // Presentation hints for grids and forms.
  const std::string& DisplayLabel() const { return display_label_.empty() ? name_ : display_label_; }
  void SetDisplayLabel(std::string label) { display_label_ = std::move(label); }
  int DisplayWidth() const { return display_width_ > 0 ? display_width_ : size_; }
  void SetDisplayWidth(int width) { display_width_ = width; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }

  // Lookup fields: the value is `lookup_result_field` of the row of
  // `lookup_dataset` whose `lookup_key_fields` equal this row's `key_fields`
  // (";"-separated lists of equal length); null when no row matches or the
  // lookup dataset is closed.
  const std::string& KeyFields() const { return key_fields_; }
  TDataSet* LookupDataSet() const { return lookup_dataset_; }
  const std::string& LookupKeyFields() const { return lookup_key_fields_; }
  const std::string& LookupResultField() const { return lookup_result_field_; }

  // True for fields declared by the owner (they survive Close).
  bool Persistent() const { return persistent_; }

 private:
  friend class TDataSet;
  TField(TDataSet& dataset, std::string name, TFieldKind kind, TFieldType type, int size,
         bool persistent);

  // Checks and converts `value` to what this field stores (cut to width,
  // integer text parsed); raises EConvertError on a bad conversion.
  qv::Value Coerce(const qv::Value& value) const;

  TDataSet* dataset_;
  std::string name_;
  TFieldKind kind_;
  TFieldType type_;
  int size_ = 0;
  int size_override_ = 0;
  bool persistent_;
  int column_ = -1;  // data fields: index of the result column while open
  int slot_ = -1;    // calculated and cached fields: index in the dataset's values of their kind
  TFieldComputeEvent compute_;  // cached fields

  std::string display_format_;
  std::string edit_format_;
  std::string default_expression_;
  std::string display_label_;
  int display_width_ = 0;
  bool visible_ = true;

  std::string key_fields_;
  TDataSet* lookup_dataset_ = nullptr;
  std::string lookup_key_fields_;
  std::string lookup_result_field_;
};

// Formats `number` with an integer format ("0", "#" and literal text).
std::string FormatInteger(std::string_view format, std::int64_t number);

}  // namespace qv

#include "platform/db/filter_expr.h"

#include <cctype>
#include <cstring>
#include <vector>

#include "platform/db/database_error.h"
#include "platform/sys/text_case.h"

namespace qv::dbimpl {
namespace {

enum class Op { Eq, Ne, Lt, Gt, Le, Ge };

// An operand: a column of the row or a constant.
struct Operand {
  bool is_column = false;
  FilterColumn column;
  Value constant;
};

bool IsIntegerType(TFieldType t) { return t == TFieldType::Integer || t == TFieldType::SmallInt; }

// Three-way comparison of two non-null operands; integers numerically when
// either side is an integer column or both are numbers, texts bytewise.
class Comparison : public FilterExpression {
 public:
  Comparison(Operand left, Op op, Operand right)
      : left_(std::move(left)), op_(op), right_(std::move(right)) {
    numeric_ = (left_.is_column && IsIntegerType(left_.column.type)) ||
               (right_.is_column && IsIntegerType(right_.column.type)) ||
               (!left_.is_column && !right_.is_column && left_.constant.IsInteger() &&
                right_.constant.IsInteger());
    Prepare(left_, left_text_, left_number_, left_valid_);
    Prepare(right_, right_text_, right_number_, right_valid_);
  }

  bool Matches(const RowStore& store, const char* record) const override {
    std::string_view a, b;
    std::int64_t na = left_number_, nb = right_number_;
    bool va = left_valid_, vb = right_valid_;
    if (!Read(store, record, left_, left_text_, a, na, va)) return op_ == Op::Ne && !BothNull(store, record);
    if (!Read(store, record, right_, right_text_, b, nb, vb)) return op_ == Op::Ne;
    int cmp;
    if (numeric_) {
      if (!va || !vb) {
        // A text that is no number never equals a number.
        return op_ == Op::Ne;
      }
      cmp = na < nb ? -1 : (na > nb ? 1 : 0);
    } else {
      int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
      cmp = c != 0 ? c : (a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0));
    }
    switch (op_) {
      case Op::Eq: return cmp == 0;
      case Op::Ne: return cmp != 0;
      case Op::Lt: return cmp < 0;
      case Op::Gt: return cmp > 0;
      case Op::Le: return cmp <= 0;
      case Op::Ge: return cmp >= 0;
    }
    return false;
  }

  bool IsEquality(int& column, Value& constant) const override {
    if (op_ != Op::Eq || left_.is_column == right_.is_column) return false;
    const Operand& col = left_.is_column ? left_ : right_;
    const Operand& val = left_.is_column ? right_ : left_;
    column = col.column.column;
    constant = val.constant;
    return true;
  }

 private:
  static void Prepare(const Operand& o, std::string& text, std::int64_t& number, bool& valid) {
    if (o.is_column) return;
    text = o.constant.AsString();
    valid = o.constant.IsInteger() || ParseInteger(text, number);
    if (o.constant.IsInteger()) number = o.constant.AsInteger();
  }

  // False when the operand is a null column value.
  bool Read(const RowStore& store, const char* record, const Operand& o, const std::string& text,
            std::string_view& out, std::int64_t& number, bool& valid) const {
    if (!o.is_column) {
      out = text;
      return true;
    }
    Cell c = store.Get(record, o.column.column);
    if (c.null) return false;
    out = std::string_view(c.data, c.size);
    if (numeric_) valid = ParseInteger(out, number);
    return true;
  }

  bool BothNull(const RowStore& store, const char* record) const {
    return right_.is_column && store.Get(record, right_.column.column).null;
  }

  Operand left_;
  Op op_;
  Operand right_;
  bool numeric_ = false;
  std::string left_text_, right_text_;
  std::int64_t left_number_ = 0, right_number_ = 0;
  bool left_valid_ = true, right_valid_ = true;
};

class Logical : public FilterExpression {
 public:
  Logical(bool is_and, std::unique_ptr<FilterExpression> a, std::unique_ptr<FilterExpression> b)
      : and_(is_and), a_(std::move(a)), b_(std::move(b)) {}
  bool Matches(const RowStore& store, const char* record) const override {
    return and_ ? (a_->Matches(store, record) && b_->Matches(store, record))
                : (a_->Matches(store, record) || b_->Matches(store, record));
  }

 private:
  bool and_;
  std::unique_ptr<FilterExpression> a_, b_;
};

class Negation : public FilterExpression {
 public:
  explicit Negation(std::unique_ptr<FilterExpression> e) : e_(std::move(e)) {}
  bool Matches(const RowStore& store, const char* record) const override {
    return !e_->Matches(store, record);
  }

 private:
  std::unique_ptr<FilterExpression> e_;
};

enum class Tok { End, Name, Text, Number, Op, LParen, RParen, And, Or, Not };

struct Token {
  Tok kind;
  std::string text;
  Op op = Op::Eq;
};

class Parser {
 public:
  Parser(std::string_view text, const std::function<FilterColumn(std::string_view)>& resolve)
      : text_(text), resolve_(resolve) {
    Tokenize();
  }

  std::unique_ptr<FilterExpression> Parse() {
    auto e = ParseOr();
    if (Peek().kind != Tok::End) Fail("unexpected '" + Peek().text + "'");
    return e;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw EDatabaseError("Invalid filter expression \"" + std::string(text_) + "\": " + why);
  }

  void Tokenize() {
    std::size_t i = 0, n = text_.size();
    while (i < n) {
      char c = text_[i];
      if (std::isspace(static_cast<unsigned char>(c))) { ++i; continue; }
      if (c == '[') {
        std::size_t close = text_.find(']', i);
        if (close == std::string_view::npos) Fail("missing ']'");
        tokens_.push_back({Tok::Name, std::string(text_.substr(i + 1, close - i - 1))});
        i = close + 1;
      } else if (c == '\'') {
        std::string s;
        ++i;
        bool closed = false;
        while (i < n) {
          if (text_[i] == '\'') {
            if (i + 1 < n && text_[i + 1] == '\'') { s += '\''; i += 2; continue; }
            ++i;
            closed = true;
            break;
          }
          s += text_[i++];
        }
        if (!closed) Fail("unterminated string");
        tokens_.push_back({Tok::Text, s});
      } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                 (c == '-' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text_[i + 1])))) {
        std::size_t b = i++;
        while (i < n && std::isdigit(static_cast<unsigned char>(text_[i]))) ++i;
        tokens_.push_back({Tok::Number, std::string(text_.substr(b, i - b))});
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        std::size_t b = i;
        while (i < n && (std::isalnum(static_cast<unsigned char>(text_[i])) || text_[i] == '_')) ++i;
        std::string word(text_.substr(b, i - b));
        const std::string upper = AsciiUpper(word);
        Tok kind = upper == "AND" ? Tok::And : upper == "OR" ? Tok::Or : upper == "NOT" ? Tok::Not : Tok::Name;
        tokens_.push_back({kind, word});
      } else if (c == '(') {
        tokens_.push_back({Tok::LParen, "("});
        ++i;
      } else if (c == ')') {
        tokens_.push_back({Tok::RParen, ")"});
        ++i;
      } else if (c == '=' || c == '<' || c == '>') {
        // The token's text is taken from the filter in one piece once its
        // width is known.
        const char d = i + 1 < n ? text_[i + 1] : '\0';
        Op op = c == '=' ? Op::Eq : c == '<' ? Op::Lt : Op::Gt;
        std::size_t width = 1;
        if (c == '<' && d == '>') op = Op::Ne, width = 2;
        else if (c == '<' && d == '=') op = Op::Le, width = 2;
        else if (c == '>' && d == '=') op = Op::Ge, width = 2;
        tokens_.push_back({Tok::Op, std::string(text_.substr(i, width)), op});
        i += width;
      } else {
        Fail(std::string("unexpected character '") + c + "'");
      }
    }
    tokens_.push_back({Tok::End, "end of text"});
  }

  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  std::unique_ptr<FilterExpression> ParseOr() {
    auto e = ParseAnd();
    while (Peek().kind == Tok::Or) {
      Take();
      e = std::make_unique<Logical>(false, std::move(e), ParseAnd());
    }
    return e;
  }
  std::unique_ptr<FilterExpression> ParseAnd() {
    auto e = ParseNot();
    while (Peek().kind == Tok::And) {
      Take();
      e = std::make_unique<Logical>(true, std::move(e), ParseNot());
    }
    return e;
  }
  std::unique_ptr<FilterExpression> ParseNot() {
    if (Peek().kind == Tok::Not) {
      Take();
      return std::make_unique<Negation>(ParseNot());
    }
    if (Peek().kind == Tok::LParen) {
      Take();
      auto e = ParseOr();
      if (Take().kind != Tok::RParen) Fail("missing ')'");
      return e;
    }
    Operand left = ParseOperand();
    const Token& op = Take();
    if (op.kind != Tok::Op) Fail("expected a comparison operator instead of '" + op.text + "'");
    Op which = op.op;
    Operand right = ParseOperand();
    return std::make_unique<Comparison>(std::move(left), which, std::move(right));
  }
  Operand ParseOperand() {
    const Token& t = Take();
    Operand o;
    switch (t.kind) {
      case Tok::Name:
        o.is_column = true;
        o.column = resolve_(t.text);
        return o;
      case Tok::Text:
        o.constant = Value(t.text);
        return o;
      case Tok::Number: {
        std::int64_t n = 0;
        if (!ParseInteger(t.text, n)) Fail("number out of range");
        o.constant = Value(static_cast<long long>(n));
        return o;
      }
      default:
        Fail("expected a field name or a value instead of '" + t.text + "'");
    }
  }

  std::string_view text_;
  const std::function<FilterColumn(std::string_view)>& resolve_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<FilterExpression> FilterExpression::Parse(
    std::string_view text, const std::function<FilterColumn(std::string_view)>& resolve) {
  return Parser(text, resolve).Parse();
}

}  // namespace qv::dbimpl

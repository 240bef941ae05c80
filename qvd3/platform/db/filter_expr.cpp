#include "qvd3/platform/db/filter_expr.h"

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/text_case.h"

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

// Every term of a chain "a OR b OR c ..." (or of ANDs) in one node, so
// that a long chain is neither a deep tree to evaluate nor to free.
class Logical : public FilterExpression {
 public:
  Logical(bool is_and, std::vector<std::unique_ptr<FilterExpression>> terms)
      : and_(is_and), terms_(std::move(terms)) {}
  bool Matches(const RowStore& store, const char* record) const override {
    for (const auto& term : terms_)
      if (term->Matches(store, record) != and_) return !and_;
    return and_;
  }

 private:
  bool and_;
  std::vector<std::unique_ptr<FilterExpression>> terms_;
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

// Deepest nesting of parentheses and NOTs a filter may have. The filters of
// the system nest two levels at most.
constexpr int kMaxNesting = 256;
// How much of a malformed text its error message quotes.
constexpr std::size_t kQuotedLength = 200;

enum class Tok { End, Name, Text, Number, Op, LParen, RParen, And, Or, Not };

struct Token {
  Tok kind;
  std::string text;
  Op op = Op::Eq;
};

class Parser {
 public:
  Parser(std::string_view text, const std::function<FilterColumn(std::string_view)>& resolve)
      : text_(text), resolve_(resolve), current_(Lex()) {}

  std::unique_ptr<FilterExpression> Parse() {
    auto e = ParseOr();
    if (Peek().kind != Tok::End) Fail("unexpected '" + Peek().text + "'");
    return e;
  }

 private:
  [[noreturn]] void Fail(const std::string& why) const {
    throw EDatabaseError("Invalid filter expression \"" + Quoted(text_) + "\": " + why);
  }

  // The text as an error message quotes it: a long one is cut after
  // kQuotedLength bytes (at a character boundary) and marked with "...".
  static std::string Quoted(std::string_view text) {
    if (text.size() <= kQuotedLength) return std::string(text);
    std::size_t cut = kQuotedLength;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "...";
  }

  // Reads the token at the read position and moves past it. Tokens are
  // read one ahead of the parser, so a long text is never held twice.
  Token Lex() {
    std::size_t& i = at_;
    const std::size_t n = text_.size();
    while (i < n) {
      char c = text_[i];
      if (std::isspace(static_cast<unsigned char>(c))) { ++i; continue; }
      if (c == '[') {
        std::size_t close = text_.find(']', i);
        if (close == std::string_view::npos) Fail("missing ']'");
        const std::size_t open = i;
        i = close + 1;
        return {Tok::Name, std::string(text_.substr(open + 1, close - open - 1))};
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
        return {Tok::Text, s};
      } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                 (c == '-' && i + 1 < n && std::isdigit(static_cast<unsigned char>(text_[i + 1])))) {
        std::size_t b = i++;
        while (i < n && std::isdigit(static_cast<unsigned char>(text_[i]))) ++i;
        return {Tok::Number, std::string(text_.substr(b, i - b))};
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        std::size_t b = i;
        while (i < n && (std::isalnum(static_cast<unsigned char>(text_[i])) || text_[i] == '_')) ++i;
        std::string word(text_.substr(b, i - b));
        const std::string upper = AsciiUpper(word);
        Tok kind = upper == "AND" ? Tok::And : upper == "OR" ? Tok::Or : upper == "NOT" ? Tok::Not : Tok::Name;
        return {kind, word};
      } else if (c == '(') {
        ++i;
        return {Tok::LParen, "("};
      } else if (c == ')') {
        ++i;
        return {Tok::RParen, ")"};
      } else if (c == '=' || c == '<' || c == '>') {
        const char d = i + 1 < n ? text_[i + 1] : '\0';
        Op op = c == '=' ? Op::Eq : c == '<' ? Op::Lt : Op::Gt;
        std::size_t length = 1;
        if (c == '<' && d == '>') op = Op::Ne, length = 2;
        else if (c == '<' && d == '=') op = Op::Le, length = 2;
        else if (c == '>' && d == '=') op = Op::Ge, length = 2;
        i += length;
        return {Tok::Op, std::string(text_.substr(i - length, length)), op};
      } else {
        Fail(std::string("unexpected character '") + c + "'");
      }
    }
    return {Tok::End, "end of text"};
  }

  const Token& Peek() const { return current_; }
  Token Take() {
    Token taken = std::move(current_);
    current_ = Lex();
    return taken;
  }

  std::unique_ptr<FilterExpression> ParseOr() { return ParseChain(Tok::Or); }
  std::unique_ptr<FilterExpression> ParseAnd() { return ParseChain(Tok::And); }

  // One or more terms joined by `join` (OR terms are AND chains, AND terms
  // are NOT or primary expressions).
  std::unique_ptr<FilterExpression> ParseChain(Tok join) {
    auto term = [&] { return join == Tok::Or ? ParseAnd() : ParseNot(); };
    auto first = term();
    if (Peek().kind != join) return first;
    std::vector<std::unique_ptr<FilterExpression>> terms;
    terms.push_back(std::move(first));
    while (Peek().kind == join) {
      Take();
      terms.push_back(term());
    }
    return std::make_unique<Logical>(join == Tok::And, std::move(terms));
  }

  std::unique_ptr<FilterExpression> ParseNot() {
    if (Peek().kind == Tok::Not || Peek().kind == Tok::LParen) {
      // Parentheses and NOTs are the only recursion of the grammar; a bound
      // on their nesting keeps a hostile text from exhausting the stack.
      if (++depth_ > kMaxNesting)
        Fail("nested deeper than " + std::to_string(kMaxNesting) + " parentheses or NOTs");
      std::unique_ptr<FilterExpression> e;
      if (Take().kind == Tok::Not) {
        e = std::make_unique<Negation>(ParseNot());
      } else {
        e = ParseOr();
        if (Take().kind != Tok::RParen) Fail("missing ')'");
      }
      --depth_;
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
  std::size_t at_ = 0;  // read position in text_
  Token current_;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<FilterExpression> FilterExpression::Parse(
    std::string_view text, const std::function<FilterColumn(std::string_view)>& resolve) {
  return Parser(text, resolve).Parse();
}

}  // namespace qv::dbimpl

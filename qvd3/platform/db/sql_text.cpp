#include "qvd3/platform/db/sql_text.h"

#include <cctype>

#include "qvd3/platform/db/engine.h"
#include "qvd3/platform/sys/text_case.h"

namespace qv::dbimpl {
namespace {

bool IsNameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; }

// One lexical piece of SQL text that matters to us.
enum class Piece { Parameter, Word, Punct, Skipped, Quoted };

// Walks `sql` calling `visit(piece, begin, end)` for each piece. Literals,
// comments and whitespace come as Skipped (quoted identifiers as Quoted);
// everything is visited, so the pieces concatenated give `sql` back.
template <typename Visit>
void Lex(std::string_view sql, Visit&& visit) {
  std::size_t i = 0, n = sql.size();
  while (i < n) {
    std::size_t start = i;
    char c = sql[i];
    if (c == '\'') {
      ++i;
      while (i < n) {
        if (sql[i] == '\'') {
          if (i + 1 < n && sql[i + 1] == '\'') { i += 2; continue; }
          ++i;
          break;
        }
        ++i;
      }
      visit(Piece::Skipped, start, i);
    } else if (c == '"') {
      ++i;
      while (i < n && sql[i] != '"') ++i;
      if (i < n) ++i;
      visit(Piece::Quoted, start, i);
    } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
      visit(Piece::Skipped, start, i);
    } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
      i += 2;
      while (i < n && !(sql[i] == '*' && i + 1 < n && sql[i + 1] == '/')) ++i;
      i = i < n ? i + 2 : n;
      visit(Piece::Skipped, start, i);
    } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
      i += 2;
      visit(Piece::Punct, start, i);
    } else if (c == ':' && i + 1 < n && IsNameStart(sql[i + 1])) {
      i += 1;
      while (i < n && IsNameChar(sql[i])) ++i;
      visit(Piece::Parameter, start, i);
    } else if (IsNameStart(c)) {
      while (i < n && IsNameChar(sql[i])) ++i;
      visit(Piece::Word, start, i);
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      while (i < n && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
      visit(Piece::Skipped, start, i);
    } else {
      ++i;
      visit(Piece::Punct, start, i);
    }
  }
}

int IndexOf(const std::vector<std::string>& names, std::string_view name) {
  for (std::size_t k = 0; k < names.size(); ++k)
    if (SameText(names[k], name)) return static_cast<int>(k);
  return -1;
}

}  // namespace

std::vector<std::string> ParameterNames(std::string_view sql) {
  std::vector<std::string> names;
  Lex(sql, [&](Piece piece, std::size_t b, std::size_t e) {
    if (piece != Piece::Parameter) return;
    std::string_view name = sql.substr(b + 1, e - b - 1);
    if (IndexOf(names, name) < 0) names.emplace_back(name);
  });
  return names;
}

std::string TranslateParameters(std::string_view sql,
                                const std::function<std::string(int)>& placeholder) {
  std::vector<std::string> names = ParameterNames(sql);
  std::string out;
  out.reserve(sql.size() + 8);
  Lex(sql, [&](Piece piece, std::size_t b, std::size_t e) {
    if (piece == Piece::Parameter)
      out += placeholder(IndexOf(names, sql.substr(b + 1, e - b - 1)) + 1);
    else
      out.append(sql.substr(b, e - b));
  });
  return out;
}

SelectShape AnalyzeSelect(std::string_view sql) {
  struct Token {
    Piece piece;
    std::string_view text;
    std::size_t offset;
    int depth;
  };
  std::vector<Token> tokens;
  int depth = 0;
  Lex(sql, [&](Piece piece, std::size_t b, std::size_t e) {
    if (piece == Piece::Skipped) return;
    std::string_view text = sql.substr(b, e - b);
    if (text == ")") --depth;
    tokens.push_back({piece, text, b, depth});
    if (text == "(") ++depth;
  });
  SelectShape shape;
  std::size_t i = 0;
  while (i < tokens.size() && !(tokens[i].depth == 0 && tokens[i].piece == Piece::Word &&
                                SameText(tokens[i].text, "from")))
    ++i;
  if (i + 1 >= tokens.size()) return shape;
  shape.from_offset = tokens[i].offset;
  const Token& table = tokens[i + 1];
  if (table.piece != Piece::Word && table.piece != Piece::Quoted) return shape;
  shape.table = std::string(table.text);
  std::size_t k = i + 2;
  // Table name qualified by a schema: schema.table
  if (k + 1 < tokens.size() && tokens[k].text == ".") {
    shape.table += "." + std::string(tokens[k + 1].text);
    k += 2;
  }
  // An alias (with or without AS) is allowed; then the clause must end.
  static const char* kEnders[] = {"where", "order", "group", "limit", "having", "for"};
  auto ends_clause = [&](const Token& t) {
    if (t.piece != Piece::Word) return t.text == ";";
    for (const char* w : kEnders)
      if (SameText(t.text, w)) return true;
    return false;
  };
  if (k < tokens.size() && tokens[k].piece == Piece::Word && SameText(tokens[k].text, "as")) ++k;
  if (k < tokens.size() && tokens[k].piece == Piece::Word && !ends_clause(tokens[k])) ++k;
  shape.single_table = k >= tokens.size() || ends_clause(tokens[k]);
  return shape;
}

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace qv::dbimpl

#include "qvd3/platform/db/hide_passwords.h"

#include <cctype>

namespace qv {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
  return true;
}

// The end of a key=value value starting at `at`: a quoted value runs to its
// closing quote (backslash escapes), a bare one to the next blank, and in a
// URI's query also to the next "&".
std::size_t ValueEnd(std::string_view text, std::size_t at, bool inQuery) {
  if (at < text.size() && text[at] == '\'') {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
      if (text[i] == '\\') {
        ++i;
      } else if (text[i] == '\'') {
        return i + 1;
      }
    }
    return text.size();
  }
  std::size_t i = at;
  while (i < text.size() && !IsBlank(text[i]) && !(inQuery && text[i] == '&')) ++i;
  return i;
}

// At `at` a password key ("password", "sslpassword") followed by "=":
// returns where its value starts, or npos.
std::size_t PasswordValueAt(std::string_view text, std::size_t at) {
  for (std::string_view key : {std::string_view("sslpassword"), std::string_view("password")}) {
    if (!StartsWithNoCase(text, at, key)) continue;
    std::size_t i = at + key.size();
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i >= text.size() || text[i] != '=') return std::string_view::npos;
    ++i;
    while (i < text.size() && IsBlank(text[i]) && text[i] != '\n') ++i;
    return i;
  }
  return std::string_view::npos;
}

// At `at` a "postgresql://" or "postgres://" URI: returns the span of the
// password in its user information ("user:password@"), or {npos, npos}.
std::pair<std::size_t, std::size_t> UriPasswordAt(std::string_view text, std::size_t at) {
  const std::size_t none = std::string_view::npos;
  std::size_t start = none;
  for (std::string_view scheme : {std::string_view("postgresql://"), std::string_view("postgres://")})
    if (StartsWithNoCase(text, at, scheme)) {
      start = at + scheme.size();
      break;
    }
  if (start == none) return {none, none};
  std::size_t end = start;
  while (end < text.size() && !IsBlank(text[end]) && text[end] != '/' && text[end] != '?' && text[end] != '#') ++end;
  const std::size_t atSign = text.substr(start, end - start).rfind('@');
  if (atSign == none) return {none, none};
  const std::size_t colon = text.substr(start, atSign).find(':');
  if (colon == none) return {none, none};
  return {start + colon + 1, start + atSign};
}

}  // namespace

std::string HidePasswords(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  bool inQuery = false;  // inside the query of a URI, where "&" ends a value
  for (std::size_t i = 0; i < text.size();) {
    const char previous = i == 0 ? ' ' : text[i - 1];
    if (IsBlank(previous)) inQuery = false;
    if (auto [from, to] = UriPasswordAt(text, i); from != std::string_view::npos) {
      result.append(text.substr(i, from - i)).append("***");
      i = to;
      continue;
    }
    if (previous == '?') inQuery = true;
    if (IsBlank(previous) || previous == '?' || previous == '&' || i == 0) {
      if (std::size_t value = PasswordValueAt(text, i); value != std::string_view::npos) {
        result.append(text.substr(i, value - i)).append("***");
        i = ValueEnd(text, value, inQuery);
        continue;
      }
    }
    result += text[i++];
  }
  return result;
}

}  // namespace qv

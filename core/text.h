// Small text helpers shared by every layer: ASCII letter case and the
// doubling of quote characters inside quoted SQL text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace q8 {

constexpr char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
constexpr char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Equality that ignores the case of ASCII letters (names, keywords and
// keys; other bytes compare as they are).
constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// `s` with its ASCII letters in lower or upper case.
std::string ToLowerAscii(std::string_view s);
std::string ToUpperAscii(std::string_view s);

// The position of the first occurrence of `pattern` in `text` from `from`
// on, ASCII letters compared without regard to case; npos when none.
size_t FindNoCase(std::string_view text, std::string_view pattern, size_t from = 0);

// `text` with every `quote` doubled, as it goes between two quotes of an SQL
// literal or quoted name ("it's" → "it''s").
std::string DoubleQuotes(std::string_view text, char quote = '\'');

// Appends `text` between two `quote` characters, those inside doubled:
// 'it''s' as a string literal, "a""b" as a quoted name.
void AppendQuoted(std::string& out, std::string_view text, char quote = '\'');

}  // namespace q8

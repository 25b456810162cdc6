// The T-SQL tokenizer.
//
// Splits a batch into tokens: words (identifiers and keywords, including
// "#temp" and "@variable" names), quoted identifiers ([…] and "…"), string
// literals ('…' with doubled quotes, and N'…'), numbers, operators and
// punctuation. Whitespace and comments ("--" to the end of the line, "/* */",
// which T-SQL lets nest) are not tokens; each token records whether a line
// break or any blank came before it, which is all the layout the rewriter
// keeps. Text inside comments never opens a string or a bracket.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"
#include "drivers/sqlite/tsql/keywords.h"

namespace q8::tsql {

enum class TokKind : uint8_t {
  kEnd,      // the end of the text (always the last token)
  kWord,     // identifier or keyword: letters, digits, _ # @ $, not starting with a digit
  kQuoted,   // [name] or "name"
  kString,   // 'text'
  kNString,  // N'text'
  kNumber,   // 12, 12.5, .5, 1e3, 0x1F
  kParam,    // ?
  kOp,       // + - * / % = < > <= >= <> != !< !> & | ^ ~ ! ||
  kLParen,
  kRParen,
  kComma,
  kDot,
  kSemicolon,
  kOther,  // any other character, passed through as it stands
};

struct Token {
  TokKind kind = TokKind::kEnd;
  Kw kw = Kw::kNone;       // the keyword a kWord spells, without regard to case
  bool nl_before = false;  // a line break (possibly inside a comment) precedes the token
  bool ws_before = false;  // any whitespace or comment precedes the token
  // A string or quoted name that runs to the end of the text; on the kEnd
  // token, a "/*" comment that does.
  bool unterminated = false;
  uint32_t pos = 0;
  uint32_t len = 0;
};

// Tokenizes `src`. The result ends with one kEnd token at src.size().
std::vector<Token> Tokenize(std::string_view src);

inline std::string_view TokenText(std::string_view src, const Token& t) {
  return src.substr(t.pos, t.len);
}

// The name a kWord or kQuoted token stands for: the word itself, or the
// quoted text with the quotes removed and doubled closing quotes undone.
std::string IdentName(std::string_view src, const Token& t);

// The value of a kString or kNString token: the text between the quotes with
// doubled quotes undone.
std::string StringValue(std::string_view src, const Token& t);

// Appends `name` as an SQLite quoted identifier ("…" with doubled quotes).
void AppendQuotedIdent(std::string& out, std::string_view name);
// Appends `value` as an SQLite string literal ('…' with doubled quotes).
void AppendStringLiteral(std::string& out, std::string_view value);

// A hash of a name that ignores ASCII letter case (FNV-1a of the lower case).
inline uint32_t NameKey(std::string_view name) {
  uint32_t h = 2166136261u;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') u = static_cast<unsigned char>(u + 32);
    h = (h ^ u) * 16777619u;
  }
  return h;
}

inline bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace q8::tsql

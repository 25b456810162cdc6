// The T-SQL tokenizer and keyword table.
#include "drivers/sqlite/tsql/tokenizer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace q8::tsql {
namespace {

struct KeywordEntry {
  char name[20];
  Kw kw;
};

constexpr KeywordEntry MakeEntry(const char* name, Kw kw) {
  KeywordEntry e{};
  for (int i = 0; name[i] != 0 && i < 19; ++i) e.name[i] = LowerAscii(name[i]);
  e.kw = kw;
  return e;
}

constexpr auto MakeTable() {
  std::array<KeywordEntry, 0
#define Q8_TSQL_KW_COUNT(name) +1
             Q8_TSQL_KEYWORDS(Q8_TSQL_KW_COUNT)
#undef Q8_TSQL_KW_COUNT
             >
      table{};
  size_t i = 0;
#define Q8_TSQL_KW_ENTRY(name) table[i++] = MakeEntry(#name, Kw::k##name);
  Q8_TSQL_KEYWORDS(Q8_TSQL_KW_ENTRY)
#undef Q8_TSQL_KW_ENTRY
  return table;
}

constexpr auto kKeywords = MakeTable();

inline bool IsWordStart(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '#' || c == '@' ||
         c >= 0x80;
}
inline bool IsWordChar(unsigned char c) {
  return IsWordStart(c) || (c >= '0' && c <= '9') || c == '$';
}
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

namespace {

// Keywords by NameKey in an open-addressing table, filled once.
struct KeywordTable {
  static constexpr size_t kSize = 512;  // a power of two, well above the keyword count
  struct Slot {
    std::string_view name;
    Kw kw = Kw::kNone;
  };
  std::array<Slot, kSize> slots{};
  KeywordTable() {
    for (const KeywordEntry& e : kKeywords) {
      std::string_view name(e.name);
      size_t i = NameKey(name) & (kSize - 1);
      while (slots[i].kw != Kw::kNone) i = (i + 1) & (kSize - 1);
      slots[i] = {name, e.kw};
    }
  }
};

const KeywordTable& Keywords() {
  static const KeywordTable table;
  return table;
}

}  // namespace

Kw LookupKeyword(std::string_view word) {
  if (word.size() < 2 || word.size() >= 20) return Kw::kNone;
  const KeywordTable& t = Keywords();
  size_t i = NameKey(word) & (KeywordTable::kSize - 1);
  while (t.slots[i].kw != Kw::kNone) {
    if (EqualsNoCase(t.slots[i].name, word)) return t.slots[i].kw;
    i = (i + 1) & (KeywordTable::kSize - 1);
  }
  return Kw::kNone;
}

std::vector<Token> Tokenize(std::string_view src) {
  std::vector<Token> out;
  out.reserve(src.size() / 4 + 8);
  const size_t n = src.size();
  size_t i = 0;
  bool nl = false, ws = false, open_comment = false;
  auto at = [&](size_t k) -> unsigned char {
    return k < n ? static_cast<unsigned char>(src[k]) : 0;
  };
  while (true) {
    // Whitespace and comments.
    while (i < n) {
      unsigned char c = at(i);
      if (c == '\n') {
        nl = ws = true;
        ++i;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ws = true;
        ++i;
      } else if (c == '-' && at(i + 1) == '-') {
        // A line comment ends at LF, so a CR LF line end closes it as well.
        ws = true;
        while (i < n && src[i] != '\n') ++i;
      } else if (c == '/' && at(i + 1) == '*') {
        // Block comments nest in T-SQL; an unclosed one runs to the end,
        // which the end token records.
        ws = true;
        int depth = 0;
        while (i < n) {
          if (src[i] == '/' && at(i + 1) == '*') {
            ++depth;
            i += 2;
          } else if (src[i] == '*' && at(i + 1) == '/') {
            i += 2;
            if (--depth == 0) break;
          } else {
            if (src[i] == '\n') nl = true;
            ++i;
          }
        }
        if (depth > 0) open_comment = true;
      } else {
        break;
      }
    }
    Token t;
    t.pos = static_cast<uint32_t>(i);
    t.nl_before = nl;
    t.ws_before = ws;
    nl = ws = false;
    if (i >= n) {
      t.kind = TokKind::kEnd;
      t.unterminated = open_comment;
      out.push_back(t);
      break;
    }
    unsigned char c = at(i);
    size_t start = i;
    if ((c == 'N' || c == 'n') && at(i + 1) == '\'') {
      t.kind = TokKind::kNString;
      ++i;
      c = '\'';
    }
    if (c == '\'') {
      if (t.kind != TokKind::kNString) t.kind = TokKind::kString;
      ++i;
      t.unterminated = true;
      while (i < n) {
        if (src[i] == '\'') {
          if (at(i + 1) == '\'') {
            i += 2;
            continue;
          }
          ++i;
          t.unterminated = false;
          break;
        }
        ++i;
      }
    } else if (c == '[' || c == '"') {
      char close = c == '[' ? ']' : '"';
      t.kind = TokKind::kQuoted;
      ++i;
      t.unterminated = true;
      while (i < n) {
        if (src[i] == close) {
          if (at(i + 1) == static_cast<unsigned char>(close)) {
            i += 2;
            continue;
          }
          ++i;
          t.unterminated = false;
          break;
        }
        ++i;
      }
    } else if (IsDigit(c) || (c == '.' && IsDigit(at(i + 1)))) {
      t.kind = TokKind::kNumber;
      if (c == '0' && (at(i + 1) == 'x' || at(i + 1) == 'X')) {
        i += 2;
        while (i < n && std::isxdigit(at(i))) ++i;
      } else {
        while (IsDigit(at(i))) ++i;
        if (at(i) == '.') {
          ++i;
          while (IsDigit(at(i))) ++i;
        }
        if ((at(i) == 'e' || at(i) == 'E') &&
            (IsDigit(at(i + 1)) ||
             ((at(i + 1) == '+' || at(i + 1) == '-') && IsDigit(at(i + 2))))) {
          i += 2;
          while (IsDigit(at(i))) ++i;
        }
      }
    } else if (IsWordStart(c)) {
      t.kind = TokKind::kWord;
      ++i;
      while (i < n && IsWordChar(at(i))) ++i;
    } else {
      ++i;
      switch (c) {
        case '(':
          t.kind = TokKind::kLParen;
          break;
        case ')':
          t.kind = TokKind::kRParen;
          break;
        case ',':
          t.kind = TokKind::kComma;
          break;
        case '.':
          t.kind = TokKind::kDot;
          break;
        case ';':
          t.kind = TokKind::kSemicolon;
          break;
        case '?':
          t.kind = TokKind::kParam;
          break;
        case '<':
          t.kind = TokKind::kOp;
          if (at(i) == '=' || at(i) == '>') ++i;
          break;
        case '>':
        case '=':
          t.kind = TokKind::kOp;
          if (c == '>' && at(i) == '=') ++i;
          break;
        case '!':
          t.kind = TokKind::kOp;
          if (at(i) == '=' || at(i) == '<' || at(i) == '>') ++i;
          break;
        case '|':
          t.kind = TokKind::kOp;
          if (at(i) == '|') ++i;
          break;
        case '+':
        case '-':
        case '*':
        case '/':
        case '%':
        case '&':
        case '^':
        case '~':
          t.kind = TokKind::kOp;
          break;
        default:
          t.kind = TokKind::kOther;
          break;
      }
    }
    t.len = static_cast<uint32_t>(i - start);
    if (t.kind == TokKind::kWord && c != '#' && c != '@')
      t.kw = LookupKeyword(src.substr(start, t.len));
    out.push_back(t);
  }
  return out;
}

std::string IdentName(std::string_view src, const Token& t) {
  std::string_view text = TokenText(src, t);
  if (t.kind != TokKind::kQuoted || text.empty()) return std::string(text);
  char close = text[0] == '[' ? ']' : '"';
  std::string_view inner = text.substr(1, text.size() - (t.unterminated ? 1 : 2));
  std::string out;
  out.reserve(inner.size());
  for (size_t i = 0; i < inner.size(); ++i) {
    out.push_back(inner[i]);
    if (inner[i] == close && i + 1 < inner.size() && inner[i + 1] == close) ++i;
  }
  return out;
}

std::string StringValue(std::string_view src, const Token& t) {
  std::string_view text = TokenText(src, t);
  size_t skip = t.kind == TokKind::kNString ? 2 : 1;
  if (text.size() < skip) return {};
  std::string_view inner = text.substr(skip, text.size() - skip - (t.unterminated ? 0 : 1));
  std::string out;
  out.reserve(inner.size());
  for (size_t i = 0; i < inner.size(); ++i) {
    out.push_back(inner[i]);
    if (inner[i] == '\'' && i + 1 < inner.size() && inner[i + 1] == '\'') ++i;
  }
  return out;
}

void AppendQuotedIdent(std::string& out, std::string_view name) { AppendQuoted(out, name, '"'); }

void AppendStringLiteral(std::string& out, std::string_view value) {
  AppendQuoted(out, value, '\'');
}

}  // namespace q8::tsql

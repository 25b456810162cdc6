// The text SQLite functions of translated statements: LEFT, RIGHT,
// SUBSTRING, SPACE, REPLICATE, REVERSE, ISNUMERIC and CHAR, and the functions
// that compare text as the server's default collation does (without regard
// to letter case): LIKE with SQL Server's patterns, CHARINDEX, REPLACE, UPPER
// and LOWER.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "drivers/sqlite/tsql/collation.h"
#include "drivers/sqlite/tsql/function_support.h"

namespace q8::tsql::fn {
namespace {

size_t Utf8Length(std::string_view s) {
  size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The byte offset of character `k` (0-based) in s.
size_t Utf8Offset(std::string_view s, size_t k) {
  size_t i = 0;
  while (i < s.size() && k > 0) {
    ++i;
    while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
    --k;
  }
  return i;
}

void Right(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  std::string_view s = TextOf(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return Error(ctx, "Invalid length parameter passed to the right function.");
  size_t len = Utf8Length(s);
  size_t skip = static_cast<uint64_t>(n) >= len ? 0 : len - static_cast<size_t>(n);
  std::string_view r = s.substr(Utf8Offset(s, skip));
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void Left(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  std::string_view s = TextOf(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return Error(ctx, "Invalid length parameter passed to the left function.");
  const size_t len = Utf8Length(s);
  const size_t take = static_cast<uint64_t>(n) >= len ? len : static_cast<size_t>(n);
  std::string_view r = s.substr(0, Utf8Offset(s, take));
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

// SUBSTRING(s, start, length): the characters at positions start to
// start + length - 1 that exist (positions count from 1; a start of 0 or
// below only shortens what is left of the length).
void Substring(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(3, argv)) return;
  std::string_view s = TextOf(argv[0]);
  const int64_t start = sqlite3_value_int64(argv[1]);
  const int64_t n = sqlite3_value_int64(argv[2]);
  if (n < 0) return Error(ctx, "Invalid length parameter passed to the substring function.");
  const int64_t len = static_cast<int64_t>(Utf8Length(s));
  const int64_t first = std::max<int64_t>(start, 1);
  // One past the last position: start + n, unless that passes the end.
  int64_t end = 0;
  const int64_t stop = __builtin_add_overflow(start, n, &end) ? len + 1 : std::min(len + 1, end);
  if (first >= stop) return sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
  const size_t b = Utf8Offset(s, static_cast<size_t>(first - 1));
  const size_t e = b + Utf8Offset(s.substr(b), static_cast<size_t>(stop - first));
  std::string_view r = s.substr(b, e - b);
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void Space(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  int64_t n = sqlite3_value_int64(argv[0]);
  if (n < 0) return;  // SPACE of a negative count is NULL
  if (n > 8000) n = 8000;
  std::string s(static_cast<size_t>(n), ' ');
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

void Replicate(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  std::string_view s = TextOf(argv[0]);
  int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return;
  std::string r;
  for (int64_t i = 0; i < n && r.size() + s.size() <= 8000; ++i) r.append(s);
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

void Reverse(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  std::string_view s = TextOf(argv[0]);
  std::string r;
  r.reserve(s.size());
  size_t end = s.size();
  while (end > 0) {
    size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    r.append(s.substr(start, end - start));
    end = start;
  }
  sqlite3_result_text(ctx, r.data(), static_cast<int>(r.size()), SQLITE_TRANSIENT);
}

// ISNUMERIC(x): 1 when x converts to one of the number types, money
// included. So besides ordinary numbers it accepts what money reads: a
// currency sign, digits grouped with commas, and (as SQL Server does) a lone
// sign, currency sign or point. An exponent needs its digits; blanks around
// are allowed.
bool LooksNumeric(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  if (s.empty()) return false;
  const auto currency = [&s] {
    for (std::string_view sign : {"$", "\xC2\xA3", "\xC2\xA5", "\xE2\x82\xAC"}) {  // $ £ ¥ €
      if (s.starts_with(sign)) {
        s.remove_prefix(sign.size());
        return true;
      }
    }
    return false;
  };
  const bool money = currency();
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
  const bool money_after_sign = !money && currency();
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  size_t digits = 0;
  bool comma = false;
  while (!s.empty() && ((s.front() >= '0' && s.front() <= '9') || s.front() == ',')) {
    if (s.front() == ',') {
      comma = true;
    } else {
      ++digits;
    }
    s.remove_prefix(1);
  }
  if (!s.empty() && s.front() == '.') {
    s.remove_prefix(1);
    while (!s.empty() && s.front() >= '0' && s.front() <= '9') {
      ++digits;
      s.remove_prefix(1);
    }
  }
  if (!s.empty() && digits > 0 && !comma && !money && !money_after_sign &&
      (s.front() == 'e' || s.front() == 'E' || s.front() == 'd' || s.front() == 'D')) {
    s.remove_prefix(1);
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) s.remove_prefix(1);
    if (s.empty() || s.front() < '0' || s.front() > '9') return false;
    while (!s.empty() && s.front() >= '0' && s.front() <= '9') s.remove_prefix(1);
  }
  return s.empty();
}

void IsNumeric(sqlite3_context* ctx, int, sqlite3_value** argv) {
  int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return sqlite3_result_int(ctx, 1);
  if (type != SQLITE_TEXT) return sqlite3_result_int(ctx, 0);
  sqlite3_result_int(ctx, LooksNumeric(TextOf(argv[0])) ? 1 : 0);
}

// CHAR(n): the character of code n, NULL outside 0 to 255.
void Char(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  const int64_t n = sqlite3_value_int64(argv[0]);
  if (n < 0 || n > 255) return;
  char out[2];
  int len = 1;
  if (n < 0x80) {
    out[0] = static_cast<char>(n);
  } else {
    out[0] = static_cast<char>(0xC0 | (n >> 6));
    out[1] = static_cast<char>(0x80 | (n & 0x3F));
    len = 2;
  }
  sqlite3_result_text(ctx, out, len, SQLITE_TRANSIENT);
}

// ---- comparisons under the collation ----

// A text as its code points folded to lower case, with the byte offset
// where each begins (and one past the end).
struct Folded {
  std::vector<uint32_t> cp;
  std::vector<size_t> at;
};

Folded Fold(std::string_view s) {
  Folded f;
  f.cp.reserve(s.size());
  f.at.reserve(s.size() + 1);
  size_t i = 0;
  while (i < s.size()) {
    f.at.push_back(i);
    f.cp.push_back(FoldCase(DecodeUtf8(s, i)));
  }
  f.at.push_back(s.size());
  return f;
}

// The first position from `from` where `needle` stands in `hay`, or npos.
size_t FindFolded(const Folded& hay, const Folded& needle, size_t from) {
  const size_t n = needle.cp.size(), m = hay.cp.size();
  if (n == 0 || n > m || from > m - n) return std::string::npos;
  for (size_t i = from; i + n <= m; ++i) {
    size_t k = 0;
    while (k < n && hay.cp[i + k] == needle.cp[k]) ++k;
    if (k == n) return i;
  }
  return std::string::npos;
}

// tsql_charindex(find, text [, start]): the position (from 1) of the first
// occurrence of find in text at or after start, letter case ignored; 0 when
// there is none or find is empty.
void CharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return;
  const Folded needle = Fold(TextOf(argv[0]));
  const Folded hay = Fold(TextOf(argv[1]));
  int64_t start = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) start = 1;
  const size_t at = FindFolded(hay, needle, static_cast<size_t>(start - 1));
  sqlite3_result_int64(ctx, at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// tsql_replace(text, find, with): every occurrence of find, letter case
// ignored, replaced; the rest of the text as it was.
void Replace(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(3, argv)) return;
  const std::string_view text = TextOf(argv[0]);
  const Folded hay = Fold(text);
  const Folded needle = Fold(TextOf(argv[1]));
  const std::string_view with = TextOf(argv[2]);
  std::string out;
  size_t pos = 0;
  for (;;) {
    const size_t at = FindFolded(hay, needle, pos);
    if (at == std::string::npos) break;
    out.append(text.substr(hay.at[pos], hay.at[at] - hay.at[pos]));
    out.append(with);
    pos = at + needle.cp.size();
  }
  out.append(text.substr(hay.at[pos]));
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

template <uint32_t (*Map)(uint32_t)>
void MapCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (AnyNull(1, argv)) return;
  const std::string_view s = TextOf(argv[0]);
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) AppendUtf8(out, Map(DecodeUtf8(s, i)));
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// ---- LIKE ----

// One element of a LIKE pattern.
struct PatternItem {
  enum Kind : uint8_t { kChar, kAnyOne, kAnyRun, kSet } kind = kChar;
  uint32_t c = 0;                                     // kChar: the folded code point
  bool negated = false;                               // kSet: [^…]
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // kSet: folded [first, last]
};

// Reads SQL Server's pattern syntax: % any run, _ any one character, [abc],
// [a-c] and [^a-c] sets (where %, _ and [ stand for themselves), and the
// escape character before a character that stands for itself. A [ that is
// never closed stands for itself.
std::vector<PatternItem> ParsePattern(std::string_view p, bool has_escape, uint32_t escape) {
  std::vector<uint32_t> cps;
  size_t i = 0;
  while (i < p.size()) cps.push_back(DecodeUtf8(p, i));
  std::vector<PatternItem> out;
  for (size_t k = 0; k < cps.size(); ++k) {
    const uint32_t c = cps[k];
    PatternItem item;
    if (has_escape && c == escape && k + 1 < cps.size()) {
      item.c = FoldCase(cps[++k]);
    } else if (c == '%') {
      if (!out.empty() && out.back().kind == PatternItem::kAnyRun) continue;
      item.kind = PatternItem::kAnyRun;
    } else if (c == '_') {
      item.kind = PatternItem::kAnyOne;
    } else if (c == '[') {
      // The set runs to the first ] after its first character.
      size_t close = k + 2;
      while (close < cps.size() && cps[close] != ']') ++close;
      if (close >= cps.size()) {
        item.c = '[';
      } else {
        item.kind = PatternItem::kSet;
        size_t j = k + 1;
        if (cps[j] == '^' && j + 1 < close) {
          item.negated = true;
          ++j;
        }
        for (; j < close; ++j) {
          uint32_t first = FoldCase(cps[j]), last = first;
          if (j + 2 < close && cps[j + 1] == '-') {
            last = FoldCase(cps[j + 2]);
            j += 2;
          }
          item.ranges.emplace_back(first, last);
        }
        k = close;
      }
    } else {
      item.c = FoldCase(c);
    }
    out.push_back(std::move(item));
  }
  return out;
}

bool MatchOne(const PatternItem& item, uint32_t c) {
  switch (item.kind) {
    case PatternItem::kChar:
      return item.c == c;
    case PatternItem::kAnyOne:
      return true;
    case PatternItem::kSet: {
      bool in = false;
      for (const auto& [first, last] : item.ranges) in = in || (c >= first && c <= last);
      return in != item.negated;
    }
    case PatternItem::kAnyRun:
      return false;
  }
  return false;
}

// Matches with the last % taking back one character at a time: linear in
// most patterns, never worse than the text times the pattern.
bool Match(const std::vector<PatternItem>& pat, const std::vector<uint32_t>& text, size_t n) {
  size_t p = 0, t = 0;
  size_t star = std::string::npos, star_t = 0;
  while (t < n) {
    if (p < pat.size() && pat[p].kind == PatternItem::kAnyRun) {
      star = p++;
      star_t = t;
    } else if (p < pat.size() && MatchOne(pat[p], text[t])) {
      ++p;
      ++t;
    } else if (star != std::string::npos) {
      p = star + 1;
      t = ++star_t;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p].kind == PatternItem::kAnyRun) ++p;
  return p == pat.size();
}

// tsql_like(text, pattern [, escape]) and tsql_nlike(…): text LIKE pattern,
// letter case ignored. Between varchar values (tsql_like) blanks that end the
// text do not count (those of the pattern do); once an nvarchar takes part
// (tsql_nlike), Unicode matching counts every character.
template <bool kUnicode>
void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return;
  uint32_t escape = 0;
  bool has_escape = false;
  if (argc > 2) {
    const std::string_view e = TextOf(argv[2]);
    size_t i = 0;
    if (!e.empty()) {
      escape = DecodeUtf8(e, i);
      has_escape = true;
    }
  }
  const std::vector<PatternItem> pat = ParsePattern(TextOf(argv[1]), has_escape, escape);
  const std::string_view s = TextOf(argv[0]);
  std::vector<uint32_t> text;
  text.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) text.push_back(FoldCase(DecodeUtf8(s, i)));
  size_t n = text.size();
  bool match = Match(pat, text, n);
  if (!match && !kUnicode) {
    while (n > 0 && text[n - 1] == ' ') --n;
    if (n != text.size()) match = Match(pat, text, n);
  }
  sqlite3_result_int(ctx, match ? 1 : 0);
}

}  // namespace

int RegisterTextFunctions(sqlite3* db) {
  static constexpr Scalar kScalars[] = {
      {"tsql_left", 2, true, Left},
      {"tsql_right", 2, true, Right},
      {"tsql_substring", 3, true, Substring},
      {"tsql_space", 1, true, Space},
      {"tsql_replicate", 2, true, Replicate},
      {"tsql_reverse", 1, true, Reverse},
      {"tsql_isnumeric", 1, true, IsNumeric},
      {"tsql_char", 1, true, Char},
      {"tsql_charindex", 2, true, CharIndex},
      {"tsql_charindex", 3, true, CharIndex},
      {"tsql_replace", 3, true, Replace},
      {"tsql_upper", 1, true, MapCase<UpperCase>},
      {"tsql_lower", 1, true, MapCase<FoldCase>},
      {"tsql_like", 2, true, Like<false>},
      {"tsql_like", 3, true, Like<false>},
      {"tsql_nlike", 2, true, Like<true>},
      {"tsql_nlike", 3, true, Like<true>},
  };
  return RegisterScalars(db, kScalars);
}

}  // namespace q8::tsql::fn

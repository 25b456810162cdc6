// Small text helpers shared by every layer.
#include "core/text.h"

namespace q8 {

std::string ToLowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::string ToUpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperAscii(c);
  return out;
}

size_t FindNoCase(std::string_view text, std::string_view pattern, size_t from) {
  if (from > text.size() || pattern.size() > text.size() - from) return std::string_view::npos;
  for (size_t i = from; i + pattern.size() <= text.size(); ++i) {
    if (EqualsNoCase(text.substr(i, pattern.size()), pattern)) return i;
  }
  return std::string_view::npos;
}

std::string DoubleQuotes(std::string_view text, char quote) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  return out;
}

void AppendQuoted(std::string& out, std::string_view text, char quote) {
  out.push_back(quote);
  for (char c : text) {
    out.push_back(c);
    if (c == quote) out.push_back(quote);
  }
  out.push_back(quote);
}

}  // namespace q8

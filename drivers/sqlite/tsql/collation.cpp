// The TSQL_CI collation.
#include "drivers/sqlite/tsql/collation.h"

namespace q8::tsql {

uint32_t DecodeUtf8(std::string_view s, size_t& i) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + static_cast<size_t>(extra) >= s.size()) {
    // A continuation byte out of place, or a sequence cut short: the byte
    // maps into a private range and compares by itself.
    ++i;
    return 0xDC00 + c;
  }
  uint32_t cp = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    unsigned char cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return 0xDC00 + c;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  i += static_cast<size_t>(extra) + 1;
  return cp;
}

namespace {

std::string_view TrimTrailingBlanks(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}

}  // namespace

uint32_t FoldCase(uint32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c + 32 : c;
  if (c < 0x180) {
    if (c <= 0x137) return (c % 2 == 0 && c != 0x130) ? c + 1 : (c == 0x130 ? 'i' : c);
    if (c >= 0x139 && c <= 0x148) return c % 2 == 1 ? c + 1 : c;
    if (c >= 0x14A && c <= 0x177) return c % 2 == 0 ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return c % 2 == 1 ? c + 1 : c;
    if (c == 0x17F) return 's';
    return c;
  }
  if (c >= 0x386 && c <= 0x3AB) {
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c == 0x3AA || c == 0x3AB) return c + 32;
    return c;
  }
  if (c == 0x3C2) return 0x3C3;  // final sigma
  if (c >= 0x400 && c <= 0x4FF) {
    if (c <= 0x40F) return c + 80;
    if (c <= 0x42F) return c + 32;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF)) {
      return c % 2 == 0 ? c + 1 : c;
    }
    if (c == 0x4C0) return 0x4CF;
    if (c >= 0x4C1 && c <= 0x4CE) return c % 2 == 1 ? c + 1 : c;
    return c;
  }
  if (c >= 0x531 && c <= 0x556) return c + 48;
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return c % 2 == 0 ? c + 1 : c;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

uint32_t UpperCase(uint32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c < 0x100) {
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    return c == 0xFF ? 0x178 : c;
  }
  if (c < 0x180) {
    if (c <= 0x137) return (c % 2 == 1 && c != 0x131) ? c - 1 : c;
    if (c >= 0x139 && c <= 0x148) return c % 2 == 0 ? c - 1 : c;
    if (c >= 0x14A && c <= 0x177) return c % 2 == 1 ? c - 1 : c;
    if (c >= 0x179 && c <= 0x17E) return c % 2 == 0 ? c - 1 : c;
    return c;
  }
  if (c >= 0x3AC && c <= 0x3CE) {
    if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
    if (c == 0x3C2) return 0x3A3;  // final sigma
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 37;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 63;
    if (c == 0x3CA || c == 0x3CB) return c - 32;
    return c;
  }
  if (c >= 0x400 && c <= 0x4FF) {
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF)) {
      return c % 2 == 1 ? c - 1 : c;
    }
    if (c == 0x4CF) return 0x4C0;
    if (c >= 0x4C1 && c <= 0x4CE) return c % 2 == 0 ? c - 1 : c;
    return c;
  }
  if (c >= 0x561 && c <= 0x586) return c - 48;
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return c % 2 == 1 ? c - 1 : c;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c >= 0xDC80 && c <= 0xDCFF) {
    out.push_back(static_cast<char>(c - 0xDC00));  // a malformed byte, as it was
  } else if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

int CompareCi(std::string_view a, std::string_view b) {
  a = TrimTrailingBlanks(a);
  b = TrimTrailingBlanks(b);
  // Equal bytes fold alike: skip the common prefix (back to the start of a
  // character), which for the grouping of a report is most of each text.
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  size_t p = 0;
  while (p < n && a[p] == b[p]) ++p;
  if (p == a.size() && p == b.size()) return 0;
  const auto inside = [](std::string_view s, size_t k) {
    return k < s.size() && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80;
  };
  while (p > 0 && (inside(a, p) || inside(b, p))) --p;
  size_t i = p, j = p;
  while (i < a.size() && j < b.size()) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[j]);
    if (ca < 0x80 && cb < 0x80) {
      // The common case: ASCII on both sides.
      uint32_t fa = (ca >= 'A' && ca <= 'Z') ? ca + 32u : ca;
      uint32_t fb = (cb >= 'A' && cb <= 'Z') ? cb + 32u : cb;
      if (fa != fb) return fa < fb ? -1 : 1;
      ++i;
      ++j;
      continue;
    }
    uint32_t fa = FoldCase(DecodeUtf8(a, i));
    uint32_t fb = FoldCase(DecodeUtf8(b, j));
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace q8::tsql

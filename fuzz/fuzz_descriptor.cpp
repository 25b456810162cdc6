// libFuzzer target: the descriptor parser and every read of it.
//
// Any input must parse to true or raise 457; the map must hold non-empty keys
// that are unique without regard to case; every read either answers or raises
// one of the parser's documented errors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "connection/cparse.h"
#include "q8vantorpt/error.h"

namespace {

bool SameKey(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

template <class F>
void Read(F&& read) {
  try {
    read();
  } catch (const q8::Error& e) {
    int32_t n = e.number();
    if (n != q8::err::kInvalidProcedureCall && n != q8::err::kTypeMismatch &&
        n != q8::err::kOverflow)
      std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  q8::CParse parser;
  try {
    if (!parser.ParseString(text)) std::abort();
  } catch (const q8::Error& e) {
    if (e.number() != q8::err::kKeyAlreadyPresent) std::abort();
  }
  if (parser.PropsString() != text || parser.Entries() == nullptr) std::abort();
  const auto& entries = *parser.Entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].first.empty()) std::abort();
    for (size_t j = 0; j < i; ++j)
      if (SameKey(entries[i].first, entries[j].first)) std::abort();
    // Every stored key reads back its own value.
    if (parser.GetProperty(entries[i].first) != entries[i].second) std::abort();
  }
  Read([&] { parser.LanguageID(); });
  Read([&] { parser.ConStr(); });
  Read([&] { parser.ConDBMSName(); });
  Read([&] { parser.ConDBMSVersion(); });
  Read([&] { parser.UserName(); });
  Read([&] { parser.UserID(); });
  Read([&] { parser.IsIndustry(); });
  Read([&] { parser.GetQXObjectName(text.substr(0, 16)); });
  return 0;
}

// The TSQL_CI collation: text compared as the ERP's SQL Server compares it
// under its default collation, without regard to letter case (Unicode simple
// case folding of the Latin, Greek, Cyrillic, Armenian and full-width
// letters) and ignoring trailing blanks. Characters without case compare by
// code point, so Chinese text orders by code point, not by pinyin.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace q8::tsql {

// The lower-case form a code point folds to (the code point itself when it
// has none).
uint32_t FoldCase(uint32_t c);

// The upper-case form of a code point, for the same letters FoldCase knows.
uint32_t UpperCase(uint32_t c);

// Decodes the UTF-8 sequence at s[i] and moves i past it. A malformed byte
// stands for itself (mapped into U+DC80..U+DCFF, so it compares only with
// itself) and moves i by one.
uint32_t DecodeUtf8(std::string_view s, size_t& i);

// Appends code point c as UTF-8 (a byte DecodeUtf8 mapped, as that byte).
void AppendUtf8(std::string& out, uint32_t c);

// <0, 0 or >0 as `a` sorts before, with or after `b` under TSQL_CI.
int CompareCi(std::string_view a, std::string_view b);

}  // namespace q8::tsql

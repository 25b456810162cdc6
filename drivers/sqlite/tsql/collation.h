// The TSQL_CI collation: text compared as the ERP's SQL Server compares it
// under its default collation, without regard to letter case (Unicode simple
// case folding of the Latin, Greek, Cyrillic, Armenian and full-width
// letters) and ignoring trailing blanks. Characters without case compare by
// code point, so Chinese text orders by code point, not by pinyin.
#pragma once

#include <cstdint>
#include <string_view>

namespace q8::tsql {

// The lower-case form a code point folds to (the code point itself when it
// has none).
uint32_t FoldCase(uint32_t c);

// <0, 0 or >0 as `a` sorts before, with or after `b` under TSQL_CI.
int CompareCi(std::string_view a, std::string_view b);

}  // namespace q8::tsql

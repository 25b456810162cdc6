// Columns that exist once per language: a base name for the default
// (simplified-Chinese) text and suffixed copies for the other languages.
#pragma once

#include <string>
#include <string_view>

namespace q8 {

// The column of `base` for `language`, compared without regard to case:
// "CHT" → base + "_CHT", "EN" → base + "_EN", any other language → base, or
// base + "_CHS" when `suffix_chs` is set. Never fails; on any failure the
// base name comes back.
std::string LanguageColumn(std::string_view base, std::string_view language,
                           bool suffix_chs = false);

}  // namespace q8

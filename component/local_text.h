// Localized texts: the fixed texts that reach the user are simplified-Chinese
// source texts looked up through the thread's resource loader in the caller's
// language.
#pragma once

#include <string>
#include <string_view>

namespace q8 {

// The fixed texts of the component, which are also the loader's keys.
namespace text {
inline constexpr std::string_view kDataErrorPrefix = "汽配行业报表中间层Q8VANTORpt.Data:";
inline constexpr std::string_view kPeriodFailed = "获取期间数据失败！";
inline constexpr std::string_view kReport = "报表";
inline constexpr std::string_view kSubtotal = "小计";
inline constexpr std::string_view kTotal = "合计";
}  // namespace text

// The text in `language_id`: trimmed of blanks, looked up whole, or segment by
// segment when it holds "^|^" ("~$~" marks a key segment). Never raises: on a
// failure the (trimmed) input comes back. The caller's pending error (Err())
// is the same afterwards.
std::string LoadLocalText(std::string text, const std::string& language_id);
// Splits at "^|^" and joins the segments, key segments localized.
std::string ExpandLocalText(const std::string& text, const std::string& language_id);

}  // namespace q8

// The service's texts, the error answer and the choice of language.
#include "service/errors.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "tools/q8vantorpt/writers.h"

namespace q8::service {
namespace {

struct Texts {
  Msg id;
  const char* chs;
  const char* cht;
  const char* en;
};

constexpr Texts kTexts[] = {
    {Msg::kSource, "汽配行业报表服务Q8VANTORpt", "汽配行業報表服務Q8VANTORpt",
     "Q8VANTORpt report service"},
    {Msg::kNoToken, "缺少访问令牌：请在请求头 Authorization: Bearer 中给出令牌。",
     "缺少存取權杖：請在請求標頭 Authorization: Bearer 中給出權杖。",
     "No access token: send it as Authorization: Bearer TOKEN."},
    {Msg::kBadToken, "访问令牌无效。", "存取權杖無效。", "The access token is not valid."},
    {Msg::kForbiddenSource, "此令牌不能使用数据源“{}”。", "此權杖不能使用資料來源「{}」。",
     "This token may not use the source \"{}\"."},
    {Msg::kForbiddenSql, "此令牌不能执行直接 SQL，也不能查看报表的 SQL。",
     "此權杖不能執行直接 SQL，也不能檢視報表的 SQL。",
     "This token may not run direct SQL or see a report's SQL."},
    {Msg::kForbiddenProperty, "连接描述中的属性“{}”不对外提供。",
     "連線描述中的屬性「{}」不對外提供。",
     "The descriptor property \"{}\" of a server-side source is not readable."},
    {Msg::kUnknownSource, "没有名为“{}”的数据源。", "沒有名為「{}」的資料來源。",
     "There is no source named \"{}\"."},
    {Msg::kUnknownReport, "没有报表 {}；现有报表：{}。", "沒有報表 {}；現有報表：{}。",
     "There is no report {}; the reports are {}."},
    {Msg::kNotFound, "没有此地址：{}", "沒有此位址：{}", "Not found: {}"},
    {Msg::kBadFilterKey, "报表 {1} 不读取过滤条件“{0}”；它读取：{2}。",
     "報表 {1} 不讀取過濾條件「{0}」；它讀取：{2}。",
     "Report {1} reads no filter \"{0}\"; it reads {2}."},
    {Msg::kBadFilterValue, "过滤条件 {} 的值“{}”不可用：{}", "過濾條件 {} 的值「{}」不可用：{}",
     "The value \"{1}\" of filter {0} cannot be used: {2}"},
    {Msg::kRepeatedParameter, "参数“{}”给出了多次。", "參數「{}」給出了多次。",
     "The parameter \"{}\" is given more than once."},
    {Msg::kBadParameter, "参数 {} 的值“{}”不可用。", "參數 {} 的值「{}」不可用。",
     "The parameter {} cannot be \"{}\"."},
    {Msg::kMissingParameter, "缺少参数 {}。", "缺少參數 {}。", "The parameter {} is missing."},
    {Msg::kBadJson, "请求体不是有效的 JSON：{}", "請求內容不是有效的 JSON：{}",
     "The request body is not valid JSON: {}"},
    {Msg::kBadBody, "请求体不可用：{}", "請求內容不可用：{}",
     "The request body cannot be used: {}"},
    {Msg::kBadLanguage, "语言“{}”不可用（可用 CHS、CHT、EN）。",
     "語言「{}」不可用（可用 CHS、CHT、EN）。",
     "The language \"{}\" cannot be used (CHS, CHT, EN)."},
    {Msg::kNotAcceptable, "无法以所要求的格式回答；可用格式：{}。",
     "無法以所要求的格式回答；可用格式：{}。",
     "None of the requested formats can be given; the formats are {}."},
    {Msg::kNotJson, "请求体须为 JSON（Content-Type: application/json）。",
     "請求內容須為 JSON（Content-Type: application/json）。",
     "The request body must be JSON (Content-Type: application/json)."},
    {Msg::kXlsxUnavailable, "此服务尚不能生成 xlsx 工作簿；请用 csv 或 json。",
     "此服務尚不能產生 xlsx 活頁簿；請用 csv 或 json。",
     "This service cannot write xlsx workbooks yet; ask for csv or json."},
    {Msg::kBodyTooLarge, "请求体超过 {} 字节的上限。", "請求內容超過 {} 位元組的上限。",
     "The request body is larger than the limit of {} bytes."},
    {Msg::kHeadersTooLarge, "请求头超过上限（{}）。", "請求標頭超過上限（{}）。",
     "The request headers exceed the limit ({})."},
    {Msg::kBusy, "服务正忙，请稍后再试。", "服務忙碌中，請稍後再試。",
     "The service is busy; try again later."},
    {Msg::kStopping, "服务正在停止。", "服務正在停止。", "The service is stopping."},
    {Msg::kTimeLimit, "请求超过 {} 秒的时间上限，语句已取消。",
     "請求超過 {} 秒的時間上限，陳述式已取消。",
     "The request exceeded the time limit of {} s; its statement was cancelled."},
    {Msg::kBadRequest, "请求格式不正确。", "請求格式不正確。", "The request is malformed."},
    {Msg::kInternal, "服务内部错误：{}", "服務內部錯誤：{}", "Internal error of the service: {}"},
};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// Fills "{}" in order and "{N}" by index.
std::string Fill(std::string_view pattern, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '{') {
      const size_t close = pattern.find('}', i);
      if (close != std::string_view::npos) {
        const std::string_view inside = pattern.substr(i + 1, close - i - 1);
        size_t index = next;
        bool ok = inside.empty();
        if (!ok && inside.size() == 1 && inside[0] >= '0' && inside[0] <= '9') {
          index = static_cast<size_t>(inside[0] - '0');
          ok = true;
        }
        if (ok) {
          if (index < args.size()) out += args[index];
          if (inside.empty()) ++next;
          i = close;
          continue;
        }
      }
    }
    out += pattern[i];
  }
  return out;
}

}  // namespace

std::string Text(Msg m, const std::string& language, const std::vector<std::string>& args) {
  for (const Texts& t : kTexts) {
    if (t.id != m) continue;
    const char* pattern = EqualsNoCase(language, "CHS")   ? t.chs
                          : EqualsNoCase(language, "CHT") ? t.cht
                                                          : t.en;
    return Fill(pattern, args);
  }
  return {};
}

ServiceError FromComponent(const Error& e, CallKind kind) {
  return ServiceError(kind == CallKind::kClientSql ? 400 : 500, e.number(), e.source(),
                      e.description());
}

std::string ErrorJson(int32_t number, const std::string& source, const std::string& description) {
  std::string out = "{\"number\":" + std::to_string(number) + ",\"source\":";
  tool::AppendJsonString(out, source);
  out += ",\"description\":";
  tool::AppendJsonString(out, description);
  out += "}";
  return out;
}

std::string LanguageOfAcceptLanguage(const std::string& header) {
  // Ranges in the order of their weights (q), the first the catalogues have.
  struct Range {
    std::string tag;
    double q;
    size_t order;
  };
  std::vector<Range> ranges;
  size_t start = 0, order = 0;
  while (start <= header.size()) {
    size_t comma = header.find(',', start);
    if (comma == std::string::npos) comma = header.size();
    std::string part = header.substr(start, comma - start);
    start = comma + 1;
    double q = 1;
    const size_t semi = part.find(';');
    if (semi != std::string::npos) {
      const size_t qpos = part.find("q=", semi);
      if (qpos != std::string::npos) q = std::atof(part.c_str() + qpos + 2);
      part.resize(semi);
    }
    part.erase(std::remove(part.begin(), part.end(), ' '), part.end());
    for (char& c : part) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!part.empty() && q > 0) ranges.push_back({part, q, order++});
    if (comma == header.size()) break;
  }
  std::stable_sort(ranges.begin(), ranges.end(),
                   [](const Range& a, const Range& b) { return a.q > b.q; });
  for (const Range& r : ranges) {
    const std::string& t = r.tag;
    if (t == "zh-tw" || t == "zh-hk" || t == "zh-mo" || t.rfind("zh-hant", 0) == 0) return "CHT";
    if (t == "zh" || t.rfind("zh-", 0) == 0) return "CHS";
    if (t == "en" || t.rfind("en-", 0) == 0) return "EN";
  }
  return "";
}

}  // namespace q8::service

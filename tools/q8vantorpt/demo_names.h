// Names of the demo database: part families, brands, vehicles, places and
// trade names of an auto-parts trade in China.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace q8::tool::demo {

// One kind of part. Prices are per piece, tax included, in fen (0.01 yuan).
struct PartKind {
  std::string_view name;
  std::string_view code_prefix;  // of the maker's part code in the model text
  int64_t price_fen;
  int box;           // pieces per box of the stock unit (10, 12, 20), or 0: stocked by the piece
  int shelf_days;    // shelf life; 0 = not batch-managed
  int weight_grams;  // per piece, for the auxiliary unit (kg); 0 = no auxiliary unit
  int aux_set;       // index into kAuxSets, or -1
};

struct Category {
  std::string_view number;  // first segment of the material code
  std::string_view name;
  std::array<PartKind, 5> parts;  // unused slots have an empty name
  std::array<std::string_view, 4> brands;
};

inline constexpr std::array<Category, 8> kCategories = {{
    {"01",
     "制动系统",
     {{{"前刹车片", "D", 18000, 10, 0, 0, -1},
       {"后刹车片", "D", 15000, 10, 0, 0, -1},
       {"前刹车盘", "BD", 26000, 0, 0, 6500, -1},
       {"刹车分泵", "WC", 9500, 12, 0, 0, -1},
       {"刹车油", "DOT", 4500, 20, 1095, 1000, -1}}},
     {"博世", "天合", "布雷博", "菲罗多"}},
    {"02",
     "滤清器",
     {{{"机油滤清器", "W", 3500, 20, 0, 0, -1},
       {"空气滤清器", "C", 4500, 20, 0, 0, -1},
       {"空调滤清器", "CU", 4000, 20, 0, 0, -1},
       {"燃油滤清器", "WK", 6000, 12, 0, 0, -1},
       {}}},
     {"曼牌", "马勒", "博世", "汉格斯特"}},
    {"03",
     "点火系统",
     {{{"火花塞", "FR", 3800, 20, 0, 0, -1},
       {"铱金火花塞", "IK", 9800, 20, 0, 0, -1},
       {"点火线圈", "IC", 22000, 12, 0, 0, -1},
       {"高压线", "HT", 16000, 10, 0, 0, -1},
       {}}},
     {"NGK", "电装", "博世", "冠军"}},
    {"04",
     "轴承",
     {{{"前轮毂轴承", "VKBA", 15000, 10, 0, 0, -1},
       {"后轮毂轴承", "VKBA", 13000, 10, 0, 0, -1},
       {"离合器分离轴承", "VKC", 11000, 12, 0, 0, -1},
       {"发电机轴承", "6203", 3000, 20, 0, 0, -1},
       {}}},
     {"斯凯孚", "舍弗勒", "NSK", "人本"}},
    {"05",
     "悬挂转向",
     {{{"前减震器", "SA", 42000, 0, 0, 0, -1},
       {"后减震器", "SA", 36000, 0, 0, 0, -1},
       {"下摆臂", "LA", 28000, 0, 0, 0, -1},
       {"转向拉杆球头", "TE", 8500, 10, 0, 0, -1},
       {"平衡杆", "SL", 6000, 10, 0, 0, -1}}},
     {"萨克斯", "凯尔", "天合", "伦福德"}},
    {"06",
     "发动机配件",
     {{{"正时皮带", "CT", 16000, 10, 730, 0, -1},
       {"发电机皮带", "6PK", 8000, 10, 730, 0, -1},
       {"水泵", "WP", 28000, 0, 0, 0, -1},
       {"节温器", "TH", 9000, 12, 0, 0, -1},
       {"气门室盖垫", "VC", 5500, 12, 730, 0, -1}}},
     {"盖茨", "马勒", "法雷奥", "伊纳"}},
    {"07",
     "电器照明",
     {{{"蓄电池", "L2-400", 52000, 0, 365, 0, -1},
       {"雨刮片", "AR", 4800, 20, 730, 0, 0},
       {"大灯灯泡", "H7", 3500, 10, 0, 0, -1},
       {"雾灯", "FL", 12000, 0, 0, 0, -1},
       {}}},
     {"瓦尔塔", "博世", "欧司朗", "飞利浦"}},
    {"08",
     "油品化学品",
     {{{"全合成机油", "5W-30", 38000, 0, 1095, 3500, 1},
       {"变速箱油", "ATF", 26000, 12, 1095, 900, -1},
       {"防冻液", "OAT", 9000, 0, 1095, 4300, 2},
       {},
       {}}},
     {"美孚", "壳牌", "嘉实多", "长城"}},
}};

// Auxiliary property sets (t_AuxItem); sizes repeat across sets on purpose:
// different ids may carry one name.
inline constexpr std::array<std::array<std::string_view, 5>, 3> kAuxSets = {{
    {"16寸", "18寸", "20寸", "22寸", "24寸"},
    {"1L", "4L", "", "", ""},
    {"2L", "4L", "", "", ""},
}};

inline constexpr std::array<std::string_view, 14> kVehicles = {
    "大众朗逸", "大众速腾",   "丰田卡罗拉", "丰田凯美瑞", "本田雅阁", "本田思域", "日产轩逸",
    "别克英朗", "福特福克斯", "现代伊兰特", "吉利帝豪",   "长安逸动", "哈弗H6",   "比亚迪秦"};

struct Region {
  std::string_view number;
  std::array<std::string_view, 5> cities;
};

inline constexpr std::array<Region, 6> kRegions = {{
    {"01", {"北京", "天津", "石家庄", "太原", "保定"}},
    {"02", {"上海", "杭州", "南京", "苏州", "宁波"}},
    {"03", {"广州", "深圳", "佛山", "东莞", "厦门"}},
    {"04", {"武汉", "长沙", "郑州", "南昌", "合肥"}},
    {"05", {"成都", "重庆", "昆明", "贵阳", "南宁"}},
    {"06", {"西安", "兰州", "沈阳", "哈尔滨", "长春"}},
}};

inline constexpr std::array<std::string_view, 20> kTradeNames = {
    "顺达", "永和",   "恒通", "宏达", "金盛", "鑫源", "汇丰", "华昌", "伟业", "骏马",
    "安驰", "车之友", "路通", "捷运", "众诚", "联华", "嘉禾", "远航", "德盛", "瑞丰"};

inline constexpr std::array<std::string_view, 5> kCustomerSuffixes = {
    "汽配有限公司", "汽车配件商行", "汽配城经营部", "汽车服务有限公司", "汽修连锁"};

inline constexpr std::array<std::string_view, 6> kSuppliers = {
    "博世汽车部件(苏州)有限公司",   "舍弗勒贸易(上海)有限公司",
    "马勒滤清系统(上海)有限公司",   "日本特殊陶业(上海)贸易有限公司",
    "埃克森美孚(中国)投资有限公司", "天合汽车零部件(上海)有限公司"};

}  // namespace q8::tool::demo

// Filter helpers of Data: stock and stock-place names for the number ranges
// of a report filter, and one property read out of the descriptor text.
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "component/frame.h"
#include "component/handlers.h"
#include "connection/cdatasource.h"
#include "core/text.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

struct NameLookup {
  std::string_view number_key;
  bool empty_default;  // "" as GetValueOr's default; otherwise omitted
  std::string_view name_key;
  std::string_view head;
};

// In the order in which they run.
constexpr std::array<NameLookup, 4> kNameLookups{{
    {"BStockNumber", false, "BStockName", "SELECT FName FROM t_Item WHERE FItemClassID = 5 AND "},
    {"EStockNumber", false, "EStockName", "SELECT FName FROM t_Item WHERE FItemClassID = 5 AND "},
    {"BSPNumber", true, "BSPName", "SELECT FName FROM t_StockPlace WHERE "},
    {"ESPNumber", true, "ESPName", "SELECT FName FROM t_StockPlace WHERE "},
}};

// The number as it goes between the apostrophes: as text (a Null adds
// nothing, as in a text concatenation), each apostrophe doubled so that a
// number cannot end the literal early.
std::string NumberLiteral(const Variant& number) {
  if (number.IsNull()) return {};
  return DoubleQuotes(number.ToText());
}

}  // namespace

DictionaryPtr Data::GetStockInfo(const std::string& sDsn, const DictionaryPtr& Filter,
                                 bool LongNumber) {
  FrameComplete();
  try {
    frame_->OpenDsn(sDsn);
    ado::ConnectionPtr cn = frame_->data_source()->UnCommittedConnection();
    auto result = std::make_shared<Dictionary>();
    if (!Filter) RaisePlatform(err::kObjectNotSet);
    for (const NameLookup& lookup : kNameLookups) {
      const Variant number = Filter->GetValueOr(
          lookup.number_key, lookup.empty_default ? Variant("") : Variant::Missing());
      if (number.EqualsText("")) {
        result->SetValue(lookup.name_key, "");
        continue;
      }
      std::string sql(lookup.head);
      sql += LongNumber ? "FNumber = '" : "FShortNumber = '";
      sql += NumberLiteral(number);
      sql += "'";
      ado::RecordsetPtr rs = cn->Execute(sql);
      // No row leaves the key absent.
      if (!rs->IsEOF()) {
        const Variant name = rs->Value("FName");
        result->SetValue(lookup.name_key, name.IsNull() ? name : Variant(name.ToText()));
      }
    }
    return result;
  } catch (...) {
    handler::Reraise();
  }
}

std::string Data::GetPropertyExt(const std::string& sDsn, const std::string& sName) {
  std::string value;
  handler::Continue([&] {
    std::string text = sDsn;
    if (text.empty() || text.back() != ';') text += ';';
    const std::string pattern = sName + "=";
    // Found anywhere, also inside a longer name: "ID" finds "UserID=".
    const size_t at = FindNoCase(text, pattern);
    if (at == std::string::npos) return;
    std::string_view piece = std::string_view(text).substr(at);
    piece = piece.substr(0, piece.find(';'));
    // A name holding ";" leaves a piece shorter than the pattern: no value.
    if (piece.size() > pattern.size()) value = std::string(piece.substr(pattern.size()));
  });
  handler::Continue([&] {
    if (value.find_first_not_of(' ') == std::string::npos) value = "cht";
  });
  return value;
}

}  // namespace q8

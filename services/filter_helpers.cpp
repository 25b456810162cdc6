// PLACEHOLDER: replaced by the filter-helpers work.
#include "q8vantorpt/data.h"
namespace q8 {
DictionaryPtr Data::GetStockInfo(const std::string&, const DictionaryPtr&, bool) { RaisePlatform(err::kNotSupported); }
std::string Data::GetPropertyExt(const std::string&, const std::string&) { RaisePlatform(err::kNotSupported); }
}  // namespace q8

// PLACEHOLDER: replaced by the periods work.
#include "q8vantorpt/data.h"
namespace q8 {
Variant Data::GetPeriodStartEndDate(const std::string&, int32_t, int32_t, double&, Variant&) { RaisePlatform(err::kNotSupported); }
std::string Data::GetStartDate(const std::string&, int32_t) { RaisePlatform(err::kNotSupported); }
DictionaryPtr Data::GetCurrenPeriodDate(std::string&) { RaisePlatform(err::kNotSupported); }
}  // namespace q8

// PLACEHOLDER: replaced by the catalogue work.
#include "q8vantorpt/rpt.h"
namespace q8 {
DictionaryPtr Rpt::GetPreAccount(const std::string&) { RaisePlatform(err::kNotSupported); }
DictionaryPtr Rpt::GetCurAccount(const std::string&) { RaisePlatform(err::kNotSupported); }
std::string Rpt::GetCurrentPeriodEndDate(const std::string&) { RaisePlatform(err::kNotSupported); }
}  // namespace q8

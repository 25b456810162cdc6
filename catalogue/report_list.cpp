// PLACEHOLDER: replaced by the catalogue work.
#include "q8vantorpt/rpt.h"
namespace q8 {
ado::RecordsetPtr Rpt::GetReportList(const std::string&, int32_t) { RaisePlatform(err::kNotSupported); }
std::string Rpt::GetReportGroupName(const std::string&, int32_t) { RaisePlatform(err::kNotSupported); }
}  // namespace q8

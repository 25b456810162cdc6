// PLACEHOLDER: replaced by the reports work.
#include "component/report_calls.h"
namespace q8 {
ado::RecordsetPtr Data::GetRpt2008608Data(const std::string&, const DictionaryPtr&, const DictionaryPtr&, DictionaryPtr&) { RaisePlatform(err::kNotSupported); }
ado::RecordsetPtr Data::GetRpt2008610Data(const std::string&, const DictionaryPtr&, const DictionaryPtr&, DictionaryPtr&) { RaisePlatform(err::kNotSupported); }
ado::RecordsetPtr Data::GetRpt2008609Data(const std::string&, const DictionaryPtr&, const DictionaryPtr&, DictionaryPtr&) { RaisePlatform(err::kNotSupported); }
bool IsReportNumber(int n) { return n == 2008608 || n == 2008609 || n == 2008610; }
std::string BuildReportBatch(Data&, int, const std::string&, const DictionaryPtr&) { RaisePlatform(err::kNotSupported); }
ado::RecordsetPtr RunReport(Data&, int, const std::string&, const DictionaryPtr&, DictionaryPtr&) { RaisePlatform(err::kNotSupported); }
}  // namespace q8

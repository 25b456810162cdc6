// PLACEHOLDER: replaced by the direct-queries work.
#include "q8vantorpt/data.h"
namespace q8 {
double Data::GetServerDate(const std::string&) { RaisePlatform(err::kNotSupported); }
ado::RecordsetPtr Data::GetData(const std::string&, const std::string&) { RaisePlatform(err::kNotSupported); }
Variant Data::GetRptRsBySQL(const DictionaryPtr&, ado::RecordsetPtr&, ado::RecordsetPtr&) { RaisePlatform(err::kNotSupported); }
}  // namespace q8

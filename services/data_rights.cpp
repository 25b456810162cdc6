// PLACEHOLDER: replaced by the data-access-rights work.
#include "q8vantorpt/data.h"
namespace q8 {
bool Data::GetDataRightStrSql(const std::string&, std::string&, std::string&) { RaisePlatform(err::kNotSupported); }
}  // namespace q8

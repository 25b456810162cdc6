// PLACEHOLDER: replaced by the data-source services work.
#include "connection/cdatasource.h"
#include "q8vantorpt/error.h"
namespace q8 {
std::string CDataSource::DBMSVersion() const { RaisePlatform(err::kNotSupported); }
bool CDataSource::MultipleResults() const { RaisePlatform(err::kNotSupported); }
bool CDataSource::LikeEscapeClause() const { RaisePlatform(err::kNotSupported); }
bool CDataSource::IEF() const { RaisePlatform(err::kNotSupported); }
int32_t CDataSource::NumericFunctions() const { RaisePlatform(err::kNotSupported); }
int32_t CDataSource::StringFunctions() const { RaisePlatform(err::kNotSupported); }
int32_t CDataSource::SystemFunctions() const { RaisePlatform(err::kNotSupported); }
int32_t CDataSource::DateTimeFunctions() const { RaisePlatform(err::kNotSupported); }
bool CDataSource::ProcSupported(const std::string&) const { RaisePlatform(err::kNotSupported); }
}  // namespace q8

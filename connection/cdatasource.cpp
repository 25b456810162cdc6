// PLACEHOLDER: replaced by the data-access work.
#include "connection/cdatasource.h"
#include "q8vantorpt/error.h"
namespace q8 {
ado::ConnectionPtr CDataSource::UnCommittedConnection() const { RaisePlatform(err::kNotSupported); }
ado::ConnectionPtr CDataSource::Connection() const { RaisePlatform(err::kNotSupported); }
ado::ConnectionPtr CDataSource::ConnectionSrv() const { RaisePlatform(err::kNotSupported); }
std::string CDataSource::ConnectString() const { RaisePlatform(err::kNotSupported); }
std::string CDataSource::DBMSName() const { RaisePlatform(err::kNotSupported); }
bool CDataSource::IsOracle() const { RaisePlatform(err::kNotSupported); }
}  // namespace q8

// PLACEHOLDER: replaced by the data-source services work.
#include "connection/cdatasource.h"
#include "q8vantorpt/error.h"
namespace q8 {
bool CDataSource::HasADOError(const ado::Connection&, bool) const { RaisePlatform(err::kNotSupported); }
}  // namespace q8

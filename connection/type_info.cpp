// PLACEHOLDER: replaced by the data-source services work.
#include "connection/cdatasource.h"
#include "q8vantorpt/error.h"
namespace q8 {
void CDataSource::LoadDataTypeInfo(SharedPropertyGroup&) const { RaisePlatform(err::kNotSupported); }
std::string CDataSource::GetTypeName(int32_t, int32_t&, int32_t&, int32_t&, int32_t&, int32_t&) const { RaisePlatform(err::kNotSupported); }
int32_t CDataSource::GetActualType(int32_t, int32_t&, int32_t&, int32_t&, int32_t&) const { RaisePlatform(err::kNotSupported); }
int32_t CDataSource::GetBindType(int32_t) const { RaisePlatform(err::kNotSupported); }
}  // namespace q8

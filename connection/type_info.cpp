// DBMS type information of CDataSource.
//
// t_DataTypeInfo maps each generic data-type code of the application onto a
// concrete DBMS type: its name with "(" ")" where the length goes, its
// precision and scale limits, and the codes and size used for binding. The
// table is read once per process and DBMS name and version into the shared
// property group "<DBMS Name><DBMS Version>DataTypeInfo", one row dictionary
// per data-type code, stored at that code's position. The group is loaded by
// whoever creates it; a load that fails part-way is not repeated.
#include <string>
#include <string_view>

#include "connection/cdatasource.h"
#include "connection/cparse.h"
#include "connection/shared_properties.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

constexpr std::string_view kTypeInfoQuery = "select * from t_DataTypeInfo";

// The limits of one row that the lookups apply.
struct TypeLimits {
  Variant max_precision;
  Variant min_scale;
  Variant max_scale;

  explicit TypeLimits(const Dictionary& row)
      : max_precision(row.GetValue("FMaxPrecision")),
        min_scale(row.GetValue("FMinScale")),
        max_scale(row.GetValue("FMaxScale")) {}

  // True when the type's largest precision is below the requested one.
  bool PrecisionTooLarge(int32_t precision) const {
    return !max_precision.IsNull() && max_precision.ToDouble() < precision;
  }
  // Lowers the scale to the largest, then raises it to the smallest allowed.
  void ClampScale(int32_t& scale) const {
    if (!max_scale.IsNull() && scale > max_scale.ToDouble()) scale = max_scale.ToLong();
    if (!min_scale.IsNull() && scale < min_scale.ToDouble()) scale = min_scale.ToLong();
  }
};

int32_t SizeOf(const Dictionary& row, int32_t precision) {
  Variant size = row.GetValue("FActualSize");
  return size.IsNull() ? precision : size.ToLong();
}

}  // namespace

DictionaryPtr RowToDictionary(const ado::Recordset& rs) {
  auto row = std::make_shared<Dictionary>();
  const int count = rs.FieldCount();
  for (int i = 0; i < count; ++i) {
    ado::Field field = rs.Fields(i);
    row->SetValue(field.Name(), field.value);
  }
  return row;
}

void CDataSource::LoadDataTypeInfo(SharedPropertyGroup& group) const {
  if (!parse_) RaisePlatform(err::kObjectNotSet);
  auto rs = ado::Recordset::Create();
  rs->set_cursor_location(ado::kUseClient);
  // The record set opens a connection of its own from the connect string.
  rs->Open(std::string(kTypeInfoQuery), parse_->ConStr(), ado::kUnspecified, ado::kUnspecified,
           ado::kUnspecified);
  while (!rs->IsEOF()) {
    const int32_t data_type = rs->Value("FDataType").ToLong();
    group.CreatePropertyByPosition(data_type).SetValue(RowToDictionary(*rs));
    rs->MoveNext();
  }
}

DictionaryPtr CDataSource::GetTypeRow(int32_t data_type) const {
  if (!parse_) RaisePlatform(err::kObjectNotSet);
  bool existed = false;
  auto group =
      OpenProcessGroup(progid::kSharedPropertyManager,
                       parse_->ConDBMSName() + parse_->ConDBMSVersion() + "DataTypeInfo", existed);
  // Only the creator of the group loads it; later callers take what it holds.
  if (!existed) LoadDataTypeInfo(*group);
  auto row = group->PropertyByPosition(data_type).Value().As<Dictionary>();
  if (!row) RaisePlatform(err::kObjectNotSet);
  return row;
}

std::string CDataSource::GetTypeName(int32_t data_type, int32_t& precision, int32_t& scale,
                                     int32_t& actual_type, int32_t& actual_size,
                                     int32_t& bind_type) const {
  DictionaryPtr row = GetTypeRow(data_type);
  const TypeLimits limits(*row);
  const std::string type_name = row->GetValue("FTypeName").ToText();  // Null: 94

  if (limits.PrecisionTooLarge(precision)) return "";
  limits.ClampScale(scale);

  std::string name;
  if (limits.max_precision.IsNull()) {
    // The type takes no length.
    name = type_name;
    precision = 0;
    scale = 0;
  } else {
    std::string numbers = std::to_string(precision);
    // Appended piece by piece: `"," + std::string` draws a false -Wrestrict
    // warning from GCC 12 at -O3.
    if (!limits.max_scale.IsNull()) numbers.append(1, ',').append(std::to_string(scale));
    const size_t open = type_name.find('(');
    if (open == std::string::npos) {
      name = type_name + "(" + numbers + ")";
    } else {
      // The numbers go between the first "(" and the ")" after it; without
      // a ")", they and a ")" go right after the "(".
      const size_t close = type_name.find(')', open);
      const size_t rest = close == std::string::npos ? open + 1 : close + 1;
      name = type_name.substr(0, open + 1) + numbers + ")" + type_name.substr(rest);
    }
  }

  actual_type = row->GetValue("FActualType").ToLong();
  bind_type = row->GetValue("FBindType").ToLong();
  actual_size = SizeOf(*row, precision);
  return name;
}

int32_t CDataSource::GetActualType(int32_t data_type, int32_t& precision, int32_t& scale,
                                   int32_t& actual_size, int32_t& bind_type) const {
  DictionaryPtr row = GetTypeRow(data_type);
  const TypeLimits limits(*row);
  if (limits.PrecisionTooLarge(precision)) return 0;
  limits.ClampScale(scale);
  bind_type = row->GetValue("FBindType").ToLong();
  actual_size = SizeOf(*row, precision);
  return row->GetValue("FActualType").ToLong();
}

int32_t CDataSource::GetBindType(int32_t data_type) const {
  return GetTypeRow(data_type)->GetValue("FBindType").ToLong();
}

}  // namespace q8

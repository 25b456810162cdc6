// Type information: the name built for a requested precision and scale, the
// clamping of the scale, the out-values, and the once-per-process load.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "connection/cdatasource.h"
#include "connection/shared_properties.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"
#include "tests/datasource/memory_provider.h"

namespace q8 {
namespace {

using memdb::AddMemoryDatabase;
using memdb::MakeDataSource;
using memdb::MemoryConnectString;
using memdb::MemoryTable;

constexpr char kTypeInfoQuery[] = "select * from t_DataTypeInfo";

// One t_DataTypeInfo row; nullopt is NULL.
struct TypeRow {
  int32_t data_type;
  std::optional<std::string> type_name;
  std::optional<int32_t> max_precision, min_scale, max_scale;
  std::optional<int32_t> actual_type, bind_type, actual_size;
};

Variant Opt(const std::optional<int32_t>& v) { return v ? Variant(*v) : Variant::Null(); }
Variant Opt(const std::optional<std::string>& v) { return v ? Variant(*v) : Variant::Null(); }

MemoryTable TypeInfoTable(const std::vector<TypeRow>& rows) {
  using ado::FieldType;
  MemoryTable t;
  for (const char* name : {"FDataType", "FTypeName", "FMaxPrecision", "FMinScale", "FMaxScale",
                           "FActualType", "FBindType", "FActualSize", "FNote"}) {
    ado::ColumnInfo c;
    c.name = name;
    const std::string n = name;
    c.type = n == "FTypeName" || n == "FNote" ? FieldType::kText : FieldType::kInt;
    t.columns.push_back(c);
  }
  for (const TypeRow& r : rows) {
    t.rows.push_back({Variant(r.data_type), Opt(r.type_name), Opt(r.max_precision),
                      Opt(r.min_scale), Opt(r.max_scale), Opt(r.actual_type), Opt(r.bind_type),
                      Opt(r.actual_size), Variant("carried along")});
  }
  return t;
}

// The rows every test of this file reads, one data type per situation.
const std::vector<TypeRow>& Rows() {
  static const std::vector<TypeRow> rows = {
      {1, "decimal", 38, 0, 38, 131, 14, std::nullopt},
      {2, "varchar() for bit data", 8000, std::nullopt, std::nullopt, 200, 129, std::nullopt},
      {3, "binary(varying", 255, std::nullopt, std::nullopt, 128, 128, std::nullopt},
      {4, "datetime", std::nullopt, 0, 3, 135, 135, std::nullopt},
      {5, "numeric", 38, 2, 6, 131, 5, std::nullopt},
      {6, "nvarchar", 4000, std::nullopt, std::nullopt, 202, 202, std::nullopt},
      {7, "int", std::nullopt, std::nullopt, std::nullopt, 3, 3, 4},
      {8, "money(p)(q)", 19, 4, 4, 6, 6, 8},
      {9, "odd)name(x)", 10, std::nullopt, std::nullopt, 1, 1, std::nullopt},
      {20, std::nullopt, 10, std::nullopt, std::nullopt, 1, 1, std::nullopt},
      {21, "text", 10, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  return rows;
}

class TypeInfoTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    auto db = AddMemoryDatabase("types");
    db->results[kTypeInfoQuery] = TypeInfoTable(Rows());
    db_ = db.get();
    ds_ = MakeDataSource("TypeInfoDBMS", "1", MemoryConnectString("types")).release();
  }
  static memdb::MemoryDatabase* db_;
  static CDataSource* ds_;
};
memdb::MemoryDatabase* TypeInfoTest::db_ = nullptr;
CDataSource* TypeInfoTest::ds_ = nullptr;

constexpr int32_t kUntouched = -99;

TEST_F(TypeInfoTest, GetTypeNameBuildsNameAndOutValues) {
  struct Case {
    const char* why;
    int32_t data_type, precision, scale;
    std::string name;
    int32_t out_precision, out_scale, actual_type, actual_size, bind_type;
  };
  const Case cases[] = {
      {"precision and scale inside the limits", 1, 18, 4, "decimal(18,4)", 18, 4, 131, 18, 14},
      {"precision above FMaxPrecision: empty name, out-values untouched", 1, 40, 4, "", 40, 4,
       kUntouched, kUntouched, kUntouched},
      {"precision equal to FMaxPrecision is accepted", 1, 38, 38, "decimal(38,38)", 38, 38, 131, 38,
       14},
      {"\"()\" in the middle: numbers between, text after kept", 2, 20, 3,
       "varchar(20) for bit data", 20, 3, 200, 20, 129},
      {"\"(\" without \")\": numbers and \")\" after it, the rest follows", 3, 16, 0,
       "binary(16)varying", 16, 0, 128, 16, 128},
      {"FMaxPrecision NULL: name unchanged, precision and scale reset after the clamp", 4, 23, 7,
       "datetime", 0, 0, 135, 0, 135},
      {"scale above FMaxScale is lowered", 5, 10, 9, "numeric(10,6)", 10, 6, 131, 10, 5},
      {"scale below FMinScale is raised", 5, 10, 1, "numeric(10,2)", 10, 2, 131, 10, 5},
      {"FMaxScale NULL: no \",\" part, the scale is kept", 6, 50, 7, "nvarchar(50)", 50, 7, 202, 50,
       202},
      {"FActualSize given: it is the size", 7, 0, 0, "int", 0, 0, 3, 4, 3},
      {"only the first \"(\" and the \")\" after it are replaced", 8, 19, 2, "money(19,4)(q)", 19,
       4, 6, 8, 6},
      // A ")" before the "(" is not the closing one; the numbers still go
      // between the "(" and the ")" that follows it.
      {"a \")\" before the \"(\" is ignored", 9, 5, 0, "odd)name(5)", 5, 0, 1, 5, 1},
      {"negative precision is written as it is", 6, -1, 0, "nvarchar(-1)", -1, 0, 202, -1, 202},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    int32_t precision = c.precision, scale = c.scale;
    int32_t actual_type = kUntouched, actual_size = kUntouched, bind_type = kUntouched;
    EXPECT_EQ(ds_->GetTypeName(c.data_type, precision, scale, actual_type, actual_size, bind_type),
              c.name);
    EXPECT_EQ(precision, c.out_precision);
    EXPECT_EQ(scale, c.out_scale);
    EXPECT_EQ(actual_type, c.actual_type);
    EXPECT_EQ(actual_size, c.actual_size);
    EXPECT_EQ(bind_type, c.bind_type);
  }
}

TEST_F(TypeInfoTest, GetActualTypeClampsButNeverChangesPrecision) {
  struct Case {
    const char* why;
    int32_t data_type, precision, scale;
    int32_t result, out_scale, actual_size, bind_type;
  };
  const Case cases[] = {
      {"inside the limits", 1, 18, 4, 131, 4, 18, 14},
      {"precision above FMaxPrecision: 0, out-values untouched", 1, 40, 50, 0, 50, kUntouched,
       kUntouched},
      {"scale clamped to FMaxScale", 5, 10, 9, 131, 6, 10, 5},
      {"scale clamped to FMinScale", 5, 10, 1, 131, 2, 10, 5},
      {"FMaxPrecision NULL: precision kept and used as size", 4, 23, 7, 135, 3, 23, 135},
      {"FActualSize given", 8, 19, 2, 6, 4, 8, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    int32_t precision = c.precision, scale = c.scale;
    int32_t actual_size = kUntouched, bind_type = kUntouched;
    EXPECT_EQ(ds_->GetActualType(c.data_type, precision, scale, actual_size, bind_type), c.result);
    EXPECT_EQ(precision, c.precision);
    EXPECT_EQ(scale, c.out_scale);
    EXPECT_EQ(actual_size, c.actual_size);
    EXPECT_EQ(bind_type, c.bind_type);
  }
}

TEST_F(TypeInfoTest, FailuresReachTheCaller) {
  struct Case {
    const char* why;
    std::function<void()> call;
    int32_t number;
  };
  int32_t p = 5, s = 0, at = 0, as = 0, bt = 0;
  const Case cases[] = {
      {"FTypeName NULL", [&] { ds_->GetTypeName(20, p, s, at, as, bt); }, err::kInvalidUseOfNull},
      {"FTypeName NULL even when the precision is too large",
       [&] {
         int32_t big = 99;
         ds_->GetTypeName(20, big, s, at, as, bt);
       },
       err::kInvalidUseOfNull},
      {"FActualType NULL", [&] { ds_->GetTypeName(21, p, s, at, as, bt); }, err::kInvalidUseOfNull},
      {"FActualType NULL in GetActualType", [&] { ds_->GetActualType(21, p, s, as, bt); },
       err::kInvalidUseOfNull},
      {"FBindType NULL", [&] { ds_->GetBindType(21); }, err::kInvalidUseOfNull},
      {"a data type the table does not list", [&] { ds_->GetBindType(12345); }, spm::kNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    try {
      c.call();
      ADD_FAILURE() << "nothing raised";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number) << e.description();
    }
  }
}

TEST_F(TypeInfoTest, RowDictionaryCarriesEveryColumn) {
  ds_->GetBindType(1);  // loads the group
  bool existed = false;
  auto group =
      OpenProcessGroup(progid::kSharedPropertyManager, "TypeInfoDBMS1DataTypeInfo", existed);
  ASSERT_TRUE(existed);
  auto row = group->PropertyByPosition(4).Value().As<Dictionary>();
  ASSERT_TRUE(row);
  std::vector<std::string> keys;
  for (const auto& [key, value] : row->Items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"FDataType", "FTypeName", "FMaxPrecision", "FMinScale",
                                            "FMaxScale", "FActualType", "FBindType", "FActualSize",
                                            "FNote"}));
  EXPECT_TRUE(row->GetValue("FMaxPrecision").IsNull());
  EXPECT_EQ(row->GetValue("FNote").ToText(), "carried along");
}

TEST_F(TypeInfoTest, TableIsReadOncePerDbmsNameAndVersion) {
  int32_t p = 18, s = 4, at = 0, as = 0, bt = 0;
  for (int i = 0; i < 3; ++i) ds_->GetTypeName(1, p, s, at, as, bt);
  EXPECT_EQ(db_->ExecutionsOf(kTypeInfoQuery), 1);

  // Another database under the same DBMS name and version is answered from
  // the first one's rows and never read.
  auto other = AddMemoryDatabase("types-other");
  other->results[kTypeInfoQuery] = TypeInfoTable({{1, "otherdecimal", 38, 0, 38, 1, 1, 1}});
  auto ds = MakeDataSource("TypeInfoDBMS", "1", MemoryConnectString("types-other"));
  p = 18;
  s = 4;
  EXPECT_EQ(ds->GetTypeName(1, p, s, at, as, bt), "decimal(18,4)");
  EXPECT_EQ(other->ExecutionsOf(kTypeInfoQuery), 0);

  // A different version is a different group.
  auto ds2 = MakeDataSource("TypeInfoDBMS", "2", MemoryConnectString("types-other"));
  p = 18;
  s = 4;
  EXPECT_EQ(ds2->GetTypeName(1, p, s, at, as, bt), "otherdecimal(18,4)");
}

TEST(TypeInfoLoad, FailedLoadIsNotRepeated) {
  // The group exists once the first lookup has created it, so a load that
  // failed leaves it as it is for the rest of the process.
  auto db = AddMemoryDatabase("types-missing");  // no t_DataTypeInfo
  auto ds = MakeDataSource("TypeInfoMissing", "1", MemoryConnectString("types-missing"));
  try {
    ds->GetBindType(1);
    ADD_FAILURE() << "nothing raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), memdb::kMissingTableNumber);
    EXPECT_EQ(e.description(), memdb::MissingTableDescription(kTypeInfoQuery));
  }
  db->results[kTypeInfoQuery] = TypeInfoTable({{1, "decimal", 38, 0, 38, 1, 1, 1}});
  try {
    ds->GetBindType(1);
    ADD_FAILURE() << "nothing raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), spm::kNotFound);
  }
  EXPECT_EQ(db->ExecutionsOf(kTypeInfoQuery), 1);
}

}  // namespace
}  // namespace q8

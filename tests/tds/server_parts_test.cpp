// The test server's own parts, where a fault would make the end-to-end tests
// compare the wrong things: text and value encodings, the markers of
// sp_executesql, SET NOCOUNT, and the engine's failures in SQL Server's
// terms.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/tds/engine.h"
#include "tests/tds/tokens.h"
#include "tests/tds/wire.h"

namespace q8::tds {
namespace {

TEST(Wire, TextRoundTripsThroughUtf16AndCodePage936) {
  const char* kTexts[] = {"", "select 1", "天合前刹车片（停用）", "合计\r\n小计",
                          "emoji 😀 outside the BMP"};
  for (const char* t : kTexts) {
    SCOPED_TRACE(t);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(t)), t);
  }
  EXPECT_EQ(Utf8ToUtf16("😀").size(), 4u) << "a surrogate pair";
  EXPECT_EQ(Utf16ToUtf8(std::string("\x3D\xD8", 2)), "\xEF\xBF\xBD") << "an unpaired surrogate";
  EXPECT_EQ(Cp936ToUtf8(*Utf8ToCp936("寄售仓 A-01")), "寄售仓 A-01");
  EXPECT_FALSE(Utf8ToCp936("😀").has_value()) << "not in GBK: the column goes out as nvarchar";
}

// Writes `v` as a value of `t` and reads it back.
Variant RoundTrip(const TypeInfo& t, const Variant& v) {
  Writer w;
  WriteTypeInfo(w, t);
  WriteValue(w, t, v);
  Reader r(w.str());
  const TypeInfo back = ReadTypeInfo(r);
  EXPECT_EQ(back.type, t.type);
  Variant out = ReadValue(r, back);
  EXPECT_EQ(r.remaining(), 0u);
  return out;
}

TEST(Tokens, ValuesRoundTripThroughTheirWireTypes) {
  TypeInfo decimal{type::kDecimalN, 17, 38, 10, {}};
  TypeInfo money{type::kDecimalN, 9, 19, 4, {}};
  TypeInfo int4{type::kIntN, 4, 0, 0, {}};
  TypeInfo int8{type::kIntN, 8, 0, 0, {}};
  TypeInfo datetime{type::kDateTimeN, 8, 0, 0, {}};
  TypeInfo datetime2{type::kDateTime2N, 0, 0, 7, {}};
  TypeInfo date{type::kDateN, 3, 0, 0, {}};
  TypeInfo varchar{type::kBigVarChar, 80, 0, 0, std::string(kChinesePrcCiAs)};
  TypeInfo nvarchar_max{type::kNVarChar, kPlpLength, 0, 0, std::string(kChinesePrcCiAs)};
  const double day = *date::Parse("2024-02-29 13:45:10");
  const struct {
    const char* why;
    TypeInfo t;
    Variant in, out;
  } kCases[] = {
      {"decimal(38,10), negative, all digits", decimal,
       Variant(*Decimal::Parse("-1234567890123456789012345678.0123456789")),
       Variant(*Decimal::Parse("-1234567890123456789012345678.0123456789"))},
      {"decimal rescaled to the column", money, Variant(*Decimal::Parse("2.5")),
       Variant(Decimal(25000, 4))},
      {"int", int4, Variant(int32_t{-7}), Variant(int32_t{-7})},
      {"bigint beyond 32 bits", int8, Variant::FromInt64(9000000000),
       Variant::FromInt64(9000000000)},
      {"datetime", datetime, Variant::Date(day), Variant::Date(day)},
      {"datetime2(7)", datetime2, Variant::Date(day), Variant::Date(day)},
      {"date keeps the day", date, Variant::Date(day), Variant::Date(std::floor(day))},
      {"varchar in code page 936", varchar, Variant("天合前刹车片"), Variant("天合前刹车片")},
      {"nvarchar(max) in chunks", nvarchar_max, Variant(std::string(5000, 'x')),
       Variant(std::string(5000, 'x'))},
      {"NULL of a character type", varchar, Variant::Null(), Variant::Null()},
      {"NULL of a decimal", decimal, Variant::Null(), Variant::Null()},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    const Variant got = RoundTrip(c.t, c.in);
    EXPECT_EQ(got.DebugString(), c.out.DebugString());
  }
}

TEST(Tokens, DatetimeIsCountedFrom1900InThreeHundredthsOfASecond) {
  const struct {
    const char* text;
    int32_t days;
    uint32_t ticks;
  } kCases[] = {
      {"1900-01-01 00:00:00", 0, 0},
      {"1899-12-31 00:00:00", -1, 0},
      {"2024-12-31 12:00:00", 45655, 300u * 3600 * 12},
      {"2024-12-31 23:59:59.998", 45655, 25919999},  // rounds to the 1/300 s below the next day
      {"2024-12-31 23:59:59.999", 45656, 0},         // and to the next day
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    int32_t days = 0;
    uint32_t ticks = 0;
    ToTdsDateTime(*date::Parse(c.text), days, ticks);
    EXPECT_EQ(days, c.days);
    EXPECT_EQ(ticks, c.ticks);
  }
}

TEST(ColumnTypes, DeclaredAndWidenedAsTheDataNeeds) {
  std::vector<ado::ColumnInfo> columns(5);
  columns[0] = {"FName", ado::FieldType::kText, 10, 0, 0, "varchar(10)"};
  columns[1] = {"FNote", ado::FieldType::kText, 0, 0, 0, ""};
  columns[2] = {"FQty", ado::FieldType::kDecimal, 0, 5, 2, "decimal(5,2)"};
  columns[3] = {"FCount", ado::FieldType::kInt, 0, 0, 0, "int"};
  columns[4] = {"FTitle", ado::FieldType::kText, 20, 0, 0, "nvarchar(20)"};
  ado::RowSet rows(columns);
  rows.AddText("天合前刹车片");  // 12 bytes in code page 936: wider than declared
  rows.AddText("😀");             // not in code page 936
  rows.AddDecimal(*Decimal::Parse("123456.75"));
  rows.AddInt(int64_t{1} << 40);
  rows.AddText("x");
  rows.EndRow();
  const std::vector<TypeInfo> t = ColumnTypes(rows);
  EXPECT_EQ(t[0].type, type::kBigVarChar);
  EXPECT_EQ(t[0].length, 12u);
  EXPECT_EQ(t[1].type, type::kNVarChar);
  EXPECT_EQ(t[2].type, type::kDecimalN);
  EXPECT_EQ(t[2].precision, 8) << "the digits of the widest value";
  EXPECT_EQ(t[2].scale, 2);
  EXPECT_EQ(t[3].length, 8u) << "an int column holding a 64-bit value";
  EXPECT_EQ(t[4].type, type::kNVarChar);
  EXPECT_EQ(t[4].length, 40u);
}

TEST(Engine, ExecuteSqlMarkersAndNocount) {
  std::vector<size_t> order;
  EXPECT_EQ(MarkersForNames("select '@P1', [@P2], @P2 -- @P1\n+ @p1 /* @P2 */ from t",
                            {"@P1", "@P2"}, order),
            "select '@P1', [@P2], ? -- @P1\n+ ? /* @P2 */ from t");
  EXPECT_EQ(order, (std::vector<size_t>{1, 0}));
  EXPECT_EQ(DeclaredNames("@P1 decimal(18,4),@P2 nvarchar(30) OUTPUT"),
            (std::vector<std::string>{"@P1", "@P2"}));

  EXPECT_TRUE(NocountAfter(" Set Nocount on\r\nselect 1", false));
  EXPECT_FALSE(NocountAfter("SET NOCOUNT ON select 1 SET NOCOUNT OFF", false));
  EXPECT_TRUE(NocountAfter("select 'set nocount off' -- set nocount off", true));
}

TEST(Engine, FailuresInSqlServersTerms) {
  const std::string batch = "select 1\r\nselect 2\r\n  select 1 /\r\n 0 from t";
  const struct {
    int32_t number;
    const char* description;
    int32_t want_number;
    uint8_t severity;
    const char* want_text;
    int32_t line;
  } kCases[] = {
      {8134, "Divide by zero error encountered. [statement: select 1 / 0 from t]", 8134, 16,
       "Divide by zero error encountered.", 3},
      {-2147217900, "no such table: t_Nope [statement: select 2]", 208, 16,
       "Invalid object name 't_Nope'.", 2},
      {-2147217900, "no such column: FNope", 207, 16, "Invalid column name 'FNope'.", 1},
      {-2147217900, "near \"selec\": syntax error", 102, 15, "Incorrect syntax near 'selec'.", 1},
      {245, "Conversion failed when converting the varchar value 'x' to data type int.", 245, 16,
       "Conversion failed when converting the varchar value 'x' to data type int.", 1},
      {-2147217900, "database is locked", 50000, 16, "database is locked", 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.description);
    const ServerMessage m = MessageForFailure(Error(c.number, "engine", c.description), batch);
    EXPECT_EQ(m.number, c.want_number);
    EXPECT_EQ(m.severity, c.severity);
    EXPECT_EQ(m.text, c.want_text);
    EXPECT_EQ(m.line, c.line);
  }
}

}  // namespace
}  // namespace q8::tds

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "q8vantorpt/ado.h"

namespace q8::ado {
namespace {

ColumnInfo Col(const char* name, FieldType t, int precision = 0, int scale = 0) {
  ColumnInfo c;
  c.name = name;
  c.type = t;
  c.precision = precision;
  c.scale = scale;
  return c;
}

// One value added through one Add* call, read back as text.
struct Conversion {
  const char* why;
  ColumnInfo column;
  std::function<void(RowSet&)> add;
  const char* expected;  // the stored value as text
};

TEST(RowSet, ValuesAreConvertedToTheColumnType) {
  const Conversion cases[] = {
      {"a binary double rounds at the scale as its shortest text does",
       Col("d", FieldType::kDecimal, 28, 2), [](RowSet& r) { r.AddDouble(2.675); }, "2.68"},
      {"0.1 * 3 is 0.3 at scale 10", Col("d", FieldType::kDecimal, 23, 10),
       [](RowSet& r) { r.AddDouble(0.1 * 3); }, "0.3000000000"},
      {"an integer gets the column's scale", Col("d", FieldType::kDecimal, 23, 10),
       [](RowSet& r) { r.AddInt(10); }, "10.0000000000"},
      {"decimals round half away from zero", Col("d", FieldType::kDecimal, 23, 10),
       [](RowSet& r) { r.AddDecimal(*Decimal::Parse("-1.23456789015")); }, "-1.2345678902"},
      {"decimal text", Col("d", FieldType::kDecimal, 38, 6),
       [](RowSet& r) { r.AddText("123456789012345678901234567890.1234567"); },
       "123456789012345678901234567890.123457"},
      {"int into float", Col("f", FieldType::kDouble), [](RowSet& r) { r.AddInt(3); }, "3"},
      {"a whole float into int", Col("i", FieldType::kInt), [](RowSet& r) { r.AddDouble(7.0); },
       "7"},
      {"text of a date", Col("t", FieldType::kDateTime),
       [](RowSet& r) { r.AddText("2024-03-31 13:45:07"); }, "2024-03-31 13:45:07"},
      {"a date into text", Col("t", FieldType::kText),
       [](RowSet& r) { r.AddDateTime(*date::Parse("2024-01-02")); }, "2024-01-02 00:00:00"},
      {"a number into text", Col("t", FieldType::kText), [](RowSet& r) { r.AddInt(-42); }, "-42"},
      {"bool from int", Col("b", FieldType::kBool), [](RowSet& r) { r.AddInt(5); }, "True"},
  };
  for (const Conversion& c : cases) {
    RowSet rows({c.column});
    c.add(rows);
    rows.EndRow();
    Variant v = rows.Get(0, 0);
    std::string text;
    switch (v.type()) {
      case VarType::kDate:
        text = date::ToIso(v.date_days());
        break;
      case VarType::kDecimal:
        text = v.ToDecimal().ToString();
        break;
      case VarType::kBool:
        text = v.ToBool() ? "True" : "False";
        break;
      default:
        text = v.ToText();
    }
    EXPECT_EQ(text, c.expected) << c.why;
  }
}

TEST(RowSet, ValuesThatCannotBeConvertedAreRefused) {
  RowSet rows({Col("i", FieldType::kInt), Col("d", FieldType::kDateTime)});
  EXPECT_THROW(rows.AddText("abc"), Error);
  rows.AddInt(1);
  EXPECT_THROW(rows.AddText("31/31/2024"), Error);
  EXPECT_THROW(rows.EndRow(), Error);  // the date column is still missing
}

TEST(RowSet, TextCellsNullsAndEmptyStringsStayApart) {
  RowSet rows({Col("t", FieldType::kText), Col("n", FieldType::kInt)});
  const char* texts[] = {"汽配", nullptr, "", "a b ", nullptr, "last"};
  for (const char* t : texts) {
    t ? rows.AddText(t) : rows.AddNull();
    rows.AddInt(1);
    rows.EndRow();
  }
  ASSERT_EQ(rows.row_count(), 6u);
  for (size_t r = 0; r < 6; ++r) {
    if (texts[r]) {
      EXPECT_FALSE(rows.IsNull(r, 0)) << r;
      EXPECT_EQ(rows.GetText(r, 0), texts[r]) << r;
    } else {
      EXPECT_TRUE(rows.IsNull(r, 0)) << r;
      EXPECT_TRUE(rows.Get(r, 0).IsNull()) << r;
    }
  }
}

TEST(RowSet, IntegersBeyondThirtyTwoBitsReadAsDecimal) {
  RowSet rows({Col("i", FieldType::kInt)});
  rows.AddInt(int64_t{1} << 40);
  rows.EndRow();
  rows.AddInt(-5);
  rows.EndRow();
  EXPECT_EQ(rows.Get(0, 0).type(), VarType::kDecimal);
  EXPECT_EQ(rows.Get(0, 0).ToDecimal().ToString(), "1099511627776");
  EXPECT_EQ(rows.Get(1, 0).type(), VarType::kLong);
}

TEST(RowSet, RetypeWidensTheValuesAlreadyHeld) {
  struct Case {
    FieldType from, to;
    int scale;
    std::function<void(RowSet&)> add;
    const char* expected;
  };
  const Case cases[] = {
      {FieldType::kInt, FieldType::kDouble, 0, [](RowSet& r) { r.AddInt(3); }, "3"},
      {FieldType::kInt, FieldType::kDecimal, 2, [](RowSet& r) { r.AddInt(3); }, "3.00"},
      {FieldType::kDecimal, FieldType::kText, 0,
       [](RowSet& r) { r.AddDecimal(*Decimal::Parse("1.50")); }, "1.5"},
      {FieldType::kDateTime, FieldType::kText, 0,
       [](RowSet& r) { r.AddText("2024-05-06 07:08:09"); }, "2024-05-06 07:08:09"},
      {FieldType::kDouble, FieldType::kText, 0, [](RowSet& r) { r.AddDouble(0.1); }, "0.1"},
  };
  for (const Case& c : cases) {
    RowSet rows({Col("c", c.from, 18, 4), Col("other", FieldType::kInt)});
    c.add(rows);
    rows.AddInt(9);
    rows.EndRow();
    rows.AddNull();
    // Retyping in the middle of a row: the cell of this row is not there yet.
    rows.RetypeColumn(0, c.to, c.scale);
    rows.AddInt(1);
    rows.EndRow();
    EXPECT_EQ(rows.columns()[0].type, c.to);
    Variant v = rows.Get(0, 0);
    EXPECT_EQ(v.type() == VarType::kDecimal ? v.ToDecimal().ToString() : v.ToText(), c.expected);
    EXPECT_TRUE(rows.IsNull(1, 0));
    EXPECT_EQ(rows.GetInt(0, 1), 9);
  }
  RowSet narrow({Col("t", FieldType::kText)});
  narrow.AddText("x");
  narrow.EndRow();
  EXPECT_THROW(narrow.RetypeColumn(0, FieldType::kInt), Error);
}

// Integers and mantissas are held narrow while they fit; a value that does
// not fit widens the column, first value or later, and every value reads back.
TEST(RowSet, ColumnsWidenWhenAValueNeedsIt) {
  const std::string big = "12345678901234567890.1234567890";  // mantissa beyond 64 bits
  for (int first_wide = 0; first_wide < 2; ++first_wide) {
    RowSet rows({Col("i", FieldType::kInt), Col("d", FieldType::kDecimal, 38, 10)});
    std::vector<std::pair<int64_t, std::string>> want;
    auto add = [&](int64_t i, const std::string& d) {
      rows.AddInt(i);
      rows.AddDecimal(*Decimal::Parse(d));
      rows.EndRow();
      want.emplace_back(i, d);
    };
    if (first_wide) add(int64_t{1} << 40, big);
    add(7, "1.5000000000");
    add(-3, "-0.0000000001");
    add(int64_t{-1} << 50, "-" + big);
    add(2147483647, "922337203.6854775807");
    for (size_t r = 0; r < want.size(); ++r) {
      EXPECT_EQ(rows.GetInt(r, 0), want[r].first) << r;
      EXPECT_EQ(rows.GetDecimal(r, 1).ToString(), want[r].second) << r;
    }
  }
}

}  // namespace
}  // namespace q8::ado

// The output writers: escaping, NULL, decimals, dates, Chinese text and the
// display width that aligns tables.
#include "tools/q8vantorpt/writers.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

namespace q8::tool {
namespace {

using ado::ColumnInfo;
using ado::FieldType;

TEST(DisplayWidth, CountsTerminalCells) {
  struct Case {
    const char* text;
    size_t width;
    const char* why;
  };
  const Case cases[] = {
      {"", 0, "empty"},
      {"FNumber", 7, "ASCII"},
      {"刹车片", 6, "CJK ideographs take two cells"},
      {"博世 W-719", 10, "mixed"},
      {"，、。", 6, "full-width and CJK punctuation"},
      {"ＡＢ", 4, "full-width Latin"},
      {"e\xCC\x81", 1, "combining acute accent takes none"},
      {"\xF0\x9F\x9A\x97", 2, "emoji (car)"},
      {"\xE2\x9A\xA1\xE2\x9C\x85", 4, "emoji among the older symbols (high voltage, check mark)"},
      {"\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD", 2, "a skin-tone modifier draws on the emoji before it"},
      {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 2,
       "a sequence joined by U+200D is one picture"},
      {"\xF0\x9F\x87\xA8\xF0\x9F\x87\xB3", 2, "a flag: two regional indicators"},
      {"\xE2\x80\x8B", 0, "zero width space"},
      {"한국", 4, "Hangul syllables"},
      {"\xFF"
       "a",
       2, "an invalid byte counts as one cell"},
      {"\xE5\x88", 2, "a truncated sequence: one cell per byte"},
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayWidth(c.text), c.width) << c.why;
}

TEST(FitWidth, CutsAtTheWidthWithAnEllipsis) {
  struct Case {
    const char* text;
    size_t width;
    const char* fitted;
    const char* why;
  };
  const Case cases[] = {
      {"FNumber", 7, "FNumber", "exactly as wide"},
      {"FNumber", 6, "FNumb\u2026", "one cell too wide"},
      {"刹车片", 6, "刹车片", "CJK, exactly as wide"},
      {"刹车片", 5, "刹车\u2026", "a wide character is not cut in two"},
      {"刹车片", 4, "刹\u2026", "nor left half in the room"},
      {"e\xCC\x81"
       "e\xCC\x81",
       1, "\u2026", "combining marks go with their letter"},
      {"abc", 1, "\u2026", "only the ellipsis fits"},
      {"", 3, "", "empty"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitWidth(c.text, c.width), c.fitted) << c.why;
    EXPECT_LE(DisplayWidth(FitWidth(c.text, c.width)), c.width) << c.why;
  }
}

TEST(CsvField, QuotesOnlyWhenNeeded) {
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"lf\n", "\"lf\n\""},
      {"", "\"\""},  // an empty text stays apart from NULL (an empty field)
      {"  blanks  ", "  blanks  "},
      {"刹车片", "刹车片"},
  };
  for (const auto& [in, out] : cases) {
    std::string s;
    AppendCsvField(s, in);
    EXPECT_EQ(s, out) << in;
  }
}

TEST(JsonString, RoundTripsThroughAParser) {
  const std::string cases[] = {
      "plain",
      "quote \" and backslash \\",
      "tab\tnew\nline\rret",
      std::string("nul\0x", 5),
      "\x01\x1f\x7f",
      "前刹车片 适用丰田卡罗拉",
      "emoji \xF0\x9F\x9A\x97",
      "/slash/",
  };
  for (const std::string& c : cases) {
    std::string s;
    AppendJsonString(s, c);
    EXPECT_EQ(nlohmann::json::parse(s).get<std::string>(), c) << s;
  }
}

TEST(JsonString, ReplacesInvalidUtf8) {
  std::string s;
  AppendJsonString(s,
                   "a\xFF"
                   "b\xC0\xAF"
                   "c");  // a stray byte and an overlong "/"
  EXPECT_EQ(nlohmann::json::parse(s).get<std::string>(),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD\xEF\xBF\xBD"
            "c");
}

TEST(Format, DoublesAndDates) {
  const std::pair<double, const char*> doubles[] = {
      {0.0, "0"},
      {0.1, "0.1"},
      {123.0, "123"},
      {-2.5, "-2.5"},
      {1e20, "100000000000000000000"},
      {1e21, "1e+21"},
      {1.5e-7, "1.5e-07"},
  };
  for (const auto& [v, text] : doubles) EXPECT_EQ(FormatDouble(v), text) << v;
  const std::pair<date::Parts, const char*> dates[] = {
      {{2024, 1, 31, 0, 0, 0, 0}, "2024-01-31 00:00:00"},
      {{2024, 2, 29, 23, 59, 58, 0}, "2024-02-29 23:59:58"},
      {{2024, 3, 1, 8, 5, 3, 250}, "2024-03-01 08:05:03"},  // milliseconds are not shown
      {{1899, 12, 30, 0, 0, 0, 0}, "1899-12-30 00:00:00"},  // the zero date
  };
  for (const auto& [p, text] : dates) EXPECT_EQ(FormatDateTime(date::FromParts(p)), text);
}

// A record set with every column type, NULLs and texts that need escaping.
std::unique_ptr<ado::RowSet> SampleRows() {
  std::vector<ColumnInfo> cols = {
      {"FName", FieldType::kText, 80, 0, 0, "nvarchar(80)"},
      {"FQty", FieldType::kDecimal, 0, 23, 10, "decimal(23,10)"},
      {"FID", FieldType::kInt, 0, 0, 0, "int"},
      {"FDate", FieldType::kDateTime, 0, 0, 0, "datetime"},
      {"FRate", FieldType::kDouble, 0, 0, 0, "float"},
      {"FOk", FieldType::kBool, 0, 0, 0, "bit"},
  };
  auto rows = std::make_unique<ado::RowSet>(cols);
  rows->AddText("前刹车片, \"原厂\"");
  rows->AddDecimal(*Decimal::Parse("1234567890123.4500000000"));
  rows->AddInt(-7);
  rows->AddDateTime(date::FromParts({2024, 12, 31, 0, 0, 0, 0}));
  rows->AddDouble(0.25);
  rows->AddBool(true);
  rows->EndRow();
  for (int i = 0; i < 6; ++i) rows->AddNull();
  rows->EndRow();
  rows->AddText("");
  rows->AddDecimal(*Decimal::Parse("-0.0000000001"));
  rows->AddInt(0);
  rows->AddDateTime(date::FromParts({2024, 2, 29, 13, 45, 0, 0}));
  rows->AddDouble(-3);
  rows->AddBool(false);
  rows->EndRow();
  return rows;
}

std::string Write(Format f, const ado::RowSet& rows) {
  std::ostringstream out;
  Writer(out, f).RecordSet(rows);
  return out.str();
}

TEST(Writer, CsvIsRfc4180WithNullEmpty) {
  EXPECT_EQ(Write(Format::kCsv, *SampleRows()),
            "FName,FQty,FID,FDate,FRate,FOk\r\n"
            "\"前刹车片, \"\"原厂\"\"\",1234567890123.45,-7,2024-12-31 00:00:00,0.25,true\r\n"
            ",,,,,\r\n"
            "\"\",-0.0000000001,0,2024-02-29 13:45:00,-3,false\r\n");
}

TEST(Writer, JsonHasTypedColumnsAndExactDecimals) {
  const std::string text = Write(Format::kJson, *SampleRows());
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << "one object per line";
  // Decimal digits are written as they are, not through a double.
  EXPECT_NE(text.find("1234567890123.45,"), std::string::npos) << text;
  EXPECT_NE(text.find("-0.0000000001,"), std::string::npos) << text;
  const nlohmann::json j = nlohmann::json::parse(text);
  const nlohmann::json columns =
      nlohmann::json::parse(R"([{"name":"FName","type":"text"},{"name":"FQty","type":"decimal"},)"
                            R"({"name":"FID","type":"int"},{"name":"FDate","type":"datetime"},)"
                            R"({"name":"FRate","type":"float"},{"name":"FOk","type":"bool"}])");
  EXPECT_EQ(j["columns"], columns);
  ASSERT_EQ(j["rows"].size(), 3u);
  EXPECT_EQ(j["rows"][0][0], "前刹车片, \"原厂\"");
  EXPECT_EQ(j["rows"][0][2], -7);
  EXPECT_EQ(j["rows"][0][3], "2024-12-31 00:00:00");
  EXPECT_EQ(j["rows"][0][4], 0.25);
  EXPECT_EQ(j["rows"][0][5], true);
  for (const auto& cell : j["rows"][1]) EXPECT_TRUE(cell.is_null());
  EXPECT_EQ(j["rows"][2][0], "");
}

TEST(Writer, TableAlignsByDisplayWidth) {
  const std::string text = Write(Format::kTable, *SampleRows());
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(in, line)) lines.push_back(line);
  ASSERT_EQ(lines.size(), 6u) << text;  // header, rule, three rows, count
  EXPECT_EQ(lines.back(), "(3 rows)");
  // Every column separator of every row stands in the same terminal column.
  auto bars = [](const std::string& l) {
    std::vector<size_t> at;
    size_t pos = 0;
    while ((pos = l.find(" | ", pos)) != std::string::npos) {
      at.push_back(DisplayWidth(l.substr(0, pos)));
      pos += 3;
    }
    return at;
  };
  for (size_t i : {2u, 3u, 4u}) EXPECT_EQ(bars(lines[i]), bars(lines[0])) << lines[i];
  // Numbers on the right, NULL as blanks, decimals without trailing zeros.
  EXPECT_NE(lines[2].find("| 1234567890123.45 |"), std::string::npos) << lines[2];
  EXPECT_NE(lines[3].find("|                  |"), std::string::npos) << lines[3];
  EXPECT_EQ(lines[1].find_first_not_of("-+"), std::string::npos);
}

TEST(Writer, TableEscapesLineBreaks) {
  ado::RowSet rows({{"FNote", FieldType::kText, 0, 0, 0, "varchar(10)"}});
  rows.AddText("a\nb\tc");
  rows.EndRow();
  EXPECT_EQ(Write(Format::kTable, rows), " FNote\n---------\n a\\nb\\tc\n(1 row)\n");
}

TEST(Writer, NamedValuesAndSingleValues) {
  const NamedValues values = {
      {"BeginDate", Variant::Date(date::FromParts({2024, 3, 1, 0, 0, 0, 0}))},
      {"EndDate", Variant("2024/03/31")},
      {"HavingPre", Variant(int16_t{1})},
      {"Rate", Variant(*Decimal::Parse("7.1000"))},
      {"Where", Variant("t1.FItemID in (1,2)")},
      {"Missing", Variant::Null()},
  };
  struct Case {
    Format format;
    const char* expected;
  };
  const Case cases[] = {
      {Format::kJson,
       "{\"BeginDate\":\"2024-03-01 00:00:00\",\"EndDate\":\"2024/03/31\",\"HavingPre\":1,"
       "\"Rate\":7.1,\"Where\":\"t1.FItemID in (1,2)\",\"Missing\":null}\n"},
      {Format::kCsv,
       "BeginDate,2024-03-01 00:00:00\r\nEndDate,2024/03/31\r\nHavingPre,1\r\nRate,7.1\r\n"
       "Where,\"t1.FItemID in (1,2)\"\r\nMissing,\r\n"},
      // Two aligned columns; numbers right-aligned among themselves.
      {Format::kTable,
       " BeginDate | 2024-03-01 00:00:00\n EndDate   | 2024/03/31\n HavingPre |   1\n"
       " Rate      | 7.1\n Where     | t1.FItemID in (1,2)\n Missing   |\n"},
  };
  for (const Case& c : cases) {
    std::ostringstream out;
    Writer(out, c.format).Named(values);
    EXPECT_EQ(out.str(), c.expected);
  }
  const std::pair<Variant, const char*> singles[] = {
      {Variant("报表"), "\"报表\"\n"},
      {Variant::Date(date::FromParts({2024, 12, 31, 0, 0, 0, 0})), "\"2024-12-31 00:00:00\"\n"},
      {Variant(true), "true\n"},
      {Variant(), "null\n"},
  };
  for (const auto& [v, json] : singles) {
    std::ostringstream out;
    Writer(out, Format::kJson).Value(v);
    EXPECT_EQ(out.str(), json);
  }
  std::ostringstream out;
  Writer(out, Format::kTable).Value(Variant("报表"));
  EXPECT_EQ(out.str(), "报表\n");
}

TEST(Writer, SeveralRecordSets) {
  auto rows = SampleRows();
  std::ostringstream json, csv;
  Writer j(json, Format::kJson), c(csv, Format::kCsv);
  j.RecordSet(*rows);
  j.RecordSet(*rows);
  c.RecordSet(*rows);
  c.RecordSet(*rows);
  const std::string t = json.str();
  EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 2) << "one object per line";
  EXPECT_NE(csv.str().find("\r\n\nFName,"), std::string::npos) << "a blank line between sets";
}

}  // namespace
}  // namespace q8::tool

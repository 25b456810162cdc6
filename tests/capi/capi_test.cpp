// The C interface (q8vantorpt.h): values, dictionaries, objects, late-bound
// calls with by-reference arguments, record sets and errors, through the C
// functions only.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "q8vantorpt/q8vantorpt.h"
#include "tests/capi/c_host.h"
#include "tests/data/test_db.h"

namespace {

using q8::testing::TestDb;

struct Free {
  void operator()(q8_variant* v) const { q8_variant_free(v); }
  void operator()(q8_object* o) const { q8_object_free(o); }
  void operator()(q8_dictionary* d) const { q8_dictionary_free(d); }
  void operator()(q8_recordset* r) const { q8_recordset_free(r); }
  void operator()(q8_error* e) const { q8_error_free(e); }
};
using Variant = std::unique_ptr<q8_variant, Free>;
using Object = std::unique_ptr<q8_object, Free>;
using Dictionary = std::unique_ptr<q8_dictionary, Free>;
using Recordset = std::unique_ptr<q8_recordset, Free>;
using ErrorHandle = std::unique_ptr<q8_error, Free>;

Variant NewVariant() { return Variant(q8_variant_new()); }

Variant Text(const std::string& s) {
  Variant v = NewVariant();
  EXPECT_EQ(q8_variant_set_text_n(v.get(), s.data(), s.size(), nullptr), 0);
  return v;
}

Variant Long(int32_t n) {
  Variant v = NewVariant();
  q8_variant_set_long(v.get(), n);
  return v;
}

// The text of a variant by the conversion rules, or "<error N>".
std::string TextOf(const q8_variant* v) {
  const char* s = nullptr;
  size_t n = 0;
  int32_t status = q8_variant_get_text(v, &s, &n, nullptr);
  if (status != 0) return "<error " + std::to_string(status) + ">";
  return std::string(s, n);
}

// A call's outcome: its status and the error handle it produced.
struct Outcome {
  int32_t status = 0;
  ErrorHandle error;
  std::string Describe() const {
    if (!error) return "status " + std::to_string(status);
    return std::to_string(q8_error_number(error.get())) + " " + q8_error_source(error.get()) +
           ": " + q8_error_description(error.get());
  }
};

Outcome Invoke(q8_object* o, const char* name, const std::vector<q8_variant*>& args,
               q8_variant* result) {
  q8_error* e = nullptr;
  Outcome out;
  out.status = q8_invoke(o, name, args.empty() ? nullptr : args.data(), args.size(), result, &e);
  out.error.reset(e);
  return out;
}

Recordset RecordsetOf(const q8_variant* v) {
  q8_recordset* rs = nullptr;
  EXPECT_EQ(q8_variant_get_recordset(v, &rs, nullptr), 0);
  return Recordset(rs);
}

std::string Cell(const q8_recordset* rs, size_t row, size_t col) {
  const char* s = nullptr;
  size_t n = 0;
  int32_t status = q8_recordset_text(rs, row, col, &s, &n, nullptr);
  if (status != 0) return "<error " + std::to_string(status) + ">";
  return s ? std::string(s, n) : "<null>";
}

Object NewData() {
  q8_object* o = nullptr;
  EXPECT_EQ(q8_data_new(&o, nullptr), 0);
  return Object(o);
}

TEST(CInterface, VersionMatchesTheHeader) {
  EXPECT_STREQ(q8_version(), Q8VANTORPT_VERSION);
  EXPECT_EQ(q8_version_number(), Q8VANTORPT_VERSION_NUMBER);
}

TEST(CInterface, ValuesKeepTheirTypeAndConvertByTheAutomationRules) {
  struct Case {
    const char* note;
    Variant value;
    int type;
    std::string text;     // q8_variant_get_text
    int32_t long_status;  // q8_variant_get_long: 0 or the error number
    int32_t long_value;
  };
  auto big = NewVariant();
  q8_variant_set_int64(big.get(), 5000000000LL);
  auto small = NewVariant();
  q8_variant_set_int64(small.get(), -7);
  auto yes = NewVariant();
  q8_variant_set_bool(yes.get(), 42);
  auto half = NewVariant();
  q8_variant_set_double(half.get(), 2.5);
  auto day = NewVariant();
  q8_variant_set_date(day.get(), q8_date_from_parts(2024, 12, 31, 0, 0, 0, 0));
  auto null = NewVariant();
  q8_variant_set_null(null.get());
  auto missing = NewVariant();
  q8_variant_set_missing(missing.get());
  auto dec = NewVariant();
  ASSERT_EQ(q8_variant_set_decimal(dec.get(), " -12.50 ", nullptr), 0);

  std::vector<Case> cases;
  cases.push_back({"empty reads as nothing", NewVariant(), Q8_TYPE_EMPTY, "", 0, 0});
  cases.push_back({"null cannot be read", std::move(null), Q8_TYPE_NULL, "<error 94>", 94, 0});
  cases.push_back({"missing", std::move(missing), Q8_TYPE_MISSING, "<error 13>", 13, 0});
  cases.push_back({"true is -1", std::move(yes), Q8_TYPE_BOOL, "True", 0, -1});
  cases.push_back({"small int64 is a Long", std::move(small), Q8_TYPE_LONG, "-7", 0, -7});
  cases.push_back(
      {"large int64 is a Decimal", std::move(big), Q8_TYPE_DECIMAL, "5000000000", 6, 0});
  cases.push_back({"half to even", std::move(half), Q8_TYPE_DOUBLE, "2.5", 0, 2});
  cases.push_back(
      {"a date is its day number", std::move(day), Q8_TYPE_DATE, "2024-12-31", 0, 45657});
  cases.push_back({"decimal keeps its scale", std::move(dec), Q8_TYPE_DECIMAL, "-12.5", 0, -12});
  cases.push_back({"numeric text", Text(" 12 "), Q8_TYPE_TEXT, " 12 ", 0, 12});
  cases.push_back({"other text", Text("天合"), Q8_TYPE_TEXT, "天合", 13, 0});
  cases.push_back(
      {"embedded NUL", Text(std::string("a\0b", 3)), Q8_TYPE_TEXT, std::string("a\0b", 3), 13, 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    EXPECT_EQ(q8_variant_type(c.value.get()), c.type);
    EXPECT_EQ(TextOf(c.value.get()), c.text);
    int32_t n = 0;
    q8_error* e = nullptr;
    EXPECT_EQ(q8_variant_get_long(c.value.get(), &n, &e), c.long_status);
    ErrorHandle error(e);
    if (c.long_status == 0) {
      EXPECT_EQ(n, c.long_value);
      EXPECT_EQ(e, nullptr);
    } else {
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(q8_error_number(e), c.long_status);
      EXPECT_STRNE(q8_error_description(e), "");
    }
  }
}

TEST(CInterface, DecimalsAreExactText) {
  struct Case {
    const char* in;
    int32_t status;
    const char* out;
  };
  const Case cases[] = {
      {"-12.50", 0, "-12.50"},
      {"0.1", 0, "0.1"},
      {"1e3", 0, "1000"},
      {"12345678901234567890123456.123456789012", 0, "12345678901234567890123456.123456789012"},
      {"abc", 13, nullptr},
      {"", 13, nullptr},
      // 39 digits do not fit.
      {"123456789012345678901234567890123456789", 6, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    Variant v = NewVariant();
    EXPECT_EQ(q8_variant_set_decimal(v.get(), c.in, nullptr), c.status);
    if (c.status != 0) continue;
    const char* text = nullptr;
    ASSERT_EQ(q8_variant_get_decimal(v.get(), &text, nullptr), 0);
    EXPECT_STREQ(text, c.out);
  }
  // A double converts to a decimal too.
  Variant d = NewVariant();
  q8_variant_set_double(d.get(), 0.25);
  const char* text = nullptr;
  ASSERT_EQ(q8_variant_get_decimal(d.get(), &text, nullptr), 0);
  EXPECT_STREQ(text, "0.25");
}

TEST(CInterface, DatesRoundTripThroughTheirParts) {
  struct Case {
    int y, mo, d, h, mi, s, ms;
    double days;
  };
  const Case cases[] = {
      {1899, 12, 30, 0, 0, 0, 0, 0.0},
      {1900, 1, 1, 6, 0, 0, 0, 2.25},
      // Before the epoch the time of day still counts forward.
      {1899, 12, 29, 6, 0, 0, 0, -1.25},
      {2024, 2, 29, 23, 59, 59, 500, -1},
  };
  for (const Case& c : cases) {
    double days = q8_date_from_parts(c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms);
    if (c.days != -1) {
      EXPECT_DOUBLE_EQ(days, c.days);
    }
    int y, mo, d, h, mi, s, ms;
    q8_date_to_parts(days, &y, &mo, &d, &h, &mi, &s, &ms);
    EXPECT_EQ(std::vector<int>({y, mo, d, h, mi, s, ms}),
              std::vector<int>({c.y, c.mo, c.d, c.h, c.mi, c.s, c.ms}));
  }
  q8_date_to_parts(1.5, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

TEST(CInterface, DictionariesAreSharedAndIgnoreKeyCase) {
  Dictionary d(q8_dictionary_new());
  ASSERT_TRUE(d);
  Variant one = Long(1);
  ASSERT_EQ(q8_dictionary_set(d.get(), "BDate", Text("2024-12-01").get(), nullptr), 0);
  ASSERT_EQ(q8_dictionary_set(d.get(), "Status", one.get(), nullptr), 0);
  ASSERT_EQ(q8_dictionary_set(d.get(), "bdate", Text("2024-12-02").get(), nullptr), 0);
  EXPECT_EQ(q8_dictionary_count(d.get()), 2u);
  EXPECT_STREQ(q8_dictionary_key(d.get(), 0), "BDate");  // the first spelling stays
  EXPECT_EQ(q8_dictionary_key(d.get(), 2), nullptr);
  Variant got = NewVariant();
  EXPECT_EQ(q8_dictionary_get(d.get(), "BDATE", got.get()), 1);
  EXPECT_EQ(TextOf(got.get()), "2024-12-02");
  EXPECT_EQ(q8_dictionary_get(d.get(), "none", got.get()), 0);
  EXPECT_EQ(q8_variant_type(got.get()), Q8_TYPE_EMPTY);
  EXPECT_EQ(q8_dictionary_item(d.get(), 1, got.get(), nullptr), 0);
  EXPECT_EQ(q8_variant_type(got.get()), Q8_TYPE_LONG);
  EXPECT_EQ(q8_dictionary_item(d.get(), 2, got.get(), nullptr), 9);

  // Through a variant, the same dictionary: a change shows through both.
  Variant holder = NewVariant();
  q8_variant_set_dictionary(holder.get(), d.get());
  EXPECT_EQ(q8_variant_object_kind(holder.get()), Q8_KIND_DICTIONARY);
  q8_dictionary* again = nullptr;
  ASSERT_EQ(q8_variant_get_dictionary(holder.get(), &again, nullptr), 0);
  Dictionary shared(again);
  EXPECT_EQ(q8_dictionary_remove(shared.get(), "status"), 1);
  EXPECT_EQ(q8_dictionary_remove(shared.get(), "status"), 0);
  EXPECT_EQ(q8_dictionary_exists(d.get(), "Status"), 0);
  d.reset();  // the variant still holds it
  EXPECT_EQ(q8_dictionary_count(shared.get()), 1u);

  // A dictionary is not a record set, and a number is no object.
  q8_recordset* rs = nullptr;
  EXPECT_EQ(q8_variant_get_recordset(holder.get(), &rs, nullptr), 13);
  EXPECT_EQ(rs, nullptr);
  q8_object* o = nullptr;
  EXPECT_EQ(q8_variant_get_object(one.get(), &o, nullptr), 13);
  // Empty is Nothing: no handle and no error.
  Variant empty = NewVariant();
  EXPECT_EQ(q8_variant_get_dictionary(empty.get(), &again, nullptr), 0);
  EXPECT_EQ(again, nullptr);
}

TEST(CInterface, ObjectsByProgIdAndTheirMethods) {
  struct Case {
    const char* prog_id;
    int32_t status;
    int kind;
    size_t methods;
  };
  const Case cases[] = {
      {"Q8VANTORpt.Data", 0, Q8_KIND_DATA, 12},
      {"q8vantorpt.rpt", 0, Q8_KIND_RPT, 5},
      {"Q8VANTORpt.TableDataAccess", 0, Q8_KIND_OTHER, 0},
      {"No.SuchClass", 429, Q8_KIND_NONE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prog_id);
    q8_object* raw = nullptr;
    EXPECT_EQ(q8_create(c.prog_id, &raw, nullptr), c.status);
    Object o(raw);
    EXPECT_EQ(q8_object_kind(o.get()), c.kind);
    EXPECT_EQ(q8_method_count(o.get()), c.methods);
  }

  Object data = NewData();
  const char* name = nullptr;
  int32_t dispid = 0;
  int low = -1, high = -1;
  bool found = false;
  for (size_t i = 0; i < q8_method_count(data.get()); ++i) {
    ASSERT_EQ(q8_method_info(data.get(), i, &name, &dispid, &low, &high, nullptr), 0);
    if (std::string(name) == "GetRpt2008608Data") {
      found = true;
      EXPECT_EQ(dispid, 0x6003000C);
      EXPECT_EQ(low, 3);  // SortFields is optional
      EXPECT_EQ(high, 4);
    }
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(q8_method_info(data.get(), 12, &name, nullptr, nullptr, nullptr, nullptr), 9);
}

TEST(CInterface, MissingHandlesAndUnknownMethodsFail) {
  Object data = NewData();
  Variant result = NewVariant();
  Dictionary d(q8_dictionary_new());
  Variant holder = NewVariant();
  q8_variant_set_dictionary(holder.get(), d.get());
  q8_object* dict_object = nullptr;
  ASSERT_EQ(q8_variant_get_object(holder.get(), &dict_object, nullptr), 0);
  Object dict_as_object(dict_object);
  EXPECT_EQ(q8_object_kind(dict_as_object.get()), Q8_KIND_DICTIONARY);

  struct Case {
    const char* note;
    q8_object* object;
    const char* name;
    std::vector<q8_variant*> args;
    int32_t status;
  };
  Variant dsn = Text("x");
  const std::vector<Case> cases = {
      {"no object", nullptr, "GetData", {}, 91},
      {"no name", data.get(), nullptr, {}, 91},
      {"unknown method", data.get(), "NoSuchMethod", {}, 438},
      {"too few arguments", data.get(), "GetData", {dsn.get()}, 450},
      {"an argument missing", data.get(), "GetServerDate", {nullptr}, 91},
      {"a dictionary has no methods", dict_as_object.get(), "GetData", {}, 438},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.note);
    Outcome out = Invoke(c.object, c.name, c.args, result.get());
    EXPECT_EQ(out.status, c.status);
    ASSERT_TRUE(out.error);
    EXPECT_EQ(q8_error_number(out.error.get()), c.status);
  }
  // Without an error pointer the status alone tells.
  EXPECT_EQ(q8_invoke(nullptr, "GetData", nullptr, 0, nullptr, nullptr), 91);
  EXPECT_EQ(q8_data_new(nullptr, nullptr), 91);
  EXPECT_EQ(q8_error_number(nullptr), 0);
  EXPECT_STREQ(q8_error_source(nullptr), "");
}

class CInterfaceOnDatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec(
        "INSERT INTO t_PeriodDate (FYear, FPeriod, FStartDate, FEndDate) VALUES "
        "(2024, 12, '2024-12-01 00:00:00', '2024-12-31 00:00:00');"
        "INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES "
        "('IC', 'CurrentYear', '2024'), ('IC', 'CurrentPeriod', '12');");
    dsn_ = Text(db_.Dsn());
    data_ = NewData();
  }
  TestDb db_;
  Variant dsn_;
  Object data_;
};

TEST_F(CInterfaceOnDatabase, RecordSetColumnsAndTypedValues) {
  Variant sql = Text(
      "select cast(12.5 as decimal(10,2)) as d, 7 as n, N'天合前刹车片' as t, "
      "cast('2024-12-31 08:30:00' as datetime) as dt, 0.5e0 as f, null as z "
      "union all select cast(-0.01 as decimal(10,2)), 8, 'b', null, 1.25e0, null");
  Variant result = NewVariant();
  Outcome out = Invoke(data_.get(), "getdata", {dsn_.get(), sql.get()}, result.get());
  ASSERT_EQ(out.status, 0) << out.Describe();
  EXPECT_EQ(q8_variant_object_kind(result.get()), Q8_KIND_RECORDSET);
  Recordset rs = RecordsetOf(result.get());
  ASSERT_TRUE(rs);
  data_.reset();  // a detached record set outlives its object

  ASSERT_EQ(q8_recordset_column_count(rs.get()), 6u);
  ASSERT_EQ(q8_recordset_row_count(rs.get()), 2u);
  struct Column {
    const char* name;
    int type;
    const char* row0;
    const char* row1;
  };
  const Column columns[] = {
      {"d", Q8_FIELD_DECIMAL, "12.50", "-0.01"},
      {"n", Q8_FIELD_INT, "7", "8"},
      {"t", Q8_FIELD_TEXT, "天合前刹车片", "b"},
      {"dt", Q8_FIELD_DATETIME, "2024-12-31 08:30:00", "<null>"},
      {"f", Q8_FIELD_DOUBLE, "0.5", "1.25"},
  };
  for (size_t c = 0; c < std::size(columns); ++c) {
    SCOPED_TRACE(columns[c].name);
    EXPECT_STREQ(q8_recordset_column_name(rs.get(), c), columns[c].name);
    EXPECT_EQ(q8_recordset_column_type(rs.get(), c), columns[c].type);
    EXPECT_EQ(Cell(rs.get(), 0, c), columns[c].row0);
    EXPECT_EQ(Cell(rs.get(), 1, c), columns[c].row1);
  }
  EXPECT_EQ(q8_recordset_column_precision(rs.get(), 0), 10);
  EXPECT_EQ(q8_recordset_column_scale(rs.get(), 0), 2);
  EXPECT_STREQ(q8_field_type_name(q8_recordset_column_type(rs.get(), 0)), "decimal");
  EXPECT_EQ(q8_field_type_name(99), nullptr);

  // Typed values.
  int64_t n = 0;
  EXPECT_EQ(q8_recordset_get_int64(rs.get(), 1, 1, &n, nullptr), 0);
  EXPECT_EQ(n, 8);
  double f = 0;
  EXPECT_EQ(q8_recordset_get_double(rs.get(), 0, 3, &f, nullptr), 0);
  EXPECT_DOUBLE_EQ(f, q8_date_from_parts(2024, 12, 31, 8, 30, 0, 0));
  Variant v = NewVariant();
  EXPECT_EQ(q8_recordset_value(rs.get(), 0, 0, v.get(), nullptr), 0);
  EXPECT_EQ(q8_variant_type(v.get()), Q8_TYPE_DECIMAL);
  EXPECT_EQ(q8_recordset_value(rs.get(), 0, 3, v.get(), nullptr), 0);
  EXPECT_EQ(q8_variant_type(v.get()), Q8_TYPE_DATE);

  // NULL, and cells outside the record set.
  EXPECT_EQ(q8_recordset_is_null(rs.get(), 0, 5), 1);
  EXPECT_EQ(q8_recordset_is_null(rs.get(), 0, 4), 0);
  EXPECT_EQ(q8_recordset_is_null(rs.get(), 2, 0), -1);
  EXPECT_EQ(q8_recordset_get_int64(rs.get(), 0, 5, &n, nullptr), 94);
  EXPECT_EQ(q8_recordset_value(rs.get(), 0, 6, v.get(), nullptr), 9);
  EXPECT_EQ(Cell(rs.get(), 2, 0), "<error 9>");
  EXPECT_EQ(q8_recordset_column_name(rs.get(), 6), nullptr);
  EXPECT_EQ(q8_recordset_column_type(rs.get(), 6), -1);

  // GetData gives one result.
  q8_recordset* next = reinterpret_cast<q8_recordset*>(1);
  EXPECT_EQ(q8_recordset_next(rs.get(), &next, nullptr), 0);
  EXPECT_EQ(next, nullptr);
}

// A result of many blocks of rows is read whole by row index, in any order.
TEST_F(CInterfaceOnDatabase, LargeRecordSetsAreReadWholeByRowIndex) {
  Variant sql = Text(
      "with d(i) as (select 0 union all select 1 union all select 2 union all select 3 "
      "union all select 4 union all select 5 union all select 6 union all select 7 "
      "union all select 8 union all select 9) "
      "select a.i * 1000 + b.i * 100 + c.i * 10 + e.i + f.i * 10000 as n "
      "from d a cross join d b cross join d c cross join d e "
      "cross join (select 0 i union all select 1) f "
      "order by n");
  Variant result = NewVariant();
  Outcome out = Invoke(data_.get(), "getdata", {dsn_.get(), sql.get()}, result.get());
  ASSERT_EQ(out.status, 0) << out.Describe();
  Recordset rs = RecordsetOf(result.get());
  ASSERT_TRUE(rs);
  ASSERT_EQ(q8_recordset_row_count(rs.get()), 20000u);
  for (size_t row : {size_t{19999}, size_t{0}, size_t{4096}, size_t{12345}, size_t{4095}}) {
    SCOPED_TRACE(row);
    EXPECT_EQ(Cell(rs.get(), row, 0), std::to_string(row));
  }
  EXPECT_EQ(q8_recordset_is_null(rs.get(), 20000, 0), -1);
}

TEST_F(CInterfaceOnDatabase, ByNameAndByDispidGiveTheSame) {
  Variant sql = Text("select 1 as a");
  Variant by_name = NewVariant(), by_dispid = NewVariant();
  ASSERT_EQ(Invoke(data_.get(), "GetData", {dsn_.get(), sql.get()}, by_name.get()).status, 0);
  q8_variant* args[] = {dsn_.get(), sql.get()};
  ASSERT_EQ(q8_invoke_dispid(data_.get(), 0x60030004, args, 2, by_dispid.get(), nullptr), 0);
  EXPECT_EQ(Cell(RecordsetOf(by_name.get()).get(), 0, 0),
            Cell(RecordsetOf(by_dispid.get()).get(), 0, 0));
  EXPECT_EQ(q8_invoke_dispid(data_.get(), 0x12345678, args, 2, nullptr, nullptr), 438);
}

TEST_F(CInterfaceOnDatabase, InOutArgumentsAreWrittenBack) {
  // GetPeriodStartEndDate(sDsn, iYear, iPeriod, BeginDate in/out, EndDate in/out)
  Variant year = Long(2024), period = Long(12), begin = NewVariant(), end = NewVariant();
  Variant result = NewVariant();
  Outcome out =
      Invoke(data_.get(), "GetPeriodStartEndDate",
             {dsn_.get(), year.get(), period.get(), begin.get(), end.get()}, result.get());
  ASSERT_EQ(out.status, 0) << out.Describe();
  EXPECT_EQ(q8_variant_type(result.get()), Q8_TYPE_EMPTY);
  EXPECT_EQ(q8_variant_type(begin.get()), Q8_TYPE_DATE);
  EXPECT_EQ(TextOf(begin.get()), "2024-12-01");
  EXPECT_EQ(TextOf(end.get()), "2024/12/31");

  // A report creates SortFields when none is passed, and writes it back.
  Variant nothing = NewVariant(), sort = NewVariant();
  Dictionary filter(q8_dictionary_new());
  Variant filter_arg = NewVariant();
  q8_variant_set_dictionary(filter_arg.get(), filter.get());
  out = Invoke(data_.get(), "GetRpt2008608Data",
               {dsn_.get(), nothing.get(), filter_arg.get(), sort.get()}, result.get());
  ASSERT_EQ(out.status, 0) << out.Describe();
  ASSERT_EQ(q8_variant_object_kind(sort.get()), Q8_KIND_DICTIONARY);
  q8_dictionary* hints = nullptr;
  ASSERT_EQ(q8_variant_get_dictionary(sort.get(), &hints, nullptr), 0);
  Dictionary sort_fields(hints);
  EXPECT_EQ(q8_dictionary_exists(sort_fields.get(), "DefaultOrderBy"), 1);
  // The report's record set stays readable after the object is gone.
  Recordset rs = RecordsetOf(result.get());
  data_.reset();
  EXPECT_GT(q8_recordset_column_count(rs.get()), 10u);

  // A SortFields passed in is the one filled.
  data_ = NewData();
  Dictionary mine(q8_dictionary_new());
  q8_variant_set_dictionary(sort.get(), mine.get());
  out = Invoke(data_.get(), "GetRpt2008608Data",
               {dsn_.get(), nothing.get(), filter_arg.get(), sort.get()}, nullptr);
  ASSERT_EQ(out.status, 0) << out.Describe();
  EXPECT_EQ(q8_dictionary_exists(mine.get(), "DefaultOrderBy"), 1);
}

TEST_F(CInterfaceOnDatabase, BatchResultsComeBackInTheirArguments) {
  Dictionary parameters(q8_dictionary_new());
  ASSERT_EQ(q8_dictionary_set(parameters.get(), "sDsN", dsn_.get(), nullptr), 0);
  ASSERT_EQ(q8_dictionary_set(parameters.get(), "StrSql",
                              Text("select 'body' as b select 'head' as h").get(), nullptr),
            0);
  Variant p = NewVariant(), body = NewVariant(), header = NewVariant();
  q8_variant_set_dictionary(p.get(), parameters.get());
  Outcome out = Invoke(data_.get(), "GetRptRsBySQL", {p.get(), body.get(), header.get()}, nullptr);
  ASSERT_EQ(out.status, 0) << out.Describe();
  EXPECT_EQ(Cell(RecordsetOf(body.get()).get(), 0, 0), "body");
  EXPECT_EQ(Cell(RecordsetOf(header.get()).get(), 0, 0), "head");
}

TEST_F(CInterfaceOnDatabase, DictionaryResultsAndTheComponentsErrors) {
  Variant result = NewVariant();
  Outcome out = Invoke(data_.get(), "GetCurrenPeriodDate", {dsn_.get()}, result.get());
  ASSERT_EQ(out.status, 0) << out.Describe();
  q8_dictionary* raw = nullptr;
  ASSERT_EQ(q8_variant_get_dictionary(result.get(), &raw, nullptr), 0);
  Dictionary period(raw);
  Variant v = NewVariant();
  ASSERT_EQ(q8_dictionary_get(period.get(), "CurrentPeriod", v.get()), 1);
  int32_t n = 0;
  EXPECT_EQ(q8_variant_get_long(v.get(), &n, nullptr), 0);
  EXPECT_EQ(n, 12);

  // A failing statement: the component's number, source and description.
  Variant bad = Text("select 1/0");
  out = Invoke(data_.get(), "GetData", {dsn_.get(), bad.get()}, result.get());
  EXPECT_EQ(out.status, Q8_ERROR_COMPONENT);
  ASSERT_TRUE(out.error);
  EXPECT_EQ(q8_error_number(out.error.get()), Q8_ERROR_COMPONENT);
  std::string source = q8_error_source(out.error.get());
  EXPECT_EQ(source.substr(source.size() - 7), "GetData") << source;
  EXPECT_NE(std::string(q8_error_description(out.error.get())).find("Divide by zero"),
            std::string::npos);
  EXPECT_STREQ(q8_error_help_file(out.error.get()), "");
  EXPECT_EQ(q8_error_help_context(out.error.get()), 0);
  // A failure leaves the result as it was.
  EXPECT_EQ(q8_variant_object_kind(result.get()), Q8_KIND_DICTIONARY);
}

TEST_F(CInterfaceOnDatabase, RptObject) {
  q8_object* raw = nullptr;
  ASSERT_EQ(q8_rpt_new(&raw, nullptr), 0);
  Object rpt(raw);
  Variant group = Long(7), result = NewVariant();
  Outcome out = Invoke(rpt.get(), "GetReportGroupName", {dsn_.get(), group.get()}, result.get());
  ASSERT_EQ(out.status, 0) << out.Describe();
  EXPECT_EQ(TextOf(result.get()), "报表");  // no such group
  // GroupID is optional.
  out = Invoke(rpt.get(), "GetReportList", {dsn_.get()}, result.get());
  ASSERT_EQ(out.status, 0) << out.Describe();
  EXPECT_EQ(q8_variant_object_kind(result.get()), Q8_KIND_RECORDSET);
}

TEST_F(CInterfaceOnDatabase, AHostWrittenInC) { EXPECT_EQ(q8_c_host_run(db_.Dsn().c_str()), 0); }

}  // namespace

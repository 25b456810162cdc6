// The demo database generator.
//
// The generator first builds the master data in memory (materials, customers,
// warehouses), then walks the year day by day writing bills in date order
// while it keeps the stock of every consignment position (warehouse,
// material, auxiliary property, batch), and finally writes the stock that
// the movements leave. All rows go through prepared statements inside one
// transaction; the file is new, so the journal is switched off. The indexes
// are built once the rows are in: sorting a whole table is far cheaper than
// keeping an index in order row by row.
#include "tools/q8vantorpt/demo_db.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <compare>
#include <cstdio>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string_view>

#include "drivers/sqlite/schema.h"
#include "q8vantorpt/error.h"
#include "tools/q8vantorpt/demo_names.h"

namespace q8::tool {
namespace {

using demo::kCategories;
using demo::PartKind;

// ---------------------------------------------------------------------------
// Randomness and calendar.

// SplitMix64: small, fast and the same on every platform. Every draw is an
// integer operation, so one seed gives the same database everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed ^ 0x5DEECE66DULL) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n). REQUIRES: n > 0.
  uint64_t Below(uint64_t n) {
    // Draws at or above the largest multiple of n (limit) are drawn again.
    // limit lies above UINT64_MAX - n, so it is needed only for the top n
    // values, and the common case costs one division instead of two.
    uint64_t v = Next();
    if (v > UINT64_MAX - n) {
      const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
      while (v >= limit) v = Next();
    }
    return v % n;
  }
  int64_t Between(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(Below(static_cast<uint64_t>(hi - lo + 1)));
  }
  // True with probability percent / 100.
  bool Percent(int percent) { return Below(100) < static_cast<uint64_t>(percent); }
  // Index in [0, n), favouring small indexes (a few customers and materials
  // carry most of the business, as in a real ledger).
  size_t Skewed(size_t n) {
    const uint64_t a = Below(n), b = Below(n);
    return static_cast<size_t>(std::min(a, b));
  }

 private:
  uint64_t state_;
};

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
int64_t DayNumber(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

struct Civil {
  int y, m, d;
};

Civil FromDayNumber(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  return {static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}

std::string DateText(int64_t day) {  // "YYYY-MM-DD"
  const Civil c = FromDayNumber(day);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.y, c.m, c.d);
  return buf;
}

std::string DateTime(int64_t day) { return DateText(day) + " 00:00:00"; }

std::string Compact(int64_t day) {  // "YYYYMMDD", for batch numbers
  const Civil c = FromDayNumber(day);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", c.y, c.m, c.d);
  return buf;
}

// `v` in at least `width` digits, zero-padded ("%0*lld").
std::string Pad(int64_t v, int width) {
  char buf[24];
  if (v < 0) {
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
    return buf;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  const int n = static_cast<int>(end - digits);
  std::string out(static_cast<size_t>(std::max(0, width - n)), '0');
  out.append(digits, end);
  return out;
}

// Money and quantities are kept in integers (fen, thousandths of a
// kilogram) and written as numbers with their decimals.
double Fen(int64_t fen) { return static_cast<double>(fen) / 100.0; }
double Milli(int64_t milli) { return static_cast<double>(milli) / 1000.0; }

// `count` distinct indexes below `n`, in increasing order.
std::vector<size_t> Sample(Rng& rng, size_t n, size_t count) {
  count = std::min(count, n);
  std::set<size_t> chosen;
  while (chosen.size() < count) chosen.insert(rng.Below(n));
  return {chosen.begin(), chosen.end()};
}

// ---------------------------------------------------------------------------
// Writing rows.

[[noreturn]] void RaiseSqlite(sqlite3* db, const std::string& what) {
  const int code = db != nullptr ? sqlite3_extended_errcode(db) : SQLITE_ERROR;
  const std::string message = db != nullptr ? sqlite3_errmsg(db) : "out of memory";
  throw Error(code, "q8vantorpt demo-db", what + ": " + message);
}

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

void Exec(sqlite3* db, const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message != nullptr ? message : "";
    sqlite3_free(message);
    throw Error(sqlite3_extended_errcode(db), "q8vantorpt demo-db", std::string(sql) + ": " + text);
  }
}

bool HasTable(sqlite3* db, const char* table) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(
          db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE", -1,
          &s, nullptr) != SQLITE_OK) {
    RaiseSqlite(db, "sqlite_master");
  }
  sqlite3_bind_text(s, 1, table, -1, SQLITE_STATIC);
  const bool found = sqlite3_step(s) == SQLITE_ROW;
  sqlite3_finalize(s);
  return found;
}

// One prepared INSERT. Values are given in the order of the column list and
// Row() ends a row. A column name starting with '?' is optional: when the
// table has no such column, its value is dropped (the ERP's tables carry
// more columns than the component reads; the schema holds those it reads).
//
// With `batch` > 1 the rows are kept and written `batch` at a time by one
// statement of as many rows, which costs SQLite far less per row than a
// statement per row; Flush() writes the rest. The rows reach the table in the
// order of Row() either way.
class Insert {
 public:
  Insert(sqlite3* db, std::string table, std::initializer_list<std::string_view> columns,
         bool or_ignore = false, int batch = 1)
      : db_(db), table_(std::move(table)), batch_(std::max(1, batch)) {
    const std::set<std::string> present = TableColumns();
    if (present.empty()) RaiseSqlite(db, "no table " + table_);
    std::string names, marks;
    for (std::string_view c : columns) {
      const bool optional = !c.empty() && c.front() == '?';
      if (optional) c.remove_prefix(1);
      const bool here = present.count(Lower(c)) > 0;
      if (!here && !optional) {
        throw Error(1, "q8vantorpt demo-db",
                    "table " + table_ + " has no column " + std::string(c));
      }
      has_.push_back(here ? 1 : 0);
      if (!here) continue;
      ++bound_columns_;
      if (!names.empty()) {
        names += ',';
        marks += ',';
      }
      names += c;
      marks += '?';
    }
    const std::string head = std::string(or_ignore ? "INSERT OR IGNORE" : "INSERT") + " INTO " +
                             table_ + " (" + names + ") VALUES ";
    one_ = Prepare(head + "(" + marks + ")");
    if (batch_ > 1) {
      std::string rows;
      for (int r = 0; r < batch_; ++r) rows += (r == 0 ? "(" : ",(") + marks + ")";
      many_ = Prepare(head + rows);
    }
    values_.resize(static_cast<size_t>(batch_ * bound_columns_));
  }

  Insert& Int(int64_t v) {
    if (Slot()) Put(Value::kInt).i = v;
    return *this;
  }
  Insert& Real(double v) {
    if (Slot()) Put(Value::kReal).r = v;
    return *this;
  }
  // Text, copied.
  Insert& Text(std::string_view v) {
    if (Slot()) {
      Value& value = Put(Value::kCopied, v.size());
      value.offset = copies_.size();
      copies_.append(v);
    }
    return *this;
  }
  // Text that stays where it is, unchanged, until the rows are written (the
  // latest at Flush()): not copied.
  Insert& Kept(std::string_view v) {
    if (Slot()) Put(Value::kKept, v.size()).text = v.data();
    return *this;
  }
  Insert& Null() {
    if (Slot()) Put(Value::kNull);
    return *this;
  }
  void Row() {
    if (next_ != has_.size()) Fail("wrong number of values for ");
    next_ = 0;
    ++rows_;
    if (++pending_ == batch_) Write(batch_ > 1 ? many_.get() : one_.get(), batch_);
  }
  // Writes the rows kept so far.
  void Flush() {
    if (next_ != 0) Fail("an unfinished row for ");
    while (pending_ > 0) Write(one_.get(), 1);
  }
  const std::string& table() const { return table_; }
  int64_t rows() const { return rows_; }

 private:
  struct Value {
    enum Kind : int32_t { kNull, kInt, kReal, kCopied, kKept } kind;
    int32_t length;  // of a text
    union {
      int64_t i;
      double r;
      size_t offset;  // of a copied text in copies_
      const char* text;
    };
  };

  [[noreturn]] void Fail(const char* what) const {
    throw Error(1, "q8vantorpt demo-db", what + table_);
  }
  Value& Put(Value::Kind kind, size_t length = 0) {
    Value& v = values_[filled_++];
    v.kind = kind;
    v.length = static_cast<int32_t>(length);
    return v;
  }

  static std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  }
  std::set<std::string> TableColumns() const {
    std::set<std::string> out;
    sqlite3_stmt* s = nullptr;
    const std::string sql = "PRAGMA table_info(" + table_ + ")";
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      RaiseSqlite(db_, sql);
    }
    std::unique_ptr<sqlite3_stmt, StmtFinalizer> guard(s);
    while (sqlite3_step(s) == SQLITE_ROW) {
      out.insert(Lower(reinterpret_cast<const char*>(sqlite3_column_text(s, 1))));
    }
    return out;
  }
  std::unique_ptr<sqlite3_stmt, StmtFinalizer> Prepare(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      RaiseSqlite(db_, "prepare " + table_);
    }
    return std::unique_ptr<sqlite3_stmt, StmtFinalizer>(s);
  }
  // Whether the next value has a column (false: dropped).
  bool Slot() {
    if (next_ >= has_.size()) Fail("too many values for ");
    return has_[next_++] != 0;
  }
  // Writes the first `rows` kept rows with `stmt`, a statement of that many.
  void Write(sqlite3_stmt* stmt, int rows) {
    const size_t count = static_cast<size_t>(rows * bound_columns_);
    for (size_t k = 0; k < count; ++k) {
      const Value& v = values_[done_ + k];
      const int i = static_cast<int>(k) + 1;
      switch (v.kind) {
        case Value::kNull:
          sqlite3_bind_null(stmt, i);
          break;
        case Value::kInt:
          sqlite3_bind_int64(stmt, i, v.i);
          break;
        case Value::kReal:
          sqlite3_bind_double(stmt, i, v.r);
          break;
        case Value::kCopied:
          sqlite3_bind_text(stmt, i, copies_.data() + v.offset, v.length, SQLITE_STATIC);
          break;
        case Value::kKept:
          sqlite3_bind_text(stmt, i, v.text, v.length, SQLITE_STATIC);
          break;
      }
    }
    if (sqlite3_step(stmt) != SQLITE_DONE) RaiseSqlite(db_, "insert into " + table_);
    sqlite3_reset(stmt);
    pending_ -= rows;
    done_ += count;
    if (pending_ == 0) {
      filled_ = done_ = 0;
      copies_.clear();
    }
  }

  sqlite3* db_;
  std::string table_;
  int batch_;
  std::unique_ptr<sqlite3_stmt, StmtFinalizer> one_, many_;  // one row, batch_ rows
  std::vector<uint8_t> has_;  // per listed column: 1 = the table has it
  int bound_columns_ = 0;
  size_t next_ = 0;            // listed column of the next value
  std::vector<Value> values_;  // of the rows not yet written, in order
  size_t filled_ = 0;          // values_ given
  size_t done_ = 0;            // values_ written (by Flush)
  std::string copies_;         // the copied texts among them
  int pending_ = 0;            // rows not yet written
  int64_t rows_ = 0;
};

// ---------------------------------------------------------------------------
// The model held in memory while the bills are written.

// Units of measure.
constexpr int kUnitPiece = 1;  // 个, the base unit of every material
constexpr int kUnitKilogram = 5;
int BoxUnit(int box) { return box == 10 ? 2 : box == 12 ? 3 : 4; }

// Currencies and rate types.
constexpr int kRmb = 1, kUsd = 1000, kEur = 1001, kHkd = 1002;
constexpr int kSaleRateType = 1;

// Materials have ids of their own range, apart from the t_Item ids of
// customers, suppliers and warehouses.
constexpr int kFirstMaterialId = 100001;

struct Material {
  // What the bills read first, together.
  int id;
  const PartKind* kind;
  int unit_id, store_unit_id, sec_unit_id;
  int box;  // base units per stock unit
  int64_t sale_fen, cost_fen;
  int aux_first = 0, aux_count = 0;  // t_AuxItem ids
  bool deleted = false;
  std::string number, short_number, name, model;
};

struct Customer {
  int id;
  std::string number, short_number, name, map_prefix;
  std::vector<int> warehouses;  // consignment warehouses
  int64_t discount_pct;         // of the list price, in the customer's price policy
};

struct Warehouse {
  int id;
  std::string number, short_number, name;
  int type;
  std::vector<int> places;  // t_StockPlace ids
};

// One consignment position: what lies in a warehouse of one material,
// auxiliary property and batch. A batch is named after its production day
// (Compact), so the day stands for the batch: -1 = no batch. Keys order as
// (warehouse, material, property, batch number), "" first.
struct PositionKey {
  int warehouse, material, aux;
  int32_t made_day;
  bool operator==(const PositionKey& o) const = default;
  auto operator<=>(const PositionKey& o) const = default;
};
struct Position {
  PositionKey key;
  int64_t qty = 0;
};

// The positions of one customer's consignment warehouses, in the order they
// were first sent to, with an open-addressing index by key. Each customer's
// positions lie together, so the draws of a bill stay in a small region.
class CustomerPositions {
 public:
  // The position of `key`, created empty if there is none (second = true).
  // References stay valid until the next call.
  std::pair<Position*, bool> FindOrAdd(const PositionKey& key) {
    if ((positions_.size() + 1) * 2 > slots_.size()) Grow();
    size_t i = Hash(key) & (slots_.size() - 1);
    for (; slots_[i] != 0; i = (i + 1) & (slots_.size() - 1)) {
      Position& p = positions_[slots_[i] - 1];
      if (p.key == key) return {&p, false};
    }
    positions_.push_back(Position{key, 0});
    slots_[i] = static_cast<uint32_t>(positions_.size());
    return {&positions_.back(), true};
  }
  std::vector<Position>& all() { return positions_; }
  const std::vector<Position>& all() const { return positions_; }
  // Indexes in all() of the positions that returns and settlements draw
  // from. A position leaves it when a draw finds it empty, and is not put
  // back when a later send fills it again.
  std::vector<uint32_t>& held() { return held_; }

 private:
  static size_t Hash(const PositionKey& k) {
    uint64_t h = static_cast<uint32_t>(k.warehouse);
    h = h * 0x9E3779B97F4A7C15ULL ^ static_cast<uint32_t>(k.material);
    h = h * 0x9E3779B97F4A7C15ULL ^ static_cast<uint32_t>(k.aux);
    h = h * 0x9E3779B97F4A7C15ULL ^ static_cast<uint32_t>(k.made_day);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    return static_cast<size_t>(h ^ (h >> 32));
  }
  void Grow() {
    slots_.assign(std::max<size_t>(64, slots_.size() * 2), 0);
    for (size_t p = 0; p < positions_.size(); ++p) {
      size_t i = Hash(positions_[p].key) & (slots_.size() - 1);
      while (slots_[i] != 0) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = static_cast<uint32_t>(p + 1);
    }
  }

  std::vector<Position> positions_;
  std::vector<uint32_t> slots_;  // index in positions_ + 1; 0 = free
  std::vector<uint32_t> held_;
};

// The text of a day (days since 1970-01-01), formatted once. The texts stay
// where they are, so rows bind them with Insert::Kept().
class DayTexts {
 public:
  explicit DayTexts(std::string (*format)(int64_t)) : format_(format) {}
  const std::string& operator()(int64_t day) {
    if (day < 0 || day > kLastDay) {
      auto [it, fresh] = others_.try_emplace(day);
      if (fresh) it->second = format_(day);
      return it->second;
    }
    const size_t i = static_cast<size_t>(day);
    if (i >= texts_.size()) texts_.resize(i + 1);
    if (!texts_[i]) texts_[i] = std::make_unique<std::string>(format_(day));
    return *texts_[i];
  }

 private:
  static constexpr int64_t kLastDay = 100000;  // in 2243
  std::string (*format_)(int64_t);
  std::vector<std::unique_ptr<std::string>> texts_;  // by day
  std::map<int64_t, std::string> others_;
};

// The series of bill numbers: a prefix and a running number.
enum Series { kPurchase, kSend, kTransfer, kReturn, kSettlement, kSpecialInvoice, kInvoice };
constexpr const char* kSeriesPrefix[] = {"WIN", "XOUT", "CHG", "XTH", "JS", "ZSEFP", "ZPOFP"};

class Generator {
 public:
  Generator(sqlite3* db, const DemoOptions& options)
      : db_(db), rng_(options.seed), target_(options.lines) {}

  std::vector<std::pair<std::string, int64_t>> Run();

 private:
  void Units();
  void Currencies();
  void Materials();
  void Partners();
  void Warehouses();
  void Prices();
  void ProfileAndCalendar();
  void Catalogue();
  void DataRights();
  void Bills();
  void Stock();

  // Bills.
  struct Line {
    const Material* m;
    int aux;
    int64_t made_day;  // -1 = no batch
    int64_t qty;
    int unit;  // the line's unit
    int src_stock, dst_stock;
    int64_t price_fen;
  };
  void WriteStockBill(int tran_type, int bis_type, int sale_style, int rob, int supply_id,
                      int cust_id, int64_t day, const std::string& bill_no,
                      std::vector<Line>& lines, bool cancelled, bool checked, int* inter_id_out);
  void WriteInvoice(const Customer& c, int64_t day, int source_inter_id,
                    const std::vector<Line>& lines);
  void Send(int64_t day, int tran_type);
  void ReturnOrSettle(int64_t day, bool settle);
  void Purchase(int64_t day);
  Line NewLine(const Material& m, int64_t day, int64_t max_boxes);
  const Material& PickMaterial();
  bool Checked(int64_t day) { return day < december_ || rng_.Percent(70); }
  // The next number of a series, as "XOUT000123".
  std::string NextBillNo(Series series) {
    return kSeriesPrefix[series] + Pad(++bill_counters_[series], 6);
  }
  // DateTime(day), DateText(day) and the batch number of a production day
  // ("" for -1), each formatted once; rows bind them with Kept().
  const std::string& Dt(int64_t day) { return date_times_(day); }
  const std::string& DateOf(int64_t day) { return dates_(day); }
  const std::string& Batch(int64_t made_day) {
    static const std::string none;
    return made_day < 0 ? none : batches_(made_day);
  }

  Insert& Table(std::string table, std::initializer_list<std::string_view> columns,
                bool or_ignore = false, int batch = 1) {
    inserts_.push_back(std::make_unique<Insert>(db_, std::move(table), columns, or_ignore, batch));
    return *inserts_.back();
  }
  // Rows per statement for the large tables, each written by one Insert
  // (two Inserts of one table would interleave their rows differently).
  static constexpr int kBatch = 32;

  sqlite3* db_;
  Rng rng_;
  int64_t target_;
  int64_t lines_written_ = 0;
  int64_t year_start_ = 0, year_end_ = 0, december_ = 0, far_future_ = 0;
  int next_item_id_ = 1001;

  std::vector<Material> materials_;
  std::vector<Customer> customers_;  // consignment customers first
  size_t consignment_customers_ = 0;
  std::vector<Warehouse> warehouses_;  // central warehouses first
  std::vector<int> suppliers_;
  // Per customer index; the stock is written in key order at the end.
  std::vector<CustomerPositions> positions_;

  DayTexts date_times_{DateTime}, dates_{DateText}, batches_{Compact};
  std::vector<std::unique_ptr<Insert>> inserts_;
  Insert* bill_ = nullptr;
  Insert* bill_entry_ = nullptr;
  Insert* sale_ = nullptr;
  Insert* sale_entry_ = nullptr;
  int next_bill_id_ = 1, next_bill_detail_ = 1, next_sale_id_ = 1, next_sale_detail_ = 1;
  int bill_counters_[std::size(kSeriesPrefix)] = {};
};

// ---------------------------------------------------------------------------

void Generator::Units() {
  Insert& u = Table("t_MeasureUnit", {"FMeasureUnitID", "?FNumber", "FName", "FCoefficient"});
  u.Int(kUnitPiece).Text("Pcs").Text("个").Int(1).Row();
  u.Int(2).Text("Box10").Text("箱").Int(10).Row();
  u.Int(3).Text("Box12").Text("箱").Int(12).Row();
  u.Int(4).Text("Box20").Text("箱").Int(20).Row();
  u.Int(kUnitKilogram).Text("kg").Text("千克").Int(1).Row();
  u.Int(6).Text("Set").Text("套").Int(4).Row();
}

void Generator::Currencies() {
  Insert& c = Table("t_Currency", {"FCurrencyID", "?FNumber", "?FName"});
  c.Int(kRmb).Text("RMB").Text("人民币").Row();
  c.Int(kUsd).Text("USD").Text("美元").Row();
  c.Int(kEur).Text("EUR").Text("欧元").Row();
  c.Int(kHkd).Text("HKD").Text("港币").Row();

  // Rates of the sales rate type; the base currency needs its own rate 1.
  // One expired rate per foreign currency, and a budget rate type that the
  // profile does not name.
  Insert& r = Table("t_ExchangeRateEntry", {"FExchangeRateType", "?FCyFrom", "FCyTo",
                                            "FExchangeRate", "FBegDate", "FEndDate"});
  const std::string begin = DateTime(DayNumber(2020, 1, 1)), end = DateTime(far_future_);
  r.Int(kSaleRateType).Int(kRmb).Int(kRmb).Int(1).Text(begin).Text(end).Row();
  r.Int(kSaleRateType)
      .Int(kRmb)
      .Int(kUsd)
      .Real(7.1)
      .Text(DateTime(DayNumber(2024, 1, 1)))
      .Text(end)
      .Row();
  r.Int(kSaleRateType)
      .Int(kRmb)
      .Int(kUsd)
      .Real(6.9)
      .Text(DateTime(DayNumber(2023, 1, 1)))
      .Text(DateTime(DayNumber(2023, 12, 31)))
      .Row();
  r.Int(kSaleRateType).Int(kRmb).Int(kEur).Real(7.82).Text(begin).Text(end).Row();
  r.Int(kSaleRateType).Int(kRmb).Int(kHkd).Real(0.91).Text(begin).Text(end).Row();
  r.Int(2).Int(kRmb).Int(kUsd).Real(7.3).Text(begin).Text(end).Row();
}

void Generator::Materials() {
  // About one material per 20 bill lines, from 40 up to 20,000.
  const int64_t count = std::clamp<int64_t>(target_ / 20, 40, 20000);
  std::vector<std::pair<size_t, size_t>> kinds;  // (category, part)
  for (size_t c = 0; c < kCategories.size(); ++c) {
    for (size_t p = 0; p < kCategories[c].parts.size(); ++p) {
      if (!kCategories[c].parts[p].name.empty()) kinds.emplace_back(c, p);
    }
  }
  // Auxiliary properties, one block of ids per set.
  Insert& aux = Table("t_AuxItem", {"FItemID", "?FNumber", "FName"});
  std::vector<int> aux_first(demo::kAuxSets.size()), aux_count(demo::kAuxSets.size());
  int aux_id = 1;
  for (size_t s = 0; s < demo::kAuxSets.size(); ++s) {
    aux_first[s] = aux_id;
    for (std::string_view name : demo::kAuxSets[s]) {
      if (name.empty()) continue;
      aux.Int(aux_id).Text(Pad(aux_id, 3)).Text(name).Row();
      ++aux_id;
      ++aux_count[s];
    }
  }

  std::map<std::pair<size_t, size_t>, int> seq;
  materials_.reserve(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    const auto [c, p] = kinds[static_cast<size_t>(i) % kinds.size()];
    const demo::Category& cat = kCategories[c];
    const PartKind& kind = cat.parts[p];
    const int n = ++seq[{c, p}];
    Material m;
    m.id = kFirstMaterialId + static_cast<int>(i);
    m.number =
        std::string(cat.number) + "." + Pad(static_cast<int64_t>(p) + 1, 2) + "." + Pad(n, 4);
    m.short_number = Pad(n, 4);
    const std::string_view brand = cat.brands[rng_.Below(cat.brands.size())];
    const std::string_view vehicle = demo::kVehicles[rng_.Below(demo::kVehicles.size())];
    m.name = std::string(brand) + std::string(kind.name);
    m.model = std::string(kind.code_prefix) + "-" + Pad(rng_.Between(1000, 9999), 4) + " 适用" +
              std::string(vehicle);
    m.kind = &kind;
    m.box = kind.box == 0 ? 1 : kind.box;
    m.unit_id = kUnitPiece;
    m.store_unit_id = kind.box == 0 ? kUnitPiece : BoxUnit(kind.box);
    m.sec_unit_id = kind.weight_grams > 0 ? kUnitKilogram : 0;
    // List price within ±40 % of the kind's, to 10 fen; cost 60-78 % of it.
    m.sale_fen = kind.price_fen * rng_.Between(60, 140) / 100 / 10 * 10;
    m.cost_fen = m.sale_fen * rng_.Between(60, 78) / 100;
    if (kind.aux_set >= 0) {
      m.aux_first = aux_first[static_cast<size_t>(kind.aux_set)];
      m.aux_count = aux_count[static_cast<size_t>(kind.aux_set)];
    }
    m.deleted = rng_.Percent(1);
    materials_.push_back(std::move(m));
  }

  Insert& item = Table("t_ICItem", {"FItemID", "FNumber", "FShortNumber", "FName", "FModel",
                                    "FUnitID", "FStoreUnitID", "FSecUnitID", "FDeleted",
                                    "FQtyDecimal", "FPriceDecimal", "FSalePrice", "FStandardCost"});
  for (const Material& m : materials_) {
    item.Int(m.id)
        .Text(m.number)
        .Text(m.short_number)
        .Text(m.name)
        .Text(m.model)
        .Int(m.unit_id)
        .Int(m.store_unit_id)
        .Int(m.sec_unit_id)
        .Int(m.deleted ? 1 : 0)
        .Int(0)
        .Int(2)
        .Real(Fen(m.sale_fen))
        .Real(Fen(m.cost_fen))
        .Row();
  }
}

void Generator::Partners() {
  // Customers: about one per 250 bill lines, from 12 up to 800; three in
  // four sell on consignment.
  const int64_t count = std::clamp<int64_t>(target_ / 250, 12, 800);
  consignment_customers_ = static_cast<size_t>(count * 3 / 4);
  std::set<std::string> names;
  std::map<size_t, int> region_seq;
  for (int64_t i = 0; i < count; ++i) {
    const size_t region = rng_.Below(demo::kRegions.size());
    const demo::Region& r = demo::kRegions[region];
    // One draw per statement: the order of the operands of + is up to the
    // compiler, and the same seed must give the same names everywhere.
    const size_t trade = rng_.Below(demo::kTradeNames.size());
    const size_t city = rng_.Below(r.cities.size());
    std::string base = std::string(r.cities[city]) + std::string(demo::kTradeNames[trade]);
    std::string name =
        base + std::string(demo::kCustomerSuffixes[rng_.Below(demo::kCustomerSuffixes.size())]);
    for (int k = 2; !names.insert(name).second; ++k)
      name = base + "第" + std::to_string(k) + "分店";
    Customer c;
    c.id = next_item_id_++;
    const int n = ++region_seq[region];
    c.number = std::string(r.number) + "." + Pad(n, 4);
    c.short_number = Pad(n, 4);
    c.name = name;
    c.map_prefix = "K" + std::string(r.number) + Pad(n, 3);
    c.discount_pct = rng_.Between(85, 98);
    customers_.push_back(std::move(c));
  }
  // Customer codes in the order of the ledger.
  std::sort(customers_.begin(), customers_.end(),
            [](const Customer& a, const Customer& b) { return a.number < b.number; });

  Insert& item = Table("t_Item", {"FItemID", "FItemClassID", "FNumber", "FShortNumber", "FName"});
  Insert& org = Table("t_Organization", {"FItemID", "FNumber", "FName"});
  for (const Customer& c : customers_) {
    item.Int(c.id).Int(1).Text(c.number).Text(c.short_number).Text(c.name).Row();
    org.Int(c.id).Text(c.number).Text(c.name).Row();
  }
  for (size_t i = 0; i < demo::kSuppliers.size(); ++i) {
    const int id = next_item_id_++;
    suppliers_.push_back(id);
    item.Int(id)
        .Int(8)
        .Text("S." + Pad(static_cast<int64_t>(i) + 1, 3))
        .Text(Pad(static_cast<int64_t>(i) + 1, 3))
        .Text(demo::kSuppliers[i])
        .Row();
  }
}

void Generator::Warehouses() {
  struct Central {
    const char* number;
    const char* name;
    int type;
    int zones;
  };
  // Central warehouses: two ordinary ones with bins, and the virtual
  // warehouses (inspection, consigned-in, gifts) whose stock lies in
  // POInventory.
  static constexpr Central kCentral[] = {
      {"01", "总仓", 500, 4},     {"02", "北方分仓", 500, 2}, {"03", "待检仓", 20291, 0},
      {"04", "代管仓", 20293, 0}, {"05", "赠品仓", 504, 0},
  };
  int next_place = 1;
  for (const Central& c : kCentral) {
    Warehouse w;
    w.id = next_item_id_++;
    w.number = c.number;
    w.short_number = c.number;
    w.name = c.name;
    w.type = c.type;
    for (int z = 0; z < c.zones; ++z) {
      for (int shelf = 1; shelf <= 5; ++shelf) w.places.push_back(next_place++);
    }
    warehouses_.push_back(std::move(w));
  }
  // Consignment warehouses: one per consignment customer, a second for one
  // customer in five.
  int seq = 0;
  for (size_t i = 0; i < consignment_customers_; ++i) {
    Customer& c = customers_[i];
    const int count = rng_.Percent(20) ? 2 : 1;
    for (int k = 0; k < count; ++k) {
      Warehouse w;
      w.id = next_item_id_++;
      w.short_number = Pad(++seq, 3);
      w.number = "09." + w.short_number;
      // "广州顺达汽配有限公司" → "广州顺达寄售仓"
      const std::string_view full(c.name);
      const size_t cut = full.find("汽");
      w.name = std::string(full.substr(0, cut)) + (k == 0 ? "寄售仓" : "寄售二仓");
      w.type = 505;
      c.warehouses.push_back(w.id);
      warehouses_.push_back(std::move(w));
    }
  }

  Insert& item = Table("t_Item", {"FItemID", "FItemClassID", "FNumber", "FShortNumber", "FName"});
  Insert& stock = Table("t_Stock", {"FItemID", "FNumber", "FShortNumber", "FName", "FTypeID"});
  Insert& place = Table("t_StockPlace", {"FSPID", "FNumber", "FShortNumber", "FName"});
  for (const Warehouse& w : warehouses_) {
    item.Int(w.id).Int(5).Text(w.number).Text(w.short_number).Text(w.name).Row();
    stock.Int(w.id).Text(w.number).Text(w.short_number).Text(w.name).Int(w.type).Row();
    for (size_t k = 0; k < w.places.size(); ++k) {
      const char zone = static_cast<char>('A' + k / 5);
      const std::string shelf = Pad(static_cast<int64_t>(k % 5) + 1, 2);
      place.Int(w.places[k])
          .Text(w.number + "." + zone + shelf)
          .Text(std::string(1, zone) + shelf)
          .Text(w.name + std::string(1, zone) + "区" + shelf + "架")
          .Row();
    }
  }

  Insert& head = Table("t_QPCustInv", {"FID", "FCustID"});
  Insert& entry = Table("t_QPCustInvEntry", {"FID", "?FEntryID", "FStockID"});
  for (size_t i = 0; i < consignment_customers_; ++i) {
    const Customer& c = customers_[i];
    const int fid = static_cast<int>(i) + 1;
    head.Int(fid).Int(c.id).Row();
    int line = 0;
    for (int w : c.warehouses) entry.Int(fid).Int(++line).Int(w).Row();
  }

  // The customers' own codes for some of the materials they stock.
  Insert& map =
      Table("ICItemMapping", {"FItemID", "FPropertyID", "FCompanyID", "FMapNumber", "FMapName"});
  // One material in twelve, at most 40 per customer.
  const size_t mapped = std::min<size_t>(40, materials_.size() / 12);
  for (size_t i = 0; i < consignment_customers_; ++i) {
    const Customer& c = customers_[i];
    for (size_t k : Sample(rng_, materials_.size(), mapped)) {
      const Material& m = materials_[k];
      const std::string_view vehicle = demo::kVehicles[rng_.Below(demo::kVehicles.size())];
      map.Int(m.id)
          .Int(1)
          .Int(c.id)
          .Text(c.map_prefix + "-" + m.short_number + Pad(m.id % 97, 2))
          .Text(std::string(vehicle) + std::string(m.kind->name))
          .Row();
    }
  }
  positions_.resize(customers_.size());
}

void Generator::Prices() {
  Insert& ply = Table("IcPrcPly", {"FInterID", "FPlyType", "?FName"});
  ply.Int(1).Text("PrcAsm1").Text("客户价格政策").Row();
  ply.Int(2).Text("PrcAsm0").Text("基本价格政策").Row();
  ply.Int(3).Text("PrcAsm2").Text("客户类别价格政策").Row();

  Insert& e = Table("ICPrcPlyEntry",
                    {"FInterID", "FItemID", "FUnitID", "FCuryID", "FPrice", "FRelatedID",
                     "FChecked", "FBegDate", "FEndDate"},
                    false, kBatch);
  const std::string always = DateTime(DayNumber(2020, 1, 1)), never = DateTime(far_future_);
  // The base policy: every material at its list price per base unit, in its
  // stock unit; a dealer price for some materials in the class policy.
  for (const Material& m : materials_) {
    e.Int(2)
        .Int(m.id)
        .Int(m.store_unit_id)
        .Int(kRmb)
        .Real(Fen(m.sale_fen))
        .Int(0)
        .Int(1)
        .Text(always)
        .Text(never)
        .Row();
    if (rng_.Percent(20)) {
      e.Int(3)
          .Int(m.id)
          .Int(m.store_unit_id)
          .Int(kRmb)
          .Real(Fen(m.sale_fen * 92 / 100))
          .Int(0)
          .Int(1)
          .Text(always)
          .Text(never)
          .Row();
    }
  }
  // Customer prices: a discount on a third of the materials, some of them
  // expired, not approved, in US dollars or in the base unit (which the
  // stock-unit match does not take).
  const std::string year_begin = DateTime(year_start_),
                    mid_year = DateTime(DayNumber(kDemoYear, 6, 30));
  const size_t priced = std::min<size_t>(150, materials_.size() / 3);
  for (size_t i = 0; i < consignment_customers_; ++i) {
    const Customer& c = customers_[i];
    // The materials the customer sells most (the skewed picks of the bills
    // favour the first ones), and a few others.
    std::set<size_t> chosen;
    for (size_t k : Sample(rng_, std::min<size_t>(materials_.size(), priced * 2), priced / 2))
      chosen.insert(k);
    for (size_t k : Sample(rng_, materials_.size(), priced - chosen.size())) chosen.insert(k);
    for (size_t k : chosen) {
      const Material& m = materials_[k];
      const int64_t fen = m.sale_fen * c.discount_pct / 100;
      const int kind = static_cast<int>(rng_.Below(100));
      if (kind < 4) {  // in US dollars at 7.1
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kUsd)
            .Real(Fen(fen * 10 / 71))
            .Int(c.id)
            .Int(1)
            .Text(year_begin)
            .Text(never)
            .Row();
      } else if (kind < 10) {  // expired mid-year
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kRmb)
            .Real(Fen(fen * 97 / 100))
            .Int(c.id)
            .Int(1)
            .Text(always)
            .Text(mid_year)
            .Row();
      } else if (kind < 13) {  // entered, not yet approved
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kRmb)
            .Real(Fen(fen * 90 / 100))
            .Int(c.id)
            .Int(0)
            .Text(year_begin)
            .Text(never)
            .Row();
      } else if (kind < 16) {  // priced by the piece
        e.Int(1)
            .Int(m.id)
            .Int(kUnitPiece == m.store_unit_id ? 6 : kUnitPiece)
            .Int(kRmb)
            .Real(Fen(fen))
            .Int(c.id)
            .Int(1)
            .Text(year_begin)
            .Text(never)
            .Row();
      } else {
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kRmb)
            .Real(Fen(fen))
            .Int(c.id)
            .Int(1)
            .Text(year_begin)
            .Text(never)
            .Row();
      }
    }
  }
}

void Generator::ProfileAndCalendar() {
  Insert& p = Table("t_SystemProfile", {"FCategory", "FKey", "FValue", "?FDesc"});
  const std::string year = std::to_string(kDemoYear);
  p.Text("IC").Text("StartYear").Text("2020").Text("启用年度").Row();
  p.Text("IC").Text("StartPeriod").Text("1").Text("启用期间").Row();
  p.Text("IC").Text("CurrentYear").Text(year).Text("当前年度").Row();
  p.Text("IC").Text("CurrentPeriod").Text("12").Text("当前期间").Row();
  p.Text("IC")
      .Text("saleexchangeratetype")
      .Text(std::to_string(kSaleRateType))
      .Text("销售汇率类型")
      .Row();
  p.Text("GL").Text("CurrentYear").Text(year).Text("总账当前年度").Row();
  p.Text("GL").Text("CurrentPeriod").Text("12").Text("总账当前期间").Row();
  p.Text("GL").Text("Periodcount").Text("12").Text("会计期间数").Row();
  p.Text("GL").Text("FBWB").Text(std::to_string(kRmb)).Text("记账本位币").Row();

  Insert& cal = Table("t_PeriodDate", {"FYear", "FPeriod", "FStartDate", "FEndDate"});
  for (int y = 2020; y <= 2026; ++y) {
    for (int m = 1; m <= 12; ++m) {
      const int64_t first = DayNumber(y, m, 1);
      const int64_t last = (m == 12 ? DayNumber(y + 1, 1, 1) : DayNumber(y, m + 1, 1)) - 1;
      cal.Int(y).Int(m).Text(DateTime(first)).Text(DateTime(last)).Row();
    }
  }

  Insert& tt = Table("ictransactiontype", {"FID", "FName"});
  static constexpr std::pair<int, const char*> kTypes[] = {
      {1, "外购入库"},  {2, "产品入库"},        {5, "委外加工入库"},    {10, "其他入库"},
      {21, "销售出库"}, {24, "生产领料"},       {28, "委外加工出库"},   {29, "其他出库"},
      {41, "调拨单"},   {80, "销售发票(专用)"}, {86, "销售发票(普通)"},
  };
  for (const auto& [id, name] : kTypes) tt.Int(id).Text(name).Row();

  // Type names of the DBMS (SQL Server spellings), keyed by the ADO type code.
  Insert& ti = Table("t_DataTypeInfo",
                     {"FDataType", "FTypeName", "FMaxPrecision", "FMinScale", "FMaxScale",
                      "FActualType", "FBindType", "FActualSize"},
                     true);
  struct TypeRow {
    int code;
    const char* name;
    int max_precision, min_scale, max_scale, actual, bind, size;  // -1 = NULL
  };
  static constexpr TypeRow kTypeRows[] = {
      {2, "smallint", -1, -1, -1, 2, 2, 2},
      {3, "int", -1, -1, -1, 3, 3, 4},
      {5, "float", -1, -1, -1, 5, 5, 8},
      {6, "money", -1, -1, -1, 6, 6, 8},
      {11, "bit", -1, -1, -1, 11, 11, 1},
      {20, "bigint", -1, -1, -1, 20, 20, 8},
      {72, "uniqueidentifier", -1, -1, -1, 72, 72, 16},
      {129, "char()", 8000, -1, -1, 129, 129, -1},
      {130, "nchar()", 4000, -1, -1, 130, 130, -1},
      {131, "decimal", 38, 0, 38, 131, 131, -1},
      {135, "datetime", -1, -1, -1, 135, 135, 8},
      {200, "varchar()", 8000, -1, -1, 200, 200, -1},
      {201, "text", -1, -1, -1, 201, 200, 2147483647},
      {202, "nvarchar()", 4000, -1, -1, 202, 202, -1},
      {203, "ntext", -1, -1, -1, 203, 202, 1073741823},
      {205, "image", -1, -1, -1, 205, 205, 2147483647},
  };
  auto opt = [&](Insert& row, int v) -> Insert& { return v < 0 ? row.Null() : row.Int(v); };
  for (const TypeRow& t : kTypeRows) {
    ti.Int(t.code).Text(t.name);
    opt(ti, t.max_precision);
    opt(ti, t.min_scale);
    opt(ti, t.max_scale);
    ti.Int(t.actual).Int(t.bind);
    opt(ti, t.size);
    ti.Row();
  }
  Table("t_SupportedProc", {"FProcName"}, true).Text("GetPeriodStartEnd").Row();
}

// Two users whose rights the table-driven rights object reads: a sales
// representative of East China (region 02: its customers and their
// consignment warehouses) and a brake specialist (materials 01.*).
void Generator::DataRights() {
  if (!HasTable(db_, "t_QPDataRight")) return;  // a schema without the rights table
  Insert& r = Table("t_QPDataRight", {"FUserID", "FDataTable", "FItemID"});
  for (const Customer& c : customers_) {
    if (c.number.rfind(std::string(kRightsRegion) + ".", 0) != 0) continue;
    r.Int(kRegionUser).Text("t_Organization").Int(c.id).Row();
    for (int w : c.warehouses) r.Int(kRegionUser).Text("t_Stock").Int(w).Row();
  }
  for (const Material& m : materials_) {
    if (m.number.rfind("01.", 0) == 0) r.Int(kBrakeUser).Text("t_ICItem").Int(m.id).Row();
  }
}

void Generator::Catalogue() {
  Insert& g = Table("ICReportGroup", {"FRptGrpID", "FRptGrpName"});
  g.Int(20086).Text("寄售管理报表").Row();
  g.Int(20087).Text("库存分析报表").Row();

  Insert& r = Table("ICReport", {"FInterID",
                                 "FRptName",
                                 "FRptName_CHT",
                                 "FRptName_EN",
                                 "FDetailRptName",
                                 "FDetailRptName_CHT",
                                 "FDetailRptName_EN",
                                 "FProcedure",
                                 "FTemplateID",
                                 "FNote",
                                 "Fsum",
                                 "FRptType",
                                 "FRptGrpID",
                                 "FRptProperty",
                                 "FRptStyle",
                                 "FObjectType",
                                 "FObjectID",
                                 "FBillType",
                                 "FVis",
                                 "FCountPriceType",
                                 "FMergeCol",
                                 "FEObjectType",
                                 "FEObjectID"});
  struct Report {
    int id, type;
    const char *chs, *cht, *en, *detail_chs, *detail_cht, *detail_en, *note;
  };
  static constexpr Report kReports[] = {
      {2008608, 1, "客户寄售库存表", "客戶寄售庫存表", "Customer Consignment Inventory",
       "客户寄售库存明细", "客戶寄售庫存明細", "Customer Consignment Inventory Detail",
       "寄售仓现存量，按客户、物料、仓库"},
      {2008609, 2, "寄售发出汇总表", "寄售發出匯總表", "Consignment Summary", "寄售发出汇总明细",
       "寄售發出匯總明細", "Consignment Summary Detail", "发出、退回、结算、开票及余额"},
      {2008610, 2, "寄售业务明细表", "寄售業務明細表", "Consignment Movement Detail",
       "寄售业务单据明细", "寄售業務單據明細", "Consignment Movement Bills",
       "逐单据行的寄售发出、退回、结算与开票"},
  };
  for (const Report& x : kReports) {
    r.Int(x.id)
        .Text(x.chs)
        .Text(x.cht)
        .Text(x.en)
        .Text(x.detail_chs)
        .Text(x.detail_cht)
        .Text(x.detail_en)
        .Text("GetRpt" + std::to_string(x.id) + "Data")
        .Text("QP" + std::to_string(x.id))
        .Text(x.note)
        .Int(1)
        .Int(x.type)
        .Int(20086)
        .Int(0)
        .Int(1)
        .Int(0)
        .Text("")
        .Int(0)
        .Int(1)
        .Int(0)
        .Text(x.id == 2008608 ? "FCustNumber,FCustName" : "")
        .Int(0)
        .Text("")
        .Row();
  }
}

// ---------------------------------------------------------------------------
// Bills.

const Material& Generator::PickMaterial() {
  for (;;) {
    const Material& m = materials_[rng_.Skewed(materials_.size())];
    if (!m.deleted || rng_.Percent(5)) return m;  // deleted materials moved before deletion
  }
}

Generator::Line Generator::NewLine(const Material& m, int64_t day, int64_t max_boxes) {
  Line l{};
  l.m = &m;
  l.aux = m.aux_count > 0
              ? m.aux_first + static_cast<int>(rng_.Below(static_cast<uint64_t>(m.aux_count)))
              : 0;
  l.made_day = -1;
  if (m.kind->shelf_days > 0) {
    // Batches are made on the 1st or 16th of a month, 1-6 months earlier.
    const Civil c = FromDayNumber(day - rng_.Between(30, 180));
    l.made_day = DayNumber(c.y, c.m, c.d < 16 ? 1 : 16);
  }
  if (m.box > 1 && rng_.Percent(85)) {
    l.qty = rng_.Between(1, max_boxes) * m.box;
    l.unit = m.store_unit_id;
  } else {
    l.qty = rng_.Between(1, max_boxes * (m.box > 1 ? 4 : 2));
    l.unit = kUnitPiece;
  }
  l.price_fen = m.cost_fen;
  return l;
}

void Generator::WriteStockBill(int tran_type, int bis_type, int sale_style, int rob, int supply_id,
                               int cust_id, int64_t day, const std::string& bill_no,
                               std::vector<Line>& lines, bool cancelled, bool checked,
                               int* inter_id_out) {
  const int id = next_bill_id_++;
  if (inter_id_out != nullptr) *inter_id_out = id;
  bill_->Int(id)
      .Text(bill_no)
      .Kept(Dt(day))
      .Int(tran_type)
      .Int(bis_type)
      .Int(sale_style)
      .Int(supply_id)
      .Int(cust_id)
      .Int(rob)
      .Int(checked ? 1 : 0)
      .Int(cancelled ? 1 : 0)
      .Row();
  int entry = 0;
  for (const Line& l : lines) {
    const int64_t unit_factor = l.unit == l.m->store_unit_id ? l.m->box : 1;
    bill_entry_->Int(id)
        .Int(++entry)
        .Int(next_bill_detail_++)
        .Int(l.m->id)
        .Int(l.aux)
        .Int(l.unit)
        .Int(l.dst_stock)
        .Int(l.src_stock)
        .Kept(Batch(l.made_day));
    if (l.made_day >= 0) {
      bill_entry_->Kept(Dt(l.made_day))
          .Int(l.m->kind->shelf_days)
          .Kept(Dt(l.made_day + l.m->kind->shelf_days));
    } else {
      bill_entry_->Null().Int(0).Null();
    }
    bill_entry_->Int(l.qty)
        .Real(static_cast<double>(l.qty) / static_cast<double>(unit_factor))
        .Real(Fen(l.price_fen))
        .Row();
    ++lines_written_;
  }
}

void Generator::WriteInvoice(const Customer& c, int64_t day, int source_inter_id,
                             const std::vector<Line>& lines) {
  const int id = next_sale_id_++;
  const bool special = rng_.Percent(40);  // VAT special invoice (80) or ordinary (86)
  const std::string bill_no = NextBillNo(special ? kSpecialInvoice : kInvoice);
  const bool cancelled = rng_.Percent(2);
  sale_->Int(id)
      .Text(bill_no)
      .Kept(Dt(day))
      .Int(special ? 80 : 86)
      .Int(104)
      .Int(c.id)
      .Int(1)
      .Int(Checked(day) ? 1 : 0)
      .Int(cancelled ? 1 : 0)
      .Int(1)
      .Row();
  int entry = 0;
  for (const Line& l : lines) {
    ++entry;
    const int64_t unit_factor = l.unit == l.m->store_unit_id ? l.m->box : 1;
    // Tax-inclusive price per base unit, at the customer's discount.
    const int64_t price = l.m->sale_fen * c.discount_pct / 100;
    sale_entry_->Int(id)
        .Int(entry)
        .Int(next_sale_detail_++)
        .Int(l.m->id)
        .Int(l.aux)
        .Int(l.unit)
        .Kept(Batch(l.made_day));
    if (l.made_day >= 0) {
      sale_entry_->Kept(Dt(l.made_day))
          .Int(l.m->kind->shelf_days)
          .Kept(Dt(l.made_day + l.m->kind->shelf_days));
    } else {
      sale_entry_->Null().Int(0).Null();
    }
    sale_entry_->Int(l.qty)
        .Real(static_cast<double>(l.qty) / static_cast<double>(unit_factor))
        .Real(Fen(price))
        .Int(source_inter_id)
        .Int(entry)
        .Row();
    ++lines_written_;
  }
}

void Generator::Send(int64_t day, int tran_type) {
  const size_t ci = rng_.Skewed(consignment_customers_);
  const Customer& c = customers_[ci];
  const int warehouse = c.warehouses[rng_.Below(c.warehouses.size())];
  const int source = warehouses_[rng_.Percent(80) ? 0 : 1].id;
  std::vector<Line> lines(static_cast<size_t>(rng_.Between(1, 6)));
  for (Line& l : lines) {
    l = NewLine(PickMaterial(), day, 10);
    l.src_stock = source;
    l.dst_stock = warehouse;
  }
  const bool cancelled = rng_.Percent(2);
  const std::string bill_no = NextBillNo(tran_type == 21 ? kSend : kTransfer);
  const bool checked = Checked(day);
  // A consignment send is a sales delivery (21) to the customer or a
  // transfer (41) into the customer's warehouse.
  WriteStockBill(tran_type, 37511, 0, 1, tran_type == 21 ? c.id : 0, c.id, day, bill_no, lines,
                 cancelled, checked, nullptr);
  if (cancelled) return;
  CustomerPositions& book = positions_[ci];
  for (const Line& l : lines) {
    auto [p, fresh] =
        book.FindOrAdd(PositionKey{warehouse, l.m->id, l.aux, static_cast<int32_t>(l.made_day)});
    if (fresh) book.held().push_back(static_cast<uint32_t>(book.all().size() - 1));
    p->qty += l.qty;
  }
}

void Generator::ReturnOrSettle(int64_t day, bool settle) {
  const size_t ci = rng_.Skewed(consignment_customers_);
  CustomerPositions& book = positions_[ci];
  std::vector<uint32_t>& held = book.held();
  // Positions that went down to nothing are dropped as they are met.
  std::vector<Line> lines;
  std::vector<uint32_t> touched;  // indexes in book.all(), one per line
  const size_t wanted = static_cast<size_t>(rng_.Between(1, settle ? 6 : 3));
  for (int tries = 0; lines.size() < wanted && !held.empty() && tries < 12; ++tries) {
    const size_t k = rng_.Below(held.size());
    const uint32_t at = held[k];
    const Position& p = book.all()[at];
    if (p.qty <= 0) {
      held[k] = held.back();
      held.pop_back();
      continue;
    }
    if (std::find(touched.begin(), touched.end(), at) != touched.end()) continue;
    const PositionKey& key = p.key;
    const Material& m = materials_[static_cast<size_t>(key.material - kFirstMaterialId)];
    Line l{};
    l.m = &m;
    l.aux = key.aux;
    l.made_day = key.made_day;
    // Settle up to 60 %, return up to 30 % of what lies there; whole boxes
    // when the position holds whole boxes.
    const int64_t share = std::max<int64_t>(1, p.qty * (settle ? 60 : 30) / 100);
    l.qty = rng_.Between(1, share);
    if (m.box > 1 && l.qty >= m.box && p.qty % m.box == 0) {
      l.qty -= l.qty % m.box;
      l.unit = m.store_unit_id;
    } else {
      l.unit = kUnitPiece;
    }
    l.price_fen = m.cost_fen;
    l.src_stock = key.warehouse;
    l.dst_stock = settle ? key.warehouse : warehouses_[0].id;
    lines.push_back(l);
    touched.push_back(at);
  }
  if (lines.empty()) {  // nothing lies with the customer yet: send instead
    Send(day, 21);
    return;
  }
  const Customer& c = customers_[ci];
  const bool cancelled = rng_.Percent(2);
  const std::string bill_no = NextBillNo(settle ? kSettlement : kReturn);
  const bool checked = Checked(day);
  int inter_id = 0;
  // A return (37512) goes from the customer's warehouse back to the central
  // one; a settlement (sale style 104) sells what lies with the customer.
  WriteStockBill(21, settle ? 0 : 37512, settle ? 104 : 0, 1, c.id, c.id, day, bill_no, lines,
                 cancelled, checked, &inter_id);
  if (cancelled) return;
  for (size_t i = 0; i < lines.size(); ++i) book.all()[touched[i]].qty -= lines[i].qty;
  // Seven settlements in ten are invoiced within two weeks, in this year.
  if (settle && rng_.Percent(70)) {
    const int64_t invoice_day = day + rng_.Between(0, 14);
    if (invoice_day <= year_end_) WriteInvoice(c, invoice_day, inter_id, lines);
  }
}

void Generator::Purchase(int64_t day) {
  const int supplier = suppliers_[rng_.Below(suppliers_.size())];
  const int warehouse = warehouses_[rng_.Percent(75) ? 0 : 1].id;
  std::vector<Line> lines(static_cast<size_t>(rng_.Between(1, 8)));
  for (Line& l : lines) {
    l = NewLine(PickMaterial(), day, 40);
    l.price_fen = l.m->cost_fen * rng_.Between(95, 105) / 100;
    l.src_stock = 0;
    l.dst_stock = warehouse;
  }
  const std::string bill_no = NextBillNo(kPurchase);
  // Drawn in this order, whatever order a compiler evaluates arguments in.
  const bool checked = Checked(day);
  const bool cancelled = rng_.Percent(1);
  WriteStockBill(1, 0, 0, 1, supplier, 0, day, bill_no, lines, cancelled, checked, nullptr);
}

void Generator::Bills() {
  bill_ = &Table("ICStockBill",
                 {"FInterID", "FBillNo", "FDate", "FTranType", "FBisType", "FSaleStyle",
                  "FSupplyID", "FCustID", "FROB", "FStatus", "FCancellation"},
                 false, kBatch);
  bill_entry_ = &Table("ICStockBillEntry",
                       {"FInterID", "FEntryID", "FDetailID", "FItemID", "FAuxPropID", "FUnitID",
                        "FDCStockID", "FSCStockID", "FBatchNo", "FKFDate", "FKFPeriod",
                        "FPeriodDate", "FQty", "FAuxQty", "FPrice"},
                       false, kBatch);
  sale_ = &Table("ICSale",
                 {"FInterID", "FBillNo", "FDate", "FTranType", "FSaleStyle", "FCustID", "FROB",
                  "FStatus", "FCancellation", "FExchangeRate"},
                 false, kBatch);
  sale_entry_ = &Table("ICSaleEntry",
                       {"FInterID", "FEntryID", "FDetailID", "FItemID", "FAuxPropID", "FUnitID",
                        "FBatchNo", "FKFDate", "FKFPeriod", "FPeriodDate", "FQty", "FAuxQty",
                        "FTaxPrice", "FSourceInterID", "FSourceEntryID"},
                       false, kBatch);
  const int64_t days = year_end_ - year_start_ + 1;
  while (lines_written_ < target_) {
    // The date advances with the lines written, so the year is filled evenly
    // whatever the scale.
    const int64_t day = year_start_ + std::min<int64_t>(days - 1, lines_written_ * days / target_);
    const uint64_t kind = rng_.Below(100);
    if (kind < 10) {
      Purchase(day);
    } else if (kind < 50) {
      Send(day, 21);
    } else if (kind < 54) {
      Send(day, 41);
    } else if (kind < 64) {
      ReturnOrSettle(day, false);
    } else {
      ReturnOrSettle(day, true);
    }
  }
}

// ---------------------------------------------------------------------------
// Stock.

void Generator::Stock() {
  Insert& ic =
      Table("ICInventory",
            {"FBrNo", "FItemID", "FBatchNo", "FMTONo", "FSupplyID", "FStockID", "FQty", "FBal",
             "FStockPlaceID", "FKFPeriod", "FKFDate", "FQtyLock", "FAuxPropID", "FSecQty"},
            false, kBatch);
  Insert& po =
      Table("POInventory",
            {"FBrNo", "FItemID", "FBatchNo", "FMTONo", "FSupplyID", "FStockID", "FQty", "FBal",
             "FStockPlaceID", "FKFPeriod", "FKFDate", "FStockTypeID", "FAuxPropID", "FSecQty"},
            false, kBatch);

  // A production date as the stock table holds it: text, now and then
  // unreadable or missing, as keyed in by hand.
  static const std::string impossible = std::to_string(kDemoYear) + "-02-30";
  auto kf_text = [&](Insert& row, int64_t made_day) -> Insert& {
    if (made_day < 0) return rng_.Percent(50) ? row.Kept("") : row.Null();
    const uint64_t r = rng_.Below(100);
    if (r < 2) return row.Kept(impossible);
    if (r < 3) return row.Kept("待定");
    if (r < 4) return row.Kept("");
    return row.Kept(DateOf(made_day));
  };
  auto write = [&](Insert& row, bool virtual_stock, int type, int warehouse, int place,
                   const Material& m, int aux, int64_t made_day, int64_t qty) {
    row.Kept("0")
        .Int(m.id)
        .Kept(Batch(made_day))
        .Kept("")
        .Int(0)
        .Int(warehouse)
        .Int(qty)
        .Real(Fen(qty * m.cost_fen))
        .Int(place)
        .Int(made_day >= 0 ? m.kind->shelf_days : 0);
    kf_text(row, made_day);
    if (virtual_stock) {
      row.Int(type);
    } else {
      row.Int(qty > 0 && rng_.Percent(5) ? rng_.Between(1, std::max<int64_t>(1, qty / 10)) : 0);
    }
    row.Int(aux).Real(Milli(qty * m.kind->weight_grams)).Row();
  };

  // Central warehouses: what the purchases left, in bins.
  for (size_t w = 0; w < 5; ++w) {
    const Warehouse& wh = warehouses_[w];
    const int share = w == 0 ? 90 : w == 1 ? 40 : 6;
    for (const Material& m : materials_) {
      if (!rng_.Percent(share)) continue;
      const int batches = m.kind->shelf_days > 0 ? static_cast<int>(rng_.Between(1, 2)) : 1;
      std::pair<int, int64_t> seen[2];  // one row per property and batch
      int seen_count = 0;
      for (int b = 0; b < batches; ++b) {
        Line l = NewLine(m, year_end_, w < 2 ? 60 : 5);
        const std::pair<int, int64_t> batch{l.aux, l.made_day};
        if (std::find(seen, seen + seen_count, batch) != seen + seen_count) continue;
        seen[seen_count++] = batch;
        const int place = wh.places.empty() ? 0 : wh.places[rng_.Below(wh.places.size())];
        const bool virtual_stock = wh.type != 500;
        write(virtual_stock ? po : ic, virtual_stock, wh.type, wh.id, place, m, l.aux, l.made_day,
              l.qty);
      }
    }
  }
  // Consignment warehouses: what the sends, returns and settlements left.
  // Positions sold out stay as rows with quantity 0, as the ledger keeps them.
  std::vector<const Position*> sorted;
  for (const CustomerPositions& book : positions_) {
    for (const Position& p : book.all()) sorted.push_back(&p);
  }
  std::sort(sorted.begin(), sorted.end(),
            [](const Position* a, const Position* b) { return a->key < b->key; });
  for (const Position* p : sorted) {
    write(ic, false, 505, p->key.warehouse, 0,
          materials_[static_cast<size_t>(p->key.material - kFirstMaterialId)], p->key.aux,
          p->key.made_day, p->qty);
  }
}

std::vector<std::pair<std::string, int64_t>> Generator::Run() {
  year_start_ = DayNumber(kDemoYear, 1, 1);
  year_end_ = DayNumber(kDemoYear, 12, 31);
  december_ = DayNumber(kDemoYear, 12, 1);
  far_future_ = DayNumber(2099, 12, 31);
  Units();
  Currencies();
  Materials();
  Partners();
  Warehouses();
  Prices();
  ProfileAndCalendar();
  Catalogue();
  DataRights();
  Bills();
  Stock();

  for (const auto& insert : inserts_) insert->Flush();
  std::map<std::string, int64_t> totals;
  std::vector<std::string> order;
  for (const auto& insert : inserts_) {
    if (totals.find(insert->table()) == totals.end()) order.push_back(insert->table());
    totals[insert->table()] += insert->rows();
  }
  std::vector<std::pair<std::string, int64_t>> out;
  for (const std::string& t : order) out.emplace_back(t, totals[t]);
  return out;
}

}  // namespace

DemoSummary GenerateDemoDatabase(const std::string& path, const DemoOptions& options, bool force) {
  const auto started = std::chrono::steady_clock::now();
  DemoSummary summary;
  // The tables are filled before the indexes are built (sqlite::BuildDatabase
  // creates them after `fill`), in a new file that replaces `path` only once
  // it is complete.
  sqlite::BuildDatabase(path, force, [&](sqlite3* db) {
    // The file is new and is dropped when anything fails: no journal needed.
    // The rows are appended, so a modest page cache holds the pages they go to.
    Exec(db,
         "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
         " PRAGMA cache_size=-16384;");
    Exec(db, "BEGIN");
    {
      Generator g(db, options);
      summary.rows = g.Run();
    }  // statements finalized before the commit
    Exec(db, "COMMIT");
    // Building an index sorts the table's keys in runs of at most the cache
    // size, merged from temporary files; runs that stay in the processor's
    // caches sort much faster than one large run in memory.
    Exec(db, "PRAGMA cache_size=-4096;");
  });

  summary.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return summary;
}

}  // namespace q8::tool

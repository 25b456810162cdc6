// The embedded SQLite provider of the data-access layer:
// "Provider=SQLite;Data Source=FILE".
//
// Optional keys: "Busy Timeout" (milliseconds to wait for a database that
// another connection has locked; default 5000).
#include <mutex>

#include "core/text.h"
#include "drivers/sqlite/schema.h"
#include "drivers/sqlite/session.h"

namespace q8::sqlite {

namespace {

constexpr int kDefaultBusyTimeoutMs = 5000;

// One bit of an ODBC-style function bitmask and an expression that compiles
// only when the engine (with the translator's functions) has that function.
struct Probe {
  int32_t bit;
  const char* expr;
};

// SQL_FN_NUM_*.
constexpr Probe kNumeric[] = {
    {0x1, "abs(1)"},          {0x2, "acos(1)"},         {0x4, "asin(1)"},
    {0x8, "atan(1)"},         {0x10, "atan2(1,1)"},     {0x20, "ceiling(1.5)"},
    {0x40, "cos(1)"},         {0x80, "cot(1)"},         {0x100, "exp(1)"},
    {0x200, "floor(1.5)"},    {0x400, "log(2)"},        {0x800, "mod(5,2)"},
    {0x1000, "sign(-1)"},     {0x2000, "sin(1)"},       {0x4000, "sqrt(4)"},
    {0x8000, "tan(1)"},       {0x10000, "pi()"},        {0x20000, "rand()"},
    {0x40000, "degrees(1)"},  {0x80000, "log10(10)"},   {0x100000, "power(2,2)"},
    {0x200000, "radians(1)"}, {0x400000, "round(1.5)"}, {0x800000, "truncate(1.5,0)"},
};
// SQL_FN_STR_*.
constexpr Probe kString[] = {
    {0x1, "concat('a','b')"},
    {0x2, "insert('abc',1,1,'x')"},
    {0x4, "left('abc',1)"},
    {0x8, "ltrim(' a')"},
    {0x10, "length('a')"},
    {0x20, "locate('b','abc')"},
    {0x40, "lcase('A')"},
    {0x80, "repeat('a',2)"},
    {0x100, "replace('a','a','b')"},
    {0x200, "right('abc',1)"},
    {0x400, "rtrim('a ')"},
    {0x800, "substring('abc',1,1)"},
    {0x1000, "ucase('a')"},
    {0x2000, "ascii('a')"},
    {0x4000, "char(65)"},
    {0x8000, "difference('a','b')"},
    {0x10000, "locate('b','abc',1)"},
    {0x20000, "soundex('a')"},
    {0x40000, "space(2)"},
    {0x80000, "bit_length('a')"},
    {0x100000, "char_length('a')"},
    {0x200000, "character_length('a')"},
    {0x400000, "octet_length('a')"},
    {0x800000, "position('b' IN 'abc')"},
};
// SQL_FN_SYS_*.
constexpr Probe kSystem[] = {
    {0x1, "user()"},
    {0x2, "database()"},
    {0x4, "ifnull(NULL,1)"},
};
// SQL_FN_TD_*.
constexpr Probe kTimeDate[] = {
    {0x1, "now()"},
    {0x2, "curdate()"},
    {0x4, "dayofmonth('2024-01-01')"},
    {0x8, "dayofweek('2024-01-01')"},
    {0x10, "dayofyear('2024-01-01')"},
    {0x20, "month('2024-01-01')"},
    {0x40, "quarter('2024-01-01')"},
    {0x80, "week('2024-01-01')"},
    {0x100, "year('2024-01-01')"},
    {0x200, "curtime()"},
    {0x400, "hour('2024-01-01')"},
    {0x800, "minute('2024-01-01')"},
    {0x1000, "second('2024-01-01')"},
    {0x2000, "timestampadd(SQL_TSI_DAY,1,'2024-01-01')"},
    {0x4000, "timestampdiff(SQL_TSI_DAY,'2024-01-01','2024-01-02')"},
    {0x8000, "dayname('2024-01-01')"},
    {0x10000, "monthname('2024-01-01')"},
    {0x20000, "CURRENT_DATE"},
    {0x40000, "CURRENT_TIME"},
    {0x80000, "CURRENT_TIMESTAMP"},
    {0x100000, "extract(YEAR FROM '2024-01-01')"},
};

template <size_t N>
int32_t Bitmask(sqlite3* db, const Probe (&probes)[N]) {
  int32_t mask = 0;
  for (const Probe& p : probes) {
    std::string sql = std::string("SELECT ") + p.expr;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) == SQLITE_OK && raw) mask |= p.bit;
    sqlite3_finalize(raw);
  }
  return mask;
}

class SqliteConnection : public ado::ProviderConnection {
 public:
  explicit SqliteConnection(std::shared_ptr<Session> s) : s_(std::move(s)) {}
  ~SqliteConnection() override { s_->Close(); }

  std::unique_ptr<ado::ResultStream> Execute(const std::string& text,
                                             std::vector<ado::ParameterPtr>& params,
                                             int timeout_seconds) override {
    RequireOpen();
    DatabaseCatalog catalog(s_->db());
    std::shared_ptr<const tsql::Batch> batch;
    try {
      batch = tsql::TranslateCached(text, catalog, CatalogKey(*s_));
    } catch (const ado::ProviderError&) {
      throw;
    } catch (const Error& e) {
      throw TranslationError(e, text);
    }
    return RunBatch(s_, std::move(batch), params, timeout_seconds);
  }

  std::unique_ptr<ado::ResultStream> CallProcedure(const std::string& name,
                                                   std::vector<ado::ParameterPtr>& params,
                                                   int timeout_seconds) override {
    (void)timeout_seconds;
    RequireOpen();
    return sqlite::CallProcedure(s_, name, params);
  }

  std::vector<ado::Property> Properties() override {
    RequireOpen();
    // The function bitmasks are the same for every connection of the
    // process: the functions come from the library and the translator.
    static std::once_flag once;
    static int32_t numeric, string, system, timedate;
    std::call_once(once, [&] {
      numeric = Bitmask(s_->db(), kNumeric);
      string = Bitmask(s_->db(), kString);
      system = Bitmask(s_->db(), kSystem);
      timedate = Bitmask(s_->db(), kTimeDate);
    });
    return {
        {"DBMS Name", Variant("SQLite")},
        {"DBMS Version", Variant(sqlite3_libversion())},
        {"Provider Name", Variant(kSource)},
        {"Data Source", Variant(s_->path())},
        // DBPROPVAL_MR_SUPPORTED: a batch yields its results one after another.
        {"Multiple Results", Variant(int32_t{1})},
        {"Like Escape Clause", Variant("Y")},
        // Keys, UNIQUE, CHECK and DEFAULT hold, but references between
        // tables are not enforced on these connections.
        {"Integrity Enhancement Facility", Variant(false)},
        {"Numeric Functions", Variant(numeric)},
        {"String Functions", Variant(string)},
        {"System Functions", Variant(system)},
        {"Time/Date Functions", Variant(timedate)},
    };
  }

  void Close() override { s_->Close(); }

  void Interrupt() noexcept override { s_->Interrupt(); }

 private:
  void RequireOpen() const {
    if (s_->closed())
      throw MakeError(err::kAdoConnectionClosed, "The database connection is closed.");
  }

  std::shared_ptr<Session> s_;
};

}  // namespace

std::string ConnectionStringFor(const std::string& path) {
  // Braces keep a path with ";" or "=" whole.
  bool plain = path.find_first_of(";={}") == std::string::npos && path == [&] {
    size_t b = path.find_first_not_of(' '), e = path.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : path.substr(b, e - b + 1);
  }();
  if (plain) return "Provider=SQLite;Data Source=" + path;
  std::string braced;
  for (char c : path) braced += c == '}' ? std::string("}}") : std::string(1, c);
  return "Provider=SQLite;Data Source={" + braced + "}";
}

void RegisterProvider() {
  ado::ProviderInfo info;
  info.name = "SQLite";
  info.accepts = [](const ado::ConnectionString& cs) {
    auto p = cs.Get("Provider");
    return p && (EqualsNoCase(*p, "SQLite") || EqualsNoCase(*p, "SQLite3"));
  };
  info.open = [](const std::string& connection_string,
                 int) -> std::unique_ptr<ado::ProviderConnection> {
    ado::ConnectionString cs(connection_string);
    std::string path = cs.Get("Data Source").value_or(cs.Get("Database").value_or(""));
    int busy = kDefaultBusyTimeoutMs;
    if (auto t = cs.Get("Busy Timeout")) {
      try {
        busy = std::stoi(*t);
      } catch (...) {
        throw MakeError(ado::kErrProviderFailure,
                        "Busy Timeout must be a number of milliseconds, not '" + *t + "'.", 0,
                        "HY024");
      }
    }
    return std::make_unique<SqliteConnection>(Session::Open(path, busy));
  };
  ado::RegisterProvider(std::move(info));
}

}  // namespace q8::sqlite

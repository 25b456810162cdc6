#include "tests/reliability/support.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "drivers/sqlite/schema.h"

namespace q8::reliability {

namespace {

constexpr const char* kBaseData = R"SQL(
INSERT INTO t_MeasureUnit (FMeasureUnitID, FName, FCoefficient) VALUES (1, 'PCS', 1);
INSERT INTO t_Currency (FCurrencyID) VALUES (1);
INSERT INTO t_SystemProfile (FCategory, FKey, FValue) VALUES
  ('GL', 'FBWB', '1'), ('IC', 'saleexchangeratetype', '1'),
  ('IC', 'CurrentYear', '2024'), ('IC', 'CurrentPeriod', '1'), ('IC', 'StartYear', '2024'),
  ('GL', 'Periodcount', '12');
INSERT INTO t_ExchangeRateEntry (FExchangeRateType, FCyTo, FExchangeRate, FBegDate, FEndDate)
  VALUES (1, 1, 1, '2000-01-01 00:00:00', '2099-12-31 00:00:00');
INSERT INTO ictransactiontype (FID, FName) VALUES (41, 'Transfer');
INSERT INTO t_PeriodDate (FYear, FPeriod, FStartDate, FEndDate)
  VALUES (2024, 1, '2024-01-01 00:00:00', '2024-01-31 00:00:00');
)SQL";

struct DbDeleter {
  void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
struct StmtDeleter {
  void operator()(sqlite3_stmt* s) const noexcept { sqlite3_finalize(s); }
};
using Db = std::unique_ptr<sqlite3, DbDeleter>;
using Stmt = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

Db OpenExisting(const std::string& path) {
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  Db db(raw);
  if (rc != SQLITE_OK) throw std::runtime_error("cannot open " + path + ": " + sqlite3_errstr(rc));
  return db;
}

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string text = message ? message : "";
  sqlite3_free(message);
  if (rc != SQLITE_OK) throw std::runtime_error(text + "\n" + sql);
}

// One INSERT with `?` markers; each row binds ints and texts in order.
class Insert {
 public:
  Insert(sqlite3* db, const char* sql) : db_(db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sqlite3_errmsg(db)) + "\n" + sql);
    stmt_.reset(raw);
  }

  template <class... Values>
  void Row(const Values&... values) {
    sqlite3_reset(stmt_.get());
    int index = 0;
    (Bind(++index, values), ...);
    if (sqlite3_step(stmt_.get()) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db_));
  }

 private:
  void Bind(int index, int v) { sqlite3_bind_int(stmt_.get(), index, v); }
  void Bind(int index, const std::string& v) {
    sqlite3_bind_text(stmt_.get(), index, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }

  sqlite3* db_;
  Stmt stmt_;
};

}  // namespace

ScratchPath::ScratchPath(std::string_view stem) {
  static std::atomic<int> counter{0};
  path_ = (std::filesystem::temp_directory_path() /
           ("q8_rel_" + std::string(stem) + "_" + std::to_string(::getpid()) + "_" +
            std::to_string(counter++) + ".db"))
              .string();
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

ScratchPath::~ScratchPath() {
  std::error_code ignored;
  for (const char* suffix : {"", "-journal", "-wal", "-shm"})
    std::filesystem::remove(path_ + suffix, ignored);
}

FileFingerprint Fingerprint(const std::string& path) {
  FileFingerprint f;
  std::ifstream in(path, std::ios::binary);
  if (!in) return f;
  f.exists = true;
  f.hash = 1469598103934665603ULL;
  char buffer[1 << 16];
  while (in) {
    in.read(buffer, sizeof buffer);
    const std::streamsize n = in.gcount();
    for (std::streamsize i = 0; i < n; ++i) {
      f.hash ^= static_cast<unsigned char>(buffer[i]);
      f.hash *= 1099511628211ULL;
    }
    f.size += static_cast<uint64_t>(n);
  }
  std::error_code ignored;
  f.has_journal = std::filesystem::exists(path + "-journal", ignored) ||
                  std::filesystem::exists(path + "-wal", ignored);
  return f;
}

std::string ToString(const FileFingerprint& f) {
  if (!f.exists) return "(no file)";
  char text[96];
  std::snprintf(text, sizeof text, "%llu bytes, fnv %016llx%s",
                static_cast<unsigned long long>(f.size), static_cast<unsigned long long>(f.hash),
                f.has_journal ? ", journal present" : "");
  return text;
}

void ExecSql(const std::string& path, const std::string& sql) {
  Db db = OpenExisting(path);
  Exec(db.get(), sql);
}

void CreateCodeDatabase(const std::string& path, const std::vector<std::string>& codes) {
  sqlite::InitDatabase(path, true);
  Db db = OpenExisting(path);
  Exec(db.get(), "BEGIN");
  Exec(db.get(), kBaseData);
  Insert material(db.get(),
                  "INSERT INTO t_ICItem (FItemID, FNumber, FShortNumber, FName, FModel, FUnitID, "
                  "FStoreUnitID, FDeleted, FQtyDecimal, FPriceDecimal, FSalePrice, FStandardCost) "
                  "VALUES (?, ?, ?, ?, 'M', 1, 1, 0, 0, 2, 5, 3)");
  Insert item(db.get(),
              "INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FShortNumber, FName) "
              "VALUES (?, ?, ?, ?, ?)");
  Insert stock(db.get(),
               "INSERT INTO t_Stock (FItemID, FNumber, FShortNumber, FName, FTypeID) "
               "VALUES (?, ?, ?, ?, 505)");
  Insert place(
      db.get(),
      "INSERT INTO t_StockPlace (FSPID, FNumber, FShortNumber, FName) VALUES (?, ?, ?, ?)");
  Insert assign(db.get(), "INSERT INTO t_QPCustInv (FID, FCustID) VALUES (?, ?)");
  Insert assign_entry(db.get(), "INSERT INTO t_QPCustInvEntry (FID, FStockID) VALUES (?, ?)");
  Insert inventory(
      db.get(), "INSERT INTO ICInventory (FItemID, FStockID, FQty, FSecQty) VALUES (?, ?, ?, 0)");
  Insert bill(db.get(),
              "INSERT INTO ICStockBill (FInterID, FBillNo, FDate, FTranType, FBisType, FSaleStyle, "
              "FCustID, FROB, FStatus, FCancellation) "
              "VALUES (?, ?, '2024-01-10 00:00:00', 41, 37511, 0, ?, 1, 1, 0)");
  Insert bill_entry(db.get(),
                    "INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FItemID, "
                    "FUnitID, FDCStockID, FQty, FAuxQty) VALUES (?, 1, ?, ?, 1, ?, ?, ?)");
  for (size_t i = 0; i < codes.size(); ++i) {
    const std::string& code = codes[i];
    const int n = static_cast<int>(i);
    const int material_id = 1000 + n, customer_id = 2000 + n, stock_id = 3000 + n;
    material.Row(material_id, code, code, "Material " + code);
    item.Row(customer_id, 1, code, code, "Customer " + code);
    item.Row(stock_id, 5, code, code, "Warehouse " + code);
    stock.Row(stock_id, code, code, "Warehouse " + code);
    place.Row(4000 + n, code, code, "Place " + code);
    assign.Row(n + 1, customer_id);
    assign_entry.Row(n + 1, stock_id);
    inventory.Row(material_id, stock_id, n + 1);
    std::string bill_number = "B";
    bill_number += std::to_string(n + 1);
    bill.Row(n + 1, bill_number, customer_id);
    bill_entry.Row(n + 1, n + 1, material_id, stock_id, n + 1, n + 1);
  }
  Exec(db.get(), "COMMIT");
}

std::string DsnFor(const std::string& path, std::string_view language) {
  return "ConnectString={" + sqlite::ConnectionStringFor(path) +
         "};DBMS Name=SQLite;DBMS Version=3;Language=" + std::string(language) + ";UserID=0;";
}

DictionaryPtr TextFilter(std::initializer_list<std::pair<std::string_view, std::string>> entries) {
  auto d = std::make_shared<Dictionary>();
  for (const auto& [key, value] : entries) d->SetValue(key, Variant(value));
  return d;
}

std::vector<std::string> AllRows(ado::Recordset& rs) {
  std::vector<std::string> out;
  if (rs.FieldCount() == 0) return out;
  if (rs.RecordCount() > 0) rs.MoveFirst();
  for (; !rs.IsEOF(); rs.MoveNext()) {
    std::string row;
    for (int i = 0; i < rs.FieldCount(); ++i) {
      if (i) row += "|";
      row += Text(rs.Value(i));
    }
    out.push_back(std::move(row));
  }
  return out;
}

std::vector<std::string> DetailColumn(ado::Recordset& rs, std::string_view column) {
  std::vector<std::string> out;
  if (rs.FieldCount() == 0) return out;
  if (rs.RecordCount() > 0) rs.MoveFirst();
  for (; !rs.IsEOF(); rs.MoveNext()) {
    const Variant sort = rs.Value("FSumSort");
    if (!sort.IsNull() && sort.ToLong() == 0) out.push_back(Text(rs.Value(column)));
  }
  return out;
}

std::string RunInChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return "fork failed";
  }
  if (pid == 0) {
    close(fds[0]);
    std::string out;
    try {
      out = body();
    } catch (const Error& e) {
      out = "escaped: " + Describe(e);
    } catch (const std::exception& e) {
      out = std::string("escaped: ") + e.what();
    }
    const char* p = out.data();
    size_t left = out.size();
    while (left > 0) {
      const ssize_t n = write(fds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    close(fds[1]);
    // No destructors of the parent's objects, no gtest summary, no leak
    // report of the copy of the parent's heap.
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    out += "child ended abnormally (status " + std::to_string(status) + ")";
  return out;
}

std::string Describe(const Error& e) {
  return std::to_string(e.number()) + " " + e.source() + ": " + e.description();
}

}  // namespace q8::reliability

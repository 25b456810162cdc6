// Many hosts at once: 8 threads, each with its own Data and Rpt objects, make
// 50 calls each that mix the three reports and the lookups, against one
// embedded database into which another process keeps writing bills, and
// against a second, unchanged copy of it.
//
// Every call succeeds or fails with a component error; a call on the
// unchanged copy gives exactly what it gives when one thread runs alone (so
// the work tables of simultaneous reports never meet and the shared caches
// hand out what they were given); the writer loses no bill; the unchanged
// copy stays unchanged. Meant to run in a ThreadSanitizer build as well.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "component/frame.h"
#include "connection/cdatasource.h"
#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/reliability/support.h"
#include "tools/q8vantorpt/demo_db.h"

namespace q8::reliability {
namespace {

constexpr int kThreads = 8;
constexpr int kCallsPerThread = 50;

std::string DictionaryText(const Dictionary& d) {
  std::string out;
  for (const auto& [key, value] : d.Items()) out += key + "=" + Text(value) + ";";
  return out;
}

std::string RowsText(ado::Recordset& rs) {
  std::string out;
  for (const std::string& row : AllRows(rs)) out += row + "\n";
  return out;
}

// One kind of call: its canonical result as text. Raises q8::Error.
struct Probe {
  const char* name;
  std::function<std::string(Data&, Rpt&, const std::string& dsn)> run;
};

DictionaryPtr Filter(std::initializer_list<std::pair<std::string_view, std::string>> entries) {
  return TextFilter(entries);
}

std::vector<Probe> Probes(const std::string& stock_from, const std::string& stock_to) {
  return {
      {"GetRpt2008608Data",
       [](Data& data, Rpt&, const std::string& dsn) {
         DictionaryPtr sort;
         return RowsText(*data.GetRpt2008608Data(dsn, nullptr, Filter({}), sort));
       }},
      {"GetRpt2008609Data",
       [](Data& data, Rpt&, const std::string& dsn) {
         DictionaryPtr sort;
         auto f = Filter({{"BDate", "2024-01-01"}, {"EDate", "2024-12-31"}});
         return RowsText(*data.GetRpt2008609Data(dsn, nullptr, f, sort));
       }},
      {"GetRpt2008610Data",
       [](Data& data, Rpt&, const std::string& dsn) {
         DictionaryPtr sort;
         auto f = Filter({{"BDate", "2024-03-01"}, {"EDate", "2024-04-30"}});
         return RowsText(*data.GetRpt2008610Data(dsn, nullptr, f, sort));
       }},
      {"GetData",
       [](Data& data, Rpt&, const std::string& dsn) {
         return RowsText(
             *data.GetData(dsn, "SELECT FNumber, FName FROM t_ICItem ORDER BY FNumber"));
       }},
      {"GetStockInfo",
       [stock_from, stock_to](Data& data, Rpt&, const std::string& dsn) {
         auto f = Filter({{"BStockNumber", stock_from}, {"EStockNumber", stock_to}});
         return DictionaryText(*data.GetStockInfo(dsn, f, true));
       }},
      {"GetCurrenPeriodDate",
       [](Data& data, Rpt&, const std::string& dsn) {
         std::string d = dsn;
         return DictionaryText(*data.GetCurrenPeriodDate(d));
       }},
      {"GetPeriodStartEndDate",
       [](Data& data, Rpt&, const std::string& dsn) {
         double begin = 0;
         Variant end;
         data.GetPeriodStartEndDate(dsn, 2024, 6, begin, end);
         return date::ToIso(begin) + " " + end.ToText();
       }},
      {"GetRptRsBySQL",
       [](Data& data, Rpt&, const std::string& dsn) {
         // Every connection has its own work table of this name.
         auto p = Filter({{"sDsN", dsn},
                          {"StrSql",
                           "SET NOCOUNT ON\r\n"
                           "CREATE TABLE #work (FID int, FName nvarchar(80))\r\n"
                           "INSERT INTO #work SELECT FItemID, FName FROM t_Stock\r\n"
                           "SELECT count(*) AS n, min(FName) AS first FROM #work\r\n"
                           "DROP TABLE #work"}});
         ado::RecordsetPtr body, header;
         data.GetRptRsBySQL(p, body, header);
         return RowsText(*body);
       }},
      {"GetReportList",
       [](Data&, Rpt& rpt, const std::string& dsn) { return RowsText(*rpt.GetReportList(dsn)); }},
      {"GetPreAccount",
       [](Data&, Rpt& rpt, const std::string& dsn) {
         return DictionaryText(*rpt.GetPreAccount(dsn));
       }},
      {"GetCurrentPeriodEndDate",
       [](Data&, Rpt& rpt, const std::string& dsn) { return rpt.GetCurrentPeriodEndDate(dsn); }},
      {"data source capabilities",
       [](Data& data, Rpt&, const std::string& dsn) {
         FrameOf(data).OpenDsn(dsn);
         const CDataSource& ds = *FrameOf(data).data_source();
         int32_t precision = 18, scale = 4, actual_type = 0, actual_size = 0, bind_type = 0;
         const std::string type =
             ds.GetTypeName(131, precision, scale, actual_type, actual_size, bind_type);
         return ds.DBMSName() + "|" + ds.DBMSVersion() + "|" +
                std::to_string(ds.MultipleResults()) + "|" + std::to_string(ds.NumericFunctions()) +
                "|" + std::to_string(ds.StringFunctions()) + "|" +
                std::to_string(ds.ProcSupported("GetPeriodStartEnd")) + "|" + type + "|" +
                std::to_string(precision) + "," + std::to_string(scale);
       }},
  };
}

// The other process: copies bill 1 and its lines under new ids, one bill
// per transaction, until `stop` is closed; then writes the number of bills
// it committed to `report` and ends.
[[noreturn]] void WriteBills(const std::string& path, int stop, int report) {
  long committed = 0;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) _exit(2);
  sqlite3_busy_timeout(db, 5000);
  const char* kBill =
      "INSERT INTO ICStockBill (FInterID, FBillNo, FDate, FTranType, FBisType, FSaleStyle, "
      "FSupplyID, FCustID, FROB, FStatus, FCancellation) "
      "SELECT ?1, 'W' || ?1, FDate, FTranType, FBisType, FSaleStyle, FSupplyID, FCustID, FROB, "
      "FStatus, FCancellation FROM ICStockBill WHERE FInterID = (SELECT min(FInterID) FROM "
      "ICStockBill);"
      "INSERT INTO ICStockBillEntry (FInterID, FEntryID, FDetailID, FItemID, FUnitID, "
      "FDCStockID, FSCStockID, FBatchNo, FQty, FAuxQty) "
      "SELECT ?1, FEntryID, ?1 * 100 + FEntryID, FItemID, FUnitID, FDCStockID, FSCStockID, "
      "FBatchNo, FQty, FAuxQty FROM ICStockBillEntry WHERE FInterID = (SELECT min(FInterID) "
      "FROM ICStockBill)";
  for (long id = 50000000;; ++id) {
    pollfd p{stop, POLLIN, 0};
    if (poll(&p, 1, 0) > 0) break;  // closed: the readers are done
    bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    const char* tail = kBill;
    while (ok && *tail) {
      sqlite3_stmt* stmt = nullptr;
      ok = sqlite3_prepare_v2(db, tail, -1, &stmt, &tail) == SQLITE_OK;
      if (!stmt) break;
      sqlite3_bind_int64(stmt, 1, id);
      ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
      sqlite3_finalize(stmt);
    }
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (ok) {
      ++committed;
    } else {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    usleep(2000);
  }
  sqlite3_close(db);
  const std::string text = std::to_string(committed);
  if (write(report, text.data(), text.size()) < 0) _exit(3);
  _exit(0);
}

long Scalar(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  long value = -1;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
      value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return value;
}

std::string ScalarText(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  std::string value = "?";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_text(stmt, 0))
      value = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return value;
}

struct Tally {
  std::atomic<int> calls{0};
  std::atomic<int> live_failures{0};
  std::atomic<int> mismatches{0};
  std::atomic<int> unchanged_failures{0};
  std::atomic<int> foreign_exceptions{0};
};

TEST(Concurrency, EightThreadsAgainstAWrittenDatabase) {
  RegisterComponent();
  ScratchPath live("live"), unchanged("unchanged");
  tool::DemoOptions options;
  options.lines = 600;
  tool::GenerateDemoDatabase(live.str(), options, true);
  std::filesystem::copy_file(live.str(), unchanged.str(),
                             std::filesystem::copy_options::overwrite_existing);
  const std::string live_dsn = DsnFor(live.str());
  const std::string unchanged_dsn = DsnFor(unchanged.str());
  const FileFingerprint unchanged_before = Fingerprint(unchanged.str());
  const long bills_before = Scalar(live.str(), "SELECT count(*) FROM ICStockBill");
  const std::string stock_from =
      ScalarText(unchanged.str(), "SELECT min(FNumber) FROM t_Stock WHERE FTypeID = 505");
  const std::string stock_to =
      ScalarText(unchanged.str(), "SELECT max(FNumber) FROM t_Stock WHERE FTypeID = 505");
  const std::vector<Probe> probes = Probes(stock_from, stock_to);

  // What one thread alone gets from the unchanged copy.
  std::vector<std::string> reference;
  {
    Data data;
    Rpt rpt;
    for (const Probe& p : probes) {
      try {
        reference.push_back(p.run(data, rpt, unchanged_dsn));
      } catch (const Error& e) {
        FAIL() << p.name << " fails on its own: " << Describe(e);
      }
    }
  }
  // The reports have something to compare.
  for (size_t i = 0; i < 3; ++i) EXPECT_GT(reference[i].size(), 1000u) << probes[i].name;

  // The writer runs in its own process, started before any thread.
  int stop[2], report[2];
  ASSERT_EQ(pipe(stop), 0);
  ASSERT_EQ(pipe(report), 0);
  const pid_t writer = fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    close(stop[1]);
    close(report[0]);
    WriteBills(live.str(), stop[0], report[1]);
  }
  close(stop[0]);
  close(report[1]);

  Tally tally;
  std::mutex messages_mu;
  std::vector<std::string> messages;
  auto note = [&](std::string m) {
    std::lock_guard<std::mutex> lock(messages_mu);
    if (messages.size() < 20) messages.push_back(std::move(m));
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Data data;
      Rpt rpt;
      for (int i = 0; i < kCallsPerThread; ++i) {
        const size_t which = static_cast<size_t>(t * 5 + i) % probes.size();
        const bool on_live = (t + i) % 2 == 0;
        const Probe& p = probes[which];
        tally.calls++;
        try {
          const std::string got = p.run(data, rpt, on_live ? live_dsn : unchanged_dsn);
          if (!on_live && got != reference[which]) {
            tally.mismatches++;
            note(std::string(p.name) + " on the unchanged copy differs from the lone run");
          }
        } catch (const Error& e) {
          (on_live ? tally.live_failures : tally.unchanged_failures)++;
          note(std::string(p.name) + (on_live ? " (live): " : " (unchanged): ") + Describe(e));
        } catch (...) {
          tally.foreign_exceptions++;
          note(std::string(p.name) + ": an exception that is not a component error");
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();

  close(stop[1]);
  std::string written;
  char buffer[64];
  ssize_t n;
  while ((n = read(report[0], buffer, sizeof buffer)) > 0)
    written.append(buffer, static_cast<size_t>(n));
  close(report[0]);
  int status = 0;
  waitpid(writer, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer status " << status;
  const long bills_written = std::stol(written);

  std::printf(
      "[ figures  ] %d calls, %d failed on the written database, %d on the unchanged "
      "copy, %d differed; the writer committed %ld bills meanwhile\n",
      tally.calls.load(), tally.live_failures.load(), tally.unchanged_failures.load(),
      tally.mismatches.load(), bills_written);
  for (const std::string& m : messages) ADD_FAILURE() << m;
  EXPECT_EQ(tally.calls.load(), kThreads * kCallsPerThread);
  EXPECT_EQ(tally.live_failures.load(), 0);
  EXPECT_EQ(tally.unchanged_failures.load(), 0);
  EXPECT_EQ(tally.mismatches.load(), 0);
  EXPECT_EQ(tally.foreign_exceptions.load(), 0);

  // No bill lost, the file sound, the copy untouched.
  EXPECT_GT(bills_written, 0);
  EXPECT_EQ(Scalar(live.str(), "SELECT count(*) FROM ICStockBill"), bills_before + bills_written);
  EXPECT_EQ(ScalarText(live.str(), "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(ToString(Fingerprint(unchanged.str())), ToString(unchanged_before));

  // After the crowd, one thread alone still gets the reference: nothing
  // shared was left in another state.
  Data data;
  Rpt rpt;
  for (size_t i = 0; i < probes.size(); ++i)
    EXPECT_EQ(probes[i].run(data, rpt, unchanged_dsn), reference[i]) << probes[i].name;
}

}  // namespace
}  // namespace q8::reliability

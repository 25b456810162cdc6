// The process-wide caches under several threads. Meant to run in a
// ThreadSanitizer build (-DQ8_TSAN=ON) as well as in the plain one.
//
// A first capability load runs on several threads at once, each with its own
// data source, while observers read the group directly. An observer that
// finds "Connected" true must find every other property written.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "connection/cdatasource.h"
#include "connection/shared_properties.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"
#include "tests/datasource/memory_provider.h"

namespace q8 {
namespace {

constexpr char kProcQuery[] = "SELECT FProcName FROM t_SupportedProc";

struct Expected {
  const char* shared_name;
  const char* provider_name;
  Variant provider_value;
  Variant cached;
};

const std::vector<Expected>& Values() {
  static const std::vector<Expected> values = {
      {"DBMSName", "DBMS Name", Variant("Microsoft SQL Server"), Variant("Microsoft SQL Server")},
      {"DBMSVersion", "DBMS Version", Variant("08.00.2039"), Variant("08.00.2039")},
      {"MultipleResults", "Multiple Results", Variant(int32_t{1}), Variant(int32_t{1})},
      {"LikeEscapeClause", "Like Escape Clause", Variant("Y"), Variant(true)},
      {"IEF", "Integrity Enhancement Facility", Variant(true), Variant(true)},
      {"NumericFunctions", "Numeric Functions", Variant(int32_t{0xFFFFFF}),
       Variant(int32_t{0xFFFFFF})},
      {"StringFunctions", "String Functions", Variant(int32_t{0x7FFFF}), Variant(int32_t{0x7FFFF})},
      {"SystemFunctions", "System Functions", Variant(int32_t{7}), Variant(int32_t{7})},
      {"DateTimeFunctions", "Time/Date Functions", Variant(int32_t{0x1FFFFF}),
       Variant(int32_t{0x1FFFFF})},
  };
  return values;
}

TEST(CapabilityConcurrency, ReadersSeeNothingOrEverything) {
  const std::string name = "caps-concurrent";
  auto db = memdb::AddMemoryDatabase(name);
  for (const Expected& e : Values()) db->SetProperty(e.provider_name, e.provider_value);
  memdb::MemoryTable procs;
  ado::ColumnInfo column;
  column.name = "FProcName";
  procs.columns.push_back(column);
  procs.rows = {{Variant("GetPeriodStartEnd")}, {Variant("p_Two")}};
  db->results[kProcQuery] = procs;
  // Each provider read pauses, so the loads overlap and observers catch the
  // group half written.
  db->property_delay = std::chrono::milliseconds(3);
  db->execute_delay = std::chrono::milliseconds(3);
  const std::string connect_string = memdb::MemoryConnectString(name);
  const std::string group_name = name + "1DataSource";

  std::atomic<bool> go{false}, loaders_done{false};
  std::atomic<int> wrong{0}, seen_loaded{0}, seen_unloaded{0};

  auto observe = [&] {
    bool existed = false;
    auto group = OpenProcessGroup(progid::kSharedPropertyManager, group_name, existed);
    const Variant connected = group->CreateProperty("Connected").Value();
    if (!(connected == Variant(true))) {
      ++seen_unloaded;
      return;
    }
    ++seen_loaded;
    try {
      for (const Expected& e : Values()) {
        if (!(group->Property(e.shared_name).Value() == e.cached)) ++wrong;
      }
      auto dict = group->Property("SupportedProc").Value().As<Dictionary>();
      if (!dict || !dict->Exists("p_Two") || dict->Count() != 2) ++wrong;
      if (group->Property("ConnectString").Value().ToText() != connect_string) ++wrong;
    } catch (const Error&) {
      ++wrong;  // a property not yet created
    }
  };

  std::vector<std::thread> observers;
  for (int i = 0; i < 3; ++i) {
    observers.emplace_back([&] {
      while (!go) std::this_thread::yield();
      while (!loaders_done) observe();
      observe();  // at least one look at the finished group
    });
  }

  std::vector<std::thread> loaders;
  std::atomic<int> wrong_answers{0};
  for (int i = 0; i < 4; ++i) {
    loaders.emplace_back([&, i] {
      // Objects of their own, as apartment-threaded callers have.
      auto ds = memdb::MakeDataSource(name, "1", connect_string);
      while (!go) std::this_thread::yield();
      const bool ok = (i % 2 == 0 ? ds->NumericFunctions() == 0xFFFFFF
                                  : ds->ProcSupported("GetPeriodStartEnd")) &&
                      ds->LikeEscapeClause() && ds->MultipleResults() &&
                      ds->DBMSVersion() == "08.00.2039" && !ds->ProcSupported("p_Three");
      if (!ok) ++wrong_answers;
    });
  }

  go = true;
  for (auto& t : loaders) t.join();
  loaders_done = true;
  for (auto& t : observers) t.join();

  EXPECT_EQ(wrong, 0) << "an observer found \"Connected\" true with a property missing";
  EXPECT_EQ(wrong_answers, 0);
  EXPECT_GE(seen_loaded, 3);
  EXPECT_GE(db->opens, 1);
  EXPECT_LE(db->opens, 4) << "each loader loads at most once";
}

TEST(SharedPropertyConcurrency, SingleReadsAndWritesAreWhole) {
  // Writers put long texts of one letter each; a reader must never see a
  // mixture, nor a value no writer wrote.
  bool existed = false;
  auto group = OpenProcessGroup(progid::kSharedPropertyManager, "whole-values", existed);
  group->CreateProperty("P").SetValue(Variant(std::string(1000, 'a')));
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};

  std::vector<std::thread> threads;
  for (int w = 0; w < 3; ++w) {
    threads.emplace_back([&, w] {
      const std::string text(1000 + 100 * w, static_cast<char>('a' + w));
      for (int i = 0; i < 2000; ++i) group->CreateProperty("P").SetValue(Variant(text));
    });
  }
  for (int r = 0; r < 2; ++r) {
    threads.emplace_back([&] {
      SharedProperty p = group->Property("P");
      while (!stop) {
        const std::string v = p.Value().ToText();
        const size_t w = static_cast<size_t>(v[0] - 'a');
        if (w > 2 || v.size() != 1000 + 100 * w || v.find_first_not_of(v[0]) != std::string::npos)
          ++torn;
      }
    });
  }
  for (int w = 0; w < 3; ++w) threads[static_cast<size_t>(w)].join();
  stop = true;
  for (size_t i = 3; i < threads.size(); ++i) threads[i].join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
}  // namespace q8

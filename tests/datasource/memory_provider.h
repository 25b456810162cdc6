// An in-memory database behind the data-access layer's provider seam.
//
// The data-source services read provider properties ("DBMS Name", "Like
// Escape Clause" …) and run fixed queries. This provider serves both from a
// MemoryDatabase that a test fills: chosen properties (absent ones are simply
// not reported), and canned results for exact command texts. A command text
// it holds no result for fails as a missing table does on the server, with
// one Errors-collection entry. Reached with MemoryConnectString(name).
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "connection/cdatasource.h"
#include "core/ado/provider.h"

namespace q8::memdb {

// One result: the columns and the rows (a row holds one Variant per column;
// Variant::Null() for NULL).
struct MemoryTable {
  std::vector<ado::ColumnInfo> columns;
  std::vector<std::vector<Variant>> rows;
};

struct MemoryDatabase {
  // What Properties() reports, in order.
  std::vector<ado::Property> properties;
  // Results by exact command text.
  std::map<std::string, MemoryTable> results;
  // Pauses in every Properties() call and every execution, to widen the
  // window of a load.
  std::chrono::microseconds property_delay{0};
  std::chrono::microseconds execute_delay{0};

  // Counters, for tests of how often the services come back.
  std::atomic<int> opens{0};
  std::atomic<int> executions{0};
  int ExecutionsOf(const std::string& text) const;

  // Fill before the first connection; not changed while connections run.
  void SetProperty(const std::string& name, const Variant& value);

 private:
  friend class MemoryConnection;
  void CountExecution(const std::string& text);
  mutable std::mutex mu_;
  std::map<std::string, int> executions_by_text_;
};

// Registers the provider with the data-access layer; safe to call again.
void RegisterMemoryProvider();
// Creates (or replaces) the database `name`, registering the provider first.
std::shared_ptr<MemoryDatabase> AddMemoryDatabase(const std::string& name);
// "Provider=Q8Memory;Database=<name>".
std::string MemoryConnectString(const std::string& name);

// The number and description with which a command text without a result fails.
inline constexpr int32_t kMissingTableNumber = ado::kErrCommandFailed;
std::string MissingTableDescription(const std::string& text);

// A data source on a parsed descriptor naming the DBMS `dbms_name` and
// `dbms_version`, with `connect_string` as its "ConnectString". Registers the
// provider first.
std::unique_ptr<CDataSource> MakeDataSource(const std::string& dbms_name,
                                            const std::string& dbms_version,
                                            const std::string& connect_string);

}  // namespace q8::memdb

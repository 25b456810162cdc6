// The demo database: a generated, realistic and deterministic ERP database of
// an auto-parts trader that sells on consignment.
//
// One seed gives one database, byte for byte: the generator draws every
// choice from its own seeded generator and reads no clock. The books are
// those of the year 2024 (current period 12): purchases into the central
// warehouses, consignment sends to the customers' consignment warehouses
// (type 505), returns, settlements and their sales invoices, and the stock
// that these movements leave, together with the master data, prices,
// exchange rates, profile, calendar and report catalogue that the reports
// read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace q8::tool {

inline constexpr uint64_t kDefaultDemoSeed = 1;
inline constexpr int kDemoYear = 2024;

// Users with rows in t_QPDataRight (the table-driven rights object): one sees
// the customers of region kRightsRegion and their consignment warehouses,
// the other the brake parts (material codes 01.*). Every other user is
// unrestricted.
inline constexpr int32_t kRegionUser = 16394;
inline constexpr const char* kRightsRegion = "02";
inline constexpr int32_t kBrakeUser = 16395;

// The most bill lines a demo database has: ids stay well within 32 bits, and
// the file within about 30 GB.
inline constexpr int64_t kMaxDemoLines = 100'000'000;
// About the bytes of the file per bill line, and of the rest.
inline constexpr uint64_t kDemoBytesPerLine = 300;
inline constexpr uint64_t kDemoBaseBytes = 2 << 20;

struct DemoOptions {
  int64_t lines = 5000;  // about this many bill lines (stock bills and invoices)
  uint64_t seed = kDefaultDemoSeed;
  bool follow_symlinks = false;  // with force, replace the file a link points to
  // Told of the scratch files of the build (see sqlite::BuildOptions).
  std::function<void(const std::string& path, bool added)> scratch = nullptr;
};

struct DemoSummary {
  std::vector<std::pair<std::string, int64_t>> rows;  // table → rows written, in order
  double seconds = 0;
};

// Creates the database on `path` (the schema of init-db) and fills it: the
// rows in one transaction, then the indexes. The file is built beside `path`
// and moved there when complete, so a failed generation leaves `path` as it
// was (an existing file too). Refuses an existing file unless `force` (and
// then anything but a regular file, see sqlite::BuildDatabase), and a folder
// without room for about kDemoBytesPerLine per line. Raises q8::Error.
DemoSummary GenerateDemoDatabase(const std::string& path, const DemoOptions& options, bool force);

}  // namespace q8::tool

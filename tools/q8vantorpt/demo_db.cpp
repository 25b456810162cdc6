// The demo database generator: the schema of init-db, filled by the model
// (demo_generator.h) through the writer (demo_writer.h).
//
// All rows go through prepared statements inside one transaction; the file
// is new, so the journal is switched off. The indexes are built once the
// rows are in: sorting a whole table is far cheaper than keeping an index in
// order row by row.
#include "tools/q8vantorpt/demo_db.h"

#include <algorithm>
#include <chrono>

#include "drivers/sqlite/schema.h"
#include "tools/q8vantorpt/demo_generator.h"
#include "tools/q8vantorpt/demo_writer.h"

namespace q8::tool {

DemoSummary GenerateDemoDatabase(const std::string& path, const DemoOptions& options, bool force) {
  const auto started = std::chrono::steady_clock::now();
  DemoSummary summary;
  // The tables are filled before the indexes are built (sqlite::BuildDatabase
  // creates them after `fill`), in a new file that replaces `path` only once
  // it is complete.
  sqlite::BuildOptions build;
  build.force = force;
  build.follow_symlinks = options.follow_symlinks;
  build.expected_bytes =
      kDemoBaseBytes +
      kDemoBytesPerLine * static_cast<uint64_t>(std::max<int64_t>(0, options.lines));
  build.scratch = options.scratch;
  sqlite::BuildDatabase(path, build, [&](sqlite3* db) {
    // The file is new and is dropped when anything fails: no journal needed.
    // The rows are appended, so a modest page cache holds the pages they go to.
    demo::Exec(db,
               "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
               " PRAGMA cache_size=-16384;");
    demo::Exec(db, "BEGIN");
    {
      demo::TableWriters out(db);
      demo::Generator g(out, options);
      summary.rows = g.Run();
    }  // statements finalized before the commit
    demo::Exec(db, "COMMIT");
    // Building an index sorts the table's keys in runs of at most the cache
    // size, merged from temporary files; runs that stay in the processor's
    // caches sort much faster than one large run in memory.
    demo::Exec(db, "PRAGMA cache_size=-4096;");
  });

  summary.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  return summary;
}

}  // namespace q8::tool

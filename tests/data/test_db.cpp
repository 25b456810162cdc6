#include "tests/data/test_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

#include "drivers/sqlite/schema.h"
#include "q8vantorpt/rpt.h"
#include "tests/support/support.h"

namespace q8::testing {

TestDb::TestDb() {
  static std::atomic<int> counter{0};
  RegisterComponent();
  path_ = (std::filesystem::temp_directory_path() /
           ("q8_services_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + ".db"))
              .string();
  sqlite::InitDatabase(path_, true);
}

TestDb::~TestDb() {
  std::error_code ignored;
  std::filesystem::remove(path_, ignored);
}

void TestDb::Exec(const std::string& sql) const { ASSERT_EQ(ExecSqlite(path_, sql), ""); }

std::string TestDb::Dsn(std::string_view language, std::string_view user_id) const {
  return "ConnectString={" + sqlite::ConnectionStringFor(path_) +
         "};DBMS Name=SQLite;DBMS Version=3;Language=" + std::string(language) +
         ";UserID=" + std::string(user_id) + ";";
}

std::shared_ptr<defaults::DefaultObjectContext> FreshContext() {
  auto context = defaults::CurrentDefaultContext();
  if (context) context->ClearCalls();
  return context;
}

}  // namespace q8::testing

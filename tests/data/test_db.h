// Test support shared by the services and catalogue tests: a new embedded
// ERP database per test, filled with plain SQLite statements, and the
// descriptors that name it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "core/default_objects.h"

namespace q8::testing {

class TestDb {
 public:
  // A new database file with the ERP schema, in the temporary directory.
  TestDb();
  ~TestDb();
  TestDb(const TestDb&) = delete;
  TestDb& operator=(const TestDb&) = delete;

  // Runs plain SQLite statements on the file; fails the test on an error.
  void Exec(const std::string& sql) const;
  const std::string& path() const { return path_; }
  // A descriptor for this database in `language`, with "UserID" `user_id`.
  std::string Dsn(std::string_view language = "CHS", std::string_view user_id = "0") const;

 private:
  std::string path_;
};

// The calling thread's default object context, its records cleared.
std::shared_ptr<defaults::DefaultObjectContext> FreshContext();

}  // namespace q8::testing

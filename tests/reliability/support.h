// Test support of the reliability suites: scratch files, a fingerprint of a
// database file to prove that nothing wrote to it, a small ERP database whose
// entity codes are chosen by the test, and record sets read back as text.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "tests/support/support.h"

namespace q8::reliability {

// A path in the temporary directory that no other test of any process uses;
// the file and its journal companions are removed when the object goes.
class ScratchPath {
 public:
  explicit ScratchPath(std::string_view stem);
  ~ScratchPath();
  ScratchPath(const ScratchPath&) = delete;
  ScratchPath& operator=(const ScratchPath&) = delete;

  const std::string& str() const { return path_; }

 private:
  std::string path_;
};

// What a database file holds, byte for byte, and whether the engine left a
// rollback journal or a write-ahead log beside it.
struct FileFingerprint {
  bool exists = false;
  uint64_t size = 0;
  uint64_t hash = 0;  // FNV-1a over the bytes
  bool has_journal = false;

  friend bool operator==(const FileFingerprint&, const FileFingerprint&) = default;
};
FileFingerprint Fingerprint(const std::string& path);
std::string ToString(const FileFingerprint& f);

// Runs plain SQLite statements on a file; raises std::runtime_error.
void ExecSql(const std::string& path, const std::string& sql);

// A new ERP database on `path` with the base data every report needs and,
// for each code, one entity whose material, customer, consignment warehouse
// (type 505, assigned to that customer) and stock place all carry the code as
// their full and their short number. Entity i has stock of i + 1 pieces in
// its warehouse and one consignment send of i + 1 pieces dated 2024-01-10.
// Its names are "Material <code>", "Customer <code>", "Warehouse <code>" and
// "Place <code>". Codes are inserted as bound values, whatever they hold.
void CreateCodeDatabase(const std::string& path, const std::vector<std::string>& codes);

// The descriptor of the embedded engine on `path`.
std::string DsnFor(const std::string& path, std::string_view language = "CHS");

// A dictionary of text values.
DictionaryPtr TextFilter(std::initializer_list<std::pair<std::string_view, std::string>> entries);

using testing::Text;
// Every row of a record set (from the first), all columns joined by "|".
std::vector<std::string> AllRows(ado::Recordset& rs);
// The values of one column over the rows whose "FSumSort" is 0 (the detail
// rows of a report), in order.
std::vector<std::string> DetailColumn(ado::Recordset& rs, std::string_view column);

// Runs `body` in a forked child process and returns what it returned (an
// exception that escapes it is reported as text), or how the child ended
// when it did not end normally. For changes a test must not make to its own
// process: resource limits, signal dispositions, mounts, another user.
std::string RunInChild(const std::function<std::string()>& body);

// "NUMBER SOURCE: DESCRIPTION" for failure messages.
std::string Describe(const Error& e);

}  // namespace q8::reliability

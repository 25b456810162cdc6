// Translation tests as data: testdata/tsql/*.test.
//
// Each case names its fixture (plain SQLite statements in
// testdata/tsql/fixtures), optional extra setup, a T-SQL batch (its lines
// joined with CR LF, as the component builds them) and either the expected
// rows of the batch's first result or the text of the expected error:
//
//   === name
//   fixture erp
//   setup
//   INSERT INTO …;
//   batch
//    Set Nocount on
//    select …
//   types int|decimal(38,6)      (optional: SQL Server types of the columns below)
//   columns 40                   (optional: the result's column count)
//   expect
//   a|b                          (the columns to compare, by result name)
//   1|2.5
//
// or "error <text>" in place of "expect". "result 2" compares the second
// result that has columns instead of the first.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/tsql/harness.h"

namespace q8::tsql::testing {
namespace {

struct Case {
  std::string file;
  int line = 0;
  std::string name;
  std::vector<std::string> fixtures;
  std::string setup;
  std::string batch;
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> types;
  int columns = -1;
  int result = 1;
  std::optional<std::string> error;
};

std::vector<std::string> SplitBar(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    size_t bar = line.find('|', start);
    out.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return out;
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<Case> LoadCases() {
  std::vector<Case> cases;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(Q8_TSQL_TESTDATA)) {
    if (entry.path().extension() == ".test") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::istringstream in(ReadFile(path));
    std::string line;
    enum { kNone, kSetup, kBatch, kExpect } mode = kNone;
    Case* c = nullptr;
    int lineno = 0;
    while (std::getline(in, line)) {
      ++lineno;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("=== ", 0) == 0) {
        cases.emplace_back();
        c = &cases.back();
        c->file = path.filename().string();
        c->line = lineno;
        c->name = line.substr(4);
        mode = kNone;
        continue;
      }
      if (c == nullptr) continue;
      if (mode == kBatch || mode == kSetup) {
        bool directive = line == "batch" || line == "expect" || line.rfind("error ", 0) == 0 ||
                         line.rfind("types ", 0) == 0 || line.rfind("columns ", 0) == 0 ||
                         line.rfind("result ", 0) == 0;
        if (!directive) {
          if (mode == kBatch) {
            c->batch += line + "\r\n";
          } else {
            c->setup += line + "\n";
          }
          continue;
        }
      }
      if (mode == kExpect) {
        if (line.empty() || line[0] == '#') continue;
        if (c->header.empty()) {
          c->header = SplitBar(line);
        } else {
          c->rows.push_back(SplitBar(line));
        }
        continue;
      }
      if (line.empty() || line[0] == '#') continue;
      if (line.rfind("fixture ", 0) == 0) {
        c->fixtures.push_back(line.substr(8));
      } else if (line == "setup") {
        mode = kSetup;
      } else if (line == "batch") {
        mode = kBatch;
      } else if (line == "expect") {
        mode = kExpect;
      } else if (line.rfind("error ", 0) == 0) {
        c->error = line.substr(6);
        mode = kNone;
      } else if (line.rfind("types ", 0) == 0) {
        c->types = SplitBar(line.substr(6));
        mode = kNone;
      } else if (line.rfind("columns ", 0) == 0) {
        c->columns = std::stoi(line.substr(8));
        mode = kNone;
      } else if (line.rfind("result ", 0) == 0) {
        c->result = std::stoi(line.substr(7));
        mode = kNone;
      } else {
        ADD_FAILURE() << path << ":" << lineno << ": unknown directive " << line;
      }
    }
  }
  return cases;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.file << ":" << c.line; }

class DataTest : public ::testing::TestWithParam<Case> {};

TEST_P(DataTest, Rows) {
  const Case& c = GetParam();
  SCOPED_TRACE(c.file + ":" + std::to_string(c.line) + " " + c.name);
  Database db;
  for (const std::string& f : c.fixtures) {
    db.Exec(ReadFile(std::filesystem::path(Q8_TSQL_TESTDATA) / "fixtures" / (f + ".sql")));
  }
  if (!c.setup.empty()) db.Exec(c.setup);
  RunResult r = db.Run(c.batch);
  if (c.error) {
    ASSERT_TRUE(r.error.has_value()) << "expected error: " << *c.error;
    EXPECT_NE(r.error->find(*c.error), std::string::npos) << *r.error;
    return;
  }
  ASSERT_FALSE(r.error.has_value()) << *r.error;
  ASSERT_GE(r.results.size(), static_cast<size_t>(c.result)) << "no result " << c.result;
  const ResultRows& res = r.results[c.result - 1];
  if (c.columns >= 0) {
    EXPECT_EQ(res.names.size(), static_cast<size_t>(c.columns));
  }
  std::vector<int> cols;
  for (const std::string& h : c.header) {
    auto it = std::find(res.names.begin(), res.names.end(), h);
    if (it == res.names.end()) {
      std::string all;
      for (const auto& n : res.names) all += n + "|";
      FAIL() << "no result column " << h << " in " << all;
    }
    cols.push_back(static_cast<int>(it - res.names.begin()));
  }
  if (!c.types.empty()) {
    ASSERT_EQ(c.types.size(), cols.size());
    for (size_t i = 0; i < cols.size(); ++i) {
      EXPECT_EQ(res.types[cols[i]].name, c.types[i]) << "type of " << c.header[i];
    }
  }
  std::vector<std::string> got, want;
  for (const auto& row : res.rows) {
    std::string s;
    for (size_t i = 0; i < cols.size(); ++i) s += (i ? "|" : "") + row[cols[i]];
    got.push_back(s);
  }
  for (const auto& row : c.rows) {
    std::string s;
    for (size_t i = 0; i < row.size(); ++i) s += (i ? "|" : "") + row[i];
    want.push_back(s);
  }
  EXPECT_EQ(got, want);
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string n = info.param.file.substr(0, info.param.file.find('.')) + "_" + info.param.name;
  for (char& ch : n) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return n + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Translate, DataTest, ::testing::ValuesIn(LoadCases()), CaseName);

}  // namespace
}  // namespace q8::tsql::testing

// Memory bounds: the tool streams every record set it prints, so its first
// rows are out long before the last would be read and its memory stays
// bounded however large the result; GetData returns a detached record set
// that keeps its rows beyond a memory limit in a file, so any result takes
// bounded memory in the library too, and a full temporary folder is named.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/reliability/support.h"
#include "tests/reliability/tool_process.h"

namespace q8::reliability {
namespace {

constexpr size_t kMegabyte = 1024 * 1024;

// Under AddressSanitizer memory is shadowed and freed blocks are held in
// quarantine: resident sizes say nothing about the program's own bounds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// The peak resident memory of this process so far (VmHWM), in KiB.
long PeakKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

class Memory : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterComponent();
    path_ = new ScratchPath("memory");
    CreateCodeDatabase(path_->str(), {});
    // 1000 customers with names of about 100 characters.
    ExecSql(path_->str(), R"SQL(
      WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000)
      INSERT INTO t_Item (FItemID, FItemClassID, FNumber, FShortNumber, FName)
        SELECT i, 1, 'C' || i, i, 'Customer ' || i || ' ' || substr(hex(zeroblob(50)), 1, 90)
        FROM n;
    )SQL");
  }
  static void TearDownTestSuite() {
    delete path_;
    path_ = nullptr;
  }
  static ScratchPath* path_;
};
ScratchPath* Memory::path_ = nullptr;

// 10^12 rows: no tool that reads a result whole before printing it prints
// anything. Each command and format must put out its first 8 MB while the
// tool stays within 100 MB.
TEST_F(Memory, TheToolStreamsWhatItPrints) {
  const std::string endless =
      "SELECT a.FItemID, b.FNumber, c.FName FROM t_Item a CROSS JOIN t_Item b "
      "CROSS JOIN t_Item c CROSS JOIN t_Item d";
  for (const char* command : {"query", "batch"}) {
    for (const char* format : {"table", "csv", "json"}) {
      SCOPED_TRACE(std::string(command) + " --format " + format);
      ToolOptions o;
      o.args = {"--db", path_->str(), "--format", format, command, endless};
      ToolProcess p(o);
      // A tool that gathers the rows first is stopped before it takes the
      // machine's memory.
      const std::string head = p.Read(8 * kMegabyte, 120, kSanitized ? 0 : 1024 * 1024);
      EXPECT_EQ(head.size(), 8 * kMegabyte);
      const long peak = p.PeakKib();
      EXPECT_GT(peak, 0);
      if (!kSanitized) {
        EXPECT_LT(peak, 100 * 1024) << "KiB at the peak";
      }
      p.Signal(SIGKILL);
      p.Wait();
    }
  }
}

// GetData over 400,000 rows of about 120 bytes (some 50 MB held whole)
// with the default limit lowered to 1 MiB: the rows are all there, in both
// directions, and the process grows by far less than the result.
TEST_F(Memory, GetDataKeepsALargeResultInBoundedMemory) {
  const std::string problems = RunInChild([&]() -> std::string {
    ado::SetRecordsetMemoryLimit(kMegabyte);
    const long before = PeakKib();
    Data data;
    auto rs =
        data.GetData(DsnFor(path_->str()),
                     "SELECT a.FItemID, b.FItemID AS k, a.FName FROM t_Item a "
                     "CROSS JOIN t_Item b WHERE b.FItemID <= 400 ORDER BY a.FItemID, b.FItemID");
    std::string out;
    if (rs->RecordCount() != 400000) out += "rows: " + std::to_string(rs->RecordCount()) + "\n";
    if (rs->ActiveConnection()) out += "not detached\n";
    if (rs->MemoryUsage() > 6 * kMegabyte)
      out += "held in memory: " + std::to_string(rs->MemoryUsage()) + " bytes\n";
    long count = 0, sum = 0;
    for (; !rs->IsEOF(); rs->MoveNext()) {
      ++count;
      sum += rs->Value("k").ToLong();
    }
    if (count != 400000 || sum != 1000L * (400 * 401 / 2)) out += "other rows read\n";
    rs->MovePrevious();
    if (rs->Value("FItemID").ToLong() != 1000 || rs->Value("k").ToLong() != 400)
      out += "the last row differs\n";
    rs->MoveFirst();
    if (rs->Value("FName").ToText().rfind("Customer 1 ", 0) != 0) out += "the first row differs\n";
    const long grown = PeakKib() - before;
    if (!kSanitized && grown > 40 * 1024) out += "grew by " + std::to_string(grown) + " KiB\n";
    return out;
  });
  EXPECT_EQ(problems, "");
}

// The folder of the spilled rows without room (here the process's file-size
// limit): GetData fails with an error that names the folder and what to do.
TEST_F(Memory, AFullSpillFolderIsNamed) {
  ScratchPath folder("spill");
  ASSERT_TRUE(std::filesystem::create_directory(folder.str()));
  const std::string problems = RunInChild([&]() -> std::string {
    signal(SIGXFSZ, SIG_IGN);
    setenv("TMPDIR", folder.str().c_str(), 1);
    ado::SetRecordsetMemoryLimit(64 * 1024);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 256 * 1024;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return "setrlimit failed";
    try {
      Data().GetData(DsnFor(path_->str()),
                     "SELECT a.FName FROM t_Item a CROSS JOIN t_Item b WHERE b.FItemID <= 100");
      return "GetData did not fail";
    } catch (const Error& e) {
      if (e.number() != err::kComponent ||
          e.description().find("No room to keep the rows of a large record set in the "
                               "temporary folder '" +
                               folder.str() + "'") == std::string::npos ||
          e.description().find("File too large") == std::string::npos)
        return Describe(e);
    }
    return "";
  });
  std::error_code ignored;
  std::filesystem::remove_all(folder.str(), ignored);
  EXPECT_EQ(problems, "");
}

}  // namespace
}  // namespace q8::reliability

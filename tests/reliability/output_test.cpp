// Output that is cut short: every write to standard output is checked. A
// full device, a full file system and a closed standard output end the
// command with exit status 1 and an error line naming the output; a reader
// that goes away early (`| head`) ends it quietly, as it always did.

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "q8vantorpt/rpt.h"
#include "tests/reliability/support.h"
#include "tests/reliability/tool_process.h"

namespace q8::reliability {
namespace {

class Output : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterComponent();
    path_ = new ScratchPath("output");
    std::vector<std::string> codes;
    for (int i = 0; i < 300; ++i) codes.push_back("C" + std::to_string(1000 + i));
    CreateCodeDatabase(path_->str(), codes);
  }
  static void TearDownTestSuite() {
    delete path_;
    path_ = nullptr;
  }
  // Commands whose output is large enough to fill any buffer on the way,
  // and one of each other kind of output.
  static std::vector<std::vector<std::string>> Commands() {
    const std::string db = path_->str();
    return {
        {"--db", db, "--format", "csv", "report", "2008610", "--filter", "BDate=2024-01-01",
         "--filter", "EDate=2024-01-31"},
        {"--db", db, "query", "select a.FNumber, b.FName from t_Item a cross join t_Item b"},
        {"--db", db, "--format", "json", "batch", "select FNumber from t_ICItem"},
        {"--db", db, "period", "current"},
        {"--db", db, "server-date"},
        {"--help"},
    };
  }
  static ScratchPath* path_;
};
ScratchPath* Output::path_ = nullptr;

TEST_F(Output, AFullDeviceFailsNamingTheOutput) {
  for (const auto& args : Commands()) {
    SCOPED_TRACE(args.back());
    ToolOptions o;
    o.args = args;
    o.out = ToolOut::kDevFull;
    const ToolResult r = RunToolProcess(o);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_NE(r.err.find("cannot write to standard output: No space left on device"),
              std::string::npos)
        << r.err;
  }
}

// An --output file is checked as standard output is: a full device named
// by its path, a folder that does not exist named with the cause.
TEST_F(Output, AnOutputFileThatCannotBeWrittenFailsNamingIt) {
  const std::string db = path_->str();
  const std::vector<std::string> report = {
      "--db",    db,         "--format",         "csv",      "report",
      "2008610", "--filter", "BDate=2024-01-01", "--filter", "EDate=2024-01-31"};
  struct Case {
    std::string file, message;
  } cases[] = {
      {"/dev/full", "cannot write to /dev/full: No space left on device"},
      {"/nonexistent-folder/r.csv",
       "cannot write the output file /nonexistent-folder/r.csv: No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    ToolOptions o;
    o.args = report;
    o.args.push_back("--output");
    o.args.push_back(c.file);
    o.out = ToolOut::kCapture;
    const ToolResult r = RunToolProcess(o);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
}

// A closed standard output: the writes fail, and no file the tool opens
// (the database above all) takes the descriptor's place and receives them.
TEST_F(Output, AClosedOutputFailsAndWritesNowhereElse) {
  const FileFingerprint before = Fingerprint(path_->str());
  for (const auto& args : Commands()) {
    SCOPED_TRACE(args.back());
    ToolOptions o;
    o.args = args;
    o.out = ToolOut::kClosed;
    const ToolResult r = RunToolProcess(o);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_NE(r.err.find("cannot write to standard output: it is closed"), std::string::npos)
        << r.err;
  }
  EXPECT_EQ(ToString(Fingerprint(path_->str())), ToString(before));
}

// A file system that fills up while a report is written to a file on it.
TEST_F(Output, AFullFileSystemFailsNamingTheOutput) {
  ScratchPath folder("outfs");
  ASSERT_TRUE(std::filesystem::create_directory(folder.str()));
  const std::string problems = RunInChild([&]() -> std::string {
    const std::string why_not = PrivateTmpfs(folder.str(), "32k");
    if (!why_not.empty()) return why_not;
    ToolOptions o;
    o.args = Commands()[0];
    o.out = ToolOut::kFile;
    o.out_file = folder.str() + "/report.csv";
    const ToolResult r = RunToolProcess(o);
    if (r.status != 1 ||
        r.err.find("cannot write to standard output: No space left on device") == std::string::npos)
      return Describe(r);
    return "";
  });
  std::error_code ignored;
  std::filesystem::remove_all(folder.str(), ignored);
  if (problems.starts_with("SKIP: ")) GTEST_SKIP() << problems.substr(6);
  EXPECT_EQ(problems, "");
}

// A reader that reads a little and goes away: SIGPIPE ends the tool without
// a word; with SIGPIPE ignored (as some parents leave it) the failed write
// ends it quietly with status 1.
TEST_F(Output, AReaderGoingAwayEndsTheToolQuietly) {
  for (bool ignore : {false, true}) {
    SCOPED_TRACE(ignore ? "SIGPIPE ignored" : "SIGPIPE as usual");
    ToolOptions o;
    o.args = Commands()[1];
    o.ignore_sigpipe = ignore;
    ToolProcess p(o);
    EXPECT_EQ(p.Read(100, 120).size(), 100u);
    p.CloseOutput();
    const ToolResult r = p.Wait();
    if (ignore) {
      EXPECT_EQ(r.status, 1) << Describe(r);
    } else {
      EXPECT_EQ(r.signal, SIGPIPE) << Describe(r);
    }
    EXPECT_EQ(r.err, "");
  }
}

}  // namespace
}  // namespace q8::reliability

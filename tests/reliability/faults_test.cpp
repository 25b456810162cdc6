// Faults of the database file: missing, not a database, damaged, read-only,
// locked by a writer. Every public method that opens the database fails with
// its own error whose description names the cause (or, for the methods that
// never raise, returns its failure value); nothing crashes; no empty database
// appears where none was; and the file is not changed by any call.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"
#include "tests/reliability/public_calls.h"
#include "tests/reliability/support.h"
#include "tests/reliability/tool_process.h"
#include "tools/q8vantorpt/cli.h"

namespace q8::reliability {
namespace {

// Runs `body` in a child process that cannot write to files it does not
// own: as the user "nobody" when the tests run as root (root ignores the
// permission bits), otherwise as it is. Returns what the body returned, or
// the way the child ended.
std::string AsUnprivileged(const std::function<std::string()>& body) {
  return RunInChild([&]() -> std::string {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
      return "cannot drop privileges";
    return body();
  });
}

// The tool, in this process: exit status and the error line.
struct ToolRun {
  int status;
  std::string out;
  std::string err;
};
ToolRun RunToolWith(std::vector<const char*> args) {
  args.insert(args.begin(), "q8vantorpt");
  std::ostringstream out, err;
  const int status = tool::RunTool(static_cast<int>(args.size()), args.data(), out, err, nullptr);
  return {status, out.str(), err.str()};
}

class Faults : public ::testing::Test {
 protected:
  void SetUp() override { RegisterComponent(); }
};

TEST_F(Faults, MissingFileFailsAndIsNotCreated) {
  ScratchPath path("missing");
  EXPECT_EQ(CheckAllFail(DsnFor(path.str()), {"No such file or directory"}), "");
  EXPECT_FALSE(std::filesystem::exists(path.str()));
  // A missing folder on the way is the same failure.
  const std::string deep = path.str() + ".d/sub/erp.db";
  EXPECT_EQ(CheckAllFail(DsnFor(deep), {"No such file or directory"}), "");
  EXPECT_FALSE(std::filesystem::exists(path.str() + ".d"));
}

TEST_F(Faults, FilesThatAreNoDatabase) {
  ScratchPath good("good");
  CreateCodeDatabase(good.str(), {"A100", "B200"});
  std::string image;
  {
    std::ifstream in(good.str(), std::ios::binary);
    image.assign(std::istreambuf_iterator<char>(in), {});
  }
  ASSERT_GT(image.size(), 8192u);

  struct Case {
    const char* why;
    std::string bytes;
    std::vector<std::string> causes;
    bool needs_tables = false;
  };
  std::string garbled = image;
  // The pages after the header: tables and indexes unreadable.
  for (size_t i = 4096; i < garbled.size(); i += 7) garbled[i] = static_cast<char>(0xA5 ^ i);
  const Case cases[] = {
      {"text", std::string(20000, 'x') + "\nnot a database\n", {"file is not a database"}},
      {"a header of another program",
       "%PDF-1.4\n" + std::string(5000, '\0'),
       {"file is not a database"}},
      {"a database cut short",
       image.substr(0, 4096 + 100),
       {"malformed", "not a database", "no such table", "disk I/O error"}},
      {"a database with its pages overwritten",
       garbled,
       {"malformed", "not a database", "no such table", "unsupported file format"}},
      // SQLite takes an empty file for an empty database: the ERP tables are
      // then missing, and the error says so.
      {"an empty file", "", {"no such table", "no such procedure", "not found"}, true},
      {"a directory", "<dir>", {"not a regular file"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    ScratchPath path("baddb");
    if (c.bytes == "<dir>") {
      std::filesystem::create_directory(path.str());
    } else {
      std::ofstream(path.str(), std::ios::binary)
          .write(c.bytes.data(), static_cast<std::streamsize>(c.bytes.size()));
    }
    const FileFingerprint before = Fingerprint(path.str());
    EXPECT_EQ(CheckAllFail(DsnFor(path.str()), c.causes, c.needs_tables), "");
    EXPECT_EQ(ToString(Fingerprint(path.str())), ToString(before));
    if (c.bytes == "<dir>") std::filesystem::remove(path.str());
  }
}

TEST_F(Faults, ReadOnlyFileServesEveryReadAndRefusesWrites) {
  ScratchPath path("readonly");
  CreateCodeDatabase(path.str(), {"A100", "B200", "C300"});
  const std::string dsn = DsnFor(path.str());
  // What the reports give on the writable file.
  std::vector<std::string> want;
  {
    Data data;
    DictionaryPtr sort;
    auto rs = data.GetRpt2008609Data(dsn, nullptr, Dates(), sort);
    want = AllRows(*rs);
  }
  ASSERT_FALSE(want.empty());
  ASSERT_EQ(chmod(path.str().c_str(), 0444), 0);
  const FileFingerprint before = Fingerprint(path.str());

  const std::string problems = AsUnprivileged([&]() -> std::string {
    std::string out = CheckAllSucceed(dsn);
    Data data;
    DictionaryPtr sort;
    try {
      auto rs = data.GetRpt2008609Data(dsn, nullptr, Dates(), sort);
      if (AllRows(*rs) != want) out += "2008609 gave other rows on the read-only file\n";
    } catch (const Error& e) {
      out += "2008609: " + Describe(e) + "\n";
    }
    // A statement that writes is refused with the reason.
    try {
      data.GetData(dsn, "UPDATE t_ICItem SET FName = 'changed'");
      out += "an UPDATE on a read-only file did not fail\n";
    } catch (const Error& e) {
      if (e.description().find("readonly") == std::string::npos)
        out += "UPDATE: " + Describe(e) + "\n";
    }
    return out;
  });
  EXPECT_EQ(problems, "");
  EXPECT_EQ(ToString(Fingerprint(path.str())), ToString(before));
}

TEST_F(Faults, InitDbWhereItCannotWrite) {
  ScratchPath dir("rodir");
  ASSERT_TRUE(std::filesystem::create_directory(dir.str()));
  ScratchPath existing("existing");
  CreateCodeDatabase(existing.str(), {"A100"});
  ASSERT_EQ(chmod(existing.str().c_str(), 0444), 0);
  const FileFingerprint before = Fingerprint(existing.str());
  ASSERT_EQ(chmod(dir.str().c_str(), 0555), 0);
  const std::string target = dir.str() + "/erp.db";

  const std::string problems = AsUnprivileged([&]() -> std::string {
    std::string out;
    // A folder that cannot be written: a clear error, and nothing left.
    ToolRun r = RunToolWith({"init-db", target.c_str()});
    if (r.status != tool::kExitFailure || r.err.find("Cannot create the file") == std::string::npos)
      out += "init-db in a read-only folder: status " + std::to_string(r.status) + ": " + r.err;
    // An existing database is kept.
    r = RunToolWith({"init-db", existing.str().c_str()});
    if (r.status != tool::kExitFailure || r.err.find("already exists") == std::string::npos)
      out += "init-db on an existing file: status " + std::to_string(r.status) + ": " + r.err;
    // --force does not replace a write-protected file.
    r = RunToolWith({"init-db", "--force", existing.str().c_str()});
    if (r.status != tool::kExitFailure || r.err.find("write-protected") == std::string::npos)
      out +=
          "init-db --force on a read-only file: status " + std::to_string(r.status) + ": " + r.err;
    return out;
  });
  EXPECT_EQ(problems, "");
  // Nor for root, whom the permission bits do not stop.
  for (const char* command : {"init-db", "demo-db"}) {
    ToolRun r = RunToolWith({command, "--force", existing.str().c_str()});
    EXPECT_EQ(r.status, tool::kExitFailure) << command;
    EXPECT_NE(r.err.find("write-protected"), std::string::npos) << command << ": " << r.err;
  }
  std::error_code ignored;
  EXPECT_TRUE(std::filesystem::is_empty(dir.str(), ignored));
  EXPECT_EQ(ToString(Fingerprint(existing.str())), ToString(before));
  chmod(dir.str().c_str(), 0755);
  std::filesystem::remove_all(dir.str(), ignored);
}

// A writer that holds the database locked: each call waits up to the busy
// timeout of its connection string, then fails naming the lock; once the
// writer is gone the same calls succeed.
TEST_F(Faults, DatabaseLockedByAWriter) {
  ScratchPath path("locked");
  CreateCodeDatabase(path.str(), {"A100", "B200"});
  const std::string dsn = "ConnectString={Provider=SQLite;Data Source=" + path.str() +
                          ";Busy Timeout=150};DBMS Name=SQLite;DBMS Version=3;Language=CHS;"
                          "UserID=0;";
  const FileFingerprint before = Fingerprint(path.str());

  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(path.str().c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(CheckAllFail(dsn, {"locked"}), "");
  ASSERT_EQ(sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);

  // A writer in the middle of its transaction (not yet committing) does not
  // keep readers out.
  ASSERT_EQ(sqlite3_exec(writer,
                         "BEGIN IMMEDIATE; INSERT INTO t_Item (FItemID, FItemClassID, FNumber, "
                         "FShortNumber, FName) VALUES (9999, 1, 'W', 'W', 'Pending');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  EXPECT_EQ(CheckAllSucceed(dsn), "");
  ASSERT_EQ(sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(writer);

  EXPECT_EQ(CheckAllSucceed(dsn), "");
  EXPECT_EQ(ToString(Fingerprint(path.str())), ToString(before));
}

// Work tables that find no room. A report's # tables live in a cache of
// Q8VANTORPT_TEMP_CACHE_KB that spills to a file in SQLite's temporary
// folder; here that cache is small, so that some hundred wide rows spill.
// In a child process (the limits are the child's alone) the report first
// runs with room and gives the rows it gives with the default cache; then
// its temporary folder loses its room in the way `take_room` chooses, and
// the report method and the tool each fail with an error that names the
// temporary storage and the folder, and the database file stays as it was.
// `take_room` returns "" or why it could not be done ("SKIP: ...");
// `give_room` undoes what `take_room` did to the process, if anything.
void CheckWorkTablesWithoutRoom(const std::function<std::string(const std::string&)>& take_room,
                                const std::function<void()>& give_room, const std::string& cause) {
  ScratchPath path("workroom");
  // Long codes make wide rows: about a megabyte of work tables.
  std::vector<std::string> codes;
  for (int i = 0; i < 900; ++i) {
    std::string code = "W";  // appended: `"W" + std::string` trips GCC 12's -Wrestrict at -O3
    code.append(std::to_string(1000 + i)).append(200, 'w');
    codes.push_back(code);
  }
  CreateCodeDatabase(path.str(), codes);
  const std::string dsn = DsnFor(path.str());
  std::vector<std::string> want;
  {
    DictionaryPtr sort;
    auto rs = Data().GetRpt2008610Data(dsn, nullptr, Dates(), sort);
    want = AllRows(*rs);
  }
  ASSERT_GT(want.size(), codes.size());
  ScratchPath roomy("roomy"), tight("tight");
  ASSERT_TRUE(std::filesystem::create_directory(roomy.str()));
  ASSERT_TRUE(std::filesystem::create_directory(tight.str()));
  const FileFingerprint before = Fingerprint(path.str());

  const std::string problems = RunInChild([&]() -> std::string {
    std::string out;
    setenv("Q8VANTORPT_TEMP_CACHE_KB", "64", 1);
    // SQLite read SQLITE_TMPDIR and TMPDIR when this process started it; its
    // own variable for the folder takes precedence over both.
    auto use_folder = [](const std::string& folder) {
      sqlite3_free(sqlite3_temp_directory);
      sqlite3_temp_directory = sqlite3_mprintf("%s", folder.c_str());
    };
    use_folder(roomy.str());
    try {
      DictionaryPtr sort;
      auto rs = Data().GetRpt2008610Data(dsn, nullptr, Dates(), sort);
      if (AllRows(*rs) != want) out += "a small work-table cache gave other rows\n";
    } catch (const Error& e) {
      out += "with room: " + Describe(e) + "\n";
    }
    const std::string why_not = take_room(tight.str());
    if (!why_not.empty()) return out + why_not;
    use_folder(tight.str());
    auto names_the_cause = [&](const std::string& text) {
      return text.find("temporary storage for work tables") != std::string::npos &&
             text.find("'" + tight.str() + "'") != std::string::npos &&
             text.find(cause) != std::string::npos;
    };
    for (int report : {2008608, 2008610}) {
      try {
        DictionaryPtr sort;
        if (report == 2008608)
          Data().GetRpt2008608Data(dsn, nullptr, std::make_shared<Dictionary>(), sort);
        else
          Data().GetRpt2008610Data(dsn, nullptr, Dates(), sort);
        out += std::to_string(report) + " did not fail without room\n";
      } catch (const Error& e) {
        if (!names_the_cause(e.description()) || e.number() == 0)
          out += std::to_string(report) + ": " + Describe(e) + "\n";
      }
    }
    const ToolRun r =
        RunToolWith({"--db", path.str().c_str(), "--format", "csv", "report", "2008610", "--filter",
                     "BDate=2024-01-01", "--filter", "EDate=2024-01-31"});
    if (r.status != tool::kExitFailure || !names_the_cause(r.err) ||
        std::count(r.err.begin(), r.err.end(), '\n') != 1)
      out += "the tool: status " + std::to_string(r.status) + ": " + r.err;
    // With room again, the same call works.
    give_room();
    use_folder(roomy.str());
    try {
      DictionaryPtr sort;
      auto rs = Data().GetRpt2008610Data(dsn, nullptr, Dates(), sort);
      if (AllRows(*rs) != want) out += "after the failure, other rows\n";
    } catch (const Error& e) {
      out += "room again: " + Describe(e) + "\n";
    }
    return out;
  });
  if (problems.starts_with("SKIP: ")) GTEST_SKIP() << problems.substr(6);
  EXPECT_EQ(problems, "");
  EXPECT_EQ(ToString(Fingerprint(path.str())), ToString(before));
  std::error_code ignored;
  std::filesystem::remove_all(roomy.str(), ignored);
  std::filesystem::remove_all(tight.str(), ignored);
}

// A limit on the size of files the process writes (ulimit -f): writes past
// it fail with EFBIG once SIGXFSZ is ignored.
TEST_F(Faults, WorkTablesOverTheFileSizeLimit) {
  CheckWorkTablesWithoutRoom(
      [](const std::string&) -> std::string {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 64 * 1024;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
          return std::string("setrlimit: ") + std::strerror(errno);
        return "";
      },
      [] {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_FSIZE, &limit);
      },
      "File too large");
}

// A temporary folder on a filesystem of 64 KiB (a tmpfs mounted in a mount
// namespace of the child's own, so nobody else sees it): writes fail with
// ENOSPC. Skips where the kernel or the container allows no namespace.
TEST_F(Faults, WorkTablesOnAFullFilesystem) {
  CheckWorkTablesWithoutRoom([](const std::string& folder) { return PrivateTmpfs(folder, "64k"); },
                             [] {}, "database or disk is full");
}

}  // namespace
}  // namespace q8::reliability

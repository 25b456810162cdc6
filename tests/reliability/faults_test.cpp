// Faults of the database file: missing, not a database, damaged, read-only,
// locked by a writer. Every public method that opens the database fails with
// its own error whose description names the cause (or, for the methods that
// never raise, returns its failure value); nothing crashes; no empty database
// appears where none was; and the file is not changed by any call.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
#include "tools/q8vantorpt/cli.h"

namespace q8::reliability {
namespace {

// Runs `body` in a child process that cannot write to files it does not
// own: as the user "nobody" when the tests run as root (root ignores the
// permission bits), otherwise as it is. Returns what the body returned, or
// the way the child ended.
std::string AsUnprivileged(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  const pid_t pid = fork();
  if (pid < 0) return "fork failed";
  if (pid == 0) {
    close(fds[0]);
    std::string out;
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      out = "cannot drop privileges";
    } else {
      try {
        out = body();
      } catch (const std::exception& e) {
        out = std::string("escaped: ") + e.what();
      }
    }
    const char* p = out.data();
    size_t left = out.size();
    while (left > 0) {
      const ssize_t n = write(fds[1], p, left);
      if (n <= 0) break;
      p += n;
      left -= static_cast<size_t>(n);
    }
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    out += "child ended abnormally (status " + std::to_string(status) + ")";
  return out;
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
    return out;
  });
  EXPECT_EQ(problems, "");
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

}  // namespace
}  // namespace q8::reliability

// Files that are not ours: init-db and demo-db with --force write only to a
// regular file (or a new path), follow a symbolic link only when asked, keep
// the old file on any failure, and leave no scratch file behind, whether
// they fail or a signal stops them. Names too long for the file system are
// named as such.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/reliability/support.h"
#include "tests/reliability/tool_process.h"

namespace q8::reliability {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed with what is left in it.
class Folder {
 public:
  explicit Folder(std::string_view stem) : path_(ScratchPath(stem).str() + ".d") {
    fs::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& str() const { return path_; }

 private:
  std::string path_;
};

std::string Kind(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return "missing";
  if (S_ISREG(st.st_mode)) return "file";
  if (S_ISDIR(st.st_mode)) return "directory";
  if (S_ISFIFO(st.st_mode)) return "fifo";
  if (S_ISCHR(st.st_mode)) return "chardev " + std::to_string(st.st_rdev);
  if (S_ISLNK(st.st_mode)) return "symlink";
  return "other";
}

std::string Content(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The commands that write a database file, quick to run.
const std::vector<std::vector<std::string>>& Writers() {
  static const std::vector<std::vector<std::string>> writers = {{"init-db"},
                                                                {"demo-db", "--scale", "10"}};
  return writers;
}

ToolResult RunWriter(std::vector<std::string> command, const std::string& file,
                     std::vector<std::string> extra = {}) {
  ToolOptions o;
  o.args = std::move(command);
  o.args.push_back(file);
  o.args.insert(o.args.end(), extra.begin(), extra.end());
  return RunToolProcess(o);
}

// Nodes that are not regular files keep their kind under --force: a named
// pipe (the tool once turned it into a file), a directory, a character
// device (mknod as root; root once replaced /dev/null). Each is refused
// with an error naming its kind, and nothing is left beside it.
TEST(Files, ForceReplacesOnlyRegularFiles) {
  struct Case {
    const char* name;
    std::function<bool(const std::string&)> make;  // false: cannot here
    const char* said;
  };
  const Case cases[] = {
      {"a named pipe", [](const std::string& p) { return mkfifo(p.c_str(), 0644) == 0; },
       "named pipe"},
      {"a directory", [](const std::string& p) { return mkdir(p.c_str(), 0755) == 0; },
       "directory"},
      {"a character device",
       [](const std::string& p) { return mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; },
       "character device"},
  };
  for (const Case& c : cases) {
    for (const auto& command : Writers()) {
      SCOPED_TRACE(std::string(c.name) + ", " + command[0]);
      Folder folder("nodes");
      const std::string node = folder / "node";
      if (!c.make(node)) {
        std::cout << "[ SKIPPED  ] cannot make " << c.name << " here: " << std::strerror(errno)
                  << "\n";
        continue;
      }
      const std::string before = Kind(node);
      const ToolResult r = RunWriter(command, node, {"--force"});
      EXPECT_EQ(r.status, 1) << Describe(r);
      EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
      EXPECT_EQ(Kind(node), before);
      EXPECT_EQ(FolderEntries(folder.str()), std::vector<std::string>{"node"});
    }
  }
}

// A symbolic link is not followed unless asked: refused, the link and its
// target as they were. With --follow-symlinks the target is replaced and the
// link stays; a link to nowhere is refused either way.
TEST(Files, SymbolicLinksAreFollowedOnlyWhenAsked) {
  for (const auto& command : Writers()) {
    SCOPED_TRACE(command[0]);
    Folder folder("links");
    const std::string target = folder / "target.db", link = folder / "link.db";
    std::ofstream(target) << "the target";
    ASSERT_EQ(symlink("target.db", link.c_str()), 0);

    ToolResult r = RunWriter(command, link, {"--force"});
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_NE(r.err.find("symbolic link"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--follow-symlinks"), std::string::npos) << r.err;
    EXPECT_EQ(Kind(link), "symlink");
    EXPECT_EQ(Content(target), "the target");

    r = RunWriter(command, link, {"--force", "--follow-symlinks"});
    EXPECT_EQ(r.status, 0) << Describe(r);
    EXPECT_EQ(Kind(link), "symlink");
    EXPECT_EQ(Kind(target), "file");
    EXPECT_EQ(Content(target).substr(0, 15), "SQLite format 3");
    EXPECT_EQ(FolderEntries(folder.str()), (std::vector<std::string>{"link.db", "target.db"}));

    const std::string dangling = folder / "dangling.db";
    ASSERT_EQ(symlink("nowhere/x.db", dangling.c_str()), 0);
    r = RunWriter(command, dangling, {"--force", "--follow-symlinks"});
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(Kind(dangling), "symlink");
    // Without --force, a link is an existing file like any other.
    r = RunWriter(command, link);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
  }
}

// A database that cannot be completed (here: past the file-size limit)
// leaves the old file as it was and no scratch file, the error names the
// limit, and SIGXFSZ does not kill the tool.
TEST(Files, AFailedBuildKeepsTheOldFileAndLeavesNothing) {
  for (const auto& command : Writers()) {
    SCOPED_TRACE(command[0]);
    Folder folder("keep");
    const std::string file = folder / "erp.db";
    std::ofstream(file) << "the old database";
    ToolOptions o;
    o.args = command;
    o.args.insert(o.args.end(), {file, "--force"});
    o.file_size_limit = 16 * 1024;
    const ToolResult r = RunToolProcess(o);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_EQ(r.signal, 0) << "a file-size limit killed the tool";
    EXPECT_NE(r.err.find("file-size limit"), std::string::npos) << r.err;
    EXPECT_EQ(Content(file), "the old database");
    EXPECT_EQ(FolderEntries(folder.str()), std::vector<std::string>{"erp.db"});
  }
}

// SIGTERM, SIGINT and SIGHUP in the middle of a large demo-db: the process
// ends by the signal, and neither the file nor a scratch file is left.
TEST(Files, AStoppedBuildLeavesNothing) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(sig));
    Folder folder("stopped");
    ToolOptions o;
    o.args = {"demo-db", folder / "big.db", "--scale", "20000000"};
    ToolProcess p(o);
    // Wait (bounded) for the scratch file to appear and grow.
    bool started = false;
    for (int i = 0; i < 3000 && !started; ++i) {
      for (const std::string& name : FolderEntries(folder.str())) {
        std::error_code ignored;
        if (fs::file_size(folder / name, ignored) > 256 * 1024) started = true;
      }
      if (!started) usleep(10000);
    }
    ASSERT_TRUE(started) << "no scratch file grew";
    p.Signal(sig);
    const ToolResult r = p.Wait();
    EXPECT_EQ(r.signal, sig) << Describe(r);
    EXPECT_EQ(FolderEntries(folder.str()), std::vector<std::string>{});
  }
}

// A file system without room is named: the database's own folder when the
// database file (or its journal) could not be written, the temporary folder
// when the index build's sorts could not, and a statement that changes the
// database blames its folder, not the work tables' (which had room). Each
// folder is a tmpfs of its own in a private mount namespace; skips where the
// sandbox allows none.
TEST(Files, FullFoldersAreNamed) {
  Folder tight("tight"), small("small"), roomy("roomy");
  const std::string problems = RunInChild([&]() -> std::string {
    std::string why_not = PrivateTmpfs(tight.str(), "96k");
    if (why_not.empty()) why_not = PrivateTmpfs(small.str(), "1m");
    if (!why_not.empty()) return why_not;
    std::string out;
    auto expect = [&](const char* what, const ToolResult& r, std::vector<std::string> said,
                      std::vector<std::string> not_said) {
      bool ok = r.status == 1;
      for (const std::string& s : said) ok = ok && r.err.find(s) != std::string::npos;
      for (const std::string& s : not_said) ok = ok && r.err.find(s) == std::string::npos;
      if (!ok) out += std::string(what) + ": " + Describe(r) + "\n";
    };
    // The database's folder is full.
    ToolOptions o;
    o.args = {"init-db", tight / "erp.db"};
    expect("init-db in a full folder", RunToolProcess(o),
           {"its folder '" + tight.str() + "' is full", "No space left on device"}, {});
    if (!FolderEntries(tight.str()).empty()) out += "init-db left files in the full folder\n";
    // The temporary folder is full while the indexes of a large demo
    // database are sorted; the database's folder has room.
    o.args = {"demo-db", roomy / "big.db", "--scale", "200000"};
    o.env = {{"SQLITE_TMPDIR", tight.str()}};
    expect("demo-db with a full temporary folder", RunToolProcess(o),
           {"temporary folder '" + tight.str() + "'", "No space left on device"}, {"its folder"});
    if (!FolderEntries(roomy.str()).empty()) out += "demo-db left files behind\n";
    // A statement that changes a database whose folder is nearly full.
    CreateCodeDatabase(small / "small.db", {"A100", "B200"});
    {
      std::ofstream filler(small / "filler", std::ios::binary);
      const std::string block(4096, 'f');
      for (int i = 0; i < 1024 && filler; ++i) filler << block;
    }
    o.env = {{"SQLITE_TMPDIR", roomy.str()}};
    o.args = {"--db", small / "small.db", "query",
              "update t_Item set FName = replicate('x', 8000)"};
    expect("an UPDATE in a full database folder", RunToolProcess(o),
           {"folder '" + small.str() + "' of the database"}, {"temporary storage"});
    return out;
  });
  if (problems.starts_with("SKIP: ")) GTEST_SKIP() << problems.substr(6);
  EXPECT_EQ(problems, "");
}

// A name longer than the file system takes is named as such, by init-db,
// demo-db and --db alike; a long name that the file system does take works
// (the scratch name beside it stays short enough).
TEST(Files, NamesTooLongAreNamedAsSuch) {
  Folder folder("names");
  const std::string too_long = folder / std::string(300, 'n');
  for (const auto& command : Writers()) {
    const ToolResult r = RunWriter(command, too_long);
    EXPECT_EQ(r.status, 1) << Describe(r);
    EXPECT_NE(r.err.find("too long"), std::string::npos) << r.err;
  }
  ToolOptions o;
  o.args = {"--db", too_long, "report", "2008610"};
  ToolResult r = RunToolProcess(o);
  EXPECT_EQ(r.status, 2) << Describe(r);
  EXPECT_NE(r.err.find("is too long"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("filesystem error"), std::string::npos) << r.err;

  const std::string long_ok = folder / std::string(250, 'k');
  r = RunWriter({"init-db"}, long_ok);
  EXPECT_EQ(r.status, 0) << Describe(r);
  EXPECT_EQ(Kind(long_ok), "file");
  EXPECT_EQ(FolderEntries(folder.str()), std::vector<std::string>{std::string(250, 'k')});
}

}  // namespace
}  // namespace q8::reliability

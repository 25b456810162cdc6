#include "tests/reliability/tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace q8::reliability {

namespace {

// Starts the tool; `out_fd` and `err_fd` receive the parent's ends of the
// pipes of standard output (kCapture, kPipe) and standard error.
pid_t Start(const ToolOptions& options, int* out_fd, int* err_fd) {
  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  const bool piped = options.out == ToolOut::kCapture || options.out == ToolOut::kPipe;
  if ((piped && pipe(out_pipe) != 0) || pipe(err_pipe) != 0) return -1;
  const pid_t pid = fork();
  if (pid != 0) {
    if (piped) close(out_pipe[1]);
    close(err_pipe[1]);
    *out_fd = piped ? out_pipe[0] : -1;
    *err_fd = err_pipe[0];
    return pid;
  }
  // The child: only async-signal-safe calls would be strictly right after a
  // fork in a threaded program; the test programs run these cases on one
  // thread.
  dup2(err_pipe[1], STDERR_FILENO);
  switch (options.out) {
    case ToolOut::kCapture:
    case ToolOut::kPipe:
      dup2(out_pipe[1], STDOUT_FILENO);
      break;
    case ToolOut::kDevFull: {
      const int fd = open("/dev/full", O_WRONLY);
      dup2(fd, STDOUT_FILENO);
      break;
    }
    case ToolOut::kClosed:
      close(STDOUT_FILENO);
      break;
    case ToolOut::kFile: {
      const int fd = open(options.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(120);
      dup2(fd, STDOUT_FILENO);
      break;
    }
  }
  for (int fd = 3; fd < 1024; ++fd) close(fd);
  for (const auto& [key, value] : options.env) setenv(key.c_str(), value.c_str(), 1);
  if (options.file_size_limit >= 0) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(options.file_size_limit);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  // The dispositions a shell leaves: SIGXFSZ and SIGPIPE end the process.
  signal(SIGXFSZ, SIG_DFL);
  signal(SIGPIPE, options.ignore_sigpipe ? SIG_IGN : SIG_DFL);
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  std::vector<char*> argv;
  std::string program = Q8_TOOL_PATH;
  argv.push_back(program.data());
  std::vector<std::string> args = options.args;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

std::string ReadAll(int fd) {
  std::string out;
  char buffer[1 << 16];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  return out;
}

// Waits for `pid` at most `seconds`; kills it after that.
int WaitFor(pid_t pid, int seconds) {
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return status;
    if (done < 0) return 0;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return status;
    }
    usleep(2000);
  }
}

void Fill(ToolResult& r, int status) {
  if (WIFEXITED(status)) {
    r.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signal = WTERMSIG(status);
  }
}

}  // namespace

std::string Describe(const ToolResult& r) {
  return (r.signal != 0 ? "signal " + std::to_string(r.signal)
                        : "exit " + std::to_string(r.status)) +
         ", error output: " + r.err.substr(0, 2000);
}

ToolResult RunToolProcess(const ToolOptions& options, int seconds) {
  int out = -1, err = -1;
  ToolResult r;
  const pid_t pid = Start(options, &out, &err);
  if (pid < 0) {
    r.err = "cannot start the tool";
    return r;
  }
  // Standard error is small; standard output is read first so that a large
  // output never blocks the tool.
  if (out >= 0) {
    r.out = ReadAll(out);
    close(out);
  }
  r.err = ReadAll(err);
  close(err);
  Fill(r, WaitFor(pid, seconds));
  return r;
}

ToolProcess::ToolProcess(const ToolOptions& options) {
  ToolOptions o = options;
  o.out = ToolOut::kPipe;
  pid_ = Start(o, &out_, &err_);
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0 && !waited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

std::string ToolProcess::Read(size_t bytes, int seconds, long stop_above_kib) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buffer[1 << 16];
  while (got.size() < bytes && out_ >= 0 && std::chrono::steady_clock::now() < deadline) {
    if (stop_above_kib > 0 && ResidentKib() > stop_above_kib) break;
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = read(out_, buffer, std::min(sizeof buffer, bytes - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

void ToolProcess::CloseOutput() {
  if (out_ >= 0) close(out_);
  out_ = -1;
}

void ToolProcess::Signal(int signal) {
  if (pid_ > 0 && !waited_) kill(pid_, signal);
}

namespace {

long StatusKib(pid_t pid, const std::string& key) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
  return -1;
}

}  // namespace

long ToolProcess::PeakKib() const { return StatusKib(pid_, "VmHWM:"); }

long ToolProcess::ResidentKib() const { return StatusKib(pid_, "VmRSS:"); }

ToolResult ToolProcess::Wait(int seconds) {
  ToolResult r;
  if (pid_ < 0) return r;
  // Standard error is read as the process ends; its output pipe, if still
  // open, is drained so that the tool is never blocked on it.
  if (out_ >= 0) {
    r.out = ReadAll(out_);
    close(out_);
    out_ = -1;
  }
  r.err = ReadAll(err_);
  Fill(r, WaitFor(pid_, seconds));
  waited_ = true;
  return r;
}

std::string PrivateTmpfs(const std::string& folder, const std::string& size) {
  auto fail = [](const char* what) {
    return std::string("SKIP: no private tmpfs (") + what + ": " + std::strerror(errno) + ")";
  };
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (uid == 0) {
    if (unshare(CLONE_NEWNS) != 0) return fail("unshare");
  } else {
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return fail("unshare");
    auto put = [](const char* file, const std::string& text) {
      std::ofstream f(file);
      f << text;
      f.close();
      return static_cast<bool>(f);
    };
    put("/proc/self/setgroups", "deny");
    if (!put("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !put("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
      return fail("id map");
  }
  // Private first: the mount must not reach the namespace of the tests.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return fail("private mounts");
  const std::string options = "size=" + size;
  if (mount("q8tmp", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
    return fail("mount");
  return "";
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> out;
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(folder, ignored))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace q8::reliability

// The built q8vantorpt executable run as a separate process, with its
// standard output sent where a test chooses (captured, /dev/full, a closed
// descriptor, a file, a pipe read a little at a time), resource limits and
// signal dispositions of its own, for the cases that the tool's own main()
// decides: checked writes, a file-size limit, signals, a reader that went
// away.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace q8::reliability {

// Where the tool's standard output goes.
enum class ToolOut { kCapture, kDevFull, kClosed, kFile, kPipe };

struct ToolOptions {
  std::vector<std::string> args;  // after the program name
  ToolOut out = ToolOut::kCapture;
  std::string out_file;  // for kFile: created or truncated
  std::vector<std::pair<std::string, std::string>> env;
  long long file_size_limit = -1;  // RLIMIT_FSIZE in bytes; -1: as inherited
  bool ignore_sigpipe = false;     // SIGPIPE ignored, as some parents leave it
};

struct ToolResult {
  int status = -1;  // exit status, -1 when a signal ended the process
  int signal = 0;   // the signal that ended it, 0 when it exited
  std::string out;  // kCapture: standard output
  std::string err;  // standard error
};
// "exit 1" or "signal 15", and the error output, for failure messages.
std::string Describe(const ToolResult& r);

// Runs the tool to its end (bounded by `seconds`, after which it is killed).
ToolResult RunToolProcess(const ToolOptions& options, int seconds = 300);

// A running tool whose standard output is a pipe the test reads.
class ToolProcess {
 public:
  explicit ToolProcess(const ToolOptions& options);  // options.out is taken as kPipe
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Reads until `bytes` of output have come, the output ends, `seconds`
  // pass or (when not 0) the process holds more than `stop_above_kib` of
  // memory; what has come.
  std::string Read(size_t bytes, int seconds, long stop_above_kib = 0);
  // Closes the test's end of the pipe (the reader goes away).
  void CloseOutput();
  void Signal(int signal);
  // The peak resident memory of the process so far (VmHWM), and what it
  // holds now (VmRSS), in KiB; -1 when it cannot be read.
  long PeakKib() const;
  long ResidentKib() const;
  // Waits for the end (bounded by `seconds`, then killed).
  ToolResult Wait(int seconds = 300);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool waited_ = false;
};

// Mounts a tmpfs of `size` (e.g. "64k") on `folder` in a mount namespace
// of the calling process's own: for a child process (RunInChild). "" when
// done, else "SKIP: why" (the kernel or the sandbox allows no namespace).
std::string PrivateTmpfs(const std::string& folder, const std::string& size);

// The names in `folder`, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace q8::reliability

// The tool's output: a stream buffer over a file descriptor that checks
// every write, and the error a failed write raises.
//
// std::cout reports a failed write only by a state bit nobody looks at, so a
// full disk, /dev/full or a closed standard output used to end in exit
// status 0 with the output cut short. FdOutput writes whole buffers with
// write(2), retrying short writes, and keeps the system's reason when a
// write fails; the writers check the stream after each block of rows and
// raise OutputError, which the command line reports with exit status 1.
#pragma once

#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <vector>

namespace q8::tool {

// A write to the output failed. The message names the output and the cause.
class OutputError : public std::runtime_error {
 public:
  OutputError(const std::string& message, bool broken_pipe)
      : std::runtime_error(message), broken_pipe_(broken_pipe) {}
  // The reader went away (EPIPE with SIGPIPE ignored): a quiet end.
  bool broken_pipe() const { return broken_pipe_; }

 private:
  bool broken_pipe_;
};

class FdOutput : public std::streambuf {
 public:
  // Writes to `fd` (not owned), named `name` in errors ("standard output",
  // or a file's path). `closed`: the descriptor was not open when the tool
  // started (it now holds /dev/null, so that no file the tool opens lands
  // on it): every write fails.
  FdOutput(int fd, std::string name, bool closed = false);
  ~FdOutput() override;

  const std::string& name() const { return name_; }
  // The errno of the failed write, 0 while none failed.
  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

 private:
  bool Drain();
  bool WriteAll(const char* p, size_t n);

  int fd_;
  std::string name_;
  int error_ = 0;
  std::vector<char> buffer_;
};

// A file named by --output, written through an FdOutput: created (or
// truncated) when opened, every write checked as standard output's are.
class OutputFile {
 public:
  // Raises OutputError naming the path when it cannot be opened for writing.
  explicit OutputFile(const std::string& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& stream() { return stream_; }
  // Writes what is buffered and closes the file; raises OutputError when
  // either fails (NFS and some file systems report a full disk only here).
  void Close();

 private:
  int fd_ = -1;
  FdOutput buffer_;
  std::ostream stream_;
};

// Raises OutputError when `out` has failed: the name and cause from its
// FdOutput when it writes through one, else a general text.
void CheckOutput(std::ostream& out);

}  // namespace q8::tool

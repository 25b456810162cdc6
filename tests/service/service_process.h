// The report service as the tests meet it: `q8vantorpt serve` started as a
// child process on a loopback port of the system's choice, its standard
// error (start line, access log) collected, stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace q8::testing {

class ServiceProcess {
 public:
  // Runs `tool serve ARGS… --listen 127.0.0.1:0` and waits (up to 30 s) for
  // its "listening on" line. Fails the calling test when it does not come;
  // started() tells.
  ServiceProcess(const std::string& tool, const std::vector<std::string>& args);
  ~ServiceProcess();
  ServiceProcess(const ServiceProcess&) = delete;
  ServiceProcess& operator=(const ServiceProcess&) = delete;

  bool started() const { return port_ > 0; }
  int port() const { return port_; }
  pid_t pid() const { return pid_; }

  // Sends SIGTERM and waits (up to 60 s) for the exit; the exit status, or
  // -1 when it did not exit normally.
  int Stop();
  // The lines written to standard error so far.
  std::vector<std::string> Lines() const;
  // The service's peak resident memory in KiB (VmHWM), 0 when unknown.
  long PeakKib() const;

 private:
  void Read(int fd);

  pid_t pid_ = -1;
  int port_ = 0;
  int exit_status_ = -1;
  bool exited_ = false;
  mutable std::mutex mu_;
  std::vector<std::string> lines_;
  std::thread reader_;
};

// Runs the tool with ARGS and returns its standard output (the exit status
// in `status`).
std::string RunToolOutput(const std::string& tool, const std::vector<std::string>& args,
                          int* status = nullptr);

// A raw HTTP exchange on loopback: sends `request` as it is and returns
// everything the server answered before it closed the connection (or
// `timeout_seconds` passed).
std::string RawExchange(int port, const std::string& request, int timeout_seconds = 10);

// The status code of a raw answer ("HTTP/1.1 404 …" → 404), 0 for none.
int RawStatus(const std::string& answer);

}  // namespace q8::testing

// Starting, watching and stopping the service process of the tests.
#include "tests/service/service_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

namespace q8::testing {
namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

ServiceProcess::ServiceProcess(const std::string& tool, const std::vector<std::string>& args) {
  int err_pipe[2];
  if (pipe(err_pipe) != 0) return;
  std::vector<std::string> argv_text{tool, "serve"};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  argv_text.push_back("--listen");
  argv_text.push_back("127.0.0.1:0");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(err_pipe[1], STDERR_FILENO);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    close(err_pipe[0]);
    close(err_pipe[1]);
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    unsetenv("Q8VANTORPT_DSN");
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(err_pipe[1]);
  reader_ = std::thread([this, fd = err_pipe[0]] { Read(fd); });
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  const std::regex listening(R"(listening on http://127\.0\.0\.1:(\d+)/)");
  while (std::chrono::steady_clock::now() < end) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      for (const std::string& line : lines_) {
        std::smatch m;
        if (std::regex_search(line, m, listening)) {
          port_ = std::stoi(m[1]);
          return;
        }
      }
      if (exited_) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void ServiceProcess::Read(int fd) {
  std::string pending;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    pending.append(buf, static_cast<size_t>(n));
    size_t nl;
    while ((nl = pending.find('\n')) != std::string::npos) {
      std::lock_guard<std::mutex> lock(mu_);
      lines_.push_back(pending.substr(0, nl));
      pending.erase(0, nl + 1);
    }
  }
  close(fd);
  std::lock_guard<std::mutex> lock(mu_);
  if (!pending.empty()) lines_.push_back(pending);
  exited_ = true;
}

ServiceProcess::~ServiceProcess() {
  if (pid_ > 0 && exit_status_ < 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (reader_.joinable()) reader_.join();
}

int ServiceProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  for (;;) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (std::chrono::steady_clock::now() > end) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (reader_.joinable()) reader_.join();
  exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  exited_ = true;
  return exit_status_;
}

std::vector<std::string> ServiceProcess::Lines() const {
  std::lock_guard<std::mutex> lock(mu_);
  return lines_;
}

long ServiceProcess::PeakKib() const {
  std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

std::string RunToolOutput(const std::string& tool, const std::vector<std::string>& args,
                          int* status) {
  std::string cmd = "env -u Q8VANTORPT_DSN " + Quote(tool);
  for (const std::string& a : args) cmd += " " + Quote(a);
  cmd += " 2>/dev/null";
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int s = pclose(p);
  if (status != nullptr) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return out;
}

std::string RawExchange(int port, const std::string& request, int timeout_seconds) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return {};
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
    size_t sent = 0;
    while (sent < request.size()) {
      const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    char buf[65536];
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) break;
      answer.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  return answer;
}

int RawStatus(const std::string& answer) {
  if (answer.rfind("HTTP/1.", 0) != 0 || answer.size() < 12) return 0;
  return std::atoi(answer.c_str() + 9);
}

}  // namespace q8::testing

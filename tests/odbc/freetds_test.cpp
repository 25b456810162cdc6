// FreeTDS's failure paths on loopback. There is no SQL Server here, so these
// check what a host sees when its server cannot be reached: a clear error,
// quickly when nothing listens, and at the login timeout (never a hang)
// when a server accepts the connection and then says nothing.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/odbc/odbc_fixture.h"
#include "tests/support/support.h"

namespace q8::odbc::testing {
namespace {

// A loopback TCP listener on a free port. kSilent accepts and never
// answers; kHangUp accepts and closes at once.
class Listener {
 public:
  enum Mode { kSilent, kHangUp };

  explicit Listener(Mode mode) : mode_(mode) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(fd_, 8) != 0) {
      ADD_FAILURE() << "cannot listen on loopback";
      return;
    }
    socklen_t n = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] {
      for (;;) {
        int c = accept(fd_, nullptr, nullptr);
        if (c < 0) return;  // shut down
        if (mode_ == kHangUp) {
          close(c);
        } else {
          held_.push_back(c);
        }
      }
    });
  }
  ~Listener() {
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    for (int c : held_) close(c);
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }

 private:
  Mode mode_;
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::vector<int> held_;
};

struct Outcome {
  bool opened = false;
  int32_t number = 0;
  std::string description;
  std::vector<ado::ErrorEntry> errors;
  double seconds = 0;
};

// Opens `cs` on another thread. When that does not end within `bound`
// seconds the driver hangs, which is the failure these tests are for: the
// test fails and the process ends, since the thread cannot be stopped.
Outcome OpenBounded(const std::string& cs, double bound, int login_timeout = 15) {
  auto promise = std::make_shared<std::promise<Outcome>>();
  std::future<Outcome> future = promise->get_future();
  std::thread([cs, promise, login_timeout] {
    Outcome o;
    auto start = std::chrono::steady_clock::now();
    auto cn = ado::Connection::Create();
    cn->set_connection_timeout(login_timeout);
    try {
      cn->Open(cs);
      o.opened = true;
    } catch (const Error& e) {
      o.number = e.number();
      o.description = e.description();
    }
    o.errors = cn->Errors();
    o.seconds = SecondsSince(start);
    promise->set_value(std::move(o));
  }).detach();
  if (future.wait_for(std::chrono::duration<double>(bound)) != std::future_status::ready) {
    ADD_FAILURE() << "the connection attempt was still waiting after " << bound << " s: " << cs;
    std::fflush(nullptr);
    _exit(1);
  }
  return future.get();
}

std::vector<std::string> States(const Outcome& o) {
  std::vector<std::string> s;
  for (const auto& e : o.errors) s.push_back(e.sql_state);
  return s;
}

bool HasState(const Outcome& o, const std::string& state) {
  for (const auto& e : o.errors)
    if (e.sql_state == state) return true;
  return false;
}

class FreeTdsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Q8_SKIP_UNLESS_ENV("TEST_FREETDS_DRIVER");
    UseOdbcProvider();
  }
};

TEST_F(FreeTdsTest, NothingListeningFailsAtOnce) {
  int port = q8::testing::UnusedLoopbackPort();
  Outcome o = OpenBounded(
      "Provider=SQLOLEDB.1;Password=x;User ID=sa;Initial Catalog=ERP;"
      "Data Source=127.0.0.1," +
          std::to_string(port),
      30);
  ASSERT_FALSE(o.opened);
  EXPECT_LT(o.seconds, 2.0);
  EXPECT_TRUE(HasState(o, "08001")) << ::testing::PrintToString(States(o));
  EXPECT_NE(o.description.find("connect"), std::string::npos) << o.description;
  EXPECT_LT(o.number, 0);
}

TEST_F(FreeTdsTest, ServerThatHangsUpFailsAtOnce) {
  Listener listener(Listener::kHangUp);
  Outcome o = OpenBounded("Provider=SQLOLEDB;User ID=sa;Password=x;Data Source=127.0.0.1," +
                              std::to_string(listener.port()),
                          30);
  ASSERT_FALSE(o.opened);
  EXPECT_LT(o.seconds, 2.0);
  EXPECT_TRUE(HasState(o, "08001")) << ::testing::PrintToString(States(o));
}

TEST_F(FreeTdsTest, SilentServerFailsAtTheLoginTimeout) {
  // The mapped string names TDS 7.4: with "auto" FreeTDS retries with an
  // older protocol after the timeout and never returns.
  struct {
    const char* why;
    std::string extra;
    double timeout;
  } const kCases[] = {
      {"Connect Timeout from the string", ";Connect Timeout=2", 2},
      {"the older TDS version that the host may ask for", ";Connect Timeout=2;TDS_Version=7.2", 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.why);
    Listener listener(Listener::kSilent);
    Outcome o = OpenBounded("Provider=SQLOLEDB;User ID=sa;Password=x;Data Source=127.0.0.1," +
                                std::to_string(listener.port()) + c.extra,
                            c.timeout + 20);
    ASSERT_FALSE(o.opened);
    EXPECT_GE(o.seconds, c.timeout - 0.5);
    EXPECT_LT(o.seconds, c.timeout + 5);
    ASSERT_FALSE(o.errors.empty());
    EXPECT_EQ(o.errors.front().sql_state, "HYT00") << ::testing::PrintToString(States(o));
    EXPECT_EQ(o.number, -2147217871);  // the time limit was reached
  }
}

TEST_F(FreeTdsTest, PlainOdbcStringUsesTheConnectionTimeout) {
  // "Driver=" strings go to the driver unchanged; the login timeout is the
  // connection object's.
  Listener listener(Listener::kSilent);
  std::string cs = "Driver=" + Env("TEST_FREETDS_DRIVER") +
                   ";Server=127.0.0.1;Port=" + std::to_string(listener.port()) +
                   ";TDS_Version=7.4;UID=sa;PWD=x;";
  Outcome o = OpenBounded(cs, 20, 1);
  ASSERT_FALSE(o.opened);
  EXPECT_LT(o.seconds, 5);
  ASSERT_FALSE(o.errors.empty());
  EXPECT_EQ(o.errors.front().sql_state, "HYT00");
}

}  // namespace
}  // namespace q8::odbc::testing

// q8tds-server: the TDS test server on its own, for running the tool or any
// FreeTDS client against a database of the embedded engine by hand.
//
//   q8tds-server --db FILE [--port N] [--database NAME] [--password PW]
//                [--fault NAME] [--log FILE]
//
// It prints "port N" once it listens and serves until SIGINT or SIGTERM.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "q8vantorpt/error.h"
#include "tests/tds/server.h"

namespace {

constexpr const char* kUsage =
    "usage: q8tds-server --db FILE [--port N] [--database NAME] [--password PW]\n"
    "                    [--fault silent-prelogin|silent-login|silent-after-login|\n"
    "                             stall-mid-result|drop-mid-result] [--log FILE]\n";

}  // namespace

int main(int argc, char** argv) {
  q8::tds::ServerOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) {
      std::cerr << kUsage;
      return 2;
    }
    const std::string value = argv[++i];
    if (arg == "--db") {
      options.database_file = value;
    } else if (arg == "--port") {
      options.port = static_cast<uint16_t>(std::atoi(value.c_str()));
    } else if (arg == "--database") {
      options.database_name = value;
    } else if (arg == "--password") {
      options.password = value;
    } else if (arg == "--log") {
      options.log_file = value;
    } else if (arg == "--fault") {
      if (value == "silent-prelogin") {
        options.fault = q8::tds::Fault::kSilentPrelogin;
      } else if (auto f = q8::tds::FaultFromName(value)) {
        options.fault = *f;
      } else {
        std::cerr << kUsage;
        return 2;
      }
    } else {
      std::cerr << kUsage;
      return 2;
    }
  }
  if (options.database_file.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  // The signals are waited for, not handled.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  try {
    q8::tds::Server server(options);
    std::cout << "port " << server.port() << std::endl;
    int sig = 0;
    sigwait(&stop, &sig);
    server.Stop();
  } catch (const q8::Error& e) {
    std::cerr << "q8tds-server: " << e.description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "q8tds-server: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

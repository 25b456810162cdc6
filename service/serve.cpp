// `q8vantorpt serve`: options, the configuration, signals and the service's
// life from start to a clean stop.
#include "service/serve.h"

#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <optional>
#include <thread>

#include "component/rights/table_data_access.h"
#include "service/endpoints.h"
#include "service/options.h"
#include "service/server.h"
#include "tools/q8vantorpt/cli.h"

namespace q8::service {
namespace {

constexpr const char* kFooter =
    "Data sources: --db FILE (the embedded engine, the default source) or --dsn DESCRIPTOR,\n"
    "and/or the sources of --config FILE. Every /api request needs \"Authorization: Bearer\n"
    "TOKEN\"; the token's user id goes into the descriptor's UserID, so the data-access rights\n"
    "(--table-rights) apply per user. SIGTERM (or Ctrl-C) stops it cleanly: running requests\n"
    "finish (up to shutdown seconds), the exit status is 0. TLS: put a reverse proxy in front\n"
    "(see README). Without --token and without tokens in --config, the service makes one\n"
    "for this run (user 0, no direct SQL) and prints it with a sign-in link for the viewer.\n"
    "Examples:\n"
    "  q8vantorpt serve --db build/demo.db\n"
    "  q8vantorpt serve --db build/demo.db --listen 127.0.0.1:8080 --token s3cret-token:0:sql";

struct ServeArguments {
  std::string config, listen, access_log;
  std::vector<std::string> tokens;
  std::optional<int> request_seconds, concurrent_runs, queued_runs, threads, shutdown_seconds;
};

// A token for one run of the service: 32 random bytes from the kernel as hex
// text; empty when the kernel gives none.
std::string RunToken() {
  unsigned char bytes[32];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return "";
    }
    got += static_cast<size_t>(n);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

// Blocks the stop signals in the calling thread (and the threads it starts)
// and waits for them on a thread of its own.
class SignalWaiter {
 public:
  explicit SignalWaiter(std::function<void(int)> on_signal) : on_signal_(std::move(on_signal)) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
    // A client that goes away must not end the process.
    signal(SIGPIPE, SIG_IGN);
    thread_ = std::thread([this] {
      const timespec tick{0, 200 * 1000 * 1000};
      while (!done_) {
        const int sig = sigtimedwait(&set_, nullptr, &tick);
        if (sig > 0) on_signal_(sig);
      }
    });
  }
  ~SignalWaiter() {
    done_ = true;
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  std::function<void(int)> on_signal_;
  sigset_t set_{}, previous_{};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// The service's configuration from --config and the options; `run_token`
// tells whether it holds a token made for this run.
ServiceConfig BuildConfig(const tool::ServeContext& ctx, const ServeArguments& a, bool* run_token) {
  ServiceConfig config;
  if (!a.config.empty()) {
    LoadConfigFile(a.config, config);
    struct stat st {};
    if (!config.tokens.empty() && ::stat(a.config.c_str(), &st) == 0 && (st.st_mode & 0077) != 0)
      ctx.err << "q8vantorpt serve: warning: " << a.config
              << " holds tokens and can be read by other users (chmod 600 it)\n";
  }
  if (ctx.options.user_id)
    throw ConfigError(
        "--user-id does not apply to serve: each token names its user (--token TOKEN:USERID)");
  // --db, --dsn or Q8VANTORPT_DSN: the source "default", the default source
  // unless the configuration names another.
  std::optional<tool::ResolvedDescriptor> given;
  try {
    tool::GlobalOptions options = ctx.options;
    options.user_id.reset();
    given = tool::ResolveDescriptor(options, ctx.env_dsn);
  } catch (const tool::UsageError& e) {
    throw ConfigError(e.what());
  }
  if (given) {
    SourceConfig s;
    s.name = "default";
    if (ctx.options.db) {
      s.db = *ctx.options.db;
    } else {
      s.descriptor = given->text;
    }
    s.language = ctx.options.lang.value_or(s.db.empty() ? "" : tool::kDefaultLanguage);
    auto it = std::find_if(config.sources.begin(), config.sources.end(),
                           [](const SourceConfig& c) { return c.name == "default"; });
    if (it != config.sources.end())
      *it = s;
    else
      config.sources.insert(config.sources.begin(), s);
    if (config.default_source.empty()) config.default_source = "default";
  } else if (ctx.options.lang) {
    throw ConfigError("--lang goes with --db: the language of the embedded source");
  }
  for (const std::string& t : a.tokens) config.tokens.push_back(ParseTokenOption(t));
  // No token anywhere: one for this run, so that `serve --db FILE` serves at
  // once while every request still needs a token (it is printed at the start).
  if (config.tokens.empty() && !config.sources.empty()) {
    TokenConfig t;
    t.token = RunToken();
    t.name = "run token";
    if (!t.token.empty()) {
      config.tokens.push_back(t);
      *run_token = true;
    }
  }
  if (!a.listen.empty()) ParseListen(a.listen, config.host, config.port);
  if (!a.access_log.empty()) config.access_log = a.access_log;
  config.table_rights = config.table_rights || ctx.table_rights;
  Limits& l = config.limits;
  if (a.request_seconds) l.request_seconds = *a.request_seconds;
  if (a.concurrent_runs) l.concurrent_runs = *a.concurrent_runs;
  if (a.queued_runs) l.queued_runs = *a.queued_runs;
  if (a.threads) l.threads = *a.threads;
  if (a.shutdown_seconds) l.shutdown_seconds = *a.shutdown_seconds;
  config.Validate();
  return config;
}

int Run(const tool::ServeContext& ctx, const ServeArguments& a) {
  ServiceConfig config;
  bool run_token = false;
  try {
    config = BuildConfig(ctx, a, &run_token);
  } catch (const ConfigError& e) {
    ctx.err << "q8vantorpt serve: " << e.what() << "\nRun with --help for more information.\n";
    return tool::kExitUsage;
  }
  if (config.table_rights) rights::SelectTableDataAccess();

  std::optional<Service> service;
  std::optional<SignalWaiter> signals;
  std::atomic<Service*> live{nullptr};
  std::atomic<bool> stop_asked{false};
  try {
    signals.emplace([&](int sig) {
      ctx.err << "q8vantorpt serve: "
              << (sig == SIGINT   ? "SIGINT"
                  : sig == SIGHUP ? "SIGHUP"
                                  : "SIGTERM")
              << ": stopping; running requests get up to " << config.limits.shutdown_seconds
              << " s to finish" << std::endl;
      stop_asked = true;
      if (Service* s = live.load()) s->Shutdown();
    });
    service.emplace(config);
    live = &*service;
    if (stop_asked) service->Shutdown();
    const int port = service->Bind();
    std::string sources;
    for (const SourceConfig& s : config.sources)
      sources += (sources.empty() ? "" : ", ") + s.name +
                 (s.name == config.DefaultSource().name ? " (default)" : "");
    const bool loopback =
        config.host == "127.0.0.1" || config.host == "::1" || config.host == "localhost";
    const std::string url =
        "http://" +
        (config.host.find(':') != std::string::npos ? "[" + config.host + "]" : config.host) + ":" +
        std::to_string(port) + "/";
    ctx.err << "q8vantorpt serve: listening on " << url << " (sources: " << sources << "; "
            << config.tokens.size() << (config.tokens.size() == 1 ? " token" : " tokens") << "; "
            << config.limits.EffectiveConcurrentRuns() << " concurrent runs)" << std::endl;
    if (run_token) {
      ctx.err << "q8vantorpt serve: no token was given; this run's token (user 0, no direct "
                 "SQL) is "
              << config.tokens.front().token << std::endl
              << "q8vantorpt serve: the viewer, signed in: " << url
              << "#token=" << config.tokens.front().token << std::endl;
    }
    if (!loopback)
      ctx.err << "q8vantorpt serve: warning: plain HTTP on " << config.host
              << "; put a TLS reverse proxy in front (see README)" << std::endl;
    service->Serve();
  } catch (const ConfigError& e) {
    ctx.err << "q8vantorpt serve: " << e.what() << "\n";
    signals.reset();
    live = nullptr;
    return tool::kExitFailure;
  }
  signals.reset();
  live = nullptr;
  service.reset();
  ctx.err << "q8vantorpt serve: stopped" << std::endl;
  return tool::kExitOk;
}

}  // namespace

void RegisterServeCommand() {
  tool::SetServeCommand([](CLI::App& command) -> tool::ServeRun {
    auto a = std::make_shared<ServeArguments>();
    command.footer(kFooter);
    command
        .add_option("--config", a->config, "the service's configuration file (JSON; see README)")
        ->type_name("FILE");
    command
        .add_option("--listen", a->listen, "address and port (default 127.0.0.1:8080; port 0: any)")
        ->type_name("ADDR:PORT");
    command
        .add_option("--token", a->tokens,
                    "a bearer token and its user id; ':sql' allows direct SQL (repeatable)")
        ->type_name("TOKEN:USERID[:sql]")
        ->allow_extra_args(false);
    command
        .add_option("--access-log", a->access_log,
                    "append the access log to FILE (default: standard error)")
        ->type_name("FILE");
    command
        .add_option("--request-seconds", a->request_seconds,
                    "time limit of a request; its statement is cancelled then (default 60)")
        ->type_name("N");
    command
        .add_option("--concurrent-runs", a->concurrent_runs,
                    "component calls running at once (default: the processors, at least 2)")
        ->type_name("N");
    command
        .add_option("--queued-runs", a->queued_runs,
                    "calls waiting for a run before 503 (default 64)")
        ->type_name("N");
    command.add_option("--threads", a->threads, "connection worker threads (default 32)")
        ->type_name("N");
    command
        .add_option("--shutdown-seconds", a->shutdown_seconds,
                    "on SIGTERM, how long running requests may finish (default 30)")
        ->type_name("N");
    return [a](const tool::ServeContext& ctx) { return Run(ctx, *a); };
  });
}

}  // namespace q8::service

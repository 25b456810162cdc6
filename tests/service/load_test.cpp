// Load on the report service: CLIENTS concurrent clients for SECONDS, each
// sending a mix of the three reports (with several filters, json and csv)
// and the lookups over keep-alive connections, every answer compared byte
// for byte with what the tool prints for the same call. Prints requests,
// errors, p50/p99/max latency and the service's peak memory; exits 1 on any
// error or difference.
//
//   service_load_test --tool build/q8vantorpt [--db FILE] [--clients 16] [--seconds 60]
//                     [--scale 5000]
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/service_process.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kToken = "load-test-token-0001";

struct Case {
  std::string path;
  std::vector<std::string> tool;  // the tool's command for the same call
  std::string format;
  std::string expected;
};

std::vector<Case> Mix() {
  const std::vector<std::string> year = {"--filter", "BDate=2024-01-01", "--filter",
                                         "EDate=2024-12-31"};
  const std::string y = "BDate=2024-01-01&EDate=2024-12-31";
  auto with = [](std::vector<std::string> a, std::vector<std::string> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  return {
      {"/api/reports/2008608", {"report", "2008608"}, "json", ""},
      {"/api/reports/2008608?format=csv&SalePrice=1&UnitCost=1",
       {"report", "2008608", "--filter", "SalePrice=1", "--filter", "UnitCost=1"},
       "csv",
       ""},
      {"/api/reports/2008608?IsOnlyJS=0&bLongNumber=true&BItemNumber=01&EItemNumber=03.99",
       {"report", "2008608", "--filter", "IsOnlyJS=0", "--filter", "bLongNumber=true", "--filter",
        "BItemNumber=01", "--filter", "EItemNumber=03.99"},
       "json",
       ""},
      {"/api/reports/2008610?" + y, with({"report", "2008610"}, year), "json", ""},
      {"/api/reports/2008610?format=csv&Status=2&" + y,
       with({"report", "2008610", "--filter", "Status=2"}, year), "csv", ""},
      {"/api/reports/2008609?" + y, with({"report", "2008609"}, year), "json", ""},
      {"/api/reports/2008609?format=csv&SumType=1&" + y,
       with({"report", "2008609", "--filter", "SumType=1"}, year), "csv", ""},
      {"/api/reports/2008609?SumType=2&SalePrice=1&" + y,
       with({"report", "2008609", "--filter", "SumType=2", "--filter", "SalePrice=1"}, year),
       "json", ""},
      {"/api/reports", {"reports"}, "json", ""},
      {"/api/report-groups/20086", {"report-group", "20086"}, "json", ""},
      {"/api/periods/current", {"period", "current"}, "json", ""},
      {"/api/periods/previous", {"period", "previous"}, "json", ""},
      {"/api/periods/end-date", {"period", "end-date"}, "json", ""},
      {"/api/periods/start-end?year=2024&period=6",
       {"period", "start-end", "2024", "6"},
       "json",
       ""},
      {"/api/stock-info?BStockNumber=09.001&EStockNumber=09.003",
       {"stock-info", "--filter", "BStockNumber=09.001", "--filter", "EStockNumber=09.003"},
       "json",
       ""},
  };
}

struct Options {
  std::string tool, db;
  int clients = 16;
  int seconds = 60;
  int scale = 5000;
};

double Percentile(std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const size_t i =
      std::min(sorted.size() - 1, static_cast<size_t>(p * static_cast<double>(sorted.size())));
  return sorted[i];
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string k = argv[i], v = argv[i + 1];
    if (k == "--tool")
      o.tool = v;
    else if (k == "--db")
      o.db = v;
    else if (k == "--clients")
      o.clients = std::max(1, std::atoi(v.c_str()));
    else if (k == "--seconds")
      o.seconds = std::max(1, std::atoi(v.c_str()));
    else if (k == "--scale")
      o.scale = std::max(1, std::atoi(v.c_str()));
    else {
      std::cerr << "unknown option " << k << "\n";
      return 2;
    }
  }
  if (o.tool.empty()) {
    std::cerr << "usage: service_load_test --tool PATH [--db FILE] [--clients N] [--seconds N] "
                 "[--scale N]\n";
    return 2;
  }
  const fs::path dir = fs::temp_directory_path() / ("q8-load-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  if (o.db.empty()) {
    o.db = (dir / "demo.db").string();
    int status = -1;
    q8::testing::RunToolOutput(o.tool, {"demo-db", o.db, "--scale", std::to_string(o.scale)},
                               &status);
    if (status != 0) {
      std::cerr << "demo-db failed\n";
      return 1;
    }
  }

  // What the tool prints for each call.
  std::vector<Case> mix = Mix();
  for (Case& c : mix) {
    std::vector<std::string> args{"--db", o.db, "--format", c.format};
    args.insert(args.end(), c.tool.begin(), c.tool.end());
    int status = -1;
    c.expected = q8::testing::RunToolOutput(o.tool, args, &status);
    if (status != 0 || c.expected.empty()) {
      std::cerr << "the tool failed for " << c.path << "\n";
      return 1;
    }
  }

  q8::testing::ServiceProcess service(o.tool, {"--db", o.db, "--token", std::string(kToken) + ":0",
                                               "--access-log", (dir / "access.log").string()});
  if (!service.started()) {
    std::cerr << "the service did not start\n";
    return 1;
  }

  std::atomic<long> requests{0}, errors{0}, differences{0};
  std::mutex mu;
  std::vector<double> latencies;
  std::vector<std::string> first_errors;
  const auto end = Clock::now() + std::chrono::seconds(o.seconds);
  std::vector<std::thread> clients;
  for (int t = 0; t < o.clients; ++t) {
    clients.emplace_back([&, t] {
      httplib::Client cli("127.0.0.1", service.port());
      cli.set_keep_alive(true);
      cli.set_read_timeout(120, 0);
      const httplib::Headers headers{{"Authorization", std::string("Bearer ") + kToken}};
      std::vector<double> mine;
      for (size_t n = static_cast<size_t>(t); Clock::now() < end; ++n) {
        const Case& c = mix[n % mix.size()];
        const auto start = Clock::now();
        httplib::Result r = cli.Get(c.path.c_str(), headers);
        mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        ++requests;
        std::string problem;
        if (!r) {
          problem = "no answer (" + httplib::to_string(r.error()) + ")";
          ++errors;
        } else if (r->status != 200) {
          problem = "status " + std::to_string(r->status) + ": " + r->body.substr(0, 200);
          ++errors;
        } else if (r->body != c.expected) {
          problem = "differs from the tool";
          ++differences;
        }
        if (!problem.empty()) {
          std::lock_guard<std::mutex> lock(mu);
          if (first_errors.size() < 5) first_errors.push_back(c.path + ": " + problem);
        }
      }
      std::lock_guard<std::mutex> lock(mu);
      latencies.insert(latencies.end(), mine.begin(), mine.end());
    });
  }
  for (std::thread& c : clients) c.join();
  const long peak_kib = service.PeakKib();
  const int exit_status = service.Stop();
  fs::remove_all(dir);

  std::sort(latencies.begin(), latencies.end());
  std::printf("load test: %d clients, %d s, %zu kinds of request\n", o.clients, o.seconds,
              mix.size());
  std::printf("requests     %ld (%.1f per second)\n", requests.load(),
              static_cast<double>(requests.load()) / o.seconds);
  std::printf("errors       %ld\n", errors.load());
  std::printf("differences  %ld (answers not identical to the tool's)\n", differences.load());
  std::printf("latency ms   p50 %.1f  p99 %.1f  max %.1f\n", Percentile(latencies, 0.50),
              Percentile(latencies, 0.99), latencies.empty() ? 0.0 : latencies.back());
  std::printf("peak memory  %.1f MiB (service, VmHWM)\n", static_cast<double>(peak_kib) / 1024.0);
  std::printf("exit status  %d after SIGTERM\n", exit_status);
  for (const std::string& e : first_errors) std::printf("  %s\n", e.c_str());
  const bool ok = errors == 0 && differences == 0 && requests > 0 && exit_status == 0;
  std::printf("%s\n", ok ? "load test passed" : "load test FAILED");
  return ok ? 0 : 1;
}

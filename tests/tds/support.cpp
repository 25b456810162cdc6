// The FreeTDS tests' shared set-up and helpers.
#include "tests/tds/support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"

extern char** environ;

namespace q8::tds::testing {

namespace {

namespace fs = std::filesystem;

// The demo database's size: a few thousand bill lines give every report
// rows in every section, and take a fraction of a second to generate.
constexpr const char* kDemoScale = "2000";
constexpr const char* kDemoSeed = "7";

std::string FindFreeTds() {
  if (const char* given = std::getenv("TEST_FREETDS_LIBRARY"); given && *given) return given;
  std::vector<fs::path> candidates = {"/usr/lib/odbc/libtdsodbc.so", "/usr/local/lib/libtdsodbc.so",
                                      "/usr/lib64/libtdsodbc.so"};
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib", ec))
    candidates.push_back(entry.path() / "odbc" / "libtdsodbc.so");
  for (const auto& c : candidates)
    if (fs::exists(c, ec)) return c.string();
  return {};
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

struct WorldHolder {
  World world;
  ~WorldHolder() {
    world.server.reset();
    std::error_code ec;
    if (!world.folder.empty()) fs::remove_all(world.folder, ec);
  }
};

void Build(World& w) {
  const std::string library = FindFreeTds();
  if (library.empty()) {
    w.skip_reason = "FreeTDS's ODBC driver (Debian package tdsodbc) is not installed";
    return;
  }
  std::string tmpl = (fs::temp_directory_path() / "q8-tds.XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary folder");
  w.folder = tmpl;
  w.database = w.folder + "/demo.db";
  ToolRun demo = RunTool({"demo-db", w.database, "--scale", kDemoScale, "--seed", kDemoSeed});
  if (demo.status != 0) throw std::runtime_error("demo-db failed: " + demo.err);

  ServerOptions options;
  options.database_file = w.database;
  options.log_file = w.folder + "/requests.log";
  w.server = std::make_unique<Server>(options);

  // Only this process's registrations: the driver, and a data source on the
  // shared server as a user would write it in odbc.ini.
  WriteFile(fs::path(w.folder) / "odbcinst.ini", "[FreeTDS]\nDriver=" + library + "\n");
  WriteFile(fs::path(w.folder) / "odbc.ini",
            "[Q8TDS]\nDriver=FreeTDS\nServer=127.0.0.1\nPort=" + std::to_string(w.server->port()) +
                "\nDatabase=ERP\nTDS_Version=7.4\nClientCharset=UTF-8\n");
  setenv("ODBCSYSINI", w.folder.c_str(), 1);
  unsetenv("ODBCINI");
  // FreeTDS's environment overrides would change what is tested.
  unsetenv("TDSVER");
  unsetenv("TDSPORT");
  unsetenv("TDSHOST");
  RegisterComponent();
}

std::string DecimalText(const Decimal& d) { return d.ToString(); }

std::string DoubleText(double v) {
  char b[64];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

}  // namespace

World& TheWorld() {
  static WorldHolder holder;
  static std::once_flag once;
  std::call_once(once, [] { Build(holder.world); });
  return holder.world;
}

const char* WayName(Way w) {
  switch (w) {
    case Way::kEmbedded:
      return "embedded";
    case Way::kOleDb:
      return "OLE DB string";
    case Way::kOdbc:
      return "ODBC string";
    case Way::kDsn:
      return "odbc.ini data source";
  }
  return "?";
}

std::string ConnectionString(Way way, const DescriptorOptions& o) {
  World& w = TheWorld();
  const std::string port = std::to_string(o.port ? o.port : (w.server ? w.server->port() : 0));
  switch (way) {
    case Way::kEmbedded:
      return "Provider=SQLite;Data Source=" + w.database;
    case Way::kOleDb:
      return "Provider=SQLOLEDB.1;Password=x;Persist Security Info=True;User ID=" + o.user +
             ";Initial Catalog=ERP;Data Source=127.0.0.1," + port + o.extra;
    case Way::kOdbc:
      return "Driver=FreeTDS;Server=127.0.0.1;Port=" + port + ";Database=ERP;UID=" + o.user +
             ";PWD=x;" + (o.tds_version ? "TDS_Version=7.4;" : "") + "ClientCharset=UTF-8" +
             o.extra;
    case Way::kDsn:
      return "DSN=Q8TDS;UID=" + o.user + ";PWD=x" + (o.port ? ";Port=" + port : "") + o.extra;
  }
  return {};
}

std::string Descriptor(Way way, const DescriptorOptions& o) {
  const bool embedded = way == Way::kEmbedded;
  return "ConnectString={" + ConnectionString(way, o) +
         "};DBMS Name=" + (embedded ? "SQLite" : "Microsoft SQL Server") +
         ";DBMS Version=" + (embedded ? "3" : "15") + ";Language=" + o.language +
         ";UserID=" + std::to_string(o.user_id);
}

std::string Dump(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kNull:
      return "Null";
    case VarType::kMissing:
      return "Missing";
    case VarType::kBool:
      return v.ToBool() ? "Bool(true)" : "Bool(false)";
    case VarType::kInteger:
    case VarType::kLong:
      return "Long(" + std::to_string(v.ToLong()) + ")";
    case VarType::kDouble:
      return "Double(" + DoubleText(v.ToDouble()) + ")";
    case VarType::kDecimal:
      return "Decimal(" + DecimalText(v.ToDecimal()) + ")";
    case VarType::kDate:
      return "Date(" + date::ToIso(v.ToDate()) + ")";
    case VarType::kString:
      return "String(\"" + v.text() + "\")";
    case VarType::kObject:
      if (auto d = v.As<Dictionary>()) return Dump(d);
      if (auto rs = v.As<ado::Recordset>()) return Dump(rs);
      return "Object";
  }
  return "?";
}

std::string Dump(const DictionaryPtr& d) {
  if (!d) return "(none)";
  std::string out = "{";
  for (const auto& [key, value] : d->Items()) out += key + "=" + Dump(value) + "; ";
  return out + "}";
}

std::string Dump(const ado::RecordsetPtr& rs) {
  if (!rs) return "(none)";
  const ado::RowSet* rows = rs->Rows();
  if (!rows) return "(closed)";
  std::string out;
  for (const ado::ColumnInfo& c : rows->columns()) {
    out += c.name + " " + ado::FieldTypeName(c.type);
    if (c.type == ado::FieldType::kDecimal)
      out += "(" + std::to_string(c.precision) + "," + std::to_string(c.scale) + ")";
    out += " | ";
  }
  out += "\n";
  for (size_t r = 0; r < rows->row_count(); ++r) {
    for (size_t c = 0; c < rows->column_count(); ++c) {
      if (rows->IsNull(r, c)) {
        out += "NULL";
      } else {
        switch (rows->columns()[c].type) {
          case ado::FieldType::kBool:
            out += rows->GetBool(r, c) ? "true" : "false";
            break;
          case ado::FieldType::kInt:
            out += std::to_string(rows->GetInt(r, c));
            break;
          case ado::FieldType::kDecimal:
            out += DecimalText(rows->GetDecimal(r, c));
            break;
          case ado::FieldType::kDouble:
            out += DoubleText(rows->GetDouble(r, c));
            break;
          case ado::FieldType::kDateTime:
            out += date::ToIso(rows->GetDouble(r, c));
            break;
          case ado::FieldType::kText:
            out += "'" + std::string(rows->GetText(r, c)) + "'";
            break;
        }
      }
      out += " | ";
    }
    out += "\n";
  }
  return out;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Outcome Capture(const std::function<std::string()>& call) {
  Outcome o;
  const auto start = std::chrono::steady_clock::now();
  try {
    o.text = call();
  } catch (const Error& e) {
    o.failed = true;
    o.number = e.number();
    o.source = e.source();
    o.description = e.description();
  }
  o.seconds = SecondsSince(start);
  return o;
}

Outcome CaptureBounded(const std::function<std::string()>& call, double bound) {
  auto promise = std::make_shared<std::promise<Outcome>>();
  std::future<Outcome> future = promise->get_future();
  std::thread([call, promise] { promise->set_value(Capture(call)); }).detach();
  if (future.wait_for(std::chrono::duration<double>(bound)) != std::future_status::ready) {
    ADD_FAILURE() << "the call was still waiting after " << bound << " s";
    std::fflush(nullptr);
    _exit(1);
  }
  return future.get();
}

DictionaryPtr Filter(const std::vector<std::string>& key_values) {
  auto d = std::make_shared<Dictionary>();
  for (const std::string& kv : key_values) {
    const size_t eq = kv.find('=');
    const std::string key = kv.substr(0, eq), value = kv.substr(eq + 1);
    const std::string k = Lower(key);
    if (k == "blongnumber") {
      d->SetValue(key, Variant(Lower(value) == "true" || value == "1"));
    } else if (k == "status" || k == "saleprice" || k == "unitcost" || k == "sumtype" ||
               k == "isonlyjs") {
      d->SetValue(key, Variant(static_cast<int32_t>(std::stol(value))));
    } else {
      d->SetValue(key, Variant(value));
    }
  }
  return d;
}

const std::vector<ReportCase>& ReportCases() {
  static const std::vector<ReportCase> kCases = {
      {"r2008608_defaults", 2008608, {}},
      {"r2008608_js0_price1_cost1", 2008608, {"IsOnlyJS=0", "SalePrice=1", "UnitCost=1"}},
      {"r2008608_js1_price2_cost3_long_ranges",
       2008608,
       {"IsOnlyJS=1", "SalePrice=2", "UnitCost=3", "bLongNumber=true", "BItemNumber=01.01",
        "EItemNumber=03.99", "BCustNumber=02.0001", "ECustNumber=04.0001"}},
      {"r2008608_price0_cost2_stocks_long",
       2008608,
       {"SalePrice=0", "UnitCost=2", "bLongNumber=true", "BStockNumber=09.001",
        "EStockNumber=09.003"}},
      {"r2008608_stocks_short",
       2008608,
       {"bLongNumber=false", "BStockNumber=001", "EStockNumber=002"}},
      {"r2008608_quotes", 2008608, {"BItemNumber=O'Neil", "ECustNumber=x' or 1=1 --"}},
      {"r2008609_sum0_price0_cost1_status0",
       2008609,
       {"BDate=2024-01-01", "EDate=2024-12-31", "SumType=0", "SalePrice=0", "UnitCost=1",
        "Status=0"}},
      {"r2008609_sum1_price1_cost2_status1",
       2008609,
       {"BDate=2024-06-01", "EDate=2024-12-31", "SumType=1", "SalePrice=1", "UnitCost=2",
        "Status=1"}},
      {"r2008609_sum2_price5_cost3_status2_ranges",
       2008609,
       {"BDate=2024-01-01", "EDate=2024-12-31", "SumType=2", "SalePrice=5", "UnitCost=3",
        "Status=2", "bLongNumber=true", "BItemNumber=01", "EItemNumber=05.99"}},
      {"r2008609_sum1_slashed_dates",
       2008609,
       {"BDate=2024/01/01", "EDate=2024-03-31", "SumType=1"}},
      {"r2008610_status0", 2008610, {"BDate=2024-11-01", "EDate=2024-12-31", "Status=0"}},
      {"r2008610_status1_customers_long",
       2008610,
       {"BDate=2024-01-01", "EDate=2024-12-31", "Status=1", "bLongNumber=true",
        "BCustNumber=02.0001", "ECustNumber=03.9999"}},
      {"r2008610_status2_stocks_short",
       2008610,
       {"BDate=2024-01-01", "EDate=2024-06-30", "Status=2", "BStockNumber=001",
        "EStockNumber=003"}},
      {"r2008610_status7_quotes",
       2008610,
       {"BDate=2024/01/01", "EDate=2024-01-31' or '1'='1", "Status=7"},
       true},
  };
  return kCases;
}

ado::RecordsetPtr RunReport(const std::string& dsn, const ReportCase& c,
                            DictionaryPtr& sort_fields) {
  Data data;
  const DictionaryPtr filter = Filter(c.filters);
  switch (c.report) {
    case 2008608:
      return data.GetRpt2008608Data(dsn, nullptr, filter, sort_fields);
    case 2008609:
      return data.GetRpt2008609Data(dsn, nullptr, filter, sort_fields);
    default:
      return data.GetRpt2008610Data(dsn, nullptr, filter, sort_fields);
  }
}

ToolRun RunTool(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& env, double bound) {
  ToolRun run;
  std::vector<std::string> argv_text = {Q8_TOOL_PATH};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_text;
  for (char** e = environ; *e; ++e) {
    std::string_view entry = *e;
    bool replaced = false;
    for (const auto& [k, v] : env)
      if (entry.starts_with(k + "=")) replaced = true;
    if (!replaced) env_text.emplace_back(entry);
  }
  for (const auto& [k, v] : env) env_text.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (auto& e : env_text) envp.push_back(e.data());
  envp.push_back(nullptr);

  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    run.err = "pipe failed";
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (rc != 0) {
    close(out_pipe[0]);
    close(err_pipe[0]);
    run.err = std::string("cannot start the tool: ") + strerror(rc);
    return run;
  }
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  bool killed = false;
  int open_pipes = 2;
  while (open_pipes > 0) {
    const double left = bound - SecondsSince(start);
    if (left <= 0 && !killed) {
      kill(pid, SIGKILL);
      killed = true;
    }
    const int ready = poll(fds, 2, killed ? 1000 : static_cast<int>(std::ceil(left * 1000)));
    if (ready < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[65536];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_pipes;
      } else {
        (i == 0 ? run.out : run.err).append(buffer, static_cast<size_t>(n));
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  run.seconds = SecondsSince(start);
  run.status = !killed && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace q8::tds::testing

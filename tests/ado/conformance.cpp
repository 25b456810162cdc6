#include "tests/ado/conformance.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "component/providers.h"
#include "core/ado/provider.h"
#include "drivers/sqlite/schema.h"

extern char** environ;

namespace q8::testing {

namespace {

// A fresh ERP database for this test process, removed at exit.
std::string EmbeddedDatabase() {
  static std::string path = [] {
    auto p = std::filesystem::temp_directory_path() /
             ("q8-conformance-" + std::to_string(::getpid()) + ".db");
    sqlite::InitDatabase(p.string(), true);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove(std::filesystem::temp_directory_path() /
                                  ("q8-conformance-" + std::to_string(::getpid()) + ".db"),
                              ec);
    });
    return p.string();
  }();
  return path;
}

std::vector<Target> Build() {
  RegisterBuiltinProviders();
  std::vector<Target> out;
  out.push_back(
      {"sqlite", sqlite::ConnectionStringFor(EmbeddedDatabase()), "datetime", "nvarchar", true});
  const std::string portable = "Q8_ADO_CONFORMANCE_", tsql = "Q8_ADO_TSQL_";
  for (char** e = environ; *e; ++e) {
    std::string entry = *e;
    size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    std::string key = entry.substr(0, eq), value = entry.substr(eq + 1);
    Target t;
    if (key.rfind(portable, 0) == 0) {
      t.name = key.substr(portable.size());
    } else if (key.rfind(tsql, 0) == 0) {
      t.name = key.substr(tsql.size());
      t.tsql = true;
    } else {
      continue;
    }
    if (t.name.empty() || value.empty()) continue;
    t.connection_string = value;
    if (const char* dt = std::getenv(("Q8_ADO_DATETIME_" + t.name).c_str())) t.datetime_type = dt;
    if (const char* nv = std::getenv(("Q8_ADO_NVARCHAR_" + t.name).c_str())) t.nvarchar_type = nv;
    out.push_back(t);
  }
  return out;
}

}  // namespace

const std::vector<Target>& ConformanceTargets() {
  static const std::vector<Target> targets = Build();
  return targets;
}

std::vector<Target> TsqlTargets() {
  std::vector<Target> out;
  for (const auto& t : ConformanceTargets())
    if (t.tsql) out.push_back(t);
  return out;
}

}  // namespace q8::testing

// The targets the conformance suite runs against.
//
// The embedded SQLite provider is always a target: a fresh database made by
// init-db. Other providers join through the environment, one variable per
// target, so the same cases run against every driver:
//
//   Q8_ADO_CONFORMANCE_<NAME>=<connection string>   portable cases
//   Q8_ADO_TSQL_<NAME>=<connection string>          portable and T-SQL cases
//   Q8_ADO_DATETIME_<NAME>=<type name>              the column type for a
//                                                   date and time (default
//                                                   "datetime"; "timestamp"
//                                                   for PostgreSQL)
//   Q8_ADO_NVARCHAR_<NAME>=<type name>              the column type for
//                                                   Unicode text (default
//                                                   "nvarchar"; "varchar"
//                                                   for PostgreSQL)
//
// The portable cases separate statements with ";" and use plain tables; the
// T-SQL cases send batches as the component does (no ";", #temporary tables,
// SET NOCOUNT, the GetPeriodStartEnd procedure of the ERP database).
#pragma once

#include <string>
#include <vector>

namespace q8::testing {

struct Target {
  std::string name;               // "sqlite", or <NAME> of the variable
  std::string connection_string;  // as Connection::Open takes it
  std::string datetime_type = "datetime";
  std::string nvarchar_type = "nvarchar";
  bool tsql = false;  // speaks the component's T-SQL
};

// Every target, the embedded one first. Registers the built-in providers.
const std::vector<Target>& ConformanceTargets();
std::vector<Target> TsqlTargets();

// gtest parameter names: the target's name.
struct TargetName {
  template <class ParamInfo>
  std::string operator()(const ParamInfo& info) const {
    return info.param.name;
  }
};

}  // namespace q8::testing

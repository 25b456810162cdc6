// The public methods that open the database, as a list a test can run on any
// descriptor: all of them fail, or all of them succeed.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "q8vantorpt/dictionary.h"

namespace q8::reliability {

// One public call on a descriptor. Returns normally or raises q8::Error.
struct Call {
  const char* name;
  std::function<void(const std::string& dsn)> run;
};

// The date range of the fixtures' bills, as 2008609 and 2008610 read it.
DictionaryPtr Dates();

// Every method of Data and Rpt that opens the database and raises on failure.
const std::vector<Call>& RaisingCalls();

// Every raising call fails with a description that holds one of `causes`,
// and the two methods that never raise (GetServerDate, GetCurrentPeriodEndDate)
// give their failure values. Returns the calls that did otherwise, one line
// each; "" when all is well. `needs_tables`: the failure lies in the tables,
// so that the server date, which reads none, still comes.
std::string CheckAllFail(const std::string& dsn, const std::vector<std::string>& causes,
                         bool needs_tables = false);

// Every raising call succeeds. Returns the failures, one line each.
std::string CheckAllSucceed(const std::string& dsn);

}  // namespace q8::reliability

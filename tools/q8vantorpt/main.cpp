// q8vantorpt: the command-line tool of the report middle layer.
#include <cstdlib>
#include <iostream>

#include "q8vantorpt/error.h"
#include "q8vantorpt/rpt.h"
#include "services/table_data_access.h"
#include "tools/q8vantorpt/cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  try {
    q8::RegisterComponent();
    q8::rights::SelectDataAccessFromEnvironment();  // Q8VANTORPT_DATA_ACCESS=table
  } catch (const q8::Error& e) {
    std::cerr << "error " << e.number() << ": " << e.source() << ": " << e.description() << '\n';
    return q8::tool::kExitFailure;
  }
  return q8::tool::RunTool(argc, argv, std::cout, std::cerr, std::getenv("Q8VANTORPT_DSN"));
}

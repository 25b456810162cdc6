// q8vantorpt: the command-line tool of the report middle layer.
#include <cstdlib>
#include <iostream>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "component/rights/table_data_access.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/rpt.h"
#include "tools/q8vantorpt/cli.h"
#if defined(Q8_WITH_SERVICE)
#include "service/serve.h"
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // The columns of a large record set grow by doubling. From 256 KiB on,
  // blocks come straight from the system and go back to it when freed, so
  // the outgrown blocks of a million-row report leave no retained memory
  // behind (by default glibc raises this bound as large blocks are freed).
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
  std::ios::sync_with_stdio(false);
  try {
    q8::RegisterComponent();
    q8::rights::SelectDataAccessFromEnvironment();  // Q8VANTORPT_DATA_ACCESS=table
#if defined(Q8_WITH_SERVICE)
    q8::service::RegisterServeCommand();
#endif
  } catch (const q8::Error& e) {
    std::cerr << "error " << e.number() << ": " << e.source() << ": " << e.description() << '\n';
    return q8::tool::kExitFailure;
  }
  return q8::tool::RunTool(argc, argv, std::cout, std::cerr, std::getenv("Q8VANTORPT_DSN"));
}

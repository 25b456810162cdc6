// q8vantorpt: the command-line tool of the report middle layer.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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
#include "tools/q8vantorpt/output.h"
#include "tools/q8vantorpt/partial_files.h"

namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

}  // namespace

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // The columns of a large record set grow by doubling. From 256 KiB on,
  // blocks come straight from the system and go back to it when freed, so
  // the outgrown blocks of a million-row report leave no retained memory
  // behind (by default glibc raises this bound as large blocks are freed).
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
  // A standard descriptor that was closed (`>&-`) gets /dev/null, so that
  // no file the tool opens later (a database, a spill file) takes its
  // number and receives the output; writes to a closed standard output
  // still fail, as FdOutput is told.
  const bool out_closed = !IsOpen(STDOUT_FILENO);
  for (int fd = 0; fd <= 2; ++fd) {
    if (IsOpen(fd)) continue;
    const int null = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      ::dup2(null, fd);
      ::close(null);
    }
  }
  // A write past the file-size limit (ulimit -f) fails with EFBIG and is
  // reported like a full disk, instead of SIGXFSZ ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  // SIGINT, SIGTERM and SIGHUP remove the database file being built.
  q8::tool::InstallPartialFileCleanup();

  std::ios::sync_with_stdio(false);
  q8::tool::FdOutput out_buffer(STDOUT_FILENO, "standard output", out_closed);
  std::ostream out(&out_buffer);
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
  return q8::tool::RunTool(argc, argv, out, std::cerr, std::getenv("Q8VANTORPT_DSN"));
}

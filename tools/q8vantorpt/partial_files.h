// Files the tool is still building, removed when a signal stops it.
//
// A command that writes a file builds it under a scratch name and renames it
// into place when it is complete; its own failures remove the scratch file.
// SIGINT, SIGTERM and SIGHUP end the process before that cleanup can run,
// so the handlers installed here remove the files still listed and then let
// the signal end the process as it would have.
#pragma once

#include <string>

namespace q8::tool {

// Lists `path` (an absolute or relative name, at most PATH_MAX bytes; a
// longer one is not listed) to be removed if a signal stops the process.
void AddPartialFile(const std::string& path);
// Takes `path` off the list (it is complete or already gone).
void RemovePartialFile(const std::string& path);
// Installs the handlers of SIGINT, SIGTERM and SIGHUP (those the process
// does not ignore).
void InstallPartialFileCleanup();
// Removes every listed file now (what the handlers do). For tests.
void RemovePartialFilesNow();

}  // namespace q8::tool

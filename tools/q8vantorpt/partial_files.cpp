// Files the tool is still building, removed when a signal stops it.
//
// The list is a fixed array of slots, so that the signal handler reads it
// without allocating or locking: a slot's name is written before the slot
// is marked used, and marked unused before it is reused.
#include "tools/q8vantorpt/partial_files.h"

#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>

namespace q8::tool {

namespace {

struct Slot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};

constexpr int kSlots = 8;
Slot g_slots[kSlots];

void RemoveListed() {
  for (Slot& slot : g_slots) {
    if (slot.used.load()) ::unlink(slot.path);
  }
}

extern "C" void OnStop(int signal) {
  RemoveListed();
  // End as the signal would have ended the process.
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void AddPartialFile(const std::string& path) {
  if (path.empty() || path.size() >= PATH_MAX) return;
  for (Slot& slot : g_slots) {
    if (slot.used.load()) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.used.store(true);
    return;
  }
}

void RemovePartialFile(const std::string& path) {
  for (Slot& slot : g_slots) {
    if (slot.used.load() && path == slot.path) {
      slot.used.store(false);
      return;
    }
  }
}

void InstallPartialFileCleanup() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

void RemovePartialFilesNow() { RemoveListed(); }

}  // namespace q8::tool

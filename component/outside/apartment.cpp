// Per-thread ("per-apartment") state: the application-server object and the
// resource loader. Each thread has its own; nothing here is shared or locked.
#include "q8vantorpt/outside.h"

namespace q8::apartment {

namespace {
struct State {
  std::shared_ptr<AppServer> app_server;
  std::shared_ptr<ResourceLoader> loader;
};

State& ThisThread() {
  thread_local State state;
  return state;
}
}  // namespace

std::shared_ptr<ObjectContext> GetObjectContext() {
  State& s = ThisThread();
  if (!s.app_server) s.app_server = Registry::Instance().CreateAs<AppServer>(progid::kAppServer);
  std::shared_ptr<ObjectContext> context = s.app_server->GetObjectContext();
  if (!context) RaisePlatform(err::kObjectNotSet);
  return context;
}

std::shared_ptr<ResourceLoader>& Loader() { return ThisThread().loader; }

void EndLoader() {
  // Cleared first, so that a loader whose Unload fails is still gone.
  std::shared_ptr<ResourceLoader> loader = std::move(ThisThread().loader);
  ThisThread().loader.reset();
  if (!loader) return;
  try {
    loader->Unload();
  } catch (...) {
    // Ending the loader never fails its caller (a parser's destructor).
  }
}

void Reset() { ThisThread().app_server.reset(); }

}  // namespace q8::apartment

// Per-thread ("per-apartment") state: the application-server object and the
// resource loader. Each thread has its own; nothing here is shared or locked.
#include "q8vantorpt/outside.h"

namespace q8::apartment {

namespace {
struct State {
  std::shared_ptr<AppServer> app_server;
  std::shared_ptr<ResourceLoader> loader;
};

// Set once the thread's state has been destroyed at thread exit, so that an
// object released even later (a parser held by a static, say) finds no state
// instead of a destroyed one. A plain bool has no destructor of its own.
thread_local bool t_state_gone = false;

struct StateHolder {
  State state;
  ~StateHolder() { t_state_gone = true; }
};

// The calling thread's state, or nullptr during and after its destruction.
State* ThisThread() {
  if (t_state_gone) return nullptr;
  thread_local StateHolder holder;
  return &holder.state;
}
}  // namespace

std::shared_ptr<ObjectContext> GetObjectContext() {
  State* s = ThisThread();
  if (s == nullptr) RaisePlatform(err::kObjectNotSet);
  if (!s->app_server) s->app_server = Registry::Instance().CreateAs<AppServer>(progid::kAppServer);
  std::shared_ptr<ObjectContext> context = s->app_server->GetObjectContext();
  if (!context) RaisePlatform(err::kObjectNotSet);
  return context;
}

std::shared_ptr<ResourceLoader>& Loader() {
  if (State* s = ThisThread()) return s->loader;
  // The thread is ending: hand out an empty slot that nothing keeps.
  thread_local std::shared_ptr<ResourceLoader> none;
  none.reset();
  return none;
}

void EndLoader() {
  State* s = ThisThread();
  if (s == nullptr) return;
  // Cleared first, so that a loader whose Unload fails is still gone.
  std::shared_ptr<ResourceLoader> loader = std::move(s->loader);
  s->loader.reset();
  if (!loader) return;
  try {
    loader->Unload();
  } catch (...) {
    // Ending the loader never fails its caller (a parser's destructor).
  }
}

void Reset() {
  if (State* s = ThisThread()) s->app_server.reset();
}

}  // namespace q8::apartment

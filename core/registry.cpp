// The ProgID registry: host factories first, the project's defaults second.
#include <mutex>
#include <string>
#include <unordered_map>

#include "core/default_objects.h"
#include "core/text.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {
// ProgIDs compare without regard to ASCII case.
std::string FoldProgId(std::string_view id) { return ToLowerAscii(id); }
}  // namespace

struct Registry::Impl {
  mutable std::mutex mu;
  std::unordered_map<std::string, Factory> host;
  std::unordered_map<std::string, Factory> defaults;
};

Registry::Registry() : impl_(std::make_shared<Impl>()) {
  defaults::InstallDefaultObjects(
      [this](std::string_view id, Factory f) { impl_->defaults[FoldProgId(id)] = std::move(f); });
}

Registry& Registry::Instance() {
  static Registry registry;
  return registry;
}

void Registry::Register(std::string_view prog_id, Factory factory) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->host[FoldProgId(prog_id)] = std::move(factory);
}

void Registry::Unregister(std::string_view prog_id) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->host.erase(FoldProgId(prog_id));
}

ObjectPtr Registry::Create(std::string_view prog_id) const {
  Factory factory;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::string key = FoldProgId(prog_id);
    auto it = impl_->host.find(key);
    if (it != impl_->host.end()) {
      factory = it->second;
    } else if (auto d = impl_->defaults.find(key); d != impl_->defaults.end()) {
      factory = d->second;
    }
  }
  // The factory runs outside the lock: it may create further objects.
  if (!factory) RaisePlatform(err::kCantCreateObject);
  ObjectPtr object;
  try {
    object = factory();
  } catch (...) {
    RaisePlatform(err::kCantCreateObject);
  }
  if (!object) RaisePlatform(err::kCantCreateObject);
  return object;
}

}  // namespace q8

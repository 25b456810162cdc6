// The process-wide shared property store.
#include "connection/shared_properties.h"

#include <mutex>
#include <string>

#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

[[noreturn]] void RaiseNotFound(std::string what) { Raise(spm::kNotFound, std::move(what)); }

void CheckMode(int32_t mode) {
  if (mode != 0 && mode != 1) RaisePlatform(err::kInvalidProcedureCall);
}

}  // namespace

Variant SharedProperty::Value() const {
  if (!slot_) RaisePlatform(err::kObjectNotSet);
  std::lock_guard<std::mutex> lock(group_->mu_);
  return slot_->value;
}

void SharedProperty::SetValue(const Variant& value) const {
  if (!slot_) RaisePlatform(err::kObjectNotSet);
  // Copy outside the lock; only the swap into the slot is guarded, so a
  // reader never waits on an allocation.
  Variant copy = value;
  std::lock_guard<std::mutex> lock(group_->mu_);
  std::swap(slot_->value, copy);
}

SharedProperty SharedPropertyGroup::CreateProperty(std::string_view name, bool& existed) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = by_name_.find(name);
  existed = it != by_name_.end();
  if (!existed) it = by_name_.emplace(std::string(name), std::make_unique<Slot>()).first;
  return SharedProperty(shared_from_this(), it->second.get());
}

SharedProperty SharedPropertyGroup::CreateProperty(std::string_view name) {
  bool existed = false;
  return CreateProperty(name, existed);
}

SharedProperty SharedPropertyGroup::CreatePropertyByPosition(int32_t position, bool& existed) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = by_position_.find(position);
  existed = it != by_position_.end();
  if (!existed) it = by_position_.emplace(position, std::make_unique<Slot>()).first;
  return SharedProperty(shared_from_this(), it->second.get());
}

SharedProperty SharedPropertyGroup::CreatePropertyByPosition(int32_t position) {
  bool existed = false;
  return CreatePropertyByPosition(position, existed);
}

SharedProperty SharedPropertyGroup::Property(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = by_name_.find(name);
  if (it == by_name_.end()) {
    RaiseNotFound("The shared property \"" + std::string(name) + "\" does not exist in group \"" +
                  name_ + "\"");
  }
  return SharedProperty(shared_from_this(), it->second.get());
}

SharedProperty SharedPropertyGroup::PropertyByPosition(int32_t position) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = by_position_.find(position);
  if (it == by_position_.end()) {
    RaiseNotFound("The shared property at position " + std::to_string(position) +
                  " does not exist in group \"" + name_ + "\"");
  }
  return SharedProperty(shared_from_this(), it->second.get());
}

std::shared_ptr<SharedPropertyGroupManager> SharedPropertyGroupManager::Instance() {
  // Never destroyed: groups live until the process ends, and a thread still
  // running during exit may read them.
  static auto* const instance =
      new std::shared_ptr<SharedPropertyGroupManager>(new SharedPropertyGroupManager());
  return *instance;
}

SharedPropertyGroupPtr SharedPropertyGroupManager::CreatePropertyGroup(std::string_view name,
                                                                       int32_t& isolation,
                                                                       int32_t& release,
                                                                       bool& existed) {
  CheckMode(isolation);
  CheckMode(release);
  std::lock_guard<std::mutex> lock(mu_);
  auto it = groups_.find(name);
  existed = it != groups_.end();
  if (existed) {
    isolation = it->second->isolation_mode();
    release = it->second->release_mode();
    return it->second;
  }
  auto group = std::make_shared<SharedPropertyGroup>(std::string(name), isolation, release);
  groups_.emplace(std::string(name), group);
  return group;
}

SharedPropertyGroupPtr SharedPropertyGroupManager::Group(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = groups_.find(name);
  if (it == groups_.end()) {
    RaiseNotFound("The shared property group \"" + std::string(name) + "\" does not exist");
  }
  return it->second;
}

SharedPropertyGroupManagerPtr CreateSharedPropertyGroupManager(std::string_view prog_id) {
  static std::once_flag installed;
  std::call_once(installed, [] {
    Registry::Instance().Register(progid::kSharedPropertyManager,
                                  [] { return ObjectPtr(SharedPropertyGroupManager::Instance()); });
  });
  return Registry::Instance().CreateAs<SharedPropertyGroupManager>(prog_id);
}

SharedPropertyGroupPtr OpenProcessGroup(std::string_view prog_id, std::string_view name,
                                        bool& existed) {
  int32_t isolation = spm::kLockSetGet;
  int32_t release = spm::kProcess;
  return CreateSharedPropertyGroupManager(prog_id)->CreatePropertyGroup(name, isolation, release,
                                                                        existed);
}

}  // namespace q8

// The process-wide shared property store.
//
// A store of named groups of values that every thread of the process sees,
// in the manner of the COM+ Shared Property Manager: a group is created or
// opened by name (the caller learns which of the two happened), holds
// properties addressed by name or by integer position, and lives until the
// process ends. Each single read or write of a property is atomic; nothing
// locks a sequence of them, so a caller that writes several properties must
// order its writes so that readers can tell when a set is complete.
//
// There is one store per process. The manager is created through the
// outside-object registry by its ProgID; both spellings in use,
// "MTxSpm.SharedPropertyGroupManager.1" and "MtxSpm.SharedPropertyGroupManager.1",
// reach it, since the registry compares ProgIDs without regard to case.
// CreateSharedPropertyGroupManager installs the factory on its first call; a
// host may replace it with Registry::Register afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "q8vantorpt/variant.h"

namespace q8 {

namespace spm {
// Isolation modes. Every group locks each single read or write by itself;
// kLockMethod is accepted and recorded, and behaves as kLockSetGet, since
// there are no method boundaries of a calling object to lock across.
inline constexpr int32_t kLockSetGet = 0;
inline constexpr int32_t kLockMethod = 1;
// Release modes. Every group lives until the process ends; kStandard is
// accepted and recorded, and behaves as kProcess.
inline constexpr int32_t kStandard = 0;
inline constexpr int32_t kProcess = 1;
// The error raised for a property or group that does not exist
// (E_INVALIDARG, "the parameter is incorrect").
inline constexpr int32_t kNotFound = static_cast<int32_t>(0x80070057u);
// The spelling of the manager's ProgID used by the capability loader; the
// other one is progid::kSharedPropertyManager.
inline constexpr std::string_view kManagerProgIdAlt = "MtxSpm.SharedPropertyGroupManager.1";
}  // namespace spm

class SharedPropertyGroup;

// A handle on one property of a group. Copies address the same value. A
// default-constructed handle addresses nothing; reading or writing it raises
// 91 (object not set).
class SharedProperty {
 public:
  SharedProperty() = default;

  // The current value (Empty for a property that was never written).
  Variant Value() const;
  // Replaces the value.
  void SetValue(const Variant& value) const;

 private:
  friend class SharedPropertyGroup;
  struct Slot {
    Variant value;
  };
  SharedProperty(std::shared_ptr<const SharedPropertyGroup> group, Slot* slot)
      : group_(std::move(group)), slot_(slot) {}

  std::shared_ptr<const SharedPropertyGroup> group_;
  Slot* slot_ = nullptr;  // owned by the group, never freed before it
};

// A named group of properties. Properties by name and properties by
// position are two separate sets; names compare exactly. Thread-safe.
class SharedPropertyGroup : public Object,
                            public std::enable_shared_from_this<SharedPropertyGroup> {
 public:
  SharedPropertyGroup(std::string name, int32_t isolation, int32_t release)
      : name_(std::move(name)), isolation_(isolation), release_(release) {}

  const std::string& name() const { return name_; }
  int32_t isolation_mode() const { return isolation_; }
  int32_t release_mode() const { return release_; }

  // Creates the property `name` (Empty) or opens the existing one; `existed`
  // tells which.
  SharedProperty CreateProperty(std::string_view name, bool& existed);
  SharedProperty CreateProperty(std::string_view name);
  // As CreateProperty, for the property at an integer position.
  SharedProperty CreatePropertyByPosition(int32_t position, bool& existed);
  SharedProperty CreatePropertyByPosition(int32_t position);

  // The existing property; raises spm::kNotFound when there is none.
  SharedProperty Property(std::string_view name) const;
  SharedProperty PropertyByPosition(int32_t position) const;

 private:
  friend class SharedProperty;
  using Slot = SharedProperty::Slot;

  const std::string name_;
  const int32_t isolation_;
  const int32_t release_;
  // Guards both maps and every slot's value.
  mutable std::mutex mu_;
  std::map<std::string, std::unique_ptr<Slot>, std::less<>> by_name_;
  std::map<int32_t, std::unique_ptr<Slot>> by_position_;
};
using SharedPropertyGroupPtr = std::shared_ptr<SharedPropertyGroup>;

// The store's entry point: groups by name. Thread-safe.
class SharedPropertyGroupManager : public Object {
 public:
  // The process's one manager.
  static std::shared_ptr<SharedPropertyGroupManager> Instance();

  // Creates the group `name` or opens the existing one; `existed` tells which.
  // `isolation` and `release` are in and out: for an existing group they
  // receive the modes it was created with. Raises 5 for a mode other than 0
  // or 1.
  SharedPropertyGroupPtr CreatePropertyGroup(std::string_view name, int32_t& isolation,
                                             int32_t& release, bool& existed);
  // The existing group; raises spm::kNotFound when there is none.
  SharedPropertyGroupPtr Group(std::string_view name) const;

 private:
  mutable std::mutex mu_;
  std::map<std::string, SharedPropertyGroupPtr, std::less<>> groups_;
};
using SharedPropertyGroupManagerPtr = std::shared_ptr<SharedPropertyGroupManager>;

// The manager created through the registry by `prog_id` (either spelling).
// Raises as the registry does when the ProgID names no manager.
SharedPropertyGroupManagerPtr CreateSharedPropertyGroupManager(std::string_view prog_id);

// Creates the manager by `prog_id`, then creates or opens the group `name`
// with isolation kLockSetGet and release kProcess; `existed` tells whether it
// was there already.
SharedPropertyGroupPtr OpenProcessGroup(std::string_view prog_id, std::string_view name,
                                        bool& existed);

}  // namespace q8

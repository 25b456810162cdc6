// Outside objects and the registry that creates them by ProgID.
//
// The component calls a few objects that belong to its host system: the
// resource loader that localizes texts, the data-access-rights object, the
// database-error judge, and the object context of the request. Each is an
// interface here; the registry creates them by ProgID, so a host (or a test)
// installs its own factory and the project's defaults serve otherwise.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "q8vantorpt/dictionary.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/export.h"
#include "q8vantorpt/variant.h"

namespace q8 {

namespace ado {
struct ErrorEntry;
}

// ProgIDs of the outside objects.
namespace progid {
inline constexpr std::string_view kResourceLoader = "Z8AZERERUZU.Loader";
inline constexpr std::string_view kDataAccess = "Tabrix.DataAccess";
inline constexpr std::string_view kErrorJudge = "QXErrorHandle.CheckADOError";
inline constexpr std::string_view kAppServer = "MTxAS.AppServer.1";
inline constexpr std::string_view kSharedPropertyManager = "MTxSpm.SharedPropertyGroupManager.1";
inline constexpr std::string_view kData = "Q8VANTORpt.Data";
inline constexpr std::string_view kRpt = "Q8VANTORpt.Rpt";
}  // namespace progid

// Localizes the component's texts. Keys are the simplified-Chinese source
// texts; a key it does not hold comes back unchanged.
class Q8_API ResourceLoader : public Object {
 public:
  virtual std::string LanguageID() const = 0;
  virtual void SetLanguageID(const std::string& id) = 0;
  virtual void SetResFileBaseName(const std::string& name) = 0;
  virtual std::string LoadString(std::string& key) = 0;
  virtual void Unload() = 0;
};

// The per-user data-access-rights object.
class Q8_API DataAccess : public Object {
 public:
  virtual bool IsUsed(std::string& dsn, int32_t& user_id) = 0;
  virtual DictionaryPtr GetRowAccessInfo(std::string& dsn, int32_t& user_id,
                                         ItemListPtr& tables) = 0;
  virtual DictionaryPtr GetAccessDataSQL(ItemListPtr& maps, DictionaryPtr& rights) = 0;
  virtual DictionaryPtr GetAccessDataSQL2(ItemListPtr& maps, DictionaryPtr& rights) = 0;
};

// Judges whether an entry of a connection's Errors collection is a real error.
class Q8_API ErrorJudge : public Object {
 public:
  virtual Variant IsError(ado::ErrorEntry& entry) = 0;
};

// The object context of a request.
class Q8_API ObjectContext : public Object {
 public:
  virtual void SetComplete() = 0;
  virtual void SetAbort() = 0;
  // Creates an object by ProgID in the caller's context.
  virtual ObjectPtr CreateInstance(std::string_view prog_id) = 0;
};

// The application-server object: yields the caller's object context.
class Q8_API AppServer : public Object {
 public:
  virtual std::shared_ptr<ObjectContext> GetObjectContext() = 0;
};

// Creates objects by ProgID. ProgIDs compare without regard to case.
// Thread-safe.
class Q8_API Registry {
 public:
  using Factory = std::function<ObjectPtr()>;
  static Registry& Instance();

  // Installs (or replaces) the factory of a ProgID.
  void Register(std::string_view prog_id, Factory factory);
  // Removes a host's factory; the project's default (if any) serves again.
  void Unregister(std::string_view prog_id);
  // A new object; raises 429 ("ActiveX component can't create object") when
  // no factory is installed or the factory fails.
  ObjectPtr Create(std::string_view prog_id) const;
  // As Create, cast to T; raises 13 when the object is not a T.
  template <class T>
  std::shared_ptr<T> CreateAs(std::string_view prog_id) const {
    auto p = std::dynamic_pointer_cast<T>(Create(prog_id));
    if (!p) RaisePlatform(err::kTypeMismatch);
    return p;
  }

 private:
  Registry();
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

// Per-thread ("per-apartment") state of the component.
namespace apartment {
// The object context of the calling thread's request, through the thread's
// application-server object (created on first use). Raises when it cannot
// be obtained.
Q8_API std::shared_ptr<ObjectContext> GetObjectContext();
// The thread's resource loader, or nullptr.
Q8_API std::shared_ptr<ResourceLoader>& Loader();
// Calls Unload on the thread's loader (if any) and clears it; never raises.
Q8_API void EndLoader();
// Drops the thread's application-server object (tests).
Q8_API void Reset();
}  // namespace apartment

}  // namespace q8

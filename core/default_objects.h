// The project's own outside objects: what the registry creates for a ProgID
// when no host has installed a factory of its own.
//
// - "Z8AZERERUZU.Loader": CatalogueLoader, a resource loader over the text
//   catalogues of core/resources/loader/ (one JSON file per language,
//   embedded into the binary at build time). Keys are the simplified-Chinese
//   source texts; a key that the language's catalogue does not hold, or a
//   language without a catalogue, gives the key back unchanged.
// - "Tabrix.DataAccess": OpenDataAccess, under which no rights apply.
// - "QXErrorHandle.CheckADOError": SqlStateErrorJudge.
// - "MTxAS.AppServer.1": DefaultAppServer, whose object context records its
//   SetComplete and SetAbort calls so that tests can observe the request
//   frame, and creates objects through the registry.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/outside.h"

namespace q8::defaults {

// The object context outside COM+: records what the request frame asks of it.
class DefaultObjectContext : public ObjectContext {
 public:
  void SetComplete() override;
  void SetAbort() override;
  // An object by ProgID, through the registry.
  ObjectPtr CreateInstance(std::string_view prog_id) override;

  int complete_count() const { return complete_count_; }
  int abort_count() const { return abort_count_; }
  // "SetComplete", "SetAbort" and "CreateInstance:<ProgID>" in call order.
  const std::vector<std::string>& calls() const { return calls_; }
  void ClearCalls();

 private:
  int complete_count_ = 0;
  int abort_count_ = 0;
  std::vector<std::string> calls_;
};

// One per thread (the per-apartment state keeps it); always the same context.
class DefaultAppServer : public AppServer {
 public:
  std::shared_ptr<ObjectContext> GetObjectContext() override { return context_; }
  const std::shared_ptr<DefaultObjectContext>& context() const { return context_; }

 private:
  std::shared_ptr<DefaultObjectContext> context_ = std::make_shared<DefaultObjectContext>();
};

// The calling thread's object context when it is the default one, else
// nullptr. Creates the thread's application-server object if needed.
std::shared_ptr<DefaultObjectContext> CurrentDefaultContext();

class CatalogueLoader : public ResourceLoader {
 public:
  // The language starts empty: texts come back as their (source) keys until a
  // language is set.
  std::string LanguageID() const override { return language_; }
  void SetLanguageID(const std::string& id) override { language_ = id; }
  void SetResFileBaseName(const std::string& name) override { base_name_ = name; }
  std::string LoadString(std::string& key) override;
  void Unload() override { unloaded_ = true; }

  const std::string& res_file_base_name() const { return base_name_; }
  bool unloaded() const { return unloaded_; }

 private:
  std::string language_;
  std::string base_name_;
  bool unloaded_ = false;
};

// Language codes (upper case) that have a catalogue, sorted.
std::vector<std::string> CatalogueLanguages();
// The text of `key` in `language` (case-insensitive); nullopt when the
// language or the key is not in the catalogues.
std::optional<std::string> CatalogueText(std::string_view language, std::string_view key);

// No rights apply to anybody.
class OpenDataAccess : public DataAccess {
 public:
  bool IsUsed(std::string& dsn, int32_t& user_id) override;
  DictionaryPtr GetRowAccessInfo(std::string& dsn, int32_t& user_id, ItemListPtr& tables) override;
  // {"From": "", "Where": ""}.
  DictionaryPtr GetAccessDataSQL(ItemListPtr& maps, DictionaryPtr& rights) override;
  DictionaryPtr GetAccessDataSQL2(ItemListPtr& maps, DictionaryPtr& rights) override;
};

// An entry is a real error unless it is informational: SQLSTATE class "00"
// (success) or "01" (warning), or no SQLSTATE and number 0. Answers a Boolean.
class SqlStateErrorJudge : public ErrorJudge {
 public:
  Variant IsError(ado::ErrorEntry& entry) override;
};

// Hands every default factory to `add`; the registry calls it once.
void InstallDefaultObjects(const std::function<void(std::string_view, Registry::Factory)>& add);

}  // namespace q8::defaults

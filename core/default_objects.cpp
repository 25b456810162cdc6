// The project's default outside objects (see default_objects.h).
#include "core/default_objects.h"

#include <algorithm>
#include <map>
#include <nlohmann/json.hpp>

#include "core/embedded_catalogues.h"

namespace q8::defaults {

namespace {

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

// Language (upper case) → key → text, read once from the embedded files.
using Catalogues = std::map<std::string, std::map<std::string, std::string, std::less<>>>;

Catalogues ReadCatalogues() {
  Catalogues all;
  for (size_t i = 0; i < embedded::kCatalogueCount; ++i) {
    const embedded::File& f = embedded::kCatalogues[i];
    auto doc = nlohmann::json::parse(f.data, f.data + f.size);
    std::string language = Upper(doc.at("language").get<std::string>());
    auto& texts = all[language];
    for (const auto& [key, value] : doc.at("texts").items()) texts[key] = value.get<std::string>();
  }
  return all;
}

const Catalogues& AllCatalogues() {
  static const Catalogues catalogues = ReadCatalogues();
  return catalogues;
}

}  // namespace

// ---------------------------------------------------------------- context

void DefaultObjectContext::SetComplete() {
  ++complete_count_;
  calls_.emplace_back("SetComplete");
}

void DefaultObjectContext::SetAbort() {
  ++abort_count_;
  calls_.emplace_back("SetAbort");
}

ObjectPtr DefaultObjectContext::CreateInstance(std::string_view prog_id) {
  calls_.push_back("CreateInstance:" + std::string(prog_id));
  return Registry::Instance().Create(prog_id);
}

void DefaultObjectContext::ClearCalls() {
  complete_count_ = 0;
  abort_count_ = 0;
  calls_.clear();
}

std::shared_ptr<DefaultObjectContext> CurrentDefaultContext() {
  return std::dynamic_pointer_cast<DefaultObjectContext>(apartment::GetObjectContext());
}

// ---------------------------------------------------------------- loader

std::string CatalogueLoader::LoadString(std::string& key) {
  if (auto text = CatalogueText(language_, key)) return *text;
  return key;
}

std::vector<std::string> CatalogueLanguages() {
  std::vector<std::string> r;
  for (const auto& [language, texts] : AllCatalogues()) r.push_back(language);
  return r;
}

std::optional<std::string> CatalogueText(std::string_view language, std::string_view key) {
  const Catalogues& all = AllCatalogues();
  auto lang = all.find(Upper(language));
  if (lang == all.end()) return std::nullopt;
  auto it = lang->second.find(key);
  if (it == lang->second.end()) return std::nullopt;
  return it->second;
}

// ---------------------------------------------------------------- rights

bool OpenDataAccess::IsUsed(std::string&, int32_t&) { return false; }

DictionaryPtr OpenDataAccess::GetRowAccessInfo(std::string&, int32_t&, ItemListPtr&) {
  return std::make_shared<Dictionary>();
}

DictionaryPtr OpenDataAccess::GetAccessDataSQL(ItemListPtr&, DictionaryPtr&) {
  auto d = std::make_shared<Dictionary>();
  d->SetValue("From", Variant(""));
  d->SetValue("Where", Variant(""));
  return d;
}

DictionaryPtr OpenDataAccess::GetAccessDataSQL2(ItemListPtr& maps, DictionaryPtr& rights) {
  return GetAccessDataSQL(maps, rights);
}

// ---------------------------------------------------------------- judge

Variant SqlStateErrorJudge::IsError(ado::ErrorEntry& entry) {
  const std::string& state = entry.sql_state;
  if (state.size() >= 2 && state[0] == '0' && (state[1] == '0' || state[1] == '1'))
    return Variant(false);
  if (state.empty() && entry.number == 0) return Variant(false);
  return Variant(true);
}

// ---------------------------------------------------------------- install

void InstallDefaultObjects(const std::function<void(std::string_view, Registry::Factory)>& add) {
  add(progid::kResourceLoader, [] { return std::make_shared<CatalogueLoader>(); });
  add(progid::kDataAccess, [] { return std::make_shared<OpenDataAccess>(); });
  add(progid::kErrorJudge, [] { return std::make_shared<SqlStateErrorJudge>(); });
  add(progid::kAppServer, [] { return std::make_shared<DefaultAppServer>(); });
}

}  // namespace q8::defaults

// TranslateCached: translated batches kept by their text and catalog key.
//
// A report sends the same batch text again and again; its translation is
// kept in a bounded, least-recently-used table shared by all connections.
#include <list>
#include <mutex>
#include <string>
#include <unordered_map>

#include "drivers/sqlite/tsql/translator.h"

namespace q8::tsql {
namespace {

class TranslationCache {
 public:
  static constexpr size_t kCapacity = 256;

  std::shared_ptr<const Batch> Get(const std::string& key) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = map_.find(key);
    if (it == map_.end()) return nullptr;
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->second;
  }

  void Put(std::string key, std::shared_ptr<const Batch> batch) {
    std::lock_guard<std::mutex> lock(mu_);
    if (auto it = map_.find(key); it != map_.end()) {
      it->second->second = std::move(batch);
      lru_.splice(lru_.begin(), lru_, it->second);
      return;
    }
    lru_.emplace_front(std::move(key), std::move(batch));
    map_.emplace(lru_.front().first, lru_.begin());
    if (map_.size() > kCapacity) {
      map_.erase(lru_.back().first);
      lru_.pop_back();
    }
  }

 private:
  using Entry = std::pair<std::string, std::shared_ptr<const Batch>>;
  std::mutex mu_;
  std::list<Entry> lru_;
  std::unordered_map<std::string_view, std::list<Entry>::iterator> map_;
};

TranslationCache& Cache() {
  static TranslationCache* cache = new TranslationCache();
  return *cache;
}

}  // namespace

std::shared_ptr<const Batch> TranslateCached(std::string_view tsql, const Catalog& catalog,
                                             std::string_view catalog_key) {
  std::string key;
  key.reserve(catalog_key.size() + 1 + tsql.size());
  key.append(catalog_key);
  key.push_back('\0');
  key.append(tsql);
  if (auto hit = Cache().Get(key)) return hit;
  // Translated outside the lock: two threads may both translate a new batch
  // once; the later result replaces the earlier, which is equal.
  auto batch = Translate(tsql, catalog);
  Cache().Put(std::move(key), batch);
  return batch;
}

}  // namespace q8::tsql

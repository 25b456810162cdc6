// Dictionary and ItemList: the outside keyed-value and list objects.
#include "q8vantorpt/dictionary.h"

#include "core/text.h"
#include "q8vantorpt/error.h"

namespace q8 {

namespace {
// Keys compare without regard to ASCII letter case; other bytes (UTF-8 text
// included) compare exactly.
bool KeyEquals(std::string_view a, std::string_view b) { return EqualsNoCase(a, b); }
}  // namespace

std::vector<std::pair<std::string, Variant>>::const_iterator Dictionary::Find(
    std::string_view key) const {
  for (auto it = items_.begin(); it != items_.end(); ++it)
    if (KeyEquals(it->first, key)) return it;
  return items_.end();
}

Variant Dictionary::GetValue(std::string_view key) const {
  auto it = Find(key);
  return it == items_.end() ? Variant() : it->second;
}

void Dictionary::SetValue(std::string_view key, const Variant& value) {
  auto it = Find(key);
  if (it == items_.end()) {
    items_.emplace_back(std::string(key), value);
  } else {
    // The first spelling of the key stays.
    items_[static_cast<size_t>(it - items_.begin())].second = value;
  }
}

bool Dictionary::Exists(std::string_view key, const Variant&) const {
  return Find(key) != items_.end();
}

Variant Dictionary::GetValueOr(std::string_view key, const Variant& def) const {
  auto it = Find(key);
  if (it != items_.end()) return it->second;
  // A default passed as missing reads as Empty, which equals "".
  return def.IsMissing() ? Variant() : def;
}

bool Dictionary::Remove(std::string_view key) {
  auto it = Find(key);
  if (it == items_.end()) return false;
  items_.erase(it);
  return true;
}

const Variant& ItemList::Item(int32_t index) const {
  if (index < 0 || index >= Count()) RaisePlatform(9);
  return items_[static_cast<size_t>(index)];
}

}  // namespace q8

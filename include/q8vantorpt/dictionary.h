// The outside object types that the host and the component exchange:
// Dictionary (keyed values), ItemList (a list of values) and TextBuffer (the
// report builders' text accumulator).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "q8vantorpt/export.h"
#include "q8vantorpt/variant.h"

namespace q8 {

// A string-keyed map of Variants. Keys compare without regard to ASCII case;
// the first spelling of a key is kept. Entries keep their insertion order.
// Shared by std::shared_ptr between host and component.
class Q8_API Dictionary : public Object {
 public:
  // The stored value; Empty when the key is absent.
  Variant GetValue(std::string_view key) const;
  // Adds the key or overwrites its value.
  void SetValue(std::string_view key, const Variant& value);
  // True when the key is present. The second argument is accepted and unused.
  bool Exists(std::string_view key, const Variant& unused = Variant::Missing()) const;
  // The stored value, or `def` when the key is absent; a Missing default gives
  // Empty, which equals "".
  Variant GetValueOr(std::string_view key, const Variant& def) const;
  bool Remove(std::string_view key);
  size_t Count() const { return items_.size(); }
  const std::vector<std::pair<std::string, Variant>>& Items() const { return items_; }

 private:
  std::vector<std::pair<std::string, Variant>>::const_iterator Find(std::string_view key) const;
  std::vector<std::pair<std::string, Variant>> items_;
};
using DictionaryPtr = std::shared_ptr<Dictionary>;

// An ordered list of Variants.
class Q8_API ItemList : public Object {
 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void Add(Variant item) { items_.push_back(std::move(item)); }
  // REQUIRES: 0 <= index < Count(); raises 9 (subscript out of range) otherwise.
  const Variant& Item(int32_t index) const;
  const std::vector<Variant>& Items() const { return items_; }

 private:
  std::vector<Variant> items_;
};
using ItemListPtr = std::shared_ptr<ItemList>;

// One growing text. Append adds exactly the given string; GetText returns the
// concatenation of everything appended, in order. Append is amortized O(1).
class Q8_API TextBuffer : public Object {
 public:
  void Append(std::string_view text) { text_.append(text); }
  const std::string& GetText() const { return text_; }
  void Reserve(size_t n) { text_.reserve(n); }

 private:
  std::string text_;
};
using TextBufferPtr = std::shared_ptr<TextBuffer>;

}  // namespace q8

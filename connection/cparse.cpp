// CParse: reads the connection descriptor.
//
// The reading is deliberately literal: a key runs to the next "=" wherever it
// is, a value to the next ";" (or, when it opens with "{", to the next "}"),
// and an empty key ends the descriptor. Hosts have always written descriptors
// against exactly this behaviour, odd corners included (see the header).
#include "connection/cparse.h"

#include <unordered_set>

#include "core/text.h"
#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"
#include "q8vantorpt/variant.h"

namespace q8 {

namespace {

// Only the space character is trimmed; tabs and line breaks are ordinary.
std::string_view TrimSpacesView(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string TrimSpaces(std::string_view s) { return std::string(TrimSpacesView(s)); }

// Takes the text before the first `separator` out of `rest`, which keeps what
// follows the separator. Without a separator the whole remainder is taken.
// `rest` is a view that only moves forward, so that a descriptor of many
// entries is read in time proportional to its length.
std::string_view TakeUpTo(std::string_view& rest, char separator) {
  size_t pos = rest.find(separator);
  if (pos == std::string_view::npos) {
    std::string_view all = rest;
    rest = {};
    return all;
  }
  std::string_view piece = rest.substr(0, pos);
  rest.remove_prefix(pos + 1);
  return piece;
}

std::string ReadKey(std::string_view& rest) { return TrimSpaces(TakeUpTo(rest, '=')); }

std::string ReadValue(std::string_view& rest) {
  rest = TrimSpacesView(rest);
  std::string_view value;
  if (!rest.empty() && rest.front() == '{') {
    rest.remove_prefix(1);
    value = TakeUpTo(rest, '}');
    // Whatever stands between "}" and the next ";" is dropped.
    TakeUpTo(rest, ';');
  } else {
    value = TakeUpTo(rest, ';');
  }
  return TrimSpaces(value);
}

}  // namespace

CParse::~CParse() {
  map_.reset();
  // Releasing a parser ends the thread's resource loader; the next localized
  // text creates a new one.
  apartment::EndLoader();
}

std::string CParse::GetProperty(std::string_view name) const {
  if (!map_) RaisePlatform(err::kObjectNotSet);
  for (const auto& [key, value] : *map_)
    if (EqualsNoCase(key, name)) return value;
  // The number is the platform's; the text names the entry that is missing
  // and the entries the descriptor has, so a misspelt key shows.
  std::string description = StandardDescription(err::kInvalidProcedureCall) +
                            ": the connection descriptor has no entry \"" + std::string(name) +
                            "\"";
  if (map_->empty()) {
    description += " (it has no entries at all)";
  } else {
    description += " (its entries: ";
    for (size_t i = 0; i < map_->size(); ++i) {
      if (i > 0) description += ", ";
      description += (*map_)[i].first;
    }
    description += ")";
  }
  Raise(err::kInvalidProcedureCall, std::move(description));
}

int32_t CParse::UserID() const {
  const std::string text = GetProperty("UserID");
  try {
    return Variant(text).ToLong();
  } catch (const Error& e) {
    Raise(e.number(), e.description() + ": the connection descriptor's UserID \"" + text +
                          "\" is not a 32-bit whole number");
  }
}

bool CParse::ParseString(const std::string& text) {
  descriptor_ = text;
  map_.emplace();
  std::string_view rest = descriptor_;
  // The keys read so far, folded, for the repeated-key test.
  std::unordered_set<std::string> seen;
  for (;;) {
    // The key is read before the value and tested after both, so the value
    // that follows an empty key is consumed and dropped.
    std::string key = ReadKey(rest);
    std::string value = ReadValue(rest);
    if (key.empty()) break;
    std::string folded = key;
    for (char& c : folded) c = LowerAscii(c);
    if (!seen.insert(std::move(folded)).second) {
      Raise(err::kKeyAlreadyPresent, StandardDescription(err::kKeyAlreadyPresent) +
                                         ": the connection descriptor gives the key \"" + key +
                                         "\" more than once");
    }
    map_->emplace_back(std::move(key), std::move(value));
  }
  return true;
}

bool CParse::IsIndustry() const { return ToUpperAscii(GetProperty("AcctType")) == "GY"; }

std::string CParse::GetQXObjectName(const std::string& name) const {
  std::string edition = ToUpperAscii(GetProperty("Q8Version"));
  // Only the "XEE" edition has objects of its own names; "XSE", "XUE" and any
  // other code use the plain name.
  if (!edition.empty() && FindNoCase(name, edition) == std::string_view::npos && edition == "XEE")
    return edition + "_" + name;
  return name;
}

}  // namespace q8

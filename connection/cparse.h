// CParse: the reader of the connection descriptor `sDsn`.
//
// The descriptor is a sequence of entries "key=value;" (the last ";" may be
// left out), values optionally in braces so they can hold ";" and "=", spaces
// around keys and values removed, keys unique and matched without regard to
// case. ParseString turns it into a map; one read operation per known key.
//
// Releasing a parser ends the calling thread's resource loader.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q8 {

class CParse {
 public:
  CParse() = default;
  ~CParse();
  CParse(const CParse&) = delete;
  CParse& operator=(const CParse&) = delete;

  // The text last passed to ParseString, unchanged; "" before the first call.
  const std::string& PropsString() const { return descriptor_; }
  std::string UserName() const { return GetProperty("UserName"); }
  std::string LanguageID() const { return GetProperty("Language"); }
  // "UserID" as a 32-bit integer: 13 when not a number, 6 when out of range.
  int32_t UserID() const;
  std::string ConDBMSName() const { return GetProperty("DBMS Name"); }
  std::string ConDBMSVersion() const { return GetProperty("DBMS Version"); }
  std::string ConStr() const { return GetProperty("ConnectString"); }
  // The value under `name` (case-insensitive). Raises 5 when absent (the
  // description names the missing entry and lists the entries there are) and
  // 91 before any ParseString.
  std::string GetProperty(std::string_view name) const;
  // Parses the descriptor; returns true. Raises 457 on a repeated key (the
  // description names it), with the entries read so far kept.
  bool ParseString(const std::string& text);
  // True when "AcctType" upper-cased is "GY".
  bool IsIndustry() const;
  // The object name adjusted for the product edition ("Q8Version").
  std::string GetQXObjectName(const std::string& name) const;

  // The parsed entries in order (tests, tools).
  const std::vector<std::pair<std::string, std::string>>* Entries() const {
    return map_ ? &*map_ : nullptr;
  }

 private:
  std::string descriptor_;
  std::optional<std::vector<std::pair<std::string, std::string>>> map_;
};

}  // namespace q8

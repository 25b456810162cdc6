// The late-bound surface: calls by method name or by dispatch identifier.
//
// A host that binds late calls Data and Rpt methods by name (compared without
// regard to case) or by DISPID, passing Variants. Arguments are passed by
// reference, so an in/out argument is written back into the caller's Variant.
// Optional arguments may be left out or passed as Missing.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "q8vantorpt/export.h"
#include "q8vantorpt/variant.h"

namespace q8 {

template <class Self>
struct MethodEntry {
  int32_t dispid;
  std::string_view name;
  int min_args;
  int max_args;
  // Runs the method; `args` has exactly max_args entries (missing ones are
  // Variant::Missing()), written back for in/out parameters.
  std::function<Variant(Self&, std::span<Variant>)> call;
};

// Looks up and runs a method of `table`. Raises 438 for an unknown name or
// DISPID and 450 for a wrong number of arguments.
template <class Self>
Variant InvokeMethod(const std::vector<MethodEntry<Self>>& table, Self& self, std::string_view name,
                     std::span<Variant> args);
template <class Self>
Variant InvokeMethod(const std::vector<MethodEntry<Self>>& table, Self& self, int32_t dispid,
                     std::span<Variant> args);

// Implementation detail shared by both overloads.
namespace dispatch_detail {
Q8_API bool EqualsNoCase(std::string_view a, std::string_view b);
[[noreturn]] Q8_API void Raise(int32_t number);
}  // namespace dispatch_detail

template <class Self>
Variant CallEntry(const MethodEntry<Self>& m, Self& self, std::span<Variant> args) {
  if (static_cast<int>(args.size()) < m.min_args || static_cast<int>(args.size()) > m.max_args)
    dispatch_detail::Raise(450);
  std::vector<Variant> padded;
  std::span<Variant> use = args;
  if (static_cast<int>(args.size()) < m.max_args) {
    // Optional arguments left out: pad with Missing, then copy back the given ones.
    padded.assign(args.begin(), args.end());
    padded.resize(static_cast<size_t>(m.max_args), Variant::Missing());
    use = padded;
    Variant r = m.call(self, use);
    for (size_t i = 0; i < args.size(); ++i) args[i] = padded[i];
    return r;
  }
  return m.call(self, use);
}

template <class Self>
Variant InvokeMethod(const std::vector<MethodEntry<Self>>& table, Self& self, std::string_view name,
                     std::span<Variant> args) {
  for (const auto& m : table)
    if (dispatch_detail::EqualsNoCase(m.name, name)) return CallEntry(m, self, args);
  dispatch_detail::Raise(438);
}

template <class Self>
Variant InvokeMethod(const std::vector<MethodEntry<Self>>& table, Self& self, int32_t dispid,
                     std::span<Variant> args) {
  for (const auto& m : table)
    if (m.dispid == dispid) return CallEntry(m, self, args);
  dispatch_detail::Raise(438);
}

}  // namespace q8

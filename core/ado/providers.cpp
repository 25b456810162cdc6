// Connection strings and the provider registry.
#include <algorithm>
#include <cctype>
#include <mutex>

#include "core/ado/cancel.h"
#include "core/ado/layer_errors.h"
#include "core/ado/provider.h"
#include "core/text.h"

namespace q8::ado {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

}  // namespace

ConnectionString::ConnectionString(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    // Key: up to "=" (or to ";" for an entry without a value).
    size_t eq = text.find_first_of("=;", i);
    if (eq == std::string_view::npos || text[eq] == ';') {
      std::string_view lone = Trim(text.substr(i, eq == std::string_view::npos ? eq : eq - i));
      if (!lone.empty()) items_.emplace_back(std::string(lone), std::string());
      if (eq == std::string_view::npos) break;
      i = eq + 1;
      continue;
    }
    std::string key(Trim(text.substr(i, eq - i)));
    i = eq + 1;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::string value;
    char open = i < text.size() ? text[i] : '\0';
    if (open == '{' || open == '"' || open == '\'') {
      // A quoted value may hold ";" and "="; a doubled closing character
      // stands for itself.
      char close = open == '{' ? '}' : open;
      ++i;
      while (i < text.size()) {
        if (text[i] == close) {
          if (i + 1 < text.size() && text[i + 1] == close) {
            value += close;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      size_t semi = text.find(';', i);
      i = semi == std::string_view::npos ? text.size() : semi + 1;
    } else {
      size_t semi = text.find(';', i);
      size_t end = semi == std::string_view::npos ? text.size() : semi;
      value = std::string(Trim(text.substr(i, end - i)));
      i = semi == std::string_view::npos ? text.size() : semi + 1;
    }
    if (!key.empty()) items_.emplace_back(std::move(key), std::move(value));
  }
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  // The last entry of a repeated key wins.
  for (auto it = items_.rbegin(); it != items_.rend(); ++it)
    if (EqualsNoCase(it->first, key)) return it->second;
  return std::nullopt;
}

namespace {

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}

std::vector<ProviderInfo>& Providers() {
  static std::vector<ProviderInfo> providers;
  return providers;
}

}  // namespace

void RegisterProvider(ProviderInfo info) {
  std::lock_guard<std::mutex> lock(RegistryMutex());
  auto& list = Providers();
  // Registering a name again replaces the earlier entry.
  list.erase(std::remove_if(list.begin(), list.end(),
                            [&](const ProviderInfo& p) { return EqualsNoCase(p.name, info.name); }),
             list.end());
  list.push_back(std::move(info));
}

std::unique_ptr<ProviderConnection> OpenProvider(const std::string& connection_string,
                                                 int login_timeout_seconds) {
  ConnectionString parsed(connection_string);
  ProviderInfo chosen;
  {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    const auto& list = Providers();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
      if (it->accepts && it->accepts(parsed)) {
        chosen = *it;
        break;
      }
    }
  }
  if (!chosen.open) {
    std::string name = parsed.Get("Provider").value_or("");
    std::string text = LayerText(err::kAdoProviderNotFound);
    if (!name.empty()) text += " (Provider=" + name + ")";
    RaiseLayer(err::kAdoProviderNotFound, kConnectionSource, text);
  }
  // A connection opened for a host's cancellable work follows its token.
  CancelTokenPtr token = CurrentCancelToken();
  if (token && token->cancelled()) RaiseCancelled();
  return FollowToken(chosen.open(connection_string, login_timeout_seconds), std::move(token));
}

}  // namespace q8::ado

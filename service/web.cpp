// The viewer's files and their content types.
#include "service/web.h"

#include <string>

namespace q8::service {

std::span<const WebFile> WebFiles() { return {kWebFiles, kWebFileCount}; }

const char* WebContentType(std::string_view name) {
  const size_t dot = name.rfind('.');
  const std::string_view ext = dot == std::string_view::npos ? "" : name.substr(dot + 1);
  if (ext == "html") return "text/html; charset=utf-8";
  if (ext == "js") return "text/javascript; charset=utf-8";
  if (ext == "css") return "text/css; charset=utf-8";
  if (ext == "svg") return "image/svg+xml";
  if (ext == "png") return "image/png";
  if (ext == "ico") return "image/x-icon";
  if (ext == "json") return "application/json; charset=utf-8";
  return "application/octet-stream";
}

}  // namespace q8::service

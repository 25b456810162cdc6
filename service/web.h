// The web report viewer: plain files of service/web/, embedded into the
// program when it is built, so the service serves exactly the files of the
// repository and nothing from the file system (no path can reach outside).
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace q8::service {

struct WebFile {
  const char* name;  // "index.html", "viewer.js" …
  const unsigned char* data;
  size_t size;
};

// The files of web/, embedded at build time (cmake/embed_files.cmake).
extern const WebFile kWebFiles[];
extern const size_t kWebFileCount;

// Every file of the viewer.
std::span<const WebFile> WebFiles();
// The content type of a file name by its extension.
const char* WebContentType(std::string_view name);

}  // namespace q8::service

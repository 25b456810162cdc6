// The loader's text catalogues, embedded at build time from
// core/resources/loader/*.json (see cmake/embed_files.cmake).
#pragma once

#include <cstddef>

namespace q8::defaults::embedded {

struct File {
  const char* name;  // file name without folder, e.g. "EN.json"
  const unsigned char* data;
  size_t size;
};

extern const File kCatalogues[];
extern const size_t kCatalogueCount;

}  // namespace q8::defaults::embedded

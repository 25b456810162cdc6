// Localized texts through the thread's resource loader.
#include "component/local_text.h"

#include "q8vantorpt/error.h"
#include "q8vantorpt/outside.h"

namespace q8 {

namespace {

constexpr std::string_view kSegmentSeparator = "^|^";
constexpr std::string_view kKeyMarker = "~$~";
constexpr const char* kResFileBaseName = "V8IROVUZOR";

std::string TrimSpaces(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string UpperAscii(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The thread's loader for `language_id`: created when there is none, and
// replaced when it serves another language (compared upper-cased).
ResourceLoader& LoaderFor(const std::string& language_id) {
  std::shared_ptr<ResourceLoader>& loader = apartment::Loader();
  if (!loader) loader = Registry::Instance().CreateAs<ResourceLoader>(progid::kResourceLoader);
  if (UpperAscii(loader->LanguageID()) != UpperAscii(language_id)) {
    loader->Unload();
    loader.reset();
    loader = Registry::Instance().CreateAs<ResourceLoader>(progid::kResourceLoader);
    loader->SetLanguageID(language_id);
    loader->SetResFileBaseName(kResFileBaseName);
  }
  return *loader;
}

}  // namespace

std::string LoadLocalText(std::string text, const std::string& language_id) {
  // The caller's pending error (often the very error being reported) must
  // come out of this call as it went in, whatever happens here.
  const ErrObject saved = Err();
  std::string result;
  try {
    ResourceLoader& loader = LoaderFor(language_id);
    text = TrimSpaces(text);
    if (text.find(kSegmentSeparator) != std::string::npos) {
      result = ExpandLocalText(text, language_id);
    } else {
      std::string key = text;
      result = loader.LoadString(key);
    }
  } catch (...) {
    // A failed lookup gives the text back as it stood (trimmed if trimming
    // had already happened).
    result = text;
  }
  Err() = saved;
  return result;
}

std::string ExpandLocalText(const std::string& text, const std::string& language_id) {
  std::string result;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(kSegmentSeparator, start);
    std::string segment =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (segment.compare(0, kKeyMarker.size(), kKeyMarker) == 0) {
      result += LoadLocalText(segment.substr(kKeyMarker.size()), language_id);
    } else {
      result += segment;
    }
    if (end == std::string::npos) break;
    start = end + kSegmentSeparator.size();
  }
  return result;
}

}  // namespace q8

// The error-handler styles of the public methods.
#include "component/handlers.h"

#include <new>
#include <stdexcept>

#include "component/local_text.h"
#include "q8vantorpt/outside.h"

namespace q8::handler {

namespace {
constexpr const char* kSource = "Q8VANTORpt";
// E_FAIL: the automation number of an unspecified failure.
constexpr int32_t kUnspecifiedFailure = static_cast<int32_t>(0x80004005u);

// Records the report in the thread's error object and raises it.
[[noreturn]] void RaiseReport(Error report) {
  Err().Set(report);
  throw report;
}
}  // namespace

Error Caught() {
  try {
    throw;
  } catch (const Error& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return Error(7, kSource, StandardDescription(7));
  } catch (const std::out_of_range& e) {
    return Error(9, kSource, e.what());
  } catch (const std::invalid_argument& e) {
    return Error(err::kInvalidProcedureCall, kSource, e.what());
  } catch (const std::exception& e) {
    return Error(kUnspecifiedFailure, kSource, e.what());
  } catch (...) {
    return Error(kUnspecifiedFailure, kSource, "Unspecified error");
  }
}

void Localized(const std::string& language, std::string_view tag) {
  Err().Set(Caught());
  // The prefix is localized first; LoadLocalText leaves the pending error as
  // it was, so the description read afterwards is still the caught one.
  std::string source = LoadLocalText(std::string(text::kDataErrorPrefix), language);
  source.append(tag);
  RaiseReport(Error(err::kComponent, std::move(source), Err().description));
}

void Appended(std::string_view tag) {
  Error caught = Caught();
  std::string source = caught.source();
  source.append(tag);
  RaiseReport(Error(err::kComponent, std::move(source), caught.description()));
}

void LocalizedSource(const std::string& language, std::string_view tag) {
  Error caught = Caught();
  Err().Set(caught);
  apartment::GetObjectContext()->SetAbort();
  std::string source = LoadLocalText(caught.source(), language);
  source.append(tag);
  RaiseReport(Error(caught.number(), std::move(source), caught.description()));
}

void Reraise() { RaiseReport(Caught()); }

void Swallow() { Err().Set(Caught()); }

}  // namespace q8::handler

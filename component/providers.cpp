// Registration of the data-access layer's built-in providers.
#include "component/providers.h"

#include <mutex>

#include "drivers/sqlite/schema.h"
#ifdef Q8_WITH_ODBC
#include "drivers/odbc/odbc_provider.h"
#endif

namespace q8 {

void RegisterBuiltinProviders() {
  static std::once_flag once;
  std::call_once(once, [] {
#ifdef Q8_WITH_ODBC
    odbc::RegisterProvider();
#endif
    // Registered last, so asked first: "Provider=SQLite" is unambiguous.
    sqlite::RegisterProvider();
  });
}

}  // namespace q8

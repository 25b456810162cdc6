// PLACEHOLDER: replaced by the ODBC driver.
#include "drivers/odbc/odbc_provider.h"
namespace q8::odbc {
void RegisterProvider() {}
}  // namespace q8::odbc

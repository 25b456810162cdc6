// PLACEHOLDER: replaced by the embedded driver.
#include "drivers/sqlite/schema.h"
namespace q8::sqlite {
void RegisterProvider() {}
}  // namespace q8::sqlite

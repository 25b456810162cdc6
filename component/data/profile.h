// The system profile t_SystemProfile: settings by category and key.
#pragma once

#include <string>

#include "q8vantorpt/variant.h"

namespace q8 {

class CDataSource;

// The "FValue" of the row (category, key), read with a parameterised
// statement on a new committed-read connection of `data_source`, as stored.
// `def` when there is no row, or "" when `def` is Missing. Note the order:
// key before category. No handler: failures pass unchanged.
Variant GetSystemProfileValue(const CDataSource& data_source, const std::string& key,
                              const std::string& category, const Variant& def = Variant::Missing());

}  // namespace q8

// The data-access layer's built-in providers, registered by the component,
// which is the layer that links the drivers.
#pragma once

namespace q8 {

// Registers the built-in providers (embedded SQLite, and ODBC when built).
// Data, Rpt and the tool call it before their first open. Safe to call again.
void RegisterBuiltinProviders();

}  // namespace q8

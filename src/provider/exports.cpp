// The provider module's exported entry points. Everything else in the module is hidden.
#include "provider/gunknown.h"

namespace {
// Stands in for the library entry point the platform calls on load.
[[maybe_unused]] __attribute__((constructor)) void OnLoad() { DllEntryPoint(nullptr, 1, nullptr); }
}  // namespace

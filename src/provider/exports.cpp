// The provider module's exported entry points. Everything else in the module is hidden.
#include "provider/gunknown.h"

#if defined(_WIN32)
// The platform calls the module's entry point itself.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  return DllEntryPoint(instance, reason, reserved);
}
#else
namespace {
// Stands in for the entry point the platform calls when it loads the module.
[[maybe_unused]] __attribute__((constructor)) void OnLoad() { DllEntryPoint(nullptr, 1, nullptr); }
}  // namespace
#endif

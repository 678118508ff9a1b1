// The provider module's exported entry points. Everything else in the module is hidden.
#include "config/serviceentry.h"
#include "provider/cprovider.h"
#include "provider/gunknown.h"

PX_EXPORT HRESULT STDMETHODCALLTYPE ABProviderInit(HINSTANCE hInstance, LPMALLOC lpMalloc,
                                                   LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                                                   LPFREEBUFFER lpFreeBuffer, ULONG ulFlags, ULONG ulMAPIVer,
                                                   ULONG* lpulProviderVer, LPABPROVIDER* lppABProvider) {
  return ProviderInit(hInstance, lpMalloc, lpAllocateBuffer, lpAllocateMore, lpFreeBuffer, ulFlags, ulMAPIVer,
                      lpulProviderVer, lppABProvider);
}

#if !defined(_WIN32)
// The same function under the decorated name some MAPI versions look for.
PX_EXPORT HRESULT STDMETHODCALLTYPE _ABProviderInit(HINSTANCE, LPMALLOC, LPALLOCATEBUFFER, LPALLOCATEMORE, LPFREEBUFFER,
                                                    ULONG, ULONG, ULONG*, LPABPROVIDER*)
    __attribute__((alias("ABProviderInit")));
#endif

PX_EXPORT HRESULT STDMETHODCALLTYPE ABServiceEntry(HINSTANCE hInstance, LPMALLOC lpMalloc, LPMAPISUP lpMAPISup,
                                                   ULONG_PTR ulUIParam, ULONG ulFlags, ULONG ulContext, ULONG cValues,
                                                   LPSPropValue lpProps, LPPROVIDERADMIN lpProviderAdmin,
                                                   LPMAPIERROR* lppMapiError) {
  return ServiceEntry(hInstance, lpMalloc, lpMAPISup, ulUIParam, ulFlags, ulContext, cValues, lpProps, lpProviderAdmin,
                      lppMapiError);
}

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

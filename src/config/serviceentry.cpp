#include "config/serviceentry.h"

#include <new>

#include "backend/ldapbe.h"
#include "mapiptr.h"
#include "provider/guard.h"
#include "provider/gunknown.h"

HRESULT STDMETHODCALLTYPE ServiceEntry(HINSTANCE hInstance, LPMALLOC, LPMAPISUP lpMAPISup, ULONG_PTR, ULONG ulFlags,
                                       ULONG ulContext, ULONG cValues, LPSPropValue lpProps,
                                       LPPROVIDERADMIN lpProviderAdmin, LPMAPIERROR*) {
  if (!lpMAPISup) return MAPI_E_INVALID_PARAMETER;
  LPALLOCATEBUFFER allocateBuffer = nullptr;
  LPALLOCATEMORE allocateMore = nullptr;
  LPFREEBUFFER freeBuffer = nullptr;
  HRESULT hr = lpMAPISup->GetMemAllocRoutines(&allocateBuffer, &allocateMore, &freeBuffer);
  if (FAILED(hr)) return hr;
  SetMemoryRoutines(allocateBuffer, allocateMore, freeBuffer);
  if (ulFlags & MAPI_UNICODE) return MAPI_E_BAD_CHARWIDTH;

  switch (ulContext) {
    case MSG_SERVICE_INSTALL:
    case MSG_SERVICE_DELETE:
    case MSG_SERVICE_UNINSTALL:
    case MSG_SERVICE_PROVIDER_CREATE:
    case MSG_SERVICE_PROVIDER_DELETE: return S_OK;
    case MSG_SERVICE_CREATE:
    case MSG_SERVICE_CONFIGURE: break;
    default: return MAPI_E_NO_SUPPORT;
  }
  if (!lpProviderAdmin) return MAPI_E_INVALID_PARAMETER;

  hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    // No UID names the service's own section.
    ComPtr<IProfSect> section;
    hr = lpProviderAdmin->OpenProfileSection(nullptr, nullptr, MAPI_MODIFY, section.put());
    if (FAILED(hr)) RaiseFailure("ERROR: getting the profile object");
    if (cValues > 0 && lpProps) {
      // Values MAPI passes that the section refuses are reported: a client that configures the
      // service without a dialog would otherwise believe settings were stored that were not.
      hr = section->SetProps(cValues, lpProps, nullptr);
      if (FAILED(hr)) RaiseFailure("ERROR: Setting the profile properties");
      section->SaveChanges(KEEP_OPEN_READWRITE);
    }
    hr = S_OK;
    if (!(ulFlags & (SERVICE_UI_ALWAYS | SERVICE_UI_ALLOWED))) return;
    ComPtr<ABLDAPBackeEnd> backend(new (std::nothrow) ABLDAPBackeEnd(hInstance, lpMAPISup));
    if (!backend) {
      hr = E_OUTOFMEMORY;
      RaiseFailure("Out of memory");
    }
    hr = backend->Configure(section.get());
  });
}

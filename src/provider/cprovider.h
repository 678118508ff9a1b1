// The provider entry point and the provider object MAPI logs on through. One LDAP backend
// serves every logon of the process.
#pragma once

#include "backend/ldapbe.h"
#include "mapispi.h"
#include "provider/gunknown.h"

// The one backend of the process: null until the first Logon, and again once the backend is
// destroyed, whichever Release destroyed it.
extern ABLDAPBackeEnd* SharedBackend;
// Serialises the check-and-create of SharedBackend; taken before any object's own lock.
extern CRITICAL_SECTION LogonLock;

class CABProvider : public IABProvider, public CUnknown {
 public:
  explicit CABProvider(HINSTANCE instance);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, LPVOID* out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Shutdown(ULONG* lpulFlags) override;
  HRESULT STDMETHODCALLTYPE Logon(LPMAPISUP lpMAPISup, ULONG_PTR ulUIParam, LPSTR lpszProfileName, ULONG ulFlags,
                                  ULONG* lpulcbSecurity, LPBYTE* lppbSecurity, LPMAPIERROR* lppMAPIError,
                                  LPABLOGON* lppABLogon) override;
  ~CABProvider() override;

  HINSTANCE Instance;

 private:
  // References on SharedBackend that this object's Logons took and its Shutdown gives back.
  LONG backendReferences_ = 0;
};

// The body of the exported ABProviderInit (and _ABProviderInit).
HRESULT STDMETHODCALLTYPE ProviderInit(HINSTANCE hInstance, LPMALLOC lpMalloc, LPALLOCATEBUFFER lpAllocateBuffer,
                                       LPALLOCATEMORE lpAllocateMore, LPFREEBUFFER lpFreeBuffer, ULONG ulFlags,
                                       ULONG ulMAPIVer, ULONG* lpulProviderVer, LPABPROVIDER* lppABProvider);

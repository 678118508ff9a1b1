#include "provider/cprovider.h"

#include <atomic>
#include <new>

#include "backend/rabguid.h"
#include "provider/cablogon.h"
#include "provider/guard.h"
#include "resources/detailsdialog.h"
#include "trace/trace.h"

ABLDAPBackeEnd* SharedBackend = nullptr;
CRITICAL_SECTION LogonLock;

namespace {
// The lock exists before any Logon can run and is never torn down: a logon object may still be
// released while the process exits.
[[maybe_unused]] const bool logonLockReady = [] {
  InitializeCriticalSection(&LogonLock);
  return true;
}();

// The backend Logon makes. It empties SharedBackend when it dies, so that a Release other than
// Shutdown's (a logon object released after the provider's Shutdown, say) never leaves
// SharedBackend pointing at a destroyed backend.
class SharedLDAPBackEnd final : public ABLDAPBackeEnd {
 public:
  using ABLDAPBackeEnd::ABLDAPBackeEnd;
  ~SharedLDAPBackEnd() override {
    EnterCriticalSection(&LogonLock);
    if (SharedBackend == this) SharedBackend = nullptr;
    LeaveCriticalSection(&LogonLock);
  }
};

// Adds a reference unless the count has already reached zero; a backend at zero is being
// destroyed on another thread, which waits for LogonLock before it lets go of its memory.
bool AddRefUnlessDying(ABLDAPBackeEnd* backend) {
  std::atomic_ref<LONG> count(backend->RefCount);
  LONG seen = count.load();
  while (seen > 0) {
    if (count.compare_exchange_weak(seen, seen + 1)) return true;
  }
  return false;
}

// The reference count as the trace lines show it.
int TraceCount(const CUnknown& object, int change) {
  return static_cast<int>(std::atomic_ref<const LONG>(object.RefCount).load()) + change;
}
}  // namespace

HRESULT STDMETHODCALLTYPE ProviderInit(HINSTANCE hInstance, LPMALLOC lpMalloc, LPALLOCATEBUFFER lpAllocateBuffer,
                                       LPALLOCATEMORE lpAllocateMore, LPFREEBUFFER lpFreeBuffer, ULONG /*ulFlags*/,
                                       ULONG ulMAPIVer, ULONG* lpulProviderVer, LPABPROVIDER* lppABProvider) {
  TraceText("ABProviderInit");
  if (!lppABProvider || !lpulProviderVer) return MAPI_E_INVALID_PARAMETER;
  *lppABProvider = nullptr;
  // The provider keeps no reference to MAPI's allocator and never uses it.
  if (lpMalloc) lpMalloc->Release();
  *lpulProviderVer = CURRENT_SPI_VERSION;
  if (ulMAPIVer < CURRENT_SPI_VERSION) return MAPI_E_VERSION;
  SetMemoryRoutines(lpAllocateBuffer, lpAllocateMore, lpFreeBuffer);
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    // The details page's dialog template, found by the module's handle as its resources are.
    RegisterModuleResources(hInstance);
    CABProvider* provider = new (std::nothrow) CABProvider(hInstance);
    if (!provider) {
      hr = E_OUTOFMEMORY;
      return;
    }
    *lppABProvider = provider;
    hr = S_OK;
  });
}

CABProvider::CABProvider(HINSTANCE instance) : Instance(instance) { TraceObject("CABProvider::CABProvider", this); }

CABProvider::~CABProvider() { TraceObject("CABProvider::~CABProvider", this); }

HRESULT STDMETHODCALLTYPE CABProvider::QueryInterface(REFIID iid, LPVOID* out) {
  TraceObject("CABProvider::QueryInterface", this);
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid != IID_IUnknown && iid != IID_IABProvider) return MAPI_E_INTERFACE_NOT_SUPPORTED;
  ObjectLock lock(*this);
  *out = static_cast<IABProvider*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE CABProvider::AddRef() {
  TraceObject("CABProvider::AddRef - ref = %d", this, TraceCount(*this, 1));
  return CUnknown::AddRef();
}

ULONG STDMETHODCALLTYPE CABProvider::Release() {
  TraceObject("CABProvider::Release - ref = %d", this, TraceCount(*this, -1));
  return CUnknown::Release();
}

HRESULT STDMETHODCALLTYPE CABProvider::Shutdown(ULONG* /*lpulFlags*/) {
  TraceObject("CABProvider::Shutdown", this);
  EnterCriticalSection(&LogonLock);
  // Only the references this object's Logons took: a provider object that never logged on
  // must not take another one's reference away.
  for (; backendReferences_ > 0 && SharedBackend; --backendReferences_) {
    ABLDAPBackeEnd* backend = SharedBackend;
    if (backend->Release() == 0 && SharedBackend == backend) SharedBackend = nullptr;
  }
  backendReferences_ = 0;
  LeaveCriticalSection(&LogonLock);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CABProvider::Logon(LPMAPISUP lpMAPISup, ULONG_PTR /*ulUIParam*/, LPSTR /*lpszProfileName*/,
                                             ULONG /*ulFlags*/, ULONG* lpulcbSecurity, LPBYTE* lppbSecurity,
                                             LPMAPIERROR* lppMAPIError, LPABLOGON* lppABLogon) {
  TraceObject("CABProvider::Logon", this);
  TraceObject("CABProvider::Logon", this);
  if (!lpMAPISup || !lpulcbSecurity || !lppbSecurity || !lppMAPIError || !lppABLogon) return MAPI_E_INVALID_PARAMETER;
  HRESULT hr = MAPI_E_NO_SUPPORT;
  return Guarded(hr, [&] {
    *lpulcbSecurity = 0;
    *lppbSecurity = nullptr;
    *lppMAPIError = nullptr;
    *lppABLogon = nullptr;

    ABLDAPBackeEnd* backend = nullptr;
    {
      EnterCriticalSection(&LogonLock);
      struct Leave {
        ~Leave() { LeaveCriticalSection(&LogonLock); }
      } leave;
      if (SharedBackend && AddRefUnlessDying(SharedBackend)) {
        backend = SharedBackend;
      } else {
        SharedBackend = new (std::nothrow) SharedLDAPBackEnd(Instance, lpMAPISup);
        if (!SharedBackend) {
          hr = E_OUTOFMEMORY;
          RaiseFailure("Out of memory");
        }
        // A backend whose settings or directory failed to load stays shared with the reference
        // it was born with; later Logons take it as it is.
        hr = SharedBackend->LoadSettings();
        if (FAILED(hr)) RaiseFailure("Unable to load provider data");
        if (!SharedBackend->LoadDirectory()) {
          hr = E_OUTOFMEMORY;
          RaiseFailure("Out of memory");
        }
        backend = SharedBackend;
      }
      ++backendReferences_;
    }

    ComPtr<CABLogon> logon(new (std::nothrow) CABLogon(lpMAPISup, backend));
    if (!logon) {
      hr = E_OUTOFMEMORY;
      RaiseFailure("Out of memory");
    }
    // The logon object made for a Logon that fails here is released with `logon`.
    hr = lpMAPISup->SetProviderUID(backend->GetProviderUID(), 0);
    if (FAILED(hr)) RaiseFailure("Unable to set provider uid");
    logon->PostStatusRow(lpMAPISup);
    *lppABLogon = logon.detach();
    hr = S_OK;
  });
}

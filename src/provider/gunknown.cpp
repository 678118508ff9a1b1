#include "provider/gunknown.h"

#include <cstring>
#include <limits>

#include "mapiguid.h"
#include "provider/guard.h"

LPALLOCATEBUFFER pfnAllocateBuffer = MAPIAllocateBuffer;
LPALLOCATEMORE pfnAllocateMore = MAPIAllocateMore;
LPFREEBUFFER pfnFreeBuffer = MAPIFreeBuffer;

HRESULT SetMemoryRoutines(LPALLOCATEBUFFER allocateBuffer, LPALLOCATEMORE allocateMore, LPFREEBUFFER freeBuffer) {
  // Every caller of the routines calls them unchecked; a missing one keeps the set in use.
  if (!allocateBuffer || !allocateMore || !freeBuffer) return MAPI_E_INVALID_PARAMETER;
  pfnAllocateBuffer = allocateBuffer;
  pfnAllocateMore = allocateMore;
  pfnFreeBuffer = freeBuffer;
  return S_OK;
}

CUnknown::CUnknown() : RefCount(1) { InitializeCriticalSection(&CritSect); }

CUnknown::~CUnknown() { DeleteCriticalSection(&CritSect); }

HRESULT STDMETHODCALLTYPE CUnknown::QueryInterface(REFIID iid, LPVOID* out) {
  if (!out) return MAPI_E_INVALID_PARAMETER;
  *out = nullptr;
  if (iid == IID_IUnknown) {
    *out = this;
    AddRef();
    return S_OK;
  }
  return MAPI_E_INTERFACE_NOT_SUPPORTED;
}

ULONG STDMETHODCALLTYPE CUnknown::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&RefCount)); }

ULONG STDMETHODCALLTYPE CUnknown::Release() {
  // The count the decrement left, not a second plain read of RefCount: that read would race
  // with the other threads' interlocked changes.
  const LONG remaining = InterlockedDecrement(&RefCount);
  if (remaining != 0) return static_cast<ULONG>(remaining);
  delete this;
  return 0;
}

void CUnknown::Lock() { EnterCriticalSection(&CritSect); }
void CUnknown::Unlock() { LeaveCriticalSection(&CritSect); }

BOOL WINAPI DllEntryPoint(HINSTANCE, DWORD, LPVOID) { return TRUE; }

MapiBuffer<SPropValue> NewPropValueArray(ULONG count, HRESULT& hr) {
  if (count > std::numeric_limits<ULONG>::max() / sizeof(SPropValue)) {
    hr = MAPI_E_NOT_ENOUGH_MEMORY;
    RaiseFailure("Out of memory");
  }
  MapiBuffer<SPropValue> values(pfnFreeBuffer);
  hr = pfnAllocateBuffer(static_cast<ULONG>(count * sizeof(SPropValue)), values.put());
  if (FAILED(hr) || !values) {
    if (SUCCEEDED(hr)) hr = MAPI_E_NOT_ENOUGH_MEMORY;
    values.release();
    RaiseFailure("Out of memory");
  }
  std::memset(values.get(), 0, count * sizeof(SPropValue));
  return values;
}

// The base of every reference-counted object: the count, IUnknown, and one recursive lock.
// Also the process-wide home of the memory routines MAPI hands to the provider.
#pragma once

#include "mapicode.h"
#include "mapidefs.h"
#include "mapiptr.h"
#include "mapix.h"
#include "windows.h"

// Filled by the provider entry point and the service entry; never cleared. Until MAPI
// hands over its own they point at the platform's routines.
extern LPALLOCATEBUFFER pfnAllocateBuffer;
extern LPALLOCATEMORE pfnAllocateMore;
extern LPFREEBUFFER pfnFreeBuffer;
// Installs the three routines together; MAPI_E_INVALID_PARAMETER, and the routines in use
// stay, when any of them is null.
HRESULT SetMemoryRoutines(LPALLOCATEBUFFER allocateBuffer, LPALLOCATEMORE allocateMore, LPFREEBUFFER freeBuffer);
// A zeroed array of `count` property values from those routines, owned until handed out.
// Inside a guarded operation: on overflow or exhaustion sets `hr` and raises.
MapiBuffer<SPropValue> NewPropValueArray(ULONG count, HRESULT& hr);

class CUnknown {
 public:
  CUnknown();
  CUnknown(const CUnknown&) = delete;
  CUnknown& operator=(const CUnknown&) = delete;

  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, LPVOID* out);
  virtual ULONG STDMETHODCALLTYPE AddRef();
  virtual ULONG STDMETHODCALLTYPE Release();
  virtual ~CUnknown();

  void Lock();
  void Unlock();

  LONG RefCount;
  CRITICAL_SECTION CritSect;
};

// Holds an object's lock for a scope.
class ObjectLock {
 public:
  explicit ObjectLock(CUnknown& object) : object_(object) { object_.Lock(); }
  ObjectLock(const ObjectLock&) = delete;
  ObjectLock& operator=(const ObjectLock&) = delete;
  ~ObjectLock() { object_.Unlock(); }

 private:
  CUnknown& object_;
};

// The library's entry point: does nothing.
BOOL WINAPI DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved);

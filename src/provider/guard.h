// The one error idiom of MAPI operations: a failure is raised with a message text and caught
// at the end of the same operation, which returns the result recorded before it.
//
//   HRESULT CSomething::Method(...) {
//     HRESULT hr = MAPI_E_NO_SUPPORT;
//     return Guarded(hr, [&] {
//       hr = Call(...);
//       if (FAILED(hr)) RaiseFailure("Unable to call");
//       ...
//     });
//   }
#pragma once

#include <new>

#include "mapicode.h"

struct MapiFailure {
  const char* message;  // internal: neither shown nor logged
};

[[noreturn]] inline void RaiseFailure(const char* message) { throw MapiFailure{message}; }

// Runs `body`; returns `hr` as it stands when the body ends or raises. A stray exception is
// recorded only when nothing has failed yet, so that the first failure is the one reported:
// an allocation failure as MAPI_E_NOT_ENOUGH_MEMORY, anything else as MAPI_E_CALL_FAILED.
// No exception leaves.
template <class Body>
HRESULT Guarded(HRESULT& hr, Body&& body) noexcept {
  try {
    body();
  } catch (const MapiFailure&) {
  } catch (const std::bad_alloc&) {
    if (SUCCEEDED(hr)) hr = MAPI_E_NOT_ENOUGH_MEMORY;
  } catch (...) {
    if (SUCCEEDED(hr)) hr = MAPI_E_CALL_FAILED;
  }
  return hr;
}

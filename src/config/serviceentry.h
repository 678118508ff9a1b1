// The message service's entry point: MAPI calls it when the service is installed, created,
// configured or removed in a profile.
#pragma once

#include "mapispi.h"

// The body of the exported ABServiceEntry. Creation and configuration write the passed values
// to the service's profile section and, when MAPI allows a user interface, run the
// configuration dialog on it; every other known context does nothing.
HRESULT STDMETHODCALLTYPE ServiceEntry(HINSTANCE hInstance, LPMALLOC lpMalloc, LPMAPISUP lpMAPISup, ULONG_PTR ulUIParam,
                                       ULONG ulFlags, ULONG ulContext, ULONG cValues, LPSPropValue lpProps,
                                       LPPROVIDERADMIN lpProviderAdmin, LPMAPIERROR* lppMapiError);

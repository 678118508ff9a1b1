// The pieces of libpxmapi's profiles and sessions that call each other. Internal to
// platform/mapi.
#pragma once

#include <string>

#include "mapiobject.h"

namespace pxmapi {

// Opens section `uid` of `profile` (MAPI_E_NOT_FOUND when the profile has none); writable
// with MAPI_MODIFY, read-only otherwise, as MAPI opens sections.
HRESULT OpenSection(const std::string& profile, const MAPIUID& uid, ULONG ulFlags, LPPROFSECT* lppProfSect);

// The support object a message service's entry gets: memory routines, profile sections
// (none: the service's own), NewUID and the property copies.
ComPtr<IMAPISupport> NewServiceSupport(const std::string& profile, const MAPIUID& service);
// The provider administration object of one message service.
ComPtr<IProviderAdmin> NewProviderAdmin(const std::string& profile, const MAPIUID& service);
// COM's task allocator as handed to providers and service entries.
LPMALLOC TaskMalloc();

// Copies properties between two property objects as IMAPISupport::DoCopyTo and DoCopyProps
// do: `include` lists what to copy (every property but `exclude` when it is null).
HRESULT CopyProperties(IMAPIProp* source, LPSPropTagArray include, LPSPropTagArray exclude, IMAPIProp* dest,
                       ULONG ulFlags, LPSPropProblemArray* lppProblems);

// Loads a module as libpxmapi loads every provider module: never unloaded again, because a
// provider may keep process-wide state alive until the process ends.
void* LoadModule(const std::string& path);

bool IsInitialized();

}  // namespace pxmapi

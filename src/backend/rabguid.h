// The provider's MAPIUID, and the interface identifiers the provider answers and asks for.
#pragma once

#include "mapidefs.h"
// IID_IUnknown, IID_IMAPIProp, IID_IMAPIContainer, IID_IABContainer, IID_IMailUser,
// IID_IMAPITable, IID_IMAPITableData, IID_IABProvider, IID_IABLogon: MAPI's documented values,
// declared once for the platform and the provider alike.
#include "mapiguid.h"

// {952312C7-D20E-414E-8BE1-4A1F93F577F2}: carried at bytes 4 to 19 of every entry identifier
// the provider makes, and registered with MAPI at logon. Clients store it with messages, so it
// never changes.
inline constexpr MAPIUID ABLDAPProviderUID = {
    {0xc7, 0x12, 0x23, 0x95, 0x0e, 0xd2, 0x4e, 0x41, 0x8b, 0xe1, 0x4a, 0x1f, 0x93, 0xf5, 0x77, 0xf2}};

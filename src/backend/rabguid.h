// The provider's MAPIUID and the interface identifiers the provider answers and asks for.
#pragma once

#include "mapidefs.h"
#include "mapiguid.h"

// {952312C7-D20E-414E-8BE1-4A1F93F577F2}: carried at bytes 4 to 19 of every entry identifier
// the provider makes, and registered with MAPI at logon. Clients store it with messages, so it
// never changes.
inline constexpr MAPIUID ABLDAPProviderUID = {
    {0xc7, 0x12, 0x23, 0x95, 0x0e, 0xd2, 0x4e, 0x41, 0x8b, 0xe1, 0x4a, 0x1f, 0x93, 0xf5, 0x77, 0xf2}};

// MAPI's interface identifiers, with MAPI's documented values.
PX_DEFINE_OLEGUID(IID_IMAPITable, 0x00020301);
PX_DEFINE_OLEGUID(IID_IMAPIProp, 0x00020303);
PX_DEFINE_OLEGUID(IID_IMailUser, 0x0002030A);
PX_DEFINE_OLEGUID(IID_IMAPIContainer, 0x0002030B);
PX_DEFINE_OLEGUID(IID_IABContainer, 0x0002030D);
PX_DEFINE_OLEGUID(IID_IABProvider, 0x00020311);
PX_DEFINE_OLEGUID(IID_IABLogon, 0x00020314);
PX_DEFINE_OLEGUID(IID_IMAPITableData, 0x00020316);

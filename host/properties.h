// How pxab shows MAPI properties: by name, with each value as JSON.
//
// Keys are MAPI's property names (PR_DISPLAY_NAME, PR_LDAP_DN, ...); a tag without a name is
// written as "0xIIIITTTT". A PT_ERROR value keeps the name of its property and shows
// {"error": "0x8004010F"}. Texts are JSON strings (bytes that are not UTF-8 escaped as the
// cache codec does), integers and currency numbers, booleans true/false, times ISO 8601 UTC,
// binaries lower-case hex, objects null, multi-valued properties arrays.
#pragma once

#include <string>

#include "mapidefs.h"

// The name of a property (looked up by its ID, so an error value keeps its name), or the tag
// as "0xIIIITTTT" when it has none.
std::string PropertyName(ULONG tag);
// The tag of a property name, or of a "0xIIIITTTT" text; 0 when it is neither.
ULONG PropertyTag(const std::string& name);
// One value as JSON.
std::string JsonPropValue(const SPropValue& value);
// Values as one JSON object, in their order.
std::string JsonProps(const SPropValue* values, ULONG count);
// "0x%08X", as MAPI's result codes and tags are written.
std::string HexCode(ULONG value);
// Bytes as lower-case hex.
std::string HexBytes(const BYTE* bytes, ULONG count);

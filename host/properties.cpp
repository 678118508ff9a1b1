#include "properties.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "jsonline.h"
#include "mapitags.h"

namespace {
struct Named {
  ULONG tag;
  const char* name;
};

#define PX_NAMED(tag) \
  { tag, #tag }
// The provider's own properties: its settings and the entry's distinguished name.
const Named kNames[] = {
    PX_NAMED(PR_NULL),
    PX_NAMED(PR_ENTRYID),
    PX_NAMED(PR_OBJECT_TYPE),
    PX_NAMED(PR_RECORD_KEY),
    PX_NAMED(PR_ACCESS_LEVEL),
    PX_NAMED(PR_INSTANCE_KEY),
    PX_NAMED(PR_ROW_TYPE),
    PX_NAMED(PR_ACCESS),
    PX_NAMED(PR_RECIPIENT_TYPE),
    PX_NAMED(PR_CURRENT_VERSION),
    PX_NAMED(PR_CREATION_VERSION),
    PX_NAMED(PR_DISPLAY_NAME),
    PX_NAMED(PR_ADDRTYPE),
    PX_NAMED(PR_EMAIL_ADDRESS),
    PX_NAMED(PR_COMMENT),
    PX_NAMED(PR_DEPTH),
    PX_NAMED(PR_PROVIDER_DISPLAY),
    PX_NAMED(PR_CREATION_TIME),
    PX_NAMED(PR_LAST_MODIFICATION_TIME),
    PX_NAMED(PR_RESOURCE_FLAGS),
    PX_NAMED(PR_PROVIDER_DLL_NAME),
    PX_NAMED(PR_SEARCH_KEY),
    PX_NAMED(PR_PROVIDER_UID),
    PX_NAMED(PR_PROVIDER_ORDINAL),
    PX_NAMED(PR_CONTAINER_FLAGS),
    PX_NAMED(PR_FOLDER_TYPE),
    PX_NAMED(PR_CONTENT_COUNT),
    PX_NAMED(PR_DETAILS_TABLE),
    PX_NAMED(PR_SEARCH),
    PX_NAMED(PR_SELECTABLE),
    PX_NAMED(PR_SUBFOLDERS),
    PX_NAMED(PR_STATUS),
    PX_NAMED(PR_ANR),
    PX_NAMED(PR_CONTAINER_HIERARCHY),
    PX_NAMED(PR_CONTAINER_CONTENTS),
    PX_NAMED(PR_DEF_CREATE_DL),
    PX_NAMED(PR_DEF_CREATE_MAILUSER),
    PX_NAMED(PR_CONTAINER_CLASS),
    PX_NAMED(PR_AB_PROVIDER_ID),
    PX_NAMED(PR_DISPLAY_TYPE),
    PX_NAMED(PR_TEMPLATEID),
    PX_NAMED(PR_PRIMARY_CAPABILITY),
    PX_NAMED(PR_SMTP_ADDRESS),
    PX_NAMED(PR_7BIT_DISPLAY_NAME),
    PX_NAMED(PR_ACCOUNT),
    PX_NAMED(PR_GIVEN_NAME),
    PX_NAMED(PR_BUSINESS_TELEPHONE_NUMBER),
    PX_NAMED(PR_HOME_TELEPHONE_NUMBER),
    PX_NAMED(PR_INITIALS),
    PX_NAMED(PR_SURNAME),
    PX_NAMED(PR_COMPANY_NAME),
    PX_NAMED(PR_TITLE),
    PX_NAMED(PR_DEPARTMENT_NAME),
    PX_NAMED(PR_OFFICE_LOCATION),
    PX_NAMED(PR_MOBILE_TELEPHONE_NUMBER),
    PX_NAMED(PR_TRANSMITABLE_DISPLAY_NAME),
    PX_NAMED(PR_BUSINESS_FAX_NUMBER),
    PX_NAMED(PR_SEND_RICH_INFO),
    PX_NAMED(PR_SERVICE_NAME),
    PX_NAMED(PR_SERVICE_DLL_NAME),
    PX_NAMED(PR_SERVICE_ENTRY_NAME),
    PX_NAMED(PR_SERVICE_UID),
    PX_NAMED(PR_SERVICES),
    PX_NAMED(PR_PROFILE_NAME),
    PX_NAMED(PR_IDENTITY_DISPLAY),
    PX_NAMED(PR_IDENTITY_ENTRYID),
    PX_NAMED(PR_RESOURCE_METHODS),
    PX_NAMED(PR_RESOURCE_TYPE),
    PX_NAMED(PR_STATUS_CODE),
    PX_NAMED(PR_IDENTITY_SEARCH_KEY),
    PX_NAMED(PR_STATUS_STRING),
    PX_NAMED(PR_INITIAL_DETAILS_PANE),
    PX_NAMED(PR_ROWID),
    PX_NAMED(PR_CONTROL_FLAGS),
    PX_NAMED(PR_CONTROL_STRUCTURE),
    PX_NAMED(PR_CONTROL_TYPE),
    PX_NAMED(PR_DELTAX),
    PX_NAMED(PR_DELTAY),
    PX_NAMED(PR_XPOS),
    PX_NAMED(PR_YPOS),
    PX_NAMED(PR_CONTROL_ID),
    {PROP_TAG(PT_LONG, 0x6601), "PR_LDAP_SHOW_NAMES_BY"},
    {PROP_TAG(PT_STRING8, 0x6602), "PR_LDAP_SERVER_NAME"},
    {PROP_TAG(PT_LONG, 0x6603), "PR_LDAP_PORT"},
    {PROP_TAG(PT_BOOLEAN, 0x6604), "PR_LDAP_AUTHENTICATE"},
    {PROP_TAG(PT_STRING8, 0x6605), "PR_LDAP_SEARCH_DN"},
    {PROP_TAG(PT_LONG, 0x6607), "PR_LDAP_TIMEOUT"},
    {PROP_TAG(PT_STRING8, 0x6611), "PR_LDAP_SCHEMA_MAPPING"},
    {PROP_TAG(PT_BINARY, 0x6612), "PR_LDAP_RESERVED_ID"},
    {PROP_TAG(PT_BOOLEAN, 0x6613), "PR_LDAP_VERSION3"},
    {PROP_TAG(PT_BOOLEAN, 0x6614), "PR_LDAP_DEEP_SEARCH"},
    {PROP_TAG(PT_STRING8, 0x6616), "PR_LDAP_CACHE_FILE_NAME"},
    {PROP_TAG(PT_STRING8, 0x6617), "PR_LDAP_SEARCH_STRING"},
    {PROP_TAG(PT_STRING8, 0x6621), "PR_LDAP_DN"},
    {PROP_TAG(PT_BOOLEAN, 0x67F1), "PR_LDAP_USE_SSL"},
    {PROP_TAG(PT_STRING8, 0x67F2), "PR_LDAP_BIND_DN"},
    {PROP_TAG(PT_STRING8, 0x67F3), "PR_LDAP_PASSWORD"},
};
#undef PX_NAMED

std::string Number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// A currency value is a count of ten-thousandths.
std::string Currency(LONGLONG value) {
  const bool negative = value < 0;
  const unsigned long long magnitude =
      negative ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  char text[48];
  std::snprintf(text, sizeof text, "%s%llu.%04llu", negative ? "-" : "", magnitude / 10000, magnitude % 10000);
  std::string result = text;
  while (result.back() == '0') result.pop_back();
  if (result.back() == '.') result.pop_back();
  return result;
}

// FILETIME counts 100 ns since 1601-01-01 UTC.
std::string IsoTime(const FILETIME& time) {
  const unsigned long long ticks = (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  constexpr unsigned long long kTicksToUnixEpoch = 116444736000000000ULL;
  const long long seconds =
      static_cast<long long>(ticks / 10000000ULL) - static_cast<long long>(kTicksToUnixEpoch / 10000000ULL);
  const std::time_t unixTime = static_cast<std::time_t>(seconds);
  std::tm utc{};
  if (!gmtime_r(&unixTime, &utc)) return JsonString("");
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return JsonString(text);
}

std::string Utf8(const WCHAR* text) {
  std::string out;
  if (!text) return out;
  for (std::size_t i = 0; text[i]; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

template <class T, class Show>
std::string Array(ULONG count, const T* values, Show show) {
  std::string out = "[";
  for (ULONG i = 0; i < count && values; ++i) {
    if (i) out += ", ";
    out += show(values[i]);
  }
  return out + "]";
}
}  // namespace

std::string HexCode(ULONG value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIX32, static_cast<std::uint32_t>(value));
  return text;
}

std::string HexBytes(const BYTE* bytes, ULONG count) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  if (!bytes) return text;
  text.reserve(2 * count);
  for (ULONG i = 0; i < count; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0xF];
  }
  return text;
}

std::string PropertyName(ULONG tag) {
  for (const Named& named : kNames)
    if (PROP_ID(named.tag) == PROP_ID(tag)) return named.name;
  return HexCode(tag);
}

ULONG PropertyTag(const std::string& name) {
  for (const Named& named : kNames)
    if (name == named.name) return named.tag;
  if (name.size() == 10 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(name.c_str() + 2, &end, 16);
    if (end && *end == '\0') return static_cast<ULONG>(value);
  }
  return 0;
}

std::string JsonPropValue(const SPropValue& value) {
  const PV& v = value.Value;
  switch (PROP_TYPE(value.ulPropTag)) {
    case PT_STRING8: return JsonString(v.lpszA ? v.lpszA : "");
    case PT_UNICODE: return JsonString(Utf8(v.lpszW));
    case PT_BINARY: return JsonString(HexBytes(v.bin.lpb, v.bin.cb));
    case PT_I2: return std::to_string(v.i);
    case PT_LONG: return std::to_string(v.l);
    case PT_I8: return std::to_string(v.li.QuadPart);
    case PT_CURRENCY: return Currency(v.cur.int64);
    case PT_R4: return Number(v.flt);
    case PT_DOUBLE:
    case PT_APPTIME: return Number(v.dbl);
    case PT_BOOLEAN: return v.b ? "true" : "false";
    case PT_SYSTIME: return IsoTime(v.ft);
    case PT_CLSID: return JsonString(v.lpguid ? HexBytes(reinterpret_cast<const BYTE*>(v.lpguid), 16) : "");
    case PT_ERROR: return "{\"error\": " + JsonString(HexCode(static_cast<ULONG>(v.err))) + "}";
    case PT_MV_I2: return Array(v.MVi.cValues, v.MVi.lpi, [](short x) { return std::to_string(x); });
    case PT_MV_LONG: return Array(v.MVl.cValues, v.MVl.lpl, [](LONG x) { return std::to_string(x); });
    case PT_MV_STRING8: return Array(v.MVszA.cValues, v.MVszA.lppszA, [](LPSTR x) { return JsonString(x ? x : ""); });
    case PT_MV_BINARY:
      return Array(v.MVbin.cValues, v.MVbin.lpbin, [](const SBinary& x) { return JsonString(HexBytes(x.lpb, x.cb)); });
    default: return "null";  // PT_OBJECT, PT_NULL and what no output can show
  }
}

std::string JsonProps(const SPropValue* values, ULONG count) {
  std::string out = "{";
  for (ULONG i = 0; i < count && values; ++i) {
    if (i) out += ", ";
    out += JsonString(PropertyName(values[i].ulPropTag)) + ": " + JsonPropValue(values[i]);
  }
  return out + "}";
}

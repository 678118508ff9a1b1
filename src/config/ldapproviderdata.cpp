#include "config/ldapproviderdata.h"

#include <algorithm>
#include <cstring>

#include "mapicode.h"
#include "mapiptr.h"
#include "provider/gunknown.h"

const _SPropTagArray_ProfilePropList ProfilePropList = {
    PROFILE_PROP_COUNT,
    {PR_DISPLAY_NAME, PR_LDAP_SHOW_NAMES_BY, PR_COMMENT, PR_LDAP_SERVER_NAME, PR_LDAP_PORT, PR_LDAP_USE_SSL,
     PR_LDAP_VERSION3, PR_LDAP_DEEP_SEARCH, PR_LDAP_SEARCH_DN, PR_LDAP_TIMEOUT, PR_LDAP_SCHEMA_MAPPING,
     PR_LDAP_RESERVED_ID, PR_LDAP_CACHE_FILE_NAME, PR_LDAP_SEARCH_STRING, PR_LDAP_AUTHENTICATE, PR_LDAP_BIND_DN,
     PR_LDAP_PASSWORD}};

namespace {
// The string field stored under `tag`, or null when the tag names no string field.
template <class Data>
auto TextField(Data& data, ULONG tag) -> decltype(&data.DisplayName) {
  switch (tag) {
    case PR_DISPLAY_NAME: return &data.DisplayName;
    case PR_COMMENT: return &data.Comment;
    case PR_LDAP_SERVER_NAME: return &data.ServerName;
    case PR_LDAP_SEARCH_DN: return &data.SearchDN;
    case PR_LDAP_SCHEMA_MAPPING: return &data.SchemaMapping;
    case PR_LDAP_CACHE_FILE_NAME: return &data.CacheFileName;
    case PR_LDAP_SEARCH_STRING: return &data.SearchString;
    case PR_LDAP_BIND_DN: return &data.BindDN;
    case PR_LDAP_PASSWORD: return &data.Password;
    default: return nullptr;
  }
}
}  // namespace

void CLDAPProfileData::Reset() {
  DisplayName.clear();
  ShowNamesBy = 0;
  Comment.clear();
  ServerName.clear();
  Port = 389;
  UseSSL = false;
  UseVersion3 = true;
  DeepSearch = false;
  SearchDN.clear();
  TimeOut = 60;
  SchemaMapping.clear();
  CacheFileName.clear();
  ReservedId.fill(0);
  SearchString.clear();
  Authenticate = false;
  BindDN.clear();
  Password.clear();
}

void CLDAPProfileData::LoadProps(ULONG count, const SPropValue* values) {
  Reset();
  if (!values) return;
  for (ULONG i = 0; i < count; ++i) {
    const SPropValue& value = values[i];
    auto flag = [&value] { return value.Value.b != 0; };
    switch (value.ulPropTag) {
      case PR_LDAP_SHOW_NAMES_BY: ShowNamesBy = value.Value.l; break;
      case PR_LDAP_PORT: Port = value.Value.l; break;
      case PR_LDAP_USE_SSL: UseSSL = flag(); break;
      case PR_LDAP_VERSION3: UseVersion3 = flag(); break;
      case PR_LDAP_DEEP_SEARCH: DeepSearch = flag(); break;
      case PR_LDAP_TIMEOUT: TimeOut = value.Value.l; break;
      case PR_LDAP_RESERVED_ID: {
        // A shorter value than 16 bytes fills the front and leaves the rest zero: never read
        // past the bytes the value has.
        ReservedId.fill(0);
        const SBinary& bin = value.Value.bin;
        if (bin.lpb) std::memcpy(ReservedId.data(), bin.lpb, std::min<ULONG>(bin.cb, ReservedId.size()));
        break;
      }
      case PR_LDAP_AUTHENTICATE: Authenticate = flag(); break;
      default:
        // The strings: a null pointer reads as empty.
        if (std::string* text = TextField(*this, value.ulPropTag)) *text = value.Value.lpszA ? value.Value.lpszA : "";
        break;
    }
  }
}

void CLDAPProfileData::BuildProps(ULONG* count, LPSPropValue* values) const {
  if (count) *count = 0;
  if (values) *values = nullptr;
  if (!count || !values) return;

  MapiBuffer<SPropValue> array(pfnFreeBuffer);
  if (FAILED(pfnAllocateBuffer(PROFILE_PROP_COUNT * sizeof(SPropValue), array.put())) || !array) return;
  std::memset(array.get(), 0, PROFILE_PROP_COUNT * sizeof(SPropValue));

  auto more = [&array](ULONG size, const void* source) -> LPVOID {
    LPVOID block = nullptr;
    if (FAILED(pfnAllocateMore(size, array.get(), &block)) || !block) return nullptr;
    std::memcpy(block, source, size);
    return block;
  };

  SPropValue* value = array.get();
  for (ULONG i = 0; i < PROFILE_PROP_COUNT; ++i, ++value) {
    const ULONG tag = ProfilePropList.aulPropTag[i];
    value->ulPropTag = tag;
    switch (tag) {
      case PR_LDAP_SHOW_NAMES_BY: value->Value.l = ShowNamesBy; break;
      case PR_LDAP_PORT: value->Value.l = Port; break;
      case PR_LDAP_TIMEOUT: value->Value.l = TimeOut; break;
      case PR_LDAP_USE_SSL: value->Value.b = UseSSL ? 1 : 0; break;
      case PR_LDAP_VERSION3: value->Value.b = UseVersion3 ? 1 : 0; break;
      case PR_LDAP_DEEP_SEARCH: value->Value.b = DeepSearch ? 1 : 0; break;
      case PR_LDAP_AUTHENTICATE: value->Value.b = Authenticate ? 1 : 0; break;
      case PR_LDAP_RESERVED_ID: {
        value->Value.bin.cb = static_cast<ULONG>(ReservedId.size());
        value->Value.bin.lpb = static_cast<LPBYTE>(more(value->Value.bin.cb, ReservedId.data()));
        if (!value->Value.bin.lpb) return;
        break;
      }
      default: {
        const std::string* text = TextField(*this, tag);
        if (!text) return;  // every tag of the list is covered above or here
        value->Value.lpszA = static_cast<LPSTR>(more(static_cast<ULONG>(text->size() + 1), text->c_str()));
        if (!value->Value.lpszA) return;
        break;
      }
    }
  }
  *count = PROFILE_PROP_COUNT;
  *values = array.release();
}

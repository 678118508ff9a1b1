// The configuration record: every setting of one address book, stored as properties of the
// message service's profile section.
#pragma once

#include <array>
#include <string>

#include "mapidefs.h"
#include "mapitags.h"

// Our own profile properties, in the range MAPI leaves to providers. UseSSL, BindDN and Password
// lie in the top sixteen IDs, which MAPI keeps as secure profile properties.
constexpr ULONG PR_LDAP_SHOW_NAMES_BY = PROP_TAG(PT_LONG, 0x6601);
constexpr ULONG PR_LDAP_SERVER_NAME = PROP_TAG(PT_STRING8, 0x6602);
constexpr ULONG PR_LDAP_PORT = PROP_TAG(PT_LONG, 0x6603);
constexpr ULONG PR_LDAP_AUTHENTICATE = PROP_TAG(PT_BOOLEAN, 0x6604);
constexpr ULONG PR_LDAP_SEARCH_DN = PROP_TAG(PT_STRING8, 0x6605);
constexpr ULONG PR_LDAP_TIMEOUT = PROP_TAG(PT_LONG, 0x6607);
constexpr ULONG PR_LDAP_SCHEMA_MAPPING = PROP_TAG(PT_STRING8, 0x6611);
constexpr ULONG PR_LDAP_RESERVED_ID = PROP_TAG(PT_BINARY, 0x6612);
constexpr ULONG PR_LDAP_VERSION3 = PROP_TAG(PT_BOOLEAN, 0x6613);
constexpr ULONG PR_LDAP_DEEP_SEARCH = PROP_TAG(PT_BOOLEAN, 0x6614);
constexpr ULONG PR_LDAP_CACHE_FILE_NAME = PROP_TAG(PT_STRING8, 0x6616);
constexpr ULONG PR_LDAP_SEARCH_STRING = PROP_TAG(PT_STRING8, 0x6617);
constexpr ULONG PR_LDAP_USE_SSL = PROP_TAG(PT_BOOLEAN, 0x67F1);
constexpr ULONG PR_LDAP_BIND_DN = PROP_TAG(PT_STRING8, 0x67F2);
constexpr ULONG PR_LDAP_PASSWORD = PROP_TAG(PT_STRING8, 0x67F3);

constexpr ULONG PROFILE_PROP_COUNT = 17;

// The tags through which the record is read (GetProps) and written (BuildProps), in this order.
extern const SizedSPropTagArray(PROFILE_PROP_COUNT, ProfilePropList);
// The same list as GetProps takes it.
inline LPSPropTagArray ProfilePropTags() {
  return const_cast<LPSPropTagArray>(reinterpret_cast<const SPropTagArray*>(&ProfilePropList));
}

class CLDAPProfileData {
 public:
  CLDAPProfileData() { Reset(); }
  ~CLDAPProfileData() { Reset(); }

  void Reset();
  // Fills the record from values as GetProps returns them: each of the 17 tags, matched by its
  // whole tag, sets its field; anything else (PT_ERROR values included) is skipped, so a missing
  // or wrongly typed property leaves its field at the default.
  void LoadProps(ULONG count, const SPropValue* values);
  // Builds the 17 values in profile-list order in one MAPI buffer that the caller frees. When
  // an allocation fails everything is freed and the result is 0 values and null.
  void BuildProps(ULONG* count, LPSPropValue* values) const;

  std::string DisplayName;
  LONG ShowNamesBy;
  std::string Comment;
  std::string ServerName;
  LONG Port;
  bool UseSSL;
  bool UseVersion3;
  bool DeepSearch;
  std::string SearchDN;
  LONG TimeOut;
  std::string SchemaMapping;
  std::string CacheFileName;
  std::array<BYTE, 16> ReservedId;
  std::string SearchString;
  bool Authenticate;
  std::string BindDN;
  std::string Password;
};

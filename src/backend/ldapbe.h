// The provider's LDAP backend: the address book made from one snapshot of the directory.
#pragma once

#include <memory>
#include <string>

#include "backend/cbinary.h"
#include "backend/gbackend.h"
#include "config/ldapproviderdata.h"

// Layout of every entry identifier the provider makes: a 32-byte header (four zero flag bytes,
// the provider's MAPIUID, the kind, three zero bytes, the MAPI object type, the key length
// including its NUL; numbers little-endian) followed by the NUL-terminated key.
constexpr ULONG ENTRYID_UID_OFFSET = 4;
constexpr ULONG ENTRYID_KIND_OFFSET = 20;
constexpr ULONG ENTRYID_OBJECT_TYPE_OFFSET = 24;
constexpr ULONG ENTRYID_KEY_LENGTH_OFFSET = 28;
constexpr ULONG ENTRYID_HEADER_SIZE = 32;

// Kinds of entry identifier.
constexpr ULONG ENTRY_KIND_ROOT = 1;       // the root container, key "0"
constexpr ULONG ENTRY_KIND_DIRECTORY = 2;  // the directory container, key "0"
constexpr ULONG ENTRY_KIND_MAILUSER = 3;   // one user, keyed by the distinguished name

class ABLDAPBackeEnd : public GenericBackEnd {
 public:
  ABLDAPBackeEnd(HINSTANCE instance, IMAPISupport* support);
  ~ABLDAPBackeEnd() override;

  HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG ulFlags,
                          ULONG* lpulResult) override;
  bool IsOwnEntryID(ULONG cbEntryID, LPENTRYID lpEntryID) override;

  // A new identifier of the given kind, object type and key, owned by the caller; null when
  // memory runs out.
  std::unique_ptr<CBinary> MakeEntryID(ULONG kind, ULONG objectType, const std::string& key);
  // The kind of an identifier of this provider; the empty identifier (0 bytes, null) is the
  // root container. MAPI_E_INVALID_ENTRYID for anything short, unreadable or foreign.
  HRESULT DecodeEntryKind(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG* kind);
  // The distinguished name a user's identifier carries: the NUL-terminated text at offset 32,
  // which has to end within the identifier and must not be empty. MAPI_E_INVALID_ENTRYID
  // otherwise. The kind and object type fields are not looked at.
  HRESULT UserKeyFromEntryID(ULONG cbEntryID, LPENTRYID lpEntryID, std::string* key);
  // True when a user's distinguished name matches an identifier's key: equal without regard to
  // case in the user's locale.
  static bool SameDistinguishedName(const std::string& key, const std::string& distinguishedName);

  std::unique_ptr<CLDAPProfileData> Profile;

 private:
  // True when the identifier is at least a header long, readable and carries our UID.
  bool HasOwnHeader(ULONG cbEntryID, LPENTRYID lpEntryID, bool checkReadable) const;
};

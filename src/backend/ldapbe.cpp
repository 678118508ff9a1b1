#include "backend/ldapbe.h"

#include <cstring>
#include <limits>
#include <vector>

#include "backend/rabguid.h"
#include "mapicode.h"
#include "provider/guard.h"
#include "windows.h"

namespace {
void PutULong(BYTE* at, ULONG value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}
ULONG GetULong(const BYTE* at) {
  ULONG value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | at[i];
  return value;
}
const BYTE* Bytes(LPENTRYID entryID) { return reinterpret_cast<const BYTE*>(entryID); }
}  // namespace

ABLDAPBackeEnd::ABLDAPBackeEnd(HINSTANCE instance, IMAPISupport* support) : GenericBackEnd(instance, support) {
  ProviderUID = ABLDAPProviderUID;
  BackendName = "Pernix LDAP Address Book";
  Version = "0.1";
  RootEntryID = MakeEntryID(ENTRY_KIND_ROOT, MAPI_ABCONT, "0");
  DirEntryID = MakeEntryID(ENTRY_KIND_DIRECTORY, MAPI_ABCONT, "0");
}

ABLDAPBackeEnd::~ABLDAPBackeEnd() { Profile.reset(); }

std::unique_ptr<CBinary> ABLDAPBackeEnd::MakeEntryID(ULONG kind, ULONG objectType, const std::string& key) {
  std::unique_ptr<CBinary> result;
  HRESULT hr = S_OK;
  Guarded(hr, [&] {
    if (key.size() > std::numeric_limits<ULONG>::max() - ENTRYID_HEADER_SIZE - 1) RaiseFailure("Out of memory");
    const ULONG keyLength = static_cast<ULONG>(key.size()) + 1;
    std::vector<BYTE> bytes(ENTRYID_HEADER_SIZE + keyLength, 0);
    std::memcpy(&bytes[ENTRYID_UID_OFFSET], ProviderUID.ab, sizeof(ProviderUID.ab));
    bytes[ENTRYID_KIND_OFFSET] = static_cast<BYTE>(kind);
    PutULong(&bytes[ENTRYID_OBJECT_TYPE_OFFSET], objectType);
    PutULong(&bytes[ENTRYID_KEY_LENGTH_OFFSET], keyLength);
    std::memcpy(&bytes[ENTRYID_HEADER_SIZE], key.data(), key.size());
    auto entryID = std::make_unique<CBinary>(static_cast<ULONG>(bytes.size()), bytes.data());
    if (entryID->cb != bytes.size()) RaiseFailure("Out of memory");
    result = std::move(entryID);
  });
  return result;
}

bool ABLDAPBackeEnd::HasOwnHeader(ULONG cbEntryID, LPENTRYID lpEntryID, bool checkReadable) const {
  if (cbEntryID < ENTRYID_HEADER_SIZE || !lpEntryID) return false;
  if (checkReadable && IsBadReadPtr(lpEntryID, cbEntryID)) return false;
  return std::memcmp(Bytes(lpEntryID) + ENTRYID_UID_OFFSET, ProviderUID.ab, sizeof(ProviderUID.ab)) == 0;
}

HRESULT ABLDAPBackeEnd::DecodeEntryKind(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG* kind) {
  if (kind) *kind = 0;
  if (cbEntryID == 0 && !lpEntryID) {
    // How MAPI asks for a provider's root container.
    if (kind) *kind = ENTRY_KIND_ROOT;
    return S_OK;
  }
  if (!HasOwnHeader(cbEntryID, lpEntryID, true)) return MAPI_E_INVALID_ENTRYID;
  if (kind) *kind = Bytes(lpEntryID)[ENTRYID_KIND_OFFSET];
  return S_OK;
}

HRESULT ABLDAPBackeEnd::CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                        ULONG, ULONG* lpulResult) {
  if (!lpulResult) return MAPI_E_INVALID_PARAMETER;
  *lpulResult = 0;
  if (!HasOwnHeader(cbEntryID1, lpEntryID1, true) || !HasOwnHeader(cbEntryID2, lpEntryID2, true))
    return MAPI_E_INVALID_ENTRYID;
  if (cbEntryID1 != cbEntryID2) return S_OK;
  if (std::memcmp(lpEntryID1, lpEntryID2, cbEntryID1) != 0) return S_OK;
  *lpulResult = 1;
  return S_OK;
}

bool ABLDAPBackeEnd::IsOwnEntryID(ULONG cbEntryID, LPENTRYID lpEntryID) {
  return HasOwnHeader(cbEntryID, lpEntryID, true);
}

HRESULT ABLDAPBackeEnd::UserKeyFromEntryID(ULONG cbEntryID, LPENTRYID lpEntryID, std::string* key) {
  if (!key) return MAPI_E_INVALID_PARAMETER;
  key->clear();
  if (cbEntryID < ENTRYID_HEADER_SIZE || !lpEntryID || IsBadReadPtr(lpEntryID, cbEntryID))
    return MAPI_E_INVALID_ENTRYID;
  const BYTE* bytes = Bytes(lpEntryID);
  if (GetULong(bytes + ENTRYID_KEY_LENGTH_OFFSET) < 2) return MAPI_E_INVALID_ENTRYID;
  const BYTE* keyStart = bytes + ENTRYID_HEADER_SIZE;
  const BYTE* end = static_cast<const BYTE*>(std::memchr(keyStart, 0, cbEntryID - ENTRYID_HEADER_SIZE));
  if (!end || end == keyStart) return MAPI_E_INVALID_ENTRYID;
  key->assign(reinterpret_cast<const char*>(keyStart), static_cast<std::size_t>(end - keyStart));
  return S_OK;
}

bool ABLDAPBackeEnd::SameDistinguishedName(const std::string& key, const std::string& distinguishedName) {
  if (key.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      distinguishedName.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    return false;
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, key.data(), static_cast<int>(key.size()),
                        distinguishedName.data(), static_cast<int>(distinguishedName.size())) == CSTR_EQUAL;
}

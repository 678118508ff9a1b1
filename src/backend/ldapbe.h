// The provider's LDAP backend: the address book made from one snapshot of the directory.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "backend/cbinary.h"
#include "backend/gbackend.h"
#include "config/ldapproviderdata.h"
#include "recipients/ldapuser.h"

class CABContainer;

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

// One entry of the user list: the key and the user, on whom the list holds one reference.
struct UserListEntry {
  std::string DistinguishedName;
  ComPtr<CLDAPUser> User;
  // The user's display name upper-cased with CharUpperBuffA when the list was loaded, so that
  // a search by typed name does not fold every name again on every call.
  std::string UpperDisplayName;
};
using UserList = std::vector<UserListEntry>;

class ABLDAPBackeEnd : public GenericBackEnd {
 public:
  ABLDAPBackeEnd(HINSTANCE instance, IMAPISupport* support);
  ~ABLDAPBackeEnd() override;

  // Takes a new snapshot of the directory with the settings in Profile and replaces the user
  // list by one user per entry, in display-name order. False when there is no configuration
  // record or memory runs out; a fetch that fails or finds nothing still gives true.
  bool LoadDirectory() override;
  // Writes every user's row into DirContents; the first failing row's result. Rows already
  // written from the same user list are not written again.
  HRESULT FillContentsTable() override;
  // Reads the configuration record from the message service's profile section into Profile and
  // names the directory container after it. Fails with the failing profile call's result and
  // then leaves Profile and ContainerName as they were.
  HRESULT LoadSettings() override;
  HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2, ULONG ulFlags,
                          ULONG* lpulResult) override;
  // Resolves a typed name: the users whose display name contains it, both upper-cased in the
  // user's locale. One match: S_OK and its properties (the given tags, or the eleven a
  // resolved recipient carries) in place of *lppValues. Several: MAPI_E_AMBIGUOUS_RECIP;
  // none (and for the empty name): MAPI_E_NOT_FOUND; the values are then untouched.
  HRESULT FindUserByName(std::string name, LPSPropTagArray lpPropTags, LPSPropValue* lppValues,
                         ULONG* lpcValues) override;
  bool IsOwnEntryID(ULONG cbEntryID, LPENTRYID lpEntryID) override;
  // Opens an entry by identifier: the empty identifier and kind 1 give the root container, kind
  // 2 the directory container (each made once and shared: every open is one more reference on
  // the same object, object type MAPI_ABCONT); kind 3 gives a new mail user (MAPI_MAILUSER)
  // around the user record, loading the directory first when there is no user list. Any of
  // IID_IMAPIProp, IID_IMAPIContainer, IID_IABContainer and IID_IMailUser (or none) is accepted
  // for any kind; another interface is refused before the backend's lock is taken. Runs under
  // the backend's lock. The flags are not looked at.
  HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                    LPUNKNOWN* lppUnk) override;
  // A new mail user for a kind-3 identifier; MAPI_E_INVALID_ENTRYID when there is no user list,
  // the identifier is malformed or names no user. Reads no byte beyond cbEntryID.
  HRESULT OpenMailUser(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
                       LPUNKNOWN* lppUnk);
  // Shows the configuration dialog for the record in `section` and, after OK, writes all 17
  // properties back with one SetProps (no SaveChanges: profile sections are not transacted).
  // S_OK also when the user cancels; MAPI_E_NO_SUPPORT when this process cannot show a window.
  HRESULT Configure(IProfSect* section) override;

  // Releases every user of the list and drops the list. This is also what breaks the cycle of
  // references between the backend and its users.
  void ClearUsers();
  // Breaks the reference cycles at the provider's shutdown. The backend holds its two
  // containers and its users, and each of them holds the backend, so the backend's count never
  // reaches zero while they are held. This releases the containers and the user list (under
  // the backend's lock); the provider's Shutdown calls it when the last logon's reference is
  // about to go, and then gives that reference back, which destroys the backend. The caller
  // must hold a reference of its own across the call. Objects a client still holds (an opened
  // container, mail user or table) keep working and keep the backend alive until they are
  // released. A later OpenEntry makes the containers again and reloads the directory.
  void ReleaseObjects();
  // Orders two entries of `list` by display name, upper-cased a to z only, byte by byte.
  // An entry without a user comes first.
  static int CompareUsers(const UserList& list, std::size_t position1, std::size_t position2);
  // The user a mail user's identifier names: the first in the list whose distinguished name
  // equals the identifier's key without regard to case. MAPI_E_INVALID_ENTRYID when the
  // identifier is malformed, there is no list or no such user.
  HRESULT FindUserByEntryID(ULONG cbEntryID, LPENTRYID lpEntryID, ComPtr<CLDAPUser>* user);

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
  // The two containers, made on their first open; one reference held on each.
  ComPtr<CABContainer> RootContainer;
  ComPtr<CABContainer> DirContainer;
  // Replaced in whole by LoadDirectory and ClearUsers; read and swapped under the backend's
  // lock only.
  std::unique_ptr<UserList> Users;

 private:
  // Releases every user of a list taken out of Users.
  static void ReleaseUsers(std::unique_ptr<UserList> users);

  // The LC_CTYPE locale the upper-cased display names were made in; swapped with Users.
  std::string foldLocale_;
  // Which user list the contents table holds the rows of: every list replacement counts one
  // up, so that later logons do not write the same rows again.
  std::atomic<unsigned long> usersGeneration_{0};
  std::atomic<unsigned long> filledGeneration_{~0UL};

  // True when the identifier is at least a header long, readable and carries our UID.
  bool HasOwnHeader(ULONG cbEntryID, LPENTRYID lpEntryID, bool checkReadable) const;
  // Where each distinguished name sits in the user list, by the hash of its upper-cased form,
  // so that opening a user does not compare every name of the list. Sorted by hash, then by
  // position, so that the first candidate that compares equal is the first in list order.
  struct DNIndexEntry {
    std::size_t hash;
    std::size_t position;
  };
  std::vector<DNIndexEntry> dnIndex_;
  // The list, its length and the LC_CTYPE locale the index was made for; made again when any
  // of them changes.
  const UserList* dnIndexList_ = nullptr;
  std::size_t dnIndexSize_ = 0;
  std::string dnIndexLocale_;
  void IndexDistinguishedNames();

  // Hands out `container`, made first when it does not exist yet.
  HRESULT OpenContainer(ComPtr<CABContainer>& container, ITableData* hierarchy, ITableData* contents, const char* name,
                        ULONG containerFlags, const CBinary* entryID, ULONG* lpulObjType, LPUNKNOWN* lppUnk);
};

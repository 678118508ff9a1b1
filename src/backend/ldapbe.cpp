#include "backend/ldapbe.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "backend/rabguid.h"
#include "config/ldapcnf.h"
#include "directory/ldapcon.h"
#include "mapicode.h"
#include "provider/cabcontainer.h"
#include "provider/guard.h"
#include "recipients/ldapmapiuser.h"
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

// What a resolved recipient carries when the caller names no properties.
const SizedSPropTagArray(11, ResolvedProps) = {
    11,
    {PR_ENTRYID, PR_SEARCH_KEY, PR_ADDRTYPE, PR_DISPLAY_NAME, PR_DISPLAY_TYPE, PR_EMAIL_ADDRESS, PR_INSTANCE_KEY,
     PR_OBJECT_TYPE, PR_TRANSMITABLE_DISPLAY_NAME, PR_SEND_RICH_INFO, PR_7BIT_DISPLAY_NAME}};

// toupper of the default ("C") locale: only a to z change, whatever locale the process uses.
unsigned char AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }

int CompareDisplayNames(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = AsciiUpper(static_cast<unsigned char>(a[i]));
    const unsigned char y = AsciiUpper(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// A text upper-cased with CharUpperBuffA in the user's locale.
std::string UpperCased(std::string text) {
  // CharUpperBuffA counts in DWORD; a longer text would be folded in parts.
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = std::min<std::size_t>(text.size() - at, std::numeric_limits<DWORD>::max());
    CharUpperBuffA(text.data() + at, static_cast<DWORD>(n));
    at += n;
  }
  return text;
}

std::string CurrentCaseLocale() {
  const char* name = std::setlocale(LC_CTYPE, nullptr);
  return name ? name : "";
}

// The display name as the configuration asks for it; the parts are joined as they are.
std::string ComposeDisplayName(LONG showNamesBy, const LDAPItem& item) {
  switch (showNamesBy) {
    case 0: return item.FirstName + " " + item.LastName;
    case 1: return item.LastName + ", " + item.FirstName;
    case 2: return item.CommonName;
    default: return std::string();
  }
}
}  // namespace

ABLDAPBackeEnd::ABLDAPBackeEnd(HINSTANCE instance, IMAPISupport* support) : GenericBackEnd(instance, support) {
  ProviderUID = ABLDAPProviderUID;
  BackendName = "Pernix LDAP Address Book";
  Version = "0.1";
  RootEntryID = MakeEntryID(ENTRY_KIND_ROOT, MAPI_ABCONT, "0");
  DirEntryID = MakeEntryID(ENTRY_KIND_DIRECTORY, MAPI_ABCONT, "0");
}

ABLDAPBackeEnd::~ABLDAPBackeEnd() {
  RootContainer.reset();
  DirContainer.reset();
  Profile.reset();
  ClearUsers();
}

HRESULT ABLDAPBackeEnd::LoadSettings() {
  HRESULT hr = MAPI_E_NO_SUPPORT;
  if (!Support) return MAPI_E_INVALID_PARAMETER;
  return Guarded(hr, [&] {
    // The provider's own section names the service's section, which holds the settings.
    ComPtr<IProfSect> providerSection;
    hr = Support->OpenProfileSection(nullptr, 0, providerSection.put());
    if (FAILED(hr)) RaiseFailure("ERROR: getting the profile object");
    SizedSPropTagArray(1, serviceTag) = {1, {PR_SERVICE_UID}};
    ULONG count = 0;
    MapiBuffer<SPropValue> serviceUID(pfnFreeBuffer);
    hr = providerSection->GetProps(reinterpret_cast<LPSPropTagArray>(&serviceTag), 0, &count, serviceUID.put_typed());
    if (FAILED(hr)) RaiseFailure("ERROR: getting the profile properties");
    // A section without the UID (an error value in its place) cannot name the service's section.
    if (count < 1 || !serviceUID || serviceUID->ulPropTag != PR_SERVICE_UID ||
        serviceUID->Value.bin.cb != sizeof(MAPIUID) || !serviceUID->Value.bin.lpb) {
      hr = MAPI_E_NOT_FOUND;
      RaiseFailure("ERROR: getting the profile properties");
    }

    ComPtr<IProfSect> serviceSection;
    hr = Support->OpenProfileSection(reinterpret_cast<LPMAPIUID>(serviceUID->Value.bin.lpb), 0, serviceSection.put());
    if (FAILED(hr)) RaiseFailure("ERROR: getting the profile object");
    MapiBuffer<SPropValue> values(pfnFreeBuffer);
    hr = serviceSection->GetProps(ProfilePropTags(), 0, &count, values.put_typed());
    if (FAILED(hr)) RaiseFailure("ERROR: getting the profile properties");

    ObjectLock lock(*this);
    Profile.reset();
    Profile.reset(new (std::nothrow) CLDAPProfileData());
    if (!Profile) {
      hr = E_OUTOFMEMORY;
      RaiseFailure("Out of memory");
    }
    Profile->LoadProps(count, values.get());
    ContainerName = Profile->DisplayName.empty() ? BackendName : Profile->DisplayName;
    hr = S_OK;
  });
}

bool ABLDAPBackeEnd::LoadDirectory() {
  bool loaded = false;
  HRESULT hr = S_OK;
  // The new list is built aside, without the lock (a fetch takes long), and swapped in whole
  // with the locale its names were folded in: a reader sees the old list or the new one.
  std::unique_ptr<UserList> users;
  std::string foldLocale;
  Guarded(hr, [&] {
    users = std::make_unique<UserList>();
    // The manager lives for this load only.
    const auto manager = std::make_unique<LDAPListManager>();
    if (!Profile) RaiseFailure("No configuration");
    LDAPAttribList& attributes = manager->GetAttribList();
    attributes.Parse(Profile->SchemaMapping);
    attributes.CommonName = "cn";
    manager->ServerName = Profile->ServerName;
    manager->UseSSL = Profile->UseSSL;
    manager->UseVersion3 = Profile->UseVersion3;
    manager->DeepSearch = Profile->DeepSearch;
    manager->SearchDN = Profile->SearchDN;
    manager->SearchString = Profile->SearchString;
    manager->TimeOut = Profile->TimeOut;
    manager->CacheFileName = Profile->CacheFileName;
    manager->Authenticate = Profile->Authenticate;
    manager->BindDN = Profile->BindDN;
    manager->Password = Profile->Password;
    // A failed fetch leaves whatever entries the manager holds, possibly none.
    manager->Fetch();

    users->reserve(manager->Count());
    for (unsigned position = 0; position < manager->Count(); ++position) {
      if (!manager->GetItem(position)) continue;
      // The manager goes with this load, so its texts move into the users instead of being copied.
      LDAPItem& item = manager->Items[position];
      ComPtr<CLDAPUser> user(new CLDAPUser());
      user->SetBackend(this);
      user->DisplayName = ComposeDisplayName(Profile->ShowNamesBy, item);
      user->DistinguishedName = std::move(item.DN);
      user->EmailAddress = std::move(item.EMailAddress);
      user->GivenName = std::move(item.FirstName);
      user->Surname = std::move(item.LastName);
      user->BusinessPhone = std::move(item.TelephoneNumber);
      user->BusinessFax = std::move(item.FaxNumber);
      user->Mobile = std::move(item.Mobile);
      user->Title = std::move(item.Title);
      user->Department = std::move(item.Department);
      user->Company = std::move(item.Company);
      std::string upper = UpperCased(user->DisplayName);
      users->push_back(UserListEntry{user->DistinguishedName, std::move(user), std::move(upper)});
    }
    foldLocale = CurrentCaseLocale();
    if (users->size() > 1)
      std::sort(users->begin(), users->end(), [](const UserListEntry& a, const UserListEntry& b) {
        return CompareDisplayNames(a.User->DisplayName, b.User->DisplayName) < 0;
      });
    loaded = true;
  });
  {
    ObjectLock lock(*this);
    Users.swap(users);
    foldLocale_.swap(foldLocale);
    ++usersGeneration_;
  }
  // The old list's users go outside the lock: releasing one may release the backend too.
  ReleaseUsers(std::move(users));
  return loaded;
}

int ABLDAPBackeEnd::CompareUsers(const UserList& list, std::size_t position1, std::size_t position2) {
  const CLDAPUser* user1 = list[position1].User.get();
  const CLDAPUser* user2 = list[position2].User.get();
  // Two missing users are equal, so that the order stays consistent for any sort.
  if (!user1) return user2 ? -1 : 0;
  if (!user2) return 1;
  return CompareDisplayNames(user1->DisplayName, user2->DisplayName);
}

void ABLDAPBackeEnd::ClearUsers() {
  std::unique_ptr<UserList> users;
  {
    ObjectLock lock(*this);
    users = std::move(Users);
    // A later list may reuse this one's address: the index goes with it.
    dnIndexList_ = nullptr;
    if (users) ++usersGeneration_;
  }
  ReleaseUsers(std::move(users));
}

void ABLDAPBackeEnd::ReleaseUsers(std::unique_ptr<UserList> users) {
  if (!users) return;
  for (UserListEntry& entry : *users) entry.User.reset();
}

HRESULT ABLDAPBackeEnd::FillContentsTable() {
  HRESULT hr = S_OK;
  ObjectLock lock(*this);
  return Guarded(hr, [&] {
    if (!Users) return;
    // The rows of an unchanged list are there already: a later logon of a large address book
    // would otherwise spend its time writing them again, unchanged.
    const unsigned long generation = usersGeneration_;
    if (filledGeneration_ == generation) return;
    for (const UserListEntry& entry : *Users) {
      hr = entry.User ? entry.User->AddContentsRow(DirContents.get()) : MAPI_E_NO_SUPPORT;
      if (FAILED(hr)) RaiseFailure("Unable to add user");
    }
    filledGeneration_ = generation;
    hr = S_OK;
  });
}

HRESULT ABLDAPBackeEnd::Configure(IProfSect* section) {
  HRESULT hr = MAPI_E_NO_SUPPORT;
  MapiBuffer<SPropValue> stored(pfnFreeBuffer);
  MapiBuffer<SPropValue> edited(pfnFreeBuffer);
  std::unique_ptr<CLDAPProfileData> data;
  // The application outlives the form it hosts: declared first, destroyed last.
  std::unique_ptr<DialogApplication> application;
  std::unique_ptr<TFormLDAPConfig> form;
  return Guarded(hr, [&] {
    if (!section) {
      hr = MAPI_E_INVALID_PARAMETER;
      RaiseFailure("ERROR: no profile section");
    }
    data = std::make_unique<CLDAPProfileData>();
    ULONG count = 0;
    hr = section->GetProps(ProfilePropTags(), 0, &count, stored.put_typed());
    if (FAILED(hr)) RaiseFailure("ERROR: getting the profile properties");
    data->LoadProps(count, stored.get());

    // A process without a display must never try to open a window: Qt would end it.
    application = std::make_unique<DialogApplication>();
    if (!application->Available()) {
      hr = MAPI_E_NO_SUPPORT;
      RaiseFailure("ERROR: no display for the configuration dialog");
    }
    form.reset(new (std::nothrow) TFormLDAPConfig());
    if (!form) {
      hr = E_OUTOFMEMORY;
      RaiseFailure("Out of memory");
    }
    form->SetCaption(BackendName);
    form->LoadControls(*data);
    if (form->ShowModal() == mrOk) {
      form->SaveControls(*data);
      ULONG editedCount = 0;
      data->BuildProps(&editedCount, edited.put_typed());
      if (editedCount == PROFILE_PROP_COUNT) {
        hr = section->SetProps(editedCount, edited.get(), nullptr);
        if (FAILED(hr)) RaiseFailure("ERROR: Setting the profile properties");
      }
    }
    hr = S_OK;
  });
}

HRESULT ABLDAPBackeEnd::FindUserByName(std::string name, LPSPropTagArray lpPropTags, LPSPropValue* lppValues,
                                       ULONG* lpcValues) {
  HRESULT hr = MAPI_E_NOT_FOUND;
  return Guarded(hr, [&] {
    if (!lppValues || !lpcValues) {
      hr = MAPI_E_INVALID_PARAMETER;
      RaiseFailure("Invalid parameter");
    }
    if (name.empty()) RaiseFailure("Not found");
    const std::string upperName = UpperCased(std::move(name));
    ComPtr<CLDAPUser> match;
    unsigned matches = 0;
    {
      // The list and its fold locale are read together, under the lock that a load swaps
      // them under; the properties of the match are read after it.
      ObjectLock lock(*this);
      if (!Users) RaiseFailure("Not found");
      // The names folded at load time serve as long as the locale is the one they were folded
      // in; otherwise each is folded again, as the typed name was.
      const bool folded = CurrentCaseLocale() == foldLocale_;
      for (const UserListEntry& entry : *Users) {
        if (!entry.User) continue;
        const bool found = folded ? std::string_view(entry.UpperDisplayName).find(upperName) != std::string_view::npos
                                  : UpperCased(entry.User->DisplayName).find(upperName) != std::string::npos;
        if (!found) continue;
        match = entry.User;
        // A second match already decides the answer.
        if (++matches > 1) break;
      }
    }
    if (matches == 0) RaiseFailure("Not found");
    if (matches > 1) {
      hr = MAPI_E_AMBIGUOUS_RECIP;
      RaiseFailure("Ambiguous");
    }
    if (*lppValues) {
      pfnFreeBuffer(*lppValues);
      *lppValues = nullptr;
    }
    LPSPropTagArray tags =
        lpPropTags ? lpPropTags : const_cast<LPSPropTagArray>(reinterpret_cast<const SPropTagArray*>(&ResolvedProps));
    *lpcValues = 0;
    hr = match->GetProps(tags, 0, lpcValues, lppValues);
    if (FAILED(hr)) RaiseFailure("Unable to obtain the properties");
    hr = S_OK;
  });
}

HRESULT ABLDAPBackeEnd::FindUserByEntryID(ULONG cbEntryID, LPENTRYID lpEntryID, ComPtr<CLDAPUser>* user) {
  if (!user) return MAPI_E_INVALID_PARAMETER;
  user->reset();
  std::string key;
  if (FAILED(UserKeyFromEntryID(cbEntryID, lpEntryID, &key))) return MAPI_E_INVALID_ENTRYID;
  ObjectLock lock(*this);
  if (!Users) return MAPI_E_INVALID_ENTRYID;
  HRESULT hr = MAPI_E_INVALID_ENTRYID;
  return Guarded(hr, [&] {
    if (Users.get() != dnIndexList_ || Users->size() != dnIndexSize_ || CurrentCaseLocale() != dnIndexLocale_)
      IndexDistinguishedNames();
    // Names that compare equal without regard to case upper-case alike, so they share a hash;
    // the comparison itself still decides.
    const std::size_t hash = std::hash<std::string>{}(UpperCased(key));
    const auto candidates =
        std::equal_range(dnIndex_.begin(), dnIndex_.end(), DNIndexEntry{hash, 0},
                         [](const DNIndexEntry& a, const DNIndexEntry& b) { return a.hash < b.hash; });
    for (auto it = candidates.first; it != candidates.second; ++it) {
      const UserListEntry& entry = (*Users)[it->position];
      if (entry.User && SameDistinguishedName(key, entry.DistinguishedName)) {
        *user = entry.User;
        hr = S_OK;
        return;
      }
    }
  });
}

void ABLDAPBackeEnd::IndexDistinguishedNames() {
  dnIndexList_ = nullptr;
  dnIndex_.clear();
  dnIndex_.reserve(Users->size());
  for (std::size_t position = 0; position < Users->size(); ++position)
    dnIndex_.push_back({std::hash<std::string>{}(UpperCased((*Users)[position].DistinguishedName)), position});
  std::sort(dnIndex_.begin(), dnIndex_.end(), [](const DNIndexEntry& a, const DNIndexEntry& b) {
    return a.hash != b.hash ? a.hash < b.hash : a.position < b.position;
  });
  dnIndexList_ = Users.get();
  dnIndexSize_ = Users->size();
  dnIndexLocale_ = CurrentCaseLocale();
}

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

void ABLDAPBackeEnd::ReleaseObjects() {
  ObjectLock lock(*this);
  RootContainer.reset();
  DirContainer.reset();
  ClearUsers();
}

HRESULT ABLDAPBackeEnd::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                                  ULONG* lpulObjType, LPUNKNOWN* lppUnk) {
  if (!lpulObjType || !lppUnk) return MAPI_E_INVALID_PARAMETER;
  *lpulObjType = 0;
  *lppUnk = nullptr;
  // Any of the four for any kind; the kind decides what is handed out.
  if (lpInterface && *lpInterface != IID_IMAPIProp && *lpInterface != IID_IMAPIContainer &&
      *lpInterface != IID_IABContainer && *lpInterface != IID_IMailUser)
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  ObjectLock lock(*this);
  HRESULT hr = MAPI_E_INVALID_ENTRYID;
  return Guarded(hr, [&] {
    ULONG kind = 0;
    if (FAILED(DecodeEntryKind(cbEntryID, lpEntryID, &kind))) RaiseFailure("My Object");
    switch (kind) {
      case ENTRY_KIND_ROOT:
        hr = OpenContainer(RootContainer, RootHierarchy.get(), RootContents.get(), "Root",
                           AB_SUBCONTAINERS | AB_UNMODIFIABLE, RootEntryID.get(), lpulObjType, lppUnk);
        break;
      case ENTRY_KIND_DIRECTORY:
        hr = OpenContainer(DirContainer, DirHierarchy.get(), DirContents.get(), "Dir", AB_RECIPIENTS | AB_UNMODIFIABLE,
                           DirEntryID.get(), lpulObjType, lppUnk);
        break;
      case ENTRY_KIND_MAILUSER:
        // Its result is not looked at: without users the open below fails on its own.
        if (!Users) LoadDirectory();
        hr = OpenMailUser(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
        break;
      default: hr = MAPI_E_INVALID_ENTRYID; break;
    }
  });
}

HRESULT ABLDAPBackeEnd::OpenContainer(ComPtr<CABContainer>& container, ITableData* hierarchy, ITableData* contents,
                                      const char* name, ULONG containerFlags, const CBinary* entryID,
                                      ULONG* lpulObjType, LPUNKNOWN* lppUnk) {
  HRESULT hr = MAPI_E_NOT_ENOUGH_MEMORY;
  return Guarded(hr, [&] {
    if (!container)
      container = ComPtr<CABContainer>(new CABContainer(this, hierarchy, contents, name, containerFlags, entryID));
    container->AddRef();
    *lppUnk = static_cast<IABContainer*>(container.get());
    *lpulObjType = MAPI_ABCONT;
    hr = S_OK;
  });
}

HRESULT ABLDAPBackeEnd::OpenMailUser(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID, ULONG, ULONG* lpulObjType,
                                     LPUNKNOWN* lppUnk) {
  if (!lpulObjType || !lppUnk) return MAPI_E_INVALID_PARAMETER;
  *lpulObjType = 0;
  *lppUnk = nullptr;
  HRESULT hr = MAPI_E_INVALID_ENTRYID;
  return Guarded(hr, [&] {
    if (!Users) RaiseFailure("User Data List is empty");
    ComPtr<CLDAPUser> user;
    hr = FindUserByEntryID(cbEntryID, lpEntryID, &user);
    if (FAILED(hr)) {
      hr = MAPI_E_INVALID_ENTRYID;
      RaiseFailure("No such user");
    }
    hr = MAPI_E_NOT_ENOUGH_MEMORY;
    *lppUnk = static_cast<IMailUser*>(new CLDAPMailUser(user.get()));
    *lpulObjType = MAPI_MAILUSER;
    hr = S_OK;
  });
}

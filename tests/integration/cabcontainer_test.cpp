// The address book's objects over a backend loaded from a real slapd: opening entries, the two
// containers with their properties and tables, searches by typed name through the contents
// table, name resolution, and the mail user.
#include "provider/cabcontainer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "fake_support.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "provider/ctable.h"
#include "recipients/ldapmapiuser.h"
#include "slapd.h"
#include "tempdir.h"

namespace {
using Bytes = std::vector<BYTE>;

constexpr const char* kPeopleDN = "ou=people,dc=example,dc=com";
constexpr const char* kMapping =
    "First Name=givenName\nLast Name=sn\nTitle=title\nCompany=o\nDepartment=ou\n"
    "Telephone Number=telephoneNumber\nFax Number=facsimileTelephoneNumber\nMobile=mobile\n"
    "E-mail Address=mail";
constexpr const char* kJohnDN = "uid=jsmith,ou=people,dc=example,dc=com";

std::string Person(const std::string& uid, const std::string& given, const std::string& sn, const std::string& mail) {
  return "dn: uid=" + uid + ",ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: " + uid + "\ncn: " + given +
         " " + sn + "\ngivenName: " + given + "\nsn: " + sn + "\nmail: " + mail + "\n\n";
}

// John Smith and Anna Smithers share "smi"; Olga Osmic has it inside her surname; Paul Jones
// has none of it.
std::string Ldif() {
  return "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n" +
         Person("jsmith", "John", "Smith", "john.smith@example.com") +
         Person("asmithers", "Anna", "Smithers", "anna@example.com") +
         Person("osmic", "Olga", "Osmic", "olga@example.com") + Person("pjones", "Paul", "Jones", "paul@example.com");
}

std::string TextOf(const SPropValue* v) { return v && v->Value.lpszA ? v->Value.lpszA : "<missing>"; }
Bytes BytesOf(const SBinary& bin) { return bin.lpb ? Bytes(bin.lpb, bin.lpb + bin.cb) : Bytes(); }
Bytes BytesOf(const CBinary& bin) { return Bytes(bin.lpb, bin.lpb + bin.cb); }

// The display names of the rows a table shows now, in order.
std::vector<std::string> Names(IMAPITable* table) {
  std::vector<std::string> names;
  EXPECT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
  LPSRowSet rows = nullptr;
  EXPECT_EQ(table->QueryRows(1000, 0, &rows), S_OK);
  for (ULONG i = 0; rows && i < rows->cRows; ++i)
    names.push_back(TextOf(PpropFindProp(rows->aRow[i].lpProps, rows->aRow[i].cValues, PR_DISPLAY_NAME)));
  FreeProws(rows);
  return names;
}

// One address list for ResolveNames, every entry's values its own MAPI buffer, as MAPI hands
// them over.
class AddressList {
 public:
  // Each entry is given by its values; a string value's text is copied.
  explicit AddressList(const std::vector<std::vector<SPropValue>>& entries) {
    MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(entries.size())), reinterpret_cast<LPVOID*>(&list_));
    list_->cEntries = static_cast<ULONG>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
      ADRENTRY& entry = list_->aEntries[i];
      entry = ADRENTRY{};
      entry.cValues = static_cast<ULONG>(entries[i].size());
      if (entries[i].empty()) continue;
      MAPIAllocateBuffer(static_cast<ULONG>(entries[i].size() * sizeof(SPropValue)),
                         reinterpret_cast<LPVOID*>(&entry.rgPropVals));
      for (std::size_t v = 0; v < entries[i].size(); ++v) {
        SPropValue value = entries[i][v];
        PropCopyMore(&entry.rgPropVals[v], &value, MAPIAllocateMore, entry.rgPropVals);
      }
    }
  }
  ~AddressList() { FreePadrlist(list_); }
  AddressList(const AddressList&) = delete;
  AddressList& operator=(const AddressList&) = delete;

  LPADRLIST get() const { return list_; }
  ADRENTRY& operator[](std::size_t i) const { return list_->aEntries[i]; }

 private:
  LPADRLIST list_ = nullptr;
};

SPropValue Text(ULONG tag, const char* text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<char*>(text);
  return v;
}
SPropValue WideText(ULONG tag, const WCHAR* text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszW = const_cast<WCHAR*>(text);
  return v;
}
const WCHAR kWideJohn[] = {'j', 'o', 'h', 'n', 0};

// A flag list of `count` flags, all MAPI_UNRESOLVED unless given.
struct Flags {
  explicit Flags(std::vector<ULONG> values) : storage(values.size() + 1) {
    list()->cFlags = static_cast<ULONG>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) list()->ulFlag[i] = values[i];
  }
  LPFlagList list() { return reinterpret_cast<LPFlagList>(storage.data()); }
  ULONG operator[](std::size_t i) { return list()->ulFlag[i]; }
  std::vector<ULONG> storage;
};

class AddressBookObjects : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = Ldif()}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    backend = new ABLDAPBackeEnd(nullptr, nullptr);
    backend->Profile = std::make_unique<CLDAPProfileData>();
    CLDAPProfileData& profile = *backend->Profile;
    profile.ServerName = server->HostPort();
    profile.SearchDN = kPeopleDN;
    profile.SearchString = "(objectClass=inetOrgPerson)";
    profile.SchemaMapping = kMapping;
    profile.ShowNamesBy = 0;
    profile.CacheFileName = (dir / "people.pxb").string();
    ASSERT_TRUE(backend->LoadDirectory());
    ASSERT_EQ(backend->Users->size(), 4u);
    ASSERT_EQ(backend->InitTables(), S_OK);
    buffersBefore = MAPIOutstandingBuffers();
  }
  void TearDown() override {
    EXPECT_EQ(MAPIOutstandingBuffers(), buffersBefore);
    backend->ReleaseObjects();
    EXPECT_EQ(backend->RefCount, 1);
    backend->Release();
  }

  // Opens an entry through the backend; the caller owns the reference.
  template <class T = IUnknown>
  ComPtr<T> Open(const Bytes& entryID, ULONG expectedType, LPCIID iid = nullptr) {
    ULONG type = 99;
    LPUNKNOWN object = nullptr;
    const HRESULT hr =
        backend->OpenEntry(static_cast<ULONG>(entryID.size()), entryID.empty() ? nullptr : (LPENTRYID)entryID.data(),
                           iid, 0, &type, &object);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(type, expectedType);
    return ComPtr<T>(static_cast<T*>(object));
  }
  ComPtr<IABContainer> Root() { return Open<IABContainer>({}, MAPI_ABCONT); }
  ComPtr<IABContainer> Directory() { return Open<IABContainer>(BytesOf(*backend->DirEntryID), MAPI_ABCONT); }
  Bytes UserID(const std::string& dn) { return BytesOf(*backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, dn)); }
  ComPtr<IMailUser> OpenUser(const std::string& dn) { return Open<IMailUser>(UserID(dn), MAPI_MAILUSER); }
  HRESULT TryOpen(const Bytes& entryID, LPCIID iid = nullptr, ULONG* type = nullptr) {
    ULONG objectType = 99;
    LPUNKNOWN object = reinterpret_cast<LPUNKNOWN>(0x1);
    const HRESULT hr =
        backend->OpenEntry(static_cast<ULONG>(entryID.size()), entryID.empty() ? nullptr : (LPENTRYID)entryID.data(),
                           iid, 0, &objectType, &object);
    if (type) *type = objectType;
    if (SUCCEEDED(hr))
      object->Release();
    else
      EXPECT_EQ(object, nullptr);
    return hr;
  }
  CLDAPUser* Record(const std::string& displayName) const {
    for (const UserListEntry& entry : *backend->Users)
      if (entry.User->DisplayName == displayName) return entry.User.get();
    return nullptr;
  }

  static SlapdServer* server;
  TempDir dir;
  ABLDAPBackeEnd* backend = nullptr;
  std::size_t buffersBefore = 0;
};
SlapdServer* AddressBookObjects::server = nullptr;

}  // namespace

// ---- Entry opening ----

TEST_F(AddressBookObjects, EachContainerIsMadeOnceAndShared) {
  const LONG backendRefs = backend->RefCount;
  ComPtr<IABContainer> root = Root();
  ASSERT_TRUE(root);
  CABContainer* made = backend->RootContainer.get();
  EXPECT_EQ(static_cast<IABContainer*>(made), root.get());
  EXPECT_EQ(made->RefCount, 2);  // the backend's and ours
  EXPECT_EQ(backend->RefCount, backendRefs + 1);

  ComPtr<IABContainer> again = Open<IABContainer>(BytesOf(*backend->RootEntryID), MAPI_ABCONT);
  EXPECT_EQ(again.get(), root.get());
  EXPECT_EQ(made->RefCount, 3);

  ComPtr<IABContainer> directory = Directory();
  EXPECT_NE(directory.get(), root.get());
  EXPECT_EQ(backend->DirContainer->Name, "Dir");
  EXPECT_EQ(backend->DirContainer->ContainerFlags, AB_RECIPIENTS | AB_UNMODIFIABLE);
  EXPECT_EQ(made->Name, "Root");
  EXPECT_EQ(made->ContainerFlags, AB_SUBCONTAINERS | AB_UNMODIFIABLE);
  EXPECT_EQ(made->EntryID, backend->RootEntryID.get());
}

TEST_F(AddressBookObjects, OpenEntryChecksTheInterfaceButNotAgainstTheKind) {
  const struct {
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {nullptr, S_OK},
      {&IID_IMAPIProp, S_OK},
      {&IID_IMAPIContainer, S_OK},
      {&IID_IABContainer, S_OK},
      {&IID_IMailUser, S_OK},
      {&IID_IMAPITable, MAPI_E_INTERFACE_NOT_SUPPORTED},
      {&IID_IUnknown, MAPI_E_INTERFACE_NOT_SUPPORTED},
  };
  const Bytes user = UserID(kJohnDN);
  for (const auto& c : cases) {
    ULONG type = 99;
    EXPECT_EQ(TryOpen({}, c.iid, &type), c.expected);
    EXPECT_EQ(type, c.expected == S_OK ? MAPI_ABCONT : 0u);
    EXPECT_EQ(TryOpen(user, c.iid, &type), c.expected);
    EXPECT_EQ(type, c.expected == S_OK ? MAPI_MAILUSER : 0u);
  }
  // A refused interface never reaches the lazy load.
  backend->ClearUsers();
  EXPECT_EQ(TryOpen(user, &IID_IMAPITable), MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_FALSE(backend->Users);
}

TEST_F(AddressBookObjects, MalformedIdentifiersAreRefusedWithoutReadingPastThem) {
  const Bytes john = UserID(kJohnDN);
  Bytes kind4 = john;
  kind4[ENTRYID_KIND_OFFSET] = 4;
  Bytes foreign = john;
  foreign[ENTRYID_UID_OFFSET] ^= 0xFF;
  Bytes noKey = john;
  noKey[ENTRYID_KEY_LENGTH_OFFSET] = 1;
  Bytes emptyKey = john;
  emptyKey[ENTRYID_HEADER_SIZE] = 0;
  Bytes unknown = UserID("uid=nobody,ou=people,dc=example,dc=com");
  // The key's NUL cut off: the count ends inside the name.
  const Bytes cut(john.begin(), john.end() - 1);
  // The key length claims far more than the identifier holds.
  Bytes longClaim = john;
  longClaim[ENTRYID_KEY_LENGTH_OFFSET + 1] = 0x7F;
  // A header's worth and not one byte more.
  const Bytes header(john.begin(), john.begin() + ENTRYID_HEADER_SIZE);
  const Bytes shortOne(john.begin(), john.begin() + ENTRYID_HEADER_SIZE - 1);

  for (const Bytes* id :
       std::vector<const Bytes*>{&kind4, &foreign, &noKey, &emptyKey, &unknown, &cut, &header, &shortOne}) {
    // Each identifier in a heap block of exactly its size, so that any read past it is caught.
    auto exact = std::make_unique<BYTE[]>(id->size());
    std::memcpy(exact.get(), id->data(), id->size());
    ULONG type = 99;
    LPUNKNOWN object = nullptr;
    EXPECT_EQ(backend->OpenEntry(static_cast<ULONG>(id->size()), reinterpret_cast<LPENTRYID>(exact.get()), nullptr, 0,
                                 &type, &object),
              MAPI_E_INVALID_ENTRYID)
        << id->size();
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(type, 0u);
  }
  // The key length field plays no part as long as the name ends within the count.
  EXPECT_EQ(TryOpen(longClaim), S_OK);
  // A byte count of 0 with an identifier is no root container.
  ULONG type = 0;
  LPUNKNOWN object = nullptr;
  EXPECT_EQ(
      backend->OpenEntry(0, reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(john.data())), nullptr, 0, &type, &object),
      MAPI_E_INVALID_ENTRYID);
  EXPECT_EQ(backend->OpenEntry(0, nullptr, nullptr, 0, nullptr, &object), MAPI_E_INVALID_PARAMETER);
}

TEST_F(AddressBookObjects, EveryOpenOfAUserIsANewObjectOnOneRecord) {
  CLDAPUser* record = Record("John Smith");
  ASSERT_NE(record, nullptr);
  const LONG recordRefs = record->RefCount;
  ComPtr<IMailUser> first = OpenUser(kJohnDN);
  // The distinguished name matches without regard to case.
  ComPtr<IMailUser> second = OpenUser("UID=JSMITH,OU=People,DC=example,DC=com");
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.get(), second.get());
  EXPECT_EQ(static_cast<CLDAPMailUser*>(first.get())->User.get(), record);
  EXPECT_EQ(static_cast<CLDAPMailUser*>(second.get())->User.get(), record);
  EXPECT_EQ(record->RefCount, recordRefs + 2);

  first.reset();
  EXPECT_EQ(record->RefCount, recordRefs + 1);
  ULONG count = 0;
  LPSPropValue values = nullptr;
  SizedSPropTagArray(1, name) = {1, {PR_DISPLAY_NAME}};
  ASSERT_EQ(second->GetProps(reinterpret_cast<LPSPropTagArray>(&name), 0, &count, &values), S_OK);
  EXPECT_EQ(TextOf(values), "John Smith");
  MAPIFreeBuffer(values);
}

TEST_F(AddressBookObjects, OpeningAUserLoadsTheDirectoryWhenThereIsNoList) {
  backend->ClearUsers();
  ComPtr<IMailUser> user = OpenUser(kJohnDN);
  ASSERT_TRUE(user);
  ASSERT_TRUE(backend->Users);
  EXPECT_EQ(backend->Users->size(), 4u);
  // Without a configuration the load fails and the open with it.
  backend->ClearUsers();
  backend->Profile.reset();
  EXPECT_EQ(TryOpen(UserID(kJohnDN)), MAPI_E_INVALID_ENTRYID);
}

TEST_F(AddressBookObjects, ReferenceCountsReturnToTheirStartAfterUse) {
  const LONG backendRefs = backend->RefCount;
  {
    ComPtr<IABContainer> root = Root();
    ComPtr<IABContainer> directory = Directory();
    ComPtr<IMailUser> user = OpenUser(kJohnDN);
    LPMAPITABLE contents = nullptr;
    ASSERT_EQ(directory->GetContentsTable(0, &contents), S_OK);
    LPMAPITABLE hierarchy = nullptr;
    ASSERT_EQ(root->GetHierarchyTable(0, &hierarchy), S_OK);
    LPVOID again = nullptr;
    ASSERT_EQ(root->QueryInterface(IID_IMAPIContainer, &again), S_OK);
    static_cast<IUnknown*>(again)->Release();
    contents->Release();
    hierarchy->Release();
    EXPECT_EQ(backend->RootContainer->RefCount, 2);
    EXPECT_EQ(backend->DirContainer->RefCount, 2);
  }
  EXPECT_EQ(backend->RootContainer->RefCount, 1);
  EXPECT_EQ(backend->DirContainer->RefCount, 1);
  EXPECT_EQ(backend->RefCount, backendRefs + 2);  // each container holds the backend
  // The shutdown's cut: containers and users go, and only our own reference is left.
  backend->ReleaseObjects();
  EXPECT_FALSE(backend->RootContainer);
  EXPECT_FALSE(backend->Users);
  EXPECT_EQ(backend->RefCount, 1);
}

TEST_F(AddressBookObjects, ObjectsAClientHoldsOutliveTheShutdownCut) {
  ComPtr<IABContainer> directory = Directory();
  ComPtr<IMailUser> user = OpenUser(kJohnDN);
  backend->ReleaseObjects();
  // The container still answers from its tables, the user from its record.
  LPMAPITABLE contents = nullptr;
  ASSERT_EQ(directory->GetContentsTable(0, &contents), S_OK);
  EXPECT_EQ(Names(contents).size(), 4u);
  contents->Release();
  ULONG count = 0;
  LPSPropValue values = nullptr;
  EXPECT_EQ(user->GetProps(nullptr, 0, &count, &values), MAPI_W_ERRORS_RETURNED);
  EXPECT_EQ(count, USER_PROP_COUNT);
  MAPIFreeBuffer(values);
  // They hold the backend: one reference each (the user through its record).
  EXPECT_EQ(backend->RefCount, 3);
  user.reset();
  directory.reset();
  EXPECT_EQ(backend->RefCount, 1);
}

// ---- Container properties ----

TEST_F(AddressBookObjects, ContainerPropertiesAnswerByIDWhateverTheType) {
  ComPtr<IABContainer> root = Root();
  ULONG count = 0;
  LPSPropValue values = nullptr;
  ASSERT_EQ(root->GetProps(nullptr, 0, &count, &values), S_OK);
  ASSERT_EQ(count, CONTAINER_PROP_COUNT);
  const Bytes rootID = BytesOf(*backend->RootEntryID);
  EXPECT_EQ(values[0].ulPropTag, PR_CONTAINER_FLAGS);
  EXPECT_EQ(values[0].Value.l, 10);
  EXPECT_EQ(values[1].ulPropTag, PR_DISPLAY_NAME);
  EXPECT_EQ(TextOf(&values[1]), "Root");
  EXPECT_EQ(values[2].ulPropTag, PR_ENTRYID);
  EXPECT_EQ(BytesOf(values[2].Value.bin), rootID);
  EXPECT_EQ(values[3].ulPropTag, PR_OBJECT_TYPE);
  EXPECT_EQ(values[3].Value.l, static_cast<LONG>(MAPI_ABCONT));
  EXPECT_EQ(values[4].ulPropTag, PR_RECORD_KEY);
  EXPECT_EQ(BytesOf(values[4].Value.bin), rootID);
  EXPECT_EQ(values[5].ulPropTag, PR_DISPLAY_TYPE);
  EXPECT_EQ(values[5].Value.l, 0);
  MAPIFreeBuffer(values);

  // The requested type is not looked at; the answer's type is fixed.
  const struct {
    ULONG asked, answered;
    HRESULT result;
  } cases[] = {
      {PROP_TAG(PT_UNICODE, 0x3001), PR_DISPLAY_NAME, S_OK},
      {PROP_TAG(PT_STRING8, 0x3600), PR_CONTAINER_FLAGS, S_OK},
      {PROP_TAG(PT_LONG, 0x0FFF), PR_ENTRYID, S_OK},
      {PROP_TAG(PT_UNSPECIFIED, 0x0000), PR_NULL, S_OK},
      {PR_COMMENT, PROP_TAG(PT_ERROR, PROP_ID(PR_COMMENT)), MAPI_W_ERRORS_RETURNED},
  };
  for (const auto& c : cases) {
    SizedSPropTagArray(1, tags) = {1, {c.asked}};
    ASSERT_EQ(root->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values), c.result) << c.asked;
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(values[0].ulPropTag, c.answered);
    if (c.result != S_OK) {
      EXPECT_EQ(values[0].Value.err, MAPI_E_NOT_FOUND);
    }
    MAPIFreeBuffer(values);
  }

  LPSPropTagArray list = nullptr;
  ASSERT_EQ(root->GetPropList(0, &list), S_OK);
  ASSERT_EQ(list->cValues, CONTAINER_PROP_COUNT);
  EXPECT_EQ(std::memcmp(list, &ContainerPropList, CbNewSPropTagArray(CONTAINER_PROP_COUNT)), 0);
  MAPIFreeBuffer(list);
  EXPECT_EQ(root->GetPropList(MAPI_UNICODE, &list), MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(list, nullptr);
}

TEST_F(AddressBookObjects, ContainerPropertyRequestsThatFail) {
  ComPtr<IABContainer> directory = Directory();
  // No tags: neither out argument is written.
  SizedSPropTagArray(1, none) = {0, {0}};
  ULONG count = 77;
  auto* const sentinel = reinterpret_cast<LPSPropValue>(0x1);
  LPSPropValue values = sentinel;
  EXPECT_EQ(directory->GetProps(reinterpret_cast<LPSPropTagArray>(&none), 0, &count, &values),
            MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(count, 77u);
  EXPECT_EQ(values, sentinel);
  EXPECT_EQ(directory->GetProps(nullptr, MAPI_UNICODE, &count, &values), MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(values, nullptr);

  // A container without an identifier answers its identifier empty.
  ComPtr<CABContainer> bare(new CABContainer(backend, nullptr, nullptr, "", 9, nullptr));
  SizedSPropTagArray(2, idAndName) = {2, {PR_ENTRYID, PR_DISPLAY_NAME}};
  ASSERT_EQ(bare->GetProps(reinterpret_cast<LPSPropTagArray>(&idAndName), 0, &count, &values), S_OK);
  EXPECT_EQ(values[0].Value.bin.cb, 0u);
  EXPECT_EQ(values[0].Value.bin.lpb, nullptr);
  EXPECT_EQ(TextOf(&values[1]), "");
  MAPIFreeBuffer(values);
  LPMAPITABLE table = reinterpret_cast<LPMAPITABLE>(0x1);
  EXPECT_EQ(bare->GetContentsTable(0, &table), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(bare->GetHierarchyTable(0, &table), MAPI_E_NO_SUPPORT);
}

TEST_F(AddressBookObjects, WriteMethodsChangeNothingAndAnswerSix) {
  ComPtr<IABContainer> directory = Directory();
  SPropValue rename = Text(PR_DISPLAY_NAME, "Renamed");
  SizedSPropTagArray(1, nameTag) = {1, {PR_DISPLAY_NAME}};
  EXPECT_EQ(directory->SaveChanges(0), 6);
  EXPECT_EQ(directory->SetProps(1, &rename, nullptr), 6);
  EXPECT_EQ(directory->DeleteProps(reinterpret_cast<LPSPropTagArray>(&nameTag), nullptr), 6);
  EXPECT_EQ(directory->CreateEntry(0, nullptr, 0, nullptr), 6);
  EXPECT_EQ(directory->DeleteEntries(nullptr, 0), 6);
  ULONG count = 0;
  LPSPropValue values = nullptr;
  ASSERT_EQ(directory->GetProps(reinterpret_cast<LPSPropTagArray>(&nameTag), 0, &count, &values), S_OK);
  EXPECT_EQ(TextOf(values), "Dir");
  MAPIFreeBuffer(values);
  // What the container does not offer.
  EXPECT_EQ(directory->GetLastError(S_OK, 0, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->CopyTo(0, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->CopyProps(nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->CopyEntries(nullptr, 0, nullptr, 0), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->SetSearchCriteria(nullptr, nullptr, 0), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->GetSearchCriteria(0, nullptr, nullptr, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->GetNamesFromIDs(nullptr, nullptr, 0, nullptr, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->GetIDsFromNames(0, nullptr, 0, nullptr), MAPI_E_NO_SUPPORT);
}

TEST_F(AddressBookObjects, ContainerAnswersItsInterfacesOnly) {
  ComPtr<IABContainer> root = Root();
  for (const IID* iid : {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIContainer, &IID_IABContainer}) {
    LPVOID out = nullptr;
    ASSERT_EQ(root->QueryInterface(*iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<LPVOID>(root.get()));
    static_cast<IUnknown*>(out)->Release();
  }
  LPVOID out = reinterpret_cast<LPVOID>(0x1);
  EXPECT_EQ(root->QueryInterface(IID_IMailUser, &out), MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(root->QueryInterface(IID_IMailUser, nullptr), MAPI_E_INVALID_PARAMETER);
}

// ---- Container tables ----

TEST_F(AddressBookObjects, TablesOfTheTwoContainers) {
  ComPtr<IABContainer> root = Root();
  ComPtr<IABContainer> directory = Directory();

  // The root lists the directory container and has no contents; its contents come wrapped.
  ComPtr<IMAPITable> hierarchy;
  ASSERT_EQ(root->GetHierarchyTable(0, hierarchy.put()), S_OK);
  ASSERT_EQ(Names(hierarchy.get()).size(), 1u);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(hierarchy->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
  ASSERT_EQ(hierarchy->QueryRows(1, 0, &rows), S_OK);
  const SPropValue* id = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_ENTRYID);
  ASSERT_NE(id, nullptr);
  EXPECT_EQ(BytesOf(id->Value.bin), BytesOf(*backend->DirEntryID));
  FreeProws(rows);
  LPVOID wrapped = nullptr;
  EXPECT_EQ(hierarchy->QueryInterface(IID_IMAPITable, &wrapped), S_OK);
  static_cast<IUnknown*>(wrapped)->Release();

  ComPtr<IMAPITable> rootContents;
  ASSERT_EQ(root->GetContentsTable(0, rootContents.put()), S_OK);
  EXPECT_NE(dynamic_cast<CTable*>(rootContents.get()), nullptr);
  EXPECT_TRUE(Names(rootContents.get()).empty());

  // The directory lists the users and no containers.
  ComPtr<IMAPITable> contents;
  ASSERT_EQ(directory->GetContentsTable(0, contents.put()), S_OK);
  EXPECT_EQ(Names(contents.get()),
            (std::vector<std::string>{"Anna Smithers", "John Smith", "Olga Osmic", "Paul Jones"}));
  ComPtr<IMAPITable> dirHierarchy;
  ASSERT_EQ(directory->GetHierarchyTable(0, dirHierarchy.put()), S_OK);
  EXPECT_TRUE(Names(dirHierarchy.get()).empty());

  LPMAPITABLE table = reinterpret_cast<LPMAPITABLE>(0x1);
  EXPECT_EQ(directory->GetContentsTable(MAPI_ASSOCIATED, &table), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(table, nullptr);
  EXPECT_EQ(directory->GetHierarchyTable(MAPI_ASSOCIATED, &table), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(directory->GetContentsTable(MAPI_UNICODE, &table), MAPI_E_BAD_CHARWIDTH);
}

TEST_F(AddressBookObjects, OpenPropertyOpensTheTwoTablesOnly) {
  ComPtr<IABContainer> directory = Directory();
  LPUNKNOWN object = nullptr;
  ASSERT_EQ(directory->OpenProperty(PR_CONTAINER_CONTENTS, &IID_IMAPITable, 0, 0, &object), S_OK);
  auto* contents = static_cast<IMAPITable*>(object);
  EXPECT_NE(dynamic_cast<CTable*>(contents), nullptr);
  EXPECT_EQ(Names(contents).size(), 4u);
  contents->Release();
  ASSERT_EQ(directory->OpenProperty(PR_CONTAINER_HIERARCHY, &IID_IMAPITable, 0, 0, &object), S_OK);
  static_cast<IUnknown*>(object)->Release();
  // The interface options are the table's flags.
  EXPECT_EQ(directory->OpenProperty(PR_CONTAINER_CONTENTS, &IID_IMAPITable, MAPI_ASSOCIATED, 0, &object),
            MAPI_E_NO_SUPPORT);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(directory->OpenProperty(PR_CONTAINER_CONTENTS, &IID_IMAPIProp, 0, 0, &object),
            MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(directory->OpenProperty(PR_CONTAINER_CONTENTS, nullptr, 0, 0, &object), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(directory->OpenProperty(PR_DISPLAY_NAME, &IID_IMAPITable, 0, 0, &object), MAPI_E_NOT_FOUND);
  EXPECT_EQ(object, nullptr);
}

TEST_F(AddressBookObjects, TypedNameSearchThroughTheContentsTable) {
  ComPtr<IABContainer> directory = Directory();
  ComPtr<IMAPITable> contents;
  ASSERT_EQ(directory->GetContentsTable(0, contents.put()), S_OK);
  for (ULONG relop : {RELOP_EQ, RELOP_GE, RELOP_RE}) {
    SPropValue anr = Text(PR_ANR, "SMI");
    SRestriction restriction{};
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty = {relop, PR_ANR, &anr};
    ASSERT_EQ(contents->Restrict(&restriction, 0), S_OK);
    EXPECT_EQ(Names(contents.get()), (std::vector<std::string>{"Anna Smithers", "John Smith", "Olga Osmic"}));
  }
  ASSERT_EQ(contents->Restrict(nullptr, 0), S_OK);
  EXPECT_EQ(Names(contents.get()).size(), 4u);
}

// ---- Name resolution ----

TEST_F(AddressBookObjects, ResolveNamesByTypedName) {
  const struct {
    std::vector<SPropValue> entry;
    ULONG flag;
    ULONG expectedFlag;
    const char* resolvedTo;  // null: the entry stays as it was
  } cases[] = {
      {{Text(PR_DISPLAY_NAME, "smi")}, MAPI_UNRESOLVED, MAPI_AMBIGUOUS, nullptr},
      {{Text(PR_DISPLAY_NAME, "john s")}, MAPI_UNRESOLVED, MAPI_RESOLVED, "John Smith"},
      {{Text(PR_DISPLAY_NAME, "ohn")}, MAPI_UNRESOLVED, MAPI_RESOLVED, "John Smith"},
      {{Text(PR_DISPLAY_NAME, "JOHN SMITH")}, MAPI_UNRESOLVED, MAPI_RESOLVED, "John Smith"},
      {{Text(PR_DISPLAY_NAME, "john smith")}, MAPI_UNRESOLVED, MAPI_RESOLVED, "John Smith"},
      {{Text(PR_EMAIL_ADDRESS, "x@y"), Text(PR_DISPLAY_NAME, "osmic")}, MAPI_UNRESOLVED, MAPI_RESOLVED, "Olga Osmic"},
      {{Text(PR_DISPLAY_NAME, "nobody")}, MAPI_UNRESOLVED, MAPI_UNRESOLVED, nullptr},
      {{Text(PR_DISPLAY_NAME, "john smith")}, MAPI_RESOLVED, MAPI_RESOLVED, nullptr},
      {{Text(PR_DISPLAY_NAME, "john smith")}, MAPI_AMBIGUOUS, MAPI_AMBIGUOUS, nullptr},
      {{WideText(PROP_TAG(PT_UNICODE, 0x3001), kWideJohn)}, MAPI_UNRESOLVED, MAPI_UNRESOLVED, nullptr},
      {{Text(PR_DISPLAY_NAME, "")}, MAPI_UNRESOLVED, MAPI_UNRESOLVED, nullptr},
      {{Text(PR_EMAIL_ADDRESS, "john smith")}, MAPI_UNRESOLVED, MAPI_UNRESOLVED, nullptr},
      {{}, MAPI_UNRESOLVED, MAPI_UNRESOLVED, nullptr},
  };
  std::vector<std::vector<SPropValue>> entries;
  std::vector<ULONG> flags;
  for (const auto& c : cases) {
    entries.push_back(c.entry);
    flags.push_back(c.flag);
  }
  const Bytes johnID = UserID(kJohnDN);
  // Through either container: both resolve against the whole user list.
  for (bool throughRoot : {true, false}) {
    ComPtr<IABContainer> container = throughRoot ? Root() : Directory();
    AddressList list(entries);
    Flags flagList(flags);
    ASSERT_EQ(container->ResolveNames(nullptr, 0, list.get(), flagList.list()), S_OK);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(flagList[i], cases[i].expectedFlag);
      const ADRENTRY& entry = list[i];
      if (!cases[i].resolvedTo) {
        ASSERT_EQ(entry.cValues, cases[i].entry.size());
        for (ULONG v = 0; v < entry.cValues; ++v) {
          EXPECT_EQ(entry.rgPropVals[v].ulPropTag, cases[i].entry[v].ulPropTag);
          if (PROP_TYPE(entry.rgPropVals[v].ulPropTag) == PT_STRING8) {
            EXPECT_STREQ(entry.rgPropVals[v].Value.lpszA, cases[i].entry[v].Value.lpszA);
          }
        }
        continue;
      }
      // The eleven properties of a resolved recipient, in their order, in place of the typed ones;
      // the record has no instance key of its own to give.
      ASSERT_EQ(entry.cValues, 11u);
      const ULONG expectedTags[] = {PR_ENTRYID,
                                    PR_SEARCH_KEY,
                                    PR_ADDRTYPE,
                                    PR_DISPLAY_NAME,
                                    PR_DISPLAY_TYPE,
                                    PR_EMAIL_ADDRESS,
                                    PROP_TAG(PT_ERROR, PROP_ID(PR_INSTANCE_KEY)),
                                    PR_OBJECT_TYPE,
                                    PR_TRANSMITABLE_DISPLAY_NAME,
                                    PR_SEND_RICH_INFO,
                                    PR_7BIT_DISPLAY_NAME};
      for (ULONG v = 0; v < 11; ++v) EXPECT_EQ(entry.rgPropVals[v].ulPropTag, expectedTags[v]) << v;
      EXPECT_EQ(TextOf(&entry.rgPropVals[3]), cases[i].resolvedTo);
      if (std::string(cases[i].resolvedTo) == "John Smith") {
        EXPECT_EQ(BytesOf(entry.rgPropVals[0].Value.bin), johnID);
        EXPECT_EQ(TextOf(&entry.rgPropVals[5]), "john.smith@example.com");
      }
    }
  }
}

TEST_F(AddressBookObjects, ResolveNamesWithRequestedTags) {
  ComPtr<IABContainer> directory = Directory();
  AddressList list({{Text(PR_DISPLAY_NAME, "anna")}});
  Flags flags({MAPI_UNRESOLVED});
  SizedSPropTagArray(3, tags) = {3, {PR_EMAIL_ADDRESS, PR_DISPLAY_NAME, PR_COMMENT}};
  ASSERT_EQ(directory->ResolveNames(reinterpret_cast<LPSPropTagArray>(&tags), 0, list.get(), flags.list()), S_OK);
  EXPECT_EQ(flags[0], MAPI_RESOLVED);
  ASSERT_EQ(list[0].cValues, 3u);
  EXPECT_EQ(TextOf(&list[0].rgPropVals[0]), "anna@example.com");
  EXPECT_EQ(TextOf(&list[0].rgPropVals[1]), "Anna Smithers");
  EXPECT_EQ(list[0].rgPropVals[2].ulPropTag, PROP_TAG(PT_ERROR, PROP_ID(PR_COMMENT)));
}

TEST_F(AddressBookObjects, ResolveNamesRefusesWhatItCannotReadSafely) {
  ComPtr<IABContainer> directory = Directory();
  AddressList list({{Text(PR_DISPLAY_NAME, "john s")}, {Text(PR_DISPLAY_NAME, "olga")}});
  // Unicode first, before any entry is looked at.
  Flags two({MAPI_UNRESOLVED, MAPI_UNRESOLVED});
  EXPECT_EQ(directory->ResolveNames(nullptr, MAPI_UNICODE, list.get(), two.list()), MAPI_E_BAD_CHARWIDTH);
  // Fewer (or more) flags than entries, or a list missing: nothing is read or changed.
  Flags one({MAPI_UNRESOLVED});
  Flags three({MAPI_UNRESOLVED, MAPI_UNRESOLVED, MAPI_UNRESOLVED});
  EXPECT_EQ(directory->ResolveNames(nullptr, 0, list.get(), one.list()), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(directory->ResolveNames(nullptr, 0, list.get(), three.list()), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(directory->ResolveNames(nullptr, 0, nullptr, two.list()), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(directory->ResolveNames(nullptr, 0, list.get(), nullptr), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(one[0], MAPI_UNRESOLVED);
  EXPECT_EQ(three[0], MAPI_UNRESOLVED);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(two[i], MAPI_UNRESOLVED);
    EXPECT_EQ(list[i].cValues, 1u);
  }
  // The same lists, well formed, resolve.
  EXPECT_EQ(directory->ResolveNames(nullptr, 0, list.get(), two.list()), S_OK);
  EXPECT_EQ(two[0], MAPI_RESOLVED);
  EXPECT_EQ(two[1], MAPI_RESOLVED);
}

// ---- Mail user ----

TEST_F(AddressBookObjects, MailUserIsAReadOnlyFrontOfItsRecord) {
  ComPtr<IMailUser> user = OpenUser(kJohnDN);
  CLDAPUser* record = Record("John Smith");

  // The whole property set is the record's.
  ULONG count = 0, recordCount = 0;
  LPSPropValue values = nullptr, recordValues = nullptr;
  ASSERT_EQ(user->GetProps(nullptr, 0, &count, &values), MAPI_W_ERRORS_RETURNED);
  ASSERT_EQ(record->GetProps(nullptr, 0, &recordCount, &recordValues), MAPI_W_ERRORS_RETURNED);
  ASSERT_EQ(count, USER_PROP_COUNT);
  ASSERT_EQ(count, recordCount);
  for (ULONG i = 0; i < count; ++i) {
    EXPECT_EQ(values[i].ulPropTag, recordValues[i].ulPropTag);
    if (PROP_TYPE(values[i].ulPropTag) != PT_STRING8) continue;
    EXPECT_STREQ(values[i].Value.lpszA, recordValues[i].Value.lpszA);
  }
  MAPIFreeBuffer(values);
  MAPIFreeBuffer(recordValues);
  LPSPropTagArray list = nullptr;
  ASSERT_EQ(user->GetPropList(0, &list), S_OK);
  EXPECT_EQ(list->cValues, USER_PROP_COUNT);
  MAPIFreeBuffer(list);

  // Writes change nothing.
  SPropValue rename = Text(PR_DISPLAY_NAME, "Renamed");
  SizedSPropTagArray(1, nameTag) = {1, {PR_DISPLAY_NAME}};
  auto* const untouched = reinterpret_cast<LPSPropProblemArray>(0x1);
  LPSPropProblemArray problems = untouched;
  EXPECT_EQ(user->SetProps(1, &rename, &problems), 6);
  EXPECT_EQ(user->DeleteProps(reinterpret_cast<LPSPropTagArray>(&nameTag), &problems), 6);
  EXPECT_EQ(problems, untouched);
  EXPECT_EQ(user->SaveChanges(0), 6);
  ASSERT_EQ(user->GetProps(reinterpret_cast<LPSPropTagArray>(&nameTag), 0, &count, &values), S_OK);
  EXPECT_EQ(TextOf(values), "John Smith");
  MAPIFreeBuffer(values);

  // What the mail user does not offer; without a support object there is no copying.
  EXPECT_EQ(user->GetLastError(S_OK, 0, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(user->GetNamesFromIDs(nullptr, nullptr, 0, nullptr, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(user->GetIDsFromNames(0, nullptr, 0, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(user->CopyTo(0, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(user->CopyProps(nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr), MAPI_E_NO_SUPPORT);

  // The details page opens as a table; nothing else does.
  LPUNKNOWN details = nullptr;
  ASSERT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPITable, 0, 0, &details), S_OK);
  ULONG rows = 0;
  EXPECT_EQ(static_cast<IMAPITable*>(details)->GetRowCount(0, &rows), S_OK);
  EXPECT_GT(rows, 0u);
  details->Release();
  EXPECT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPIProp, 0, 0, &details), MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(user->OpenProperty(PR_ENTRYID, &IID_IMAPITable, 0, 0, &details), MAPI_E_NO_SUPPORT);

  // Its interfaces.
  for (const IID* iid : {&IID_IUnknown, &IID_IMAPIProp, &IID_IMailUser}) {
    LPVOID out = nullptr;
    ASSERT_EQ(user->QueryInterface(*iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<LPVOID>(user.get()));
    static_cast<IUnknown*>(out)->Release();
  }
  LPVOID out = reinterpret_cast<LPVOID>(0x1);
  EXPECT_EQ(user->QueryInterface(IID_IMAPIContainer, &out), MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(user->QueryInterface(IID_IMailUser, nullptr), MAPI_E_INVALID_PARAMETER);
}

TEST_F(AddressBookObjects, MailUserCopiesThroughTheSupportObject) {
  FakeSupport support;
  support.copyResult = MAPI_W_ERRORS_RETURNED;
  backend->Support = ComPtr<IMAPISupport>::AddRefed(&support);
  ComPtr<IMailUser> user = OpenUser(kJohnDN);
  const IID excluded[] = {IID_IMAPIContainer};
  SizedSPropTagArray(1, tags) = {1, {PR_DISPLAY_NAME}};
  auto* props = reinterpret_cast<LPSPropTagArray>(&tags);
  auto* progress = reinterpret_cast<LPMAPIPROGRESS>(0x10);
  auto* destination = reinterpret_cast<LPVOID>(0x20);
  LPSPropProblemArray problems = nullptr;

  EXPECT_EQ(user->CopyTo(1, excluded, props, 7, progress, &IID_IMailUser, destination, 3, &problems),
            MAPI_W_ERRORS_RETURNED);
  const FakeSupport::Copy& to = support.copyTo;
  EXPECT_EQ(*to.sourceInterface, IID_IMailUser);
  EXPECT_EQ(to.source, static_cast<LPVOID>(user.get()));
  EXPECT_EQ(to.excludedInterfaceCount, 1u);
  EXPECT_EQ(to.excludedInterfaces, excluded);
  EXPECT_EQ(to.props, props);
  EXPECT_EQ(to.uiParam, 7u);
  EXPECT_EQ(to.progress, progress);
  EXPECT_EQ(to.destinationInterface, &IID_IMailUser);
  EXPECT_EQ(to.destination, destination);
  EXPECT_EQ(to.flags, 3u);
  EXPECT_EQ(to.problems, &problems);

  EXPECT_EQ(user->CopyProps(props, 8, progress, &IID_IMAPIProp, destination, 5, &problems), MAPI_W_ERRORS_RETURNED);
  const FakeSupport::Copy& copied = support.copyProps;
  EXPECT_EQ(*copied.sourceInterface, IID_IMailUser);
  EXPECT_EQ(copied.source, static_cast<LPVOID>(user.get()));
  EXPECT_EQ(copied.props, props);
  EXPECT_EQ(copied.uiParam, 8u);
  EXPECT_EQ(copied.progress, progress);
  EXPECT_EQ(copied.destinationInterface, &IID_IMAPIProp);
  EXPECT_EQ(copied.destination, destination);
  EXPECT_EQ(copied.flags, 5u);
  EXPECT_EQ(copied.problems, &problems);
  backend->Support.reset();
  EXPECT_EQ(support.refs, 1u);
}

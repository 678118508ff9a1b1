// The LDAP backend against a real slapd: a snapshot becomes the sorted user list and the
// directory contents table, and typed names resolve against it.
#include "backend/ldapbe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "directory/ldapcon.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "tempdir.h"

namespace {
using Bytes = std::vector<BYTE>;

constexpr const char* kPeopleDN = "ou=people,dc=example,dc=com";
constexpr const char* kMapping =
    "First Name=givenName\nLast Name=sn\nTitle=title\nCompany=o\nDepartment=ou\n"
    "Telephone Number=telephoneNumber\nFax Number=facsimileTelephoneNumber\nMobile=mobile\n"
    "E-mail Address=mail";

std::string Person(const std::string& uid, const std::string& cn, const std::string& given, const std::string& sn,
                   const std::string& more = "") {
  std::string ldif = "dn: uid=" + uid + ",ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: " + uid +
                     "\ncn: " + cn + "\nsn: " + sn + "\n";
  if (!given.empty()) ldif += "givenName: " + given + "\n";
  return ldif + more + "\n";
}

std::string PeopleLdif() {
  return "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
         "dn: ou=empty,dc=example,dc=com\nobjectClass: organizationalUnit\nou: empty\n\n"
         "dn: ou=single,dc=example,dc=com\nobjectClass: organizationalUnit\nou: single\n\n"
         "dn: uid=only,ou=single,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: only\ncn: Only One\n"
         "sn: One\n\n" +
         Person("jsmith", "John Smith", "John", "Smith",
                "mail: John.Smith@example.com\ntitle: Engineer\no: Example Ltd\nou: Research\n"
                "telephoneNumber: +1 555 0100\nfacsimileTelephoneNumber: +1 555 0101\nmobile: +1 555 0102\n") +
         Person("asmithers", "Ann Smithers", "Ann", "Smithers", "mail: ann@example.com\n") +
         Person("adams", "adams", "Abe", "adams") + Person("underscore", "_x", "Xaver", "_x") +
         Person("baker", "Baker", "Bea", "Baker", "mail: bea@example.com\n") +
         Person("nofirst", "Nofirst", "", "Nofirst") +
         Person("jmueller", "J\xC3\xBCrgen M\xC3\xBCller", "J\xC3\xBCrgen", "M\xC3\xBCller",
                "mail: juergen@example.com\n");
}

// Display names of the people under ou=people by ShowNamesBy, in display-name order.
const std::vector<std::vector<std::string>> kSortedNames = {
    {" Nofirst", "Abe adams", "Ann Smithers", "Bea Baker", "John Smith", "J\xC3\xBCrgen M\xC3\xBCller", "Xaver _x"},
    {"adams, Abe", "Baker, Bea", "M\xC3\xBCller, J\xC3\xBCrgen", "Nofirst, ", "Smith, John", "Smithers, Ann",
     "_x, Xaver"},
    {"adams", "Ann Smithers", "Baker", "John Smith", "J\xC3\xBCrgen M\xC3\xBCller", "Nofirst", "_x"},
    {"", "", "", "", "", "", ""},
};

std::string TextOf(const SPropValue* v) { return v && v->Value.lpszA ? v->Value.lpszA : "<missing>"; }
Bytes BytesOf(const SBinary& bin) { return bin.lpb ? Bytes(bin.lpb, bin.lpb + bin.cb) : Bytes(); }

// Everything one contents-table row says, for comparing whole rows.
struct Row {
  std::string displayName, email, addressType;
  LONG displayType, objectType;
  Bytes entryID, instanceKey;
  bool operator==(const Row&) const = default;
};

std::vector<Row> ContentsRows(ITableData* data) {
  std::vector<Row> result;
  ComPtr<IMAPITable> view;
  EXPECT_EQ(data->HrGetView(nullptr, nullptr, 0, view.put()), S_OK);
  LPSRowSet rows = nullptr;
  EXPECT_EQ(view->QueryRows(1000, 0, &rows), S_OK);
  for (ULONG i = 0; rows && i < rows->cRows; ++i) {
    const SRow& row = rows->aRow[i];
    auto find = [&](ULONG tag) { return PpropFindProp(row.lpProps, row.cValues, tag); };
    result.push_back({TextOf(find(PR_DISPLAY_NAME)), TextOf(find(PR_EMAIL_ADDRESS)), TextOf(find(PR_ADDRTYPE)),
                      find(PR_DISPLAY_TYPE)->Value.l, find(PR_OBJECT_TYPE)->Value.l,
                      BytesOf(find(PR_ENTRYID)->Value.bin), BytesOf(find(PR_INSTANCE_KEY)->Value.bin)});
  }
  FreeProws(rows);
  return result;
}

class LDAPBackend : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = PeopleLdif()}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override { MakeBackend(); }
  void MakeBackend() {
    backend = new ABLDAPBackeEnd(nullptr, nullptr);
    backend->Profile = std::make_unique<CLDAPProfileData>();
    CLDAPProfileData& profile = *backend->Profile;
    profile.ServerName = server->HostPort();
    profile.SearchDN = kPeopleDN;
    profile.SearchString = "(objectClass=inetOrgPerson)";
    profile.SchemaMapping = kMapping;
    profile.CacheFileName = (dir / "people.pxb").string();
  }
  void TearDown() override { DropBackend(); }
  void DropBackend() {
    // The users hold references on the backend: clearing the list breaks the cycle.
    backend->ClearUsers();
    EXPECT_EQ(backend->RefCount, 1);
    backend->Release();
  }

  std::vector<std::string> DisplayNames() const {
    std::vector<std::string> names;
    for (const UserListEntry& entry : *backend->Users) names.push_back(entry.User->DisplayName);
    return names;
  }
  CLDAPUser* UserNamed(const std::string& displayName) const {
    for (const UserListEntry& entry : *backend->Users)
      if (entry.User->DisplayName == displayName) return entry.User.get();
    return nullptr;
  }

  static SlapdServer* server;
  TempDir dir;
  ABLDAPBackeEnd* backend = nullptr;
};
SlapdServer* LDAPBackend::server = nullptr;

}  // namespace

TEST_F(LDAPBackend, DisplayNamesAreComposedAndSortedAsConfigured) {
  for (LONG showNamesBy = 0; showNamesBy < 4; ++showNamesBy) {
    backend->Profile->ShowNamesBy = showNamesBy;
    ScriptedMessageBoxes boxes;
    ASSERT_TRUE(backend->LoadDirectory());
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(DisplayNames(), kSortedNames[showNamesBy]) << showNamesBy;
    for (std::size_t i = 1; i < backend->Users->size(); ++i)
      EXPECT_LE(ABLDAPBackeEnd::CompareUsers(*backend->Users, i - 1, i), 0) << i;
  }
}

TEST_F(LDAPBackend, EveryUserCarriesItsEntryAndTheBackend) {
  backend->Profile->ShowNamesBy = 1;
  ASSERT_TRUE(backend->LoadDirectory());
  ASSERT_EQ(backend->Users->size(), 7u);
  for (const UserListEntry& entry : *backend->Users) {
    EXPECT_EQ(entry.DistinguishedName, entry.User->DistinguishedName);
    EXPECT_EQ(entry.User->Backend.get(), backend);
  }
  EXPECT_EQ(backend->RefCount, 1 + 7);
  const CLDAPUser* john = UserNamed("Smith, John");
  ASSERT_NE(john, nullptr);
  EXPECT_EQ(john->DistinguishedName, "uid=jsmith,ou=people,dc=example,dc=com");
  EXPECT_EQ(john->GivenName, "John");
  EXPECT_EQ(john->Surname, "Smith");
  EXPECT_EQ(john->EmailAddress, "John.Smith@example.com");
  EXPECT_EQ(john->Title, "Engineer");
  EXPECT_EQ(john->Company, "Example Ltd");
  EXPECT_EQ(john->Department, "Research");
  EXPECT_EQ(john->BusinessPhone, "+1 555 0100");
  EXPECT_EQ(john->BusinessFax, "+1 555 0101");
  EXPECT_EQ(john->Mobile, "+1 555 0102");
}

TEST_F(LDAPBackend, ContentsTableHoldsOneRowPerUserInListOrder) {
  for (LONG showNamesBy : {0, 3}) {
    // A fresh backend: rows written again keep the place of their first writing.
    DropBackend();
    MakeBackend();
    backend->Profile->ShowNamesBy = showNamesBy;
    ASSERT_TRUE(backend->LoadDirectory());
    ASSERT_EQ(backend->InitTables(), S_OK);
    std::vector<Row> expected;
    for (const UserListEntry& entry : *backend->Users) {
      const auto id = entry.User->MakeEntryID();
      const Bytes idBytes = BytesOf(id->AsSBinary());
      expected.push_back({entry.User->DisplayName, entry.User->EmailAddress, "SMTP", 0, 6, idBytes, idBytes});
    }
    EXPECT_EQ(ContentsRows(backend->DirContents.get()), expected) << showNamesBy;
    // Every further InitTables writes every row again, replacing the rows already there.
    ASSERT_EQ(backend->InitTables(), S_OK);
    EXPECT_EQ(ContentsRows(backend->DirContents.get()), expected) << showNamesBy;
  }
}

TEST_F(LDAPBackend, WithoutConfigurationNothingIsFetched) {
  backend->Profile.reset();
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(backend->LoadDirectory());
  ASSERT_TRUE(backend->Users);
  EXPECT_TRUE(backend->Users->empty());
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LDAPBackend, EmptyAndSingleSnapshots) {
  backend->Profile->SearchDN = "ou=empty,dc=example,dc=com";
  ASSERT_TRUE(backend->LoadDirectory());
  ASSERT_TRUE(backend->Users);
  EXPECT_TRUE(backend->Users->empty());
  EXPECT_EQ(backend->InitTables(), S_OK);
  EXPECT_TRUE(ContentsRows(backend->DirContents.get()).empty());

  backend->Profile->SearchDN = "ou=single,dc=example,dc=com";
  ASSERT_TRUE(backend->LoadDirectory());
  EXPECT_EQ(DisplayNames(), std::vector<std::string>{" One"});
}

TEST_F(LDAPBackend, FailedFetchIsAnEmptyAddressBookNotAFailure) {
  backend->Profile->ServerName = "127.0.0.1:" + std::to_string(SlapdServer::UnusedPort());
  ScriptedMessageBoxes boxes({IDNO});  // do not work offline
  EXPECT_TRUE(backend->LoadDirectory());
  ASSERT_TRUE(backend->Users);
  EXPECT_TRUE(backend->Users->empty());
  EXPECT_FALSE(boxes.Boxes().empty());
}

TEST_F(LDAPBackend, DuplicateNamesFromTheCacheCollapseIntoOneRow) {
  // A snapshot kept offline may name one entry twice; the server cannot.
  {
    LDAPListManager earlier;
    earlier.CacheFileName = backend->Profile->CacheFileName;
    earlier.Items.resize(3);
    earlier.Items[0].DN = "uid=twin,ou=people,dc=example,dc=com";
    earlier.Items[0].CommonName = "Twin B";
    earlier.Items[1].DN = "uid=other,ou=people,dc=example,dc=com";
    earlier.Items[1].CommonName = "Other";
    earlier.Items[2].DN = "uid=twin,ou=people,dc=example,dc=com";
    earlier.Items[2].CommonName = "Twin A";
    ScriptedMessageBoxes boxes;
    ASSERT_TRUE(earlier.SaveCache());
  }
  backend->Profile->ShowNamesBy = 2;
  backend->Profile->ServerName = "127.0.0.1:" + std::to_string(SlapdServer::UnusedPort());
  ScriptedMessageBoxes boxes({IDYES});  // work offline
  ASSERT_TRUE(backend->LoadDirectory());
  EXPECT_EQ(DisplayNames(), (std::vector<std::string>{"Other", "Twin A", "Twin B"}));
  ASSERT_EQ(backend->InitTables(), S_OK);
  const std::vector<Row> rows = ContentsRows(backend->DirContents.get());
  ASSERT_EQ(rows.size(), 2u);
  // The later write of the same identifier replaced the earlier row.
  EXPECT_EQ(rows[0].displayName, "Other");
  EXPECT_EQ(rows[1].displayName, "Twin B");

  // Opening the identifier finds the first twin in display-name order, whatever the case.
  const std::string key = "UID=TWIN,OU=People,dc=example,dc=com";
  const auto id = backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, key);
  ComPtr<CLDAPUser> found;
  ASSERT_EQ(backend->FindUserByEntryID(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &found), S_OK);
  EXPECT_EQ(found->DisplayName, "Twin A");
}

TEST_F(LDAPBackend, FindsUsersByTheDistinguishedNameInTheirIdentifier) {
  ComPtr<CLDAPUser> found;
  // No list yet.
  const auto id = backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, "uid=baker,ou=people,dc=example,dc=com");
  EXPECT_EQ(backend->FindUserByEntryID(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &found), MAPI_E_INVALID_ENTRYID);

  ASSERT_TRUE(backend->LoadDirectory());
  ASSERT_EQ(backend->FindUserByEntryID(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &found), S_OK);
  EXPECT_EQ(found->DisplayName, "Bea Baker");
  EXPECT_EQ(found->RefCount, 2);  // the list's and ours

  const auto stranger = backend->MakeEntryID(3, 6, "uid=nobody,ou=people,dc=example,dc=com");
  EXPECT_EQ(backend->FindUserByEntryID(stranger->cb, reinterpret_cast<LPENTRYID>(stranger->lpb), &found),
            MAPI_E_INVALID_ENTRYID);
  EXPECT_FALSE(found);
  const auto empty = backend->MakeEntryID(3, 6, "");
  EXPECT_EQ(backend->FindUserByEntryID(empty->cb, reinterpret_cast<LPENTRYID>(empty->lpb), &found),
            MAPI_E_INVALID_ENTRYID);
  // The key must end within the identifier.
  EXPECT_EQ(backend->FindUserByEntryID(id->cb - 1, reinterpret_cast<LPENTRYID>(id->lpb), &found),
            MAPI_E_INVALID_ENTRYID);
  EXPECT_EQ(backend->FindUserByEntryID(31, reinterpret_cast<LPENTRYID>(id->lpb), &found), MAPI_E_INVALID_ENTRYID);
}

TEST_F(LDAPBackend, UsersHandedOutOutliveANewLoad) {
  ASSERT_TRUE(backend->LoadDirectory());
  ComPtr<CLDAPUser> kept = backend->Users->front().User;
  const std::string name = kept->DisplayName;
  ASSERT_TRUE(backend->LoadDirectory());
  EXPECT_EQ(kept->RefCount, 1);  // only ours: the new list has new records
  EXPECT_EQ(kept->DisplayName, name);
  EXPECT_NE(backend->Users->front().User.get(), kept.get());
}

namespace {
struct Lookup {
  const char* typed;
  HRESULT result;
  const char* found;  // display name of the one match
};
}  // namespace

TEST_F(LDAPBackend, FindUserByNameResolvesOneMatch) {
  backend->Profile->ShowNamesBy = 0;
  ASSERT_TRUE(backend->LoadDirectory());
  const std::vector<Lookup> lookups = {
      {"smi", MAPI_E_AMBIGUOUS_RECIP, nullptr},
      {"john s", S_OK, "John Smith"},
      {"JOHN SMITH", S_OK, "John Smith"},
      {"", MAPI_E_NOT_FOUND, nullptr},
      {"zebra", MAPI_E_NOT_FOUND, nullptr},
      {"m\xC3\xBCller", S_OK, "J\xC3\xBCrgen M\xC3\xBCller"},  // müller finds MÜLLER's Müller
      {"J\xC3\x9CRGEN", S_OK, "J\xC3\xBCrgen M\xC3\xBCller"},  // JÜRGEN
      {"mueller", MAPI_E_NOT_FOUND, nullptr},
      {" nof", S_OK, " Nofirst"},
      {"a", MAPI_E_AMBIGUOUS_RECIP, nullptr},
  };
  for (const Lookup& l : lookups) {
    const std::size_t before = MAPIOutstandingBuffers();
    // An array that was there before the call: freed on a match, untouched otherwise.
    LPSPropValue values = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<LPVOID*>(&values)), S_OK);
    LPSPropValue previous = values;
    ULONG count = 1;
    const HRESULT hr = backend->FindUserByName(l.typed, nullptr, &values, &count);
    EXPECT_EQ(hr, l.result) << l.typed;
    if (!l.found) {
      EXPECT_EQ(values, previous) << l.typed;
      EXPECT_EQ(count, 1u) << l.typed;
      MAPIFreeBuffer(values);
      EXPECT_EQ(MAPIOutstandingBuffers(), before) << l.typed;
      continue;
    }
    ASSERT_EQ(count, 11u) << l.typed;
    const std::vector<ULONG> tags = {0x0FFF0102, 0x300B0102, 0x3002001E, 0x3001001E, 0x39000003, 0x3003001E,
                                     0x0FF60102, 0x0FFE0003, 0x3A20001E, 0x3A40000B, 0x39FF001E};
    for (ULONG i = 0; i < 11; ++i) {
      // PR_INSTANCE_KEY is no property of a user, and a user without mail has no address:
      // those come back as not found.
      const bool missing = tags[i] == PR_INSTANCE_KEY || (tags[i] == PR_EMAIL_ADDRESS && l.found[0] == ' ');
      EXPECT_EQ(values[i].ulPropTag, missing ? PROP_TAG(PT_ERROR, PROP_ID(tags[i])) : tags[i]) << l.typed << i;
    }
    EXPECT_STREQ(values[3].Value.lpszA, l.found);
    MAPIFreeBuffer(values);
    EXPECT_EQ(MAPIOutstandingBuffers(), before) << l.typed;  // the earlier array was freed
  }
}

TEST_F(LDAPBackend, FindUserByNameAnswersTheRequestedTags) {
  backend->Profile->ShowNamesBy = 1;
  ASSERT_TRUE(backend->LoadDirectory());
  SizedSPropTagArray(3, tags) = {3, {PR_EMAIL_ADDRESS, PR_LDAP_DN, PR_TITLE}};
  LPSPropValue values = nullptr;
  ULONG count = 0;
  ASSERT_EQ(backend->FindUserByName("smith, j", reinterpret_cast<LPSPropTagArray>(&tags), &values, &count), S_OK);
  MapiBuffer<SPropValue> owned(values, MAPIFreeBuffer);
  ASSERT_EQ(count, 3u);
  EXPECT_STREQ(values[0].Value.lpszA, "John.Smith@example.com");
  EXPECT_STREQ(values[1].Value.lpszA, "uid=jsmith,ou=people,dc=example,dc=com");
  EXPECT_STREQ(values[2].Value.lpszA, "Engineer");

  // A failing GetProps (here: an empty tag array) is passed on, with nothing handed out.
  SizedSPropTagArray(1, none) = {0, {0}};
  LPSPropValue failed = nullptr;
  count = 5;
  EXPECT_EQ(backend->FindUserByName("smith, j", reinterpret_cast<LPSPropTagArray>(&none), &failed, &count),
            MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(failed, nullptr);
  EXPECT_EQ(count, 0u);
}

TEST_F(LDAPBackend, FillContentsTableStopsAtTheFirstFailingRow) {
  ASSERT_TRUE(backend->LoadDirectory());
  // No contents table: the first row fails.
  EXPECT_EQ(backend->FillContentsTable(), MAPI_E_NO_SUPPORT);
  backend->ClearUsers();
  EXPECT_EQ(backend->FillContentsTable(), S_OK);
  ABLDAPBackeEnd* fresh = new ABLDAPBackeEnd(nullptr, nullptr);
  EXPECT_EQ(fresh->FindUserByName("smi", nullptr, nullptr, nullptr), MAPI_E_INVALID_PARAMETER);
  LPSPropValue values = nullptr;
  ULONG count = 0;
  EXPECT_EQ(fresh->FindUserByName("smi", nullptr, &values, &count), MAPI_E_NOT_FOUND);  // no list
  fresh->Release();
}

TEST_F(LDAPBackend, NamesFoldInTheUsersLocaleWhateverTheProcessLocale) {
  ASSERT_TRUE(backend->LoadDirectory());
  LPSPropValue values = nullptr;
  ULONG count = 0;
  EXPECT_EQ(backend->FindUserByName("J\xC3\x9CRGEN", nullptr, &values, &count), S_OK);  // JÜRGEN
  MAPIFreeBuffer(values);
  values = nullptr;
  // The program's locale is the program's: a client that switches it to C changes nothing in
  // how the address book folds names, as on Windows.
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  std::setlocale(LC_CTYPE, "C");
  EXPECT_EQ(backend->FindUserByName("J\xC3\x9CRGEN", nullptr, &values, &count), S_OK);
  MAPIFreeBuffer(values);
  values = nullptr;
  EXPECT_EQ(backend->FindUserByName("j\xC3\xBCrgen", nullptr, &values, &count), S_OK);
  MAPIFreeBuffer(values);
  std::setlocale(LC_CTYPE, saved.c_str());
}

TEST_F(LDAPBackend, NamesResolveWhileAnotherThreadReloads) {
  // Resolvers see the old list or the new one, never one half built or half released; the
  // sanitizer builds (tsan above all) report any access outside the lock.
  ASSERT_TRUE(backend->LoadDirectory());
  std::atomic<bool> stop{false};
  std::vector<std::thread> resolvers;
  for (int t = 0; t < 3; ++t)
    resolvers.emplace_back([&] {
      while (!stop) {
        LPSPropValue values = nullptr;
        ULONG count = 0;
        EXPECT_EQ(backend->FindUserByName("baker", nullptr, &values, &count), S_OK);
        MAPIFreeBuffer(values);
        ComPtr<CLDAPUser> user;
        const auto id =
            backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, "uid=baker,ou=people,dc=example,dc=com");
        EXPECT_EQ(backend->FindUserByEntryID(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &user), S_OK);
      }
    });
  for (int reload = 0; reload < 5; ++reload) EXPECT_TRUE(backend->LoadDirectory());
  stop = true;
  for (auto& t : resolvers) t.join();
}

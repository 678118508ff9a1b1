#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend/cbinary.h"
#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "mapicode.h"

namespace {

using Bytes = std::vector<BYTE>;

const Bytes kUid = {0xc7, 0x12, 0x23, 0x95, 0x0e, 0xd2, 0x4e, 0x41, 0x8b, 0xe1, 0x4a, 0x1f, 0x93, 0xf5, 0x77, 0xf2};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes ToBytes(const CBinary& b) { return Bytes(b.lpb, b.lpb + b.cb); }

// Hands an identifier to the operations in an exactly sized heap block, so that the sanitizer
// build catches a read past its end.
LPENTRYID Id(Bytes& bytes) { return bytes.empty() ? nullptr : reinterpret_cast<LPENTRYID>(bytes.data()); }
ULONG Cb(const Bytes& bytes) { return static_cast<ULONG>(bytes.size()); }

class EntryIds : public ::testing::Test {
 protected:
  void TearDown() override { backend->Release(); }
  Bytes User(const std::string& dn) { return ToBytes(*backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, dn)); }

  ABLDAPBackeEnd* backend = new ABLDAPBackeEnd(nullptr, nullptr);
};

}  // namespace

TEST(CBinary, AssignCopiesZeroesOrEmpties) {
  CBinary empty;
  EXPECT_EQ(empty.cb, 0u);
  EXPECT_EQ(empty.lpb, nullptr);

  const BYTE source[] = {1, 2, 3};
  CBinary b(3, source);
  EXPECT_EQ(ToBytes(b), (Bytes{1, 2, 3}));
  EXPECT_NE(b.lpb, source);

  b.Assign(4, nullptr);
  EXPECT_EQ(ToBytes(b), Bytes(4, 0));

  b.Assign(0, source);
  EXPECT_EQ(b.cb, 0u);
  EXPECT_EQ(b.lpb, nullptr);

  const SBinary view = CBinary(2, source).AsSBinary();  // a view only: the owner is gone
  EXPECT_EQ(view.cb, 2u);
}

TEST(CBinary, AssignFromItsOwnBytes) {
  // Its own bytes, whole or a part: the copy is taken before the old buffer goes (the
  // sanitizer build reports a read of freed memory otherwise).
  const BYTE source[] = {1, 2, 3, 4};
  CBinary b(4, source);
  b.Assign(b.cb, b.lpb);
  EXPECT_EQ(ToBytes(b), (Bytes{1, 2, 3, 4}));
  b.Assign(2, b.lpb + 2);
  EXPECT_EQ(ToBytes(b), (Bytes{3, 4}));
}

TEST(ProviderUid, IsTheRegisteredMapiUid) {
  EXPECT_EQ(Bytes(ABLDAPProviderUID.ab, ABLDAPProviderUID.ab + 16), kUid);
  // The same value as the GUID {952312C7-D20E-414E-8BE1-4A1F93F577F2} stored in memory.
  const GUID guid = {0x952312C7, 0xD20E, 0x414E, {0x8B, 0xE1, 0x4A, 0x1F, 0x93, 0xF5, 0x77, 0xF2}};
  EXPECT_EQ(std::memcmp(&guid, ABLDAPProviderUID.ab, 16), 0);
}

TEST_F(EntryIds, ContainerIdentifiersAreTheFixed34Bytes) {
  const Bytes root = Concat({{0, 0, 0, 0}, kUid, {1, 0, 0, 0}, {4, 0, 0, 0}, {2, 0, 0, 0}, {0x30, 0}});
  ASSERT_TRUE(backend->RootEntryID);
  ASSERT_TRUE(backend->DirEntryID);
  EXPECT_EQ(ToBytes(*backend->RootEntryID), root);
  Bytes dir = root;
  dir[20] = 2;
  EXPECT_EQ(ToBytes(*backend->DirEntryID), dir);
  EXPECT_EQ(std::memcmp(backend->GetProviderUID()->ab, kUid.data(), 16), 0);
  EXPECT_EQ(backend->BackendName, "Pernix LDAP Address Book");
  EXPECT_EQ(backend->Version, "0.1");
  EXPECT_EQ(backend->ContainerName, "Pernix Generic Backend");
}

TEST_F(EntryIds, UserIdentifierCarriesTheDistinguishedName) {
  const std::string dn = "uid=jsmith,ou=People,dc=example,dc=org12";
  ASSERT_EQ(dn.size(), 40u);
  const Bytes id = User(dn);
  ASSERT_EQ(id.size(), 73u);
  Bytes key(dn.begin(), dn.end());
  key.push_back(0);
  EXPECT_EQ(id, Concat({{0, 0, 0, 0}, kUid, {3, 0, 0, 0}, {6, 0, 0, 0}, {41, 0, 0, 0}, key}));

  // A long name spells its length in all four bytes, little-endian.
  const Bytes longId = User(std::string(0x10203, 'x'));
  EXPECT_EQ(longId.size(), 32u + 0x10204u);
  EXPECT_EQ(Bytes(longId.begin() + 28, longId.begin() + 32), (Bytes{0x04, 0x02, 0x01, 0x00}));

  // The same entry gives the same identifier every time.
  EXPECT_EQ(User(dn), id);
}

TEST_F(EntryIds, DecodeEntryKind) {
  Bytes root = ToBytes(*backend->RootEntryID);
  Bytes user = User("cn=a");
  Bytes kind4 = root;
  kind4[20] = 4;
  Bytes headerOnly(root.begin(), root.begin() + 32);
  Bytes short31(root.begin(), root.begin() + 31);
  Bytes foreign = user;
  foreign[10] ^= 0xFF;
  Bytes flagged = user;
  flagged[0] = 0x80;

  struct Case {
    const char* name;
    ULONG cb;
    LPENTRYID id;
    HRESULT hr;
    ULONG kind;
  };
  BYTE dummy = 0;
  const Case cases[] = {
      {"empty asks for the root", 0, nullptr, S_OK, 1},
      {"no bytes behind a pointer", 0, reinterpret_cast<LPENTRYID>(&dummy), MAPI_E_INVALID_ENTRYID, 0},
      {"count without a pointer", 34, nullptr, MAPI_E_INVALID_ENTRYID, 0},
      {"31 bytes", Cb(short31), Id(short31), MAPI_E_INVALID_ENTRYID, 0},
      {"root", Cb(root), Id(root), S_OK, 1},
      {"user", Cb(user), Id(user), S_OK, 3},
      {"unknown kind decodes", Cb(kind4), Id(kind4), S_OK, 4},
      {"header alone", Cb(headerOnly), Id(headerOnly), S_OK, 1},
      {"flags are not looked at", Cb(flagged), Id(flagged), S_OK, 3},
      {"foreign UID", Cb(foreign), Id(foreign), MAPI_E_INVALID_ENTRYID, 0},
  };
  for (const Case& c : cases) {
    ULONG kind = 99;
    EXPECT_EQ(backend->DecodeEntryKind(c.cb, c.id, &kind), c.hr) << c.name;
    EXPECT_EQ(kind, c.kind) << c.name;
  }
}

TEST_F(EntryIds, UnreadableBytesAreRefusedNotRead) {
  // Our identifier's first 32 bytes at the end of a readable page, followed by a page that
  // cannot be read: a count reaching into that page must be refused without touching it.
  const long page = sysconf(_SC_PAGESIZE);
  auto* base = static_cast<BYTE*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(base, MAP_FAILED);
  ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
  BYTE* at = base + page - 32;
  std::memcpy(at, backend->RootEntryID->lpb, 32);
  auto* id = reinterpret_cast<LPENTRYID>(at);

  ULONG kind = 0, result = 7;
  std::string key;
  EXPECT_EQ(backend->DecodeEntryKind(32, id, &kind), S_OK);
  EXPECT_EQ(backend->DecodeEntryKind(34, id, &kind), MAPI_E_INVALID_ENTRYID);
  EXPECT_FALSE(backend->IsOwnEntryID(34, id));
  EXPECT_EQ(backend->CompareEntryIDs(34, id, 34, id, 0, &result), MAPI_E_INVALID_ENTRYID);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(backend->UserKeyFromEntryID(40, id, &key), MAPI_E_INVALID_ENTRYID);
  munmap(base, 2 * page);
}

TEST_F(EntryIds, CompareEntryIDs) {
  Bytes a = User("uid=jsmith,dc=example,dc=org");
  Bytes same = User("uid=jsmith,dc=example,dc=org");
  Bytes upper = User("UID=JSMITH,DC=EXAMPLE,DC=ORG");
  Bytes other = User("uid=jsmith,dc=example,dc=com");
  Bytes longer = User("uid=jsmith,dc=example,dc=orgs");
  Bytes flagged = a;
  flagged[3] = 1;
  Bytes foreign = a;
  foreign[19] ^= 1;
  Bytes short31(a.begin(), a.begin() + 31);
  Bytes root = ToBytes(*backend->RootEntryID);
  Bytes dir = ToBytes(*backend->DirEntryID);

  struct Case {
    const char* name;
    Bytes* first;
    Bytes* second;
    HRESULT hr;
    ULONG result;
  };
  const Case cases[] = {
      {"same user", &a, &same, S_OK, 1},
      {"letter case differs", &a, &upper, S_OK, 0},
      {"other name", &a, &other, S_OK, 0},
      {"lengths differ", &a, &longer, S_OK, 0},
      {"flags differ", &a, &flagged, S_OK, 0},
      {"root and directory", &root, &dir, S_OK, 0},
      {"root and itself", &root, &root, S_OK, 1},
      {"foreign first", &foreign, &a, MAPI_E_INVALID_ENTRYID, 0},
      {"foreign second", &a, &foreign, MAPI_E_INVALID_ENTRYID, 0},
      {"short first", &short31, &a, MAPI_E_INVALID_ENTRYID, 0},
      {"short second", &a, &short31, MAPI_E_INVALID_ENTRYID, 0},
  };
  for (const Case& c : cases) {
    ULONG result = 7;
    EXPECT_EQ(backend->CompareEntryIDs(Cb(*c.first), Id(*c.first), Cb(*c.second), Id(*c.second), 0, &result), c.hr)
        << c.name;
    EXPECT_EQ(result, c.result) << c.name;
  }

  ULONG result = 7;
  EXPECT_EQ(backend->CompareEntryIDs(34, nullptr, Cb(a), Id(a), 0, &result), MAPI_E_INVALID_ENTRYID);
  EXPECT_EQ(backend->CompareEntryIDs(Cb(a), Id(a), Cb(a), nullptr, 0, &result), MAPI_E_INVALID_ENTRYID);
  EXPECT_EQ(backend->CompareEntryIDs(Cb(a), Id(a), Cb(a), Id(a), 0, nullptr), MAPI_E_INVALID_PARAMETER);
}

TEST_F(EntryIds, IsOwnEntryID) {
  Bytes user = User("cn=x");
  Bytes root = ToBytes(*backend->RootEntryID);
  Bytes foreign = user;
  foreign[4] = 0;
  Bytes short31(user.begin(), user.begin() + 31);
  EXPECT_TRUE(backend->IsOwnEntryID(Cb(user), Id(user)));
  EXPECT_TRUE(backend->IsOwnEntryID(Cb(root), Id(root)));
  EXPECT_FALSE(backend->IsOwnEntryID(0, nullptr));
  EXPECT_FALSE(backend->IsOwnEntryID(40, nullptr));
  EXPECT_FALSE(backend->IsOwnEntryID(Cb(short31), Id(short31)));
  EXPECT_FALSE(backend->IsOwnEntryID(Cb(foreign), Id(foreign)));
}

TEST_F(EntryIds, UserKeyRules) {
  Bytes user = User("uid=anna,dc=example,dc=org");
  Bytes keyLengthOne = user;
  keyLengthOne[28] = 1;
  Bytes unterminated(user.begin(), user.end() - 1);  // the NUL lies beyond the count
  Bytes emptyKey = User("");
  Bytes headerOnly(user.begin(), user.begin() + 32);
  Bytes rootId = ToBytes(*backend->RootEntryID);  // any kind: only the key counts here
  Bytes wrongLength = user;                       // a key length field that overstates the key
  wrongLength[28] = 200;

  struct Case {
    const char* name;
    Bytes* id;
    HRESULT hr;
    const char* key;
  };
  const Case cases[] = {
      {"user", &user, S_OK, "uid=anna,dc=example,dc=org"},
      {"key length field 1", &keyLengthOne, MAPI_E_INVALID_ENTRYID, ""},
      {"unterminated key", &unterminated, MAPI_E_INVALID_ENTRYID, ""},
      {"empty key", &emptyKey, MAPI_E_INVALID_ENTRYID, ""},
      {"header only", &headerOnly, MAPI_E_INVALID_ENTRYID, ""},
      {"container key", &rootId, S_OK, "0"},
      {"key ends at its NUL", &wrongLength, S_OK, "uid=anna,dc=example,dc=org"},
  };
  for (const Case& c : cases) {
    std::string key = "stale";
    EXPECT_EQ(backend->UserKeyFromEntryID(Cb(*c.id), Id(*c.id), &key), c.hr) << c.name;
    EXPECT_EQ(key, c.key) << c.name;
  }
  std::string key;
  EXPECT_EQ(backend->UserKeyFromEntryID(40, nullptr, &key), MAPI_E_INVALID_ENTRYID);
  Bytes short31(user.begin(), user.begin() + 31);
  EXPECT_EQ(backend->UserKeyFromEntryID(Cb(short31), Id(short31), &key), MAPI_E_INVALID_ENTRYID);
}

TEST(DistinguishedNames, MatchWithoutRegardToCase) {
  EXPECT_TRUE(ABLDAPBackeEnd::SameDistinguishedName("uid=jsmith,dc=example", "UID=JSmith,DC=Example"));
  EXPECT_TRUE(ABLDAPBackeEnd::SameDistinguishedName("cn=m\xc3\xbcller", "CN=M\xc3\x9cLLER"));
  EXPECT_FALSE(ABLDAPBackeEnd::SameDistinguishedName("uid=jsmith", "uid=jsmith2"));
  EXPECT_FALSE(ABLDAPBackeEnd::SameDistinguishedName("uid=jsmith", ""));
}

TEST(InterfaceIds, HaveMapisDocumentedValues) {
  const struct {
    const IID& iid;
    DWORD data1;
  } cases[] = {{IID_IUnknown, 0x00000000},    {IID_IMAPITable, 0x00020301},     {IID_IMAPIProp, 0x00020303},
               {IID_IMailUser, 0x0002030A},   {IID_IMAPIContainer, 0x0002030B}, {IID_IABContainer, 0x0002030D},
               {IID_IABProvider, 0x00020311}, {IID_IABLogon, 0x00020314},       {IID_IMAPITableData, 0x00020316}};
  for (const auto& c : cases) {
    const IID expected = {c.data1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_TRUE(c.iid == expected) << std::hex << c.data1;
  }
}

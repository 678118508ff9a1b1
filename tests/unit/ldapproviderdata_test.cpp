#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/ldapproviderdata.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapix.h"
#include "provider/gunknown.h"

namespace {

void ExpectDefaults(const CLDAPProfileData& data) {
  EXPECT_EQ(data.DisplayName, "");
  EXPECT_EQ(data.ShowNamesBy, 0);
  EXPECT_EQ(data.Comment, "");
  EXPECT_EQ(data.ServerName, "");
  EXPECT_EQ(data.Port, 389);
  EXPECT_FALSE(data.UseSSL);
  EXPECT_TRUE(data.UseVersion3);
  EXPECT_FALSE(data.DeepSearch);
  EXPECT_EQ(data.SearchDN, "");
  EXPECT_EQ(data.TimeOut, 60);
  EXPECT_EQ(data.SchemaMapping, "");
  EXPECT_EQ(data.CacheFileName, "");
  EXPECT_EQ(data.ReservedId, (std::array<BYTE, 16>{}));
  EXPECT_EQ(data.SearchString, "");
  EXPECT_FALSE(data.Authenticate);
  EXPECT_EQ(data.BindDN, "");
  EXPECT_EQ(data.Password, "");
}

// Every field away from its default.
CLDAPProfileData Configured() {
  CLDAPProfileData data;
  data.DisplayName = "Company directory";
  data.ShowNamesBy = 2;
  data.Comment = "line one\r\nline two";
  data.ServerName = "ldap1.example.org ldap2.example.org:1389";
  data.Port = 1389;
  data.UseSSL = true;
  data.UseVersion3 = false;
  data.DeepSearch = true;
  data.SearchDN = "ou=people,dc=example,dc=org";
  data.TimeOut = 5;
  data.SchemaMapping = "givenName=FirstName\nsn=LastName";
  data.CacheFileName = "/home/u/.cache/pernix/ab.cache";
  for (int i = 0; i < 16; ++i) data.ReservedId[i] = static_cast<BYTE>(0xA0 + i);
  data.SearchString = "(objectClass=inetOrgPerson)";
  data.Authenticate = true;
  data.BindDN = "cn=reader,dc=example,dc=org";
  data.Password = "s3cr\xc3\xa9t";
  return data;
}

void ExpectSame(const CLDAPProfileData& a, const CLDAPProfileData& b) {
  EXPECT_EQ(a.DisplayName, b.DisplayName);
  EXPECT_EQ(a.ShowNamesBy, b.ShowNamesBy);
  EXPECT_EQ(a.Comment, b.Comment);
  EXPECT_EQ(a.ServerName, b.ServerName);
  EXPECT_EQ(a.Port, b.Port);
  EXPECT_EQ(a.UseSSL, b.UseSSL);
  EXPECT_EQ(a.UseVersion3, b.UseVersion3);
  EXPECT_EQ(a.DeepSearch, b.DeepSearch);
  EXPECT_EQ(a.SearchDN, b.SearchDN);
  EXPECT_EQ(a.TimeOut, b.TimeOut);
  EXPECT_EQ(a.SchemaMapping, b.SchemaMapping);
  EXPECT_EQ(a.CacheFileName, b.CacheFileName);
  EXPECT_EQ(a.ReservedId, b.ReservedId);
  EXPECT_EQ(a.SearchString, b.SearchString);
  EXPECT_EQ(a.Authenticate, b.Authenticate);
  EXPECT_EQ(a.BindDN, b.BindDN);
  EXPECT_EQ(a.Password, b.Password);
}

struct Built {
  ULONG count = 0;
  MapiBuffer<SPropValue> values;
};

Built Build(const CLDAPProfileData& data) {
  Built built;
  LPSPropValue values = nullptr;
  data.BuildProps(&built.count, &values);
  built.values.reset(values);
  return built;
}

SPropValue Long(ULONG tag, LONG l) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = l;
  return v;
}
SPropValue Text(ULONG tag, const char* s) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<char*>(s);
  return v;
}
SPropValue Flag(ULONG tag, unsigned short b) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.b = b;
  return v;
}
SPropValue Binary(ULONG tag, ULONG cb, BYTE* lpb) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.bin = SBinary{cb, lpb};
  return v;
}
SPropValue Error(ULONG tag) {
  SPropValue v{};
  v.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
  v.Value.err = MAPI_E_NOT_FOUND;
  return v;
}

}  // namespace

TEST(ProfileData, PropertyListHasTheStoredTagsInOrder) {
  const ULONG expected[] = {0x3001001E, 0x66010003, 0x3004001E, 0x6602001E, 0x66030003, 0x67F1000B,
                            0x6613000B, 0x6614000B, 0x6605001E, 0x66070003, 0x6611001E, 0x66120102,
                            0x6616001E, 0x6617001E, 0x6604000B, 0x67F2001E, 0x67F3001E};
  LPSPropTagArray tags = ProfilePropTags();
  ASSERT_EQ(tags->cValues, 17u);
  for (ULONG i = 0; i < 17; ++i) EXPECT_EQ(tags->aulPropTag[i], expected[i]) << "position " << i;
}

TEST(ProfileData, NewRecordAndEmptySectionReadAsDefaults) {
  CLDAPProfileData fresh;
  ExpectDefaults(fresh);

  // What GetProps returns for a new section: an error value for each of the 17 tags.
  std::vector<SPropValue> missing;
  for (ULONG i = 0; i < PROFILE_PROP_COUNT; ++i) missing.push_back(Error(ProfilePropList.aulPropTag[i]));
  CLDAPProfileData loaded = Configured();
  loaded.LoadProps(static_cast<ULONG>(missing.size()), missing.data());
  ExpectDefaults(loaded);

  CLDAPProfileData none = Configured();
  none.LoadProps(5, nullptr);
  ExpectDefaults(none);
}

TEST(ProfileData, BuildThenLoadRoundTripsEveryField) {
  for (const CLDAPProfileData& original : {Configured(), CLDAPProfileData()}) {
    Built built = Build(original);
    ASSERT_EQ(built.count, 17u);
    ASSERT_TRUE(built.values);
    for (ULONG i = 0; i < 17; ++i) EXPECT_EQ(built.values.get()[i].ulPropTag, ProfilePropList.aulPropTag[i]);
    CLDAPProfileData loaded;
    loaded.LoadProps(built.count, built.values.get());
    ExpectSame(loaded, original);
  }
}

TEST(ProfileData, BuildWritesEveryValueInItsStoredForm) {
  CLDAPProfileData data;  // defaults: empty strings are stored, not left out
  data.UseSSL = true;
  Built built = Build(data);
  ASSERT_EQ(built.count, 17u);
  for (ULONG i = 0; i < built.count; ++i) {
    const SPropValue& v = built.values.get()[i];
    switch (PROP_TYPE(v.ulPropTag)) {
      case PT_STRING8:
        ASSERT_NE(v.Value.lpszA, nullptr);
        EXPECT_STREQ(v.Value.lpszA, "");
        break;
      case PT_BOOLEAN: EXPECT_TRUE(v.Value.b == 0 || v.Value.b == 1); break;
      case PT_BINARY:
        EXPECT_EQ(v.Value.bin.cb, 16u);
        ASSERT_NE(v.Value.bin.lpb, nullptr);
        EXPECT_EQ(std::vector<BYTE>(v.Value.bin.lpb, v.Value.bin.lpb + 16), std::vector<BYTE>(16, 0));
        break;
      case PT_LONG: break;
      default: ADD_FAILURE() << std::hex << v.ulPropTag;
    }
  }
  EXPECT_EQ(built.values.get()[5].ulPropTag, PR_LDAP_USE_SSL);
  EXPECT_EQ(built.values.get()[5].Value.b, 1);
  EXPECT_EQ(built.values.get()[4].Value.l, 389);
  EXPECT_EQ(built.values.get()[9].Value.l, 60);
}

TEST(ProfileData, WronglyTypedValuesKeepTheDefaults) {
  std::vector<SPropValue> values = {
      Long(CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_LONG), 7),
      Text(CHANGE_PROP_TYPE(PR_LDAP_PORT, PT_STRING8), "636"),
      Long(CHANGE_PROP_TYPE(PR_LDAP_USE_SSL, PT_LONG), 1),
      Flag(CHANGE_PROP_TYPE(PR_LDAP_SHOW_NAMES_BY, PT_BOOLEAN), 1),
      Text(CHANGE_PROP_TYPE(PR_LDAP_PASSWORD, PT_UNICODE), "x"),
      Long(CHANGE_PROP_TYPE(PR_LDAP_RESERVED_ID, PT_LONG), 1),
      Text(PROP_TAG(PT_STRING8, 0x6618), "not ours"),
  };
  CLDAPProfileData data;
  data.LoadProps(static_cast<ULONG>(values.size()), values.data());
  ExpectDefaults(data);
}

TEST(ProfileData, LoadReadsFlagsNullStringsAndRepeatedTags) {
  std::vector<SPropValue> values = {
      Flag(PR_LDAP_USE_SSL, 2),            // any non-zero value is true
      Flag(PR_LDAP_VERSION3, 0),           //
      Text(PR_LDAP_SERVER_NAME, nullptr),  // a null string reads as empty
      Text(PR_DISPLAY_NAME, "first"),      //
      Text(PR_DISPLAY_NAME, "second"),     // the later value wins
      Long(PR_LDAP_TIMEOUT, -1),
  };
  CLDAPProfileData data;
  data.LoadProps(static_cast<ULONG>(values.size()), values.data());
  EXPECT_TRUE(data.UseSSL);
  EXPECT_FALSE(data.UseVersion3);
  EXPECT_EQ(data.ServerName, "");
  EXPECT_EQ(data.DisplayName, "second");
  EXPECT_EQ(data.TimeOut, -1);

  Built built = Build(data);
  ASSERT_EQ(built.count, 17u);
  EXPECT_EQ(built.values.get()[5].Value.b, 1);  // written back as 1
}

TEST(ProfileData, ReservedIdOfAnyStoredLength) {
  struct Case {
    std::vector<BYTE> stored;
    std::vector<BYTE> read;
  };
  std::vector<BYTE> sixteen(16), twenty(20);
  for (int i = 0; i < 20; ++i) twenty[i] = static_cast<BYTE>(i + 1);
  for (int i = 0; i < 16; ++i) sixteen[i] = static_cast<BYTE>(0xF0 | i);
  std::vector<BYTE> firstSixteen(twenty.begin(), twenty.begin() + 16);
  std::vector<BYTE> shortRead(16, 0);
  shortRead[0] = 9, shortRead[1] = 8, shortRead[2] = 7;
  const Case cases[] = {
      {{}, std::vector<BYTE>(16, 0)},
      {sixteen, sixteen},
      {twenty, firstSixteen},
      {{9, 8, 7}, shortRead},  // shorter than 16: the rest stays zero, nothing past it is read
  };
  for (const Case& c : cases) {
    // An exactly sized heap copy, so that reading past it is caught by the sanitizer build.
    std::vector<BYTE> heap(c.stored);
    SPropValue value =
        Binary(PR_LDAP_RESERVED_ID, static_cast<ULONG>(heap.size()), heap.empty() ? nullptr : heap.data());
    CLDAPProfileData data;
    data.ReservedId.fill(0x55);
    data.LoadProps(1, &value);
    EXPECT_EQ(std::vector<BYTE>(data.ReservedId.begin(), data.ReservedId.end()), c.read) << c.stored.size();
    Built built = Build(data);
    ASSERT_EQ(built.count, 17u);
    EXPECT_EQ(built.values.get()[11].Value.bin.cb, 16u);
  }
}

namespace {
// Allocation routines that fail from the n-th call on (counting both routines).
int allocationsLeft = 0;
SCODE STDMETHODCALLTYPE FailingAllocateBuffer(ULONG size, LPVOID* out) {
  if (allocationsLeft-- <= 0) {
    if (out) *out = nullptr;
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  return MAPIAllocateBuffer(size, out);
}
SCODE STDMETHODCALLTYPE FailingAllocateMore(ULONG size, LPVOID object, LPVOID* out) {
  if (allocationsLeft-- <= 0) {
    if (out) *out = nullptr;
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  return MAPIAllocateMore(size, object, out);
}

class FailingAllocation : public ::testing::Test {
 protected:
  void SetUp() override { SetMemoryRoutines(FailingAllocateBuffer, FailingAllocateMore, MAPIFreeBuffer); }
  void TearDown() override { SetMemoryRoutines(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer); }
};
}  // namespace

TEST_F(FailingAllocation, BuildFreesEverythingAndReturnsNothing) {
  const CLDAPProfileData data = Configured();
  // One array, nine strings and the binary: eleven allocations; each one fails in turn.
  for (int succeeding = 0; succeeding < 11; ++succeeding) {
    const std::size_t before = MAPIOutstandingBuffers();
    allocationsLeft = succeeding;
    ULONG count = 99;
    LPSPropValue values = reinterpret_cast<LPSPropValue>(0x1);
    data.BuildProps(&count, &values);
    EXPECT_EQ(count, 0u) << succeeding;
    EXPECT_EQ(values, nullptr) << succeeding;
    EXPECT_EQ(MAPIOutstandingBuffers(), before) << succeeding;
  }
  allocationsLeft = 11;
  Built built = Build(data);
  EXPECT_EQ(built.count, 17u);
}

namespace {
// A routine that claims success but hands out nothing, as a broken host's might.
SCODE STDMETHODCALLTYPE NullAllocateBuffer(ULONG, LPVOID* out) {
  if (out) *out = nullptr;
  return S_OK;
}
}  // namespace

TEST(MemoryRoutines, NullRoutinesAreRefusedAndTheOnesInUseStay) {
  EXPECT_EQ(SetMemoryRoutines(nullptr, MAPIAllocateMore, MAPIFreeBuffer), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(SetMemoryRoutines(MAPIAllocateBuffer, nullptr, MAPIFreeBuffer), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(SetMemoryRoutines(MAPIAllocateBuffer, MAPIAllocateMore, nullptr), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(pfnAllocateBuffer, &MAPIAllocateBuffer);
  EXPECT_EQ(pfnAllocateMore, &MAPIAllocateMore);
  EXPECT_EQ(pfnFreeBuffer, &MAPIFreeBuffer);
  EXPECT_EQ(SetMemoryRoutines(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer), S_OK);
}

TEST(MemoryRoutines, BuildChecksTheBufferItWasGiven) {
  ASSERT_EQ(SetMemoryRoutines(NullAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer), S_OK);
  ULONG count = 99;
  LPSPropValue values = reinterpret_cast<LPSPropValue>(0x1);
  Configured().BuildProps(&count, &values);
  SetMemoryRoutines(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(values, nullptr);
}

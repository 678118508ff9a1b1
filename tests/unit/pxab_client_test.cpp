// pxab's client core: how property values are shown, and how profile settings and options are
// read from the command line.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "client_args.h"
#include "mapitags.h"
#include "profile_fields.h"
#include "properties.h"
#include "tempdir.h"

namespace {
SPropValue Value(ULONG tag) {
  SPropValue v{};
  v.ulPropTag = tag;
  return v;
}
}  // namespace

TEST(PxabProperties, NamesTagsAndShowsEachTypeAsJson) {
  BYTE bytes[] = {0x01, 0xAB, 0xFF};
  GUID guid{};
  std::memset(&guid, 0x11, sizeof guid);
  LPSTR texts[] = {const_cast<LPSTR>("a"), const_cast<LPSTR>("b\"")};
  WCHAR wide[] = u"M\u00fcller";
  struct Case {
    SPropValue value;
    std::string json;
  };
  std::vector<Case> cases;
  SPropValue v = Value(PR_DISPLAY_NAME);
  v.Value.lpszA = const_cast<LPSTR>("J\xC3\xBCrgen \xFF");
  cases.push_back({v, "{\"PR_DISPLAY_NAME\": \"J\xC3\xBCrgen \\udcff\"}"});
  v = Value(PROP_TAG(PT_ERROR, 0x3003));
  v.Value.err = static_cast<SCODE>(0x8004010F);
  cases.push_back({v, "{\"PR_EMAIL_ADDRESS\": {\"error\": \"0x8004010F\"}}"});
  v = Value(PROP_TAG(PT_STRING8, 0x6621));
  v.Value.lpszA = const_cast<LPSTR>("uid=x");
  cases.push_back({v, "{\"PR_LDAP_DN\": \"uid=x\"}"});
  v = Value(PROP_TAG(PT_LONG, 0x7777));
  v.Value.l = -5;
  cases.push_back({v, "{\"0x77770003\": -5}"});
  v = Value(PR_ENTRYID);
  v.Value.bin = SBinary{3, bytes};
  cases.push_back({v, "{\"PR_ENTRYID\": \"01abff\"}"});
  v = Value(PR_SEND_RICH_INFO);
  v.Value.b = 1;
  cases.push_back({v, "{\"PR_SEND_RICH_INFO\": true}"});
  v = Value(PROP_TAG(PT_I2, 0x7001));
  v.Value.i = -2;
  cases.push_back({v, "{\"0x70010002\": -2}"});
  v = Value(PR_CURRENT_VERSION);
  v.Value.li.QuadPart = 1234567890123LL;
  cases.push_back({v, "{\"PR_CURRENT_VERSION\": 1234567890123}"});
  v = Value(PROP_TAG(PT_CURRENCY, 0x7002));
  v.Value.cur.int64 = -123450;
  cases.push_back({v, "{\"0x70020006\": -12.345}"});
  v = Value(PR_CREATION_TIME);
  // 2001-02-03T04:05:06Z in 100 ns since 1601.
  const unsigned long long ticks = (981173106ULL + 11644473600ULL) * 10000000ULL;
  v.Value.ft = FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  cases.push_back({v, "{\"PR_CREATION_TIME\": \"2001-02-03T04:05:06Z\"}"});
  v = Value(PR_DETAILS_TABLE);
  cases.push_back({v, "{\"PR_DETAILS_TABLE\": null}"});
  v = Value(PROP_TAG(PT_MV_STRING8, 0x7003));
  v.Value.MVszA = SLPSTRArray{2, texts};
  cases.push_back({v, "{\"0x7003101E\": [\"a\", \"b\\\"\"]}"});
  v = Value(PROP_TAG(PT_UNICODE, 0x7004));
  v.Value.lpszW = wide;
  cases.push_back({v, "{\"0x7004001F\": \"M\xC3\xBCller\"}"});
  v = Value(PROP_TAG(PT_CLSID, 0x7005));
  v.Value.lpguid = &guid;
  cases.push_back({v, "{\"0x70050048\": \"11111111111111111111111111111111\"}"});
  for (const Case& c : cases) EXPECT_EQ(JsonProps(&c.value, 1), c.json);

  EXPECT_EQ(PropertyTag("PR_BUSINESS_TELEPHONE_NUMBER"), PR_BUSINESS_TELEPHONE_NUMBER);
  EXPECT_EQ(PropertyTag("0x6621001E"), PROP_TAG(PT_STRING8, 0x6621));
  EXPECT_EQ(PropertyTag("PR_NOTHING"), 0u);
}

TEST(PxabProfileFields, ValidSettingsBecomeTypedValues) {
  TempDir dir;
  std::ofstream(dir / "mapping.pxm") << "Last Name=sn\r\n";
  std::ofstream(dir / "password") << "s3cret\r\nsecond line\n";
  ProfileValues values;
  std::string error;
  for (const std::string& assignment :
       std::vector<std::string>{"ServerName=ldap.example.com:1389", "UseSSL=true", "UseVersion3=false", "Port=636",
                                "TimeOut=15", "ShowNamesBy=last", "SearchString=(&(a=b)(c=d))",
                                "SchemaMapping=@" + (dir / "mapping.pxm").string(), "DisplayName=", "ServerName=other"})
    ASSERT_TRUE(values.Set(assignment, error)) << assignment << ": " << error;
  ASSERT_TRUE(values.SetPasswordFromFile((dir / "password").string(), error)) << error;
  values.DefaultMapping();  // a mapping was given: kept
  std::map<ULONG, const SPropValue*> byTag;
  for (const SPropValue& v : values.Values()) byTag[v.ulPropTag] = &v;
  ASSERT_EQ(values.Values().size(), 10u);  // ServerName replaced, not added twice
  EXPECT_STREQ(byTag.at(PROP_TAG(PT_STRING8, 0x6602))->Value.lpszA, "other");
  EXPECT_EQ(byTag.at(PROP_TAG(PT_BOOLEAN, 0x67F1))->Value.b, 1);
  EXPECT_EQ(byTag.at(PROP_TAG(PT_BOOLEAN, 0x6613))->Value.b, 0);
  EXPECT_EQ(byTag.at(PROP_TAG(PT_LONG, 0x6603))->Value.l, 636);
  EXPECT_EQ(byTag.at(PROP_TAG(PT_LONG, 0x6607))->Value.l, 15);
  EXPECT_EQ(byTag.at(PROP_TAG(PT_LONG, 0x6601))->Value.l, 1);
  EXPECT_STREQ(byTag.at(PROP_TAG(PT_STRING8, 0x6611))->Value.lpszA, "Last Name=sn\r\n");
  EXPECT_STREQ(byTag.at(PR_DISPLAY_NAME)->Value.lpszA, "");
  EXPECT_STREQ(byTag.at(PROP_TAG(PT_STRING8, 0x67F3))->Value.lpszA, "s3cret");

  ProfileValues fresh;
  fresh.DefaultMapping();
  ASSERT_EQ(fresh.Values().size(), 1u);
  EXPECT_STREQ(fresh.Values()[0].Value.lpszA, kDialogDefaultMapping);
}

TEST(PxabProfileFields, BadSettingsNameTheField) {
  struct Case {
    const char* assignment;
    const char* mentions;
  };
  for (const Case& c :
       {Case{"Bogus=1", "'Bogus'"}, Case{"UseSSL=yes", "UseSSL"}, Case{"Port=0", "Port"}, Case{"Port=70000", "Port"},
        Case{"TimeOut=-1", "TimeOut"}, Case{"TimeOut=ten", "TimeOut"}, Case{"ShowNamesBy=3", "ShowNamesBy"},
        Case{"Password=x", "Password"}, Case{"ReservedId=00", "'ReservedId'"}, Case{"ServerName", "FIELD=VALUE"},
        Case{"SchemaMapping=@/nonexistent/file", "SchemaMapping"}}) {
    ProfileValues values;
    std::string error;
    EXPECT_FALSE(values.Set(c.assignment, error)) << c.assignment;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.assignment << ": " << error;
    EXPECT_TRUE(values.Values().empty());
  }
}

TEST(PxabClientArgs, OptionsStandBeforeOrAfterTheNames) {
  setenv("PXAB_PROFILE", "from-env", 1);
  ClientArgs parsed;
  std::string error;
  ASSERT_TRUE(ParseClientArgs({"john", "--prepare", "--profile", "work", "anna", "--offline=no", "--", "--odd"},
                              {{"--prepare", false}}, parsed, error))
      << error;
  EXPECT_EQ(parsed.profile, "work");
  EXPECT_EQ(parsed.offline, OfflineAnswer::No);
  EXPECT_TRUE(parsed.Has("--prepare"));
  EXPECT_EQ(parsed.words, (std::vector<std::string>{"john", "anna", "--odd"}));

  ClientArgs fromEnvironment;
  ASSERT_TRUE(ParseClientArgs({}, {}, fromEnvironment, error));
  EXPECT_EQ(fromEnvironment.profile, "from-env");
  unsetenv("PXAB_PROFILE");
  ClientArgs byDefault;
  ASSERT_TRUE(ParseClientArgs({}, {}, byDefault, error));
  EXPECT_EQ(byDefault.profile, "default");

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--offline=maybe"}, {"--profile"}, {"--unknown"}, {"--prepare=1"}}) {
    ClientArgs p;
    EXPECT_FALSE(ParseClientArgs(bad, {{"--prepare", false}}, p, error)) << bad[0];
  }
}

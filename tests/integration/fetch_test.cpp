// The directory fetch against a real slapd: connection, bind, search, the offline questions
// and the cache file on every path.
//
// The test program puts a spy in front of the LDAP client calls (symbols of the executable
// come before those of libpxplatform): it passes every call on to the real library and
// records what the fetch asked for, counts open handles, and can make setting an option
// fail, which the real library never does for the values the fetch passes.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "directory/ldapcon.h"
#include "people.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "tempdir.h"
#include "winldap.h"

namespace {
struct SetOptionCall {
  int option;
  int value;
};

struct Spy {
  int handlesOpen = 0;
  int binds = 0;
  std::vector<ULONG> ports;
  std::vector<int> secure;
  std::vector<SetOptionCall> options;
  std::optional<int> failOption;  // this option's setting fails without reaching the library
  std::string base, filter;
  bool baseNull = false, filterNull = false;
  ULONG scope = 99;
  std::vector<std::string> attributes;
} spy;

template <class Function>
Function* Real(const char* symbol) {
  void* found = dlsym(RTLD_NEXT, symbol);
  if (!found) std::abort();
  return reinterpret_cast<Function*>(found);
}
}  // namespace

namespace winldap {
LDAP* ldap_sslinit(PCHAR host, ULONG port, int secure) {
  static auto* real = Real<decltype(ldap_sslinit)>("_ZN7winldap12ldap_sslinitEPcji");
  spy.ports.push_back(port);
  spy.secure.push_back(secure);
  LDAP* ld = real(host, port, secure);
  if (ld) ++spy.handlesOpen;
  return ld;
}

ULONG ldap_set_option(LDAP* ld, int option, const void* value) {
  static auto* real = Real<decltype(ldap_set_option)>("_ZN7winldap15ldap_set_optionEPNS_4ldapEiPKv");
  spy.options.push_back({option, *static_cast<const int*>(value)});
  if (spy.failOption == option) return LDAP_PARAM_ERROR;
  return real(ld, option, value);
}

ULONG ldap_bind_s(LDAP* ld, PCHAR dn, PCHAR cred, ULONG method) {
  static auto* real = Real<decltype(ldap_bind_s)>("_ZN7winldap11ldap_bind_sEPNS_4ldapEPcS2_j");
  ++spy.binds;
  return real(ld, dn, cred, method);
}

ULONG ldap_search(LDAP* ld, PCHAR base, ULONG scope, PCHAR filter, PZPCHAR attrs, ULONG attrsonly) {
  static auto* real = Real<decltype(ldap_search)>("_ZN7winldap11ldap_searchEPNS_4ldapEPcjS2_PS2_j");
  spy.baseNull = !base;
  spy.filterNull = !filter;
  spy.base = base ? base : "";
  spy.filter = filter ? filter : "";
  spy.scope = scope;
  spy.attributes.clear();
  for (PZPCHAR a = attrs; a && *a; ++a) spy.attributes.push_back(*a);
  return real(ld, base, scope, filter, attrs, attrsonly);
}

ULONG ldap_unbind(LDAP* ld) {
  static auto* real = Real<decltype(ldap_unbind)>("_ZN7winldap11ldap_unbindEPNS_4ldapE");
  if (ld) --spy.handlesOpen;
  return real(ld);
}
}  // namespace winldap

namespace {
constexpr const char* kPeopleDN = "ou=people,dc=example,dc=com";
constexpr const char* kReaderDN = "uid=reader,dc=example,dc=com";
constexpr const char* kReaderPassword = "reader-pw";
constexpr int kSizeLimit = 20;
constexpr int kCrowd = 25;

// People in the order they are added. slapd returns the children of an entry ordered by the
// length of their RDN first, so the uids have one length and the order is the insertion order.
std::string PeopleLdif() {
  std::string ldif =
      "dn: uid=reader,dc=example,dc=com\n"
      "objectClass: account\nobjectClass: simpleSecurityObject\n"
      "uid: reader\nuserPassword: reader-pw\n\n"
      "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
      "dn: uid=anna,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: anna\n"
      "cn: Anna M\xC3\xBCller\ncn: Anna Mueller\ngivenName: Anna\nsn: M\xC3\xBCller\n"
      "mail: anna@example.com\nmail: a.mueller@example.com\ntitle: Engineer\n"
      "telephoneNumber: +49 30 1111\ntelephoneNumber: +49 30 2222\n\n"
      "dn: uid=bert,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: bert\n"
      "cn: Bert Builder\nsn: Builder\n\n"
      "dn: uid=cleo,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: cleo\n"
      "cn: Cl\xC3\xA9o Dupont\ngivenName: Cl\xC3\xA9o\nsn: Dupont\nmail: cleo@example.com\n"
      "o: Example Ltd\nou: Sales\nmobile: +33 6 12\nfacsimileTelephoneNumber: +33 1 99\n\n"
      "dn: ou=staff,ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: staff\n\n"
      "dn: uid=dora,ou=staff,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: dora\n"
      "cn: Dora \xC3\x98stergaard\nsn: \xC3\x98stergaard\n\n"
      "dn: ou=empty,dc=example,dc=com\nobjectClass: organizationalUnit\nou: empty\n\n"
      "dn: ou=crowd,dc=example,dc=com\nobjectClass: organizationalUnit\nou: crowd\n\n";
  for (int i = 0; i < kCrowd; ++i) {
    const std::string uid = Numbered("p", i);
    ldif += "dn: uid=" + uid + ",ou=crowd,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: " + uid +
            Numbered("\ncn: Person ", i) + "\nsn: Person\n\n";
  }
  return ldif;
}

constexpr const char* kMapping =
    "First Name=givenname\nLast Name=sn\nTitle=title\nCompany=o\nDepartment=ou\n"
    "Telephone Number=telephoneNumber\nFax Number=facsimileTelephoneNumber\nMobile=mobile\n"
    "E-mail Address=mail";

std::vector<LDAPItem> FiveItems() {
  std::vector<LDAPItem> items(5);
  for (int i = 0; i < 5; ++i) {
    items[i].DN = Numbered("uid=cached", i) + ",ou=people,dc=example,dc=com";
    items[i].CommonName = Numbered("Cached ", i);
  }
  return items;
}

class Fetch : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = PeopleLdif(), .sizeLimit = kSizeLimit}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    spy = Spy{};
    manager.ServerName = server->HostPort();
    manager.SearchDN = kPeopleDN;
    manager.SearchString = "(objectClass=inetOrgPerson)";
    manager.GetAttribList().Parse(kMapping);
    manager.CacheFileName = Cache();
  }
  void TearDown() override {
    // Every path releases the connection.
    EXPECT_EQ(manager.Connection, nullptr);
    EXPECT_EQ(spy.handlesOpen, 0);
  }

  std::string Cache() const { return (dir / "people.pxb").string(); }
  // Puts an earlier snapshot of five items into the cache file; returns its bytes.
  std::string SeedCache() {
    LDAPListManager earlier;
    earlier.CacheFileName = Cache();
    earlier.Items = FiveItems();
    EXPECT_TRUE(earlier.SaveCache());
    return ReadAll(Cache());
  }
  std::vector<std::string> DNs() const {
    std::vector<std::string> dns;
    for (const LDAPItem& item : manager.Items) dns.push_back(item.DN);
    return dns;
  }
  void UseReader(const char* password) {
    manager.Authenticate = true;
    manager.BindDN = kReaderDN;
    manager.Password = password;
  }

  static SlapdServer* server;
  TempDir dir;
  LDAPListManager manager;
};
SlapdServer* Fetch::server = nullptr;

std::string Dn(const char* uid) { return std::string("uid=") + uid + ",ou=people,dc=example,dc=com"; }

std::string QuestionText(const char* first, const char* code) {
  return std::string(first) + code + ".\nDo you want to work offline?";
}

TEST_F(Fetch, AnonymousSearchMakesNoBindCallAndSavesTheSnapshot) {
  manager.BindDN = "cn=nobody";  // ignored without Authenticate
  manager.Password = "wrong";
  ScriptedMessageBoxes boxes;
  ASSERT_TRUE(manager.Fetch());
  EXPECT_EQ(spy.binds, 0);
  EXPECT_TRUE(boxes.Boxes().empty());
  // Search result order; the nested person is out of a one-level search.
  EXPECT_EQ(DNs(), (std::vector<std::string>{Dn("anna"), Dn("bert"), Dn("cleo")}));
  const LDAPItem& anna = *manager.GetItem(0);
  EXPECT_EQ(anna.CommonName, "Anna M\xC3\xBCller");  // first of several values
  EXPECT_EQ(anna.EMailAddress, "anna@example.com");
  EXPECT_EQ(anna.TelephoneNumber, "+49 30 1111");
  EXPECT_EQ(anna.Title, "Engineer");
  EXPECT_EQ(manager.GetItem(1)->EMailAddress, "");  // Bert has no mail
  const LDAPItem& cleo = *manager.GetItem(2);
  EXPECT_EQ(cleo.FirstName, "Cl\xC3\xA9o");
  EXPECT_EQ(cleo.Company, "Example Ltd");
  EXPECT_EQ(cleo.Department, "Sales");
  EXPECT_EQ(cleo.FaxNumber, "+33 1 99");
  EXPECT_EQ(cleo.Mobile, "+33 6 12");
  EXPECT_EQ(manager.GetItem(manager.Count()), nullptr);
  EXPECT_EQ(spy.ports, std::vector<ULONG>{LDAP_PORT});
  EXPECT_EQ(spy.secure, std::vector<int>{0});

  LDAPListManager reread;
  reread.CacheFileName = Cache();
  ASSERT_TRUE(reread.LoadCache());
  EXPECT_EQ(reread.Items, manager.Items);
}

TEST_F(Fetch, SimpleBindWithTheRightPassword) {
  UseReader(kReaderPassword);
  ASSERT_TRUE(manager.Fetch());
  EXPECT_EQ(spy.binds, 1);
  EXPECT_EQ(manager.Count(), 3u);
}

struct OfflineCase {
  const char* name;
  bool wrongPassword;  // else nothing listens on the port
  int answer;
  bool cacheFile;
};

void PrintTo(const OfflineCase& c, std::ostream* out) { *out << c.name; }

class Offline : public Fetch, public testing::WithParamInterface<OfflineCase> {};

TEST_P(Offline, TheAnswerDecidesWhetherTheCacheIsLoaded) {
  const OfflineCase& c = GetParam();
  const std::string earlier = c.cacheFile ? SeedCache() : "";
  if (!c.cacheFile) manager.CacheFileName.clear();
  if (c.wrongPassword)
    UseReader("not-the-password");
  else
    manager.ServerName = Numbered("127.0.0.1:", SlapdServer::UnusedPort());
  ScriptedMessageBoxes boxes({c.answer});
  const bool fetched = manager.Fetch();

  const std::vector<RecordedBox> shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u) << "no further box, also for a missing cache file name";
  EXPECT_EQ(shown[0].caption, "Pernix");
  EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_ICONQUESTION | MB_YESNO));
  EXPECT_EQ(shown[0].text, c.wrongPassword
                               ? QuestionText("Authentication failure to the LDAP server. Error Code 0x", "31")
                               : QuestionText("Unable to connect to the LDAP server. Error Code 0x", "51"));
  const bool loaded = c.answer == IDYES && c.cacheFile;
  EXPECT_EQ(fetched, loaded);
  EXPECT_EQ(manager.Items, loaded ? FiveItems() : std::vector<LDAPItem>{});
  if (c.cacheFile) {
    EXPECT_EQ(ReadAll(Cache()), earlier) << "working offline never rewrites the cache";
  }
  EXPECT_EQ(spy.scope, 99u) << "no search after a failed connect or bind";
}

INSTANTIATE_TEST_SUITE_P(Answers, Offline,
                         testing::Values(OfflineCase{"BindYes", true, IDYES, true},
                                         OfflineCase{"BindNo", true, IDNO, true},
                                         OfflineCase{"BindYesNoCacheName", true, IDYES, false},
                                         OfflineCase{"ConnectYes", false, IDYES, true},
                                         OfflineCase{"ConnectNo", false, IDNO, true},
                                         OfflineCase{"ConnectYesNoCacheName", false, IDYES, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fetch, OfflineWithAMissingCacheFileShowsTheOpenError) {
  manager.ServerName = Numbered("127.0.0.1:", SlapdServer::UnusedPort());
  ScriptedMessageBoxes boxes({IDYES});
  EXPECT_FALSE(manager.Fetch());
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[1].text, "Unable to open the cache file '" + Cache() + "'.");
  EXPECT_EQ(manager.Count(), 0u);
}

TEST_F(Fetch, ScopeFollowsDeepSearch) {
  for (const bool deep : {false, true}) {
    SCOPED_TRACE(deep);
    manager.DeepSearch = deep;
    ASSERT_TRUE(manager.Fetch());
    EXPECT_EQ(spy.scope, deep ? LDAP_SCOPE_SUBTREE : LDAP_SCOPE_ONELEVEL);
    std::vector<std::string> expected{Dn("anna"), Dn("bert"), Dn("cleo")};
    if (deep) expected.push_back("uid=dora,ou=staff,ou=people,dc=example,dc=com");
    EXPECT_EQ(DNs(), expected);
  }
}

TEST_F(Fetch, BaseFilterAndAttributesAreHandedOverUnchanged) {
  manager.SearchDN = "OU=People,DC=Example,DC=Com";
  manager.SearchString = "(&(objectClass=inetOrgPerson)(mail=*))";
  ASSERT_TRUE(manager.Fetch());
  EXPECT_EQ(spy.base, "OU=People,DC=Example,DC=Com");
  EXPECT_EQ(spy.filter, "(&(objectClass=inetOrgPerson)(mail=*))");
  EXPECT_EQ(spy.attributes, (std::vector<std::string>{"cn", "givenname", "sn", "title", "o", "ou", "telephoneNumber",
                                                      "facsimileTelephoneNumber", "mail", "mobile"}));
  EXPECT_EQ(DNs(), (std::vector<std::string>{Dn("anna"), Dn("cleo")})) << "the filter is the server's";
}

TEST_F(Fetch, EmptyBaseAndFilterAreEmptyTextsNotNull) {
  for (const bool emptyBase : {true, false}) {
    SCOPED_TRACE(emptyBase ? "empty base" : "empty filter");
    manager.SearchDN = emptyBase ? "" : kPeopleDN;
    manager.SearchString = emptyBase ? "(objectClass=*)" : "";
    ScriptedMessageBoxes boxes;
    // Below the empty base slapd holds nothing; an empty filter matches everyone.
    EXPECT_EQ(manager.Fetch(), !emptyBase);
    EXPECT_FALSE(spy.baseNull);
    EXPECT_FALSE(spy.filterNull);
    EXPECT_EQ(spy.base, manager.SearchDN);
    EXPECT_EQ(spy.filter, manager.SearchString);
    if (!emptyBase) {
      EXPECT_EQ(DNs(),
                (std::vector<std::string>{"ou=staff," + std::string(kPeopleDN), Dn("anna"), Dn("bert"), Dn("cleo")}));
    }
  }
}

TEST_F(Fetch, OptionsAreSetOnlyWhenAsked) {
  struct Case {
    bool version3;
    std::int32_t timeOut;
    std::vector<std::pair<int, int>> expected;
  };
  const Case cases[] = {
      {false, 0, {}},
      {false, 60, {{LDAP_OPT_TIMELIMIT, 60}}},
      {true, 0, {{LDAP_OPT_VERSION, 3}}},
      {true, 7, {{LDAP_OPT_VERSION, 3}, {LDAP_OPT_TIMELIMIT, 7}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.version3 << " " << c.timeOut);
    spy.options.clear();
    manager.UseVersion3 = c.version3;
    manager.TimeOut = c.timeOut;
    ASSERT_TRUE(manager.Fetch());
    std::vector<std::pair<int, int>> set;
    for (const SetOptionCall& call : spy.options) set.emplace_back(call.option, call.value);
    EXPECT_EQ(set, c.expected);
    EXPECT_EQ(manager.Count(), 3u);
  }
}

TEST_F(Fetch, EmptyResultRewritesTheCacheWithZeroItems) {
  SeedCache();
  manager.SearchDN = "ou=empty,dc=example,dc=com";
  ScriptedMessageBoxes boxes;
  ASSERT_TRUE(manager.Fetch());
  EXPECT_EQ(manager.Count(), 0u);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(ReadAll(Cache()), std::string("\x01\x00\xBE\xBA\x01\x00\x00\x00\x00\x00\x00\x00", 12));
}

struct SearchFailure {
  const char* name;
  const char* base;
  const char* code;
};

void PrintTo(const SearchFailure& c, std::ostream* out) { *out << c.name; }

class FailedSearch : public Fetch, public testing::WithParamInterface<SearchFailure> {};

TEST_P(FailedSearch, ShowsTheErrorKeepsItemsEmptyAndLeavesTheCache) {
  const std::string earlier = SeedCache();
  manager.SearchDN = GetParam().base;
  manager.SearchString = "(objectClass=*)";
  ScriptedMessageBoxes boxes;
  EXPECT_FALSE(manager.Fetch());
  EXPECT_EQ(manager.Count(), 0u);
  EXPECT_EQ(ReadAll(Cache()), earlier);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].caption, "Pernix");
  EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_ICONERROR | MB_OK));
  EXPECT_EQ(boxes.Boxes()[0].text,
            std::string("LDAP search failed. Error Code 0x") + GetParam().code +
                ".\nPlease check the search base and search string in the configuration settings.");
}

INSTANTIATE_TEST_SUITE_P(Results, FailedSearch,
                         testing::Values(SearchFailure{"SizeLimit", "ou=crowd,dc=example,dc=com", "4"},
                                         SearchFailure{"NoSuchBase", "ou=nowhere,dc=example,dc=com", "20"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fetch, AnUnsavableSnapshotIsStillASnapshot) {
  manager.CacheFileName = (dir / "missing-folder" / "people.pxb").string();
  ScriptedMessageBoxes boxes;
  EXPECT_TRUE(manager.Fetch());
  EXPECT_EQ(manager.Count(), 3u);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Unable to create the cache file '" + manager.CacheFileName +
                                       "'. Please  set a valid file name in the configuration settings.");
}

TEST_F(Fetch, AnUnusableServerNameIsAConnectionFailureWithTheOfflineQuestion) {
  const std::string earlier = SeedCache();
  for (const char* name : {"ldap://127.0.0.1/", "127.0.0.1:", "127.0.0.1:0", "[::1"}) {
    SCOPED_TRACE(name);
    manager.ServerName = name;
    ScriptedMessageBoxes boxes({IDYES});
    EXPECT_TRUE(manager.Fetch());
    const std::vector<RecordedBox> shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_ICONQUESTION | MB_YESNO));
    // LDAP_PARAM_ERROR: the name, not the server, is at fault.
    EXPECT_EQ(shown[0].text, QuestionText("Unable to connect to the LDAP server. Error Code 0x", "59"));
    EXPECT_EQ(manager.Items, FiveItems());
    EXPECT_EQ(ReadAll(Cache()), earlier);
  }
  manager.ServerName = "127.0.0.1:";
  ScriptedMessageBoxes boxes({IDNO});
  EXPECT_FALSE(manager.Fetch());
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(manager.Count(), 0u);
}

TEST_F(Fetch, SetUpFailuresShowNothingAndTakeNoSnapshot) {
  struct Case {
    const char* name;
    std::string server;
    bool version3;
    std::int32_t timeOut;
    std::optional<int> failOption;
  };
  const Case cases[] = {
      {"protocol version refused", server->HostPort(), true, 60, LDAP_OPT_VERSION},
      {"time limit refused by the library", server->HostPort(), false, -1, {}},
      {"time limit refused", server->HostPort(), false, 60, LDAP_OPT_TIMELIMIT},
  };
  SeedCache();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    spy.failOption = c.failOption;
    manager.ServerName = c.server;
    manager.UseVersion3 = c.version3;
    manager.TimeOut = c.timeOut;
    ScriptedMessageBoxes boxes({IDYES});
    EXPECT_FALSE(manager.Fetch());
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(manager.Count(), 0u);
    EXPECT_EQ(spy.handlesOpen, 0);
  }
}

TEST_F(Fetch, LdapsWithTheTestCaTrusted) {
  manager.ServerName = server->SslHostPort();
  manager.UseSSL = true;
  ASSERT_EQ(setenv("LDAPTLS_CACERT", server->CaFile().c_str(), 1), 0);
  const bool trusted = manager.Fetch();
  unsetenv("LDAPTLS_CACERT");
  EXPECT_TRUE(trusted);
  EXPECT_EQ(manager.Count(), 3u);
  EXPECT_EQ(spy.ports, std::vector<ULONG>{LDAP_SSL_PORT});
  EXPECT_EQ(spy.secure, std::vector<int>{1});

  // Without the test CA the certificate check fails: the server cannot be reached.
  LDAPListManager untrusting;
  untrusting.ServerName = server->SslHostPort();
  untrusting.UseSSL = true;
  untrusting.SearchDN = kPeopleDN;
  ScriptedMessageBoxes boxes({IDNO});
  EXPECT_FALSE(untrusting.Fetch());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text.rfind("Unable to connect to the LDAP server. Error Code 0x", 0), 0u);
  EXPECT_EQ(untrusting.Count(), 0u);
}

TEST_F(Fetch, ARepeatedFetchStartsAfresh) {
  ASSERT_TRUE(manager.Fetch());
  ASSERT_TRUE(manager.Fetch());
  EXPECT_EQ(manager.Count(), 3u);
}

TEST_F(Fetch, ResetRestoresTheDefaultsAndEmptiesItems) {
  ASSERT_TRUE(manager.Fetch());
  manager.UseSSL = manager.UseVersion3 = manager.DeepSearch = manager.Authenticate = true;
  manager.TimeOut = 5;
  manager.BindDN = manager.Password = "x";
  manager.Reset();
  EXPECT_EQ(manager.Count(), 0u);
  EXPECT_EQ(manager.GetItem(0), nullptr);
  EXPECT_TRUE(manager.ServerName.empty() && manager.SearchDN.empty() && manager.SearchString.empty() &&
              manager.CacheFileName.empty() && manager.BindDN.empty() && manager.Password.empty());
  EXPECT_FALSE(manager.UseSSL || manager.UseVersion3 || manager.DeepSearch || manager.Authenticate);
  EXPECT_EQ(manager.TimeOut, 60);
  EXPECT_EQ(manager.GetAttribList().CommonName, "");
  EXPECT_EQ(manager.GetAttribList().EMailAddress, "");
}
}  // namespace

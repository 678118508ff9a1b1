// The Windows LDAP client calls against a real slapd.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "slapd.h"
#include "winldap.h"

namespace {
std::string People(int count) {
  std::string ldif =
      "dn: ou=people,dc=example,dc=com\n"
      "objectClass: organizationalUnit\n"
      "ou: people\n\n";
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    ldif += "dn: uid=p" + n + ",ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: p" + n + "\ncn: Person " +
            n + "\nsn: Person\nmail: p" + n + "@example.com\nmail: second" + n + "@example.com\n\n";
  }
  return ldif;
}

// An open handle, released at the end of the scope.
struct Handle {
  LDAP* ld;
  Handle(const std::string& host, ULONG port, int secure)
      : ld(ldap_sslinit(const_cast<char*>(host.c_str()), port, secure)) {}
  ~Handle() {
    if (ld) ldap_unbind(ld);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

// Distinguished names of a subtree search below the base, as the walk delivers them.
std::vector<std::string> SearchDNs(LDAP* ld, const char* filter, ULONG* code = nullptr) {
  char* attrs[] = {const_cast<char*>("cn"), nullptr};
  LDAPMessage* result = nullptr;
  const ULONG rc = ldap_search_s(ld, const_cast<char*>(SlapdServer::kBaseDN), LDAP_SCOPE_SUBTREE,
                                 const_cast<char*>(filter), attrs, 0, &result);
  if (code) *code = rc;
  std::vector<std::string> dns;
  for (LDAPMessage* entry = ldap_first_entry(ld, result); entry; entry = ldap_next_entry(ld, entry)) {
    char* dn = ldap_get_dn(ld, entry);
    dns.push_back(dn ? dn : "");
    ldap_memfree(dn);
  }
  ldap_msgfree(result);
  return dns;
}

class LdapClient : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = People(5), .sizeLimit = 3}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  static SlapdServer* server;
};
SlapdServer* LdapClient::server = nullptr;
}  // namespace

TEST_F(LdapClient, BindSearchAndWalkTheResult) {
  Handle h(SlapdServer::kHost, server->Port(), 0);
  ASSERT_NE(h.ld, nullptr);
  const int version = LDAP_VERSION3;
  EXPECT_EQ(ldap_set_option(h.ld, LDAP_OPT_VERSION, &version), LDAP_SUCCESS);
  const int seconds = 60;
  EXPECT_EQ(ldap_set_option(h.ld, LDAP_OPT_TIMELIMIT, &seconds), LDAP_SUCCESS);
  ASSERT_EQ(ldap_connect(h.ld, nullptr), LDAP_SUCCESS);
  // The admin has no size limit.
  ASSERT_EQ(ldap_bind_s(h.ld, const_cast<char*>(server->AdminDN()), const_cast<char*>(server->AdminPassword()),
                        LDAP_AUTH_SIMPLE),
            LDAP_SUCCESS);

  char* attrs[] = {const_cast<char*>("mail"), const_cast<char*>("cn"), nullptr};
  LDAPMessage* result = nullptr;
  ASSERT_EQ(ldap_search_s(h.ld, const_cast<char*>("ou=people,dc=example,dc=com"), LDAP_SCOPE_ONELEVEL,
                          const_cast<char*>("(objectClass=inetOrgPerson)"), attrs, 0, &result),
            LDAP_SUCCESS);
  int entries = 0;
  for (LDAPMessage* entry = ldap_first_entry(h.ld, result); entry; entry = ldap_next_entry(h.ld, entry), ++entries) {
    char* dn = ldap_get_dn(h.ld, entry);
    ASSERT_NE(dn, nullptr);
    const std::string n = std::string(dn).substr(5, std::string(dn).find(',') - 5);
    EXPECT_EQ(std::string(dn), "uid=p" + n + ",ou=people,dc=example,dc=com");
    ldap_memfree(dn);
    char** mail = ldap_get_values(h.ld, entry, const_cast<char*>("mail"));
    ASSERT_NE(mail, nullptr);
    ASSERT_EQ(ldap_count_values(mail), 2u);
    EXPECT_STREQ(mail[0], ("p" + n + "@example.com").c_str());
    EXPECT_STREQ(mail[1], ("second" + n + "@example.com").c_str());
    EXPECT_EQ(mail[2], nullptr);
    ldap_value_free(mail);
    // Not requested, so not there; a missing attribute is no error of the handle.
    EXPECT_EQ(ldap_get_values(h.ld, entry, const_cast<char*>("sn")), nullptr);
  }
  EXPECT_EQ(entries, 5);
  EXPECT_EQ(ldap_msgfree(result), LDAP_SUCCESS);
}

TEST_F(LdapClient, UnreachableServerIsServerDown) {
  Handle h(SlapdServer::kHost, SlapdServer::UnusedPort(), 0);
  ASSERT_NE(h.ld, nullptr);
  EXPECT_EQ(ldap_connect(h.ld, nullptr), 0x51u);
  EXPECT_EQ(LdapGetLastError(), 0x51u);
  // A search without a connect call connects itself, and fails the same way.
  ULONG code = 0;
  EXPECT_TRUE(SearchDNs(h.ld, "(objectClass=*)", &code).empty());
  EXPECT_EQ(code, 0x51u);
}

TEST_F(LdapClient, WrongPasswordIsInvalidCredentials) {
  Handle h(SlapdServer::kHost, server->Port(), 0);
  ASSERT_EQ(ldap_connect(h.ld, nullptr), LDAP_SUCCESS);
  EXPECT_EQ(ldap_bind_s(h.ld, const_cast<char*>(server->AdminDN()), const_cast<char*>("wrong"), LDAP_AUTH_SIMPLE),
            LDAP_INVALID_CREDENTIALS);
  EXPECT_EQ(LdapGetLastError(), 0x31u);
  EXPECT_EQ(ldap_bind_s(h.ld, const_cast<char*>(server->AdminDN()), const_cast<char*>(server->AdminPassword()), 0x86),
            LDAP_AUTH_METHOD_NOT_SUPPORTED);
}

TEST_F(LdapClient, HostListsAndPortOverrides) {
  const std::string good = std::to_string(server->Port());
  const std::string dead = std::to_string(SlapdServer::UnusedPort());
  struct Case {
    std::string hosts;
    ULONG port;
    ULONG expected;
  } cases[] = {
      {"127.0.0.1", server->Port(), LDAP_SUCCESS},                                // the port passed
      {"127.0.0.1:" + good, static_cast<ULONG>(std::stoul(dead)), LDAP_SUCCESS},  // overridden by the host's port
      {"127.0.0.1:" + dead, server->Port(), 0x51},                                // and only that one is tried
      {"127.0.0.1:" + dead + " 127.0.0.1:" + good, 389, LDAP_SUCCESS},            // the next host when one is down
      {"  127.0.0.1:" + dead + "   127.0.0.1  ", server->Port(), LDAP_SUCCESS},   // blanks around and between
      {"localhost:" + good, 389, LDAP_SUCCESS},
      {"127.0.0.1:" + dead + " localhost:" + dead, 389, 0x51},
  };
  for (const Case& c : cases) {
    Handle h(c.hosts, c.port, 0);
    ASSERT_NE(h.ld, nullptr) << c.hosts;
    EXPECT_EQ(ldap_connect(h.ld, nullptr), c.expected) << c.hosts << " port " << c.port;
    if (c.expected == LDAP_SUCCESS) {
      EXPECT_EQ(SearchDNs(h.ld, "(ou=people)").size(), 1u) << c.hosts;
    }
  }
}

TEST_F(LdapClient, MalformedHostNamesGetNoHandle) {
  for (const char* hosts :
       {"127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:12ab", ":389", "[::1", "host/path", "user@host"}) {
    Handle h(hosts, 389, 0);
    EXPECT_EQ(h.ld, nullptr) << hosts;
    EXPECT_EQ(LdapGetLastError(), LDAP_PARAM_ERROR) << hosts;
  }
}

TEST_F(LdapClient, SslTrustsTheConfiguredCaOnly) {
  setenv("LDAPTLS_CACERT", server->CaFile().c_str(), 1);
  {
    Handle h(server->SslHostPort(), 389, 1);
    ASSERT_NE(h.ld, nullptr);
    EXPECT_EQ(ldap_connect(h.ld, nullptr), LDAP_SUCCESS);
    EXPECT_EQ(SearchDNs(h.ld, "(ou=people)").size(), 1u);
  }
  {
    // The certificate names 127.0.0.1 only.
    Handle h("localhost:" + std::to_string(server->SslPort()), 636, 1);
    EXPECT_NE(ldap_connect(h.ld, nullptr), LDAP_SUCCESS);
  }
  {
    // Plain LDAP to the SSL port (the TCP connection opens, the first request fails), SSL to
    // the plain port.
    Handle plain(server->SslHostPort(), 389, 0);
    ULONG code = LDAP_SUCCESS;
    EXPECT_TRUE(SearchDNs(plain.ld, "(ou=people)", &code).empty());
    EXPECT_NE(code, LDAP_SUCCESS);
    Handle ssl(server->HostPort(), 636, 1);
    EXPECT_NE(ldap_connect(ssl.ld, nullptr), LDAP_SUCCESS);
  }
  // With only the system's CAs the test CA is unknown.
  setenv("LDAPTLS_CACERT", "/etc/ssl/certs/ca-certificates.crt", 1);
  {
    Handle h(server->SslHostPort(), 636, 1);
    ASSERT_NE(h.ld, nullptr);
    const ULONG code = ldap_connect(h.ld, nullptr);
    EXPECT_NE(code, LDAP_SUCCESS);
    EXPECT_EQ(LdapGetLastError(), code);
    EXPECT_TRUE(SearchDNs(h.ld, "(ou=people)").empty());
  }
  unsetenv("LDAPTLS_CACERT");
}

TEST_F(LdapClient, NothingTurnsTheCertificateCheckOff) {
  // Read by libldap when it first starts in this process; the handle demands the check anyway.
  setenv("LDAPTLS_REQCERT", "never", 1);
  setenv("LDAPTLS_CACERT", "/etc/ssl/certs/ca-certificates.crt", 1);
  Handle h(server->SslHostPort(), 636, 1);
  EXPECT_NE(ldap_connect(h.ld, nullptr), LDAP_SUCCESS);
  unsetenv("LDAPTLS_REQCERT");
  unsetenv("LDAPTLS_CACERT");
}

TEST_F(LdapClient, SizeLimitIsAFailedSearchWithPartialResult) {
  Handle h(SlapdServer::kHost, server->Port(), 0);
  ULONG code = 0;
  const std::vector<std::string> dns = SearchDNs(h.ld, "(objectClass=inetOrgPerson)", &code);
  EXPECT_EQ(code, LDAP_SIZELIMIT_EXCEEDED);
  EXPECT_EQ(LdapGetLastError(), 4u);
  EXPECT_EQ(dns.size(), 3u);  // what came before the limit, freed with the result
}

TEST_F(LdapClient, WalksOverFailedAndEmptyResultsSafely) {
  Handle h(SlapdServer::kHost, server->Port(), 0);
  char* attrs[] = {nullptr};
  LDAPMessage* result = reinterpret_cast<LDAPMessage*>(&attrs);  // overwritten by every search
  EXPECT_EQ(ldap_search_s(h.ld, const_cast<char*>("ou=nowhere,dc=example,dc=com"), LDAP_SCOPE_SUBTREE,
                          const_cast<char*>("(objectClass=*)"), attrs, 0, &result),
            LDAP_NO_SUCH_OBJECT);
  for (LDAPMessage* e = ldap_first_entry(h.ld, result); e; e = ldap_next_entry(h.ld, e)) ADD_FAILURE();
  ldap_msgfree(result);
  EXPECT_EQ(ldap_search_s(h.ld, const_cast<char*>("dc=example,dc=com"), LDAP_SCOPE_SUBTREE,
                          const_cast<char*>("(cn=nobody)"), attrs, 0, &result),
            LDAP_SUCCESS);
  EXPECT_EQ(ldap_first_entry(h.ld, result), nullptr);
  ldap_msgfree(result);
  EXPECT_EQ(ldap_search_s(h.ld, const_cast<char*>("dc=example,dc=com"), LDAP_SCOPE_SUBTREE,
                          const_cast<char*>("(broken"), attrs, 0, &result),
            LDAP_FILTER_ERROR);
  EXPECT_EQ(result, nullptr);
  // Null results, entries and handles give null and codes, never a crash.
  EXPECT_EQ(ldap_first_entry(h.ld, nullptr), nullptr);
  EXPECT_EQ(ldap_next_entry(h.ld, nullptr), nullptr);
  EXPECT_EQ(ldap_get_dn(h.ld, nullptr), nullptr);
  EXPECT_EQ(ldap_get_values(h.ld, nullptr, const_cast<char*>("cn")), nullptr);
  EXPECT_EQ(ldap_first_entry(nullptr, nullptr), nullptr);
  EXPECT_EQ(ldap_msgfree(nullptr), LDAP_SUCCESS);
  EXPECT_EQ(ldap_value_free(nullptr), LDAP_SUCCESS);
  ldap_memfree(nullptr);
  EXPECT_EQ(ldap_count_values(nullptr), 0u);
  EXPECT_EQ(ldap_connect(nullptr, nullptr), LDAP_PARAM_ERROR);
  EXPECT_EQ(ldap_search_s(nullptr, nullptr, 0, nullptr, nullptr, 0, &result), LDAP_PARAM_ERROR);
  EXPECT_EQ(ldap_unbind(nullptr), LDAP_PARAM_ERROR);
  const int version = 3;
  EXPECT_EQ(ldap_set_option(nullptr, LDAP_OPT_VERSION, &version), LDAP_PARAM_ERROR);
  EXPECT_EQ(ldap_set_option(h.ld, 0x7777, &version), LDAP_PARAM_ERROR);
  const int badVersion = 4;
  EXPECT_EQ(ldap_set_option(h.ld, LDAP_OPT_VERSION, &badVersion), LDAP_PARAM_ERROR);
}

TEST_F(LdapClient, AMessageFreedByResult2ErrorIsNeverReadAgain) {
  // A result freed by ldap_result2error, then a new result that often lands at the same
  // address: the values read from it must be its own, not those of the freed one (entries of
  // two shapes, so that a stale reading shows).
  Handle h(SlapdServer::kHost, server->Port(), 0);
  ASSERT_EQ(ldap_bind_s(h.ld, const_cast<char*>(server->AdminDN()), const_cast<char*>(server->AdminPassword()),
                        LDAP_AUTH_SIMPLE),
            LDAP_SUCCESS);
  char* attrs[] = {const_cast<char*>("cn"), const_cast<char*>("ou"), nullptr};
  auto read = [&](const char* base, const char* attribute) {
    LDAPMessage* result = nullptr;
    EXPECT_EQ(ldap_search_s(h.ld, const_cast<char*>(base), LDAP_SCOPE_BASE, const_cast<char*>("(objectClass=*)"), attrs,
                            0, &result),
              LDAP_SUCCESS);
    std::string value = "<none>";
    if (char** values = ldap_get_values(h.ld, ldap_first_entry(h.ld, result), const_cast<char*>(attribute))) {
      value = values[0];
      ldap_value_free(values);
    }
    EXPECT_EQ(ldap_result2error(h.ld, result, 1), LDAP_SUCCESS);
    return value;
  };
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(read("ou=people,dc=example,dc=com", "ou"), "people");
    EXPECT_EQ(read("uid=p1,ou=people,dc=example,dc=com", "cn"), "Person 1");
    EXPECT_EQ(read("ou=people,dc=example,dc=com", "cn"), "<none>");
  }
}

TEST_F(LdapClient, LastErrorBelongsToTheCallingThread) {
  Handle h(SlapdServer::kHost, server->Port(), 0);
  EXPECT_EQ(ldap_bind_s(h.ld, const_cast<char*>(server->AdminDN()), const_cast<char*>("wrong"), LDAP_AUTH_SIMPLE),
            0x31u);
  ULONG other = 0;
  std::thread([&] {
    Handle down(SlapdServer::kHost, SlapdServer::UnusedPort(), 0);
    ldap_connect(down.ld, nullptr);
    other = LdapGetLastError();
  }).join();
  EXPECT_EQ(other, 0x51u);
  EXPECT_EQ(LdapGetLastError(), 0x31u);
  // A success leaves the last failure in place.
  EXPECT_EQ(ldap_bind_s(h.ld, const_cast<char*>(""), const_cast<char*>(""), LDAP_AUTH_SIMPLE), LDAP_SUCCESS);
  EXPECT_EQ(LdapGetLastError(), 0x31u);
}

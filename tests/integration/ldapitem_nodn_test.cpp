// An entry without a DN, which no server sends: this executable's ldap_get_dn stands in for
// the platform's (an executable's definition takes precedence over the shared library's) and
// answers null while `dnMissing` is set, the real DN otherwise.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include "directory/ldapattriblist.h"
#include "directory/ldapitem.h"
#include "slapd.h"
#include "winldap.h"

namespace {
bool dnMissing = false;
int getDnCalls = 0;
}  // namespace

PCHAR winldap::ldap_get_dn(LDAP* ld, LDAPMessage* entry) {
  ++getDnCalls;
  if (dnMissing) return nullptr;
  using GetDn = PCHAR (*)(LDAP*, LDAPMessage*);
  static const GetDn real =
      reinterpret_cast<GetDn>(dlsym(RTLD_NEXT, "_ZN7winldap11ldap_get_dnEPNS_4ldapEPNS_7ldapmsgE"));
  return real ? real(ld, entry) : nullptr;
}

TEST(FillFromEntryWithoutDN, FillsTheValuesAndLeavesTheDNEmpty) {
  SlapdServer server({.ldif = "dn: cn=Carol,dc=example,dc=com\n"
                              "objectClass: inetOrgPerson\n"
                              "cn: Carol\n"
                              "sn: Smith\n"
                              "mail: carol@example.com\n"});
  LDAP* ld = ldap_sslinit(const_cast<char*>(server.HostPort().c_str()), LDAP_PORT, 0);
  ASSERT_NE(ld, nullptr);
  LDAPAttribList list;
  list.Parse("Last Name=sn\nE-Mail Address=mail");
  std::vector<char*> attrs = list.RequestedAttributes();
  LDAPMessage* result = nullptr;
  ASSERT_EQ(ldap_search_s(ld, const_cast<char*>("dc=example,dc=com"), LDAP_SCOPE_ONELEVEL,
                          const_cast<char*>("(cn=Carol)"), attrs.data(), 0, &result),
            LDAP_SUCCESS);
  LDAPMessage* entry = ldap_first_entry(ld, result);
  ASSERT_NE(entry, nullptr);

  LDAPItem item;
  ASSERT_TRUE(item.FillFromEntry(ld, entry, list));
  EXPECT_EQ(item.DN, "cn=Carol,dc=example,dc=com");  // the stand-in passes the real DN on

  dnMissing = true;
  const int before = getDnCalls;
  ASSERT_TRUE(item.FillFromEntry(ld, entry, list));
  EXPECT_EQ(getDnCalls, before + 1);
  EXPECT_TRUE(item.DN.empty());
  EXPECT_EQ(item.CommonName, "Carol");
  EXPECT_EQ(item.LastName, "Smith");
  EXPECT_EQ(item.EMailAddress, "carol@example.com");

  ldap_msgfree(result);
  ldap_unbind(ld);
}

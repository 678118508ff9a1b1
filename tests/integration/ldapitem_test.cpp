// Filling directory entries from the entries of a real slapd.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "directory/ldapattriblist.h"
#include "directory/ldapitem.h"
#include "slapd.h"
#include "winldap.h"

namespace {
constexpr const char* kPeople =
    "dn: ou=people,dc=example,dc=com\n"
    "objectClass: organizationalUnit\n"
    "ou: people\n\n"
    "dn: uid=full,ou=people,dc=example,dc=com\n"
    "objectClass: inetOrgPerson\n"
    "uid: full\n"
    "cn: Anna M\xC3\xBCller\n"
    "cn: Anna Mueller\n"
    "givenName: Anna\n"
    "sn: M\xC3\xBCller\n"
    "title: Engineer\n"
    "o: Example Ltd\n"
    "ou: Research\n"
    "telephoneNumber: a\n"
    "telephoneNumber: b\n"
    "telephoneNumber: c\n"
    "facsimileTelephoneNumber: +49 30 1234-99\n"
    "mail: anna@example.com\n"
    "mobile: +49 171 555\n\n"
    "dn: uid=sparse,ou=people,dc=example,dc=com\n"
    "objectClass: inetOrgPerson\n"
    "uid: sparse\n"
    "cn: Bob\n"
    "sn: Builder\n\n";

constexpr const char* kMapping =
    "First Name=givenName\n"
    "Last Name=sn\n"
    "Title=title\n"
    "Company=o\n"
    "Department=ou\n"
    "Telephone Number=telephoneNumber\n"
    "Fax Number=facsimileTelephoneNumber\n"
    "Mobile=mobile\n"
    "E-Mail Address=mail\n";

class FillFromEntry : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = kPeople}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    ld = ldap_sslinit(const_cast<char*>(server->HostPort().c_str()), LDAP_PORT, 0);
    ASSERT_NE(ld, nullptr);
  }
  void TearDown() override {
    ldap_msgfree(result);
    ldap_unbind(ld);
  }

  // Searches the people as the fetch does, with the list's requested attributes; returns the
  // entries by uid.
  std::map<std::string, LDAPMessage*> Search(LDAPAttribList& list) {
    ldap_msgfree(result);
    result = nullptr;
    std::vector<char*> attrs = list.RequestedAttributes();
    EXPECT_EQ(ldap_search_s(ld, const_cast<char*>("ou=people,dc=example,dc=com"), LDAP_SCOPE_ONELEVEL,
                            const_cast<char*>("(objectClass=*)"), attrs.data(), 0, &result),
              LDAP_SUCCESS);
    std::map<std::string, LDAPMessage*> entries;
    for (LDAPMessage* e = ldap_first_entry(ld, result); e; e = ldap_next_entry(ld, e)) {
      char* dn = ldap_get_dn(ld, e);
      entries[std::string(dn).substr(4, std::string(dn).find(',') - 4)] = e;
      ldap_memfree(dn);
    }
    return entries;
  }

  static SlapdServer* server;
  LDAP* ld = nullptr;
  LDAPMessage* result = nullptr;
};
SlapdServer* FillFromEntry::server = nullptr;
}  // namespace

TEST_F(FillFromEntry, TakesTheFirstValueOfEveryMappedAttribute) {
  LDAPAttribList list;
  list.Parse(kMapping);
  auto entries = Search(list);
  LDAPItem item;
  ASSERT_TRUE(item.FillFromEntry(ld, entries.at("full"), list));
  EXPECT_EQ(item.DN, "uid=full,ou=people,dc=example,dc=com");
  EXPECT_EQ(item.CommonName, "Anna M\xC3\xBCller");
  EXPECT_EQ(item.FirstName, "Anna");
  EXPECT_EQ(item.LastName, "M\xC3\xBCller");
  EXPECT_EQ(item.Title, "Engineer");
  EXPECT_EQ(item.Company, "Example Ltd");
  EXPECT_EQ(item.Department, "Research");
  EXPECT_EQ(item.TelephoneNumber, "a");  // of a, b and c
  EXPECT_EQ(item.FaxNumber, "+49 30 1234-99");
  EXPECT_EQ(item.EMailAddress, "anna@example.com");
  EXPECT_EQ(item.Mobile, "+49 171 555");
}

TEST_F(FillFromEntry, RefillLeavesNothingOfThePreviousEntry) {
  LDAPAttribList list;
  list.Parse(kMapping);
  auto entries = Search(list);
  LDAPItem item;
  ASSERT_TRUE(item.FillFromEntry(ld, entries.at("full"), list));
  ASSERT_TRUE(item.FillFromEntry(ld, entries.at("sparse"), list));
  LDAPItem expected;
  expected.DN = "uid=sparse,ou=people,dc=example,dc=com";
  expected.CommonName = "Bob";
  expected.LastName = "Builder";
  EXPECT_EQ(item, expected);  // the attributes sparse lacks are empty, not Anna's
}

TEST_F(FillFromEntry, TwoFieldsOnOneAttributeBothGetItsFirstValue) {
  LDAPAttribList list;
  list.Parse("Title=cn\nCompany=cn\nMobile=telephoneNumber\nFax Number=TELEPHONENUMBER");
  auto entries = Search(list);
  LDAPItem item;
  ASSERT_TRUE(item.FillFromEntry(ld, entries.at("full"), list));
  EXPECT_EQ(item.CommonName, "Anna M\xC3\xBCller");
  EXPECT_EQ(item.Title, "Anna M\xC3\xBCller");
  EXPECT_EQ(item.Company, "Anna M\xC3\xBCller");
  EXPECT_EQ(item.Mobile, "a");
  EXPECT_EQ(item.FaxNumber, "a");  // names match the entry's without regard to case
  EXPECT_TRUE(item.FirstName.empty());
}

TEST_F(FillFromEntry, EmptyMappingRequestsCnAlone) {
  LDAPAttribList list;
  list.Parse("");
  auto entries = Search(list);
  LDAPMessage* entry = entries.at("full");
  // The server sent cn only.
  EXPECT_EQ(ldap_get_values(ld, entry, const_cast<char*>("sn")), nullptr);
  EXPECT_EQ(ldap_get_values(ld, entry, const_cast<char*>("mail")), nullptr);
  LDAPItem item;
  ASSERT_TRUE(item.FillFromEntry(ld, entry, list));
  LDAPItem expected;
  expected.DN = "uid=full,ou=people,dc=example,dc=com";
  expected.CommonName = "Anna M\xC3\xBCller";
  EXPECT_EQ(item, expected);
}

TEST_F(FillFromEntry, MissingAttributesAndUnmappedFieldsStayEmpty) {
  LDAPAttribList list;
  list.Parse("Mobile=mobile\nTitle=noSuchAttribute\nCompany=");
  list.Department = "title";  // set directly, as the backend may
  auto entries = Search(list);
  LDAPItem item;
  item.Company = "stale";
  ASSERT_TRUE(item.FillFromEntry(ld, entries.at("sparse"), list));
  EXPECT_EQ(item.CommonName, "Bob");
  EXPECT_TRUE(item.Mobile.empty());
  EXPECT_TRUE(item.Title.empty());
  EXPECT_TRUE(item.Company.empty());
  EXPECT_TRUE(item.Department.empty());
}

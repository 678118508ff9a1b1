#include <gtest/gtest.h>

#include "directory/ldapcon.h"
#include "directory/ldapitem.h"

TEST(LDAPItem, IsAPlainValue) {
  LDAPItem item;
  for (const std::string* field : item.Fields()) EXPECT_TRUE(field->empty());
  std::size_t n = 0;
  for (std::string* field : item.Fields()) *field = std::string("value ") + LDAPItem::kFieldNames[n++];
  LDAPItem copy(item);
  EXPECT_EQ(copy, item);
  copy.Mobile = "changed";
  EXPECT_EQ(item.Mobile, "value Mobile");
  LDAPItem& alias = item;
  item = alias;  // self-assignment changes nothing
  EXPECT_EQ(item.DN, "value DN");
  EXPECT_EQ(item.Mobile, "value Mobile");
  copy = item;
  EXPECT_EQ(copy, item);
  item.Clear();
  EXPECT_EQ(item, LDAPItem());
  EXPECT_EQ(copy.CommonName, "value CommonName");
}

TEST(LDAPListManager, StartsWithDefaultsAndResetRestoresThem) {
  LDAPListManager manager;
  const auto check = [&] {
    EXPECT_EQ(manager.Connection, nullptr);
    EXPECT_EQ(manager.Count(), 0u);
    EXPECT_EQ(manager.GetItem(0), nullptr);
    EXPECT_TRUE(manager.ServerName.empty());
    EXPECT_FALSE(manager.UseSSL);
    EXPECT_FALSE(manager.UseVersion3);
    EXPECT_FALSE(manager.DeepSearch);
    EXPECT_TRUE(manager.SearchDN.empty());
    EXPECT_TRUE(manager.SearchString.empty());
    EXPECT_EQ(manager.TimeOut, 60);
    EXPECT_TRUE(manager.AttribList.CommonName.empty());
    EXPECT_TRUE(manager.AttribList.Mobile.empty());
    EXPECT_TRUE(manager.CacheFileName.empty());
    EXPECT_FALSE(manager.Authenticate);
    EXPECT_TRUE(manager.BindDN.empty());
    EXPECT_TRUE(manager.Password.empty());
  };
  check();
  manager.ServerName = "ldap.example.com";
  manager.UseSSL = manager.UseVersion3 = manager.DeepSearch = manager.Authenticate = true;
  manager.SearchDN = "dc=example";
  manager.SearchString = "(cn=*)";
  manager.TimeOut = 0;
  manager.GetAttribList().Parse("Mobile=mobile");
  manager.CacheFileName = "x.pxb";
  manager.BindDN = "cn=admin";
  manager.Password = "secret";
  manager.Items.resize(2);
  manager.Items[1].DN = "second";
  EXPECT_EQ(manager.Count(), 2u);
  ASSERT_NE(manager.GetItem(1), nullptr);
  EXPECT_EQ(manager.GetItem(1)->DN, "second");
  EXPECT_EQ(manager.GetItem(2), nullptr);
  manager.Reset();
  check();
}

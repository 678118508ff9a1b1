// The LDAP backend's list operations that need no directory: ordering, clearing, teardown.
#include "backend/ldapbe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapicode.h"
#include "provider/cabcontainer.h"

namespace {
UserListEntry Entry(ABLDAPBackeEnd* backend, const std::string& displayName) {
  ComPtr<CLDAPUser> user(new CLDAPUser());
  user->SetBackend(backend);
  user->DisplayName = displayName;
  return UserListEntry{"", std::move(user), ""};
}
}  // namespace

TEST(LDAPBackendList, CompareUsersFoldsOnlyAToZ) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  backend->Users = std::make_unique<UserList>();
  UserList& list = *backend->Users;
  // adams < Baker < _x: upper-cased, the underscore (0x5F) comes after the letters; ü (0xC3 0xBC)
  // after every ASCII byte; a text that ends first sorts first.
  for (const char* name : {"adams", "Baker", "_x", "Smith", "smith", "Smit", "\xC3\xBC", "\xC3\x9C", ""})
    list.push_back(Entry(backend, name));
  const auto cmp = [&](std::size_t a, std::size_t b) { return ABLDAPBackeEnd::CompareUsers(list, a, b); };
  EXPECT_LT(cmp(0, 1), 0);
  EXPECT_LT(cmp(1, 2), 0);
  EXPECT_GT(cmp(2, 0), 0);
  EXPECT_EQ(cmp(3, 4), 0);  // Smith and smith
  EXPECT_LT(cmp(5, 3), 0);  // Smit before Smith
  EXPECT_GT(cmp(6, 2), 0);
  EXPECT_NE(cmp(6, 7), 0);  // ü and Ü differ: toupper of the default locale leaves them alone
  EXPECT_LT(cmp(8, 0), 0);  // the empty name first

  // Entries without a user come first, and two of them are equal.
  list.push_back(UserListEntry{});
  list.push_back(UserListEntry{});
  EXPECT_LT(cmp(9, 0), 0);
  EXPECT_GT(cmp(0, 9), 0);
  EXPECT_EQ(cmp(9, 10), 0);

  EXPECT_EQ(backend->RefCount, 1 + 9);
  backend->ClearUsers();
  EXPECT_FALSE(backend->Users);
  EXPECT_EQ(backend->RefCount, 1);
  backend->ClearUsers();  // nothing to clear
  backend->Release();
}

TEST(LDAPBackendList, DestructorReleasesTheContainersAndTheUsers) {
  // Containers without a backend reference, so that the backend can go.
  ComPtr<CABContainer> root(new CABContainer(nullptr, nullptr, nullptr, "Root", 10, nullptr));
  ComPtr<CABContainer> dir(new CABContainer(nullptr, nullptr, nullptr, "Dir", 9, nullptr));
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  backend->RootContainer = root;
  backend->DirContainer = dir;
  backend->Profile = std::make_unique<CLDAPProfileData>();
  // A user whose record holds no backend reference, so that the backend can go.
  backend->Users = std::make_unique<UserList>();
  backend->Users->push_back(Entry(nullptr, "Solo"));
  ComPtr<CLDAPUser> kept = backend->Users->front().User;
  EXPECT_EQ(root->RefCount, 2);
  backend->Release();
  EXPECT_EQ(root->RefCount, 1);
  EXPECT_EQ(dir->RefCount, 1);
  EXPECT_EQ(kept->RefCount, 1);  // the list's reference is gone, ours stays
}

TEST(LDAPBackendList, OpeningByIdentifierFollowsTheCurrentList) {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  const auto fill = [&](const std::vector<std::pair<std::string, std::string>>& people) {
    backend->ClearUsers();
    backend->Users = std::make_unique<UserList>();
    for (const auto& [dn, name] : people) {
      UserListEntry entry = Entry(backend, name);
      entry.DistinguishedName = entry.User->DistinguishedName = dn;
      backend->Users->push_back(std::move(entry));
    }
  };
  const auto find = [&](const std::string& key) -> std::string {
    const auto id = backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, key);
    ComPtr<CLDAPUser> user;
    if (FAILED(backend->FindUserByEntryID(id->cb, reinterpret_cast<LPENTRYID>(id->lpb), &user))) return "<none>";
    return user->DisplayName;
  };
  // The first match in list order, without regard to case, also beyond ASCII.
  fill({{"uid=a", "First A"}, {"uid=b", "B"}, {"UID=A", "Second A"}, {"uid=m\xC3\xBCller", "M"}});
  EXPECT_EQ(find("Uid=A"), "First A");
  EXPECT_EQ(find("UID=M\xC3\x9CLLER"), "M");
  EXPECT_EQ(find("uid=c"), "<none>");
  // A new list of the same length with the names in other places.
  fill({{"uid=c", "C"}, {"uid=b", "B2"}, {"uid=a", "A2"}, {"x", "X"}});
  EXPECT_EQ(find("uid=a"), "A2");
  EXPECT_EQ(find("uid=c"), "C");
  EXPECT_EQ(find("uid=m\xC3\xBCller"), "<none>");
  // The same list grown in place.
  UserListEntry late = Entry(backend, "D");
  late.DistinguishedName = late.User->DistinguishedName = "uid=d";
  backend->Users->push_back(std::move(late));
  EXPECT_EQ(find("uid=d"), "D");
  backend->ClearUsers();
  EXPECT_EQ(find("uid=a"), "<none>");
  backend->Release();
}

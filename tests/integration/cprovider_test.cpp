// The provider object against a real slapd: the first Logon of the process creates, configures
// and loads the shared backend; later Logons, through any provider object, reuse it; Shutdown
// and the logon object's release give back what the Logon took.
#include "provider/cprovider.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "backend/rabguid.h"
#include "config/ldapproviderdata.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "people.h"
#include "provider/cablogon.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "support_double.h"
#include "tempdir.h"

namespace {
void Store(SectionDouble& section, ULONG tag, const std::string& text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(text.c_str());
  ASSERT_EQ(section.SetProps(1, &v, nullptr), S_OK);
}

ABLDAPBackeEnd* Shared() {
  EnterCriticalSection(&LogonLock);
  ABLDAPBackeEnd* backend = SharedBackend;
  LeaveCriticalSection(&LogonLock);
  return backend;
}

// Breaks the backend's cycle with its users and gives back every reference, so that each test
// starts in a process without a shared backend.
void DestroySharedBackend() {
  ABLDAPBackeEnd* backend = Shared();
  if (!backend) return;
  backend->AddRef();
  backend->ReleaseObjects();
  while (backend->Release() != 0) {
  }
}

struct LogonResult {
  HRESULT hr;
  ComPtr<IABLogon> logon;
  ULONG securitySize = 99;
  LPBYTE security = reinterpret_cast<LPBYTE>(0x1);
  LPMAPIERROR error = reinterpret_cast<LPMAPIERROR>(0x1);
};

LogonResult Logon(IABProvider* provider, SupportDouble& support) {
  LogonResult r;
  r.hr = provider->Logon(&support, 0, nullptr, 0, &r.securitySize, &r.security, &r.error, r.logon.put());
  EXPECT_EQ(r.securitySize, 0u);
  EXPECT_EQ(r.security, nullptr);
  EXPECT_EQ(r.error, nullptr);
  return r;
}
}  // namespace

class ProviderLogon : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = PeopleLdif(12)}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override { DestroySharedBackend(); }
  void TearDown() override { DestroySharedBackend(); }

  // A support object whose profile points at the test's directory.
  void Configure(SupportDouble& support, const std::string& filter = kPeopleFilter) {
    Store(support.Service(), PR_LDAP_SERVER_NAME, server->HostPort());
    Store(support.Service(), PR_LDAP_SEARCH_DN, kPeopleBase);
    Store(support.Service(), PR_LDAP_SEARCH_STRING, filter);
    Store(support.Service(), PR_LDAP_SCHEMA_MAPPING, kPeopleMapping);
    Store(support.Service(), PR_LDAP_CACHE_FILE_NAME, (dir / "people.pxb").string());
  }

  static SlapdServer* server;
  TempDir dir;
  // The shared backend holds on to the support object of its first Logon: these outlive it.
  SupportDouble support1, support2;
  ScriptedMessageBoxes boxes;
  ComPtr<CABProvider> first{new CABProvider(nullptr)};
  ComPtr<CABProvider> second{new CABProvider(nullptr)};
};
SlapdServer* ProviderLogon::server = nullptr;

TEST_F(ProviderLogon, FirstLogonLoadsAndALaterOneThroughAnotherProviderReusesTheSnapshot) {
  Configure(support1);
  LogonResult one = Logon(first.get(), support1);
  ASSERT_EQ(one.hr, S_OK);
  ABLDAPBackeEnd* backend = Shared();
  ASSERT_NE(backend, nullptr);
  ASSERT_TRUE(backend->Users);
  EXPECT_EQ(backend->Users->size(), 12u);
  const UserList* users = backend->Users.get();
  EXPECT_EQ(support1.Provider().getPropsCalls, 1);
  EXPECT_EQ(support1.Service().getPropsCalls, 1);
  EXPECT_EQ(std::memcmp(&support1.registeredUID, &ABLDAPProviderUID, sizeof(MAPIUID)), 0);
  EXPECT_EQ(support1.statusRowCount, 9u);
  const LONG count = backend->RefCount;

  // The second profile is never read: the process has its snapshot.
  LogonResult two = Logon(second.get(), support2);
  ASSERT_EQ(two.hr, S_OK);
  EXPECT_EQ(Shared(), backend);
  EXPECT_EQ(backend->Users.get(), users);
  EXPECT_EQ(support2.Provider().getPropsCalls, 0);
  EXPECT_EQ(support2.Service().getPropsCalls, 0);
  EXPECT_EQ(std::memcmp(&support2.registeredUID, &ABLDAPProviderUID, sizeof(MAPIUID)), 0);
  EXPECT_EQ(support2.statusRowCount, 9u);
  EXPECT_EQ(backend->RefCount, count + 2);  // the Logon's and the logon object's

  two.logon.reset();
  EXPECT_EQ(second->Shutdown(nullptr), S_OK);
  EXPECT_EQ(backend->RefCount, count);
  EXPECT_EQ(Shared(), backend);

  // Reused again, without loading.
  LogonResult three = Logon(second.get(), support2);
  ASSERT_EQ(three.hr, S_OK);
  EXPECT_EQ(backend->Users.get(), users);
  EXPECT_EQ(support2.Provider().getPropsCalls, 0);
  three.logon.reset();
  second->Shutdown(nullptr);
  one.logon.reset();
  first->Shutdown(nullptr);
  // Its users keep the backend and its snapshot for the rest of the process.
  EXPECT_EQ(Shared(), backend);
}

TEST_F(ProviderLogon, ShutdownWithoutLogonChangesNothing) {
  SupportDouble& support = support1;
  Configure(support);
  LogonResult one = Logon(first.get(), support);
  ASSERT_EQ(one.hr, S_OK);
  const LONG count = Shared()->RefCount;
  EXPECT_EQ(second->Shutdown(nullptr), S_OK);
  EXPECT_EQ(Shared()->RefCount, count);
  one.logon.reset();
  first->Shutdown(nullptr);
}

TEST_F(ProviderLogon, FailedSettingsFailTheLogonAndTheNextLogonTakesTheBackendAsItIs) {
  SupportDouble& support = support1;
  Configure(support);
  support.Provider().failGetProps = MAPI_E_CORRUPT_DATA;
  LogonResult failed = Logon(first.get(), support);
  EXPECT_EQ(failed.hr, MAPI_E_CORRUPT_DATA);
  EXPECT_FALSE(failed.logon);
  ABLDAPBackeEnd* backend = Shared();
  ASSERT_NE(backend, nullptr);
  EXPECT_FALSE(backend->Users);  // LoadDirectory never ran
  EXPECT_EQ(support.setProviderUIDCalls, 0);

  support.Provider().failGetProps = S_OK;
  LogonResult next = Logon(second.get(), support);
  ASSERT_EQ(next.hr, S_OK);
  EXPECT_EQ(Shared(), backend);
  EXPECT_FALSE(backend->Users);
  EXPECT_EQ(support.Provider().getPropsCalls, 1);
  EXPECT_EQ(support.Service().getPropsCalls, 0);
  next.logon.reset();
  second->Shutdown(nullptr);
}

// The logon object made for a Logon whose SetProviderUID fails is released, not leaked, and the
// support object's result reaches the caller.
TEST_F(ProviderLogon, FailedSetProviderUIDReleasesTheLogonObject) {
  SupportDouble& support = support1;
  Configure(support);
  LogonResult one = Logon(first.get(), support);
  ASSERT_EQ(one.hr, S_OK);
  ABLDAPBackeEnd* backend = Shared();
  const LONG count = backend->RefCount;
  const ULONG supportReferences = support.References();

  support.failSetProviderUID = MAPI_E_NO_ACCESS;
  LogonResult failed = Logon(second.get(), support);
  EXPECT_EQ(failed.hr, MAPI_E_NO_ACCESS);
  EXPECT_FALSE(failed.logon);
  EXPECT_EQ(support.References(), supportReferences);
  EXPECT_EQ(backend->RefCount, count + 1);  // the Logon's own, given back by Shutdown
  second->Shutdown(nullptr);
  EXPECT_EQ(backend->RefCount, count);
  one.logon.reset();
  first->Shutdown(nullptr);
}

// A backend without users dies with its last reference, whichever Release that is; the shared
// slot is emptied then, and the next Logon builds a new backend.
TEST_F(ProviderLogon, TheSharedBackendNeverOutlivesItsLastReference) {
  SupportDouble& support = support1;
  Configure(support, "(uid=nobody-at-all)");
  LogonResult one = Logon(first.get(), support);
  ASSERT_EQ(one.hr, S_OK);
  ASSERT_NE(Shared(), nullptr);
  EXPECT_TRUE(Shared()->Users && Shared()->Users->empty());
  // MAPI may shut the provider down before it lets go of the logon object.
  EXPECT_EQ(first->Shutdown(nullptr), S_OK);
  EXPECT_NE(Shared(), nullptr);
  one.logon.reset();
  EXPECT_EQ(Shared(), nullptr);

  LogonResult again = Logon(second.get(), support);
  ASSERT_EQ(again.hr, S_OK);
  EXPECT_NE(Shared(), nullptr);
  EXPECT_EQ(support.Provider().getPropsCalls, 2);
  again.logon.reset();
  second->Shutdown(nullptr);
  EXPECT_EQ(Shared(), nullptr);
}

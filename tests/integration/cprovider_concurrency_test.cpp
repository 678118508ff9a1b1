// Many logons at once in one process: threads that each log on, open the root and directory
// containers, resolve a name, open the user and release everything, over and over. The shared
// backend ends with the reference count it started with, and no MAPI buffer is left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/ldapproviderdata.h"
#include "mapicode.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "people.h"
#include "provider/cprovider.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "support_double.h"
#include "tempdir.h"

namespace {
constexpr int kThreads = 8;
constexpr int kRounds = 1000;
constexpr int kPeople = 20;

void Store(SectionDouble& section, ULONG tag, const std::string& text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(text.c_str());
  ASSERT_EQ(section.SetProps(1, &v, nullptr), S_OK);
}

// One client's round; false with `why` at the first step that does not answer as it should.
bool Round(SupportDouble& support, std::string& why) {
  ComPtr<CABProvider> provider(new CABProvider(nullptr));
  ULONG securitySize = 0;
  LPBYTE security = nullptr;
  LPMAPIERROR error = nullptr;
  ComPtr<IABLogon> logon;
  if (provider->Logon(&support, 0, nullptr, 0, &securitySize, &security, &error, logon.put()) != S_OK) {
    why = "Logon";
    return false;
  }
  bool ok = false;
  [&] {
    ULONG type = 0;
    ComPtr<IUnknown> rootUnknown;
    if (FAILED(logon->OpenEntry(0, nullptr, &IID_IABContainer, 0, &type, rootUnknown.put()))) {
      why = "OpenEntry of the root";
      return;
    }
    auto* root = static_cast<IABContainer*>(rootUnknown.get());
    ComPtr<IMAPITable> hierarchy;
    LPSRowSet rows = nullptr;
    if (FAILED(root->GetHierarchyTable(0, hierarchy.put())) || FAILED(hierarchy->QueryRows(10, 0, &rows)) ||
        rows->cRows != 1) {
      FreeProws(rows);
      why = "the root's hierarchy table";
      return;
    }
    const SPropValue* dirID = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_ENTRYID);
    ComPtr<IUnknown> dirUnknown;
    const HRESULT opened =
        dirID ? logon->OpenEntry(dirID->Value.bin.cb, reinterpret_cast<LPENTRYID>(dirID->Value.bin.lpb),
                                 &IID_IABContainer, 0, &type, dirUnknown.put())
              : MAPI_E_NOT_FOUND;
    FreeProws(rows);
    if (FAILED(opened)) {
      why = "OpenEntry of the directory";
      return;
    }
    auto* directory = static_cast<IABContainer*>(dirUnknown.get());

    // One typed name, resolved as check names does.
    LPADRLIST list = nullptr;
    MAPIAllocateBuffer(CbNewADRLIST(1), reinterpret_cast<LPVOID*>(&list));
    list->cEntries = 1;
    list->aEntries[0] = ADRENTRY{};
    MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<LPVOID*>(&list->aEntries[0].rgPropVals));
    list->aEntries[0].cValues = 1;
    list->aEntries[0].rgPropVals[0] = SPropValue{};
    list->aEntries[0].rgPropVals[0].ulPropTag = PR_DISPLAY_NAME;
    list->aEntries[0].rgPropVals[0].Value.lpszA = const_cast<LPSTR>("qxy");
    FlagList flags{1, {MAPI_UNRESOLVED}};
    const HRESULT resolved = directory->ResolveNames(nullptr, 0, list, reinterpret_cast<LPFlagList>(&flags));
    const SPropValue* userID = PpropFindProp(list->aEntries[0].rgPropVals, list->aEntries[0].cValues, PR_ENTRYID);
    if (FAILED(resolved) || flags.ulFlag[0] != MAPI_RESOLVED || !userID) {
      FreePadrlist(list);
      why = "ResolveNames";
      return;
    }
    ComPtr<IUnknown> user;
    const HRESULT userOpened = logon->OpenEntry(
        userID->Value.bin.cb, reinterpret_cast<LPENTRYID>(userID->Value.bin.lpb), &IID_IMailUser, 0, &type, user.put());
    FreePadrlist(list);
    if (FAILED(userOpened) || type != MAPI_MAILUSER) {
      why = "OpenEntry of the user";
      return;
    }
    ok = true;
  }();
  logon.reset();
  provider->Shutdown(nullptr);
  return ok;
}
}  // namespace

TEST(ProviderConcurrency, ThreadsLogOnUseAndReleaseEverythingAgainAndAgain) {
  SlapdServer server({.ldif = PeopleLdif(kPeople)});
  TempDir dir;
  ScriptedMessageBoxes boxes;
  SupportDouble support;
  Store(support.Service(), PR_LDAP_SERVER_NAME, server.HostPort());
  Store(support.Service(), PR_LDAP_SEARCH_DN, kPeopleBase);
  Store(support.Service(), PR_LDAP_SEARCH_STRING, kPeopleFilter);
  Store(support.Service(), PR_LDAP_SCHEMA_MAPPING, kPeopleMapping);
  Store(support.Service(), PR_LDAP_CACHE_FILE_NAME, (dir / "people.pxb").string());

  // The first logon takes the snapshot; its reference count is where every round must end.
  std::string why;
  ASSERT_TRUE(Round(support, why)) << why;
  EnterCriticalSection(&LogonLock);
  ABLDAPBackeEnd* backend = SharedBackend;
  LeaveCriticalSection(&LogonLock);
  ASSERT_NE(backend, nullptr);
  ASSERT_EQ(backend->Users->size(), static_cast<std::size_t>(kPeople));
  const LONG before = backend->RefCount;
  const std::size_t buffers = MAPIOutstandingBuffers();

  std::atomic<int> failures{0};
  std::vector<std::string> reasons(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        if (!Round(support, reasons[t])) {
          ++failures;
          return;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::string& reason : reasons) EXPECT_TRUE(reason.empty()) << reason;
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(SharedBackend, backend);
  EXPECT_EQ(backend->RefCount, before);
  EXPECT_EQ(MAPIOutstandingBuffers(), buffers);
  EXPECT_EQ(support.Provider().getPropsCalls, 1);  // the snapshot was taken once

  // Leave nothing behind for the leak checker: break the cycle and give the backend back.
  backend->AddRef();
  backend->ReleaseObjects();
  while (backend->Release() != 0) {
  }
}

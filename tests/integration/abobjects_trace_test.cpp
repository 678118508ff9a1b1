// The trace lines of the address book's objects, as a listener on the trace port sees them:
// one realistic session from opening the root container to resolving a name, and the text of
// every traced method of the container and the mail user.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "backend/ldapbe.h"
#include "backend/rabguid.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "provider/cabcontainer.h"
#include "recipients/ldapmapiuser.h"
#include "slapd.h"
#include "tempdir.h"
#include "trace/trace.h"
#include "udplistener.h"

namespace {
constexpr const char* kJohnDN = "uid=jsmith,ou=people,dc=example,dc=com";

std::string Ldif() {
  std::string ldif = "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n";
  for (const char* person : {"jsmith John Smith", "asmithers Anna Smithers", "pjones Paul Jones"}) {
    const std::string p(person);
    const std::string uid = p.substr(0, p.find(' '));
    const std::string cn = p.substr(p.find(' ') + 1);
    ldif += "dn: uid=" + uid + ",ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: " + uid + "\ncn: " + cn +
            "\ngivenName: " + cn.substr(0, cn.find(' ')) + "\nsn: " + cn.substr(cn.find(' ') + 1) + "\nmail: " + uid +
            "@example.com\n\n";
  }
  return ldif;
}

class ObjectTrace : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = Ldif()}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    backend = new ABLDAPBackeEnd(nullptr, nullptr);
    backend->Profile = std::make_unique<CLDAPProfileData>();
    backend->Profile->ServerName = server->HostPort();
    backend->Profile->SearchDN = "ou=people,dc=example,dc=com";
    backend->Profile->SearchString = "(objectClass=inetOrgPerson)";
    backend->Profile->SchemaMapping = "First Name=givenName\nLast Name=sn\nE-mail Address=mail";
    backend->Profile->ShowNamesBy = 0;
    backend->Profile->CacheFileName = (dir / "people.pxb").string();
    ASSERT_TRUE(backend->LoadDirectory());
    ASSERT_EQ(backend->InitTables(), S_OK);
  }
  void TearDown() override {
    backend->ReleaseObjects();
    backend->Release();
  }

  // Every line that arrives until the channel has been quiet for a moment.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    while (auto line = listener.Receive(std::chrono::milliseconds(100))) lines.push_back(*line);
    return lines;
  }
  LPUNKNOWN Open(ULONG cb, const BYTE* id) {
    ULONG type = 0;
    LPUNKNOWN object = nullptr;
    EXPECT_EQ(backend->OpenEntry(cb, reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(id)), nullptr, 0, &type, &object),
              S_OK);
    return object;
  }

  static SlapdServer* server;
  TempDir dir;
  ABLDAPBackeEnd* backend = nullptr;
  UdpListener listener{kTracePort};
};
SlapdServer* ObjectTrace::server = nullptr;

std::string Line(const void* object, const std::string& text) { return TraceAddress(object) + " : " + text; }
}  // namespace

TEST_F(ObjectTrace, ARealisticSessionSendsItsLinesInOrder) {
  // Open the root container and list its hierarchy.
  auto* root = static_cast<IABContainer*>(Open(0, nullptr));
  ASSERT_NE(root, nullptr);
  // The objects' own addresses, which the lines show, taken while they live.
  const CABContainer* rootObject = static_cast<CABContainer*>(root);
  LPMAPITABLE hierarchy = nullptr;
  ASSERT_EQ(root->GetHierarchyTable(0, &hierarchy), S_OK);
  // Open the directory container from the hierarchy's row, list and search its contents.
  auto* directory = static_cast<IABContainer*>(Open(backend->DirEntryID->cb, backend->DirEntryID->lpb));
  ASSERT_NE(directory, nullptr);
  const CABContainer* dirObject = static_cast<CABContainer*>(directory);
  LPMAPITABLE contents = nullptr;
  ASSERT_EQ(directory->GetContentsTable(0, &contents), S_OK);
  SPropValue anr{};
  anr.ulPropTag = PR_ANR;
  anr.Value.lpszA = const_cast<LPSTR>("smi");
  SRestriction restriction{};
  restriction.rt = RES_PROPERTY;
  restriction.res.resProperty = {RELOP_EQ, PR_ANR, &anr};
  ASSERT_EQ(contents->Restrict(&restriction, 0), S_OK);
  ULONG rows = 0;
  ASSERT_EQ(contents->GetRowCount(0, &rows), S_OK);
  EXPECT_EQ(rows, 2u);
  // Open a user, read it and its details page.
  const std::unique_ptr<CBinary> johnID = backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, kJohnDN);
  auto* user = static_cast<IMailUser*>(Open(johnID->cb, johnID->lpb));
  ASSERT_NE(user, nullptr);
  CLDAPUser* record = static_cast<CLDAPMailUser*>(user)->User.get();
  ULONG count = 0;
  LPSPropValue values = nullptr;
  ASSERT_EQ(user->GetProps(nullptr, 0, &count, &values), MAPI_W_ERRORS_RETURNED);
  MAPIFreeBuffer(values);
  LPUNKNOWN details = nullptr;
  ASSERT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPITable, 0, 0, &details), S_OK);
  // Resolve a typed name.
  ADRLIST* list = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(CbNewADRLIST(1), reinterpret_cast<LPVOID*>(&list)), S_OK);
  list->cEntries = 1;
  list->aEntries[0] = ADRENTRY{0, 1, nullptr};
  ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<LPVOID*>(&list->aEntries[0].rgPropVals)), S_OK);
  list->aEntries[0].rgPropVals[0].ulPropTag = PR_DISPLAY_NAME;
  list->aEntries[0].rgPropVals[0].Value.lpszA = const_cast<LPSTR>("john s");
  SizedSPropTagArray(1, flagStorage) = {1, {MAPI_UNRESOLVED}};
  auto* flags = reinterpret_cast<LPFlagList>(&flagStorage);
  ASSERT_EQ(directory->ResolveNames(nullptr, 0, list, flags), S_OK);
  EXPECT_EQ(flags->ulFlag[0], MAPI_RESOLVED);
  FreePadrlist(list);
  // Let go of everything.
  details->Release();
  user->Release();
  contents->Release();
  hierarchy->Release();
  directory->Release();
  root->Release();
  backend->ReleaseObjects();

  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         Line(rootObject, "CABContainer::CABContainer"),
                         Line(rootObject, "CABLogon::AddRef - ref 2"),
                         Line(rootObject, "CABContainer::GetHierarchyTable"),
                         Line(dirObject, "CABContainer::CABContainer"),
                         Line(dirObject, "CABLogon::AddRef - ref 2"),
                         Line(dirObject, "CABContainer::GetContentsTable"),
                         // The table view and opening a mail user send nothing.
                         Line(user, "CLDAPMailUser::GetProps"),
                         Line(record, "CLDAPUser::GetProps"),
                         Line(user, "CLDAPMailUser::OpenProperty"),
                         Line(dirObject, "CABContainer::ResolveNames"),
                         Line(record, "CLDAPUser::GetProps"),
                         Line(user, "CLDAPMailUser::Release - ref 0"),
                         Line(dirObject, "CABLogon::Release - ref 1"),
                         Line(rootObject, "CABLogon::Release - ref 1"),
                         Line(rootObject, "CABLogon::Release - ref 0"),
                         Line(rootObject, "CABContainer::~CABContainer"),
                         Line(dirObject, "CABLogon::Release - ref 0"),
                         Line(dirObject, "CABContainer::~CABContainer"),
                     }));
}

TEST_F(ObjectTrace, EveryTracedMethodSendsItsTextFirst) {
  auto* directory = static_cast<IABContainer*>(Open(backend->DirEntryID->cb, backend->DirEntryID->lpb));
  const std::unique_ptr<CBinary> johnID = backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, kJohnDN);
  auto* user = static_cast<IMailUser*>(Open(johnID->cb, johnID->lpb));
  ASSERT_TRUE(directory && user);
  Lines();

  LPVOID out = nullptr;
  LPSPropTagArray tags = nullptr;
  LPUNKNOWN opened = nullptr;
  ULONG type = 0;
  // Calls that fail or are refused send their line as well.
  const std::vector<std::pair<std::function<void()>, std::string>> containerCalls = {
      {[&] { directory->QueryInterface(IID_IMailUser, &out); }, "CABContainer::QueryInterface"},
      {[&] { directory->GetLastError(S_OK, 0, nullptr); }, "ABContainer::GetLastError"},
      {[&] { directory->SaveChanges(0); }, "CABContainer::SaveChanges"},
      {[&] { directory->GetProps(nullptr, MAPI_UNICODE, &type, nullptr); }, "CABContainer::GetProps"},
      {[&] { directory->GetPropList(MAPI_UNICODE, &tags); }, "CABContainer::GetPropList"},
      {[&] { directory->OpenProperty(PR_DISPLAY_NAME, &IID_IMAPITable, 0, 0, &opened); }, "CABContainer::OpenProperty"},
      {[&] { directory->SetProps(0, nullptr, nullptr); }, "CABContainer::SetProps"},
      {[&] { directory->DeleteProps(nullptr, nullptr); }, "CABContainer::DeleteProps"},
      {[&] { directory->CopyTo(0, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr); },
       "CABContainer::CopyTo"},
      {[&] { directory->CopyProps(nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr); }, "CABContainer::CopyProps"},
      {[&] { directory->GetNamesFromIDs(nullptr, nullptr, 0, nullptr, nullptr); }, "CABContainer::GetNamesFromIDs"},
      {[&] { directory->GetIDsFromNames(0, nullptr, 0, nullptr); }, "CABContainer::GetIDsFromNames"},
      {[&] { directory->GetContentsTable(MAPI_ASSOCIATED, nullptr); }, "CABContainer::GetContentsTable"},
      {[&] { directory->GetHierarchyTable(MAPI_ASSOCIATED, nullptr); }, "CABContainer::GetHierarchyTable"},
      {[&] { directory->OpenEntry(0, nullptr, &IID_IMAPITable, 0, &type, &opened); }, "CABContainer::OpenEntry"},
      {[&] { directory->SetSearchCriteria(nullptr, nullptr, 0); }, "CABContainer::SetSearchCriteria"},
      {[&] { directory->GetSearchCriteria(0, nullptr, nullptr, nullptr); }, "CABContainer::GetSearchCriteria"},
      {[&] { directory->CreateEntry(0, nullptr, 0, nullptr); }, "CABContainer::CreateEntry"},
      {[&] { directory->CopyEntries(nullptr, 0, nullptr, 0); }, "CABContainer::CopyEntries"},
      {[&] { directory->DeleteEntries(nullptr, 0); }, "CABContainer::DeleteEntries"},
      {[&] { directory->ResolveNames(nullptr, MAPI_UNICODE, nullptr, nullptr); }, "CABContainer::ResolveNames"},
  };
  for (const auto& [call, text] : containerCalls) {
    call();
    EXPECT_EQ(Lines(), std::vector<std::string>{Line(directory, text)});
  }

  const std::vector<std::pair<std::function<void()>, std::string>> userCalls = {
      {[&] { user->QueryInterface(IID_IMAPIContainer, &out); }, "CLDAPMailUser::QueryInterface"},
      {[&] { user->GetLastError(S_OK, 0, nullptr); }, "ABContainer::GetLastError"},
      {[&] { user->SaveChanges(0); }, "CABContainer::SaveChanges"},
      {[&] { user->OpenProperty(PR_ENTRYID, &IID_IMAPITable, 0, 0, &opened); }, "CLDAPMailUser::OpenProperty"},
      {[&] { user->SetProps(0, nullptr, nullptr); }, "CLDAPMailUser::SetProps"},
      {[&] { user->DeleteProps(nullptr, nullptr); }, "CLDAPMailUser::DeleteProps"},
      {[&] { user->CopyTo(0, nullptr, nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr); }, "CLDAPMailUser::CopyTo"},
      {[&] { user->CopyProps(nullptr, 0, nullptr, nullptr, nullptr, 0, nullptr); }, "CLDAPMailUser::CopyProps"},
      {[&] { user->GetNamesFromIDs(nullptr, nullptr, 0, nullptr, nullptr); }, "CLDAPMailUser::GetNamesFromIDs"},
      {[&] { user->GetIDsFromNames(0, nullptr, 0, nullptr); }, "CLDAPMailUser::GetIDsFromNames"},
      {[&] { user->AddRef(); }, "CLDAPMailUser::AddRef - ref 2"},
      {[&] { user->Release(); }, "CLDAPMailUser::Release - ref 1"},
  };
  for (const auto& [call, text] : userCalls) {
    call();
    EXPECT_EQ(Lines(), std::vector<std::string>{Line(user, text)});
  }
  // The property list goes to the record, which sends its own line.
  ASSERT_EQ(user->GetPropList(0, &tags), S_OK);
  MAPIFreeBuffer(tags);
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{Line(user, "CLDAPMailUser::GetPropList"),
                                      Line(static_cast<CLDAPMailUser*>(user)->User.get(), "CLDAPUser::GetPropList")}));
  user->Release();
  directory->Release();
  Lines();
}

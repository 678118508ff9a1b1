// Message services, logon, routing between providers, logoff, the status table and the
// address book, with two small test provider modules that have nothing of ours in them.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mapicode.h"
#include "mapidefs.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapispi.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "tempdir.h"

namespace {

// What a test module recorded, read through its exports.
struct Module {
  explicit Module(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {}
  ~Module() {
    if (handle) dlclose(handle);
  }
  std::string Events() const { return reinterpret_cast<const char* (*)()>(dlsym(handle, "TestAbEvents"))(); }
  void Clear() const { reinterpret_cast<void (*)()>(dlsym(handle, "TestAbClearEvents"))(); }
  IMAPISupport* Support() const { return reinterpret_cast<IMAPISupport* (*)()>(dlsym(handle, "TestAbSupport"))(); }
  int Live() const { return reinterpret_cast<int (*)()>(dlsym(handle, "TestAbLiveObjects"))(); }
  void* handle;
};

std::vector<std::vector<SPropValue>> Rows(IMAPITable* table, LPSRowSet* keep) {
  EXPECT_EQ(table->QueryRows(100, 0, keep), S_OK);
  std::vector<std::vector<SPropValue>> rows;
  for (ULONG r = 0; r < (*keep)->cRows; ++r)
    rows.emplace_back((*keep)->aRow[r].lpProps, (*keep)->aRow[r].lpProps + (*keep)->aRow[r].cValues);
  return rows;
}

const SPropValue* Find(const std::vector<SPropValue>& row, ULONG tag) {
  for (const SPropValue& v : row)
    if (v.ulPropTag == tag) return &v;
  return nullptr;
}

SPropValue Text(ULONG tag, const char* text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(text);
  return v;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("PXAB_PROFILE_DIR", (dir_ / "profiles").c_str(), 1);
    setenv("PXAB_SERVICES", PX_TEST_SERVICES, 1);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    buffers_ = MAPIOutstandingBuffers();
    a_.Clear();
    b_.Clear();
    ASSERT_EQ(MAPIAdminProfiles(0, admin_.put()), S_OK);
  }
  void TearDown() override {
    services_.reset();
    admin_.reset();
    // Every object handed out was released exactly once.
    EXPECT_EQ(MAPIOutstandingObjects(), 0u);
    EXPECT_EQ(a_.Live(), 0);
    EXPECT_EQ(b_.Live(), 0);
    EXPECT_EQ(MAPIOutstandingBuffers(), buffers_);
    MAPIUninitialize();
  }

  // A profile with the given services, in order; their UIDs in services_uids_.
  void MakeProfile(const char* name, std::vector<const char*> services) {
    ASSERT_EQ(admin_->CreateProfile(const_cast<LPSTR>(name), nullptr, 0, 0), S_OK);
    ASSERT_EQ(admin_->AdminServices(const_cast<LPSTR>(name), nullptr, 0, 0, services_.put()), S_OK);
    for (const char* service : services)
      ASSERT_EQ(services_->CreateMsgService(const_cast<LPSTR>(service), nullptr, 0, 0), S_OK) << PxMAPILastError();
    ComPtr<IMAPITable> table;
    ASSERT_EQ(services_->GetMsgServiceTable(0, table.put()), S_OK);
    LPSRowSet rows = nullptr;
    for (const auto& row : Rows(table.get(), &rows)) {
      MAPIUID uid;
      std::memcpy(uid.ab, Find(row, PR_SERVICE_UID)->Value.bin.lpb, 16);
      uids_.push_back(uid);
    }
    FreeProws(rows);
  }
  void SetServiceComment(std::size_t service, const char* comment) {
    ComPtr<IProfSect> section;
    ASSERT_EQ(services_->OpenProfileSection(&uids_[service], nullptr, MAPI_MODIFY, section.put()), S_OK);
    SPropValue v = Text(PR_COMMENT, comment);
    ASSERT_EQ(section->SetProps(1, &v, nullptr), S_OK);
  }
  ComPtr<IMAPISession> Logon(const char* name, HRESULT expected = S_OK) {
    ComPtr<IMAPISession> session;
    EXPECT_EQ(MAPILogonEx(0, const_cast<LPSTR>(name), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, session.put()),
              expected)
        << PxMAPILastError();
    return session;
  }

  TempDir dir_;
  Module a_{PX_TEST_MODULE_A};
  Module b_{PX_TEST_MODULE_B};
  std::size_t buffers_ = 0;
  ComPtr<IProfAdmin> admin_;
  ComPtr<IMsgServiceAdmin> services_;
  std::vector<MAPIUID> uids_;
};

TEST_F(SessionTest, CreateAndConfigureCallTheServiceEntryWithItsContext) {
  MakeProfile("p", {});
  ASSERT_EQ(services_->CreateMsgService(const_cast<LPSTR>("TESTA"), nullptr, 42, SERVICE_UI_ALLOWED), S_OK);
  EXPECT_EQ(a_.Events(), "A:ABServiceEntry context=2 flags=16 ui=42 values=0 routines;");
  ComPtr<IMAPITable> table;
  ASSERT_EQ(services_->GetMsgServiceTable(0, table.put()), S_OK);
  LPSRowSet rows = nullptr;
  auto services = Rows(table.get(), &rows);
  ASSERT_EQ(services.size(), 1u);
  EXPECT_STREQ(Find(services[0], PR_SERVICE_NAME)->Value.lpszA, "TESTA");
  EXPECT_STREQ(Find(services[0], PR_DISPLAY_NAME)->Value.lpszA, "Test book A");
  MAPIUID uid;
  std::memcpy(uid.ab, Find(services[0], PR_SERVICE_UID)->Value.bin.lpb, 16);
  FreeProws(rows);

  a_.Clear();
  SPropValue props[] = {Text(PROP_TAG(PT_STRING8, 0x6600), "ldap.test"), Text(PROP_TAG(PT_STRING8, 0x67F0), "pw")};
  ASSERT_EQ(services_->ConfigureMsgService(&uid, 7, SERVICE_UI_ALWAYS, 2, props), S_OK);
  EXPECT_EQ(a_.Events(), "A:ABServiceEntry context=3 flags=2 ui=7 values=2 routines;");
  ComPtr<IProfSect> section;
  ASSERT_EQ(services_->OpenProfileSection(&uid, nullptr, 0, section.put()), S_OK);
  SizedSPropTagArray(3, tags) = {3, {PROP_TAG(PT_STRING8, 0x6600), PROP_TAG(PT_STRING8, 0x67F0), PR_ACCOUNT}};
  ULONG count = 0;
  MapiBuffer<SPropValue> got;
  ASSERT_EQ(section->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, got.put_typed()), S_OK);
  EXPECT_STREQ(got.get()[0].Value.lpszA, "ldap.test");
  EXPECT_STREQ(got.get()[1].Value.lpszA, "pw");
  EXPECT_STREQ(got.get()[2].Value.lpszA, "configured");

  // Its provider's section points at the service's.
  ComPtr<IProviderAdmin> providers;
  ASSERT_EQ(services_->AdminProviders(&uid, 0, providers.put()), S_OK);
  ComPtr<IMAPITable> providerTable;
  ASSERT_EQ(providers->GetProviderTable(0, providerTable.put()), S_OK);
  auto providerRows = Rows(providerTable.get(), &rows);
  ASSERT_EQ(providerRows.size(), 1u);
  ComPtr<IProfSect> providerSection;
  ASSERT_EQ(
      providers->OpenProfileSection(reinterpret_cast<LPMAPIUID>(Find(providerRows[0], PR_PROVIDER_UID)->Value.bin.lpb),
                                    nullptr, 0, providerSection.put()),
      S_OK);
  FreeProws(rows);
  SizedSPropTagArray(1, serviceTag) = {1, {PR_SERVICE_UID}};
  ASSERT_EQ(providerSection->GetProps(reinterpret_cast<LPSPropTagArray>(&serviceTag), 0, &count, got.put_typed()),
            S_OK);
  EXPECT_EQ(std::memcmp(got->Value.bin.lpb, uid.ab, 16), 0);

  a_.Clear();
  ASSERT_EQ(services_->DeleteMsgService(&uid), S_OK);
  EXPECT_EQ(a_.Events(), "A:ABServiceEntry context=4 flags=0 ui=0 values=0 routines;");
  EXPECT_EQ(services_->ConfigureMsgService(&uid, 0, 0, 0, nullptr), MAPI_E_NOT_FOUND);
}

TEST_F(SessionTest, ServiceWhoseEntryRefusesCreationIsNotKept) {
  MakeProfile("p", {});
  EXPECT_EQ(services_->CreateMsgService(const_cast<LPSTR>("TESTA"), nullptr, 0xDEAD, 0), MAPI_E_USER_CANCEL);
  ComPtr<IMAPITable> table;
  ASSERT_EQ(services_->GetMsgServiceTable(0, table.put()), S_OK);
  ULONG count = 1;
  ASSERT_EQ(table->GetRowCount(0, &count), S_OK);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(services_->CreateMsgService(const_cast<LPSTR>("NOENTRY"), nullptr, 0, 0), MAPI_E_NOT_FOUND);
  EXPECT_NE(std::string(PxMAPILastError()).find("NoSuchServiceEntry"), std::string::npos);
  EXPECT_EQ(services_->CreateMsgService(const_cast<LPSTR>("MISSING"), nullptr, 0, 0), MAPI_E_NOT_FOUND);
  EXPECT_NE(std::string(PxMAPILastError()).find("libmissing.so"), std::string::npos);
}

TEST_F(SessionTest, LogonLoadsEachProviderAndLogoffReleasesInMapiOrder) {
  MakeProfile("two", {"TESTA", "TESTB"});
  SetServiceComment(0, "settings of A");
  a_.Clear();
  b_.Clear();
  ComPtr<IMAPISession> session = Logon("two");
  ASSERT_TRUE(session);
  EXPECT_EQ(a_.Events(), "A:ABProviderInit routines current;A:Logon two flags=1;A:settings settings of A;");
  EXPECT_EQ(b_.Events(), "B:ABProviderInit routines current;B:Logon two flags=1;B:settings ;");
  a_.Clear();
  b_.Clear();
  EXPECT_EQ(session->Logoff(0, 0, 0), S_OK);
  EXPECT_EQ(a_.Events(), "A:Logoff;A:logon released;A:Shutdown;A:provider released;");
  EXPECT_EQ(b_.Events(), "B:Logoff;B:logon released;B:Shutdown;B:provider released;");
  EXPECT_EQ(a_.Live(), 0);
  ComPtr<IAddrBook> book;
  EXPECT_EQ(session->OpenAddressBook(0, nullptr, 0, book.put()), MAPI_E_END_OF_SESSION);
}

TEST_F(SessionTest, FailedLogonReportsItsResultAndLeavesNothingLoaded) {
  MakeProfile("failing", {"TESTA", "TESTB"});
  SetServiceComment(1, "fail logon");
  Logon("failing", MAPI_E_LOGON_FAILED);
  EXPECT_NE(std::string(PxMAPILastError()).find("TESTB"), std::string::npos);
  EXPECT_EQ(a_.Live(), 0);
  EXPECT_EQ(b_.Live(), 0);
  EXPECT_NE(a_.Events().find("A:Logoff;A:logon released;A:Shutdown;A:provider released;"), std::string::npos);

  MakeProfile("noinit", {"NOINIT"});
  Logon("noinit", MAPI_E_NOT_FOUND);
  EXPECT_NE(std::string(PxMAPILastError()).find("ABProviderInit"), std::string::npos);
  Logon("nobody", MAPI_E_LOGON_FAILED);
  EXPECT_NE(std::string(PxMAPILastError()).find("nobody"), std::string::npos);
  MAPIUninitialize();
  Logon("two", MAPI_E_NOT_INITIALIZED);
  MAPIInitialize(nullptr);
}

TEST_F(SessionTest, StatusTableHasTheSessionRowAndEachProvidersRow) {
  MakeProfile("status", {"TESTA", "TESTB"});
  ComPtr<IMAPISession> session = Logon("status");
  ComPtr<IMAPITable> table;
  ASSERT_EQ(session->GetStatusTable(0, table.put()), S_OK);
  LPSRowSet rows = nullptr;
  auto status = Rows(table.get(), &rows);
  ASSERT_EQ(status.size(), 3u);
  std::vector<std::string> names;
  for (const auto& row : status) {
    names.push_back(Find(row, PR_DISPLAY_NAME)->Value.lpszA);
    EXPECT_EQ(Find(row, PR_OBJECT_TYPE)->Value.l, static_cast<LONG>(MAPI_STATUS));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"status", "Test book A", "Test book B"}));
  EXPECT_EQ(Find(status[0], PR_RESOURCE_TYPE)->Value.l, static_cast<LONG>(MAPI_SUBSYSTEM));
  EXPECT_EQ(Find(status[1], PR_RESOURCE_TYPE)->Value.l, static_cast<LONG>(MAPI_AB_PROVIDER));
  FreeProws(rows);

  // A provider's later write replaces its row, or with STATUSROW_UPDATE changes what it names.
  IMAPISupport* support = a_.Support();
  SPropValue busy = Text(PR_STATUS_STRING, "Busy");
  ASSERT_EQ(support->ModifyStatusRow(1, &busy, STATUSROW_UPDATE), S_OK);
  ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
  status = Rows(table.get(), &rows);
  ASSERT_EQ(status.size(), 3u);
  EXPECT_STREQ(Find(status[1], PR_STATUS_STRING)->Value.lpszA, "Busy");
  EXPECT_STREQ(Find(status[1], PR_DISPLAY_NAME)->Value.lpszA, "Test book A");
  FreeProws(rows);
  ASSERT_EQ(support->ModifyStatusRow(1, &busy, 0), S_OK);
  ASSERT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
  status = Rows(table.get(), &rows);
  ASSERT_EQ(status.size(), 3u);
  EXPECT_EQ(Find(status[1], PR_DISPLAY_NAME), nullptr);
  FreeProws(rows);
  session->Logoff(0, 0, 0);
}

TEST_F(SessionTest, AddressBookJoinsTheHierarchiesAndRoutesByMapiUid) {
  MakeProfile("book", {"TESTA", "TESTB"});
  ComPtr<IMAPISession> session = Logon("book");
  ComPtr<IAddrBook> book;
  ASSERT_EQ(session->OpenAddressBook(0, nullptr, 0, book.put()), S_OK);
  ULONG type = 0;
  ComPtr<IUnknown> unknown;
  ASSERT_EQ(book->OpenEntry(0, nullptr, nullptr, 0, &type, unknown.put()), S_OK);
  EXPECT_EQ(type, MAPI_ABCONT);
  auto* root = static_cast<IABContainer*>(static_cast<IUnknown*>(unknown.get()));
  ComPtr<IMAPITable> hierarchy;
  ASSERT_EQ(root->GetHierarchyTable(0, hierarchy.put()), S_OK);
  LPSRowSet rows = nullptr;
  auto containers = Rows(hierarchy.get(), &rows);
  ASSERT_EQ(containers.size(), 2u);
  EXPECT_STREQ(Find(containers[0], PR_DISPLAY_NAME)->Value.lpszA, "Directory A");
  EXPECT_STREQ(Find(containers[1], PR_DISPLAY_NAME)->Value.lpszA, "Directory B");

  // Each identifier opens in its own provider.
  std::vector<SBinary> ids;
  for (const auto& row : containers) ids.push_back(Find(row, PR_ENTRYID)->Value.bin);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    ComPtr<IUnknown> container;
    ASSERT_EQ(
        session->OpenEntry(ids[i].cb, reinterpret_cast<LPENTRYID>(ids[i].lpb), nullptr, 0, &type, container.put()),
        S_OK);
    ULONG count = 0;
    MapiBuffer<SPropValue> name;
    SizedSPropTagArray(1, tags) = {1, {PR_DISPLAY_NAME}};
    ASSERT_EQ(static_cast<IMAPIProp*>(static_cast<IUnknown*>(container.get()))
                  ->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, name.put_typed()),
              S_OK);
    EXPECT_STREQ(name->Value.lpszA, i == 0 ? "Directory A" : "Directory B");
  }
  ULONG same = 9;
  a_.Clear();
  b_.Clear();
  ASSERT_EQ(book->CompareEntryIDs(ids[1].cb, reinterpret_cast<LPENTRYID>(ids[1].lpb), ids[1].cb,
                                  reinterpret_cast<LPENTRYID>(ids[1].lpb), 0, &same),
            S_OK);
  EXPECT_TRUE(same);
  EXPECT_EQ(a_.Events(), "");
  EXPECT_EQ(b_.Events(), "B:CompareEntryIDs;");
  ASSERT_EQ(book->CompareEntryIDs(ids[0].cb, reinterpret_cast<LPENTRYID>(ids[0].lpb), ids[1].cb,
                                  reinterpret_cast<LPENTRYID>(ids[1].lpb), 0, &same),
            S_OK);
  EXPECT_FALSE(same);
  BYTE unknownId[24] = {};
  EXPECT_EQ(book->OpenEntry(sizeof unknownId, reinterpret_cast<LPENTRYID>(unknownId), nullptr, 0, &type, unknown.put()),
            MAPI_E_UNKNOWN_ENTRYID);

  LPSRowSet path = nullptr;
  ASSERT_EQ(book->GetSearchPath(0, &path), S_OK);
  ASSERT_EQ(path->cRows, 2u);
  const SRow* second = path->aRow + 1;
  EXPECT_STREQ(PpropFindProp(second->lpProps, second->cValues, PR_DISPLAY_NAME)->Value.lpszA, "Directory B");
  // A search path set in the profile is the one used: B alone.
  SizedSRowSet(1, only) = {1, {*second}};
  ASSERT_EQ(book->SetSearchPath(0, reinterpret_cast<LPSRowSet>(&only)), S_OK);
  FreeProws(path);
  ASSERT_EQ(book->GetSearchPath(0, &path), S_OK);
  ASSERT_EQ(path->cRows, 1u);
  EXPECT_STREQ(PpropFindProp(path->aRow[0].lpProps, path->aRow[0].cValues, PR_DISPLAY_NAME)->Value.lpszA,
               "Directory B");
  FreeProws(path);
  FreeProws(rows);
  unknown.reset();
  book.reset();
  session->Logoff(0, 0, 0);
}

// Names typed by the user, resolved across the two providers' directories in order.
TEST_F(SessionTest, ResolveNameAcrossTwoProviders) {
  MakeProfile("resolve", {"TESTA", "TESTB"});
  ComPtr<IMAPISession> session = Logon("resolve");
  ComPtr<IAddrBook> book;
  ASSERT_EQ(session->OpenAddressBook(0, nullptr, 0, book.put()), S_OK);
  const auto resolve = [&](std::vector<const char*> typed, std::vector<std::string>* resolved) {
    LPADRLIST list = nullptr;
    MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(typed.size())), reinterpret_cast<LPVOID*>(&list));
    list->cEntries = static_cast<ULONG>(typed.size());
    for (std::size_t i = 0; i < typed.size(); ++i) {
      SPropValue name = Text(PR_DISPLAY_NAME, typed[i]);
      list->aEntries[i].cValues = 1;
      ScDupPropset(1, &name, MAPIAllocateBuffer, &list->aEntries[i].rgPropVals);
    }
    const HRESULT hr = book->ResolveName(0, 0, nullptr, list);
    for (std::size_t i = 0; i < typed.size(); ++i) {
      const ADRENTRY& entry = list->aEntries[i];
      const LPSPropValue address = PpropFindProp(entry.rgPropVals, entry.cValues, PR_EMAIL_ADDRESS);
      resolved->push_back(address ? address->Value.lpszA : "-");
    }
    if (hr == S_OK) {
      // Each resolved entry is prepared by the provider that owns it.
      EXPECT_EQ(book->PrepareRecips(0, nullptr, list), S_OK);
      for (std::size_t i = 0; i < typed.size(); ++i) {
        const ADRENTRY& entry = list->aEntries[i];
        const std::string by = resolved->at(i).find("@a.") != std::string::npos ? "prepared by A" : "prepared by B";
        EXPECT_STREQ(PpropFindProp(entry.rgPropVals, entry.cValues, PR_COMMENT)->Value.lpszA, by.c_str());
      }
    }
    FreePadrlist(list);
    return hr;
  };
  std::vector<std::string> resolved;
  a_.Clear();
  b_.Clear();
  EXPECT_EQ(resolve({"bob", "carl", "smith"}, &resolved), S_OK);
  EXPECT_EQ(resolved, (std::vector<std::string>{"bob@a.test", "carl@b.test", "anna@a.test"}));
  EXPECT_EQ(a_.Events(), "A:root released;A:ResolveNames;A:directory released;A:PrepareRecips 2;");
  EXPECT_EQ(b_.Events(), "B:root released;B:ResolveNames;B:directory released;B:PrepareRecips 1;");
  resolved.clear();
  EXPECT_EQ(resolve({"bob", "anna"}, &resolved), MAPI_E_AMBIGUOUS_RECIP);
  EXPECT_EQ(resolved, (std::vector<std::string>{"bob@a.test", "-"}));
  resolved.clear();
  EXPECT_EQ(resolve({"dora", "zed"}, &resolved), MAPI_E_NOT_FOUND);
  EXPECT_EQ(resolved, (std::vector<std::string>{"dora@b.test", "-"}));
  book.reset();
  session->Logoff(0, 0, 0);
}

// The support object's property copies, between two profile sections.
TEST_F(SessionTest, SupportCopiesPropertiesHonouringTheListsAndReportsProblems) {
  MakeProfile("copy", {"TESTA", "TESTB"});
  ComPtr<IMAPISession> session = Logon("copy");
  IMAPISupport* support = a_.Support();
  ASSERT_NE(support, nullptr);
  ComPtr<IProfSect> source, dest, readOnly;
  ASSERT_EQ(support->OpenProfileSection(&uids_[0], MAPI_MODIFY, source.put()), S_OK);
  ASSERT_EQ(support->OpenProfileSection(&uids_[1], MAPI_MODIFY, dest.put()), S_OK);
  MAPIUID missing{};
  EXPECT_EQ(support->OpenProfileSection(&missing, 0, readOnly.put()), MAPI_E_NOT_FOUND);
  SPropValue values[] = {Text(PROP_TAG(PT_STRING8, 0x6600), "one"), Text(PROP_TAG(PT_STRING8, 0x6601), "two"),
                         Text(PROP_TAG(PT_STRING8, 0x6602), "three")};
  ASSERT_EQ(source->SetProps(3, values, nullptr), S_OK);

  SizedSPropTagArray(2, exclude) = {2, {PROP_TAG(PT_STRING8, 0x6601), PR_SERVICE_UID}};
  LPSPropProblemArray problems = nullptr;
  ASSERT_EQ(support->DoCopyTo(&IID_IProfSect, source.get(), 0, nullptr, reinterpret_cast<LPSPropTagArray>(&exclude), 0,
                              nullptr, &IID_IProfSect, dest.get(), 0, &problems),
            S_OK);
  EXPECT_EQ(problems, nullptr);
  SizedSPropTagArray(4, tags) = {
      4, {PROP_TAG(PT_STRING8, 0x6600), PROP_TAG(PT_STRING8, 0x6601), PROP_TAG(PT_STRING8, 0x6602), PR_SERVICE_UID}};
  ULONG count = 0;
  MapiBuffer<SPropValue> got;
  EXPECT_EQ(dest->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, got.put_typed()),
            MAPI_W_ERRORS_RETURNED);
  EXPECT_STREQ(got.get()[0].Value.lpszA, "one");
  EXPECT_EQ(PROP_TYPE(got.get()[1].ulPropTag), PT_ERROR);
  EXPECT_STREQ(got.get()[2].Value.lpszA, "three");
  EXPECT_EQ(std::memcmp(got.get()[3].Value.bin.lpb, uids_[1].ab, 16), 0);  // its own, not the source's

  // DoCopyProps: only the listed ones; one the source lacks comes back as a problem.
  SizedSPropTagArray(2, include) = {2, {PROP_TAG(PT_STRING8, 0x6601), PROP_TAG(PT_STRING8, 0x6699)}};
  ASSERT_EQ(support->DoCopyProps(&IID_IProfSect, source.get(), reinterpret_cast<LPSPropTagArray>(&include), 0, nullptr,
                                 &IID_IProfSect, dest.get(), 0, &problems),
            S_OK);
  ASSERT_NE(problems, nullptr);
  ASSERT_EQ(problems->cProblem, 1u);
  EXPECT_EQ(problems->aProblem[0].ulIndex, 1u);
  EXPECT_EQ(problems->aProblem[0].ulPropTag, PROP_TAG(PT_STRING8, 0x6699));
  EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_NOT_FOUND);
  MAPIFreeBuffer(problems);
  EXPECT_EQ(dest->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, got.put_typed()), S_OK);
  EXPECT_STREQ(got.get()[1].Value.lpszA, "two");

  // A read-only destination refuses, and the refusal is the result.
  ASSERT_EQ(support->OpenProfileSection(&uids_[1], 0, readOnly.put()), S_OK);
  EXPECT_EQ(support->DoCopyProps(&IID_IProfSect, source.get(), reinterpret_cast<LPSPropTagArray>(&include), 0, nullptr,
                                 &IID_IProfSect, readOnly.get(), 0, nullptr),
            MAPI_E_NO_ACCESS);
  LPALLOCATEBUFFER allocate = nullptr;
  LPALLOCATEMORE more = nullptr;
  LPFREEBUFFER free = nullptr;
  ASSERT_EQ(support->GetMemAllocRoutines(&allocate, &more, &free), S_OK);
  EXPECT_EQ(allocate, &MAPIAllocateBuffer);
  EXPECT_EQ(support->Subscribe(nullptr, 0, 0, nullptr, nullptr), MAPI_E_NO_SUPPORT);
  source.reset();
  dest.reset();
  readOnly.reset();
  session->Logoff(0, 0, 0);
}

}  // namespace

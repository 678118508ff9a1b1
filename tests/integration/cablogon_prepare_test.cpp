// PrepareRecips against real users from slapd: the requested properties come first with the
// mail user's values, then the entry's own values that were not requested, in their order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/ldapproviderdata.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "people.h"
#include "provider/cablogon.h"
#include "provider/cprovider.h"
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

std::string Text(const SPropValue& v) { return v.Value.lpszA ? v.Value.lpszA : ""; }
}  // namespace

class PrepareRecips : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = PeopleLdif(12)}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    Store(support.Service(), PR_LDAP_SERVER_NAME, server->HostPort());
    Store(support.Service(), PR_LDAP_SEARCH_DN, kPeopleBase);
    Store(support.Service(), PR_LDAP_SEARCH_STRING, kPeopleFilter);
    Store(support.Service(), PR_LDAP_SCHEMA_MAPPING, kPeopleMapping);
    Store(support.Service(), PR_LDAP_CACHE_FILE_NAME, (dir / "people.pxb").string());
    ULONG size = 0;
    LPBYTE security = nullptr;
    LPMAPIERROR error = nullptr;
    ASSERT_EQ(provider->Logon(&support, 0, nullptr, 0, &size, &security, &error, logon.put()), S_OK);
    backend = SharedBackend;
    ASSERT_TRUE(backend && backend->Users && !backend->Users->empty());
    // The user whose surname is the only one with "qxy".
    for (const UserListEntry& entry : *backend->Users)
      if (entry.User->DisplayName.find("Qxy") != std::string::npos) user = entry.User.get();
    ASSERT_NE(user, nullptr);
    std::unique_ptr<CBinary> id = backend->MakeEntryID(ENTRY_KIND_MAILUSER, MAPI_MAILUSER, user->DistinguishedName);
    userID.assign(id->lpb, id->lpb + id->cb);
  }
  void TearDown() override {
    logon.reset();
    provider->Shutdown(nullptr);
    if (ABLDAPBackeEnd* b = SharedBackend) {
      b->AddRef();
      b->ReleaseObjects();
      while (b->Release() != 0) {
      }
    }
  }

  // An entry as a client holds it: one MAPI buffer with the given values.
  LPSPropValue Entry(std::vector<SPropValue> values) {
    LPSPropValue copy = nullptr;
    EXPECT_EQ(ScDupPropset(static_cast<int>(values.size()), values.data(), MAPIAllocateBuffer, &copy), S_OK);
    return copy;
  }
  SPropValue EntryID() {
    SPropValue v{};
    v.ulPropTag = PR_ENTRYID;
    v.Value.bin.cb = static_cast<ULONG>(userID.size());
    v.Value.bin.lpb = userID.data();
    return v;
  }

  static SlapdServer* server;
  TempDir dir;
  ScriptedMessageBoxes boxes;
  SupportDouble support;
  ComPtr<CABProvider> provider{new CABProvider(nullptr)};
  ComPtr<IABLogon> logon;
  ABLDAPBackeEnd* backend = nullptr;
  CLDAPUser* user = nullptr;
  std::vector<BYTE> userID;
};
SlapdServer* PrepareRecips::server = nullptr;

// The typed name gives way to the user's; the entry keeps its identifier and recipient type.
TEST_F(PrepareRecips, RequestedValuesComeFirstAndTheTypedNameIsGone) {
  SPropValue recipientType{};
  recipientType.ulPropTag = PR_RECIPIENT_TYPE;
  recipientType.Value.l = 1;  // MAPI_TO
  SPropValue typed{};
  typed.ulPropTag = PR_DISPLAY_NAME;
  typed.Value.lpszA = const_cast<LPSTR>("qxy");
  SizedADRLIST(1, list) = {1, {}};
  list.aEntries[0].cValues = 3;
  list.aEntries[0].rgPropVals = Entry({EntryID(), recipientType, typed});
  SizedSPropTagArray(2, tags) = {2, {PR_DISPLAY_NAME, PR_EMAIL_ADDRESS}};
  const std::size_t buffers = MAPIOutstandingBuffers();
  ASSERT_EQ(logon->PrepareRecips(0, reinterpret_cast<LPSPropTagArray>(&tags), reinterpret_cast<LPADRLIST>(&list)),
            S_OK);
  EXPECT_EQ(MAPIOutstandingBuffers(), buffers);  // the old array was freed, the new one took its place
  const ADRENTRY& entry = list.aEntries[0];
  ASSERT_EQ(entry.cValues, 4u);
  EXPECT_EQ(entry.rgPropVals[0].ulPropTag, PR_DISPLAY_NAME);
  EXPECT_EQ(Text(entry.rgPropVals[0]), user->DisplayName);
  EXPECT_EQ(entry.rgPropVals[1].ulPropTag, PR_EMAIL_ADDRESS);
  EXPECT_EQ(Text(entry.rgPropVals[1]), user->EmailAddress);
  EXPECT_EQ(entry.rgPropVals[2].ulPropTag, PR_ENTRYID);
  ASSERT_EQ(entry.rgPropVals[2].Value.bin.cb, userID.size());
  EXPECT_EQ(std::memcmp(entry.rgPropVals[2].Value.bin.lpb, userID.data(), userID.size()), 0);
  EXPECT_EQ(entry.rgPropVals[3].ulPropTag, PR_RECIPIENT_TYPE);
  EXPECT_EQ(entry.rgPropVals[3].Value.l, 1);
  MAPIFreeBuffer(entry.rgPropVals);
}

// What the mail user cannot supply stays an error even where the entry had a value; a
// multi-valued value of the entry cannot be copied and becomes an error of its ID.
TEST_F(PrepareRecips, ErrorsOfTheUserAndUncopyableValuesBecomeErrorValues) {
  const ULONG missing = PROP_TAG(PT_STRING8, 0x6699);  // no user carries it
  SPropValue own{};
  own.ulPropTag = missing;
  own.Value.lpszA = const_cast<LPSTR>("the entry's own");
  LPSTR texts[] = {const_cast<LPSTR>("a"), const_cast<LPSTR>("b")};
  SPropValue multi{};
  multi.ulPropTag = PROP_TAG(PT_MV_STRING8, 0x6698);
  multi.Value.MVszA.cValues = 2;
  multi.Value.MVszA.lppszA = texts;
  SizedADRLIST(1, list) = {1, {}};
  list.aEntries[0].cValues = 3;
  list.aEntries[0].rgPropVals = Entry({EntryID(), own, multi});
  SizedSPropTagArray(2, tags) = {2, {PR_ADDRTYPE, missing}};
  ASSERT_EQ(logon->PrepareRecips(0, reinterpret_cast<LPSPropTagArray>(&tags), reinterpret_cast<LPADRLIST>(&list)),
            S_OK);
  const ADRENTRY& entry = list.aEntries[0];
  ASSERT_EQ(entry.cValues, 4u);
  EXPECT_EQ(entry.rgPropVals[0].ulPropTag, PR_ADDRTYPE);
  EXPECT_EQ(Text(entry.rgPropVals[0]), "SMTP");
  EXPECT_EQ(entry.rgPropVals[1].ulPropTag, PROP_TAG(PT_ERROR, 0x6699));
  EXPECT_EQ(entry.rgPropVals[2].ulPropTag, PR_ENTRYID);
  EXPECT_EQ(entry.rgPropVals[3].ulPropTag, PROP_TAG(PT_ERROR, 0x6698));
  EXPECT_EQ(entry.rgPropVals[3].Value.err, MAPI_E_NO_SUPPORT);
  MAPIFreeBuffer(entry.rgPropVals);
}

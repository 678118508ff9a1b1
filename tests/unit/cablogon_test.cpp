// The logon object on its own: value copies, recipient entries it must leave alone, the
// one-off table and the operations it does not offer.
#include "provider/cablogon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend/rabguid.h"
#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "support_double.h"

namespace {
struct Logon {
  SupportDouble support;
  ComPtr<ABLDAPBackeEnd> backend{new ABLDAPBackeEnd(nullptr, &support)};
  ComPtr<CABLogon> logon{new CABLogon(&support, backend.get())};
};

// One recipient entry as a client builds it: one MAPI buffer holding every value.
LPSPropValue EntryValues(const std::vector<SPropValue>& values) {
  LPSPropValue copy = nullptr;
  EXPECT_EQ(
      ScDupPropset(static_cast<int>(values.size()), const_cast<LPSPropValue>(values.data()), MAPIAllocateBuffer, &copy),
      S_OK);
  return copy;
}

SPropValue Text(ULONG tag, const char* text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(text);
  return v;
}
SPropValue Long(ULONG tag, LONG value) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = value;
  return v;
}
SPropValue Binary(ULONG tag, std::vector<BYTE>& bytes) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.bin.cb = static_cast<ULONG>(bytes.size());
  v.Value.bin.lpb = bytes.data();
  return v;
}
}  // namespace

// Every value that points somewhere is copied into memory of the new array, never shared with
// the old one, which is freed afterwards; plain values are copied as they are.
TEST(CABLogonCopyPropValue, CopiesPointerValuesDeeplyAndPlainValuesAsTheyAre) {
  std::vector<BYTE> bytes{1, 2, 3};
  GUID guid{};
  std::memset(&guid, 0x5A, sizeof guid);
  WCHAR wide[] = u"wide";
  SPropValue clsid{};
  clsid.ulPropTag = PROP_TAG(PT_CLSID, 0x6700);
  clsid.Value.lpguid = &guid;
  SPropValue unicode{};
  unicode.ulPropTag = PROP_TAG(PT_UNICODE, 0x6701);
  unicode.Value.lpszW = wide;
  SPropValue boolean{};
  boolean.ulPropTag = PROP_TAG(PT_BOOLEAN, 0x6702);
  boolean.Value.b = 1;
  SPropValue i8{};
  i8.ulPropTag = PROP_TAG(PT_I8, 0x6703);
  i8.Value.li.QuadPart = 0x123456789ALL;
  const std::vector<SPropValue> sources{Text(PR_DISPLAY_NAME, "John"),
                                        Binary(PR_ENTRYID, bytes),
                                        clsid,
                                        unicode,
                                        Long(PR_RECIPIENT_TYPE, 1),
                                        boolean,
                                        i8};

  MapiBuffer<SPropValue> array;
  ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue) * sources.size(), array.put()), S_OK);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    SCOPED_TRACE(i);
    SPropValue& copy = array.get()[i];
    ASSERT_EQ(CABLogon::CopyPropValue(copy, sources[i], array.get()), S_OK);
    EXPECT_EQ(copy.ulPropTag, sources[i].ulPropTag);
  }
  EXPECT_STREQ(array.get()[0].Value.lpszA, "John");
  EXPECT_NE(array.get()[0].Value.lpszA, sources[0].Value.lpszA);
  ASSERT_EQ(array.get()[1].Value.bin.cb, 3u);
  EXPECT_NE(array.get()[1].Value.bin.lpb, bytes.data());
  EXPECT_EQ(std::memcmp(array.get()[1].Value.bin.lpb, bytes.data(), 3), 0);
  EXPECT_NE(array.get()[2].Value.lpguid, &guid);
  EXPECT_EQ(std::memcmp(array.get()[2].Value.lpguid, &guid, sizeof guid), 0);
  EXPECT_NE(array.get()[3].Value.lpszW, wide);
  EXPECT_EQ(std::u16string(array.get()[3].Value.lpszW), u"wide");
  EXPECT_EQ(array.get()[4].Value.l, 1);
  EXPECT_EQ(array.get()[5].Value.b, 1);
  EXPECT_EQ(array.get()[6].Value.li.QuadPart, 0x123456789ALL);
}

TEST(CABLogonCopyPropValue, EmptyAndMissingPointersAllocateNothingAndMultiValuedIsRefused) {
  MapiBuffer<SPropValue> array;
  ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue) * 3, array.put()), S_OK);
  SPropValue empty{};
  empty.ulPropTag = PR_ENTRYID;
  SPropValue nullText = Text(PR_DISPLAY_NAME, nullptr);
  EXPECT_EQ(CABLogon::CopyPropValue(array.get()[0], empty, array.get()), S_OK);
  EXPECT_EQ(array.get()[0].Value.bin.cb, 0u);
  EXPECT_EQ(array.get()[0].Value.bin.lpb, nullptr);
  EXPECT_EQ(CABLogon::CopyPropValue(array.get()[1], nullText, array.get()), S_OK);
  EXPECT_EQ(array.get()[1].Value.lpszA, nullptr);

  LPSTR texts[] = {const_cast<LPSTR>("a"), const_cast<LPSTR>("b")};
  SPropValue multi{};
  multi.ulPropTag = PROP_TAG(PT_MV_STRING8, 0x6710);
  multi.Value.MVszA.cValues = 2;
  multi.Value.MVszA.lppszA = texts;
  EXPECT_EQ(CABLogon::CopyPropValue(array.get()[2], multi, array.get()), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(array.get()[2].ulPropTag, multi.ulPropTag);
  EXPECT_EQ(array.get()[2].Value.MVszA.lppszA, nullptr);
}

// Entries that are not this provider's, or that name no entry at all, come back untouched.
TEST(CABLogonPrepareRecips, LeavesEntriesItCannotPrepareAsTheyWere) {
  Logon l;
  std::vector<BYTE> foreign(40, 0x11);
  std::vector<BYTE> ours(40, 0);
  std::memcpy(ours.data() + 4, &ABLDAPProviderUID, sizeof(MAPIUID));
  ours[20] = 3;  // a mail user nobody in the (empty) list carries
  const char* key = "uid=ghost";
  ours.resize(32);
  ours.insert(ours.end(), key, key + std::strlen(key) + 1);

  SizedADRLIST(3, list) = {3, {}};
  list.aEntries[0].cValues = 2;
  list.aEntries[0].rgPropVals = EntryValues({Text(PR_DISPLAY_NAME, "typed"), Long(PR_RECIPIENT_TYPE, 1)});
  list.aEntries[1].cValues = 2;
  list.aEntries[1].rgPropVals = EntryValues({Binary(PR_ENTRYID, foreign), Text(PR_DISPLAY_NAME, "foreign")});
  list.aEntries[2].cValues = 2;
  list.aEntries[2].rgPropVals = EntryValues({Binary(PR_ENTRYID, ours), Text(PR_DISPLAY_NAME, "ghost")});
  std::vector<LPSPropValue> before;
  for (const ADRENTRY& entry : list.aEntries) before.push_back(entry.rgPropVals);

  SizedSPropTagArray(2, tags) = {2, {PR_DISPLAY_NAME, PR_EMAIL_ADDRESS}};
  EXPECT_EQ(l.logon->PrepareRecips(0, reinterpret_cast<LPSPropTagArray>(&tags), reinterpret_cast<LPADRLIST>(&list)),
            S_OK);
  EXPECT_EQ(l.logon->PrepareRecips(0, nullptr, reinterpret_cast<LPADRLIST>(&list)), S_OK);
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list.aEntries[i].rgPropVals, before[i]);
    EXPECT_EQ(list.aEntries[i].cValues, 2u);
  }
  EXPECT_STREQ(list.aEntries[0].rgPropVals[0].Value.lpszA, "typed");
  EXPECT_EQ(list.aEntries[2].rgPropVals[0].ulPropTag, PR_ENTRYID);
  for (ADRENTRY& entry : list.aEntries) MAPIFreeBuffer(entry.rgPropVals);
}

TEST(CABLogonOneOffTable, IsANewEmptyTableWithTheSevenColumnsOnEveryCall) {
  Logon l;
  ComPtr<IMAPITable> first, second;
  ASSERT_EQ(l.logon->GetOneOffTable(0, first.put()), S_OK);
  ASSERT_EQ(l.logon->GetOneOffTable(0, second.put()), S_OK);
  EXPECT_NE(first.get(), second.get());
  ULONG rows = 99;
  EXPECT_EQ(first->GetRowCount(0, &rows), S_OK);
  EXPECT_EQ(rows, 0u);
  MapiBuffer<SPropTagArray> columns;
  ASSERT_EQ(first->QueryColumns(0, columns.put_typed()), S_OK);
  const std::vector<ULONG> expected{PR_ADDRTYPE, PR_DEPTH,        PR_DISPLAY_NAME, PR_DISPLAY_TYPE,
                                    PR_ENTRYID,  PR_INSTANCE_KEY, PR_SELECTABLE};
  EXPECT_EQ(std::vector<ULONG>(columns->aulPropTag, columns->aulPropTag + columns->cValues), expected);
}

TEST(CABLogon, OffersNoNotificationsStatusObjectTemplatesOrErrorTexts) {
  Logon l;
  ULONG_PTR connection = 7;
  LPMAPIERROR error = reinterpret_cast<LPMAPIERROR>(0x1);
  LPMAPISTATUS status = reinterpret_cast<LPMAPISTATUS>(0x1);
  LPMAPIPROP prop = reinterpret_cast<LPMAPIPROP>(0x1);
  ULONG type = 7;
  EXPECT_EQ(l.logon->Advise(0, nullptr, 0, nullptr, &connection), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(l.logon->Unadvise(1), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(l.logon->OpenStatusEntry(nullptr, 0, &type, &status), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(l.logon->OpenTemplateID(0, nullptr, 0, nullptr, nullptr, &prop, nullptr), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(l.logon->GetLastError(MAPI_E_CALL_FAILED, 0, &error), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(l.logon->Logoff(0), S_OK);
  // Nothing is written to the out arguments.
  EXPECT_EQ(connection, 7u);
  EXPECT_EQ(type, 7u);
  EXPECT_EQ(error, reinterpret_cast<LPMAPIERROR>(0x1));
  EXPECT_EQ(status, reinterpret_cast<LPMAPISTATUS>(0x1));
  EXPECT_EQ(prop, reinterpret_cast<LPMAPIPROP>(0x1));
}

TEST(CABLogon, HoldsOneReferenceOnTheSupportObjectAndTheBackendWhileItLives) {
  Logon l;
  EXPECT_EQ(l.support.References(), 3u);  // the test's own, the backend's and the logon's
  EXPECT_EQ(l.backend->RefCount, 2);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(l.logon->QueryInterface(IID_IABLogon, reinterpret_cast<LPVOID*>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IABLogon*>(l.logon.get()));
  unknown->Release();
  EXPECT_EQ(l.logon->QueryInterface(IID_IMAPIProp, reinterpret_cast<LPVOID*>(&unknown)),
            MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(unknown, nullptr);
  l.logon.reset();
  EXPECT_EQ(l.support.References(), 2u);
  EXPECT_EQ(l.backend->RefCount, 1);
}

// The status row's nine values in their order; an unnamed backend shows the provider's name.
TEST(CABLogon, PostsTheStatusRow) {
  Logon l;
  l.backend->BackendName.clear();
  l.logon->PostStatusRow(&l.support);
  ASSERT_EQ(l.support.statusRowCount, 9u);
  const SPropValue* row = l.support.statusRow.get();
  const std::vector<ULONG> tags{PR_PROVIDER_DISPLAY, PR_STATUS_CODE,    PR_STATUS_STRING,
                                PR_DISPLAY_NAME,     PR_RESOURCE_FLAGS, PR_RESOURCE_METHODS,
                                PR_RESOURCE_TYPE,    PR_OBJECT_TYPE,    PR_PROVIDER_DLL_NAME};
  for (std::size_t i = 0; i < tags.size(); ++i) EXPECT_EQ(row[i].ulPropTag, tags[i]) << i;
  EXPECT_STREQ(row[0].Value.lpszA, "Pernix LDAP Address Book");
  EXPECT_EQ(row[1].Value.l, 1);
  EXPECT_STREQ(row[2].Value.lpszA, "Available");
  EXPECT_STREQ(row[3].Value.lpszA, "Pernix LDAP Address Book");
  EXPECT_EQ(row[4].Value.l, 0x20);
  EXPECT_EQ(row[5].Value.l, 0);
  EXPECT_EQ(row[6].Value.l, 35);
  EXPECT_EQ(row[7].Value.l, 10);
  EXPECT_STREQ(row[8].Value.lpszA, "pxbl.dll");
}

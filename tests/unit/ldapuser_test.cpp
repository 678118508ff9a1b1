#include "recipients/ldapuser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backend/ldapbe.h"
#include "mapicode.h"
#include "mapidisp.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "resources/detailsdialog.h"

namespace {

using Bytes = std::vector<BYTE>;

const HINSTANCE kModule = reinterpret_cast<HINSTANCE>(0x5100);

Bytes BytesOf(const SBinary& bin) { return bin.lpb ? Bytes(bin.lpb, bin.lpb + bin.cb) : Bytes(); }
Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A tag array of any length, as a caller builds one.
class TagArray {
 public:
  explicit TagArray(const std::vector<ULONG>& tags) : storage_(CbNewSPropTagArray(tags.size())) {
    array()->cValues = static_cast<ULONG>(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) array()->aulPropTag[i] = tags[i];
  }
  LPSPropTagArray array() { return reinterpret_cast<LPSPropTagArray>(storage_.data()); }

 private:
  std::vector<BYTE> storage_;
};

// A GetProps answer, freed afterwards.
struct Answer {
  HRESULT hr = E_FAIL;
  ULONG count = 0;
  MapiBuffer<SPropValue> values;
  const SPropValue& operator[](ULONG i) const { return values.get()[i]; }
};

class UserRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = new ABLDAPBackeEnd(kModule, nullptr);
    user = new CLDAPUser();
    user->SetBackend(backend);
    user->DistinguishedName = "uid=jsmith,ou=people,dc=example,dc=com";
    user->GivenName = "John";
    user->Surname = "Smith";
    user->DisplayName = "John Smith";
    user->EmailAddress = "John.Smith@Example.com";
    user->BusinessPhone = "+1 555 0100";
    user->BusinessFax = "+1 555 0101";
    user->Mobile = "+1 555 0102";
    user->Title = "Engineer";
    user->Department = "Research";
    user->Company = "Example Inc.";
  }
  void TearDown() override {
    user->Release();
    backend->Release();
  }

  Answer Get(LPSPropTagArray tags, ULONG flags = 0) {
    Answer answer;
    LPSPropValue values = nullptr;
    answer.hr = user->GetProps(tags, flags, &answer.count, &values);
    answer.values.reset(values);
    return answer;
  }
  Answer Get(const std::vector<ULONG>& tags) {
    TagArray array(tags);
    return Get(array.array());
  }
  Bytes EntryID() { return BytesOf(user->MakeEntryID()->AsSBinary()); }

  ABLDAPBackeEnd* backend = nullptr;
  CLDAPUser* user = nullptr;
};

// What every property ID answers for the user of the fixture: the answer tag and a check of
// the value.
struct Expected {
  ULONG id;
  ULONG tag;
  std::string text;  // PT_STRING8 answers
};

const std::vector<Expected> kTextAnswers = {
    {0x3001, PR_DISPLAY_NAME, "John Smith"},
    {0x3002, PR_ADDRTYPE, "SMTP"},
    {0x3003, PR_EMAIL_ADDRESS, "John.Smith@Example.com"},
    {0x39FE, PR_SMTP_ADDRESS, "John.Smith@Example.com"},
    {0x39FF, PR_7BIT_DISPLAY_NAME, "John Smith"},
    {0x3A06, PR_GIVEN_NAME, "John"},
    {0x3A08, PR_BUSINESS_TELEPHONE_NUMBER, "+1 555 0100"},
    {0x3A11, PR_SURNAME, "Smith"},
    {0x3A16, PR_COMPANY_NAME, "Example Inc."},
    {0x3A17, PR_TITLE, "Engineer"},
    {0x3A18, PR_DEPARTMENT_NAME, "Research"},
    {0x3A1C, PR_MOBILE_TELEPHONE_NUMBER, "+1 555 0102"},
    {0x3A20, PR_TRANSMITABLE_DISPLAY_NAME, "John Smith"},
    {0x3A24, PR_BUSINESS_FAX_NUMBER, "+1 555 0101"},
    {0x6621, 0x6621001E, "uid=jsmith,ou=people,dc=example,dc=com"},
};

struct ExpectedNumber {
  ULONG id;
  ULONG tag;
  LONG value;
};
const std::vector<ExpectedNumber> kNumberAnswers = {
    {0x0000, 0x00000001, 0},        {0x0FF4, PR_ACCESS, 2},       {0x0FF7, PR_ACCESS_LEVEL, 0},
    {0x0FFE, PR_OBJECT_TYPE, 6},    {0x3900, PR_DISPLAY_TYPE, 0}, {0x3F08, PR_INITIAL_DETAILS_PANE, 0},
    {0x3A40, PR_SEND_RICH_INFO, 0},
};

}  // namespace

TEST_F(UserRecord, AnswersEveryIdWhateverTheRequestedType) {
  // Each ID asked with the types a client might use: its own, PT_UNICODE, PT_LONG, PT_UNSPECIFIED.
  for (ULONG type : {PT_STRING8, PT_UNICODE, PT_LONG, PT_UNSPECIFIED}) {
    std::vector<ULONG> tags;
    for (const auto& e : kTextAnswers) tags.push_back(PROP_TAG(type, e.id));
    for (const auto& e : kNumberAnswers) tags.push_back(PROP_TAG(type, e.id));
    const std::vector<ULONG> binaryIds = {0x0FFF, 0x0FF9, 0x300B};
    for (ULONG id : binaryIds) tags.push_back(PROP_TAG(type, id));
    tags.push_back(PROP_TAG(type, 0x0E00));
    tags.push_back(PROP_TAG(type, 0x0E19));
    tags.push_back(PROP_TAG(type, 0x3605));

    Answer a = Get(tags);
    ASSERT_EQ(a.hr, S_OK) << std::hex << type;
    ASSERT_EQ(a.count, tags.size());
    ULONG i = 0;
    for (const auto& e : kTextAnswers) {
      EXPECT_EQ(a[i].ulPropTag, e.tag) << std::hex << e.id;
      EXPECT_STREQ(a[i].Value.lpszA, e.text.c_str()) << std::hex << e.id;
      ++i;
    }
    for (const auto& e : kNumberAnswers) {
      EXPECT_EQ(a[i].ulPropTag, e.tag) << std::hex << e.id;
      if (e.tag == PR_SEND_RICH_INFO)
        EXPECT_EQ(a[i].Value.b, 0) << std::hex << e.id;
      else
        EXPECT_EQ(a[i].Value.l, e.value) << std::hex << e.id;
      ++i;
    }
    EXPECT_EQ(a[i].ulPropTag, PR_ENTRYID);
    EXPECT_EQ(BytesOf(a[i++].Value.bin), EntryID());
    EXPECT_EQ(a[i].ulPropTag, PR_RECORD_KEY);
    EXPECT_EQ(BytesOf(a[i++].Value.bin), EntryID());
    EXPECT_EQ(a[i].ulPropTag, PR_SEARCH_KEY);
    // As typed: the letter case of the address stays, and there is no terminating zero.
    EXPECT_EQ(BytesOf(a[i++].Value.bin), BytesOf("SMTP:John.Smith@Example.com"));
    for (ULONG tag : {PR_CURRENT_VERSION, PR_CREATION_VERSION}) {
      EXPECT_EQ(a[i].ulPropTag, tag);
      EXPECT_EQ(a[i].Value.li.u.LowPart, 0u);
      EXPECT_EQ(a[i].Value.li.u.HighPart, 1);
      ++i;
    }
    EXPECT_EQ(a[i++].ulPropTag, PR_DETAILS_TABLE);
  }
}

TEST_F(UserRecord, EntryIdentifierIsTheMailUserKindKeyedByTheDistinguishedName) {
  const Bytes id = EntryID();
  ASSERT_EQ(id.size(), 33 + user->DistinguishedName.size());
  EXPECT_EQ(id[20], 3);
  EXPECT_EQ(id[24], 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&id[32])), user->DistinguishedName);
}

TEST_F(UserRecord, NullTagArrayAnswersTheUserPropertyListInOrder) {
  Answer a = Get(nullptr);
  ASSERT_EQ(a.hr, S_OK);
  ASSERT_EQ(a.count, 27u);
  const std::vector<ULONG> expected = {
      0x39FF001E, 0x0FF40003, 0x0FF70003, 0x3002001E, 0x0E190014, 0x0E000014, 0x3605000D, 0x3001001E, 0x39000003,
      0x3003001E, 0x0FFF0102, 0x3F080003, 0x6621001E, 0x0FFE0003, 0x0FF90102, 0x300B0102, 0x3A40000B, 0x39FE001E,
      0x3A20001E, 0x3A06001E, 0x3A11001E, 0x3A08001E, 0x3A24001E, 0x3A1C001E, 0x3A17001E, 0x3A18001E, 0x3A16001E};
  for (ULONG i = 0; i < 27; ++i) EXPECT_EQ(a[i].ulPropTag, expected[i]) << i;

  LPSPropTagArray list = nullptr;
  ASSERT_EQ(user->GetPropList(0, &list), S_OK);
  MapiBuffer<SPropTagArray> owned(list, MAPIFreeBuffer);
  ASSERT_EQ(list->cValues, 27u);
  EXPECT_EQ(std::vector<ULONG>(list->aulPropTag, list->aulPropTag + 27), expected);
}

TEST_F(UserRecord, EmptyTextsAndUnknownIdsAreNotFound) {
  for (std::string* field :
       {&user->GivenName, &user->Surname, &user->DisplayName, &user->EmailAddress, &user->BusinessPhone,
        &user->BusinessFax, &user->Mobile, &user->Title, &user->Department, &user->Company})
    field->clear();
  std::vector<ULONG> tags;
  for (const auto& e : kTextAnswers) tags.push_back(e.tag);
  tags.push_back(PROP_TAG(PT_STRING8, 0x1234));
  tags.push_back(PROP_TAG(PT_LONG, 0x6622));
  tags.push_back(PR_SEARCH_KEY);
  Answer a = Get(tags);
  ASSERT_EQ(a.hr, MAPI_W_ERRORS_RETURNED);
  ASSERT_EQ(a.count, tags.size());
  for (ULONG i = 0; i + 1 < a.count; ++i) {
    const ULONG id = PROP_ID(tags[i]);
    if (id == 0x3002 || id == 0x6621) {
      EXPECT_EQ(PROP_TYPE(a[i].ulPropTag), PT_STRING8) << std::hex << id;  // never empty
      continue;
    }
    EXPECT_EQ(a[i].ulPropTag, PROP_TAG(PT_ERROR, id)) << std::hex << id;
    EXPECT_EQ(a[i].Value.err, MAPI_E_NOT_FOUND) << std::hex << id;
  }
  EXPECT_EQ(BytesOf(a[a.count - 1].Value.bin), BytesOf("SMTP:"));
}

TEST_F(UserRecord, SevenBitDisplayNameReplacesEightBitLetters) {
  user->DisplayName = "J\xC3\xBCrgen M\xC3\xB6ller";  // Jürgen Möller in UTF-8
  Answer a = Get({PR_7BIT_DISPLAY_NAME, PR_DISPLAY_NAME});
  ASSERT_EQ(a.hr, S_OK);
  EXPECT_STREQ(a[0].Value.lpszA, "JXXrgen MXXller");
  EXPECT_STREQ(a[1].Value.lpszA, user->DisplayName.c_str());
}

TEST_F(UserRecord, RefusesUnicodeAndEmptyTagArrays) {
  ULONG count = 7;
  LPSPropValue values = reinterpret_cast<LPSPropValue>(0x8);
  SizedSPropTagArray(1, none) = {0, {0}};
  EXPECT_EQ(user->GetProps(reinterpret_cast<LPSPropTagArray>(&none), 0, &count, &values), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(count, 7u);  // left as they were
  EXPECT_EQ(values, reinterpret_cast<LPSPropValue>(0x8));

  EXPECT_EQ(user->GetProps(nullptr, MAPI_UNICODE, &count, &values), MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(values, nullptr);

  LPSPropTagArray list = reinterpret_cast<LPSPropTagArray>(0x8);
  EXPECT_EQ(user->GetPropList(MAPI_UNICODE, &list), MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(user->GetProps(nullptr, 0, nullptr, &values), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(user->GetPropList(0, nullptr), MAPI_E_INVALID_PARAMETER);
}

TEST_F(UserRecord, WithoutBackendThereIsNoIdentifierNorRow) {
  user->SetBackend(nullptr);
  ULONG count = 1;
  LPSPropValue values = nullptr;
  EXPECT_EQ(user->GetProps(nullptr, 0, &count, &values), MAPI_E_NOT_ENOUGH_MEMORY);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(user->AddContentsRow(nullptr), MAPI_E_NO_SUPPORT);
  LPUNKNOWN table = nullptr;
  EXPECT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPITable, 0, 0, &table), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(table, nullptr);
}

TEST_F(UserRecord, SetBackendHoldsOneReference) {
  EXPECT_EQ(backend->RefCount, 2);
  user->SetBackend(backend);  // the same again: still one reference
  EXPECT_EQ(backend->RefCount, 2);
  user->SetBackend(nullptr);
  EXPECT_EQ(backend->RefCount, 1);
  user->SetBackend(backend);
}

TEST_F(UserRecord, ContentsRowKeepsEmptyTextsAsEmptyStrings) {
  ASSERT_EQ(backend->CreateDirContents(), S_OK);
  user->DisplayName.clear();
  user->EmailAddress.clear();
  ASSERT_EQ(user->AddContentsRow(backend->DirContents.get()), S_OK);
  EXPECT_EQ(user->AddContentsRow(nullptr), MAPI_E_NO_SUPPORT);

  ComPtr<IMAPITable> view;
  ASSERT_EQ(backend->DirContents->HrGetView(nullptr, nullptr, 0, view.put()), S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(view->QueryRows(10, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 1u);
  const SRow& row = rows->aRow[0];
  ASSERT_EQ(row.cValues, 7u);  // the contents columns, in their order
  EXPECT_EQ(row.lpProps[0].ulPropTag, PR_DISPLAY_NAME);
  EXPECT_STREQ(row.lpProps[0].Value.lpszA, "");
  EXPECT_EQ(row.lpProps[1].Value.l, 0);
  EXPECT_EQ(row.lpProps[2].ulPropTag, PR_EMAIL_ADDRESS);
  EXPECT_STREQ(row.lpProps[2].Value.lpszA, "");
  EXPECT_STREQ(row.lpProps[3].Value.lpszA, "SMTP");
  EXPECT_EQ(BytesOf(row.lpProps[4].Value.bin), EntryID());
  EXPECT_EQ(BytesOf(row.lpProps[5].Value.bin), EntryID());
  EXPECT_EQ(row.lpProps[6].Value.l, 6);
  FreeProws(rows);

  // GetProps answers the same empty name as missing.
  Answer a = Get({PR_DISPLAY_NAME});
  EXPECT_EQ(a.hr, MAPI_W_ERRORS_RETURNED);
  EXPECT_EQ(a[0].ulPropTag, PROP_TAG(PT_ERROR, 0x3001));
}

namespace {
// Allocation routines that fail from the n-th call on (counting both routines), or that
// report success without a block.
int allocationsLeft = 0;
bool failWithNull = false;
SCODE STDMETHODCALLTYPE FailingAllocateBuffer(ULONG size, LPVOID* out) {
  if (allocationsLeft-- <= 0) {
    *out = nullptr;
    return failWithNull ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
  }
  return MAPIAllocateBuffer(size, out);
}
SCODE STDMETHODCALLTYPE FailingAllocateMore(ULONG size, LPVOID object, LPVOID* out) {
  if (allocationsLeft-- <= 0) {
    *out = nullptr;
    return failWithNull ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
  }
  return MAPIAllocateMore(size, object, out);
}

class UserRecordFailingAllocation : public UserRecord {
 protected:
  void SetUp() override {
    UserRecord::SetUp();
    SetMemoryRoutines(FailingAllocateBuffer, FailingAllocateMore, MAPIFreeBuffer);
  }
  void TearDown() override {
    SetMemoryRoutines(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer);
    failWithNull = false;
    UserRecord::TearDown();
  }
};
}  // namespace

TEST_F(UserRecordFailingAllocation, NothingHalfBuiltIsHandedOut) {
  for (bool withNull : {false, true}) {
    failWithNull = withNull;
    // The array, then 15 texts and 3 binaries of the full list; each allocation fails in turn.
    int succeeding = 0;
    for (;; ++succeeding) {
      const std::size_t before = MAPIOutstandingBuffers();
      allocationsLeft = succeeding;
      ULONG count = 99;
      LPSPropValue values = reinterpret_cast<LPSPropValue>(0x8);
      const HRESULT hr = user->GetProps(nullptr, 0, &count, &values);
      if (SUCCEEDED(hr)) {
        MAPIFreeBuffer(values);
        break;
      }
      EXPECT_EQ(hr, MAPI_E_NOT_ENOUGH_MEMORY) << succeeding;
      EXPECT_EQ(count, 0u) << succeeding;
      EXPECT_EQ(values, nullptr) << succeeding;
      EXPECT_EQ(MAPIOutstandingBuffers(), before) << succeeding;
    }
    EXPECT_EQ(succeeding, 1 + 15 + 3);

    allocationsLeft = 0;
    LPSPropTagArray list = reinterpret_cast<LPSPropTagArray>(0x8);
    EXPECT_EQ(user->GetPropList(0, &list), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(list, nullptr);
  }
}

TEST_F(UserRecord, OpenPropertyOpensOnlyTheDetailsTable) {
  LPUNKNOWN object = reinterpret_cast<LPUNKNOWN>(0x8);
  EXPECT_EQ(user->OpenProperty(PR_ENTRYID, &IID_IMAPITable, 0, 0, &object), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(object, nullptr);
  // The whole tag counts, type included.
  EXPECT_EQ(user->OpenProperty(PROP_TAG(PT_BINARY, 0x3605), &IID_IMAPITable, 0, 0, &object), MAPI_E_NO_SUPPORT);
  EXPECT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPIProp, 0, 0, &object), MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(user->OpenProperty(PR_DETAILS_TABLE, nullptr, 0, 0, &object), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPITable, 0, 0, nullptr), MAPI_E_INVALID_PARAMETER);
  ASSERT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPITable, 0, 0, &object), S_OK);
  ASSERT_NE(object, nullptr);
  object->Release();
}

namespace {
struct ControlRow {
  ULONG type;
  ULONG id;
  int x, y, cx, cy;
  std::string label;  // the text in the control structure
  ULONG editTag;      // for edits
};

const std::vector<ControlRow> kDetailsRows = {
    {DTCT_PAGE, 0, 0, 0, 232, 239, "Pernix LDAP User Information", 0},
    {DTCT_GROUPBOX, 101, 9, 7, 214, 82, "User Information", 0},
    {DTCT_GROUPBOX, 102, 9, 95, 214, 65, "Organizational Information", 0},
    {DTCT_GROUPBOX, 103, 9, 168, 214, 65, "Telephone Numbers", 0},
    {DTCT_LABEL, 121, 16, 23, 51, 8, "Display Name:", 0},
    {DTCT_LABEL, 122, 16, 39, 51, 8, "First Name:", 0},
    {DTCT_LABEL, 123, 16, 56, 51, 8, "Last Name:", 0},
    {DTCT_LABEL, 124, 16, 111, 51, 8, "Company:", 0},
    {DTCT_LABEL, 125, 16, 127, 51, 8, "Department:", 0},
    {DTCT_LABEL, 126, 16, 143, 51, 8, "Job Title:", 0},
    {DTCT_LABEL, 127, 16, 184, 51, 8, "Phone:", 0},
    {DTCT_LABEL, 128, 16, 200, 51, 8, "Fax:", 0},
    {DTCT_LABEL, 129, 16, 216, 51, 8, "Mobile:", 0},
    {DTCT_LABEL, 113, 16, 73, 51, 8, "E-mail Address:", 0},
    {DTCT_EDIT, 104, 78, 20, 137, 12, "*", 0x3001001E},
    {DTCT_EDIT, 105, 78, 37, 137, 12, "*", 0x3A06001E},
    {DTCT_EDIT, 106, 78, 54, 137, 12, "*", 0x3A11001E},
    {DTCT_EDIT, 114, 78, 71, 137, 12, "*", 0x3003001E},
    {DTCT_EDIT, 107, 78, 110, 137, 12, "*", 0x3A16001E},
    {DTCT_EDIT, 108, 78, 126, 137, 12, "*", 0x3A18001E},
    {DTCT_EDIT, 109, 78, 142, 137, 12, "*", 0x3A17001E},
    {DTCT_EDIT, 110, 78, 182, 137, 12, "*", 0x3A08001E},
    {DTCT_EDIT, 111, 78, 199, 137, 12, "*", 0x3A24001E},
    {DTCT_EDIT, 112, 78, 215, 137, 12, "*", 0x3A1C001E},
};

LONG LongIn(const SRow& row, ULONG tag) {
  const SPropValue* v = PpropFindProp(row.lpProps, row.cValues, tag);
  return v ? v->Value.l : -1;
}
}  // namespace

TEST_F(UserRecord, DetailsTableShowsTheReadOnlyPage) {
  LPUNKNOWN object = nullptr;
  ASSERT_EQ(user->OpenProperty(PR_DETAILS_TABLE, &IID_IMAPITable, 0, 0, &object), S_OK);
  ComPtr<IMAPITable> table(static_cast<IMAPITable*>(object));
  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(100, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, kDetailsRows.size());
  for (ULONG i = 0; i < rows->cRows; ++i) {
    const SRow& row = rows->aRow[i];
    const ControlRow& e = kDetailsRows[i];
    EXPECT_EQ(LongIn(row, PR_CONTROL_TYPE), static_cast<LONG>(e.type)) << i;
    EXPECT_EQ(LongIn(row, PR_CONTROL_FLAGS), 0) << i;  // nothing editable
    EXPECT_EQ(LongIn(row, PR_XPOS), e.x) << i;
    EXPECT_EQ(LongIn(row, PR_YPOS), e.y) << i;
    EXPECT_EQ(LongIn(row, PR_DELTAX), e.cx) << i;
    EXPECT_EQ(LongIn(row, PR_DELTAY), e.cy) << i;
    const SPropValue* id = PpropFindProp(row.lpProps, row.cValues, PR_CONTROL_ID);
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(id->Value.bin.cb, 4u);
    ULONG itemId = 0;
    std::memcpy(&itemId, id->Value.bin.lpb, 4);
    EXPECT_EQ(itemId, e.id) << i;
    const SPropValue* s = PpropFindProp(row.lpProps, row.cValues, PR_CONTROL_STRUCTURE);
    ASSERT_NE(s, nullptr);
    const BYTE* bytes = s->Value.bin.lpb;
    ULONG textOffset = 0;
    std::memcpy(&textOffset, bytes, 4);  // every structure starts with its text offset
    ASSERT_LT(textOffset, s->Value.bin.cb) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes + textOffset)), e.label) << i;
    if (e.type == DTCT_EDIT) {
      DTBLEDIT edit;
      std::memcpy(&edit, bytes, sizeof edit);
      EXPECT_EQ(edit.ulFlags, 0u) << i;
      EXPECT_EQ(edit.ulNumCharsAllowed, 260u) << i;
      EXPECT_EQ(edit.ulPropTag, e.editTag) << i;
    }
  }
  FreeProws(rows);
}

TEST(DetailsDialog, TemplateCarriesTheDialogStylesAndFont) {
  const DialogTemplate& dialog = UserDetailsDialog();
  EXPECT_EQ(dialog.caption, "Pernix LDAP User Information");
  EXPECT_EQ(dialog.style, 0x50C00040u);
  EXPECT_EQ(dialog.x, 6);
  EXPECT_EQ(dialog.y, 15);
  EXPECT_EQ(dialog.fontName, "MS Sans Serif");
  EXPECT_EQ(dialog.pointSize, 8);
  ASSERT_EQ(dialog.controls.size(), 23u);
  // Template order is the keyboard order: the e-mail label and edit come last.
  EXPECT_EQ(dialog.controls[21].id, 113u);
  EXPECT_EQ(dialog.controls[22].id, 114u);
  for (const DialogControl& control : dialog.controls) {
    switch (control.controlClass) {
      case DialogControlClass::GroupBox: EXPECT_EQ(control.style, 0x50000007u); break;
      case DialogControlClass::Edit:
        EXPECT_EQ(control.style, 0x50810000u);
        EXPECT_EQ(control.text, "");
        break;
      case DialogControlClass::Label:
        EXPECT_EQ(control.style, control.id == 122 ? 0x5002000Bu : 0x50020000u) << control.id;
        break;
    }
  }
}

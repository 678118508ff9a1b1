// The contents-table wrapper over real table data: every call but Restrict passes through, and
// a PR_ANR property restriction becomes a substring search on the display name.
#include "provider/ctable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mapicode.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"

namespace {
SizedSPropTagArray(2, kColumns) = {2, {PR_INSTANCE_KEY, PR_DISPLAY_NAME}};

// A 260-byte name whose first 259 bytes a cut PR_ANR text matches.
const std::string kLongName = std::string(259, 'a') + "b";

class TableView : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateTable(&IID_IMAPITableData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                          TBLTYPE_DYNAMIC, PR_INSTANCE_KEY, reinterpret_cast<LPSPropTagArray>(&kColumns), data.put()),
              S_OK);
    const std::vector<std::string> names = {"John Smith", "ASMITH", "Olga Osmic", "Paul Jones", kLongName};
    for (ULONG key = 0; key < names.size(); ++key) {
      SPropValue values[2] = {};
      values[0].ulPropTag = PR_INSTANCE_KEY;
      values[0].Value.bin = {sizeof key, reinterpret_cast<LPBYTE>(&key)};
      values[1].ulPropTag = PR_DISPLAY_NAME;
      values[1].Value.lpszA = const_cast<LPSTR>(names[key].c_str());
      SRow row{0, 2, values};
      ASSERT_EQ(data->HrModifyRow(&row), S_OK);
    }
    ASSERT_EQ(data->HrGetView(nullptr, nullptr, 0, view.put()), S_OK);
    table = ComPtr<CTable>(new CTable(view.get()));
    ASSERT_EQ(data->HrGetView(nullptr, nullptr, 0, plain.put()), S_OK);
  }

  // The display names a table shows now, from its start.
  static std::vector<std::string> Names(IMAPITable* t) {
    std::vector<std::string> names;
    EXPECT_EQ(t->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
    LPSRowSet rows = nullptr;
    EXPECT_EQ(t->QueryRows(100, 0, &rows), S_OK);
    for (ULONG i = 0; rows && i < rows->cRows; ++i) {
      const SPropValue* name = PpropFindProp(rows->aRow[i].lpProps, rows->aRow[i].cValues, PR_DISPLAY_NAME);
      names.push_back(name ? name->Value.lpszA : "<none>");
    }
    FreeProws(rows);
    return names;
  }

  ComPtr<ITableData> data;
  ComPtr<IMAPITable> view;
  ComPtr<CTable> table;
  ComPtr<IMAPITable> plain;  // a second view of the same data, to compare with
};

SRestriction Anr(SPropValue* value, ULONG relop = RELOP_EQ, ULONG tag = PR_ANR) {
  SRestriction r{};
  r.rt = RES_PROPERTY;
  r.res.resProperty = {relop, tag, value};
  return r;
}

SPropValue Text(ULONG tag, const char* text) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(text);
  return v;
}
}  // namespace

TEST_F(TableView, AnrBecomesASubstringSearchIgnoringCaseAndOperator) {
  SPropValue smi = Text(PR_ANR, "smi");
  for (ULONG relop : {RELOP_LT, RELOP_EQ, RELOP_NE, RELOP_RE, 99u}) {
    SRestriction r = Anr(&smi, relop);
    ASSERT_EQ(table->Restrict(&r, 0), S_OK);
    EXPECT_EQ(Names(table.get()), (std::vector<std::string>{"John Smith", "ASMITH", "Olga Osmic"})) << relop;
  }
  // The restriction lives in the view: the caller's value may go at once.
  smi.Value.lpszA = nullptr;
  EXPECT_EQ(Names(table.get()).size(), 3u);
}

TEST_F(TableView, AnrTextIsCutAt259Bytes) {
  // 259 a's and more: the cut text matches the 260-byte name ending in b; uncut it would not.
  const std::string typed = std::string(259, 'a') + "zzz";
  SPropValue value = Text(PR_ANR, typed.c_str());
  SRestriction r = Anr(&value);
  ASSERT_EQ(table->Restrict(&r, 0), S_OK);
  EXPECT_EQ(Names(table.get()), std::vector<std::string>{kLongName});
  // The same text with one more a is cut to 259 a's as well.
  const std::string longer = std::string(400, 'A');
  value.Value.lpszA = const_cast<LPSTR>(longer.c_str());
  ASSERT_EQ(table->Restrict(&r, 0), S_OK);
  EXPECT_EQ(Names(table.get()), std::vector<std::string>{kLongName});
}

TEST_F(TableView, OtherRestrictionsReachTheViewUnchanged) {
  SPropValue smi = Text(PR_ANR, "smi");
  const WCHAR wide[] = {'s', 'm', 'i', 0};
  SPropValue smiWide{};
  smiWide.ulPropTag = PROP_TAG(PT_UNICODE, 0x360C);
  smiWide.Value.lpszW = const_cast<WCHAR*>(wide);
  SPropValue name = Text(PR_DISPLAY_NAME, "Paul Jones");
  SRestriction anr = Anr(&smi);
  SRestriction wideAnr = Anr(&smiWide, RELOP_EQ, PROP_TAG(PT_UNICODE, 0x360C));
  SRestriction byName = Anr(&name, RELOP_EQ, PR_DISPLAY_NAME);
  SRestriction both[] = {anr, byName};
  SRestriction andNested{};
  andNested.rt = RES_AND;
  andNested.res.resAnd = {2, both};
  SRestriction orNested{};
  orNested.rt = RES_OR;
  orNested.res.resOr = {2, both};
  SRestriction content{};
  content.rt = RES_CONTENT;
  content.res.resContent = {FL_SUBSTRING, PR_DISPLAY_NAME, &name};

  for (LPSRestriction r : {static_cast<LPSRestriction>(nullptr), &wideAnr, &byName, &andNested, &orNested, &content}) {
    const HRESULT expected = plain->Restrict(r, 0);
    EXPECT_EQ(table->Restrict(r, 0), expected);
    EXPECT_EQ(Names(table.get()), Names(plain.get()));
  }
  // PR_ANR nested inside RES_OR is left to the view, which finds no PR_ANR column.
  ASSERT_EQ(table->Restrict(&orNested, 0), S_OK);
  EXPECT_EQ(Names(table.get()), std::vector<std::string>{"Paul Jones"});
}

TEST_F(TableView, AnrWithoutATextIsRefusedAndTheViewKeepsItsRestriction) {
  SPropValue smi = Text(PR_ANR, "smi");
  SRestriction r = Anr(&smi);
  ASSERT_EQ(table->Restrict(&r, 0), S_OK);
  SPropValue none = Text(PR_ANR, nullptr);
  SRestriction noText = Anr(&none);
  EXPECT_EQ(table->Restrict(&noText, 0), MAPI_E_INVALID_PARAMETER);
  SRestriction noValue = Anr(nullptr);
  EXPECT_EQ(table->Restrict(&noValue, 0), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(Names(table.get()).size(), 3u);
}

TEST_F(TableView, OtherMethodsGiveTheViewsAnswers) {
  SizedSPropTagArray(1, nameOnly) = {1, {PR_DISPLAY_NAME}};
  for (IMAPITable* t : {static_cast<IMAPITable*>(table.get()), plain.get()})
    ASSERT_EQ(t->SetColumns(reinterpret_cast<LPSPropTagArray>(&nameOnly), 0), S_OK);

  LPSPropTagArray columns = nullptr;
  ASSERT_EQ(table->QueryColumns(0, &columns), S_OK);
  ASSERT_EQ(columns->cValues, 1u);
  EXPECT_EQ(columns->aulPropTag[0], PR_DISPLAY_NAME);
  MAPIFreeBuffer(columns);

  ULONG count = 0, plainCount = 0;
  EXPECT_EQ(table->GetRowCount(0, &count), plain->GetRowCount(0, &plainCount));
  EXPECT_EQ(count, plainCount);
  EXPECT_EQ(count, 5u);

  SSortOrderSet byName = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_DESCEND}}};
  ASSERT_EQ(table->SortTable(&byName, 0), S_OK);
  ASSERT_EQ(plain->SortTable(&byName, 0), S_OK);
  EXPECT_EQ(Names(table.get()), Names(plain.get()));
  LPSSortOrderSet order = nullptr;
  ASSERT_EQ(table->QuerySortOrder(&order), S_OK);
  EXPECT_EQ(order->aSort[0].ulOrder, TABLE_SORT_DESCEND);
  MAPIFreeBuffer(order);

  LONG sought = 0, plainSought = 0;
  EXPECT_EQ(table->SeekRow(BOOKMARK_BEGINNING, 2, &sought), plain->SeekRow(BOOKMARK_BEGINNING, 2, &plainSought));
  EXPECT_EQ(sought, plainSought);
  ULONG row = 0, numerator = 0, denominator = 0;
  ASSERT_EQ(table->QueryPosition(&row, &numerator, &denominator), S_OK);
  EXPECT_EQ(row, 2u);
  BOOKMARK mark = 0;
  ASSERT_EQ(table->CreateBookmark(&mark), S_OK);
  EXPECT_EQ(table->SeekRowApprox(0, 1), S_OK);
  EXPECT_EQ(table->SeekRow(mark, 0, nullptr), S_OK);
  EXPECT_EQ(table->FreeBookmark(mark), S_OK);
  SPropValue jones = Text(PR_DISPLAY_NAME, "Paul Jones");
  SRestriction find = Anr(&jones, RELOP_EQ, PR_DISPLAY_NAME);
  EXPECT_EQ(table->FindRow(&find, BOOKMARK_BEGINNING, 0), plain->FindRow(&find, BOOKMARK_BEGINNING, 0));

  ULONG status = 99, type = 99, plainStatus = 98, plainType = 98;
  EXPECT_EQ(table->GetStatus(&status, &type), plain->GetStatus(&plainStatus, &plainType));
  EXPECT_EQ(status, plainStatus);
  EXPECT_EQ(type, plainType);
  // What the view does not offer, the wrapper does not offer either.
  EXPECT_EQ(table->Abort(), plain->Abort());
  EXPECT_EQ(table->ExpandRow(0, nullptr, 0, 0, nullptr, nullptr), plain->ExpandRow(0, nullptr, 0, 0, nullptr, nullptr));
  EXPECT_EQ(table->CollapseRow(0, nullptr, 0, nullptr), plain->CollapseRow(0, nullptr, 0, nullptr));
  EXPECT_EQ(table->WaitForCompletion(0, 0, &status), plain->WaitForCompletion(0, 0, &plainStatus));
  EXPECT_EQ(table->GetCollapseState(0, 0, nullptr, nullptr, nullptr),
            plain->GetCollapseState(0, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ(table->SetCollapseState(0, 0, nullptr, nullptr), plain->SetCollapseState(0, 0, nullptr, nullptr));
  EXPECT_EQ(table->GetLastError(MAPI_E_CALL_FAILED, 0, nullptr), plain->GetLastError(MAPI_E_CALL_FAILED, 0, nullptr));
  EXPECT_EQ(table->Unadvise(12345), plain->Unadvise(12345));
}

TEST_F(TableView, InterfacesAndTheViewsLifetime) {
  LPVOID out = nullptr;
  for (const IID* iid : {&IID_IUnknown, &IID_IMAPITable}) {
    ASSERT_EQ(table->QueryInterface(*iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<LPVOID>(static_cast<IMAPITable*>(table.get())));
    static_cast<IUnknown*>(out)->Release();
  }
  out = reinterpret_cast<LPVOID>(0x1);
  EXPECT_EQ(table->QueryInterface(IID_IMAPIProp, &out), MAPI_E_INTERFACE_NOT_SUPPORTED);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(table->QueryInterface(IID_IMAPITable, nullptr), MAPI_E_INVALID_PARAMETER);

  // The wrapper keeps the view alive after its maker lets go, and gives it back at the end.
  IMAPITable* inner = view.get();
  view.reset();
  EXPECT_EQ(Names(table.get()).size(), 5u);
  inner->AddRef();
  table.reset();
  EXPECT_EQ(inner->Release(), 0u);
}

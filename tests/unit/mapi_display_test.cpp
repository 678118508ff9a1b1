#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "mapicode.h"
#include "mapidisp.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"

namespace {

HINSTANCE Module(ULONG_PTR n) { return reinterpret_cast<HINSTANCE>(n); }

DialogTemplate Details() {
  DialogTemplate dialog{"User Details", 6, 15, 232, 120, 0x50C00040, "MS Sans Serif", 8, {}};
  dialog.controls = {
      {DialogControlClass::GroupBox, 101, "User Information", 9, 7, 214, 82, 0x50000007},
      {DialogControlClass::Label, 121, "Display Name:", 16, 23, 51, 8, 0x50020000},
      {DialogControlClass::Edit, 104, "", 78, 20, 137, 12, 0x50810000},
  };
  return dialog;
}

// The page description a provider hands over: structures whose text offsets equal their own
// size and carry no text, so the texts must come from the template.
struct Page {
  DTBLPAGE page{sizeof(DTBLPAGE), 0, 0, 0};
  DTBLGROUPBOX group{sizeof(DTBLGROUPBOX), 0};
  DTBLLABEL label{sizeof(DTBLLABEL), 0};
  DTBLEDIT edit{sizeof(DTBLEDIT), 0, 260, PR_DISPLAY_NAME};
  char filter[2] = "*";
  DTCTL controls[4];
  DTPAGE description;

  Page() {
    controls[0] = {DTCT_PAGE, 0, nullptr, 0, nullptr, 0, {&page}};
    controls[1] = {DTCT_GROUPBOX, 0, nullptr, 0, nullptr, 101, {&group}};
    controls[2] = {DTCT_LABEL, 0, nullptr, 0, nullptr, 121, {&label}};
    controls[3] = {DTCT_EDIT, 0, nullptr, 0, filter, 104, {&edit}};
    description.cctl = 4;
    description.lpszResourceName = MAKEINTRESOURCE(100);
    description.ulItemID = 0;
    description.lpctl = controls;
  }
};

class DisplayTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = MAPIOutstandingBuffers();
    RegisterDialogTemplate(Module(0x1000), 100, Details());
  }
  void TearDown() override {
    UnregisterDialogTemplate(Module(0x1000), 100);
    EXPECT_EQ(MAPIOutstandingBuffers(), before_);
  }
  std::size_t before_ = 0;
};

ULONG Long(const SRow& row, ULONG tag) { return PpropFindProp(row.lpProps, row.cValues, tag)->Value.ul; }
const SBinary& Bytes(const SRow& row, ULONG tag) { return PpropFindProp(row.lpProps, row.cValues, tag)->Value.bin; }

template <class T>
T Structure(const SRow& row) {
  const SBinary& bin = Bytes(row, PR_CONTROL_STRUCTURE);
  EXPECT_GE(bin.cb, sizeof(T));
  T fixed;
  std::memcpy(&fixed, bin.lpb, sizeof fixed);
  return fixed;
}
std::string Text(const SRow& row, ULONG offset) {
  const SBinary& bin = Bytes(row, PR_CONTROL_STRUCTURE);
  EXPECT_LT(offset, bin.cb);
  return reinterpret_cast<const char*>(bin.lpb + offset);
}

TEST_F(DisplayTableTest, OneRowPerControlWithTheTemplatesTextsAndPlaces) {
  Page page;
  ComPtr<IMAPITable> table;
  ASSERT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x1000), 1,
                              &page.description, 0, table.put(), nullptr),
            S_OK);
  LPSRowSet rows = nullptr;
  ASSERT_EQ(table->QueryRows(100, 0, &rows), S_OK);
  ASSERT_EQ(rows->cRows, 4u);
  const SRow& pageRow = rows->aRow[0];
  EXPECT_EQ(Long(pageRow, PR_CONTROL_TYPE), DTCT_PAGE);
  EXPECT_EQ(Long(pageRow, PR_DELTAX), 232u);
  EXPECT_EQ(Long(pageRow, PR_DELTAY), 120u);
  EXPECT_EQ(Text(pageRow, Structure<DTBLPAGE>(pageRow).ulbLpszLabel), "User Details");
  EXPECT_EQ(Structure<DTBLPAGE>(pageRow).ulbLpszComponent, 0u);

  const SRow& group = *(rows->aRow + 1);
  EXPECT_EQ(Long(group, PR_CONTROL_TYPE), DTCT_GROUPBOX);
  EXPECT_EQ(Long(group, PR_XPOS), 9u);
  EXPECT_EQ(Long(group, PR_YPOS), 7u);
  EXPECT_EQ(Text(group, Structure<DTBLGROUPBOX>(group).ulbLpszLabel), "User Information");

  const SRow& label = *(rows->aRow + 2);
  EXPECT_EQ(Long(label, PR_CONTROL_TYPE), DTCT_LABEL);
  EXPECT_EQ(Text(label, Structure<DTBLLABEL>(label).ulbLpszLabel), "Display Name:");
  EXPECT_EQ(Long(label, PR_DELTAX), 51u);

  const SRow& edit = *(rows->aRow + 3);
  EXPECT_EQ(Long(edit, PR_CONTROL_TYPE), DTCT_EDIT);
  EXPECT_EQ(Long(edit, PR_CONTROL_FLAGS), 0u);  // not DT_EDITABLE: read-only
  const auto editStructure = Structure<DTBLEDIT>(edit);
  EXPECT_EQ(editStructure.ulPropTag, PR_DISPLAY_NAME);
  EXPECT_EQ(editStructure.ulNumCharsAllowed, 260u);
  EXPECT_EQ(Text(edit, editStructure.ulbLpszCharsAllowed), "*");
  EXPECT_EQ(Long(edit, PR_XPOS), 78u);
  const SBinary& id = Bytes(edit, PR_CONTROL_ID);
  ULONG itemId = 0;
  ASSERT_EQ(id.cb, sizeof itemId);
  std::memcpy(&itemId, id.lpb, sizeof itemId);
  EXPECT_EQ(itemId, 104u);
  // Every row has an instance key of its own, as in every MAPI table.
  std::set<std::string> keys;
  for (ULONG i = 0; i < rows->cRows; ++i) {
    const SPropValue* key = PpropFindProp(rows->aRow[i].lpProps, rows->aRow[i].cValues, PR_INSTANCE_KEY);
    ASSERT_NE(key, nullptr) << i;
    keys.emplace(reinterpret_cast<const char*>(key->Value.bin.lpb), key->Value.bin.cb);
  }
  EXPECT_EQ(keys.size(), rows->cRows);
  FreeProws(rows);
}

TEST_F(DisplayTableTest, UnknownModulesTemplatesAndControlsAreNotFound) {
  Page page;
  LPMAPITABLE table = reinterpret_cast<LPMAPITABLE>(0x1);
  EXPECT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x2000), 1,
                              &page.description, 0, &table, nullptr),
            MAPI_E_NOT_FOUND);
  EXPECT_EQ(table, nullptr);
  page.description.lpszResourceName = MAKEINTRESOURCE(101);
  EXPECT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x1000), 1,
                              &page.description, 0, &table, nullptr),
            MAPI_E_NOT_FOUND);
  page.description.lpszResourceName = const_cast<LPSTR>("#100");  // the resource script's spelling
  ComPtr<IMAPITable> found;
  EXPECT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x1000), 1,
                              &page.description, 0, found.put(), nullptr),
            S_OK);
  page.controls[2].ulItemID = 999;  // a control the template lacks
  EXPECT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x1000), 1,
                              &page.description, 0, &table, nullptr),
            MAPI_E_NOT_FOUND);
  EXPECT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x1000), 1,
                              &page.description, MAPI_UNICODE, &table, nullptr),
            MAPI_E_BAD_CHARWIDTH);
  EXPECT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x1000), 0,
                              &page.description, 0, &table, nullptr),
            MAPI_E_INVALID_PARAMETER);
}

TEST_F(DisplayTableTest, TheTableDataComesAlongWhenAsked) {
  Page page;
  ComPtr<IMAPITable> table;
  ComPtr<ITableData> data;
  ASSERT_EQ(BuildDisplayTable(MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, Module(0x1000), 1,
                              &page.description, 0, table.put(), data.put()),
            S_OK);
  ASSERT_TRUE(data);
  LPSRow row = nullptr;
  ASSERT_EQ(data->HrEnumRow(3, &row), S_OK);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(PpropFindProp(row->lpProps, row->cValues, PR_CONTROL_TYPE)->Value.ul, DTCT_EDIT);
  MAPIFreeBuffer(row);
}

}  // namespace

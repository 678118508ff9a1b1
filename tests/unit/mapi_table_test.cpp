#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "mapicode.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitable.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// A row of the kind the provider writes: a 4-byte instance key, a name and a number.
struct TestRow {
  ULONG key;
  std::string name;
  LONG number;

  std::vector<SPropValue> Props(BYTE* keyBytes) const {
    std::memcpy(keyBytes, &key, sizeof key);
    std::vector<SPropValue> props(3);
    props[0].ulPropTag = PR_INSTANCE_KEY;
    props[0].Value.bin = {sizeof key, keyBytes};
    props[1].ulPropTag = PR_DISPLAY_NAME;
    props[1].Value.lpszA = const_cast<LPSTR>(name.c_str());
    props[2].ulPropTag = PR_DISPLAY_TYPE;
    props[2].Value.l = number;
    return props;
  }
};

[[maybe_unused]] SPropValue KeyValue(ULONG key, BYTE* bytes) {
  std::memcpy(bytes, &key, sizeof key);
  SPropValue value{};
  value.ulPropTag = PR_INSTANCE_KEY;
  value.Value.bin = {sizeof key, bytes};
  return value;
}

HRESULT Put(ITableData* data, const TestRow& row) {
  BYTE keyBytes[4];
  auto props = row.Props(keyBytes);
  SRow srow{0, static_cast<ULONG>(props.size()), props.data()};
  return data->HrModifyRow(&srow);
}

struct RowSet {
  LPSRowSet p = nullptr;
  RowSet() = default;
  RowSet(const RowSet&) = delete;
  ~RowSet() { FreeProws(p); }
};

// Table data with the columns PR_DISPLAY_NAME, PR_INSTANCE_KEY, PR_DISPLAY_TYPE.
class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    buffersBefore_ = MAPIOutstandingBuffers();
    SizedSPropTagArray(3, columns) = {3, {PR_DISPLAY_NAME, PR_INSTANCE_KEY, PR_DISPLAY_TYPE}};
    ASSERT_EQ(CreateTable(&IID_IMAPITableData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                          TBLTYPE_DYNAMIC, PR_INSTANCE_KEY, reinterpret_cast<LPSPropTagArray>(&columns), data_.put()),
              S_OK);
  }
  void TearDown() override {
    data_.reset();
    EXPECT_EQ(MAPIOutstandingBuffers(), buffersBefore_) << "rows handed out were not all freed";
  }

  ComPtr<IMAPITable> View() {
    ComPtr<IMAPITable> view;
    EXPECT_EQ(data_->HrGetView(nullptr, nullptr, 0, view.put()), S_OK);
    return view;
  }

  // The display names of the next `count` rows (QueryRows with `count`).
  static std::vector<std::string> Names(IMAPITable* view, LONG count, ULONG flags = 0) {
    RowSet rows;
    EXPECT_EQ(view->QueryRows(count, flags, &rows.p), S_OK);
    std::vector<std::string> names;
    if (!rows.p) return names;
    for (ULONG i = 0; i < rows.p->cRows; ++i) {
      const SPropValue* name = PpropFindProp(rows.p->aRow[i].lpProps, rows.p->aRow[i].cValues, PR_DISPLAY_NAME);
      names.push_back(name ? name->Value.lpszA : "<none>");
    }
    return names;
  }

  static ULONG Count(IMAPITable* view) {
    ULONG count = 0;
    EXPECT_EQ(view->GetRowCount(0, &count), S_OK);
    return count;
  }

  static ULONG Position(IMAPITable* view) {
    ULONG row = 0, numerator = 0, denominator = 0;
    EXPECT_EQ(view->QueryPosition(&row, &numerator, &denominator), S_OK);
    return row;
  }

  ComPtr<ITableData> data_;
  std::size_t buffersBefore_ = 0;
};

TEST_F(TableTest, ModifyRowAddsAndReplacesByIndexColumn) {
  ASSERT_EQ(Put(data_.get(), {1, "Anna", 10}), S_OK);
  ASSERT_EQ(Put(data_.get(), {2, "Bert", 20}), S_OK);
  ASSERT_EQ(Put(data_.get(), {1, "Anna Maria", 11}), S_OK);  // same key: replaced in place
  auto view = View();
  EXPECT_EQ(Count(view.get()), 2u);
  RowSet rows;
  ASSERT_EQ(view->QueryRows(10, 0, &rows.p), S_OK);
  ASSERT_EQ(rows.p->cRows, 2u);
  const SRow& first = rows.p->aRow[0];
  ASSERT_EQ(first.cValues, 3u);  // the default columns, in their order
  EXPECT_EQ(first.lpProps[0].ulPropTag, PR_DISPLAY_NAME);
  EXPECT_STREQ(first.lpProps[0].Value.lpszA, "Anna Maria");
  EXPECT_EQ(first.lpProps[1].ulPropTag, PR_INSTANCE_KEY);
  EXPECT_EQ(first.lpProps[1].Value.bin.cb, 4u);
  EXPECT_EQ(first.lpProps[2].Value.l, 11);
  EXPECT_STREQ(rows.p->aRow[1].lpProps[0].Value.lpszA, "Bert");
}

TEST_F(TableTest, RowsWithoutTheIndexColumnAreRefused) {
  SPropValue name{};
  name.ulPropTag = PR_DISPLAY_NAME;
  name.Value.lpszA = const_cast<LPSTR>("x");
  SRow row{0, 1, &name};
  EXPECT_EQ(data_->HrModifyRow(&row), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(data_->HrModifyRow(nullptr), MAPI_E_INVALID_PARAMETER);
}

}  // namespace

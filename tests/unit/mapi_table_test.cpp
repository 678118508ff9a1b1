#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
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
#include "people.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

// A row of the kind the provider writes: a 4-byte instance key, a name and a number; some rows
// also carry a binary (PR_SEARCH_KEY) and a second number (PR_CONTAINER_FLAGS).
struct TestRow {
  ULONG key;
  std::optional<std::string> name;
  LONG number;
  std::optional<std::string> bytes = std::nullopt;
  std::optional<LONG> other = std::nullopt;

  std::vector<SPropValue> Props(BYTE* keyBytes) const {
    std::memcpy(keyBytes, &key, sizeof key);
    std::vector<SPropValue> props;
    SPropValue v{};
    v.ulPropTag = PR_INSTANCE_KEY;
    v.Value.bin = {sizeof key, keyBytes};
    props.push_back(v);
    if (name) {
      v.ulPropTag = PR_DISPLAY_NAME;
      v.Value.lpszA = const_cast<LPSTR>(name->c_str());
      props.push_back(v);
    }
    v.ulPropTag = PR_DISPLAY_TYPE;
    v.Value.l = number;
    props.push_back(v);
    if (bytes) {
      v.ulPropTag = PR_SEARCH_KEY;
      v.Value.bin = {static_cast<ULONG>(bytes->size()), reinterpret_cast<LPBYTE>(const_cast<char*>(bytes->data()))};
      props.push_back(v);
    }
    if (other) {
      v.ulPropTag = PR_CONTAINER_FLAGS;
      v.Value.l = *other;
      props.push_back(v);
    }
    return props;
  }
};

SPropValue KeyValue(ULONG key, BYTE* bytes) {
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
  EXPECT_STREQ((rows.p->aRow + 1)->lpProps[0].Value.lpszA, "Bert");
}

TEST_F(TableTest, RowsWithoutTheIndexColumnAreRefused) {
  SPropValue name{};
  name.ulPropTag = PR_DISPLAY_NAME;
  name.Value.lpszA = const_cast<LPSTR>("x");
  SRow row{0, 1, &name};
  EXPECT_EQ(data_->HrModifyRow(&row), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(data_->HrModifyRow(nullptr), MAPI_E_INVALID_PARAMETER);
}

// Builds restrictions whose parts live as long as the builder.
class Restrictions {
 public:
  SRestriction* Content(ULONG tag, ULONG fuzzy, std::string text) {
    SRestriction* r = New(RES_CONTENT);
    r->res.resContent = {fuzzy, tag, String(tag, std::move(text))};
    return r;
  }
  SRestriction* ContentBytes(ULONG tag, ULONG fuzzy, std::string bytes) {
    SRestriction* r = New(RES_CONTENT);
    strings_.push_back(std::move(bytes));
    SPropValue& v = values_.emplace_back();
    v.ulPropTag = tag;
    v.Value.bin = {static_cast<ULONG>(strings_.back().size()), reinterpret_cast<LPBYTE>(strings_.back().data())};
    r->res.resContent = {fuzzy, tag, &v};
    return r;
  }
  SRestriction* Property(ULONG relop, ULONG tag, LONG value) {
    SRestriction* r = New(RES_PROPERTY);
    SPropValue& v = values_.emplace_back();
    v.ulPropTag = tag;
    v.Value.l = value;
    r->res.resProperty = {relop, tag, &v};
    return r;
  }
  SRestriction* Property(ULONG relop, ULONG tag, std::string text) {
    SRestriction* r = New(RES_PROPERTY);
    r->res.resProperty = {relop, tag, String(tag, std::move(text))};
    return r;
  }
  SRestriction* Compare(ULONG relop, ULONG tag1, ULONG tag2) {
    SRestriction* r = New(RES_COMPAREPROPS);
    r->res.resCompareProps = {relop, tag1, tag2};
    return r;
  }
  SRestriction* Bitmask(ULONG rel, ULONG tag, ULONG mask) {
    SRestriction* r = New(RES_BITMASK);
    r->res.resBitMask = {rel, tag, mask};
    return r;
  }
  SRestriction* Size(ULONG relop, ULONG tag, ULONG cb) {
    SRestriction* r = New(RES_SIZE);
    r->res.resSize = {relop, tag, cb};
    return r;
  }
  SRestriction* Exist(ULONG tag) {
    SRestriction* r = New(RES_EXIST);
    r->res.resExist = {0, tag, 0};
    return r;
  }
  SRestriction* Not(SRestriction* inner) {
    SRestriction* r = New(RES_NOT);
    r->res.resNot = {0, inner};
    return r;
  }
  SRestriction* And(std::vector<SRestriction*> parts) { return List(RES_AND, parts); }
  SRestriction* Or(std::vector<SRestriction*> parts) { return List(RES_OR, parts); }

 private:
  SRestriction* New(ULONG rt) {
    SRestriction& r = restrictions_.emplace_back();
    r.rt = rt;
    return &r;
  }
  SPropValue* String(ULONG tag, std::string text) {
    strings_.push_back(std::move(text));
    SPropValue& v = values_.emplace_back();
    v.ulPropTag = tag;
    v.Value.lpszA = strings_.back().data();
    return &v;
  }
  SRestriction* List(ULONG rt, const std::vector<SRestriction*>& parts) {
    auto& list = lists_.emplace_back();
    for (SRestriction* part : parts) list.push_back(*part);
    SRestriction* r = New(rt);
    r->res.resAnd = {static_cast<ULONG>(list.size()), list.data()};
    return r;
  }
  std::deque<SRestriction> restrictions_;
  std::deque<SPropValue> values_;
  std::deque<std::string> strings_;
  std::deque<std::vector<SRestriction>> lists_;
};

// The keys of the rows a view shows, from its cursor on.
std::vector<ULONG> Keys(IMAPITable* view) {
  SizedSPropTagArray(1, columns) = {1, {PR_INSTANCE_KEY}};
  EXPECT_EQ(view->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
  RowSet rows;
  EXPECT_EQ(view->QueryRows(1000, 0, &rows.p), S_OK);
  std::vector<ULONG> keys;
  for (ULONG i = 0; rows.p && i < rows.p->cRows; ++i) {
    ULONG key = 0;
    std::memcpy(&key, rows.p->aRow[i].lpProps[0].Value.bin.lpb, sizeof key);
    keys.push_back(key);
  }
  return keys;
}

const std::vector<TestRow> kPeople = {
    {1, "John Smith", 1, "\x01\x02\x03", 1},
    {2, "Anna Smithers", 2, "ABC", 5},
    {3, "Osmic", 3, "abc"},
    {4, "Bob", 4},
    {5, "m\xC3\xBCller", 5},       // müller
    {6, "M\xC3\x9CLLER Hans", 6},  // MÜLLER Hans
    {7, "", 7},
    {8, std::nullopt, 8, std::nullopt, 8},  // no name at all
};

struct RestrictCase {
  const char* what;
  std::function<SRestriction*(Restrictions&)> make;
  std::vector<ULONG> keys;
};

TEST_F(TableTest, RestrictionsSelectTheRowsMapiDescribes) {
  for (const auto& person : kPeople) ASSERT_EQ(Put(data_.get(), person), S_OK);
  const ULONG ci = FL_IGNORECASE;
  const std::vector<RestrictCase> cases = {
      {"substring, any case", [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_SUBSTRING | ci, "smi"); }, {1, 2, 3}},
      {"substring, exact case", [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_SUBSTRING, "Smi"); }, {1, 2}},
      {"substring inside", [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_SUBSTRING, "mit"); }, {1, 2}},
      {"prefix is not substring", [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_PREFIX, "mit"); }, {}},
      {"prefix, any case", [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_PREFIX | ci, "JOHN"); }, {1}},
      {"full string, any case", [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_FULLSTRING | ci, "bob"); }, {4}},
      {"full string is not prefix", [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_FULLSTRING, "Bo"); }, {}},
      {"locale folding",
       [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_SUBSTRING | ci, "m\xC3\xBCller"); },
       {5, 6}},
      {"FL_LOOSE folds case",
       [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_SUBSTRING | FL_LOOSE, "M\xC3\x9CLLER"); },
       {5, 6}},
      {"empty substring: every row with the column",
       [&](auto& r) { return r.Content(PR_DISPLAY_NAME, FL_SUBSTRING, ""); },
       {1, 2, 3, 4, 5, 6, 7}},
      {"binaries never fold case",
       [&](auto& r) { return r.ContentBytes(PR_SEARCH_KEY, FL_SUBSTRING | ci, "abc"); },
       {3}},
      {"binary substring", [&](auto& r) { return r.ContentBytes(PR_SEARCH_KEY, FL_SUBSTRING, "B"); }, {2}},
      {"binary prefix", [&](auto& r) { return r.ContentBytes(PR_SEARCH_KEY, FL_PREFIX, "\x01\x02"); }, {1}},
      {"string equal respects case", [&](auto& r) { return r.Property(RELOP_EQ, PR_DISPLAY_NAME, "bob"); }, {}},
      {"string equal", [&](auto& r) { return r.Property(RELOP_EQ, PR_DISPLAY_NAME, "Bob"); }, {4}},
      {"less", [&](auto& r) { return r.Property(RELOP_LT, PR_DISPLAY_TYPE, 3); }, {1, 2}},
      {"less or equal", [&](auto& r) { return r.Property(RELOP_LE, PR_DISPLAY_TYPE, 3); }, {1, 2, 3}},
      {"greater", [&](auto& r) { return r.Property(RELOP_GT, PR_DISPLAY_TYPE, 6); }, {7, 8}},
      {"greater or equal", [&](auto& r) { return r.Property(RELOP_GE, PR_DISPLAY_TYPE, 7); }, {7, 8}},
      {"equal", [&](auto& r) { return r.Property(RELOP_EQ, PR_DISPLAY_TYPE, 4); }, {4}},
      {"not equal", [&](auto& r) { return r.Property(RELOP_NE, PR_DISPLAY_TYPE, 4); }, {1, 2, 3, 5, 6, 7, 8}},
      {"regular expression", [&](auto& r) { return r.Property(RELOP_RE, PR_DISPLAY_NAME, "^[JO]"); }, {1, 3}},
      {"a missing property never matches, not even NE",
       [&](auto& r) { return r.Property(RELOP_NE, PR_CONTAINER_FLAGS, 1); },
       {2, 8}},
      {"exists", [&](auto& r) { return r.Exist(PR_CONTAINER_FLAGS); }, {1, 2, 8}},
      {"not exists", [&](auto& r) { return r.Not(r.Exist(PR_CONTAINER_FLAGS)); }, {3, 4, 5, 6, 7}},
      {"bitmask non-zero", [&](auto& r) { return r.Bitmask(BMR_NEZ, PR_DISPLAY_TYPE, 1); }, {1, 3, 5, 7}},
      {"bitmask zero", [&](auto& r) { return r.Bitmask(BMR_EQZ, PR_DISPLAY_TYPE, 1); }, {2, 4, 6, 8}},
      {"size counts the terminator", [&](auto& r) { return r.Size(RELOP_LE, PR_DISPLAY_NAME, 4); }, {4, 7}},
      {"size of a binary", [&](auto& r) { return r.Size(RELOP_EQ, PR_SEARCH_KEY, 3); }, {1, 2, 3}},
      {"compare two columns",
       [&](auto& r) { return r.Compare(RELOP_EQ, PR_DISPLAY_TYPE, PR_CONTAINER_FLAGS); },
       {1, 8}},
      {"compare, less", [&](auto& r) { return r.Compare(RELOP_LT, PR_DISPLAY_TYPE, PR_CONTAINER_FLAGS); }, {2}},
      {"and",
       [&](auto& r) {
         return r.And({r.Content(PR_DISPLAY_NAME, FL_SUBSTRING | ci, "smi"), r.Property(RELOP_GE, PR_DISPLAY_TYPE, 2)});
       },
       {2, 3}},
      {"or",
       [&](auto& r) {
         return r.Or({r.Content(PR_DISPLAY_NAME, FL_FULLSTRING, "Bob"), r.Property(RELOP_EQ, PR_DISPLAY_TYPE, 1)});
       },
       {1, 4}},
      {"empty and matches all", [&](auto& r) { return r.And({}); }, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"empty or matches none", [&](auto& r) { return r.Or({}); }, {}},
  };
  auto view = View();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Restrictions r;
    ASSERT_EQ(view->Restrict(c.make(r), 0), S_OK);
    EXPECT_EQ(Keys(view.get()), c.keys);
    EXPECT_EQ(Count(view.get()), c.keys.size());
  }
  ASSERT_EQ(view->Restrict(nullptr, 0), S_OK);  // no restriction: every row again
  EXPECT_EQ(Count(view.get()), kPeople.size());
}

TEST_F(TableTest, RestrictionsTheTablesCannotEvaluateAreRefused) {
  auto view = View();
  Restrictions r;
  EXPECT_EQ(view->Restrict(r.Content(PR_DISPLAY_NAME, 3, "x"), 0), MAPI_E_TOO_COMPLEX);
  EXPECT_EQ(view->Restrict(r.Compare(RELOP_EQ, PR_DISPLAY_NAME, PR_DISPLAY_TYPE), 0), MAPI_E_TOO_COMPLEX);
  EXPECT_EQ(view->Restrict(r.Property(RELOP_RE, PR_DISPLAY_NAME, "(unclosed"), 0), MAPI_E_INVALID_PARAMETER);
  SRestriction noValue{};
  noValue.rt = RES_CONTENT;
  noValue.res.resContent = {FL_SUBSTRING, PR_DISPLAY_NAME, nullptr};
  EXPECT_EQ(view->Restrict(&noValue, 0), MAPI_E_INVALID_PARAMETER);
  SRestriction sub{};
  sub.rt = RES_SUBRESTRICTION;
  EXPECT_EQ(view->Restrict(&sub, 0), MAPI_E_TOO_COMPLEX);
  // A refused restriction leaves the view as it was.
  ASSERT_EQ(Put(data_.get(), {1, "x", 1}), S_OK);
  EXPECT_EQ(Count(view.get()), 1u);
}

TEST_F(TableTest, ColumnsTheRowsLackComeBackAsErrors) {
  ASSERT_EQ(Put(data_.get(), {1, "Anna", 10}), S_OK);
  auto view = View();
  SizedSPropTagArray(3, columns) = {3, {PR_EMAIL_ADDRESS, PROP_TAG(PT_UNSPECIFIED, 0x3001), PR_DISPLAY_TYPE}};
  ASSERT_EQ(view->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0), S_OK);
  RowSet rows;
  ASSERT_EQ(view->QueryRows(1, 0, &rows.p), S_OK);
  ASSERT_EQ(rows.p->cRows, 1u);
  const SPropValue* props = rows.p->aRow[0].lpProps;
  EXPECT_EQ(props[0].ulPropTag, PROP_TAG(PT_ERROR, 0x3003));
  EXPECT_EQ(props[0].Value.err, MAPI_E_NOT_FOUND);
  EXPECT_EQ(props[1].ulPropTag, PR_DISPLAY_NAME);  // PT_UNSPECIFIED takes the row's own type
  EXPECT_STREQ(props[1].Value.lpszA, "Anna");
  EXPECT_EQ(props[2].Value.l, 10);

  LPSPropTagArray current = nullptr;
  ASSERT_EQ(view->QueryColumns(0, &current), S_OK);
  EXPECT_THAT(std::vector<ULONG>(current->aulPropTag, current->aulPropTag + current->cValues),
              ElementsAre(PR_EMAIL_ADDRESS, PROP_TAG(PT_UNSPECIFIED, 0x3001), PR_DISPLAY_TYPE));
  MAPIFreeBuffer(current);
  ASSERT_EQ(Put(data_.get(), {2, "Bert", 1, "k", 3}), S_OK);
  ASSERT_EQ(view->QueryColumns(TBL_ALL_COLUMNS, &current), S_OK);
  EXPECT_THAT(std::vector<ULONG>(current->aulPropTag, current->aulPropTag + current->cValues),
              ElementsAre(PR_DISPLAY_NAME, PR_INSTANCE_KEY, PR_DISPLAY_TYPE, PR_SEARCH_KEY, PR_CONTAINER_FLAGS));
  MAPIFreeBuffer(current);
  EXPECT_EQ(view->SetColumns(nullptr, 0), MAPI_E_INVALID_PARAMETER);
}

TEST_F(TableTest, ColumnsRowsBringAreInTheColumnSetOfViewsOpenedLater) {
  auto before = View();
  ASSERT_EQ(Put(data_.get(), {1, "Anna", 10, "k", 3}), S_OK);
  auto columns = [](IMAPITable* view, ULONG flags) {
    LPSPropTagArray tags = nullptr;
    EXPECT_EQ(view->QueryColumns(flags, &tags), S_OK);
    std::vector<ULONG> result(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    MAPIFreeBuffer(tags);
    return result;
  };
  // A view made before keeps its column set and offers the new columns among all.
  EXPECT_THAT(columns(before.get(), 0), ElementsAre(PR_DISPLAY_NAME, PR_INSTANCE_KEY, PR_DISPLAY_TYPE));
  EXPECT_THAT(columns(before.get(), TBL_ALL_COLUMNS),
              ElementsAre(PR_DISPLAY_NAME, PR_INSTANCE_KEY, PR_DISPLAY_TYPE, PR_SEARCH_KEY, PR_CONTAINER_FLAGS));
  // A view made after shows them.
  auto after = View();
  EXPECT_THAT(columns(after.get(), 0),
              ElementsAre(PR_DISPLAY_NAME, PR_INSTANCE_KEY, PR_DISPLAY_TYPE, PR_SEARCH_KEY, PR_CONTAINER_FLAGS));
  RowSet rows;
  ASSERT_EQ(after->QueryRows(1, 0, &rows.p), S_OK);
  ASSERT_EQ(rows.p->cRows, 1u);
  EXPECT_EQ(rows.p->aRow[0].cValues, 5u);
  EXPECT_EQ(rows.p->aRow[0].lpProps[4].Value.l, 3);
}

TEST_F(TableTest, QueryRowsMovesTheCursorForwardAndBackward) {
  for (ULONG i = 0; i < 10; ++i) ASSERT_EQ(Put(data_.get(), {i, Numbered("r", i), LONG(i)}), S_OK);
  auto view = View();
  EXPECT_THAT(Names(view.get(), 3), ElementsAre("r0", "r1", "r2"));
  EXPECT_EQ(Position(view.get()), 3u);
  EXPECT_THAT(Names(view.get(), 2, TBL_NOADVANCE), ElementsAre("r3", "r4"));
  EXPECT_EQ(Position(view.get()), 3u);
  EXPECT_THAT(Names(view.get(), -2), ElementsAre("r1", "r2"));  // back two, in table order
  EXPECT_EQ(Position(view.get()), 1u);
  EXPECT_THAT(Names(view.get(), -5), ElementsAre("r0"));  // only one row before the cursor
  EXPECT_EQ(Position(view.get()), 0u);
  EXPECT_THAT(Names(view.get(), -1), ElementsAre());  // at the beginning
  EXPECT_THAT(Names(view.get(), 100), ElementsAre("r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9"));
  EXPECT_THAT(Names(view.get(), 1), ElementsAre());  // at the end: an empty set, still freed the MAPI way
  LPSRowSet rows = reinterpret_cast<LPSRowSet>(0x1);
  EXPECT_EQ(view->QueryRows(0, 0, &rows), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(rows, nullptr);
}

TEST_F(TableTest, SeekRowAndPositions) {
  for (ULONG i = 0; i < 10; ++i) ASSERT_EQ(Put(data_.get(), {i, Numbered("r", i), LONG(i)}), S_OK);
  auto view = View();
  LONG sought = 0;
  EXPECT_EQ(view->SeekRow(BOOKMARK_BEGINNING, 4, &sought), S_OK);
  EXPECT_EQ(sought, 4);
  EXPECT_EQ(view->SeekRow(BOOKMARK_CURRENT, 3, &sought), S_OK);
  EXPECT_EQ(sought, 3);
  EXPECT_THAT(Names(view.get(), 1), ElementsAre("r7"));
  EXPECT_EQ(view->SeekRow(BOOKMARK_CURRENT, 50, &sought), S_OK);
  EXPECT_EQ(sought, 2);  // only two rows were left
  EXPECT_EQ(view->SeekRow(BOOKMARK_END, -3, &sought), S_OK);
  EXPECT_EQ(sought, -3);
  EXPECT_THAT(Names(view.get(), 1), ElementsAre("r7"));
  EXPECT_EQ(view->SeekRow(BOOKMARK_CURRENT, -50, nullptr), S_OK);
  EXPECT_EQ(Position(view.get()), 0u);

  EXPECT_EQ(view->SeekRowApprox(1, 2), S_OK);
  ULONG row = 0, numerator = 0, denominator = 0;
  ASSERT_EQ(view->QueryPosition(&row, &numerator, &denominator), S_OK);
  EXPECT_EQ(row, 5u);
  EXPECT_EQ(numerator, 5u);
  EXPECT_EQ(denominator, 10u);
  EXPECT_EQ(view->SeekRowApprox(3, 3), S_OK);
  EXPECT_EQ(Position(view.get()), 10u);
  EXPECT_EQ(view->SeekRowApprox(1, 0), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(view->SeekRow(12345, 0, nullptr), MAPI_E_INVALID_BOOKMARK);
}

TEST_F(TableTest, FindRowSearchesForwardAndBackward) {
  const char* names[] = {"Ann", "Bob", "Ann Lee", "Carl", "Ann Bo"};
  for (ULONG i = 0; i < 5; ++i) ASSERT_EQ(Put(data_.get(), {i, names[i], LONG(i)}), S_OK);
  auto view = View();
  Restrictions r;
  SRestriction* ann = r.Content(PR_DISPLAY_NAME, FL_PREFIX, "Ann");
  ASSERT_EQ(view->FindRow(ann, BOOKMARK_BEGINNING, 0), S_OK);
  EXPECT_EQ(Position(view.get()), 0u);
  ASSERT_EQ(view->SeekRow(BOOKMARK_CURRENT, 1, nullptr), S_OK);
  ASSERT_EQ(view->FindRow(ann, BOOKMARK_CURRENT, 0), S_OK);  // forward: from the cursor's row on
  EXPECT_EQ(Position(view.get()), 2u);
  ASSERT_EQ(view->FindRow(ann, BOOKMARK_END, DIR_BACKWARD), S_OK);
  EXPECT_EQ(Position(view.get()), 4u);
  ASSERT_EQ(view->FindRow(ann, BOOKMARK_CURRENT, DIR_BACKWARD), S_OK);  // backward: from the row before
  EXPECT_EQ(Position(view.get()), 2u);
  SRestriction* nobody = r.Content(PR_DISPLAY_NAME, FL_PREFIX, "Zed");
  EXPECT_EQ(view->FindRow(nobody, BOOKMARK_BEGINNING, 0), MAPI_E_NOT_FOUND);
  EXPECT_EQ(Position(view.get()), 2u);  // a failed search leaves the cursor
  EXPECT_EQ(view->FindRow(nullptr, BOOKMARK_BEGINNING, 0), MAPI_E_INVALID_PARAMETER);
}

TEST_F(TableTest, SortTableOrdersBySeveralKeysBothWays) {
  const std::vector<TestRow> rows = {{1, "bert", 2}, {2, "Anna", 1},       {3, "anna", 2},
                                     {4, "Carl", 1}, {5, std::nullopt, 1}, {6, "BERT", 1}};
  for (const auto& row : rows) ASSERT_EQ(Put(data_.get(), row), S_OK);
  auto view = View();
  SizedSSortOrderSet(2, byNameThenType) = {
      2, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}, {PR_DISPLAY_TYPE, TABLE_SORT_DESCEND}}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byNameThenType), 0), S_OK);
  // Case does not order names; the second key orders equal names; a row without the
  // column comes last.
  EXPECT_EQ(Keys(view.get()), (std::vector<ULONG>{3, 2, 1, 6, 4, 5}));

  SizedSSortOrderSet(2, byTypeThenNameDown) = {
      2, 0, 0, {{PR_DISPLAY_TYPE, TABLE_SORT_ASCEND}, {PR_DISPLAY_NAME, TABLE_SORT_DESCEND}}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byTypeThenNameDown), 0), S_OK);
  EXPECT_EQ(Keys(view.get()), (std::vector<ULONG>{5, 4, 6, 2, 1, 3}));

  LPSSortOrderSet order = nullptr;
  ASSERT_EQ(view->QuerySortOrder(&order), S_OK);
  ASSERT_EQ(order->cSorts, 2u);
  EXPECT_EQ((order->aSort + 1)->ulPropTag, PR_DISPLAY_NAME);
  EXPECT_EQ((order->aSort + 1)->ulOrder, TABLE_SORT_DESCEND);
  MAPIFreeBuffer(order);

  SizedSSortOrderSet(1, categorized) = {1, 1, 1, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}}};
  EXPECT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&categorized), 0), MAPI_E_TOO_COMPLEX);
  SizedSSortOrderSet(0, none) = {0, 0, 0, {}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&none), 0), S_OK);  // back to insertion order
  EXPECT_EQ(Keys(view.get()), (std::vector<ULONG>{1, 2, 3, 4, 5, 6}));

  ComPtr<IMAPITable> sorted;
  ASSERT_EQ(data_->HrGetView(reinterpret_cast<LPSSortOrderSet>(&byNameThenType), nullptr, 0, sorted.put()), S_OK);
  EXPECT_EQ(Keys(sorted.get()), (std::vector<ULONG>{3, 2, 1, 6, 4, 5}));
}

TEST_F(TableTest, AViewSeesRowsAddedReplacedAndDeletedAfterItWasMade) {
  auto view = View();
  EXPECT_EQ(Count(view.get()), 0u);
  ASSERT_EQ(Put(data_.get(), {1, "Anna", 1}), S_OK);
  ASSERT_EQ(Put(data_.get(), {2, "Bert", 2}), S_OK);
  EXPECT_THAT(Names(view.get(), 10, TBL_NOADVANCE), ElementsAre("Anna", "Bert"));
  ASSERT_EQ(Put(data_.get(), {1, "Anita", 1}), S_OK);
  EXPECT_THAT(Names(view.get(), 10, TBL_NOADVANCE), ElementsAre("Anita", "Bert"));
  BYTE bytes[4];
  SPropValue key = KeyValue(1, bytes);
  ASSERT_EQ(data_->HrDeleteRow(&key), S_OK);
  EXPECT_EQ(data_->HrDeleteRow(&key), MAPI_E_NOT_FOUND);
  EXPECT_THAT(Names(view.get(), 10, TBL_NOADVANCE), ElementsAre("Bert"));
}

TEST_F(TableTest, ADeletedRowLeavesARestrictedSortedViewAndTheCursorStaysConsistent) {
  const char* names[] = {"Smith, Eve", "Jones", "Smith, Al", "Smithers", "Brown", "Asmith"};
  for (ULONG i = 0; i < 6; ++i) ASSERT_EQ(Put(data_.get(), {i, names[i], LONG(i)}), S_OK);
  auto view = View();
  Restrictions r;
  ASSERT_EQ(view->Restrict(r.Content(PR_DISPLAY_NAME, FL_SUBSTRING | FL_IGNORECASE, "smith"), 0), S_OK);
  SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0), S_OK);
  EXPECT_THAT(Names(view.get(), 2), ElementsAre("Asmith", "Smith, Al"));  // cursor now on "Smith, Eve"

  BYTE bytes[4];
  SPropValue key = KeyValue(2, bytes);  // "Smith, Al", before the cursor
  ASSERT_EQ(data_->HrDeleteRow(&key), S_OK);
  EXPECT_EQ(Count(view.get()), 3u);
  EXPECT_EQ(Position(view.get()), 1u);                       // still on "Smith, Eve", one place earlier now
  ASSERT_EQ(Put(data_.get(), {9, "Aaron Smith", 9}), S_OK);  // a new row before the cursor
  EXPECT_EQ(Position(view.get()), 2u);
  key = KeyValue(0, bytes);  // the cursor's own row: the cursor moves to the next one
  ASSERT_EQ(data_->HrDeleteRow(&key), S_OK);
  EXPECT_THAT(Names(view.get(), 10), ElementsAre("Smithers"));
  ASSERT_EQ(view->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
  EXPECT_THAT(Names(view.get(), 10), ElementsAre("Aaron Smith", "Asmith", "Smithers"));
  ASSERT_EQ(Put(data_.get(), {4, "Brownsmith", 4}), S_OK);  // replaced into the restriction
  ASSERT_EQ(Put(data_.get(), {3, "Smythe", 3}), S_OK);      // replaced out of it
  ASSERT_EQ(view->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
  EXPECT_THAT(Names(view.get(), 10), ElementsAre("Aaron Smith", "Asmith", "Brownsmith"));
}

TEST_F(TableTest, BookmarksFollowTheirRow) {
  for (ULONG i = 0; i < 5; ++i) ASSERT_EQ(Put(data_.get(), {i, Numbered("r", i), LONG(i)}), S_OK);
  auto view = View();
  ASSERT_EQ(view->SeekRow(BOOKMARK_BEGINNING, 2, nullptr), S_OK);
  BOOKMARK mark = 0;
  ASSERT_EQ(view->CreateBookmark(&mark), S_OK);
  BYTE bytes[4];
  SPropValue key = KeyValue(0, bytes);
  ASSERT_EQ(data_->HrDeleteRow(&key), S_OK);
  ASSERT_EQ(view->SeekRow(mark, 0, nullptr), S_OK);
  EXPECT_THAT(Names(view.get(), 1), ElementsAre("r2"));
  key = KeyValue(2, bytes);
  ASSERT_EQ(data_->HrDeleteRow(&key), S_OK);
  EXPECT_EQ(view->SeekRow(mark, 0, nullptr), MAPI_W_POSITION_CHANGED);  // its row is gone
  EXPECT_THAT(Names(view.get(), 1), ElementsAre("r3"));
  EXPECT_EQ(view->FreeBookmark(mark), S_OK);
  EXPECT_EQ(view->FreeBookmark(mark), MAPI_E_INVALID_BOOKMARK);
  EXPECT_EQ(view->FreeBookmark(BOOKMARK_CURRENT), S_OK);
}

TEST_F(TableTest, TheCursorAndABookmarkOnTheFirstRowFollowIt) {
  ASSERT_EQ(Put(data_.get(), {1, "m", 1}), S_OK);
  ASSERT_EQ(Put(data_.get(), {2, "p", 2}), S_OK);
  auto view = View();
  SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0), S_OK);
  BOOKMARK mark = 0;
  ASSERT_EQ(view->CreateBookmark(&mark), S_OK);    // on "m", the first row
  ASSERT_EQ(Put(data_.get(), {3, "a", 3}), S_OK);  // sorts before it
  // The cursor stays on its row, now the second.
  EXPECT_THAT(Names(view.get(), 1, TBL_NOADVANCE), ElementsAre("m"));
  EXPECT_EQ(Position(view.get()), 1u);
  ASSERT_EQ(view->SeekRow(BOOKMARK_END, 0, nullptr), S_OK);
  EXPECT_EQ(view->SeekRow(mark, 0, nullptr), S_OK);
  EXPECT_THAT(Names(view.get(), 1), ElementsAre("m"));
  EXPECT_EQ(view->FreeBookmark(mark), S_OK);
  // An empty view's cursor stands where the first row will be.
  ASSERT_EQ(data_->HrDeleteRows(TAD_ALL_ROWS, nullptr, nullptr), S_OK);
  EXPECT_EQ(Count(view.get()), 0u);
  ASSERT_EQ(Put(data_.get(), {4, "z", 4}), S_OK);
  EXPECT_THAT(Names(view.get(), 1), ElementsAre("z"));
}

TEST_F(TableTest, AConstantOfAnotherTypeThanItsPropertyIsTooComplex) {
  ASSERT_EQ(Put(data_.get(), {1, "Anna", 1}), S_OK);
  auto view = View();
  SPropValue number{};
  number.ulPropTag = PR_DISPLAY_TYPE;
  number.Value.l = 1;
  SPropValue text{};
  text.ulPropTag = PR_DISPLAY_NAME;
  text.Value.lpszA = const_cast<LPSTR>("Anna");
  SRestriction property{};
  property.rt = RES_PROPERTY;
  property.res.resProperty = {RELOP_EQ, PR_DISPLAY_NAME, &number};
  SRestriction content{};
  content.rt = RES_CONTENT;
  content.res.resContent = {FL_FULLSTRING, PR_DISPLAY_TYPE, &text};
  for (SRestriction* r : {&property, &content}) {
    EXPECT_EQ(view->Restrict(r, 0), MAPI_E_TOO_COMPLEX);
    EXPECT_EQ(view->FindRow(r, BOOKMARK_BEGINNING, 0), MAPI_E_TOO_COMPLEX);
  }
  EXPECT_EQ(Count(view.get()), 1u) << "a refused restriction leaves the view as it was";
  // A multi-valued property takes a constant of its element type.
  SRestriction element{};
  element.rt = RES_CONTENT;
  element.res.resContent = {FL_FULLSTRING, CHANGE_PROP_TYPE(PR_DISPLAY_NAME, PT_MV_STRING8), &text};
  EXPECT_EQ(view->Restrict(&element, 0), S_OK);
}

// Records the table notifications it gets: the event, the row's key, the key of the row before
// it ("-" for none) and the row's name as the view shows it. It may read its view while told.
class RecordingSink final : public IMAPIAdviseSink {
 public:
  struct Event {
    ULONG type;
    ULONG key;
    std::string prior;
    std::string name;
    bool operator==(const Event&) const = default;
  };

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, LPVOID* out) override {
    *out = nullptr;
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ULONG STDMETHODCALLTYPE OnNotify(ULONG count, LPNOTIFICATION notifications) override {
    for (ULONG i = 0; i < count; ++i) {
      EXPECT_EQ(notifications[i].ulEventType, fnevTableModified);
      const TABLE_NOTIFICATION& t = notifications[i].info.tab;
      Event e{t.ulTableEvent, 0, "-", ""};
      if (t.ulTableEvent != TABLE_RELOAD) {
        EXPECT_EQ(t.propIndex.ulPropTag, PR_INSTANCE_KEY);
        std::memcpy(&e.key, t.propIndex.Value.bin.lpb, sizeof e.key);
      }
      if (t.propPrior.ulPropTag == PR_INSTANCE_KEY) {
        ULONG prior = 0;
        std::memcpy(&prior, t.propPrior.Value.bin.lpb, sizeof prior);
        e.prior = std::to_string(prior);
      }
      if (const SPropValue* name = PpropFindProp(t.row.lpProps, t.row.cValues, PR_DISPLAY_NAME))
        e.name = name->Value.lpszA;
      events.push_back(e);
      if (view) {  // the table's lock is not held while a sink is told
        ULONG rows = 0;
        EXPECT_EQ(view->GetRowCount(0, &rows), S_OK);
      }
    }
    return 0;
  }
  virtual ~RecordingSink() = default;

  std::vector<Event> events;
  ULONG refs = 1;
  IMAPITable* view = nullptr;
};

TEST_F(TableTest, AdvisedViewsAreToldOfEveryChangeTheyShow) {
  using Event = RecordingSink::Event;
  auto view = View();
  SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0), S_OK);
  RecordingSink sink;
  sink.view = view.get();
  ULONG_PTR connection = 0;
  EXPECT_EQ(view->Advise(fnevObjectModified, &sink, &connection), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(view->Advise(fnevTableModified, nullptr, &connection), MAPI_E_INVALID_PARAMETER);
  ASSERT_EQ(view->Advise(fnevTableModified, &sink, &connection), S_OK);
  EXPECT_EQ(sink.refs, 2u);
  // A restricted view of the same data is told of the rows it shows only.
  auto restricted = View();
  Restrictions r;
  ASSERT_EQ(restricted->Restrict(r.Property(RELOP_GE, PR_DISPLAY_TYPE, 2), 0), S_OK);
  RecordingSink other;
  ULONG_PTR otherConnection = 0;
  ASSERT_EQ(restricted->Advise(fnevTableModified, &other, &otherConnection), S_OK);

  ASSERT_EQ(Put(data_.get(), {1, "m", 1}), S_OK);
  ASSERT_EQ(Put(data_.get(), {2, "c", 2}), S_OK);
  ASSERT_EQ(Put(data_.get(), {3, "p", 3}), S_OK);
  ASSERT_EQ(Put(data_.get(), {1, "m2", 1}), S_OK);
  BYTE bytes[4];
  SPropValue key = KeyValue(2, bytes);
  ASSERT_EQ(data_->HrNotify(0, 1, &key), S_OK);
  ASSERT_EQ(data_->HrDeleteRow(&key), S_OK);
  EXPECT_EQ(data_->HrNotify(0, 1, &key), MAPI_E_NOT_FOUND);
  EXPECT_EQ(data_->HrNotify(1, 1, &key), MAPI_E_UNKNOWN_FLAGS);
  EXPECT_THAT(sink.events, ElementsAre(Event{TABLE_ROW_ADDED, 1, "-", "m"}, Event{TABLE_ROW_ADDED, 2, "-", "c"},
                                       Event{TABLE_ROW_ADDED, 3, "1", "p"}, Event{TABLE_ROW_MODIFIED, 1, "2", "m2"},
                                       Event{TABLE_ROW_MODIFIED, 2, "-", "c"}, Event{TABLE_ROW_DELETED, 2, "-", ""}));
  EXPECT_THAT(other.events, ElementsAre(Event{TABLE_ROW_ADDED, 2, "-", "c"}, Event{TABLE_ROW_ADDED, 3, "2", "p"},
                                        Event{TABLE_ROW_MODIFIED, 2, "-", "c"}, Event{TABLE_ROW_DELETED, 2, "-", ""}));

  // Emptying the table is a reload; after Unadvise nothing more is told.
  sink.events.clear();
  ASSERT_EQ(data_->HrDeleteRows(TAD_ALL_ROWS, nullptr, nullptr), S_OK);
  EXPECT_THAT(sink.events, ElementsAre(Event{TABLE_RELOAD, 0, "-", ""}));
  EXPECT_EQ(view->Unadvise(connection), S_OK);
  EXPECT_EQ(view->Unadvise(connection), MAPI_E_NOT_FOUND);
  EXPECT_EQ(sink.refs, 1u);
  ASSERT_EQ(Put(data_.get(), {4, "z", 4}), S_OK);
  EXPECT_EQ(sink.events.size(), 1u);
  restricted.reset();
  EXPECT_EQ(other.refs, 1u) << "a released view releases its sinks";
}

TEST_F(TableTest, InsertRowPlacesTheRowInTheTablesOwnOrder) {
  ASSERT_EQ(Put(data_.get(), {1, "a", 1}), S_OK);
  ASSERT_EQ(Put(data_.get(), {2, "b", 2}), S_OK);
  auto insert = [&](ULONG place, const TestRow& row) {
    BYTE keyBytes[4];
    auto props = row.Props(keyBytes);
    SRow srow{0, static_cast<ULONG>(props.size()), props.data()};
    return data_->HrInsertRow(place, &srow);
  };
  ASSERT_EQ(insert(0, {3, "first", 3}), S_OK);
  ASSERT_EQ(insert(2, {4, "third", 4}), S_OK);
  ASSERT_EQ(insert(99, {5, "last", 5}), S_OK);
  EXPECT_EQ(insert(1, {1, "again", 1}), MAPI_E_INVALID_PARAMETER) << "its index value is taken";
  // Inserting again and again at one place leaves no room between two numbers at some point.
  for (ULONG i = 0; i < 40; ++i) ASSERT_EQ(insert(1, {100 + i, Numbered("x", i), 0}), S_OK);
  auto view = View();
  std::vector<std::string> names = Names(view.get(), 100);
  ASSERT_EQ(names.size(), 45u);
  EXPECT_EQ(names[0], "first");
  EXPECT_EQ(names[1], "x39");
  EXPECT_EQ(names[40], "x0");
  EXPECT_THAT(std::vector<std::string>(names.begin() + 41, names.end()), ElementsAre("a", "third", "b", "last"));
  for (ULONG i = 0; i < 45; ++i) {
    LPSRow row = nullptr;
    ASSERT_EQ(data_->HrEnumRow(i, &row), S_OK);
    EXPECT_STREQ(PpropFindProp(row->lpProps, row->cValues, PR_DISPLAY_NAME)->Value.lpszA, names[i].c_str());
    MAPIFreeBuffer(row);
  }
}

TEST_F(TableTest, TableDataQueriesAndEnumeratesRows) {
  for (ULONG i = 0; i < 4; ++i) ASSERT_EQ(Put(data_.get(), {i, Numbered("r", i), LONG(i), "b"}), S_OK);
  BYTE bytes[4];
  SPropValue key = KeyValue(2, bytes);
  LPSRow row = nullptr;
  ULONG index = 99;
  ASSERT_EQ(data_->HrQueryRow(&key, &row, &index), S_OK);
  EXPECT_EQ(index, 2u);
  ASSERT_EQ(row->cValues, 4u);  // all the row's values, not only the columns
  EXPECT_STREQ(PpropFindProp(row->lpProps, row->cValues, PR_DISPLAY_NAME)->Value.lpszA, "r2");
  MAPIFreeBuffer(row);

  key = KeyValue(1, bytes);
  ASSERT_EQ(data_->HrDeleteRow(&key), S_OK);
  EXPECT_EQ(data_->HrQueryRow(&key, &row, nullptr), MAPI_E_NOT_FOUND);
  std::vector<std::string> names;
  for (ULONG i = 0;; ++i) {
    ASSERT_EQ(data_->HrEnumRow(i, &row), S_OK);
    if (!row) break;
    names.push_back(PpropFindProp(row->lpProps, row->cValues, PR_DISPLAY_NAME)->Value.lpszA);
    MAPIFreeBuffer(row);
  }
  EXPECT_THAT(names, ElementsAre("r0", "r2", "r3"));
  ULONG deleted = 0;
  ASSERT_EQ(data_->HrDeleteRows(TAD_ALL_ROWS, nullptr, &deleted), S_OK);
  EXPECT_EQ(deleted, 3u);
  EXPECT_EQ(Count(View().get()), 0u);
}

std::atomic<int> releasedViews{0};
void STDMETHODCALLTYPE CountRelease(ULONG_PTR callerData, LPTABLEDATA data, LPMAPITABLE view) {
  EXPECT_EQ(callerData, 42u);
  EXPECT_NE(data, nullptr);
  EXPECT_NE(view, nullptr);
  ++releasedViews;
}

TEST_F(TableTest, AViewKeepsItsDataAliveAndReportsItsRelease) {
  ASSERT_EQ(Put(data_.get(), {1, "Anna", 1}), S_OK);
  LPMAPITABLE view = nullptr;
  ASSERT_EQ(data_->HrGetView(nullptr, CountRelease, 42, &view), S_OK);
  data_.reset();  // the view holds its own reference
  EXPECT_THAT(Names(view, 5), ElementsAre("Anna"));
  LPVOID other = nullptr;
  EXPECT_EQ(view->QueryInterface(IID_IMAPIProp, &other), MAPI_E_INTERFACE_NOT_SUPPORTED);
  ASSERT_EQ(view->QueryInterface(IID_IMAPITable, &other), S_OK);
  EXPECT_EQ(view->ExpandRow(0, nullptr, 0, 0, nullptr, nullptr), MAPI_E_NO_SUPPORT);  // no categories
  view->Release();
  EXPECT_EQ(releasedViews, 0);
  static_cast<IMAPITable*>(other)->Release();
  EXPECT_EQ(releasedViews, 1);
}

TEST_F(TableTest, ViewsAndWritersWorkFromSeveralThreads) {
  auto view = View();
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (ULONG i = 0; i < 2000; ++i) {
      EXPECT_EQ(Put(data_.get(), {i % 500, Numbered("name ", i), LONG(i)}), S_OK);
      if (i % 7 == 0) {
        BYTE bytes[4];
        SPropValue key = KeyValue((i * 13) % 500, bytes);
        data_->HrDeleteRow(&key);
      }
    }
    done = true;
  });
  SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_DESCEND}}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0), S_OK);
  do {
    ASSERT_EQ(view->SeekRow(BOOKMARK_BEGINNING, 0, nullptr), S_OK);
    RowSet rows;
    ASSERT_EQ(view->QueryRows(50, 0, &rows.p), S_OK);
    ULONG count = 0;
    ASSERT_EQ(view->GetRowCount(0, &count), S_OK);
    EXPECT_LE(count, 500u);
  } while (!done);
  writer.join();
}

TEST_F(TableTest, AHundredThousandRowsRestrictedSortedAndReadPageByPage) {
  constexpr ULONG kRows = 100000;
  std::vector<std::string> names(kRows);
  for (ULONG i = 0; i < kRows; ++i) {
    names[i] = GeneratedName(i);
    ASSERT_EQ(Put(data_.get(), {i, names[i], LONG(i)}), S_OK);
  }
  auto view = View();
  Restrictions r;
  ASSERT_EQ(view->Restrict(r.Content(PR_DISPLAY_NAME, FL_SUBSTRING | FL_IGNORECASE, "ANB"), 0), S_OK);
  SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}}};
  ASSERT_EQ(view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0), S_OK);

  std::vector<std::string> expected;
  for (const auto& name : names) {
    std::string upper = name;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("ANB") != std::string::npos) expected.push_back(name);
  }
  std::stable_sort(expected.begin(), expected.end(), [](const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_LESS_THAN;
  });
  ASSERT_GT(expected.size(), 1000u);
  EXPECT_EQ(Count(view.get()), expected.size());

  std::vector<std::string> read;
  for (;;) {
    auto page = Names(view.get(), 50);
    if (page.empty()) break;
    EXPECT_LE(page.size(), 50u);
    read.insert(read.end(), page.begin(), page.end());
  }
  EXPECT_EQ(read, expected);
  EXPECT_THAT(Names(view.get(), -3), ElementsAreArray(expected.end() - 3, expected.end()));
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mapicode.h"
#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"

namespace {

SPropValue String(const char* text, ULONG tag = PR_DISPLAY_NAME) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.lpszA = const_cast<LPSTR>(text);
  return v;
}

SPropValue Binary(const char* bytes, ULONG cb, ULONG tag = PR_ENTRYID) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.bin = {cb, reinterpret_cast<LPBYTE>(const_cast<char*>(bytes))};
  return v;
}

SPropValue Long(LONG n, ULONG tag = PR_DISPLAY_TYPE) {
  SPropValue v{};
  v.ulPropTag = tag;
  v.Value.l = n;
  return v;
}

TEST(PropUtil, PpropFindPropMatchesTheWholeTagOrTheIdForUnspecified) {
  SPropValue props[] = {Long(1), String("a"), Long(2, PROP_TAG(PT_ERROR, 0x3003))};
  EXPECT_EQ(PpropFindProp(props, 3, PR_DISPLAY_NAME), &props[1]);
  EXPECT_EQ(PpropFindProp(props, 3, PROP_TAG(PT_UNSPECIFIED, 0x3001)), &props[1]);
  EXPECT_EQ(PpropFindProp(props, 3, PR_EMAIL_ADDRESS), nullptr);  // only an error value carries that ID
  EXPECT_EQ(PpropFindProp(props, 3, PROP_TAG(PT_UNSPECIFIED, 0x3003)), &props[2]);
  EXPECT_EQ(PpropFindProp(props, 1, PR_DISPLAY_NAME), nullptr);
  EXPECT_EQ(PpropFindProp(nullptr, 3, PR_DISPLAY_NAME), nullptr);
}

struct ContainsCase {
  const char* what;
  SPropValue hay, needle;
  ULONG fuzzy;
  BOOL expected;
};

TEST(PropUtil, FPropContainsPropCornerCases) {
  const ContainsCase cases[] = {
      {"full string equal", String("Smith"), String("Smith"), FL_FULLSTRING, TRUE},
      {"full string is not a prefix", String("Smith"), String("Smi"), FL_FULLSTRING, FALSE},
      {"prefix", String("Smith"), String("Smi"), FL_PREFIX, TRUE},
      {"prefix is not a substring", String("Asmith"), String("smi"), FL_PREFIX, FALSE},
      {"substring", String("Asmith"), String("smi"), FL_SUBSTRING, TRUE},
      {"case matters without ignore-case", String("Asmith"), String("SMI"), FL_SUBSTRING, FALSE},
      {"ignore case folds strings", String("Asmith"), String("SMI"), FL_SUBSTRING | FL_IGNORECASE, TRUE},
      {"loose folds strings too", String("Asmith"), String("SMI"), FL_SUBSTRING | FL_LOOSE, TRUE},
      {"locale folding", String("M\xC3\x9Cller"), String("\xC3\xBC"), FL_SUBSTRING | FL_IGNORECASE, TRUE},
      {"binaries compare bytes", Binary("xABCx", 5), Binary("ABC", 3), FL_SUBSTRING, TRUE},
      {"ignore case never folds binaries", Binary("xABCx", 5), Binary("abc", 3), FL_SUBSTRING | FL_IGNORECASE, FALSE},
      {"binary prefix", Binary("ABC", 3), Binary("AB", 2), FL_PREFIX, TRUE},
      {"binary with a zero byte", Binary("A\0B", 3), Binary("\0B", 2), FL_SUBSTRING, TRUE},
      {"empty needle is a prefix", String("abc"), String(""), FL_PREFIX, TRUE},
      {"empty needle is a substring of empty", String(""), String(""), FL_SUBSTRING, TRUE},
      {"empty is not the full string", String("abc"), String(""), FL_FULLSTRING, FALSE},
      {"empty binaries", Binary(nullptr, 0), Binary(nullptr, 0), FL_FULLSTRING, TRUE},
      {"null string is never contained", String(nullptr), String(""), FL_SUBSTRING, FALSE},
      {"null needle contains nothing", String("abc"), String(nullptr), FL_SUBSTRING, FALSE},
      {"binary bytes missing", Binary(nullptr, 3), Binary("a", 1), FL_SUBSTRING, FALSE},
      {"different types", String("abc"), Binary("abc", 3), FL_SUBSTRING, FALSE},
      {"numbers do not contain", Long(12), Long(1), FL_SUBSTRING, FALSE},
      {"unknown fuzzy level", String("abc"), String("a"), 7, FALSE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SPropValue hay = c.hay, needle = c.needle;
    EXPECT_EQ(FPropContainsProp(&hay, &needle, c.fuzzy), c.expected);
  }
  EXPECT_FALSE(FPropContainsProp(nullptr, nullptr, FL_SUBSTRING));
}

TEST(PropUtil, ComparisonsFollowTheValueType) {
  struct Case {
    const char* what;
    SPropValue a, b;
    int sign;
  } cases[] = {
      {"longs", Long(-5), Long(3), -1},
      {"equal longs", Long(3), Long(3), 0},
      {"strings in order", String("Anna"), String("bert"), -1},
      {"null string first", String(nullptr), String(""), -1},
      {"binary bytes", Binary("\x01\xFF", 2), Binary("\x02", 1), -1},
      {"binary prefix first", Binary("AB", 2), Binary("ABC", 3), -1},
      {"different types by type", Long(100), String("a"), -1},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    const LONG result = LPropCompareProp(&c.a, &c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign);
    const LONG reverse = LPropCompareProp(&c.b, &c.a);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign);
  }
  SPropValue three = Long(3), four = Long(4), name = String("John Smith"), pattern = String("^J.*h$");
  EXPECT_TRUE(FPropCompareProp(&three, RELOP_LT, &four));
  EXPECT_TRUE(FPropCompareProp(&three, RELOP_LE, &three));
  EXPECT_FALSE(FPropCompareProp(&three, RELOP_GT, &four));
  EXPECT_TRUE(FPropCompareProp(&four, RELOP_GE, &three));
  EXPECT_TRUE(FPropCompareProp(&three, RELOP_NE, &four));
  EXPECT_FALSE(FPropCompareProp(&three, RELOP_EQ, &four));
  EXPECT_TRUE(FPropCompareProp(&name, RELOP_RE, &pattern));
  EXPECT_FALSE(FPropCompareProp(&name, RELOP_EQ, &three));  // different types never relate
  EXPECT_FALSE(FPropCompareProp(&three, 99, &four));
}

// A value of every shape the copy routines know.
std::vector<SPropValue> Sample(std::vector<LPSTR>& strings, std::vector<SBinary>& bins, std::vector<LONG>& longs,
                               GUID& guid) {
  static char a[] = "alpha", b[] = "", bytes[] = "\x01\x02\x03";
  strings = {a, b, nullptr};
  bins = {{3, reinterpret_cast<LPBYTE>(bytes)}, {0, nullptr}};
  longs = {7, -8, 9};
  guid = {0x12345678, 1, 2, {1, 2, 3, 4, 5, 6, 7, 8}};
  std::vector<SPropValue> values(8);
  values[0] = String("Anna");
  values[1] = String(nullptr, PR_COMMENT);
  values[2] = Binary("xyz", 3);
  values[3] = Long(42);
  values[4].ulPropTag = PROP_TAG(PT_MV_STRING8, 0x8001);
  values[4].Value.MVszA = {static_cast<ULONG>(strings.size()), strings.data()};
  values[5].ulPropTag = PROP_TAG(PT_MV_BINARY, 0x8002);
  values[5].Value.MVbin = {static_cast<ULONG>(bins.size()), bins.data()};
  values[6].ulPropTag = PROP_TAG(PT_MV_LONG, 0x8003);
  values[6].Value.MVl = {static_cast<ULONG>(longs.size()), longs.data()};
  values[7].ulPropTag = PROP_TAG(PT_CLSID, 0x8004);
  values[7].Value.lpguid = &guid;
  return values;
}

void ExpectSameAsSample(const SPropValue* copy, const std::vector<SPropValue>& original) {
  for (std::size_t i = 0; i < original.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(copy[i].ulPropTag, original[i].ulPropTag);
    EXPECT_EQ(LPropCompareProp(const_cast<LPSPropValue>(&copy[i]), const_cast<LPSPropValue>(&original[i])), 0);
  }
  EXPECT_NE(copy[0].Value.lpszA, original[0].Value.lpszA);  // deep, not shallow
  EXPECT_EQ(copy[1].Value.lpszA == nullptr, original[1].Value.lpszA == nullptr);
  EXPECT_STREQ(copy[4].Value.MVszA.lppszA[0], "alpha");
  EXPECT_STREQ(copy[4].Value.MVszA.lppszA[1], "");
  EXPECT_EQ(copy[4].Value.MVszA.lppszA[2] == nullptr, original[4].Value.MVszA.lppszA[2] == nullptr);
  EXPECT_NE(copy[4].Value.MVszA.lppszA, original[4].Value.MVszA.lppszA);
  EXPECT_EQ(copy[5].Value.MVbin.lpbin[1].cb, 0u);
  EXPECT_EQ(std::memcmp(copy[5].Value.MVbin.lpbin[0].lpb, "\x01\x02\x03", 3), 0);
  EXPECT_EQ(copy[6].Value.MVl.lpl[1], -8);
  EXPECT_EQ(copy[7].Value.lpguid->Data1, 0x12345678u);
  EXPECT_NE(copy[7].Value.lpguid, original[7].Value.lpguid);
}

TEST(PropUtil, DeepCopiesIntoOneBufferAndLinkedBlocks) {
  const std::size_t before = MAPIOutstandingBuffers();
  std::vector<LPSTR> strings;
  std::vector<SBinary> bins;
  std::vector<LONG> longs;
  GUID guid{};
  auto values = Sample(strings, bins, longs, guid);
  const int n = static_cast<int>(values.size());

  LPSPropValue dup = nullptr;
  ASSERT_EQ(ScDupPropset(n, values.data(), MAPIAllocateBuffer, &dup), S_OK);
  ExpectSameAsSample(dup, values);
  MAPIFreeBuffer(dup);

  MapiBuffer<SPropValue> array;
  ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(values.size() * sizeof(SPropValue)), array.put()), S_OK);
  for (std::size_t i = 0; i < values.size(); ++i)
    ASSERT_EQ(PropCopyMore(&array.get()[i], &values[i], MAPIAllocateMore, array.get()), S_OK);
  ExpectSameAsSample(array.get(), values);
  array.reset();
  EXPECT_EQ(MAPIOutstandingBuffers(), before);  // the linked blocks went with the array

  // The one-buffer copy refuses null texts; without them it takes every shape.
  ULONG bytes = 0;
  EXPECT_EQ(ScCountProps(n, values.data(), &bytes), MAPI_E_INVALID_PARAMETER);
  static char empty[] = "", c[] = "c";
  values[1].Value.lpszA = empty;
  strings[2] = c;
  ASSERT_EQ(ScCountProps(n, values.data(), &bytes), S_OK);
  std::vector<std::max_align_t> buffer(bytes / sizeof(std::max_align_t) + 1);
  ULONG used = 0;
  ASSERT_EQ(ScCopyProps(n, values.data(), buffer.data(), &used), S_OK);
  EXPECT_EQ(used, bytes);
  ExpectSameAsSample(reinterpret_cast<SPropValue*>(buffer.data()), values);

  SPropValue broken = Binary(nullptr, 5);
  EXPECT_EQ(ScCountProps(1, &broken, &bytes), MAPI_E_INVALID_PARAMETER);
  SPropValue unknown{};
  unknown.ulPropTag = PROP_TAG(0x0FFF, 0x8000);
  EXPECT_EQ(ScCountProps(1, &unknown, &bytes), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(PropCopyMore(nullptr, &unknown, MAPIAllocateMore, nullptr), MAPI_E_INVALID_PARAMETER);
}

TEST(PropUtil, FreeProwsAndFreePadrlistFreeEveryRow) {
  const std::size_t before = MAPIOutstandingBuffers();
  LPVOID set = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(3)), &set), S_OK);
  auto* rows = static_cast<LPSRowSet>(set);
  rows->cRows = 3;
  for (ULONG i = 0; i < 3; ++i) {
    SPropValue value = String("row");
    LPSPropValue copy = nullptr;
    ASSERT_EQ(ScDupPropset(1, &value, MAPIAllocateBuffer, &copy), S_OK);
    rows->aRow[i] = {0, 1, copy};
  }
  FreeProws(rows);
  FreeProws(nullptr);

  LPVOID list = nullptr;
  ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(2)), &list), S_OK);
  auto* entries = static_cast<LPADRLIST>(list);
  entries->cEntries = 2;
  for (ULONG i = 0; i < 2; ++i) {
    SPropValue value = Long(LONG(i));
    LPSPropValue copy = nullptr;
    ASSERT_EQ(ScDupPropset(1, &value, MAPIAllocateBuffer, &copy), S_OK);
    entries->aEntries[i] = {0, 1, copy};
  }
  FreePadrlist(entries);
  FreePadrlist(nullptr);
  EXPECT_EQ(MAPIOutstandingBuffers(), before);
}

TEST(PropUtil, SizedStructuresCastToThePlainOnes) {
  SizedSSortOrderSet(2, sort) = {2, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}, {PR_ENTRYID, TABLE_SORT_DESCEND}}};
  auto* plain = reinterpret_cast<LPSSortOrderSet>(&sort);
  EXPECT_EQ((plain->aSort + 1)->ulPropTag, PR_ENTRYID);
  EXPECT_EQ(CbSSortOrderSet(plain), sizeof sort);
  SizedADRLIST(2, adr);
  EXPECT_EQ(CbNewADRLIST(2), sizeof adr);
  SizedSRowSet(3, rows);
  EXPECT_EQ(CbNewSRowSet(3), sizeof rows);
}

}  // namespace

TEST(PropUtil, ScCountPropsGivesMapisSizes) {
  // One value each: the SPropValue and what it points to, packed as MAPI packs it.
  static char hi[] = "Hi!";
  static WCHAR hiW[] = {'H', 'i', '!', 0};
  static LPSTR texts[] = {hi, hi, hi};
  static LPWSTR textsW[] = {hiW, hiW, hiW};
  static BYTE raw[32] = {};
  static SBinary bins[] = {{17, raw}, {2, raw}, {1, raw}};
  static GUID guid{};
  static LONG longs[3] = {};
  static short shorts[3] = {};
  static double doubles[3] = {};
  const ULONG pv = sizeof(SPropValue);
  struct Case {
    ULONG type;
    ULONG expected;  // 0: refused
    void (*fill)(SPropValue&);
  } cases[] = {
      {PT_I2, pv, nullptr},
      {PT_LONG, pv, nullptr},
      {PT_BOOLEAN, pv, nullptr},
      {PT_OBJECT, pv, nullptr},
      {PT_I8, pv, nullptr},
      {PT_SYSTIME, pv, nullptr},
      {PT_CLSID, pv + sizeof(GUID), [](SPropValue& v) { v.Value.lpguid = &guid; }},
      {PT_STRING8, pv + 4, [](SPropValue& v) { v.Value.lpszA = hi; }},
      {PT_UNICODE, pv + 4 * sizeof(WCHAR), [](SPropValue& v) { v.Value.lpszW = hiW; }},
      {PT_BINARY, pv + 2,
       [](SPropValue& v) {
         v.Value.bin = {2, raw};
       }},
      {PT_MV_I2, pv + 3 * sizeof(short),
       [](SPropValue& v) {
         v.Value.MVi = {3, shorts};
       }},
      {PT_MV_LONG, pv + 3 * sizeof(LONG),
       [](SPropValue& v) {
         v.Value.MVl = {3, longs};
       }},
      {PT_MV_DOUBLE, pv + 3 * sizeof(double),
       [](SPropValue& v) {
         v.Value.MVdbl = {3, doubles};
       }},
      {PT_MV_STRING8, pv + 3 * sizeof(LPSTR) + 3 * 4,
       [](SPropValue& v) {
         v.Value.MVszA = {3, texts};
       }},
      {PT_MV_UNICODE, pv + 3 * sizeof(LPWSTR) + 3 * 4 * sizeof(WCHAR),
       [](SPropValue& v) {
         v.Value.MVszW = {3, textsW};
       }},
      {PT_MV_BINARY, pv + 3 * sizeof(SBinary) + 20,
       [](SPropValue& v) {
         v.Value.MVbin = {3, bins};
       }},
      {PT_NULL, 0, nullptr},
      {PT_UNSPECIFIED, 0, nullptr},
      {PT_STRING8, 0, nullptr},  // a null text
      {PT_UNICODE, 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    SPropValue value{};
    value.ulPropTag = PROP_TAG(c.type, 1);
    if (c.fill) c.fill(value);
    ULONG bytes = 0xFFFFFFFF;
    if (c.expected == 0) {
      EXPECT_EQ(ScCountProps(1, &value, &bytes), MAPI_E_INVALID_PARAMETER);
      EXPECT_EQ(bytes, 0xFFFFFFFFu);
      std::vector<std::max_align_t> buffer(8);
      EXPECT_EQ(ScCopyProps(1, &value, buffer.data(), nullptr), MAPI_E_INVALID_PARAMETER);
      continue;
    }
    ASSERT_EQ(ScCountProps(1, &value, &bytes), S_OK);
    EXPECT_EQ(bytes, c.expected);
    std::vector<std::max_align_t> buffer(bytes / sizeof(std::max_align_t) + 1);
    ULONG used = 0;
    ASSERT_EQ(ScCopyProps(1, &value, buffer.data(), &used), S_OK);
    EXPECT_EQ(used, c.expected);
    EXPECT_EQ(LPropCompareProp(reinterpret_cast<LPSPropValue>(buffer.data()), &value), 0);
  }
  // A text right after its pointer array, as MAPI lays it out.
  SPropValue one{};
  one.ulPropTag = PROP_TAG(PT_MV_STRING8, 1);
  one.Value.MVszA = {1, texts};
  std::vector<std::max_align_t> buffer(8);
  ULONG used = 0;
  ASSERT_EQ(ScCopyProps(1, &one, buffer.data(), &used), S_OK);
  const auto* start = reinterpret_cast<const char*>(buffer.data());
  EXPECT_EQ(reinterpret_cast<const SPropValue*>(start)->Value.MVszA.lppszA[0], start + pv + sizeof(LPSTR));
  EXPECT_EQ(used, pv + sizeof(LPSTR) + 4);

  SPropValue name = String("a");
  ULONG bytes = 0;
  EXPECT_EQ(ScCountProps(0, &name, &bytes), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(ScCountProps(-1, &name, &bytes), MAPI_E_INVALID_PARAMETER);
  EXPECT_EQ(ScCopyProps(0, &name, buffer.data(), &used), MAPI_E_INVALID_PARAMETER);
}

TEST(PropUtil, FPropContainsPropTakesTextsAndBytesOnly) {
  static WCHAR abc[] = {'a', 'b', 'c', 0};
  for (ULONG type : {PT_UNICODE, PT_I2, PT_LONG, PT_BOOLEAN, PT_NULL, PT_UNSPECIFIED}) {
    SCOPED_TRACE(type);
    SPropValue hay{}, needle{};
    hay.ulPropTag = needle.ulPropTag = PROP_TAG(type, 1);
    if (type == PT_UNICODE) hay.Value.lpszW = needle.Value.lpszW = abc;
    EXPECT_FALSE(FPropContainsProp(&hay, &needle, FL_FULLSTRING));
  }
}

TEST(PropUtil, StringComparisonsRespectCase) {
  // Only a fuzzy level folds case; an ordering or a comparison does not.
  SPropValue lower = String("smith"), upper = String("SMITH");
  EXPECT_NE(LPropCompareProp(&lower, &upper), 0);
  EXPECT_FALSE(FPropCompareProp(&lower, RELOP_EQ, &upper));
  EXPECT_TRUE(FPropCompareProp(&lower, RELOP_NE, &upper));
  SPropValue same = String("smith");
  EXPECT_EQ(LPropCompareProp(&lower, &same), 0);
  EXPECT_TRUE(FPropContainsProp(&lower, &upper, FL_FULLSTRING | FL_IGNORECASE));
}

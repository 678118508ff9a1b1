// Cost of the table data and its views at address-book sizes: filling, restricting by a typed
// name, sorting and reading the first page.

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "mapicode.h"
#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitable.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "people.h"

namespace {

ComPtr<ITableData> NewTable() {
  SizedSPropTagArray(7, columns) = {
      7,
      {PR_DISPLAY_NAME, PR_DISPLAY_TYPE, PR_EMAIL_ADDRESS, PR_ADDRTYPE, PR_ENTRYID, PR_INSTANCE_KEY, PR_OBJECT_TYPE}};
  ComPtr<ITableData> data;
  CreateTable(&IID_IMAPITableData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, TBLTYPE_DYNAMIC,
              PR_INSTANCE_KEY, reinterpret_cast<LPSPropTagArray>(&columns), data.put());
  return data;
}

// A contents row as the provider writes it: seven values, a 40-byte entry identifier.
void PutUser(ITableData* data, ULONG i) {
  const std::string name = GeneratedName(i);
  const std::string mail = "user" + std::to_string(i) + "@example.org";
  BYTE entry[40] = {};
  std::memcpy(entry + 32, &i, sizeof i);
  SPropValue v[7] = {};
  v[0].ulPropTag = PR_ADDRTYPE;
  v[0].Value.lpszA = const_cast<LPSTR>("SMTP");
  v[1].ulPropTag = PR_DISPLAY_NAME;
  v[1].Value.lpszA = const_cast<LPSTR>(name.c_str());
  v[2].ulPropTag = PR_DISPLAY_TYPE;
  v[3].ulPropTag = PR_EMAIL_ADDRESS;
  v[3].Value.lpszA = const_cast<LPSTR>(mail.c_str());
  v[4].ulPropTag = PR_ENTRYID;
  v[4].Value.bin = {sizeof entry, entry};
  v[5].ulPropTag = PR_INSTANCE_KEY;
  v[5].Value.bin = {sizeof entry, entry};
  v[6].ulPropTag = PR_OBJECT_TYPE;
  v[6].Value.l = MAPI_MAILUSER;
  SRow row{0, 7, v};
  data->HrModifyRow(&row);
}

ComPtr<ITableData> Filled(ULONG rows) {
  auto data = NewTable();
  for (ULONG i = 0; i < rows; ++i) PutUser(data.get(), i);
  return data;
}

// Filling a table of N rows: the cost per row must not grow with N.
void BM_FillTable(benchmark::State& state) {
  const auto rows = static_cast<ULONG>(state.range(0));
  for (auto _ : state) {
    auto data = Filled(rows);
    benchmark::DoNotOptimize(data.get());
  }
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_FillTable)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// One more HrModifyRow (alternately a new row and a replacement) on a table of N rows.
void BM_ModifyRowOnTableOfSize(benchmark::State& state) {
  const auto rows = static_cast<ULONG>(state.range(0));
  auto data = Filled(rows);
  ULONG next = rows;
  for (auto _ : state) PutUser(data.get(), next++ % (rows * 2));
}
BENCHMARK(BM_ModifyRowOnTableOfSize)->Arg(1000)->Arg(10000)->Arg(100000);

SRestriction Substring(SPropValue& value, const char* text) {
  value.ulPropTag = PR_DISPLAY_NAME;
  value.Value.lpszA = const_cast<LPSTR>(text);
  SRestriction r{};
  r.rt = RES_CONTENT;
  r.res.resContent = {FL_SUBSTRING | FL_IGNORECASE, PR_DISPLAY_NAME, &value};
  return r;
}

// What a search by typed name costs: restrict 100,000 rows on a three-letter substring and
// read the first 50 matches.
void BM_RestrictFirstPage(benchmark::State& state) {
  auto data = Filled(100000);
  ComPtr<IMAPITable> view;
  data->HrGetView(nullptr, nullptr, 0, view.put());
  SPropValue value;
  SRestriction restriction = Substring(value, "ANB");
  for (auto _ : state) {
    view->Restrict(&restriction, 0);
    LPSRowSet rows = nullptr;
    view->QueryRows(50, 0, &rows);
    benchmark::DoNotOptimize(rows);
    FreeProws(rows);
  }
}
BENCHMARK(BM_RestrictFirstPage)->Unit(benchmark::kMillisecond);

// Sorting 100,000 rows by display name.
void BM_SortTable(benchmark::State& state) {
  auto data = Filled(100000);
  ComPtr<IMAPITable> view;
  data->HrGetView(nullptr, nullptr, 0, view.put());
  SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}}};
  for (auto _ : state) view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0);
}
BENCHMARK(BM_SortTable)->Unit(benchmark::kMillisecond);

// Restrict, sort and read every page of 50 rows, as a client scrolling the whole result does.
void BM_RestrictSortReadAllPages(benchmark::State& state) {
  auto data = Filled(100000);
  ComPtr<IMAPITable> view;
  data->HrGetView(nullptr, nullptr, 0, view.put());
  SPropValue value;
  SRestriction restriction = Substring(value, "ANB");
  SizedSSortOrderSet(1, byName) = {1, 0, 0, {{PR_DISPLAY_NAME, TABLE_SORT_ASCEND}}};
  for (auto _ : state) {
    view->Restrict(&restriction, 0);
    view->SortTable(reinterpret_cast<LPSSortOrderSet>(&byName), 0);
    for (;;) {
      LPSRowSet rows = nullptr;
      view->QueryRows(50, 0, &rows);
      const bool done = !rows || rows->cRows == 0;
      FreeProws(rows);
      if (done) break;
    }
  }
}
BENCHMARK(BM_RestrictSortReadAllPages)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

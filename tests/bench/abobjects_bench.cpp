// The address book's objects at address-book size: 100,000 people from a local slapd. Each
// figure is measured beside its baseline, the same work without the MAPI object in between:
//   ResolveNames of one typed name           beside FindUserByName of the backend
//   PR_ANR restriction + first 50 rows       beside the same substring restriction on a plain view
//   open a user + read its 27 properties     beside the user record's GetProps alone
// and one trace line alone, which every traced call pays: opening a user and reading it sends
// three (the mail user's GetProps and Release, the record's GetProps), the record alone one.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "backend/ldapbe.h"
#include "mapicode.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "people.h"
#include "provider/cabcontainer.h"
#include "provider/ctable.h"
#include "recipients/ldapmapiuser.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "tempdir.h"
#include "trace/trace.h"

namespace {
constexpr int kPeople = 100000;
// Found in every tenth surname or so: many matches, so the first 50 rows fill.
constexpr const char* kManyTyped = "schm";

struct Book {
  SlapdServer server{{.ldif = PeopleLdif(kPeople), .sizeLimit = 2 * kPeople}};
  TempDir dir;
  ABLDAPBackeEnd* backend = nullptr;
  ComPtr<IABContainer> directory;
  std::unique_ptr<CBinary> userID;
  CLDAPUser* record = nullptr;

  Book() {
    ScriptedMessageBoxes boxes;
    backend = new ABLDAPBackeEnd(nullptr, nullptr);
    backend->Profile = std::make_unique<CLDAPProfileData>();
    CLDAPProfileData& profile = *backend->Profile;
    profile.ServerName = server.HostPort();
    profile.UseVersion3 = true;
    profile.SearchDN = kPeopleBase;
    profile.SearchString = kPeopleFilter;
    profile.SchemaMapping = kPeopleMapping;
    profile.CacheFileName = (dir / "people.pxb").string();
    profile.ShowNamesBy = 0;
    backend->LoadDirectory();
    backend->InitTables();
    ULONG type = 0;
    backend->OpenEntry(backend->DirEntryID->cb, reinterpret_cast<LPENTRYID>(backend->DirEntryID->lpb), nullptr, 0,
                       &type, reinterpret_cast<LPUNKNOWN*>(directory.put()));
    // The one user whose surname contains "qxy", in the middle of the list.
    for (const UserListEntry& entry : *backend->Users)
      if (entry.User->Surname == "Qxylander") record = entry.User.get();
    if (record) userID = record->MakeEntryID();
  }
};
Book& Data() {
  static Book book;
  return book;
}

bool Ready(benchmark::State& state) {
  if (Data().backend->Users && Data().backend->Users->size() == kPeople && Data().directory && Data().record)
    return true;
  state.SkipWithError("the address book did not load");
  return false;
}

// An address list of one entry with a typed name, as a client hands it over.
LPADRLIST TypedName(const char* typed) {
  LPADRLIST list = nullptr;
  MAPIAllocateBuffer(CbNewADRLIST(1), reinterpret_cast<LPVOID*>(&list));
  list->cEntries = 1;
  list->aEntries[0] = ADRENTRY{0, 1, nullptr};
  MAPIAllocateBuffer(sizeof(SPropValue), reinterpret_cast<LPVOID*>(&list->aEntries[0].rgPropVals));
  SPropValue value{};
  value.ulPropTag = PR_DISPLAY_NAME;
  value.Value.lpszA = const_cast<LPSTR>(typed);
  PropCopyMore(list->aEntries[0].rgPropVals, &value, MAPIAllocateMore, list->aEntries[0].rgPropVals);
  return list;
}

void BM_ResolveNames_OneName(benchmark::State& state) {
  if (!Ready(state)) return;
  SizedSPropTagArray(1, flags) = {1, {MAPI_UNRESOLVED}};
  for (auto _ : state) {
    state.PauseTiming();
    LPADRLIST list = TypedName("qxy");
    flags.aulPropTag[0] = MAPI_UNRESOLVED;
    state.ResumeTiming();
    const HRESULT hr = Data().directory->ResolveNames(nullptr, 0, list, reinterpret_cast<LPFlagList>(&flags));
    state.PauseTiming();
    if (hr != S_OK || flags.aulPropTag[0] != MAPI_RESOLVED) state.SkipWithError("not resolved");
    FreePadrlist(list);
    state.ResumeTiming();
  }
}

void BM_Baseline_FindUserByName(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    LPSPropValue values = nullptr;
    ULONG count = 0;
    if (Data().backend->FindUserByName("qxy", nullptr, &values, &count) != S_OK) state.SkipWithError("not found");
    MAPIFreeBuffer(values);
  }
}

// Restricts `table` with `restriction` and reads its first 50 rows.
void RestrictAndRead(benchmark::State& state, IMAPITable* table, SRestriction* restriction) {
  for (auto _ : state) {
    LPSRowSet rows = nullptr;
    if (table->Restrict(restriction, 0) != S_OK || table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr) != S_OK ||
        table->QueryRows(50, 0, &rows) != S_OK || rows->cRows != 50)
      state.SkipWithError("fewer than 50 rows");
    FreeProws(rows);
  }
}

void BM_AnrRestrict_First50Rows(benchmark::State& state) {
  if (!Ready(state)) return;
  ComPtr<IMAPITable> contents;
  Data().directory->GetContentsTable(0, contents.put());
  SPropValue typed{};
  typed.ulPropTag = PR_ANR;
  typed.Value.lpszA = const_cast<LPSTR>(kManyTyped);
  SRestriction anr{};
  anr.rt = RES_PROPERTY;
  anr.res.resProperty = {RELOP_EQ, PR_ANR, &typed};
  RestrictAndRead(state, contents.get(), &anr);
}

void BM_Baseline_SubstringRestrict_First50Rows(benchmark::State& state) {
  if (!Ready(state)) return;
  ComPtr<IMAPITable> view;
  Data().backend->DirContents->HrGetView(nullptr, nullptr, 0, view.put());
  SPropValue typed{};
  typed.ulPropTag = PR_DISPLAY_NAME;
  typed.Value.lpszA = const_cast<LPSTR>(kManyTyped);
  SRestriction content{};
  content.rt = RES_CONTENT;
  content.res.resContent = {FL_SUBSTRING | FL_IGNORECASE, PR_DISPLAY_NAME, &typed};
  RestrictAndRead(state, view.get(), &content);
}

void BM_OpenUser_Read27Properties(benchmark::State& state) {
  if (!Ready(state)) return;
  const CBinary& id = *Data().userID;
  for (auto _ : state) {
    ULONG type = 0;
    LPUNKNOWN object = nullptr;
    ULONG count = 0;
    LPSPropValue values = nullptr;
    if (Data().backend->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, &object) != S_OK ||
        FAILED(static_cast<IMailUser*>(object)->GetProps(nullptr, 0, &count, &values)) || count != USER_PROP_COUNT)
      state.SkipWithError("open or read failed");
    MAPIFreeBuffer(values);
    if (object) object->Release();
  }
}

// The open alone (and the release, which sends one trace line).
void BM_OpenUser_Only(benchmark::State& state) {
  if (!Ready(state)) return;
  const CBinary& id = *Data().userID;
  for (auto _ : state) {
    ULONG type = 0;
    LPUNKNOWN object = nullptr;
    if (Data().backend->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, &object) != S_OK)
      state.SkipWithError("open failed");
    if (object) object->Release();
  }
}

void BM_Baseline_RecordGetProps(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    ULONG count = 0;
    LPSPropValue values = nullptr;
    if (FAILED(Data().record->GetProps(nullptr, 0, &count, &values)) || count != USER_PROP_COUNT)
      state.SkipWithError("failed");
    MAPIFreeBuffer(values);
  }
}

void BM_TraceLine(benchmark::State& state) {
  for (auto _ : state) TraceObject("CLDAPMailUser::GetProps", &state);
}
}  // namespace

BENCHMARK(BM_ResolveNames_OneName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_FindUserByName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnrRestrict_First50Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline_SubstringRestrict_First50Rows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenUser_Read27Properties)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenUser_Only)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Baseline_RecordGetProps)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TraceLine)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();

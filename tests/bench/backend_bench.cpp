// The LDAP backend at address-book size: 100,000 people from a local slapd (seeded with
// slapadd -q). LoadDirectory + InitTables end to end beside ldapsearch running the same
// search in the same run; FindUserByName for three typed letters; memory per user.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "backend/ldapbe.h"
#include "directory/ldapcon.h"
#include "mapix.h"
#include "people.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "tempdir.h"
#include "windows.h"

namespace {
constexpr int kPeople = 100000;
struct Directory {
  SlapdServer server{{.ldif = PeopleLdif(kPeople), .sizeLimit = 2 * kPeople}};
  TempDir dir;
};
Directory& Data() {
  static Directory directory;
  return directory;
}

ABLDAPBackeEnd* NewBackend() {
  auto* backend = new ABLDAPBackeEnd(nullptr, nullptr);
  backend->Profile = std::make_unique<CLDAPProfileData>();
  CLDAPProfileData& profile = *backend->Profile;
  profile.ServerName = Data().server.HostPort();
  profile.UseVersion3 = true;
  profile.SearchDN = kPeopleBase;
  profile.SearchString = kPeopleFilter;
  profile.SchemaMapping = kPeopleMapping;
  profile.CacheFileName = (Data().dir / "people.pxb").string();
  profile.ShowNamesBy = 0;
  return backend;
}

void DropBackend(ABLDAPBackeEnd* backend) {
  backend->ClearUsers();
  backend->Release();
}

// The same search with OpenLDAP's own client, its LDIF written to a file as the backend
// writes its cache file.
void BM_Ldapsearch(benchmark::State& state) {
  const std::string command = std::string("ldapsearch -x -LLL -o ldif-wrap=no -z 0 -H ") + Data().server.Url() +
                              " -b " + kPeopleBase + " -s one '" + kPeopleFilter + "' " + kPeopleAttributes + " > '" +
                              (Data().dir / "ldapsearch.ldif").string() + "'";
  for (auto _ : state) {
    const int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("ldapsearch failed");
  }
  state.SetItemsProcessed(state.iterations() * kPeople);
}

// The snapshot alone, as LoadDirectory takes it: the share of the load that is the fetch's.
void BM_FetchOnly(benchmark::State& state) {
  ScriptedMessageBoxes boxes;
  for (auto _ : state) {
    LDAPListManager manager;
    manager.ServerName = Data().server.HostPort();
    manager.UseVersion3 = true;
    manager.SearchDN = kPeopleBase;
    manager.SearchString = kPeopleFilter;
    manager.GetAttribList().Parse(kPeopleMapping);
    manager.GetAttribList().CommonName = "cn";
    manager.CacheFileName = (Data().dir / "fetch.pxb").string();
    if (!manager.Fetch() || manager.Count() != kPeople) state.SkipWithError("Fetch failed");
    state.PauseTiming();
    manager.Items = {};
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kPeople);
}

void BM_LoadDirectoryAndInitTables(benchmark::State& state) {
  ScriptedMessageBoxes boxes;
  for (auto _ : state) {
    ABLDAPBackeEnd* backend = NewBackend();
    const bool loaded = backend->LoadDirectory();
    backend->InitTables();
    state.PauseTiming();
    if (!loaded || backend->Users->size() != kPeople) state.SkipWithError("LoadDirectory failed");
    DropBackend(backend);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kPeople);
}

// The loaded address book that FindUserByName searches, and the heap it takes.
struct Loaded {
  ABLDAPBackeEnd* backend = nullptr;
  double listBytesPerUser = 0;
  double tableBytesPerUser = 0;
  Loaded() {
    ScriptedMessageBoxes boxes;
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    backend = NewBackend();
    backend->LoadDirectory();
    const std::size_t withList = mallinfo2().uordblks;
    backend->InitTables();
    const std::size_t withTables = mallinfo2().uordblks;
    listBytesPerUser = static_cast<double>(withList - before) / kPeople;
    tableBytesPerUser = static_cast<double>(withTables - withList) / kPeople;
  }
};
Loaded& Book() {
  static Loaded loaded;
  return loaded;
}

void FindUser(benchmark::State& state, const char* typed, HRESULT expected) {
  ABLDAPBackeEnd* backend = Book().backend;
  for (auto _ : state) {
    LPSPropValue values = nullptr;
    ULONG count = 0;
    const HRESULT hr = backend->FindUserByName(typed, nullptr, &values, &count);
    if (hr != expected) state.SkipWithError("unexpected answer");
    MAPIFreeBuffer(values);
  }
}
// One match: every name is looked at, and the match's properties are read.
void BM_FindUserByName_Resolved(benchmark::State& state) { FindUser(state, "qxy", S_OK); }
// No match: every name is looked at.
void BM_FindUserByName_NotFound(benchmark::State& state) { FindUser(state, "zqj", MAPI_E_NOT_FOUND); }
// Many matches: the second one decides.
void BM_FindUserByName_Ambiguous(benchmark::State& state) { FindUser(state, "ann", MAPI_E_AMBIGUOUS_RECIP); }

// For comparison: the same scan folding every display name again on every call.
void BM_ScanFoldingEveryNameEachCall(benchmark::State& state) {
  const UserList& users = *Book().backend->Users;
  std::string upper;
  for (auto _ : state) {
    unsigned matches = 0;
    for (const UserListEntry& entry : users) {
      upper = entry.User->DisplayName;
      CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
      if (upper.find("QXY") != std::string::npos) ++matches;
    }
    if (matches != 1) state.SkipWithError("unexpected matches");
  }
}

void BM_MemoryPerUser(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(Book().backend);
  state.counters["list_B_per_user"] = Book().listBytesPerUser;
  state.counters["tables_B_per_user"] = Book().tableBytesPerUser;
  state.counters["total_B_per_user"] = Book().listBytesPerUser + Book().tableBytesPerUser;
}
}  // namespace

BENCHMARK(BM_Ldapsearch)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);
BENCHMARK(BM_FetchOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);
BENCHMARK(BM_LoadDirectoryAndInitTables)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);
BENCHMARK(BM_FindUserByName_Resolved)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindUserByName_NotFound)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindUserByName_Ambiguous)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanFoldingEveryNameEachCall)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MemoryPerUser)->Iterations(1);
BENCHMARK_MAIN();

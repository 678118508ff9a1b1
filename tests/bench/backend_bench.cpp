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
#include "scripted_msgbox.h"
#include "slapd.h"
#include "tempdir.h"
#include "windows.h"

namespace {
constexpr int kPeople = 100000;
constexpr const char* kPeopleDN = "ou=people,dc=example,dc=com";
constexpr const char* kFilter = "(objectClass=inetOrgPerson)";
constexpr const char* kMapping =
    "First Name=givenname\nLast Name=sn\nTitle=title\nCompany=o\nDepartment=ou\n"
    "Telephone Number=telephoneNumber\nFax Number=facsimileTelephoneNumber\nMobile=mobile\n"
    "E-mail Address=mail";
// The attributes the mapping asks for, in the same order, for ldapsearch.
constexpr const char* kAttributes = "cn givenname sn title o ou telephoneNumber facsimileTelephoneNumber mobile mail";

const char* const kFirst[] = {"Anna", "Bernd",         "Claudia", "Dieter", "Elif",  "Frank", "Greta", "Hans",
                              "Ines", "J\xC3\xBCrgen", "Karin",   "Lars",   "Marta", "Nils",  "Olga",  "Paul"};
const char* const kLast[] = {"M\xC3\xBCller", "Schmidt", "Schneider", "Fischer",  "Weber", "Meyer",
                             "Wagner",        "Becker",  "Schulz",    "Hoffmann", "Koch",  "Richter",
                             "Klein",         "Wolf",    "Neumann",   "Schwarz",  "Braun", "Zimmermann"};
const char* const kDepartments[] = {"Research and Development", "Sales", "Human Resources", "Finance and Controlling"};
const char* const kTitles[] = {"Senior Software Engineer", "Account Manager", "Team Lead", "Controller"};

std::string PeopleLdif() {
  std::string ldif = std::string("dn: ") + kPeopleDN + "\nobjectClass: organizationalUnit\nou: people\n\n";
  ldif.reserve(static_cast<std::size_t>(kPeople) * 420);
  for (int i = 0; i < kPeople; ++i) {
    const std::string n = std::to_string(100000 + i);
    // One person has a surname whose three letters "qxy" nobody else's name holds.
    const std::string first = kFirst[i % 16];
    const std::string last = i == kPeople / 2 ? "Qxylander" : std::string(kLast[(i / 16) % 18]);
    ldif += "dn: uid=u" + n + "," + kPeopleDN + "\nobjectClass: inetOrgPerson\nuid: u" + n + "\ncn: " + first + " " +
            last + "\ngivenName: " + first + "\nsn: " + last + "\nmail: " + "u" + n +
            "@example.com\no: Example Corporation GmbH\nou: " + kDepartments[i % 4] + "\ntitle: " + kTitles[i % 4] +
            "\ntelephoneNumber: +49 30 " + n + "\nfacsimileTelephoneNumber: +49 30 " + n + "-99\n";
    if (i % 3) ldif += "mobile: +49 171 " + n + "\n";
    ldif += "\n";
  }
  return ldif;
}

struct Directory {
  SlapdServer server{{.ldif = PeopleLdif(), .sizeLimit = 2 * kPeople}};
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
  profile.SearchDN = kPeopleDN;
  profile.SearchString = kFilter;
  profile.SchemaMapping = kMapping;
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
                              " -b " + kPeopleDN + " -s one '" + kFilter + "' " + kAttributes + " > '" +
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
    manager.SearchDN = kPeopleDN;
    manager.SearchString = kFilter;
    manager.GetAttribList().Parse(kMapping);
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

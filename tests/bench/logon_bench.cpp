// A mail client's view of the address book at 100,000 people, through MAPI and the provider
// module: the logon of a fresh process (snapshot included) and `pxab resolve` as whole
// processes beside ldapsearch of the same search, a second logon in a process that is logged
// on, one ResolveName through the session, and the memory a logged-on session takes per user.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "mapiptr.h"
#include "mapiutil.h"
#include "mapix.h"
#include "people.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "tempdir.h"

namespace {
constexpr int kPeople = 100000;

int Run(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The directory and a profile pointing at it, made once with pxab as a user would.
struct Setup {
  SlapdServer server{{.ldif = PeopleLdif(kPeople), .sizeLimit = 2 * kPeople}};
  TempDir dir;
  bool ok = false;
  Setup() {
    setenv("PXAB_PROFILE_DIR", (dir / "profiles").c_str(), 1);
    setenv("PXAB_PROFILE", "bench", 1);
    const std::string create = std::string(PX_PXAB) + " profile create bench --set ServerName=" + server.HostPort() +
                               " --set SearchDN=" + kPeopleBase + " --set 'SearchString=" + kPeopleFilter +
                               "' --set CacheFileName=" + (dir / "people.pxb").string() + " >/dev/null";
    ok = Run(create) == 0;
  }
};
Setup& Data() {
  static Setup setup;
  return setup;
}

void Process(benchmark::State& state, const std::string& command) {
  if (!Data().ok) state.SkipWithError("no profile");
  for (auto _ : state)
    if (Run(command) != 0) state.SkipWithError(command.c_str());
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  state.counters["peak_children_RSS_MiB"] = static_cast<double>(children.ru_maxrss) / 1024;
}

void BM_Ldapsearch(benchmark::State& state) {
  Process(state, std::string("ldapsearch -x -LLL -o ldif-wrap=no -z 0 -H ") + Data().server.Url() + " -b " +
                     kPeopleBase + " -s one '" + kPeopleFilter + "' " + kPeopleAttributes + " > '" +
                     (Data().dir / "ldapsearch.ldif").string() + "'");
}
// A fresh process that logs on (the snapshot included), opens the address book and the status
// table, and logs off.
void BM_FreshProcessLogon(benchmark::State& state) {
  Process(state, std::string(PX_PXAB) + " status --offline=no > /dev/null");
}
// Check names of one name as a whole process.
void BM_PxabResolveOneName(benchmark::State& state) {
  Process(state, std::string(PX_PXAB) + " resolve --offline=no qxylander > /dev/null");
}

// A process logged on once: the session that keeps the snapshot, and its address book.
struct LoggedOn {
  ScriptedMessageBoxes boxes;
  ComPtr<IMAPISession> session;
  ComPtr<IAddrBook> book;
  double bytesPerUser = 0;
  bool ok = false;
  LoggedOn() {
    if (!Data().ok || FAILED(MAPIInitialize(nullptr))) return;
    malloc_trim(0);
    const std::size_t before = mallinfo2().uordblks;
    if (FAILED(MAPILogonEx(0, const_cast<LPSTR>("bench"), nullptr,
                           MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE, session.put())))
      return;
    if (FAILED(session->OpenAddressBook(0, nullptr, 0, book.put()))) return;
    bytesPerUser = static_cast<double>(mallinfo2().uordblks - before) / kPeople;
    ok = true;
  }
};
LoggedOn& Session() {
  static LoggedOn loggedOn;
  return loggedOn;
}

void BM_SecondLogon(benchmark::State& state) {
  if (!Session().ok) state.SkipWithError("no session");
  for (auto _ : state) {
    ComPtr<IMAPISession> session;
    ComPtr<IAddrBook> book;
    if (FAILED(MAPILogonEx(0, const_cast<LPSTR>("bench"), nullptr,
                           MAPI_EXTENDED | MAPI_NEW_SESSION | MAPI_EXPLICIT_PROFILE, session.put())) ||
        FAILED(session->OpenAddressBook(0, nullptr, 0, book.put())))
      state.SkipWithError("second logon failed");
    book.reset();
    session->Logoff(0, 0, 0);
  }
}

void BM_ResolveNameThroughTheSession(benchmark::State& state) {
  if (!Session().ok) state.SkipWithError("no session");
  for (auto _ : state) {
    LPADRLIST list = nullptr;
    MAPIAllocateBuffer(CbNewADRLIST(1), reinterpret_cast<LPVOID*>(&list));
    list->cEntries = 1;
    list->aEntries[0] = ADRENTRY{};
    MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<LPVOID*>(&list->aEntries[0].rgPropVals));
    list->aEntries[0].cValues = 2;
    list->aEntries[0].rgPropVals[0] = SPropValue{};
    list->aEntries[0].rgPropVals[0].ulPropTag = PR_DISPLAY_NAME;
    list->aEntries[0].rgPropVals[0].Value.lpszA = const_cast<LPSTR>("qxylander");
    list->aEntries[0].rgPropVals[1] = SPropValue{};
    list->aEntries[0].rgPropVals[1].ulPropTag = PR_RECIPIENT_TYPE;
    list->aEntries[0].rgPropVals[1].Value.l = MAPI_TO;
    const HRESULT hr = Session().book->ResolveName(0, 0, nullptr, list);
    const bool resolved = PpropFindProp(list->aEntries[0].rgPropVals, list->aEntries[0].cValues, PR_ENTRYID) != nullptr;
    FreePadrlist(list);
    if (hr != S_OK || !resolved) state.SkipWithError("not resolved");
  }
}

void BM_SessionMemoryPerUser(benchmark::State& state) {
  if (!Session().ok) state.SkipWithError("no session");
  for (auto _ : state) benchmark::DoNotOptimize(Session().book.get());
  state.counters["heap_B_per_user"] = Session().bytesPerUser;
  rusage self{};
  getrusage(RUSAGE_SELF, &self);
  state.counters["peak_RSS_MiB"] = static_cast<double>(self.ru_maxrss) / 1024;
}
}  // namespace

BENCHMARK(BM_Ldapsearch)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);
BENCHMARK(BM_FreshProcessLogon)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);
BENCHMARK(BM_PxabResolveOneName)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5);
BENCHMARK(BM_SessionMemoryPerUser)->Iterations(1);
BENCHMARK(BM_SecondLogon)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ResolveNameThroughTheSession)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK_MAIN();

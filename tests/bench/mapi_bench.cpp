// MAPI's own cost: MAPILogonEx + Logoff of a profile whose provider does next to nothing, and
// opening, reading and writing a profile section; each beside the file work it cannot avoid.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "mapiptr.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "mapix.h"
#include "profilefile.h"
#include "tempdir.h"

namespace {

// One profile "bench" with one test service, shared by every benchmark of the run.
struct Setup {
  TempDir dir;
  MAPIUID service{};
  Setup() {
    setenv("PXAB_PROFILE_DIR", (dir / "profiles").c_str(), 1);
    setenv("PXAB_SERVICES", PX_TEST_SERVICES, 1);
    MAPIInitialize(nullptr);
    ComPtr<IProfAdmin> admin;
    ComPtr<IMsgServiceAdmin> services;
    if (MAPIAdminProfiles(0, admin.put()) != S_OK ||
        admin->CreateProfile(const_cast<LPSTR>("bench"), nullptr, 0, 0) != S_OK ||
        admin->AdminServices(const_cast<LPSTR>("bench"), nullptr, 0, 0, services.put()) != S_OK ||
        services->CreateMsgService(const_cast<LPSTR>("TESTA"), nullptr, 0, 0) != S_OK)
      std::abort();
    ComPtr<IMAPITable> table;
    LPSRowSet rows = nullptr;
    if (services->GetMsgServiceTable(0, table.put()) != S_OK || table->QueryRows(1, 0, &rows) != S_OK) std::abort();
    std::memcpy(service.ab, PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_SERVICE_UID)->Value.bin.lpb,
                16);
    FreeProws(rows);
    // A configured service holds the 17 settings of an address book.
    ComPtr<IProfSect> section;
    services->OpenProfileSection(&service, nullptr, MAPI_MODIFY, section.put());
    std::string texts[17];
    SPropValue values[17];
    for (int i = 0; i < 17; ++i) {
      texts[i] = "setting number " + std::to_string(i) + " of the address book";
      values[i].ulPropTag = PROP_TAG(PT_STRING8, 0x6600 + i);
      values[i].Value.lpszA = texts[i].data();
    }
    section->SetProps(17, values, nullptr);
  }
};
Setup& Shared() {
  static Setup setup;
  return setup;
}

void BM_LogonLogoff(benchmark::State& state) {
  Shared();
  for (auto _ : state) {
    ComPtr<IMAPISession> session;
    if (MAPILogonEx(0, const_cast<LPSTR>("bench"), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION, session.put()) != S_OK)
      state.SkipWithError(PxMAPILastError());
    session->Logoff(0, 0, 0);
  }
}
BENCHMARK(BM_LogonLogoff)->Unit(benchmark::kMicrosecond);

// Baseline: what a logon cannot do without, reading the profile and resolving the module.
void BM_LogonBaseline_ReadProfileAndModule(benchmark::State& state) {
  Shared();
  for (auto _ : state) {
    benchmark::DoNotOptimize(pxmapi::ReadProfile("bench"));
    void* module = dlopen(PX_TEST_MODULE_A, RTLD_NOW | RTLD_LOCAL);
    benchmark::DoNotOptimize(dlsym(module, "ABProviderInit"));
    dlclose(module);
  }
}
BENCHMARK(BM_LogonBaseline_ReadProfileAndModule)->Unit(benchmark::kMicrosecond);

void BM_OpenAndReadSection(benchmark::State& state) {
  Setup& setup = Shared();
  ComPtr<IProfAdmin> admin;
  ComPtr<IMsgServiceAdmin> services;
  MAPIAdminProfiles(0, admin.put());
  admin->AdminServices(const_cast<LPSTR>("bench"), nullptr, 0, 0, services.put());
  for (auto _ : state) {
    ComPtr<IProfSect> section;
    services->OpenProfileSection(&setup.service, nullptr, 0, section.put());
    ULONG count = 0;
    LPSPropValue values = nullptr;
    section->GetProps(nullptr, 0, &count, &values);
    MAPIFreeBuffer(values);
  }
}
BENCHMARK(BM_OpenAndReadSection)->Unit(benchmark::kMicrosecond);

void BM_WriteSection(benchmark::State& state) {
  Setup& setup = Shared();
  ComPtr<IProfAdmin> admin;
  ComPtr<IMsgServiceAdmin> services;
  MAPIAdminProfiles(0, admin.put());
  admin->AdminServices(const_cast<LPSTR>("bench"), nullptr, 0, 0, services.put());
  ComPtr<IProfSect> section;
  services->OpenProfileSection(&setup.service, nullptr, MAPI_MODIFY, section.put());
  SPropValue value{};
  value.ulPropTag = PROP_TAG(PT_LONG, 0x6680);
  for (auto _ : state) {
    ++value.Value.l;
    section->SetProps(1, &value, nullptr);
  }
}
BENCHMARK(BM_WriteSection)->Unit(benchmark::kMicrosecond);

// Baseline: writing the same bytes atomically (temporary file, fsync, rename), nothing else.
void BM_WriteBaseline_AtomicFile(benchmark::State& state) {
  Setup& setup = Shared();
  const std::string text = pxmapi::FormatProfile(pxmapi::ReadProfile("bench"));
  const std::string path = (setup.dir / "baseline").string();
  for (auto _ : state) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) state.SkipWithError("write");
    fsync(fd);
    close(fd);
    rename(temp.c_str(), path.c_str());
  }
}
BENCHMARK(BM_WriteBaseline_AtomicFile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();

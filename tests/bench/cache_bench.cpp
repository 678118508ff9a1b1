// Saving and loading a snapshot of 100,000 directory entries, beside reading the same file's
// bytes. Items/s and bytes/s per operation; peak_MB is the process's resident high-water mark
// over the operation's runs (reset before them).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "directory/ldapcon.h"
#include "tempdir.h"

namespace {
constexpr int kItems = 100000;

const char* const kFirst[] = {"Anna", "Bernd", "Claudia", "Dieter", "Elif", "Frank", "Greta", "Hans"};
const char* const kLast[] = {"M\xC3\xBCller", "Schmidt", "Schneider", "Fischer", "Weber", "Meyer", "Wagner", "Becker"};
const char* const kDepartments[] = {"Research and Development", "Sales", "Human Resources", "Finance and Controlling"};
const char* const kTitles[] = {"Senior Software Engineer", "Account Manager", "Team Lead", "Controller"};

std::vector<LDAPItem> RealisticItems() {
  std::vector<LDAPItem> items(kItems);
  for (int i = 0; i < kItems; ++i) {
    LDAPItem& item = items[i];
    const std::string n = std::to_string(100000 + i);
    item.FirstName = kFirst[i % 8];
    item.LastName = kLast[(i / 8) % 8];
    item.CommonName = item.FirstName + " " + item.LastName;
    item.DN = "uid=u" + n + ",ou=people,dc=example,dc=com";
    item.EMailAddress = item.FirstName + "." + n + "@example.com";
    item.Company = "Example Corporation GmbH";
    item.Department = kDepartments[i % 4];
    item.Title = kTitles[i % 4];
    item.TelephoneNumber = "+49 30 " + n;
    item.FaxNumber = "+49 30 " + n + "-99";
    if (i % 3) item.Mobile = "+49 171 " + n;
  }
  return items;
}

struct Fixture {
  TempDir dir;
  std::string file = (dir / "bench.pxb").string();
  std::uintmax_t bytes = 0;
  Fixture() {
    LDAPListManager manager;
    manager.CacheFileName = file;
    manager.Items = RealisticItems();
    if (!manager.SaveCache()) throw std::runtime_error("cannot write the benchmark's cache file");
    bytes = std::filesystem::file_size(file);
  }
};
Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }
double PeakMB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

void Report(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kItems);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Data().bytes));
  state.counters["file_MB"] = static_cast<double>(Data().bytes) / (1024.0 * 1024.0);
  state.counters["peak_MB"] = PeakMB();
}

void BM_SaveCache(benchmark::State& state) {
  LDAPListManager manager;
  manager.CacheFileName = (Data().dir / "save.pxb").string();
  manager.Items = RealisticItems();
  ResetPeak();
  for (auto _ : state)
    if (!manager.SaveCache()) state.SkipWithError("SaveCache failed");
  Report(state);
}

void BM_LoadCache(benchmark::State& state) {
  LDAPListManager manager;
  manager.CacheFileName = Data().file;
  ResetPeak();
  for (auto _ : state) {
    if (!manager.LoadCache() || manager.Count() != kItems) state.SkipWithError("LoadCache failed");
    // The next run starts from an empty list, as a fresh process does.
    state.PauseTiming();
    manager.Items = {};
    state.ResumeTiming();
  }
  Report(state);
}

// The floor: the same file's bytes into one buffer.
void BM_ReadFileBytes(benchmark::State& state) {
  std::vector<char> buffer;
  ResetPeak();
  for (auto _ : state) {
    std::FILE* file = std::fopen(Data().file.c_str(), "rb");
    buffer.resize(Data().bytes);
    if (!file || std::fread(buffer.data(), 1, buffer.size(), file) != buffer.size()) state.SkipWithError("read failed");
    if (file) std::fclose(file);
    benchmark::DoNotOptimize(buffer.data());
    state.PauseTiming();
    buffer = {};
    state.ResumeTiming();
  }
  Report(state);
}
}  // namespace

BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveCache)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

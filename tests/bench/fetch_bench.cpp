// A snapshot of 100,000 people from a local slapd, beside `ldapsearch -x` of the same base,
// scope, filter and attributes into /dev/null, in the same run.
//
// Both run as child processes, so that each one's wall time includes its start and its peak
// resident memory (from wait4) is its own: the fetch runs in this program started afresh
// with --fetch-child, which takes the snapshot as the provider does (cache file included)
// and reports the bytes of the texts it holds. Counters per run:
//   fetch_s, ldapsearch_s, ratio (fetch / ldapsearch)
//   fetch_peak_MB, ldapsearch_peak_MB, idle_peak_MB (this program doing nothing)
//   texts_MB (bytes of the eleven texts of every item), peak_per_text (fetch_peak / texts)
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "directory/ldapcon.h"
#include "people.h"
#include "slapd.h"
#include "tempdir.h"

namespace {
constexpr int kPeople = 100000;
const std::vector<std::string> kAttributes = {
    "cn", "givenName", "sn", "title", "o", "ou", "telephoneNumber", "facsimileTelephoneNumber", "mail", "mobile"};

struct Run {
  double seconds = 0;
  double peakMB = 0;
  std::string output;
};

// Runs `argv` with stdout to `out` (a pipe's text is returned when `out` is empty), waits,
// and returns its wall time and peak resident memory.
Run Spawn(const std::vector<std::string>& argv, const char* out) {
  int pipeFds[2] = {-1, -1};
  if (!out && pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = out ? open(out, O_WRONLY) : pipeFds[1];
    dup2(fd, 1);
    if (!out) close(pipeFds[0]);
    execv(args[0], args.data());
    _exit(127);
  }
  Run run;
  if (!out) {
    close(pipeFds[1]);
    char buffer[256];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) run.output.append(buffer, got);
    close(pipeFds[0]);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMB = usage.ru_maxrss / 1024.0;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error(argv[0] + " failed");
  return run;
}

std::string self;

struct Directory {
  SlapdServer server{{.ldif = PeopleLdif(kPeople), .sizeLimit = kPeople + 1}};
  TempDir dir;
};
Directory& Data() {
  static Directory directory;
  return directory;
}

void BM_FetchBesideLdapsearch(benchmark::State& state) {
  Directory& data = Data();
  const std::string cache = (data.dir / "people.pxb").string();
  std::vector<std::string> ldapsearch = {"/usr/bin/ldapsearch", "-x", "-H",  data.server.Url(), "-b",
                                         kPeopleBase,           "-s", "one", kPeopleFilter};
  ldapsearch.insert(ldapsearch.end(), kAttributes.begin(), kAttributes.end());
  const std::vector<std::string> fetch = {self, "--fetch-child", data.server.HostPort(), cache};
  const double idle = Spawn({self, "--idle-child"}, "/dev/null").peakMB;
  double fetchSeconds = 0, searchSeconds = 0, fetchPeak = 0, searchPeak = 0, textBytes = 0;
  for (auto _ : state) {
    const Run search = Spawn(ldapsearch, "/dev/null");
    const Run fetched = Spawn(fetch, nullptr);
    unsigned long count = 0, bytes = 0;
    if (std::sscanf(fetched.output.c_str(), "%lu %lu", &count, &bytes) != 2 || count != kPeople)
      state.SkipWithError(("the fetch took " + fetched.output).c_str());
    state.SetIterationTime(fetched.seconds);
    fetchSeconds += fetched.seconds;
    searchSeconds += search.seconds;
    fetchPeak = std::max(fetchPeak, fetched.peakMB);
    searchPeak = std::max(searchPeak, search.peakMB);
    textBytes = static_cast<double>(bytes);
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["fetch_s"] = fetchSeconds / runs;
  state.counters["ldapsearch_s"] = searchSeconds / runs;
  state.counters["ratio"] = fetchSeconds / searchSeconds;
  state.counters["fetch_peak_MB"] = fetchPeak;
  state.counters["ldapsearch_peak_MB"] = searchPeak;
  state.counters["idle_peak_MB"] = idle;
  state.counters["texts_MB"] = textBytes / (1024 * 1024);
  state.counters["peak_per_text"] = fetchPeak * 1024 * 1024 / textBytes;
  state.SetItemsProcessed(state.iterations() * kPeople);
}
BENCHMARK(BM_FetchBesideLdapsearch)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The snapshot itself, as the provider takes it; prints the item count and the text bytes.
int FetchChild(const char* server, const char* cache) {
  LDAPListManager manager;
  manager.ServerName = server;
  manager.SearchDN = kPeopleBase;
  manager.SearchString = kPeopleFilter;
  manager.GetAttribList().Parse(kPeopleMapping);
  manager.CacheFileName = cache;
  if (!manager.Fetch()) return 1;
  unsigned long bytes = 0;
  for (const LDAPItem& item : manager.Items)
    for (const std::string* field : item.Fields()) bytes += field->size();
  std::printf("%u %lu\n", manager.Count(), bytes);
  return 0;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--fetch-child") return FetchChild(argv[2], argv[3]);
  if (argc == 2 && std::string(argv[1]) == "--idle-child") return 0;
  self = "/proc/self/exe";
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n > 0) self.assign(path, n);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// Cache reader: any file loads without a crash, a leak or a wild allocation, and what it
// loads is saved and loaded back unchanged. Run with scripts/fuzz cache_reader_fuzz SECONDS.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "directory/ldapcon.h"
#include "windows.h"

namespace {
struct Scratch {
  std::filesystem::path dir;
  Scratch() {
    const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/pxfuzz-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    dir = pattern;
    // A box here would be a fault: the files always exist.
    SetMessageBoxHandler([](const char*, const char*, UINT) -> int { std::abort(); });
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Scratch scratch;
  const std::string input = (scratch.dir / "input.pxb").string();
  const std::string again = (scratch.dir / "again.pxb").string();
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (!file || std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);

  LDAPListManager loaded;
  loaded.CacheFileName = input;
  loaded.LoadCache();

  LDAPListManager saved;
  saved.CacheFileName = again;
  saved.Items = loaded.Items;
  if (!saved.SaveCache()) std::abort();
  LDAPListManager reloaded;
  reloaded.CacheFileName = again;
  if (!reloaded.LoadCache() || reloaded.Items != loaded.Items) std::abort();
  return 0;
}

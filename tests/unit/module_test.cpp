#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

// The provider module loads with every symbol resolved and shows nothing but its entry points.
TEST(ProviderModule, LoadsAndExportsOnlyTheEntryPoints) {
  void* module = dlopen(PX_MODULE, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  dlclose(module);

  std::FILE* symbols = popen("nm -D --defined-only --format=posix " PX_MODULE, "r");
  ASSERT_NE(symbols, nullptr);
  const std::set<std::string> allowed{"ABProviderInit", "_ABProviderInit", "ABServiceEntry"};
  char line[4096];
  while (std::fgets(line, sizeof line, symbols)) {
    const std::string name = std::string(line).substr(0, std::string(line).find(' '));
    // The linker's own markers and sanitizer runtime hooks are not ours.
    static const std::set<std::string> linker{"_init", "_fini", "_edata", "_end", "__bss_start"};
    if (linker.count(name) || name.rfind("__asan", 0) == 0 || name.rfind("__ubsan", 0) == 0 ||
        name.rfind("__lsan", 0) == 0 || name.rfind("__sanitizer", 0) == 0)
      continue;
    EXPECT_TRUE(allowed.count(name)) << "exported: " << name;
  }
  EXPECT_EQ(pclose(symbols), 0);
}

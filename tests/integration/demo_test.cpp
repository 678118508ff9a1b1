// scripts/demo against this build, so that the README's main command cannot rot.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

TEST(Demo, RunsAndShowsTheOnlineAndOfflineSnapshot) {
  const std::string command = std::string(PX_SOURCE_DIR) + "/scripts/demo --no-build '" + PX_BINARY_DIR + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  for (const char* shown : {"pxab directory fetch: 34 entries", "Anna M\xC3\xBCller", "holds the same 34 entries",
                            "gives the same file, byte for byte", "Error Code 0x51.",
                            "the offline snapshot equals the online one", "== Shown:"})
    EXPECT_NE(output.find(shown), std::string::npos) << shown << "\n" << output;
}

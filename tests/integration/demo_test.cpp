// scripts/demo against this build, so that the README's main command cannot rot.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

TEST(Demo, RunsAndShowsTheAddressBookAtWork) {
  const std::string command = std::string(PX_SOURCE_DIR) + "/scripts/demo --no-build '" + PX_BINARY_DIR + "' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  for (const char* shown : {"\"DisplayName\": \"Example Staff\"", "... 34 people in all",
                            "\"PR_DISPLAY_NAME\": \"Ines Schr\xC3\xB6"
                            "der\"",
                            "{\"name\": \"nuno\", \"status\": \"resolved\"",
                            "\"prepared\": {\"PR_DISPLAY_NAME\": \"Nuno Sim\xC3\xB5"
                            "es\"",
                            "\"candidates\": [\"Bernd Fischer\", \"Dieter Schmidt\", \"Ines Schr\xC3\xB6"
                            "der\"]",
                            "{\"name\": \"zebra\", \"status\": \"unresolved\"}", "Job Title:       Project Manager",
                            "\"PR_PROVIDER_DLL_NAME\": \"pxbl.dll\"", "34 people from the cache file, as online",
                            "working offline was declined", "(exit status 3)", "== Shown:"})
    EXPECT_NE(output.find(shown), std::string::npos) << shown << "\n" << output;
}

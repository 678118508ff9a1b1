// The installed tree on its own: `cmake --install` into a temporary DESTDIR, then the installed
// pxab run with an empty environment (no LD_LIBRARY_PATH, no PXAB_SERVICES, nothing of the build
// tree on any path) against slapd. It finds its libraries through its RUNPATH, the provider
// module through the installed service catalogue and the translations under share/locale.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "slapd.h"
#include "tempdir.h"

namespace {
constexpr const char* kPeople =
    "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
    "dn: uid=anna,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: anna\n"
    "cn: Anna M\xC3\xBCller\ngivenName: Anna\nsn: M\xC3\xBCller\nmail: anna@example.com\ntitle: Engineer\n\n"
    "dn: uid=john,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: john\n"
    "cn: John Smith\ngivenName: John\nsn: Smith\nmail: john@example.com\n\n";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Output of a shell command, with its exit status.
std::string Capture(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int result = pclose(pipe);
  *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return out;
}
}  // namespace

class InstalledPxab : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    stage = new TempDir;
    const std::string log = (*stage / "install.log").string();
    const std::string command = "DESTDIR=" + Quoted(stage->path().string()) + " " + Quoted(PX_CMAKE) + " --install " +
                                Quoted(PX_BINARY_DIR) + " --prefix /usr >" + Quoted(log) + " 2>&1";
    installed = std::system(command.c_str()) == 0;
    if (!installed) std::fprintf(stderr, "cmake --install failed:\n%s\n", ReadAll(log).c_str());
    server = new SlapdServer({.ldif = kPeople});
  }
  static void TearDownTestSuite() {
    delete server;
    delete stage;
    server = nullptr;
    stage = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(installed); }

  static std::filesystem::path Root() { return stage->path() / "usr"; }

  // Runs the installed pxab with `args` (shell words) in an environment of its own: a home
  // folder in the test's folder, the language given, and the sanitizers' settings.
  int Run(const std::string& args, const std::string& language = "en") {
    std::string environment =
        "env -i PATH=/usr/bin:/bin HOME=" + Quoted(dir.path().string()) + " LANG=C.UTF-8" + " LANGUAGE=" + language;
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "TSAN_OPTIONS"})
      if (const char* value = std::getenv(name)) environment += std::string(" ") + name + "=" + Quoted(value);
    const std::string command = environment + " " + Quoted((Root() / "bin/pxab").string()) + " " + args +
                                " </dev/null 2>" + Quoted((dir / "stderr").string());
    int status = -1;
    out = Capture(command, &status);
    err = ReadAll(dir / "stderr");
    return status;
  }

  static TempDir* stage;
  static bool installed;
  static SlapdServer* server;
  TempDir dir;
  std::string out, err;
};
TempDir* InstalledPxab::stage = nullptr;
bool InstalledPxab::installed = false;
SlapdServer* InstalledPxab::server = nullptr;

TEST_F(InstalledPxab, TheTreeHoldsWhatAUserNeeds) {
  for (const char* file : {"bin/pxab", "lib/pxbl/libpxbl.so", "lib/pxbl/libpxmapi.so", "lib/pxbl/libpxplatform.so",
                           "lib/pxbl/pxab/services.conf", "share/locale/de/LC_MESSAGES/pxbl.mo",
                           "share/man/man1/pxab.1.gz", "share/doc/pxab/README.md", "share/doc/pxab/copyright"})
    EXPECT_TRUE(std::filesystem::is_regular_file(Root() / file)) << file;
  // The libraries are found relative to the binaries, never in the build tree.
  for (const char* file : {"bin/pxab", "lib/pxbl/libpxbl.so", "lib/pxbl/libpxmapi.so", "lib/pxbl/libpxplatform.so"}) {
    int status = -1;
    const std::string dynamic = Capture("readelf -d " + Quoted((Root() / file).string()), &status);
    ASSERT_EQ(status, 0) << file;
    EXPECT_NE(dynamic.find("Library runpath: [$ORIGIN"), std::string::npos) << file << dynamic;
    EXPECT_EQ(dynamic.find(PX_BINARY_DIR), std::string::npos) << file << dynamic;
  }
  int status = -1;
  const std::string page = Capture("gzip -dc " + Quoted((Root() / "share/man/man1/pxab.1.gz").string()), &status);
  ASSERT_EQ(status, 0);
  EXPECT_NE(page.find(".TH \"pxab\" \"1\""), std::string::npos) << page.substr(0, 400);
}

// Every command that pxab lists has its part in the manual page.
TEST_F(InstalledPxab, TheManualPageCoversEveryCommand) {
  int status = -1;
  const std::string page = Capture("gzip -dc " + Quoted((Root() / "share/man/man1/pxab.1.gz").string()), &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(Run("--help"), 0) << err;
  const std::size_t commands = out.find("Commands:\n");
  ASSERT_NE(commands, std::string::npos) << out;
  int listed = 0;
  for (const std::string& line : Lines(out.substr(commands))) {
    if (line.rfind("  ", 0) != 0) continue;
    const std::string name = line.substr(2, line.find(' ', 2) - 2);
    ++listed;
    EXPECT_NE(page.find("\\fBpxab " + name), std::string::npos) << name;
  }
  EXPECT_GE(listed, 10);
}

TEST_F(InstalledPxab, TellsItsVersion) {
  ASSERT_EQ(Run("--version"), 0) << err;
  EXPECT_EQ(out, "pxab " PX_VERSION "\n");
}

// As a mail client through MAPI: the profile's message service comes from the installed
// catalogue, its provider from the installed module.
TEST_F(InstalledPxab, MakesAProfileListsAndResolves) {
  const std::string settings = " --set ServerName=" + server->HostPort() +
                               " --set SearchDN=ou=people,dc=example,dc=com"
                               " --set 'SearchString=(objectClass=inetOrgPerson)' --set CacheFileName=" +
                               Quoted((dir / "people.pxb").string());
  ASSERT_EQ(Run("profile create work" + settings), 0) << err;
  EXPECT_TRUE(std::filesystem::is_directory(dir / ".config/pxab/profiles"));
  ASSERT_EQ(Run("list --profile work"), 0) << err;
  const std::vector<std::string> rows = Lines(out);
  ASSERT_EQ(rows.size(), 2u) << out;
  EXPECT_NE(rows[0].find("\"PR_DISPLAY_NAME\": \"Anna M\xC3\xBCller\""), std::string::npos) << rows[0];
  EXPECT_NE(rows[1].find("\"PR_DISPLAY_NAME\": \"John Smith\""), std::string::npos) << rows[1];

  EXPECT_EQ(Run("resolve --profile work \"john s\" zebra"), 1) << err;
  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 2u) << out;
  EXPECT_EQ(lines[0].rfind("{\"name\": \"john s\", \"status\": \"resolved\"", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("\"PR_EMAIL_ADDRESS\": \"john@example.com\""), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], "{\"name\": \"zebra\", \"status\": \"unresolved\"}");

  // The module's own messages in the user's language, from the installed catalogue.
  ASSERT_EQ(Run("profile create down --set ServerName=127.0.0.1:" + std::to_string(SlapdServer::UnusedPort()) +
                " --set CacheFileName=" + Quoted((dir / "down.pxb").string())),
            0)
      << err;
  EXPECT_EQ(Run("list --profile down --offline=no", "de"), 3);
  EXPECT_NE(err.find("Keine Verbindung zum LDAP-Server m\xC3\xB6glich"), std::string::npos) << err;
}

// The provider's own directory code, through the installed libraries, in the user's language.
TEST_F(InstalledPxab, ReadsTheDirectoryAndSpeaksGerman) {
  ASSERT_EQ(Run("directory users --server " + server->HostPort() +
                " --base ou=people,dc=example,dc=com --filter '(objectClass=inetOrgPerson)'"),
            0)
      << err;
  const std::vector<std::string> rows = Lines(out);
  ASSERT_EQ(rows.size(), 2u) << out;
  EXPECT_NE(rows[0].find("Anna M\xC3\xBCller"), std::string::npos) << rows[0];

  EXPECT_EQ(
      Run("directory users --server 127.0.0.1:" + std::to_string(SlapdServer::UnusedPort()) + " --offline=no", "de"),
      0);
  EXPECT_NE(err.find("Keine Verbindung zum LDAP-Server m\xC3\xB6glich"), std::string::npos) << err;
}

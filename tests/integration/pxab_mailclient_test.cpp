// pxab as the mail client, run as the program against slapd: profiles made and configured
// through MAPI, then the address book listed, searched, resolved, shown and prepared, through
// MAPI and the provider module only.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "slapd.h"
#include "tempdir.h"

namespace {
constexpr const char* kPeople =
    "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
    "dn: uid=anna,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: anna\n"
    "cn: Anna M\xC3\xBCller\ngivenName: Anna\nsn: M\xC3\xBCller\nmail: anna@example.com\ntitle: Engineer\n"
    "telephoneNumber: +49 30 1001\n\n"
    "dn: uid=john,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: john\n"
    "cn: John Smith\ngivenName: John\nsn: Smith\nmail: john@example.com\n\n"
    "dn: uid=ann2,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: ann2\n"
    "cn: Ann Smithers\ngivenName: Ann\nsn: Smithers\nmail: ann@example.com\n\n"
    "dn: uid=bert,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: bert\n"
    "cn: Bert Builder\ngivenName: Bert\nsn: Builder\n\n";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}
}  // namespace

class PxabMailClient : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = kPeople}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    setenv("PXAB_PROFILE_DIR", (dir / "profiles").c_str(), 1);
    unsetenv("PXAB_PROFILE");
  }

  // Runs pxab with `args` (shell words) and no terminal; returns the exit status.
  int Run(const std::string& args) {
    const std::string command = std::string(PX_PXAB) + " " + args + " </dev/null >'" + (dir / "stdout").string() +
                                "' 2>'" + (dir / "stderr").string() + "'";
    const int status = std::system(command.c_str());
    out = ReadAll(dir / "stdout");
    err = ReadAll(dir / "stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Settings() const {
    return "--set ServerName=" + server->HostPort() +
           " --set SearchDN=ou=people,dc=example,dc=com --set 'SearchString=(objectClass=inetOrgPerson)'"
           " --set CacheFileName=" +
           (dir / "people.pxb").string();
  }
  void MakeProfile(const std::string& name = "default") {
    ASSERT_EQ(Run("profile create " + name + " " + Settings()), 0) << err;
  }

  static SlapdServer* server;
  TempDir dir;
  std::string out, err;
};
SlapdServer* PxabMailClient::server = nullptr;

TEST_F(PxabMailClient, ProfilesAreMadeShownConfiguredListedAndDeleted) {
  std::ofstream(dir / "password") << "s3cret\n";
  ASSERT_EQ(Run("profile create work " + Settings() + " --set DisplayName=Staff --set UseSSL=false --password-file " +
                (dir / "password").string()),
            0)
      << err;
  ASSERT_EQ(Run("profile show work"), 0) << err;
  EXPECT_NE(out.find("\"DisplayName\": \"Staff\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"ShowNamesBy\": 0"), std::string::npos) << out;
  EXPECT_NE(out.find("\"Port\": 389"), std::string::npos) << out;
  EXPECT_NE(out.find("\"UseVersion3\": true"), std::string::npos) << out;
  EXPECT_NE(out.find("\"TimeOut\": 60"), std::string::npos) << out;
  EXPECT_NE(out.find("\"ReservedId\": \"00000000000000000000000000000000\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"Password\": \"********\""), std::string::npos) << out;
  EXPECT_EQ(out.find("s3cret"), std::string::npos) << out;
  // The dialog's default mapping, as pressing OK stores it.
  EXPECT_NE(out.find("\"SchemaMapping\": \"First Name=givenname\\r\\nLast Name=sn\\r\\n"), std::string::npos) << out;

  ASSERT_EQ(Run("profile configure work --set TimeOut=15 --set ShowNamesBy=last"), 0) << err;
  ASSERT_EQ(Run("profile show --profile work"), 0) << err;
  EXPECT_NE(out.find("\"TimeOut\": 15"), std::string::npos) << out;
  EXPECT_NE(out.find("\"ShowNamesBy\": 1"), std::string::npos) << out;
  EXPECT_NE(out.find("\"DisplayName\": \"Staff\""), std::string::npos) << out;

  ASSERT_EQ(Run("profile list"), 0) << err;
  EXPECT_NE(out.find("\"name\": \"work\""), std::string::npos) << out;
  ASSERT_EQ(Run("profile delete work"), 0) << err;
  EXPECT_EQ(Run("profile show work"), 1);
  EXPECT_EQ(Run("profile delete work"), 1);
}

// A bad field or value is a usage error naming it, and nothing is written.
TEST_F(PxabMailClient, BadSettingsWriteNothing) {
  struct Case {
    std::string args;
    const char* named;
  };
  for (const Case& c :
       {Case{"--set Bogus=1", "Bogus"}, Case{"--set UseSSL=maybe", "UseSSL"}, Case{"--set Port=x", "Port"},
        Case{"--password-file /nonexistent/x", "password-file"}, Case{"--set Password=x", "Password"}}) {
    EXPECT_EQ(Run("profile create bad " + c.args), 2) << c.args;
    EXPECT_NE(err.find(c.named), std::string::npos) << err;
    ASSERT_EQ(Run("profile list"), 0);
    EXPECT_EQ(out.find("\"bad\""), std::string::npos) << c.args;
  }
}

TEST_F(PxabMailClient, ListsSearchesAndResolvesAsAMailClient) {
  MakeProfile();
  ASSERT_EQ(Run("list"), 0) << err;
  const std::vector<std::string> rows = Lines(out);
  ASSERT_EQ(rows.size(), 4u) << out;
  EXPECT_EQ(rows[0].rfind("{\"PR_DISPLAY_NAME\": \"Ann Smithers\"", 0), 0u) << rows[0];
  EXPECT_NE(rows[1].find("\"PR_DISPLAY_NAME\": \"Anna M\xC3\xBCller\""), std::string::npos) << rows[1];

  ASSERT_EQ(Run("search smi"), 0) << err;
  EXPECT_EQ(Lines(out).size(), 2u) << out;
  EXPECT_EQ(Run("search zebra"), 1) << err;
  EXPECT_TRUE(out.empty());

  // Options may follow the names.
  EXPECT_EQ(Run("resolve \"john s\" smi zebra --offline=no"), 1) << err;
  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_EQ(lines[0].rfind("{\"name\": \"john s\", \"status\": \"resolved\", \"recipient\": {", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("\"PR_EMAIL_ADDRESS\": \"john@example.com\""), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1],
            "{\"name\": \"smi\", \"status\": \"ambiguous\", \"candidates\": [\"Ann Smithers\", \"John Smith\"]}");
  EXPECT_EQ(lines[2], "{\"name\": \"zebra\", \"status\": \"unresolved\"}");

  ASSERT_EQ(Run("resolve --prepare anna"), 0) << err;
  const std::size_t prepared = out.find("\"prepared\": {");
  ASSERT_NE(prepared, std::string::npos) << out;
  EXPECT_EQ(out.compare(prepared, 120,
                        "\"prepared\": {\"PR_DISPLAY_NAME\": \"Anna M\xC3\xBCller\", \"PR_EMAIL_ADDRESS\": "
                        "\"anna@example.com\", \"PR_ADDRTYPE\": \"SMTP\", \"PR_SEARCH_KEY\": ",
                        0, 120),
            0)
      << out;
}

TEST_F(PxabMailClient, ShowsAUserItsDetailsPageAndTheStatusTable) {
  MakeProfile();
  ASSERT_EQ(Run("show anna"), 0) << err;
  EXPECT_NE(out.find("\"PR_LDAP_DN\": \"uid=anna,ou=people,dc=example,dc=com\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"PR_TITLE\": \"Engineer\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"PR_DETAILS_TABLE\": null"), std::string::npos) << out;
  EXPECT_EQ(Run("show smi"), 1);
  EXPECT_NE(out.find("\"ambiguous\""), std::string::npos) << out;
  EXPECT_EQ(Run("show --entryid 00zz"), 2);

  ASSERT_EQ(Run("details anna"), 0) << err;
  EXPECT_NE(out.find("Pernix LDAP User Information"), std::string::npos) << out;
  EXPECT_NE(out.find("Display Name:"), std::string::npos) << out;
  EXPECT_NE(out.find("Anna M\xC3\xBCller"), std::string::npos) << out;
  EXPECT_NE(out.find("Job Title:"), std::string::npos) << out;
  EXPECT_NE(out.find("+49 30 1001"), std::string::npos) << out;
  // Fields in the page's order: the name before the job title before the phone.
  EXPECT_LT(out.find("Display Name:"), out.find("Job Title:"));
  EXPECT_LT(out.find("Job Title:"), out.find("Phone:"));
  ASSERT_EQ(Run("details anna --json"), 0) << err;
  EXPECT_GT(Lines(out).size(), 20u);
  EXPECT_NE(out.find("\"PR_CONTROL_TYPE\""), std::string::npos);

  ASSERT_EQ(Run("status"), 0) << err;
  EXPECT_NE(out.find("\"PR_PROVIDER_DISPLAY\": \"Pernix LDAP Address Book\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"PR_STATUS_STRING\": \"Available\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"PR_PROVIDER_DLL_NAME\": \"pxbl.dll\""), std::string::npos) << out;
}

TEST_F(PxabMailClient, FailuresHaveTheirExitStatus) {
  EXPECT_EQ(Run("list --profile nosuch"), 3);
  EXPECT_NE(err.find("nosuch"), std::string::npos) << err;
  EXPECT_EQ(Run("list extra"), 2);
  EXPECT_EQ(Run("resolve"), 2);
  EXPECT_EQ(Run("search"), 2);
  EXPECT_EQ(Run("show"), 2);
  EXPECT_EQ(Run("list --offline=perhaps"), 2);
  EXPECT_EQ(Run("profile frobnicate"), 2);
}

// With the server gone the provider asks whether to work offline: declined, the address book
// is empty and pxab says why; accepted, the cache file answers.
TEST_F(PxabMailClient, TheOfflineQuestion) {
  SlapdServer own({.ldif = kPeople});
  ASSERT_EQ(Run("profile create offline --set ServerName=" + own.HostPort() +
                " --set SearchDN=ou=people,dc=example,dc=com --set CacheFileName=" + (dir / "own.pxb").string()),
            0)
      << err;
  ASSERT_EQ(Run("list --profile offline"), 0) << err;
  const std::string online = out;
  own.Stop();
  EXPECT_EQ(Run("list --profile offline --offline=no"), 3);
  EXPECT_NE(err.find("working offline was declined"), std::string::npos) << err;
  ASSERT_EQ(Run("list --profile offline --offline=yes"), 0) << err;
  EXPECT_EQ(out, online);
}

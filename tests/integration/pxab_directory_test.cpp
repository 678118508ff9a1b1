// pxab directory fetch, run as the program against slapd.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "slapd.h"
#include "tempdir.h"

namespace {
constexpr const char* kPeople =
    "dn: ou=people,dc=example,dc=com\nobjectClass: organizationalUnit\nou: people\n\n"
    "dn: uid=anna,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: anna\n"
    "cn: Anna M\xC3\xBCller\ngivenName: Anna\nsn: M\xC3\xBCller\nmail: anna@example.com\nmail: am@example.com\n\n"
    "dn: uid=bert,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: bert\n"
    "cn: Bert\nsn: Builder\n\n";

constexpr const char* kAnna =
    "{\"DN\": \"uid=anna,ou=people,dc=example,dc=com\", \"CommonName\": \"Anna M\xC3\xBCller\", \"FirstName\": "
    "\"Anna\", \"LastName\": \"M\xC3\xBCller\", \"EMailAddress\": \"anna@example.com\", \"Company\": \"\", "
    "\"Department\": \"\", \"Title\": \"\", \"TelephoneNumber\": \"\", \"FaxNumber\": \"\", \"Mobile\": \"\"}\n";
constexpr const char* kBert =
    "{\"DN\": \"uid=bert,ou=people,dc=example,dc=com\", \"CommonName\": \"Bert\", \"FirstName\": \"\", "
    "\"LastName\": \"Builder\", \"EMailAddress\": \"\", \"Company\": \"\", \"Department\": \"\", \"Title\": \"\", "
    "\"TelephoneNumber\": \"\", \"FaxNumber\": \"\", \"Mobile\": \"\"}\n";

class PxabDirectory : public testing::Test {
 protected:
  SlapdServer server{{.ldif = kPeople}};
  TempDir dir;
  std::string out, err;

  // Runs `pxab directory fetch` with `args` (shell words) and no terminal; returns the status.
  int Fetch(const std::string& args) {
    const std::string command = std::string(PX_PXAB) + " directory fetch " + args + " </dev/null >'" +
                                (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
    const int status = std::system(command.c_str());
    out = ReadAll(dir / "stdout");
    err = ReadAll(dir / "stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string People() const { return "--server " + server.HostPort() + " --base ou=people,dc=example,dc=com"; }
  std::string Cache() const { return (dir / "people.pxb").string(); }
};

TEST_F(PxabDirectory, PrintsTheSnapshotAsCacheDumpDoesAndSavesIt) {
  ASSERT_EQ(Fetch(People() + " --filter '(objectClass=inetOrgPerson)' --cache " + Cache()), 0) << err;
  EXPECT_EQ(out, std::string(kAnna) + kBert);
  EXPECT_NE(err.find("2 entries"), std::string::npos) << err;
  // The same lines come back from the cache file, and pipe into pxab cache write.
  const std::string dump = std::string(PX_PXAB) + " cache dump " + Cache();
  const std::string copy = (dir / "copy.pxb").string();
  ASSERT_EQ(std::system((dump + " | " + PX_PXAB + " cache write " + copy).c_str()), 0);
  EXPECT_EQ(ReadAll(copy), ReadAll(Cache()));
  ASSERT_EQ(
      Fetch("--offline=yes --server 127.0.0.1:" + std::to_string(SlapdServer::UnusedPort()) + " --cache " + Cache()), 0)
      << err;
  EXPECT_EQ(out, std::string(kAnna) + kBert);
  EXPECT_NE(err.find("Unable to connect to the LDAP server. Error Code 0x51."), std::string::npos) << err;
  EXPECT_NE(err.find("offline"), std::string::npos) << err;
}

TEST_F(PxabDirectory, BindsWithThePasswordFile) {
  std::ofstream(dir / "pw") << SlapdServer::kAdminPassword << "\n";
  const std::string bind = People() + " --bind-dn " + SlapdServer::kAdminDN + " --mapping /dev/null";
  ASSERT_EQ(Fetch(bind + " --password-file " + (dir / "pw").string()), 0) << err;
  EXPECT_NE(out.find("\"CommonName\": \"Bert\", \"FirstName\": \"\""), std::string::npos) << out;

  std::ofstream(dir / "pw") << "wrong\n";
  for (const char* offline : {"", " --offline=no", " --offline=yes"}) {
    SCOPED_TRACE(offline);
    EXPECT_EQ(Fetch(bind + " --password-file " + (dir / "pw").string() + offline), 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("Authentication failure to the LDAP server. Error Code 0x31."), std::string::npos) << err;
  }
  EXPECT_NE(err.find("give --cache FILE"), std::string::npos) << err;
}

TEST_F(PxabDirectory, FailuresAndUsage) {
  struct Case {
    std::string args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"--help", 0, ""},
      {People() + " --base ou=nowhere,dc=example,dc=com", 1, "LDAP search failed. Error Code 0x20."},
      // An unusable server name is a failed connection, with the offline question.
      {"--server ldap://bad/", 1, "Unable to connect to the LDAP server. Error Code 0x59."},
      {"--password secret", 2, "not taken from the command line"},
      {"--timeout soon", 2, "--timeout wants a number"},
      {"--offline=maybe", 2, "--offline is ask, yes or no"},
      {"--bind-dn cn=x", 2, "no terminal to ask"},
      {"--password-file /dev/null", 2, "--bind-dn"},
      {"--mapping " + (dir / "missing").string(), 1, "cannot read"},
      {"--frobnicate", 2, "unknown option '--frobnicate'"},
      {"--base", 2, "--base needs a value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(Fetch(c.args), c.status) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    if (c.status != 0) {
      EXPECT_EQ(out, "");
    } else {
      EXPECT_NE(out.find("Usage: pxab directory fetch"), std::string::npos);
    }
  }
}
}  // namespace

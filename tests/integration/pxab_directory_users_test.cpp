// pxab directory users and pxab directory find, run as the program against slapd.
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
    "cn: Anna M\xC3\xBCller\ngivenName: Anna\nsn: M\xC3\xBCller\nmail: anna@example.com\n\n"
    "dn: uid=bert,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: bert\n"
    "cn: Bert\nsn: Builder\n\n"
    "dn: uid=al,ou=people,dc=example,dc=com\nobjectClass: inetOrgPerson\nuid: al\n"
    "cn: Al Adams\ngivenName: Al\nsn: Adams\nmail: al@example.com\n\n";

// The entry identifier of a user in lower-case hex: header, MAPIUID, kind 3, type 6, key.
std::string EntryIdHex(const std::string& dn) {
  static const char digits[] = "0123456789abcdef";
  const std::size_t keyLength = dn.size() + 1;
  std::string length;
  for (int i = 0; i < 4; ++i) {
    const unsigned byte = (keyLength >> (8 * i)) & 0xFF;
    length += digits[byte >> 4];
    length += digits[byte & 0xF];
  }
  std::string hex = "00000000c71223950ed24e418be14a1f93f577f20300000006000000" + length;
  for (unsigned char c : dn) {
    hex += digits[c >> 4];
    hex += digits[c & 0xF];
  }
  return hex + "00";
}

class PxabDirectoryUsers : public testing::Test {
 protected:
  static void SetUpTestSuite() { server = new SlapdServer({.ldif = kPeople}); }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }

  // Runs `pxab directory SUB` with `args` (shell words) and no terminal; returns the status.
  int Run(const std::string& sub, const std::string& args) {
    const std::string command = std::string(PX_PXAB) + " directory " + sub + " " + args + " </dev/null >'" +
                                (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
    const int status = std::system(command.c_str());
    out = ReadAll(dir / "stdout");
    err = ReadAll(dir / "stderr");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string People() {
    return "--server " + server->HostPort() + " --base ou=people,dc=example,dc=com --filter '(objectClass=person)'";
  }

  static SlapdServer* server;
  TempDir dir;
  std::string out, err;
};
SlapdServer* PxabDirectoryUsers::server = nullptr;

std::string UserLine(const std::string& name, const std::string& email, const std::string& dn) {
  return "{\"display_name\": \"" + name + "\", \"email\": \"" + email + "\", \"entryid\": \"" + EntryIdHex(dn) +
         "\"}\n";
}
}  // namespace

TEST_F(PxabDirectoryUsers, PrintsTheContentsTableInDisplayNameOrder) {
  const std::string anna = "uid=anna,ou=people,dc=example,dc=com";
  const std::string bert = "uid=bert,ou=people,dc=example,dc=com";
  const std::string al = "uid=al,ou=people,dc=example,dc=com";
  ASSERT_EQ(Run("users", People()), 0) << err;
  EXPECT_EQ(out, UserLine(" Builder", "", bert) + UserLine("Al Adams", "al@example.com", al) +
                     UserLine("Anna M\xC3\xBCller", "anna@example.com", anna));
  EXPECT_NE(err.find("3 users"), std::string::npos) << err;

  ASSERT_EQ(Run("users", People() + " --show-names-by last"), 0) << err;
  EXPECT_EQ(out, UserLine("Adams, Al", "al@example.com", al) + UserLine("Builder, ", "", bert) +
                     UserLine("M\xC3\xBCller, Anna", "anna@example.com", anna));

  ASSERT_EQ(Run("users", "--show-names-by=cn " + People()), 0) << err;
  EXPECT_EQ(out, UserLine("Al Adams", "al@example.com", al) + UserLine("Anna M\xC3\xBCller", "anna@example.com", anna) +
                     UserLine("Bert", "", bert));
}

TEST_F(PxabDirectoryUsers, FindPrintsTheOutcome) {
  ASSERT_EQ(Run("find", People() + " a"), 0) << err;
  EXPECT_EQ(out, "ambiguous\n");
  ASSERT_EQ(Run("find", People() + " zebra"), 0) << err;
  EXPECT_EQ(out, "not found\n");
  ASSERT_EQ(Run("find", People() + " ''"), 0) << err;
  EXPECT_EQ(out, "not found\n");

  ASSERT_EQ(Run("find", People() + " M\xC3\x9CLLER"), 0) << err;  // MÜLLER
  const std::string anna = "uid=anna,ou=people,dc=example,dc=com";
  EXPECT_EQ(out, "resolved {\"PR_ENTRYID\": \"" + EntryIdHex(anna) +
                     "\", \"PR_SEARCH_KEY\": \"534d54503a616e6e61406578616d706c652e636f6d\", "
                     "\"PR_ADDRTYPE\": \"SMTP\", \"PR_DISPLAY_NAME\": \"Anna M\xC3\xBCller\", \"PR_DISPLAY_TYPE\": 0, "
                     "\"PR_EMAIL_ADDRESS\": \"anna@example.com\", \"PR_INSTANCE_KEY\": {\"error\": \"0x8004010F\"}, "
                     "\"PR_OBJECT_TYPE\": 6, \"PR_TRANSMITABLE_DISPLAY_NAME\": \"Anna M\xC3\xBCller\", "
                     "\"PR_SEND_RICH_INFO\": false, \"PR_7BIT_DISPLAY_NAME\": \"Anna MXXller\"}\n");

  // Bert has no mail: his address comes back as an error.
  ASSERT_EQ(Run("find", "--show-names-by cn " + People() + " bert"), 0) << err;
  EXPECT_NE(out.find("\"PR_EMAIL_ADDRESS\": {\"error\": \"0x8004010F\"}"), std::string::npos) << out;
}

TEST_F(PxabDirectoryUsers, UsageAndFailures) {
  struct Case {
    std::string sub, args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"users", "--help", 0, ""},
      {"find", "--help", 0, ""},
      {"users", "--show-names-by middle", 2, "--show-names-by is first, last or cn"},
      {"users", "--show-names-by", 2, "--show-names-by needs a value"},
      {"users", "extra", 2, "unexpected argument 'extra'"},
      {"users", "--frobnicate", 2, "unknown option '--frobnicate'"},
      {"find", People(), 2, "missing NAME"},
      {"find", People() + " one two", 2, "unexpected argument 'two'"},
      {"find", "--password secret x", 2, "not taken from the command line"},
      {"users", "--mapping " + (dir / "missing").string(), 1, "cannot read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sub + " " + c.args);
    EXPECT_EQ(Run(c.sub, c.args), c.status) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    if (c.status == 0) {
      EXPECT_NE(out.find("Usage: pxab directory " + c.sub), std::string::npos) << out;
    } else {
      EXPECT_EQ(out, "");
    }
  }
}

TEST_F(PxabDirectoryUsers, UnreachableServerGivesAnEmptyAddressBook) {
  const std::string nowhere = "--server 127.0.0.1:" + std::to_string(SlapdServer::UnusedPort());
  ASSERT_EQ(Run("users", nowhere + " --offline=no"), 0) << err;
  EXPECT_EQ(out, "");
  EXPECT_NE(err.find("Unable to connect to the LDAP server"), std::string::npos) << err;
  EXPECT_NE(err.find("0 users"), std::string::npos) << err;
  ASSERT_EQ(Run("find", nowhere + " --offline=no anyone"), 0) << err;
  EXPECT_EQ(out, "not found\n");
}

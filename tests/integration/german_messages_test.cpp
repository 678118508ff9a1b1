// The directory's message boxes in German: every text goes through the translation lookup,
// so a user with LANGUAGE=de reads the questions and errors of a failed snapshot in German.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "directory/ldapcon.h"
#include "gnugettext.h"
#include "scripted_msgbox.h"
#include "slapd.h"
#include "tempdir.h"

namespace {

class GermanMessages : public testing::Test {
 protected:
  void SetUp() override {
    setenv("LANGUAGE", "de", 1);
    SetTranslationDirectory(PX_BINARY_DIR "/locale");
    manager.SearchDN = SlapdServer::kBaseDN;
    manager.SearchString = "(objectClass=*)";
    manager.GetAttribList().Parse("First Name=givenName\nLast Name=sn");
    manager.CacheFileName = (dir / "missing.pxb").string();
  }
  void TearDown() override { unsetenv("LANGUAGE"); }

  TempDir dir;
  LDAPListManager manager;
};

TEST_F(GermanMessages, ConnectFailureAsksInGermanAndTheCacheErrorFollows) {
  manager.ServerName = "127.0.0.1:" + std::to_string(SlapdServer::UnusedPort());
  ScriptedMessageBoxes boxes({IDYES});
  EXPECT_FALSE(manager.Fetch());
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].text,
            "Keine Verbindung zum LDAP-Server m\xc3\xb6glich. Fehlercode 0x51.\n"
            "M\xc3\xb6"
            "chten Sie offline arbeiten?");
  EXPECT_EQ(boxes.Boxes()[0].caption, "Pernix");  // the caption is a name: never translated
  EXPECT_EQ(boxes.Boxes()[1].text, "Die Cache-Datei '" + manager.CacheFileName +
                                       "' kann nicht ge\xc3\xb6"
                                       "ffnet werden.");
}

TEST_F(GermanMessages, BindFailureSearchFailureAndCacheCreationErrorAreGerman) {
  SlapdServer server;
  manager.ServerName = server.HostPort();

  manager.Authenticate = true;
  manager.BindDN = server.AdminDN();
  manager.Password = "wrong";
  {
    ScriptedMessageBoxes boxes({IDNO});
    EXPECT_FALSE(manager.Fetch());
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text.rfind("Anmeldung am LDAP-Server fehlgeschlagen. Fehlercode 0x31.\n", 0), 0u);
  }

  manager.Password = server.AdminPassword();
  manager.SearchDN = "ou=nowhere,dc=example,dc=com";
  {
    ScriptedMessageBoxes boxes;
    manager.Fetch();
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes()[0].text.rfind("LDAP-Suche fehlgeschlagen. Fehlercode 0x20", 0), 0u);
    EXPECT_NE(boxes.Boxes()[0].text.find("Bitte pr\xc3\xbc"
                                         "fen Sie Suchbasis und Suchfilter"),
              std::string::npos);
  }

  manager.SearchDN = SlapdServer::kBaseDN;
  manager.CacheFileName = (dir / "no-such-folder" / "ab.pxb").string();
  {
    ScriptedMessageBoxes boxes;
    manager.Fetch();
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Die Cache-Datei '" + manager.CacheFileName +
                                         "' kann nicht angelegt werden. Bitte geben Sie in den Einstellungen "
                                         "einen g\xc3\xbcltigen Dateinamen an.");
  }
}

}  // namespace

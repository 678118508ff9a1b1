// Translations come in the character set of the user's locale (a file of its own: the locale
// is read once per process, and this test sets it up first).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "gnugettext.h"
#include "tempdir.h"

// glibc keeps the search path it builds from LOCPATH (35 bytes) without a pointer to it once a
// locale is loaded from there; that is the C library's, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:__argz_add_sep\n"; }

TEST(Translate, FollowsTheCharacterSetOfTheUsersLocale) {
  // A German Latin-1 locale, compiled into a folder of the test's own.
  TempDir dir;
  const std::string command =
      "localedef -i de_DE -f ISO-8859-1 '" + (dir / "de_DE.ISO-8859-1").string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot build de_DE.ISO-8859-1 here";
  setenv("LOCPATH", dir.path().c_str(), 1);
  setenv("LC_ALL", "de_DE.ISO-8859-1", 1);
  setenv("LANGUAGE", "de", 1);
  SetTranslationDirectory(PX_BINARY_DIR "/locale");
  // "möglich" with ö as the one Latin-1 byte 0xF6, not UTF-8's two.
  EXPECT_STREQ(Translate("Unable to connect to the LDAP server. Error Code 0x%X"),
               "Keine Verbindung zum LDAP-Server m\xF6glich. Fehlercode 0x%X");
}

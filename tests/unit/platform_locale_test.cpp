// The text services leave the process's locale to the program (a file of its own: each test
// here needs a process in which nothing has read the locale yet).
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "gnugettext.h"
#include "windows.h"

TEST(UserLocale, TheTextServicesNeverChangeTheProcessLocale) {
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  char text[] = "m\xC3\xBCller";
  CharUpperBuffA(text, sizeof text - 1);
  EXPECT_STREQ(text, "M\xC3\x9CLLER");  // the user's locale, not the program's C locale
  EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, "a", -1, "A", -1), CSTR_EQUAL);
  Translate("LDAP search failed. Error Code 0x%X");
  EnsureUserLocale();
  EXPECT_STREQ(std::setlocale(LC_ALL, nullptr), "C");
}

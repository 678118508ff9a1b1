// The user's locale as the platform's text services use it: read from the environment (LANG,
// LC_*) once into a locale object of the platform's own. The process's locale (setlocale)
// belongs to the program and is never changed here, so that the services are safe to call
// while the program's other threads run.
#pragma once

#include <locale.h>

// The locale object; a character set of plain ASCII (the C locale) is widened to UTF-8, as
// every machine here uses.
locale_t UserLocale();
// The name of one category (LC_CTYPE, LC_COLLATE, ...) of the user's locale.
const char* UserLocaleName(int category);

// Makes the calling thread use the user's locale until the end of the scope, for the C
// library calls that have no variant taking a locale (mbrtowc, gettext).
class UserLocaleScope {
 public:
  UserLocaleScope() : previous_(uselocale(UserLocale())) {}
  ~UserLocaleScope() { uselocale(previous_); }
  UserLocaleScope(const UserLocaleScope&) = delete;
  UserLocaleScope& operator=(const UserLocaleScope&) = delete;

 private:
  locale_t previous_;
};

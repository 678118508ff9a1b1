#include <langinfo.h>

#include <climits>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <mutex>
#include <string>

#include "userlocale.h"
#include "windows.h"

namespace {
// Upper-cases one character in place where that keeps its encoded length.
void UpperMultibyte(char* text, std::size_t length) {
  std::mbstate_t state{};
  std::size_t pos = 0;
  while (pos < length) {
    wchar_t wc;
    const std::size_t n = std::mbrtowc(&wc, text + pos, length - pos, &state);
    if (n == 0) {  // an embedded NUL
      ++pos;
      continue;
    }
    if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) {
      // Not a character of the locale's set: leave the byte and go on with the next.
      state = std::mbstate_t{};
      ++pos;
      continue;
    }
    const wint_t upper = towupper_l(static_cast<wint_t>(wc), UserLocale());
    if (upper != static_cast<wint_t>(wc)) {
      char buffer[MB_LEN_MAX];
      std::mbstate_t out{};
      const std::size_t m = std::wcrtomb(buffer, static_cast<wchar_t>(upper), &out);
      if (m == n) std::memcpy(text + pos, buffer, m);
    }
    pos += n;
  }
}

std::string UpperCopy(const char* text, std::size_t length) {
  std::string copy(text, length);
  UpperMultibyte(copy.data(), copy.size());
  return copy;
}

bool NonNegativeOrMinusOne(int count) { return count >= -1; }
}  // namespace

namespace {
locale_t MakeUserLocale() {
  locale_t locale = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
  // Settings that name no installed locale fall back to the default one.
  if (!locale) locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  if (locale && std::strcmp(nl_langinfo_l(CODESET, locale), "ANSI_X3.4-1968") == 0)
    if (locale_t wide = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale)) locale = wide;
  return locale ? locale : LC_GLOBAL_LOCALE;
}
}  // namespace

locale_t UserLocale() {
  static const locale_t locale = MakeUserLocale();  // lives as long as the process
  return locale;
}

const char* UserLocaleName(int category) {
  const locale_t locale = UserLocale();
  if (locale == LC_GLOBAL_LOCALE) return "C";
  return nl_langinfo_l(_NL_LOCALE_NAME(category), locale);
}

void EnsureUserLocale() { UserLocale(); }

DWORD CharUpperBuffA(LPSTR text, DWORD length) {
  if (!text) return 0;
  const UserLocaleScope scope;
  UpperMultibyte(text, length);
  return length;
}

int CompareStringA(LCID, DWORD flags, LPCSTR text1, int count1, LPCSTR text2, int count2) {
  if (!text1 || !text2 || !NonNegativeOrMinusOne(count1) || !NonNegativeOrMinusOne(count2)) return 0;
  const std::size_t length1 = count1 < 0 ? std::strlen(text1) : ::strnlen(text1, static_cast<std::size_t>(count1));
  const std::size_t length2 = count2 < 0 ? std::strlen(text2) : ::strnlen(text2, static_cast<std::size_t>(count2));
  const UserLocaleScope scope;
  std::string a = (flags & NORM_IGNORECASE) ? UpperCopy(text1, length1) : std::string(text1, length1);
  std::string b = (flags & NORM_IGNORECASE) ? UpperCopy(text2, length2) : std::string(text2, length2);
  // strcoll follows the user's collation; byte order breaks its ties so that only equal
  // texts compare equal.
  int result = strcoll_l(a.c_str(), b.c_str(), UserLocale());
  if (result == 0) result = a.compare(b);
  return result < 0 ? CSTR_LESS_THAN : result > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

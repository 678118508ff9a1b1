#include "gnugettext.h"

#include <libintl.h>

#include <mutex>
#include <string>

#include "userlocale.h"
#include "windows.h"

namespace {
constexpr const char* kDomain = "pxbl";
std::mutex setupMutex;
bool bound = false;
std::string directory = PX_LOCALEDIR;

void Bind() {
  std::lock_guard guard(setupMutex);
  if (bound) return;
  EnsureUserLocale();
  // No codeset is bound: texts come in the character set of the user's locale (the "ANSI
  // code page"), as the other text services read them.
  bindtextdomain(kDomain, directory.c_str());
  bound = true;
}
}  // namespace

void SetTranslationDirectory(const char* dir) {
  std::lock_guard guard(setupMutex);
  directory = dir ? dir : PX_LOCALEDIR;
  bound = false;
}

const char* Translate(const char* text) {
  if (!text || !*text) return text;  // gettext("") would return the catalogue header
  Bind();
  const UserLocaleScope scope;  // the user's language and character set, for this thread only
  return dgettext(kDomain, text);
}

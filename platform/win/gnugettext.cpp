#include "gnugettext.h"

#include <libintl.h>

#include <mutex>
#include <string>

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
  bindtextdomain(kDomain, directory.c_str());
  bind_textdomain_codeset(kDomain, "UTF-8");
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
  return dgettext(kDomain, text);
}

#include "gnugettext.h"

#include <dlfcn.h>
#include <libintl.h>

#include <filesystem>
#include <mutex>
#include <string>

#include "userlocale.h"
#include "windows.h"

namespace {
constexpr const char* kDomain = "pxbl";
std::mutex setupMutex;
bool bound = false;
std::string directory;  // empty: the default folder

// The catalogues are found relative to this library, so that an installed tree can be moved
// (and DESTDIR works): share/locale beside lib/ of an installed tree, locale/ of the build tree.
std::string DefaultDirectory() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&DefaultDirectory), &info) || !info.dli_fname) return PX_LOCALEDIR_BUILD;
  const std::filesystem::path here = std::filesystem::path(info.dli_fname).parent_path();
  const std::filesystem::path installed = (here / PX_LOCALEDIR_INSTALLED).lexically_normal();
  std::error_code error;
  if (std::filesystem::is_directory(installed, error)) return installed.string();
  return (here / PX_LOCALEDIR_BUILD).lexically_normal().string();
}

void Bind() {
  std::lock_guard guard(setupMutex);
  if (bound) return;
  EnsureUserLocale();
  if (directory.empty()) directory = DefaultDirectory();
  // No codeset is bound: texts come in the character set of the user's locale (the "ANSI
  // code page"), as the other text services read them.
  bindtextdomain(kDomain, directory.c_str());
  bound = true;
}
}  // namespace

void SetTranslationDirectory(const char* dir) {
  std::lock_guard guard(setupMutex);
  directory = dir ? dir : "";
  bound = false;
}

const char* Translate(const char* text) {
  if (!text || !*text) return text;  // gettext("") would return the catalogue header
  Bind();
  const UserLocaleScope scope;  // the user's language and character set, for this thread only
  return dgettext(kDomain, text);
}

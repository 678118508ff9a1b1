// ShellExecuteA's "open": the file or web address goes to the desktop's opener.
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <cerrno>
#include <mutex>
#include <thread>

#include "qtui.h"
#include "windows.h"

extern char** environ;

namespace {
// xdg-open in the background; a waiting thread reaps it so that no zombie stays behind.
bool XdgOpen(const char* file) {
  char program[] = "xdg-open";
  char* argv[] = {program, const_cast<char*>(file), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

bool PlatformOpen(const char* file) {
  if (QtGuiOnThisThread()) return QtOpenUrl(file);
  return XdgOpen(file);
}

std::mutex handlerMutex;
ShellOpenHandler& CurrentHandler() {
  static ShellOpenHandler handler = PlatformOpen;
  return handler;
}
}  // namespace

ShellOpenHandler SetShellOpenHandler(ShellOpenHandler handler) {
  std::lock_guard guard(handlerMutex);
  ShellOpenHandler previous = std::move(CurrentHandler());
  CurrentHandler() = handler ? std::move(handler) : ShellOpenHandler(PlatformOpen);
  return previous;
}

HINSTANCE ShellExecuteA(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR, INT) {
  if (!file || !*file) return reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(ERROR_BAD_FORMAT));
  // Only opening is offered; other verbs (print, edit, ...) have no handler here.
  if (verb && *verb && strcasecmp(verb, "open") != 0)
    return reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(SE_ERR_NOASSOC));
  ShellOpenHandler handler;
  {
    std::lock_guard guard(handlerMutex);
    handler = CurrentHandler();
  }
  const bool opened = handler(file);
  return reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(opened ? 42 : SE_ERR_NOASSOC));
}

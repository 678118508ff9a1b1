#include "qtui.h"
#include "windows.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <mutex>
#include <string>

namespace {
// The built-in handler: the Qt box when the caller runs on a Qt GUI thread, the terminal
// prompt otherwise.
int PlatformMessageBox(const char* text, const char* caption, UINT type) {
  if (QtGuiOnThisThread()) return QtMessageBox(text, caption, type);
  return TerminalMessageBox(text, caption, type);
}

std::mutex handlerMutex;
MessageBoxHandler& CurrentHandler() {
  static MessageBoxHandler handler = PlatformMessageBox;
  return handler;
}

const char* ButtonsPrompt(UINT buttons) {
  switch (buttons) {
    case MB_YESNO: return "[y/n]";
    case MB_YESNOCANCEL: return "[y/n/c]";
    case MB_OKCANCEL: return "[Enter = OK, c = Cancel]";
    default: return "[Enter]";
  }
}
}  // namespace

int DefaultMessageBoxAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDNO;
    default: return IDOK;
  }
}

int TerminalMessageBox(const char* text, const char* caption, UINT type) {
  const UINT buttons = type & MB_TYPEMASK;
  std::fprintf(stderr, "%s: %s\n", caption ? caption : "", text ? text : "");
  if (!isatty(STDIN_FILENO)) return DefaultMessageBoxAnswer(type);
  for (;;) {
    std::fprintf(stderr, "%s ", ButtonsPrompt(buttons));
    std::fflush(stderr);
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) return DefaultMessageBoxAnswer(type);
    const char answer = line.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
      if (answer == 'y') return IDYES;
      if (answer == 'n') return IDNO;
      if (answer == 'c' && buttons == MB_YESNOCANCEL) return IDCANCEL;
    } else if (buttons == MB_OKCANCEL) {
      return answer == 'c' ? IDCANCEL : IDOK;
    } else {
      return IDOK;
    }
  }
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard guard(handlerMutex);
  MessageBoxHandler previous = std::move(CurrentHandler());
  CurrentHandler() = handler ? std::move(handler) : MessageBoxHandler(PlatformMessageBox);
  return previous;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  MessageBoxHandler handler;
  {
    std::lock_guard guard(handlerMutex);
    handler = CurrentHandler();
  }
  // The box blocks its caller, not the other threads that may want one too.
  return handler(text ? text : "", caption ? caption : "", type);
}

#include "messages.h"

#include <unistd.h>

#include <cstdio>
#include <sstream>

DirectoryMessages::DirectoryMessages(std::string prefix, OfflineAnswer offline)
    : prefix_(std::move(prefix)), offline_(offline) {
  previous_ = SetMessageBoxHandler([this](const char* text, const char*, UINT type) { return Show(text, type); });
}

DirectoryMessages::~DirectoryMessages() { SetMessageBoxHandler(std::move(previous_)); }

int DirectoryMessages::Show(const char* text, UINT type) {
  ++boxes;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) std::fprintf(stderr, "%s: %s\n", prefix_.c_str(), line.c_str());
  if ((type & MB_TYPEMASK) != MB_YESNO) return IDOK;
  bool yes = false;
  if (offline_ == OfflineAnswer::Ask && isatty(STDIN_FILENO)) {
    for (;;) {
      std::fprintf(stderr, "%s: work offline from the cache file? [y/n] ", prefix_.c_str());
      std::fflush(stderr);
      std::string answer;
      int c;
      while ((c = std::fgetc(stdin)) != EOF && c != '\n') answer += static_cast<char>(c);
      if (c == EOF && answer.empty()) break;  // end of input: no
      if (answer == "y" || answer == "yes") yes = true;
      if (answer == "y" || answer == "yes" || answer == "n" || answer == "no") break;
    }
  } else {
    yes = offline_ == OfflineAnswer::Yes;
    const char* why = offline_ == OfflineAnswer::Ask ? "no terminal to ask; --offline=yes works offline"
                      : yes                          ? "--offline=yes"
                                                     : "--offline=no";
    std::fprintf(stderr, "%s: answer: %s (%s)\n", prefix_.c_str(), yes ? "yes, working offline" : "no", why);
  }
  workOffline = yes;
  return yes ? IDYES : IDNO;
}

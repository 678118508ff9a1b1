// How pxab shows the provider's message boxes: as lines on standard error, with the offline
// question answered as the command line says.
#pragma once

#include <optional>
#include <string>

#include "windows.h"

enum class OfflineAnswer { Ask, Yes, No };

// While it lives, message boxes become lines on standard error, prefixed with `prefix`, and
// the offline question is answered as the options say: asked on a terminal with Ask
// (otherwise No), Yes or No given.
class DirectoryMessages {
 public:
  DirectoryMessages(std::string prefix, OfflineAnswer offline);
  ~DirectoryMessages();
  DirectoryMessages(const DirectoryMessages&) = delete;
  DirectoryMessages& operator=(const DirectoryMessages&) = delete;

  int boxes = 0;                    // boxes shown so far
  std::optional<bool> workOffline;  // the answer to the last offline question

 private:
  int Show(const char* text, UINT type);
  std::string prefix_;
  OfflineAnswer offline_;
  MessageBoxHandler previous_;
};

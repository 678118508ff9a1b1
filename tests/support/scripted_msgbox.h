// Replaces the process's message-box handler for a test's lifetime: records every box and
// answers from a script (IDOK, or the default answer, once the script runs out).
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "windows.h"

struct RecordedBox {
  std::string text;
  std::string caption;
  UINT type;
};

class ScriptedMessageBoxes {
 public:
  explicit ScriptedMessageBoxes(std::deque<int> answers = {});
  ~ScriptedMessageBoxes();
  ScriptedMessageBoxes(const ScriptedMessageBoxes&) = delete;
  ScriptedMessageBoxes& operator=(const ScriptedMessageBoxes&) = delete;

  void Answer(int button);
  std::vector<RecordedBox> Boxes() const;

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::vector<RecordedBox> boxes_;
  MessageBoxHandler previous_;
};

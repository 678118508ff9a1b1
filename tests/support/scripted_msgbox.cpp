#include "scripted_msgbox.h"

ScriptedMessageBoxes::ScriptedMessageBoxes(std::deque<int> answers) : answers_(std::move(answers)) {
  previous_ = SetMessageBoxHandler([this](const char* text, const char* caption, UINT type) {
    std::lock_guard guard(mutex_);
    boxes_.push_back({text, caption, type});
    if (answers_.empty()) return DefaultMessageBoxAnswer(type);
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
  });
}

ScriptedMessageBoxes::~ScriptedMessageBoxes() { SetMessageBoxHandler(std::move(previous_)); }

void ScriptedMessageBoxes::Answer(int button) {
  std::lock_guard guard(mutex_);
  answers_.push_back(button);
}

std::vector<RecordedBox> ScriptedMessageBoxes::Boxes() const {
  std::lock_guard guard(mutex_);
  return boxes_;
}

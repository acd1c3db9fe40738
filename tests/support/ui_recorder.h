// Test stand-in for the message-box service: records every box and answers from a script.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/ui_services.h"

class UiRecorder : public IUiServices {
 public:
  struct Box {
    std::string text;
    unsigned style;
    int waitDepth;  // wait cursors up while the box was shown
  };

  UiRecorder() { SetUiServices(this); }
  ~UiRecorder() override { SetUiServices(nullptr); }

  // The next boxes are answered with these, in order; after that every box gets IDOK (or IDYES
  // for a question).
  void Answer(std::initializer_list<int> answers) { m_answers.insert(m_answers.end(), answers); }

  int MessageBox(const std::string& text, unsigned style) override {
    boxes.push_back({text, style, waitDepth});
    if (!m_answers.empty()) {
      const int a = m_answers.front();
      m_answers.pop_front();
      return a;
    }
    const unsigned type = style & MB_TYPEMASK;
    return (type == MB_YESNO || type == MB_YESNOCANCEL) ? IDYES : IDOK;
  }
  void BeginWaitCursor() override {
    ++waitDepth;
    ++waitCount;
  }
  void EndWaitCursor() override { --waitDepth; }

  std::vector<Box> boxes;
  int waitDepth = 0;
  int waitCount = 0;

 private:
  std::deque<int> m_answers;
};

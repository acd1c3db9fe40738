// Message boxes and the wait cursor on the toolkit, installed at start-up.
#pragma once

#include "platform/ui_services.h"

class CWxUiServices final : public IUiServices {
 public:
  int MessageBox(const std::string& text, unsigned style) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;
};

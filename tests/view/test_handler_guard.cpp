// What a handler's exception becomes: a message box, and the handler returns normally.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/exceptions.h"
#include "support/ui_recorder.h"
#include "view/handler_guard.h"

TEST(HandlerGuard, EveryExceptionEndsAsAMessageBox) {
  UiRecorder ui;
  const CFileException fileError(CFileException::fileNotFound, -1, "/x/a.sr");
  const struct {
    std::function<void()> work;
    std::string box;
  } cases[] = {
      {[&] { throw fileError; }, fileError.GetErrorMessage()},
      {[] { throw std::bad_alloc(); }, "Out of memory."},
      {[] { throw std::runtime_error("broken"); }, "broken"},
      {[] { throw 42; }, "An unexpected error occurred."},
  };
  for (const auto& c : cases) {
    ui.boxes.clear();
    EXPECT_FALSE(GuardHandler(c.work));
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_EQ(c.box, ui.boxes[0].text);
    EXPECT_EQ(unsigned{MB_ICONEXCLAMATION}, ui.boxes[0].style);
  }

  ui.boxes.clear();
  bool ran = false;
  EXPECT_TRUE(GuardHandler([&] { ran = true; }));
  EXPECT_TRUE(ran);
  EXPECT_TRUE(ui.boxes.empty());
}

#include "view/handler_guard.h"

#include <exception>
#include <string>

#include "platform/exceptions.h"

bool GuardHandler(const std::function<void()>& work) {
  try {
    work();
    return true;
  } catch (...) {
    ReportCurrentException();
  }
  return false;
}

void ReportCurrentException() {
  std::string text;
  try {
    text = FailureText();
  } catch (const std::exception& e) {
    text = e.what();
  } catch (...) {
    text = "An unexpected error occurred.";
  }
  AfxMessageBox(text, MB_ICONEXCLAMATION);
}

#include "view/handler_guard.h"

#include <exception>
#include <new>

#include "platform/exceptions.h"

bool GuardHandler(const std::function<void()>& work) {
  try {
    return ReportExceptions(work, MB_ICONEXCLAMATION);
  } catch (const std::exception& e) {
    AfxMessageBox(e.what(), MB_ICONEXCLAMATION);
  } catch (...) {
    AfxMessageBox("An unexpected error occurred.", MB_ICONEXCLAMATION);
  }
  return false;
}

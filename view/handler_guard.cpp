#include "view/handler_guard.h"

#include <exception>
#include <new>

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
  try {
    throw;
  } catch (const CException& e) {
    e.ReportError(MB_ICONEXCLAMATION);
  } catch (const std::bad_alloc&) {
    CMemoryException().ReportError(MB_ICONEXCLAMATION);
  } catch (const std::exception& e) {
    AfxMessageBox(e.what(), MB_ICONEXCLAMATION);
  } catch (...) {
    AfxMessageBox("An unexpected error occurred.", MB_ICONEXCLAMATION);
  }
}

#include "view/command_guard.h"

#include <exception>
#include <new>
#include <string>

#include "platform/exceptions.h"
#include "platform/ui_services.h"

void RunCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const CException& e) {
    e.ReportError(MB_OK | MB_ICONEXCLAMATION);
  } catch (const std::bad_alloc&) {
    CMemoryException().ReportError(MB_OK | MB_ICONEXCLAMATION);
  } catch (const std::exception& e) {
    AfxMessageBox(std::string("The command could not be completed: ") + e.what(), MB_OK | MB_ICONERROR);
  } catch (...) {
    AfxMessageBox("The command could not be completed because of an unexpected error.", MB_OK | MB_ICONERROR);
  }
}

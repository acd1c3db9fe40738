// Message boxes and the wait cursor. The logic never talks to a toolkit: the application installs
// a service that shows real dialogs, tests install a recorder with scripted answers.
#pragma once

#include <string>

// Message-box styles and answers, with the values the system's code uses.
enum : unsigned {
  MB_OK = 0x00,
  MB_OKCANCEL = 0x01,
  MB_YESNOCANCEL = 0x03,
  MB_YESNO = 0x04,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON2 = 0x100,  // the second button (No of Yes/No) is the default
  MB_TYPEMASK = 0x0F,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

class IUiServices {
 public:
  virtual ~IUiServices() = default;
  // Shows text with the given style and returns the button pressed (IDOK, IDYES, ...).
  virtual int MessageBox(const std::string& text, unsigned style) = 0;
  virtual void BeginWaitCursor() {}
  virtual void EndWaitCursor() {}
};

// Installs the service used from now on; nullptr restores the default, which writes the text to
// standard error and gives the cautious answer (No, or Cancel where there is one).
void SetUiServices(IUiServices* services);

int AfxMessageBox(const std::string& text, unsigned style = MB_OK);
// The text of string-table entry id.
int AfxMessageBox(unsigned id, unsigned style = MB_OK);

// Busy cursor for as long as the object lives, also when an exception passes.
class CWaitCursor {
 public:
  CWaitCursor();
  ~CWaitCursor();
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};

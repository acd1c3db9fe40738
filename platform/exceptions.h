// The exception family of the class library the system's code is written against. Thrown by value,
// caught by reference; a handler reports one to the user with ReportError.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "platform/ui_services.h"

class CException : public std::exception {
 public:
  // The text the user sees.
  virtual std::string GetErrorMessage() const = 0;
  // Shows GetErrorMessage() in a message box; returns the button pressed.
  virtual int ReportError(unsigned style = MB_OK) const;
  const char* what() const noexcept override;

 private:
  mutable std::string m_what;
};

class CMemoryException : public CException {
 public:
  std::string GetErrorMessage() const override;
};

class CInvalidArgException : public CException {
 public:
  std::string GetErrorMessage() const override;
};

class CFileException : public CException {
 public:
  enum Cause {
    none = 0,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile,
  };

  CFileException() = default;
  CFileException(Cause cause, int osError, std::string fileName)
      : m_cause(cause), m_lOsError(osError), m_strFileName(std::move(fileName)) {}

  // The cause for a POSIX errno value.
  static Cause CauseFromErrno(int err);

  std::string GetErrorMessage() const override;

  Cause m_cause = none;
  int m_lOsError = 0;
  std::string m_strFileName;
};

class CArchiveException : public CException {
 public:
  enum Cause { none = 0, genericException, readOnly, endOfFile, writeOnly, badIndex, badClass, badSchema };

  explicit CArchiveException(Cause cause = genericException, std::string fileName = {})
      : m_cause(cause), m_strFileName(std::move(fileName)) {}

  std::string GetErrorMessage() const override;

  Cause m_cause;
  std::string m_strFileName;
};

// The text of the exception being handled, for the user: a CException's own, or the one for
// running out of memory. Any other exception is thrown on. Only inside a catch block.
std::string FailureText();

// Runs work. A CException, or running out of memory, is reported in a message box of style and
// gives false; other exceptions pass.
bool ReportExceptions(const std::function<void()>& work, unsigned style = MB_OK);

[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowInvalidArgException();
[[noreturn]] void AfxThrowFileException(CFileException::Cause cause, int osError, const std::string& fileName);
[[noreturn]] void AfxThrowArchiveException(CArchiveException::Cause cause, const std::string& fileName = {});

#include "platform/exceptions.h"

#include <cerrno>
#include <cstring>
#include <new>

int CException::ReportError(unsigned style) const { return AfxMessageBox(GetErrorMessage(), style); }

const char* CException::what() const noexcept {
  try {
    m_what = GetErrorMessage();
    return m_what.c_str();
  } catch (...) {
    return "exception";
  }
}

std::string CMemoryException::GetErrorMessage() const { return "Out of memory."; }

std::string CInvalidArgException::GetErrorMessage() const { return "An invalid argument was encountered."; }

CFileException::Cause CFileException::CauseFromErrno(int err) {
  switch (err) {
    case 0: return none;
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return accessDenied;
    case EBADF: return invalidFile;
    case ESPIPE:
    case EINVAL: return badSeek;
    case EIO: return hardIO;
    case EBUSY:
    case ETXTBSY: return sharingViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return diskFull;
    default: return genericException;
  }
}

std::string CFileException::GetErrorMessage() const {
  const std::string& f = m_strFileName.empty() ? std::string("an unnamed file") : m_strFileName;
  switch (m_cause) {
    case fileNotFound: return f + " was not found.";
    case badPath: return f + " contains an invalid path.";
    case tooManyOpenFiles: return f + " could not be opened because there are too many open files.";
    case accessDenied: return "Access to " + f + " was denied.";
    case invalidFile: return "An unsupported operation was attempted on " + f + ".";
    case removeCurrentDir: return f + " could not be removed because it is the current directory.";
    case directoryFull: return f + " could not be created because the directory is full.";
    case badSeek: return "Seek failed on " + f + ".";
    case hardIO: return "A hardware I/O error was reported while accessing " + f + ".";
    case sharingViolation: return "A sharing violation occurred while accessing " + f + ".";
    case lockViolation: return "A locking violation occurred while accessing " + f + ".";
    case diskFull: return "Disk full while accessing " + f + ".";
    case endOfFile: return "An attempt was made to access " + f + " past its end.";
    default: {
      std::string s = "An unexpected error occurred while accessing " + f + ".";
      if (m_lOsError != 0) s += std::string(" (") + std::strerror(m_lOsError) + ")";
      return s;
    }
  }
}

std::string CArchiveException::GetErrorMessage() const {
  const std::string f = m_strFileName.empty() ? std::string("an unnamed file") : m_strFileName;
  switch (m_cause) {
    case readOnly: return "Tried to write to an archive opened for loading.";
    case writeOnly: return "Tried to read from an archive opened for storing.";
    case endOfFile: return "Unexpected end of file while reading " + f + ".";
    case badIndex:
    case badClass:
    case badSchema: return "Unexpected file format in " + f + ".";
    default: return "An unexpected error occurred while reading or writing " + f + ".";
  }
}

void AfxThrowMemoryException() { throw CMemoryException(); }
void AfxThrowInvalidArgException() { throw CInvalidArgException(); }
void AfxThrowFileException(CFileException::Cause cause, int osError, const std::string& fileName) {
  throw CFileException(cause, osError, fileName);
}
void AfxThrowArchiveException(CArchiveException::Cause cause, const std::string& fileName) {
  throw CArchiveException(cause, fileName);
}

std::string FailureText() {
  try {
    throw;
  } catch (const CException& e) {
    return e.GetErrorMessage();
  } catch (const std::bad_alloc&) {
    return CMemoryException().GetErrorMessage();
  }
}

bool ReportExceptions(const std::function<void()>& work, unsigned style) {
  try {
    work();
    return true;
  } catch (...) {
    AfxMessageBox(FailureText(), style);
  }
  return false;
}

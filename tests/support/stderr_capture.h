// What is written to standard error while one lives (the toolkit's warnings go there).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

#include "support/temp_folder.h"

class StderrCapture {
 public:
  explicit StderrCapture(std::string path) : m_path(std::move(path)) {
    std::fflush(stderr);
    m_saved = dup(2);
    const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, 2);
    close(fd);
  }
  ~StderrCapture() { Stop(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Ends the capture (once) and gives what was written.
  std::string Stop() {
    if (m_saved >= 0) {
      std::fflush(stderr);
      dup2(m_saved, 2);
      close(m_saved);
      m_saved = -1;
    }
    return ReadFile(m_path);
  }

 private:
  std::string m_path;
  int m_saved = -1;
};

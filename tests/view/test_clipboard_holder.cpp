// The process that keeps the list's copy on the clipboard once the program is gone, on a display
// of its own that the test can end.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "view/clipboard_holder.h"

namespace {

class ClipboardHolder : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    const std::string displayFd = std::to_string(fds[1]);
    char* args[] = {
        const_cast<char*>("Xvfb"),      const_cast<char*>("-displayfd"), const_cast<char*>(displayFd.c_str()),
        const_cast<char*>("-nolisten"), const_cast<char*>("tcp"),        nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    ASSERT_EQ(0, posix_spawnp(&m_server, "Xvfb", &actions, nullptr, args, environ));
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    // The server writes its display's number and a line end once it takes connections.
    std::string number;
    for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty());
    display = ":" + number;
  }

  void TearDown() override {
    EndServer();
    if (m_holder > 0) {
      kill(m_holder, SIGKILL);
      waitpid(m_holder, nullptr, 0);
    }
  }

  void EndServer() {
    if (m_server <= 0) return;
    kill(m_server, SIGTERM);
    waitpid(m_server, nullptr, 0);
    m_server = 0;
  }

  pid_t Hold(const std::string& text) { return m_holder = HoldClipboardText(display, text); }

  // What xclip gives for the arguments, or takes as input.
  std::string Xclip(const std::string& args, const std::string& input = {}) {
    const std::string command = "xclip -display " + display + " -selection clipboard " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), input.empty() ? "r" : "w");
    std::string out;
    if (!pipe) return out;
    if (input.empty()) {
      std::array<char, 4096> buffer;
      for (size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) out.append(buffer.data(), n);
    } else {
      fwrite(input.data(), 1, input.size(), pipe);
    }
    pclose(pipe);
    return out;
  }

  // Waits for the holder to end, for up to fifteen seconds; its exit status, or -1.
  int Ended() {
    for (int i = 0; i < 300; ++i) {
      int status = 0;
      if (waitpid(m_holder, &status, WNOHANG) == m_holder) {
        m_holder = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      usleep(50000);
    }
    return -1;
  }

  std::string display;

 private:
  pid_t m_server = 0;
  pid_t m_holder = 0;
};

const std::string kText =
    "CalibrationID\tSoftwareID\t\r\nKAL-Pr\xC3\xBC"
    "fung \xE2\x9C\x93\tSW-\xC3\xA4\t\r\n";

}  // namespace

TEST_F(ClipboardHolder, ServesTheTextUntilAnotherProgramCopies) {
  ASSERT_GT(Hold(kText), 0);
  EXPECT_EQ(kText, Xclip("-o"));
  EXPECT_EQ(kText, Xclip("-o -t UTF8_STRING"));
  EXPECT_EQ(kText, Xclip("-o -t TEXT"));
  // STRING is Latin-1: what it cannot hold comes as a question mark.
  EXPECT_EQ(
      "CalibrationID\tSoftwareID\t\r\nKAL-Pr\xFC"
      "fung ?\tSW-\xE4\t\r\n",
      Xclip("-o -t STRING"));
  const std::string targets = Xclip("-o -t TARGETS");
  for (const char* target : {"TARGETS", "UTF8_STRING", "STRING", "TEXT"})
    EXPECT_NE(std::string::npos, targets.find(target)) << targets;

  Xclip("-i", "another copy");
  EXPECT_EQ(0, Ended());
  EXPECT_EQ("another copy", Xclip("-o"));
}

TEST_F(ClipboardHolder, EndsWhenTheDisplayGoes) {
  ASSERT_GT(Hold(kText), 0);
  EndServer();
  EXPECT_EQ(0, Ended());
}

TEST_F(ClipboardHolder, WithoutADisplayThereIsNoHolder) {
  EXPECT_EQ(-1, HoldClipboardText(":65000", kText));
  // Nothing is left to reap.
  EXPECT_LE(waitpid(-1, nullptr, WNOHANG), 0);
}

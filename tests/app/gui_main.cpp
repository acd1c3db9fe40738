// Runs the GUI tests inside one toolkit session: the application object is the real one, and
// each test starts and ends the program through its start-up and exit steps.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include "app/tessary_app.h"

namespace {

// A toolkit assertion fails the test instead of opening a dialog nobody answers.
void FailOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg) {
  ADD_FAILURE() << file.ToStdString() << ":" << line << " " << func.ToStdString() << ": " << cond.ToStdString() << " "
                << msg.ToStdString();
}

// Maximising is the window manager's work: the virtual display gets one when it is installed.
pid_t StartWindowManager() {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char name[] = "openbox";
  char* args[] = {name, nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, name, &actions, nullptr, args, environ) != 0) pid = 0;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // The virtual display has no session bus for the settings that the file dialogs write.
  setenv("GSETTINGS_BACKEND", "memory", 0);
  wxApp::SetInstance(new CTessaryAuthorApp);
  int wxArgc = 1;
  char* wxArgv[] = {argv[0], nullptr};
  if (!wxEntryStart(wxArgc, wxArgv)) {
    std::fprintf(stderr, "The GUI tests need a display (run them under xvfb-run).\n");
    return 1;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr);
  wxSetAssertHandler(FailOnAssert);
  const pid_t wm = StartWindowManager();
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  if (wm > 0) {
    kill(wm, SIGTERM);
    waitpid(wm, nullptr, 0);
  }
  return result;
}

// A fresh profile for each test, scripted file dialogs and message boxes, and helpers that start,
// drive and end the program.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/utils.h>

#include "app/doc_manager.h"
#include "app/main_frame.h"
#include "app/tessary_app.h"
#include "comm/bvcomm.h"
#include "common/command_ids.h"
#include "common/dialog_services.h"
#include "common/tessary_doc.h"
#include "document/update_document_format.h"
#include "support/ui_recorder.h"

class TestDialogs : public IDialogServices {
 public:
  // Answers of the next file dialogs: a path, or nullopt for Cancel. With none left: Cancel.
  std::deque<std::optional<wxString>> files;
  std::vector<FileDialogRequest> requests;
  // Answers of the next folder choosers: a folder, or nullopt for Cancel. With none left: Cancel.
  std::deque<std::optional<wxString>> folders;
  std::vector<wxString> folderTitles, folderStarts;
  // Runs a modal dialog; by default it is closed at once with OK.
  std::function<int(wxDialog&)> onModal;
  std::vector<wxString> modalTitles;

  // Several files chosen at once (a multiple-choice dialog); used before files.
  std::deque<std::vector<wxString>> choices;

  bool ChooseFiles(const FileDialogRequest& request, wxArrayString& paths) override {
    requests.push_back(request);
    if (!choices.empty()) {
      paths.clear();
      for (const wxString& p : choices.front()) paths.push_back(p);
      choices.pop_front();
      return true;
    }
    if (files.empty()) return false;
    const std::optional<wxString> answer = files.front();
    files.pop_front();
    if (!answer) return false;
    paths.clear();
    paths.push_back(*answer);
    return true;
  }
  bool ChooseFolder(wxWindow*, const wxString& title, const wxString& start, wxString& folder) override {
    folderTitles.push_back(title);
    folderStarts.push_back(start);
    if (folders.empty()) return false;
    const std::optional<wxString> answer = folders.front();
    folders.pop_front();
    if (!answer) return false;
    folder = *answer;
    return true;
  }
  int ShowModal(wxDialog& dialog) override {
    modalTitles.push_back(dialog.GetTitle());
    return onModal ? onModal(dialog) : wxID_OK;
  }
};

class AppGui : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessary_gui_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    m_dir = tmpl;
    setenv("HOME", m_dir.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_dir / "config").c_str(), 1);
    SetDialogServices(&dialogs);
    comm::SetCallObserver(
        [](const char* function, void* self) { static_cast<AppGui*>(self)->commCalls.push_back(function); }, this);
  }

  void TearDown() override {
    if (m_running) {
      // Whatever the test left open is thrown away without questions.
      for (wxDocument* doc : App().GetDocManager()->GetDocumentsVector()) doc->Modify(false);
      Stop();
    }
    SetDialogServices(nullptr);
    comm::SetCallObserver(nullptr, nullptr);
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }

  static CTessaryAuthorApp& App() { return TheApp(); }
  static CMainFrame* Frame() { return App().GetMainFrame(); }
  static CTessaryDocManager* Docs() { return App().GetDocManager(); }
  std::string Path(const std::string& name) const { return (m_dir / name).string(); }

  bool Start(const std::vector<std::string>& args = {}) {
    m_running = App().InitInstance(args);
    Pump();
    return m_running;
  }

  // Closes the main window as the user does and, when it went, ends the program.
  bool Stop() {
    if (Frame()) Frame()->Close();
    Pump();
    if (Frame()) return false;
    App().ExitInstance();
    m_running = false;
    return true;
  }

  static void Pump() {
    for (int i = 0; i < 4; ++i) {
      wxTheApp->Yield(true);
      wxTheApp->ProcessPendingEvents();
      wxTheApp->ProcessIdle();
    }
  }

  // Pumps events until done() holds, for up to fifteen seconds (the window manager answers late,
  // and later still on a machine busy with the rest of the suite).
  static bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 300; ++i) {
      if (done()) return true;
      wxMilliSleep(50);
      Pump();
    }
    return done();
  }

  // Sends a command as a menu, toolbar or accelerator does.
  static void Command(int systemId) {
    wxCommandEvent e(wxEVT_MENU, WxId(systemId));
    e.SetEventObject(Frame());
    Frame()->ProcessWindowEvent(e);
    Pump();
  }

  static size_t Tabs() { return Frame()->GetNotebook() ? Frame()->GetNotebook()->GetPageCount() : 0; }
  static CTessaryAuthorDoc* CurrentDoc() { return wxDynamicCast(Docs()->GetCurrentDocument(), CTessaryAuthorDoc); }

  std::string WriteDocument(const std::string& name, const std::string& calibrationID) {
    CUpdateDocumentData d;
    d.m_strCalibrationID = calibrationID;
    d.m_targets.push_back(std::make_unique<CTargetObj>("T1", "S1"));
    std::string message;
    EXPECT_TRUE(rvq::SaveFile(Path(name), d, message)) << message;
    return Path(name);
  }

  UiRecorder ui;
  TestDialogs dialogs;
  std::vector<std::string> commCalls;

 private:
  std::filesystem::path m_dir;
  bool m_running = false;
};

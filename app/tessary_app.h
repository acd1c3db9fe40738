// The application object: start-up, exit and the About command.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/weakref.h>

class CMainFrame;
class CProfile;
class CTessaryDocManager;
class CWxUiServices;

class CTessaryAuthorApp : public wxApp {
 public:
  CTessaryAuthorApp();
  ~CTessaryAuthorApp() override;

  // Runs the program in the user's locale, with the file names the file system's bytes.
  bool Initialize(int& count, wxChar** arguments) override;
  bool OnInit() override;
  // Also leaves what the target list copied on the clipboard.
  int OnExit() override;
  // An exception that no handler caught is shown in a message box and the program goes on: the
  // toolkit would otherwise end it, and with it any unsaved work.
  bool OnExceptionInMainLoop() override;

  // Start-up; args are the command line's arguments after the program name. False ends the
  // program (after ExitInstance has run).
  bool InitInstance(const std::vector<std::string>& args);
  // Exit: shuts the communication library down. Nothing is stored here: every value went to the
  // profile when it changed.
  int ExitInstance();

  void OnAppAbout(wxCommandEvent& event);

  CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }
  CTessaryDocManager* GetDocManager() const { return m_pDocManager.get(); }

  // The profile file: <XDG_CONFIG_HOME or ~/.config>/Brevanta/TessaryAuthor.conf.
  static wxString ProfilePath();

 private:
  // ProfilePath as the file system's bytes.
  static std::string ProfileFile();

  std::unique_ptr<CWxUiServices> m_ui;
  std::unique_ptr<CProfile> m_profile;
  std::unique_ptr<CTessaryDocManager> m_pDocManager;
  wxWeakRef<CMainFrame> m_pMainFrame;
};

inline CTessaryAuthorApp& TheApp() { return *static_cast<CTessaryAuthorApp*>(wxTheApp); }

#include "app/tessary_app.h"

#include <clocale>

#include <wx/config.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/image.h>
#include <wx/utils.h>

#include "app/about_dlg.h"
#include "view/tessary_view.h"
#include "app/doc_manager.h"
#include "app/main_frame.h"
#include "app/startup.h"
#include "app/wx_ui_services.h"
#include "comm/bvcomm.h"
#include "common/command_ids.h"
#include "common/dialog_services.h"
#include "common/tessary_doc.h"
#include "common/text_conv.h"
#include "platform/string_table.h"
#include "res/app_ids.h"
#include "view/clipboard_keeper.h"

CTessaryAuthorApp::CTessaryAuthorApp() { Bind(wxEVT_MENU, &CTessaryAuthorApp::OnAppAbout, this, WxId(ID_APP_ABOUT)); }

CTessaryAuthorApp::~CTessaryAuthorApp() = default;

bool CTessaryAuthorApp::Initialize(int& count, wxChar** arguments) {
  // The toolkit leaves the locale to the program; one the system does not have leaves the C
  // locale, silently.
  std::setlocale(LC_ALL, "");
  if (!wxApp::Initialize(count, arguments)) return false;
  // The toolkit's file names as ours, exact in any locale.
  wxConvFileName = &FileNameConversion();
  return true;
}

bool CTessaryAuthorApp::OnInit() {
  m_pUi = std::make_unique<CWxUiServices>();
  SetUiServices(m_pUi.get());
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToSystemPath(argv[i]));
  if (InitInstance(args)) return true;
  SetUiServices(nullptr);
  return false;
}

int CTessaryAuthorApp::OnExit() {
  ExitInstance();
  KeepListTextOnClipboard();
  SetUiServices(nullptr);
  return wxApp::OnExit();
}

wxString CTessaryAuthorApp::ProfilePath() {
  wxString dir;
  if (!wxGetEnv("XDG_CONFIG_HOME", &dir) || dir.empty()) dir = wxFileName::GetHomeDir() + "/.config";
  return dir + "/Brevanta/TessaryAuthor.conf";
}

bool CTessaryAuthorApp::InitInstance(const std::vector<std::string>& args) {
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxInitAllImageHandlers();

  // The per-user profile of the company and the program.
  const wxString appName = FromSystemText(LoadResString(AFX_IDS_APP_TITLE));
  SetVendorName("Brevanta");
  SetAppName(appName);
  const wxFileName profile(ProfilePath());
  wxFileName::Mkdir(profile.GetPath(), wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
  wxConfigBase::DontCreateOnDemand();
  delete wxConfigBase::Set(new wxFileConfig(appName, "Brevanta", profile.GetFullPath(), wxString(), wxCONFIG_USE_LOCAL_FILE));

  // Four recent files.
  m_pDocManager = std::make_unique<CTessaryDocManager>();
  wxConfigBase* config = wxConfigBase::Get(false);
  config->SetPath(kRecentFileGroup);
  m_pDocManager->FileHistoryLoad(*config);
  config->SetPath("/");

  auto* frame = new CMainFrame;
  m_pMainFrame = frame;

  // The one kind of document.
  const TemplateStrings t = ParseTemplateString(LoadResString(IDS_TEMPLATE_DESCRIPTION));
  const wxString ext = FromSystemText(t.filterExt).AfterFirst('.');
  new CTessaryDocTemplate(m_pDocManager.get(), frame, FromSystemText(t.filterName), "*." + ext, ext,
                          FromSystemText(t.docName), CTessaryAuthorDoc::GetThisClass(), wxCLASSINFO(CTessaryAuthorView));

  const auto fail = [&] {
    ExitInstance();
    return false;
  };
  if (!frame->Create(m_pDocManager.get())) return fail();
  m_pDocManager->SetHistoryChangedHandler([this] {
    if (m_pMainFrame) m_pMainFrame->RefreshRecentFiles();
  });
  SetTopWindow(frame);

  // A new document is what an empty command line asks for; start-up opens none.
  ShellRequest request = ParseCommandLine(args);
  if (request.kind == ShellRequest::fileNew) request.kind = ShellRequest::fileNothing;
  if (request.kind == ShellRequest::fileOpen && !m_pDocManager->CreateDocument(FromSystemPath(request.fileName), 0))
    return fail();

  frame->ShowWithSavedPosition(SW_SHOWNORMAL);
  frame->Update();
  return true;
}

int CTessaryAuthorApp::ExitInstance() {
  MWShutdown();
  MWServerClose();
  // A main window still there (start-up failed) goes first, without the document handling.
  if (CMainFrame* frame = m_pMainFrame.get()) {
    frame->ReleaseDocManager();
    if (GetTopWindow() == frame) SetTopWindow(nullptr);
    if (frame->GetHandle())
      frame->Destroy();
    else
      delete frame;
  }
  if (m_pDocManager) {
    if (wxConfigBase* config = wxConfigBase::Get(false)) {
      config->SetPath(kRecentFileGroup);
      m_pDocManager->FileHistorySave(*config);
      config->SetPath("/");
    }
    m_pDocManager.reset();
  }
  if (wxConfigBase* config = wxConfigBase::Set(nullptr)) {
    config->Flush();
    delete config;
  }
  return 0;
}

void CTessaryAuthorApp::OnAppAbout(wxCommandEvent&) {
  CAboutDlg dlg(GetMainFrame());
  GetDialogServices().ShowModal(dlg);
}

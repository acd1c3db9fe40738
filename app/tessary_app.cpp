#include "app/tessary_app.h"

#include <clocale>

#include <wx/config.h>
#include <wx/image.h>

#include "app/about_dlg.h"
#include "app/child_frame.h"
#include "app/doc_manager.h"
#include "app/main_frame.h"
#include "app/startup.h"
#include "app/wx_ui_services.h"
#include "comm/bvcomm.h"
#include "common/bind_command.h"
#include "common/dialog_services.h"
#include "common/res_text.h"
#include "common/tessary_doc.h"
#include "common/text_conv.h"
#include "platform/profile.h"
#include "platform/string_table.h"
#include "res/app_ids.h"
#include "res/string_ids.h"
#include "view/clipboard_keeper.h"
#include "view/handler_guard.h"
#include "view/tessary_view.h"

CTessaryAuthorApp::CTessaryAuthorApp() { BindCommand(*this, &CTessaryAuthorApp::OnAppAbout, this, ID_APP_ABOUT); }

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
  m_ui = std::make_unique<CWxUiServices>();
  SetUiServices(m_ui.get());
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

bool CTessaryAuthorApp::OnExceptionInMainLoop() {
  try {
    ReportCurrentException();
  } catch (...) {
    // The report itself failed: there is nothing more to show.
  }
  return true;
}

namespace {
constexpr const char* kRegistryKey = "Brevanta";
}  // namespace

std::string CTessaryAuthorApp::ProfileFile() { return UserProfilePath(kRegistryKey, LoadResString(AFX_IDS_APP_TITLE)); }

wxString CTessaryAuthorApp::ProfilePath() { return FromSystemPath(ProfileFile()); }

bool CTessaryAuthorApp::InitInstance(const std::vector<std::string>& args) {
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxInitAllImageHandlers();

  // The per-user profile of the company and the program. Nothing is made on disk before a
  // value is written.
  SetVendorName(kRegistryKey);
  SetAppName(ResText(AFX_IDS_APP_TITLE));
  m_profile = std::make_unique<CProfile>(ProfileFile());
  SetAppProfile(m_profile.get());
  // The toolkit would otherwise make a configuration file of its own when one of its parts asks.
  wxConfigBase::DontCreateOnDemand();

  // Four recent files.
  m_pDocManager = std::make_unique<CTessaryDocManager>();
  m_pDocManager->LoadRecentFiles();

  auto* frame = new CMainFrame;
  m_pMainFrame = frame;

  // The one kind of document.
  const TemplateStrings t = ParseTemplateString(LoadResString(IDS_TEMPLATE_DESCRIPTION));
  const wxString ext = FromSystemText(t.filterExt).AfterFirst('.');
  // Each view is a tab in the main frame, with the document's icons and menu bar.
  const auto makeFrame = [frame](wxDocument* doc, wxView* view) {
    new CChildFrame(doc, view, frame, frame->GetDocumentIcons(), [frame] { return frame->CreateDocumentMenuBar(); });
  };
  new CTessaryDocTemplate(m_pDocManager.get(), makeFrame, FromSystemText(t.filterName), "*." + ext, ext,
                          FromSystemText(t.docName), CTessaryAuthorDoc::GetThisClass(),
                          wxCLASSINFO(CTessaryAuthorView));

  const auto fail = [&] {
    ExitInstance();
    return false;
  };
  if (!frame->Create(m_pDocManager.get())) return fail();
  m_pDocManager->SetHistoryChangedHandler([this] {
    if (m_pMainFrame) m_pMainFrame->RefreshRecentFiles();
  });
  SetTopWindow(frame);

  // A new document is what an empty command line asks for; start-up opens none. A document
  // named relative to the current folder is opened by its full path, which the title, the
  // recent files and later saves keep.
  ShellRequest request = ParseCommandLine(args);
  if (request.kind == ShellRequest::fileNew) request.kind = ShellRequest::fileNothing;
  if (request.kind == ShellRequest::fileOpen) request.fileName = FullPath(request.fileName);
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
  m_pDocManager.reset();
  if (GetAppProfile() == m_profile.get()) SetAppProfile(nullptr);
  m_profile.reset();
  return 0;
}

void CTessaryAuthorApp::OnAppAbout(wxCommandEvent&) {
  CAboutDlg dlg(GetMainFrame());
  GetDialogServices().ShowModal(dlg);
}

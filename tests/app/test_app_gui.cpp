// The program started, driven and ended through its real frames and handlers.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/config.h>
#include <wx/eventfilter.h>
#include <wx/evtloop.h>
#include <wx/fileconf.h>
#include <wx/listbox.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <wx/menu.h>
#include <wx/mstream.h>
#include <wx/notebook.h>
#include <wx/statusbr.h>
#include <wx/timer.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>

#include "app/about_dlg.h"
#include "app/customize_dlg.h"
#include "app/wx_ui_services.h"
#include "common/picture_static.h"
#include "common/text_conv.h"
#include "platform/app_settings.h"
#include "platform/exceptions.h"
#include "platform/profile.h"
#include "res/app_ids.h"
#include "support/stderr_capture.h"
#include "support/temp_folder.h"
#include "support/unwritable.h"
#include "tests/app/app_fixture.h"
#include "tests/app/x_window.h"

namespace {

std::vector<wxString> MenuTitles(wxMenuBar* bar) {
  std::vector<wxString> titles;
  for (size_t i = 0; bar && i < bar->GetMenuCount(); ++i) titles.push_back(wxStripMenuCodes(bar->GetMenuLabel(i)));
  return titles;
}

// The labels of the recent-file items of the File menu, in order.
std::vector<wxString> RecentItems(wxMenuBar* bar) {
  std::vector<wxString> items;
  for (wxMenuItem* item : bar->GetMenu(0)->GetMenuItems()) {
    const int id = SystemId(item->GetId());
    if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_LAST) items.push_back(item->GetItemLabelText());
  }
  return items;
}

// A value of the profile as stored on disk.
wxString ProfileValue(const wxString& key) {
  wxFileConfig profile(wxString(), wxString(), CTessaryAuthorApp::ProfilePath(), wxString(), wxCONFIG_USE_LOCAL_FILE);
  wxString v;
  profile.Read(key, &v);
  return v;
}

std::vector<wxString> TabTexts() {
  std::vector<wxString> texts;
  wxAuiNotebook* book = TheApp().GetMainFrame()->GetNotebook();
  for (size_t i = 0; book && i < book->GetPageCount(); ++i) texts.push_back(book->GetPageText(i));
  return texts;
}

}  // namespace

TEST_F(AppGui, StartWithoutArgumentOpensNoDocument) {
  ASSERT_TRUE(Start());
  ASSERT_NE(nullptr, Frame());
  EXPECT_TRUE(Frame()->IsShown());
  EXPECT_EQ(0u, Tabs());
  EXPECT_TRUE(Docs()->GetDocumentsVector().empty());
  // With no document window, the main frame's own menu.
  EXPECT_EQ((std::vector<wxString>{"File", "View", "Help"}), MenuTitles(Frame()->GetMenuBar()));
  EXPECT_EQ((std::vector<wxString>{"Recent File"}), RecentItems(Frame()->GetMenuBar()));
  EXPECT_EQ("TessaryAuthor", Frame()->GetTitle());

  wxStatusBar* status = Frame()->GetStatusBar();
  ASSERT_NE(nullptr, status);
  EXPECT_EQ(4, status->GetFieldsCount());
  EXPECT_EQ("Ready", status->GetStatusText(0));

  wxToolBar* tb = Frame()->GetToolBar();
  ASSERT_NE(nullptr, tb);
  EXPECT_EQ(13u, tb->GetToolsCount());
  EXPECT_EQ("New", tb->GetToolShortHelp(WxId(ID_FILE_NEW)));
  EXPECT_EQ("Create a new document", tb->GetToolLongHelp(WxId(ID_FILE_NEW)));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppGui, StartWithDocumentOpensOneTab) {
  const std::string path = WriteDocument("start.rvq", "CAL-START");
  ASSERT_TRUE(Start({path}));
  EXPECT_EQ(1u, Tabs());
  CTessaryAuthorDoc* doc = CurrentDoc();
  ASSERT_NE(nullptr, doc);
  EXPECT_EQ("CAL-START", doc->m_strCalibrationID);
  ASSERT_EQ(1u, doc->m_targets.size());
  EXPECT_FALSE(doc->IsModified());
  // A document window shows the document menu.
  EXPECT_EQ((std::vector<wxString>{"File", "Edit", "View", "Window", "Help"}), MenuTitles(Frame()->GetMenuBar()));
  EXPECT_EQ("TessaryAuthor - start.rvq", Frame()->GetTitle());
  EXPECT_EQ((std::vector<wxString>{"1 " + wxString(path)}), RecentItems(Frame()->GetMenuBar()));
}

TEST_F(AppGui, StartWithADocumentThatCannotBeOpenedEnds) {
  const std::string damaged = Path("damaged.rvq");
  FILE* f = fopen(damaged.c_str(), "wb");
  fputs("not an update document", f);
  fclose(f);
  for (const std::string& path : {damaged, Path("missing.rvq")}) {
    SCOPED_TRACE(path);
    ui.boxes.clear();
    commCalls.clear();
    EXPECT_FALSE(Start({path}));
    Pump();
    EXPECT_EQ(nullptr, Frame());
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_NE(std::string::npos, ui.boxes[0].text.find(path)) << ui.boxes[0].text;
    EXPECT_EQ((std::vector<std::string>{"MWShutdown", "MWServerClose"}), commCalls);
  }
}

TEST_F(AppGui, ExitShutsTheCommunicationLibraryDownOnceInOrder) {
  ASSERT_TRUE(Start());
  EXPECT_TRUE(commCalls.empty());
  ASSERT_TRUE(Stop());
  EXPECT_EQ((std::vector<std::string>{"MWShutdown", "MWServerClose"}), commCalls);
}

TEST_F(AppGui, NewSaveAsAndReopenFromTheRecentFiles) {
  ASSERT_TRUE(Start());
  Command(ID_FILE_NEW);
  ASSERT_EQ(1u, Tabs());
  CTessaryAuthorDoc* doc = CurrentDoc();
  ASSERT_NE(nullptr, doc);
  EXPECT_EQ("Varnix1", doc->GetUserReadableName());
  doc->m_strComments = "written by the test";
  doc->m_targets.push_back(std::make_unique<CTargetObj>("CAL-9", "SW-9"));
  doc->SetModifiedFlag();

  const std::string path = Path("saved");  // the extension is added
  dialogs.files.push_back(wxString(path));
  Command(ID_FILE_SAVE_AS);
  ASSERT_EQ(1u, dialogs.requests.size());
  EXPECT_TRUE(dialogs.requests[0].save);
  EXPECT_EQ("Varnix1", dialogs.requests[0].fileName);  // the extension comes with the save
  EXPECT_EQ("Tessary Files (*.rvq)|*.rvq|All Files (*.*)|*||", dialogs.requests[0].filter);
  EXPECT_FALSE(doc->IsModified());
  EXPECT_EQ("saved.rvq", doc->GetUserReadableName());
  EXPECT_EQ("saved.rvq", Frame()->GetNotebook()->GetPageText(0));  // the tab takes the new name
  EXPECT_TRUE(std::filesystem::exists(path + ".rvq"));
  EXPECT_EQ((std::vector<wxString>{"1 " + wxString(path + ".rvq")}), RecentItems(Frame()->GetMenuBar()));

  Command(ID_FILE_CLOSE);
  EXPECT_EQ(0u, Tabs());
  EXPECT_EQ((std::vector<wxString>{"1 " + wxString(path + ".rvq")}), RecentItems(Frame()->GetMenuBar()));

  Command(ID_FILE_MRU_FILE1);
  ASSERT_EQ(1u, Tabs());
  doc = CurrentDoc();
  ASSERT_NE(nullptr, doc);
  EXPECT_EQ("written by the test", doc->m_strComments);
  ASSERT_EQ(1u, doc->m_targets.size());
  EXPECT_EQ("CAL-9", doc->m_targets.front()->m_strCalibrationID);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AppGui, TheFifthDocumentPushesTheFirstOffTheRecentFiles) {
  std::vector<std::string> paths;
  for (int i = 1; i <= 5; ++i)
    paths.push_back(WriteDocument("doc" + std::to_string(i) + ".rvq", "CAL" + std::to_string(i)));
  ASSERT_TRUE(Start());
  for (const std::string& p : paths) {
    dialogs.files.push_back(wxString(p));
    Command(ID_FILE_OPEN);
  }
  EXPECT_EQ(5u, Tabs());
  const std::vector<wxString> expected = {"1 " + paths[4], "2 " + paths[3], "3 " + paths[2], "4 " + paths[1]};
  EXPECT_EQ(expected, RecentItems(Frame()->GetMenuBar()));
  ASSERT_TRUE(Stop());
  // The list is kept in the profile for the next start.
  ASSERT_TRUE(Start());
  EXPECT_EQ(expected, RecentItems(Frame()->GetMenuBar()));
}

TEST_F(AppGui, ARecentFileThatIsGoneIsDroppedWithAMessage) {
  const std::string path = WriteDocument("gone.rvq", "CAL");
  ASSERT_TRUE(Start({path}));
  Command(ID_FILE_CLOSE);
  std::filesystem::remove(path);
  Command(ID_FILE_MRU_FILE1);
  EXPECT_EQ(0u, Tabs());
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_NE(std::string::npos, ui.boxes[0].text.find(path));
  EXPECT_EQ((std::vector<wxString>{"Recent File"}), RecentItems(Frame()->GetMenuBar()));
}

// A name written in an 8-bit code page reads as its characters in the menu, and choosing it opens
// the file by its exact bytes.
TEST_F(AppGui, ARecentFileWhoseNameIsNotUtf8ReadsAndOpens) {
  const std::string path = WriteDocument("Liste-\xE4.rvq", "CAL-LATIN");
  ASSERT_TRUE(Start({path}));
  Command(ID_FILE_CLOSE);
  ASSERT_EQ(0u, Tabs());
  const std::vector<wxString> items = RecentItems(Frame()->GetMenuBar());
  ASSERT_EQ(1u, items.size());
  EXPECT_TRUE(items[0].EndsWith(wxString::FromUTF8("Liste-\xC3\xA4.rvq"))) << items[0];
  Command(ID_FILE_MRU_FILE1);
  ASSERT_EQ(1u, Tabs());
  EXPECT_EQ("CAL-LATIN", CurrentDoc()->m_strCalibrationID);
  EXPECT_TRUE(ui.boxes.empty());
}

using Files = std::vector<std::string>;

// The recent files as another copy of the program finds them on disk.
Files StoredRecentFiles() {
  return ReadRecentFiles(CProfile(CTessaryAuthorApp::ProfilePath().ToStdString()).Read(), 4);
}

// What another copy of the program does when it opens file.
void OtherCopyOpens(const std::string& file) {
  CProfile(CTessaryAuthorApp::ProfilePath().ToStdString()).Edit([&](ProfileContents& c) {
    WriteRecentFiles(c, WithRecentFile(ReadRecentFiles(c, 4), file, 4), 4);
    return true;
  });
}

// Two copies of the program at work: each change of the recent files is on disk at once, put
// into the list that is there, and the exit writes nothing over what the other stored.
TEST_F(AppGui, RecentFilesGoIntoTheStoredListAtOnceAndTheExitKeepsAnotherCopysFiles) {
  const std::string a = WriteDocument("a.rvq", "A"), b = WriteDocument("b.rvq", "B"), c = WriteDocument("c.rvq", "C"),
                    d = WriteDocument("d.rvq", "D");
  ASSERT_TRUE(Start({a}));
  EXPECT_EQ((Files{a}), StoredRecentFiles());
  OtherCopyOpens(b);
  dialogs.files.push_back(wxString(c));
  Command(ID_FILE_OPEN);
  EXPECT_EQ((Files{c, b, a}), StoredRecentFiles());
  EXPECT_EQ((std::vector<wxString>{"1 " + c, "2 " + b, "3 " + a}), RecentItems(Frame()->GetMenuBar()));

  // Back in this window after the other copy opened d: the menu shows it.
  OtherCopyOpens(d);
  wxActivateEvent activate(wxEVT_ACTIVATE, true, Frame()->GetId());
  Frame()->ProcessWindowEvent(activate);
  EXPECT_EQ((std::vector<wxString>{"1 " + d, "2 " + c, "3 " + b, "4 " + a}), RecentItems(Frame()->GetMenuBar()));

  // A file that is gone leaves the stored list too, with the other copy's files kept.
  OtherCopyOpens(b);
  Command(ID_FILE_CLOSE);
  std::filesystem::remove(c);
  Frame()->ProcessWindowEvent(activate);
  Command(ID_FILE_MRU_FILE1 + 2);  // c, after b went back on top
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ((Files{b, d, a}), StoredRecentFiles());

  OtherCopyOpens(c);
  ASSERT_TRUE(Stop());
  EXPECT_EQ((Files{c, b, d, a}), StoredRecentFiles());
}

// A name given relative to the folder the program was started in stands for the same file
// later, from any folder: the title, the recent files and later saves keep its full path.
TEST_F(AppGui, ARelativeNameOnTheCommandLineIsKeptAsAFullPath) {
  const std::string path = std::filesystem::canonical(WriteDocument("rel.rvq", "CAL-REL")).string();
  const std::filesystem::path started = std::filesystem::current_path();
  struct Back {
    std::filesystem::path to;
    ~Back() { std::filesystem::current_path(to); }
  } back{started};
  std::filesystem::current_path(std::filesystem::path(path).parent_path());
  ASSERT_TRUE(Start({"rel.rvq"}));
  std::filesystem::current_path("/");
  EXPECT_EQ("TessaryAuthor - rel.rvq", Frame()->GetTitle());
  EXPECT_EQ(path, ToSystemPath(CurrentDoc()->GetFilename()));
  EXPECT_EQ((std::vector<wxString>{"1 " + wxString(path)}), RecentItems(Frame()->GetMenuBar()));
  EXPECT_EQ((Files{path}), StoredRecentFiles());

  CurrentDoc()->m_strComments = "saved again";
  CurrentDoc()->SetModifiedFlag();
  Command(ID_FILE_SAVE);
  EXPECT_FALSE(CurrentDoc()->IsModified());
  EXPECT_FALSE(std::filesystem::exists("/rel.rvq"));
  ASSERT_TRUE(Stop());

  ASSERT_TRUE(Start());
  Command(ID_FILE_MRU_FILE1);
  EXPECT_TRUE(ui.boxes.empty());
  ASSERT_EQ(1u, Tabs());
  EXPECT_EQ("saved again", CurrentDoc()->m_strComments);
}

// The main window's frame as the X server places it.
wxRect RealFrame() {
  const std::optional<XWindowGeometry> g = QueryXGeometry(TheApp().GetMainFrame());
  return g ? g->frame : wxRect();
}

std::string Describe(const wxRect& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
         std::to_string(r.height);
}

TEST_F(AppGui, PlacementAndMaximisedStateComeBack) {
  ASSERT_TRUE(Start());
  Frame()->SetSize(100, 120, 700, 500);
  const wxRect normal(100, 120, 700, 500);
  EXPECT_TRUE(WaitFor([&] { return RealFrame() == normal; })) << Describe(RealFrame());
  ASSERT_TRUE(Stop());
  ASSERT_TRUE(Start());
  // The window manager frames the window a little later; the placement holds once it has.
  EXPECT_TRUE(WaitFor([&] { return RealFrame() == normal; })) << Describe(RealFrame());
  EXPECT_FALSE(Frame()->IsMaximized());

  Frame()->Maximize();
  if (!WaitFor([] { return Frame()->IsMaximized(); })) GTEST_SKIP() << "no window manager to maximise windows";
  ASSERT_TRUE(Stop());
  EXPECT_EQ(SW_SHOWMAXIMIZED, wxAtoi(ProfileValue("/WindowPlacement/ShowCmd")));
  EXPECT_EQ(700, wxAtoi(ProfileValue("/WindowPlacement/Width")));
  ASSERT_TRUE(Start());
  EXPECT_TRUE(WaitFor([] { return Frame()->IsMaximized(); }));
  EXPECT_TRUE(WaitFor([] { return RealFrame().width > 1000; })) << Describe(RealFrame());

  // Un-maximising gives the normal size and place back.
  Frame()->Maximize(false);
  EXPECT_TRUE(WaitFor([&] { return !Frame()->IsMaximized() && RealFrame() == normal; })) << Describe(RealFrame());
  ASSERT_TRUE(Stop());
  EXPECT_EQ(SW_SHOWNORMAL, wxAtoi(ProfileValue("/WindowPlacement/ShowCmd")));
  EXPECT_EQ("100 120 700 500", ProfileValue("/WindowPlacement/Left") + " " + ProfileValue("/WindowPlacement/Top") +
                                   " " + ProfileValue("/WindowPlacement/Width") + " " +
                                   ProfileValue("/WindowPlacement/Height"));
}

TEST_F(AppGui, APlacementOffTheScreenOrMinimisedComesBackVisibleAndNormal) {
  struct Case {
    int left, top, showCmd;
  } cases[] = {{5000, 4000, SW_SHOWNORMAL}, {-3000, 100, SW_SHOWMINIMIZED}, {200, 150, SW_SHOWMINIMIZED}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << "," << c.top << " show " << c.showCmd);
    std::filesystem::create_directories(
        std::filesystem::path(CTessaryAuthorApp::ProfilePath().ToStdString()).parent_path());
    {
      wxFileConfig profile(wxString(), wxString(), CTessaryAuthorApp::ProfilePath(), wxString(),
                           wxCONFIG_USE_LOCAL_FILE);
      profile.Write("/WindowPlacement/Left", c.left);
      profile.Write("/WindowPlacement/Top", c.top);
      profile.Write("/WindowPlacement/Width", 640);
      profile.Write("/WindowPlacement/Height", 480);
      profile.Write("/WindowPlacement/ShowCmd", c.showCmd);
    }
    ASSERT_TRUE(Start());
    const wxRect screen(0, 0, 1280, 1024);
    EXPECT_TRUE(WaitFor([] { return Frame()->GetSize() == wxSize(640, 480); }))
        << Frame()->GetSize().x << "x" << Frame()->GetSize().y;
    EXPECT_TRUE(screen.Contains(Frame()->GetRect())) << Frame()->GetRect().x << "," << Frame()->GetRect().y;
    EXPECT_FALSE(Frame()->IsIconized());
    EXPECT_FALSE(Frame()->IsMaximized());
    ASSERT_TRUE(Stop());
  }
}

// A profile of values no program wrote: the program starts as at a first start where a value
// makes no sense, stops on no assertion and prints nothing.
TEST_F(AppGui, AProfileOfNonsenseIsLeftOutQuietly) {
  const char* const placements[] = {
      "Left=2147483647\nTop=-2147483648\nWidth=2147483647\nHeight=2147483647\nShowCmd=-1\n",
      "Left=10\nTop=10\nWidth=-640\nHeight=480\nShowCmd=1\n",
      "Left=ten\nTop=10\nWidth=640\nHeight=480\nShowCmd=1\n",
  };
  const wxRect screen(0, 0, 1280, 1024);
  for (const char* placement : placements) {
    SCOPED_TRACE(placement);
    const std::filesystem::path profileFile = CTessaryAuthorApp::ProfilePath().ToStdString();
    std::filesystem::create_directories(profileFile.parent_path());
    std::ofstream(profileFile, std::ios::binary)
        << "[WindowPlacement]\n"
        << placement
        << "[CommandBars]\n"
           "ToolbarVisible=maybe\n"
           "StandardButtons=57600,0,99999,-1,2147483648\n"
           "Keys=57600=Ctrl+Ctrl+\\t57601=F99\\t57603=Num 5\\t57634=\\t99999=Ctrl+Q\n"
           "[Recent\\ File\\ List]\n"
           "file1=\n"
           "file2=relative.rvq\n"
           "file3=relative.rvq\n";
    StderrCapture err(Path("nonsense.err"));
    ASSERT_TRUE(Start());
    EXPECT_TRUE(WaitFor([&] { return screen.Contains(Frame()->GetRect()); }))
        << Frame()->GetRect().x << "," << Frame()->GetRect().y << " " << Frame()->GetRect().width << "x"
        << Frame()->GetRect().height;
    EXPECT_GT(Frame()->GetSize().x, 100);
    EXPECT_EQ(13u, Frame()->GetToolBar()->GetToolsCount());
    EXPECT_TRUE(Frame()->GetToolBar()->IsShown());
    EXPECT_EQ(CommandBarsState::Defaults().keys.size(), Frame()->GetCommandBarsState().keys.size());
    EXPECT_EQ((std::vector<std::string>{"Ctrl+N"}), Frame()->GetCommandBarsState().KeysFor(ID_FILE_NEW));
    EXPECT_EQ((std::vector<wxString>{"1 relative.rvq"}), RecentItems(Frame()->GetMenuBar()));
    ASSERT_TRUE(Stop());
    EXPECT_EQ("", err.Stop());
    EXPECT_TRUE(ui.boxes.empty());
  }
  // A key the toolkit does not know, among good ones, is left out without a word.
  std::ofstream(CTessaryAuthorApp::ProfilePath().ToStdString(), std::ios::binary)
      << "[CommandBars]\nKeys=57600=Ctrl+N\\t57601=F99\\t57603=Ctrl+S\n";
  StderrCapture err(Path("keys.err"));
  ASSERT_TRUE(Start());
  EXPECT_EQ((std::vector<KeyBinding>{{ID_FILE_NEW, "Ctrl+N"}, {ID_FILE_SAVE, "Ctrl+S"}}),
            Frame()->GetCommandBarsState().keys);
  ASSERT_TRUE(Stop());
  EXPECT_EQ("", err.Stop());
}

TEST_F(AppGui, CloseThenCancelAtTheSavePromptStillStoresBarsAndPlacement) {
  ASSERT_TRUE(Start());
  Command(ID_FILE_NEW);
  CurrentDoc()->SetModifiedFlag();
  Command(ID_VIEW_TOOLBAR);  // the user hides the toolbar
  EXPECT_FALSE(Frame()->GetToolBar()->IsShown());
  Frame()->SetSize(60, 70, 720, 540);
  Pump();

  ui.Answer({IDCANCEL});
  Frame()->Close();
  Pump();
  ASSERT_NE(nullptr, Frame()) << "the close was cancelled";
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ("Save changes to Varnix1?", ui.boxes[0].text);
  EXPECT_EQ(unsigned{MB_YESNOCANCEL}, ui.boxes[0].style & MB_TYPEMASK);
  EXPECT_EQ("0", ProfileValue("/CommandBars/ToolbarVisible"));
  EXPECT_EQ("720", ProfileValue("/WindowPlacement/Width"));
  EXPECT_EQ("540", ProfileValue("/WindowPlacement/Height"));
  EXPECT_EQ(1u, Tabs());
  EXPECT_TRUE(CurrentDoc()->IsModified());

  // No this time: the document goes unsaved and the program ends; the next start has the bars
  // as they were left.
  ui.Answer({IDNO});
  ASSERT_TRUE(Stop());
  ASSERT_TRUE(Start());
  EXPECT_FALSE(Frame()->GetToolBar()->IsShown());
  EXPECT_FALSE(Frame()->GetCommandBarsState().toolbarVisible);
}

// Another copy of the program closes after the user hid its toolbar and moved its window: this
// copy, closed later with its bars and window as they were, keeps those values; what it changes
// itself it stores.
TEST_F(AppGui, ACloseStoresOnlyWhatChangedSoAnotherCopysBarsAndPlacementStay) {
  ASSERT_TRUE(Start());
  CProfile otherCopy(CTessaryAuthorApp::ProfilePath().ToStdString());
  CommandBarsState hidden = CommandBarsState::Defaults();
  hidden.toolbarVisible = false;
  ASSERT_TRUE(otherCopy.Edit([&](ProfileContents& c) {
    WriteCommandBars(c, hidden);
    WriteWindowPlacement(c, {{50, 60, 640, 480}, SW_SHOWNORMAL});
    return true;
  }));
  ASSERT_TRUE(Stop());
  EXPECT_EQ("0", ProfileValue("/CommandBars/ToolbarVisible"));
  EXPECT_EQ("50 60 640 480", ProfileValue("/WindowPlacement/Left") + " " + ProfileValue("/WindowPlacement/Top") + " " +
                                 ProfileValue("/WindowPlacement/Width") + " " +
                                 ProfileValue("/WindowPlacement/Height"));

  ASSERT_TRUE(Start());
  EXPECT_FALSE(Frame()->GetToolBar()->IsShown());
  Command(ID_VIEW_STATUS_BAR);
  ASSERT_TRUE(Stop());
  EXPECT_EQ("0", ProfileValue("/CommandBars/StatusBarVisible"));
  EXPECT_EQ("0", ProfileValue("/CommandBars/ToolbarVisible"));
}

TEST_F(AppGui, CommandsWithoutAHandlerShowDisabled) {
  ASSERT_TRUE(Start());
  Frame()->UpdateWindowUI(wxUPDATE_UI_RECURSE);
  wxToolBar* tb = Frame()->GetToolBar();
  EXPECT_TRUE(tb->GetToolEnabled(WxId(ID_FILE_NEW)));
  EXPECT_TRUE(tb->GetToolEnabled(WxId(ID_FILE_OPEN)));
  EXPECT_TRUE(tb->GetToolEnabled(WxId(ID_APP_ABOUT)));
  EXPECT_FALSE(tb->GetToolEnabled(WxId(ID_FILE_SAVE)));  // no document
  EXPECT_FALSE(tb->GetToolEnabled(WxId(ID_FILE_PRINT)));
  EXPECT_TRUE(tb->GetToolEnabled(WxId(ID_PREFERENCES)));                    // handled by the main window
  EXPECT_FALSE(Frame()->GetMenuBar()->IsEnabled(WxId(ID_FILE_MRU_FILE1)));  // "Recent File", empty

  Command(ID_FILE_NEW);
  Frame()->UpdateWindowUI(wxUPDATE_UI_RECURSE);
  Frame()->DoMenuUpdates();
  wxMenuBar* bar = Frame()->GetMenuBar();
  EXPECT_TRUE(tb->GetToolEnabled(WxId(ID_FILE_SAVE)));
  EXPECT_FALSE(tb->GetToolEnabled(WxId(ID_FILE_PRINT)));
  EXPECT_FALSE(bar->IsEnabled(WxId(ID_EDIT_UNDO)));
  EXPECT_TRUE(bar->IsEnabled(WxId(ID_FILE_CLOSE)));
  EXPECT_TRUE(bar->IsEnabled(WxId(ID_WINDOW_NEW)));
  EXPECT_TRUE(bar->IsChecked(WxId(ID_VIEW_TOOLBAR)));
  EXPECT_TRUE(bar->IsChecked(WxId(ID_VIEW_STATUS_BAR)));
  // Menu items carry their prompt for the status bar and their accelerator.
  EXPECT_EQ("Save the active document", bar->GetHelpString(WxId(ID_FILE_SAVE)));
  EXPECT_EQ("&Save\tCtrl+S", bar->FindItem(WxId(ID_FILE_SAVE))->GetItemLabel());
}

TEST_F(AppGui, NewWindowNumbersTheWindowsOfTheDocumentAndPrintsNothing) {
  const std::string path = WriteDocument("numbered.rvq", "CAL");
  StderrCapture err(Path("session.err"));
  ASSERT_TRUE(Start());
  dialogs.files.push_back(wxString(path));
  Command(ID_FILE_OPEN);
  Command(ID_WINDOW_NEW);
  EXPECT_EQ(1u, Docs()->GetDocumentsVector().size());
  EXPECT_EQ((std::vector<wxString>{"numbered.rvq:1", "numbered.rvq:2"}), TabTexts());
  Command(ID_WINDOW_NEW);
  EXPECT_EQ((std::vector<wxString>{"numbered.rvq:1", "numbered.rvq:2", "numbered.rvq:3"}), TabTexts());
  EXPECT_EQ("TessaryAuthor - numbered.rvq:3", Frame()->GetTitle());

  // Closing windows numbers the others again; the last one left goes by the name alone.
  Frame()->GetActiveChild()->Close();
  Pump();
  EXPECT_EQ((std::vector<wxString>{"numbered.rvq:1", "numbered.rvq:2"}), TabTexts());
  Frame()->GetActiveChild()->Close();
  Pump();
  EXPECT_EQ((std::vector<wxString>{"numbered.rvq"}), TabTexts());
  EXPECT_EQ(1u, Docs()->GetDocumentsVector().size());

  Command(ID_FILE_NEW);
  Command(ID_WINDOW_NEW);
  EXPECT_EQ((std::vector<wxString>{"numbered.rvq", "Varnix1:1", "Varnix1:2"}), TabTexts());
  Command(ID_FILE_CLOSE);
  Command(ID_FILE_CLOSE);
  EXPECT_EQ(0u, Tabs());
  EXPECT_EQ((std::vector<wxString>{"File", "View", "Help"}), MenuTitles(Frame()->GetMenuBar()));
  EXPECT_EQ("", err.Stop());
}

TEST_F(AppGui, SaveAsAsksBeforeReplacingAFileThatTheExtensionNames) {
  const std::string victim = WriteDocument("victim.rvq", "CAL-VICTIM");
  const std::string before = ReadFile(victim);
  ASSERT_TRUE(Start());
  Command(ID_FILE_NEW);
  CurrentDoc()->SetModifiedFlag();
  const std::string question = victim + "\nalready exists.\nDo you want to replace it?";

  // No, from Save As and from Save of a document never saved: nothing is written.
  for (int command : {ID_FILE_SAVE_AS, ID_FILE_SAVE}) {
    SCOPED_TRACE(command);
    ui.boxes.clear();
    ui.Answer({IDNO});
    dialogs.files.push_back(wxString(Path("victim")));
    Command(command);
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_EQ(question, ui.boxes[0].text);
    EXPECT_EQ(unsigned{MB_YESNO | MB_ICONEXCLAMATION}, ui.boxes[0].style);
    EXPECT_EQ(before, ReadFile(victim));
    EXPECT_TRUE(CurrentDoc()->IsModified());
    EXPECT_EQ("Varnix1", CurrentDoc()->GetUserReadableName());
  }

  // Yes replaces it.
  ui.boxes.clear();
  ui.Answer({IDYES});
  dialogs.files.push_back(wxString(Path("victim")));
  Command(ID_FILE_SAVE_AS);
  EXPECT_EQ(1u, ui.boxes.size());
  EXPECT_FALSE(CurrentDoc()->IsModified());
  EXPECT_EQ("victim.rvq", CurrentDoc()->GetUserReadableName());
  CUpdateDocumentData saved;
  std::string message;
  ASSERT_TRUE(rvq::LoadFile(victim, saved, message)) << message;
  EXPECT_EQ("", saved.m_strCalibrationID);

  // The name as the dialog returned it was the dialog's to ask about; a new name is not asked about.
  ui.boxes.clear();
  dialogs.files.push_back(wxString(victim));
  dialogs.files.push_back(wxString(Path("fresh")));
  Command(ID_FILE_SAVE_AS);
  Command(ID_FILE_SAVE_AS);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_TRUE(std::filesystem::exists(Path("fresh.rvq")));
}

// The toolkit's own Save dialog, typed into as a user does: it checks the name as typed.
TEST_F(AppGui, TheRealSaveDialogAndTheQuestionAboutTheNameWithItsExtension) {
  const std::string victim = WriteDocument("victim.rvq", "CAL-VICTIM");
  const std::string before = ReadFile(victim);
  ASSERT_TRUE(Start());
  SetDialogServices(nullptr);
  Docs()->SetLastDirectory(wxString(std::filesystem::path(victim).parent_path().string()));
  Command(ID_FILE_NEW);
  CurrentDoc()->SetModifiedFlag();

  // Once the dialog is up, the name is typed over the proposed one and taken with Enter.
  bool typed = false;
  wxTimer typist;
  typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    bool up = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next)
      up = up || (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_window_is_active(GTK_WINDOW(w->data)));
    g_list_free(windows);
    if (typed || !up) return;
    typed = true;
    wxUIActionSimulator sim;
    sim.Char('A', wxMOD_CONTROL);
    sim.Text("victim");
    sim.Char(WXK_RETURN);
  });
  typist.Start(200);
  ui.Answer({IDNO});
  Command(ID_FILE_SAVE_AS);
  typist.Stop();
  ASSERT_TRUE(typed);
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(victim + "\nalready exists.\nDo you want to replace it?", ui.boxes[0].text);
  EXPECT_EQ(before, ReadFile(victim));
  EXPECT_TRUE(CurrentDoc()->IsModified());
  EXPECT_FALSE(std::filesystem::exists(Path("victim")));
}

// GTK selects an offered name up to its last dot: the name is offered without the extension, so
// that whatever is typed replaces all of it, and gets exactly one extension.
TEST_F(AppGui, TheRealSaveDialogTakesANameTypedWithOrWithoutTheExtension) {
  ASSERT_TRUE(Start());
  SetDialogServices(nullptr);
  Docs()->SetLastDirectory(wxString(Path("")));
  const struct {
    const char* typed;
    const char* saved;
  } cases[] = {{"typed", "typed.rvq"}, {"named.rvq", "named.rvq"}, {"upper.RVQ", "upper.RVQ"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Command(ID_FILE_NEW);
    CurrentDoc()->SetModifiedFlag();
    // Once the dialog is up, what it offers is read and the name typed as a user does, over the
    // selection the dialog made, then taken with Enter.
    wxString offered, selected;
    wxTimer typist;
    typist.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
      GtkWindow* chooser = nullptr;
      GList* windows = gtk_window_list_toplevels();
      for (GList* w = windows; w; w = w->next)
        if (GTK_IS_FILE_CHOOSER_DIALOG(w->data) && gtk_window_is_active(GTK_WINDOW(w->data)))
          chooser = GTK_WINDOW(w->data);
      g_list_free(windows);
      GtkWidget* entry = chooser ? gtk_window_get_focus(chooser) : nullptr;
      if (!offered.empty() || !entry || !GTK_IS_ENTRY(entry)) return;
      offered = wxString::FromUTF8(gtk_entry_get_text(GTK_ENTRY(entry)));
      int from = 0, to = 0;
      if (gtk_editable_get_selection_bounds(GTK_EDITABLE(entry), &from, &to))
        selected = offered.Mid(static_cast<size_t>(from), static_cast<size_t>(to - from));
      wxUIActionSimulator sim;
      sim.Text(c.typed);
      sim.Char(WXK_RETURN);
    });
    typist.Start(200);
    Command(ID_FILE_SAVE_AS);
    typist.Stop();
    EXPECT_EQ("Varnix", offered.Left(6));
    EXPECT_EQ(offered, selected);
    EXPECT_FALSE(CurrentDoc()->IsModified());
    EXPECT_EQ(wxString(c.saved), CurrentDoc()->GetUserReadableName());
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(Path("")))
      if (entry.path().filename().string().rfind(std::string(c.typed).substr(0, 3), 0) == 0)
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{c.saved}, files);
  }
  EXPECT_TRUE(ui.boxes.empty());
}

// A document's own name comes back with its own extension when the offered name is kept.
TEST_F(AppGui, SaveAsOffersTheNameWithoutItsExtensionAndKeepsTheDocumentsOwn) {
  ASSERT_TRUE(Start());
  Command(ID_FILE_NEW);
  dialogs.files.push_back(wxString(Path("Report.RVQ")));
  Command(ID_FILE_SAVE_AS);
  ASSERT_TRUE(std::filesystem::exists(Path("Report.RVQ")));
  EXPECT_EQ("Varnix1", dialogs.requests.back().fileName);

  const struct {
    const char* answer;
    const char* saved;
    size_t questions;  // about replacing the file the name with its extension names
  } cases[] = {{"Report", "Report.RVQ", 1}, {"Other", "Other.rvq", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.answer);
    ui.boxes.clear();
    dialogs.files.push_back(wxString(Path(c.answer)));
    Command(ID_FILE_SAVE_AS);
    EXPECT_EQ(wxString(c.saved), CurrentDoc()->GetUserReadableName());
    EXPECT_TRUE(std::filesystem::exists(Path(c.saved)));
    EXPECT_EQ(c.questions, ui.boxes.size());
  }
  EXPECT_EQ("Report", dialogs.requests[1].fileName);
  EXPECT_EQ("Report", dialogs.requests[2].fileName);
  EXPECT_FALSE(std::filesystem::exists(Path("Report.rvq")));
}

TEST_F(AppGui, ADocumentThatDoesNotOpenNeverShowsAWindow) {
  const std::string damaged = Path("damaged.rvq");
  {
    std::ofstream out(damaged);
    out << "not an update document";
  }
  // The tabs there are while the message is shown.
  struct TabsAtMessage : UiRecorder {
    std::vector<size_t> tabs;
    int MessageBox(const std::string& text, unsigned style) override {
      tabs.push_back(Tabs());
      return UiRecorder::MessageBox(text, style);
    }
  } boxes;
  ASSERT_TRUE(Start());
  for (const std::string& path : {damaged, Path("missing.rvq")}) {
    dialogs.files.push_back(wxString(path));
    Command(ID_FILE_OPEN);
  }
  EXPECT_EQ((std::vector<size_t>{0, 0}), boxes.tabs);
  EXPECT_EQ(0u, Tabs());
  EXPECT_TRUE(Docs()->GetDocumentsVector().empty());
  EXPECT_EQ((std::vector<wxString>{"Recent File"}), RecentItems(Frame()->GetMenuBar()));

  // A document that opens still shows at once, read.
  dialogs.files.push_back(wxString(WriteDocument("good.rvq", "CAL-GOOD")));
  Command(ID_FILE_OPEN);
  EXPECT_EQ((std::vector<wxString>{"good.rvq"}), TabTexts());
  EXPECT_EQ("CAL-GOOD", CurrentDoc()->m_strCalibrationID);
}

TEST_F(AppGui, MessageBoxesShowTheIconTheyAskFor) {
  ASSERT_TRUE(Start());
  CWxUiServices real;
  struct Case {
    unsigned style;
    wxArtID icon;  // empty: none
    int button, answer;
  } cases[] = {
      {MB_OK | MB_ICONEXCLAMATION, wxART_WARNING, wxID_OK, IDOK},
      {MB_OK | MB_ICONERROR, wxART_ERROR, wxID_OK, IDOK},
      {MB_YESNO | MB_ICONQUESTION, wxART_QUESTION, wxID_NO, IDNO},
      {MB_YESNOCANCEL | MB_ICONINFORMATION, wxART_INFORMATION, wxID_CANCEL, IDCANCEL},
      {MB_OKCANCEL, wxArtID(), wxID_OK, IDOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.style);
    std::vector<wxImage> icons;
    bool hasButton = false;
    wxString text;
    dialogs.onModal = [&](wxDialog& dlg) {
      for (wxWindow* w : dlg.GetChildren()) {
        if (auto* b = dynamic_cast<wxStaticBitmap*>(w)) icons.push_back(b->GetBitmap().ConvertToImage());
        if (auto* t = dynamic_cast<wxStaticText*>(w)) text = t->GetLabel();
      }
      hasButton = dlg.FindWindow(c.button) != nullptr;
      return c.button;
    };
    EXPECT_EQ(c.answer, real.MessageBox("The text", c.style));
    EXPECT_EQ("The text", text);
    EXPECT_TRUE(hasButton);
    if (c.icon.empty()) {
      EXPECT_TRUE(icons.empty());
      continue;
    }
    ASSERT_EQ(1u, icons.size());
    const wxImage& shown = icons[0];
    const wxImage expected = wxArtProvider::GetBitmap(c.icon, wxART_MESSAGE_BOX).ConvertToImage();
    ASSERT_TRUE(expected.IsOk());
    EXPECT_EQ(expected.GetSize(), shown.GetSize());
    EXPECT_EQ(0, std::memcmp(expected.GetData(), shown.GetData(),
                             std::size_t(expected.GetWidth()) * expected.GetHeight() * 3));
  }
}

// An exception that no handler caught reaches the event loop through the toolkit: the program's
// own message box shows it, and the loop and the program go on. Nothing reaches the terminal.
TEST_F(AppGui, AnExceptionThatNoHandlerCaughtIsShownAndTheProgramGoesOn) {
  ASSERT_TRUE(Start());
  StderrCapture err(Path("stderr.txt"));
  const CFileException fileError(CFileException::accessDenied, EACCES, Path("Überträge/Kalibrierung.sr"));
  const struct {
    std::function<void()> fault;
    std::string box;
  } cases[] = {
      {[&] { throw fileError; }, fileError.GetErrorMessage()},
      {[] { throw std::bad_alloc(); }, "Out of memory."},
      {[] { throw std::runtime_error("Wert außerhalb des Bereichs"); }, "Wert außerhalb des Bereichs"},
      {[] { throw 42; }, "An unexpected error occurred."},
  };
  // A button of the main window whose handler throws, with no guard of its own.
  auto* button = new wxButton(Frame(), wxID_ANY, "Fault");
  std::function<void()> fault;
  button->Bind(wxEVT_BUTTON, [&](wxCommandEvent&) { fault(); });

  // The program's own boxes while the test runs, the recorder again after it.
  struct RealBoxes {
    CWxUiServices real;
    IUiServices& after;
    explicit RealBoxes(IUiServices& recorder) : after(recorder) { SetUiServices(&real); }
    ~RealBoxes() { SetUiServices(&after); }
  };
  auto realBoxes = std::make_unique<RealBoxes>(ui);
  std::vector<wxString> shown;
  std::vector<bool> icons;
  dialogs.onModal = [&](wxDialog& dlg) {
    bool icon = false;
    for (wxWindow* w : dlg.GetChildren()) {
      if (auto* t = dynamic_cast<wxStaticText*>(w)) shown.push_back(t->GetLabel());
      if (dynamic_cast<wxStaticBitmap*>(w)) icon = true;
    }
    icons.push_back(icon);
    return wxID_OK;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.box);
    shown.clear();
    icons.clear();
    fault = c.fault;
    // The click comes from inside a running loop, as the toolkit delivers a user's; a later event
    // is still handled by the same loop, and ends it.
    wxGUIEventLoop loop;
    bool later = false;
    wxTheApp->CallAfter([&] {
      gtk_button_clicked(GTK_BUTTON(button->GetHandle()));
      wxTheApp->CallAfter([&] {
        later = true;
        loop.Exit(7);
      });
    });
    EXPECT_EQ(7, loop.Run());
    EXPECT_TRUE(later);
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(wxString::FromUTF8(c.box), shown[0]);
    EXPECT_TRUE(icons[0]);
  }
  realBoxes.reset();
  button->Destroy();
  Pump();

  // The program's own commands still work.
  Command(ID_FILE_NEW);
  EXPECT_EQ(1u, Tabs());
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ("", err.Stop());
}

// The real box, answered from the keyboard and the title bar as a user does: Escape and the close
// box give Cancel where there is one, else No (OK alone: OK); Return the default button, the
// second one with MB_DEFBUTTON2.
TEST_F(AppGui, TheMessageBoxAnswersEscapeTheCloseBoxAndReturn) {
  ASSERT_TRUE(Start());
  CWxUiServices real;
  XClient x;
  ASSERT_NE(nullptr, x.display());
  enum Act { escape, closeBox, enter };
  const struct {
    unsigned style;
    Act act;
    int answer;
  } cases[] = {
      {MB_YESNO | MB_ICONEXCLAMATION, escape, IDNO},
      {MB_YESNO | MB_ICONEXCLAMATION, closeBox, IDNO},
      {MB_YESNO | MB_ICONEXCLAMATION, enter, IDYES},
      {MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2, enter, IDNO},
      {MB_YESNO | MB_DEFBUTTON2, escape, IDNO},
      {MB_YESNOCANCEL, escape, IDCANCEL},
      {MB_YESNOCANCEL, closeBox, IDCANCEL},
      {MB_YESNOCANCEL | MB_DEFBUTTON2, enter, IDNO},
      {MB_OKCANCEL, escape, IDCANCEL},
      {MB_OKCANCEL | MB_DEFBUTTON2, enter, IDCANCEL},
      {MB_OKCANCEL, enter, IDOK},
      {MB_OK, escape, IDOK},
      {MB_OK, closeBox, IDOK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "style " << c.style << ", act " << c.act);
    bool acted = false;
    int result = wxID_NONE;
    dialogs.onModal = [&](wxDialog& dlg) {
      wxTimer user;
      int waited = 0;
      user.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        // A box that the act did not close is closed after a while with an answer it never gives.
        if (++waited > 100) dlg.EndModal(wxID_ABORT);
        if (acted || !gtk_window_is_active(GTK_WINDOW(dlg.GetHandle()))) return;
        acted = true;
        wxUIActionSimulator sim;
        switch (c.act) {
          case escape: sim.Char(WXK_ESCAPE); break;
          case enter: sim.Char(WXK_RETURN); break;
          case closeBox: x.RequestClose(GDK_WINDOW_XID(gtk_widget_get_window(dlg.GetHandle()))); break;
        }
      });
      user.Start(50);
      return result = dlg.ShowModal();
    };
    EXPECT_EQ(c.answer, real.MessageBox("Replace it?", c.style));
    EXPECT_TRUE(acted);
    EXPECT_NE(wxID_ABORT, result);
  }
  // The toolkit keeps one guess of the window manager's frame for dialogs and frames alike, and
  // the boxes (not resizable, so framed more thinly) have changed it: a frame shown puts it back
  // for the main windows of the tests after this one.
  auto* frame = new wxFrame(nullptr, wxID_ANY, "frame");
  frame->Show();
  EXPECT_TRUE(WaitFor([&] {
    const std::optional<XWindowGeometry> g = QueryXGeometry(frame);
    return g && g->frame.height > g->client.height;
  }));
  Pump();
  frame->Destroy();
  Pump();
}

// Right clicks are real X input: they reach the program as a user's do.
TEST_F(AppGui, TheBarsMenuOpensOnARightClickAnywhereOnTheBars) {
  ASSERT_TRUE(Start());
  Frame()->Raise();
  ASSERT_TRUE(WaitFor([] { return RealFrame() == wxRect(160, 128, 960, 768); })) << Describe(RealFrame());
  Frame()->UpdateWindowUI(wxUPDATE_UI_RECURSE);
  wxToolBar* tb = Frame()->GetToolBar();
  ASSERT_FALSE(tb->GetToolEnabled(WxId(ID_FILE_PRINT)));
  GtkToolbar* toolbar = tb->GTKGetToolbar();
  const auto toolAt = [&](int pos) { return ScreenRectOf(GTK_WIDGET(gtk_toolbar_get_nth_item(toolbar, pos))); };
  int separator = 0;
  while (!tb->GetToolByPos(separator)->IsSeparator()) ++separator;
  const auto emptyPart = [&] {
    const wxRect laidOut = ScreenRectOf(GTK_WIDGET(toolbar));
    return laidOut.width - (toolAt(static_cast<int>(tb->GetToolsCount()) - 1).GetRight() - laidOut.x);
  };
  // On a busy machine the toolbar gets its width a moment after the frame its place.
  WaitFor([&] { return emptyPart() > 40; });
  const wxRect bar = ScreenRectOf(GTK_WIDGET(toolbar));
  const wxRect menuBar = ScreenRectOf(Frame()->GetMenuBar()->GetHandle());
  ASSERT_GT(bar.width, toolAt(static_cast<int>(tb->GetToolsCount()) - 1).GetRight() - bar.x + 40) << "no empty part";

  // The bars' menu, seen as it opens and then closed with Escape.
  struct BarsMenuWatch : wxEventFilter {
    std::vector<wxString> shown;
    BarsMenuWatch() { wxEvtHandler::AddFilter(this); }
    ~BarsMenuWatch() override { wxEvtHandler::RemoveFilter(this); }
    int FilterEvent(wxEvent& event) override {
      if (event.GetEventType() != wxEVT_MENU_OPEN) return Event_Skip;
      wxMenu* menu = static_cast<wxMenuEvent&>(event).GetMenu();
      if (!menu || !menu->FindItem(WxId(ID_CUSTOMIZE))) return Event_Skip;
      for (wxMenuItem* item : menu->GetMenuItems()) shown.push_back(item->GetItemLabelText());
      wxTheApp->CallAfter([] { wxUIActionSimulator().Char(WXK_ESCAPE); });
      return Event_Skip;
    }
  } watch;
  std::vector<wxString>& shown = watch.shown;
  wxUIActionSimulator sim;
  const auto rightClick = [&](const wxPoint& at) {
    shown.clear();
    sim.MouseMove(at);
    sim.MouseClick(wxMOUSE_BTN_RIGHT);
    return WaitFor([&] { return !shown.empty(); });
  };
  const std::vector<wxString> barsMenu = {"Standard", "", "Customize..."};
  const struct {
    const char* where;
    wxPoint at;
  } places[] = {
      {"an enabled button", toolAt(tb->GetToolPos(WxId(ID_FILE_NEW))).GetPosition() + wxPoint(8, 8)},
      {"a disabled button", toolAt(tb->GetToolPos(WxId(ID_FILE_PRINT))).GetPosition() + wxPoint(8, 8)},
      {"a separator", toolAt(separator).GetPosition() + wxPoint(toolAt(separator).width / 2, 8)},
      {"the empty part of the toolbar", wxPoint(bar.GetRight() - 20, bar.y + bar.height / 2)},
      {"a menu title", wxPoint(menuBar.x + 12, menuBar.y + menuBar.height / 2)},
      {"the empty part of the menu bar", wxPoint(menuBar.GetRight() - 20, menuBar.y + menuBar.height / 2)},
  };
  for (const auto& p : places) {
    SCOPED_TRACE(p.where);
    EXPECT_TRUE(rightClick(p.at));
    EXPECT_EQ(barsMenu, shown);
  }

  // With the toolbar hidden, the menu bar still leads to Customize.
  Command(ID_VIEW_TOOLBAR);
  ASSERT_FALSE(tb->IsShown());
  Pump();
  const wxRect menuBarNow = ScreenRectOf(Frame()->GetMenuBar()->GetHandle());
  EXPECT_TRUE(rightClick(wxPoint(menuBarNow.GetRight() - 20, menuBarNow.y + menuBarNow.height / 2)));
  EXPECT_EQ(barsMenu, shown);

  // And so does the document menu bar, which a document window brings.
  Command(ID_FILE_NEW);
  const wxRect documentBar = ScreenRectOf(Frame()->GetMenuBar()->GetHandle());
  EXPECT_TRUE(rightClick(wxPoint(documentBar.GetRight() - 20, documentBar.y + documentBar.height / 2)));
  EXPECT_EQ(barsMenu, shown);
}

TEST_F(AppGui, TheAboutBoxShowsTheVersionBlock) {
  ASSERT_TRUE(Start());
  std::map<int, wxString> shown;
  dialogs.onModal = [&](wxDialog& dlg) {
    for (int id : {IDC_APP_DESCRIPTION, IDC_FILE_VERSION, IDC_PRODUCT_VERSION, IDC_DATE, IDC_COPYRIGHT, IDC_LEGAL})
      shown[id] = static_cast<CAboutDlg&>(dlg).GetLineText(id);
    return wxID_OK;
  };
  Command(ID_APP_ABOUT);
  EXPECT_EQ((std::vector<wxString>{"About TessaryAuthor"}), dialogs.modalTitles);
  EXPECT_EQ("Software and Calibration Update Utility Author", shown[IDC_APP_DESCRIPTION]);
  EXPECT_EQ("8.13.7.120", shown[IDC_FILE_VERSION]);
  EXPECT_EQ("2010aBETA5", shown[IDC_PRODUCT_VERSION]);
  EXPECT_EQ("Brevanta Controller Upgrade Author", shown[IDC_DATE]);
  EXPECT_EQ("Copyright (C) 2010 Brevanta", shown[IDC_COPYRIGHT]);
  EXPECT_EQ("Legal ???", shown[IDC_LEGAL]);

  // A program without a block keeps the template's texts; one key missing leaves its line.
  CAboutDlg none(Frame(), nullptr);
  EXPECT_EQ("Application ???", none.GetLineText(IDC_APP_DESCRIPTION));
  EXPECT_EQ("Copyright ???", none.GetLineText(IDC_COPYRIGHT));
  struct OnlyCompany : IVersionBlock {
    bool QueryValue(const std::string& path, const char** value, unsigned* length) const override {
      if (path != "\\StringFileInfo\\040904B0\\CompanyName") return false;
      *value = "Brevanta";
      *length = 9;
      return true;
    }
  } onlyCompany;
  CAboutDlg partial(Frame(), &onlyCompany);
  EXPECT_EQ("Brevanta", partial.GetLineText(IDC_COPYRIGHT));
  EXPECT_EQ("Version ???", partial.GetLineText(IDC_FILE_VERSION));
}

TEST_F(AppGui, CustomizeChangesReachTheProfileAtTheNextClose) {
  ASSERT_TRUE(Start());
  std::vector<wxString> pages;
  dialogs.onModal = [&](wxDialog& dlg) {
    auto& sheet = static_cast<CCustomizeDlg&>(dlg);
    for (size_t i = 0; i < sheet.GetBook()->GetPageCount(); ++i) pages.push_back(sheet.GetBook()->GetPageText(i));
    sheet.AddToToolbar(ID_FILE_CLOSE, 0);
    sheet.AssignKey(ID_FILE_CLOSE, "Ctrl+W");
    sheet.AssignKey(ID_FILE_SAVE_AS, "Ctrl+N");  // taken away from New
    return wxID_CANCEL;
  };
  Command(ID_CUSTOMIZE);
  EXPECT_EQ((std::vector<wxString>{"Commands", "Options", "Keyboard"}), pages);
  EXPECT_EQ(WxId(ID_FILE_CLOSE), Frame()->GetToolBar()->GetToolByPos(0)->GetId());
  EXPECT_EQ("&New", Frame()->GetMenuBar()->FindItem(WxId(ID_FILE_NEW))->GetItemLabel());
  EXPECT_EQ("", ProfileValue("/CommandBars/StandardButtons")) << "stored only at the next close";

  ASSERT_TRUE(Stop());
  EXPECT_TRUE(ProfileValue("/CommandBars/StandardButtons").StartsWith("57602,57600,"));
  ASSERT_TRUE(Start());
  EXPECT_EQ(WxId(ID_FILE_CLOSE), Frame()->GetToolBar()->GetToolByPos(0)->GetId());
  EXPECT_EQ((std::vector<std::string>{"Ctrl+W"}), Frame()->GetCommandBarsState().KeysFor(ID_FILE_CLOSE));
  EXPECT_EQ((std::vector<std::string>{"Ctrl+N"}), Frame()->GetCommandBarsState().KeysFor(ID_FILE_SAVE_AS));
  EXPECT_TRUE(Frame()->GetCommandBarsState().KeysFor(ID_FILE_NEW).empty());
}

TEST_F(AppGui, CustomizeCategoriesFollowTheDocumentMenu) {
  const std::vector<wxString> cats = CCustomizeDlg::CommandCategories();
  EXPECT_EQ(
      (std::vector<wxString>{"File", "Edit", "View", "Window", "Help", "All Commands", "Built-in Menus", "New Menu"}),
      cats);
  EXPECT_EQ((std::vector<int>{ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}),
            CCustomizeDlg::CategoryEntries(1));
  EXPECT_EQ(5u, CCustomizeDlg::CategoryEntries(6).size());
  EXPECT_TRUE(CCustomizeDlg::CategoryEntries(7).empty());
  const std::vector<int> all = CCustomizeDlg::CategoryEntries(5);
  EXPECT_NE(all.end(), std::find(all.begin(), all.end(), ID_FILE_PRINT));
  EXPECT_EQ(all.end(), std::find(all.begin(), all.end(), ID_FILE_MRU_FILE1));
}

// Every list box of a window and its children.
void FindListBoxes(wxWindow* w, std::vector<wxListBox*>& found) {
  if (auto* l = dynamic_cast<wxListBox*>(w)) found.push_back(l);
  for (wxWindow* child : w->GetChildren()) FindListBoxes(child, found);
}

TEST_F(AppGui, EveryCommandShowsByNameInTheCustomizeLists) {
  ASSERT_TRUE(Start());
  std::vector<wxString> empty;
  bool printInCommands = false, printOnToolbar = false;
  dialogs.onModal = [&](wxDialog& dlg) {
    std::vector<wxListBox*> lists;
    FindListBoxes(&dlg, lists);
    const auto scan = [&](const wxString& category) {
      for (wxListBox* l : lists)
        for (unsigned i = 0; i < l->GetCount(); ++i)
          if (l->GetString(i).Trim().Trim(false).empty()) empty.push_back(category);
    };
    wxListBox* categories = lists.at(0);
    for (unsigned c = 0; c < categories->GetCount(); ++c) {
      categories->SetSelection(static_cast<int>(c));
      wxCommandEvent e(wxEVT_LISTBOX, categories->GetId());
      e.SetEventObject(categories);
      e.SetInt(static_cast<int>(c));
      categories->ProcessWindowEvent(e);
      scan(categories->GetString(c));
      if (categories->GetString(c) == "All Commands") printInCommands = lists.at(1)->FindString("Print") != wxNOT_FOUND;
    }
    printOnToolbar = lists.at(2)->FindString("Print") != wxNOT_FOUND;
    return wxID_CANCEL;
  };
  Command(ID_CUSTOMIZE);
  EXPECT_TRUE(empty.empty()) << "an empty row in " << (empty.empty() ? wxString() : empty.front());
  EXPECT_TRUE(printInCommands);
  EXPECT_TRUE(printOnToolbar);
}

TEST_F(AppGui, ThePictureControlShowsImagesAndOtherwiseItsText) {
  ASSERT_TRUE(Start());
  CPictureStatic picture(Frame(), wxID_ANY);
  EXPECT_EQ("No Image Loaded", picture.GetLabel());
  EXPECT_EQ(0, picture.LoadPictureData(nullptr, 0));
  EXPECT_FALSE(picture.HasPicture());

  wxImage source(7, 5);
  source.SetRGB(2, 3, 200, 10, 20);
  std::vector<std::pair<std::vector<unsigned char>, wxSize>> files;
  for (wxBitmapType type : {wxBITMAP_TYPE_BMP, wxBITMAP_TYPE_JPEG}) {
    wxMemoryOutputStream out;
    ASSERT_TRUE(source.SaveFile(out, type));
    std::vector<unsigned char> bytes(out.GetSize());
    out.CopyTo(bytes.data(), bytes.size());
    files.push_back({bytes, wxSize(7, 5)});
  }
  // The smallest GIF: one transparent pixel.
  const unsigned char gif[] =
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04\x01\x00\x00\x00\x00,"
      "\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;";
  files.push_back({std::vector<unsigned char>(gif, gif + sizeof gif - 1), wxSize(1, 1)});
  for (const auto& [bytes, size] : files) {
    SCOPED_TRACE(bytes.size());
    EXPECT_EQ(1, picture.LoadPictureData(bytes.data(), static_cast<int>(bytes.size())));
    EXPECT_EQ(size, picture.GetPicture().GetSize());
    // Half a file, or bytes that are no picture, show the text again.
    EXPECT_EQ(0, picture.LoadPictureData(bytes.data(), static_cast<int>(bytes.size() / 3)));
    EXPECT_FALSE(picture.HasPicture());
  }
  const unsigned char junk[] = "not a picture at all";
  EXPECT_EQ(0, picture.LoadPictureData(junk, sizeof junk));
  picture.Update();
}

namespace {

// The program in a process of its own, started as a user starts it, with its stderr in a file.
class ProgramProcess {
 public:
  ProgramProcess(const std::string& stderrFile, const std::vector<std::string>& args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argv = {TESSARY_AUTHOR_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);
    if (posix_spawn(&m_pid, argp[0], &actions, nullptr, argp.data(), environ) != 0) m_pid = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~ProgramProcess() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  ProgramProcess(const ProgramProcess&) = delete;
  ProgramProcess& operator=(const ProgramProcess&) = delete;

  pid_t pid() const { return m_pid; }

  // True when the process ended by itself with status 0 within ten seconds.
  bool WaitForExit() {
    for (int i = 0; i < 200 && m_pid > 0; ++i) {
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = 0;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      }
      wxMilliSleep(50);
    }
    return false;
  }

 private:
  pid_t m_pid = 0;
};

// Polls done() for up to ten seconds, for another process and the window manager.
bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 200; ++i) {
    if (done()) return true;
    wxMilliSleep(50);
  }
  return done();
}

}  // namespace

// The first window of a process is shown late by the toolkit (once the window manager has told
// the size of its frame); so the placement is tested on the program as a user starts it.
TEST_F(AppGui, TheProgramStartsCentredThenWhereItWasLeftAndPrintsNothing) {
  XClient x;
  ASSERT_NE(nullptr, x.display());
  const auto frameOf = [&](Window w) {
    const std::optional<XWindowGeometry> g = x.Geometry(w);
    return g ? g->frame : wxRect();
  };
  {
    ProgramProcess program(Path("first.err"), {});
    ASSERT_GT(program.pid(), 0);
    Window w = 0;
    ASSERT_TRUE(Eventually([&] { return (w = x.FindWindowOf(program.pid())) != 0; }));
    const wxRect centred(160, 128, 960, 768);
    EXPECT_TRUE(Eventually([&] { return frameOf(w) == centred; })) << Describe(frameOf(w));
    x.RequestClose(w);
    EXPECT_TRUE(program.WaitForExit());
  }
  // A window left where it opened stored nothing: the folder may not be there yet.
  const std::filesystem::path profileFile = CTessaryAuthorApp::ProfilePath().ToStdString();
  EXPECT_FALSE(std::filesystem::exists(profileFile));
  std::filesystem::create_directories(profileFile.parent_path());
  {
    wxFileConfig profile(wxString(), wxString(), CTessaryAuthorApp::ProfilePath(), wxString(), wxCONFIG_USE_LOCAL_FILE);
    profile.Write("/WindowPlacement/Left", 100);
    profile.Write("/WindowPlacement/Top", 120);
    profile.Write("/WindowPlacement/Width", 700);
    profile.Write("/WindowPlacement/Height", 500);
    profile.Write("/WindowPlacement/ShowCmd", int{SW_SHOWMAXIMIZED});
  }
  {
    ProgramProcess program(Path("second.err"), {WriteDocument("left.rvq", "CAL-LEFT")});
    ASSERT_GT(program.pid(), 0);
    Window w = 0;
    ASSERT_TRUE(Eventually([&] { return (w = x.FindWindowOf(program.pid())) != 0; }));
    EXPECT_TRUE(Eventually([&] { return x.IsMaximized(w) && frameOf(w).width > 1000; })) << Describe(frameOf(w));
    // Restored as the title bar's button does it: the saved normal place and size come back.
    x.RequestMaximized(w, false);
    const wxRect normal(100, 120, 700, 500);
    EXPECT_TRUE(Eventually([&] { return !x.IsMaximized(w) && frameOf(w) == normal; })) << Describe(frameOf(w));
    x.RequestClose(w);
    EXPECT_TRUE(program.WaitForExit());
  }
  EXPECT_EQ("1", ProfileValue("/WindowPlacement/ShowCmd"));
  EXPECT_EQ("100 120 700 500", ProfileValue("/WindowPlacement/Left") + " " + ProfileValue("/WindowPlacement/Top") +
                                   " " + ProfileValue("/WindowPlacement/Width") + " " +
                                   ProfileValue("/WindowPlacement/Height"));
  EXPECT_EQ("", ReadFile(Path("first.err")));
  EXPECT_EQ("", ReadFile(Path("second.err")));
}

namespace {

// The windows of process pid that the window manager lists: its main window, and a message box
// or any other top-level window it shows.
int ClientWindowsOf(Display* display, pid_t pid) {
  XSync(display, False);
  const Atom clients = XInternAtom(display, "_NET_CLIENT_LIST", False);
  const Atom wmPid = XInternAtom(display, "_NET_WM_PID", False);
  Atom type;
  int format;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  int found = 0;
  if (XGetWindowProperty(display, DefaultRootWindow(display), clients, 0, 1024, False, XA_WINDOW, &type, &format,
                         &count, &after, &data) == Success &&
      data && format == 32)
    for (unsigned long i = 0; i < count; ++i) {
      unsigned char* p = nullptr;
      unsigned long n = 0;
      const Window w = reinterpret_cast<Window*>(data)[i];
      if (XGetWindowProperty(display, w, wmPid, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &p) == Success &&
          p && n == 1 && *reinterpret_cast<long*>(p) == pid)
        ++found;
      if (p) XFree(p);
    }
  if (data) XFree(data);
  return found;
}

}  // namespace

// A profile that cannot be written, because its folder cannot be made or may not be changed:
// the program starts, works and ends as always, with no message, nothing printed and no wait; a
// profile that is there is still read.
TEST_F(AppGui, AProfileThatCannotBeWrittenStopsNothingAndSaysNothing) {
  XClient x;
  ASSERT_NE(nullptr, x.display());
  const std::string document = WriteDocument("doc.rvq", "CAL");  // a recent file to store
  const auto run = [&](const std::string& label, const std::function<bool(Window)>& shown) {
    ProgramProcess program(Path(label + ".err"), {document});
    ASSERT_GT(program.pid(), 0);
    Window w = 0;
    ASSERT_TRUE(Eventually([&] { return (w = x.FindWindowOf(program.pid())) != 0; }));
    EXPECT_TRUE(Eventually([&] { return shown(w); }));
    EXPECT_EQ(1, ClientWindowsOf(x.display(), program.pid()));
    x.RequestClose(w);
    EXPECT_TRUE(program.WaitForExit());
    EXPECT_EQ("", ReadFile(Path(label + ".err")));
  };
  const auto frameOf = [&](Window w) {
    const std::optional<XWindowGeometry> g = x.Geometry(w);
    return g ? g->frame : wxRect();
  };

  // Below a regular file no folder can be made.
  std::ofstream(Path("file")) << "a regular file";
  setenv("XDG_CONFIG_HOME", Path("file/config").c_str(), 1);
  run("below-a-file", [&](Window w) { return frameOf(w) == wxRect(160, 128, 960, 768); });
  EXPECT_EQ("a regular file", ReadFile(Path("file")));

  // A profile in a folder that may not be changed: read, never written.
  setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
  const std::string profilePath = CTessaryAuthorApp::ProfilePath().ToStdString();
  CProfile profile(profilePath);
  ASSERT_TRUE(profile.Edit([](ProfileContents& c) {
    WriteWindowPlacement(c, {{100, 120, 700, 500}, SW_SHOWMAXIMIZED});
    WriteRecentFiles(c, {"/elsewhere/kept.rvq"}, 4);
    return true;
  }));
  const std::string before = ReadFile(profilePath);
  const std::filesystem::path folder = std::filesystem::path(profilePath).parent_path();
  struct Writable {
    std::vector<std::filesystem::path> paths;
    ~Writable() {
      for (const auto& p : paths) MakeWritable(p);
    }
  } writable{{profilePath, folder}};
  if (!MakeUnwritable(profilePath) || !MakeUnwritable(folder))
    GTEST_SKIP() << "this file system has no unwritable folder for this user";
  run("unwritable", [&](Window w) { return x.IsMaximized(w); });
  EXPECT_EQ(before, ReadFile(profilePath));
}

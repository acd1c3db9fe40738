// The update form in real document windows: the upgrade's and the image's Browse, the actions,
// the comments, the edit commands, the layout, and several windows on one document.
#include <wx/button.h>
#include <wx/clipbrd.h>
#include <wx/mstream.h>
#include <wx/statbox.h>
#include <wx/stattext.h>

#include <gtk/gtk.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/picture_static.h"
#include "form_fixture.h"
#include "res/app_ids.h"
#include "support/codec_text.h"
#include "support/damaged_programs.h"
#include "support/temp_folder.h"
#include "tests/app/x_window.h"
#include "view/target_list_ctrl.h"

namespace {

const std::string kPlain = TESSARY_SAMPLES_DIR "/sample-plain.sr";
const std::string kProtected = TESSARY_SAMPLES_DIR "/sample-protected.srz";

// A small picture file of the given kind.
std::string PictureBytes(wxBitmapType type) {
  if (type == wxBITMAP_TYPE_GIF) {
    // One pixel; the toolkit writes GIF only from paletted images.
    static const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0, 0, 0,  0,
                                        0,   ',', 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 'D',  1, 0, ';'};
    return std::string(reinterpret_cast<const char*>(gif), sizeof gif);
  }
  wxImage image(8, 6);
  image.SetRGB(wxRect(0, 0, 8, 6), 200, 40, 40);
  wxMemoryOutputStream out;
  EXPECT_TRUE(image.SaveFile(out, type));
  std::string bytes(out.GetSize(), '\0');
  out.CopyTo(bytes.data(), bytes.size());
  return bytes;
}

std::string ImageOf(const CTessaryAuthorDoc& doc) {
  return doc.m_pImageData ? std::string(reinterpret_cast<const char*>(doc.m_pImageData.get()), doc.m_nImageSize)
                          : std::string("<none>");
}

// ---------------------------------------------------------------- the software upgrade

TEST_F(FormGui, BrowseTakesTheUpgradeFromAPlainOrProtectedFile) {
  const struct {
    std::string path;
    std::string calibrationID, softwareID;
    bool storedAsRead;  // a protected file is kept as it is; a plain one in its protected form
  } cases[] = {
      {kPlain, "TS100-CAL-0017A1", "TS100-SW-0A1", false},
      {kProtected, "TS200-CAL-0017B2", "TS200-SW-0B2", true},
  };
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    doc->Modify(false);
    Browse(view, IDC_BROWSE_PROGRAM, c.path);
    const std::string text = ReadFile(c.path);
    EXPECT_EQ(c.calibrationID, doc->m_strCalibrationID);
    EXPECT_EQ(c.softwareID, doc->m_strSoftwareID);
    EXPECT_EQ(text.size(), doc->m_dwSize);
    if (c.storedAsRead)
      EXPECT_EQ(text, doc->m_strProgramData);
    else
      EXPECT_EQ(text, UnprotectText(doc->m_strProgramData));
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(c.calibrationID, Text(view, IDC_CALIBRATION_ID));
    EXPECT_EQ(c.softwareID, Text(view, IDC_SOFTWARE_ID));
    EXPECT_EQ(std::to_string(text.size()), Text(view, IDC_SIZE));
  }
  const FileDialogRequest& r = dialogs.requests.back();
  EXPECT_FALSE(r.save);
  EXPECT_FALSE(r.multiple);
  EXPECT_EQ("Programming Files (*.srz;*.sr)|*.srz;*.sr|All Files (*.*)|*.*||", r.filter);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormGui, ABrowseThatEndsEarlyChangesNothing) {
  const std::string junk = Path("junk.sr");
  std::ofstream(junk) << "not a programming file\n";
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  Browse(view, IDC_BROWSE_PROGRAM, kPlain);
  doc->Modify(false);
  const std::string program = doc->m_strProgramData;

  const struct {
    const char* name;
    std::optional<wxString> answer;
    size_t boxes;
  } cases[] = {
      {"cancelled", std::nullopt, 0},
      {"not a programming file: asked about, taken, and then without IDs", wxString(junk), 1},
      {"gone after the dialog", wxString(Path("gone.sr")), 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui.boxes.clear();
    dialogs.files.push_back(c.answer);
    Click(view, IDC_BROWSE_PROGRAM);
    EXPECT_EQ(c.boxes, ui.boxes.size());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ("TS100-CAL-0017A1", doc->m_strCalibrationID);
    EXPECT_EQ(program, doc->m_strProgramData);
    EXPECT_EQ("TS100-CAL-0017A1", Text(view, IDC_CALIBRATION_ID));
  }
}

TEST_F(FormGui, ADamagedProgrammingFileIsTakenOnlyWhenTheUserSaysYes) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  Browse(view, IDC_BROWSE_PROGRAM, kProtected);
  for (const DamagedProgram& d : DamagedSamples(kPlain)) {
    SCOPED_TRACE(d.name);
    const std::string path = Path("copy.sr");
    std::ofstream(path, std::ios::binary) << d.text;
    doc->Modify(false);
    const std::string before = doc->m_strProgramData;
    ui.boxes.clear();
    ui.Answer({IDNO});
    Browse(view, IDC_BROWSE_PROGRAM, path);
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_EQ(path + "\nis not a sound programming file:\n" + d.parseText + "\n\nTake it anyway?", ui.boxes[0].text);
    EXPECT_EQ(unsigned{MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2}, ui.boxes[0].style);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(before, doc->m_strProgramData);
    EXPECT_EQ("TS200-CAL-0017B2", doc->m_strCalibrationID);
    EXPECT_EQ("TS200-CAL-0017B2", Text(view, IDC_CALIBRATION_ID));
    EXPECT_EQ(std::to_string(ReadFile(kProtected).size()), Text(view, IDC_SIZE));

    ui.Answer({IDYES});
    Browse(view, IDC_BROWSE_PROGRAM, path);
    EXPECT_EQ(2u, ui.boxes.size());
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(d.text, UnprotectText(doc->m_strProgramData));
    EXPECT_EQ("TS100-CAL-0017A1", Text(view, IDC_CALIBRATION_ID));
    EXPECT_EQ(std::to_string(d.text.size()), Text(view, IDC_SIZE));
    Browse(view, IDC_BROWSE_PROGRAM, kProtected);
  }
  EXPECT_EQ(0, ui.waitDepth);
}

TEST_F(FormGui, OnlyRegularFilesAreTakenAsProgrammingFileOrImage) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  Browse(view, IDC_BROWSE_PROGRAM, kPlain);
  const std::string picture = PictureBytes(wxBITMAP_TYPE_BMP);
  std::ofstream(Path("p.bmp"), std::ios::binary) << picture;
  Browse(view, IDC_BROWSE_IMAGE, Path("p.bmp"));
  doc->Modify(false);
  ASSERT_EQ(0, ::mkfifo(Path("pipe").c_str(), 0600));
  std::filesystem::create_directory(Path("folder"));
  const struct {
    std::string path;
    const char* kind;
  } cases[] = {{Path("pipe"), "a named pipe"}, {Path("folder"), "a folder"}, {"/dev/zero", "a device"}};
  for (const auto& c : cases) {
    for (int button : {IDC_BROWSE_PROGRAM, IDC_BROWSE_IMAGE}) {
      SCOPED_TRACE(c.path + (button == IDC_BROWSE_IMAGE ? " as image" : " as programming file"));
      ui.boxes.clear();
      Browse(view, button, c.path);
      ASSERT_EQ(1u, ui.boxes.size());
      EXPECT_EQ(c.path + "\ncannot be read: it is " + c.kind + ", not a file.", ui.boxes[0].text);
      EXPECT_FALSE(doc->IsModified());
      EXPECT_EQ("TS100-CAL-0017A1", doc->m_strCalibrationID);
      EXPECT_EQ(picture, ImageOf(*doc));
    }
  }
  EXPECT_EQ(0, ui.waitDepth);
}

TEST_F(FormGui, BrowseShowsTheWaitCursorWhileItWorks) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  std::ofstream(Path("p.gif"), std::ios::binary) << PictureBytes(wxBITMAP_TYPE_GIF);
  for (const auto& [button, path] :
       {std::pair<int, std::string>{IDC_BROWSE_PROGRAM, kPlain}, {IDC_BROWSE_IMAGE, Path("p.gif")}}) {
    SCOPED_TRACE(path);
    ui.waitCount = 0;
    Browse(view, button, path);
    EXPECT_EQ(1, ui.waitCount);
    EXPECT_EQ(0, ui.waitDepth);
  }
}

TEST_F(FormGui, BrowseSaysWhichDatabaseCannotBeUsed) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  const std::string missing = Path("kein-Verzeichnis/controllers.tdb");
  ScopedTdbPath scope(missing);
  Browse(view, IDC_BROWSE_PROGRAM, kPlain);
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(missing + "\ncannot be used as the controller database: there is no such file.", ui.boxes[0].text);
  EXPECT_FALSE(view->GetDocument()->IsModified());
  EXPECT_EQ("", Text(view, IDC_CALIBRATION_ID));
}

// ---------------------------------------------------------------- the image

TEST_F(FormGui, BrowseForTheImageStoresTheFileWhole) {
  const struct {
    const char* name;
    std::string bytes;
    bool picture;
  } cases[] = {
      {"a.bmp", PictureBytes(wxBITMAP_TYPE_BMP), true},
      {"b.jpg", PictureBytes(wxBITMAP_TYPE_JPEG), true},
      {"c.gif", PictureBytes(wxBITMAP_TYPE_GIF), true},
      {"empty.bmp", "", false},
      {"notes.txt", "not a picture", false},
  };
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  EXPECT_FALSE(view->GetPicture()->HasPicture());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name);
    std::ofstream(path, std::ios::binary) << c.bytes;
    doc->Modify(false);
    Browse(view, IDC_BROWSE_IMAGE, path);
    EXPECT_EQ(c.bytes, ImageOf(*doc));  // also the second and later images, and the empty one
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(c.picture, view->GetPicture()->HasPicture());
  }
  EXPECT_EQ(
      "Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF Files (*.gif)|*.gif|All Files (*.*)|*.*||",
      dialogs.requests.back().filter);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormGui, AnImageThatCannotBeReadIsReportedAndTheOldOneKept) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  const std::string first = PictureBytes(wxBITMAP_TYPE_BMP);
  std::ofstream(Path("first.bmp"), std::ios::binary) << first;
  Browse(view, IDC_BROWSE_IMAGE, Path("first.bmp"));
  doc->Modify(false);
  std::filesystem::create_directory(Path("folder.bmp"));
  for (const std::string& path : {Path("missing.bmp"), Path("folder.bmp")}) {
    SCOPED_TRACE(path);
    ui.boxes.clear();
    Browse(view, IDC_BROWSE_IMAGE, path);
    ASSERT_EQ(1u, ui.boxes.size());
    EXPECT_NE(std::string::npos, ui.boxes[0].text.find(path)) << ui.boxes[0].text;
    EXPECT_EQ(first, ImageOf(*doc));
    EXPECT_FALSE(doc->IsModified());
  }
}

// ---------------------------------------------------------------- actions, comments, edit commands

TEST_F(FormGui, EveryEditIsWrittenThroughAndMarksTheDocument) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  EXPECT_FALSE(doc->IsModified());  // putting the new document on the form is no edit

  const struct {
    int id;
    bool CTessaryAuthorDoc::*member;
  } actions[] = {
      {IDC_CLEAR_RUNTIME, &CTessaryAuthorDoc::m_bClearRuntime},
      {IDC_CLEAR_FAULT_HISTORY, &CTessaryAuthorDoc::m_bClearFaultHistory},
      {IDC_RESET_BREAKIN, &CTessaryAuthorDoc::m_bResetBreakin},
  };
  for (const auto& a : actions) {
    SCOPED_TRACE(a.id);
    doc->Modify(false);
    Click(view, a.id);
    EXPECT_TRUE(doc->*a.member);
    EXPECT_TRUE(doc->IsModified());
    Click(view, a.id);
    EXPECT_FALSE(doc->*a.member);
  }

  wxTextCtrl* comments = Control<wxTextCtrl>(view, IDC_COMMENTS);
  doc->Modify(false);
  comments->WriteText("first line\n");
  EXPECT_TRUE(doc->IsModified());
  comments->WriteText("second");
  EXPECT_EQ("first line\nsecond", doc->m_strComments);
}

TEST_F(FormGui, CutCopyAndPasteActOnTheCommentsWhereverTheFocusIs) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  wxTextCtrl* comments = Control<wxTextCtrl>(view, IDC_COMMENTS);
  comments->ChangeValue("moved text");
  comments->SetSelection(-1, -1);
  view->GetTargetList()->SetFocus();
  Pump();

  for (int id : {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}) {
    wxUpdateUIEvent update(WxId(id));
    Frame()->ProcessWindowEvent(update);
    EXPECT_TRUE(update.GetSetEnabled() && update.GetEnabled()) << id;
  }
  Command(ID_EDIT_CUT);
  EXPECT_EQ("", comments->GetValue());
  EXPECT_EQ("", doc->m_strComments);
  Command(ID_EDIT_PASTE);
  Command(ID_EDIT_PASTE);
  EXPECT_EQ("moved textmoved text", comments->GetValue());
  EXPECT_EQ("moved textmoved text", doc->m_strComments);
  EXPECT_TRUE(doc->IsModified());
}

// ---------------------------------------------------------------- layout

TEST_F(FormGui, TheFormFollowsTheWindowAsItGrows) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  wxScrolledWindow* form = view->GetForm();
  Frame()->SetSize(20, 20, 1250, 980);
  const wxSize base = form->ConvertDialogToPixels(wxSize(446, 270));
  ASSERT_TRUE(WaitFor([&] { return form->GetClientSize().x > base.x && form->GetClientSize().y > base.y; }));
  Pump();
  const int dx = form->GetClientSize().x - base.x, dy = form->GetClientSize().y - base.y;
  // Each control's place in the form (dialog units) and how much of the growth its corners take.
  const struct {
    int id;
    int x, y, w, h;
    double left, top, right, bottom;
  } cases[] = {
      {IDC_IMAGE_GROUP, 205, 7, 128, 110, 0, 0, 1, 0},   {IDC_PICTURE, 214, 19, 99, 69, 0, 0, 1, 0},
      {IDC_BROWSE_IMAGE, 263, 92, 50, 14, 1, 0, 1, 0},   {IDC_POST_UPGRADE_ACTIONS, 342, 7, 97, 110, 1, 0, 1, 0},
      {IDC_COMMENTS, 256, 131, 183, 132, 0, 0, 1, 1},    {IDC_TARGET_LIST, 7, 131, 239, 112, 0, 0, 0, 1},
      {IDC_ADD_TARGET, 7, 249, 50, 14, 0, 1, 0, 1},      {IDC_REMOVE_TARGET, 66, 249, 50, 14, 0, 1, 0, 1},
      {IDC_BROWSE_PROGRAM, 135, 82, 50, 14, 0, 0, 0, 0}, {IDC_CALIBRATION_ID, 66, 19, 120, 14, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    wxRect laid(form->ConvertDialogToPixels(wxPoint(c.x, c.y)), form->ConvertDialogToPixels(wxSize(c.w, c.h)));
    wxWindow* control = Control(view, c.id);
    // A control that needs more height than its place has it, centred there.
    if (const int more = control->GetBestSize().y - laid.height; more > 0) {
      laid.y -= more / 2;
      laid.height += more;
    }
    const wxRect now = control->GetRect();
    EXPECT_NEAR(laid.x + c.left * dx, now.x, 1);
    EXPECT_NEAR(laid.y + c.top * dy, now.y, 1);
    EXPECT_NEAR(laid.GetRight() + c.right * dx, now.GetRight(), 1);
    EXPECT_NEAR(laid.GetBottom() + c.bottom * dy, now.GetBottom(), 1);
  }
  // The check boxes move right with their group.
  const int group = Control(view, IDC_POST_UPGRADE_ACTIONS)->GetRect().x;
  for (int id : {IDC_CLEAR_RUNTIME, IDC_CLEAR_FAULT_HISTORY, IDC_RESET_BREAKIN})
    EXPECT_EQ(form->ConvertDialogToPixels(wxPoint(354 - 342, 0)).x, Control(view, id)->GetRect().x - group) << id;
}

TEST_F(FormGui, ATabSmallerThanTheFormScrolls) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  Frame()->SetSize(40, 40, 500, 400);
  Pump();
  const wxSize form = view->GetForm()->ConvertDialogToPixels(wxSize(446, 270));
  ASSERT_TRUE(WaitFor([&] { return view->GetForm()->GetClientSize().x < form.x; }));
  EXPECT_GE(view->GetForm()->GetVirtualSize().x, form.x);
  EXPECT_GE(view->GetForm()->GetVirtualSize().y, form.y);
  // Scrolled to its foot, the buttons under the list come into the tab.
  view->GetForm()->Scroll(0, 1000);
  Pump();
  const wxRect remove = Control(view, IDC_REMOVE_TARGET)->GetScreenRect();
  const wxRect tab = view->GetForm()->GetScreenRect();
  EXPECT_TRUE(tab.Contains(remove)) << remove.x << "," << remove.y << " in " << tab.x << "," << tab.y << " "
                                    << tab.width << "x" << tab.height;
  // The controls keep their places on the form while it scrolls.
  EXPECT_EQ(view->GetForm()->ConvertDialogToPixels(wxPoint(66, 0)).x, Control(view, IDC_REMOVE_TARGET)->GetRect().x);
}

// Below the form's size the tab shows scroll bars beside the form, not over it, also while the
// pointer is elsewhere; every control keeps room for all of its text.
TEST_F(FormGui, ANarrowTabShowsScrollBarsBesideTheFormAndWholeControls) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  wxScrolledWindow* form = view->GetForm();
  Frame()->SetSize(20, 20, 800, 600);
  const wxSize base = form->ConvertDialogToPixels(wxSize(446, 270));
  ASSERT_TRUE(WaitFor([&] { return form->GetClientSize().x < base.x && form->GetClientSize().y < base.y; }));
  Pump();
  auto* scrolled = GTK_SCROLLED_WINDOW(form->GetHandle());
  GtkWidget* const bars[] = {gtk_scrolled_window_get_hscrollbar(scrolled),
                             gtk_scrolled_window_get_vscrollbar(scrolled)};
  EXPECT_TRUE(WaitFor([&] { return gtk_widget_get_mapped(bars[0]) && gtk_widget_get_mapped(bars[1]); }));
  const wxRect shown = ScreenRectOf(gtk_bin_get_child(GTK_BIN(scrolled)));
  for (GtkWidget* bar : bars) {
    const wxRect r = ScreenRectOf(bar);
    EXPECT_GT(r.width * r.height, 0);
    EXPECT_FALSE(r.Intersects(shown)) << "a scroll bar over the form at " << r.x << "," << r.y;
  }
  for (wxWindow* w : view->GetForm()->GetChildren().front()->GetChildren()) {
    const bool labelled = dynamic_cast<wxButton*>(w) || dynamic_cast<wxCheckBox*>(w) || dynamic_cast<wxStaticText*>(w);
    if (labelled) {
      EXPECT_GE(w->GetSize().x, w->GetBestSize().x) << w->GetLabel();
    }
  }
}

// ---------------------------------------------------------------- the document

TEST_F(FormGui, SavedAndReopenedEveryFieldIsBackOnTheForm) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  Browse(view, IDC_BROWSE_PROGRAM, kProtected);
  const std::string picture = PictureBytes(wxBITMAP_TYPE_BMP);
  std::ofstream(Path("p.bmp"), std::ios::binary) << picture;
  Browse(view, IDC_BROWSE_IMAGE, Path("p.bmp"));
  Click(view, IDC_CLEAR_FAULT_HISTORY);
  Click(view, IDC_RESET_BREAKIN);
  Control<wxTextCtrl>(view, IDC_COMMENTS)->WriteText("for the field test");
  view->GetDocument()->AddTarget(nullptr, std::make_unique<CTargetObj>("CAL-T1", "SW-T1"));
  view->GetDocument()->AddTarget(nullptr, std::make_unique<CTargetObj>("CAL-T2", "SW-T2"));

  dialogs.files.push_back(wxString(Path("fields.rvq")));
  Command(ID_FILE_SAVE);
  ASSERT_FALSE(view->GetDocument()->IsModified());
  Command(ID_FILE_CLOSE);
  ASSERT_EQ(0u, Tabs());
  dialogs.files.push_back(wxString(Path("fields.rvq")));
  Command(ID_FILE_OPEN);
  view = CurrentView();
  ASSERT_NE(nullptr, view);
  EXPECT_FALSE(view->GetDocument()->IsModified());
  EXPECT_EQ("TS200-CAL-0017B2", Text(view, IDC_CALIBRATION_ID));
  EXPECT_EQ("TS200-SW-0B2", Text(view, IDC_SOFTWARE_ID));
  EXPECT_EQ(std::to_string(ReadFile(kProtected).size()), Text(view, IDC_SIZE));
  EXPECT_EQ("for the field test", Text(view, IDC_COMMENTS));
  EXPECT_FALSE(Checked(view, IDC_CLEAR_RUNTIME));
  EXPECT_TRUE(Checked(view, IDC_CLEAR_FAULT_HISTORY));
  EXPECT_TRUE(Checked(view, IDC_RESET_BREAKIN));
  EXPECT_TRUE(view->GetPicture()->HasPicture());
  EXPECT_EQ(picture, ImageOf(*view->GetDocument()));
  CTargetListCtrl* list = view->GetTargetList();
  ASSERT_EQ(2, list->GetItemCount());
  EXPECT_EQ("CAL-T1", list->GetItemText(0, 0));
  EXPECT_EQ("SW-T2", list->GetItemText(1, 1));
  EXPECT_EQ(ReadFile(kProtected), view->GetDocument()->m_strProgramData);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormGui, TwoWindowsOnOneDocumentStayInStep) {
  CTessaryAuthorView* first = StartWithNewDocument();
  ASSERT_NE(nullptr, first);
  CTessaryAuthorDoc* doc = first->GetDocument();
  Command(ID_WINDOW_NEW);
  CTessaryAuthorView* second = CurrentView();
  ASSERT_NE(nullptr, second);
  ASSERT_NE(first, second);
  ASSERT_EQ(doc, second->GetDocument());

  Control<wxTextCtrl>(first, IDC_COMMENTS)->WriteText("typed in the first");
  EXPECT_EQ("typed in the first", Text(second, IDC_COMMENTS));
  Control<wxTextCtrl>(second, IDC_COMMENTS)->AppendText(", and the second");
  EXPECT_EQ("typed in the first, and the second", Text(first, IDC_COMMENTS));
  EXPECT_EQ("typed in the first, and the second", doc->m_strComments);

  Click(second, IDC_CLEAR_RUNTIME);
  EXPECT_TRUE(Checked(first, IDC_CLEAR_RUNTIME));
  Browse(first, IDC_BROWSE_PROGRAM, kPlain);
  EXPECT_EQ("TS100-CAL-0017A1", Text(second, IDC_CALIBRATION_ID));
  std::ofstream(Path("p.gif"), std::ios::binary) << PictureBytes(wxBITMAP_TYPE_GIF);
  Browse(second, IDC_BROWSE_IMAGE, Path("p.gif"));
  EXPECT_TRUE(first->GetPicture()->HasPicture());

  // Closing one window leaves the document and its other window.
  second->GetFrame()->Close();
  Pump();
  EXPECT_EQ(1u, Tabs());
  EXPECT_EQ(doc, CurrentDoc());
  EXPECT_EQ("typed in the first, and the second", doc->m_strComments);
  EXPECT_TRUE(ui.boxes.empty());
}

// The toolkit matches patterns in their letters' case and "*.*" only against names with a dot;
// the names shown stay the system's.
TEST_F(FormGui, TheDialogsFiltersMatchEitherCaseAndAllFilesEveryName) {
  const struct {
    const char* system;
    const char* toolkit;
  } cases[] = {
      {"Programming Files (*.srz;*.sr)|*.srz;*.sr|All Files (*.*)|*.*||",
       "Programming Files (*.srz;*.sr)|*.[sS][rR][zZ];*.[sS][rR]|All Files (*.*)|*"},
      {"Bitmap Files (*.bmp)|*.bmp|JPEG Files (*.jpg;*.jpeg)|*.jpg;*.jpeg|GIF Files (*.gif)|*.gif|All Files "
       "(*.*)|*.*||",
       "Bitmap Files (*.bmp)|*.[bB][mM][pP]|JPEG Files (*.jpg;*.jpeg)|*.[jJ][pP][gG];*.[jJ][pP][eE][gG]|"
       "GIF Files (*.gif)|*.[gG][iI][fF]|All Files (*.*)|*"},
      {"Tessary Files (*.rvq)|*.rvq|All Files (*.*)|*||", "Tessary Files (*.rvq)|*.[rR][vV][qQ]|All Files (*.*)|*"},
      {"Sets (*.[ab]x)|*.[ab]x||", "Sets (*.[ab]x)|*.[ab]x"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.toolkit, ToWxFilter(c.system)) << c.system;
}

// Each Browse starts where its own dialog was last answered; a cancelled one moves nothing.
TEST_F(FormGui, EachBrowseStartsWhereItsOwnDialogWasLastAnswered) {
  std::filesystem::create_directories(Path("programs"));
  std::filesystem::create_directories(Path("pictures"));
  std::filesystem::copy_file(kPlain, Path("programs/p.sr"));
  std::ofstream(Path("pictures/i.bmp"), std::ios::binary) << PictureBytes(wxBITMAP_TYPE_BMP);
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  const auto startOfNext = [&](int button, std::optional<wxString> answer) {
    dialogs.files.push_back(answer);
    Click(view, button);
    return ToSystemPath(dialogs.requests.back().directory);
  };
  startOfNext(IDC_BROWSE_PROGRAM, wxString(Path("programs/p.sr")));
  startOfNext(IDC_BROWSE_IMAGE, wxString(Path("pictures/i.bmp")));
  EXPECT_EQ(Path("programs/"), startOfNext(IDC_BROWSE_PROGRAM, std::nullopt));
  EXPECT_EQ(Path("pictures/"), startOfNext(IDC_BROWSE_IMAGE, std::nullopt));
  EXPECT_EQ(Path("programs/"), startOfNext(IDC_BROWSE_PROGRAM, std::nullopt));
  // Also from another document's window, and when the file chosen could not be used.
  Command(ID_FILE_NEW);
  view = CurrentView();
  EXPECT_EQ(Path("pictures/"), startOfNext(IDC_BROWSE_IMAGE, wxString(Path("gone.bmp"))));
  EXPECT_EQ(Path(""), startOfNext(IDC_BROWSE_IMAGE, std::nullopt));
  EXPECT_EQ(Path("programs/"), startOfNext(IDC_BROWSE_PROGRAM, std::nullopt));
}

}  // namespace

namespace {

// "Copy To Clipboard" reaches the list from the main window, as the popup's command travels.
TEST_F(FormGui, TheListsCommandIsOfferedToTheListFirst) {
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  const auto enabled = [] {
    wxUpdateUIEvent update(WxId(ID_COPY_TO_CLIPBOARD));
    Frame()->ProcessWindowEvent(update);
    return update.GetSetEnabled() && update.GetEnabled();
  };
  EXPECT_FALSE(enabled());
  view->GetDocument()->AddTarget(nullptr, std::make_unique<CTargetObj>("CAL-1", "SW-1"));
  EXPECT_TRUE(enabled());
  Command(ID_COPY_TO_CLIPBOARD);
  wxTextDataObject data;
  {
    wxClipboardLocker locker;
    ASSERT_TRUE(!!locker);
    ASSERT_TRUE(wxTheClipboard->GetData(data));
  }
  EXPECT_EQ("CalibrationID\tSoftwareID\t\r\nCAL-1\tSW-1\t\r\n", data.GetText());
}

}  // namespace

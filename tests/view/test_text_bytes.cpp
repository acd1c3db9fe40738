// Texts and file names beyond ASCII in real document windows: what is shown, what goes back into
// the document, what is saved, and the names that the toolkit's own dialogs hand over.
#include <fcntl.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include <wx/clipbrd.h>
#include <wx/timer.h>

#include "app/main_frame.h"
#include "form_fixture.h"
#include "support/stderr_capture.h"
#include "support/temp_folder.h"
#include "view/target_list_ctrl.h"

namespace {

const std::string kPlain = TESSARY_SAMPLES_DIR "/sample-plain.sr";

wxString U(const char* utf8) { return wxString::FromUTF8(utf8); }

CUpdateDocumentData Load(const std::string& path) {
  CUpdateDocumentData d;
  std::string message;
  EXPECT_TRUE(rvq::LoadFile(path, d, message)) << message;
  return d;
}

// The texts of a document, as bytes.
struct Texts {
  std::string calibrationID, softwareID, comments;
  std::vector<std::pair<std::string, std::string>> targets;
  bool operator==(const Texts&) const = default;
};

Texts TextsOf(const CUpdateDocumentData& d) {
  Texts t{d.m_strCalibrationID, d.m_strSoftwareID, d.m_strComments, {}};
  for (const auto& target : d.m_targets) t.targets.emplace_back(target->m_strCalibrationID, target->m_strSoftwareID);
  return t;
}

void PrintTo(const Texts& t, std::ostream* out) {
  *out << "{" << ::testing::PrintToString(t.calibrationID) << ", " << ::testing::PrintToString(t.softwareID) << ", "
       << ::testing::PrintToString(t.comments) << ", " << ::testing::PrintToString(t.targets) << "}";
}

wxString ClipboardText() {
  wxTextDataObject data;
  wxClipboardLocker locker;
  if (!locker || !wxTheClipboard->GetData(data)) return "<nothing>";
  return data.GetText();
}

// Answers the toolkit's own file dialogs while a command runs: once one shows, choose() may pick
// a file in it; once it has one, seen() is told what it shows and the dialog is accepted. The
// chooser takes a file only once it has read its folder, so a choice that has not taken after a
// while is made again; a dialog that never gets a file is cancelled after a minute, so that the
// test fails instead of waiting for ever.
class RealDialogAnswer {
 public:
  using Step = std::function<void(GtkFileChooser*)>;
  explicit RealDialogAnswer(
      Step choose, Step seen = [](GtkFileChooser*) {})
      : m_choose(std::move(choose)), m_seen(std::move(seen)) {
    m_timer.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Tick(); });
    m_timer.Start(100);
  }
  ~RealDialogAnswer() { m_timer.Stop(); }
  int answered = 0;

 private:
  void Tick() {
    GList* windows = gtk_window_list_toplevels();
    bool shown = false;
    for (GList* w = windows; w; w = w->next) {
      if (!GTK_IS_FILE_CHOOSER_DIALOG(w->data) || !gtk_widget_get_visible(GTK_WIDGET(w->data))) continue;
      shown = true;
      if (m_answered == w->data) continue;  // closing
      GtkFileChooser* chooser = GTK_FILE_CHOOSER(w->data);
      if (m_chosen != w->data || m_ticks % kChooseAgain == kChooseAgain - 1) {
        if (m_chosen != w->data) m_ticks = 0;
        m_chosen = w->data;
        m_choose(chooser);
      }
      if (++m_ticks > kGiveUp) {
        m_answered = w->data;
        gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_CANCEL);
        continue;
      }
      gchar* file = gtk_file_chooser_get_filename(chooser);
      gchar* folder = gtk_file_chooser_get_current_folder(chooser);
      if (file && folder) {
        m_seen(chooser);
        ++answered;
        m_answered = w->data;
        gtk_dialog_response(GTK_DIALOG(w->data), GTK_RESPONSE_ACCEPT);
      }
      g_free(file);
      g_free(folder);
    }
    g_list_free(windows);
    if (!shown) m_chosen = m_answered = nullptr;
  }

  static constexpr int kChooseAgain = 20;  // ticks of 100 ms
  static constexpr int kGiveUp = 600;
  Step m_choose, m_seen;
  gpointer m_chosen = nullptr, m_answered = nullptr;
  int m_ticks = 0;
  wxTimer m_timer;
};

}  // namespace

// A document written elsewhere in an 8-bit code page.
TEST_F(FormGui, AnEightBitDocumentShowsItsCodePageAndKeepsItsBytesUntilATextIsEdited) {
  CUpdateDocumentData written;
  written.m_strCalibrationID =
      "CAL-Stra\xDF"
      "e \x80";
  written.m_strSoftwareID = "SW-\x93x\x94";
  written.m_strComments =
      "Kommentar \x93"
      "alt\x94 \xE4\x81";
  written.m_targets.push_back(std::make_unique<CTargetObj>("T-\x8A\xE9", "S-\x9F"));
  written.m_targets.push_back(std::make_unique<CTargetObj>("T-\xC3\xA9", "S-UTF-8"));
  const std::string path = Path("cp1252.rvq");
  std::string message;
  ASSERT_TRUE(rvq::SaveFile(path, written, message)) << message;
  const Texts bytes = TextsOf(written);

  ASSERT_TRUE(Start());
  dialogs.files.push_back(FromSystemPath(path));
  Command(ID_FILE_OPEN);
  CTessaryAuthorView* view = CurrentView();
  ASSERT_NE(nullptr, view);
  CTessaryAuthorDoc* doc = view->GetDocument();
  EXPECT_EQ(U("CAL-Stra\xC3\x9F"
              "e \xE2\x82\xAC"),
            Text(view, IDC_CALIBRATION_ID));
  EXPECT_EQ(U("SW-\xE2\x80\x9Cx\xE2\x80\x9D"), Text(view, IDC_SOFTWARE_ID));
  EXPECT_EQ(U("Kommentar \xE2\x80\x9C"
              "alt\xE2\x80\x9D \xC3\xA4\xC2\x81"),
            Text(view, IDC_COMMENTS));
  CTargetListCtrl* list = view->GetTargetList();
  ASSERT_EQ(2, list->GetItemCount());
  EXPECT_EQ(U("T-\xC5\xA0\xC3\xA9"), list->GetItemText(0, 0));
  EXPECT_EQ(U("S-\xC5\xB8"), list->GetItemText(0, 1));
  EXPECT_EQ(U("T-\xC3\xA9"), list->GetItemText(1, 0));
  // The list's copy carries the characters it shows.
  Command(ID_COPY_TO_CLIPBOARD);
  EXPECT_EQ(U("CalibrationID\tSoftwareID\t\r\nT-\xC5\xA0\xC3\xA9\tS-\xC5\xB8\t\r\nT-\xC3\xA9\tS-UTF-8\t\r\n"),
            ClipboardText());

  // Every road that reads the form back leaves the texts as they were: the actions, a second
  // window, the form read whole.
  Click(view, IDC_CLEAR_RUNTIME);
  Command(ID_WINDOW_NEW);
  CTessaryAuthorView* second = CurrentView();
  ASSERT_NE(view, second);
  Click(second, IDC_RESET_BREAKIN);
  for (CTessaryAuthorView* v : {view, second}) {
    v->UpdateData(true);
    EXPECT_EQ(written.m_strComments, v->m_strComments);
    EXPECT_EQ(written.m_strCalibrationID, v->m_strCalibrationID);
    EXPECT_EQ(written.m_strSoftwareID, v->m_strSoftwareID);
  }
  Command(ID_FILE_SAVE);
  ASSERT_FALSE(doc->IsModified());
  CUpdateDocumentData saved = Load(path);
  EXPECT_EQ(bytes, TextsOf(saved));
  EXPECT_TRUE(saved.m_bClearRuntime);
  EXPECT_TRUE(saved.m_bResetBreakin);

  // The comments edited become UTF-8 with the characters they show; the rest stays as it was.
  Control<wxTextCtrl>(second, IDC_COMMENTS)->AppendText(U(" \xE2\x9C\x93"));
  const std::string edited =
      "Kommentar \xE2\x80\x9C"
      "alt\xE2\x80\x9D \xC3\xA4\xC2\x81 \xE2\x9C\x93";
  EXPECT_EQ(edited, doc->m_strComments);
  EXPECT_EQ(U(edited.c_str()), Text(view, IDC_COMMENTS));
  Command(ID_FILE_SAVE);
  Texts expected = bytes;
  expected.comments = edited;
  EXPECT_EQ(expected, TextsOf(Load(path)));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(FormGui, TextTypedBeyondAsciiIsTheSameEverywhereAndSavedAsUtf8) {
  const wxString typed =
      U("Zweite Zeile \xC3\xA4\xC3\xB6\xC3\xBC \xE2\x82\xAC \xE2\x9C\x93 \xE2\x80\x9Cquoted\xE2\x80\x9D");
  const std::string utf8 = ToSystemText(typed);
  CTessaryAuthorView* view = StartWithNewDocument();
  ASSERT_NE(nullptr, view);
  Control<wxTextCtrl>(view, IDC_COMMENTS)->WriteText(typed);
  Browse(view, IDC_BROWSE_PROGRAM, kPlain);
  EXPECT_EQ(typed, Text(view, IDC_COMMENTS));
  Command(ID_WINDOW_NEW);
  EXPECT_EQ(typed, Text(CurrentView(), IDC_COMMENTS));
  EXPECT_EQ(utf8, view->GetDocument()->m_strComments);

  const std::string path = Path(
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC.rvq");
  dialogs.files.push_back(FromSystemPath(path));
  Command(ID_FILE_SAVE_AS);
  EXPECT_EQ(utf8, Load(path).m_strComments);
  Command(ID_FILE_CLOSE);
  dialogs.files.push_back(FromSystemPath(path));
  Command(ID_FILE_OPEN);
  view = CurrentView();
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(typed, Text(view, IDC_COMMENTS));
  EXPECT_EQ(U("TessaryAuthor - Gr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC.rvq"),
            Frame()->GetTitle());

  // Typed further and saved again: what was there stays as it was.
  Control<wxTextCtrl>(view, IDC_COMMENTS)->AppendText(U(" \xE2\x80\x93 mehr"));
  Command(ID_FILE_SAVE);
  EXPECT_EQ(utf8 + "\x20\xE2\x80\x93 mehr", Load(path).m_strComments);
  EXPECT_TRUE(ui.boxes.empty());
}

// The toolkit's own dialogs, with a folder and files whose names are not UTF-8 (written in an
// 8-bit code page): chosen, saved over and shown, they keep their bytes.
TEST_F(FormGui, NamesThatAreNotUtf8KeepTheirBytesThroughTheRealDialogs) {
  const std::string folder = Path("Ordner\xE4");
  std::filesystem::create_directory(folder);
  const std::string program = folder + "/Probe\xE9.sr";
  std::filesystem::copy_file(kPlain, program);
  const std::string document = folder + "/Liste\xE4\x93.rvq";
  {
    CUpdateDocumentData d;
    d.m_strComments = "kept";
    std::string message;
    ASSERT_TRUE(rvq::SaveFile(document, d, message)) << message;
  }
  // Where the toolkit keeps its recent files (it takes the folder from the first test's home).
  std::filesystem::create_directories(g_get_user_data_dir());
  StderrCapture err(Path("session.err"));
  ASSERT_TRUE(Start());
  SetDialogServices(nullptr);

  // Open and the upgrade's Browse: the file chosen is the file read.
  {
    RealDialogAnswer answer([&](GtkFileChooser* chooser) { gtk_file_chooser_set_filename(chooser, document.c_str()); });
    Command(ID_FILE_OPEN);
    EXPECT_EQ(1, answer.answered);
  }
  CTessaryAuthorView* view = CurrentView();
  ASSERT_NE(nullptr, view);
  EXPECT_EQ(document, ToSystemPath(view->GetDocument()->GetFilename()));
  EXPECT_EQ("kept", view->GetDocument()->m_strComments);
  // The name reads as its code page's characters.
  EXPECT_EQ(U("TessaryAuthor - Liste\xC3\xA4\xE2\x80\x9C.rvq"), Frame()->GetTitle());
  {
    RealDialogAnswer answer([&](GtkFileChooser* chooser) { gtk_file_chooser_set_filename(chooser, program.c_str()); });
    Click(view, IDC_BROWSE_PROGRAM);
    EXPECT_EQ(1, answer.answered);
  }
  EXPECT_EQ("TS100-CAL-0017A1", Text(view, IDC_CALIBRATION_ID));

  // Save As offers the document's own name as it reads, in its own folder; taken as offered, it
  // is the document's own file.
  std::string offeredFolder, offeredName;
  {
    RealDialogAnswer answer([](GtkFileChooser*) {},
                            [&](GtkFileChooser* chooser) {
                              gchar* current = gtk_file_chooser_get_current_folder(chooser);
                              offeredFolder = current ? current : "";
                              g_free(current);
                              gchar* name = gtk_file_chooser_get_current_name(chooser);
                              offeredName = name ? name : "";
                              g_free(name);
                            });
    Command(ID_FILE_SAVE_AS);
    EXPECT_EQ(1, answer.answered);
  }
  EXPECT_EQ(folder, offeredFolder);
  // Offered without its extension, which the chosen name gets back.
  EXPECT_EQ("Liste\xC3\xA4\xE2\x80\x9C", offeredName);
  EXPECT_FALSE(view->GetDocument()->IsModified());
  EXPECT_EQ(document, ToSystemPath(view->GetDocument()->GetFilename()));
  EXPECT_EQ("TS100-CAL-0017A1", Load(document).m_strCalibrationID);
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
  EXPECT_EQ(2u, files);  // the program and the document, nothing beside them
  EXPECT_EQ(U("TessaryAuthor - Liste\xC3\xA4\xE2\x80\x9C.rvq"), Frame()->GetTitle());
  // The one question is the program's own about replacing the file, which names its exact bytes.
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ(document + "\nalready exists.\nDo you want to replace it?", ui.boxes[0].text);
  EXPECT_EQ("", err.Stop());
}

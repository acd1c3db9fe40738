// The target list in a real frame: its text, its command state, the clipboard, file drops, the
// column widths in the profile and the popup menu through real X input.
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dnd.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include "common/command_ids.h"
#include "document/update_document_data.h"
#include "platform/app_settings.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "res/app_ids.h"
#include "tests/app/app_fixture.h"
#include "view/resource_menu.h"
#include "view/target_list_ctrl.h"

namespace {

std::string Contents(CTargetListCtrl& list) {
  CMemFile file;
  EXPECT_TRUE(list.WriteContentsAsText(&file));
  return std::string(reinterpret_cast<const char*>(file.GetBufferPtr()), file.GetLength());
}

bool CopyEnabled(CTargetListCtrl& list) {
  wxUpdateUIEvent e(WxId(ID_COPY_TO_CLIPBOARD));
  e.SetEventObject(&list);
  list.ProcessWindowEvent(e);
  return e.GetSetEnabled() && e.GetEnabled();
}

// A list in a shown frame (the program itself is not started), over a fresh profile; the parent
// keeps the drops it is told of.
class TargetList : public AppGui {
 protected:
  void SetUp() override {
    AppGui::SetUp();
    m_profile = std::make_unique<CProfile>(Path("profile.ini"));
    m_oldProfile = GetAppProfile();
    SetAppProfile(m_profile.get());
    m_frame = new wxFrame(nullptr, wxID_ANY, "Targets");
    m_panel = new wxPanel(m_frame);
    m_panel->Bind(EVT_FILES_DROPPED, [this](CFilesDroppedEvent& e) { drops.push_back(e.GetPaths()); });
    m_frame->SetClientSize(m_panel->ConvertDialogToPixels(wxSize(253, 126)));
    list = MakeList();
    m_frame->Show();
    WaitFor([this] { return list->IsShownOnScreen(); });
  }

  void TearDown() override {
    SetCommandBitmapSource(nullptr);
    m_frame->Destroy();
    Pump();
    SetAppProfile(m_oldProfile);
    AppGui::TearDown();
  }

  CProfile& Profile() { return *m_profile; }
  std::string StoredWidths() const {
    return m_profile->GetProfileString(CTargetListCtrl::kProfileSection, CTargetListCtrl::kProfileEntry);
  }
  // Where the form puts the list, in its size.
  CTargetListCtrl* MakeList() {
    return new CTargetListCtrl(m_panel, 1004, m_panel->ConvertDialogToPixels(wxPoint(7, 7)),
                               m_panel->ConvertDialogToPixels(wxSize(239, 112)));
  }
  void Add(const std::string& cal, const std::string& sw) {
    targets.push_back(std::make_unique<CTargetObj>(cal, sw));
    list->InsertTarget(targets.back().get());
  }

  CTargetListCtrl* list = nullptr;
  std::vector<std::unique_ptr<CTargetObj>> targets;
  std::vector<std::vector<std::string>> drops;
  wxPanel* m_panel = nullptr;

 private:
  std::unique_ptr<CProfile> m_profile;
  CProfile* m_oldProfile = nullptr;
  wxFrame* m_frame = nullptr;
};

}  // namespace

TEST_F(TargetList, RowsKeepOrderAndPointers) {
  Add("CAL1", "SW1");
  Add("CAL2", "SW2");
  ASSERT_EQ(2, list->GetItemCount());
  EXPECT_EQ(2, list->GetColumnCount());
  EXPECT_EQ("CAL2", list->GetItemText(1, 0));
  EXPECT_EQ("SW2", list->GetItemText(1, 1));
  EXPECT_EQ(targets[0].get(), list->GetTarget(0));
  EXPECT_EQ(targets[1].get(), list->GetTarget(1));
  EXPECT_FALSE(list->HasFlag(wxLC_SINGLE_SEL));
  list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  EXPECT_EQ((std::vector<long>{0, 1}), list->GetSelectedRows());
}

TEST_F(TargetList, TextIsTitleRowAndRowsEachCellTabbedEachRowCrLfThenOneZero) {
  const std::string title = "CalibrationID\tSoftwareID\t\r\n";
  const struct {
    std::vector<std::pair<std::string, std::string>> rows;
    std::string text;
  } cases[] = {
      {{}, title + std::string(1, '\0')},
      {{{"A", "B"}}, title + "A\tB\t\r\n" + std::string(1, '\0')},
      {{{"A", "B"}, {"", "S2"}}, title + "A\tB\t\r\n\tS2\t\r\n" + std::string(1, '\0')},
      // A tab in a cell is written as it is and shifts that row's columns.
      {{{"X\tY", "Z"}}, title + "X\tY\tZ\t\r\n" + std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    list->DeleteAllItems();
    targets.clear();
    for (const auto& [cal, sw] : c.rows) Add(cal, sw);
    EXPECT_EQ(c.text, Contents(*list)) << c.rows.size() << " rows";
  }
}

TEST_F(TargetList, CopyCommandEnabledExactlyWithARow) {
  EXPECT_FALSE(CopyEnabled(*list));
  Add("A", "B");
  EXPECT_TRUE(CopyEnabled(*list));
  list->DeleteItem(0);
  EXPECT_FALSE(CopyEnabled(*list));
}

TEST_F(TargetList, ClipboardGetsTheTextWithoutItsZeroByte) {
  Add("CAL1", "SW1");
  Add("X\tY", "Z");
  wxCommandEvent copy(wxEVT_MENU, WxId(ID_COPY_TO_CLIPBOARD));
  copy.SetEventObject(list);
  list->ProcessWindowEvent(copy);

  wxTextDataObject data;
  {
    wxClipboardLocker locker;
    ASSERT_TRUE(!!locker);
    ASSERT_TRUE(wxTheClipboard->IsSupported(wxDF_UNICODETEXT));
    ASSERT_TRUE(wxTheClipboard->GetData(data));
  }
  EXPECT_EQ("CalibrationID\tSoftwareID\t\r\nCAL1\tSW1\t\r\nX\tY\tZ\t\r\n", data.GetText().ToStdString());
  // The file form still ends in its zero byte.
  EXPECT_EQ('\0', Contents(*list).back());
}

TEST_F(TargetList, DropFilterKeepsExistingFilesInOrder) {
  std::ofstream(Path("b.sr")) << "x";
  std::ofstream(Path("a.srz")) << "x";
  std::ofstream(Path("empty.sr"));
  std::filesystem::create_directory(Path("folder"));
  const std::vector<std::string> dropped = {Path("b.sr"),  Path("folder"),   Path("missing.sr"),
                                            Path("a.srz"), Path("empty.sr"), Path("b.sr")};
  EXPECT_EQ((std::vector<std::string>{Path("b.sr"), Path("a.srz"), Path("empty.sr"), Path("b.sr")}),
            FilterDroppedFiles(dropped));
  EXPECT_TRUE(FilterDroppedFiles({Path("folder"), Path("missing.sr"), ""}).empty());
}

TEST_F(TargetList, DropTellsTheParentOnceAtOnceAlsoWhenNothingIsLeft) {
  std::ofstream(Path("c.sr")) << "x";
  std::ofstream(Path("a.sr")) << "x";
  std::filesystem::create_directory(Path("folder"));
  auto* target = dynamic_cast<wxFileDropTarget*>(list->GetDropTarget());
  ASSERT_NE(nullptr, target);

  wxArrayString names;
  for (const char* n : {"c.sr", "folder", "a.sr", "gone.sr"}) names.push_back(Path(n));
  EXPECT_TRUE(target->OnDropFiles(0, 0, names));
  // Synchronous: the parent has it before any event is pumped.
  ASSERT_EQ(1u, drops.size());
  EXPECT_EQ((std::vector<std::string>{Path("c.sr"), Path("a.sr")}), drops[0]);

  names.clear();
  names.push_back(Path("folder"));
  names.push_back(Path("gone.sr"));
  target->OnDropFiles(0, 0, names);
  Pump();
  ASSERT_EQ(2u, drops.size());
  EXPECT_TRUE(drops[1].empty());
  EXPECT_EQ(0, list->GetItemCount());  // the list adds nothing itself

  // A handler that fails is reported; the drop ends normally, refused.
  m_panel->Bind(EVT_FILES_DROPPED, [](CFilesDroppedEvent&) { throw std::runtime_error("cannot add"); });
  EXPECT_FALSE(target->OnDropFiles(0, 0, names));
  ASSERT_EQ(1u, ui.boxes.size());
  EXPECT_EQ("cannot add", ui.boxes[0].text);
}

// The header and the rows are windows of their own: a drop on either reaches the list's parent.
TEST_F(TargetList, EveryPartOfTheListTakesDrops) {
  std::ofstream(Path("p.sr")) << "x";
  wxArrayString names;
  names.push_back(Path("p.sr"));
  ASSERT_EQ(2u, list->GetChildren().size());
  for (wxWindow* part : list->GetChildren()) {
    SCOPED_TRACE(part->GetPosition().y);
    drops.clear();
    auto* target = dynamic_cast<wxFileDropTarget*>(part->GetDropTarget());
    ASSERT_NE(nullptr, target);
    EXPECT_TRUE(target->OnDropFiles(0, 0, names));
    EXPECT_EQ((std::vector<std::vector<std::string>>{{Path("p.sr")}}), drops);
  }
}

TEST_F(TargetList, ColumnWidthsAutoSizedFirstThenBackFromTheProfile) {
  // First run: each column at least as wide as its title, together the list's width.
  const int w0 = list->GetColumnWidth(0), w1 = list->GetColumnWidth(1);
  EXPECT_GT(w0, list->GetTextExtent("CalibrationID").x);
  EXPECT_GT(w1, list->GetTextExtent("SoftwareID").x);
  EXPECT_EQ(list->GetClientSize().x, w0 + w1);
  EXPECT_FALSE(Profile().HasProfileEntry("CTargetListCtrl_TSA", "Columns"));

  // The user drags a column's edge: the widths are kept at once.
  list->SetColumnWidth(0, 123);
  list->SetColumnWidth(1, 77);
  wxListEvent dragged(wxEVT_LIST_COL_END_DRAG, list->GetId());
  dragged.SetEventObject(list);
  list->ProcessWindowEvent(dragged);
  Pump();
  EXPECT_EQ("123,77", StoredWidths());

  // Destroyed with other widths: those are kept, and the next list starts with them.
  list->SetColumnWidth(0, 150);
  list->Destroy();
  list = MakeList();
  EXPECT_EQ(150, list->GetColumnWidth(0));
  EXPECT_EQ(77, list->GetColumnWidth(1));

  // Also through another store of the same file, as after a restart.
  list->Destroy();
  list = nullptr;
  CProfile restarted(Path("profile.ini"));
  SetAppProfile(&restarted);
  list = MakeList();
  EXPECT_EQ(150, list->GetColumnWidth(0));
  EXPECT_EQ(77, list->GetColumnWidth(1));
  list->Destroy();
  list = nullptr;
  SetAppProfile(&Profile());

  // A profile without a width of column 0 counts as none.
  Profile().WriteProfileString("CTargetListCtrl_TSA", "Columns", "0,90");
  list = MakeList();
  EXPECT_EQ(list->GetClientSize().x, list->GetColumnWidth(0) + list->GetColumnWidth(1));
}

// Widths no list can have: left out, or as wide as a column may be; nothing stops on them.
TEST_F(TargetList, StoredWidthsThatMakeNoSenseAreLeftOutOrClamped) {
  const struct {
    const char* stored;
    int width0, width1;  // 0: auto-sized
  } cases[] = {
      {"2147483647,2147483647", kMaxColumnWidth, kMaxColumnWidth},
      {"120,-5", 120, -1},
      {"-1,90", 0, 0},
      {"abc,90", 0, 0},
      {"120,x", 120, -1},
      {"120", 120, -1},
      {"120,80,70,60", 120, 80},
      {",,,", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    list->Destroy();
    list = nullptr;
    Profile().WriteProfileString("CTargetListCtrl_TSA", "Columns", c.stored);
    list = MakeList();
    if (c.width0 == 0) {
      EXPECT_EQ(list->GetClientSize().x, list->GetColumnWidth(0) + list->GetColumnWidth(1));
      continue;
    }
    EXPECT_EQ(c.width0, list->GetColumnWidth(0));
    if (c.width1 > 0) {
      EXPECT_EQ(c.width1, list->GetColumnWidth(1));
    }
    EXPECT_GT(list->GetColumnWidth(1), 0);
  }
}

// A list closed with the widths it was given keeps what another window or another copy of the
// program stored meanwhile.
TEST_F(TargetList, ClosingWithUnchangedWidthsKeepsAnotherCopysWidths) {
  list->Destroy();
  Profile().WriteProfileString("CTargetListCtrl_TSA", "Columns", "130,70");
  list = MakeList();
  ASSERT_EQ(130, list->GetColumnWidth(0));
  CProfile otherCopy(Path("profile.ini"));
  ASSERT_TRUE(otherCopy.WriteProfileString("CTargetListCtrl_TSA", "Columns", "140,60"));
  list->Destroy();
  list = nullptr;
  EXPECT_EQ("140,60", StoredWidths());
  // A list whose widths changed stores them when it goes.
  list = MakeList();
  list->SetColumnWidth(1, 99);
  list->Destroy();
  list = nullptr;
  EXPECT_EQ("140,99", StoredWidths());
}

// The user drags the edge between the columns: the new widths are in the profile at once.
TEST_F(TargetList, DraggingAColumnEdgeKeepsTheWidths) {
  const int w0 = list->GetColumnWidth(0);
  wxWindow* header = nullptr;
  for (wxWindow* child : list->GetChildren())
    if (child->GetPosition().y == 0 && child->GetSize().y < list->GetSize().y / 2) header = child;
  ASSERT_NE(nullptr, header);
  wxUIActionSimulator sim;
  const wxPoint edge = header->ClientToScreen(wxPoint(w0 - 1, header->GetSize().y / 2));
  sim.MouseMove(edge);
  Pump();
  sim.MouseDown();
  Pump();
  for (int dx = 10; dx <= 40; dx += 10) {
    sim.MouseMove(edge + wxPoint(dx, 0));
    Pump();
  }
  sim.MouseUp();
  ASSERT_TRUE(WaitFor([&] { return list->GetColumnWidth(0) > w0 + 20; }));
  Pump();
  EXPECT_EQ(wxString::Format("%d,%d", list->GetColumnWidth(0), list->GetColumnWidth(1)).ToStdString(), StoredWidths());
}

TEST_F(TargetList, ColumnWidthsWithoutAProfile) {
  SetAppProfile(nullptr);
  list->Destroy();
  list = MakeList();
  EXPECT_GT(list->GetColumnWidth(0), 0);
  list->Destroy();
  list = nullptr;
  SetAppProfile(&Profile());
  EXPECT_FALSE(Profile().HasProfileEntry("CTargetListCtrl_TSA", "Columns"));
}

// Real right clicks and the menu key, through the X server: the popup opens (its one item with
// the image the main window gives it) and its command copies the list.
TEST_F(TargetList, RightClickAnywhereOpensThePopup) {
  SetCommandBitmapSource([](int id) {
    return id == ID_COPY_TO_CLIPBOARD ? wxArtProvider::GetBitmap(wxART_COPY, wxART_MENU) : wxBitmap();
  });
  wxUIActionSimulator sim;
  struct Opened {
    wxString label;
    bool enabled = false;
    bool bitmap = false;
  };
  std::vector<Opened> opened;
  wxString keys;  // what to type into the open menu
  list->Bind(wxEVT_MENU_OPEN, [&](wxMenuEvent& e) {
    e.Skip();
    wxMenu* menu = e.GetMenu();
    if (!menu || menu->GetMenuItemCount() != 1) return;
    // Looked at once the menu is up (its items' states set) and typed into once it holds the
    // keyboard.
    const wxString type = keys;
    list->CallAfter([&opened, menu, type] {
      wxMenuItem* item = menu->FindItemByPosition(0);
      opened.push_back({item->GetItemLabelText(), item->IsEnabled(), item->GetBitmap().IsOk()});
      wxUIActionSimulator s;
      if (type == "copy") {
        s.Char(WXK_DOWN);
        s.Char(WXK_RETURN);
      } else {
        s.Char(WXK_ESCAPE);
      }
    });
  });
  const auto rightClick = [&](const wxPoint& screen) {
    const size_t before = opened.size();
    sim.MouseMove(screen);
    Pump();
    sim.MouseClick(wxMOUSE_BTN_RIGHT);
    if (!WaitFor([&] { return opened.size() > before; })) return false;
    Pump();
    return opened.size() == before + 1;  // once, not once per route the click takes
  };
  const wxRect r = list->GetScreenRect();

  // On no row of an empty list: open, its command disabled.
  keys = "escape";
  ASSERT_TRUE(rightClick(r.GetPosition() + wxPoint(r.width / 2, r.height - 10)));
  EXPECT_EQ("Copy To Clipboard", opened.back().label);
  EXPECT_FALSE(opened.back().enabled);
  EXPECT_TRUE(opened.back().bitmap);
  Pump();

  // On a row, and on the header.
  Add("CAL1", "SW1");
  Pump();
  wxRect row;
  ASSERT_TRUE(list->GetItemRect(0, row));
  const wxPoint rowCentre = list->ClientToScreen(row.GetPosition() + wxPoint(row.width / 4, row.height / 2));
  ASSERT_TRUE(rightClick(rowCentre));
  EXPECT_TRUE(opened.back().enabled);
  Pump();
  ASSERT_TRUE(rightClick(r.GetPosition() + wxPoint(20, 5)));  // the header
  Pump();

  // The keyboard's menu key.
  list->SetFocus();
  Pump();
  const size_t before = opened.size();
  sim.Char(WXK_MENU);
  ASSERT_TRUE(WaitFor([&] { return opened.size() > before; }));
  Pump();
  EXPECT_EQ(before + 1, opened.size());

  // Choosing the item copies the list.
  if (wxTheClipboard->Open()) {
    wxTheClipboard->Clear();
    wxTheClipboard->Close();
  }
  keys = "copy";
  ASSERT_TRUE(rightClick(r.GetPosition() + wxPoint(r.width / 2, r.height - 10)));
  wxString copied;
  EXPECT_TRUE(WaitFor([&] {
    wxTextDataObject data;
    wxClipboardLocker locker;
    if (!!locker && wxTheClipboard->IsSupported(wxDF_UNICODETEXT) && wxTheClipboard->GetData(data))
      copied = data.GetText();
    return !copied.empty();
  }));
  EXPECT_EQ("CalibrationID\tSoftwareID\t\r\nCAL1\tSW1\t\r\n", copied);
}

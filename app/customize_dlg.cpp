#include "app/customize_dlg.h"

#include <algorithm>
#include <utility>

#include <wx/accel.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/listbox.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "common/res_text.h"
#include "common/text_conv.h"
#include "res/app_ids.h"
#include "res/app_resources.h"
#include "res/string_ids.h"

namespace {

// The popups of the document menu, each with its items.
struct MenuCategory {
  wxString title;
  std::vector<int> commands;
};

std::vector<MenuCategory> DocumentMenu() {
  std::vector<MenuCategory> cats;
  const res::MenuResource* m = res::FindMenu(IDR_TESSARYAUTHORTYPE);
  for (std::size_t i = 0; m && i < m->count; ++i) {
    const res::MenuEntry& e = m->entries[i];
    if (e.kind == res::MenuEntry::popup)
      cats.push_back({FromSystemText(PlainMenuText(e.text)), {}});
    else if (e.kind == res::MenuEntry::item && !cats.empty())
      cats.back().commands.push_back(e.id);
  }
  return cats;
}

// Commands that have neither a menu item nor a prompt string.
const std::pair<int, const char*> kUnlabelledCommands[] = {{ID_FILE_PRINT, "Print"}};

wxString CommandName(int id) {
  if (id == 0) return "----";
  const std::vector<MenuCategory> cats = DocumentMenu();
  if (IsMenuButton(id)) {
    const std::size_t n = static_cast<std::size_t>(id - kMenuButtonBase);
    return n < cats.size() ? cats[n].title : wxString();
  }
  for (unsigned menuId : {unsigned{IDR_TESSARYAUTHORTYPE}, unsigned{IDR_MAINFRAME}}) {
    const res::MenuResource* m = res::FindMenu(menuId);
    for (std::size_t i = 0; m && i < m->count; ++i)
      if (m->entries[i].kind == res::MenuEntry::item && m->entries[i].id == id)
        return FromSystemText(PlainMenuText(m->entries[i].text));
  }
  // Commands without a menu item go by their tooltip, and those without either by their name.
  const wxString tip = CommandTooltip(id);
  if (!tip.empty()) return tip;
  for (const auto& [command, name] : kUnlabelledCommands)
    if (command == id) return name;
  return wxString::Format("Command %d", id);
}

}  // namespace

std::vector<wxString> CCustomizeDlg::CommandCategories() {
  std::vector<wxString> names;
  for (const MenuCategory& c : DocumentMenu()) names.push_back(c.title);
  for (unsigned id : {IDS_ALL_COMMANDS, IDS_BUILT_IN_MENUS, IDS_NEW_MENU}) names.push_back(ResText(id));
  return names;
}

std::vector<int> CCustomizeDlg::CategoryEntries(std::size_t category) {
  const std::vector<MenuCategory> cats = DocumentMenu();
  if (category < cats.size()) return cats[category].commands;
  std::vector<int> entries;
  if (category == cats.size()) {  // all commands, each once, by name
    for (const MenuCategory& c : cats)
      for (int id : c.commands)
        if (id != ID_FILE_MRU_FILE1 && std::find(entries.begin(), entries.end(), id) == entries.end())
          entries.push_back(id);
    for (const auto* t : {res::FindToolbar(IDR_MAINFRAME)})
      for (std::size_t i = 0; t && i < t->count; ++i)
        if (t->buttons[i].command && std::find(entries.begin(), entries.end(), t->buttons[i].command) == entries.end())
          entries.push_back(t->buttons[i].command);
    std::sort(entries.begin(), entries.end(),
              [](int a, int b) { return CommandName(a).CmpNoCase(CommandName(b)) < 0; });
  } else if (category == cats.size() + 1) {  // built-in menus
    for (std::size_t n = 0; n < cats.size(); ++n) entries.push_back(kMenuButtonBase + static_cast<int>(n));
  }
  // The new-menu category holds nothing that can be placed without dragging.
  return entries;
}

CCustomizeDlg::CCustomizeDlg(wxWindow* parent, const CommandBarsState& state)
    : wxDialog(parent, wxID_ANY, "Customize", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER),
      m_state(state) {
  m_book = new wxNotebook(this, wxID_ANY);
  m_book->AddPage(MakeCommandsPage(), "Commands");
  m_book->AddPage(MakeOptionsPage(), "Options");
  m_book->AddPage(MakeKeyboardPage(), "Keyboard");
  auto* top = new wxBoxSizer(wxVERTICAL);
  top->Add(m_book, 1, wxEXPAND | wxALL, 8);
  auto* close = new wxButton(this, wxID_CANCEL, "Close");
  close->SetDefault();
  top->Add(close, 0, wxALIGN_RIGHT | wxRIGHT | wxBOTTOM, 8);
  SetSizerAndFit(top);
  SetEscapeId(wxID_CANCEL);
}

// ---------------------------------------------------------------- commands page

wxWindow* CCustomizeDlg::MakeCommandsPage() {
  auto* page = new wxPanel(m_book);
  auto* row = new wxBoxSizer(wxHORIZONTAL);
  wxArrayString cats;
  for (const wxString& c : CommandCategories()) cats.push_back(c);
  m_categories = new wxListBox(page, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(130, 220)), cats);
  m_commands = new wxListBox(page, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(170, 220)));
  m_toolbarButtons = new wxListBox(page, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(170, 220)));
  const auto column = [&](const wxString& label, wxWindow* list) {
    auto* col = new wxBoxSizer(wxVERTICAL);
    col->Add(new wxStaticText(page, wxID_ANY, label));
    col->Add(list, 1, wxEXPAND | wxTOP, 4);
    row->Add(col, 1, wxEXPAND | wxALL, 6);
  };
  column("Categories:", m_categories);
  column("Commands:", m_commands);
  auto* buttons = new wxBoxSizer(wxVERTICAL);
  auto* add = new wxButton(page, wxID_ANY, "Add >");
  auto* sep = new wxButton(page, wxID_ANY, "Add Separator");
  auto* remove = new wxButton(page, wxID_ANY, "< Remove");
  auto* reset = new wxButton(page, wxID_ANY, "Reset");
  for (wxButton* b : {add, sep, remove, reset}) buttons->Add(b, 0, wxEXPAND | wxBOTTOM, 4);
  row->Add(buttons, 0, wxALIGN_CENTER_VERTICAL | wxALL, 6);
  column("Standard toolbar:", m_toolbarButtons);
  page->SetSizer(row);

  m_categories->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { FillCommandList(); });
  const auto insertAt = [this] {
    const int sel = m_toolbarButtons->GetSelection();
    return sel == wxNOT_FOUND ? -1 : sel + 1;
  };
  add->Bind(wxEVT_BUTTON, [this, insertAt](wxCommandEvent&) {
    const int sel = m_commands->GetSelection();
    if (sel != wxNOT_FOUND) AddToToolbar(m_commandIds[static_cast<std::size_t>(sel)], insertAt());
  });
  sep->Bind(wxEVT_BUTTON, [this, insertAt](wxCommandEvent&) { AddToToolbar(0, insertAt()); });
  remove->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { RemoveFromToolbar(m_toolbarButtons->GetSelection()); });
  reset->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ResetToolbar(); });
  m_categories->SetSelection(0);
  FillCommandList();
  FillToolbarList();
  return page;
}

void CCustomizeDlg::FillCommandList() {
  const int cat = m_categories->GetSelection();
  m_commandIds = cat == wxNOT_FOUND ? std::vector<int>() : CategoryEntries(static_cast<std::size_t>(cat));
  m_commands->Clear();
  for (int id : m_commandIds) m_commands->Append(CommandName(id));
}

void CCustomizeDlg::FillToolbarList() {
  m_toolbarButtons->Clear();
  for (int id : m_state.standardButtons) m_toolbarButtons->Append(CommandName(id));
}

void CCustomizeDlg::AddToToolbar(int entry, int beforeIndex) {
  auto& b = m_state.standardButtons;
  const auto at =
      beforeIndex < 0 || static_cast<std::size_t>(beforeIndex) > b.size() ? b.end() : b.begin() + beforeIndex;
  b.insert(at, entry);
  FillToolbarList();
}

void CCustomizeDlg::RemoveFromToolbar(int index) {
  auto& b = m_state.standardButtons;
  if (index < 0 || static_cast<std::size_t>(index) >= b.size()) return;
  b.erase(b.begin() + index);
  FillToolbarList();
}

void CCustomizeDlg::ResetToolbar() {
  m_state.standardButtons = CommandBarsState::Defaults().standardButtons;
  FillToolbarList();
}

// ---------------------------------------------------------------- options page

wxWindow* CCustomizeDlg::MakeOptionsPage() {
  auto* page = new wxPanel(m_book);
  auto* col = new wxBoxSizer(wxVERTICAL);
  const auto option = [&](const wxString& label, bool CommandBarsState::*member) {
    auto* box = new wxCheckBox(page, wxID_ANY, label);
    box->SetValue(m_state.*member);
    box->Bind(wxEVT_CHECKBOX, [this, box, member](wxCommandEvent&) { m_state.*member = box->GetValue(); });
    col->Add(box, 0, wxALL, 6);
  };
  option("Large icons", &CommandBarsState::largeIcons);
  option("Show ScreenTips on toolbars", &CommandBarsState::screenTips);
  option("Show shortcut keys in ScreenTips", &CommandBarsState::shortcutsInTips);
  page->SetSizer(col);
  return page;
}

// ---------------------------------------------------------------- keyboard page

wxWindow* CCustomizeDlg::MakeKeyboardPage() {
  auto* page = new wxPanel(m_book);
  auto* grid = new wxFlexGridSizer(2, FromDIP(8), FromDIP(8));
  grid->AddGrowableCol(0, 1);
  grid->AddGrowableCol(1, 1);

  wxArrayString cats;
  const std::vector<wxString> all = CommandCategories();
  const std::size_t menuCats = DocumentMenu().size();
  for (std::size_t i = 0; i <= menuCats && i < all.size(); ++i) cats.push_back(all[i]);
  m_keyCategory = new wxChoice(page, wxID_ANY, wxDefaultPosition, wxDefaultSize, cats);
  m_keyCommands = new wxListBox(page, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(180, 160)));
  m_currentKeys = new wxListBox(page, wxID_ANY, wxDefaultPosition, FromDIP(wxSize(180, 100)));
  m_newKey = new wxTextCtrl(page, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                            wxTE_PROCESS_TAB | wxTE_PROCESS_ENTER);
  m_description = new wxStaticText(page, wxID_ANY, wxString());

  auto* left = new wxBoxSizer(wxVERTICAL);
  left->Add(new wxStaticText(page, wxID_ANY, "Category:"));
  left->Add(m_keyCategory, 0, wxEXPAND | wxBOTTOM, 6);
  left->Add(new wxStaticText(page, wxID_ANY, "Commands:"));
  left->Add(m_keyCommands, 1, wxEXPAND);
  auto* right = new wxBoxSizer(wxVERTICAL);
  right->Add(new wxStaticText(page, wxID_ANY, "Current Keys:"));
  right->Add(m_currentKeys, 1, wxEXPAND | wxBOTTOM, 6);
  right->Add(new wxStaticText(page, wxID_ANY, "Press New Shortcut Key:"));
  right->Add(m_newKey, 0, wxEXPAND | wxBOTTOM, 6);
  auto* buttons = new wxBoxSizer(wxHORIZONTAL);
  auto* assign = new wxButton(page, wxID_ANY, "Assign");
  auto* remove = new wxButton(page, wxID_ANY, "Remove");
  auto* reset = new wxButton(page, wxID_ANY, "Reset All");
  for (wxButton* b : {assign, remove, reset}) buttons->Add(b, 0, wxRIGHT, 4);
  right->Add(buttons);
  grid->Add(left, 1, wxEXPAND);
  grid->Add(right, 1, wxEXPAND);
  auto* col = new wxBoxSizer(wxVERTICAL);
  col->Add(grid, 1, wxEXPAND | wxALL, 6);
  col->Add(new wxStaticText(page, wxID_ANY, "Description:"), 0, wxLEFT | wxRIGHT, 6);
  col->Add(m_description, 0, wxEXPAND | wxALL, 6);
  page->SetSizer(col);

  m_keyCategory->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { FillKeyCommands(); });
  m_keyCommands->Bind(wxEVT_LISTBOX, [this](wxCommandEvent&) { FillCurrentKeys(); });
  // The field shows the key pressed in it, as the accelerator's text.
  m_newKey->Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) {
    const int code = e.GetKeyCode();
    if (code == WXK_CONTROL || code == WXK_SHIFT || code == WXK_ALT || code == WXK_RAW_CONTROL) return;
    int flags = wxACCEL_NORMAL;
    if (e.RawControlDown() || e.ControlDown()) flags |= wxACCEL_CTRL;
    if (e.AltDown()) flags |= wxACCEL_ALT;
    if (e.ShiftDown()) flags |= wxACCEL_SHIFT;
    m_newKey->ChangeValue(wxAcceleratorEntry(flags, code < 128 ? static_cast<int>(wxToupper(code)) : code).ToString());
  });
  m_newKey->Bind(wxEVT_CHAR, [](wxKeyEvent&) {});
  assign->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    wxAcceleratorEntry e;
    const int cmd = SelectedKeyCommand();
    if (cmd && e.FromString(m_newKey->GetValue())) AssignKey(cmd, ToSystemText(e.ToString()));
  });
  remove->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
    const int sel = m_currentKeys->GetSelection();
    if (SelectedKeyCommand() && sel != wxNOT_FOUND)
      RemoveKey(SelectedKeyCommand(), ToSystemText(m_currentKeys->GetString(static_cast<unsigned>(sel))));
  });
  reset->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ResetKeys(); });
  m_keyCategory->SetSelection(0);
  FillKeyCommands();
  return page;
}

void CCustomizeDlg::FillKeyCommands() {
  const int cat = m_keyCategory->GetSelection();
  m_keyCommandIds.clear();
  if (cat != wxNOT_FOUND)
    for (int id : CategoryEntries(static_cast<std::size_t>(cat)))
      if (!IsMenuButton(id) && id != ID_FILE_MRU_FILE1) m_keyCommandIds.push_back(id);
  m_keyCommands->Clear();
  for (int id : m_keyCommandIds) m_keyCommands->Append(CommandName(id));
  if (!m_keyCommandIds.empty()) m_keyCommands->SetSelection(0);
  FillCurrentKeys();
}

int CCustomizeDlg::SelectedKeyCommand() const {
  const int sel = m_keyCommands ? m_keyCommands->GetSelection() : wxNOT_FOUND;
  return sel == wxNOT_FOUND ? 0 : m_keyCommandIds[static_cast<std::size_t>(sel)];
}

void CCustomizeDlg::FillCurrentKeys() {
  m_currentKeys->Clear();
  const int cmd = SelectedKeyCommand();
  for (const std::string& k : m_state.KeysFor(cmd)) m_currentKeys->Append(FromSystemText(k));
  m_description->SetLabel(cmd ? CommandPrompt(cmd) : wxString());
}

void CCustomizeDlg::AssignKey(int command, const std::string& key) {
  m_state.AssignKey(command, key);
  FillCurrentKeys();
}

void CCustomizeDlg::RemoveKey(int command, const std::string& key) {
  m_state.RemoveKey(command, key);
  FillCurrentKeys();
}

void CCustomizeDlg::ResetKeys() {
  m_state.keys = CommandBarsState::Defaults().keys;
  FillCurrentKeys();
}

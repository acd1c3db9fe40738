// The Customize dialog over the command bars: the commands page (what the "Standard" toolbar
// carries), the options page and the keyboard page. It works on a copy of the bars' state, which
// the frame takes over when the dialog closes.
#pragma once

#include <wx/dialog.h>

#include "platform/command_bars.h"

class wxCheckBox;
class wxChoice;
class wxListBox;
class wxNotebook;
class wxStaticText;
class wxTextCtrl;

class CCustomizeDlg : public wxDialog {
 public:
  CCustomizeDlg(wxWindow* parent, const CommandBarsState& state);

  const CommandBarsState& GetState() const { return m_state; }
  wxNotebook* GetBook() const { return m_book; }

  // The categories of the commands page: the menus of the document menu, then all commands, the
  // built-in menus and the new menu.
  static std::vector<wxString> CommandCategories();
  // The entries of one category: commands, or menu buttons (kMenuButtonBase + n).
  static std::vector<int> CategoryEntries(std::size_t category);

  // Page actions, also used by the buttons.
  void AddToToolbar(int entry, int beforeIndex = -1);
  void RemoveFromToolbar(int index);
  void ResetToolbar();
  void AssignKey(int command, const std::string& key);
  void RemoveKey(int command, const std::string& key);
  void ResetKeys();

 private:
  wxWindow* MakeCommandsPage();
  wxWindow* MakeOptionsPage();
  wxWindow* MakeKeyboardPage();
  void FillCommandList();
  void FillToolbarList();
  void FillKeyCommands();
  void FillCurrentKeys();
  int SelectedKeyCommand() const;

  CommandBarsState m_state;
  wxNotebook* m_book = nullptr;
  wxListBox* m_categories = nullptr;
  wxListBox* m_commands = nullptr;
  wxListBox* m_toolbarButtons = nullptr;
  std::vector<int> m_commandIds;
  wxChoice* m_keyCategory = nullptr;
  wxListBox* m_keyCommands = nullptr;
  std::vector<int> m_keyCommandIds;
  wxListBox* m_currentKeys = nullptr;
  wxTextCtrl* m_newKey = nullptr;
  wxStaticText* m_description = nullptr;
};

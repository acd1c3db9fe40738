// The layout and customisation of the command bars (menu bar, the "Standard" toolbar, the status
// bar and the keyboard), kept in the profile under "CommandBars". Plain data: the main frame
// builds its bars from it.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// A toolbar button that opens built-in menu n of the document menu (its n-th popup).
inline constexpr int kMenuButtonBase = 36000;
inline constexpr bool IsMenuButton(int id) { return id >= kMenuButtonBase && id < kMenuButtonBase + 100; }

struct KeyBinding {
  int command;
  std::string key;  // "Ctrl+N", "Shift+F6", as the toolkit's accelerator text
  bool operator==(const KeyBinding&) const = default;
};

struct CommandBarsState {
  // What a stored state may hold; a list beyond these is not taken.
  static constexpr std::size_t kMaxButtons = 256;
  static constexpr std::size_t kMaxKeys = 256;
  static constexpr std::size_t kMaxKeyText = 64;

  bool toolbarVisible = true;
  bool statusBarVisible = true;
  bool screenTips = true;        // tooltips on the toolbar
  bool shortcutsInTips = false;  // "New (Ctrl+N)"
  bool largeIcons = false;
  std::vector<int> standardButtons;  // commands; 0 is a separator
  std::vector<KeyBinding> keys;      // in order; a command may have several

  bool operator==(const CommandBarsState&) const = default;

  // As built from toolbar 128 and accelerator table 128.
  static CommandBarsState Defaults();

  // The profile entries (name, value) of the "CommandBars" group.
  std::vector<std::pair<std::string, std::string>> ToEntries() const;
  // Reads the entries back; read(name, value) is false for a missing entry. Missing or unusable
  // entries keep their defaults: a list keeps them whole when one of its items is unusable (an
  // unknown command, a number that is not one, a key text with control characters or longer
  // than kMaxKeyText) or when it is longer than its limit.
  static CommandBarsState FromEntries(const std::function<bool(const std::string&, std::string&)>& read);

  std::vector<std::string> KeysFor(int command) const;
  // Binds key to command, taking it away from any other command first.
  void AssignKey(int command, const std::string& key);
  void RemoveKey(int command, const std::string& key);
};

// The toolkit's accelerator text of an accelerator table entry (flags and virtual key).
std::string AccelText(unsigned flags, unsigned virtualKey);

// A command that the menus, the toolbar table or the accelerators know.
bool IsKnownCommand(int command);
// The menu text without its access-key marks and accelerator: "&Open...\tCtrl+O" gives "Open...".
std::string PlainMenuText(const char* text);

// The application's menus, accelerators, toolbars, status-bar panes, icons and version block,
// compiled in as tables. Plain data: the application turns them into toolkit objects.
#pragma once

#include <cstddef>
#include <cstdint>

namespace res {

// A menu is a run of entries: a popup starts a top-level menu, the items and separators after it
// belong to it until the next popup.
struct MenuEntry {
  enum Kind : unsigned char { popup, item, separator };
  Kind kind;
  int id;            // command of an item; 0 otherwise
  const char* text;  // "&" marks the access key; a tab precedes the accelerator's text
};

struct MenuResource {
  unsigned id;
  const MenuEntry* entries;
  std::size_t count;
};

// Accelerator modifiers and the virtual-key codes the tables use.
enum : unsigned { FSHIFT = 0x04, FCONTROL = 0x08, FALT = 0x10 };
enum : unsigned {
  VK_BACK = 0x08,
  VK_INSERT = 0x2D,
  VK_DELETE = 0x2E,
  VK_F1 = 0x70,
  VK_F6 = 0x75,
  VK_F24 = 0x87,
};

struct AccelEntry {
  unsigned flags;  // FSHIFT, FCONTROL, FALT
  unsigned key;    // virtual key: 'A' to 'Z', '0' to '9', or a VK_ code
  int command;
};

struct AccelResource {
  unsigned id;
  const AccelEntry* entries;
  std::size_t count;
};

// One toolbar button: a command with the stock image it shows, or a separator (command 0).
struct ToolbarButton {
  int command;
  const char* artId;  // a wxArtProvider id, or nullptr for the icon of the same resource
};

struct ToolbarResource {
  unsigned id;
  int imageWidth, imageHeight;
  const ToolbarButton* buttons;
  std::size_t count;
};

// An icon as XPM text (a C array of lines), sizes 16 and 32.
struct IconResource {
  unsigned id;
  const char* const* xpm16;
  const char* const* xpm32;
};

const MenuResource* FindMenu(unsigned id);
const AccelResource* FindAccelerators(unsigned id);
const ToolbarResource* FindToolbar(unsigned id);
const IconResource* FindIcon(unsigned id);

// The status bar's panes, in order (0 is the message pane).
extern const unsigned g_StatusIndicators[];
extern const std::size_t g_StatusIndicatorCount;

// The program's version block.
struct VersionString {
  const char* key;
  const char* value;
};

struct VersionStringTable {
  const char* langCodePage;  // "040904B0"
  const VersionString* strings;
  std::size_t count;
};

struct VersionBlock {
  uint16_t fileVersion[4];
  uint16_t productVersion[4];
  uint32_t fileFlags;
  uint32_t fileOS;
  uint32_t fileType;
  const VersionStringTable* tables;
  std::size_t tableCount;
  uint16_t translation[2];  // language, code page
};

extern const VersionBlock g_VersionBlock;

}  // namespace res
